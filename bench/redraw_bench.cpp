// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The refresh tick against its physical bound: Redraw on an in-memory desktop versus a
// memset of the view image (Wv x Hv x 4 bytes), the least any tick has to write. The
// view's present only schedules a paint; painting is Qt's cost and not measured here.
#include "bench_support.h"

#include "common/colors.h"
#include "magnifier/zoom.h"
#include "magnifier/zoomarea.h"
#include "platform/memory/imagescreensource.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <memory>
#include <string>
#include <vector>

namespace ocula::bench {

namespace {

constexpr QSize kDesktopSize(2560, 1440);
const QPoint kCentre(kDesktopSize.width() / 2, kDesktopSize.height() / 2);

// The control's 1-pixel border (BorderStyle 1) plus the view frame's 2 pixels, each side.
constexpr int kChrome = 2 * 1 + 2 * 2;

struct ViewSize {
    int w;
    int h;
};
constexpr ViewSize kViews[] = {{400, 400}, {1920, 1080}};
constexpr int kFactors[] = {1, 2, 6, 20};
constexpr int kGridFactors[] = {6, 20};

std::string sizeName(ViewSize v) {
    return std::to_string(v.w) + "x" + std::to_string(v.h);
}

std::string memsetName(ViewSize v) {
    return "Memset/" + sizeName(v);
}

std::string redrawName(ViewSize v, int factor, bool grid) {
    return "Redraw/" + sizeName(v) + "/f" + std::to_string(factor) + (grid ? "/grid" : "");
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "redraw_bench: %s\n", what.c_str());
    std::abort();
}

const QImage& busyDesktop() {
    static const QImage desktop = noisePicture(kDesktopSize, 0x9E3779B9u);
    return desktop;
}

// The cursor moves on every tick, so no tick can be skipped as unchanged; it stays far
// enough from the desktop's edges that the source lies wholly on it even at factor 1.
QPoint cursorAt(int64_t tick) {
    return kCentre + QPoint(int(tick % 13), int(tick % 7));
}

// Checks a lattice of view pixels against the desktop (and the grid's checker), so the
// time below is that of a correct tick.
void checkView(const Zoom& zoom, const ImageScreenSource& source, QPoint cursor, ViewSize v, int f,
               bool grid) {
    const QImage& img = zoom.viewImage();
    if (img.size() != QSize(v.w, v.h))
        fail("view image is not " + sizeName(v));
    const int srcLeft = cursor.x() - v.w / (2 * f);
    const int srcTop = cursor.y() - v.h / (2 * f);
    const QRgb gridColor[2] = {resolveColor(zoom.ClrGridA()), resolveColor(zoom.ClrGridB())};
    const int stepX = std::max(1, v.w / 37), stepY = std::max(1, v.h / 29);
    for (int y = 0; y < v.h; y += stepY) {
        for (int x = 0; x < v.w; x += stepX) {
            const bool onLine = grid && f >= 3 && (x % f == 0 || y % f == 0);
            const QRgb want = onLine ? gridColor[(x + y) & 1]
                                     : source.desktop().pixel(srcLeft + x / f, srcTop + y / f);
            if (img.pixel(x, y) != want)
                fail("wrong pixel at (" + std::to_string(x) + ", " + std::to_string(y) + ") in " +
                     redrawName(v, f, grid));
        }
    }
}

std::unique_ptr<Zoom> readyZoom(ImageScreenSource& source, ViewSize v, int f, bool grid) {
    source.setCursorPos(kCentre);
    auto zoom = std::make_unique<Zoom>(nullptr, &source);
    zoom->setShowBars(0);
    zoom->resize(v.w + kChrome, v.h + kChrome);
    zoom->show();
    QApplication::processEvents();
    if (zoom->picZoom()->client()->size() != QSize(v.w, v.h))
        fail("view area is not " + sizeName(v) + " for " + redrawName(v, f, grid));
    if (!zoom->FollowMouse() || zoom->Locked())
        fail("the view does not follow the cursor");
    zoom->setFactor(int16_t(f));
    zoom->setHasGrid(grid);
    if (zoom->Factor() != f || zoom->HasGrid() != grid)
        fail("factor or grid did not take");
    checkView(*zoom, source, kCentre, v, f, grid);
    return zoom;
}

void benchRedraw(benchmark::State& state, ViewSize v, int f, bool grid) {
    ImageScreenSource source(busyDesktop());
    const std::unique_ptr<Zoom> zoom = readyZoom(source, v, f, grid);
    const int grabsBefore = source.grabCount();
    const quint64 framesBefore = zoom->framesPresented();
    int64_t tick = 0;
    for (auto _ : state) {
        source.setCursorPos(cursorAt(++tick));
        zoom->Redraw();
        benchmark::DoNotOptimize(zoom->viewImage().constBits());
        benchmark::ClobberMemory();
    }
    // A tick that returned early or was skipped as unchanged would be cheap and measure
    // nothing.
    if (source.grabCount() - grabsBefore != tick ||
        zoom->framesPresented() - framesBefore != quint64(tick))
        fail("Redraw skipped a tick in " + redrawName(v, f, grid));
    checkView(*zoom, source, cursorAt(tick), v, f, grid);
    state.SetBytesProcessed(state.iterations() * int64_t(v.w) * v.h * 4);
}

std::string unchangedName(ViewSize v) {
    return "Unchanged/" + sizeName(v) + "/f6/grid";
}

// The cursor and the desktop stay as they are: every tick reads the source and finds the
// picture the view already shows. (The whole program's cost of such a tick, X round trips
// and event loop included, is measured by bench-peers.)
void benchUnchanged(benchmark::State& state, ViewSize v) {
    ImageScreenSource source(busyDesktop());
    const std::unique_ptr<Zoom> zoom = readyZoom(source, v, 6, true);
    zoom->Redraw();
    const int grabsBefore = source.grabCount();
    const quint64 framesBefore = zoom->framesPresented();
    int64_t ticks = 0;
    for (auto _ : state) {
        zoom->Redraw();
        ++ticks;
        benchmark::ClobberMemory();
    }
    if (source.grabCount() - grabsBefore != ticks)
        fail("an unchanged tick did not read the source in " + unchangedName(v));
    if (zoom->framesPresented() != framesBefore)
        fail("an unchanged tick drew the view in " + unchangedName(v));
}

void benchMemset(benchmark::State& state, ViewSize v) {
    const size_t bytes = size_t(v.w) * size_t(v.h) * 4;
    std::vector<unsigned char> buffer(bytes, 0);
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(buffer.data());
        std::memset(buffer.data(), ++value & 0xFF, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}

void printSummary(const Results& results, std::ostream& out) {
    auto cpuUs = [&results](const std::string& name) {
        const auto it = results.find(name);
        return it == results.end() ? -1.0 : it->second.cpuUs;
    };
    out << "\nRedraw against a memset of the view image (CPU time; target: ratio <= 2 at "
           "factors >= 2)\n";
    out << std::left << std::setw(26) << "case" << std::right << std::setw(12) << "Redraw us"
        << std::setw(12) << "memset us" << std::setw(9) << "ratio"
        << "\n";
    out << std::fixed;
    for (const ViewSize v : kViews) {
        const double bound = cpuUs(memsetName(v));
        auto row = [&](int f, bool grid) {
            const std::string name = redrawName(v, f, grid);
            const double redraw = cpuUs(name);
            if (redraw < 0)
                return;
            out << std::left << std::setw(26) << name << std::right << std::setprecision(1)
                << std::setw(12) << redraw;
            if (bound > 0) {
                const double ratio = redraw / bound;
                out << std::setw(12) << bound << std::setprecision(2) << std::setw(9) << ratio
                    << (f >= 2 && ratio > 2 ? "  over" : "");
            } else {
                out << std::setw(12) << "-" << std::setw(9) << "-";
            }
            out << "\n";
        };
        for (const int f : kFactors)
            row(f, false);
        for (const int f : kGridFactors)
            row(f, true);
    }
    out << "\nA tick that finds the picture the view shows (CPU time; target: <= 50 us)\n";
    for (const ViewSize v : kViews) {
        const double us = cpuUs(unchangedName(v));
        if (us >= 0)
            out << std::left << std::setw(26) << unchangedName(v) << std::right
                << std::setprecision(1) << std::setw(12) << us << (us > 50 ? "  over" : "") << "\n";
    }
    out << std::defaultfloat;
}

const bool registered = [] {
    for (const ViewSize v : kViews) {
        benchmark::RegisterBenchmark(memsetName(v).c_str(), benchMemset, v)
            ->Unit(benchmark::kMicrosecond);
        for (const int f : kFactors)
            benchmark::RegisterBenchmark(redrawName(v, f, false).c_str(), benchRedraw, v, f, false)
                ->Unit(benchmark::kMicrosecond);
        for (const int f : kGridFactors)
            benchmark::RegisterBenchmark(redrawName(v, f, true).c_str(), benchRedraw, v, f, true)
                ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(unchangedName(v).c_str(), benchUnchanged, v)
            ->Unit(benchmark::kMicrosecond);
    }
    return addSummary(printSummary);
}();

} // namespace

} // namespace ocula::bench
