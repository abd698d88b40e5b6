// The standardised difference test of a dissociation: its posterior, its draws, the
// canonical order of the tasks and the mirroring of its outcome.

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/bayes_engines.h"
#include "engine/deficit_test.h"
#include "engine/difference_test.h"
#include "engine/draw_pipeline.h"
#include "engine/draw_summary.h"
#include "engine/regression_fit.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

std::string RefusedCorrelation(long double r) {
    const long double size = std::fabs(r);
    const std::string limit = FormatFixed(kMaxConditionalCorrelation, 0, 3);
    for (int decimals = 5;; ++decimals) {
        const std::string text = FormatFixed(size, 0, decimals);
        const bool roundsToOne = text.starts_with("1.") && text.find_first_not_of('0', 2) == std::string::npos;
        const bool roundsToLimit =
            text.starts_with(limit) && text.find_first_not_of('0', limit.size()) == std::string::npos;
        if ((!roundsToOne && !roundsToLimit) || size == 1 || decimals == 12) return FormatFixed(r, 0, decimals);
    }
}

std::optional<DifferencePosterior> FitDifference(const SummaryInputs& in, FitFailure& failure) {
    DifferencePosterior post;
    const int p = in.k + 1;
    tMatrix coef, resid, inv;
    if (!FitRegression(in, coef, resid, inv, failure)) return std::nullopt;
    tMatrix L;
    if (!FactorInverse(inv, p, L, failure)) return std::nullopt;
    const tVector d = DesignVector(in);
    tVector b1, b2, w;
    MatColumn(coef, 1, b1);
    MatColumn(coef, 2, b2);
    post.muHat1 = VecDot(p, b1, d);
    post.muHat2 = VecDot(p, b2, d);
    post.y1 = in.caseScores(1);
    post.y2 = in.caseScores(2);
    tMatrix Lt;
    MatTranspose(L, p, p, Lt);
    MatVecMul(Lt, p, d, w);
    post.leverage = std::sqrt(VecDot(p, w, w));
    post.condCorrelation = resid(1, 2) / std::sqrt(resid(1, 1) * resid(2, 2));
    post.s1 = std::sqrt(resid(1, 1));
    post.s2 = std::sqrt(resid(2, 2));
    if (std::fabs(post.condCorrelation) > kMaxConditionalCorrelation) {
        // Without covariates the conditional correlation is the tasks' own.
        const std::string which =
            in.k == 0 ? " (correlation " : " once the covariates are allowed for (conditional correlation ";
        failure.message =
            "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control "
            "sample" +
            which + RefusedCorrelation(post.condCorrelation) + ", where the test takes at most " +
            FormatFixed(kMaxConditionalCorrelation, 0, 3) +
            " in size): check the scores for an error of entry, or whether one task repeats the other.";
        return std::nullopt;
    }

    // The scale of the inverse Wishart: S_c = S (n - k - 2) / (n - k - 1), where resid is
    // S / (n - k - 1).
    tMatrix scale, scaleInverse;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) scale(i, j) = resid(i, j) * (in.n - in.k - 2);
    const bool inverted = MatInverse(scale, 2, scaleInverse);
    const CholeskyOutcome factor = CholeskyFactor(2, scaleInverse);
    if (!inverted || !factor.ok) {
        failure.message =
            "Analysis cannot proceed as the residual covariance matrix of the two tasks is singular: "
            "check whether one task is linearly dependent on the other and the covariates.";
        return std::nullopt;
    }
    post.M = scaleInverse;
    RaiseFloatingPointFaults();
    return post;
}

namespace {

// The same inputs with task 1 and task 2 exchanged.
SummaryInputs WithTasksSwapped(SummaryInputs in) {
    std::swap(in.sds(1), in.sds(2));
    std::swap(in.means(1), in.means(2));
    std::swap(in.caseScores(1), in.caseScores(2));
    const auto other = [](int i) { return i == 1 ? 2 : i == 2 ? 1 : i; };
    const tMatrix given = in.corr;
    for (int i = 1; i <= in.k + 2; ++i)
        for (int j = 1; j <= in.k + 2; ++j) in.corr(other(i), other(j)) = given(i, j);
    return in;
}

// The order in which the difference test takes the tasks, so that the test does not
// depend on which task was entered first: the task the case stands lower on (by Z-CCC)
// first, then by the case's score and the controls' statistics. Tasks equal in all of
// them are interchangeable: either order gives the same inputs.
bool SecondTaskFirst(const std::array<SummaryInputs, 2>& tasks, const std::array<long double, 2>& zccc) {
    const auto key = [&](int j) {
        const SummaryInputs& t = tasks[j];
        std::vector<long double> key{zccc[j], t.caseScores(1), t.means(1), t.sds(1)};
        for (int i = 2; i <= t.k + 1; ++i) key.push_back(t.corr(1, i));
        return key;
    };
    return key(1) < key(0);
}

}  // namespace

