// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/wayland/pipewirestreams.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace ocula {

PixelOrder pixelOrderOf(uint32_t videoFormat) {
    // Named by their bytes in memory: B, G, R, x is a 0x??RRGGBB word on a little-endian
    // host, x, R, G, B on a big-endian one.
    const bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    switch (videoFormat) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        return little ? PixelOrder::Xrgb : PixelOrder::Unsupported;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        return little ? PixelOrder::Unsupported : PixelOrder::Xrgb;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        return little ? PixelOrder::Xbgr : PixelOrder::Unsupported;
    default:
        return PixelOrder::Unsupported;
    }
}

namespace {
// Separate loops for each layout and for whether the caller compares, so that each one
// vectorises; the top byte is undefined in the buffer and opaque in the view.
template <bool Swap, bool Compare>
bool copyRow(QRgb* __restrict to, const QRgb* __restrict from, int width) {
    QRgb diff = 0;
    for (int x = 0; x < width; ++x) {
        QRgb p = from[x];
        if constexpr (Swap)
            p = (p & 0x0000ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
        p |= 0xff000000u;
        if constexpr (Compare)
            diff |= p ^ to[x];
        to[x] = p;
    }
    return diff != 0;
}
} // namespace

bool copyPixels(QRgb* to, const uchar* from, int width, PixelOrder order, bool compare) {
    const auto* src = reinterpret_cast<const QRgb*>(from);
    if (order == PixelOrder::Xbgr)
        return compare ? copyRow<true, true>(to, src, width) : copyRow<true, false>(to, src, width);
    return compare ? copyRow<false, true>(to, src, width) : copyRow<false, false>(to, src, width);
}

void readPicture(const uchar* base, qsizetype stride, const QRect& crop, PixelOrder order,
                 const QRect& area, QImage& into, QPoint at, bool* changed) {
    const QRect inBuffer = area.translated(crop.topLeft()) & crop;
    const QPoint to = at + (inBuffer.topLeft() - crop.topLeft() - area.topLeft());
    bool differed = false;
    for (int y = inBuffer.top(); y <= inBuffer.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(into.scanLine(to.y() + y - inBuffer.top())) + to.x();
        differed |= copyPixels(row, base + y * stride + qsizetype(inBuffer.left()) * 4,
                               inBuffer.width(), order, changed != nullptr);
    }
    if (changed != nullptr)
        *changed = *changed || differed;
}

namespace {
// Room for the cursor's picture too, which the compositor sends with its position.
constexpr size_t cursorMetaSize(int w, int h) {
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + size_t(w) * size_t(h) * 4;
}
} // namespace

struct PipeWireStreams::Stream {
    PipeWireStreams* owner = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    PixelOrder order = PixelOrder::Unsupported;
    QSize size;
    // The newest picture, kept from the compositor until a newer one comes; guarded by
    // the thread loop's lock.
    pw_buffer* kept = nullptr;
    QRect crop;
    bool cursorSeen = false;
    QPoint cursor;
    quint64 cursorStamp = 0;
    bool ended = false;
};

struct PipeWireStreams::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    quint64 cursorStamps = 0;

    static void onCoreError(void* data, uint32_t id, int, int res, const char*) {
        if (id == PW_ID_CORE && res == -EPIPE)
            static_cast<PipeWireStreams*>(data)->m_notify(Event::Ended);
    }

    static void onStateChanged(void* data, pw_stream_state old, pw_stream_state state,
                               const char*) {
        auto* s = static_cast<Stream*>(data);
        const bool lost = state == PW_STREAM_STATE_ERROR ||
                          (state == PW_STREAM_STATE_UNCONNECTED && old != state);
        if (lost && !s->ended) {
            s->ended = true;
            s->owner->m_notify(Event::Ended);
        }
    }

