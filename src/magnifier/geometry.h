// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QRect>
#include <QVector>

#include <cstdint>

// The magnifier's arithmetic, free of widgets so that it can be checked with tables.
namespace ocula::geometry {

// A stored factor may be 0 or negative; geometry treats it as 1 so nothing divides by zero.
constexpr int safeFactor(int factor) {
    return factor < 1 ? 1 : factor;
}

struct Sampling {
    QRect source; // screen pixels, not clamped to the screen
    int dstW = 0; // source.width() * factor: the inner width rounded up to whole blocks
    int dstH = 0;
};

// The source rectangle around (cx, cy) for a view of w x h inner pixels.
Sampling sampling(int32_t cx, int32_t cy, int w, int h, int factor);

// `border` below is the view's (2 pixels at 96 dpi): bar coordinate t lies against view
// coordinate t - border.
//
// Bar positions of the division marks: every `spacing` pixels from the border while
// against the view. A spacing below 1 yields the first mark only.
QVector<int> divisionMarks(int barLength, int spacing, int border = 2);

// Largest marker position along a bar of the given inner length.
int32_t markerUpperBound(int barLength, int factor, int border = 2);

// The marker position (0..upper) nearest to a click at bar coordinate `x`.
int clickToMarker(double x, int factor, int32_t upper, int border = 2);

// Source pixels between two arrows whose leading edges are `a` and `b` bar pixels apart.
int32_t arrowDistance(int a, int b, int factor);

} // namespace ocula::geometry
