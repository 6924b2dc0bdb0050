#include "bench/stats.h"

#include <algorithm>
#include <cmath>

namespace qv::bench {

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(samples.size() - 1);
    const auto low = static_cast<size_t>(std::floor(rank));
    const size_t high = std::min(low + 1, samples.size() - 1);
    const double fraction = rank - static_cast<double>(low);
    return samples[low] + (samples[high] - samples[low]) * fraction;
}

double Median(const std::vector<double>& samples) {
    return Percentile(samples, 50);
}

Summary Summarize(const std::vector<double>& samples) {
    Summary s;
    s.count = samples.size();
    if (samples.empty()) return s;
    s.median = Median(samples);
    s.p90 = Percentile(samples, 90);
    const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
    s.min = *lo;
    s.max = *hi;
    return s;
}

}  // namespace qv::bench
