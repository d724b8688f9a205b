// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/colors.h"
#include "common/twips.h"
#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "options/frmoptions.h"
#include "options/spinbar.h"
#include "platform/memory/imagescreensource.h"
#include "platform/window.h"
#include "support/pattern.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace ocula;

namespace {

// The main window over an in-memory desktop; started (from the first-run settings) only
// where a test is about the loaded values, as the first run's writes are slow.
struct Desk {
    enum Start { Built, Started };
    explicit Desk(Start start = Built) : source(test::makePatternDesktop(1280, 1024)), w(&source) {
        if (start == Started)
            w.Form_Load();
    }
    ImageScreenSource source;
    frmMain w;
};

// Runs `act` on the modal widget that the next event-loop turn finds open; whatever is
// still open afterwards is rejected, so a failed check cannot leave the test waiting.
void onNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, qApp, [act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        act(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && dialog->isVisible())
            dialog->reject();
    });
}

// Answers the colour chooser that the next event-loop turn opens: confirms `chosen`, or
// cancels when it is invalid. Reports the colour the chooser started on.
void answerColorDialog(QColor chosen, QColor* startedOn = nullptr) {
    onNextModal([chosen, startedOn](QWidget* modal) {
        auto* chooser = qobject_cast<QColorDialog*>(modal);
        QVERIFY2(chooser != nullptr, "the colour chooser is not open");
        if (startedOn != nullptr)
            *startedOn = chooser->currentColor();
        if (chosen.isValid()) {
            chooser->setCurrentColor(chosen);
            chooser->accept();
        } else {
            chooser->reject();
        }
    });
}

QColor swatchColor(const frmOptions& dlg, int index) {
    return dlg.lblColor[size_t(index)]->palette().color(QPalette::Window);
}

int pxX(int twips) {
    return qRound(twips / twipsPerPixelX());
}
int pxY(int twips) {
    return qRound(twips / twipsPerPixelY());
}

// Where the bar's upper or lower arrow is, as the style draws it.
QRect arrowRect(const QScrollBar* bar, bool upper) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    option.subControls = QStyle::SC_All;
    const QRect line = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                    QStyle::SC_ScrollBarSubLine, bar);
    const QRect other = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                     QStyle::SC_ScrollBarAddLine, bar);
    return (line.center().y() < other.center().y()) == upper ? line : other;
}

struct Snapshot {
    bool hasGrid, showMarkers, followMouse;
    int32_t showBars, arrowColor;
    int16_t factor, step;
    int32_t colors[5];
    bool onTop, showCoords;

    static Snapshot of(const frmMain& w) {
        const Zoom& z = *w.Zoom1;
        return {z.HasGrid(),
                z.ShowMarkers(),
                z.FollowMouse(),
                z.ShowBars(),
                z.ArrowColor(),
                z.Factor(),
                z.Step(),
                {z.ClrMarkersL(), z.ClrMarkersT(), z.ClrGridA(), z.ClrGridB(), z.ClrDivs()},
                w.gOnTop,
                w.gShowCoords};
    }
    bool operator==(const Snapshot& o) const {
        return hasGrid == o.hasGrid && showMarkers == o.showMarkers &&
               followMouse == o.followMouse && showBars == o.showBars &&
               arrowColor == o.arrowColor && factor == o.factor && step == o.step &&
               std::equal(std::begin(colors), std::end(colors), std::begin(o.colors)) &&
               onTop == o.onTop && showCoords == o.showCoords;
    }
};

void activate(QWidget* window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

private slots:
    void opensWithTheFirstRunSettings();
    void windowIsAFixedCentredDialog();
    void controlsSitAtTheirTwipsPlaces_data();
    void controlsSitAtTheirTwipsPlaces();
    void tabOrderStartsOnOK();
    void captionsFitTheirBoxes_data();
    void captionsFitTheirBoxes();
    void valuesTheControlsCannotShow_data();
    void valuesTheControlsCannotShow();
    void spinArrows_data();
    void spinArrows();
    void spinKeys_data();
    void spinKeys();
    void colourChooser_data();
    void colourChooser();
    void okWritesEveryValue_data();
    void okWritesEveryValue();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void enterActsAsOKUnlessAButtonHasFocus_data();
    void enterActsAsOKUnlessAButtonHasFocus();
    void followMouseCoupling_data();
    void followMouseCoupling();
    void onTopThroughTheMenu_data();
    void onTopThroughTheMenu();
    void eachOpeningReadsAfresh();
};

