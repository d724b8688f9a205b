// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/propertybag.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "platform/qt/qtscreensource.h"
#include "platform/viewsurface.h"
#include "platform/x11/x11screensource.h"
#include "platform/x11/x11viewsurface.h"
#include "platform/x11/xcbsupport.h"
#include "support/eventcounter.h"

#include <QCursor>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

using namespace ocula;

namespace {

// The root window shows the coordinate pattern (tests/support/make_pattern.py).
QRgb patternAt(int x, int y) {
    return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

// Stands for pixel (1298, 1588) of the pattern, far off our small screen, so it can
// only be in a grab where nothing was written.
constexpr QRgb kSentinel = 0xff123456;

enum class Kind { Shm, GetImage, Qt };

QPoint pointFromEnv(const char* name) {
    const QList<QByteArray> parts = qgetenv(name).split(',');
    return parts.size() == 2 ? QPoint(parts[0].toInt(), parts[1].toInt()) : QPoint(-1, -1);
}

// Empty when equal, else the first differing pixel.
QString compareWithScreen(const QImage& image, const QRect& source, const QRect& screen) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPoint p = source.topLeft() + QPoint(x, y);
            const QRgb want = screen.contains(p) ? patternAt(p.x(), p.y()) : kSentinel;
            // The raw word: pixel() would hide a missing 0xff in the top byte.
            const QRgb got = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
            if (got != want)
                return QStringLiteral(
                           "pixel (%1, %2) of the grab, screen (%3, %4): got %5, want %6")
                    .arg(x)
                    .arg(y)
                    .arg(p.x())
                    .arg(p.y())
                    .arg(got, 8, 16, QLatin1Char('0'))
                    .arg(want, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

// Xvfb resizes its screen through RandR. xrandr then fails to fit the output to a smaller
// screen and says so, but the screen has changed all the same; the checks tell.
void resizeScreen(QSize size) {
    QProcess xrandr;
    xrandr.setStandardOutputFile(QProcess::nullDevice());
    xrandr.setStandardErrorFile(QProcess::nullDevice());
    xrandr.start(
        QStringLiteral("xrandr"),
        {QStringLiteral("--fb"), QStringLiteral("%1x%2").arg(size.width()).arg(size.height())});
    xrandr.waitForFinished();
}

// What another program does, on a connection of its own: moves the pointer through XTEST
// (as a device would; xdotool warps it instead), or paints one pixel of the root window.
struct OtherClient {
    OtherClient() {
        int screenNumber = 0;
        c = xcb_connect(nullptr, &screenNumber);
        root = xcb::screenOf(c, screenNumber)->root;
    }
    ~OtherClient() {
        // Returns once the server has done all of it.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
    }
    xcb_connection_t* c;
    xcb_window_t root;
};

void movePointer(QPoint to) {
    OtherClient other;
    xcb_test_fake_input(other.c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, other.root,
                        int16_t(to.x()), int16_t(to.y()), 0);
}

void paintRootPixel(QPoint at, QRgb color) {
    OtherClient other;
    xcb_connection_t* c = other.c;
    const xcb_window_t root = other.root;
    const uint32_t gc = xcb_generate_id(c);
    const uint32_t foreground = color & 0xffffff;
    xcb_create_gc(c, gc, root, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t pixel{int16_t(at.x()), int16_t(at.y()), 1, 1};
    xcb_poly_fill_rectangle(c, root, gc, 1, &pixel);
    xcb_free_gc(c, gc);
}

// A window that Qt never paints, as the magnifier's view is.
class SurfaceWindow : public QWidget {
public:
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

// Distinct colours, so that a shifted or transposed copy shows.
uint32_t numberedPixel(int x, int y, uint32_t salt) {
    return 0xff000000u | ((uint32_t(y) * 131u + uint32_t(x) * 7u + salt) & 0xffffffu);
}

// Lent pixels as an image, made opaque as the view makes them.
QImage lentImage(const uchar* lent, qsizetype bpl, QSize size) {
    QImage copy(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(lent + y * bpl);
        auto* to = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            to[x] = from[x] | 0xff000000u;
    }
    return copy;
}

QImage numbered(QImage image, uint32_t salt) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, numberedPixel(x, y, salt));
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class X11ScreenSourceCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void factoryChoosesBySupport();
    void cursorMatchesTheServer();
    void cursorFollowsWarps_data();
    void cursorFollowsWarps();
    void desktopIsTheRootWindow();
    void grab_data();
    void grab();
    void segmentIsReusedAcrossSizes();
    void rejectsAnImageOfTheWrongShape_data();
    void rejectsAnImageOfTheWrongShape();
    void followsTheScreenSize();
    void pointerMovesAreHeardAtOnce();
    void drawingMarksTheLastGrabChanged();
    void lendReadsOnlyWhatComesIn();
    void wakesOnceOnPointerMovesAndDrawing();
    void viewSurfacePutsRowsOnItsWindow();
    void viewSurfaceMovesPixels();
    void shownViewGoesUpOnce();

private:
    ScreenSource& source(Kind kind);

    std::unique_ptr<X11ScreenSource> m_shm;
    std::unique_ptr<X11ScreenSource> m_getImage;
    QtScreenSource m_qt;
    QRect m_screen;
    // The server's root is one the X11 source must refuse (run against a 16-bit Xvfb).
    bool m_expectRefused = false;
    // The server offers MIT-SHM.
    bool m_expectShm = true;
};

ScreenSource& X11ScreenSourceCheck::source(Kind kind) {
    switch (kind) {
    case Kind::Shm:
        return *m_shm;
    case Kind::GetImage:
        return *m_getImage;
    case Kind::Qt:
        break;
    }
    return m_qt;
}

void X11ScreenSourceCheck::initTestCase() {
    const QPoint size = pointFromEnv("OCULA_EXPECT_SCREEN");
    QVERIFY2(size.x() > 0 && size.y() > 0, "OCULA_EXPECT_SCREEN=W,H must be set");
    m_screen = QRect(QPoint(0, 0), QSize(size.x(), size.y()));
    m_expectRefused = qgetenv("OCULA_EXPECT_REFUSED") == "1";
    m_expectShm = qgetenv("OCULA_EXPECT_SHM") != "0";
    qInfo("device pixel ratio %g", QGuiApplication::primaryScreen()->devicePixelRatio());

    m_shm = X11ScreenSource::create(X11ScreenSource::Shm::Auto);
    m_getImage = X11ScreenSource::create(X11ScreenSource::Shm::Off);
}

void X11ScreenSourceCheck::init() {
    if (m_expectRefused)
        return;
    QVERIFY(m_shm);
    QVERIFY(m_getImage);
}

void X11ScreenSourceCheck::factoryChoosesBySupport() {
    const std::unique_ptr<ScreenSource> made = createScreenSource();
    if (!m_expectRefused) {
        QVERIFY(dynamic_cast<X11ScreenSource*>(made.get()));
        return;
    }
    QVERIFY(!m_shm);
    QVERIFY(!X11ScreenSource().isUsable());
    QVERIFY(dynamic_cast<QtScreenSource*>(made.get()));
    // The fallback still reads the screen, and refuses what it cannot have.
    const QRect rect(m_screen.width() - 5, 10, 10, 10);
    QImage into(rect.size(), QImage::Format_RGB32);
    into.fill(kSentinel);
    QVERIFY(made->grab(rect, into));
    QCOMPARE(into.pixel(9, 0), kSentinel);
    QVERIFY(into.pixel(0, 0) != kSentinel);
    QVERIFY(!made->grab(rect.translated(10, 0), into));
}

void X11ScreenSourceCheck::cursorMatchesTheServer() {
    const QPoint expected = pointFromEnv("OCULA_EXPECT_CURSOR");
    QVERIFY2(expected.x() >= 0, "OCULA_EXPECT_CURSOR=X,Y must be set");
    QCOMPARE(m_shm->cursorPos(), expected);
    QCOMPARE(m_qt.cursorPos(), expected);
}

void X11ScreenSourceCheck::cursorFollowsWarps_data() {
    QTest::addColumn<QPoint>("device");
    // Even coordinates, so that a device pixel ratio of 2 maps them exactly.
    QTest::newRow("origin") << QPoint(0, 0);
    QTest::newRow("inside") << QPoint(300, 260);
    QTest::newRow("past 255 in both") << QPoint(512, 258);
    QTest::newRow("last even pixel") << QPoint(m_screen.width() - 2, m_screen.height() - 2);
}

void X11ScreenSourceCheck::cursorFollowsWarps() {
    QFETCH(QPoint, device);
    QScreen* screen = QGuiApplication::primaryScreen();
    QCursor::setPos(screen, device / screen->devicePixelRatio());
    // The warp travels on Qt's connection and the sources ask on their own: wait for it.
    QTRY_COMPARE(m_shm->cursorPos(), device);
    // A warp brings no raw motion: the source finds it at its next regular query.
    QTRY_COMPARE(m_getImage->cursorPos(), device);
    QCOMPARE(m_qt.cursorPos(), device);
}

void X11ScreenSourceCheck::desktopIsTheRootWindow() {
    QCOMPARE(m_shm->desktopRect(), m_screen);
    QCOMPARE(m_qt.desktopRect(), m_screen);
}

void X11ScreenSourceCheck::grab_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QRect>("rect");
    const int w = m_screen.width();
    const int h = m_screen.height();
    const QList<std::pair<const char*, QRect>> rects = {
        {"inside", QRect(10, 20, 100, 50)},
        {"across 256 in x and y", QRect(200, 250, 120, 30)},
        {"whole screen", m_screen},
        {"last pixel", QRect(w - 1, h - 1, 1, 1)},
        {"off the left edge", QRect(-30, 100, 60, 40)},
        {"off the top edge", QRect(100, -25, 40, 50)},
        {"off the right edge", QRect(w - 20, 100, 50, 40)},
        {"off the bottom edge", QRect(100, h - 10, 40, 30)},
        {"off the top-left corner", QRect(-5, -7, 20, 20)},
        {"off the bottom-right corner", QRect(w - 3, h - 4, 10, 10)},
        {"over every edge", QRect(-10, -10, w + 20, h + 20)},
        {"wholly left", QRect(-50, 10, 50, 10)},
        {"wholly above", QRect(10, -20, 30, 20)},
        {"wholly right", QRect(w, 10, 5, 5)},
        {"wholly below", QRect(10, h, 5, 5)},
        {"far away", QRect(-5000, -5000, 100, 100)},
    };
    const QList<std::pair<const char*, Kind>> kinds = {
        {"shm", Kind::Shm}, {"getimage", Kind::GetImage}, {"qt", Kind::Qt}};
    for (const auto& [kindName, kind] : kinds) {
        for (const auto& [rectName, rect] : rects)
            QTest::addRow("%s: %s", kindName, rectName) << kind << rect;
    }
}

void X11ScreenSourceCheck::grab() {
    QFETCH(Kind, kind);
    QFETCH(QRect, rect);
    QImage into(rect.size(), QImage::Format_RGB32);
    into.fill(kSentinel);
    const bool anyOnScreen = rect.intersects(m_screen);
    QCOMPARE(source(kind).grab(rect, into), anyOnScreen);
    const QString mismatch = compareWithScreen(into, rect, m_screen);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    if (!anyOnScreen)
        return;

    // Grabbed again into what it holds, nothing differs; one pixel spoilt, and it does.
    bool changed = true;
    QVERIFY(source(kind).grab(rect, into, &changed));
    QVERIFY(!changed);
    const QPoint spoilt = rect.intersected(m_screen).bottomRight() - rect.topLeft();
    const QRgb right = into.pixel(spoilt);
    into.setPixel(spoilt, right ^ 0x000100u);
    QVERIFY(source(kind).grab(rect, into, &changed));
    QVERIFY(changed);
    QCOMPARE(into.pixel(spoilt), right);

    // Lent: the shared segment holds what was read, for a rectangle wholly on the screen;
    // anything else, or no segment, lends nothing and the caller grabs.
    qsizetype bpl = 0;
    const uchar* lent = source(kind).lend(rect, &bpl);
    QCOMPARE(lent != nullptr, kind == Kind::Shm && m_expectShm && m_screen.contains(rect));
    if (lent == nullptr)
        return;
    const QString lentMismatch =
        compareWithScreen(lentImage(lent, bpl, rect.size()), rect, m_screen);
    QVERIFY2(lentMismatch.isEmpty(), qPrintable(lentMismatch));
    QVERIFY(!m_shm->hearsDrawing() || !m_shm->mayHaveChanged(rect));
}

void X11ScreenSourceCheck::segmentIsReusedAcrossSizes() {
    // Small, then the whole screen (the segment must grow), then small again (it must
    // not be read with the big grab's layout).
    const QList<QRect> rects = {QRect(5, 6, 8, 8), m_screen, QRect(600, 3, 3, 5),
                                QRect(17, 400, 33, 2), m_screen};
    for (const QRect& rect : rects) {
        QImage into(rect.size(), QImage::Format_RGB32);
        into.fill(kSentinel);
        QVERIFY(m_shm->grab(rect, into));
        const QString mismatch = compareWithScreen(into, rect, m_screen);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
    QCOMPARE(m_shm->usingShm(), m_expectShm);
    QVERIFY(!m_getImage->usingShm());
}

void X11ScreenSourceCheck::rejectsAnImageOfTheWrongShape_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QImage>("image");
    const QImage wider(QSize(11, 10), QImage::Format_RGB32);
    const QImage narrower(QSize(10, 9), QImage::Format_RGB32);
    const QImage eightBit(QSize(10, 10), QImage::Format_Grayscale8);
    const QList<std::pair<const char*, Kind>> kinds = {
        {"shm", Kind::Shm}, {"getimage", Kind::GetImage}, {"qt", Kind::Qt}};
    for (const auto& [name, kind] : kinds) {
        QTest::addRow("%s: wider", name) << kind << wider;
        QTest::addRow("%s: shorter", name) << kind << narrower;
        QTest::addRow("%s: 8 bits", name) << kind << eightBit;
        QTest::addRow("%s: null", name) << kind << QImage();
    }
}

void X11ScreenSourceCheck::rejectsAnImageOfTheWrongShape() {
    QFETCH(Kind, kind);
    QFETCH(QImage, image);
    if (!image.isNull())
        image.fill(0x5a);
    const QImage before = image.copy();
    QVERIFY(!source(kind).grab(QRect(20, 20, 10, 10), image));
    QCOMPARE(image, before);
}

// X11 sources only: Qt goes by the RandR outputs, which Xvfb leaves at their old size.
// Only on request, as it leaves the server's outputs in a state that confuses Qt.
void X11ScreenSourceCheck::followsTheScreenSize() {
    if (qgetenv("OCULA_RESIZE_SCREEN") != "1")
        QSKIP("changes the screen; run with OCULA_RESIZE_SCREEN=1 on a server of its own");
    const QRect small(QPoint(0, 0), m_screen.size() / 2);
    const QList<Kind> kinds = {Kind::Shm, Kind::GetImage};
    // Each time: a rectangle inside the size the sources knew, across the new edge, and
    // one past the edge they knew.
    const QList<std::pair<QRect, QRect>> steps = {
        {small, QRect(small.right() - 9, small.bottom() - 9, 30, 30)},
        {m_screen, QRect(m_screen.right() - 19, m_screen.bottom() - 19, 20, 20)},
    };
    for (const auto& [screen, rect] : steps) {
        resizeScreen(screen.size());
        for (Kind kind : kinds) {
            QImage into(rect.size(), QImage::Format_RGB32);
            into.fill(kSentinel);
            QVERIFY(source(kind).grab(rect, into));
            const QString mismatch = compareWithScreen(into, rect, screen);
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
            QCOMPARE(source(kind).desktopRect(), screen);
        }
    }
}

// A move through XTEST (a device, as far as the server knows) is heard on the next ask,
// not only at the regular query that catches warps; between moves the answer comes
// without asking the server.
void X11ScreenSourceCheck::pointerMovesAreHeardAtOnce() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    QVERIFY(m_shm->hearsPointerMoves());
    for (const QPoint p : {QPoint(40, 50), QPoint(41, 50), QPoint(300, 201), QPoint(8, 9)}) {
        movePointer(p);
        QTest::qWait(20); // time for the server to hand the event over
        QCOMPARE(m_shm->cursorPos(), p);
        QCOMPARE(m_shm->cursorPos(), p);
    }
}

// After a grab, the rectangle counts as unchanged until something is drawn on it; drawing
// elsewhere leaves it as it is. After the next grab of another rectangle, it counts as
// changed only if something was drawn on it before that grab; after two, it is unknown.
void X11ScreenSourceCheck::drawingMarksTheLastGrabChanged() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    QVERIFY(m_shm->hearsDrawing());
    const QRect rect(100, 80, 40, 30);
    const QPoint inside(120, 90);
    QImage into(rect.size(), QImage::Format_RGB32);
    QVERIFY(m_shm->grab(rect, into));
    QVERIFY(!m_shm->mayHaveChanged(rect));
    QVERIFY(m_shm->mayHaveChanged(rect.translated(1, 0)));
    QVERIFY(!m_shm->mayHaveChanged(rect));

