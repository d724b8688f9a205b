#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <memory>

namespace ocula {

// Everything the magnifier needs from the desktop: where the cursor is, how big the
// desktop is, and the pixels of a rectangle of it.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    virtual QPoint cursorPos() = 0;
    // The virtual desktop in screen pixels; its top-left corner is the origin of cursorPos().
    virtual QRect desktopRect() const = 0;
    // Copies the desktop pixels of `source` into `into`, whose size the caller has set to
    // source.size() (Format_RGB32). Pixel (0, 0) of `into` is source.topLeft(). Parts of
    // `source` off the desktop are left untouched, so the caller decides what they show.
    // Returns false when nothing could be read.
    virtual bool grab(const QRect& source, QImage& into) = 0;
};

// The best source this platform offers: X11 with MIT-SHM where possible, else Qt's grabWindow.
std::unique_ptr<ScreenSource> createScreenSource();

} // namespace ocula
