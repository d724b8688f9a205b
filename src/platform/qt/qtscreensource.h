// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/screensource.h"

class QScreen;

namespace ocula {

// Reads the screen through QScreen::grabWindow: slow (a pixmap and a conversion per grab)
// but available on every platform Qt runs on.
//
// Coordinates are device pixels, like the X11 source's. With a device pixel ratio other
// than 1 each screen keeps its logical top-left corner and its size is multiplied by the
// ratio; grabWindow is asked for the logical rectangle that covers the requested pixels
// and returns them unscaled. Assumes the usual integer ratios; the cursor position is
// only as precise as the logical point Qt reports.
class QtScreenSource final : public ScreenSource {
public:
    QPoint cursorPos() override;
    QRect desktopRect() const override;
    bool grab(const QRect& source, QImage& into, bool* changed = nullptr) override;

private:
    bool grabFrom(QScreen* screen, const QRect& part, const QRect& source, QImage& into,
                  bool& changed);
};

} // namespace ocula
