#include "engine/deficit_test.h"

#include <cmath>
#include <utility>
#include <vector>

#include "engine/draw_pipeline.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

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
    drawn.outcomes = DeficitPointEstimates(tasks, posts);
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
