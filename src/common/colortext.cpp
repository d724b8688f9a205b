// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/colortext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ocula {

namespace {

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Floating point puts 21 or 4.5 a hair below themselves now and then: the cut must not.
long hundredths(double ratio) {
    return long(std::floor(ratio * 100.0 + 1e-6));
}

} // namespace

QString hexText(QRgb color) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const uint32_t rgb = color & 0xffffffu;
    char text[7] = {'#'};
    for (int i = 0; i < 6; ++i)
        text[1 + i] = digits[(rgb >> (20 - 4 * i)) & 15];
    return QString::fromLatin1(text, 7);
}

QString rgbText(QRgb color) {
    return QStringLiteral("rgb(%1, %2, %3)").arg(qRed(color)).arg(qGreen(color)).arg(qBlue(color));
}

double relativeLuminance(QRgb color) {
    return 0.2126 * linear(qRed(color)) + 0.7152 * linear(qGreen(color)) +
           0.0722 * linear(qBlue(color));
}

double contrastRatio(QRgb a, QRgb b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ContrastLevel contrastLevel(double ratio) {
    const long h = hundredths(ratio);
    return h >= 700 ? ContrastLevel::AAA : h >= 450 ? ContrastLevel::AA : ContrastLevel::Fail;
}

QString contrastText(double ratio) {
    const long h = hundredths(ratio);
    const char* level = "fail";
    switch (contrastLevel(ratio)) {
    case ContrastLevel::AAA:
        level = "AAA";
        break;
    case ContrastLevel::AA:
        level = "AA";
        break;
    case ContrastLevel::Fail:
        break;
    }
    return QStringLiteral("%1.%2:1 %3")
        .arg(h / 100)
        .arg(h % 100, 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(level));
}

} // namespace ocula
