// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace ocula::xcb {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Replies and errors are both malloc'ed by xcb; asking for the error here keeps it out of
// the event queue.
template <typename R, typename Cookie, typename Fetch>
Reply<R> fetch(xcb_connection_t* c, Cookie cookie, Fetch fetchReply) {
    xcb_generic_error_t* error = nullptr;
    Reply<R> reply(fetchReply(c, cookie, &error));
    std::free(error);
    return reply;
}

// A connection of our own to the display Qt went by ($DISPLAY: Ocula takes no -display),
// or null when Qt is not on X11 or the server cannot be reached. On Qt's connection every
// reply is read by Qt's event thread and handed over with a wake-up.
xcb_connection_t* connectLikeQt(int* screenNumber);
const xcb_screen_t* screenOf(xcb_connection_t* c, int number);

// The one pixel layout we read and write without conversion: 0x00RRGGBB words in host
// byte order on a TrueColor root of depth 24 or 32.
bool rootFormatSupported(const xcb_setup_t* setup, const xcb_screen_t* screen, int* pad);
// Whether images of `depth` are 32 bits per pixel with rows padded to whole words.
bool depthIs32Bits(const xcb_setup_t* setup, uint8_t depth);
bool shmAvailable(xcb_connection_t* c);

// A System V shared-memory segment attached to the server as well as to us.
class ShmSegment {
public:
    ShmSegment() = default;
    ShmSegment(ShmSegment&& other) noexcept { *this = std::move(other); }
    ShmSegment& operator=(ShmSegment&& other) noexcept;
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;
    ~ShmSegment();

    // Attaches a segment of at least `bytes` on `c`; an invalid segment on failure.
    static ShmSegment attach(xcb_connection_t* c, size_t bytes);
    // Detaches on both sides; the kernel frees the memory when the last side has gone.
    void release();

    bool isValid() const { return m_addr != nullptr; }
    uint32_t id() const { return m_seg; }
    uint8_t* data() const { return static_cast<uint8_t*>(m_addr); }
    size_t size() const { return m_size; }

private:
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_seg = 0;
    void* m_addr = nullptr;
    size_t m_size = 0;
};

} // namespace ocula::xcb
