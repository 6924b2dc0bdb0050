// Summaries of repeated measurements. Medians, because a loaded machine
// adds long outliers to timings and rarely takes anything away.
#pragma once

#include <cstddef>
#include <vector>

namespace qv::bench {

struct Summary {
    size_t count = 0;
    double median = 0;
    double p90 = 0;
    double min = 0;
    double max = 0;
};

// Percentile `p` (0..100) by linear interpolation between the nearest ranks;
// 0 for no samples.
double Percentile(std::vector<double> samples, double p);
double Median(const std::vector<double>& samples);
Summary Summarize(const std::vector<double>& samples);

}  // namespace qv::bench
