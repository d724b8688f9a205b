// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The two markers of each ruler bar: placing, clicking, the bar menus and moving by key.
#include "magnifier/arrowimages.h"
#include "magnifier/geometry.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"

#include <QCursor>
#include <QLabel>
#include <QMenu>

namespace ocula {

void Zoom::PlaceTopMarker(int16_t Index, int16_t Pos) {
    if (Index < 0 || Index > 1)
        return;
    int32_t pos = Pos < 0 ? 0 : Pos;
    const int32_t upper = SizeX();
    if (pos > upper)
        pos = upper;
    const int at = int(pos) * m_Factor; // view coordinate of the line
    QLabel* arrow = m_picArrowTop[size_t(Index)];
    arrow->move(arrowLeadingEdge(at), arrow->y());
    m_MarkerPosT[size_t(Index)] = int16_t(pos);
    placeLine(m_MarkerT[size_t(Index)], QRect(at, 0, 1, inner().height()), m_MarkerL);
}

// The lines are native windows drawn from one shared backing store: where a line moves off
// another, the other's window would keep the moved line's pixel unless it is painted anew.
void Zoom::placeLine(QWidget* line, const QRect& geometry, const std::array<QWidget*, 2>& crossed) {
    if (line->geometry() == geometry)
        return;
    line->setGeometry(geometry);
    for (QWidget* other : crossed)
        if (other->isVisible())
            other->update();
}

void Zoom::PlaceLeftMarker(int16_t Index, int16_t Pos) {
    if (Index < 0 || Index > 1)
        return;
    int32_t pos = Pos < 0 ? 0 : Pos;
    const int32_t upper = SizeY();
    if (pos > upper)
        pos = upper;
    const int at = int(pos) * m_Factor;
    QLabel* arrow = m_picArrowLeft[size_t(Index)];
    arrow->move(arrow->x(), arrowLeadingEdge(at));
    m_MarkerPosL[size_t(Index)] = int16_t(pos);
    placeLine(m_MarkerL[size_t(Index)], QRect(0, at, inner().width(), 1), m_MarkerT);
}

// The arrow's tip (its middle pixel) lies on the marker line: view coordinate `at`, which
// is bar coordinate `at` + the view's border.
int Zoom::arrowLeadingEdge(int at) {
    return at + ViewFrame::border() - arrowSize() / 2;
}

void Zoom::ClickTopBar(int16_t Button, float X) {
    const int p = geometry::clickToMarker(double(X), m_Factor, SizeX(), ViewFrame::border());
    if (Button == 1)
        PlaceTopMarker(0, int16_t(p));
    else if (Button == 2)
        PlaceTopMarker(1, int16_t(p));
    m_MarkersTopSet = true;
}

void Zoom::ClickLeftBar(int16_t Button, float Y) {
    const int p = geometry::clickToMarker(double(Y), m_Factor, SizeY(), ViewFrame::border());
    if (Button == 1)
        PlaceLeftMarker(0, int16_t(p));
    else if (Button == 2)
        PlaceLeftMarker(1, int16_t(p));
    m_MarkersLeftSet = true;
}

void Zoom::picTop_MouseUp(int16_t Button, int16_t Shift, float X, float) {
    if ((Shift & 2) != 0) {
        ClickTopBar(Button, X);
        emit MarkerChangeX(DistanceX());
    } else if (Button == 2) {
        m_mnuTopOff->setVisible(m_MarkersTopOn);
        m_mnuTopOn->setVisible(!m_MarkersTopOn);
        m_mnuTop->popup(QCursor::pos());
    }
}

void Zoom::picLeft_MouseUp(int16_t Button, int16_t Shift, float, float Y) {
    if ((Shift & 2) != 0) {
        ClickLeftBar(Button, Y);
        emit MarkerChangeY(DistanceY());
    } else if (Button == 2) {
        m_mnuLeftOff->setVisible(m_MarkersLeftOn);
        m_mnuLeftOn->setVisible(!m_MarkersLeftOn);
        m_mnuLeft->popup(QCursor::pos());
    }
}

void Zoom::setTopMarkersVisible(bool visible) {
    for (size_t i = 0; i < 2; ++i) {
        m_MarkerT[i]->setVisible(visible);
        m_picArrowTop[i]->setVisible(visible);
    }
}

void Zoom::setLeftMarkersVisible(bool visible) {
    for (size_t i = 0; i < 2; ++i) {
        m_MarkerL[i]->setVisible(visible);
        m_picArrowLeft[i]->setVisible(visible);
    }
}

void Zoom::mnuTopOff_Click() {
    m_MarkersTopOn = false;
    setTopMarkersVisible(false);
}

void Zoom::mnuTopOn_Click() {
    m_MarkersTopOn = true;
    if (m_Factor > 2)
        setTopMarkersVisible(true);
}

void Zoom::mnuLeftOff_Click() {
    m_MarkersLeftOn = false;
    setLeftMarkersVisible(false);
}

void Zoom::mnuLeftOn_Click() {
    m_MarkersLeftOn = true;
    if (m_Factor > 2)
        setLeftMarkersVisible(true);
}

void Zoom::MarkerMove(int32_t Marker, int32_t Direction) {
    if (Marker == 0 || Marker == 1) {
        if (m_ShowBars != 1 && m_ShowBars != 3)
            return;
        const size_t i = size_t(Marker);
        if (Direction == 1) {
            if (m_MarkerPosL[i] >= SizeY())
                return;
            m_MarkersLeftSet = true;
            PlaceLeftMarker(int16_t(i), int16_t(m_MarkerPosL[i] + 1));
        } else {
            if (m_MarkerPosL[i] <= 0)
                return;
            m_MarkersLeftSet = true;
            PlaceLeftMarker(int16_t(i), int16_t(m_MarkerPosL[i] - 1));
        }
        emit MarkerChangeY(DistanceY());
    } else if (Marker == 2 || Marker == 3) {
        if (m_ShowBars != 2 && m_ShowBars != 3)
            return;
        const size_t i = size_t(Marker - 2);
        if (Direction == 1) {
            if (m_MarkerPosT[i] >= SizeX())
                return;
            m_MarkersTopSet = true;
            PlaceTopMarker(int16_t(i), int16_t(m_MarkerPosT[i] + 1));
        } else {
            if (m_MarkerPosT[i] <= 0)
                return;
            m_MarkersTopSet = true;
            PlaceTopMarker(int16_t(i), int16_t(m_MarkerPosT[i] - 1));
        }
        emit MarkerChangeX(DistanceX());
    }
}

} // namespace ocula
