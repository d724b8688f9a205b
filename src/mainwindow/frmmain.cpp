// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "mainwindow/frmmain.h"

#include "common/colortext.h"
#include "common/keycodes.h"
#include "common/numbers.h"
#include "common/twips.h"
#include "common/uiscale.h"
#include "magnifier/propertybag.h"
#include "magnifier/zoom.h"
#include "mainwindow/colorswatch.h"
#include "mainwindow/frmabout.h"
#include "mainwindow/msubclass.h"
#include "options/frmoptions.h"
#include "platform/filehive/filehivestorage.h"
#include "platform/window.h"
#include "settings/settingsstore.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <algorithm>

namespace ocula {

namespace {

void placeTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width),
                   twipsToPixelsY(height));
}

QLineEdit* newBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setAlignment(Qt::AlignRight);
    box->setTextMargins(0, 0, 0, 0);
    return box;
}

} // namespace

frmMain::frmMain(ScreenSource* source, QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Ocula"));

    Zoom1 = new Zoom(this, source);
    Zoom1->setObjectName(QStringLiteral("Zoom1"));
    // The saved design of this window gives Zoom1 a factor of 10 and the grid; the
    // settings loaded at start-up override both.
    MemoryPropertyBag design;
    design.set(QStringLiteral("Factor"), 10);
    design.set(QStringLiteral("HasGrid"), true);
    Zoom1->ReadProperties(design);

    buildInfobar();

    tmrMouse = new QTimer(this);
    tmrMouse->setInterval(180);
    connect(tmrMouse, &QTimer::timeout, this, &frmMain::tmrMouse_Timer);

    mnuOptionsTop = new QMenu(QStringLiteral("OptionsTOP"), this);
    mnuInfobar = mnuOptionsTop->addAction(QStringLiteral("Infobar"));
    mnuInfobar->setCheckable(true);
    // The keys are shown beside the items; Zoom1's key events carry them out (a window-wide
    // shortcut would take the letters from the coordinate boxes too).
    auto addItem = [this](const char* caption, QKeySequence key) {
        QAction* item = mnuOptionsTop->addAction(QString::fromLatin1(caption));
        item->setShortcut(key);
        item->setShortcutContext(Qt::WidgetShortcut);
        return item;
    };
    mnuCopyColor = addItem("Copy Colour", QKeySequence(Qt::Key_K));
    mnuCopyRgb = addItem("Copy Colour as RGB", QKeySequence(Qt::SHIFT | Qt::Key_K));
    mnuCopyView = addItem("Copy View", QKeySequence(Qt::Key_V));
    mnuCopyPixels = addItem("Copy Pixels", QKeySequence(Qt::SHIFT | Qt::Key_V));
    mnuSaveView = addItem("Save View As...", QKeySequence());
    mnuOptionsTop->addSeparator();
    mnuOptions = mnuOptionsTop->addAction(QStringLiteral("Options"));
    mnuOptionsTop->addSeparator();
    mnuAbout = mnuOptionsTop->addAction(QStringLiteral("About"));
    connect(mnuInfobar, &QAction::triggered, this, &frmMain::toggleInfobar);
    connect(mnuOptions, &QAction::triggered, this, &frmMain::showOptions);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::showAbout);
    connect(mnuCopyColor, &QAction::triggered, this, [this] { copyColor(false); });
    connect(mnuCopyRgb, &QAction::triggered, this, [this] { copyColor(true); });
    connect(mnuCopyView, &QAction::triggered, this, [this] { copyView(false); });
    connect(mnuCopyPixels, &QAction::triggered, this, [this] { copyView(true); });
    connect(mnuSaveView, &QAction::triggered, this, &frmMain::saveViewAs);

    // A still view changes only when told to, or where the pointer is over it: such changes
    // are gathered into one refresh of the colour panel, at most one per tmrMouse period.
    tmrColor = new QTimer(this);
    tmrColor->setSingleShot(true);
    tmrColor->setInterval(tmrMouse->interval());
    connect(tmrColor, &QTimer::timeout, this, &frmMain::refreshColor);
    connect(Zoom1, &Zoom::viewPointerMoved, this, &frmMain::scheduleColor);
    connect(Zoom1, &Zoom::propertyChanged, this, &frmMain::scheduleColor);
    connect(mnuOptionsTop, &QMenu::aboutToHide, this, &frmMain::scheduleColor);

    connect(Zoom1, &Zoom::KeyDown, this, &frmMain::Zoom1_KeyDown);
    connect(Zoom1, &Zoom::KeyUp, this, &frmMain::Zoom1_KeyUp);
    connect(Zoom1, &Zoom::MouseUp, this, &frmMain::Zoom1_MouseUp);
    // A resting view means a still pointer: the coordinates rest with it.
    connect(Zoom1, &Zoom::restingChanged, this, [this](bool resting) {
        if (!txtX->isReadOnly())
            return; // not tracking the pointer
        if (resting) {
            tmrMouse_Timer();
            tmrMouse->stop();
        } else {
            tmrMouse->start();
        }
    });
    // A bar redraw re-places markers that were never placed (a new factor, bars or markers
    // shown): the distances change with them.
    connect(Zoom1, &Zoom::propertyChanged, this, [this](const QString& name) {
        if (name == QLatin1String("Factor") || name == QLatin1String("ShowBars") ||
            name == QLatin1String("ShowMarkers"))
            showDistances();
    });
    connect(Zoom1, &Zoom::MarkerChangeX, this,
            [this](int d) { txtDistX->setText(QString::number(d)); });
    connect(Zoom1, &Zoom::MarkerChangeY, this,
            [this](int d) { txtDistY->setText(QString::number(d)); });

    // Keys reach the view first.
    setTabOrder(Zoom1, txtDistX);
    setTabOrder(txtDistX, txtDistY);
    setTabOrder(txtDistY, txtX);
    setTabOrder(txtX, txtY);
    Zoom1->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::buildInfobar() {
    picInfobar = new QWidget(this);
    picInfobar->setObjectName(QStringLiteral("picInfobar"));

    lbl[0] = new QLabel(QStringLiteral("Width :"), picInfobar);
    placeTwips(lbl[0], 45, 90, 510, 195);
    txtDistX = newBox(picInfobar, "txtDistX");
    placeTwips(txtDistX, 585, 30, 495, 300);
    lbl[1] = new QLabel(QStringLiteral("Height :"), picInfobar);
    placeTwips(lbl[1], 1290, 90, 555, 195);
    txtDistY = newBox(picInfobar, "txtDistY");
    placeTwips(txtDistY, 1875, 30, 495, 300);
    txtDistX->setReadOnly(true);
    txtDistY->setReadOnly(true);

    picCoords = new QWidget(picInfobar);
    picCoords->setObjectName(QStringLiteral("picCoords"));
    placeTwips(picCoords, 0, 30, 1770, 300);
    lbl[2] = new QLabel(QStringLiteral("X :"), picCoords);
    placeTwips(lbl[2], 75, 60, 195, 195);
    txtX = newBox(picCoords, "txtX");
    placeTwips(txtX, 300, 0, 495, 300);
    lbl[3] = new QLabel(QStringLiteral("Y :"), picCoords);
    placeTwips(lbl[3], 1050, 60, 195, 195);
    txtY = newBox(picCoords, "txtY");
    placeTwips(txtY, 1275, 0, 495, 300);
    for (QLineEdit* box : {txtX, txtY})
        box->installEventFilter(this);

    // The bar is 22 pixels high at 96 dpi and its captions have fixed widths: 9 pixels is
    // the size at which "Height :" still fits whole. Both grow with the dpi; where rounding
    // leaves a caption short of room, the font steps down until it fits.
    QFont small = font();
    for (int px = scaled(9); px >= 6; --px) {
        small.setPixelSize(px);
        picInfobar->setFont(small);
        if (std::all_of(lbl.begin(), lbl.end(), [](const QLabel* label) {
                return QFontMetrics(label->font()).horizontalAdvance(label->text()) <=
                       label->width();
            }))
            break;
    }

    picInfobar->setFixedHeight(twipsToPixelsY(330));

    picColor = new QWidget(picInfobar);
    picColor->setObjectName(QStringLiteral("picColor"));
    picSwatch = new ColorSwatch(picColor);
    picPinned = new ColorSwatch(picColor);
    lblHex = new QLabel(picColor);
    lblContrast = new QLabel(picColor);
    picColor->installEventFilter(this);
    for (QLabel* label : {lblHex, lblContrast})
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    placeColorPanel();
}

