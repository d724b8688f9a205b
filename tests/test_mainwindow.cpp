// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The main window: layout, caption, popup menu, info bar, keyboard commands and the wheel.
#include "common/colortext.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "mainwindow/colorswatch.h"
#include "mainwindow/frmabout.h"
#include "mainwindow/frmmain.h"
#include "ocula_config.h"
#include "platform/filehive/filehivestorage.h"
#include "platform/memory/imagescreensource.h"
#include "platform/window.h"
#include "support/eventcounter.h"
#include "support/pattern.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

using namespace ocula;

namespace {

// The offscreen screen runs at 96 dpi: 1440 twips per inch make 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int kBarHeight = 330 / kTwipsPerPixel;
// Far from the window, so a tracking view keeps sampling instead of blanking.
const QPoint kCursor(100, 900);

// A registry of its own for each window, so every window starts as on a first run. It lives
// in memory-backed storage where there is one: the hive syncs every change to disk.
struct ScratchRegistry {
    ScratchRegistry()
        : dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                  ? QStringLiteral("/dev/shm/ocula-test-XXXXXX")
                  : QDir::tempPath() + QStringLiteral("/ocula-test-XXXXXX")),
          storage(dir.path()) {}
    QTemporaryDir dir;
    FileHiveStorage storage;
};

// A started main window over an in-memory desktop, brought to one known state whatever
// settings the start-up may have applied.
struct Started {
    Started() : source(test::makePatternDesktop(1280, 1024)), w(&source) {
        source.setCursorPos(kCursor);
        w.setRegistry(&registry.storage);
        w.Form_Load();
        w.show();
        w.setGeometry(200, 200, 400, 420);
        w.Zoom1->setShowBars(3);
        w.Zoom1->setShowMarkers(true);
        w.Zoom1->setFactor(6);
        w.Zoom1->setFollowMouse(true);
        w.Zoom1->setLocked(false);
        w.setTracking(true);
        if (!w.picInfobar->isVisibleTo(&w))
            w.toggleInfobar();
        if (!w.gShowCoords)
            w.toggleCoords();
    }

    // Fixed state: the view stays on (x, y) and the coordinate boxes are editable.
    void fix(int x, int y) {
        QTest::keyClick(w.Zoom1, Qt::Key_F);
        w.Zoom1->setCurrentX(x);
        w.Zoom1->setCurrentY(y);
    }

    QLineEdit* box(const QString& axis) const { return axis == u"x" ? w.txtX : w.txtY; }

    ScratchRegistry registry;
    ImageScreenSource source;
    frmMain w;
};

// The screen pixel a colour of the coordinate pattern stands for.
QPoint patternPixel(QRgb c) {
    return QPoint(((qBlue(c) >> 4) << 8) | qRed(c), ((qBlue(c) & 15) << 8) | qGreen(c));
}

QString caption(int factor) {
    return QStringLiteral("Ocula ( x ") + QString::number(factor) + QStringLiteral(" )");
}

void keyClicks(QWidget* target, const QStringList& keys) {
    for (const QString& k : keys) {
        if (k == u"Esc")
            QTest::keyClick(target, Qt::Key_Escape);
        else if (k == u"BS")
            QTest::keyClick(target, Qt::Key_Backspace);
        else if (k == u"F")
            QTest::keyClick(target, Qt::Key_F);
    }
}

void sendWheel(QWindow* window, QPoint local, QPoint angle,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWheelEvent ev(QPointF(local), QPointF(window->mapToGlobal(local)), QPoint(), angle,
                   Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QGuiApplication::sendEvent(window, &ev);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    // Start-up, caption and the layout step.
    void startUpSetsCaptionTopmostAndTracking();
    void infobarControlsPlacement_data();
    void infobarControlsPlacement();
    void viewTakesClientHeightLessBar_data();
    void viewTakesClientHeightLessBar();
    void clientShorterThanBarKeepsViewHeight_data();
    void clientShorterThanBarKeepsViewHeight();
    void coordsPanelStaysFlushRight_data();
    void coordsPanelStaysFlushRight();
    void hiddenCoordsPanelIsNotMovedUntilShown();
    void layoutRewritesDistancesOnlyWithBarVisible_data();
    void layoutRewritesDistancesOnlyWithBarVisible();
    void barRedrawsRewriteDistances();
    void markerEventsUpdateDistancesWithBarHidden();

    // Popup menu and the about box.
    void popupOpensOnRightButtonOnly_data();
    void popupOpensOnRightButtonOnly();
    void popupCheckMarkFollowsBarOnRealRightClick_data();
    void popupCheckMarkFollowsBarOnRealRightClick();
    void choosingInfobarTogglesBar();
    void aboutBoxIsModalUnderKeepOnTopRule_data();
    void aboutBoxIsModalUnderKeepOnTopRule();

    // Coordinate boxes.
    void editableBoxAcceptsOnlyDigits_data();
    void editableBoxAcceptsOnlyDigits();
    void controlCharactersPassTheFilter();
    void inputMethodTextIsFilteredToo();
    void pastedTextCommitsItsLeadingNumber();
    void enterCommitsLeadingNumber_data();
    void enterCommitsLeadingNumber();
    void committedCoordinatesMoveTheView();
    void enterInReadOnlyBoxChangesNothing_data();
    void enterInReadOnlyBoxChangesNothing();
    void focusLossShowsControlValue();
    void entrySurvivesFocusLeavingTheWindow_data();
    void entrySurvivesFocusLeavingTheWindow();

    // Tracking timer and the three states.
    void trackingTimerCopiesCentreIntoBoxes();
    void trackingRestsWithTheView();
    void stateTransitions_data();
    void stateTransitions();
    void freezeAndReleaseActOnKeyUp();

    // Keyboard commands.
    void keysReachViewAtStartUpAndTabOrder();
    void arrowsMoveCentre_data();
    void arrowsMoveCentre();
    void arrowsWithModifiersMoveMarkers_data();
    void arrowsWithModifiersMoveMarkers();
    void factorKeys_data();
    void factorKeys();
    void toggleKeys_data();
    void toggleKeys();
    void firstIHidesBarShownAtStartUp();
    void barsKey_data();
    void barsKey();

    // The colour panel: which pixel it reads, what is copied and saved, where it sits.
    void colorReadoutShowsTheViewsPixel_data();
    void colorReadoutShowsTheViewsPixel();
    void copiesAreWhatTheViewShows();
    void pinnedColorShowsContrast();
    void colorPanelFitsBetweenTheBoxes_data();
    void colorPanelFitsBetweenTheBoxes();
    void saveViewWritesWholeOrNothing();

    // Mouse wheel.
    void wheelStepsFactorOncePerEvent_data();
    void wheelStepsFactorOncePerEvent();
    void wheelEventStillReachesWidgets();
    void wheelIsIgnoredAfterUnload();
};

// ---------------------------------------------------------------------------------------
// Start-up, caption and the layout step

void TestMainWindow::startUpSetsCaptionTopmostAndTracking() {
    ScratchRegistry registry;
    ImageScreenSource source(test::makePatternDesktop(1280, 1024));
    frmMain w(&source);
    w.setRegistry(&registry.storage);
    QCOMPARE(w.windowTitle(), QStringLiteral("Ocula"));
    w.Form_Load();
    const int factor = w.Zoom1->Factor();
    QVERIFY(factor >= 1 && factor <= 100);
    QCOMPARE(w.windowTitle(), caption(factor));
    QCOMPARE(isTopmost(&w), w.gOnTop);
    // The coordinate boxes and their timer follow whether the view follows the cursor.
    const bool follow = w.Zoom1->FollowMouse();
    QCOMPARE(w.txtX->isReadOnly(), follow);
    QCOMPARE(w.txtY->isReadOnly(), follow);
    QCOMPARE(w.tmrMouse->isActive(), follow);
    w.Zoom1->setFactor(4);
    QCOMPARE(w.windowTitle(), QStringLiteral("Ocula ( x 4 )"));
}

void TestMainWindow::infobarControlsPlacement_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips"); // left, top, width, height; left -1 = not checked
    QTest::addColumn<QString>("text");
    QTest::newRow("lbl(0)") << "lbl0"
                            << "picInfobar" << QRect(45, 90, 510, 195) << "Width :";
    QTest::newRow("txtDistX") << "txtDistX"
                              << "picInfobar" << QRect(585, 30, 495, 300) << "";
    QTest::newRow("lbl(1)") << "lbl1"
                            << "picInfobar" << QRect(1290, 90, 555, 195) << "Height :";
    QTest::newRow("txtDistY") << "txtDistY"
                              << "picInfobar" << QRect(1875, 30, 495, 300) << "";
    QTest::newRow("picCoords") << "picCoords"
                               << "picInfobar" << QRect(-1, 30, 1770, 300) << "";
    QTest::newRow("lbl(2)") << "lbl2"
                            << "picCoords" << QRect(75, 60, 195, 195) << "X :";
    QTest::newRow("txtX") << "txtX"
                          << "picCoords" << QRect(300, 0, 495, 300) << "";
    QTest::newRow("lbl(3)") << "lbl3"
                            << "picCoords" << QRect(1050, 60, 195, 195) << "Y :";
    QTest::newRow("txtY") << "txtY"
                          << "picCoords" << QRect(1275, 0, 495, 300) << "";
}

