// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/numbers.h"

#include "common/rounding.h"

#include <cmath>
#include <limits>

namespace ocula {

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digitAt = [&](qsizetype k) {
        return k < n && text.at(k).isDigit() && text.at(k) < u'\x80';
    };
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    while (digitAt(i))
        ++i;
    bool any = i > digitsStart;
    if (i < n && text.at(i) == u'.') {
        const qsizetype f = ++i;
        while (digitAt(i))
            ++i;
        any = any || i > f;
    }
    if (!any)
        return 0.0;
    qsizetype end = i;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype k = i + 1;
        if (k < n && (text.at(k) == u'+' || text.at(k) == u'-'))
            ++k;
        if (digitAt(k)) {
            while (digitAt(k))
                ++k;
            end = k;
        }
    }
    bool ok = false;
    const double v = text.mid(start, end - start).toDouble(&ok);
    return ok || std::isinf(v) ? v : 0.0; // an overflowing number stays out of range
}

std::optional<int32_t> leadingNumberAsLong(const QString& text) {
    const double v = leadingNumber(text);
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v);
    if (r < double(std::numeric_limits<int32_t>::min()) ||
        r > double(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return int32_t(Nearest(v));
}

} // namespace ocula
