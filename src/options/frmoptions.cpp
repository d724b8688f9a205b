// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "options/frmoptions.h"

#include "common/colors.h"
#include "common/rounding.h"
#include "common/twips.h"
#include "common/uiscale.h"
#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "options/spinbar.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <vector>

namespace ocula {

namespace {

// The layout's twips rectangle and its place in the tab order.
struct Placement {
    QWidget* widget;
    int left, top, width, height;
    int tab;
};

template <typename T> T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QCheckBox* newCheck(QWidget* parent, const char* name, const char* caption) {
    return named(new QCheckBox(QString::fromLatin1(caption), parent), QString::fromLatin1(name));
}

QLabel* newLabel(QWidget* parent, const QString& name, const char* caption) {
    return named(new QLabel(QString::fromLatin1(caption), parent), name);
}

QLineEdit* newDisplayBox(QWidget* parent, const char* name) {
    auto* box = named(new QLineEdit(parent), QString::fromLatin1(name));
    box->setReadOnly(true);
    return box;
}

QFrame* newLine(QWidget* parent, const char* name, int32_t color) {
    auto* line = named(new QFrame(parent), QString::fromLatin1(name));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, toQColor(color));
    line->setPalette(palette);
    return line;
}

bool textFits(const QWidget* widget, const QString& text, const QRect& room) {
    const QFontMetrics metrics(widget->font());
    return metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height();
}

} // namespace

frmOptions::frmOptions(frmMain& main)
    : QDialog(&main, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_main(main) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    buildControls();
    fitFont();
    Form_Load();
}

