// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The magnifier control: its properties, persistence, refresh timer and sampled view.
#include "common/colors.h"
#include "magnifier/propertybag.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "support/pattern.h"
#include "support/zoomfixture.h"

#include <QDialog>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ocula;
using ocula::test::ZoomFixture;

class TestZoom : public QObject {
    Q_OBJECT
private slots:
    void newInstanceDefaults();
    void savingDefaultsStoresNothingAndRoundTrips();
    void savingAndLoadingKeepsEveryValue();
    void loadingTakesValuesUnchecked();
    void loadingStartsTimerOnlyWhenFollowingForReal();
    void factorClamps_data();
    void factorClamps();
    void stepRaisedToOne_data();
    void stepRaisedToOne();
    void currentRangeCheck_data();
    void currentRangeCheck();
    void currentRedrawsOnlyWhenNotFollowing();
    void timerFollowsLetsAndMode();
    void sampledView_data();
    void sampledView();
    void lentPixelsMakeAnOpaqueView();
    void viewPaintedInBands_data();
    void viewPaintedInBands();
    void centreBlockPosition();
    void storedFactorBelowOneStillDraws();
    void hiddenViewDrawsNothing();
    void shownViewDrawsWithoutWaitingForTheTimer();
    void redrawReadsCursorOnlyWhileFollowing();
    void lockedViewKeepsMarkersOnTheirPixels();
    void viewMouseEventsAreForwardedWithBorderOffset();
    void cursorOverViewBlanksAndLeavingRestarts_data();
    void cursorOverViewBlanksAndLeavingRestarts();
    void sourceProblemsAreShownOverTheView();
    void noMouseMoveWhileLockedOrFixed();
    void modalDialogTakesTheCaptureBack();
    void changeNoticesNameTheProperty();
    void unchangedTickPresentsNothing();
    void unchangedTickAtTheDesktopEdge();
    void unchangedTickSkipsTheReadWhenTheSourceKnows();
    void pausedSamplingStopsTheSourceListening();
    void stillScreenRestsAndWakesOnChange();
    void restEndsWhenSamplingStops();
    void sourceThatCannotWakeKeepsFullRate();
    void viewMovedOverAStillPicture_data();
    void viewMovedOverAStillPicture();
    void drawingBeforeAMoveIsShown();
};

void TestZoom::newInstanceDefaults() {
    Zoom zoom;
    QCOMPARE(zoom.Factor(), int16_t(1));
    QCOMPARE(zoom.Step(), int16_t(1));
    QCOMPARE(zoom.ShowBars(), 3);
    QVERIFY(zoom.FollowMouse());
    QVERIFY(zoom.ShowMarkers());
    QVERIFY(!zoom.HasGrid());
    QVERIFY(!zoom.Locked());
    QCOMPARE(uint32_t(zoom.ClrGridA()), 0x8000000Fu);
    QCOMPARE(uint32_t(zoom.ClrGridB()), 0x80000014u);
    QCOMPARE(uint32_t(zoom.ClrDivs()), 0x80000014u);
    QCOMPARE(uint32_t(zoom.ClrMarkersL()), 0x8000000Du);
    QCOMPARE(uint32_t(zoom.ClrMarkersT()), 0x8000000Du);
    QCOMPARE(zoom.ArrowColor(), 0);
    QCOMPARE(zoom.CurrentX(), 0);
    QCOMPARE(zoom.CurrentY(), 0);
    QCOMPARE(zoom.BorderStyle(), 1);
    QVERIFY(zoom.Enabled());
    QVERIFY(!zoom.tmrZoom()->isActive());
    QCOMPARE(zoom.tmrZoom()->interval(), 50);
    QVERIFY(!zoom.markersLeftOn());
    QVERIFY(!zoom.markersTopOn());
}

void TestZoom::savingDefaultsStoresNothingAndRoundTrips() {
    Zoom zoom;
    MemoryPropertyBag bag;
    zoom.WriteProperties(bag);
    QCOMPARE(bag.size(), 0);
    Zoom loaded;
    loaded.ReadProperties(bag);
    QCOMPARE(loaded.Factor(), int16_t(1));
    QCOMPARE(loaded.ShowBars(), 3);
    QCOMPARE(uint32_t(loaded.ClrGridA()), 0x8000000Fu);
    QVERIFY(loaded.FollowMouse());
    QVERIFY(loaded.Enabled());
    QCOMPARE(loaded.BorderStyle(), 1);
}

