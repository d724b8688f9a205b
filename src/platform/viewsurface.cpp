// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/viewsurface.h"

#include "ocula_config.h"

#include <QWidget>

#if OCULA_WITH_X11
#include "platform/x11/x11viewsurface.h"

namespace {
std::unique_ptr<ocula::ViewSurface> nativeViewSurface(QWidget* widget) {
    return ocula::X11ViewSurface::create(widget);
}
} // namespace
#else
namespace {
std::unique_ptr<ocula::ViewSurface> nativeViewSurface(QWidget*) {
    return nullptr;
}
} // namespace
#endif

namespace ocula {

std::unique_ptr<ViewSurface> createViewSurface(QWidget* widget) {
    return nativeViewSurface(widget);
}

void prepareForViewSurface(QWidget* widget) {
    // A window of its own that Qt never paints; its parents stay within the top-level
    // window's buffer.
    widget->setAttribute(Qt::WA_DontCreateNativeAncestors);
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->setAttribute(Qt::WA_PaintOnScreen);
}

} // namespace ocula