    paintRootPixel(inside, qRgb(1, 2, 3));
    QTRY_VERIFY(m_shm->mayHaveChanged(rect));
    bool changed = false;
    QVERIFY(m_shm->grab(rect, into, &changed));
    QVERIFY(changed);
    QCOMPARE(into.pixel(inside - rect.topLeft()), qRgb(1, 2, 3));
    QVERIFY(!m_shm->mayHaveChanged(rect));

    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
    QTRY_VERIFY(m_shm->mayHaveChanged(rect));
    QVERIFY(m_shm->grab(rect, into));
    const QString mismatch = compareWithScreen(into, rect, m_screen);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    // The grab of another rectangle brings in every report of drawing before it.
    const QRect other = rect.translated(3, 2);
    const QPoint outside(rect.right() + 5, rect.top());
    QImage otherInto(other.size(), QImage::Format_RGB32);
    paintRootPixel(outside, qRgb(4, 5, 6));
    QVERIFY(m_shm->grab(other, otherInto));
    QVERIFY(!m_shm->mayHaveChanged(rect));
    paintRootPixel(outside, patternAt(outside.x(), outside.y()));
    QVERIFY(m_shm->grab(rect, into));
    paintRootPixel(inside, qRgb(1, 2, 3));
    QVERIFY(m_shm->grab(other, otherInto));
    QVERIFY(m_shm->mayHaveChanged(rect));
    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
    QVERIFY(m_shm->grab(rect, into));
    QVERIFY(m_shm->grab(other, otherInto));
    paintRootPixel(inside, qRgb(1, 2, 3)); // after the latest read: not counted for rect
    QTest::qWait(30);
    QVERIFY(!m_shm->mayHaveChanged(rect));
    QVERIFY(m_shm->mayHaveChanged(other));
    QImage corner(4, 4, QImage::Format_RGB32);
    QVERIFY(m_shm->grab(QRect(0, 0, 4, 4), corner));
    QVERIFY(m_shm->mayHaveChanged(rect));
    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
}

