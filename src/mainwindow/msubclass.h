// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QPointer>

class QWindow;

namespace ocula {

class Zoom;

// The main window's own message handling: every wheel event of the window steps
// Zoom1's factor by one, and is then passed on unchanged.
class WindowProc : public QObject {
    Q_OBJECT
public:
    WindowProc(Zoom* zoom, int32_t maxFactor, QObject* parent = nullptr);

    // Sees the wheel events of `window` and of the native windows inside it (the view has
    // one of its own), also those created later. unwatch() undoes it.
    void watch(QWindow* window);
    void unwatch(QWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<Zoom> m_zoom;
    int32_t m_maxFactor;
};

} // namespace ocula
