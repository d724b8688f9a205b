// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QRgb>
#include <QString>

namespace ocula {

// A colour as designers paste it: "#1A2B3C" (upper-case hex) and "rgb(26, 43, 60)". The
// alpha byte plays no part.
QString hexText(QRgb color);
QString rgbText(QRgb color);

// WCAG 2.x relative luminance of an sRGB colour: 0 for black to 1 for white.
double relativeLuminance(QRgb color);
// (L1 + 0.05) / (L2 + 0.05), L1 the lighter of the two: 1 to 21, either order.
double contrastRatio(QRgb a, QRgb b);

// The pass level of a ratio for normal text: AA from 4.5, AAA from 7.
enum class ContrastLevel { Fail, AA, AAA };
ContrastLevel contrastLevel(double ratio);
// "4.54:1 AA", "7.00:1 AAA", "3.99:1 fail". The two decimals are cut, not rounded, so the
// shown number and the level always agree (4.499 reads 4.49, never a passing 4.50).
QString contrastText(double ratio);

} // namespace ocula
