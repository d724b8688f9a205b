#include "platform/x11/x11screensource.h"

#include <QGuiApplication>
#include <QSysInfo>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace ocula {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Replies and errors are both malloc'ed by xcb; asking for the error here keeps it out
// of Qt's event queue, which would log it.
template <typename Reply, typename Cookie, typename Fetch>
XcbReply<Reply> fetch(xcb_connection_t* c, Cookie cookie, Fetch fetchReply) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(fetchReply(c, cookie, &error));
    std::free(error);
    return reply;
}

const xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    const xcb_screen_t* first = it.rem ? it.data : nullptr;
    for (; it.rem; --number, xcb_screen_next(&it)) {
        if (number == 0)
            return it.data;
    }
    return first;
}

// The one layout we copy without conversion: 0x00RRGGBB words in host byte order.
bool rootFormatSupported(const xcb_setup_t* setup, const xcb_screen_t* screen, int* pad) {
    if (screen->root_depth != 24 && screen->root_depth != 32)
        return false;
    const uint8_t hostOrder = QSysInfo::ByteOrder == QSysInfo::LittleEndian
                                  ? XCB_IMAGE_ORDER_LSB_FIRST
                                  : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != hostOrder)
        return false;

    bool layoutOk = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            layoutOk = it.data->bits_per_pixel == 32 && it.data->scanline_pad % 32 == 0;
            *pad = it.data->scanline_pad;
        }
    }
    if (!layoutOk)
        return false;

    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        if (d.data->depth != screen->root_depth)
            continue;
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                       v.data->red_mask == 0xff0000 && v.data->green_mask == 0x00ff00 &&
                       v.data->blue_mask == 0x0000ff;
        }
    }
    return false;
}

bool shmAvailable(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present)
        return false;
    return fetch<xcb_shm_query_version_reply_t>(c, xcb_shm_query_version(c),
                                                xcb_shm_query_version_reply) != nullptr;
}

} // namespace

std::unique_ptr<X11ScreenSource> X11ScreenSource::create(Shm shm) {
    auto source = std::make_unique<X11ScreenSource>(shm);
    if (!source->isUsable())
        return nullptr;
    return source;
}

X11ScreenSource::X11ScreenSource(Shm shm) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* qtConnection = x11 ? x11->connection() : nullptr;
    if (!qtConnection || xcb_connection_has_error(qtConnection))
        return;

    // A connection of our own, to the display Qt went by ($DISPLAY: Ocula takes no
    // -display): on Qt's, every reply is read by Qt's event thread and handed over with a
    // wake-up, twice a tick; on this one the tick reads its replies itself.
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return;
    }
    m_connection = c;
    const xcb_screen_t* screen = screenOf(c, screenNumber);
    if (!screen)
        return;

    m_root = screen->root;
    m_depth = screen->root_depth;
    m_rootRect = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    refreshRoot(); // the connection's set-up data is as old as the connection
    m_usable = rootFormatSupported(xcb_get_setup(c), screen, &m_scanlinePad);
    m_shmUsable = m_usable && shm == Shm::Auto && shmAvailable(c);
}

X11ScreenSource::~X11ScreenSource() {
    releaseSegment();
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

bool X11ScreenSource::grab(const QRect& source, QImage& into) {
    if (!m_usable || into.depth() != 32 || into.size() != source.size())
        return false;
    // The cached root size costs nothing in the usual case, a rectangle well inside it.
    // At an edge we ask again, which also notices a screen that has grown.
    if (!m_rootRect.contains(source))
        refreshRoot();
    QRect onScreen = source.intersected(m_rootRect);
    if (onScreen.isEmpty())
        return false;
    if (readRect(onScreen, into, onScreen.topLeft() - source.topLeft()))
        return true;
    // A read inside the cached rectangle fails with BadMatch when the screen has shrunk.
    if (!refreshRoot())
        return false;
    onScreen = source.intersected(m_rootRect);
    return !onScreen.isEmpty() && readRect(onScreen, into, onScreen.topLeft() - source.topLeft());
}

bool X11ScreenSource::readRect(const QRect& rect, QImage& into, QPoint at) {
    if (m_shmUsable) {
        if (readShm(rect, into, at))
            return true;
        // If the plain request fails too, the rectangle was at fault, not SHM.
        if (!readGetImage(rect, into, at))
            return false;
        m_shmUsable = false;
        releaseSegment();
        return true;
    }
    return readGetImage(rect, into, at);
}

bool X11ScreenSource::readShm(const QRect& rect, QImage& into, QPoint at) {
    const size_t bytes = size_t(strideFor(rect.width())) * size_t(rect.height());
    if (!ensureSegment(bytes)) {
        m_shmUsable = false;
        return false;
    }
    const auto cookie = xcb_shm_get_image(
        m_connection, m_root, int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
        uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSeg, 0);
    const auto reply =
        fetch<xcb_shm_get_image_reply_t>(m_connection, cookie, xcb_shm_get_image_reply);
    if (!reply || reply->depth != m_depth || reply->size < bytes)
        return false;
    copyRows(static_cast<const uint8_t*>(m_shmAddr), rect, into, at);
    return true;
}

bool X11ScreenSource::readGetImage(const QRect& rect, QImage& into, QPoint at) {
    const auto cookie =
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(rect.x()),
                      int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), ~0u);
    const auto reply = fetch<xcb_get_image_reply_t>(m_connection, cookie, xcb_get_image_reply);
    if (!reply || reply->depth != m_depth)
        return false;
    const size_t bytes = size_t(strideFor(rect.width())) * size_t(rect.height());
    if (size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return false;
    copyRows(xcb_get_image_data(reply.get()), rect, into, at);
    return true;
}

bool X11ScreenSource::ensureSegment(size_t bytes) {
    if (m_shmAddr && m_shmSize >= bytes)
        return true;
    releaseSegment();

    constexpr size_t granule = 64 * 1024;
    const size_t size = (bytes + granule - 1) / granule * granule;
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const uint32_t seg = xcb_generate_id(m_connection);
    xcb_generic_error_t* error =
        seg == uint32_t(-1)
            ? nullptr
            : xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, seg, id, 0));
    // The server has its own attachment by now (or never will get one); marking the id
    // removed lets the kernel free the segment when the last side detaches, crash or not.
    shmctl(id, IPC_RMID, nullptr);
    if (seg == uint32_t(-1) || error) {
        std::free(error);
        shmdt(addr);
        return false;
    }
    m_shmSeg = seg;
    m_shmAddr = addr;
    m_shmSize = size;
    return true;
}

void X11ScreenSource::releaseSegment() {
    if (!m_shmAddr)
        return;
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        xcb_shm_detach(m_connection, m_shmSeg);
        xcb_flush(m_connection);
    }
    shmdt(m_shmAddr);
    m_shmAddr = nullptr;
    m_shmSize = 0;
}

int X11ScreenSource::strideFor(int width) const {
    const int bits = width * 32;
    return (bits + m_scanlinePad - 1) / m_scanlinePad * m_scanlinePad / 8;
}

void X11ScreenSource::copyRows(const uint8_t* from, const QRect& rect, QImage& into,
                               QPoint at) const {
    const size_t stride = size_t(strideFor(rect.width()));
    for (int y = 0; y < rect.height(); ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(from + size_t(y) * stride);
        auto* dst = reinterpret_cast<uint32_t*>(into.scanLine(at.y() + y)) + at.x();
        // The server leaves the top byte of a depth-24 pixel undefined; RGB32 wants 0xff.
        for (int x = 0; x < rect.width(); ++x)
            dst[x] = src[x] | 0xff000000u;
    }
}

} // namespace ocula