void frmOptions::buildControls() {
    const QSize client(twipsToPixelsX(5850), twipsToPixelsY(2565));
    setFixedSize(client);
    // On the screen that holds the main window, where the user is looking.
    const QScreen* screen = QGuiApplication::screenAt(m_main.frameGeometry().center());
    if (screen == nullptr)
        screen = m_main.screen();
    if (screen != nullptr) {
        // Centre the whole window; the main window's frame is the best guess for ours.
        const QRect outer = m_main.frameGeometry();
        const QRect inner = m_main.geometry();
        const QMargins frame =
            m_main.isVisible()
                ? QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                           outer.right() - inner.right(), outer.bottom() - inner.bottom())
                : QMargins();
        const QSize size = client.grownBy(frame);
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - size.width()) / 2,
             area.y() + (area.height() - size.height()) / 2);
    }

    static const char* const labelCaptions[4] = {"ShowBars", "Divisions Step", "Zoom Factor",
                                                 "ArrowColor"};
    for (int i = 0; i < 4; ++i)
        lbl[size_t(i)] = newLabel(this, QStringLiteral("lbl%1").arg(i), labelCaptions[i]);
    lblPrc = newLabel(this, QStringLiteral("lblPrc"), "x");

    txtFactor = newDisplayBox(this, "txtFactor");
    txtStep = newDisplayBox(this, "txtStep");
    scrFactor = named(new SpinBar(this), QStringLiteral("scrFactor"));
    scrStep = named(new SpinBar(this), QStringLiteral("scrStep"));
    for (SpinBar* bar : {scrFactor, scrStep}) {
        bar->setSpinRange(1, 100);
        bar->setSpinValue(1);
        bar->setSingleStep(1);
    }
    scrFactor->setPageStep(5);
    scrStep->setPageStep(1);
    connect(scrFactor, &SpinBar::Change, txtFactor,
            [this](int v) { txtFactor->setText(QString::number(v)); });
    connect(scrFactor, &SpinBar::Scroll, txtFactor,
            [this](int v) { txtFactor->setText(QString::number(v)); });
    connect(scrStep, &SpinBar::Change, txtStep,
            [this](int v) { txtStep->setText(QString::number(v)); });
    connect(scrStep, &SpinBar::Scroll, txtStep,
            [this](int v) { txtStep->setText(QString::number(v)); });

    cboShowBars = named(new QComboBox(this), QStringLiteral("cboShowBars"));
    cboArrowColor = named(new QComboBox(this), QStringLiteral("cboArrowColor"));

    chkOnTop = newCheck(this, "chkOnTop", "On Top");
    chkGrid = newCheck(this, "chkGrid", "HasGrid");
    chkMarkers = newCheck(this, "chkMarkers", "Show Markers");
    chkCoords = newCheck(this, "chkCoords", "Show Coordinates");
    chkFollowMouse = newCheck(this, "chkFollowMouse", "Follow Mouse");

    static const char* const colorCaptions[5] = {"Left Markers", "Top Markers", "Grid A", "Grid B",
                                                 "Divisions"};
    for (int i = 0; i < 5; ++i) {
        cmdColor[size_t(i)] = named(new QPushButton(QString::fromLatin1(colorCaptions[i]), this),
                                    QStringLiteral("cmdColor%1").arg(i));
        connect(cmdColor[size_t(i)], &QPushButton::clicked, this, [this, i] { cmdColor_Click(i); });
        QLabel* swatch = newLabel(this, QStringLiteral("lblColor%1").arg(i), "");
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setLineWidth(1);
        swatch->setAutoFillBackground(true);
        lblColor[size_t(i)] = swatch;
    }

    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"));
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"));
    // Enter clicks OK unless another button has the focus; Esc and closing reject.
    cmdOK->setDefault(true);
    cmdCancel->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);

    // An etched separator: a shadow line over a highlight line, across the full width.
    Line2 = newLine(this, "Line2", kSysButtonShadow);
    Line2->setGeometry(0, twipsToPixelsY(1965), client.width(), 1);
    Line1 = newLine(this, "Line1", kSysButtonHighlight);
    Line1->setGeometry(0, twipsToPixelsY(1980), client.width(), 1);

    std::vector<Placement> layout = {
        {lbl[2], 180, 195, 900, 195, 7},
        {lblPrc, 1155, 195, 75, 195, 12},
        {txtFactor, 1290, 135, 480, 300, 11},
        {scrFactor, 1770, 135, 270, 300, 10},
        {lbl[1], 180, 645, 1005, 195, 6},
        {txtStep, 1275, 585, 480, 300, 9},
        {scrStep, 1770, 585, 270, 300, 8},
        {lbl[0], 180, 1095, 720, 195, 5},
        {cboShowBars, 1035, 1035, 1005, 315, 2},
        {lbl[3], 180, 1575, 765, 195, 26},
        {cboArrowColor, 1035, 1500, 1005, 315, 27},
        {chkOnTop, 2310, 135, 1470, 300, 13},
        {chkGrid, 2310, 495, 1470, 300, 4},
        {chkMarkers, 2310, 855, 1470, 300, 24},
        {chkCoords, 2310, 1215, 1590, 300, 25},
        {chkFollowMouse, 2310, 1575, 1470, 300, 3},
        {cmdColor[0], 4140, 135, 1275, 315, 18},
        {cmdColor[1], 4140, 495, 1275, 315, 15},
        {cmdColor[2], 4140, 855, 1275, 315, 17},
        {cmdColor[3], 4140, 1215, 1275, 315, 16},
        {cmdColor[4], 4140, 1575, 1275, 315, 14},
        {lblColor[0], 5430, 135, 315, 315, 23},
        {lblColor[1], 5430, 495, 315, 315, 20},
        {lblColor[2], 5430, 855, 315, 315, 22},
        {lblColor[3], 5430, 1215, 315, 315, 21},
        {lblColor[4], 5430, 1575, 315, 315, 19},
        {cmdOK, 1365, 2100, 1215, 375, 0},
        {cmdCancel, 3270, 2100, 1215, 375, 1},
    };
    for (const Placement& p : layout)
        p.widget->setGeometry(twipsToPixelsX(p.left), twipsToPixelsY(p.top),
                              twipsToPixelsX(p.width), twipsToPixelsY(p.height));

    std::sort(layout.begin(), layout.end(),
              [](const Placement& a, const Placement& b) { return a.tab < b.tab; });
    // Qt ignores tab-order links to widgets that never take the focus, so chain only the
    // others to keep the chain unbroken.
    QWidget* previous = nullptr;
    for (const Placement& p : layout) {
        if (p.widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous != nullptr)
            setTabOrder(previous, p.widget);
        previous = p.widget;
    }
    cmdOK->setFocus();
}

// The geometry is fixed in twips, so the font has to suit it: the largest size, from the
// application's font downwards, at which every caption shows whole; a narrower face of the
// same family is tried before a smaller size.
void frmOptions::fitFont() {
    const QFont base = QApplication::font();
    const int start = std::min(scaled(11), QFontInfo(base).pixelSize());
    for (int px = start; px >= 7; --px) {
        for (int stretch : {int(QFont::Unstretched), int(QFont::SemiCondensed)}) {
            QFont candidate = base;
            candidate.setPixelSize(px);
            candidate.setStretch(stretch);
            setFont(candidate);
            if (captionsFit())
                return;
        }
    }
}