// A lent rectangle that moves over a still picture is read only where it comes in, and
// lends the screen's pixels all the same: along small steps every way, steps that run out
// of room (it is read whole again, once, and goes on), a jump, a change of size, and after
// a grab that used the segment for something else. What is drawn on the part it keeps is
// shown, not kept.
void X11ScreenSourceCheck::lendReadsOnlyWhatComesIn() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    if (!m_expectShm)
        QSKIP("only a shared segment is lent");
    QVERIFY(m_shm->hearsDrawing());
    QRect rect(200, 150, 120, 90);
    const qint64 whole = qint64(rect.width()) * rect.height();
    // Lends `r` and compares it with the screen; returns the pixels read.
    auto lendAndCheck = [&](const QRect& r) -> qint64 {
        qsizetype bpl = 0;
        const uchar* lent = m_shm->lend(r, &bpl);
        if (lent == nullptr)
            return -1;
        const QString mismatch = compareWithScreen(lentImage(lent, bpl, r.size()), r, m_screen);
        if (!mismatch.isEmpty()) {
            qWarning("%s", qPrintable(mismatch));
            return -1;
        }
        return m_shm->pixelsLastRead();
    };
    QCOMPARE(lendAndCheck(rect), whole);

    const QList<QPoint> steps = {{7, 0},  {0, 5},  {-3, -4}, {10, 9}, {-11, 2},
                                 {1, -1}, {0, -8}, {-6, 0},  {4, 0}};
    for (const QPoint step : steps) {
        const QRect before = rect;
        rect.translate(step);
        const qint64 incoming = qint64(rect.width()) * std::abs(step.y()) +
                                qint64(std::abs(step.x())) * (rect.height() - std::abs(step.y()));
        QCOMPARE(lendAndCheck(rect), incoming);
        QVERIFY(!m_shm->mayHaveChanged(before));
        QVERIFY(!m_shm->mayHaveChanged(rect));
    }

    // Down and down: once out of room, read whole, and from there on in part again.
    int wholeReads = 0;
    for (int i = 0; i < 12; ++i) {
        rect.translate(1, 9);
        const qint64 read = lendAndCheck(rect);
        QVERIFY(read > 0);
        wholeReads += read == whole ? 1 : 0;
    }
    QCOMPARE(wholeReads, 1);

    rect.translate(rect.width() + 5, 0);
    QCOMPARE(lendAndCheck(rect), whole);
    rect.setWidth(rect.width() - 1);
    QCOMPARE(lendAndCheck(rect), qint64(rect.width()) * rect.height());
    QImage corner(4, 4, QImage::Format_RGB32);
    QVERIFY(m_shm->grab(QRect(0, 0, 4, 4), corner));
    rect.translate(1, 0);
    QCOMPARE(lendAndCheck(rect), qint64(rect.width()) * rect.height());

    // Drawn on what the next step keeps: read again, not kept.
    const QPoint inside = rect.center();
    paintRootPixel(inside, qRgb(9, 8, 7));
    rect.translate(-2, 1);
    qsizetype bpl = 0;
    const uchar* lent = m_shm->lend(rect, &bpl);
    QVERIFY(lent != nullptr);
    QCOMPARE(lentImage(lent, bpl, rect.size()).pixel(inside - rect.topLeft()), qRgb(9, 8, 7));
    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
    rect.translate(3, -2);
    QVERIFY(lendAndCheck(rect) > 0);
    rect.translate(-1, 0);
    QVERIFY(lendAndCheck(rect) < qint64(rect.width()) * rect.height());
}

