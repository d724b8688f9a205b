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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<Zoom> m_zoom;
    int32_t m_maxFactor;
};

} // namespace ocula
