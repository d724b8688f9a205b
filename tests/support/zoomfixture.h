// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "magnifier/zoom.h"
#include "platform/memory/imagescreensource.h"

#include <QSize>

#include <memory>

namespace ocula::test {

// A control over an in-memory desktop of coordinate-encoding pixels, laid out so that
// its view's inner area has a chosen size.
struct ZoomFixture {
    explicit ZoomFixture(QSize desktop = QSize(1280, 1024));
    ~ZoomFixture();

    // Resizes the control (bars off, no border) so the view's inner area is `inner`.
    void setViewSize(QSize inner);
    QSize viewSize() const;
    // The colour every view pixel must have for a sampling origin and factor.
    QRgb expectedViewPixel(int dx, int dy, int srcLeft, int srcTop, int factor) const;
    // First view pixel that differs from the expectation, or (-1, -1).
    QPoint firstWrongPixel(int srcLeft, int srcTop, int factor) const;

    ImageScreenSource source;
    std::unique_ptr<Zoom> zoom;
};

} // namespace ocula::test
