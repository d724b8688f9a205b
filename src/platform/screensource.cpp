// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/screensource.h"

#include <cstring>

#include "ocula_config.h"
#include "platform/qt/qtscreensource.h"

#if OCULA_WITH_PIPEWIRE
#include "platform/wayland/waylandscreensource.h"
#endif
#if OCULA_WITH_X11
#include "platform/x11/x11screensource.h"

namespace {
// Null when Qt is not talking to an X server (offscreen, Wayland) or the root's pixel
// format is one the X11 source does not read.
std::unique_ptr<ocula::ScreenSource> nativeScreenSource() {
    return ocula::X11ScreenSource::create();
}
} // namespace
#else
namespace {
std::unique_ptr<ocula::ScreenSource> nativeScreenSource() {
    return nullptr;
}
} // namespace
#endif

namespace ocula {

bool copyChanged(uchar* to, const uchar* from, size_t bytes) {
    if (std::memcmp(to, from, bytes) == 0)
        return false;
    std::memcpy(to, from, bytes);
    return true;
}

std::unique_ptr<ScreenSource> createScreenSource() {
#if OCULA_WITH_PIPEWIRE
    // Xwayland is rootless: through it, other programs' pixels cannot be read.
    if (WaylandScreenSource::isWaylandSession())
        return std::make_unique<WaylandScreenSource>();
#endif
    if (auto source = nativeScreenSource())
        return source;
    return std::make_unique<QtScreenSource>();
}

} // namespace ocula
