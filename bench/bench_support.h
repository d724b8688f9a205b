// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <benchmark/benchmark.h>

#include <QImage>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>

namespace ocula::bench {

// One finished benchmark: the median when repetitions were asked for, else its only run.
struct Result {
    double realUs = 0;
    double cpuUs = 0;
    std::map<std::string, double> counters; // already per iteration where so flagged
};
using Results = std::map<std::string, Result>;

// A table printed after all benchmarks have run, e.g. a case against its physical bound.
using Summary = std::function<void(const Results&, std::ostream&)>;

// Call from a static initialiser; returns true so the result can seed a namespace-scope bool.
bool addSummary(Summary summary);

// Opaque noise: a copy that drops or repeats a column shows, and neighbouring rectangles
// never hold the same pixels.
QImage noisePicture(QSize size, uint32_t seed);

} // namespace ocula::bench
