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

    void setCursorPos(QPoint p) { m_cursor = p; }
    const QImage& desktop() const { return m_desktop; }
    QImage& desktop() { return m_desktop; }
    int grabCount() const { return m_grabs; }

private:
    QImage m_desktop;
    QPoint m_cursor;
    int m_grabs = 0;
};

} // namespace ocula