void TestOptions::opensWithTheFirstRunSettings() {
    Desk d(Desk::Started);
    frmOptions dlg(d.w);
    dlg.show();
    QCOMPARE(dlg.txtFactor->text(), QStringLiteral("6"));
    QCOMPARE(dlg.txtStep->text(), QStringLiteral("1"));
    QCOMPARE(dlg.scrFactor->spinValue(), 6);
    QCOMPARE(dlg.scrStep->spinValue(), 1);
    for (QCheckBox* box :
         {dlg.chkOnTop, dlg.chkGrid, dlg.chkMarkers, dlg.chkCoords, dlg.chkFollowMouse})
        QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
    QCOMPARE(dlg.cboShowBars->currentText(), QStringLiteral("Both"));
    QCOMPARE(dlg.cboArrowColor->currentText(), QStringLiteral("Yellow"));
    const Zoom& z = *d.w.Zoom1;
    const int32_t colors[5] = {z.ClrMarkersL(), z.ClrMarkersT(), z.ClrGridA(), z.ClrGridB(),
                               z.ClrDivs()};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(swatchColor(dlg, i), toQColor(colors[i]));
    QCOMPARE(dlg.focusWidget(), dlg.cmdOK);
    QVERIFY(dlg.txtFactor->isReadOnly());
    QVERIFY(dlg.txtStep->isReadOnly());
    const QStringList bars = {"None", "Left", "Top", "Both"};
    const QStringList arrows = {"Yellow", "Red", "Green", "Blue"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(dlg.cboShowBars->itemText(i), bars[i]);
        QCOMPARE(dlg.cboArrowColor->itemText(i), arrows[i]);
    }
    QCOMPARE(dlg.cboShowBars->count(), 4);
    QCOMPARE(dlg.cboArrowColor->count(), 4);
    QVERIFY(!dlg.cboShowBars->isEditable());
}

void TestOptions::windowIsAFixedCentredDialog() {
    Desk d;
    // The dialog is opened from the shown main window, whose frame stands in for its own.
    d.w.show();
    frmOptions dlg(d.w);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Options"));
    QVERIFY(dlg.isModal());
    const QSize client(pxX(5850), pxY(2565));
    QCOMPARE(dlg.size(), client);
    QCOMPARE(dlg.minimumSize(), client);
    QCOMPARE(dlg.maximumSize(), client);
    const Qt::WindowFlags flags = dlg.windowFlags();
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(dlg.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(dlg.frameGeometry().center().y() - screen.center().y()) <= 1);

    // The etched separator: shadow over highlight, one pixel each, full width.
    QCOMPARE(dlg.Line2->geometry(), QRect(0, pxY(1965), client.width(), 1));
    QCOMPARE(dlg.Line1->geometry(), QRect(0, pxY(1980), client.width(), 1));
    QCOMPARE(dlg.Line2->palette().color(QPalette::Window), toQColor(kSysButtonShadow));
    QCOMPARE(dlg.Line1->palette().color(QPalette::Window), toQColor(kSysButtonHighlight));
    QVERIFY(dlg.Line1->autoFillBackground() && dlg.Line2->autoFillBackground());
}

void TestOptions::controlsSitAtTheirTwipsPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    const struct {
        const char* name;
        int l, t, w, h;
    } rows[] = {
        {"lbl2", 180, 195, 900, 195},
        {"lblPrc", 1155, 195, 75, 195},
        {"txtFactor", 1290, 135, 480, 300},
        {"scrFactor", 1770, 135, 270, 300},
        {"lbl1", 180, 645, 1005, 195},
        {"txtStep", 1275, 585, 480, 300},
        {"scrStep", 1770, 585, 270, 300},
        {"lbl0", 180, 1095, 720, 195},
        {"cboShowBars", 1035, 1035, 1005, 315},
        {"lbl3", 180, 1575, 765, 195},
        {"cboArrowColor", 1035, 1500, 1005, 315},
        {"chkOnTop", 2310, 135, 1470, 300},
        {"chkGrid", 2310, 495, 1470, 300},
        {"chkMarkers", 2310, 855, 1470, 300},
        {"chkCoords", 2310, 1215, 1590, 300},
        {"chkFollowMouse", 2310, 1575, 1470, 300},
        {"cmdColor0", 4140, 135, 1275, 315},
        {"cmdColor1", 4140, 495, 1275, 315},
        {"cmdColor2", 4140, 855, 1275, 315},
        {"cmdColor3", 4140, 1215, 1275, 315},
        {"cmdColor4", 4140, 1575, 1275, 315},
        {"lblColor0", 5430, 135, 315, 315},
        {"lblColor1", 5430, 495, 315, 315},
        {"lblColor2", 5430, 855, 315, 315},
        {"lblColor3", 5430, 1215, 315, 315},
        {"lblColor4", 5430, 1575, 315, 315},
        {"cmdOK", 1365, 2100, 1215, 375},
        {"cmdCancel", 3270, 2100, 1215, 375},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << QRect(r.l, r.t, r.w, r.h);
}