void frmMain::placeColorPanel() {
    // Fixed widths, for the widest text each can show, so that nothing moves as the colour
    // changes.
    const QFontMetrics fm(picInfobar->font());
    auto widest = [&fm](const QStringList& texts) {
        int w = 0;
        for (const QString& t : texts)
            w = std::max(w, fm.horizontalAdvance(t));
        return w;
    };
    QStringList hexes{QStringLiteral("off screen")};
    QStringList ratios;
    for (QChar d : QStringLiteral("0123456789ABCDEF")) {
        hexes << QStringLiteral("#") + QString(6, d);
        if (d.isDigit())
            for (const char* level : {"AAA", "AA", "fail"})
                ratios << QStringLiteral("%1%1.%1%1:1 %2").arg(d).arg(QLatin1String(level));
    }
    const int hexWidth = widest(hexes);
    const int ratioWidth = widest(ratios);

    // The room between the distance boxes and the coordinates panel (or the bar's end).
    const int gap = scaled(6);
    const int space = scaled(4);
    const int left = txtDistY->geometry().right() + 1 + gap;
    const int right =
        (picCoords->isVisibleTo(picInfobar) ? picCoords->x() : picInfobar->width()) - gap;
    const int room = right - left;
    const int swatch = txtDistY->height() - scaled(6);
    const int colorWidth = swatch + space + hexWidth;
    const int compareWidth = swatch + space + ratioWidth;
    // Pinned, the comparison comes before the colour's text when both do not fit.
    const bool pinned = m_pinned.has_value();
    const bool both = pinned && room >= colorWidth + gap + compareWidth;
    const bool compare = pinned && (both || room >= swatch + space + compareWidth);
    const bool hex = !compare || both;
    const int width =
        compare ? (both ? colorWidth + gap : swatch + space) + compareWidth : colorWidth;
    if (room < width) {
        picColor->hide();
        return;
    }
    picColor->setGeometry(left, 0, width, picInfobar->height());
    const int swatchTop = txtDistY->y() + (txtDistY->height() - swatch) / 2;
    const QRect text(0, lbl[1]->y(), 0, lbl[1]->height());
    picSwatch->setGeometry(0, swatchTop, swatch, swatch);
    lblHex->setGeometry(swatch + space, text.y(), hexWidth, text.height());
    lblHex->setVisible(hex);
    const int compareLeft = both ? colorWidth + gap : swatch + space;
    picPinned->setGeometry(compareLeft, swatchTop, swatch, swatch);
    lblContrast->setGeometry(compareLeft + swatch + space, text.y(), ratioWidth, text.height());
    picPinned->setVisible(compare);
    lblContrast->setVisible(compare);
    picColor->show();
}

