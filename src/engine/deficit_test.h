#pragma once
// The deficit test's posterior and draws, for the deficit test itself and for the
// difference test, which runs it on each of its two tasks.

#include <array>
#include <cstddef>
#include <optional>

#include "engine/bayes_engines.h"
#include "engine/draw_summary.h"
#include "engine/regression_fit.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// Everything the draws need, fixed before the first one.
struct Posterior {
    int p = 0;
    tVector bHat;           // least-squares coefficients, intercept first
    long double s2 = 0;     // residual variance
    tMatrix L;              // lower Cholesky factor of (X'X)^-1
    tVector d;              // the case's design vector (1, covariate scores)
    long double yStar = 0;  // the case's task score
    long double condMean = 0;
    long double condSD = 0;

    // The draws are scale-free; only the conditional moments return to task units.
    void ReturnToUnits(const std::array<int, kMaxVars>& exponent);
};

std::optional<Posterior> FitPosterior(const SummaryInputs& in, FitFailure& failure);

// The deficit test of N tasks (1 or 2) that share n and k, in two steps: the draws, from
// one stream of variates (a standalone run of each task would draw the very same ones),
// and what is made of them.
template <std::size_t N>
struct DeficitDraws {
    std::array<tDeficitOutcome, N> outcomes;  // the point estimates until summarised
    std::array<tDrawArray, N> stores;
    std::array<long double, N> sums{};
};

template <std::size_t N>
DeficitDraws<N> DrawDeficits(const std::array<SummaryInputs, N>& tasks, const std::array<Posterior, N>& posts,
                             int draws, StreamStart start, const tBlockHook& blockHook);

template <std::size_t N>
std::array<tDeficitOutcome, N> SummariseDeficits(DeficitDraws<N>& drawn, int draws, LimitIndices limits);

}  // namespace quorvane
