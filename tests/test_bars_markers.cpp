// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The ruler bars, the markers on them, the grid over the view and the arrow colours.
#include "common/colors.h"
#include "magnifier/geometry.h"
#include "magnifier/propertybag.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "support/zoomfixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>

using namespace ocula;
using ocula::test::ZoomFixture;

namespace {

constexpr int16_t kCtrl = 2;
constexpr int16_t kShift = 1;
constexpr int16_t kLeftButton = 1;
constexpr int16_t kRightButton = 2;
constexpr int16_t kMiddleButton = 4;

constexpr int32_t kButtonShadow = int32_t(0x80000010u);

QRgb opaque(QRgb c) {
    return c | 0xFF000000u;
}

// A control without border, shown (so resizes reach it at once), not following the
// cursor, with the given bars switched on and the given factor.
void prepare(ZoomFixture& f, QSize size, int32_t showBars = 3, int16_t factor = 4) {
    f.zoom->setBorderStyle(0);
    f.zoom->setFollowMouse(false);
    f.zoom->show();
    f.zoom->resize(size);
    f.zoom->setShowBars(showBars);
    f.zoom->setFactor(factor);
}

QStringList visibleEntries(const QMenu* menu) {
    QStringList entries;
    for (const QAction* a : menu->actions())
        if (a->isVisible())
            entries << a->text();
    return entries;
}

QAction* entry(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

// Where a top-bar marker at `pos` must stand: arrow at pos*F-1 two pixels below the bar's
// outer edge, line one pixel wide at view column pos*F across the control's height.
QString topMarkerMismatch(const Zoom& z, int i, int pos, int controlHeight) {
    const int f = z.Factor();
    if (z.markerPosT(i) != pos)
        return QStringLiteral("top %1 at %2, expected %3").arg(i).arg(z.markerPosT(i)).arg(pos);
    if (z.picArrowTop(i)->pos() != QPoint(pos * f - 1, 2))
        return QStringLiteral("top arrow %1 at (%2,%3)")
            .arg(i)
            .arg(z.picArrowTop(i)->x())
            .arg(z.picArrowTop(i)->y());
    const QRect line = z.MarkerT(i)->geometry();
    if (line != QRect(pos * f, 0, 1, controlHeight))
        return QStringLiteral("top line %1 at (%2,%3 %4x%5)")
            .arg(i)
            .arg(line.x())
            .arg(line.y())
            .arg(line.width())
            .arg(line.height());
    return {};
}

QString leftMarkerMismatch(const Zoom& z, int i, int pos, int controlWidth) {
    const int f = z.Factor();
    if (z.markerPosL(i) != pos)
        return QStringLiteral("left %1 at %2, expected %3").arg(i).arg(z.markerPosL(i)).arg(pos);
    if (z.picArrowLeft(i)->pos() != QPoint(2, pos * f - 1))
        return QStringLiteral("left arrow %1 at (%2,%3)")
            .arg(i)
            .arg(z.picArrowLeft(i)->x())
            .arg(z.picArrowLeft(i)->y());
    const QRect line = z.MarkerL(i)->geometry();
    if (line != QRect(0, pos * f, controlWidth, 1))
        return QStringLiteral("left line %1 at (%2,%3 %4x%5)")
            .arg(i)
            .arg(line.x())
            .arg(line.y())
            .arg(line.width())
            .arg(line.height());
    return {};
}

bool topElementsVisible(const Zoom& z, bool visible) {
    for (int i = 0; i < 2; ++i)
        if (z.MarkerT(i)->isVisible() != visible || z.picArrowTop(i)->isVisible() != visible)
            return false;
    return true;
}

bool leftElementsVisible(const Zoom& z, bool visible) {
    for (int i = 0; i < 2; ++i)
        if (z.MarkerL(i)->isVisible() != visible || z.picArrowLeft(i)->isVisible() != visible)
            return false;
    return true;
}

// Every pixel of a bar inside its frame: marks in `divs` from 15 across to the inner
// edge, whose last pixel belongs to the frame; background elsewhere.
QString barMismatch(const QImage& img, bool leftBar, const QList<int>& marks, QRgb divs) {
    const QRgb face = opaque(resolveColor(kSysButtonFace));
    const QRgb shadow = opaque(resolveColor(kButtonShadow));
    const int along = leftBar ? img.height() : img.width();
    const int across = leftBar ? img.width() : img.height();
    for (int a = 1; a < along - 1; ++a) {
        for (int c = 1; c < across; ++c) {
            const QRgb want = c == across - 1                  ? shadow
                              : (c >= 15 && marks.contains(a)) ? opaque(divs)
                                                               : face;
            const QPoint p = leftBar ? QPoint(c, a) : QPoint(a, c);
            if (opaque(img.pixel(p)) != want)
                return QStringLiteral("pixel (%1,%2) is %3, expected %4")
                    .arg(p.x())
                    .arg(p.y())
                    .arg(img.pixel(p), 8, 16)
                    .arg(want, 8, 16);
        }
    }
    return {};
}

QImage argb(const QPixmap& pm) {
    return pm.toImage().convertToFormat(QImage::Format_ARGB32);
}

QtMessageHandler previousHandler = nullptr;

// Popping up a bar menu makes the offscreen platform complain about what it cannot do.
void dropPopupNoise(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (previousHandler != nullptr)
        previousHandler(type, context, text);
}

} // namespace

class TestBarsMarkers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(dropPopupNoise); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    // Layout and bar drawing.
    void layoutPerShowBars_data();
    void layoutPerShowBars();
    void unknownShowBarsIgnoresResizes_data();
    void unknownShowBarsIgnoresResizes();
    void controlSmallerThanABar();
    void hiddenBarsRedrawnByFactorStepAndColour();
    void divisionMarksOnBars_data();
    void divisionMarksOnBars();
    void barFrameColours_data();
    void barFrameColours();
    void divisionMarkPositions_data();
    void divisionMarkPositions();
    void nonPositiveSpacingTerminates_data();
    void nonPositiveSpacingTerminates();
    void storedBadSpacingStillLaysOut_data();
    void storedBadSpacingStillLaysOut();

    // Placing markers by clicks.
    void clickPlacesNearestBoundary_data();
    void clickPlacesNearestBoundary();
    void clicksOutsideRangeClamp();
    void ctrlRightPlacesMarkerOneWithoutMenu();
    void ctrlMiddlePlacesNothingButMarksChosen();
    void barMouseReleasesAreWired();

    // Menus and visibility.
    void rightClickOffersOneEntryAndHides();
    void showMarkersAtFactorTwoWaitsForRedraw();
    void showBarsAndShowMarkersSetFlags_data();
    void showBarsAndShowMarkersSetFlags();

    // MarkerMove, distances and re-placement.
    void markerMoveRules_data();
    void markerMoveRules();
    void markerMoveAtBoundsAndWhileHidden();
    void distanceSurvivesFactorChange_data();
    void distanceSurvivesFactorChange();
    void distanceAtFactorTwoUsesEarlierArrows();
    void resizeFollowsUnchosenMarkersOnly();
    void stepAndDivColourLeaveMarkers();

    // Marker lines, grid and arrows.
    void markerLineColours_data();
    void markerLineColours();
    void loadedMarkerColoursReachLines();
    void gridLinesAndColours_data();
    void gridLinesAndColours();
    void gridColourRepaintsLockedView();
    void arrowColourSets_data();
    void arrowColourSets();
    void unknownArrowColourKeepsPictures_data();
    void unknownArrowColourKeepsPictures();
    void newControlShowsBuiltInArrows();
};

