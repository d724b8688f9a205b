// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/x11/pointerwatch.h"

#include "platform/x11/xcbsupport.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace ocula {

namespace {
uint32_t pack(int x, int y) {
    return (uint32_t(uint16_t(x)) << 16) | uint16_t(y);
}
} // namespace

std::unique_ptr<PointerWatch> PointerWatch::create(std::chrono::milliseconds period) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb::connectLikeQt(&screenNumber);
    if (!c)
        return nullptr;
    const xcb_screen_t* screen = xcb::screenOf(c, screenNumber);
    if (!screen) {
        xcb_disconnect(c);
        return nullptr;
    }
    std::unique_ptr<PointerWatch> watch(new PointerWatch(c, screen->root, period));
    if (watch->m_controlFd < 0 || watch->m_movedFd < 0 || !watch->m_thread.joinable())
        return nullptr;
    return watch;
}

PointerWatch::PointerWatch(xcb_connection_t* connection, uint32_t root,
                           std::chrono::milliseconds period)
    : m_connection(connection), m_root(root), m_period(period),
      m_controlFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_movedFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_controlFd < 0 || m_movedFd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_movedFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_movedFd, &count, sizeof count);
        // A move found just before a disarm is no longer asked for.
        if (!m_moved)
            return;
        const std::function<void()> moved = std::move(m_moved);
        m_moved = nullptr;
        moved();
    });
    try {
        m_thread = std::thread([this] { run(); });
    } catch (...) {
    }
}

PointerWatch::~PointerWatch() {
    m_stop = true;
    if (m_thread.joinable()) {
        signal(m_controlFd);
        m_thread.join();
    }
    m_notifier.reset();
    xcb_disconnect(m_connection);
    for (int fd : {m_controlFd, m_movedFd})
        if (fd >= 0)
            ::close(fd);
}

void PointerWatch::signal(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void PointerWatch::arm(QPoint at, std::function<void()> moved) {
    m_moved = std::move(moved);
    m_at = pack(at.x(), at.y());
    m_armed = true;
    signal(m_controlFd);
}

void PointerWatch::disarm() {
    m_moved = nullptr;
    if (m_armed.exchange(false))
        signal(m_controlFd);
}

void PointerWatch::run() {
    xcb_connection_t* c = m_connection;
    pollfd control{m_controlFd, POLLIN, 0};
    while (!m_stop) {
        const int timeout = m_armed ? int(m_period.count()) : -1;
        if (::poll(&control, 1, timeout) > 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_controlFd, &count, sizeof count);
            continue; // armed anew, disarmed or stopping: look at the flags again
        }
        if (!m_armed)
            continue;
        const auto reply = xcb::fetch<xcb_query_pointer_reply_t>(c, xcb_query_pointer(c, m_root),
                                                                 xcb_query_pointer_reply);
        if (!reply) {
            if (xcb_connection_has_error(c))
                return; // the server is gone: nothing more to watch
            continue;
        }
        if (reply->same_screen && pack(reply->root_x, reply->root_y) != m_at &&
            m_armed.exchange(false))
            signal(m_movedFd);
    }
}

} // namespace ocula
