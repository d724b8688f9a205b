// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMouseEvent;
class QTimer;

namespace ocula {

class PropertyBag;
class ScreenSource;
class ViewFrame;
class ZoomArea;

// The magnifier control: a view of the screen around a centre point, enlarged Factor
// times, with optional ruler bars, markers and a pixel grid.
class Zoom : public QWidget {
    Q_OBJECT
public:
    // The source is not owned and must outlive the control; it may be set later.
    explicit Zoom(QWidget* parent = nullptr, ScreenSource* source = nullptr);
    ~Zoom() override;

    void setScreenSource(ScreenSource* source);
    ScreenSource* screenSource() const { return m_source; }

    // Host side: whether the control runs for real or sits in a design environment.
    void setUserMode(bool running) { m_userMode = running; }
    bool userMode() const { return m_userMode; }

    // Places the control and lays it out at once, also while hidden (when Qt would
    // defer the resize event until the control is shown).
    void placeAt(const QRect& geometry);

    // Persistence: a newly placed instance, loading from and saving to the host's store.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag);

    // Published properties, in their declaration order.
    int32_t SizeX() const;
    int32_t SizeY() const;
    int32_t DistanceX() const;
    int32_t DistanceY() const;
    int32_t BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int32_t New_BorderStyle);
    bool Enabled() const { return isEnabled(); }
    void setEnabled(bool New_Enabled);
    int32_t ClrGridA() const { return m_ClrGridA; }
    void setClrGridA(int32_t New_ClrGridA);
    int32_t ClrGridB() const { return m_ClrGridB; }
    void setClrGridB(int32_t New_ClrGridB);
    int32_t ClrMarkersL() const { return m_ClrMarkersL; }
    void setClrMarkersL(int32_t New_ClrMarkersL);
    int32_t ClrMarkersT() const { return m_ClrMarkersT; }
    void setClrMarkersT(int32_t New_ClrMarkersT);
    int32_t ClrDivs() const { return m_ClrDivs; }
    void setClrDivs(int32_t New_ClrDivs);
    int32_t CurrentX() const { return m_CurrentX; }
    void setCurrentX(int32_t New_CurrentX);
    int32_t CurrentY() const { return m_CurrentY; }
    void setCurrentY(int32_t New_CurrentY);
    int16_t Factor() const { return m_Factor; }
    void setFactor(int16_t New_Factor);
    int16_t Step() const { return m_Step; }
    void setStep(int16_t New_Step);
    bool FollowMouse() const { return m_FollowMouse; }
    void setFollowMouse(bool New_FollowMouse);
    bool Locked() const { return m_Locked; }
    void setLocked(bool New_Locked);
    bool HasGrid() const { return m_HasGrid; }
    void setHasGrid(bool New_HasGrid);
    int32_t ShowBars() const { return m_ShowBars; }
    void setShowBars(int32_t New_ShowBars);
    bool ShowMarkers() const { return m_ShowMarkers; }
    void setShowMarkers(bool New_ShowMarkers);
    int32_t ArrowColor() const { return m_ArrowColor; }
    void setArrowColor(int32_t New_ArrowColor);

    // Methods.
    void Redraw();
    void MarkerMove(int32_t Marker, int32_t Direction);

    // Child areas, for the host's layout and for tests.
    ViewFrame* picZoom() const { return m_picZoom; }
    ZoomArea* picLeft() const { return m_picLeft; }
    ZoomArea* picTop() const { return m_picTop; }
    QLabel* picArrowLeft(int i) const { return m_picArrowLeft[size_t(i)]; }
    QLabel* picArrowTop(int i) const { return m_picArrowTop[size_t(i)]; }
    QWidget* MarkerL(int i) const { return m_MarkerL[size_t(i)]; }
    QWidget* MarkerT(int i) const { return m_MarkerT[size_t(i)]; }
    QTimer* tmrZoom() const { return m_tmrZoom; }
    QMenu* mnuLeft() const { return m_mnuLeft; }
    QMenu* mnuTop() const { return m_mnuTop; }
    const QImage& viewImage() const;
    int16_t markerPosT(int i) const { return m_MarkerPosT[size_t(i)]; }
    int16_t markerPosL(int i) const { return m_MarkerPosL[size_t(i)]; }
    bool markersTopOn() const { return m_MarkersTopOn; }
    bool markersLeftOn() const { return m_MarkersLeftOn; }
    bool markersTopSet() const { return m_MarkersTopSet; }
    bool markersLeftSet() const { return m_MarkersLeftSet; }
    // Gives the view's mouse capture up, as leaving the view does: a view that follows
    // samples again. For a popup or dialog that is about to take the pointer.
    void releaseViewCapture();
    // Views drawn and presented so far (ticks that changed nothing are not counted).
    quint64 framesPresented() const { return m_framesPresented; }
    // Of those, the ones shown by moving what the view showed and painting only the rest.
    quint64 framesMoved() const { return m_framesMoved; }
    // Redraw passes that looked at the screen, drawn or not.
    quint64 redrawPasses() const { return m_redrawPasses; }
    // Resting: nothing has changed for a while, so the view samples seldom and the source
    // wakes it at the first move of the pointer or drawing on the screen.
    bool isResting() const { return m_resting; }