RegistryStorage* frmMain::registry() {
    if (m_registry == nullptr) {
        m_scratchDir = std::make_unique<QTemporaryDir>();
        m_scratchRegistry = std::make_unique<FileHiveStorage>(m_scratchDir->path());
        m_registry = m_scratchRegistry.get();
    }
    return m_registry;
}

void frmMain::LoadSettings() {
    settings::LoadSettings(*this, *registry());
}

void frmMain::SaveSettings() {
    settings::SaveSettings(*this, *registry());
}

void frmMain::Form_Load() {
    LoadSettings();
    setTracking(Zoom1->FollowMouse());
    // The wheel handling sits on the native window, which must exist for it.
    winId();
    m_windowProc = new WindowProc(Zoom1, gMaxFactor, this);
    if (QWindow* handle = windowHandle())
        m_windowProc->watch(handle);
}

void frmMain::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (QWindow* handle = windowHandle(); handle != nullptr && m_windowProc != nullptr)
        m_windowProc->unwatch(handle);
    SaveSettings();
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMain::resizeEvent(QResizeEvent*) {
    Form_Resize();
}

void frmMain::Form_Resize() {
    const int barHeight = picInfobar->isVisibleTo(this) ? picInfobar->height() : 0;
    picInfobar->setGeometry(0, height() - picInfobar->height(), width(), picInfobar->height());
    if (picCoords->isVisibleTo(picInfobar))
        picCoords->move(picInfobar->width() - picCoords->width(), picCoords->y());
    // A window shorter than the bar (minimized, say) leaves the view as it was.
    const int zoomHeight = height() - barHeight;
    if (zoomHeight >= 0)
        Zoom1->placeAt(QRect(0, 0, width(), zoomHeight));
    if (picInfobar->isVisibleTo(this))
        showDistances();
    placeColorPanel();
    scheduleColor();
}

