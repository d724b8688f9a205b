// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/memory/imagescreensource.h"

#include <QTimer>

#include <cstring>

namespace ocula {

ImageScreenSource::ImageScreenSource(QImage desktop)
    : m_desktop(std::move(desktop).convertToFormat(QImage::Format_RGB32)) {}

bool ImageScreenSource::grab(const QRect& source, QImage& into, bool* changed) {
    ++m_grabs;
    const QRect onScreen = source.intersected(m_desktop.rect());
    if (onScreen.isEmpty())
        return false;
    const int dx = onScreen.left() - source.left();
    const int dy = onScreen.top() - source.top();
    const size_t bytes = size_t(onScreen.width()) * 4;
    uchar* const to = into.bits();
    const qsizetype toBpl = into.bytesPerLine();
    bool any = false;
    for (int y = 0; y < onScreen.height(); ++y) {
        const uchar* from =
            m_desktop.constScanLine(onScreen.top() + y) + size_t(onScreen.left()) * 4;
        any |= copyChanged(to + (dy + y) * toBpl + size_t(dx) * 4, from, bytes);
    }
    if (changed)
        *changed = any;
    m_grabBefore = m_lastGrab;
    m_drawnBefore = m_drawnOn;
    m_lastGrab = source;
    m_drawnOn = false;
    return true;
}

const uchar* ImageScreenSource::lend(const QRect& source, qsizetype* bytesPerLine) {
    if (!m_lends || !m_desktop.rect().contains(source))
        return nullptr;
    // A copy, as a window system's shared memory is: the desktop may be drawn on before
    // the next read, and what was read must stay as it was.
    if (m_lent.size() != source.size())
        m_lent = QImage(source.size(), QImage::Format_RGB32);
    if (!grab(source, m_lent))
        return nullptr;
    if (!m_lendsOpaque) {
        for (int y = 0; y < m_lent.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(m_lent.scanLine(y));
            for (int x = 0; x < m_lent.width(); ++x)
                row[x] &= 0x00ffffffu;
        }
    }
    *bytesPerLine = m_lent.bytesPerLine();
    return m_lent.constBits();
}

bool ImageScreenSource::wakeOnChange(std::function<void()> wake) {
    if (!wake) {
        m_wake = nullptr;
        return true;
    }
    if (!m_reportsChanges)
        return false;
    m_wake = std::move(wake);
    if (m_drawnOn)
        wakeLater();
    return true;
}

void ImageScreenSource::wakeLater() {
    if (!m_wake)
        return;
    QTimer::singleShot(0, &m_wakeContext, [this] {
        if (!m_wake)
            return;
        const std::function<void()> wake = std::move(m_wake);
        m_wake = nullptr;
        wake();
    });
}

} // namespace ocula
