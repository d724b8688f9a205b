// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// What any Qt Widgets magnifier costs before it does any work: a window like Ocula's small
// one, showing one label, with a 50 ms timer whose ticks do nothing. bench/peers/run.sh
// runs it beside the magnifiers and prints its CPU time per tick.
//
//   ocula_qtfloor TICKS
//
// After TICKS ticks it prints "qtfloor: WHOLE STEADY START" and exits: the process's CPU
// time per tick from exec on (start-up included), the same from the 20th tick on, and the
// CPU time spent up to the first tick, all in milliseconds.
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
} // namespace

int main(int argc, char* argv[]) {
    const long ticks = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    constexpr long kSteadyFrom = 20;
    if (ticks <= kSteadyFrom) {
        std::fputs("usage: ocula_qtfloor TICKS (more than 20)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("X : 0"));
    label.setGeometry(0, 0, 436, 478);
    label.show();
    QTimer timer;
    timer.setInterval(50);
    long n = 0;
    double first = 0;
    double steadyFrom = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++n;
        if (n == 1)
            first = cpuMs();
        if (n == kSteadyFrom)
            steadyFrom = cpuMs();
        if (n == ticks) {
            const double all = cpuMs();
            std::printf("qtfloor: %.4f %.4f %.2f\n", all / double(ticks),
                        (all - steadyFrom) / double(ticks - kSteadyFrom), first);
            std::fflush(stdout);
            QApplication::quit();
        }
    });
    timer.start();
    return QApplication::exec();
}