void frmMain::showDistances() {
    txtDistX->setText(QString::number(Zoom1->DistanceX()));
    txtDistY->setText(QString::number(Zoom1->DistanceY()));
}

void frmMain::runModal(QDialog& dialog) {
    Zoom1->releaseViewCapture();
    setTopmost(this, false);
    dialog.exec();
    if (gOnTop)
        setTopmost(this, true);
}

void frmMain::showOptions() {
    frmOptions dlg(*this);
    runModal(dlg);
}

void frmMain::showAbout() {
    frmAbout about(this);
    runModal(about);
}

void frmMain::Zoom1_MouseUp(short Button, short, float X, float Y) {
    if (Button != 2)
        return;
    mnuInfobar->setChecked(picInfobar->isVisibleTo(this));
    // The copy items take the colour under the click, which the panel then keeps.
    refreshColor();
    mnuCopyColor->setEnabled(m_color.has_value());
    mnuCopyRgb->setEnabled(m_color.has_value());
    Zoom1->releaseViewCapture();
    mnuOptionsTop->popup(Zoom1->mapToGlobal(QPoint(int(X), int(Y))));
}

void frmMain::toggleInfobar() {
    picInfobar->setVisible(!picInfobar->isVisibleTo(this));
    mnuInfobar->setChecked(picInfobar->isVisibleTo(this));
    Form_Resize();
}

void frmMain::toggleCoords() {
    gShowCoords = !gShowCoords;
    picCoords->setVisible(gShowCoords);
    Form_Resize();
}

void frmMain::setTracking(bool tracking) {
    txtX->setReadOnly(tracking);
    txtY->setReadOnly(tracking);
    if (tracking)
        tmrMouse->start();
    else
        tmrMouse->stop();
}

void frmMain::tmrMouse_Timer() {
    // Rewriting an unchanged box would still lay out and repaint its text.
    auto show = [](QLineEdit* box, int32_t value) {
        const QString text = QString::number(value);
        if (box->text() != text)
            box->setText(text);
    };
    show(txtX, Zoom1->CurrentX());
    show(txtY, Zoom1->CurrentY());
    refreshColor();
}

void frmMain::scheduleColor() {
    // While tracking, tmrMouse refreshes the panel itself.
    if (!tmrColor->isActive() && !tmrMouse->isActive())
        tmrColor->start();
}

void frmMain::refreshColor() {
    // The menu's items act on what the panel showed when it opened.
    if (mnuOptionsTop->isVisible())
        return;
    std::optional<QPoint> under;
    if (!Zoom1->FollowMouse() || Zoom1->Locked())
        if (const std::optional<QPoint> at = Zoom1->pointerInView())
            under = Zoom1->screenPixelAt(*at);
    const QPoint pixel = under.value_or(QPoint(Zoom1->CurrentX(), Zoom1->CurrentY()));
    QRgb color = 0;
    switch (Zoom1->shownColor(pixel, &color)) {
    case Zoom::Shown::Yes:
        m_colorPixel = pixel;
        m_color = color;
        m_colorOffScreen = false;
        break;
    case Zoom::Shown::OffScreen:
        m_colorPixel = pixel;
        m_color.reset();
        m_colorOffScreen = true;
        break;
    case Zoom::Shown::No:
        break; // the view shows no picture (blank under the pointer): the last one stays
    }
    showColor();

    // Over a still view the boxes tell where the pointer is, and go back to the centre
    // when it leaves; what the user is typing into a box stays.
    auto show = [](QLineEdit* box, int32_t value) {
        const QString text = QString::number(value);
        if (!box->isModified() && box->text() != text)
            box->setText(text);
    };
    if (under) {
        show(txtX, under->x());
        show(txtY, under->y());
        m_boxesShowPointer = true;
    } else if (m_boxesShowPointer) {
        show(txtX, Zoom1->CurrentX());
        show(txtY, Zoom1->CurrentY());
        m_boxesShowPointer = false;
    }
}

