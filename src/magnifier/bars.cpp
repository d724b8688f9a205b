// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// Layout of the view and the two ruler bars, and drawing the bars.
#include "common/colors.h"
#include "common/uiscale.h"
#include "magnifier/geometry.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"

#include <QLabel>

namespace ocula {

namespace {
// Thickness of a ruler bar, 30 pixels at 96 dpi; the marks fill the half next to the view.
int barThickness() {
    return scaled(30);
}
} // namespace

void Zoom::placeChild(QWidget* child, int left, int top, int width, int height) {
    // A control smaller than a bar gives a negative size: the area keeps its old place.
    if (width < 0 || height < 0)
        return;
    const QPoint o = inner().topLeft();
    child->setGeometry(o.x() + left, o.y() + top, width, height);
    if (child == m_picZoom)
        m_picZoom->layoutClient();
}

void Zoom::placeAt(const QRect& geometry) {
    setGeometry(geometry);
    if (!isVisible())
        LayoutBars();
}

void Zoom::LayoutBars() {
    const int w = inner().width();
    const int h = inner().height();
    const int bar = barThickness();
    switch (m_ShowBars) {
    case 0:
        m_picTop->hide();
        m_picLeft->hide();
        placeChild(m_picZoom, 0, 0, w, h);
        break;
    case 1:
        m_picTop->hide();
        m_picLeft->show();
        placeChild(m_picLeft, 0, 0, bar, h);
        placeChild(m_picZoom, bar, 0, w - bar, h);
        DrawLeftBar(true);
        break;
    case 2:
        m_picLeft->hide();
        m_picTop->show();
        placeChild(m_picTop, 0, 0, w, bar);
        placeChild(m_picZoom, 0, bar, w, h - bar);
        DrawTopBar(true);
        break;
    case 3:
        m_picTop->show();
        m_picLeft->show();
        placeChild(m_picLeft, 0, bar, bar, h - bar);
        placeChild(m_picTop, bar, 0, w - bar, bar);
        placeChild(m_picZoom, bar, bar, w - bar, h - bar);
        DrawLeftBar(true);
        DrawTopBar(true);
        break;
    default:
        break;
    }
}

void Zoom::DrawLeftBar(bool Reposition) {
    m_picLeft->Cls();
    if (m_Factor <= 2) {
        m_MarkerL[0]->hide();
        m_MarkerL[1]->hide();
        m_picArrowLeft[0]->hide();
        m_picArrowLeft[1]->hide();
    } else {
        DrawLeftDivs();
        if (Reposition) {
            if (m_MarkersLeftSet) {
                PlaceLeftMarker(0, m_MarkerPosL[0]);
                PlaceLeftMarker(1, m_MarkerPosL[1]);
            } else {
                PlaceLeftMarker(0, 0);
                PlaceLeftMarker(1, int16_t(SizeY()));
            }
        }
        if (m_MarkersLeftOn)
            setLeftMarkersVisible(true);
    }
    drawBarFrame(m_picLeft);
    m_picLeft->update();
}

void Zoom::DrawTopBar(bool Reposition) {
    m_picTop->Cls();
    if (m_Factor <= 2) {
        m_MarkerT[0]->hide();
        m_MarkerT[1]->hide();
        m_picArrowTop[0]->hide();
        m_picArrowTop[1]->hide();
    } else {
        DrawTopDivs();
        if (Reposition) {
            if (m_MarkersTopSet) {
                PlaceTopMarker(0, m_MarkerPosT[0]);
                PlaceTopMarker(1, m_MarkerPosT[1]);
            } else {
                PlaceTopMarker(0, 0);
                PlaceTopMarker(1, int16_t(SizeX()));
            }
        }
        if (m_MarkersTopOn)
            setTopMarkersVisible(true);
    }
    drawBarFrame(m_picTop);
    m_picTop->update();
}

void Zoom::DrawLeftDivs() {
    QImage& img = m_picLeft->image();
    const QRgb color = resolveColor(m_ClrDivs);
    const int spacing = int(m_Factor) * int(m_Step);
    const int bar = barThickness();
    for (int y : geometry::divisionMarks(m_picLeft->height(), spacing, ViewFrame::border())) {
        if (y < 0 || y >= img.height())
            continue;
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = bar / 2; x < bar && x < img.width(); ++x)
            row[x] = color;
    }
}

void Zoom::DrawTopDivs() {
    QImage& img = m_picTop->image();
    const QRgb color = resolveColor(m_ClrDivs);
    const int spacing = int(m_Factor) * int(m_Step);
    const int bar = barThickness();
    for (int x : geometry::divisionMarks(m_picTop->width(), spacing, ViewFrame::border())) {
        if (x < 0 || x >= img.width())
            continue;
        for (int y = bar / 2; y < bar && y < img.height(); ++y)
            reinterpret_cast<QRgb*>(img.scanLine(y))[x] = color;
    }
}

// A one-pixel raised edge: highlight along the top and left, shadow along the bottom
// and right. Drawn last, so it covers the marks' last pixel at the inner edge.
void Zoom::drawBarFrame(ZoomArea* bar) {
    QImage& img = bar->image();
    const int w = img.width();
    const int h = img.height();
    if (w <= 0 || h <= 0)
        return;
    const QRgb light = resolveColor(kSysButtonHighlight);
    const QRgb shadow = resolveColor(kSysButtonShadow);
    auto* top = reinterpret_cast<QRgb*>(img.scanLine(0));
    auto* bottom = reinterpret_cast<QRgb*>(img.scanLine(h - 1));
    for (int x = 0; x < w; ++x) {
        top[x] = light;
        bottom[x] = shadow;
    }
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        row[0] = y == h - 1 ? shadow : light;
        row[w - 1] = shadow;
    }
}

} // namespace ocula