// A caller at rest is woken from the event loop by a device move or by drawing on what it
// read last: once per request, and not at all once the request is withdrawn.
void X11ScreenSourceCheck::wakesOnceOnPointerMovesAndDrawing() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    const QRect rect(100, 80, 40, 30);
    const QPoint inside(120, 90);
    QImage into(rect.size(), QImage::Format_RGB32);
    // Nothing waiting: the pointer asked for and the rectangle read after the last event.
    const auto settle = [&] {
        QTest::qWait(30);
        m_shm->cursorPos();
        return m_shm->grab(rect, into);
    };
    int wakes = 0;
    const auto wake = [&wakes] { ++wakes; };

    QVERIFY(settle());
    QVERIFY(m_shm->wakeOnChange(wake));
    QTest::qWait(100);
    QCOMPARE(wakes, 0);
    movePointer(QPoint(60, 70));
    QTRY_COMPARE(wakes, 1);
    movePointer(QPoint(61, 70));
    QTest::qWait(60);
    QCOMPARE(wakes, 1);
    QCOMPARE(m_shm->cursorPos(), QPoint(61, 70)); // the moves still count

    // Drawing elsewhere on the screen changes nothing the caller has read.
    QVERIFY(settle());
    QVERIFY(m_shm->wakeOnChange(wake));
    const QPoint outside(rect.right() + 10, rect.bottom() + 10);
    paintRootPixel(outside, qRgb(7, 8, 9));
    QTest::qWait(100);
    QCOMPARE(wakes, 1);
    paintRootPixel(outside, patternAt(outside.x(), outside.y()));
    paintRootPixel(inside, qRgb(1, 2, 3));
    QTRY_COMPARE(wakes, 2);
    QVERIFY(m_shm->mayHaveChanged(rect));

    // Something already waiting wakes the caller soon after it asks.
    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
    QTest::qWait(30);
    QVERIFY(m_shm->wakeOnChange(wake));
    QTRY_COMPARE(wakes, 3);

    // A warp brings no device motion and draws nothing, and still wakes the caller.
    QVERIFY(settle());
    QVERIFY(m_shm->wakeOnChange(wake));
    QScreen* screen = QGuiApplication::primaryScreen();
    QCursor::setPos(screen, QPoint(140, 150) / screen->devicePixelRatio());
    QTRY_COMPARE(wakes, 4);
    QCOMPARE(m_shm->cursorPos(), QPoint(140, 150));

    QVERIFY(settle());
    QVERIFY(m_shm->wakeOnChange(wake));
    QVERIFY(m_shm->wakeOnChange(nullptr));
    movePointer(QPoint(80, 90));
    paintRootPixel(inside, qRgb(4, 5, 6));
    QTest::qWait(100);
    QCOMPARE(wakes, 4);
    paintRootPixel(inside, patternAt(inside.x(), inside.y()));
}

