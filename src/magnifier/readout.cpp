// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// What the view shows, read back for the host: a pixel's colour, the pixel under the
// pointer, the view as shown and the sampled pixels at 1:1. Everything comes from the
// pixels the view was drawn from, so a readout can never disagree with the view.
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"

#include <algorithm>

namespace ocula {

namespace {
constexpr QRgb kOpaque = 0xff000000u;
} // namespace

Zoom::Shown Zoom::shownColor(QPoint p, QRgb* color) const {
    const ViewKey& key = m_viewKey;
    if (!m_viewMagnified || m_pixels == nullptr || !key.source.contains(p))
        return Shown::No;
    if (!key.desktop.contains(p))
        return Shown::OffScreen;
    const QPoint at = p - key.source.topLeft();
    const auto* row = reinterpret_cast<const QRgb*>(m_pixels + at.y() * m_pixelsBpl);
    // Lent pixels may carry anything in their top byte.
    *color = row[at.x()] | kOpaque;
    return Shown::Yes;
}

std::optional<QPoint> Zoom::screenPixelAt(QPoint at) const {
    const ViewKey& key = m_viewKey;
    const int f = std::max(key.factor, 1);
    // The magnified area as paintViewRows draws it; the rest of the view is background.
    const QRect magnified(0, 0, key.size.width(),
                          std::min(key.size.height(), key.source.height() * f));
    if (!m_viewMagnified || m_pixels == nullptr || !magnified.contains(at))
        return std::nullopt;
    return key.source.topLeft() + QPoint(at.x() / f, at.y() / f);
}

void Zoom::notePointer(std::optional<QPoint> at) {
    if (at && !m_picZoom->client()->rect().contains(*at))
        at.reset();
    if (at == m_pointerInView)
        return;
    m_pointerInView = at;
    emit viewPointerMoved();
}

QImage Zoom::shownView() {
    ZoomArea* view = m_picZoom->client();
    QImage image(view->size().expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // The very rows the view's own presentation paints.
    paintViewRows(image.bits(), image.bytesPerLine(), image.rect());
    // The marker lines lie over it as child windows, in their stacking order.
    for (QObject* child : view->children()) {
        auto* line = qobject_cast<QWidget*>(child);
        const bool isMarker =
            line != nullptr &&
            (std::find(m_MarkerL.begin(), m_MarkerL.end(), line) != m_MarkerL.end() ||
             std::find(m_MarkerT.begin(), m_MarkerT.end(), line) != m_MarkerT.end());
        if (!isMarker || !line->isVisibleTo(view))
            continue;
        const QRect r = line->geometry().intersected(image.rect());
        const QRgb c = line->palette().color(QPalette::Window).rgb();
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)) + r.left(), r.width(), c);
    }
    return image;
}

QImage Zoom::shownPixels() const {
    const ViewKey& key = m_viewKey;
    if (!m_viewMagnified || m_pixels == nullptr || key.source.isEmpty())
        return QImage();
    QImage image(key.source.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QRect on = key.source.intersected(key.desktop);
    for (int y = on.top(); y <= on.bottom(); ++y) {
        const int sy = y - key.source.top();
        const auto* from = reinterpret_cast<const QRgb*>(m_pixels + sy * m_pixelsBpl);
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(sy));
        for (int x = on.left(); x <= on.right(); ++x)
            to[x - key.source.left()] = from[x - key.source.left()] | kOpaque;
    }
    return image;
}

} // namespace ocula