// ---- Layout and bar drawing ------------------------------------------------------------

void TestBarsMarkers::layoutPerShowBars_data() {
    QTest::addColumn<int>("showBars");
    QTest::addColumn<bool>("leftShown");
    QTest::addColumn<QRect>("left");
    QTest::addColumn<bool>("topShown");
    QTest::addColumn<QRect>("top");
    QTest::addColumn<QRect>("view");
    QTest::addColumn<bool>("leftDrawn");
    QTest::addColumn<bool>("topDrawn");

    // Each row starts from a 200 x 150 control laid out with both bars and then with the
    // left bar only: a bar that is "not moved" keeps the place it had last.
    const QRect left1(0, 0, 30, 150);
    const QRect top3(30, 0, 170, 30);
    const QRect view1(30, 0, 170, 150);
    QTest::newRow("0: no bars") << 0 << false << left1 << false << top3 << QRect(0, 0, 200, 150)
                                << false << false;
    QTest::newRow("1: left") << 1 << true << left1 << false << top3 << view1 << true << false;
    QTest::newRow("2: top") << 2 << false << left1 << true << QRect(0, 0, 200, 30)
                            << QRect(0, 30, 200, 120) << false << true;
    QTest::newRow("3: both") << 3 << true << QRect(0, 30, 30, 120) << true << top3
                             << QRect(30, 30, 170, 120) << true << true;
    QTest::newRow("5: unchanged") << 5 << true << left1 << false << top3 << view1 << false << false;
    QTest::newRow("7: unchanged") << 7 << true << left1 << false << top3 << view1 << false << false;
}

void TestBarsMarkers::layoutPerShowBars() {
    QFETCH(int, showBars);
    QFETCH(bool, leftShown);
    QFETCH(QRect, left);
    QFETCH(bool, topShown);
    QFETCH(QRect, top);
    QFETCH(QRect, view);
    QFETCH(bool, leftDrawn);
    QFETCH(bool, topDrawn);

    ZoomFixture f;
    prepare(f, QSize(200, 150), 3, 1);
    f.zoom->setShowBars(1);

    // A pixel no redraw would leave: a drawn bar is cleared first.
    const QRgb sentinel = qRgb(1, 2, 3);
    f.zoom->picLeft()->image().setPixel(10, 10, sentinel);
    f.zoom->picTop()->image().setPixel(10, 10, sentinel);

    f.zoom->setShowBars(showBars);
    QCOMPARE(f.zoom->ShowBars(), showBars);
    QCOMPARE(f.zoom->picLeft()->isVisible(), leftShown);
    QCOMPARE(f.zoom->picLeft()->geometry(), left);
    QCOMPARE(f.zoom->picTop()->isVisible(), topShown);
    QCOMPARE(f.zoom->picTop()->geometry(), top);
    QCOMPARE(f.zoom->picZoom()->geometry(), view);
    // The view's image area sits inside its 2-pixel border.
    QCOMPARE(f.zoom->picZoom()->client()->geometry(),
             QRect(QPoint(2, 2), view.size() - QSize(4, 4)));
    QCOMPARE(f.zoom->picLeft()->image().pixel(10, 10) != sentinel, leftDrawn);
    QCOMPARE(f.zoom->picTop()->image().pixel(10, 10) != sentinel, topDrawn);
    if (showBars == 3) // the corner square belongs to no child
        QVERIFY(f.zoom->childAt(15, 15) == nullptr);
}

void TestBarsMarkers::unknownShowBarsIgnoresResizes_data() {
    QTest::addColumn<int>("showBars");
    QTest::newRow("4") << 4;
    QTest::newRow("5") << 5;
    QTest::newRow("7") << 7;
    QTest::newRow("-1") << -1;
}

void TestBarsMarkers::unknownShowBarsIgnoresResizes() {
    QFETCH(int, showBars);
    ZoomFixture f;
    prepare(f, QSize(200, 150), 1);
    f.zoom->setShowBars(showBars);
    const QRgb sentinel = qRgb(1, 2, 3);
    f.zoom->picLeft()->image().setPixel(10, 10, sentinel);

    f.zoom->resize(260, 180);
    QCoreApplication::processEvents(); // paints run the layout too
    QCOMPARE(f.zoom->ShowBars(), showBars);
    QVERIFY(f.zoom->picLeft()->isVisible());
    QVERIFY(!f.zoom->picTop()->isVisible());
    QCOMPARE(f.zoom->picLeft()->geometry(), QRect(0, 0, 30, 150));
    QCOMPARE(f.zoom->picZoom()->geometry(), QRect(30, 0, 170, 150));
    QCOMPARE(f.zoom->picLeft()->image().pixel(10, 10), sentinel);
    // The markers stay where the last layout put them: SizeY of the 150-pixel bar.
    QCOMPARE(int(f.zoom->markerPosL(1)), (150 - 5) / 4);
}

void TestBarsMarkers::controlSmallerThanABar() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    z.resize(20, 100);
    QCOMPARE(z.width(), 20);
    // W - 30 is negative: the top bar and the view keep their places ...
    QCOMPARE(z.picTop()->geometry(), QRect(30, 0, 170, 30));
    QCOMPARE(z.picZoom()->geometry(), QRect(30, 30, 170, 120));
    // ... while the left bar is placed and redrawn, its markers following.
    QCOMPARE(z.picLeft()->geometry(), QRect(0, 30, 30, 70));
    QCOMPARE(z.picLeft()->image().size(), QSize(30, 70));
    QCOMPARE(int(z.markerPosL(1)), (70 - 5) / 4);
}

void TestBarsMarkers::hiddenBarsRedrawnByFactorStepAndColour() {
    ZoomFixture f;
    prepare(f, QSize(200, 150), 1); // the top bar is hidden, 170 pixels long
    Zoom& z = *f.zoom;
    const QImage& top = z.picTop()->image();
    const QRgb face = opaque(resolveColor(kSysButtonFace));
    const QRgb red = qRgb(255, 0, 0);

    z.setClrDivs(0x0000FF);
    QCOMPARE(opaque(top.pixel(6, 20)), red);
    z.setStep(2);
    QCOMPARE(opaque(top.pixel(6, 20)), face);
    QCOMPARE(opaque(top.pixel(10, 20)), red);
    z.setFactor(5);
    QCOMPARE(opaque(top.pixel(10, 20)), face);
    QCOMPARE(opaque(top.pixel(12, 20)), red);
    // The factor re-placed the hidden bar's markers too.
    QCOMPARE(int(z.markerPosT(1)), (170 - 5) / 5);
    QCOMPARE(z.picArrowTop(1)->x(), (170 - 5) / 5 * 5 - 1);
}