void TestZoom::savingAndLoadingKeepsEveryValue() {
    Zoom zoom;
    zoom.setUserMode(false);
    zoom.setBorderStyle(0);
    zoom.setEnabled(false);
    zoom.setClrMarkersL(0x0000FF);
    zoom.setClrMarkersT(0x00FF00);
    zoom.setClrGridA(0xFF0000);
    zoom.setClrGridB(0x123456);
    zoom.setClrDivs(0x654321);
    zoom.setArrowColor(2);
    zoom.setFactor(7);
    zoom.setStep(5);
    zoom.setHasGrid(true);
    zoom.setLocked(true);
    zoom.setFollowMouse(false);
    zoom.setShowMarkers(false);
    zoom.setShowBars(1);
    MemoryPropertyBag bag;
    zoom.WriteProperties(bag);
    QCOMPARE(bag.size(), 15);
    QVERIFY(!zoom.tmrZoom()->isActive()); // saving stops the refresh

    Zoom loaded;
    loaded.setUserMode(false);
    loaded.ReadProperties(bag);
    QCOMPARE(loaded.BorderStyle(), 0);
    QVERIFY(!loaded.Enabled());
    QCOMPARE(loaded.ClrMarkersL(), 0x0000FF);
    QCOMPARE(loaded.ClrMarkersT(), 0x00FF00);
    QCOMPARE(loaded.ClrGridA(), 0xFF0000);
    QCOMPARE(loaded.ClrGridB(), 0x123456);
    QCOMPARE(loaded.ClrDivs(), 0x654321);
    QCOMPARE(loaded.ArrowColor(), 2);
    QCOMPARE(loaded.Factor(), int16_t(7));
    QCOMPARE(loaded.Step(), int16_t(5));
    QVERIFY(loaded.HasGrid());
    QVERIFY(loaded.Locked());
    QVERIFY(!loaded.FollowMouse());
    QVERIFY(!loaded.ShowMarkers());
    QCOMPARE(loaded.ShowBars(), 1);
    // Markers off: neither bar's markers are to be shown.
    QVERIFY(!loaded.markersLeftOn());
    QVERIFY(!loaded.markersTopOn());
}

void TestZoom::loadingTakesValuesUnchecked() {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Factor"), 0);
    bag.set(QStringLiteral("Step"), -3);
    bag.set(QStringLiteral("ShowBars"), 2);
    Zoom zoom;
    zoom.ReadProperties(bag);
    QCOMPARE(zoom.Factor(), int16_t(0));
    QCOMPARE(zoom.Step(), int16_t(-3));
    QVERIFY(zoom.markersTopOn());
    QVERIFY(!zoom.markersLeftOn());
}

void TestZoom::loadingStartsTimerOnlyWhenFollowingForReal() {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Locked"), true);
    {
        Zoom zoom;
        zoom.ReadProperties(bag); // following and locked: loading ignores the lock
        QVERIFY(zoom.tmrZoom()->isActive());
    }
    {
        Zoom zoom;
        zoom.setUserMode(false);
        zoom.ReadProperties(bag);
        QVERIFY(!zoom.tmrZoom()->isActive());
    }
    bag.set(QStringLiteral("FollowMouse"), false);
    Zoom zoom;
    zoom.ReadProperties(bag);
    QVERIFY(!zoom.tmrZoom()->isActive());
}

void TestZoom::factorClamps_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("negative") << -5 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("seven") << 7 << 7;
    QTest::newRow("hundred") << 100 << 100;
    QTest::newRow("101") << 101 << 100;
    QTest::newRow("short max") << 32767 << 100;
}

void TestZoom::factorClamps() {
    QFETCH(int, value);
    QFETCH(int, expected);
    ZoomFixture f;
    f.zoom->setFactor(int16_t(value));
    QCOMPARE(int(f.zoom->Factor()), expected);
    QCOMPARE(f.zoom->windowTitle(), QStringLiteral("Ocula ( x %1 )").arg(expected));
}

void TestZoom::stepRaisedToOne_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("negative") << -1 << 1;
    QTest::newRow("500") << 500 << 500;
}

void TestZoom::stepRaisedToOne() {
    QFETCH(int, value);
    QFETCH(int, expected);
    Zoom zoom;
    zoom.setStep(int16_t(value));
    QCOMPARE(int(zoom.Step()), expected);
}

void TestZoom::currentRangeCheck_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("zero") << 0 << true;
    QTest::newRow("inside") << 500 << true;
    QTest::newRow("screen width") << 1024 << true;
    QTest::newRow("past width") << 1025 << false;
    QTest::newRow("negative") << -1 << false;
}

void TestZoom::currentRangeCheck() {
    QFETCH(int, value);
    QFETCH(bool, accepted);
    ZoomFixture f(QSize(1024, 768));
    f.setViewSize(QSize(40, 40));
    f.zoom->setFollowMouse(false);
    f.zoom->setCurrentX(10);
    QSignalSpy notices(f.zoom.get(), &Zoom::propertyChanged);
    const int grabs = f.source.grabCount();
    f.zoom->setCurrentX(value);
    QCOMPARE(f.zoom->CurrentX(), accepted ? value : 10);
    QCOMPARE(notices.count(), accepted ? 1 : 0);
    QCOMPARE(f.source.grabCount() > grabs, accepted);
}

void TestZoom::currentRedrawsOnlyWhenNotFollowing() {
    ZoomFixture f;
    f.setViewSize(QSize(40, 40));
    int grabs = f.source.grabCount();
    f.zoom->setCurrentY(300); // following: the next tick overwrites it anyway
    QCOMPARE(f.zoom->CurrentY(), 300);
    QCOMPARE(f.source.grabCount(), grabs);
    f.zoom->setLocked(true);
    grabs = f.source.grabCount();
    f.zoom->setCurrentY(301);
    QCOMPARE(f.source.grabCount(), grabs + 1);
}

void TestZoom::timerFollowsLetsAndMode() {
    Zoom zoom;
    QTimer* t = zoom.tmrZoom();
    zoom.setFollowMouse(false);
    QVERIFY(!t->isActive());
    zoom.setLocked(false); // starts even while not following
    QVERIFY(t->isActive());
    zoom.setFollowMouse(false);
    QVERIFY(!t->isActive());
    zoom.setFollowMouse(true);
    QVERIFY(t->isActive());
    zoom.setLocked(true);
    QVERIFY(!t->isActive());

    zoom.setUserMode(false); // in a design environment FollowMouse leaves the timer alone
    zoom.setFollowMouse(true);
    QVERIFY(!t->isActive());
    zoom.setLocked(false);
    QVERIFY(t->isActive());
    zoom.setFollowMouse(false);
    QVERIFY(t->isActive());
}

