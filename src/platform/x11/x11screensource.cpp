// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/x11/x11screensource.h"

#include "platform/x11/pointerwatch.h"

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace ocula {

using xcb::fetch;

namespace {
// Without a raw motion event the pointer has not moved, but for warps by a program; ask
// the server anyway when the last answer is this old, so that a warp is seen at the next
// refresh (a little under the magnifier's 50 ms period).
constexpr std::chrono::milliseconds kCursorRecheck{45};
// How often a resting caller's pointer is looked at for warps.
constexpr std::chrono::milliseconds kWatchPeriod{50};
// Room for a lent rectangle to move into, above and below it: a view moved by the pointer
// over a still picture goes on for this many rows before its source is read whole again.
constexpr size_t kSlackRows = 64;

// Whether an event was sent after the server had handled request `sequence`.
bool isAfter(const xcb_generic_event_t* event, uint16_t sequence) {
    return int16_t(uint16_t(event->sequence - sequence)) >= 0;
}
} // namespace

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
    if (m_usable)
        listen();
}

X11ScreenSource::~X11ScreenSource() {
    m_pointerWatch.reset();
    m_notifier.reset();
    m_segment.release();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11ScreenSource::listen() {
    xcb_connection_t* c = m_connection;
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    if (xi && xi->present) {
        const auto version = fetch<xcb_input_xi_query_version_reply_t>(
            c, xcb_input_xi_query_version(c, 2, 0), xcb_input_xi_query_version_reply);
        if (version && version->major_version >= 2) {
            m_xiOpcode = xi->major_opcode;
            selectPointerMoves(true);
        }
    }
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (damage && damage->present &&
        fetch<xcb_damage_query_version_reply_t>(c, xcb_damage_query_version(c, 1, 1),
                                                xcb_damage_query_version_reply)) {
        const uint32_t id = xcb_generate_id(c);
        xcb_generic_error_t* error = xcb_request_check(
            c, xcb_damage_create_checked(c, id, m_root, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES));
        if (error == nullptr) {
            m_damage = id;
            m_damageEvent = damage->first_event;
        }
        std::free(error);
    }
}

void X11ScreenSource::selectPointerMoves(bool on) {
    // The master pointers only: every move of a device moves its master too, and the server
    // would send each move twice (once per device), each costing it a write.
    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           on ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION) : 0u};
    xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
    xcb_flush(m_connection);
}

void X11ScreenSource::setListening(bool listening) {
    if (!m_usable)
        return;
    if (m_xiOpcode != 0)
        selectPointerMoves(listening);
    // Whatever happened while we were not listening: ask again.
    m_pointerMoved = true;
    m_grabDirty = true;
    m_grabBeforeDirty = true;
    if (!listening)
        takeEvents();
}

bool X11ScreenSource::wakeOnChange(std::function<void()> wake) {
    if (!wake) {
        m_wake = nullptr;
        if (m_notifier)
            m_notifier->setEnabled(false);
        if (m_pointerWatch)
            m_pointerWatch->disarm();
        return true;
    }
    if (!m_usable || m_xiOpcode == 0 || m_damage == 0)
        return false;
    if (!m_pointerWatch)
        m_pointerWatch = PointerWatch::create(kWatchPeriod);
    // Without it a warp would wait for the caller's next look, which a rest puts off.
    if (!m_pointerWatch)
        return false;
    if (!m_notifier) {
        m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection),
                                                       QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            takeEvents();
            if (changeWaiting())
                wakeNow();
        });
    }
    m_wake = std::move(wake);
    m_notifier->setEnabled(true);
    m_pointerWatch->arm(m_lastCursor, [this] {
        m_pointerMoved = true;
        wakeNow();
    });
    // Events xcb has already taken off the socket would never make it readable again.
    takeEvents();
    if (changeWaiting())
        QTimer::singleShot(0, m_notifier.get(), [this] { wakeNow(); });
    return true;
}

void X11ScreenSource::wakeNow() {
    if (!m_wake)
        return;
    // While the caller samples it reads the events itself; a notifier left on would wake
    // the event loop at every move of the mouse.
    m_notifier->setEnabled(false);
    m_pointerWatch->disarm();
    const std::function<void()> wake = std::move(m_wake);
    m_wake = nullptr;
    wake();
}

void X11ScreenSource::takeEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        takeEvent(event);
        std::free(event);
    }
}

