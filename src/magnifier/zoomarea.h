// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/viewsurface.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace ocula {

// A child area that keeps what is drawn on it in a persistent image of its own size and
// paints that image 1:1, or (the view) has its owner paint rows on request. Mouse events
// are handed to the owner through signals.
class ZoomArea : public QWidget {
    Q_OBJECT
public:
    // Directly: where the platform allows, the pixels go straight onto a native window of
    // the area's own (the view, redrawn 20 times a second); otherwise Qt paints them. Such
    // an area shows what its row painter paints (setRowPainter), nothing else.
    enum class Presentation { ByQt, Directly };
    using RowPainter = ViewSurface::RowPainter;
    explicit ZoomArea(QWidget* parent, QColor background,
                      Presentation presentation = Presentation::ByQt);
    ~ZoomArea() override;

    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }
    // Fills the image with the background colour (its size follows the widget).
    void Cls();

    // From now on the owner paints what the area shows, whenever asked (a frame, an
    // expose), instead of keeping it in the image. Presented directly, there is then no
    // image at all: only a band of rows exists at a time. Painted by Qt, the image holds
    // what was painted last, for Qt to paint from.
    void setRowPainter(RowPainter painter);
    // What the painter paints has changed; it is shown at the next present or paint.
    void contentChanged();
    // Painted by Qt, the image is painted in bands of this many rows, as a directly
    // presented area is (0: in one go); for checks of the band edges.
    void setBandRows(int rows) { m_bandRows = rows; }

    // Shows what the image holds (or the painter paints) now.
    void present();
    // Shows what the painter paints now, knowing that it is what the area showed with the
    // pixels of `area` moved by `delta`: those are moved, not painted again where moving
    // costs less (true), else all is painted.
    bool scroll(const QRect& area, QPoint delta);
    bool presentsDirectly() const { return m_surface != nullptr; }
    ViewSurface* surface() const { return m_surface.get(); }
    QPaintEngine* paintEngine() const override;
    void setBackground(QColor c) { m_background = c; }
    QColor background() const { return m_background; }

signals:
    void mousePressed(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void mouseReleased(QMouseEvent* event);
    void mouseDoubleClicked(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { emit mousePressed(event); }
    void mouseMoveEvent(QMouseEvent* event) override { emit mouseMoved(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { emit mouseReleased(event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { emit mouseDoubleClicked(event); }

private:
    // Makes the image the area's size; what it held is lost when the size changes.
    void fitImage();
    // Paints the whole image, or `area` of it, with the row painter.
    void paintImage();
    void paintImage(const QRect& area);

    std::unique_ptr<ViewSurface> m_surface;
    RowPainter m_painter;
    int m_bandRows = 0;
    QImage m_image;
    QColor m_background;
};

// The view's outer frame: a sunken border around the client area that shows the magnified
// image, 2 pixels wide at 96 dpi and wider as the furniture scales.
class ViewFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBorder = 2;
    static int border();
    explicit ViewFrame(QWidget* parent);
    ZoomArea* client() const { return m_client; }
    // Fits the client inside the border; Qt defers resize events of hidden widgets, so
    // the owner calls this right after placing the frame.
    void layoutClient();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ZoomArea* m_client;
};

} // namespace ocula
