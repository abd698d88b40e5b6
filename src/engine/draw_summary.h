#pragma once
// What both tests make of their draws, and where their streams of variates start.

#include <algorithm>
#include <cstdint>
#include <thread>

#include "engine/bayes_engines.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// Nearest integer, ties to even.
int RoundToEven(long double x);

// CredibleLimitIndices, refused (std::invalid_argument) unless the draws leave room for both.
LimitIndices CheckedLimitIndices(int draws, int percent, bool twoSided);

// Where a test's streams of variates start: at the initial seeds with fixedSeed, else
// where the caller's generator stands.
struct StreamStart {
    std::int32_t seed1 = 0;
    std::int32_t seed2 = 0;
};

StreamStart StartOfStreams(bool fixedSeed);

// Sets the generator of the calling thread, which draws the stream from here on.
void StartStream(StreamStart start);

// The results of a test from its draws of a standardised distance and the sum of their
// Phi, with results(ZCCC) already holding the point estimate: the mean of Phi as a
// percentage and the p values; the credible limits, the two order statistics a full sort
// would put at lo and hi, with their Phi (the test's own); and the histogram around the
// limits and the point estimate, with three quarters of the limits' distance to spare on
// either side. The histogram is binned in two halves on two threads, or on the calling
// thread alone where the other is busy anyway (a series of cases): the counts are the same.
template <class Phi>
void SummariseDraws(long double probabilitySum, int draws, LimitIndices limits, tDrawArray& store, Phi phi,
                    tCovariateResults& results, tDrawHistogram& histogram, bool binOnTwoThreads = true) {
    const auto [lo, hi] = limits;
    long double meanPercent = probabilitySum / draws * 100;
    results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    results(OneTailedP) = meanPercent / 100;
    results(TwoTailedP) = meanPercent / 50;

    double* first = store.data();
    std::nth_element(first, first + hi - 1, first + draws);
    std::nth_element(first, first + lo - 1, first + hi - 1);
    results(ZCCCLower) = store(lo);
    results(ZCCCUpper) = store(hi);

    const double pointEstimate = static_cast<double>(results(ZCCC));
    double spare = 0.75 * (store(hi) - store(lo));
    if (!(spare > 0)) spare = 1;  // every draw alike: a unit either side
    const double lower = std::min(store(lo), pointEstimate) - spare;
    const double upper = std::max(store(hi), pointEstimate) + spare;
    if (binOnTwoThreads) {
        // The two halves of the draws on two threads: counts add up the same in any order.
        const int half = draws / 2;
        tDrawHistogram secondHalf;
        std::thread helper([&] { secondHalf = BinDraws(first + half, draws - half, lower, upper); });
        histogram = BinDraws(first, half, lower, upper);
        helper.join();
        for (int i = 0; i < kHistogramBins; ++i) histogram.counts[i] += secondHalf.counts[i];
        histogram.below += secondHalf.below;
        histogram.above += secondHalf.above;
    } else {
        histogram = BinDraws(first, draws, lower, upper);
    }

    results(PercentBelowLower) = phi(results(ZCCCLower)) * 100;
    results(PercentBelowUpper) = phi(results(ZCCCUpper)) * 100;
    RaiseFloatingPointFaults();
}

}  // namespace quorvane