void TestMainWindow::infobarControlsPlacement() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QFETCH(QString, text);
    Started s;
    const QMap<QString, QWidget*> widgets{
        {"lbl0", s.w.lbl[0]},         {"lbl1", s.w.lbl[1]},
        {"lbl2", s.w.lbl[2]},         {"lbl3", s.w.lbl[3]},
        {"txtDistX", s.w.txtDistX},   {"txtDistY", s.w.txtDistY},
        {"txtX", s.w.txtX},           {"txtY", s.w.txtY},
        {"picCoords", s.w.picCoords}, {"picInfobar", s.w.picInfobar}};
    QWidget* widget = widgets.value(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), widgets.value(parent));
    if (twips.left() >= 0)
        QCOMPARE(widget->x(), twips.left() / kTwipsPerPixel);
    QCOMPARE(widget->y(), twips.top() / kTwipsPerPixel);
    QCOMPARE(widget->width(), twips.width() / kTwipsPerPixel);
    QCOMPARE(widget->height(), twips.height() / kTwipsPerPixel);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), text);
        // The caption is readable whole within its fixed width.
        QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->width(), qPrintable(text));
    }
}

void TestMainWindow::viewTakesClientHeightLessBar_data() {
    QTest::addColumn<bool>("barShown");
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("clientHeight");
    QTest::newRow("bar shown") << true << 400 << 420;
    QTest::newRow("bar hidden") << false << 400 << 420;
    QTest::newRow("bar shown, wider and lower") << true << 640 << 300;
    QTest::newRow("bar shown, just the bar") << true << 300 << kBarHeight;
    QTest::newRow("bar hidden, tiny") << false << 300 << 10;
}

void TestMainWindow::viewTakesClientHeightLessBar() {
    QFETCH(bool, barShown);
    QFETCH(int, clientWidth);
    QFETCH(int, clientHeight);
    Started s;
    if (!barShown)
        s.w.toggleInfobar();
    s.w.resize(clientWidth, clientHeight);
    QCOMPARE(s.w.size(), QSize(clientWidth, clientHeight));
    QCOMPARE(s.w.Zoom1->geometry(),
             QRect(0, 0, clientWidth, clientHeight - (barShown ? kBarHeight : 0)));
    if (barShown) {
        QCOMPARE(s.w.picInfobar->geometry(),
                 QRect(0, clientHeight - kBarHeight, clientWidth, kBarHeight));
    }

    // The toggle runs the layout itself: the bar's height goes back and forth exactly,
    // unless the client is too short for the bar, when the view keeps its height.
    auto fitted = [&](bool shown, int previous) {
        const int h = clientHeight - (shown ? kBarHeight : 0);
        return h >= 0 ? h : previous;
    };
    int previous = s.w.Zoom1->height();
    s.w.toggleInfobar();
    QCOMPARE(s.w.Zoom1->height(), fitted(!barShown, previous));
    previous = s.w.Zoom1->height();
    s.w.toggleInfobar();
    QCOMPARE(s.w.Zoom1->height(), fitted(barShown, previous));
}

void TestMainWindow::clientShorterThanBarKeepsViewHeight_data() {
    QTest::addColumn<int>("shortHeight");
    QTest::newRow("one pixel less than the bar") << kBarHeight - 1;
    QTest::newRow("10") << 10;
    QTest::newRow("1") << 1;
}

void TestMainWindow::clientShorterThanBarKeepsViewHeight() {
    QFETCH(int, shortHeight);
    Started s;
    const int before = s.w.Zoom1->height();
    QCOMPARE(before, 420 - kBarHeight);
    s.w.resize(400, shortHeight);
    QCOMPARE(s.w.height(), shortHeight);
    QCOMPARE(s.w.Zoom1->height(), before);
    // Restoring runs the layout again and fits the view.
    s.w.resize(400, 500);
    QCOMPARE(s.w.Zoom1->height(), 500 - kBarHeight);
}

void TestMainWindow::coordsPanelStaysFlushRight_data() {
    QTest::addColumn<int>("clientWidth");
    QTest::newRow("start-up width") << 400;
    QTest::newRow("wider") << 700;
    QTest::newRow("narrower") << 250;
    QTest::newRow("narrower than the panel") << 100;
}

void TestMainWindow::coordsPanelStaysFlushRight() {
    QFETCH(int, clientWidth);
    Started s;
    s.w.resize(clientWidth, 420);
    QCOMPARE(s.w.picInfobar->width(), clientWidth);
    QCOMPARE(s.w.picCoords->x() + s.w.picCoords->width(), clientWidth);
    QCOMPARE(s.w.picCoords->y(), 30 / kTwipsPerPixel);
}

void TestMainWindow::hiddenCoordsPanelIsNotMovedUntilShown() {
    Started s;
    const int shownX = s.w.picCoords->x();
    QTest::keyClick(s.w.Zoom1, Qt::Key_C);
    QVERIFY(!s.w.gShowCoords);
    QVERIFY(s.w.picCoords->isHidden());
    s.w.resize(700, 420);
    QCOMPARE(s.w.picCoords->x(), shownX);
    s.w.resize(300, 420);
    QCOMPARE(s.w.picCoords->x(), shownX);
    // Showing it runs the layout, which puts it flush right at the current width.
    QTest::keyClick(s.w.Zoom1, Qt::Key_C);
    QVERIFY(s.w.gShowCoords);
    QVERIFY(s.w.picCoords->isVisible());
    QCOMPARE(s.w.picCoords->x() + s.w.picCoords->width(), 300);
}

void TestMainWindow::layoutRewritesDistancesOnlyWithBarVisible_data() {
    QTest::addColumn<bool>("barShown");
    QTest::newRow("bar shown") << true;
    QTest::newRow("bar hidden") << false;
}

void TestMainWindow::layoutRewritesDistancesOnlyWithBarVisible() {
    QFETCH(bool, barShown);
    Started s;
    if (!barShown)
        s.w.toggleInfobar();
    s.w.txtDistX->setText(QStringLiteral("stale"));
    s.w.txtDistY->setText(QStringLiteral("stale"));
    s.w.resize(520, 360);
    if (barShown) {
        QCOMPARE(s.w.txtDistX->text(), QString::number(s.w.Zoom1->DistanceX()));
        QCOMPARE(s.w.txtDistY->text(), QString::number(s.w.Zoom1->DistanceY()));
    } else {
        QCOMPARE(s.w.txtDistX->text(), QStringLiteral("stale"));
        QCOMPARE(s.w.txtDistY->text(), QStringLiteral("stale"));
    }
}

// Markers never placed are re-placed by every bar redraw: the boxes follow at once.
void TestMainWindow::barRedrawsRewriteDistances() {
    Started s;
    Zoom* z = s.w.Zoom1;
    const std::vector<std::function<void()>> redraws{
        [z] { z->setFactor(int16_t(z->Factor() + 2)); },
        [z] { z->setShowBars(2); },
        [z] { z->setShowMarkers(false); },
    };
    for (const auto& redraw : redraws) {
        s.w.txtDistX->setText(QStringLiteral("stale"));
        s.w.txtDistY->setText(QStringLiteral("stale"));
        redraw();
        QCOMPARE(s.w.txtDistX->text(), QString::number(z->DistanceX()));
        QCOMPARE(s.w.txtDistY->text(), QString::number(z->DistanceY()));
    }
}

void TestMainWindow::markerEventsUpdateDistancesWithBarHidden() {
    Started s;
    QTest::keyClick(s.w.Zoom1, Qt::Key_I);
    QVERIFY(s.w.picInfobar->isHidden());
    s.w.txtDistX->setText(QStringLiteral("stale"));
    s.w.txtDistY->setText(QStringLiteral("stale"));
    s.w.Zoom1->MarkerMove(2, 1);
    const int expectedX = std::abs(s.w.Zoom1->markerPosT(0) - s.w.Zoom1->markerPosT(1));
    QCOMPARE(s.w.txtDistX->text(), QString::number(expectedX));
    QCOMPARE(s.w.txtDistY->text(), QStringLiteral("stale"));
    // Showing the bar rewrites both from the control.
    QTest::keyClick(s.w.Zoom1, Qt::Key_I);
    QVERIFY(s.w.picInfobar->isVisible());
    QCOMPARE(s.w.txtDistX->text(), QString::number(s.w.Zoom1->DistanceX()));
    QCOMPARE(s.w.txtDistY->text(), QString::number(s.w.Zoom1->DistanceY()));
}

