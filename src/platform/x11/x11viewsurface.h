// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/viewsurface.h"
#include "platform/x11/xcbsupport.h"

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

struct xcb_connection_t;

namespace ocula {

// Presents through MIT-SHM on an xcb connection of its own. A small shared segment is cut
// into a ring of bands; each band is painted and put onto the widget's native window with
// ShmPutImage while the server still copies the ones before it, and a band is painted
// again only once the server's completion event says it has been read. So a frame of a
// large view costs a fraction of its size in memory, and no reply is waited for.
class X11ViewSurface final : public ViewSurface {
public:
    // Null when Qt is not on X11 or scales its windows, the server has no MIT-SHM, or its
    // root's pixel format is not 0x00RRGGBB words.
    static std::unique_ptr<X11ViewSurface> create(QWidget* widget);
    ~X11ViewSurface() override;
    X11ViewSurface(const X11ViewSurface&) = delete;
    X11ViewSurface& operator=(const X11ViewSurface&) = delete;

    bool present(const QRect& rect, const RowPainter& paint) override;
    bool scroll(const QRect& area, QPoint delta, const QRegion& rest,
                const RowPainter& paint) override;

    // The size of a band (at least one row), and whether bands may live in shared memory
    // (without, the pixels travel in the requests): for checks of both ways.
    void setBandBytes(size_t bytes);
    // The smallest area worth moving rather than painting, in pixels.
    void setMinMovedPixels(qint64 pixels) { m_minMovedPixels = pixels; }
    void setSharedMemory(bool allowed);
    bool usesSharedMemory() const { return m_ring.isValid(); }
    // Rows put onto the window so far, by presents and by what moves leave to paint.
    quint64 rowsPut() const { return m_rowsPut; }

private:
    X11ViewSurface(xcb_connection_t* c, QWidget* widget);
    bool bindWindow();
    // Makes each band hold a row of `width` pixels at least; false when no segment can be had.
    bool fitRing(int width);
    // Reads events until `done` holds: put completions, and the answer to a move.
    template <typename Done> void readEventsUntil(Done done);
    void takeEvent(const xcb_generic_event_t* event);
    void waitForSlot(int slot);
    void waitIdle();
    void putPlain(const QRect& r, const RowPainter& paint);

    xcb_connection_t* m_connection;
    QPointer<QWidget> m_widget;
    uint32_t m_window = 0;
    uint32_t m_gc = 0;
    // For moves, which are answered with what could not be moved.
    uint32_t m_copyGc = 0;
    bool m_copyAnswered = true;
    qint64 m_minMovedPixels;
    QRegion m_uncopied;
    uint8_t m_depth = 0;

    bool m_shmAllowed = true;
    size_t m_bandBytes;
    xcb::ShmSegment m_ring;
    size_t m_slotBytes = 0; // of each band; 0 before the ring is laid out
    int m_nextSlot = 0;
    // Bands put and not yet reported read (or failed), oldest first.
    std::deque<int> m_inFlight;
    std::vector<uint8_t> m_plain;
    quint64 m_rowsPut = 0;
};

} // namespace ocula