void TestOptions::controlsSitAtTheirTwipsPlaces() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    Desk d;
    frmOptions dlg(d.w);
    auto* widget = dlg.findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), &dlg);
    QCOMPARE(widget->geometry(),
             QRect(pxX(twips.x()), pxY(twips.y()), pxX(twips.width()), pxY(twips.height())));
}

void TestOptions::tabOrderStartsOnOK() {
    Desk d;
    frmOptions dlg(d.w);
    activate(&dlg);
    QCOMPARE(QApplication::focusWidget(), dlg.cmdOK);
    const QStringList expected = {"cmdOK",     "cmdCancel",     "cboShowBars", "chkFollowMouse",
                                  "chkGrid",   "scrStep",       "txtStep",     "scrFactor",
                                  "txtFactor", "chkOnTop",      "cmdColor4",   "cmdColor1",
                                  "cmdColor3", "cmdColor2",     "cmdColor0",   "chkMarkers",
                                  "chkCoords", "cboArrowColor", "cmdOK"};
    QStringList seen = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
}

void TestOptions::captionsFitTheirBoxes_data() {
    QTest::addColumn<QString>("name");
    for (const char* name :
         {"lbl0", "lbl1", "lbl2", "lbl3", "lblPrc", "chkOnTop", "chkGrid", "chkMarkers",
          "chkCoords", "chkFollowMouse", "cmdColor0", "cmdColor1", "cmdColor2", "cmdColor3",
          "cmdColor4", "cmdOK", "cmdCancel", "cboShowBars", "cboArrowColor"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestOptions::captionsFitTheirBoxes() {
    QFETCH(QString, name);
    Desk d;
    frmOptions dlg(d.w);
    dlg.show();
    QWidget* widget = dlg.findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    // Readable, not shrunk to nothing to make the captions fit.
    QVERIFY2(QFontInfo(widget->font()).pixelSize() >= 9,
             qPrintable(QString::number(QFontInfo(widget->font()).pixelSize())));
    const QFontMetrics metrics(widget->font());
    const QStyle* style = widget->style();
    QStringList texts;
    int room = 0;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        texts << label->text();
        room = label->contentsRect().width() - 2 * label->margin();
        QVERIFY(metrics.height() <= label->contentsRect().height());
    } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        texts << check->text();
        room = check->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) -
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        texts << button->text();
        room = button->width() - 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) -
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.frame = true;
        room =
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
                .width();
    }
    QVERIFY(!texts.isEmpty());
    for (const QString& text : texts)
        QVERIFY2(metrics.horizontalAdvance(text) <= room,
                 qPrintable(QStringLiteral("%1: %2 > %3")
                                .arg(text)
                                .arg(metrics.horizontalAdvance(text))
                                .arg(room)));
}

void TestOptions::valuesTheControlsCannotShow_data() {
    QTest::addColumn<int>("showBars");
    QTest::addColumn<int>("arrowColor");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("barsShown");
    QTest::addColumn<int>("arrowShown");
    QTest::addColumn<int>("stepShown");
    QTest::newRow("bars beyond the list") << 7 << 1 << 4 << -1 << 1 << 4;
    QTest::newRow("arrow colour below the list") << 2 << -2 << 4 << 2 << -1 << 4;
    QTest::newRow("step above the bar") << 0 << 3 << 150 << 0 << 3 << 1;
    QTest::newRow("all in range") << 1 << 2 << 100 << 1 << 2 << 100;
}

