#include "engine/deficit_test.h"

#include <cmath>
#include <utility>
#include <vector>

#include "engine/draw_pipeline.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

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

template <std::size_t N>
std::array<tDrawArray*, N> Pointers(std::array<tDrawArray, N>& stores) {
    std::array<tDrawArray*, N> pointers;
    for (std::size_t j = 0; j < N; ++j) pointers[j] = &stores[j];
    return pointers;
}

}  // namespace

void Posterior::ReturnToUnits(const std::array<int, kMaxVars>& exponent) {
    condMean = std::ldexp(condMean, -exponent[0]);
    condSD = std::ldexp(condSD, -exponent[0]);
}

std::optional<Posterior> FitPosterior(const SummaryInputs& in, FitFailure& failure) {
    Posterior post;
    post.p = in.k + 1;
    tMatrix coef, resid, inv;
    if (!FitRegression(in, coef, resid, inv, failure)) return std::nullopt;
    post.s2 = resid(1, 1);
    MatColumn(coef, 1, post.bHat);
    post.d = DesignVector(in);
    post.yStar = in.caseScores(1);

    tMatrix condCov;
    tVector condMean;
    if (!ConditionalMoments(post.p, in.k, in.corr, in.sds, in.means, post.d, condCov, condMean)) {
        failure.message = "Analysis cannot proceed as the covariance matrix of the task and covariates is singular.";
        return std::nullopt;
    }
    post.condMean = condMean(1);
    post.condSD = std::sqrt(condCov(1, 1));

    if (!FactorInverse(inv, post.p, post.L, failure)) return std::nullopt;
    RaiseFloatingPointFaults();
    return post;
}

template <std::size_t N>
DeficitDraws<N> DrawDeficits(const std::array<SummaryInputs, N>& tasks, const std::array<Posterior, N>& posts,
                             int draws, StreamStart start, const tBlockHook& blockHook) {
    const int k = tasks[0].k, n = tasks[0].n;
    DeficitDraws<N> drawn;
    for (std::size_t j = 0; j < N; ++j) {
        tDeficitOutcome& outcome = drawn.outcomes[j];
        outcome.condMean = posts[j].condMean;
        outcome.condSD = posts[j].condSD;
        outcome.results(ZCCC) = (tasks[j].caseScores(1) - outcome.condMean) / outcome.condSD;
    }
    StartStream(start);
    tNormal_distribution standardNormal(0, 1);
    DeficitVariates source(k, n, standardNormal);
    const CaseScores<N> statistic(posts, k, n, standardNormal);
    drawn.sums = DrawPipeline(source, statistic, draws, Pointers(drawn.stores), blockHook).ProbabilitySums();
    return drawn;
}

template <std::size_t N>
std::array<tDeficitOutcome, N> SummariseDeficits(DeficitDraws<N>& drawn, int draws, LimitIndices limits) {
    const tNormal_distribution standardNormal(0, 1);
    const auto phi = [&standardNormal](long double z) { return standardNormal.Cdf(z); };
    for (std::size_t j = 0; j < N; ++j)
        SummariseDraws(drawn.sums[j], draws, limits, drawn.stores[j], phi, drawn.outcomes[j].results,
                       drawn.outcomes[j].zHistogram);
    return drawn.outcomes;
}

template DeficitDraws<1> DrawDeficits(const std::array<SummaryInputs, 1>&, const std::array<Posterior, 1>&, int,
                                      StreamStart, const tBlockHook&);
template DeficitDraws<2> DrawDeficits(const std::array<SummaryInputs, 2>&, const std::array<Posterior, 2>&, int,
                                      StreamStart, const tBlockHook&);
template std::array<tDeficitOutcome, 1> SummariseDeficits(DeficitDraws<1>&, int, LimitIndices);
template std::array<tDeficitOutcome, 2> SummariseDeficits(DeficitDraws<2>&, int, LimitIndices);

tDeficitOutcome CovariateMonteCarloTest(const tCaseStatistics& statistics, const tTestOptions& options) {
    const LimitIndices limits = CheckedLimitIndices(options.draws, options.percent, options.twoSided);
    const std::array<SummaryInputs, 1> task{SummaryInputs{statistics, 1}};
    const std::array<Posterior, 1> post{FitOrThrow(task[0], FitPosterior)};
    DeficitDraws<1> drawn =
        DrawDeficits(task, post, options.draws, StartOfStreams(options.fixedSeed), options.blockHook);
    const auto [outcome] = SummariseDeficits(drawn, options.draws, limits);
    return outcome;
}

void CovariateMonteCarloTest(int k, int n, int draws, bool fixedSeed, bool twoSided, int percent, const tVector& sds,
                             const tVector& means, const tVector& caseScores, const tMatrix& corr,
                             long double& condMean, long double& condSD, tCovariateResults& results,
                             tDrawHistogram& histogram) {
    const tDeficitOutcome outcome =
        CovariateMonteCarloTest({n, k, sds, means, caseScores, corr}, {draws, fixedSeed, twoSided, percent, {}});
    condMean = outcome.condMean;
    condSD = outcome.condSD;
    results = outcome.results;
    histogram = outcome.zHistogram;
}

std::vector<long double> CaseDistances(int tasks, const tCaseStatistics& statistics) {
    const SummaryInputs given{statistics, tasks};
    std::vector<long double> distances;
    for (int j = 1; j <= tasks; ++j) {
        const SummaryInputs task = tasks == 1 ? given : TaskWithCovariates(given, j);
        const Posterior post = FitOrThrow(task, FitPosterior);
        const long double z = (task.caseScores(1) - post.condMean) / post.condSD;
        if (!std::isfinite(z)) ClearFloatingPointFaults();  // only this overflow: z is far
        distances.push_back(z);
    }
    return distances;
}

}  // namespace quorvane
