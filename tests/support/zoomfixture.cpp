// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "support/zoomfixture.h"

#include "common/colors.h"
#include "common/rounding.h"
#include "magnifier/geometry.h"
#include "magnifier/zoomarea.h"
#include "support/pattern.h"

namespace ocula::test {

ZoomFixture::ZoomFixture(QSize desktop)
    : source(makePatternDesktop(desktop.width(), desktop.height())),
      zoom(std::make_unique<Zoom>(nullptr, &source)) {}

ZoomFixture::~ZoomFixture() = default;

void ZoomFixture::setViewSize(QSize inner) {
    zoom->setBorderStyle(0);
    zoom->setShowBars(0);
    // Shown, so that resizes reach the control at once (Qt defers them for hidden ones).
    zoom->show();
    zoom->resize(inner + QSize(2 * ViewFrame::kBorder, 2 * ViewFrame::kBorder));
}

QSize ZoomFixture::viewSize() const {
    return zoom->picZoom()->client()->size();
}

QRgb ZoomFixture::expectedViewPixel(int dx, int dy, int srcLeft, int srcTop, int factor) const {
    const int sx = srcLeft + int(floorDiv(dx, factor));
    const int sy = srcTop + int(floorDiv(dy, factor));
    if (!source.desktopRect().contains(sx, sy))
        return zoom->picZoom()->client()->background().rgb();
    return patternColor(sx, sy);
}

QPoint ZoomFixture::firstWrongPixel(int srcLeft, int srcTop, int factor) const {
    const QImage& img = zoom->viewImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != expectedViewPixel(x, y, srcLeft, srcTop, factor))
                return QPoint(x, y);
    return QPoint(-1, -1);
}

} // namespace ocula::test
