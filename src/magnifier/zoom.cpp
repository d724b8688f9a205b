// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/zoom.h"

#include "common/colors.h"
#include "common/keycodes.h"
#include "common/uiscale.h"
#include "magnifier/arrowimages.h"
#include "magnifier/geometry.h"
#include "magnifier/propertybag.h"
#include "magnifier/zoomarea.h"
#include "platform/screensource.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace ocula {

namespace {

// Over a directly presented view a marker line needs a window of its own: the server then
// keeps the view's frames off it. The mouse must still reach the view through it, which a
// native window allows only when the window system is told.
class MarkerLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WinIdChange && windowHandle() != nullptr)
            windowHandle()->setFlag(Qt::WindowTransparentForInput);
        return QWidget::event(event);
    }
};

QWidget* newMarkerLine(ZoomArea* parent) {
    auto* line = new MarkerLine(parent);
    if (parent->presentsDirectly())
        line->setAttribute(Qt::WA_NativeWindow);
    line->setAutoFillBackground(true);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    line->hide();
    return line;
}

QLabel* newArrow(QWidget* parent, const QPixmap& picture) {
    auto* arrow = new QLabel(parent);
    arrow->setAttribute(Qt::WA_TransparentForMouseEvents);
    arrow->setGeometry(0, scaled(2), arrowSize(), arrowSize());
    arrow->setPixmap(scaledArrow(picture));
    arrow->hide();
    return arrow;
}

short buttonCode(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

short buttonMask(Qt::MouseButtons b) {
    return short((b.testFlag(Qt::LeftButton) ? 1 : 0) | (b.testFlag(Qt::RightButton) ? 2 : 0) |
                 (b.testFlag(Qt::MiddleButton) ? 4 : 0));
}

int16_t toShort(int v) {
    return int16_t(std::clamp<int>(v, std::numeric_limits<int16_t>::min(),
                                   std::numeric_limits<int16_t>::max()));
}

} // namespace

Zoom::Zoom(QWidget* parent, ScreenSource* source) : QWidget(parent), m_source(source) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);

    m_picLeft = new ZoomArea(this, toQColor(kSysButtonFace));
    m_picTop = new ZoomArea(this, toQColor(kSysButtonFace));
    m_picZoom = new ViewFrame(this);
    m_picZoom->client()->installEventFilter(this);
    ZoomArea* view = m_picZoom->client();
    view->setRowPainter(
        [this](uchar* bits, qsizetype bpl, const QRect& area) { paintViewRows(bits, bpl, area); });
    view->setMouseTracking(true);

    for (size_t i = 0; i < 2; ++i) {
        m_picArrowLeft[i] = newArrow(m_picLeft, builtinLeftArrow());
        m_picArrowLeft[i]->move(scaled(2), 0);
        m_picArrowTop[i] = newArrow(m_picTop, builtinTopArrow());
        m_MarkerL[i] = newMarkerLine(view);
        m_MarkerT[i] = newMarkerLine(view);
    }

    m_tmrZoom = new QTimer(this);
    m_tmrZoom->setInterval(kRefreshMs);
    connect(m_tmrZoom, &QTimer::timeout, this, &Zoom::Redraw);
    setScreenSource(source); // not sampling yet: the source need not listen

    m_mnuLeft = new QMenu(this);
    m_mnuLeftOn = m_mnuLeft->addAction(QStringLiteral("Show Markers"));
    m_mnuLeftOff = m_mnuLeft->addAction(QStringLiteral("Hide Markers"));
    m_mnuTop = new QMenu(this);
    m_mnuTopOn = m_mnuTop->addAction(QStringLiteral("Show Markers"));
    m_mnuTopOff = m_mnuTop->addAction(QStringLiteral("Hide Markers"));
    connect(m_mnuLeftOn, &QAction::triggered, this, &Zoom::mnuLeftOn_Click);
    connect(m_mnuLeftOff, &QAction::triggered, this, &Zoom::mnuLeftOff_Click);
    connect(m_mnuTopOn, &QAction::triggered, this, &Zoom::mnuTopOn_Click);
    connect(m_mnuTopOff, &QAction::triggered, this, &Zoom::mnuTopOff_Click);

    auto shiftOf = [](QMouseEvent* e) { return short(shiftMask(e->modifiers())); };
    connect(m_picTop, &ZoomArea::mouseReleased, this, [this, shiftOf](QMouseEvent* e) {
        picTop_MouseUp(buttonCode(e->button()), shiftOf(e), float(e->position().x()),
                       float(e->position().y()));
    });
    connect(m_picLeft, &ZoomArea::mouseReleased, this, [this, shiftOf](QMouseEvent* e) {
        picLeft_MouseUp(buttonCode(e->button()), shiftOf(e), float(e->position().x()),
                        float(e->position().y()));
    });
    connect(view, &ZoomArea::mousePressed, this, [this](QMouseEvent* e) {
        setFocus(Qt::MouseFocusReason);
        forwardViewMouse(e, 0);
    });
    connect(view, &ZoomArea::mouseMoved, this, &Zoom::picZoom_MouseMove);
    connect(view, &ZoomArea::mouseReleased, this, [this, view](QMouseEvent* e) {
        forwardViewMouse(e, 2);
        if (view->rect().contains(e->position().toPoint()))
            emit Click();
    });
    connect(view, &ZoomArea::mouseDoubleClicked, this, [this](QMouseEvent*) { emit DblClick(); });

    // A newly placed control is 1500 x 1500 twips.
    resize(100, 100);
    InitProperties();
}