void frmMain::showColor() {
    // Most refreshes find what the panel shows already.
    const ShownColor now{m_color, m_pinned, m_colorOffScreen};
    if (now == m_shownColor)
        return;
    m_shownColor = now;
    picSwatch->setColor(m_color);
    picPinned->setColor(m_pinned);
    lblHex->setText(m_color            ? hexText(*m_color)
                    : m_colorOffScreen ? QStringLiteral("off screen")
                                       : QString());
    lblContrast->setText(m_pinned && m_color ? contrastText(contrastRatio(*m_pinned, *m_color))
                                             : QString());
}

QString frmMain::colorToolTip() const {
    QString tip;
    if (m_color || m_colorOffScreen)
        tip = QStringLiteral("%1 at %2, %3")
                  .arg(m_color ? hexText(*m_color) + QLatin1Char(' ') + rgbText(*m_color)
                               : QStringLiteral("off screen"))
                  .arg(m_colorPixel.x())
                  .arg(m_colorPixel.y());
    if (m_pinned) {
        tip += QStringLiteral("\npinned %1 %2").arg(hexText(*m_pinned), rgbText(*m_pinned));
        if (m_color)
            tip += QStringLiteral(", contrast ") + contrastText(contrastRatio(*m_pinned, *m_color));
    }
    return tip;
}

void frmMain::pinColor() {
    if (!m_color)
        return;
    m_pinned = m_color;
    placeColorPanel();
    showColor();
}

void frmMain::unpinColor() {
    m_pinned.reset();
    placeColorPanel();
    showColor();
}

void frmMain::copyColor(bool asRgb) {
    if (m_color)
        QGuiApplication::clipboard()->setText(asRgb ? rgbText(*m_color) : hexText(*m_color));
}