    static void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
        auto* s = static_cast<Stream*>(data);
        if (param == nullptr || id != SPA_PARAM_Format)
            return;
        uint32_t mediaType = 0, mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
            return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        s->order = pixelOrderOf(info.format);
        s->size = QSize(int(info.size.width), int(info.size.height));

        uint8_t storage[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod* params[3];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(int(cursorMetaSize(64, 64)), int(cursorMetaSize(1, 1)),
                                     int(cursorMetaSize(1024, 1024)))));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size,
            SPA_POD_Int(int(sizeof(spa_meta_region)))));
        pw_stream_update_params(s->stream, params, 3);
    }

    static void onRemoveBuffer(void* data, pw_buffer* buffer) {
        auto* s = static_cast<Stream*>(data);
        if (s->kept == buffer)
            s->kept = nullptr;
    }

    // Runs with the loop's lock held, so the reader is never inside a buffer given back.
    static void onProcess(void* data) {
        auto* s = static_cast<Stream*>(data);
        PipeWireStreams* owner = s->owner;
        pw_buffer* newest = nullptr;
        bool moved = false;
        while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
            spa_buffer* sb = b->buffer;
            // An id of 0 carries no position: the pointer stays where it was last told.
            if (auto* c = static_cast<spa_meta_cursor*>(
                    spa_buffer_find_meta_data(sb, SPA_META_Cursor, sizeof(spa_meta_cursor)));
                c != nullptr && spa_meta_cursor_is_valid(c)) {
                const QPoint at(c->position.x, c->position.y);
                if (!s->cursorSeen || at != s->cursor)
                    moved = true;
                s->cursorSeen = true;
                s->cursor = at;
                s->cursorStamp = ++owner->m_impl->cursorStamps;
            }
            // A buffer with an empty chunk tells of the pointer only.
            const bool picture = sb->n_datas > 0 && sb->datas[0].data != nullptr &&
                                 sb->datas[0].chunk != nullptr && sb->datas[0].chunk->size > 0 &&
                                 (sb->datas[0].chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0;
            if (!picture) {
                pw_stream_queue_buffer(s->stream, b);
                continue;
            }
            if (newest != nullptr)
                pw_stream_queue_buffer(s->stream, newest);
            newest = b;
        }
        if (newest != nullptr) {
            QRect crop(QPoint(0, 0), s->size);
            if (auto* r = static_cast<spa_meta_region*>(spa_buffer_find_meta_data(
                    newest->buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
                r != nullptr && spa_meta_region_is_valid(r))
                crop = QRect(r->region.position.x, r->region.position.y, int(r->region.size.width),
                             int(r->region.size.height)) &
                       QRect(QPoint(0, 0), s->size);
            if (s->kept != nullptr)
                pw_stream_queue_buffer(s->stream, s->kept);
            s->kept = newest;
            s->crop = crop;
            owner->m_pictures.fetch_add(1, std::memory_order_acq_rel);
            owner->m_notify(Event::Picture);
        } else if (moved) {
            owner->m_notify(Event::Pointer);
        }
    }
};

namespace {
const pw_core_events kCoreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.error = PipeWireStreams::Impl::onCoreError;
    return e;
}();
const pw_stream_events kStreamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = PipeWireStreams::Impl::onStateChanged;
    e.param_changed = PipeWireStreams::Impl::onParamChanged;
    e.remove_buffer = PipeWireStreams::Impl::onRemoveBuffer;
    e.process = PipeWireStreams::Impl::onProcess;
    return e;
}();

class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : m_loop(loop) { pw_thread_loop_lock(m_loop); }
    ~LoopLock() { pw_thread_loop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* m_loop;
};
} // namespace

