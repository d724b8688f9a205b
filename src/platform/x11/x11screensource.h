// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/screensource.h"
#include "platform/x11/xcbsupport.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

struct xcb_connection_t;

namespace ocula {

class PointerWatch;

// Reads the root window of the default X screen through an xcb connection of its own, with
// MIT-SHM when the server offers it and plain GetImage otherwise.
//
// Only TrueColor roots of depth 24 or 32 stored as 32 bits per pixel in the host's byte
// order are read (the layout of QImage::Format_RGB32); create() refuses any other, and
// grab() on such a source returns false.
class X11ScreenSource final : public ScreenSource {
public:
    enum class Shm { Auto, Off };

    // Null when the application has no X connection (e.g. the offscreen platform) or
    // the root's pixel format is not one we read.
    static std::unique_ptr<X11ScreenSource> create(Shm shm = Shm::Auto);

    explicit X11ScreenSource(Shm shm = Shm::Auto);
    ~X11ScreenSource() override;
    X11ScreenSource(const X11ScreenSource&) = delete;
    X11ScreenSource& operator=(const X11ScreenSource&) = delete;

    QPoint cursorPos() override;
    QRect desktopRect() const override;
    bool grab(const QRect& source, QImage& into, bool* changed = nullptr) override;
    // Lends the shared-memory segment the server has just written.
    const uchar* lend(const QRect& source, qsizetype* bytesPerLine) override;
    bool mayHaveChanged(const QRect& source) override;
    void setListening(bool listening) override;
    // Needs both raw motion and DAMAGE.
    bool wakeOnChange(std::function<void()> wake) override;
    bool hearsEveryMove() const override { return m_pointerWatch != nullptr; }

    bool isUsable() const { return m_usable; }
    // Whether the server tells us of pointer moves (XInput 2 raw motion) and of drawing
    // on the screen (DAMAGE), so that a still pointer over a still screen costs no
    // round trip.
    bool hearsPointerMoves() const { return m_xiOpcode != 0; }
    bool hearsDrawing() const { return m_damage != 0; }
    // True once grabs go through a shared-memory segment (after the first one).
    bool usingShm() const { return m_shmUsable && m_segment.isValid(); }
    // How many pixels the last read asked the server for: a lend that follows the one
    // before over a still picture reads only what has come into the rectangle.
    qint64 pixelsLastRead() const { return m_pixelsLastRead; }

private:
    void listen();
    void selectPointerMoves(bool on);
    // Reads what the server has sent without waiting: pointer moves and drawing.
    void takeEvents();
    void takeEvent(const xcb_generic_event_t* event);
    bool changeWaiting() const { return m_pointerMoved || m_grabDirty; }
    void wakeNow();
    bool refreshRoot();
    // Around every read: the damage bookkeeping that tells whether it is still current.
    void beginRead();
    void endRead(const QRect& source, bool read);
    // Has the server write `rect` of the root into the segment, `offset` bytes in.
    bool fetchShm(const QRect& rect, size_t offset);
    // The same in two steps, so that several reads go out before any answer is awaited:
    // the request, then whether its answer says `rect` was written.
    xcb_shm_get_image_cookie_t askShm(const QRect& rect, size_t offset);
    bool shmAnswered(const QRect& rect, xcb_shm_get_image_cookie_t cookie);
    // Makes the segment at least `bytes` long; what it held is lost when it grows.
    bool fitSegment(size_t bytes);
    // Where a lent rectangle goes in the segment, and whether only what it does not share
    // with the rectangle lent last needs reading.
    struct Slide {
        size_t offset = 0;
        bool partial = false;
        size_t scratch = 0; // where the columns that come in are read first
    };
    Slide planSlide(const QRect& source, size_t stride, size_t slack) const;
    bool fetchIncoming(const QRect& source, const Slide& slide, size_t stride);
    bool grabInto(const QRect& source, QImage& into, bool& changed);
    bool readRect(const QRect& rect, QImage& into, QPoint at, bool& changed);
    bool readShm(const QRect& rect, QImage& into, QPoint at, bool& changed);
    bool readGetImage(const QRect& rect, QImage& into, QPoint at, bool& changed);
    int strideFor(int width) const;
    // Returns whether any pixel differed from what `into` held.
    bool copyRows(const uint8_t* from, const QRect& rect, QImage& into, QPoint at) const;

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    uint8_t m_depth = 0;
    int m_scanlinePad = 32;
    bool m_usable = false;
    // Asked for only when a read or the pointer suggests it has changed: the magnifier
    // wants it on every tick.
    QRect m_rootRect;
    QPoint m_lastCursor;

    bool m_shmUsable = false;
    xcb::ShmSegment m_segment;
    // What the segment holds from the last lend (empty when it holds anything else), and
    // where. A rectangle that moves by (dx, dy) moves its first pixel dy rows and dx
    // pixels on in the segment, and every pixel it shares with the one before is then
    // where it was: only what comes in is read, into the room around it.
    QRect m_lent;
    size_t m_lentOffset = 0;
    qint64 m_pixelsLastRead = 0;

    // XInput 2: the extension's opcode (0: not heard), and whether the pointer may have
    // moved since the last query; a query is made now and then all the same, as a warp
    // by another program comes with no raw motion.
    uint8_t m_xiOpcode = 0;
    bool m_pointerMoved = true;
    std::chrono::steady_clock::time_point m_lastQuery;
    // DAMAGE: the damage object on the root (0: none) and its first event code. It reports
    // each rectangle drawn that its region did not hold yet; each grab empties the region
    // first. What the last grab read: its rectangle, the sequence number of that emptying,
    // and whether anything has been drawn on that rectangle since. The same for the grab
    // before, up to the last one.
    uint32_t m_damage = 0;
    uint8_t m_damageEvent = 0;
    QRect m_lastGrab;
    uint16_t m_lastGrabSequence = 0;
    bool m_grabDirty = true;
    QRect m_grabBefore;
    uint16_t m_grabBeforeSequence = 0;
    bool m_grabBeforeDirty = true;

    // Watches the connection for events while a caller waits to be woken, and the pointer
    // for moves that come with no event (warps).
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<PointerWatch> m_pointerWatch;
    std::function<void()> m_wake;
};

} // namespace ocula
