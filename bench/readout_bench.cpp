// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The colour panel against the refresh tick. The tick itself never calls into the panel: the
// panel reads one pixel of what the view was drawn from, at most once per tmrMouse period
// (180 ms). Measured here: a panel refresh that finds the colour it shows (what most
// refreshes find), and one whose colour and texts change every time, a pinned colour to
// compare with included (its worst case), in a main window of the default size.
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
#include <string>

namespace ocula::bench {

namespace {

constexpr QSize kDesktopSize(2560, 1440);
const QPoint kCentre(kDesktopSize.width() / 2, kDesktopSize.height() / 2);

std::string refreshName(bool changing) {
    return std::string("PanelRefresh/400x420/") + (changing ? "changing" : "same");
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "readout_bench: %s\n", what.c_str());
    std::abort();
}

// Neighbouring pixels differ, so a centre one pixel over changes the panel's every text.
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

void benchRefresh(benchmark::State& state, bool changing) {
    ImageScreenSource source(stripedDesktop());
    source.setCursorPos(kCentre);
    frmMain w(&source);
    w.resize(400, 420);
    w.show();
    QApplication::processEvents();
    w.Zoom1->setFactor(6);
    w.Zoom1->Redraw();
    w.refreshColor();
    w.pinColor();
    if (!w.pinnedColor())
        fail("no colour to pin in " + refreshName(changing));
    // A following view takes a new centre without drawing: the next tick would. The panel
    // reads the new centre from the same picture.
    int64_t n = 0;
    for (auto _ : state) {
        if (changing)
            w.Zoom1->setCurrentX(kCentre.x() + int(++n & 1));
        w.refreshColor();
        benchmark::ClobberMemory();
    }
    const QRgb shown = source.desktop().pixel(w.Zoom1->CurrentX(), kCentre.y());
    if (w.lblHex->text() != hexText(shown) || w.lblContrast->text().isEmpty())
        fail("the panel does not show the centre in " + refreshName(changing));
}

void printSummary(const Results& results, std::ostream& out) {
    auto cpuUs = [&results](const std::string& name) {
        const auto it = results.find(name);
        return it == results.end() ? -1.0 : it->second.cpuUs;
    };
    const std::string tick = "Redraw/400x400/f6/grid";
    out << "\nThe colour panel (CPU time): one refresh, and its share of each 50 ms tick at one "
           "refresh per 180 ms, against the tick itself ("
        << tick << ")\n";
    out << std::left << std::setw(34) << "case" << std::right << std::setw(12) << "refresh us"
        << std::setw(14) << "per tick us" << std::setw(12) << "of a tick"
        << "\n"
        << std::fixed;
    for (const bool changing : {false, true}) {
        const double us = cpuUs(refreshName(changing));
        if (us < 0)
            continue;
        const double share = us * 50.0 / 180.0;
        out << std::left << std::setw(34) << refreshName(changing) << std::right
            << std::setprecision(3) << std::setw(12) << us << std::setw(14) << share;
        if (const double t = cpuUs(tick); t > 0)
            out << std::setprecision(2) << std::setw(11) << 100.0 * share / t << "%";
        out << "\n";
    }
    out << std::defaultfloat;
}

const bool registered = [] {
    for (const bool changing : {false, true})
        benchmark::RegisterBenchmark(refreshName(changing).c_str(), benchRefresh, changing)
            ->Unit(benchmark::kMicrosecond);
    return addSummary(printSummary);
}();

} // namespace

} // namespace ocula::bench
