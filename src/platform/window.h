// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

class QWidget;

namespace ocula {

// Puts a top-level window into or out of the always-on-top band without moving,
// resizing or activating it, and without recreating its native window.
void setTopmost(QWidget* window, bool on);
bool isTopmost(const QWidget* window);

} // namespace ocula
