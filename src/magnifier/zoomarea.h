#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

namespace ocula {

class ViewSurface;

// A child area that keeps what is drawn on it in a persistent image of its own size and
// paints that image 1:1. Mouse events are handed to the owner through signals.
class ZoomArea : public QWidget {
    Q_OBJECT
public:
    // Directly: where the platform allows, the image goes straight onto a native window of
    // the area's own (the view, redrawn 20 times a second); otherwise Qt paints it.
    enum class Presentation { ByQt, Directly };
    explicit ZoomArea(QWidget* parent, QColor background,
                      Presentation presentation = Presentation::ByQt);
    ~ZoomArea() override;

    // For writing: waits until the window system has read the last frame presented.
    QImage& image();
    const QImage& image() const { return m_image; }
    // Makes the image the area's size; what it held is lost when the size changes.
    void fitImage();
    // Fills the image with the background colour (its size follows the widget).
    void Cls();
    // Shows what the image holds now.
    void present();
    bool presentsDirectly() const { return m_surface != nullptr; }
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
    QImage newImage(QSize size);
    void replaceImage(QImage image);

    std::unique_ptr<ViewSurface> m_surface;
    QImage m_image;
    QColor m_background;
};

// The view's outer frame: a 2-pixel sunken border around the client area that shows
// the magnified image.
class ViewFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBorder = 2;
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