void TestZoom::sampledView_data() {
    QTest::addColumn<QSize>("view");
    QTest::addColumn<int>("factor");
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<QPoint>("origin"); // expected top-left source pixel
    QTest::newRow("400x300 x4") << QSize(400, 300) << 4 << QPoint(500, 400) << QPoint(450, 363);
    QTest::newRow("partial last column")
        << QSize(403, 300) << 4 << QPoint(500, 400) << QPoint(450, 363);
    QTest::newRow("factor 1 is a copy")
        << QSize(300, 200) << 1 << QPoint(640, 512) << QPoint(490, 412);
    QTest::newRow("top-left corner") << QSize(200, 200) << 2 << QPoint(0, 0) << QPoint(-50, -50);
    QTest::newRow("bottom-right corner")
        << QSize(200, 150) << 3 << QPoint(1279, 1023) << QPoint(1246, 998);
    QTest::newRow("factor 7, odd view")
        << QSize(101, 77) << 7 << QPoint(300, 200) << QPoint(293, 195);
    QTest::newRow("factor 100") << QSize(250, 120) << 100 << QPoint(10, 10) << QPoint(9, 10);
    QTest::newRow("wholly off screen")
        << QSize(40, 40) << 2 << QPoint(1280, 1024) << QPoint(1270, 1014);
}

void TestZoom::sampledView() {
    QFETCH(QSize, view);
    QFETCH(int, factor);
    QFETCH(QPoint, centre);
    QFETCH(QPoint, origin);
    // Magnified from pixels the source lends, and from a copy of them.
    for (const bool lends : {true, false}) {
        ZoomFixture f;
        f.source.setLends(lends);
        f.setViewSize(view);
        QCOMPARE(f.viewSize(), view);
        f.zoom->setFollowMouse(false);
        f.zoom->setFactor(int16_t(factor));
        f.zoom->setCurrentX(centre.x());
        f.zoom->setCurrentY(centre.y());
        f.zoom->Redraw();
        QCOMPARE(f.zoom->viewImage().size(), view);
        QCOMPARE(f.firstWrongPixel(origin.x(), origin.y(), factor), QPoint(-1, -1));
    }
}

// Lent pixels whose top byte means nothing still give an opaque view where Qt paints it:
// magnified from them, and painted again from the copy kept for a comparison.
void TestZoom::lentPixelsMakeAnOpaqueView() {
    ZoomFixture f;
    f.source.setLendsOpaque(false);
    f.setViewSize(QSize(60, 42));
    f.zoom->setFollowMouse(false);
    f.zoom->setFactor(3);
    f.zoom->setCurrentX(300);
    f.zoom->setCurrentY(200);
    f.zoom->Redraw();
    const auto firstTransparent = [&] {
        const QImage& img = f.zoom->viewImage();
        for (int y = 0; y < img.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if (qAlpha(row[x]) != 0xff)
                    return QPoint(x, y);
        }
        return QPoint(-1, -1);
    };
    QCOMPARE(firstTransparent(), QPoint(-1, -1));
    QCOMPARE(f.firstWrongPixel(300 - 10, 200 - 7, 3), QPoint(-1, -1));
    // The same picture again: the view goes on from the kept copy, which a colour change
    // of the grid paints from.
    const quint64 drawn = f.zoom->framesPresented();
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn);
    f.zoom->setClrGridA(0x0000ff);
    QCOMPARE(firstTransparent(), QPoint(-1, -1));
    QCOMPARE(f.zoom->viewImage().pixel(1, 1), f.expectedViewPixel(1, 1, 300 - 10, 200 - 7, 3));
}

void TestZoom::viewPaintedInBands_data() {
    QTest::addColumn<int>("factor");
    QTest::addColumn<bool>("grid");
    for (int factor : {1, 2, 3, 4, 5, 9}) {
        QTest::addRow("x%d", factor) << factor << false;
        if (factor >= 3)
            QTest::addRow("x%d grid", factor) << factor << true;
    }
}

// Presented directly, the view is painted a band of rows at a time, and a band may begin
// anywhere in a block of rows: every band height gives the same, right picture, also
// with a grid drawn over it by a colour change.
void TestZoom::viewPaintedInBands() {
    QFETCH(int, factor);
    QFETCH(bool, grid);
    ZoomFixture f;
    const QSize size(97, 61);
    f.setViewSize(size);
    f.zoom->setFollowMouse(false);
    f.zoom->setFactor(int16_t(factor));
    f.zoom->setHasGrid(grid);
    f.zoom->setClrGridA(0x0000ff);
    f.zoom->setClrGridB(0x00ff00);
    f.zoom->setCurrentX(300);
    f.zoom->setCurrentY(200);
    f.zoom->Redraw();
    const int srcLeft = 300 - size.width() / (2 * factor);
    const int srcTop = 200 - size.height() / (2 * factor);
    const QRgb lineColor[2] = {qRgb(0xff, 0, 0), qRgb(0, 0xff, 0)};
    const auto firstWrong = [&](bool lines) {
        const QImage& img = f.zoom->viewImage();
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const bool line = lines && (x % factor == 0 || y % factor == 0);
                const QRgb want = line ? lineColor[(x + y) & 1]
                                       : f.expectedViewPixel(x, y, srcLeft, srcTop, factor);
                if ((img.pixel(x, y) | 0xff000000u) != (want | 0xff000000u))
                    return QPoint(x, y);
            }
        return QPoint(-1, -1);
    };
    ZoomArea* view = f.zoom->picZoom()->client();
    for (const int rows : {1, 2, 3, 4, 7, 60}) {
        view->setBandRows(rows);
        view->contentChanged();
        QVERIFY2(firstWrong(grid) == QPoint(-1, -1), qPrintable(QString::number(rows)));
    }
    if (factor < 3)
        return;
    // The view frozen, a colour change draws the grid over the picture, red this time.
    f.zoom->setLocked(true);
    f.zoom->setClrGridA(0x0000ff);
    for (const int rows : {1, 2, 3, 5, 0}) {
        view->setBandRows(rows);
        view->contentChanged();
        QVERIFY2(firstWrong(true) == QPoint(-1, -1), qPrintable(QString::number(rows)));
    }
}