void TestOptions::valuesTheControlsCannotShow() {
    QFETCH(int, showBars);
    QFETCH(int, arrowColor);
    QFETCH(int, step);
    QFETCH(int, barsShown);
    QFETCH(int, arrowShown);
    QFETCH(int, stepShown);
    Desk d;
    Zoom& z = *d.w.Zoom1;
    z.setShowBars(showBars);
    z.setArrowColor(arrowColor);
    z.setStep(int16_t(step));
    QCOMPARE(z.Step(), int16_t(step));
    frmOptions dlg(d.w);
    QCOMPARE(dlg.cboShowBars->currentIndex(), barsShown);
    QCOMPARE(dlg.cboArrowColor->currentIndex(), arrowShown);
    QCOMPARE(dlg.txtStep->text(), QString::number(stepShown));
    // OK writes back what the controls show; no selection gives -1.
    dlg.cmdOK->click();
    QCOMPARE(z.ShowBars(), barsShown);
    QCOMPARE(z.ArrowColor(), arrowShown);
    QCOMPARE(int(z.Step()), stepShown);
}

void TestOptions::spinArrows_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<int>("expected");
    QTest::newRow("factor, upper arrow raises") << "scrFactor" << 6 << true << 7;
    QTest::newRow("factor, lower arrow lowers") << "scrFactor" << 6 << false << 5;
    QTest::newRow("factor 100, upper arrow") << "scrFactor" << 100 << true << 100;
    QTest::newRow("factor 99, upper arrow") << "scrFactor" << 99 << true << 100;
    QTest::newRow("factor 1, lower arrow") << "scrFactor" << 1 << false << 1;
    QTest::newRow("factor 2, lower arrow") << "scrFactor" << 2 << false << 1;
    QTest::newRow("step, upper arrow raises") << "scrStep" << 1 << true << 2;
    QTest::newRow("step, lower arrow lowers") << "scrStep" << 5 << false << 4;
    QTest::newRow("step 100, upper arrow") << "scrStep" << 100 << true << 100;
    QTest::newRow("step 1, lower arrow") << "scrStep" << 1 << false << 1;
}

void TestOptions::spinArrows() {
    QFETCH(QString, bar);
    QFETCH(int, start);
    QFETCH(bool, upper);
    QFETCH(int, expected);
    Desk d;
    if (bar == QLatin1String("scrFactor"))
        d.w.Zoom1->setFactor(int16_t(start));
    else
        d.w.Zoom1->setStep(int16_t(start));
    frmOptions dlg(d.w);
    dlg.show();
    auto* spin = dlg.findChild<SpinBar*>(bar);
    QVERIFY(spin != nullptr);
    QLineEdit* box = spin == dlg.scrFactor ? dlg.txtFactor : dlg.txtStep;
    QCOMPARE(box->text(), QString::number(start));

    const QRect arrow = arrowRect(spin, upper);
    QVERIFY(!arrow.isEmpty());
    // The arrow clicked really is the one the user sees at that end.
    QCOMPARE(arrow.center().y() < spin->height() / 2, upper);
    QTest::mouseClick(spin, Qt::LeftButton, {}, arrow.center());
    QCOMPARE(spin->spinValue(), expected);
    QCOMPARE(box->text(), QString::number(expected));
}

void TestOptions::spinKeys_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("factor, Up") << "scrFactor" << 6 << int(Qt::Key_Up) << 7;
    QTest::newRow("factor, Down") << "scrFactor" << 6 << int(Qt::Key_Down) << 5;
    QTest::newRow("factor, Page Up steps 5") << "scrFactor" << 6 << int(Qt::Key_PageUp) << 11;
    QTest::newRow("factor, Page Down steps 5") << "scrFactor" << 6 << int(Qt::Key_PageDown) << 1;
    QTest::newRow("factor 98, Page Up stops at 100")
        << "scrFactor" << 98 << int(Qt::Key_PageUp) << 100;
    QTest::newRow("step, Page Up steps 1") << "scrStep" << 3 << int(Qt::Key_PageUp) << 4;
    QTest::newRow("step, Down") << "scrStep" << 3 << int(Qt::Key_Down) << 2;
}

