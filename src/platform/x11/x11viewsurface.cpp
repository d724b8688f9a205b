#include "platform/x11/x11viewsurface.h"

#include <QGuiApplication>
#include <QScreen>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace ocula {

std::unique_ptr<X11ViewSurface> X11ViewSurface::create(QWidget* widget) {
    // The image is put 1:1 onto the window: with Qt scaling (QT_SCALE_FACTOR, say) the
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
    : m_connection(c), m_widget(widget) {}

X11ViewSurface::~X11ViewSurface() {
    m_segments.clear();
    if (m_gc != 0)
        xcb_free_gc(m_connection, m_gc);
    xcb_disconnect(m_connection);
}

QImage X11ViewSurface::allocate(QSize size) {
    if (size.isEmpty())
        return QImage(size.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    const qsizetype bpl = qsizetype(size.width()) * 4;
    xcb::ShmSegment segment =
        xcb::ShmSegment::attach(m_connection, size_t(bpl) * size_t(size.height()));
    if (!segment.isValid())
        return QImage();
    QImage image(segment.data(), size.width(), size.height(), bpl, QImage::Format_RGB32);
    m_segments.push_back(std::move(segment));
    return image;
}

std::vector<xcb::ShmSegment>::iterator X11ViewSurface::segmentOf(const uchar* bits) {
    return std::find_if(m_segments.begin(), m_segments.end(),
                        [bits](const xcb::ShmSegment& s) { return s.data() == bits; });
}

void X11ViewSurface::release(const uchar* bits) {
    const auto it = segmentOf(bits);
    if (it == m_segments.end())
        return;
    waitIdle(); // the server may still be reading it
    m_segments.erase(it);
}

void X11ViewSurface::waitIdle() {
    // Each put ends in a completion event, or in an error when its window has gone. Both
    // are in the socket long before the next frame as a rule, so this rarely blocks.
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(m_connection, &xcb_shm_id);
    while (m_pending > 0) {
        xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
        if (event == nullptr)
            event = xcb_wait_for_event(m_connection);
        if (event == nullptr) { // the connection is broken: nothing will come
            m_pending = 0;
            break;
        }
        const uint8_t type = event->response_type & 0x7f;
        const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
        if (type == shm->first_event + XCB_SHM_COMPLETION ||
            (type == 0 && error->major_code == shm->major_opcode &&
             error->minor_code == XCB_SHM_PUT_IMAGE))
            --m_pending;
        std::free(event);
    }
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
        if (m_gc != 0)
            xcb_free_gc(m_connection, m_gc);
        m_gc = xcb_generate_id(m_connection);
        const uint32_t noExposures = 0;
        xcb_create_gc(m_connection, m_gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    }
    m_window = window;
    m_depth = geometry->depth;
    return true;
}

// For an image not in a segment (one could not be had): the pixels go in the requests,
// in bands that fit the server's largest request.
void X11ViewSurface::putPlain(const QImage& image, const QRect& r) {
    const size_t rowBytes = size_t(r.width()) * 4;
    const size_t maxBytes = size_t(xcb_get_maximum_request_length(m_connection)) * 4 - 64;
    const int bandRows = int(std::max<size_t>(1, maxBytes / rowBytes));
    std::vector<uint8_t> band;
    for (int top = r.top(); top <= r.bottom(); top += bandRows) {
        const int rows = std::min(bandRows, r.bottom() + 1 - top);
        band.resize(rowBytes * size_t(rows));
        for (int y = 0; y < rows; ++y)
            std::memcpy(band.data() + rowBytes * size_t(y),
                        image.constScanLine(top + y) + size_t(r.left()) * 4, rowBytes);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, uint16_t(r.width()),
                      uint16_t(rows), int16_t(r.left()), int16_t(top), 0, m_depth,
                      uint32_t(band.size()), band.data());
    }
    xcb_flush(m_connection);
}

bool X11ViewSurface::present(const QImage& image, const QRect& rect) {
    const QRect r = rect.intersected(image.rect());
    if (r.isEmpty())
        return true;
    if (!bindWindow() || image.format() != QImage::Format_RGB32)
        return false;
    const auto it = segmentOf(image.constBits());
    if (it == m_segments.end()) {
        putPlain(image, r);
        return true;
    }
    xcb_shm_put_image(m_connection, m_window, m_gc, uint16_t(image.bytesPerLine() / 4),
                      uint16_t(image.height()), uint16_t(r.x()), uint16_t(r.y()),
                      uint16_t(r.width()), uint16_t(r.height()), int16_t(r.x()), int16_t(r.y()),
                      m_depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 1, it->id(), 0);
    xcb_flush(m_connection);
    ++m_pending;
    return true;
}

} // namespace ocula
