#pragma once

#include <QImage>
#include <QRect>

#include <memory>

class QWidget;

namespace ocula {

// Where a view's pixels live and how they reach its window, for a widget that presents
// itself: the image sits in memory the window system reads directly, and rectangles of it
// go straight onto the widget's own native window, with no repaint pass and no copy into
// the top-level window's buffer.
class ViewSurface {
public:
    virtual ~ViewSurface() = default;

    // A Format_RGB32 image of `size` in the surface's memory, or a null image when that
    // memory cannot be had. It stays valid until release() of its bits.
    virtual QImage allocate(QSize size) = 0;
    // Frees the memory of an image from allocate(); no copy of that image may be left.
    virtual void release(const uchar* bits) = 0;
    // Returns once the window system no longer reads the images, so they can be written.
    virtual void waitIdle() = 0;
    // Puts `rect` of `image` (from allocate()) at the same place on the widget's window.
    // False when there is no window to put it on yet.
    virtual bool present(const QImage& image, const QRect& rect) = 0;
};

// A surface for `widget`, or null where the platform has none (offscreen, Wayland, an X
// server without shared memory). The widget must then be made native with
// prepareForViewSurface() before it is first shown.
std::unique_ptr<ViewSurface> createViewSurface(QWidget* widget);
void prepareForViewSurface(QWidget* widget);

} // namespace ocula