void TestBarsMarkers::divisionMarksOnBars_data() {
    QTest::addColumn<bool>("leftBar");
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("marks");

    QTest::newRow("left 100, x4 step 5") << true << 4 << 5 << 100 << QList<int>{2, 22, 42, 62, 82};
    QTest::newRow("top 10, x3 step 1") << false << 3 << 1 << 10 << QList<int>{2, 5};
    QTest::newRow("top 11, x3: mark on the last allowed pixel")
        << false << 3 << 1 << 11 << QList<int>{2, 5, 8};
    QTest::newRow("top 100, x19: mark at length - 3")
        << false << 19 << 1 << 100 << QList<int>{2, 21, 40, 59, 78, 97};
    QTest::newRow("left 100, spacing beyond the bar") << true << 100 << 100 << 100 << QList<int>{2};
    QTest::newRow("top 150, x50: spacing beyond the bar")
        << false << 50 << 3 << 150 << QList<int>{2};
    QTest::newRow("left, factor 1: frame only") << true << 1 << 1 << 100 << QList<int>{};
    QTest::newRow("top, factor 2: frame only") << false << 2 << 5 << 100 << QList<int>{};
}

void TestBarsMarkers::divisionMarksOnBars() {
    QFETCH(bool, leftBar);
    QFETCH(int, factor);
    QFETCH(int, step);
    QFETCH(int, length);
    QFETCH(QList<int>, marks);

    ZoomFixture f;
    if (leftBar)
        prepare(f, QSize(200, length), 1, 4);
    else
        prepare(f, QSize(length, 150), 2, 4);
    QVERIFY(leftBar ? leftElementsVisible(*f.zoom, true) : topElementsVisible(*f.zoom, true));

    const int32_t divs = 0x00336699; // blue 0x33, green 0x66, red 0x99
    f.zoom->setClrDivs(divs);
    f.zoom->setStep(int16_t(step));
    f.zoom->setFactor(int16_t(factor));

    const QImage& img = leftBar ? f.zoom->picLeft()->image() : f.zoom->picTop()->image();
    QCOMPARE(img.size(), leftBar ? QSize(30, length) : QSize(length, 30));
    const QString wrong = barMismatch(img, leftBar, marks, qRgb(0x99, 0x66, 0x33));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // At factors 1 and 2 the bar's four marker elements are hidden.
    const bool shown = factor > 2;
    QVERIFY(leftBar ? leftElementsVisible(*f.zoom, shown) : topElementsVisible(*f.zoom, shown));
}

void TestBarsMarkers::barFrameColours_data() {
    QTest::addColumn<bool>("leftBar");
    QTest::addColumn<int>("factor");
    QTest::newRow("left x1") << true << 1;
    QTest::newRow("left x4") << true << 4;
    QTest::newRow("top x1") << false << 1;
    QTest::newRow("top x4") << false << 4;
}

void TestBarsMarkers::barFrameColours() {
    QFETCH(bool, leftBar);
    QFETCH(int, factor);
    ZoomFixture f;
    prepare(f, QSize(200, 150), 3, int16_t(factor));
    const QRgb light = opaque(resolveColor(kSysButtonHighlight));
    const QRgb shadow = opaque(resolveColor(kButtonShadow));
    QVERIFY(light != shadow);

    const QImage& img = leftBar ? f.zoom->picLeft()->image() : f.zoom->picTop()->image();
    QCOMPARE(img.size(), leftBar ? QSize(30, 120) : QSize(170, 30));
    const int w = img.width();
    const int h = img.height();
    for (int x = 1; x < w - 1; ++x) {
        QCOMPARE(opaque(img.pixel(x, 0)), light);
        QCOMPARE(opaque(img.pixel(x, h - 1)), shadow);
    }
    for (int y = 1; y < h - 1; ++y) {
        QCOMPARE(opaque(img.pixel(0, y)), light);
        QCOMPARE(opaque(img.pixel(w - 1, y)), shadow);
    }
}

void TestBarsMarkers::divisionMarkPositions_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QList<int>>("marks");
    QTest::newRow("100 / 20") << 100 << 20 << QList<int>{2, 22, 42, 62, 82};
    QTest::newRow("10 / 3") << 10 << 3 << QList<int>{2, 5};
    QTest::newRow("100 / 19 reaches 97") << 100 << 19 << QList<int>{2, 21, 40, 59, 78, 97};
    QTest::newRow("100 / 10000") << 100 << 10000 << QList<int>{2};
    QTest::newRow("5: only the first") << 5 << 1 << QList<int>{2};
    QTest::newRow("4: none") << 4 << 1 << QList<int>{};
}

void TestBarsMarkers::divisionMarkPositions() {
    QFETCH(int, length);
    QFETCH(int, spacing);
    QFETCH(QList<int>, marks);
    QCOMPARE(QList<int>(geometry::divisionMarks(length, spacing)), marks);
}

void TestBarsMarkers::nonPositiveSpacingTerminates_data() {
    QTest::addColumn<int>("spacing");
    QTest::newRow("0") << 0;
    QTest::newRow("-1") << -1;
    QTest::newRow("-400") << -400;
}

void TestBarsMarkers::nonPositiveSpacingTerminates() {
    QFETCH(int, spacing);
    // Returning at all is the point; whatever is drawn must still lie on the bar.
    const QVector<int> marks = geometry::divisionMarks(100, spacing);
    QVERIFY(marks.size() <= 96);
    for (int m : marks)
        QVERIFY2(m >= 2 && m <= 97, qPrintable(QString::number(m)));
}

void TestBarsMarkers::storedBadSpacingStillLaysOut_data() {
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("step");
    QTest::newRow("step 0") << 4 << 0;
    QTest::newRow("step -3") << 4 << -3;
    QTest::newRow("factor 0") << 0 << 1;
    QTest::newRow("factor -2, step -5") << -2 << -5;
}

void TestBarsMarkers::storedBadSpacingStillLaysOut() {
    QFETCH(int, factor);
    QFETCH(int, step);
    // Stored settings are taken unchecked, so a spacing below 1 can reach the bars.
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Factor"), factor);
    bag.set(QStringLiteral("Step"), step);
    bag.set(QStringLiteral("FollowMouse"), false);
    ZoomFixture f;
    f.zoom->ReadProperties(bag);
    QCOMPARE(int(f.zoom->Step()), step);
    f.zoom->setBorderStyle(0);
    f.zoom->show();
    f.zoom->resize(200, 150);
    const QImage& img = f.zoom->picTop()->image();
    QCOMPARE(img.size(), QSize(170, 30));
    QCOMPARE(opaque(img.pixel(50, 0)), opaque(resolveColor(kSysButtonHighlight)));
}

// ---- Placing markers by clicks -------------------------------------------------------

void TestBarsMarkers::clickPlacesNearestBoundary_data() {
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("top");  // position on the 170-pixel top bar
    QTest::addColumn<int>("left"); // position on the 120-pixel left bar

    // Bar pixel x lies against view pixel x - 2; boundaries are multiples of the factor.
    QTest::newRow("x4: 11 -> 2") << 4 << 11 << 2 << 2;
    QTest::newRow("x4: 12, half way, counts up") << 4 << 12 << 3 << 3;
    QTest::newRow("x4: 13 -> 3") << 4 << 13 << 3 << 3;
    QTest::newRow("x4: 1, before the view") << 4 << 1 << 0 << 0;
    QTest::newRow("x4: 0") << 4 << 0 << 0 << 0;
    QTest::newRow("x4: 2, first boundary") << 4 << 2 << 0 << 0;
    QTest::newRow("x4: 4, half of the first pixel") << 4 << 4 << 1 << 1;
    QTest::newRow("x5: 14 -> 2") << 5 << 14 << 2 << 2;
    QTest::newRow("x5: 15 -> 3") << 5 << 15 << 3 << 3;
    QTest::newRow("x3: 3 -> 0") << 3 << 3 << 0 << 0;
    QTest::newRow("x3: 4 -> 1") << 3 << 4 << 1 << 1;
    // SizeX = (170 - 5) / 4 = 41, SizeY = (120 - 5) / 4 = 28.
    QTest::newRow("x4: on the last top boundary") << 4 << 166 << 41 << 28;
    QTest::newRow("x4: just past it") << 4 << 167 << 41 << 28;
    QTest::newRow("x4: nearer the next boundary") << 4 << 168 << 41 << 28;
    QTest::newRow("x4: far beyond") << 4 << 500 << 41 << 28;
    QTest::newRow("x4: on the last left boundary") << 4 << 114 << 28 << 28;
}