void TestZoom::centreBlockPosition() {
    ZoomFixture f;
    f.setViewSize(QSize(400, 300));
    f.zoom->setFollowMouse(false);
    f.zoom->setFactor(4);
    f.zoom->setCurrentX(500);
    f.zoom->setCurrentY(400);
    const QImage& img = f.zoom->viewImage();
    const QRgb centre = test::patternColor(500, 400);
    for (int y = 147; y <= 152; ++y)
        for (int x = 199; x <= 204; ++x) {
            const bool inBlock = x >= 200 && x <= 203 && y >= 148 && y <= 151;
            QCOMPARE(img.pixel(x, y) == centre, inBlock);
        }
}

void TestZoom::storedFactorBelowOneStillDraws() {
    ZoomFixture f;
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Factor"), -4);
    bag.set(QStringLiteral("ShowBars"), 0);
    bag.set(QStringLiteral("FollowMouse"), false);
    bag.set(QStringLiteral("HasGrid"), true);
    f.zoom->ReadProperties(bag);
    f.setViewSize(QSize(60, 40));
    f.zoom->Redraw();
    // Treated as 1 for the geometry: a plain copy around the centre (0, 0).
    QCOMPARE(f.firstWrongPixel(-30, -20, 1), QPoint(-1, -1));
    QCOMPARE(f.zoom->SizeX(), f.zoom->picTop()->width() - 5);
}

void TestZoom::hiddenViewDrawsNothing() {
    ZoomFixture f;
    f.setViewSize(QSize(40, 40));
    f.source.setCursorPos(QPoint(77, 88));
    f.zoom->picZoom()->hide();
    const int grabs = f.source.grabCount();
    f.zoom->Redraw();
    QCOMPARE(f.source.grabCount(), grabs);
    QCOMPARE(f.zoom->CurrentX(), 0);
}

// A window just shown gets its first view at once, not a refresh period later; a frozen
// one draws nothing more for being shown.
void TestZoom::shownViewDrawsWithoutWaitingForTheTimer() {
    for (const bool locked : {false, true}) {
        ZoomFixture f;
        MemoryPropertyBag none;
        f.zoom->ReadProperties(none); // starts sampling
        f.setViewSize(QSize(40, 40));
        f.zoom->setFactor(2);
        f.source.setCursorPos(QPoint(300, 200));
        f.zoom->setLocked(locked);
        // No tick of the timer can come in between.
        f.zoom->tmrZoom()->setInterval(3600 * 1000);
        const quint64 drawn = f.zoom->framesPresented();
        f.zoom->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.zoom.get()));
        if (locked) {
            QTest::qWait(50);
            QCOMPARE(f.zoom->framesPresented(), drawn);
            continue;
        }
        QTRY_COMPARE(f.zoom->framesPresented(), drawn + 1);
        QCOMPARE(f.firstWrongPixel(290, 190, 2), QPoint(-1, -1));
        // Once only: painting the view again asks for nothing more.
        f.zoom->picZoom()->client()->repaint();
        QTest::qWait(50);
        QCOMPARE(f.zoom->framesPresented(), drawn + 1);
    }
}

void TestZoom::redrawReadsCursorOnlyWhileFollowing() {
    ZoomFixture f;
    f.setViewSize(QSize(40, 40));
    f.zoom->setFactor(2);
    f.source.setCursorPos(QPoint(300, 200));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->CurrentX(), 300);
    QCOMPARE(f.firstWrongPixel(290, 190, 2), QPoint(-1, -1));
    f.zoom->setLocked(true);
    f.source.setCursorPos(QPoint(600, 500));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->CurrentX(), 300);
    QCOMPARE(f.firstWrongPixel(290, 190, 2), QPoint(-1, -1));
}

