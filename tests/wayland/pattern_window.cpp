// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The Wayland rig's known screen: a native Wayland client that shows the coordinate pattern
// of the whole desktop, one full-screen window on each monitor showing the part that lies
// there (or, with --window W H, an ordinary decorated window of that client size showing
// the pattern of its own client coordinates). It prints "shown W H" once a window's first
// frame is painted, "pointer X Y" for every pointer move over it, in desktop coordinates
// (client ones for --window), "wheel DY" (the angle delta) for every wheel turn, and
// "key K M V" (the Qt key code, modifiers and native virtual key in hex) for every key
// pressed while it has the focus, so a test can tell where the compositor's pointer is and
// what arrives.
#include "support/pattern.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QWheelEvent>

#include <QScreen>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

class PatternWindow : public QRasterWindow {
public:
    // Where the window's (0, 0) lies in the pattern, in device pixels.
    QPoint origin;

protected:
    void paintEvent(QPaintEvent*) override {
        const QSize size = this->size() * devicePixelRatio();
        if (m_image.size() != size)
            m_image = ocula::test::makePatternDesktop(origin.x() + size.width(),
                                                      origin.y() + size.height())
                          .copy(QRect(origin, size));
        m_image.setDevicePixelRatio(devicePixelRatio());
        QPainter(this).drawImage(0, 0, m_image);
        if (!m_shown) {
            m_shown = true;
            std::printf("shown %d %d\n", size.width(), size.height());
            std::fflush(stdout);
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        std::printf("key %x %x %x\n", unsigned(event->key()), unsigned(event->modifiers()),
                    event->nativeVirtualKey());
        std::fflush(stdout);
    }
    void wheelEvent(QWheelEvent* event) override {
        std::printf("wheel %d\n", event->angleDelta().y());
        std::fflush(stdout);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPointF at = event->position() * devicePixelRatio() + origin;
        std::printf("pointer %g %g\n", at.x(), at.y());
        std::fflush(stdout);
    }

private:
    QImage m_image;
    bool m_shown = false;
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    std::vector<std::unique_ptr<PatternWindow>> windows;
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--window")) {
        auto& window = windows.emplace_back(std::make_unique<PatternWindow>());
        window->setTitle(QStringLiteral("pattern"));
        window->resize(args[2].toInt(), args[3].toInt());
        window->show();
        return app.exec();
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        auto& window = windows.emplace_back(std::make_unique<PatternWindow>());
        window->setTitle(QStringLiteral("pattern"));
        window->origin = screen->geometry().topLeft() * screen->devicePixelRatio();
        // Without a frame, so nothing of the pattern hides behind a title bar; full screen
        // on the screen it is given.
        window->setFlag(Qt::FramelessWindowHint);
        window->setScreen(screen);
        window->setGeometry(screen->geometry());
        window->showFullScreen();
    }
    return app.exec();
}