    // What the view shows, for a host that reads it out: all of it comes from the pixels the
    // view was last drawn from, and none of it reads the screen.
    enum class Shown { No, OffScreen, Yes };
    // Whether the view shows screen pixel `p` (off the screen: where the view shows its
    // background), and if so its colour, opaque.
    Shown shownColor(QPoint p, QRgb* color) const;
    // The screen pixel that the view shows at `at` (view coordinates), if it shows one there.
    std::optional<QPoint> screenPixelAt(QPoint at) const;
    // Where the pointer is over the view (view coordinates), if it is.
    std::optional<QPoint> pointerInView() const { return m_pointerInView; }
    // The view as it is shown, grid and marker lines included.
    QImage shownView();
    // The sampled rectangle at 1:1 (Format_ARGB32), transparent where it lies off the
    // screen; null while the view shows no picture.
    QImage shownPixels() const;

    // The bar mouse handlers (also reachable from tests without synthesising events).
    void picTop_MouseUp(int16_t Button, int16_t Shift, float X, float Y);
    void picLeft_MouseUp(int16_t Button, int16_t Shift, float X, float Y);

signals:
    void propertyChanged(const QString& name);

    // Events, in their declaration order.
    void KeyDown(short KeyCode, short Shift);
    void KeyPress(short KeyAscii);
    void KeyUp(short KeyCode, short Shift);
    void MouseDown(short Button, short Shift, float x, float y);
    void MouseMove(short Button, short Shift, float x, float y);
    void MouseUp(short Button, short Shift, float x, float y);
    void Click();
    void DblClick();
    void MarkerChangeX(int Distance);
    void MarkerChangeY(int Distance);

    // The view has started or stopped resting (see isResting).
    void restingChanged(bool resting);
    // The pointer has moved over the view, or onto or off it (see pointerInView).
    void viewPointerMoved();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout and bars.
    void LayoutBars();
    void DrawLeftBar(bool Reposition);
    void DrawTopBar(bool Reposition);
    void DrawLeftDivs();
    void DrawTopDivs();
    void drawBarFrame(ZoomArea* bar);
    void placeChild(QWidget* child, int left, int top, int width, int height);
    QRect inner() const;
    void applyBorderStyle(int32_t style);

    // Markers.
    static int arrowLeadingEdge(int at);
    void PlaceTopMarker(int16_t Index, int16_t Pos);
    void PlaceLeftMarker(int16_t Index, int16_t Pos);
    void ClickTopBar(int16_t Button, float X);
    void ClickLeftBar(int16_t Button, float Y);
    void mnuTopOn_Click();
    void mnuTopOff_Click();
    void mnuLeftOn_Click();
    void mnuLeftOff_Click();
    void placeLine(QWidget* line, const QRect& geometry, const std::array<QWidget*, 2>& crossed);
    void setTopMarkersVisible(bool visible);
    void setLeftMarkersVisible(bool visible);
    void applyMarkerColors();

    // Sampling and grid.
    struct ViewKey;
    bool grabSource(const ViewKey& key, bool sameKey, bool* changed);
    // Shows a frame that is the view `shown` moved, by moving what it can of that.
    void presentMovedView(const ViewKey& shown);
    // Paints rows of what the view shows (see m_viewMagnified), for a frame or an expose.
    void paintViewRows(uchar* bits, qsizetype bytesPerLine, const QRect& area);
    void DrawGrid();
    void clearView();
    void presentView();
    void picZoom_MouseMove(QMouseEvent* event);
    // Gives the mouse capture up, if the view holds it, and nothing else.
    void dropViewCapture();
    // Starts or stops the refresh timer, and tells the source whether to listen meanwhile.
    void setSampling(bool on);
    // Counts the passes in a row that found nothing to draw, and starts or ends a rest.
    void notePass(bool drewNothing);
    void setResting(bool resting);
    void forwardViewMouse(QMouseEvent* event, int kind);
    void notePointer(std::optional<QPoint> at);

    void showProblem();

    // Arrows.
    void loadArrowPictures(int32_t color);

