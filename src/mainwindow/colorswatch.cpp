// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "mainwindow/colorswatch.h"

#include <QPainter>

namespace ocula {

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ColorSwatch::setColor(std::optional<QRgb> color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // A frame of the button shadow sets off a colour as light or as dark as the bar.
    p.fillRect(rect(), palette().color(QPalette::Dark));
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    p.fillRect(inside, m_color ? QColor::fromRgb(*m_color) : palette().color(QPalette::Window));
}

} // namespace ocula
