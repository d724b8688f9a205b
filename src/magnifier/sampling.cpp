// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// Sampling the screen into the view: the refresh tick and the view's mouse handling.
#include "common/colors.h"
#include "common/uiscale.h"
#include "magnifier/geometry.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "platform/screensource.h"

#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <limits>

namespace ocula {

namespace {
// The refresh period while resting; a rest begins after half a second of passes that found
// nothing to draw. Resting, a pass still looks now and then for what the source cannot
// report (another program warping the pointer), and seldom where it reports that too.
constexpr int kRestingRefreshMs = 250;
constexpr int kHeardRestingRefreshMs = 1000;
constexpr int kQuietPassesBeforeRest = 10;

// Lent pixels may carry anything in their top byte; the view's are opaque.
constexpr QRgb kOpaque = 0xff000000u;

// Whether the rows at `a` hold the pixels of `b`, top bytes aside.
bool sameRowsOf(const uchar* a, qsizetype bpl, const QImage& b) {
    const int w = b.width();
    for (int y = 0; y < b.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a + y * bpl);
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        QRgb diff = 0;
        for (int x = 0; x < w; ++x)
            diff |= (p[x] ^ q[x]) & ~kOpaque;
        if (diff != 0)
            return false;
    }
    return true;
}

int16_t shifted(int16_t pos, int32_t d) {
    const int32_t v = int32_t(pos) + d;
    return int16_t(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(),
                                       std::numeric_limits<int16_t>::max()));
}
} // namespace

void Zoom::Redraw() {
    if (m_picZoom->isHidden() || m_Busy)
        return;
    m_Busy = true;
    ++m_redrawPasses;

    if (m_FollowMouse && !m_Locked && m_source != nullptr) {
        const QPoint p = m_source->cursorPos();
        // A centre set while resting (an arrow key, say) and now back on the pointer is a
        // change the host must hear of: a rest ends with it.
        if (m_resting && (p.x() != m_CurrentX || p.y() != m_CurrentY))
            setResting(false);
        m_CurrentX = p.x();
        m_CurrentY = p.y();
    }

    ZoomArea* view = m_picZoom->client();
    const int w = view->width();
    const int h = view->height();
    const int f = geometry::safeFactor(m_Factor);
    const geometry::Sampling s = geometry::sampling(m_CurrentX, m_CurrentY, w, h, f);
    const int32_t srcLeft = s.source.left();
    const int32_t srcTop = s.source.top();

    if (m_Locked) {
        // Keep the markers on the same screen pixels while the sampled area moves.
        if (m_LastSrcLeft != srcLeft) {
            const int32_t d = m_LastSrcLeft - srcLeft;
            PlaceTopMarker(0, shifted(m_MarkerPosT[0], d));
            PlaceTopMarker(1, shifted(m_MarkerPosT[1], d));
        }
        if (m_LastSrcTop != srcTop) {
            const int32_t d = m_LastSrcTop - srcTop;
            PlaceLeftMarker(0, shifted(m_MarkerPosL[0], d));
            PlaceLeftMarker(1, shifted(m_MarkerPosL[1], d));
        }
    }
    m_LastSrcLeft = srcLeft;
    m_LastSrcTop = srcTop;

    const ViewKey key{s.source,
                      m_source != nullptr ? m_source->desktopRect() : QRect(),
                      f,
                      m_HasGrid && f >= 3,
                      resolveColor(m_ClrGridA),
                      resolveColor(m_ClrGridB),
                      view->size()};
    const bool sameKey = viewCurrent() && key == m_viewKey;
    if (sameKey && m_source != nullptr && !m_source->mayHaveChanged(key.source)) {
        m_Busy = false; // nothing drawn on the screen since the grab the view shows
        notePass(true);
        return;
    }
    bool changed = true;
    const bool grabbed = w > 0 && h > 0 && grabSource(key, sameKey, &changed);
    if (grabbed && sameKey && !changed) {
        m_Busy = false; // same pixels, same settings: the view already shows this
        notePass(true);
        return;
    }
    // Over a still picture, what the view showed is still right, moved by whole blocks.
    const ViewKey shown = m_viewKey;
    const bool moved = grabbed && viewCurrent() && key.source != shown.source &&
                       key.movedFrom(shown) && !m_source->mayHaveChanged(shown.source);
    m_viewKey = key;
    if (grabbed) {
        m_viewMagnified = true;
        m_overlay.on = false;
    } else {
        clearView();
    }
    // With a picture the grid is painted with its rows, in the same pass.
    if (m_HasGrid && !grabbed)
        DrawGrid();
    if (moved)
        presentMovedView(shown);
    else
        presentView();
    m_presentWhole = false;
    ++m_framesPresented;

    m_Busy = false;
    notePass(false);
}