void TestZoom::lockedViewKeepsMarkersOnTheirPixels() {
    ZoomFixture f;
    f.zoom->setBorderStyle(0);
    f.zoom->show();
    f.zoom->resize(434, 334); // view inner 400 x 300 beside both bars
    f.zoom->setFollowMouse(false);
    f.zoom->setFactor(4);
    f.zoom->setCurrentX(500);
    f.zoom->setCurrentY(400);
    QCOMPARE(f.viewSize(), QSize(400, 300));
    // Put top markers on columns 30 and 60 of the view.
    f.zoom->picTop_MouseUp(1, 2, float(30 * 4 + 2), 10);
    f.zoom->picTop_MouseUp(2, 2, float(60 * 4 + 2), 10);
    QCOMPARE(f.zoom->markerPosT(0), int16_t(30));
    QCOMPARE(f.zoom->markerPosT(1), int16_t(60));

    f.zoom->setLocked(true);
    f.zoom->setCurrentX(520); // the source moves 20 columns right
    QCOMPARE(f.zoom->markerPosT(0), int16_t(10));
    QCOMPARE(f.zoom->markerPosT(1), int16_t(40));
    f.zoom->setCurrentX(535); // marker 0 would fall off the left edge
    QCOMPARE(f.zoom->markerPosT(0), int16_t(0));
    QCOMPARE(f.zoom->markerPosT(1), int16_t(25));

    // Not locked: positions stay put in the view whatever the source does.
    f.zoom->setLocked(false);
    f.zoom->setFollowMouse(false);
    f.zoom->setCurrentX(600);
    QCOMPARE(f.zoom->markerPosT(1), int16_t(25));
}

void TestZoom::viewMouseEventsAreForwardedWithBorderOffset() {
    ZoomFixture f;
    f.zoom->show();
    f.zoom->resize(200, 150); // border 1, both bars: the view sits at (30, 30) inside
    QSignalSpy down(f.zoom.get(), &Zoom::MouseDown);
    QSignalSpy up(f.zoom.get(), &Zoom::MouseUp);
    QSignalSpy click(f.zoom.get(), &Zoom::Click);
    QWidget* client = f.zoom->picZoom()->client();
    QTest::mousePress(client, Qt::RightButton, Qt::ShiftModifier, QPoint(10, 20));
    QTest::mouseRelease(client, Qt::RightButton, Qt::ShiftModifier, QPoint(10, 20));
    QCOMPARE(down.count(), 1);
    QCOMPARE(down.at(0).at(0).value<short>(), short(2));
    QCOMPARE(down.at(0).at(1).value<short>(), short(1));
    QCOMPARE(down.at(0).at(2).toFloat(), 42.0f);
    QCOMPARE(down.at(0).at(3).toFloat(), 52.0f);
    QCOMPARE(up.count(), 1);
    QCOMPARE(up.at(0).at(2).toFloat(), 42.0f);
    QCOMPARE(click.count(), 1);
}

void TestZoom::cursorOverViewBlanksAndLeavingRestarts_data() {
    QTest::addColumn<bool>("captureSpansDesktop");
    QTest::newRow("X11: the capture hears the pointer leave") << true;
    QTest::newRow("Wayland: the view's own leave") << false;
}

void TestZoom::cursorOverViewBlanksAndLeavingRestarts() {
    QFETCH(bool, captureSpansDesktop);
    ZoomFixture f;
    f.source.setCaptureSpansDesktop(captureSpansDesktop);
    f.setViewSize(QSize(60, 60));
    f.zoom->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.zoom.get()));
    f.zoom->setFactor(3);
    f.zoom->setLocked(false);
    f.source.setCursorPos(QPoint(100, 100));
    f.zoom->Redraw();
    QWidget* client = f.zoom->picZoom()->client();
    QSignalSpy moves(f.zoom.get(), &Zoom::MouseMove);

    QTest::mouseMove(client, QPoint(30, 30));
    QTRY_COMPARE(moves.count(), 1);
    QVERIFY(!f.zoom->tmrZoom()->isActive());
    QCOMPARE(QWidget::mouseGrabber() == client, captureSpansDesktop);
    const QRgb background = f.zoom->picZoom()->client()->background().rgb();
    const QImage& img = f.zoom->viewImage();
    for (QPoint p : {QPoint(0, 0), QPoint(30, 30), QPoint(59, 59)})
        QCOMPARE(img.pixel(p), background);

    if (captureSpansDesktop) {
        // X = 0 counts as outside: the capture goes and the refresh starts again.
        QTest::mouseMove(client, QPoint(0, 30));
        QTRY_COMPARE(moves.count(), 2);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(client, &leave);
    }
    QVERIFY(f.zoom->tmrZoom()->isActive());
    QVERIFY(QWidget::mouseGrabber() != client);
    f.zoom->Redraw();
    QCOMPARE(f.firstWrongPixel(90, 90, 3), QPoint(-1, -1));
}

void TestZoom::sourceProblemsAreShownOverTheView() {
    ZoomFixture f;
    f.setViewSize(QSize(200, 120));
    f.zoom->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.zoom.get()));
    QWidget* client = f.zoom->picZoom()->client();
    auto shown = [&]() -> QString {
        auto* label = client->findChild<QLabel*>(QStringLiteral("problem"));
        return label != nullptr && label->isVisible() && label->geometry() == client->rect()
                   ? label->text()
                   : QStringLiteral("(none)");
    };
    QCOMPARE(shown(), QStringLiteral("(none)"));
    f.source.setProblems(QStringLiteral("no screen"), QStringLiteral("no pointer"));
    QCOMPARE(shown(), QStringLiteral("no screen"));
    // Without the pointer a fixed or frozen view still works: the word is for following.
    f.source.setProblems(QString(), QStringLiteral("no pointer"));
    QCOMPARE(shown(), QStringLiteral("no pointer"));
    f.zoom->setFollowMouse(false);
    QCOMPARE(shown(), QStringLiteral("(none)"));
    f.zoom->setFollowMouse(true);
    f.zoom->setLocked(true);
    QCOMPARE(shown(), QStringLiteral("(none)"));
    f.zoom->setLocked(false);
    f.setViewSize(QSize(150, 90));
    QCOMPARE(shown(), QStringLiteral("no pointer"));
    f.source.setProblems(QString(), QString());
    QCOMPARE(shown(), QStringLiteral("(none)"));
}