// ---------------------------------------------------------------------------------------
// Popup menu and the about box

void TestMainWindow::popupOpensOnRightButtonOnly_data() {
    QTest::addColumn<short>("button");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left") << short(1) << false;
    QTest::newRow("right") << short(2) << true;
    QTest::newRow("middle") << short(4) << false;
}

void TestMainWindow::popupOpensOnRightButtonOnly() {
    QFETCH(short, button);
    QFETCH(bool, opens);
    Started s;
    emit s.w.Zoom1->MouseUp(button, 0, 50, 60);
    QCOMPARE(s.w.mnuOptionsTop->isVisible(), opens);
    if (!opens)
        return;
    // The control sits at the client origin, so its coordinates are client coordinates.
    QCOMPARE(s.w.mnuOptionsTop->pos(), s.w.mapToGlobal(QPoint(50, 60)));
    const QList<QAction*> items = s.w.mnuOptionsTop->actions();
    QCOMPARE(items.size(), 10);
    QCOMPARE(items[0], s.w.mnuInfobar);
    QCOMPARE(items[0]->text(), QStringLiteral("Infobar"));
    QVERIFY(items[0]->isCheckable());
    // The inspector's items follow Infobar, each with the key that does the same.
    const std::vector<std::pair<QAction*, QString>> inspector{
        {s.w.mnuCopyColor, "Copy Colour\tK"},
        {s.w.mnuCopyRgb, "Copy Colour as RGB\tShift+K"},
        {s.w.mnuCopyView, "Copy View\tV"},
        {s.w.mnuCopyPixels, "Copy Pixels\tShift+V"},
        {s.w.mnuSaveView, "Save View As...\t"}};
    for (size_t i = 0; i < inspector.size(); ++i) {
        QCOMPARE(items[qsizetype(i) + 1], inspector[i].first);
        QCOMPARE(items[qsizetype(i) + 1]->text() + QLatin1Char('\t') +
                     items[qsizetype(i) + 1]->shortcut().toString(),
                 inspector[i].second);
    }
    QVERIFY(items[6]->isSeparator());
    QCOMPARE(items[7], s.w.mnuOptions);
    QCOMPARE(items[7]->text(), QStringLiteral("Options"));
    QVERIFY(items[8]->isSeparator());
    QCOMPARE(items[9], s.w.mnuAbout);
    QCOMPARE(items[9]->text(), QStringLiteral("About"));
    s.w.mnuOptionsTop->hide();
}

void TestMainWindow::popupCheckMarkFollowsBarOnRealRightClick_data() {
    QTest::addColumn<bool>("barShown");
    QTest::newRow("bar shown: checked") << true;
    QTest::newRow("bar hidden: unchecked") << false;
}

void TestMainWindow::popupCheckMarkFollowsBarOnRealRightClick() {
    QFETCH(bool, barShown);
    Started s;
    // Hidden behind the toggle's back, the way the options dialog would.
    s.w.picInfobar->setVisible(barShown);
    s.w.mnuInfobar->setChecked(!barShown);
    ZoomArea* view = s.w.Zoom1->picZoom()->client();
    QSignalSpy mouseUp(s.w.Zoom1, &Zoom::MouseUp);
    const QPoint pointer = view->rect().center();
    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, pointer);
    QVERIFY(s.w.mnuOptionsTop->isVisible());
    QCOMPARE(s.w.mnuInfobar->isChecked(), barShown);
    // At the position the control reports, which is where the pointer is.
    QCOMPARE(mouseUp.size(), 1);
    const QPoint reported(int(mouseUp[0][2].toFloat()), int(mouseUp[0][3].toFloat()));
    QCOMPARE(s.w.mnuOptionsTop->pos(), s.w.mapToGlobal(reported));
    QVERIFY((s.w.mnuOptionsTop->pos() - view->mapToGlobal(pointer)).manhattanLength() <= 4);
    s.w.mnuOptionsTop->hide();
}

void TestMainWindow::choosingInfobarTogglesBar() {
    Started s;
    for (bool expectShown : {false, true}) {
        emit s.w.Zoom1->MouseUp(2, 0, 40, 40);
        QMenu* menu = s.w.mnuOptionsTop;
        QVERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                          menu->actionGeometry(s.w.mnuInfobar).center());
        QVERIFY(!menu->isVisible());
        QCOMPARE(s.w.picInfobar->isVisible(), expectShown);
        QCOMPARE(s.w.mnuInfobar->isChecked(), expectShown);
        QCOMPARE(s.w.Zoom1->height(), 420 - (expectShown ? kBarHeight : 0));
    }
}

void TestMainWindow::aboutBoxIsModalUnderKeepOnTopRule_data() {
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<bool>("topmostBefore");
    QTest::newRow("on top") << true << true;
    QTest::newRow("not on top, window still topmost") << false << true;
    QTest::newRow("not on top, window normal") << false << false;
}

void TestMainWindow::aboutBoxIsModalUnderKeepOnTopRule() {
    QFETCH(bool, onTop);
    QFETCH(bool, topmostBefore);
    Started s;
    s.w.gOnTop = onTop;
    setTopmost(&s.w, topmostBefore);
    QCOMPARE(isTopmost(&s.w), topmostBefore);
    const QRect geometry = s.w.geometry();
    QWindow* handle = s.w.windowHandle();

    bool aboutWasModal = false;
    bool topmostWhileOpen = true;
    QStringList lines;
    bool everyLineFits = false;
    QTimer::singleShot(0, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        aboutWasModal = qobject_cast<frmAbout*>(modal) != nullptr;
        topmostWhileOpen = isTopmost(&s.w);
        if (modal) {
            everyLineFits = true;
            for (const QLabel* label : modal->findChildren<QLabel*>()) {
                lines << label->text();
                everyLineFits = everyLineFits && label->width() >= label->sizeHint().width() &&
                                label->height() >= label->sizeHint().height();
            }
            QTest::keyClick(modal, Qt::Key_Escape);
            return;
        }
        // Never leave the test hanging in the dialog's loop.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* about = qobject_cast<frmAbout*>(top); about && about->isVisible())
                about->reject();
    });
    s.w.mnuAbout->trigger();

    QVERIFY(aboutWasModal);
    QVERIFY(!topmostWhileOpen);
    // What the box tells, each line whole.
    for (const char* part :
         {"Version " OCULA_VERSION, "A pixel magnifier", "Copyright (c) 2026 The Ocula authors",
          "MIT licence", "man ocula", "README"})
        QVERIFY2(lines.join(u'\n').contains(QLatin1String(part)), part);
    QVERIFY(everyLineFits);
    QCOMPARE(isTopmost(&s.w), onTop);
    // Neither moved, resized, hidden nor recreated.
    QCOMPARE(s.w.geometry(), geometry);
    QVERIFY(s.w.isVisible());
    QCOMPARE(s.w.windowHandle(), handle);
}

// ---------------------------------------------------------------------------------------
// Coordinate boxes

void TestMainWindow::editableBoxAcceptsOnlyDigits_data() {
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("x digits") << "x"
                              << "1280"
                              << "1280";
    QTest::newRow("x letters") << "x"
                               << "abc"
                               << "";
    QTest::newRow("x minus sign") << "x"
                                  << "-12"
                                  << "12";
    QTest::newRow("x mixed") << "x"
                             << "1a2B3z"
                             << "123";
    QTest::newRow("x decimal point") << "x"
                                     << "2.5"
                                     << "25";
    QTest::newRow("x blank and plus") << "x"
                                      << "+7 8"
                                      << "78";
    QTest::newRow("y digits") << "y"
                              << "0987654321"
                              << "0987654321";
    QTest::newRow("y letters and minus") << "y"
                                         << "-y-"
                                         << "";
}

void TestMainWindow::editableBoxAcceptsOnlyDigits() {
    QFETCH(QString, axis);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Started s;
    s.fix(640, 512);
    QLineEdit* box = s.box(axis);
    QVERIFY(!box->isReadOnly());
    box->clear();
    for (QChar c : typed) {
        // QTest knows ASCII keys only; other characters arrive as a key with just a text.
        const Qt::Key key = c.unicode() < 128 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &release);
    }
    QCOMPARE(box->text(), shown);
}