void Zoom::notePass(bool drewNothing) {
    if (!drewNothing) {
        m_quietPasses = 0;
        setResting(false);
    } else if (++m_quietPasses == kQuietPassesBeforeRest && m_tmrZoom->isActive()) {
        setResting(true);
    }
}

void Zoom::setResting(bool resting) {
    if (resting == m_resting)
        return;
    if (resting) {
        // A source that cannot wake the view leaves it sampling at the full rate.
        const bool heard = m_source != nullptr && m_source->wakeOnChange([this] {
            if (!m_resting)
                return;
            setResting(false);
            Redraw();
        });
        if (!heard)
            return;
    } else {
        m_quietPasses = 0;
        if (m_source != nullptr)
            m_source->wakeOnChange(nullptr);
    }
    m_resting = resting;
    // On a running timer this also starts the period afresh.
    const bool heardAll = m_source != nullptr && m_source->hearsEveryMove();
    const int restingMs = heardAll ? kHeardRestingRefreshMs : kRestingRefreshMs;
    m_tmrZoom->setInterval(resting ? restingMs : kRefreshMs);
    emit restingChanged(resting);
}

// Reads the source. A rectangle wholly on the desktop is read into the source's own
// memory where it lends it, and magnified from there with no copy; the rest goes into
// m_grab, where pixels off the screen keep the view's background, so the magnified copy
// needs no separate clear. When the view shows this very key, the pixels it was drawn
// from are kept in m_grab first, and the new read is compared with them.
bool Zoom::grabSource(const ViewKey& key, bool sameKey, bool* changed) {
    if (m_source == nullptr)
        return false;
    const QRect& source = key.source;
    if (sameKey && m_pixels != m_grab.constBits()) {
        // Still what the source lent last: nothing has read since.
        if (m_grab.size() != source.size())
            m_grab = QImage(source.size(), QImage::Format_RGB32);
        // Made opaque on the way, as a grab is: the view may go on from this copy.
        const int width = source.width();
        for (int y = 0; y < source.height(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(m_pixels + y * m_pixelsBpl);
            auto* to = reinterpret_cast<QRgb*>(m_grab.scanLine(y));
            for (int x = 0; x < width; ++x)
                to[x] = from[x] | kOpaque;
        }
    }
    if (key.desktop.contains(source)) {
        qsizetype bpl = 0;
        if (const uchar* lent = m_source->lend(source, &bpl)) {
            if (sameKey) {
                *changed = !sameRowsOf(lent, bpl, m_grab);
                // The same pixels: the view goes on from m_grab, so that the next such
                // tick need not copy them again.
                if (!*changed) {
                    m_pixels = m_grab.constBits();
                    m_pixelsBpl = m_grab.bytesPerLine();
                    return true;
                }
            }
            m_pixels = lent;
            m_pixelsBpl = bpl;
            return true;
        }
    }
    if (m_grab.size() != source.size()) {
        m_grab = QImage(source.size(), QImage::Format_RGB32);
        sameKey = false;
    }
    if (!sameKey && !key.desktop.contains(source))
        m_grab.fill(m_picZoom->client()->background().rgb());
    m_pixels = m_grab.constBits();
    m_pixelsBpl = m_grab.bytesPerLine();
    return m_source->grab(source, m_grab, sameKey ? changed : nullptr);
}

namespace {
// A constant factor lets the compiler unroll and vectorise the block writes; the generic
// fill_n per block costs several times the stores at small factors. Opaque: the top byte
// of every pixel is set, which costs the vectorised loops dearly, so it is done only where
// it matters.
template <int F, bool Opaque> void expandFixed(const QRgb* src, QRgb* d, int w) {
    const QRgb set = Opaque ? kOpaque : 0;
    const int full = w / F;
    for (int sx = 0; sx < full; ++sx, d += F)
        for (int k = 0; k < F; ++k)
            d[k] = src[sx] | set;
    for (int k = 0; k < w - full * F; ++k)
        d[k] = src[full] | set;
}
template <bool Opaque> void expandRowAs(const QRgb* src, QRgb* d, int w, int f) {
    const QRgb set = Opaque ? kOpaque : 0;
    switch (f) {
    case 1:
        if (!Opaque) {
            std::memcpy(d, src, size_t(w) * 4);
            return;
        }
        for (int x = 0; x < w; ++x)
            d[x] = src[x] | set;
        return;
    case 2:
        return expandFixed<2, Opaque>(src, d, w);
    case 3:
        return expandFixed<3, Opaque>(src, d, w);
    case 4:
        return expandFixed<4, Opaque>(src, d, w);
    case 5:
        return expandFixed<5, Opaque>(src, d, w);
    case 6:
        return expandFixed<6, Opaque>(src, d, w);
    case 7:
        return expandFixed<7, Opaque>(src, d, w);
    case 8:
        return expandFixed<8, Opaque>(src, d, w);
    default:
        break;
    }
    const int full = w / f;
    for (int sx = 0; sx < full; ++sx, d += f)
        std::fill_n(d, f, src[sx] | set);
    if (w - full * f > 0)
        std::fill_n(d, w - full * f, src[full] | set);
}
void expandRow(const QRgb* src, QRgb* d, int w, int f, bool opaque) {
    if (opaque)
        expandRowAs<true>(src, d, w, f);
    else
        expandRowAs<false>(src, d, w, f);
}

// Columns `left` .. `end` - 1 of a magnified row: view column x shows source pixel x / f.
void expandSpan(const QRgb* src, QRgb* d, int left, int end, int f, bool opaque) {
    int x = left;
    if (const int phase = left % f; phase != 0) {
        // The area begins inside a block.
        const int n = std::min(f - phase, end - x);
        std::fill_n(d, n, src[x / f] | (opaque ? kOpaque : 0));
        d += n;
        x += n;
    }
    if (x < end)
        expandRow(src + x / f, d, end - x, f, opaque);
}

// The first x at or after `left` on a grid line `spacing` apart.
int firstLineAtOrAfter(int left, int spacing) {
    return (left + spacing - 1) / spacing * spacing;
}
} // namespace

// Every pixel of the area is written exactly once: a row is expanded from its source row
// or, within a block, copied from the row above in the same band. With the grid on, its
// lines are written here too: a line row is a copy of a prebuilt checker row, and a
// block's other rows are patched (two parities, then copies two rows down).
void Zoom::paintViewRows(uchar* bits, qsizetype bpl, const QRect& area) {
    const QRgb background = m_picZoom->client()->background().rgb();
    const ViewKey& key = m_viewKey;
    const int f = std::max(key.factor, 1);
    const bool magnified = m_viewMagnified && m_pixels != nullptr;
    const int w = magnified ? key.size.width() : 0;
    const int h = magnified ? std::min(key.size.height(), key.source.height() * f) : 0;
    const bool grid = magnified && key.grid;
    const QRgb c[2] = {key.gridA, key.gridB};
    if (grid && (m_checker[0].size() < size_t(w) + 1 || m_checkerColors[0] != c[0] ||
                 m_checkerColors[1] != c[1])) {
        for (int p = 0; p < 2; ++p) {
            m_checker[size_t(p)].resize(size_t(key.size.width()) + 1);
            for (size_t x = 0; x < m_checker[size_t(p)].size(); ++x)
                m_checker[size_t(p)][x] = c[(x + size_t(p)) & 1];
        }
        m_checkerColors[0] = c[0];
        m_checkerColors[1] = c[1];
    }
    const int left = area.left();
    const int top = area.top();
    const int columns = area.width();
    // The area's magnified columns are left .. end - 1; the rest is background.
    const int end = std::clamp(w, left, left + columns);
    const size_t spanBytes = size_t(end - left) * 4;
    // Rows painted by the grid overlay cannot be copied: they differ from their block.
    const bool copies = !m_overlay.on;
    const uchar* const srcBase = m_pixels;
    const qsizetype srcBpl = m_pixelsBpl;
    // Lent pixels may carry anything in their top byte: the window system ignores it on
    // the view's own window, but Qt takes the image for Format_RGB32.
    const bool makeOpaque = m_pixels != m_grab.constBits() && m_source != nullptr &&
                            !m_source->lendsOpaquePixels() &&
                            !m_picZoom->client()->presentsDirectly();
    auto line = [&](int y) { return reinterpret_cast<QRgb*>(bits + (y - top) * bpl); };
    for (int y = top; y <= area.bottom(); ++y) {
        QRgb* row = line(y);
        if (y < h && end > left) {
            const int k = y % f;
            if (grid && k == 0) {
                std::memcpy(row, m_checker[size_t(y & 1)].data() + left, spanBytes);
            } else if (copies && grid && k >= 3 && y - 2 >= top) {
                std::memcpy(row, line(y - 2), spanBytes);
            } else {
                if (copies && k >= (grid ? 2 : 1) && y - 1 >= top)
                    std::memcpy(row, line(y - 1), spanBytes);
                else
                    expandSpan(reinterpret_cast<const QRgb*>(srcBase + (y / f) * srcBpl), row, left,
                               end, f, makeOpaque);
                if (grid) {
                    for (int x = firstLineAtOrAfter(left, f); x < end; x += f)
                        row[x - left] = c[(x + y) & 1];
                }
            }
            std::fill(row + (end - left), row + columns, background);
        } else {
            std::fill(row, row + columns, background);
        }
        if (m_overlay.on) {
            const int of = m_overlay.factor;
            const QRgb* oc = m_overlay.colors;
            if (y % of == 0) {
                for (int x = left; x < left + columns; ++x)
                    row[x - left] = oc[(x + y) & 1];
            } else {
                for (int x = firstLineAtOrAfter(left, of); x < left + columns; x += of)
                    row[x - left] = oc[(x + y) & 1];
            }
        }
    }
}

void Zoom::releaseViewCapture() {
    if (QWidget::mouseGrabber() != m_picZoom->client())
        return;
    dropViewCapture();
    // A frozen or fixed view stays so: leaving the view resumes only a view that follows.
    if (m_FollowMouse && !m_Locked)
        setSampling(true);
}

void Zoom::dropViewCapture() {
    // On X11 the capture is a grab of the whole desktop's pointer: held while the view does
    // not sample, no other program would get the mouse.
    ZoomArea* view = m_picZoom->client();
    if (QWidget::mouseGrabber() == view)
        view->releaseMouse();
}

void Zoom::setSampling(bool on) {
    if (on == m_tmrZoom->isActive())
        return;
    setResting(false);
    m_quietPasses = 0;
    if (on)
        m_tmrZoom->start();
    else
        m_tmrZoom->stop();
    if (m_source != nullptr)
        m_source->setListening(on);
}

void Zoom::setScreenSource(ScreenSource* source) {
    setResting(false);
    if (m_source != nullptr)
        m_source->onProblemChanged(nullptr);
    // Whatever the old source lent is not to be read again.
    m_viewMagnified = false;
    m_pixels = nullptr;
    m_source = source;
    if (m_source != nullptr) {
        m_source->setListening(m_tmrZoom->isActive());
        m_source->onProblemChanged([this] { showProblem(); });
    }
    showProblem();
}

// A source that cannot show the screen says why over the view, which would otherwise be
// blank with no word; so does one that cannot follow the pointer, while the view would.
void Zoom::showProblem() {
    QString text;
    if (m_source != nullptr) {
        text = m_source->problem();
        if (text.isEmpty() && m_FollowMouse && !m_Locked)
            text = m_source->pointerProblem();
    }
    if (text.isEmpty()) {
        if (m_problemLabel != nullptr)
            m_problemLabel->hide();
        return;
    }
    ZoomArea* view = m_picZoom->client();
    if (m_problemLabel == nullptr) {
        m_problemLabel = new QLabel(view);
        m_problemLabel->setObjectName(QStringLiteral("problem"));
        m_problemLabel->setWordWrap(true);
        m_problemLabel->setAlignment(Qt::AlignCenter);
        m_problemLabel->setMargin(scaled(8));
        m_problemLabel->setAutoFillBackground(true);
        // Over a view that goes straight to the window system, only a window of its own
        // shows above it; made once the view has one (see eventFilter): made now, it would
        // make the main window's before the settings say whether it stays on top, and Qt's
        // xcb platform makes such a window anew when it is first shown, leaving the
        // windows inside it dead.
        if (view->presentsDirectly() && view->internalWinId() != 0)
            m_problemLabel->winId();
    }
    const QColor background = view->background();
    QPalette palette = m_problemLabel->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, background.lightness() < 128 ? Qt::white : Qt::black);
    m_problemLabel->setPalette(palette);
    m_problemLabel->setText(text);
    m_problemLabel->setGeometry(view->rect());
    m_problemLabel->raise();
    m_problemLabel->show();
}