tPercentWithLimits PercentMoreExtreme(const tCovariateResults& r) {
    if (r(PercentBelow) <= 50) return {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)};
    return {100 - r(PercentBelow), DifferenceScore::Phi(-r(ZCCCUpper)) * 100,
            DifferenceScore::Phi(-r(ZCCCLower)) * 100};
}

void MirrorDifference(tDissociationOutcome& outcome) {
    tCovariateResults& d = outcome.difference;
    const long double lower = d(ZDCCCLower);
    d(ZDCCC) = -d(ZDCCC);
    d(ZDCCCLower) = -d(ZDCCCUpper);
    d(ZDCCCUpper) = -lower;
    d(PercentBelow) = 100 - d(PercentBelow);
    d(PercentBelowLower) = DifferenceScore::Phi(d(ZDCCCLower)) * 100;
    d(PercentBelowUpper) = DifferenceScore::Phi(d(ZDCCCUpper)) * 100;
    tDrawHistogram& h = outcome.differenceHistogram;
    const double upper = h.upper;
    h.upper = -h.lower;
    h.lower = -upper;
    std::reverse(h.counts.begin(), h.counts.end());
    std::swap(h.below, h.above);
}

void CheckDissociationArguments(int k, int n) {
    if (k < 0 || k + 2 > kMaxVars)
        throw std::invalid_argument("The number of covariates must lie between 0 and " + std::to_string(kMaxVars - 2));
    if (n - k - 2 <= 1) throw std::invalid_argument("The difference test needs n - k - 2 > 1: at least k + 4 controls");
}

DissociationSetup PrepareDissociation(const tCaseStatistics& statistics) {
    const SummaryInputs given{statistics, 2};
    DissociationSetup setup{{TaskWithCovariates(given, 1), TaskWithCovariates(given, 2)}, {}, false, {}, {}};
    const auto& tasks = setup.tasks;
    setup.posts = {FitOrThrow(tasks[0], FitPosterior), FitOrThrow(tasks[1], FitPosterior)};
    const auto& posts = setup.posts;
    const auto zccc = [&](int j) { return (tasks[j].caseScores(1) - posts[j].condMean) / posts[j].condSD; };
    // The difference test runs on the tasks in their canonical order and is mirrored
    // afterwards when that is not the order given.
    const std::array<long double, 2> z{zccc(0), zccc(1)};
    setup.swapped = SecondTaskFirst(tasks, z);
    const SummaryInputs both = setup.swapped ? WithTasksSwapped(given) : given;
    setup.post = FitOrThrow(both, FitDifference);

    tDissociationOutcome& result = setup.result;
    result.condCorrelation = setup.post.condCorrelation;
    const int first = setup.swapped ? 1 : 0;
    result.difference(ZDCCC) = (z[first] - z[1 - first]) / std::sqrt(2 - 2 * result.condCorrelation);
    RaiseFloatingPointFaults();
    return setup;
}

tDissociationOutcome DissociationMonteCarloTest(const tCaseStatistics& statistics, const tTestOptions& options) {
    const int n = statistics.n, k = statistics.k;
    const int draws = options.draws;
    const LimitIndices limits = CheckedLimitIndices(draws, options.percent, options.twoSided);
    CheckDissociationArguments(k, n);
    const DissociationSetup setup = PrepareDissociation(statistics);
    const DifferencePosterior& post = setup.post;  // a reference, not a binding: the lambda below captures it

    const StreamStart start = StartOfStreams(options.fixedSeed);
    tDissociationOutcome result = setup.result;

    // The difference test's variates are a stream of their own, drawn on a thread of its
    // own (each thread has its own state of the generator) beside the deficit tests' draws,
    // so that the two cores share the work of both.
    std::future<void> difference = std::async(std::launch::async, [&] {
        StartStream(start);
        tDrawArray store;
        tNormal_distribution normal(0, 1);
        DifferenceVariates source(post, k, n, normal);
        const DifferenceScore statistic(post);
        const auto [sum] = DrawPipeline(source, statistic, draws, {&store}, options.blockHook).ProbabilitySums();
        result.proposals = source.Proposals();
        SummariseDraws(sum, draws, limits, store, DifferenceScore::Phi, result.difference, result.differenceHistogram);
        result.moreExtreme = PercentMoreExtreme(result.difference);
    });
    try {
        DeficitDraws<2> drawn = DrawDeficits(setup.tasks, setup.posts, draws, start, options.blockHook);
        result.tasks = SummariseDeficits(drawn, draws, limits);
    } catch (...) {
        difference.wait();  // it works on this frame's values; an error of the deficit tests comes first
        throw;
    }
    difference.get();
    if (setup.swapped) MirrorDifference(result);
    return result;
}

}  // namespace quorvane
