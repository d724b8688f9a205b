// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

namespace ocula {

// Window geometry is kept in twips (1440 per inch); these convert with the primary
// screen's logical resolution (15 twips per pixel at 96 dpi).
double twipsPerPixelX();
double twipsPerPixelY();

// Conversions, rounded to the nearest whole number (halves to even).
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
int32_t pixelsToTwipsX(double pixels);
int32_t pixelsToTwipsY(double pixels);

} // namespace ocula