void TestBarsMarkers::clickPlacesNearestBoundary() {
    QFETCH(int, factor);
    QFETCH(int, x);
    QFETCH(int, top);
    QFETCH(int, left);

    ZoomFixture f;
    prepare(f, QSize(200, 150), 3, int16_t(factor));
    Zoom& z = *f.zoom;
    const int sizeX = (170 - 5) / factor;
    const int sizeY = (120 - 5) / factor;
    QCOMPARE(z.SizeX(), sizeX);
    QCOMPARE(z.SizeY(), sizeY);
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);

    // The left button moves marker 0 (marker 1 still at the far end), the right marker 1.
    z.picTop_MouseUp(kLeftButton, kCtrl, float(x), 10);
    QString wrong = topMarkerMismatch(z, 0, top, 150) + topMarkerMismatch(z, 1, sizeX, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    z.picTop_MouseUp(kRightButton, kCtrl, float(x), 10);
    wrong = topMarkerMismatch(z, 1, top, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(changeX.count(), 2);
    QCOMPARE(changeX.at(0).at(0).toInt(), sizeX - top);
    QCOMPARE(changeX.at(1).at(0).toInt(), 0);
    QCOMPARE(z.DistanceX(), 0);

    z.picLeft_MouseUp(kLeftButton, kCtrl, 10, float(x));
    wrong = leftMarkerMismatch(z, 0, left, 200) + leftMarkerMismatch(z, 1, sizeY, 200);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    z.picLeft_MouseUp(kRightButton, kCtrl, 10, float(x));
    wrong = leftMarkerMismatch(z, 1, left, 200);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(changeY.count(), 2);
    QCOMPARE(changeY.at(0).at(0).toInt(), sizeY - left);
    QCOMPARE(changeY.at(1).at(0).toInt(), 0);
    QCOMPARE(changeX.count(), 2);
}

void TestBarsMarkers::clicksOutsideRangeClamp() {
    // Top bar 165 pixels: SizeX = (165 - 5) / 4 = 40.
    ZoomFixture f;
    prepare(f, QSize(195, 150));
    Zoom& z = *f.zoom;
    QCOMPARE(z.SizeX(), 40);
    z.picTop_MouseUp(kRightButton, kCtrl, -30, 10);
    QString wrong = topMarkerMismatch(z, 1, 0, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(z.picArrowTop(1)->x(), -1);
    QCOMPARE(z.MarkerT(1)->x(), 0);

    z.picTop_MouseUp(kRightButton, kCtrl, 2000, 10);
    wrong = topMarkerMismatch(z, 1, 40, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(z.picArrowTop(1)->x(), 159);
    QCOMPARE(z.MarkerT(1)->x(), 160);
    // The arrow's tip (its middle column) lies against the line across the border.
    QCOMPARE(z.picArrowTop(1)->x() + 3, z.MarkerT(1)->x() + 2);
}

void TestBarsMarkers::ctrlRightPlacesMarkerOneWithoutMenu() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    // Other modifier bits do not matter once Ctrl is in.
    z.picTop_MouseUp(kRightButton, kCtrl | kShift, 42, 10);
    QCOMPARE(z.markerPosT(1), int16_t(10));
    QCOMPARE(z.markerPosT(0), int16_t(0));
    QVERIFY(!z.mnuTop()->isVisible());
    z.picLeft_MouseUp(kRightButton, kCtrl, 10, 42);
    QCOMPARE(z.markerPosL(1), int16_t(10));
    QVERIFY(!z.mnuLeft()->isVisible());
    QVERIFY(z.markersTopSet());
    QVERIFY(z.markersLeftSet());
}

void TestBarsMarkers::ctrlMiddlePlacesNothingButMarksChosen() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);
    QVERIFY(!z.markersTopSet());
    QVERIFY(!z.markersLeftSet());

    z.picTop_MouseUp(kMiddleButton, kCtrl, 42, 10);
    QCOMPARE(z.markerPosT(0), int16_t(0));
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QVERIFY(z.markersTopSet());
    QVERIFY(!z.markersLeftSet());
    QCOMPARE(changeX.count(), 1);
    QCOMPARE(changeX.at(0).at(0).toInt(), 41);
    QVERIFY(!z.mnuTop()->isVisible());

    z.picLeft_MouseUp(kMiddleButton, kCtrl, 10, 42);
    QCOMPARE(z.markerPosL(0), int16_t(0));
    QCOMPARE(z.markerPosL(1), int16_t(28));
    QVERIFY(z.markersLeftSet());
    QCOMPARE(changeY.count(), 1);
    QCOMPARE(changeY.at(0).at(0).toInt(), 28);

    // Chosen now: a larger control leaves marker 1 where it was.
    z.resize(300, 250);
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QCOMPARE(z.markerPosL(1), int16_t(28));
}

