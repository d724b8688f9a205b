// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// A frame of the Wayland source: the source rectangle read out of a monitor-sized picture
// as PipeWire maps it (both pixel layouts), magnified and presented, against the X11 path
// (pixels lent in place) at the same view size.
#include "bench_support.h"

#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "platform/screensource.h"
#include "platform/wayland/pipewirestreams.h"

#include <QApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <string>

namespace ocula::bench {

namespace {

constexpr QSize kMonitor(2560, 1440);
constexpr int kChrome = 2 * 1 + 2 * 2;

// A stream's kept picture, read as the Wayland source reads it.
class PictureSource final : public ScreenSource {
public:
    // The noise's top bytes are set, but a stream's are not to be trusted: they vary here.
    explicit PictureSource(PixelOrder order)
        : m_order(order), m_picture(noisePicture(kMonitor, 0x2545F491u)) {
        for (int y = 0; y < m_picture.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
            for (int x = 0; x < m_picture.width(); ++x)
                row[x] ^= QRgb(x + y) << 24;
        }
    }
    QPoint cursorPos() override { return m_cursor; }
    QRect desktopRect() const override { return m_picture.rect(); }
    bool grab(const QRect& source, QImage& into, bool* changed) override {
        const QRect part = source & m_picture.rect();
        readPicture(m_picture.constBits(), m_picture.bytesPerLine(), m_picture.rect(), m_order,
                    part, into, part.topLeft() - source.topLeft(), changed);
        ++grabs;
        return true;
    }
    QPoint m_cursor{kMonitor.width() / 2, kMonitor.height() / 2};
    int grabs = 0;

private:
    PixelOrder m_order;
    QImage m_picture;
};

struct Case {
    int w, h, f;
    bool swapped;
};
constexpr Case kCases[] = {{400, 400, 1, false},
                           {400, 400, 6, false},
                           {400, 400, 6, true},
                           {1920, 1080, 2, false},
                           {1920, 1080, 6, false}};

std::string caseName(const Case& c) {
    return "Wayland/" + std::to_string(c.w) + "x" + std::to_string(c.h) + "/f" +
           std::to_string(c.f) + (c.swapped ? "/RGBx" : "/BGRx");
}
std::string x11Name(const Case& c) {
    return "Redraw/" + std::to_string(c.w) + "x" + std::to_string(c.h) + "/f" + std::to_string(c.f);
}

void benchWaylandFrame(benchmark::State& state, Case c) {
    PictureSource source(c.swapped ? PixelOrder::Xbgr : PixelOrder::Xrgb);
    Zoom zoom(nullptr, &source);
    zoom.setShowBars(0);
    zoom.resize(c.w + kChrome, c.h + kChrome);
    zoom.show();
    QApplication::processEvents();
    zoom.setFactor(int16_t(c.f));
    if (zoom.picZoom()->client()->size() != QSize(c.w, c.h)) {
        std::fprintf(stderr, "wayland_bench: the view is not %dx%d\n", c.w, c.h);
        std::abort();
    }
    const QPoint centre = source.m_cursor;
    int64_t tick = 0;
    const int before = source.grabs;
    for (auto _ : state) {
        ++tick;
        source.m_cursor = centre + QPoint(int(tick % 13), int(tick % 7));
        zoom.Redraw();
        benchmark::DoNotOptimize(zoom.viewImage().constBits());
        benchmark::ClobberMemory();
    }
    // Every tick must have read the picture; the centre block must be the picture's pixel.
    const QImage& view = zoom.viewImage();
    const QPoint p = source.m_cursor;
    QImage one(1, 1, QImage::Format_RGB32);
    bool changed = false;
    source.grab(QRect(p, QSize(1, 1)), one, &changed);
    const int half = (c.w / c.f / 2) * c.f;
    if (source.grabs - 1 - before != tick ||
        view.pixel(half, (c.h / c.f / 2) * c.f) != one.pixel(0, 0)) {
        (void)half;
        std::fprintf(stderr, "wayland_bench: %s skipped a tick or drew wrong pixels\n",
                     caseName(c).c_str());
        std::abort();
    }
}

void printSummary(const Results& results, std::ostream& out) {
    auto cpuUs = [&results](const std::string& name) {
        const auto it = results.find(name);
        return it == results.end() ? -1.0 : it->second.cpuUs;
    };
    out << "\nA Wayland frame (read out of the stream's picture, magnify) against the X11 "
           "path (lent pixels) at the same view size (CPU time)\n";
    out << std::left << std::setw(30) << "case" << std::right << std::setw(12) << "Wayland us"
        << std::setw(12) << "X11 us" << std::setw(9) << "ratio"
        << "\n"
        << std::fixed;
    for (const Case& c : kCases) {
        const double w = cpuUs(caseName(c));
        const double x = cpuUs(x11Name(c));
        if (w < 0)
            continue;
        out << std::left << std::setw(30) << caseName(c) << std::right << std::setprecision(1)
            << std::setw(12) << w;
        if (x > 0)
            out << std::setw(12) << x << std::setprecision(2) << std::setw(9) << w / x;
        out << "\n";
    }
    out << std::defaultfloat;
}

const bool registered = [] {
    for (const Case& c : kCases)
        benchmark::RegisterBenchmark(caseName(c).c_str(), benchWaylandFrame, c)
            ->Unit(benchmark::kMicrosecond);
    return addSummary(printSummary);
}();

} // namespace

} // namespace ocula::bench
