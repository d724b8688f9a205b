// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/x11/xcbsupport.h"

#include <QGuiApplication>
#include <QSysInfo>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <utility>

namespace ocula::xcb {

xcb_connection_t* connectLikeQt(int* screenNumber) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* qtConnection = x11 ? x11->connection() : nullptr;
    if (!qtConnection || xcb_connection_has_error(qtConnection))
        return nullptr;
    xcb_connection_t* c = xcb_connect(nullptr, screenNumber);
    if (c && xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
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

namespace {
const xcb_format_t* pixmapFormat(const xcb_setup_t* setup, uint8_t depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data;
    }
    return nullptr;
}
} // namespace

bool depthIs32Bits(const xcb_setup_t* setup, uint8_t depth) {
    const xcb_format_t* format = pixmapFormat(setup, depth);
    return format != nullptr && format->bits_per_pixel == 32 && format->scanline_pad % 32 == 0;
}

bool rootFormatSupported(const xcb_setup_t* setup, const xcb_screen_t* screen, int* pad) {
    if (screen->root_depth != 24 && screen->root_depth != 32)
        return false;
    const uint8_t hostOrder = QSysInfo::ByteOrder == QSysInfo::LittleEndian
                                  ? XCB_IMAGE_ORDER_LSB_FIRST
                                  : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != hostOrder || !depthIs32Bits(setup, screen->root_depth))
        return false;
    *pad = pixmapFormat(setup, screen->root_depth)->scanline_pad;

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

ShmSegment& ShmSegment::operator=(ShmSegment&& other) noexcept {
    if (this != &other) {
        release();
        m_connection = std::exchange(other.m_connection, nullptr);
        m_seg = std::exchange(other.m_seg, 0);
        m_addr = std::exchange(other.m_addr, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ShmSegment::~ShmSegment() {
    release();
}

ShmSegment ShmSegment::attach(xcb_connection_t* c, size_t bytes) {
    ShmSegment segment;
    constexpr size_t granule = 64 * 1024;
    const size_t size = (std::max<size_t>(bytes, 1) + granule - 1) / granule * granule;
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return segment;
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return segment;
    }
    const uint32_t seg = xcb_generate_id(c);
    xcb_generic_error_t* error =
        seg == uint32_t(-1) ? nullptr : xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0));
    // The server has its own attachment by now (or never will get one); marking the id
    // removed lets the kernel free the segment when the last side detaches, crash or not.
    shmctl(id, IPC_RMID, nullptr);
    if (seg == uint32_t(-1) || error) {
        std::free(error);
        shmdt(addr);
        return segment;
    }
    segment.m_connection = c;
    segment.m_seg = seg;
    segment.m_addr = addr;
    segment.m_size = size;
    return segment;
}

void ShmSegment::release() {
    if (!m_addr)
        return;
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        xcb_shm_detach(m_connection, m_seg);
        xcb_flush(m_connection);
    }
    shmdt(m_addr);
    m_addr = nullptr;
    m_size = 0;
    m_connection = nullptr;
}

} // namespace ocula::xcb
