// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// One benchmark executable for every bench/*.cpp: Qt needs a QApplication before any
// widget exists, and the summaries need the results of every run.
#include "bench_support.h"

#include <QApplication>

#include <iostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ocula::bench {

namespace {

std::vector<Summary>& summaries() {
    static std::vector<Summary> all;
    return all;
}

// Prints like the console reporter and keeps each run's result for the summaries.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& report) override {
        ConsoleReporter::ReportRuns(report);
        for (const Run& run : report) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            // Keyed without the time-type and repetition suffixes the runs may carry.
            const std::string name = run.run_name.args.empty()
                                         ? run.run_name.function_name
                                         : run.run_name.function_name + "/" + run.run_name.args;
            if (median)
                m_medians.insert(name);
            else if (run.run_type != Run::RT_Iteration || m_medians.count(name) != 0)
                continue;
            Result& r = m_results[name];
            r.realUs = toMicroseconds(run.GetAdjustedRealTime(), run.time_unit);
            r.cpuUs = toMicroseconds(run.GetAdjustedCPUTime(), run.time_unit);
            r.counters.clear();
            for (const auto& [key, counter] : run.counters)
                r.counters[key] = counter.value;
        }
    }

    const Results& results() const { return m_results; }

private:
    static double toMicroseconds(double t, benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond:
            return t / 1e3;
        case benchmark::kMicrosecond:
            return t;
        case benchmark::kMillisecond:
            return t * 1e3;
        case benchmark::kSecond:
            return t * 1e6;
        }
        return t;
    }

    Results m_results;
    std::set<std::string> m_medians;
};

} // namespace

bool addSummary(Summary summary) {
    summaries().push_back(std::move(summary));
    return true;
}

QImage noisePicture(QSize size, uint32_t seed) {
    QImage img(size, QImage::Format_RGB32);
    uint32_t state = seed;
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            row[x] = 0xFF000000u | (state & 0x00FFFFFFu);
        }
    }
    return img;
}

} // namespace ocula::bench

int main(int argc, char** argv) {
    // Widgets without a display: nothing here is ever shown on a real screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ocula::bench::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& summary : ocula::bench::summaries())
        summary(reporter.results(), std::cout);
    benchmark::Shutdown();
    return 0;
}
