// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QPoint>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;
struct xcb_connection_t;

namespace ocula {

// Tells when the pointer has left a given place, moved by anything at all: a program that
// warps the pointer (xdotool, remote-control tools) makes no device motion for the server
// to report. A thread of its own asks the X server where the pointer is every refresh
// period while armed, and wakes the event loop only when the answer differs; an idle event
// loop pays nothing for the asking.
class PointerWatch {
public:
    // Null when no X connection or no thread can be had.
    static std::unique_ptr<PointerWatch> create(std::chrono::milliseconds period);
    ~PointerWatch();
    PointerWatch(const PointerWatch&) = delete;
    PointerWatch& operator=(const PointerWatch&) = delete;

    // Calls `moved` once, from the event loop, when the pointer is found away from `at`.
    void arm(QPoint at, std::function<void()> moved);
    void disarm();

private:
    PointerWatch(xcb_connection_t* connection, uint32_t root, std::chrono::milliseconds period);
    void run();
    void signal(int fd);

    xcb_connection_t* m_connection; // used by the thread alone once it runs
    uint32_t m_root;
    std::chrono::milliseconds m_period;
    int m_controlFd = -1; // wakes the thread: armed, disarmed or stopping
    int m_movedFd = -1;   // wakes the event loop
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_stop{false};
    std::atomic<uint32_t> m_at{0}; // x in the high half, y in the low
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_moved;
    std::thread m_thread;
};

} // namespace ocula