void TestZoom::noMouseMoveWhileLockedOrFixed() {
    ZoomFixture f;
    f.setViewSize(QSize(60, 60));
    f.zoom->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.zoom.get()));
    QWidget* client = f.zoom->picZoom()->client();
    QSignalSpy moves(f.zoom.get(), &Zoom::MouseMove);
    f.zoom->setLocked(true);
    QTest::mouseMove(client, QPoint(20, 20));
    f.zoom->setLocked(false);
    f.zoom->setFollowMouse(false);
    QTest::mouseMove(client, QPoint(25, 25));
    QTest::qWait(20);
    QCOMPARE(moves.count(), 0);
    QVERIFY(QWidget::mouseGrabber() != client);
}

void TestZoom::modalDialogTakesTheCaptureBack() {
    ZoomFixture f;
    f.setViewSize(QSize(60, 60));
    QVERIFY(QTest::qWaitForWindowExposed(f.zoom.get()));
    f.zoom->setLocked(false);
    QWidget* client = f.zoom->picZoom()->client();
    QTest::mouseMove(client, QPoint(30, 30));
    QTRY_COMPARE(QWidget::mouseGrabber(), client);
    QVERIFY(!f.zoom->tmrZoom()->isActive());

    // A dialog opened over the window (from its popup menu) would otherwise never see
    // a click: the capture goes and the view samples again.
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    QTRY_VERIFY(QWidget::mouseGrabber() != client);
    QVERIFY(f.zoom->tmrZoom()->isActive());
}

void TestZoom::changeNoticesNameTheProperty() {
    Zoom zoom;
    QSignalSpy notices(&zoom, &Zoom::propertyChanged);
    zoom.setFactor(5);
    zoom.setHasGrid(true);
    zoom.setShowBars(7);
    zoom.setArrowColor(9);
    QCOMPARE(notices.count(), 4);
    QCOMPARE(notices.at(0).at(0).toString(), QStringLiteral("Factor"));
    QCOMPARE(notices.at(1).at(0).toString(), QStringLiteral("HasGrid"));
    QCOMPARE(notices.at(2).at(0).toString(), QStringLiteral("ShowBars"));
    QCOMPARE(notices.at(3).at(0).toString(), QStringLiteral("ArrowColor"));
    QCOMPARE(zoom.ShowBars(), 7);
    QCOMPARE(zoom.ArrowColor(), 9);
}

void TestZoom::unchangedTickPresentsNothing() {
    ZoomFixture f;
    f.setViewSize(QSize(90, 60));
    f.zoom->setFactor(3);
    f.zoom->setHasGrid(true);
    f.source.setCursorPos(QPoint(200, 150));
    f.zoom->Redraw();
    const quint64 drawn = f.zoom->framesPresented();
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn);

    // Anything that changes the picture draws again, and the result is right.
    f.source.desktop().setPixel(201, 151, qRgb(1, 2, 3));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn + 1);
    QCOMPARE(f.zoom->viewImage().pixel(15 * 3 + 1 + 3, 10 * 3 + 1 + 3), qRgb(1, 2, 3));
    f.source.desktop().setPixel(201, 151, test::patternColor(201, 151));
    f.zoom->setClrGridA(0x0000FF);
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn + 2);
    QCOMPARE(f.zoom->viewImage().pixel(0, 0), qRgb(255, 0, 0));
    f.source.setCursorPos(QPoint(201, 150));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn + 3);
    f.zoom->setHasGrid(false);
    QCOMPARE(f.zoom->framesPresented(), drawn + 4);
    QCOMPARE(f.firstWrongPixel(201 - 15, 150 - 10, 3), QPoint(-1, -1));
}

// Part of the source lies off the desktop: that part keeps the background across ticks
// that skip, and across ticks that redraw for a change in the part on the desktop.
void TestZoom::unchangedTickAtTheDesktopEdge() {
    ZoomFixture f;
    f.setViewSize(QSize(90, 60));
    f.zoom->setFactor(3);
    f.zoom->setHasGrid(false);
    f.source.setCursorPos(QPoint(2, 3)); // the source starts at (-13, -7)
    f.zoom->Redraw();
    QCOMPARE(f.firstWrongPixel(-13, -7, 3), QPoint(-1, -1));
    const quint64 drawn = f.zoom->framesPresented();
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn);

    f.source.desktop().setPixel(0, 0, qRgb(1, 2, 3));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn + 1);
    QCOMPARE(f.zoom->viewImage().pixel(13 * 3 + 2, 7 * 3 + 2), qRgb(1, 2, 3));
    f.source.desktop().setPixel(0, 0, test::patternColor(0, 0));
    f.zoom->Redraw();
    QCOMPARE(f.zoom->framesPresented(), drawn + 2);
    QCOMPARE(f.firstWrongPixel(-13, -7, 3), QPoint(-1, -1));
}