Zoom::~Zoom() {
    // The source may outlive the control: it must not wake it afterwards.
    if (m_resting && m_source != nullptr)
        m_source->wakeOnChange(nullptr);
    if (m_source != nullptr)
        m_source->onProblemChanged(nullptr);
}

void Zoom::InitProperties() {
    applyBorderStyle(1);
    QWidget::setEnabled(true);
    m_ClrMarkersL = m_ClrMarkersT = kSysHighlight;
    m_ClrGridA = kSysButtonFace;
    m_ClrGridB = m_ClrDivs = kSysButtonHighlight;
    m_ArrowColor = 0;
    m_Factor = m_Step = 1;
    m_HasGrid = m_Locked = false;
    m_FollowMouse = m_ShowMarkers = true;
    m_ShowBars = 3;
}

void Zoom::ReadProperties(const PropertyBag& bag) {
    applyBorderStyle(int16_t(bag.ReadProperty(QStringLiteral("BorderStyle"), 1).toInt()));
    QWidget::setEnabled(bag.ReadProperty(QStringLiteral("Enabled"), true).toBool());
    // Stored values go straight into the fields: no clamping and no side effects.
    auto readLong = [&bag](const char* key, int32_t def) {
        return int32_t(bag.ReadProperty(QString::fromLatin1(key), def).toInt());
    };
    auto readBool = [&bag](const char* key, bool def) {
        return bag.ReadProperty(QString::fromLatin1(key), def).toBool();
    };
    m_ClrMarkersL = readLong("ClrMarkersL", kSysHighlight);
    m_ClrMarkersT = readLong("ClrMarkersT", kSysHighlight);
    m_ClrGridA = readLong("ClrGridA", kSysButtonFace);
    m_ClrGridB = readLong("ClrGridB", kSysButtonHighlight);
    m_ClrDivs = readLong("ClrDivs", kSysButtonHighlight);
    m_ArrowColor = readLong("ArrowColor", 0);
    m_Factor = toShort(readLong("Factor", 1));
    m_Step = toShort(readLong("Step", 1));
    m_HasGrid = readBool("HasGrid", false);
    m_Locked = readBool("Locked", false);
    m_FollowMouse = readBool("FollowMouse", true);
    m_ShowMarkers = readBool("ShowMarkers", true);
    m_ShowBars = readLong("ShowBars", 3);

    applyMarkerColors();

    m_MarkersLeftOn = m_ShowBars == 1 || m_ShowBars == 3;
    m_MarkersTopOn = m_ShowBars == 2 || m_ShowBars == 3;
    if (!m_ShowMarkers)
        m_MarkersLeftOn = m_MarkersTopOn = false;

    if (m_userMode && m_FollowMouse)
        setSampling(true);
}

void Zoom::WriteProperties(PropertyBag& bag) {
    auto write = [&bag](const char* key, const QVariant& value, const QVariant& def) {
        bag.WriteProperty(QString::fromLatin1(key), value, def);
    };
    write("BorderStyle", int(int16_t(m_borderStyle)), 1);
    write("Enabled", isEnabled(), true);
    write("ClrMarkersL", m_ClrMarkersL, kSysHighlight);
    write("ClrMarkersT", m_ClrMarkersT, kSysHighlight);
    write("ClrGridA", m_ClrGridA, kSysButtonFace);
    write("ClrGridB", m_ClrGridB, kSysButtonHighlight);
    write("ClrDivs", m_ClrDivs, kSysButtonHighlight);
    write("ArrowColor", m_ArrowColor, 0);
    write("Factor", int(m_Factor), 1);
    write("Step", int(m_Step), 1);
    write("HasGrid", m_HasGrid, false);
    write("Locked", m_Locked, false);
    write("FollowMouse", m_FollowMouse, true);
    write("ShowMarkers", m_ShowMarkers, true);
    write("ShowBars", m_ShowBars, 3);
    setSampling(false);
}

