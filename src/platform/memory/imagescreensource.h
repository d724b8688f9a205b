#pragma once

#include "platform/screensource.h"

namespace ocula {

// An in-memory desktop with a settable cursor, for tests and benchmarks.
class ImageScreenSource final : public ScreenSource {
public:
    explicit ImageScreenSource(QImage desktop);

    QPoint cursorPos() override { return m_cursor; }
    QRect desktopRect() const override { return m_desktop.rect(); }
    bool grab(const QRect& source, QImage& into, bool* changed = nullptr) override;
    // Like a window system that reports drawing, once asked to: the desktop counts as
    // drawn on whenever it is handed out for writing.
    bool mayHaveChanged(const QRect& source) override {
        return !m_reportsChanges || m_drawnOn || source != m_lastGrab;
    }
    void setListening(bool listening) override { m_listening = listening; }

    void setCursorPos(QPoint p) { m_cursor = p; }
    const QImage& desktop() const { return m_desktop; }
    QImage& desktop() {
        m_drawnOn = true;
        return m_desktop;
    }
    int grabCount() const { return m_grabs; }
    void setReportsChanges(bool on) { m_reportsChanges = on; }
    bool listening() const { return m_listening; }

private:
    QImage m_desktop;
    QPoint m_cursor;
    int m_grabs = 0;
    bool m_reportsChanges = false;
    bool m_drawnOn = true;
    QRect m_lastGrab;
    bool m_listening = true;
};

} // namespace ocula