// A source that reports drawing is not read again until something is drawn or the
// rectangle changes; what the view then shows is right.
void TestZoom::unchangedTickSkipsTheReadWhenTheSourceKnows() {
    ZoomFixture f;
    f.setViewSize(QSize(90, 60));
    f.zoom->setFactor(3);
    f.zoom->setHasGrid(false);
    f.source.setReportsChanges(true);
    f.source.setCursorPos(QPoint(200, 150));
    f.zoom->Redraw();
    const int grabs = f.source.grabCount();
    const quint64 drawn = f.zoom->framesPresented();
    f.zoom->Redraw();
    f.zoom->Redraw();
    QCOMPARE(f.source.grabCount(), grabs);
    QCOMPARE(f.zoom->framesPresented(), drawn);

    f.source.desktop().setPixel(201, 151, qRgb(1, 2, 3));
    f.zoom->Redraw();
    QCOMPARE(f.source.grabCount(), grabs + 1);
    QCOMPARE(f.zoom->framesPresented(), drawn + 1);
    QCOMPARE(f.zoom->viewImage().pixel(16 * 3 + 1, 11 * 3 + 1), qRgb(1, 2, 3));
    f.source.desktop().setPixel(201, 151, test::patternColor(201, 151));
    f.zoom->Redraw();
    f.source.setCursorPos(QPoint(201, 150));
    f.zoom->Redraw();
    QCOMPARE(f.source.grabCount(), grabs + 3);
    QCOMPARE(f.firstWrongPixel(201 - 15, 150 - 10, 3), QPoint(-1, -1));
}

// Whenever the refresh timer stops (frozen, not following, pointer on the view), the
// source is told, so that nothing piles up for it; and told again when sampling resumes.
void TestZoom::pausedSamplingStopsTheSourceListening() {
    ZoomFixture f;
    f.setViewSize(QSize(90, 60));
    MemoryPropertyBag none;
    f.zoom->ReadProperties(none);
    QVERIFY(f.zoom->tmrZoom()->isActive());
    QVERIFY(f.source.listening());
    f.zoom->setLocked(true);
    QVERIFY(!f.source.listening());
    f.zoom->setLocked(false);
    QVERIFY(f.source.listening());
    f.zoom->setFollowMouse(false);
    QVERIFY(!f.source.listening());
    f.zoom->setFollowMouse(true);
    QVERIFY(f.source.listening());
    f.zoom->WriteProperties(none);
    QVERIFY(!f.zoom->tmrZoom()->isActive());
    QVERIFY(!f.source.listening());
}

namespace {
// A sampling view over a source that reports drawing, showing (200, 150) at factor 3.
struct SamplingFixture : ZoomFixture {
    SamplingFixture() {
        MemoryPropertyBag none;
        zoom->ReadProperties(none); // starts sampling
        setViewSize(QSize(90, 60));
        zoom->setFactor(3);
        zoom->setHasGrid(false);
        source.setReportsChanges(true);
        source.setCursorPos(QPoint(200, 150));
        zoom->Redraw();
    }
    // Runs passes by hand until the view rests; false if it does not within `passes`.
    bool restWithin(int passes) {
        for (int i = 0; i < passes && !zoom->isResting(); ++i)
            zoom->Redraw();
        return zoom->isResting();
    }
    bool shows(QPoint centre) const {
        return firstWrongPixel(centre.x() - 15, centre.y() - 10, 3) == QPoint(-1, -1);
    }
};
} // namespace

// Half a second of passes that find nothing new puts the view to rest: it samples four times a
// second and is woken at once by the pointer moving or by drawing on the screen.
void TestZoom::stillScreenRestsAndWakesOnChange() {
    SamplingFixture f;
    QVERIFY(f.zoom->tmrZoom()->isActive());
    QSignalSpy restSpy(f.zoom.get(), &Zoom::restingChanged);
    QVERIFY(!f.restWithin(9));
    QVERIFY(f.restWithin(1));
    QCOMPARE(restSpy.count(), 1);
    QCOMPARE(restSpy.at(0).at(0).toBool(), true);
    QVERIFY(f.zoom->tmrZoom()->isActive());
    QCOMPARE(f.zoom->tmrZoom()->interval(), 250);
    QVERIFY(f.source.waitingToWake());

    // The pointer moves: awake, at the full rate, showing the new place.
    const quint64 drawn = f.zoom->framesPresented();
    f.source.setCursorPos(QPoint(230, 170));
    QTRY_VERIFY(!f.zoom->isResting());
    QCOMPARE(f.zoom->tmrZoom()->interval(), 50);
    QVERIFY(f.zoom->framesPresented() > drawn);
    QVERIFY(f.shows(QPoint(230, 170)));
    QCOMPARE(restSpy.count(), 2);

    // Drawing under the still pointer wakes it too.
    QVERIFY(f.restWithin(10));
    f.source.desktop().setPixel(230, 170, qRgb(1, 2, 3));
    QTRY_VERIFY(!f.zoom->isResting());
    QCOMPARE(f.zoom->viewImage().pixel(15 * 3 + 1, 10 * 3 + 1), qRgb(1, 2, 3));

    // A warp comes unheard; the resting refresh still finds it, and the view wakes.
    f.source.desktop().setPixel(230, 170, test::patternColor(230, 170));
    QVERIFY(f.restWithin(11));
    f.source.warpCursor(QPoint(260, 190));
    QTRY_VERIFY_WITH_TIMEOUT(f.shows(QPoint(260, 190)), 3000);
    QVERIFY(!f.zoom->isResting());
    QVERIFY(!f.source.waitingToWake());
}

