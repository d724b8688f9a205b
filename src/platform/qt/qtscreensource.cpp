// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/qt/qtscreensource.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstring>

namespace ocula {

namespace {

QList<QScreen*> desktopScreens() {
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->virtualSiblings() : QList<QScreen*>();
}

// Qt scales a screen's size by the device pixel ratio but leaves its origin alone.
QRect deviceGeometry(const QScreen* screen) {
    const QRect logical = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return QRect(logical.topLeft(),
                 QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio)));
}

} // namespace

QPoint QtScreenSource::cursorPos() {
    const QPoint logical = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(logical);
    if (!screen)
        return logical;
    const QPoint origin = screen->geometry().topLeft();
    return origin + (logical - origin) * screen->devicePixelRatio();
}

QRect QtScreenSource::desktopRect() const {
    QRect desktop;
    for (const QScreen* screen : desktopScreens())
        desktop |= deviceGeometry(screen);
    return desktop;
}

bool QtScreenSource::grab(const QRect& source, QImage& into, bool* changed) {
    if (into.depth() != 32 || into.size() != source.size())
        return false;
    bool any = false;
    bool differs = false;
    for (QScreen* screen : desktopScreens()) {
        const QRect part = source.intersected(deviceGeometry(screen));
        if (!part.isEmpty() && grabFrom(screen, part, source, into, differs))
            any = true;
    }
    if (changed)
        *changed = differs;
    return any;
}

bool QtScreenSource::grabFrom(QScreen* screen, const QRect& part, const QRect& source, QImage& into,
                              bool& changed) {
    const QPoint origin = screen->geometry().topLeft();
    const qreal ratio = screen->devicePixelRatio();
    // grabWindow(0, ...) wants logical coordinates relative to the screen; ask for the
    // logical rectangle that covers the wanted device pixels.
    const QRect local = part.translated(-origin);
    const int left = int(std::floor(local.left() / ratio));
    const int top = int(std::floor(local.top() / ratio));
    const int right = int(std::ceil((local.right() + 1) / ratio));
    const int bottom = int(std::ceil((local.bottom() + 1) / ratio));
    QImage image = screen->grabWindow(0, left, top, right - left, bottom - top).toImage();
    if (image.isNull())
        return false;
    if (image.format() != QImage::Format_RGB32)
        image = std::move(image).convertToFormat(QImage::Format_RGB32);

    // The device pixel where the grabbed image starts, rounded as Qt rounds it.
    const QPoint grabbed(qRound(left * ratio), qRound(top * ratio));
    const QRect copy = local.intersected(QRect(grabbed, image.size()));
    if (copy.isEmpty())
        return false;
    const QPoint from = copy.topLeft() - grabbed;
    const QPoint to = copy.topLeft() + origin - source.topLeft();
    const size_t bytes = size_t(copy.width()) * 4;
    for (int y = 0; y < copy.height(); ++y)
        changed |= copyChanged(into.scanLine(to.y() + y) + size_t(to.x()) * 4,
                               image.constScanLine(from.y() + y) + size_t(from.x()) * 4, bytes);
    return true;
}

} // namespace ocula
