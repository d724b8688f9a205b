// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>

#include <cstdint>

namespace ocula {

// Colour values are 32-bit with red in the low byte; a value with the top bit set names
// a system colour by its low byte.
constexpr int32_t kSysWindowBackground = int32_t(0x80000005u);
constexpr int32_t kSysHighlight = int32_t(0x8000000Du);
constexpr int32_t kSysButtonFace = int32_t(0x8000000Fu);
constexpr int32_t kSysButtonShadow = int32_t(0x80000010u);
constexpr int32_t kSysButtonHighlight = int32_t(0x80000014u);

constexpr bool isSystemColor(int32_t c) {
    return c < 0;
}

// The plain colour a value stands for now: system colours through the palette.
QRgb resolveColor(int32_t color);
// A plain colour as a colour value (red in the low byte).
int32_t colorValueFromRgb(QRgb rgb);
QColor toQColor(int32_t color);

} // namespace ocula
