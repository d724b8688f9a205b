#include "platform/x11/x11screensource.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace ocula {

using xcb::fetch;

std::unique_ptr<X11ScreenSource> X11ScreenSource::create(Shm shm) {
    auto source = std::make_unique<X11ScreenSource>(shm);
    if (!source->isUsable())
        return nullptr;
    return source;
}

X11ScreenSource::X11ScreenSource(Shm shm) {
    // The tick reads its two replies itself instead of waiting for Qt's event thread.
    int screenNumber = 0;
    xcb_connection_t* c = xcb::connectLikeQt(&screenNumber);
    if (!c)
        return;
    m_connection = c;
    const xcb_screen_t* screen = xcb::screenOf(c, screenNumber);
    if (!screen)
        return;

    m_root = screen->root;
    m_depth = screen->root_depth;
    m_rootRect = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    refreshRoot(); // the connection's set-up data is as old as the connection
    m_usable = xcb::rootFormatSupported(xcb_get_setup(c), screen, &m_scanlinePad);
    m_shmUsable = m_usable && shm == Shm::Auto && xcb::shmAvailable(c);
}

X11ScreenSource::~X11ScreenSource() {
    m_segment.release();
    if (m_connection)
        xcb_disconnect(m_connection);
}

QPoint X11ScreenSource::cursorPos() {
    if (!m_connection)
        return m_lastCursor;
    const auto reply = fetch<xcb_query_pointer_reply_t>(
        m_connection, xcb_query_pointer(m_connection, m_root), xcb_query_pointer_reply);
    // Off our screen the coordinates mean nothing: keep the last ones.
    if (reply && reply->same_screen)
        m_lastCursor = QPoint(reply->root_x, reply->root_y);
    // A pointer past the known edges means the screen has grown.
    if (!m_rootRect.contains(m_lastCursor))
        refreshRoot();
    return m_lastCursor;
}

QRect X11ScreenSource::desktopRect() const {
    return m_rootRect;
}

bool X11ScreenSource::refreshRoot() {
    if (!m_connection)
        return false;
    const auto geometry = fetch<xcb_get_geometry_reply_t>(
        m_connection, xcb_get_geometry(m_connection, m_root), xcb_get_geometry_reply);
    if (!geometry)
        return false;
    const QRect rect(0, 0, geometry->width, geometry->height);
    const bool changed = rect != m_rootRect;
    m_rootRect = rect;
    return changed;
}

bool X11ScreenSource::grab(const QRect& source, QImage& into, bool* changed) {
    bool differs = false;
    const bool read = grabInto(source, into, differs);
    if (changed)
        *changed = differs;
    return read;
}

bool X11ScreenSource::grabInto(const QRect& source, QImage& into, bool& changed) {
    if (!m_usable || into.depth() != 32 || into.size() != source.size())
        return false;
    // The cached root size costs nothing in the usual case, a rectangle well inside it.
    // At an edge we ask again, which also notices a screen that has grown.
    if (!m_rootRect.contains(source))
        refreshRoot();
    QRect onScreen = source.intersected(m_rootRect);
    if (onScreen.isEmpty())
        return false;
    if (readRect(onScreen, into, onScreen.topLeft() - source.topLeft(), changed))
        return true;
    // A read inside the cached rectangle fails with BadMatch when the screen has shrunk.
    if (!refreshRoot())
        return false;
    onScreen = source.intersected(m_rootRect);
    return !onScreen.isEmpty() &&
           readRect(onScreen, into, onScreen.topLeft() - source.topLeft(), changed);
}

bool X11ScreenSource::readRect(const QRect& rect, QImage& into, QPoint at, bool& changed) {
    if (m_shmUsable) {
        if (readShm(rect, into, at, changed))
            return true;
        // If the plain request fails too, the rectangle was at fault, not SHM.
        if (!readGetImage(rect, into, at, changed))
            return false;
        m_shmUsable = false;
        m_segment.release();
        return true;
    }
    return readGetImage(rect, into, at, changed);
}

bool X11ScreenSource::readShm(const QRect& rect, QImage& into, QPoint at, bool& changed) {
    const size_t bytes = size_t(strideFor(rect.width())) * size_t(rect.height());
    if (m_segment.size() < bytes)
        m_segment = xcb::ShmSegment::attach(m_connection, bytes);
    if (!m_segment.isValid()) {
        m_shmUsable = false;
        return false;
    }
    const auto cookie = xcb_shm_get_image(
        m_connection, m_root, int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
        uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment.id(), 0);
    const auto reply =
        fetch<xcb_shm_get_image_reply_t>(m_connection, cookie, xcb_shm_get_image_reply);
    if (!reply || reply->depth != m_depth || reply->size < bytes)
        return false;
    changed |= copyRows(m_segment.data(), rect, into, at);
    return true;
}

bool X11ScreenSource::readGetImage(const QRect& rect, QImage& into, QPoint at, bool& changed) {
    const auto cookie =
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(rect.x()),
                      int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), ~0u);
    const auto reply = fetch<xcb_get_image_reply_t>(m_connection, cookie, xcb_get_image_reply);
    if (!reply || reply->depth != m_depth)
        return false;
    const size_t bytes = size_t(strideFor(rect.width())) * size_t(rect.height());
    if (size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return false;
    changed |= copyRows(xcb_get_image_data(reply.get()), rect, into, at);
    return true;
}

int X11ScreenSource::strideFor(int width) const {
    const int bits = width * 32;
    return (bits + m_scanlinePad - 1) / m_scanlinePad * m_scanlinePad / 8;
}

bool X11ScreenSource::copyRows(const uint8_t* from, const QRect& rect, QImage& into,
                               QPoint at) const {
    // Plain locals: with the sizes read through `rect` at every pixel (a store might change
    // them, as far as the compiler knows), the loop would not be vectorised.
    const int width = rect.width();
    const int height = rect.height();
    const size_t stride = size_t(strideFor(width));
    uchar* const base = into.bits();
    const qsizetype bpl = into.bytesPerLine();
    uint32_t diff = 0;
    for (int y = 0; y < height; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(from + size_t(y) * stride);
        auto* dst = reinterpret_cast<uint32_t*>(base + (at.y() + y) * bpl) + at.x();
        // The server leaves the top byte of a depth-24 pixel undefined; RGB32 wants 0xff.
        for (int x = 0; x < width; ++x) {
            const uint32_t v = src[x] | 0xff000000u;
            diff |= v ^ dst[x];
            dst[x] = v;
        }
    }
    return diff != 0;
}

} // namespace ocula