int32_t Zoom::SizeX() const {
    return geometry::markerUpperBound(m_picTop->width(), m_Factor, ViewFrame::border());
}

int32_t Zoom::SizeY() const {
    return geometry::markerUpperBound(m_picLeft->height(), m_Factor, ViewFrame::border());
}

int32_t Zoom::DistanceX() const {
    return geometry::arrowDistance(m_picArrowTop[0]->x(), m_picArrowTop[1]->x(), m_Factor);
}

int32_t Zoom::DistanceY() const {
    return geometry::arrowDistance(m_picArrowLeft[0]->y(), m_picArrowLeft[1]->y(), m_Factor);
}

void Zoom::applyBorderStyle(int32_t style) {
    m_borderStyle = int16_t(style & 0xFFFF);
    const int m = m_borderStyle == 1 ? 1 : 0;
    if (contentsMargins() != QMargins(m, m, m, m)) {
        setContentsMargins(m, m, m, m);
        LayoutBars();
        update();
    }
}

void Zoom::setBorderStyle(int32_t New_BorderStyle) {
    applyBorderStyle(New_BorderStyle);
    changed("BorderStyle");
}

void Zoom::setEnabled(bool New_Enabled) {
    QWidget::setEnabled(New_Enabled);
    Redraw();
    changed("Enabled");
}

void Zoom::setClrGridA(int32_t New_ClrGridA) {
    m_ClrGridA = New_ClrGridA;
    DrawGrid(); // over the view: the next tick draws it anew
    changed("ClrGridA");
}

void Zoom::setClrGridB(int32_t New_ClrGridB) {
    m_ClrGridB = New_ClrGridB;
    DrawGrid();
    changed("ClrGridB");
}

void Zoom::setClrMarkersL(int32_t New_ClrMarkersL) {
    m_ClrMarkersL = New_ClrMarkersL;
    applyMarkerColors();
    changed("ClrMarkersL");
}

void Zoom::setClrMarkersT(int32_t New_ClrMarkersT) {
    m_ClrMarkersT = New_ClrMarkersT;
    applyMarkerColors();
    changed("ClrMarkersT");
}

void Zoom::applyMarkerColors() {
    auto paint = [](QWidget* line, int32_t color) {
        QPalette pal = line->palette();
        pal.setColor(QPalette::Window, toQColor(color));
        line->setPalette(pal);
    };
    for (QWidget* line : m_MarkerL)
        paint(line, m_ClrMarkersL);
    for (QWidget* line : m_MarkerT)
        paint(line, m_ClrMarkersT);
}

void Zoom::setClrDivs(int32_t New_ClrDivs) {
    m_ClrDivs = New_ClrDivs;
    DrawLeftBar(false);
    DrawTopBar(false);
    changed("ClrDivs");
}

namespace {
QSize screenSizeOf(const ScreenSource* source) {
    if (source != nullptr)
        return source->desktopRect().size();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().size() : QSize();
}
} // namespace

void Zoom::setCurrentX(int32_t New_CurrentX) {
    // A value equal to the screen width is let through, as it always has been.
    if (New_CurrentX < 0 || New_CurrentX > screenSizeOf(m_source).width())
        return;
    m_CurrentX = New_CurrentX;
    if (!m_FollowMouse || m_Locked)
        Redraw();
    changed("CurrentX");
}

void Zoom::setCurrentY(int32_t New_CurrentY) {
    if (New_CurrentY < 0 || New_CurrentY > screenSizeOf(m_source).height())
        return;
    m_CurrentY = New_CurrentY;
    if (!m_FollowMouse || m_Locked)
        Redraw();
    changed("CurrentY");
}

void Zoom::setFactor(int16_t New_Factor) {
    int16_t f = New_Factor;
    if (f < 1)
        f = 1;
    if (f > 100)
        f = 100;
    m_Factor = f;
    window()->setWindowTitle(QStringLiteral("Ocula ( x %1 )").arg(m_Factor));
    DrawLeftBar(true);
    DrawTopBar(true);
    Redraw();
    changed("Factor");
}

void Zoom::setStep(int16_t New_Step) {
    m_Step = New_Step < 1 ? int16_t(1) : New_Step;
    DrawLeftBar(false);
    DrawTopBar(false);
    changed("Step");
}

void Zoom::setFollowMouse(bool New_FollowMouse) {
    m_FollowMouse = New_FollowMouse;
    if (!New_FollowMouse)
        dropViewCapture();
    if (m_userMode) {
        setSampling(New_FollowMouse);
    }
    showProblem();
    changed("FollowMouse");
}