// The view's first paint after a show asks for a pass (see showEvent). Until the pass, a
// directly presented view puts nothing up: it would put up what the view showed before it
// was hidden (at another size, as often as not), for the pass to put over at once. A modal
// dialog (opened from the popup menu, say) must get the mouse: the view gives its capture
// up when its window is blocked or loses the focus, and sampling goes on.
bool Zoom::eventFilter(QObject* watched, QEvent* event) {
    ZoomArea* view = m_picZoom->client();
    if (watched == view && event->type() == QEvent::Paint) {
        if (m_drawWhenPainted) {
            m_drawWhenPainted = false;
            m_presentWhole = true;
            QTimer::singleShot(0, this, &Zoom::passAfterShow);
        }
        if (m_presentWhole && view->presentsDirectly())
            return true;
    }
    if (watched == view && event->type() == QEvent::Resize && m_problemLabel != nullptr)
        m_problemLabel->setGeometry(view->rect());
    if (watched == view && event->type() == QEvent::WinIdChange && m_problemLabel != nullptr &&
        view->presentsDirectly() && view->internalWinId() != 0)
        m_problemLabel->winId();
    if (watched == view) {
        if (event->type() == QEvent::MouseMove)
            notePointer(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Enter)
            notePointer(static_cast<QEnterEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            notePointer(std::nullopt);
    }
    if (watched == view && event->type() == QEvent::Leave && QWidget::mouseGrabber() != view &&
        m_FollowMouse && !m_Locked)
        setSampling(true);
    if (watched == m_watchedWindow &&
        (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowDeactivate) &&
        QWidget::mouseGrabber() == view)
        releaseViewCapture();
    return QWidget::eventFilter(watched, event);
}

void Zoom::showEvent(QShowEvent*) {
    if (m_watchedWindow != window()) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
    }
    // The first view of a window just shown need not wait for the timer's first tick: it
    // is drawn as soon as the window system has asked the view for its pixels.
    m_drawWhenPainted = m_tmrZoom->isActive();
}