void TestMainWindow::controlCharactersPassTheFilter() {
    Started s;
    s.fix(640, 512);
    QLineEdit* box = s.w.txtX;
    box->clear();
    QTest::keyClicks(box, QStringLiteral("123"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("12"));

    // Ctrl+V as X11 and Windows report it: the character is the control code 22.
    QGuiApplication::clipboard()->setText(QStringLiteral("7x"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QApplication::sendEvent(box, &press);
    QCOMPARE(box->text(), QStringLiteral("127x"));

    // Select all (Ctrl+A, code 1) and cut (Ctrl+X, code 24) are clipboard keys as well.
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
    QApplication::sendEvent(box, &selectAll);
    QKeyEvent cut(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier, QStringLiteral("\x18"));
    QApplication::sendEvent(box, &cut);
    QCOMPARE(box->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("127x"));
}

void TestMainWindow::inputMethodTextIsFilteredToo() {
    // Characters composed by an input method arrive as committed text, not as key presses.
    Started s;
    s.fix(640, 512);
    QLineEdit* box = s.w.txtY;
    box->clear();
    QInputMethodEvent compose;
    compose.setCommitString(QStringLiteral("4a-\u00e9"));
    QApplication::sendEvent(box, &compose);
    QCOMPARE(box->text(), QStringLiteral("4"));
}

void TestMainWindow::pastedTextCommitsItsLeadingNumber() {
    Started s;
    s.fix(640, 512);
    QLineEdit* box = s.w.txtX;
    box->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("12abc"));
    QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(box->text(), QStringLiteral("12abc"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(s.w.Zoom1->CurrentX(), 12);
    QCOMPARE(s.w.Zoom1->CurrentY(), 512);
}

void TestMainWindow::enterCommitsLeadingNumber_data() {
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected"); // -1: the value stays where it was
    const int ret = Qt::Key_Return;
    QTest::newRow("x 300") << "x"
                           << "300" << ret << 300;
    QTest::newRow("x 300, keypad Enter") << "x"
                                         << "300" << int(Qt::Key_Enter) << 300;
    QTest::newRow("x 12abc") << "x"
                             << "12abc" << ret << 12;
    QTest::newRow("x letters only") << "x"
                                    << "abc" << ret << 0;
    QTest::newRow("x empty") << "x"
                             << "" << ret << 0;
    QTest::newRow("x 2.5 to even") << "x"
                                   << "2.5" << ret << 2;
    QTest::newRow("x 3.5 to even") << "x"
                                   << "3.5" << ret << 4;
    QTest::newRow("x screen width") << "x"
                                    << "1280" << ret << 1280;
    QTest::newRow("x beyond screen") << "x"
                                     << "1281" << ret << -1;
    QTest::newRow("x negative") << "x"
                                << "-3" << ret << -1;
    QTest::newRow("x beyond 32 bits") << "x"
                                      << "99999999999" << ret << -1;
    QTest::newRow("x just beyond 32 bits") << "x"
                                           << "2147483648" << ret << -1;
    QTest::newRow("y 300") << "y"
                           << "300" << ret << 300;
    QTest::newRow("y screen height") << "y"
                                     << "1024" << ret << 1024;
    QTest::newRow("y beyond screen") << "y"
                                     << "1025" << ret << -1;
    QTest::newRow("y beyond 32 bits") << "y"
                                      << "99999999999" << ret << -1;
}

void TestMainWindow::enterCommitsLeadingNumber() {
    QFETCH(QString, axis);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(int, expected);
    Started s;
    s.fix(640, 512);
    QLineEdit* box = s.box(axis);
    box->setText(text);
    QTest::keyClick(box, Qt::Key(key));
    const bool isX = axis == u"x";
    const int start = isX ? 640 : 512;
    QCOMPARE(isX ? s.w.Zoom1->CurrentX() : s.w.Zoom1->CurrentY(), expected < 0 ? start : expected);
    // The other coordinate is untouched and the box keeps what was typed.
    QCOMPARE(isX ? s.w.Zoom1->CurrentY() : s.w.Zoom1->CurrentX(), isX ? 512 : 640);
    QCOMPARE(box->text(), text);
}

void TestMainWindow::committedCoordinatesMoveTheView() {
    Started s;
    s.w.Zoom1->setHasGrid(false);
    s.fix(640, 512);
    s.w.txtX->setText(QStringLiteral("300"));
    QTest::keyClick(s.w.txtX, Qt::Key_Return);
    s.w.txtY->setText(QStringLiteral("200"));
    QTest::keyClick(s.w.txtY, Qt::Key_Return);
    // The centre pixel's block starts at Floor(W / F / 2) * F; look at its middle.
    const QImage& view = s.w.Zoom1->viewImage();
    const int f = s.w.Zoom1->Factor();
    QVERIFY(view.width() >= f && view.height() >= f);
    const QPoint centre(view.width() / f / 2 * f + f / 2, view.height() / f / 2 * f + f / 2);
    QCOMPARE(view.pixel(centre), test::patternColor(300, 200));
    // A value beyond 32 bits leaves the view where it was.
    s.w.txtX->setText(QStringLiteral("99999999999"));
    QTest::keyClick(s.w.txtX, Qt::Key_Return);
    QCOMPARE(s.w.Zoom1->viewImage().pixel(centre), test::patternColor(300, 200));
}

void TestMainWindow::enterInReadOnlyBoxChangesNothing_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("tracking") << QStringList{};
    QTest::newRow("tracking boxes over a frozen view") << QStringList{"Esc", "F", "F"};
}

void TestMainWindow::enterInReadOnlyBoxChangesNothing() {
    QFETCH(QStringList, keys);
    Started s;
    keyClicks(s.w.Zoom1, keys);
    s.w.Zoom1->Redraw();
    const int x = s.w.Zoom1->CurrentX();
    const int y = s.w.Zoom1->CurrentY();
    QVERIFY(s.w.txtX->isReadOnly());
    QVERIFY(s.w.txtY->isReadOnly());
    s.w.txtX->setText(QStringLiteral("300"));
    s.w.txtY->setText(QStringLiteral("200"));
    QTest::keyClick(s.w.txtX, Qt::Key_Return);
    QTest::keyClick(s.w.txtY, Qt::Key_Return);
    QCOMPARE(s.w.Zoom1->CurrentX(), x);
    QCOMPARE(s.w.Zoom1->CurrentY(), y);
}

void TestMainWindow::focusLossShowsControlValue() {
    Started s;
    s.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.w));
    s.fix(640, 512);

    // An uncommitted entry is discarded when the box loses the focus.
    s.w.txtX->setFocus();
    QVERIFY(s.w.txtX->hasFocus());
    s.w.txtX->clear();
    QTest::keyClicks(s.w.txtX, QStringLiteral("123"));
    s.w.Zoom1->setFocus();
    QCOMPARE(s.w.txtX->text(), QStringLiteral("640"));

    // A committed value beyond the screen stays in the box until the focus goes.
    s.w.txtY->setFocus();
    s.w.txtY->clear();
    QTest::keyClicks(s.w.txtY, QStringLiteral("5000"));
    QTest::keyClick(s.w.txtY, Qt::Key_Return);
    QCOMPARE(s.w.Zoom1->CurrentY(), 512);
    QCOMPARE(s.w.txtY->text(), QStringLiteral("5000"));
    s.w.txtX->setFocus();
    QCOMPARE(s.w.txtY->text(), QStringLiteral("512"));
    QCOMPARE(s.w.txtX->text(), QStringLiteral("640"));
}

void TestMainWindow::entrySurvivesFocusLeavingTheWindow_data() {
    QTest::addColumn<bool>("contextMenu");
    QTest::newRow("another window is activated") << false;
    QTest::newRow("the box's own context menu opens") << true;
}

void TestMainWindow::entrySurvivesFocusLeavingTheWindow() {
    // Only moving to another control of the window discards the entry: the box keeps its
    // focus within the window while the user looks at another one or pastes from its menu.
    QFETCH(bool, contextMenu);
    Started s;
    s.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.w));
    s.fix(640, 512);
    s.w.txtX->setFocus();
    s.w.txtX->clear();
    QTest::keyClicks(s.w.txtX, QStringLiteral("123"));

    QWidget other;
    if (contextMenu) {
        const QPoint at = s.w.txtX->rect().center();
        QContextMenuEvent ev(QContextMenuEvent::Mouse, at, s.w.txtX->mapToGlobal(at));
        QApplication::sendEvent(s.w.txtX, &ev);
        QVERIFY(QApplication::activePopupWidget() != nullptr);
    } else {
        other.setGeometry(700, 100, 100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    }
    QCOMPARE(s.w.txtX->text(), QStringLiteral("123"));

    if (contextMenu) {
        QApplication::activePopupWidget()->close();
    } else {
        s.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&s.w));
    }
    QVERIFY(s.w.txtX->hasFocus());
    QCOMPARE(s.w.txtX->text(), QStringLiteral("123"));
    QTest::keyClick(s.w.txtX, Qt::Key_Return);
    QCOMPARE(s.w.Zoom1->CurrentX(), 123);
}