PipeWireStreams::PipeWireStreams(int remoteFd, const std::vector<uint32_t>& nodes,
                                 std::function<void(Event)> notify)
    : m_impl(std::make_unique<Impl>()), m_notify(std::move(notify)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
    Impl& d = *m_impl;
    d.loop = pw_thread_loop_new("ocula-screen", nullptr);
    if (d.loop == nullptr) {
        ::close(remoteFd);
        return;
    }
    d.context = pw_context_new(pw_thread_loop_get_loop(d.loop), nullptr, 0);
    if (d.context == nullptr || pw_thread_loop_start(d.loop) < 0) {
        ::close(remoteFd);
        return;
    }
    LoopLock lock(d.loop);
    d.core = pw_context_connect_fd(d.context, remoteFd, nullptr, 0);
    if (d.core == nullptr)
        return;
    pw_core_add_listener(d.core, &d.coreListener, &kCoreEvents, this);

    // Shared memory in the four 32-bit layouts, at most 20 pictures a second: the view
    // samples every 50 ms, so more would only cost the compositor.
    spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction rate{20, 1}, minRate{0, 1}, maxRate{20, 1};
    for (const uint32_t node : nodes) {
        auto s = std::make_unique<Stream>();
        s->owner = this;
        s->stream =
            pw_stream_new(d.core, "Ocula",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (s->stream == nullptr)
            continue;
        pw_stream_add_listener(s->stream, &s->listener, &kStreamEvents, s.get());
        uint8_t storage[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate),
            SPA_FORMAT_VIDEO_maxFramerate,
            SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
        if (pw_stream_connect(
                s->stream, PW_DIRECTION_INPUT, node,
                pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params,
                1) < 0) {
            pw_stream_destroy(s->stream);
            continue;
        }
        m_streams.push_back(std::move(s));
    }
    m_connected = !m_streams.empty();
}

PipeWireStreams::~PipeWireStreams() {
    Impl& d = *m_impl;
    if (d.loop != nullptr)
        pw_thread_loop_stop(d.loop);
    for (auto& s : m_streams)
        pw_stream_destroy(s->stream);
    if (d.core != nullptr)
        pw_core_disconnect(d.core);
    if (d.context != nullptr)
        pw_context_destroy(d.context);
    if (d.loop != nullptr)
        pw_thread_loop_destroy(d.loop);
}

QSize PipeWireStreams::pictureSize(int i) const {
    LoopLock lock(m_impl->loop);
    const Stream& s = *m_streams[size_t(i)];
    return s.kept != nullptr ? s.crop.size() : QSize();
}

bool PipeWireStreams::read(int i, const QRect& area, QImage& into, QPoint at, bool* changed) {
    LoopLock lock(m_impl->loop);
    const Stream& s = *m_streams[size_t(i)];
    if (s.kept == nullptr || s.order == PixelOrder::Unsupported)
        return false;
    const spa_data& data = s.kept->buffer->datas[0];
    const int stride = data.chunk->stride != 0 ? data.chunk->stride : s.size.width() * 4;
    const QRect inBuffer = area.translated(s.crop.topLeft()) & s.crop;
    const size_t end = size_t(data.chunk->offset) + size_t(inBuffer.bottom()) * size_t(stride) +
                       size_t(inBuffer.right() + 1) * 4;
    if (inBuffer.isEmpty() || end > data.maxsize)
        return false;
    readPicture(static_cast<const uchar*>(data.data) + data.chunk->offset, stride, s.crop, s.order,
                area, into, at, changed);
    return true;
}

bool PipeWireStreams::pointer(int* stream, QPoint* position) const {
    if (!m_connected)
        return false;
    LoopLock lock(m_impl->loop);
    const Stream* newest = nullptr;
    for (const auto& s : m_streams)
        if (s->cursorSeen && (newest == nullptr || s->cursorStamp > newest->cursorStamp))
            newest = s.get();
    if (newest == nullptr)
        return false;
    *stream = int(std::find_if(m_streams.begin(), m_streams.end(),
                               [&](const auto& s) { return s.get() == newest; }) -
                  m_streams.begin());
    *position = newest->cursor;
    return true;
}

} // namespace ocula