void TestBarsMarkers::barMouseReleasesAreWired() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);

    QTest::mouseClick(z.picTop(), Qt::LeftButton, Qt::ControlModifier, QPoint(12, 10));
    QCOMPARE(z.markerPosT(0), int16_t(3));
    QCOMPARE(changeX.count(), 1);
    QCOMPARE(changeX.at(0).at(0).toInt(), 41 - 3);

    QTest::mouseClick(z.picLeft(), Qt::RightButton, Qt::ControlModifier, QPoint(10, 13));
    QCOMPARE(z.markerPosL(1), int16_t(3));
    QCOMPARE(changeY.count(), 1);
    QCOMPARE(changeY.at(0).at(0).toInt(), 3);

    // Without Ctrl the left and middle buttons do nothing, the right one opens the menu.
    QTest::mouseClick(z.picTop(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
    QTest::mouseClick(z.picTop(), Qt::MiddleButton, Qt::ShiftModifier, QPoint(30, 10));
    QTest::mouseClick(z.picLeft(), Qt::MiddleButton, Qt::NoModifier, QPoint(10, 30));
    QCOMPARE(z.markerPosT(0), int16_t(3));
    QCOMPARE(changeX.count(), 1);
    QVERIFY(!z.mnuTop()->isVisible());
    QVERIFY(!z.mnuLeft()->isVisible());
    QTest::mouseClick(z.picTop(), Qt::RightButton, Qt::NoModifier, QPoint(30, 10));
    QVERIFY(z.mnuTop()->isVisible());
    z.mnuTop()->hide();
    QTest::mouseClick(z.picLeft(), Qt::RightButton, Qt::NoModifier, QPoint(10, 30));
    QVERIFY(z.mnuLeft()->isVisible());
    z.mnuLeft()->hide();
    QCOMPARE(changeX.count(), 1);
    QCOMPARE(changeY.count(), 1);
}

// ---- Menus and visibility ------------------------------------------------------------

void TestBarsMarkers::rightClickOffersOneEntryAndHides() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    QVERIFY(topElementsVisible(z, true));
    QVERIFY(leftElementsVisible(z, true));
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);

    z.picTop_MouseUp(kRightButton, 0, 50, 10);
    QVERIFY(z.mnuTop()->isVisible());
    QCOMPARE(visibleEntries(z.mnuTop()), QStringList{QStringLiteral("Hide Markers")});
    QCOMPARE(changeX.count(), 0);
    entry(z.mnuTop(), QStringLiteral("Hide Markers"))->trigger();
    z.mnuTop()->hide();
    QVERIFY(!z.markersTopOn());
    QVERIFY(topElementsVisible(z, false));
    QVERIFY(leftElementsVisible(z, true)); // the other bar is untouched

    // Shift alone is no Ctrl: still the menu, now offering the other entry.
    z.picTop_MouseUp(kRightButton, kShift, 50, 10);
    QCOMPARE(visibleEntries(z.mnuTop()), QStringList{QStringLiteral("Show Markers")});
    entry(z.mnuTop(), QStringLiteral("Show Markers"))->trigger();
    z.mnuTop()->hide();
    QVERIFY(z.markersTopOn());
    QVERIFY(topElementsVisible(z, true));

    z.picLeft_MouseUp(kRightButton, 0, 10, 50);
    QCOMPARE(visibleEntries(z.mnuLeft()), QStringList{QStringLiteral("Hide Markers")});
    entry(z.mnuLeft(), QStringLiteral("Hide Markers"))->trigger();
    z.mnuLeft()->hide();
    QVERIFY(!z.markersLeftOn());
    QVERIFY(leftElementsVisible(z, false));
    QVERIFY(topElementsVisible(z, true));
    z.picLeft_MouseUp(kRightButton, 0, 10, 50);
    QCOMPARE(visibleEntries(z.mnuLeft()), QStringList{QStringLiteral("Show Markers")});
    z.mnuLeft()->hide();
    // Positions are untouched by the menus.
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QCOMPARE(z.markerPosL(1), int16_t(28));
}

void TestBarsMarkers::showMarkersAtFactorTwoWaitsForRedraw() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    z.picTop_MouseUp(kRightButton, 0, 50, 10);
    entry(z.mnuTop(), QStringLiteral("Hide Markers"))->trigger();
    z.mnuTop()->hide();
    z.setFactor(2);
    QVERIFY(topElementsVisible(z, false));

    z.picTop_MouseUp(kRightButton, 0, 50, 10);
    entry(z.mnuTop(), QStringLiteral("Show Markers"))->trigger();
    z.mnuTop()->hide();
    QVERIFY(z.markersTopOn());
    QVERIFY(topElementsVisible(z, false));
    z.resize(210, 150); // a redraw at factor 2 still shows nothing
    QVERIFY(topElementsVisible(z, false));

    z.setFactor(3);
    QVERIFY(topElementsVisible(z, true));
    const QString wrong = topMarkerMismatch(z, 1, (180 - 5) / 3, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestBarsMarkers::showBarsAndShowMarkersSetFlags_data() {
    QTest::addColumn<int>("showBars");
    QTest::addColumn<bool>("leftOn"); // after ShowBars
    QTest::addColumn<bool>("topOn");
    QTest::addColumn<bool>("leftOff"); // after ShowMarkers = False
    QTest::addColumn<bool>("topOff");
    QTest::addColumn<bool>("leftBack"); // after ShowMarkers = True again
    QTest::addColumn<bool>("topBack");

    // Each row starts with both bars' markers on.
    QTest::newRow("0") << 0 << false << false << false << false << false << false;
    QTest::newRow("1") << 1 << true << false << false << false << true << false;
    QTest::newRow("2") << 2 << false << true << false << false << false << true;
    QTest::newRow("3") << 3 << true << true << false << false << true << true;
    QTest::newRow("5: no handler runs") << 5 << true << true << true << true << true << true;
}

void TestBarsMarkers::showBarsAndShowMarkersSetFlags() {
    QFETCH(int, showBars);
    QFETCH(bool, leftOn);
    QFETCH(bool, topOn);
    QFETCH(bool, leftOff);
    QFETCH(bool, topOff);
    QFETCH(bool, leftBack);
    QFETCH(bool, topBack);

    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    // At factor 4 a bar's lines are visible exactly while its flag is on.
    auto check = [&z](bool left, bool top) {
        return z.markersLeftOn() == left && z.markersTopOn() == top &&
               z.MarkerL(0)->isVisible() == left && z.MarkerL(1)->isVisible() == left &&
               z.MarkerT(0)->isVisible() == top && z.MarkerT(1)->isVisible() == top;
    };
    QVERIFY(check(true, true));
    z.setShowBars(showBars);
    QVERIFY(check(leftOn, topOn));
    z.setShowMarkers(false);
    QVERIFY(!z.ShowMarkers());
    QVERIFY(check(leftOff, topOff));
    z.setShowMarkers(true);
    QVERIFY(check(leftBack, topBack));
}

// ---- MarkerMove, distances and re-placement ------------------------------------------

void TestBarsMarkers::markerMoveRules_data() {
    QTest::addColumn<int>("showBars");
    QTest::addColumn<int>("marker");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QList<int>>("expected"); // top 0, top 1, left 0, left 1

    // Every row starts with both pairs at 5 and 20.
    const QList<int> unchanged{5, 20, 5, 20};
    QTest::newRow("left marker, top bar only") << 2 << 0 << 1 << unchanged;
    QTest::newRow("top 0 up, top bar only") << 2 << 2 << 1 << QList<int>{6, 20, 5, 20};
    QTest::newRow("top 1, direction 7 is down") << 2 << 3 << 7 << QList<int>{5, 19, 5, 20};
    QTest::newRow("top marker, left bar only") << 1 << 2 << 1 << unchanged;
    QTest::newRow("left 0 up, left bar only") << 1 << 0 << 1 << QList<int>{5, 20, 6, 20};
    QTest::newRow("left 1 direction 0") << 1 << 1 << 0 << QList<int>{5, 20, 5, 19};
    QTest::newRow("both bars, (2, 7)") << 3 << 2 << 7 << QList<int>{4, 20, 5, 20};
    QTest::newRow("both bars, (1, 1)") << 3 << 1 << 1 << QList<int>{5, 20, 5, 21};
    QTest::newRow("both bars, (3, -1)") << 3 << 3 << -1 << QList<int>{5, 19, 5, 20};
    QTest::newRow("marker 4") << 3 << 4 << 1 << unchanged;
    QTest::newRow("marker -1") << 3 << -1 << 1 << unchanged;
    QTest::newRow("no bars, left") << 0 << 0 << 1 << unchanged;
    QTest::newRow("no bars, top") << 0 << 2 << 1 << unchanged;
    QTest::newRow("ShowBars 5, left") << 5 << 0 << 1 << unchanged;
    QTest::newRow("ShowBars 5, top") << 5 << 3 << 1 << unchanged;
}

void TestBarsMarkers::markerMoveRules() {
    QFETCH(int, showBars);
    QFETCH(int, marker);
    QFETCH(int, direction);
    QFETCH(QList<int>, expected);

    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    z.picTop_MouseUp(kLeftButton, kCtrl, 5 * 4 + 2, 10);
    z.picTop_MouseUp(kRightButton, kCtrl, 20 * 4 + 2, 10);
    z.picLeft_MouseUp(kLeftButton, kCtrl, 10, 5 * 4 + 2);
    z.picLeft_MouseUp(kRightButton, kCtrl, 10, 20 * 4 + 2);
    z.setShowBars(showBars);
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);

    z.MarkerMove(marker, direction);
    const QList<int> got{z.markerPosT(0), z.markerPosT(1), z.markerPosL(0), z.markerPosL(1)};
    QCOMPARE(got, expected);
    const bool topMoved = got[0] != 5 || got[1] != 20;
    const bool leftMoved = got[2] != 5 || got[3] != 20;
    QCOMPARE(changeX.count(), topMoved ? 1 : 0);
    QCOMPARE(changeY.count(), leftMoved ? 1 : 0);
    if (topMoved)
        QCOMPARE(changeX.at(0).at(0).toInt(), std::abs(got[0] - got[1]));
    if (leftMoved)
        QCOMPARE(changeY.at(0).at(0).toInt(), std::abs(got[2] - got[3]));
}