    void changed(const char* name) { emit propertyChanged(QString::fromLatin1(name)); }

    static constexpr int kRefreshMs = 50;

    ScreenSource* m_source = nullptr;
    bool m_userMode = true;
    QPointer<QWidget> m_watchedWindow;
    // Shown while sampling: the view's first paint asks for a pass at once.
    bool m_drawWhenPainted = false;
    // Nothing drawn before is on the screen (a window just mapped): the next pass presents
    // the whole view afresh, neither moving what was there nor finding it the same, and
    // until then a directly presented view puts nothing up.
    bool m_presentWhole = false;
    void passAfterShow();

    // Children.
    ViewFrame* m_picZoom = nullptr;
    // Over the view, while the source says it cannot show the screen (see showProblem).
    QLabel* m_problemLabel = nullptr;
    ZoomArea* m_picLeft = nullptr;
    ZoomArea* m_picTop = nullptr;
    std::array<QLabel*, 2> m_picArrowLeft{};
    std::array<QLabel*, 2> m_picArrowTop{};
    std::array<QWidget*, 2> m_MarkerL{};
    std::array<QWidget*, 2> m_MarkerT{};
    QTimer* m_tmrZoom = nullptr;
    QMenu* m_mnuLeft = nullptr;
    QAction* m_mnuLeftOn = nullptr;
    QAction* m_mnuLeftOff = nullptr;
    QMenu* m_mnuTop = nullptr;
    QAction* m_mnuTopOn = nullptr;
    QAction* m_mnuTopOff = nullptr;

    // Property backing fields.
    int32_t m_borderStyle = 0;
    int32_t m_ClrGridA = 0, m_ClrGridB = 0, m_ClrMarkersL = 0, m_ClrMarkersT = 0, m_ClrDivs = 0;
    int32_t m_ArrowColor = 0;
    int32_t m_CurrentX = 0, m_CurrentY = 0;
    int16_t m_Factor = 0, m_Step = 0;
    bool m_HasGrid = false, m_Locked = false, m_FollowMouse = false, m_ShowMarkers = false;
    int32_t m_ShowBars = 0;
    bool m_MarkersLeftOn = false, m_MarkersTopOn = false;

    // Redraw state that lasts from call to call.
    bool m_Busy = false;
    int32_t m_LastSrcLeft = 0, m_LastSrcTop = 0;
    // The source pixels the view is drawn from: lent by the source, or else read into
    // m_grab, where each grab of the same rectangle writes over them and says whether
    // anything changed. m_grab is reused while the size stays the same.
    QImage m_grab;
    const uchar* m_pixels = nullptr;
    qsizetype m_pixelsBpl = 0;
    // The grid's line rows for even and odd view rows, one pixel longer than the view, and
    // their colours.
    std::array<std::vector<QRgb>, 2> m_checker;
    QRgb m_checkerColors[2] = {0, 0};
    // What the view was last drawn from; a tick that would draw the same again neither
    // magnifies nor presents.
    struct ViewKey {
        QRect source;
        QRect desktop;
        int factor = 0;
        bool grid = false;
        QRgb gridA = 0, gridB = 0;
        QSize size;
        bool operator==(const ViewKey&) const = default;
        // The same view of another rectangle of the same size.
        bool movedFrom(ViewKey k) const {
            k.source.moveTopLeft(source.topLeft());
            return k == *this;
        }
    };
    ViewKey m_viewKey;
    // What the view shows: m_pixels magnified by m_viewKey, or else the background; and
    // over either, the grid a colour change drew (until the next frame).
    bool m_viewMagnified = false;
    struct GridOverlay {
        bool on = false;
        int factor = 0;
        QRgb colors[2] = {0, 0};
    } m_overlay;
    // The view shows exactly what m_viewKey draws, on the screen too, so a tick with that
    // key may compare, and a tick with another may move it.
    bool viewCurrent() const { return m_viewMagnified && !m_overlay.on && !m_presentWhole; }
    quint64 m_framesPresented = 0;
    quint64 m_framesMoved = 0;
    quint64 m_redrawPasses = 0;
    int m_quietPasses = 0;
    bool m_resting = false;
    std::optional<QPoint> m_pointerInView;
    // Keys pressed while the control had the focus and not yet released: only their
    // release is raised (an Esc that closed a dialog must not freeze the view).
    std::vector<short> m_keysDown;
    // Markers.
    std::array<int16_t, 2> m_MarkerPosT{};
    std::array<int16_t, 2> m_MarkerPosL{};
    bool m_MarkersTopSet = false, m_MarkersLeftSet = false;
};

} // namespace ocula
