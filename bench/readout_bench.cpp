// The colour panel against the refresh tick. The tick itself never calls into the panel: the
// panel reads one pixel of what the view was drawn from, at most once per tmrMouse period
// (180 ms). Here a main window whose view follows a cursor that moves on every tick is
// refreshed with and without a panel refresh after every tick (the panel's worst case, a
// pinned colour to compare included); the difference is what one panel refresh costs.
#include "bench_support.h"

#include "common/colortext.h"
#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "platform/memory/imagescreensource.h"

#include <QApplication>
#include <QImage>
#include <QLabel>

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <string>

namespace ocula::bench {

namespace {

constexpr QSize kDesktopSize(2560, 1440);
const QPoint kCentre(kDesktopSize.width() / 2, kDesktopSize.height() / 2);
constexpr QSize kWindows[] = {{400, 420}, {1600, 1000}};

std::string windowName(QSize s) {
    return std::to_string(s.width()) + "x" + std::to_string(s.height());
}

std::string tickName(QSize s, bool panel) {
    return std::string(panel ? "WindowTickPanel/" : "WindowTick/") + windowName(s);
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "readout_bench: %s\n", what.c_str());
    std::abort();
}

// Neighbouring pixels differ, so the panel's colour and texts change on every tick.
const QImage& stripedDesktop() {
    static const QImage desktop = [] {
        QImage img(kDesktopSize, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                row[x] = qRgb(x * 37 & 255, y * 11 & 255, (x + y) * 5 & 255);
        }
        return img;
    }();
    return desktop;
}

QPoint cursorAt(int64_t tick) {
    return kCentre + QPoint(int(tick % 13), int(tick % 7));
}

void benchTick(benchmark::State& state, QSize window, bool panel) {
    ImageScreenSource source(stripedDesktop());
    source.setCursorPos(kCentre);
    frmMain w(&source);
    w.resize(window);
    w.show();
    QApplication::processEvents();
    w.Zoom1->setFactor(6);
    w.Zoom1->Redraw();
    w.pinColor();
    if (!w.pinnedColor())
        fail("no colour to pin in " + tickName(window, panel));
    int64_t tick = 0;
    for (auto _ : state) {
        source.setCursorPos(cursorAt(++tick));
        w.Zoom1->Redraw();
        if (panel)
            w.refreshColor();
        benchmark::ClobberMemory();
    }
    if (panel) {
        const QPoint p = cursorAt(tick);
        if (w.lblContrast->text().isEmpty() ||
            w.lblHex->text() != hexText(source.desktop().pixel(p)))
            fail("the panel does not show the centre in " + tickName(window, panel));
    }
}

void printSummary(const Results& results, std::ostream& out) {
    auto cpuUs = [&results](const std::string& name) {
        const auto it = results.find(name);
        return it == results.end() ? -1.0 : it->second.cpuUs;
    };
    out << "\nThe colour panel (CPU time): a tick alone, a tick followed by a panel refresh, "
           "and the refresh's share of a 50 ms tick at one refresh per 180 ms\n";
    out << std::left << std::setw(26) << "window" << std::right << std::setw(12) << "tick us"
        << std::setw(14) << "+ panel us" << std::setw(14) << "refresh us" << std::setw(14)
        << "per tick us"
        << "\n"
        << std::fixed << std::setprecision(2);
    for (const QSize s : kWindows) {
        const double tick = cpuUs(tickName(s, false));
        const double both = cpuUs(tickName(s, true));
        if (tick < 0 || both < 0)
            continue;
        out << std::left << std::setw(26) << windowName(s) << std::right << std::setw(12) << tick
            << std::setw(14) << both << std::setw(14) << both - tick << std::setw(14)
            << (both - tick) * 50.0 / 180.0 << "\n";
    }
    out << std::defaultfloat;
}

const bool registered = [] {
    for (const QSize s : kWindows)
        for (const bool panel : {false, true})
            benchmark::RegisterBenchmark(tickName(s, panel).c_str(), benchTick, s, panel)
                ->Unit(benchmark::kMicrosecond);
    return addSummary(printSummary);
}();

} // namespace

} // namespace ocula::bench
