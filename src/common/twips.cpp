// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/twips.h"

#include "common/rounding.h"

#include <QGuiApplication>
#include <QScreen>

namespace ocula {

namespace {
double dpi(bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double d = screen == nullptr ? 96.0
                     : horizontal      ? screen->logicalDotsPerInchX()
                                       : screen->logicalDotsPerInchY();
    return d > 0 ? d : 96.0;
}
} // namespace

double twipsPerPixelX() {
    return 1440.0 / dpi(true);
}
double twipsPerPixelY() {
    return 1440.0 / dpi(false);
}

int twipsToPixelsX(double twips) {
    return int(Nearest(twips / twipsPerPixelX()));
}
int twipsToPixelsY(double twips) {
    return int(Nearest(twips / twipsPerPixelY()));
}
int32_t pixelsToTwipsX(double pixels) {
    return int32_t(Nearest(pixels * twipsPerPixelX()));
}
int32_t pixelsToTwipsY(double pixels) {
    return int32_t(Nearest(pixels * twipsPerPixelY()));
}

} // namespace ocula
