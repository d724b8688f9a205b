// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

class QWidget;

namespace ocula {

// SIGTERM, SIGINT and SIGHUP close `window` as the user would, from the event loop, so
// that its shut-down runs and nothing is lost when a desktop session ends.
void closeOnTerminationSignals(QWidget* window);

} // namespace ocula
