// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

namespace ocula {

// What the X server says about scale, read before Qt starts (it cannot be asked later:
// Qt takes its dpi when it connects).
struct DisplayScaleFacts {
    double xftDpi = 0;   // Xft.dpi of the server's resources; 0 when unset
    QString primaryName; // the primary output's name; empty when not asked for or unknown
};

// Reads them from the display in $DISPLAY; all unknown where there is no X11. The output
// name costs a RandR round trip and is read only when `wantPrimaryName`.
DisplayScaleFacts readDisplayScaleFacts(bool wantPrimaryName);

} // namespace ocula
