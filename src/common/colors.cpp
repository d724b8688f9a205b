// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/colors.h"

#include "platform/systemcolors.h"

namespace ocula {

QRgb resolveColor(int32_t color) {
    if (isSystemColor(color))
        return systemColor(uint32_t(color) & 0xFFu).rgb() | 0xFF000000u;
    const uint32_t c = uint32_t(color);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

int32_t colorValueFromRgb(QRgb rgb) {
    return int32_t(uint32_t(qRed(rgb)) | (uint32_t(qGreen(rgb)) << 8) |
                   (uint32_t(qBlue(rgb)) << 16));
}

QColor toQColor(int32_t color) {
    return QColor::fromRgb(resolveColor(color));
}

} // namespace ocula