void TestBarsMarkers::markerMoveAtBoundsAndWhileHidden() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);

    // Never chosen: 0 and the far end. A marker at its bound does not move.
    z.MarkerMove(2, 0);
    z.MarkerMove(3, 1);
    z.MarkerMove(0, 0);
    z.MarkerMove(1, 1);
    QCOMPARE(z.markerPosT(0), int16_t(0));
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QCOMPARE(z.markerPosL(1), int16_t(28));
    QCOMPARE(changeX.count(), 0);
    QCOMPARE(changeY.count(), 0);
    // ... and so chooses nothing: the far marker still follows a resize.
    QVERIFY(!z.markersTopSet());
    z.resize(300, 250);
    QCOMPARE(z.markerPosT(1), int16_t((270 - 5) / 4));

    // A successful move chooses the positions.
    z.MarkerMove(3, 0);
    QCOMPARE(z.markerPosT(1), int16_t((270 - 5) / 4 - 1));
    QVERIFY(z.markersTopSet());
    QCOMPARE(changeX.count(), 1);
    QCOMPARE(changeX.at(0).at(0).toInt(), (270 - 5) / 4 - 1);
    z.resize(310, 250);
    QCOMPARE(z.markerPosT(1), int16_t((270 - 5) / 4 - 1));

    // Hidden markers move too: by the menu, and by a factor below 3.
    z.picTop_MouseUp(kRightButton, 0, 50, 10);
    entry(z.mnuTop(), QStringLiteral("Hide Markers"))->trigger();
    z.mnuTop()->hide();
    z.MarkerMove(2, 1);
    QCOMPARE(z.markerPosT(0), int16_t(1));
    QCOMPARE(changeX.count(), 2);
    z.setFactor(2);
    QVERIFY(leftElementsVisible(z, false));
    z.MarkerMove(0, 1);
    QCOMPARE(z.markerPosL(0), int16_t(1));
    QCOMPARE(changeY.count(), 1);
    QCOMPARE(z.picArrowLeft(0)->y(), 1 * 2 - 1);
}

void TestBarsMarkers::distanceSurvivesFactorChange_data() {
    QTest::addColumn<QSize>("control");
    QTest::addColumn<int>("first");  // marker 0, placed first
    QTest::addColumn<int>("second"); // marker 1
    QTest::addColumn<int>("first8"); // positions after the factor goes from 4 to 8
    QTest::addColumn<int>("second8");

    QTest::newRow("3 then 10") << QSize(200, 150) << 3 << 10 << 3 << 10;
    QTest::newRow("10 then 3") << QSize(200, 150) << 10 << 3 << 10 << 3;
    // Bars 70 long: upper bound (70 - 5) / 4 = 16 at factor 4, (70 - 5) / 8 = 8 at 8.
    QTest::newRow("3 then 10, clamped") << QSize(100, 100) << 3 << 10 << 3 << 8;
    QTest::newRow("10 then 3, clamped") << QSize(100, 100) << 10 << 3 << 8 << 3;
}

void TestBarsMarkers::distanceSurvivesFactorChange() {
    QFETCH(QSize, control);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, first8);
    QFETCH(int, second8);

    ZoomFixture f;
    prepare(f, control);
    Zoom& z = *f.zoom;
    z.picTop_MouseUp(kLeftButton, kCtrl, float(first * 4 + 2), 10);
    z.picTop_MouseUp(kRightButton, kCtrl, float(second * 4 + 2), 10);
    z.picLeft_MouseUp(kLeftButton, kCtrl, 10, float(first * 4 + 2));
    z.picLeft_MouseUp(kRightButton, kCtrl, 10, float(second * 4 + 2));
    QCOMPARE(z.DistanceX(), 7);
    QCOMPARE(z.DistanceY(), 7);

    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);
    z.setFactor(8);
    QString wrong = topMarkerMismatch(z, 0, first8, control.height()) +
                    topMarkerMismatch(z, 1, second8, control.height()) +
                    leftMarkerMismatch(z, 0, first8, control.width()) +
                    leftMarkerMismatch(z, 1, second8, control.width());
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(z.DistanceX(), std::abs(first8 - second8));
    QCOMPARE(z.DistanceY(), std::abs(first8 - second8));
    // Re-placing by a redraw announces nothing.
    QCOMPARE(changeX.count(), 0);
    QCOMPARE(changeY.count(), 0);
}

void TestBarsMarkers::distanceAtFactorTwoUsesEarlierArrows() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    z.picTop_MouseUp(kLeftButton, kCtrl, 3 * 4 + 2, 10);
    z.picTop_MouseUp(kRightButton, kCtrl, 10 * 4 + 2, 10);
    QCOMPARE(z.DistanceX(), 7);
    // Factor 2 does not place the arrows again: they stay 28 bar pixels apart.
    z.setFactor(2);
    QCOMPARE(z.picArrowTop(0)->x(), 11);
    QCOMPARE(z.picArrowTop(1)->x(), 39);
    QCOMPARE(z.DistanceX(), 14);
    // Back at 3 they are placed anew.
    z.setFactor(3);
    QCOMPARE(z.DistanceX(), 7);
    QCOMPARE(z.picArrowTop(1)->x(), 29);
}

void TestBarsMarkers::resizeFollowsUnchosenMarkersOnly() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    QSignalSpy changeX(&z, &Zoom::MarkerChangeX);
    QSignalSpy changeY(&z, &Zoom::MarkerChangeY);

    z.resize(300, 250); // bars 270 and 220 long
    QString wrong = topMarkerMismatch(z, 0, 0, 250) + topMarkerMismatch(z, 1, (270 - 5) / 4, 250) +
                    leftMarkerMismatch(z, 0, 0, 300) + leftMarkerMismatch(z, 1, (220 - 5) / 4, 300);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(z.SizeX(), (270 - 5) / 4);
    QCOMPARE(z.DistanceX(), (270 - 5) / 4);

    // One Ctrl-click on the top bar: its pair stays, the left pair still follows.
    z.picTop_MouseUp(kLeftButton, kCtrl, 5 * 4 + 2, 10);
    changeX.clear();
    z.resize(400, 300); // bars 370 and 270 long
    wrong = topMarkerMismatch(z, 0, 5, 300) + topMarkerMismatch(z, 1, (270 - 5) / 4, 300) +
            leftMarkerMismatch(z, 0, 0, 400) + leftMarkerMismatch(z, 1, (270 - 5) / 4, 400);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // Shrinking clamps a chosen marker that no longer fits.
    z.resize(150, 120); // bars 120 and 90 long
    wrong = topMarkerMismatch(z, 0, 5, 120) + topMarkerMismatch(z, 1, (120 - 5) / 4, 120) +
            leftMarkerMismatch(z, 1, (90 - 5) / 4, 150);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(changeX.count(), 0);
    QCOMPARE(changeY.count(), 0);
}

