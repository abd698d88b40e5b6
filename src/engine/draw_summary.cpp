#include "engine/draw_summary.h"

#include <cmath>
#include <stdexcept>

namespace quorvane {

int RoundToEven(long double x) { return static_cast<int>(std::nearbyint(x)); }

LimitIndices CheckedLimitIndices(int draws, int percent, bool twoSided) {
    const LimitIndices limits = CredibleLimitIndices(draws, percent, twoSided);
    if (draws < 1 || draws > kMaxDraws || limits.lo < 1 || limits.hi > draws)
        throw std::invalid_argument("The number of draws must leave room for both credible limits");
    return limits;
}

StreamStart StartOfStreams(bool fixedSeed) {
    return fixedSeed ? StreamStart{kInitialSeed1, kInitialSeed2} : StreamStart{Seed1, Seed2};
}

void StartStream(StreamStart start) {
    Seed1 = start.seed1;
    Seed2 = start.seed2;
}

LimitIndices CredibleLimitIndices(int draws, int percent, bool twoSided) {
    const long double c = percent;
    if (twoSided) return {RoundToEven((100 - c) / 2 / 100 * draws), RoundToEven((c + (100 - c) / 2) / 100 * draws) + 1};
    return {RoundToEven((100 - c) / 100 * draws), RoundToEven(c / 100 * draws) + 1};
}

int tDrawHistogram::Total() const {
    int total = below + above;
    for (const int count : counts) total += count;
    return total;
}

// One pass: the bin from the scaled distance to lower, then moved by at most one so that
// each draw lies between its bin's edges as Edge computes them.
tDrawHistogram BinDraws(const double* draws, int count, double lower, double upper) {
    tDrawHistogram histogram;
    histogram.lower = lower;
    histogram.upper = upper;
    std::array<double, kHistogramBins + 1> edges;
    for (int i = 0; i <= kHistogramBins; ++i) edges[i] = histogram.Edge(i);
    const double scale = kHistogramBins / (upper - lower);
    for (int t = 0; t < count; ++t) {
        const double z = draws[t];
        if (z < lower) {
            ++histogram.below;
        } else if (z >= upper) {
            ++histogram.above;
        } else {
            int bin = std::min(kHistogramBins - 1, static_cast<int>((z - lower) * scale));
            if (z < edges[bin])
                --bin;
            else if (z >= edges[bin + 1])
                ++bin;
            ++histogram.counts[bin];
        }
    }
    return histogram;
}

}  // namespace quorvane
