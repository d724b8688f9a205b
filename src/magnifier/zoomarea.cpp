// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/zoomarea.h"

#include "common/colors.h"
#include "common/uiscale.h"
#include "platform/viewsurface.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ocula {

ZoomArea::ZoomArea(QWidget* parent, QColor background, Presentation presentation)
    : QWidget(parent), m_background(background) {
    // Everything on the area comes from the image: Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    if (presentation == Presentation::Directly) {
        m_surface = createViewSurface(this);
        if (m_surface)
            prepareForViewSurface(this);
    }
}

ZoomArea::~ZoomArea() = default;

QPaintEngine* ZoomArea::paintEngine() const {
    // Qt paints nothing of a directly presented area: paintEvent puts the rows itself.
    return m_surface ? nullptr : QWidget::paintEngine();
}

void ZoomArea::fitImage() {
    if (m_image.size() != size() || m_image.format() != QImage::Format_RGB32)
        m_image = QImage(size().expandedTo(QSize(0, 0)), QImage::Format_RGB32);
}

void ZoomArea::Cls() {
    fitImage();
    m_image.fill(m_background);
}

void ZoomArea::setRowPainter(RowPainter painter) {
    m_painter = std::move(painter);
    if (m_surface)
        m_image = QImage(); // never read again: only bands exist
    else
        paintImage();
}

void ZoomArea::contentChanged() {
    if (m_painter && !m_surface)
        paintImage();
}

void ZoomArea::paintImage() {
    fitImage();
    paintImage(m_image.rect());
}

void ZoomArea::paintImage(const QRect& area) {
    const QRect r = area.intersected(m_image.rect());
    const int band = m_bandRows > 0 ? m_bandRows : std::max(r.height(), 1);
    const qsizetype bpl = m_image.bytesPerLine();
    for (int top = r.top(); top <= r.bottom(); top += band)
        m_painter(m_image.bits() + top * bpl + size_t(r.left()) * 4, bpl,
                  QRect(r.left(), top, r.width(), std::min(band, r.bottom() + 1 - top)));
}

bool ZoomArea::scroll(const QRect& area, QPoint delta) {
    const QRect bounds = rect();
    const QRect from = area.intersected(bounds).intersected(bounds.translated(-delta));
    if (!m_painter || from.isEmpty() || (!m_surface && m_image.size() != size())) {
        present();
        return false;
    }
    const QRegion rest = QRegion(bounds) - QRegion(from.translated(delta));
    if (m_surface) {
        if (m_surface->scroll(from, delta, rest, m_painter))
            return true;
        present();
        return false;
    }
    // Rows in the order that reads each before it is written over.
    const qsizetype bpl = m_image.bytesPerLine();
    const size_t bytes = size_t(from.width()) * 4;
    for (int i = 0; i < from.height(); ++i) {
        const int y = delta.y() > 0 ? from.bottom() - i : from.top() + i;
        std::memmove(m_image.bits() + (y + delta.y()) * bpl + size_t(from.left() + delta.x()) * 4,
                     m_image.constBits() + y * bpl + size_t(from.left()) * 4, bytes);
    }
    for (const QRect& r : rest)
        paintImage(r);
    update();
    return true;
}

void ZoomArea::present() {
    if (m_surface) {
        if (m_painter)
            m_surface->present(rect(), m_painter);
        return;
    }
    if (m_painter)
        paintImage();
    update();
}

