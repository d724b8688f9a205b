// The two-colour pixel grid, written straight into the view image.
#include "common/colors.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"

namespace ocula {

void Zoom::DrawGrid() {
    if (m_Factor < 3)
        return;
    QImage& img = m_picZoom->client()->image();
    if (img.isNull() || img.format() != QImage::Format_RGB32)
        return;
    const int w = img.width();
    const int h = img.height();
    const int f = m_Factor;
    // A line pixel takes colour A where x + y is even and B where odd: the checker is
    // anchored at the view's origin, so neighbouring lines interlock.
    const QRgb colors[2] = {resolveColor(m_ClrGridA), resolveColor(m_ClrGridB)};
    for (int y = 0; y < h; y += f) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = colors[(x + y) & 1];
    }
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; x += f)
            row[x] = colors[(x + y) & 1];
    }
}

} // namespace ocula
