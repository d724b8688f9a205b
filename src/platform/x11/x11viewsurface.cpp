// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/x11/x11viewsurface.h"

#include <QGuiApplication>
#include <QScreen>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ocula {

namespace {
// Two bands of 1 MB: a view of any size costs 2 MB of shared memory (a 1900 x 1000 view
// would take 7.6 MB in one piece), and the server copies one band while the next is
// painted. A whole frame of that size takes eight puts, which cost no more than four of
// twice the size (measured).
constexpr int kSlots = 2;
constexpr size_t kDefaultBandBytes = size_t(1) * 1024 * 1024;
// A move waits for the server's answer (what it could not move), which costs about what
// painting 300 000 pixels does; smaller areas are painted (measured: moving a 400 x 420
// view cost more than painting it, moving a 1900 x 1000 one half as much).
constexpr qint64 kDefaultMinMovedPixels = 300'000;
} // namespace

std::unique_ptr<X11ViewSurface> X11ViewSurface::create(QWidget* widget) {
    // The rows are put 1:1 onto the window: with Qt scaling (QT_SCALE_FACTOR, say) the
    // window has more pixels than the widget, and Qt must paint it.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (std::any_of(screens.begin(), screens.end(),
                    [](const QScreen* s) { return s->devicePixelRatio() != 1.0; }))
        return nullptr;
    int screenNumber = 0;
    xcb_connection_t* c = xcb::connectLikeQt(&screenNumber);
    if (!c)
        return nullptr;
    const xcb_screen_t* screen = xcb::screenOf(c, screenNumber);
    int pad = 0;
    if (!screen || !xcb::rootFormatSupported(xcb_get_setup(c), screen, &pad) ||
        !xcb::shmAvailable(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::unique_ptr<X11ViewSurface>(new X11ViewSurface(c, widget));
}

X11ViewSurface::X11ViewSurface(xcb_connection_t* c, QWidget* widget)
    : m_connection(c), m_widget(widget), m_minMovedPixels(kDefaultMinMovedPixels),
      m_bandBytes(kDefaultBandBytes) {}

X11ViewSurface::~X11ViewSurface() {
    // The server keeps its own mapping until it has handled the detach, which it does
    // after the puts before it: nothing to wait for.
    m_ring.release();
    if (m_gc != 0)
        xcb_free_gc(m_connection, m_gc);
    if (m_copyGc != 0)
        xcb_free_gc(m_connection, m_copyGc);
    xcb_disconnect(m_connection);
}

void X11ViewSurface::setBandBytes(size_t bytes) {
    waitIdle();
    m_bandBytes = std::max<size_t>(bytes, 1);
    m_slotBytes = 0; // lay the bands out afresh
}

void X11ViewSurface::setSharedMemory(bool allowed) {
    waitIdle();
    m_shmAllowed = allowed;
    if (!allowed)
        m_ring.release();
    m_slotBytes = 0;
}

bool X11ViewSurface::fitRing(int width) {
    // A band holds at least one whole row of the window, in whole pixels.
    const size_t slotBytes = std::max(m_bandBytes / 4, size_t(width)) * 4;
    if (m_ring.isValid() && slotBytes == m_slotBytes)
        return true;
    // The bands move within the segment: none may still be read from.
    waitIdle();
    const size_t bytes = size_t(kSlots) * slotBytes;
    if (!m_ring.isValid() || m_ring.size() < bytes) {
        m_ring.release();
        m_ring = xcb::ShmSegment::attach(m_connection, bytes);
        if (!m_ring.isValid()) {
            m_slotBytes = 0;
            m_shmAllowed = false; // no asking again at every frame
            return false;
        }
    }
    m_slotBytes = slotBytes;
    m_nextSlot = 0;
    return true;
}

template <typename Done> void X11ViewSurface::readEventsUntil(Done done) {
    while (!done()) {
        xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
        if (event == nullptr) {
            // The puts go out in batches: the server wakes once for several bands.
            xcb_flush(m_connection);
            event = xcb_wait_for_event(m_connection);
        }
        if (event == nullptr) { // the connection is broken: nothing will come
            m_inFlight.clear();
            m_copyAnswered = true;
            return;
        }
        takeEvent(event);
        std::free(event);
    }
}

void X11ViewSurface::takeEvent(const xcb_generic_event_t* event) {
    // Each put ends in a completion event, or in an error when its window has gone; the
    // server answers puts in order. A move ends in NoExposure, or in GraphicsExposure
    // events for what it could not fill, or in an error.
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(m_connection, &xcb_shm_id);
    const uint8_t type = event->response_type & 0x7f;
    const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
    if (type == shm->first_event + XCB_SHM_COMPLETION ||
        (type == 0 && error->major_code == shm->major_opcode &&
         error->minor_code == XCB_SHM_PUT_IMAGE)) {
        if (!m_inFlight.empty())
            m_inFlight.pop_front();
    } else if (type == XCB_GRAPHICS_EXPOSURE) {
        const auto* e = reinterpret_cast<const xcb_graphics_exposure_event_t*>(event);
        m_uncopied += QRect(e->x, e->y, e->width, e->height);
        if (e->count == 0)
            m_copyAnswered = true;
    } else if (type == XCB_NO_EXPOSURE) {
        m_copyAnswered = true;
    } else if (type == 0 && error->major_code == XCB_COPY_AREA) {
        m_uncopied += QRect(0, 0, 0x7fff, 0x7fff);
        m_copyAnswered = true;
    }
}

void X11ViewSurface::waitForSlot(int slot) {
    // As a rule the completion is in the socket already.
    readEventsUntil(
        [&] { return std::find(m_inFlight.begin(), m_inFlight.end(), slot) == m_inFlight.end(); });
}

void X11ViewSurface::waitIdle() {
    while (!m_inFlight.empty())
        waitForSlot(m_inFlight.back());
}

bool X11ViewSurface::bindWindow() {
    const uint32_t window = m_widget ? uint32_t(m_widget->internalWinId()) : 0;
    if (window == 0)
        return false;
    if (window == m_window)
        return true;
    const auto geometry = xcb::fetch<xcb_get_geometry_reply_t>(
        m_connection, xcb_get_geometry(m_connection, window), xcb_get_geometry_reply);
    if (!geometry || !xcb::depthIs32Bits(xcb_get_setup(m_connection), geometry->depth))
        return false;
    if (m_gc == 0 || geometry->depth != m_depth) {
        if (m_gc != 0) {
            xcb_free_gc(m_connection, m_gc);
            xcb_free_gc(m_connection, m_copyGc);
        }
        m_gc = xcb_generate_id(m_connection);
        const uint32_t noExposures = 0;
        xcb_create_gc(m_connection, m_gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        m_copyGc = xcb_generate_id(m_connection);
        const uint32_t exposures = 1;
        xcb_create_gc(m_connection, m_copyGc, window, XCB_GC_GRAPHICS_EXPOSURES, &exposures);
    }
    m_window = window;
    m_depth = geometry->depth;
    return true;
}

// Without a segment the pixels go in the requests, a band at a time, each band no larger
// than the server's largest request.
void X11ViewSurface::putPlain(const QRect& r, const RowPainter& paint) {
    // The request carries the rect's columns only, row after row.
    const size_t putBytes = size_t(r.width()) * 4;
    const size_t maxBytes = size_t(xcb_get_maximum_request_length(m_connection)) * 4 - 64;
    const int bandRows = int(std::max<size_t>(1, std::min(m_bandBytes, maxBytes) / putBytes));
    m_plain.resize(putBytes * size_t(bandRows));
    for (int top = r.top(); top <= r.bottom(); top += bandRows) {
        const int rows = std::min(bandRows, r.bottom() + 1 - top);
        paint(m_plain.data(), qsizetype(putBytes), QRect(r.left(), top, r.width(), rows));
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, uint16_t(r.width()),
                      uint16_t(rows), int16_t(r.left()), int16_t(top), 0, m_depth,
                      uint32_t(putBytes * size_t(rows)), m_plain.data());
    }
    xcb_flush(m_connection);
}

bool X11ViewSurface::present(const QRect& rect, const RowPainter& paint) {
    if (!m_widget)
        return false;
    const int width = m_widget->width();
    const QRect r = rect.intersected(QRect(0, 0, width, m_widget->height()));
    if (r.isEmpty())
        return true;
    if (!bindWindow())
        return false;
    m_rowsPut += quint64(r.height());
    if (!m_shmAllowed || !fitRing(width)) {
        putPlain(r, paint);
        return true;
    }
    // Each band holds the rect's columns only, row after row: a narrow rect (the edge of a
    // moved view) goes in one put instead of one per band of whole rows, and a put whose
    // rows are whole takes the server's plain copy rather than its general one.
    const size_t stride = size_t(r.width()) * 4;
    const int bandRows = int(std::clamp<size_t>(m_slotBytes / stride, 1, 0x7fff));
    for (int top = r.top(); top <= r.bottom(); top += bandRows) {
        const int rows = std::min(bandRows, r.bottom() + 1 - top);
        const int slot = m_nextSlot;
        m_nextSlot = (slot + 1) % kSlots;
        waitForSlot(slot);
        const size_t offset = size_t(slot) * m_slotBytes;
        paint(m_ring.data() + offset, qsizetype(stride), QRect(r.left(), top, r.width(), rows));
        xcb_shm_put_image(m_connection, m_window, m_gc, uint16_t(r.width()), uint16_t(rows), 0, 0,
                          uint16_t(r.width()), uint16_t(rows), int16_t(r.x()), int16_t(top),
                          m_depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 1, m_ring.id(), uint32_t(offset));
        // Sent at once, so that the server copies this band while the next is painted.
        xcb_flush(m_connection);
        m_inFlight.push_back(slot);
    }
    return true;
}

bool X11ViewSurface::scroll(const QRect& area, QPoint delta, const QRegion& rest,
                            const RowPainter& paint) {
    if (!m_widget || !bindWindow())
        return false;
    const QRect bounds(0, 0, m_widget->width(), m_widget->height());
    const QRect from = area.intersected(bounds).intersected(bounds.translated(-delta));
    if (qint64(from.width()) * from.height() < m_minMovedPixels)
        return false;
    // A software server (Xvfb, Xvnc, Xorg without acceleration) copies rows that overlap
    // themselves to the right pixel by pixel: such a move costs it twice a put of the
    // whole area (measured). Any move with a vertical part copies whole rows.
    if (delta.y() == 0 && delta.x() > 0)
        return false;
    // The server moves the pixels within the window, in order with the puts before.
    m_uncopied = QRegion();
    m_copyAnswered = false;
    xcb_copy_area(m_connection, m_window, m_window, m_copyGc, int16_t(from.x()), int16_t(from.y()),
                  int16_t(from.x() + delta.x()), int16_t(from.y() + delta.y()),
                  uint16_t(from.width()), uint16_t(from.height()));
    for (const QRect& r : rest)
        present(r, paint);
    // As a rule the answer came while the rest was painted.
    readEventsUntil([this] { return m_copyAnswered; });
    for (const QRect& r : m_uncopied.intersected(from.translated(delta)))
        present(r, paint);
    m_uncopied = QRegion();
    return true;
}

} // namespace ocula
