// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/uiscale.h"

#include "common/rounding.h"

#include <QGuiApplication>
#include <QList>
#include <QScreen>

#include <algorithm>

namespace ocula {

namespace {

double positiveOr1(const QByteArray& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && v > 0 ? v : 1.0;
}

double primaryScreenFactor(const QByteArray& spec, const QString& primaryName) {
    double factor = 1.0;
    const QList<QByteArray> entries = spec.split(';');
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray& entry = entries.at(i);
        const qsizetype equals = entry.lastIndexOf('=');
        if (equals < 0) {
            if (i == 0)
                factor = positiveOr1(entry);
        } else if (!primaryName.isEmpty() &&
                   QString::fromUtf8(entry.left(equals).trimmed()) == primaryName) {
            factor = positiveOr1(entry.mid(equals + 1));
        }
    }
    return factor;
}

} // namespace

double requestedScale(const ScaleRequest& request) {
    double dpi = request.xftDpi > 0 ? request.xftDpi : 96.0;
    bool forced = false;
    if (const double d = request.fontDpi.trimmed().toDouble(&forced); forced && d > 0)
        dpi = d;
    const double scale = positiveOr1(request.scaleFactor) *
                         primaryScreenFactor(request.screenScaleFactors, request.primaryName) *
                         dpi / 96.0;
    // Beyond these a window no longer fits any screen, or its text no longer shows.
    return std::clamp(scale, 0.5, 8.0);
}

double xftDpiFromResources(const QByteArray& resources) {
    for (const QByteArray& line : resources.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "Xft.dpi")
            continue;
        bool ok = false;
        const double dpi = line.mid(colon + 1).trimmed().toDouble(&ok);
        return ok && dpi > 0 ? dpi : 0.0;
    }
    return 0.0;
}

double uiScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen == nullptr ? 96.0 : screen->logicalDotsPerInch();
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

int scaled(int px) {
    const int v = int(Nearest(px * uiScale()));
    return px >= 1 ? std::max(v, 1) : v;
}

} // namespace ocula
