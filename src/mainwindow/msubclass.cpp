// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "mainwindow/msubclass.h"

#include "magnifier/zoom.h"

#include <QChildEvent>
#include <QWheelEvent>
#include <QWindow>

namespace ocula {

WindowProc::WindowProc(Zoom* zoom, int32_t maxFactor, QObject* parent)
    : QObject(parent), m_zoom(zoom), m_maxFactor(maxFactor) {}

void WindowProc::watch(QWindow* window) {
    window->installEventFilter(this);
    for (QWindow* child : window->findChildren<QWindow*>(Qt::FindDirectChildrenOnly))
        watch(child);
}

void WindowProc::unwatch(QWindow* window) {
    window->removeEventFilter(this);
    for (QWindow* child : window->findChildren<QWindow*>(Qt::FindDirectChildrenOnly))
        unwatch(child);
}

bool WindowProc::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ChildAdded) {
        // Qt gives a native child widget its QWindow first and its parent window after.
        if (auto* child = qobject_cast<QWindow*>(static_cast<QChildEvent*>(event)->child()))
            watch(child);
    }
    if (event->type() == QEvent::Wheel && m_zoom) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        // The vertical wheel only: sideways scrolling (a touchpad, a tilt wheel) is not zoom.
        // With Alt held, X11 delivers the vertical wheel transposed.
        const bool transposed = wheel->modifiers().testFlag(Qt::AltModifier);
        const int delta = wheel->angleDelta().y() != 0 || !transposed ? wheel->angleDelta().y()
                                                                      : wheel->angleDelta().x();
        const int16_t factor = m_zoom->Factor();
        // One step per event however far the wheel went: forward (away from the user)
        // zooms out, backward zooms in.
        if (delta > 0) {
            if (factor > 1)
                m_zoom->setFactor(int16_t(factor - 1));
        } else if (delta < 0) {
            if (factor < m_maxFactor)
                m_zoom->setFactor(int16_t(factor + 1));
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ocula
