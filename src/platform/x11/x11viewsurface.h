#pragma once

#include "platform/viewsurface.h"
#include "platform/x11/xcbsupport.h"

#include <QPointer>
#include <QWidget>

#include <vector>

struct xcb_connection_t;

namespace ocula {

// Presents through MIT-SHM on an xcb connection of its own: the view image is a shared
// segment, and a frame is one ShmPutImage onto the widget's native window, with no reply
// to wait for. Before the image is written again, waitIdle() reads the completion event
// that says the server has read the last one.
class X11ViewSurface final : public ViewSurface {
public:
    // Null when Qt is not on X11 or scales its windows, the server has no MIT-SHM, or its
    // root's pixel format is not 0x00RRGGBB words.
    static std::unique_ptr<X11ViewSurface> create(QWidget* widget);
    ~X11ViewSurface() override;
    X11ViewSurface(const X11ViewSurface&) = delete;
    X11ViewSurface& operator=(const X11ViewSurface&) = delete;

    QImage allocate(QSize size) override;
    void release(const uchar* bits) override;
    void waitIdle() override;
    bool present(const QImage& image, const QRect& rect) override;

private:
    X11ViewSurface(xcb_connection_t* c, QWidget* widget);
    bool bindWindow();
    // The segment an image from allocate() lives in, or end().
    std::vector<xcb::ShmSegment>::iterator segmentOf(const uchar* bits);
    void putPlain(const QImage& image, const QRect& r);

    xcb_connection_t* m_connection;
    QPointer<QWidget> m_widget;
    std::vector<xcb::ShmSegment> m_segments;
    uint32_t m_window = 0;
    uint32_t m_gc = 0;
    uint8_t m_depth = 0;
    // Puts whose completion (or error) has not been read yet.
    int m_pending = 0;
};

} // namespace ocula