// ---------------------------------------------------------------------------------------
// Tracking timer and the three states

void TestMainWindow::trackingTimerCopiesCentreIntoBoxes() {
    Started s;
    QCOMPARE(s.w.tmrMouse->interval(), 180);
    QVERIFY(s.w.tmrMouse->isActive());
    s.w.txtX->setText(QStringLiteral("stale"));
    s.w.txtY->setText(QStringLiteral("stale"));
    QTRY_COMPARE(s.w.txtX->text(), QString::number(kCursor.x()));
    QTRY_COMPARE(s.w.txtY->text(), QString::number(kCursor.y()));
}

// While the view rests the pointer is still: the coordinates are not polled either, and
// polling resumes when the pointer moves.
void TestMainWindow::trackingRestsWithTheView() {
    Started s;
    s.source.setReportsChanges(true);
    QTRY_VERIFY_WITH_TIMEOUT(s.w.Zoom1->isResting(), 10000);
    QVERIFY(!s.w.tmrMouse->isActive());
    QCOMPARE(s.w.txtX->text(), QString::number(kCursor.x()));
    // A centre stepped by a key while resting goes back to the pointer, and so does its box.
    QTest::keyClick(s.w.Zoom1, Qt::Key_Left);
    QCOMPARE(s.w.txtX->text(), QString::number(kCursor.x() + 1));
    QTRY_COMPARE(s.w.txtX->text(), QString::number(kCursor.x()));
    s.source.setCursorPos(kCursor + QPoint(7, 9));
    QTRY_VERIFY(s.w.tmrMouse->isActive());
    QTRY_COMPARE(s.w.txtX->text(), QString::number(kCursor.x() + 7));
    QTRY_COMPARE(s.w.txtY->text(), QString::number(kCursor.y() + 9));
}

void TestMainWindow::stateTransitions_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("follow");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("tracking"); // boxes read-only and tmrMouse running
    QTest::newRow("start-up: tracking") << QStringList{} << true << false << true;
    QTest::newRow("Esc: frozen") << QStringList{"Esc"} << true << true << false;
    QTest::newRow("Esc twice: still frozen") << QStringList{"Esc", "Esc"} << true << true << false;
    QTest::newRow("Esc BS: tracking") << QStringList{"Esc", "BS"} << true << false << true;
    QTest::newRow("F: fixed") << QStringList{"F"} << false << false << false;
    QTest::newRow("F F: tracking") << QStringList{"F", "F"} << true << false << true;
    QTest::newRow("Esc F: fixed, view stays locked")
        << QStringList{"Esc", "F"} << false << true << false;
    QTest::newRow("Esc F F: tracking boxes, view stays locked")
        << QStringList{"Esc", "F", "F"} << true << true << true;
    QTest::newRow("Esc F F BS: tracking")
        << QStringList{"Esc", "F", "F", "BS"} << true << false << true;
    QTest::newRow("F Esc: Esc does nothing") << QStringList{"F", "Esc"} << false << false << false;
    QTest::newRow("Esc F BS: Backspace does nothing")
        << QStringList{"Esc", "F", "BS"} << false << true << false;
}

void TestMainWindow::stateTransitions() {
    QFETCH(QStringList, keys);
    QFETCH(bool, follow);
    QFETCH(bool, locked);
    QFETCH(bool, tracking);
    Started s;
    keyClicks(s.w.Zoom1, keys);
    QCOMPARE(s.w.Zoom1->FollowMouse(), follow);
    QCOMPARE(s.w.Zoom1->Locked(), locked);
    QCOMPARE(s.w.txtX->isReadOnly(), tracking);
    QCOMPARE(s.w.txtY->isReadOnly(), tracking);
    QCOMPARE(s.w.tmrMouse->isActive(), tracking);
    QVERIFY(s.w.txtDistX->isReadOnly());
    QVERIFY(s.w.txtDistY->isReadOnly());
}

void TestMainWindow::freezeAndReleaseActOnKeyUp() {
    Started s;
    // The release of a key pressed elsewhere (an Esc that closed a dialog) does nothing.
    QTest::keyRelease(s.w.Zoom1, Qt::Key_Escape);
    QVERIFY(!s.w.Zoom1->Locked());
    QTest::keyPress(s.w.Zoom1, Qt::Key_Escape);
    QVERIFY(!s.w.Zoom1->Locked());
    QVERIFY(s.w.tmrMouse->isActive());
    QTest::keyRelease(s.w.Zoom1, Qt::Key_Escape);
    QVERIFY(s.w.Zoom1->Locked());
    QVERIFY(!s.w.tmrMouse->isActive());
    QVERIFY(!s.w.txtX->isReadOnly());

    QTest::keyPress(s.w.Zoom1, Qt::Key_Backspace);
    QVERIFY(s.w.Zoom1->Locked());
    QVERIFY(!s.w.tmrMouse->isActive());
    QTest::keyRelease(s.w.Zoom1, Qt::Key_Backspace);
    QVERIFY(!s.w.Zoom1->Locked());
    QVERIFY(s.w.tmrMouse->isActive());
    QVERIFY(s.w.txtX->isReadOnly());
}

// ---------------------------------------------------------------------------------------
// Keyboard commands