// Both ways onto the window: bands in shared memory, and bands in the requests (what the
// view falls back to when no segment can be had); in one band and in many, the ring of
// shared bands going round more than once in a frame. Read back from the screen: the
// rect asked for shows what the painter painted, the rest what was there before; and
// the painter was asked for the rect's rows, each once.
void X11ScreenSourceCheck::viewSurfacePutsRowsOnItsWindow() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    SurfaceWindow window;
    // Without MIT-SHM there is none, nor when Qt scales windows (a window pixel is then
    // not an image pixel): Qt paints the view.
    const bool scaled = QGuiApplication::primaryScreen()->devicePixelRatio() != 1.0;
    QCOMPARE(createViewSurface(&window) != nullptr, m_expectShm && !scaled);
    std::unique_ptr<X11ViewSurface> surface = X11ViewSurface::create(&window);
    if (!surface)
        return;
    prepareForViewSurface(&window);
    const QRect place(30, 40, 64, 48);
    window.setGeometry(place);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    uint32_t salt = 0;
    std::vector<int> painted;
    QRect columns; // the columns of every area painted
    const ViewSurface::RowPainter paint = [&](uchar* bits, qsizetype bpl, const QRect& area) {
        columns |= QRect(area.left(), 0, area.width(), 1);
        for (int y = 0; y < area.height(); ++y) {
            painted.push_back(area.top() + y);
            auto* row = reinterpret_cast<uint32_t*>(bits + y * bpl);
            for (int x = 0; x < area.width(); ++x)
                row[x] = numberedPixel(area.left() + x, area.top() + y, salt);
        }
    };
    const QRect part(5, 7, 40, 30);
    struct Way {
        bool shared;
        size_t bandBytes;
    };
    for (const Way way :
         {Way{true, 1 << 20}, Way{true, 64 * 4 * 3}, Way{false, 1 << 20}, Way{false, 64 * 4 * 5}}) {
        const QString name = QStringLiteral("%1, %2-byte bands")
                                 .arg(way.shared ? "shared" : "plain")
                                 .arg(way.bandBytes);
        surface->setSharedMemory(way.shared);
        surface->setBandBytes(way.bandBytes);
        salt += 1000;
        QVERIFY(surface->present(QRect(QPoint(0, 0), place.size()), paint));
        QCOMPARE(surface->usesSharedMemory(), way.shared);
        const QImage before = numbered(QImage(place.size(), QImage::Format_RGB32), salt);
        salt += 1000;
        painted.clear();
        columns = QRect();
        QVERIFY(surface->present(part, paint));
        std::vector<int> rows(size_t(part.height()));
        std::iota(rows.begin(), rows.end(), part.top());
        QVERIFY2(painted == rows, qPrintable(name));
        QCOMPARE(columns, QRect(part.left(), 0, part.width(), 1));
        QImage want = before;
        const QImage after = numbered(QImage(place.size(), QImage::Format_RGB32), salt);
        for (int y = part.top(); y <= part.bottom(); ++y)
            std::memcpy(want.scanLine(y) + part.left() * 4,
                        after.constScanLine(y) + part.left() * 4, size_t(part.width()) * 4);
        QImage seen(place.size(), QImage::Format_RGB32);
        QTRY_VERIFY2(m_shm->grab(place, seen) && seen == want, qPrintable(name));
    }
}

