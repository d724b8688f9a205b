// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ocula {

// How the 32-bit pixels of a stream's buffer are laid out in memory, as the view reads
// them: as 0x??RRGGBB words in the host's order (what QImage::Format_RGB32 holds), or
// with red and blue swapped; the other formats a compositor may offer are not taken.
enum class PixelOrder { Unsupported, Xrgb, Xbgr };
// For an spa_video_format value.
PixelOrder pixelOrderOf(uint32_t videoFormat);
// Copies `width` pixels in `order` to Format_RGB32 pixels; with `compare`, tells whether
// any differed from what `to` held.
bool copyPixels(QRgb* to, const uchar* from, int width, PixelOrder order, bool compare = true);

// Copies `area` of a picture (in its own pixels, within `crop` of a buffer at `base` with
// rows `stride` bytes apart) into `into` at `at`, sets `*changed` if any pixel differed.
void readPicture(const uchar* base, qsizetype stride, const QRect& crop, PixelOrder order,
                 const QRect& area, QImage& into, QPoint at, bool* changed);

// The PipeWire side of a screen cast: one stream per monitor on a remote the portal has
// opened, run on PipeWire's own thread. Each stream keeps only its newest picture
// (earlier ones go straight back to the compositor), and the pointer position of its
// cursor metadata; the caller's thread reads rectangles out of the kept picture, so no
// whole frame is ever copied, and holds PipeWire's lock only while it copies them.
class PipeWireStreams {
public:
    enum class Event { Picture, Pointer, Ended };
    // `notify` runs on PipeWire's thread: it must only hand the event over.
    PipeWireStreams(int remoteFd, const std::vector<uint32_t>& nodes,
                    std::function<void(Event)> notify);
    ~PipeWireStreams();
    PipeWireStreams(const PipeWireStreams&) = delete;
    PipeWireStreams& operator=(const PipeWireStreams&) = delete;

    // False when the remote could not be used at all.
    bool isConnected() const { return m_connected; }
    int count() const { return int(m_streams.size()); }
    // The size of stream `i`'s picture in pixels, once it has sent one (else empty).
    QSize pictureSize(int i) const;
    // Copies `area` (in stream `i`'s pixels, within its picture) into `into` at `at`.
    // False when the stream has no picture yet.
    bool read(int i, const QRect& area, QImage& into, QPoint at, bool* changed);
    // The newest position any stream's cursor metadata has told, in that stream's pixels;
    // false while none has.
    bool pointer(int* stream, QPoint* position) const;
    // Counts the pictures received, of all streams: unchanged means nothing new to read.
    quint64 pictures() const { return m_pictures.load(std::memory_order_acquire); }

    struct Stream;
    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
    std::vector<std::unique_ptr<Stream>> m_streams;
    std::function<void(Event)> m_notify;
    std::atomic<quint64> m_pictures{0};
    bool m_connected = false;
    friend struct Impl;
};

} // namespace ocula
