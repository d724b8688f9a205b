// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>

namespace ocula {

// The desktop's current colour for a system colour index (5 window background,
// 13 highlight, 15 button face, 16 button shadow, 20 button highlight, ...).
QColor systemColor(unsigned index);

} // namespace ocula