void TestOptions::spinKeys() {
    QFETCH(QString, bar);
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, expected);
    Desk d;
    if (bar == QLatin1String("scrFactor"))
        d.w.Zoom1->setFactor(int16_t(start));
    else
        d.w.Zoom1->setStep(int16_t(start));
    frmOptions dlg(d.w);
    auto* spin = dlg.findChild<SpinBar*>(bar);
    QVERIFY(spin != nullptr);
    QTest::keyClick(spin, Qt::Key(key));
    QCOMPARE(spin->spinValue(), expected);
    QLineEdit* box = spin == dlg.scrFactor ? dlg.txtFactor : dlg.txtStep;
    QCOMPARE(box->text(), QString::number(expected));
}

void TestOptions::colourChooser_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QColor>("chosen");
    QTest::addColumn<int>("written");
    QTest::newRow("plain colour, cancelled") << 0x00336699 << QColor() << 0x00336699;
    QTest::newRow("system colour, cancelled")
        << int(kSysButtonFace) << QColor() << int(kSysButtonFace);
    QTest::newRow("plain colour, red chosen") << 0x00336699 << QColor(255, 0, 0) << 0x000000FF;
    QTest::newRow("system colour, chosen")
        << int(kSysHighlight) << QColor(0x12, 0x34, 0x56) << 0x00563412;
}

void TestOptions::colourChooser() {
    QFETCH(int, start);
    QFETCH(QColor, chosen);
    QFETCH(int, written);
    Desk d;
    Zoom& z = *d.w.Zoom1;
    z.setClrGridA(start);
    const int32_t others[4] = {z.ClrMarkersL(), z.ClrMarkersT(), z.ClrGridB(), z.ClrDivs()};
    frmOptions dlg(d.w);
    QColor startedOn;
    answerColorDialog(chosen, &startedOn);
    dlg.cmdColor[2]->click();
    QCOMPARE(startedOn, toQColor(start));
    QCOMPARE(swatchColor(dlg, 2), chosen.isValid() ? chosen : toQColor(start));
    // The choice shows only in the swatch until OK.
    QCOMPARE(z.ClrGridA(), start);
    dlg.cmdOK->click();
    QCOMPARE(z.ClrGridA(), written);
    const int32_t after[4] = {z.ClrMarkersL(), z.ClrMarkersT(), z.ClrGridB(), z.ClrDivs()};
    QVERIFY(std::equal(std::begin(others), std::end(others), std::begin(after)));
}

void TestOptions::okWritesEveryValue_data() {
    QTest::addColumn<bool>("on");
    QTest::newRow("everything turned off") << false;
    QTest::newRow("everything turned on") << true;
}

void TestOptions::okWritesEveryValue() {
    QFETCH(bool, on);
    Desk d;
    frmMain& w = d.w;
    Zoom& z = *w.Zoom1;
    // Start from the opposite of what the dialog will set.
    z.setHasGrid(!on);
    z.setShowMarkers(!on);
    z.setFollowMouse(!on);
    w.gOnTop = !on;
    w.gShowCoords = !on;
    w.picCoords->setVisible(!on);
    w.setTracking(!on);

    frmOptions dlg(d.w);
    for (QCheckBox* box :
         {dlg.chkOnTop, dlg.chkGrid, dlg.chkMarkers, dlg.chkCoords, dlg.chkFollowMouse})
        box->setChecked(on);
    dlg.scrFactor->setSpinValue(42);
    dlg.scrStep->setSpinValue(7);
    dlg.cboShowBars->setCurrentIndex(on ? 2 : 1);
    dlg.cboArrowColor->setCurrentIndex(on ? 3 : 2);
    const QColor picks[5] = {QColor(1, 2, 3), QColor(10, 20, 30), QColor(100, 0, 0),
                             QColor(0, 100, 0), QColor(0, 0, 100)};
    for (int i = 0; i < 5; ++i) {
        answerColorDialog(picks[i]);
        dlg.cmdColor[size_t(i)]->click();
    }
    QSignalSpy accepted(&dlg, &QDialog::accepted);
    dlg.cmdOK->click();
    QCOMPARE(accepted.count(), 1);

    QCOMPARE(z.HasGrid(), on);
    QCOMPARE(z.ShowMarkers(), on);
    QCOMPARE(z.FollowMouse(), on);
    QCOMPARE(z.Factor(), int16_t(42));
    QCOMPARE(z.Step(), int16_t(7));
    QCOMPARE(z.ShowBars(), on ? 2 : 1);
    QCOMPARE(z.ArrowColor(), on ? 3 : 2);
    QCOMPARE(z.ClrMarkersL(), colorValueFromRgb(picks[0].rgb()));
    QCOMPARE(z.ClrMarkersT(), colorValueFromRgb(picks[1].rgb()));
    QCOMPARE(z.ClrGridA(), colorValueFromRgb(picks[2].rgb()));
    QCOMPARE(z.ClrGridB(), colorValueFromRgb(picks[3].rgb()));
    QCOMPARE(z.ClrDivs(), colorValueFromRgb(picks[4].rgb()));
    QCOMPARE(w.windowTitle(), QStringLiteral("Ocula ( x 42 )"));
    QCOMPARE(w.gShowCoords, on);
    QCOMPARE(w.picCoords->isVisibleTo(w.picInfobar), on);
    QCOMPARE(w.gOnTop, on);
    QCOMPARE(w.txtX->isReadOnly(), on);
    QCOMPARE(w.txtY->isReadOnly(), on);
    QCOMPARE(w.tmrMouse->isActive(), on);
}