// Moving pixels within the window: the moved area shows what was there before, moved; the
// rest what the painter paints. Where another window covers what was to be moved, the
// server has nothing to move, and the painter paints that part too.
void X11ScreenSourceCheck::viewSurfaceMovesPixels() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    SurfaceWindow window;
    std::unique_ptr<X11ViewSurface> surface = X11ViewSurface::create(&window);
    if (!surface)
        QSKIP("no surface on this server");
    prepareForViewSurface(&window);
    const QRect place(30, 40, 64, 48);
    window.setGeometry(place);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Worth it for views of a size; here, for any.
    const auto never = [](uchar*, qsizetype, const QRect&) { QFAIL("painted"); };
    QVERIFY(!surface->scroll(QRect(0, 0, 64, 40), QPoint(0, 8), QRect(0, 0, 64, 8), never));
    surface->setMinMovedPixels(1);
    // Nor to the right within the same rows.
    QVERIFY(!surface->scroll(QRect(0, 0, 60, 48), QPoint(4, 0), QRect(0, 0, 4, 48), never));

    uint32_t salt = 0;
    QRegion painted;
    const ViewSurface::RowPainter paint = [&](uchar* bits, qsizetype bpl, const QRect& area) {
        painted += area;
        for (int y = 0; y < area.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(bits + y * bpl);
            for (int x = 0; x < area.width(); ++x)
                row[x] = numberedPixel(area.left() + x, area.top() + y, salt);
        }
    };
    const QRect bounds(QPoint(0, 0), place.size());
    // Pixels from the picture painted with `was`, moved by `delta` where `moved` says so.
    const auto expected = [&](uint32_t was, QPoint delta, const QRegion& moved) {
        QImage want = numbered(QImage(place.size(), QImage::Format_RGB32), salt);
        const QImage before = numbered(QImage(place.size(), QImage::Format_RGB32), was);
        for (const QRect& r : moved)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    want.setPixel(x, y, before.pixel(QPoint(x, y) - delta));
        return want;
    };

    struct Move {
        QRect area;
        QPoint delta;
    };
    for (const Move move :
         {Move{QRect(0, 0, 54, 46), QPoint(10, 2)}, Move{QRect(3, 4, 58, 40), QPoint(-3, 4)},
          Move{QRect(0, 7, 64, 41), QPoint(0, -7)}}) {
        QVERIFY(surface->present(bounds, paint));
        const uint32_t was = salt;
        salt += 1000;
        painted = QRegion();
        const QRect to = move.area.translated(move.delta);
        const QRegion rest = QRegion(bounds) - to;
        QVERIFY(surface->scroll(move.area, move.delta, rest, paint));
        QCOMPARE(painted, rest);
        const QImage want = expected(was, move.delta, to);
        QImage seen(place.size(), QImage::Format_RGB32);
        QTRY_VERIFY2(
            m_shm->grab(place, seen) && seen == want,
            qPrintable(QStringLiteral("by %1, %2").arg(move.delta.x()).arg(move.delta.y())));
    }

    // Another program's window over the left 16 columns: moved right by 10 (and down by
    // 3), the columns 16 .. 25 would come from under it.
    OtherClient other;
    const uint32_t cover = xcb_generate_id(other.c);
    const uint32_t values[] = {0x123456, 1};
    xcb_create_window(other.c, XCB_COPY_FROM_PARENT, cover, other.root, int16_t(place.x()),
                      int16_t(place.y()), 16, uint16_t(place.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(other.c, cover);
    std::free(xcb_get_input_focus_reply(other.c, xcb_get_input_focus(other.c), nullptr));
    QVERIFY(surface->present(bounds, paint));
    const uint32_t was = salt;
    salt += 1000;
    painted = QRegion();
    const QRect area(0, 0, 54, 45);
    const QPoint delta(10, 3);
    const QRegion rest = QRegion(bounds) - area.translated(delta);
    QVERIFY(surface->scroll(area, delta, rest, paint));
    QVERIFY(painted.contains(QRect(16, 3, 10, 45)));
    const QImage want = expected(was, delta, QRect(26, 3, 38, 45));
    const QRect visible(16, 0, 48, 48);
    QImage seen(visible.size(), QImage::Format_RGB32);
    QTRY_VERIFY(m_shm->grab(visible.translated(place.topLeft()), seen) &&
                seen == want.copy(visible));
}

// A window shown while sampling puts its first view up once, at the pass its first paint
// asks for: never more than a whole view for each paint the window system asks for, and
// never first what it showed before (drawn here at another size, before the show).
void X11ScreenSourceCheck::shownViewGoesUpOnce() {
    if (m_expectRefused)
        QSKIP("the X11 source refuses this server");
    Zoom zoom(nullptr, m_shm.get());
    auto* surface = dynamic_cast<X11ViewSurface*>(zoom.picZoom()->client()->surface());
    if (surface == nullptr)
        QSKIP("no surface on this server");
    // Moves what it can, as it does on a large view.
    surface->setMinMovedPixels(1);
    MemoryPropertyBag none;
    zoom.ReadProperties(none); // samples from here on
    zoom.setBorderStyle(0);
    zoom.setShowBars(0);
    zoom.setFactor(2);
    // No tick of the timer comes in between.
    zoom.tmrZoom()->setInterval(3600 * 1000);
    movePointer(QPoint(60, 50));
    zoom.Redraw();
    const quint64 presented = zoom.framesPresented();

    test::EventCounter counter(QEvent::Paint);
    ZoomArea* view = zoom.picZoom()->client();
    view->installEventFilter(&counter);
    const quint64 rows = surface->rowsPut();
    zoom.setGeometry(QRect(m_screen.center() - QPoint(80, 60), QSize(160, 120)));
    zoom.show();
    QVERIFY(QTest::qWaitForWindowExposed(&zoom));
    QTRY_COMPARE(zoom.framesPresented(), presented + 1);
    QTest::qWait(100); // any paint still on its way
    QCOMPARE(zoom.framesPresented(), presented + 1);
    QVERIFY(counter.count >= 1);
    QVERIFY(surface->rowsPut() - rows >= quint64(view->height()));
    QVERIFY2(surface->rowsPut() - rows <= quint64(counter.count) * quint64(view->height()),
             qPrintable(QStringLiteral("%1 rows put for %2 paints of %3 rows")
                            .arg(surface->rowsPut() - rows)
                            .arg(counter.count)
                            .arg(view->height())));

    // What is on the screen is the picture around the pointer, every pixel.
    const auto wrongPixel = [&](QPoint pointer) -> QString {
        const QRect place(view->mapToGlobal(QPoint(0, 0)), view->size());
        QImage seen(place.size(), QImage::Format_RGB32);
        if (!m_shm->grab(place, seen))
            return QStringLiteral("no grab");
        const QPoint origin = pointer - QPoint(view->width() / 4, view->height() / 4);
        for (int y = 0; y < seen.height(); ++y)
            for (int x = 0; x < seen.width(); ++x)
                if (seen.pixel(x, y) != patternAt(origin.x() + x / 2, origin.y() + y / 2))
                    return QStringLiteral("view pixel (%1, %2)").arg(x).arg(y);
        return {};
    };
    QCOMPARE(wrongPixel(QPoint(60, 50)), QString());

    // Shown again after a hide, with the pointer a few pixels on: what the view showed is
    // gone from the screen, so nothing of it can be moved into place.
    zoom.hide();
    QTest::qWait(50);
    movePointer(QPoint(64, 53));
    counter.count = 0;
    const quint64 rowsBefore = surface->rowsPut();
    zoom.show();
    QVERIFY(QTest::qWaitForWindowExposed(&zoom));
    QTRY_COMPARE(zoom.framesPresented(), presented + 2);
    QTest::qWait(100);
    QVERIFY(surface->rowsPut() - rowsBefore >= quint64(view->height()));
    QVERIFY(surface->rowsPut() - rowsBefore <= quint64(counter.count) * quint64(view->height()));
    QCOMPARE(wrongPixel(QPoint(64, 53)), QString());
}

QTEST_MAIN(X11ScreenSourceCheck)
#include "x11screensource_check.moc"
