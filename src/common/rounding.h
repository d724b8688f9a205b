// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <cmath>
#include <cstdint>

namespace ocula {

// Nearest integer with halves going to the even neighbour, as the stored values and
// the distance readouts expect (12.5 -> 12, 13.5 -> 14).
inline int64_t Nearest(double v) {
    return static_cast<int64_t>(std::nearbyint(v)); // default FE_TONEAREST rounds half to even
}

// Floor division for integers of any sign (C++ '/' truncates towards zero).
constexpr int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

} // namespace ocula