// Freezing, or a new source, ends the rest: nothing is left waiting to wake the view, and
// sampling resumes at the full rate.
void TestZoom::restEndsWhenSamplingStops() {
    SamplingFixture f;
    QVERIFY(f.restWithin(10));
    f.zoom->setLocked(true);
    QVERIFY(!f.zoom->isResting());
    QVERIFY(!f.source.waitingToWake());
    QVERIFY(!f.zoom->tmrZoom()->isActive());
    QCOMPARE(f.zoom->tmrZoom()->interval(), 50);
    f.source.setCursorPos(QPoint(210, 160));
    QTest::qWait(20);
    QVERIFY(f.shows(QPoint(200, 150))); // frozen: no wake redraws it
    f.zoom->setLocked(false);
    QVERIFY(f.zoom->tmrZoom()->isActive());
    QCOMPARE(f.zoom->tmrZoom()->interval(), 50);
    // The count of quiet passes starts afresh.
    f.zoom->Redraw();
    QVERIFY(!f.restWithin(9));
    QVERIFY(f.restWithin(1));

    ImageScreenSource other(std::as_const(f.source).desktop());
    f.zoom->setScreenSource(&other);
    QVERIFY(!f.zoom->isResting());
    QVERIFY(!f.source.waitingToWake());
    f.zoom->setScreenSource(&f.source);
}

// A source that cannot tell of changes leaves the view sampling at the full rate.
void TestZoom::sourceThatCannotWakeKeepsFullRate() {
    SamplingFixture f;
    f.source.setReportsChanges(false);
    QVERIFY(!f.restWithin(60));
    QCOMPARE(f.zoom->tmrZoom()->interval(), 50);
    QVERIFY(!f.source.waitingToWake());
}

void TestZoom::viewMovedOverAStillPicture_data() {
    QTest::addColumn<int>("factor");
    QTest::addColumn<bool>("grid");
    QTest::addColumn<int>("bandRows");
    QTest::newRow("x1") << 1 << false << 0;
    QTest::newRow("x2") << 2 << false << 0;
    QTest::newRow("x3, grid") << 3 << true << 0;
    QTest::newRow("x4, grid, bands of 5 rows") << 4 << true << 5;
    QTest::newRow("x5, bands of 3 rows") << 5 << false << 3;
}

// Over a picture that stays as it is, a moved view moves what it showed and paints only
// the rest: every frame is what drawing afresh gives (an odd step of the grid, the
// desktop's corners, a jump), and moves do happen.
void TestZoom::viewMovedOverAStillPicture() {
    QFETCH(int, factor);
    QFETCH(bool, grid);
    QFETCH(int, bandRows);
    const auto setUp = [&](ZoomFixture& f, bool reportsChanges) {
        f.setViewSize(QSize(93, 61)); // a multiple of no factor
        f.zoom->setFactor(int16_t(factor));
        f.zoom->setHasGrid(grid);
        f.zoom->picZoom()->client()->setBandRows(bandRows);
        f.source.setReportsChanges(reportsChanges);
    };
    ZoomFixture moving(QSize(400, 300));
    ZoomFixture fresh(QSize(400, 300)); // never knows the picture is still: draws afresh
    setUp(moving, true);
    setUp(fresh, false);
    const QPoint path[] = {{200, 150}, {201, 150}, {201, 151}, {199, 153}, {203, 146}, {205, 146},
                           {230, 170}, {260, 120}, {20, 15},   {18, 13},   {3, 2},     {1, 1},
                           {2, 4},     {399, 299}, {396, 297}, {398, 293}, {200, 150}, {202, 152}};
    for (const QPoint p : path) {
        moving.source.setCursorPos(p);
        fresh.source.setCursorPos(p);
        moving.zoom->Redraw();
        fresh.zoom->Redraw();
        QVERIFY2(moving.zoom->viewImage() == fresh.zoom->viewImage(),
                 qPrintable(QStringLiteral("at %1, %2").arg(p.x()).arg(p.y())));
    }
    QVERIFY(moving.zoom->framesMoved() > 0);
    QCOMPARE(fresh.zoom->framesMoved(), quint64(0));
}

// What is drawn on the screen between two reads is shown, not moved over from the frame
// before; once nothing is drawn any more, the view moves again.
void TestZoom::drawingBeforeAMoveIsShown() {
    SamplingFixture f;
    const quint64 moved = f.zoom->framesMoved();

    f.source.desktop().setPixel(201, 151, qRgb(1, 2, 3));
    f.source.setCursorPos(QPoint(202, 150));
    f.zoom->Redraw();
    // The view starts at (187, 140).
    QCOMPARE(f.zoom->viewImage().pixel((201 - 187) * 3 + 1, (151 - 140) * 3 + 1), qRgb(1, 2, 3));
    QCOMPARE(f.zoom->framesMoved(), moved);

    f.source.desktop().setPixel(201, 151, test::patternColor(201, 151));
    f.source.setCursorPos(QPoint(203, 151));
    f.zoom->Redraw();
    QVERIFY(f.shows(QPoint(203, 151)));
    QCOMPARE(f.zoom->framesMoved(), moved);

    f.source.setCursorPos(QPoint(201, 152));
    f.zoom->Redraw();
    QVERIFY(f.shows(QPoint(201, 152)));
    QCOMPARE(f.zoom->framesMoved(), moved + 1);
}

QTEST_MAIN(TestZoom)
#include "test_zoom.moc"