void X11ScreenSource::takeEvent(const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_GE_GENERIC) {
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (m_xiOpcode != 0 && ge->extension == m_xiOpcode)
            m_pointerMoved = true;
    } else if (m_damage != 0 && type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
        // Drawing reported before the last grab emptied the region is in that grab, and
        // drawing elsewhere (the view's own window, as a rule) leaves it as it was.
        const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
        const QRect area(notify->area.x, notify->area.y, notify->area.width, notify->area.height);
        if (isAfter(event, m_lastGrabSequence) && area.intersects(m_lastGrab))
            m_grabDirty = true;
        // Up to the last read, whose emptying may have come before the drawing it holds.
        if (isAfter(event, m_grabBeforeSequence) &&
            !isAfter(event, uint16_t(m_lastGrabSequence + 1)) && area.intersects(m_grabBefore))
            m_grabBeforeDirty = true;
    }
}

QPoint X11ScreenSource::cursorPos() {
    if (!m_connection)
        return m_lastCursor;
    if (m_xiOpcode != 0) {
        takeEvents();
        const auto now = std::chrono::steady_clock::now();
        if (!m_pointerMoved && now - m_lastQuery < kCursorRecheck)
            return m_lastCursor;
        // Moves from here on count again; any already on the way make one query more.
        m_pointerMoved = false;
        m_lastQuery = now;
    }
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

void X11ScreenSource::beginRead() {
    // Drawing on the last rectangle not heard of yet is heard of with this read's answer.
    m_grabBefore = m_lastGrab;
    m_grabBeforeSequence = m_lastGrabSequence;
    m_grabBeforeDirty = m_grabDirty;
    m_lastGrab = QRect();
    if (m_damage != 0 && m_usable) {
        // Emptied before the read, in the same write: drawing from here on reports anew.
        m_lastGrabSequence =
            uint16_t(xcb_damage_subtract(m_connection, m_damage, XCB_NONE, XCB_NONE).sequence);
    }
}

void X11ScreenSource::endRead(const QRect& source, bool read) {
    if (read && m_damage != 0) {
        m_lastGrab = source;
        m_grabDirty = false;
        takeEvents();
    }
}

bool X11ScreenSource::grab(const QRect& source, QImage& into, bool* changed) {
    beginRead();
    bool differs = false;
    const bool read = grabInto(source, into, differs);
    if (changed)
        *changed = differs;
    endRead(source, read);
    return read;
}

const uchar* X11ScreenSource::lend(const QRect& source, qsizetype* bytesPerLine) {
    // Off the cached root, or without a segment, grab() knows what to do.
    if (!m_usable || !m_shmUsable || !m_rootRect.contains(source))
        return nullptr;
    const size_t stride = size_t(strideFor(source.width()));
    const size_t slack = kSlackRows * stride;
    if (!fitSegment(stride * size_t(source.height()) + 2 * slack))
        return nullptr;
    takeEvents(); // what has been drawn on the last lent rectangle so far
    const Slide slide = planSlide(source, stride, slack);
    beginRead();
    bool read =
        slide.partial ? fetchIncoming(source, slide, stride) : fetchShm(source, slide.offset);
    endRead(source, read);
    // Drawing on what was kept, reported only now, came before this read: read it all.
    if (read && slide.partial && m_grabBeforeDirty)
        read = fetchShm(source, slide.offset);
    m_lent = read ? source : QRect();
    m_lentOffset = slide.offset;
    if (!read)
        return nullptr;
    *bytesPerLine = qsizetype(stride);
    return m_segment.data() + slide.offset;
}

X11ScreenSource::Slide X11ScreenSource::planSlide(const QRect& source, size_t stride,
                                                  size_t slack) const {
    Slide slide;
    slide.offset = slack;
    const int w = source.width();
    const int h = source.height();
    // Rows padded beyond their pixels would not line up once moved sideways.
    if (m_lent.isEmpty() || m_lent.size() != source.size() || stride != size_t(w) * 4)
        return slide;
    const QPoint d = source.topLeft() - m_lent.topLeft();
    const qint64 moved = qint64(m_lentOffset) + qint64(d.y()) * qint64(stride) + qint64(d.x()) * 4;
    if (moved < 0 || moved > qint64(2 * slack)) {
        // Out of room: read it all, placed so that it can go on the same way the longest.
        slide.offset = d.y() > 0 ? 0 : d.y() < 0 ? 2 * slack : slack;
        return slide;
    }
    slide.offset = size_t(moved);
    // Only the latest read, with nothing drawn on it since, can be kept.
    if (d.isNull() || std::abs(d.x()) >= w || std::abs(d.y()) >= h || m_lastGrab != m_lent ||
        m_grabDirty)
        return slide;
    // The columns that come in are not contiguous in place: they are read into the free
    // room before or after the rectangle first.
    const size_t columnBytes = size_t(std::abs(d.x())) * size_t(h - std::abs(d.y())) * 4;
    const size_t end = slide.offset + stride * size_t(h);
    if (columnBytes <= slide.offset)
        slide.scratch = 0;
    else if (columnBytes <= stride * size_t(h) + 2 * slack - end)
        slide.scratch = end;
    else
        return slide;
    slide.partial = true;
    return slide;
}

bool X11ScreenSource::fetchIncoming(const QRect& source, const Slide& slide, size_t stride) {
    const QPoint d = source.topLeft() - m_lent.topLeft();
    const int w = source.width();
    const int h = source.height();
    // The rows that come in, whole, go straight to their place; the columns that come in
    // along the rows kept go to the scratch room. Both are asked for before either answer
    // is waited for.
    const int newRows = std::abs(d.y());
    const int rowsTop = d.y() > 0 ? h - newRows : 0;
    const int keptTop = d.y() > 0 ? 0 : newRows;
    const int keptRows = h - newRows;
    const int newColumns = std::abs(d.x());
    const int columnsLeft = d.x() > 0 ? w - newColumns : 0;
    const QRect rows(source.left(), source.top() + rowsTop, w, newRows);
    const QRect columns(source.left() + columnsLeft, source.top() + keptTop, newColumns, keptRows);
    xcb_shm_get_image_cookie_t rowsCookie{};
    xcb_shm_get_image_cookie_t columnsCookie{};
    if (newRows > 0)
        rowsCookie = askShm(rows, slide.offset + size_t(rowsTop) * stride);
    if (newColumns > 0)
        columnsCookie = askShm(columns, slide.scratch);
    bool read = true;
    for (const auto& [rect, cookie] : {std::pair{rows, rowsCookie}, {columns, columnsCookie}}) {
        // Every answer is taken off the connection, also after a failed one.
        if (!rect.isEmpty())
            read = shmAnswered(rect, cookie) && read;
    }
    m_pixelsLastRead = qint64(w) * newRows + qint64(newColumns) * keptRows;
    if (!read || newColumns == 0)
        return read;
    const uint8_t* from = m_segment.data() + slide.scratch;
    uint8_t* to =
        m_segment.data() + slide.offset + size_t(keptTop) * stride + size_t(columnsLeft) * 4;
    const size_t rowBytes = size_t(newColumns) * 4;
    for (int y = 0; y < keptRows; ++y)
        std::memcpy(to + size_t(y) * stride, from + size_t(y) * rowBytes, rowBytes);
    return true;
}

bool X11ScreenSource::mayHaveChanged(const QRect& source) {
    if (m_damage == 0 || source.isEmpty())
        return true;
    takeEvents();
    if (source == m_lastGrab)
        return m_grabDirty;
    return source != m_grabBefore || m_grabBeforeDirty;
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
    if (!fitSegment(size_t(strideFor(rect.width())) * size_t(rect.height())) || !fetchShm(rect, 0))
        return false;
    changed |= copyRows(m_segment.data(), rect, into, at);
    return true;
}

bool X11ScreenSource::fitSegment(size_t bytes) {
    if (m_segment.size() < bytes) {
        m_segment = xcb::ShmSegment::attach(m_connection, bytes);
        m_lent = QRect();
    }
    if (!m_segment.isValid()) {
        m_shmUsable = false;
        return false;
    }
    return true;
}

bool X11ScreenSource::fetchShm(const QRect& rect, size_t offset) {
    // Whatever the segment held from a lend is written over.
    m_lent = QRect();
    m_pixelsLastRead = qint64(rect.width()) * rect.height();
    return shmAnswered(rect, askShm(rect, offset));
}

xcb_shm_get_image_cookie_t X11ScreenSource::askShm(const QRect& rect, size_t offset) {
    return xcb_shm_get_image(m_connection, m_root, int16_t(rect.x()), int16_t(rect.y()),
                             uint16_t(rect.width()), uint16_t(rect.height()), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment.id(), uint32_t(offset));
}

bool X11ScreenSource::shmAnswered(const QRect& rect, xcb_shm_get_image_cookie_t cookie) {
    const size_t bytes = size_t(strideFor(rect.width())) * size_t(rect.height());
    const auto reply =
        fetch<xcb_shm_get_image_reply_t>(m_connection, cookie, xcb_shm_get_image_reply);
    return reply && reply->depth == m_depth && reply->size >= bytes;
}

bool X11ScreenSource::readGetImage(const QRect& rect, QImage& into, QPoint at, bool& changed) {
    m_pixelsLastRead = qint64(rect.width()) * rect.height();
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