void TestOptions::cancelWritesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("window closed") << "close";
}

void TestOptions::cancelWritesNothing() {
    QFETCH(QString, how);
    Desk d;
    const Snapshot before = Snapshot::of(d.w);
    const bool tracking = d.w.tmrMouse->isActive();
    frmOptions dlg(d.w);
    activate(&dlg);
    answerColorDialog(QColor(200, 10, 10));
    dlg.cmdColor[0]->click();
    QCOMPARE(swatchColor(dlg, 0), QColor(200, 10, 10));
    for (QCheckBox* box :
         {dlg.chkOnTop, dlg.chkGrid, dlg.chkMarkers, dlg.chkCoords, dlg.chkFollowMouse})
        box->setChecked(!box->isChecked());
    dlg.scrFactor->setSpinValue(50);
    dlg.scrStep->setSpinValue(9);
    dlg.cboShowBars->setCurrentIndex(0);
    dlg.cboArrowColor->setCurrentIndex(1);

    QSignalSpy finished(&dlg, &QDialog::finished);
    if (how == QLatin1String("button"))
        dlg.cmdCancel->click();
    else if (how == QLatin1String("escape"))
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
    else
        dlg.close();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
    QVERIFY(Snapshot::of(d.w) == before);
    QVERIFY(d.w.picCoords->isVisibleTo(d.w.picInfobar));
    QCOMPARE(d.w.tmrMouse->isActive(), tracking);
}

void TestOptions::enterActsAsOKUnlessAButtonHasFocus_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("OK") << "cmdOK"
                        << "applied";
    QTest::newRow("check box") << "chkMarkers"
                               << "applied";
    QTest::newRow("list") << "cboShowBars"
                          << "applied";
    QTest::newRow("display box") << "txtFactor"
                                 << "applied";
    QTest::newRow("spin bar") << "scrStep"
                              << "applied";
    QTest::newRow("Cancel") << "cmdCancel"
                            << "cancelled";
    QTest::newRow("colour button") << "cmdColor2"
                                   << "chooser";
}