void TestMainWindow::keysReachViewAtStartUpAndTabOrder() {
    Started s;
    s.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(s.w.Zoom1));
    const bool grid = s.w.Zoom1->HasGrid();
    QTest::keyClick(s.w.windowHandle(), Qt::Key_G);
    QCOMPARE(s.w.Zoom1->HasGrid(), !grid);

    const QList<QWidget*> order{s.w.txtDistX, s.w.txtDistY, s.w.txtX, s.w.txtY};
    for (QWidget* next : order) {
        QTest::keyClick(s.w.windowHandle(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestMainWindow::arrowsMoveCentre_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::newRow("Left increases X") << int(Qt::Key_Left) << QPoint(640, 512) << QPoint(641, 512);
    QTest::newRow("Right decreases X")
        << int(Qt::Key_Right) << QPoint(640, 512) << QPoint(639, 512);
    QTest::newRow("Up increases Y") << int(Qt::Key_Up) << QPoint(640, 512) << QPoint(640, 513);
    QTest::newRow("Down decreases Y") << int(Qt::Key_Down) << QPoint(640, 512) << QPoint(640, 511);
    QTest::newRow("Left at the right edge")
        << int(Qt::Key_Left) << QPoint(1280, 5) << QPoint(1280, 5);
    QTest::newRow("Right at the left edge") << int(Qt::Key_Right) << QPoint(0, 5) << QPoint(0, 5);
    QTest::newRow("Up at the bottom edge") << int(Qt::Key_Up) << QPoint(5, 1024) << QPoint(5, 1024);
    QTest::newRow("Down at the top edge") << int(Qt::Key_Down) << QPoint(5, 0) << QPoint(5, 0);
}

void TestMainWindow::arrowsMoveCentre() {
    QFETCH(int, key);
    QFETCH(QPoint, start);
    QFETCH(QPoint, end);
    Started s;
    s.fix(start.x(), start.y());
    s.w.txtX->setText(QStringLiteral("stale"));
    s.w.txtY->setText(QStringLiteral("stale"));
    const int16_t markers[4] = {s.w.Zoom1->markerPosL(0), s.w.Zoom1->markerPosL(1),
                                s.w.Zoom1->markerPosT(0), s.w.Zoom1->markerPosT(1)};
    QTest::keyClick(s.w.Zoom1, Qt::Key(key));
    QCOMPARE(QPoint(s.w.Zoom1->CurrentX(), s.w.Zoom1->CurrentY()), end);
    const bool horizontal = key == Qt::Key_Left || key == Qt::Key_Right;
    QCOMPARE(s.w.txtX->text(), horizontal ? QString::number(end.x()) : QStringLiteral("stale"));
    QCOMPARE(s.w.txtY->text(), horizontal ? QStringLiteral("stale") : QString::number(end.y()));
    QCOMPARE(s.w.Zoom1->markerPosL(0), markers[0]);
    QCOMPARE(s.w.Zoom1->markerPosL(1), markers[1]);
    QCOMPARE(s.w.Zoom1->markerPosT(0), markers[2]);
    QCOMPARE(s.w.Zoom1->markerPosT(1), markers[3]);
}

void TestMainWindow::arrowsWithModifiersMoveMarkers_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QList<int>>("delta"); // left 0, left 1, top 0, top 1
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers alt = Qt::AltModifier;
    QTest::newRow("Shift+Left") << int(Qt::Key_Left) << shift << QList<int>{0, 0, -1, 0};
    QTest::newRow("Shift+Right") << int(Qt::Key_Right) << shift << QList<int>{0, 0, 1, 0};
    QTest::newRow("Ctrl+Left") << int(Qt::Key_Left) << ctrl << QList<int>{0, 0, 0, -1};
    QTest::newRow("Ctrl+Right") << int(Qt::Key_Right) << ctrl << QList<int>{0, 0, 0, 1};
    QTest::newRow("Shift+Up") << int(Qt::Key_Up) << shift << QList<int>{-1, 0, 0, 0};
    QTest::newRow("Shift+Down") << int(Qt::Key_Down) << shift << QList<int>{1, 0, 0, 0};
    QTest::newRow("Ctrl+Up") << int(Qt::Key_Up) << ctrl << QList<int>{0, -1, 0, 0};
    QTest::newRow("Ctrl+Down") << int(Qt::Key_Down) << ctrl << QList<int>{0, 1, 0, 0};
    QTest::newRow("Shift+Ctrl+Left")
        << int(Qt::Key_Left) << (shift | ctrl) << QList<int>{0, 0, 0, 0};
    QTest::newRow("Shift+Ctrl+Down")
        << int(Qt::Key_Down) << (shift | ctrl) << QList<int>{0, 0, 0, 0};
    QTest::newRow("Alt+Left") << int(Qt::Key_Left) << alt << QList<int>{0, 0, 0, 0};
    QTest::newRow("Alt+Up") << int(Qt::Key_Up) << alt << QList<int>{0, 0, 0, 0};
    QTest::newRow("Shift+Alt+Right")
        << int(Qt::Key_Right) << (shift | alt) << QList<int>{0, 0, 0, 0};
    QTest::newRow("Ctrl+Alt+Down") << int(Qt::Key_Down) << (ctrl | alt) << QList<int>{0, 0, 0, 0};
}

void TestMainWindow::arrowsWithModifiersMoveMarkers() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QList<int>, delta);
    Started s;
    s.fix(640, 512);
    Zoom* z = s.w.Zoom1;
    // Every marker a few pixels inside its bar, so that it can move either way.
    for (int i = 0; i < 5; ++i) {
        z->MarkerMove(0, 1);
        z->MarkerMove(1, 0);
        z->MarkerMove(2, 1);
        z->MarkerMove(3, 0);
    }
    const QList<int> before{z->markerPosL(0), z->markerPosL(1), z->markerPosT(0), z->markerPosT(1)};
    QVERIFY(before[0] > 0 && before[0] < before[1] && before[1] < z->SizeY());
    QVERIFY(before[2] > 0 && before[2] < before[3] && before[3] < z->SizeX());
    s.w.txtDistX->setText(QStringLiteral("stale"));
    s.w.txtDistY->setText(QStringLiteral("stale"));

    QTest::keyClick(z, Qt::Key(key), modifiers);

    const QList<int> after{z->markerPosL(0), z->markerPosL(1), z->markerPosT(0), z->markerPosT(1)};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(after[i] - before[i], delta[i]);
    QCOMPARE(z->CurrentX(), 640);
    QCOMPARE(z->CurrentY(), 512);
    const bool leftMoved = delta[0] != 0 || delta[1] != 0;
    const bool topMoved = delta[2] != 0 || delta[3] != 0;
    QCOMPARE(s.w.txtDistY->text(),
             leftMoved ? QString::number(std::abs(after[0] - after[1])) : QStringLiteral("stale"));
    QCOMPARE(s.w.txtDistX->text(),
             topMoved ? QString::number(std::abs(after[2] - after[3])) : QStringLiteral("stale"));
}

void TestMainWindow::factorKeys_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expected");
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
    const int plus = Qt::Key_Plus, minus = Qt::Key_Minus, star = Qt::Key_Asterisk;
    QTest::newRow("keypad + at 6") << 6 << plus << pad << 7;
    QTest::newRow("keypad + at 99") << 99 << plus << pad << 100;
    QTest::newRow("keypad + at 100") << 100 << plus << pad << 100;
    QTest::newRow("keypad - at 6") << 6 << minus << pad << 5;
    QTest::newRow("keypad - at 2") << 2 << minus << pad << 1;
    QTest::newRow("keypad - at 1") << 1 << minus << pad << 1;
    QTest::newRow("keypad * at 6") << 6 << star << pad << 10;
    QTest::newRow("keypad * at 100") << 100 << star << pad << 10;
    QTest::newRow("keypad * at 1") << 1 << star << pad << 10;
    QTest::newRow("Ctrl+keypad +") << 6 << plus << (pad | Qt::ControlModifier) << 7;
    QTest::newRow("Alt+keypad -") << 6 << minus << (pad | Qt::AltModifier) << 5;
    QTest::newRow("Shift+Ctrl+keypad *")
        << 6 << star << (pad | Qt::ShiftModifier | Qt::ControlModifier) << 10;
    QTest::newRow("main keyboard +") << 6 << plus << Qt::KeyboardModifiers() << 6;
    QTest::newRow("main keyboard -") << 6 << minus << Qt::KeyboardModifiers() << 6;
    QTest::newRow("main keyboard *") << 6 << star << Qt::KeyboardModifiers(Qt::ShiftModifier) << 6;
}

void TestMainWindow::factorKeys() {
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expected);
    Started s;
    s.w.Zoom1->setFactor(int16_t(start));
    QTest::keyClick(s.w.Zoom1, Qt::Key(key), modifiers);
    QCOMPARE(int(s.w.Zoom1->Factor()), expected);
    QCOMPARE(s.w.windowTitle(), caption(expected));
}

void TestMainWindow::toggleKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const Qt::KeyboardModifiers none, alt = Qt::AltModifier;
    const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    for (const auto& [name, key] : {std::pair{"I", Qt::Key_I}, std::pair{"C", Qt::Key_C},
                                    std::pair{"G", Qt::Key_G}, std::pair{"M", Qt::Key_M}}) {
        QTest::addRow("%s", name) << int(key) << none;
        QTest::addRow("Alt+%s", name) << int(key) << alt;
        QTest::addRow("Shift+Ctrl+Alt+%s", name) << int(key) << all;
    }
    QTest::newRow("Shift+G") << int(Qt::Key_G) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+M") << int(Qt::Key_M) << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void TestMainWindow::toggleKeys() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Started s;
    frmMain& w = s.w;
    auto state = [&]() -> bool {
        switch (key) {
        case Qt::Key_I:
            return w.picInfobar->isVisible();
        case Qt::Key_C:
            return w.gShowCoords;
        case Qt::Key_G:
            return w.Zoom1->HasGrid();
        default:
            return w.Zoom1->ShowMarkers();
        }
    };
    const bool initial = state();
    for (bool expected : {!initial, initial}) {
        QTest::keyClick(w.Zoom1, Qt::Key(key), modifiers);
        QCOMPARE(state(), expected);
        if (key == Qt::Key_I) {
            QCOMPARE(w.mnuInfobar->isChecked(), expected);
            QCOMPARE(w.Zoom1->height(), w.height() - (expected ? kBarHeight : 0));
        } else if (key == Qt::Key_C) {
            QCOMPARE(w.picCoords->isVisible(), expected);
            QCOMPARE(w.txtX->isVisible(), expected);
            QCOMPARE(w.lbl[3]->isVisible(), expected);
        }
    }
}

void TestMainWindow::firstIHidesBarShownAtStartUp() {
    ScratchRegistry registry;
    ImageScreenSource source(test::makePatternDesktop(1280, 1024));
    frmMain w(&source);
    w.setRegistry(&registry.storage);
    w.Form_Load();
    w.show();
    const bool shown = w.picInfobar->isVisible();
    QTest::keyClick(w.Zoom1, Qt::Key_I);
    QCOMPARE(w.picInfobar->isVisible(), !shown);
    QCOMPARE(w.mnuInfobar->isChecked(), !shown);

    // A bar hidden without the toggle is shown by the next I.
    w.picInfobar->setVisible(false);
    QTest::keyClick(w.Zoom1, Qt::Key_I);
    QVERIFY(w.picInfobar->isVisible());
    QVERIFY(w.mnuInfobar->isChecked());
}

void TestMainWindow::barsKey_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expected");
    QTest::newRow("none -> both") << 0 << Qt::KeyboardModifiers() << 3;
    QTest::newRow("left only -> both") << 1 << Qt::KeyboardModifiers() << 3;
    QTest::newRow("top only -> both") << 2 << Qt::KeyboardModifiers() << 3;
    QTest::newRow("both -> none") << 3 << Qt::KeyboardModifiers() << 0;
    QTest::newRow("Alt, left only -> both") << 1 << Qt::KeyboardModifiers(Qt::AltModifier) << 3;
    QTest::newRow("Ctrl, both -> none") << 3 << Qt::KeyboardModifiers(Qt::ControlModifier) << 0;
}

