#pragma once

#include <QImage>
#include <QWidget>

namespace ocula {

// A child area that keeps what is drawn on it in a persistent image of its own size and
// paints that image 1:1. Mouse events are handed to the owner through signals.
class ZoomArea : public QWidget {
    Q_OBJECT
public:
    explicit ZoomArea(QWidget* parent, QColor background);

    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }
    // Fills the image with the background colour (its size follows the widget).
    void Cls();
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
