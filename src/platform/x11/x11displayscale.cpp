// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/x11/x11displayscale.h"

#include "common/uiscale.h"
#include "platform/x11/xcbsupport.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <memory>

namespace ocula {

namespace {

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

double xftDpi(xcb_connection_t* c, xcb_window_t root) {
    // Resources are text; a few kilobytes hold any real set (the length is in 4-byte units).
    const auto reply = xcb::fetch<xcb_get_property_reply_t>(
        c, xcb_get_property(c, 0, root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 16),
        xcb_get_property_reply);
    if (!reply || reply->format != 8)
        return 0;
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return xftDpiFromResources(QByteArray(text, xcb_get_property_value_length(reply.get())));
}

xcb::Reply<xcb_randr_get_output_info_reply_t> outputInfo(xcb_connection_t* c,
                                                         xcb_randr_output_t output) {
    return xcb::fetch<xcb_randr_get_output_info_reply_t>(
        c, xcb_randr_get_output_info(c, output, XCB_CURRENT_TIME), xcb_randr_get_output_info_reply);
}

QString nameOf(const xcb::Reply<xcb_randr_get_output_info_reply_t>& info) {
    if (!info)
        return {};
    return QString::fromUtf8(
        reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
        xcb_randr_get_output_info_name_length(info.get()));
}

// Qt's primary screen: RandR's primary output, or (none set, as on Xvfb) the first output
// that shows something.
QString primaryOutputName(xcb_connection_t* c, xcb_window_t root) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (!ext || !ext->present)
        return {};
    const auto primary = xcb::fetch<xcb_randr_get_output_primary_reply_t>(
        c, xcb_randr_get_output_primary(c, root), xcb_randr_get_output_primary_reply);
    if (primary && primary->output != XCB_NONE)
        return nameOf(outputInfo(c, primary->output));
    const auto resources = xcb::fetch<xcb_randr_get_screen_resources_current_reply_t>(
        c, xcb_randr_get_screen_resources_current(c, root),
        xcb_randr_get_screen_resources_current_reply);
    if (!resources)
        return {};
    const xcb_randr_output_t* outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        if (const auto info = outputInfo(c, outputs[i]); info && info->crtc != XCB_NONE)
            return nameOf(info);
    }
    return {};
}

} // namespace

DisplayScaleFacts readX11DisplayScaleFacts(bool wantPrimaryName) {
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, Disconnect> c(xcb_connect(nullptr, &screenNumber));
    if (!c || xcb_connection_has_error(c.get()))
        return {};
    const xcb_screen_t* screen = xcb::screenOf(c.get(), screenNumber);
    if (!screen)
        return {};
    DisplayScaleFacts facts;
    facts.xftDpi = xftDpi(c.get(), screen->root);
    if (wantPrimaryName)
        facts.primaryName = primaryOutputName(c.get(), screen->root);
    return facts;
}

} // namespace ocula