void TestMainWindow::barsKey() {
    QFETCH(int, start);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expected);
    Started s;
    s.w.Zoom1->setShowBars(start);
    QTest::keyClick(s.w.Zoom1, Qt::Key_B, modifiers);
    QCOMPARE(s.w.Zoom1->ShowBars(), expected);
    QCOMPARE(s.w.Zoom1->picLeft()->isVisible(), expected == 3);
    QCOMPARE(s.w.Zoom1->picTop()->isVisible(), expected == 3);
}

// ---------------------------------------------------------------------------------------
// The colour panel

void TestMainWindow::colorReadoutShowsTheViewsPixel_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QPoint>("centre"); // of a fixed view; following and frozen: the cursor
    QTest::addColumn<QPoint>("at");     // pointer over the view (x -1: its last column)
    QTest::addColumn<QPoint>("pixel");  // the pixel read; (-1, -1): the one the view shows at
    QTest::addColumn<bool>("offScreen");
    const QPoint none(-1, -1), shown(-1, -1);
    QTest::newRow("following: the centre") << "following" << kCursor << none << kCursor << false;
    // The view blanks under the pointer: the panel keeps what it showed.
    QTest::newRow("following, pointer on the view: kept")
        << "following" << kCursor << QPoint(50, 50) << kCursor << false;
    QTest::newRow("fixed: the centre")
        << "fixed" << QPoint(640, 512) << none << QPoint(640, 512) << false;
    QTest::newRow("fixed, over a block")
        << "fixed" << QPoint(640, 512) << QPoint(50, 51) << shown << false;
    QTest::newRow("fixed, over the partial last column")
        << "fixed" << QPoint(640, 512) << QPoint(-1, 100) << shown << false;
    QTest::newRow("frozen: the centre") << "frozen" << kCursor << none << kCursor << false;
    QTest::newRow("frozen, over a block")
        << "frozen" << kCursor << QPoint(200, 13) << shown << false;
    // 364 view columns at x6: the sampled rectangle starts 30 pixels left of the centre.
    QTest::newRow("fixed at the left edge, over pixels off the screen")
        << "fixed" << QPoint(0, 512) << QPoint(5, 50) << QPoint(-30, 490) << true;
    QTest::newRow("fixed on the right edge: the centre is off the screen")
        << "fixed" << QPoint(1280, 512) << none << QPoint(1280, 512) << true;
}

void TestMainWindow::colorReadoutShowsTheViewsPixel() {
    QFETCH(QString, state);
    QFETCH(QPoint, centre);
    QFETCH(QPoint, at);
    QFETCH(QPoint, pixel);
    QFETCH(bool, offScreen);
    Started s;
    QVERIFY(QTest::qWaitForWindowExposed(&s.w));
    ZoomArea* view = s.w.Zoom1->picZoom()->client();
    const int f = s.w.Zoom1->Factor();
    QVERIFY(view->width() % f != 0); // the last column is a partial block
    // Off the view, wherever an earlier test left the pointer.
    QTest::mouseMove(view, QPoint(1, 1));
    QTest::mouseMove(s.w.picInfobar, QPoint(2, 2));
    QTRY_VERIFY(!s.w.Zoom1->pointerInView());
    s.source.setCursorPos(centre);
    s.w.Zoom1->Redraw();
    if (state == u"fixed")
        s.fix(centre.x(), centre.y());
    else if (state == u"frozen")
        QTest::keyClick(s.w.Zoom1, Qt::Key_Escape);
    s.w.refreshColor();
    // A still view is not read again: what the screen shows now must not reach the panel.
    if (state != u"following")
        s.source.desktop().fill(Qt::red);

    if (at.x() == -1)
        at.setX(view->width() - 1);
    if (at.y() >= 0) {
        QTest::mouseMove(view, at);
        QTRY_VERIFY(s.w.Zoom1->pointerInView() == at);
    }
    if (pixel.x() == -1)
        pixel = patternPixel(s.w.Zoom1->viewImage().pixel(at));
    s.w.refreshColor();
    QCOMPARE(s.w.colorPixel(), pixel);
    const std::optional<QRgb> want =
        offScreen ? std::nullopt : std::optional(test::patternColor(pixel.x(), pixel.y()));
    QCOMPARE(s.w.currentColor(), want);
    QCOMPARE(s.w.picSwatch->color(), want);
    QCOMPARE(s.w.lblHex->text(), want ? hexText(*want) : QStringLiteral("off screen"));

    // Over a still view the boxes show the pixel too, and go back to the centre after.
    if (at.y() < 0 || state == u"following")
        return;
    QCOMPARE(s.w.txtX->text(), QString::number(pixel.x()));
    QCOMPARE(s.w.txtY->text(), QString::number(pixel.y()));
    QTest::mouseMove(s.w.picInfobar, QPoint(2, 2));
    QTRY_VERIFY(!s.w.Zoom1->pointerInView());
    s.w.refreshColor();
    QCOMPARE(s.w.colorPixel(), QPoint(s.w.Zoom1->CurrentX(), s.w.Zoom1->CurrentY()));
    QCOMPARE(s.w.txtX->text(), QString::number(s.w.Zoom1->CurrentX()));
    QCOMPARE(s.w.txtY->text(), QString::number(s.w.Zoom1->CurrentY()));
}

// The menu's copies hold what the view shows (the keys' are read back under X11): the
// colour at the centre, the view as Qt puts it on the screen, marker lines included, and
// the sampled pixels, transparent off the screen.
void TestMainWindow::copiesAreWhatTheViewShows() {
    Started s;
    QVERIFY(QTest::qWaitForWindowExposed(&s.w));
    s.fix(0, 512);
    QClipboard* clipboard = QGuiApplication::clipboard();
    ZoomArea* view = s.w.Zoom1->picZoom()->client();
    // The colour under a right click, though the pointer leaves the view for the menu.
    const QPoint at(200, 13);
    QTest::mouseMove(view, at);
    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, at);
    QVERIFY(s.w.mnuOptionsTop->isVisible());
    s.w.mnuOptionsTop->hide();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view, &leave);
    QVERIFY(!s.w.Zoom1->pointerInView());
    const QRgb clicked = s.w.Zoom1->viewImage().pixel(at);
    s.w.mnuCopyColor->trigger();
    QCOMPARE(clipboard->text(), hexText(clicked));
    s.w.mnuCopyRgb->trigger();
    QCOMPARE(clipboard->text(), rgbText(clicked));
    QVERIFY(s.w.Zoom1->MarkerT(0)->isVisible() && s.w.Zoom1->MarkerL(1)->isVisible());
    s.w.mnuCopyView->trigger();
    QCOMPARE(clipboard->image().convertToFormat(QImage::Format_RGB32),
             view->grab().toImage().convertToFormat(QImage::Format_RGB32));

    // The view's top-right block tells where the sampled rectangle lies.
    const int f = s.w.Zoom1->Factor();
    const QPoint topRight = patternPixel(s.w.Zoom1->viewImage().pixel(view->width() - 2, 1));
    const QPoint origin(topRight.x() - (view->width() - 2) / f, topRight.y());
    QVERIFY(origin.x() < 0);
    QImage expected((view->width() + f - 1) / f, (view->height() + f - 1) / f,
                    QImage::Format_ARGB32);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            expected.setPixel(
                x, y, x + origin.x() < 0 ? 0u : test::patternColor(x + origin.x(), y + origin.y()));
    QTest::keyClick(s.w.Zoom1, Qt::Key_V, Qt::ShiftModifier);
    QCOMPARE(clipboard->image(), expected);
    clipboard->clear();
    s.w.mnuCopyPixels->trigger();
    QCOMPARE(clipboard->image(), expected);
}

void TestMainWindow::pinnedColorShowsContrast() {
    Started s;
    s.fix(640, 512);
    const QRgb pinned = test::patternColor(640, 512);
    QTest::keyClick(s.w.Zoom1, Qt::Key_P);
    QCOMPARE(s.w.picPinned->color(), std::optional<QRgb>(pinned));
    QCOMPARE(s.w.lblContrast->text(), QStringLiteral("1.00:1 fail"));
    // The comparison follows the current colour; the tip tells all where the bar cannot.
    s.w.Zoom1->setCurrentX(10);
    s.w.refreshColor();
    const QRgb now = test::patternColor(10, 512);
    QCOMPARE(s.w.lblContrast->text(), contrastText(contrastRatio(pinned, now)));
    for (const QString& part : {hexText(now), rgbText(now), QStringLiteral("at 10, 512"),
                                hexText(pinned), s.w.lblContrast->text()})
        QVERIFY2(s.w.colorToolTip().contains(part), qPrintable(part));
    QTest::keyClick(s.w.Zoom1, Qt::Key_P, Qt::ShiftModifier);
    QVERIFY(!s.w.pinnedColor());
    QVERIFY(!s.w.picPinned->isVisibleTo(&s.w) && !s.w.lblContrast->isVisibleTo(&s.w));
    // Nothing is pinned or copied from a pixel off the screen.
    s.w.Zoom1->setCurrentX(1280);
    QTest::keyClick(s.w.Zoom1, Qt::Key_P);
    QVERIFY(!s.w.pinnedColor());
    emit s.w.Zoom1->MouseUp(2, 0, 40, 40);
    QVERIFY(!s.w.mnuCopyColor->isEnabled() && !s.w.mnuCopyRgb->isEnabled());
    s.w.mnuOptionsTop->hide();
}