void Zoom::setLocked(bool New_Locked) {
    m_Locked = New_Locked;
    if (New_Locked)
        dropViewCapture();
    setSampling(!New_Locked);
    showProblem();
    changed("Locked");
}

void Zoom::setHasGrid(bool New_HasGrid) {
    m_HasGrid = New_HasGrid;
    Redraw();
    changed("HasGrid");
}

void Zoom::setShowBars(int32_t New_ShowBars) {
    m_ShowBars = New_ShowBars;
    auto hideLeftLines = [this] {
        m_MarkerL[0]->hide();
        m_MarkerL[1]->hide();
    };
    auto hideTopLines = [this] {
        m_MarkerT[0]->hide();
        m_MarkerT[1]->hide();
    };
    switch (New_ShowBars) {
    case 0:
        hideLeftLines();
        hideTopLines();
        m_MarkersLeftOn = m_MarkersTopOn = false;
        break;
    case 1:
        m_ShowMarkers ? mnuLeftOn_Click() : mnuLeftOff_Click();
        hideTopLines();
        m_MarkersTopOn = false;
        break;
    case 2:
        m_ShowMarkers ? mnuTopOn_Click() : mnuTopOff_Click();
        hideLeftLines();
        m_MarkersLeftOn = false;
        break;
    case 3:
        if (m_ShowMarkers) {
            mnuLeftOn_Click();
            mnuTopOn_Click();
        } else {
            mnuLeftOff_Click();
            mnuTopOff_Click();
        }
        break;
    default:
        break;
    }
    LayoutBars();
    changed("ShowBars");
}

void Zoom::setShowMarkers(bool New_ShowMarkers) {
    m_ShowMarkers = New_ShowMarkers;
    const bool left = m_ShowBars == 1 || m_ShowBars == 3;
    const bool top = m_ShowBars == 2 || m_ShowBars == 3;
    if (left)
        New_ShowMarkers ? mnuLeftOn_Click() : mnuLeftOff_Click();
    if (top)
        New_ShowMarkers ? mnuTopOn_Click() : mnuTopOff_Click();
    LayoutBars();
    changed("ShowMarkers");
}

void Zoom::setArrowColor(int32_t New_ArrowColor) {
    m_ArrowColor = New_ArrowColor;
    loadArrowPictures(New_ArrowColor);
    changed("ArrowColor");
}

QRect Zoom::inner() const {
    return contentsRect();
}

void Zoom::resizeEvent(QResizeEvent*) {
    LayoutBars();
}

void Zoom::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), toQColor(kSysButtonFace));
    if (m_borderStyle == 1) {
        p.setPen(toQColor(int32_t(0x80000015u)));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    p.end();
    LayoutBars();
}

void Zoom::keyPressEvent(QKeyEvent* event) {
    const short code = virtualKeyCode(*event);
    if (code != 0) {
        if (std::find(m_keysDown.begin(), m_keysDown.end(), code) == m_keysDown.end())
            m_keysDown.push_back(code);
        emit KeyDown(code, shiftMask(event->modifiers()));
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() < 256)
        emit KeyPress(short(text.at(0).unicode()));
}

void Zoom::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat())
        return;
    const short code = virtualKeyCode(*event);
    const auto down = std::find(m_keysDown.begin(), m_keysDown.end(), code);
    if (code == 0 || down == m_keysDown.end())
        return;
    m_keysDown.erase(down);
    emit KeyUp(code, shiftMask(event->modifiers()));
}

void Zoom::focusOutEvent(QFocusEvent* event) {
    // A key held while the focus went elsewhere is released there.
    m_keysDown.clear();
    QWidget::focusOutEvent(event);
}

const QImage& Zoom::viewImage() const {
    return m_picZoom->client()->image();
}

void Zoom::forwardViewMouse(QMouseEvent* event, int kind) {
    // Control coordinates: the view's place in the control plus its border.
    const QPoint origin =
        m_picZoom->pos() - inner().topLeft() + QPoint(ViewFrame::border(), ViewFrame::border());
    const float x = float(origin.x() + event->position().x());
    const float y = float(origin.y() + event->position().y());
    const short shift = shiftMask(event->modifiers());
    switch (kind) {
    case 0:
        emit MouseDown(buttonCode(event->button()), shift, x, y);
        break;
    case 1:
        emit MouseMove(buttonMask(event->buttons()), shift, x, y);
        break;
    default:
        emit MouseUp(buttonCode(event->button()), shift, x, y);
        break;
    }
}

} // namespace ocula
