// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/screensource.h"

#include <QObject>

namespace ocula {

// An in-memory desktop with a settable cursor, for tests and benchmarks.
class ImageScreenSource final : public ScreenSource {
public:
    explicit ImageScreenSource(QImage desktop);

    QPoint cursorPos() override { return m_cursor; }
    QRect desktopRect() const override { return m_desktop.rect(); }
    bool grab(const QRect& source, QImage& into, bool* changed = nullptr) override;
    // Lends a copy of the rows, unless told not to lend.
    const uchar* lend(const QRect& source, qsizetype* bytesPerLine) override;
    void setLends(bool on) { m_lends = on; }
    // Not opaque: the lent pixels' top byte is cleared, as a window system may leave it.
    bool lendsOpaquePixels() const override { return m_lendsOpaque; }
    void setLendsOpaque(bool on) { m_lendsOpaque = on; }
    // Like a window system that reports drawing, once asked to: the desktop counts as
    // drawn on whenever it is handed out for writing.
    bool mayHaveChanged(const QRect& source) override {
        if (!m_reportsChanges)
            return true;
        if (source == m_lastGrab)
            return m_drawnOn;
        return source != m_grabBefore || m_drawnBefore;
    }
    void setListening(bool listening) override { m_listening = listening; }
    // Wakes the caller, as a window system would, once the cursor has been moved or the
    // desktop handed out for writing; only while it reports changes.
    bool wakeOnChange(std::function<void()> wake) override;

    // Speaks as a source that cannot show the screen or follow the pointer would.
    QString problem() const override { return m_problem; }
    QString pointerProblem() const override { return m_pointerProblem; }
    void onProblemChanged(std::function<void()> changed) override {
        m_problemChanged = std::move(changed);
    }
    void setProblems(const QString& problem, const QString& pointerProblem) {
        m_problem = problem;
        m_pointerProblem = pointerProblem;
        if (m_problemChanged)
            m_problemChanged();
    }
    // As on a Wayland desktop, where a capture does not reach beyond the window.
    bool captureSpansDesktop() const override { return m_captureSpans; }
    void setCaptureSpansDesktop(bool on) { m_captureSpans = on; }

    void setCursorPos(QPoint p) {
        if (p != m_cursor)
            wakeLater();
        m_cursor = p;
    }
    // Moves the cursor as a program warping it would: no wake.
    void warpCursor(QPoint p) { m_cursor = p; }
    const QImage& desktop() const { return m_desktop; }
    QImage& desktop() {
        m_drawnOn = true;
        wakeLater();
        return m_desktop;
    }
    int grabCount() const { return m_grabs; }
    void setReportsChanges(bool on) { m_reportsChanges = on; }
    bool listening() const { return m_listening; }
    bool waitingToWake() const { return bool(m_wake); }

private:
    QImage m_desktop;
    QPoint m_cursor;
    int m_grabs = 0;
    bool m_reportsChanges = false;
    bool m_drawnOn = true;
    QRect m_lastGrab;
    // The read before the last, and whether the desktop was drawn on between the two.
    QRect m_grabBefore;
    bool m_drawnBefore = true;
    bool m_listening = true;
    bool m_lends = true;
    bool m_lendsOpaque = true;
    QImage m_lent;
    QString m_problem, m_pointerProblem;
    std::function<void()> m_problemChanged;
    bool m_captureSpans = true;

    void wakeLater();
    std::function<void()> m_wake;
    // Owns the queued wake, so that none reaches a caller after the source is gone.
    QObject m_wakeContext;
};

} // namespace ocula
