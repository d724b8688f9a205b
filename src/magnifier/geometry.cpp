// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/geometry.h"

#include "common/rounding.h"

#include <cmath>
#include <cstdlib>

namespace ocula::geometry {

Sampling sampling(int32_t cx, int32_t cy, int w, int h, int factor) {
    const int f = safeFactor(factor);
    Sampling s;
    // Floor(W / F / 2) on exact reals equals floor division of W by 2F.
    const int64_t left = int64_t(cx) - floorDiv(w, 2 * int64_t(f));
    const int64_t top = int64_t(cy) - floorDiv(h, 2 * int64_t(f));
    const int srcW = w % f == 0 ? w / f : int(floorDiv(w, f)) + 1;
    const int srcH = h % f == 0 ? h / f : int(floorDiv(h, f)) + 1;
    s.source = QRect(int(left), int(top), srcW, srcH);
    s.dstW = srcW * f;
    s.dstH = srcH * f;
    return s;
}

QVector<int> divisionMarks(int barLength, int spacing, int border) {
    QVector<int> marks;
    const int64_t last = Nearest(double(barLength) - border - 1.0);
    for (int64_t p = border; p <= last; p += spacing) {
        marks.push_back(int(p));
        if (spacing < 1)
            break;
    }
    return marks;
}

int32_t markerUpperBound(int barLength, int factor, int border) {
    return int32_t(floorDiv(int64_t(barLength) - 2 * border - 1, safeFactor(factor)));
}

int clickToMarker(double x, int factor, int32_t upper, int border) {
    const int f = safeFactor(factor);
    const double v = x - border;
    const int64_t r = Nearest(v) % f; // sign follows v, as the boundary test expects
    const int64_t block = int64_t(std::floor(v / f));
    const int64_t s = double(r) >= f / 2.0 ? (block + 1) * f : block * f;
    if (s < f / 2)
        return 0;
    if (s <= int64_t(upper) * f)
        return int(s / f);
    return int(upper);
}

int32_t arrowDistance(int a, int b, int factor) {
    return int32_t(Nearest(std::abs(double(a) - double(b)) / safeFactor(factor)));
}

} // namespace ocula::geometry