void TestOptions::enterActsAsOKUnlessAButtonHasFocus() {
    QFETCH(QString, focus);
    QFETCH(QString, outcome);
    Desk d;
    QVERIFY(d.w.Zoom1->HasGrid());
    frmOptions dlg(d.w);
    activate(&dlg);
    dlg.chkGrid->setChecked(false);
    auto* target = dlg.findChild<QWidget*>(focus);
    QVERIFY(target != nullptr);
    target->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), target);

    bool chooserOpened = false;
    if (outcome == QLatin1String("chooser"))
        onNextModal([&chooserOpened](QWidget* modal) {
            chooserOpened = qobject_cast<QColorDialog*>(modal) != nullptr;
        });
    QSignalSpy finished(&dlg, &QDialog::finished);
    QTest::keyClick(target, Qt::Key_Return);

    if (outcome == QLatin1String("chooser")) {
        QVERIFY(chooserOpened);
        QCOMPARE(finished.count(), 0);
        QVERIFY(dlg.isVisible());
        QVERIFY(d.w.Zoom1->HasGrid());
        dlg.reject();
        return;
    }
    QCOMPARE(finished.count(), 1);
    const bool applied = outcome == QLatin1String("applied");
    QCOMPARE(finished.at(0).at(0).toInt(), int(applied ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(d.w.Zoom1->HasGrid(), !applied);
}

void TestOptions::followMouseCoupling_data() {
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("follow");
    QTest::addColumn<bool>("tracking");
    QTest::newRow("follow, view free") << false << true << true;
    QTest::newRow("follow, view locked") << true << true << false;
    QTest::newRow("no follow, view free") << false << false << false;
    QTest::newRow("no follow, view locked") << true << false << false;
}

void TestOptions::followMouseCoupling() {
    QFETCH(bool, locked);
    QFETCH(bool, follow);
    QFETCH(bool, tracking);
    Desk d;
    frmMain& w = d.w;
    w.Zoom1->setLocked(locked);
    w.setTracking(!tracking);
    frmOptions dlg(w);
    dlg.chkFollowMouse->setChecked(follow);
    dlg.cmdOK->click();
    QCOMPARE(w.Zoom1->FollowMouse(), follow);
    QCOMPARE(w.Zoom1->Locked(), locked);
    QCOMPARE(w.txtX->isReadOnly(), tracking);
    QCOMPARE(w.txtY->isReadOnly(), tracking);
    QCOMPARE(w.tmrMouse->isActive(), tracking);
}

void TestOptions::onTopThroughTheMenu_data() {
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("after");
    QTest::newRow("unticked, OK") << true << false << true << false;
    QTest::newRow("ticked, OK") << false << true << true << true;
    QTest::newRow("left ticked, OK") << true << true << true << true;
    QTest::newRow("unticked, Cancel") << true << false << false << true;
    QTest::newRow("ticked, Cancel") << false << true << false << false;
}

void TestOptions::onTopThroughTheMenu() {
    QFETCH(bool, before);
    QFETCH(bool, ticked);
    QFETCH(bool, confirm);
    QFETCH(bool, after);
    Desk d(Desk::Started);
    frmMain& w = d.w;
    w.show();
    w.gOnTop = before;
    setTopmost(&w, before);
    QCOMPARE(isTopmost(&w), before);
    QVERIFY(w.mnuOptions->isEnabled());

    bool opened = false;
    bool topmostWhileOpen = true;
    onNextModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<frmOptions*>(modal);
        QVERIFY2(dlg != nullptr, "the options dialog is not open");
        opened = true;
        topmostWhileOpen = isTopmost(&w);
        QCOMPARE(dlg->chkOnTop->isChecked(), before);
        dlg->chkOnTop->setChecked(ticked);
        (confirm ? dlg->cmdOK : dlg->cmdCancel)->click();
    });
    w.mnuOptions->trigger();
    QVERIFY(opened);
    QVERIFY(!topmostWhileOpen);
    QCOMPARE(w.gOnTop, after);
    QCOMPARE(isTopmost(&w), after);
}

void TestOptions::eachOpeningReadsAfresh() {
    Desk d(Desk::Started);
    frmMain& w = d.w;
    const int32_t marker = w.Zoom1->ClrMarkersL();

    // A confirmed change shows at the next opening ...
    onNextModal([](QWidget* modal) {
        auto* dlg = qobject_cast<frmOptions*>(modal);
        QVERIFY(dlg != nullptr);
        dlg->scrFactor->setSpinValue(9);
        dlg->cmdOK->click();
    });
    w.mnuOptions->trigger();
    QCOMPARE(w.Zoom1->Factor(), int16_t(9));

    // ... a cancelled one does not.
    onNextModal([](QWidget* modal) {
        auto* dlg = qobject_cast<frmOptions*>(modal);
        QVERIFY(dlg != nullptr);
        QCOMPARE(dlg->txtFactor->text(), QStringLiteral("9"));
        answerColorDialog(QColor(0, 255, 255));
        dlg->cmdColor[0]->click();
        dlg->scrFactor->setSpinValue(30);
        dlg->cmdCancel->click();
    });
    w.mnuOptions->trigger();
    QCOMPARE(w.Zoom1->ClrMarkersL(), marker);

    bool checked = false;
    onNextModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<frmOptions*>(modal);
        QVERIFY(dlg != nullptr);
        QCOMPARE(dlg->txtFactor->text(), QStringLiteral("9"));
        QCOMPARE(swatchColor(*dlg, 0), toQColor(marker));
        checked = true;
        dlg->cmdCancel->click();
    });
    w.mnuOptions->trigger();
    QVERIFY(checked);
}

QTEST_MAIN(TestOptions)
#include "test_options.moc"