void TestBarsMarkers::stepAndDivColourLeaveMarkers() {
    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    // Move the never-chosen markers without choosing them: a locked view whose source
    // moves 20 columns left shifts them 20 to the right (marker 1 clamps at 41).
    z.setCurrentX(500);
    z.setLocked(true);
    z.setCurrentX(480);
    QCOMPARE(z.markerPosT(0), int16_t(20));
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QVERIFY(!z.markersTopSet());

    const int32_t divs = 0x000000FF; // red
    z.setClrDivs(divs);
    z.setStep(2);
    QCOMPARE(z.markerPosT(0), int16_t(20));
    QCOMPARE(z.markerPosT(1), int16_t(41));
    QVERIFY(topElementsVisible(z, true));
    // The bar was redrawn: marks every 8 pixels from 2, in the new colour.
    const QImage& img = z.picTop()->image();
    QCOMPARE(opaque(img.pixel(10, 20)), qRgb(255, 0, 0));
    QCOMPARE(opaque(img.pixel(6, 20)), opaque(resolveColor(kSysButtonFace)));
    QCOMPARE(opaque(z.picLeft()->image().pixel(20, 10)), qRgb(255, 0, 0));

    // A factor set re-places them at 0 and the far end.
    z.setFactor(4);
    QCOMPARE(z.markerPosT(0), int16_t(0));
    QCOMPARE(z.markerPosT(1), int16_t(41));
}

// ---- Marker lines, grid and arrows ---------------------------------------------------

void TestBarsMarkers::markerLineColours_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("red") << 0x000000FF << qRgb(255, 0, 0);
    QTest::newRow("green") << 0x0000FF00 << qRgb(0, 255, 0);
    QTest::newRow("blue") << 0x00FF0000 << qRgb(0, 0, 255);
    QTest::newRow("mixed") << 0x00123456 << qRgb(0x56, 0x34, 0x12);
    QTest::newRow("highlight") << int(0x8000000Du) << opaque(resolveColor(int32_t(0x8000000Du)));
    QTest::newRow("button face") << int(0x8000000Fu) << opaque(resolveColor(int32_t(0x8000000Fu)));
}

void TestBarsMarkers::markerLineColours() {
    QFETCH(int, value);
    QFETCH(QRgb, colour);

    ZoomFixture f;
    prepare(f, QSize(200, 150));
    Zoom& z = *f.zoom;
    // Markers on view columns 12 and 40 and rows 8 and 60; the view shows a known picture.
    z.picTop_MouseUp(kLeftButton, kCtrl, 3 * 4 + 2, 10);
    z.picTop_MouseUp(kRightButton, kCtrl, 10 * 4 + 2, 10);
    z.picLeft_MouseUp(kLeftButton, kCtrl, 10, 2 * 4 + 2);
    z.picLeft_MouseUp(kRightButton, kCtrl, 10, 15 * 4 + 2);
    z.setCurrentX(500);
    z.setCurrentY(400);
    // View 166 x 116 inside the border: source origin (500 - 20, 400 - 14).
    const QPoint origin(500 - 166 / 8, 400 - 116 / 8);

    const QRgb other = qRgb(0x80, 0x40, 0x20);
    z.setClrMarkersT(value);
    z.setClrMarkersL(0x00204080);
    QCOMPARE(z.ClrMarkersT(), value);

    const QImage shot = z.grab().toImage();
    const QPoint view = z.picZoom()->client()->mapTo(&z, QPoint(0, 0));
    QCOMPARE(view, QPoint(32, 32));
    for (int y : {0, 30, 100}) {
        QCOMPARE(opaque(shot.pixel(view + QPoint(12, y))), colour);
        QCOMPARE(opaque(shot.pixel(view + QPoint(40, y))), colour);
        // The view's own image under the line still holds the magnified screen.
        QCOMPARE(opaque(z.viewImage().pixel(12, y)),
                 opaque(f.expectedViewPixel(12, y, origin.x(), origin.y(), 4)));
    }
    for (int x : {0, 30, 100}) {
        QCOMPARE(opaque(shot.pixel(view + QPoint(x, 8))), other);
        QCOMPARE(opaque(shot.pixel(view + QPoint(x, 60))), other);
        QCOMPARE(opaque(z.viewImage().pixel(x, 8)),
                 opaque(f.expectedViewPixel(x, 8, origin.x(), origin.y(), 4)));
    }
    // Beside the lines the magnified screen shows through.
    QCOMPARE(opaque(shot.pixel(view + QPoint(13, 30))),
             opaque(f.expectedViewPixel(13, 30, origin.x(), origin.y(), 4)));

    z.setClrMarkersT(0x00FF00FF);
    QCOMPARE(opaque(z.grab().toImage().pixel(view + QPoint(12, 30))), qRgb(255, 0, 255));
}

void TestBarsMarkers::loadedMarkerColoursReachLines() {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("ClrMarkersL"), 0x00FF0000); // blue
    bag.set(QStringLiteral("ClrMarkersT"), 0x000000FF); // red
    bag.set(QStringLiteral("FollowMouse"), false);
    ZoomFixture f;
    f.zoom->ReadProperties(bag);
    QVERIFY(f.zoom->markersTopOn());
    QVERIFY(f.zoom->markersLeftOn());
    prepare(f, QSize(200, 150));
    // Markers at their first places: columns 0 and 164, rows 0 and 112 of the view.
    const QImage shot = f.zoom->grab().toImage();
    QCOMPARE(opaque(shot.pixel(32 + 164, 32 + 50)), qRgb(255, 0, 0));
    QCOMPARE(opaque(shot.pixel(32 + 50, 32 + 112)), qRgb(0, 0, 255));
}