void Zoom::passAfterShow() {
    if (!m_presentWhole)
        return; // a pass has been quicker
    if (m_tmrZoom->isActive())
        Redraw();
    // Frozen meanwhile, or a pass that drew nothing: the view still owes its paints.
    if (m_presentWhole) {
        m_presentWhole = false;
        presentView();
    }
}

void Zoom::clearView() {
    m_viewMagnified = false;
    m_overlay.on = false;
    m_picZoom->client()->contentChanged();
}

void Zoom::presentView() {
    m_picZoom->client()->present();
}

void Zoom::presentMovedView(const ViewKey& shown) {
    const ViewKey& key = m_viewKey;
    const int f = std::max(key.factor, 1);
    const QPoint delta = (shown.source.topLeft() - key.source.topLeft()) * f;
    // The magnified rows; below them the view is background in both frames.
    const QRect magnified(0, 0, key.size.width(),
                          std::min(key.size.height(), key.source.height() * f));
    const QRect kept = magnified.intersected(magnified.translated(-delta));
    // The grid's checker is laid on the view, not on the picture: a move by an odd number
    // of pixels would swap its colours. A small overlap is not worth a move.
    if ((key.grid && ((delta.x() + delta.y()) & 1) != 0) ||
        qint64(kept.width()) * kept.height() * 4 < qint64(magnified.width()) * magnified.height()) {
        presentView();
        return;
    }
    if (m_picZoom->client()->scroll(kept, delta))
        ++m_framesMoved;
}

void Zoom::picZoom_MouseMove(QMouseEvent* event) {
    if (!m_FollowMouse || m_Locked)
        return;
    ZoomArea* view = m_picZoom->client();
    // The capture hears the pointer leave; an inactive window hears it by the view's leave
    // event instead, rather than hold the whole desktop's pointer that nothing would release.
    if (QWidget::mouseGrabber() != view && window()->isActiveWindow() &&
        (m_source == nullptr || m_source->captureSpansDesktop()))
        view->grabMouse();
    const double x = event->position().x();
    const double y = event->position().y();
    // The view blanks while the cursor is on it, so it never magnifies itself.
    if (x > 0 && x < m_picZoom->width() && y > 0 && y < m_picZoom->height()) {
        setSampling(false);
        clearView();
        presentView();
    } else if (QWidget::mouseGrabber() == view) {
        releaseViewCapture();
    }
    forwardViewMouse(event, 1);
}

} // namespace ocula