void TestMainWindow::colorPanelFitsBetweenTheBoxes_data() {
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<bool>("coords");
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<bool>("panel");
    QTest::addColumn<bool>("hex"); // the colour's text beside the comparison
    QTest::newRow("start-up width") << 400 << true << false << true << true;
    QTest::newRow("start-up width, pinned: the comparison first")
        << 400 << true << true << true << false;
    QTest::newRow("start-up width, pinned, no coordinates") << 400 << false << true << true << true;
    QTest::newRow("too narrow") << 330 << true << false << false << false;
}

void TestMainWindow::colorPanelFitsBetweenTheBoxes() {
    QFETCH(int, clientWidth);
    QFETCH(bool, coords);
    QFETCH(bool, pinned);
    QFETCH(bool, panel);
    QFETCH(bool, hex);
    Started s;
    s.fix(640, 512);
    if (!coords)
        s.w.toggleCoords();
    if (pinned)
        QTest::keyClick(s.w.Zoom1, Qt::Key_P);
    s.w.resize(clientWidth, 420);
    QCOMPARE(s.w.picColor->isVisibleTo(&s.w), panel);
    if (!panel)
        return;
    // Clear of the distance boxes and of the coordinates panel, which stay where they were.
    const QRect area = s.w.picColor->geometry();
    QVERIFY(area.left() > (1875 + 495) / kTwipsPerPixel);
    QVERIFY(area.right() < (coords ? s.w.picCoords->x() : clientWidth));
    QCOMPARE(s.w.picCoords->x() + s.w.picCoords->width(), clientWidth);
    QCOMPARE(s.w.lblHex->isVisibleTo(&s.w), hex);
    QCOMPARE(s.w.lblContrast->isVisibleTo(&s.w), pinned);
    // Every part inside the panel, the texts whole in their places, none over another.
    s.w.lblContrast->setText(QStringLiteral("21.00:1 fail"));
    s.w.lblHex->setText(QStringLiteral("off screen"));
    QList<QRect> parts;
    for (QWidget* part : std::initializer_list<QWidget*>{s.w.picSwatch, s.w.lblHex, s.w.picPinned,
                                                         s.w.lblContrast}) {
        if (!part->isVisibleTo(&s.w))
            continue;
        QVERIFY(QRect(QPoint(), area.size()).contains(part->geometry()));
        if (auto* label = qobject_cast<QLabel*>(part))
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
        for (const QRect& other : parts)
            QVERIFY(!other.intersects(part->geometry()));
        parts.append(part->geometry());
    }
}

// A view saved through the dialog is the file's picture exactly; a write that fails says so
// and leaves no file behind.
void TestMainWindow::saveViewWritesWholeOrNothing() {
    Started s;
    s.fix(640, 512);
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("pixels.png"));
    const QString bad = dir.filePath(QStringLiteral("missing/view.png"));
    QString offered;
    QString messageShown;
    auto answer = [&](const QString& path, bool oneToOne) {
        QTimer::singleShot(0, this, [&, path, oneToOne] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            offered = dialog->selectedFiles().value(0);
            const QStringList filters = dialog->nameFilters();
            dialog->selectNameFilter(filters.value(oneToOne ? 1 : 0));
            dialog->selectFile(path);
            // A failed write is told in a message box, which comes up next.
            QTimer::singleShot(0, this, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    messageShown = box->text();
                    box->accept();
                }
            });
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    answer(good, true);
    s.w.mnuSaveView->trigger();
    QCOMPARE(QFileInfo(offered).fileName(), QStringLiteral("ocula-640-512-x6.png"));
    QVERIFY(messageShown.isEmpty());
    QCOMPARE(QImage(good), s.w.Zoom1->shownPixels());

    answer(bad, false);
    s.w.mnuSaveView->trigger();
    QVERIFY2(messageShown.contains(QStringLiteral("could not be saved")), qPrintable(messageShown));
    QVERIFY(!QFileInfo::exists(bad));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("pixels.png")});
}

// ---------------------------------------------------------------------------------------
// Mouse wheel

void TestMainWindow::wheelStepsFactorOncePerEvent_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("expected");
    const Qt::KeyboardModifiers none;
    QTest::newRow("forward zooms out") << 6 << QPoint(0, 120) << none << 5;
    QTest::newRow("backward zooms in") << 6 << QPoint(0, -120) << none << 7;
    QTest::newRow("4 forward") << 4 << QPoint(0, 120) << none << 3;
    QTest::newRow("4 backward") << 4 << QPoint(0, -120) << none << 5;
    QTest::newRow("three notches forward") << 6 << QPoint(0, 360) << none << 5;
    QTest::newRow("three notches backward") << 6 << QPoint(0, -360) << none << 7;
    QTest::newRow("part of a notch forward") << 6 << QPoint(0, 15) << none << 5;
    QTest::newRow("forward at 1") << 1 << QPoint(0, 120) << none << 1;
    QTest::newRow("backward at 99") << 99 << QPoint(0, -120) << none << 100;
    QTest::newRow("backward at 100") << 100 << QPoint(0, -120) << none << 100;
    QTest::newRow("forward at 100") << 100 << QPoint(0, 120) << none << 99;
    QTest::newRow("Ctrl+forward") << 6 << QPoint(0, 120)
                                  << Qt::KeyboardModifiers(Qt::ControlModifier) << 5;
    // With Alt held, X11 delivers the vertical wheel transposed; it is still the wheel.
    QTest::newRow("Alt+forward") << 6 << QPoint(120, 0) << Qt::KeyboardModifiers(Qt::AltModifier)
                                 << 5;
    QTest::newRow("Alt+backward") << 6 << QPoint(-120, 0) << Qt::KeyboardModifiers(Qt::AltModifier)
                                  << 7;
    QTest::newRow("sideways left") << 6 << QPoint(120, 0) << none << 6;
    QTest::newRow("sideways right") << 6 << QPoint(-120, 0) << none << 6;
}

void TestMainWindow::wheelStepsFactorOncePerEvent() {
    QFETCH(int, start);
    QFETCH(QPoint, angle);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, expected);
    Started s;
    s.w.Zoom1->setFactor(int16_t(start));
    sendWheel(s.w.windowHandle(), QPoint(100, 100), angle, modifiers);
    QCOMPARE(int(s.w.Zoom1->Factor()), expected);
    QCOMPARE(s.w.windowTitle(), caption(expected));
}

void TestMainWindow::wheelEventStillReachesWidgets() {
    Started s;
    ZoomArea* view = s.w.Zoom1->picZoom()->client();
    test::EventCounter counter(QEvent::Wheel);
    view->installEventFilter(&counter);
    const QPoint over = view->mapTo(&s.w, view->rect().center());
    QCOMPARE(s.w.childAt(over), static_cast<QWidget*>(view));
    sendWheel(s.w.windowHandle(), over, QPoint(0, -120));
    QCOMPARE(int(s.w.Zoom1->Factor()), 7);
    QCOMPARE(counter.count, 1);
    sendWheel(s.w.windowHandle(), over, QPoint(0, 120));
    QCOMPARE(int(s.w.Zoom1->Factor()), 6);
    QCOMPARE(counter.count, 2);
}

void TestMainWindow::wheelIsIgnoredAfterUnload() {
    Started s;
    ZoomArea* view = s.w.Zoom1->picZoom()->client();
    test::EventCounter counter(QEvent::Wheel);
    view->installEventFilter(&counter);
    const QPoint over = view->mapTo(&s.w, view->rect().center());
    s.w.Form_Unload();
    sendWheel(s.w.windowHandle(), over, QPoint(0, -120));
    sendWheel(s.w.windowHandle(), over, QPoint(0, 120));
    QCOMPARE(int(s.w.Zoom1->Factor()), 6);
    QCOMPARE(s.w.windowTitle(), caption(6));
    QCOMPARE(counter.count, 2);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