void TestBarsMarkers::gridLinesAndColours_data() {
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("clrA");
    QTest::addColumn<int>("clrB");
    QTest::addColumn<QRgb>("a");
    QTest::addColumn<QRgb>("b");

    const QRgb red = qRgb(255, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    QTest::newRow("factor 2: no grid") << 2 << 0x0000FF << 0xFFFFFF << red << white;
    QTest::newRow("factor 3, red and white") << 3 << 0x0000FF << 0xFFFFFF << red << white;
    QTest::newRow("factor 3, default colours")
        << 3 << int(kSysButtonFace) << int(kSysButtonHighlight)
        << opaque(resolveColor(kSysButtonFace)) << opaque(resolveColor(kSysButtonHighlight));
    QTest::newRow("factor 4") << 4 << 0x00FF00 << 0x000000 << qRgb(0, 255, 0) << qRgb(0, 0, 0);
    QTest::newRow("factor 7, partial last pixel") << 7 << 0x0000FF << 0xFFFFFF << red << white;
}

void TestBarsMarkers::gridLinesAndColours() {
    QFETCH(int, factor);
    QFETCH(int, clrA);
    QFETCH(int, clrB);
    QFETCH(QRgb, a);
    QFETCH(QRgb, b);

    ZoomFixture f;
    f.setViewSize(QSize(300, 200));
    Zoom& z = *f.zoom;
    z.setFollowMouse(false);
    z.setFactor(int16_t(factor));
    z.setClrGridA(clrA);
    z.setClrGridB(clrB);
    z.setCurrentX(500);
    z.setCurrentY(400);
    z.setHasGrid(true);

    const QImage& img = z.viewImage();
    QCOMPARE(img.size(), QSize(300, 200));
    const int srcLeft = 500 - 300 / (2 * factor);
    const int srcTop = 400 - 200 / (2 * factor);
    const bool grid = factor >= 3;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const bool line = grid && (x % factor == 0 || y % factor == 0);
            const QRgb want = line ? ((x + y) % 2 == 0 ? a : b)
                                   : opaque(f.expectedViewPixel(x, y, srcLeft, srcTop, factor));
            if (opaque(img.pixel(x, y)) != want)
                QFAIL(qPrintable(QStringLiteral("pixel (%1,%2) is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(img.pixel(x, y), 8, 16)
                                     .arg(want, 8, 16)));
        }
    }
    if (factor == 3) {
        QCOMPARE(opaque(img.pixel(0, 0)), a);
        QCOMPARE(opaque(img.pixel(3, 0)), b);
        QCOMPARE(opaque(img.pixel(3, 1)), a);
        QCOMPARE(opaque(img.pixel(297, 199)), a); // last vertical line, last row
    }
}

void TestBarsMarkers::gridColourRepaintsLockedView() {
    ZoomFixture f;
    f.setViewSize(QSize(300, 200));
    Zoom& z = *f.zoom;
    z.setFollowMouse(false);
    z.setFactor(3);
    z.setCurrentX(500);
    z.setCurrentY(400);
    z.setHasGrid(true);
    z.setLocked(true);
    const QImage before = z.viewImage().copy();
    const int grabs = f.source.grabCount();

    z.setClrGridB(0x00FF00);
    QCOMPARE(f.source.grabCount(), grabs);
    const QImage& img = z.viewImage();
    const QRgb green = qRgb(0, 255, 0);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const bool lineB = (x % 3 == 0 || y % 3 == 0) && (x + y) % 2 == 1;
            const QRgb want = lineB ? green : opaque(before.pixel(x, y));
            if (opaque(img.pixel(x, y)) != want)
                QFAIL(qPrintable(QStringLiteral("pixel (%1,%2)").arg(x).arg(y)));
        }
    }
}

void TestBarsMarkers::arrowColourSets_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QRgb>("full"); // colour of palette index 7
    QTest::addColumn<QRgb>("edge"); // colour of palette index 5
    QTest::newRow("yellow") << 0 << qRgb(0xEF, 0xE6, 0x0D) << qRgb(0xB0, 0xAB, 0x15);
    QTest::newRow("red") << 1 << qRgb(0xEC, 0x22, 0x0D) << qRgb(0xAD, 0x24, 0x15);
    QTest::newRow("green") << 2 << qRgb(0x3F, 0xEE, 0x0D) << qRgb(0x36, 0xAF, 0x15);
    QTest::newRow("blue") << 3 << qRgb(0x0D, 0x76, 0xED) << qRgb(0x15, 0x5C, 0xAE);
}

void TestBarsMarkers::arrowColourSets() {
    QFETCH(int, value);
    QFETCH(QRgb, full);
    QFETCH(QRgb, edge);
    Zoom z;
    z.setArrowColor(value);
    QCOMPARE(z.ArrowColor(), value);
    for (int i = 0; i < 2; ++i) {
        // Top arrow: row 1 is 5 7 7 7 7 7 6, row 3 starts with the transparent index.
        const QImage top = argb(z.picArrowTop(i)->pixmap());
        QCOMPARE(top.size(), QSize(7, 7));
        QCOMPARE(top.pixel(3, 0), full);
        QCOMPARE(top.pixel(0, 0), edge);
        QCOMPARE(qAlpha(top.pixel(0, 2)), 0);
        // Left arrow: row 4 is 7 7 7 7 7 7 3, row 7 is 5 0 8 8 8 8 8.
        const QImage left = argb(z.picArrowLeft(i)->pixmap());
        QCOMPARE(left.size(), QSize(7, 7));
        QCOMPARE(left.pixel(2, 3), full);
        QCOMPARE(left.pixel(0, 6), edge);
        QCOMPARE(qAlpha(left.pixel(4, 6)), 0);
    }
}

void TestBarsMarkers::unknownArrowColourKeepsPictures_data() {
    QTest::addColumn<int>("value");
    QTest::newRow("7") << 7;
    QTest::newRow("-1") << -1;
    QTest::newRow("4") << 4;
}

void TestBarsMarkers::unknownArrowColourKeepsPictures() {
    QFETCH(int, value);
    Zoom z;
    z.setArrowColor(2);
    const QImage top = argb(z.picArrowTop(0)->pixmap());
    const QImage left = argb(z.picArrowLeft(1)->pixmap());
    QCOMPARE(top.pixel(3, 0), qRgb(0x3F, 0xEE, 0x0D));

    z.setArrowColor(value);
    QCOMPARE(z.ArrowColor(), value);
    QCOMPARE(argb(z.picArrowTop(0)->pixmap()), top);
    QCOMPARE(argb(z.picArrowTop(1)->pixmap()), top);
    QCOMPARE(argb(z.picArrowLeft(0)->pixmap()), left);
    QCOMPARE(argb(z.picArrowLeft(1)->pixmap()), left);

    // On a new control an unknown value leaves the built-in arrows.
    Zoom fresh;
    const QImage builtin = argb(fresh.picArrowTop(0)->pixmap());
    fresh.setArrowColor(value);
    QCOMPARE(argb(fresh.picArrowTop(0)->pixmap()), builtin);
}

void TestBarsMarkers::newControlShowsBuiltInArrows() {
    Zoom z;
    const QRgb dark = qRgb(0x99, 0x99, 0x33);
    const QRgb yellow = qRgb(0xFF, 0xFF, 0x00);
    for (int i = 0; i < 2; ++i) {
        // Built-in top arrow: row 1 all index 0, row 2 all index 1, row 3 starts with 2.
        const QImage top = argb(z.picArrowTop(i)->pixmap());
        QCOMPARE(top.size(), QSize(7, 7));
        QCOMPARE(top.pixel(3, 0), dark);
        QCOMPARE(top.pixel(3, 1), yellow);
        QCOMPARE(qAlpha(top.pixel(0, 2)), 0);
        QCOMPARE(top.pixel(3, 6), yellow);
        // Built-in left arrow: row 1 is 0 1 0 2 2 2 2.
        const QImage left = argb(z.picArrowLeft(i)->pixmap());
        QCOMPARE(left.size(), QSize(7, 7));
        QCOMPARE(left.pixel(0, 0), dark);
        QCOMPARE(left.pixel(1, 0), yellow);
        QCOMPARE(left.pixel(2, 0), dark);
        QCOMPARE(qAlpha(left.pixel(3, 0)), 0);
        QCOMPARE(left.pixel(6, 3), yellow);
        QCOMPARE(z.picArrowTop(i)->size(), QSize(7, 7));
        QCOMPARE(z.picArrowLeft(i)->size(), QSize(7, 7));
    }
}

QTEST_MAIN(TestBarsMarkers)
#include "test_bars_markers.moc"