void frmMain::copyView(bool pixels) {
    const QImage image = pixels ? Zoom1->shownPixels() : Zoom1->shownView();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

QString frmMain::viewFileName() const {
    return QStringLiteral("ocula-%1-%2-x%3.png")
        .arg(Zoom1->CurrentX())
        .arg(Zoom1->CurrentY())
        .arg(Zoom1->Factor());
}

void frmMain::saveViewAs() {
    // What the view shows now: a following view would show the dialog once it is open.
    const QImage view = Zoom1->shownView();
    const QImage pixels = Zoom1->shownPixels();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString asShown = QStringLiteral("The view as shown (*.png)");
    const QString oneToOne = QStringLiteral("The screen pixels at 1:1 (*.png)");
    QFileDialog dialog(this, QStringLiteral("Save View As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({asShown, oneToOne});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setDirectory(folder);
    dialog.selectFile(viewFileName());
    runModal(dialog);
    if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString why;
    if (saveImage(dialog.selectedNameFilter() == oneToOne ? pixels : view, path, &why))
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Save View As"),
                    QStringLiteral("The view could not be saved as %1.\n\n%2")
                        .arg(QDir::toNativeSeparators(path), why),
                    QMessageBox::Ok, this);
    runModal(box);
}

bool frmMain::saveImage(const QImage& image, const QString& path, QString* why) {
    if (image.isNull()) {
        *why = QStringLiteral("The view shows no picture.");
        return false;
    }
    // Written beside the target and renamed over it once whole: a failed write leaves
    // whatever was there before.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    if (!image.save(&file, "PNG")) {
        *why = file.error() != QFileDevice::NoError
                   ? file.errorString()
                   : QStringLiteral("The PNG could not be written.");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

void frmMain::commitCoordinate(QLineEdit* box) {
    if (box->isReadOnly())
        return;
    const std::optional<int32_t> value = leadingNumberAsLong(box->text());
    if (!value)
        return; // beyond 32 bits: nothing to commit
    if (box == txtX)
        Zoom1->setCurrentX(*value);
    else if (box == txtY)
        Zoom1->setCurrentY(*value);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // The colour panel's tip is written when asked for, not at every refresh.
    if (watched == picColor && event->type() == QEvent::ToolTip) {
        const QString tip = colorToolTip();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, picColor);
        return true;
    }
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box == nullptr || (box != txtX && box != txtY))
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            commitCoordinate(box);
            return true;
        }
        // Only digits may be typed; control characters (and so paste) still pass.
        const QString text = key->text();
        if (!box->isReadOnly() && !text.isEmpty() && text.at(0).unicode() > 31 &&
            text.at(0).unicode() != 127 && !(text.at(0) >= u'0' && text.at(0) <= u'9'))
            return true;
    } else if (event->type() == QEvent::InputMethod && !box->isReadOnly()) {
        // Composed text must obey the same digits-only rule as typed keys.
        auto* im = static_cast<QInputMethodEvent*>(event);
        QString digits;
        for (QChar c : im->commitString())
            if (c >= u'0' && c <= u'9')
                digits.append(c);
        if (digits != im->commitString()) {
            QInputMethodEvent filtered(im->preeditString(), im->attributes());
            filtered.setCommitString(digits, im->replacementStart(), im->replacementLength());
            QCoreApplication::sendEvent(box, &filtered);
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Only leaving for another control discards the entry: a popup (the box's own
        // context menu, say) or another window taking the focus leaves it alone.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            box->setText(QString::number(box == txtX ? Zoom1->CurrentX() : Zoom1->CurrentY()));
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::Zoom1_KeyDown(short KeyCode, short Shift) {
    switch (KeyCode) {
    case vk::Left:
    case vk::Right:
    case vk::Up:
    case vk::Down: {
        const bool horizontal = KeyCode == vk::Left || KeyCode == vk::Right;
        // Left and Up count up, Right and Down count down.
        const bool increase = KeyCode == vk::Left || KeyCode == vk::Up;
        if (Shift == 0) {
            if (horizontal) {
                Zoom1->setCurrentX(Zoom1->CurrentX() + (increase ? 1 : -1));
                txtX->setText(QString::number(Zoom1->CurrentX()));
            } else {
                Zoom1->setCurrentY(Zoom1->CurrentY() + (increase ? 1 : -1));
                txtY->setText(QString::number(Zoom1->CurrentY()));
            }
        } else if (Shift == 1 || Shift == 2) {
            const int32_t marker = (horizontal ? 2 : 0) + (Shift == 2 ? 1 : 0);
            Zoom1->MarkerMove(marker, increase ? 0 : 1);
        }
        break;
    }
    case vk::Add:
        if (Zoom1->Factor() < gMaxFactor)
            Zoom1->setFactor(int16_t(Zoom1->Factor() + 1));
        break;
    case vk::Subtract:
        if (Zoom1->Factor() > 1)
            Zoom1->setFactor(int16_t(Zoom1->Factor() - 1));
        break;
    case vk::Multiply:
        Zoom1->setFactor(10);
        break;
    case 'I':
        toggleInfobar();
        break;
    case 'C':
        toggleCoords();
        break;
    case 'G':
        Zoom1->setHasGrid(!Zoom1->HasGrid());
        break;
    case 'M':
        Zoom1->setShowMarkers(!Zoom1->ShowMarkers());
        break;
    case 'B':
        Zoom1->setShowBars(Zoom1->ShowBars() < 3 ? 3 : 0);
        break;
    case 'F':
        Zoom1->setFollowMouse(!Zoom1->FollowMouse());
        setTracking(Zoom1->FollowMouse());
        break;
    case 'K':
        // A key takes the colour of now; the menu's item, what the panel showed as it opened.
        refreshColor();
        copyColor((Shift & 1) != 0);
        break;
    case 'V':
        copyView((Shift & 1) != 0);
        break;
    case 'P':
        if ((Shift & 1) != 0) {
            unpinColor();
        } else {
            refreshColor();
            pinColor();
        }
        break;
    default:
        break;
    }
}

void frmMain::Zoom1_KeyUp(short KeyCode, short) {
    if (!Zoom1->FollowMouse())
        return;
    if (KeyCode == vk::Escape) {
        Zoom1->setLocked(true);
        setTracking(false);
    } else if (KeyCode == vk::Back) {
        Zoom1->setLocked(false);
        setTracking(true);
    }
}

} // namespace ocula
