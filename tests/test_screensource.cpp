// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/qt/qtscreensource.h"
#include "platform/screensource.h"

#include <QGuiApplication>
#include <QTest>
#include <QWidget>

using namespace ocula;

namespace {
constexpr QRgb kSentinel = 0xff123456;
constexpr QRgb kWindowColour = 0xff20c040;
} // namespace

// The screen sources where Qt has no X server: the offscreen platform of the unit tests.
class ScreenSourceTest : public QObject {
    Q_OBJECT

private slots:
    void factoryFallsBackToQtWithoutAnXConnection();
    void desktopIsTheVirtualScreen();
    void grabReadsOnlyTheScreen_data();
    void grabReadsOnlyTheScreen();
};

void ScreenSourceTest::factoryFallsBackToQtWithoutAnXConnection() {
    const std::unique_ptr<ScreenSource> source = createScreenSource();
    QVERIFY(dynamic_cast<QtScreenSource*>(source.get()));
}

void ScreenSourceTest::desktopIsTheVirtualScreen() {
    // tests/support/screens.json
    QCOMPARE(QtScreenSource().desktopRect(), QRect(0, 0, 1280, 1024));
}

void ScreenSourceTest::grabReadsOnlyTheScreen_data() {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("read");
    QTest::newRow("inside") << QRect(100, 100, 20, 10) << true;
    QTest::newRow("off the top-left corner") << QRect(-10, -5, 20, 10) << true;
    QTest::newRow("off the bottom-right corner") << QRect(1275, 1020, 20, 10) << true;
    QTest::newRow("wholly left") << QRect(-20, 0, 20, 10) << false;
    QTest::newRow("wholly below") << QRect(0, 1024, 20, 10) << false;
}

void ScreenSourceTest::grabReadsOnlyTheScreen() {
    QFETCH(QRect, rect);
    QFETCH(bool, read);
    QWidget window;
    window.setStyleSheet(QStringLiteral("background: #20c040"));
    window.setGeometry(-100, -100, 1600, 1300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QImage into(rect.size(), QImage::Format_RGB32);
    into.fill(kSentinel);
    QCOMPARE(QtScreenSource().grab(rect, into), read);
    const QRect screen(0, 0, 1280, 1024);
    for (int y = 0; y < rect.height(); ++y) {
        for (int x = 0; x < rect.width(); ++x) {
            const bool on = read && screen.contains(rect.topLeft() + QPoint(x, y));
            QCOMPARE(into.pixel(x, y), on ? kWindowColour : kSentinel);
        }
    }
}

QTEST_MAIN(ScreenSourceTest)
#include "test_screensource.moc"
