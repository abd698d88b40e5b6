#pragma once
// The deficit test's posterior, its variates and statistic, and its draws, for the deficit
// test itself, for the series of cases and for the difference test, which runs it on
// each of its two tasks.

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>

#include "engine/bayes_engines.h"
#include "engine/draw_summary.h"
#include "engine/regression_fit.h"
#include "numerics/distrib.h"
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

// The random variates of one draw of the deficit test, in the order they are taken from
// the uniform stream: the chi-square variate, then p standard normal variates.
class DeficitVariates {
public:
    DeficitVariates(int k, int n, tNormal_distribution& normal)
        : p_(k + 1), chiSquare_(static_cast<long double>(n - k - 1)), normal_(normal) {}

    int Stride() const { return p_ + 1; }

    void Draw(long double* out) {
        out[0] = chiSquare_.Draw();
        for (int i = 1; i <= p_; ++i) out[i] = normal_.Draw();
    }

private:
    const int p_;
    tChi_square_distribution chiSquare_;  // keeps no state between draws: one per call
    tNormal_distribution& normal_;
};

// Z_t from one draw's variates: sigma from the scaled inverse chi-square, beta from
// N(bHat, sigma^2 (X'X)^-1), and the case's standardised distance from beta . d.
// L is lower triangular, so its exact zeros are skipped (adding them changes nothing).
class CaseScore {
public:
    CaseScore(const Posterior& post, int k, int n) : post_(&post) {
        const long double nu = n - k - 1;
        sqrtNuS2_ = std::sqrt(nu) * std::sqrt(post.s2);
    }

    long double operator()(const long double* variates) const {
        const long double sigma = sqrtNuS2_ / std::sqrt(variates[0]);
        const long double* z = variates + 1;
        long double mu = 0;
        for (int i = 1; i <= post_->p; ++i) {
            long double lz = 0;
            for (int j = 1; j <= i; ++j) lz = lz + post_->L(i, j) * z[j - 1];
            const long double beta = post_->bHat(i) + sigma * lz;
            mu = mu + beta * post_->d(i);
        }
        return (post_->yStar - mu) / sigma;
    }

private:
    const Posterior* post_;
    long double sqrtNuS2_ = 0;
};

// The deficit test of N tasks on the same draws of the variates: each task's Z_t, and
// its Phi by the standard normal's Cdf.
template <std::size_t N>
class CaseScores {
public:
    static constexpr std::size_t kCount = N;

    CaseScores(const std::array<Posterior, N>& posts, int k, int n, const tNormal_distribution& standardNormal)
        : scores_(MakeScores(posts, k, n, std::make_index_sequence<N>())), standardNormal_(standardNormal) {}

    std::array<long double, N> operator()(const long double* variates) const {
        std::array<long double, N> z;
        for (std::size_t j = 0; j < N; ++j) z[j] = scores_[j](variates);
        return z;
    }

    long double Phi(long double z) const { return standardNormal_.Cdf(z); }

private:
    template <std::size_t... J>
    static std::array<CaseScore, N> MakeScores(const std::array<Posterior, N>& posts, int k, int n,
                                               std::index_sequence<J...>) {
        return {CaseScore(posts[J], k, n)...};
    }

    std::array<CaseScore, N> scores_;
    const tNormal_distribution& standardNormal_;  // its Cdf changes nothing: shared by both threads
};

// The deficit test of N tasks (1 or 2) that share n and k, in two steps: the draws, from
// one stream of variates (a standalone run of each task would draw the very same ones),
// and what is made of them.
template <std::size_t N>
struct DeficitDraws {
    std::array<tDeficitOutcome, N> outcomes;  // the point estimates until summarised
    std::array<tDrawArray, N> stores;
    std::array<long double, N> sums{};
};

// The outcomes before the draws: the conditional moments and the case's Z-CCC.
template <std::size_t N>
std::array<tDeficitOutcome, N> DeficitPointEstimates(const std::array<SummaryInputs, N>& tasks,
                                                     const std::array<Posterior, N>& posts) {
    std::array<tDeficitOutcome, N> outcomes;
    for (std::size_t j = 0; j < N; ++j) {
        tDeficitOutcome& outcome = outcomes[j];
        outcome.condMean = posts[j].condMean;
        outcome.condSD = posts[j].condSD;
        outcome.results(ZCCC) = (tasks[j].caseScores(1) - outcome.condMean) / outcome.condSD;
    }
    return outcomes;
}

template <std::size_t N>
DeficitDraws<N> DrawDeficits(const std::array<SummaryInputs, N>& tasks, const std::array<Posterior, N>& posts,
                             int draws, StreamStart start, const tBlockHook& blockHook);

template <std::size_t N>
std::array<tDeficitOutcome, N> SummariseDeficits(DeficitDraws<N>& drawn, int draws, LimitIndices limits);

}  // namespace quorvane