namespace {

// Qt's raster engine hands a large drawImage to a pool of threads and back; for an opaque
// 32-bit image going 1:1 into a 32-bit window buffer, plain row copies do the same work
// without that overhead. Returns false where it does not apply, so the painter does it.
bool copyRows(QPainter& p, const QImage& image, const QRect& r) {
    // The painter's device is the widget; the engine paints into the window's buffer.
    QPaintDevice* device = p.paintEngine() != nullptr ? p.paintEngine()->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image || p.hasClipping() ||
        p.deviceTransform().type() > QTransform::TxTranslate ||
        image.format() != QImage::Format_RGB32)
        return false;
    auto* target = static_cast<QImage*>(device);
    if ((target->format() != QImage::Format_RGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied) ||
        target->devicePixelRatio() != 1.0)
        return false;
    const QPoint offset = p.deviceTransform().map(QPoint(0, 0));
    QRegion area(r.intersected(image.rect()).intersected(target->rect().translated(-offset)));
    // Qt leaves the pixels of opaque children (the marker lines) out of the region it has a
    // widget paint, by a clip of the engine's own that the painter does not report; rows
    // copied over them would stay, as Qt does not paint those children again.
    if (const QRegion clip = p.paintEngine()->systemClip(); !clip.isEmpty())
        area &= clip.translated(-offset);
    for (const QRect& source : area) {
        const size_t bytes = size_t(source.width()) * 4;
        for (int y = source.top(); y <= source.bottom(); ++y)
            std::memcpy(target->scanLine(y + offset.y()) + size_t(source.left() + offset.x()) * 4,
                        image.constScanLine(y) + size_t(source.left()) * 4, bytes);
    }
    return true;
}

} // namespace

void ZoomArea::paintEvent(QPaintEvent* event) {
    const QRect r = event->rect();
    if (m_surface) {
        if (m_painter)
            m_surface->present(r, m_painter);
        return;
    }
    QPainter p(this);
    if (!copyRows(p, m_image, r))
        p.drawImage(r.topLeft(), m_image, r);
    // An image smaller than the area (not drawn since a resize) shows the background.
    if (m_image.width() < width())
        p.fillRect(m_image.width(), 0, width() - m_image.width(), height(), m_background);
    if (m_image.height() < height())
        p.fillRect(0, m_image.height(), width(), height() - m_image.height(), m_background);
}

void ZoomArea::resizeEvent(QResizeEvent* event) {
    if (m_surface)
        return; // the rows are painted when the window is exposed
    if (m_painter) {
        paintImage();
        return;
    }
    // Keep what was drawn where it still fits; the owner redraws at its next pass.
    QImage resized(event->size().expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    resized.fill(m_background);
    if (!m_image.isNull() && !resized.isNull()) {
        QPainter p(&resized);
        p.drawImage(0, 0, m_image);
    }
    m_image = std::move(resized);
}

ViewFrame::ViewFrame(QWidget* parent)
    : QWidget(parent), m_client(new ZoomArea(this, toQColor(kSysWindowBackground),
                                             ZoomArea::Presentation::Directly)) {
    m_client->move(border(), border());
}

int ViewFrame::border() {
    return scaled(kBorder);
}

void ViewFrame::resizeEvent(QResizeEvent*) {
    layoutClient();
}

void ViewFrame::layoutClient() {
    const int b = border();
    const QSize inner = size() - QSize(2 * b, 2 * b);
    m_client->setGeometry(b, b, qMax(0, inner.width()), qMax(0, inner.height()));
}

void ViewFrame::paintEvent(QPaintEvent*) {
    // Sunken edge: shadow on the top and left, highlight on the bottom and right; the
    // outer half of the border in the lighter pair, the inner half in the darker.
    QPainter p(this);
    const int w = width(), h = height();
    const int b = border();
    const int outer = (b + 1) / 2;
    for (int i = 0; i < b; ++i) {
        const bool isOuter = i < outer;
        p.setPen(toQColor(isOuter ? kSysButtonShadow : int32_t(0x80000015u)));
        p.drawLine(i, i, w - 1 - i, i);
        p.drawLine(i, i, i, h - 1 - i);
        p.setPen(toQColor(isOuter ? kSysButtonHighlight : kSysButtonFace));
        p.drawLine(i, h - 1 - i, w - 1 - i, h - 1 - i);
        p.drawLine(w - 1 - i, i, w - 1 - i, h - 1 - i);
    }
}

} // namespace ocula
