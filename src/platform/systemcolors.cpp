// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/systemcolors.h"

#include <QGuiApplication>
#include <QPalette>

namespace ocula {

QColor systemColor(unsigned index) {
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 5: // window background
        return pal.color(QPalette::Base);
    case 8: // window text
        return pal.color(QPalette::Text);
    case 13: // selection highlight
        return pal.color(QPalette::Highlight);
    case 14: // highlighted text
        return pal.color(QPalette::HighlightedText);
    case 15: // button face
        return pal.color(QPalette::Button);
    case 16: // button shadow
        return pal.color(QPalette::Dark);
    case 18: // button text
        return pal.color(QPalette::ButtonText);
    case 20: // button highlight
        return pal.color(QPalette::Light);
    case 21: // dark shadow
        return pal.color(QPalette::Shadow);
    case 22: // light
        return pal.color(QPalette::Midlight);
    default:
        return pal.color(QPalette::Window);
    }
}

} // namespace ocula
