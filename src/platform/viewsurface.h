// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QRect>
#include <QRegion>
#include <QtGlobal>

#include <functional>
#include <memory>

class QWidget;

namespace ocula {

// How a view's pixels reach its window, for a widget that presents itself: they are
// painted a band of rows at a time into memory the window system reads directly, and go
// straight onto the widget's own native window, with no repaint pass, no copy into the
// top-level window's buffer, and no image of the whole view kept anywhere.
class ViewSurface {
public:
    // Paints the pixels of `area` (widget coordinates) as Format_RGB32 words: its top-left
    // pixel at `bits`, each next row `bytesPerLine` on.
    using RowPainter = std::function<void(uchar* bits, qsizetype bytesPerLine, const QRect& area)>;

    virtual ~ViewSurface() = default;

    // Shows `rect` of the widget as `paint` paints it, a band of its rows at a time. False
    // when there is no window to put it on yet.
    virtual bool present(const QRect& rect, const RowPainter& paint) = 0;
    // Moves the window's pixels in `area` by `delta`, then shows `rest` as `paint` paints
    // it, and whatever of the moved area the window system had no pixels for (where
    // another window covers it, say). False, having done nothing, where it cannot, or
    // where painting the area costs less than moving it.
    virtual bool scroll(const QRect& area, QPoint delta, const QRegion& rest,
                        const RowPainter& paint) {
        (void)area;
        (void)delta;
        (void)rest;
        (void)paint;
        return false;
    }
};

// A surface for `widget`, or null where the platform has none (offscreen, Wayland, an X
// server without shared memory). The widget must then be made native with
// prepareForViewSurface() before it is first shown.
std::unique_ptr<ViewSurface> createViewSurface(QWidget* widget);
void prepareForViewSurface(QWidget* widget);

} // namespace ocula
