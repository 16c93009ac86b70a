#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace corvane::bench {

inline double percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1))];
}

// Mean, p50, p99 and worst of the samples as counters named after `unit` ("mean_us", …).
inline void reportSpread(benchmark::State& state, const std::vector<double>& samples, const std::string& unit) {
    if (samples.empty()) return;
    state.counters["mean_" + unit] =
        std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    state.counters["p50_" + unit] = percentile(samples, 0.50);
    state.counters["p99_" + unit] = percentile(samples, 0.99);
    state.counters["worst_" + unit] = *std::max_element(samples.begin(), samples.end());
}

}  // namespace corvane::bench
