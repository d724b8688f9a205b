// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QString>

namespace ocula {

// What a session asks for, as it reaches the program before Qt starts.
struct ScaleRequest {
    QByteArray scaleFactor;        // QT_SCALE_FACTOR
    QByteArray screenScaleFactors; // QT_SCREEN_SCALE_FACTORS: "1.5;2" or "DP-1=1.5;DP-2=2"
    QByteArray fontDpi;            // QT_FONT_DPI, which stands in for Xft.dpi when set
    QString primaryName;           // the primary output's name, for the named form
    double xftDpi = 0;             // Xft.dpi from the X resources; 0 when there is none
};

// The one scale the window's furniture follows: the factors times the dpi over 96. The
// screens of the unnamed form are in Qt's order, which puts the primary screen first.
// Entries that are not positive numbers count as 1.
double requestedScale(const ScaleRequest& request);

// Xft.dpi from the text of the X server's RESOURCE_MANAGER property; 0 when it has none.
double xftDpiFromResources(const QByteArray& resources);

// The primary screen's logical dpi over 96; Qt's device pixel ratio stays 1, so this is
// how much larger than at 96 dpi the window's furniture is drawn.
double uiScale();
// A length of the furniture at 96 dpi, at the current scale (nearest, halves to even;
// at least 1 for a length of at least 1).
int scaled(int px);

} // namespace ocula
