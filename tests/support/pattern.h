// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QRgb>

namespace ocula::test {

// A desktop whose every pixel names its own coordinates, so a view pixel tells exactly
// which screen pixel it magnifies.
inline QRgb patternColor(int x, int y) {
    return qRgb(x & 255, y & 255, (((x >> 8) & 15) << 4) | ((y >> 8) & 15));
}

QImage makePatternDesktop(int width, int height);

} // namespace ocula::test