bool frmOptions::captionsFit() const {
    for (const QLabel* label : {lbl[0], lbl[1], lbl[2], lbl[3], lblPrc}) {
        const int m = label->margin();
        if (!textFits(label, label->text(), label->contentsRect().adjusted(m, m, -m, -m)))
            return false;
    }
    std::vector<const QAbstractButton*> buttons = {chkOnTop,       chkGrid, chkMarkers, chkCoords,
                                                   chkFollowMouse, cmdOK,   cmdCancel};
    buttons.insert(buttons.end(), cmdColor.begin(), cmdColor.end());
    for (const QAbstractButton* button : buttons) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<const QCheckBox*>(button) != nullptr;
        const QRect room = button->style()->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        if (!textFits(button, option.text, room))
            return false;
    }
    for (const QComboBox* list : {cboShowBars, cboArrowColor}) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        option.frame = true;
        const QRect room = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, list);
        for (int i = 0; i < list->count(); ++i)
            if (!textFits(list, list->itemText(i), room))
                return false;
    }
    return true;
}

void frmOptions::Form_Load() {
    scrFactor->setSpinRange(1, frmMain::gMaxFactor);

    cboShowBars->addItems({QStringLiteral("None"), QStringLiteral("Left"), QStringLiteral("Top"),
                           QStringLiteral("Both")});
    cboArrowColor->addItems({QStringLiteral("Yellow"), QStringLiteral("Red"),
                             QStringLiteral("Green"), QStringLiteral("Blue")});
    // A filled list selects its first entry by itself; it starts with none selected.
    cboShowBars->setCurrentIndex(-1);
    cboArrowColor->setCurrentIndex(-1);

    chkOnTop->setChecked(m_main.gOnTop);

    const Zoom& zoom = *m_main.Zoom1;
    chkGrid->setChecked(zoom.HasGrid());
    chkMarkers->setChecked(zoom.ShowMarkers());
    chkFollowMouse->setChecked(zoom.FollowMouse());
    scrFactor->setSpinValue(zoom.Factor());
    scrStep->setSpinValue(zoom.Step());
    // A value the list does not hold leaves it without a selection.
    if (zoom.ShowBars() >= 0 && zoom.ShowBars() < cboShowBars->count())
        cboShowBars->setCurrentIndex(int(zoom.ShowBars()));
    if (zoom.ArrowColor() >= 0 && zoom.ArrowColor() < cboArrowColor->count())
        cboArrowColor->setCurrentIndex(int(zoom.ArrowColor()));
    setSwatch(0, zoom.ClrMarkersL());
    setSwatch(1, zoom.ClrMarkersT());
    setSwatch(2, zoom.ClrGridA());
    setSwatch(3, zoom.ClrGridB());
    setSwatch(4, zoom.ClrDivs());

    chkCoords->setChecked(m_main.gShowCoords);

    // Setting a bar to the value it already has reports no change.
    txtFactor->setText(QString::number(scrFactor->spinValue()));
    txtStep->setText(QString::number(scrStep->spinValue()));
}

void frmOptions::setSwatch(int Index, int32_t color) {
    m_color[size_t(Index)] = color;
    QLabel* swatch = lblColor[size_t(Index)];
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, toQColor(color));
    swatch->setPalette(palette);
}

void frmOptions::cmdColor_Click(int Index) {
    if (Index < 0 || Index >= int(lblColor.size()))
        return;
    const QColor start = lblColor[size_t(Index)]->palette().color(QPalette::Window);
    const QColor chosen = QColorDialog::getColor(start, this, cmdColor[size_t(Index)]->text());
    if (!chosen.isValid())
        return; // cancelled
    setSwatch(Index, colorValueFromRgb(chosen.rgb()));
}

void frmOptions::cmdOK_Click() {
    if (scrFactor->spinValue() > frmMain::gMaxFactor)
        scrFactor->setSpinValue(frmMain::gMaxFactor);

    Zoom& zoom = *m_main.Zoom1;
    zoom.setHasGrid(chkGrid->isChecked());
    zoom.setShowMarkers(chkMarkers->isChecked());
    zoom.setFollowMouse(chkFollowMouse->isChecked());
    zoom.setShowBars(cboShowBars->currentIndex());
    zoom.setFactor(int16_t(scrFactor->spinValue()));
    zoom.setStep(int16_t(scrStep->spinValue()));
    zoom.setClrMarkersL(m_color[0]);
    zoom.setClrMarkersT(m_color[1]);
    zoom.setClrGridA(m_color[2]);
    zoom.setClrGridB(m_color[3]);
    zoom.setClrDivs(m_color[4]);
    zoom.setArrowColor(cboArrowColor->currentIndex());

    m_main.gShowCoords = chkCoords->isChecked();
    m_main.picCoords->setVisible(m_main.gShowCoords);
    m_main.Form_Resize();

    // A locked view stays put, so the coordinate boxes stay editable then.
    m_main.setTracking(chkFollowMouse->isChecked() && !zoom.Locked());

    // The window's z-order follows after the dialog has closed.
    m_main.gOnTop = chkOnTop->isChecked();

    accept();
}

void frmOptions::cmdCancel_Click() {
    reject();
}

} // namespace ocula
