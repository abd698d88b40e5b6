#pragma once
// The Bayesian Monte Carlo tests of a single case against a control population, with
// the tasks regressed on k covariates: the deficit test on one task, and the
// standardised difference test of a dissociation between two tasks. With k = 0 the
// design is a column of ones, and the tests are those without covariates.
//
// The face of the engine. Behind it: the regression fit (regression_fit), the deficit
// test (deficit_test), the difference test (difference_test), the two-thread draw
// pipeline (draw_pipeline.h) and what the tests make of their draws (draw_summary).

#include <array>
#include <functional>
#include <vector>

#include "numerics/matrix_handling.h"

namespace quorvane {

constexpr int kDraws = 1'000'000;
constexpr int kCrediblePercent = 95;
// The largest conditional correlation of two tasks that the difference test takes: its
// proposals are accepted at a rate of about sqrt(1 - r^2), so beyond it a run would need
// tens of proposals a draw, and minutes, for a difference that is mostly noise.
constexpr long double kMaxConditionalCorrelation = 0.999L;

// Indexes into tCovariateResults.
enum CovariateResult : int {
    OneTailedP = 1,
    TwoTailedP = 2,
    PercentBelow = 3,
    PercentBelowLower = 4,
    PercentBelowUpper = 5,
    ZCCC = 6,
    ZCCCLower = 7,
    ZCCCUpper = 8,
    // The same places in the results of the difference between two tasks.
    ZDCCC = ZCCC,
    ZDCCCLower = ZCCCLower,
    ZDCCCUpper = ZCCCUpper,
};

struct tCovariateResults {
    long double& operator()(int i) { return cell[i - 1]; }
    long double operator()(int i) const { return cell[i - 1]; }
    bool operator==(const tCovariateResults&) const = default;
    std::array<long double, 8> cell{};
};

// What the tests are given: the controls' count n and k covariates, and per variable
// (the tasks first, then the covariates) the controls' SD and mean and the case's score,
// with the correlations of the variables.
struct tCaseStatistics {
    int n = 0;
    int k = 0;
    tVector sds, means, caseScores;
    tMatrix corr;
    bool operator==(const tCaseStatistics&) const = default;
};

// For tests: called with a block's index (from 0) before that block of draws is turned
// into the statistics, on whichever thread processes it, so that a test can hold the
// processing back or count the blocks. Empty (none) by default.
using tBlockHook = std::function<void(int block)>;

// How a test runs: the number of draws, whether the streams start at the initial seeds
// (else where the caller's generator stands), the limit type and the credible percentage.
struct tTestOptions {
    int draws = kDraws;
    bool fixedSeed = true;
    bool twoSided = true;
    int percent = kCrediblePercent;
    tBlockHook blockHook;
};

// Regression of the first m variables on the next k from summary statistics:
// coef ((k+1) x m, intercepts first), resid (m x m residual covariance, denominator
// n - k - 1) and inv ((k+1) x (k+1) inverse of X'X). False when the inverse stopped
// on a small pivot, in which case the outputs mean nothing.
bool RegressionFromSummary(const tMatrix& corr, const tVector& sds, const tVector& means, int m,
                           int k, int n, tMatrix& coef, tMatrix& resid, tMatrix& inv);

// Positions, in the ascending order of the draws, of the lower and upper credible
// limits; the upper one is one above the rounded product.
struct LimitIndices {
    int lo = 0;
    int hi = 0;
    bool operator==(const LimitIndices&) const = default;
};
LimitIndices CredibleLimitIndices(int draws, int percent, bool twoSided);

// The posterior draws of the case's standardised distance Z, binned for a picture of
// their distribution: kHistogramBins equal bins between lower and upper (each bin holds
// its lower edge), the draws outside counted apart, so that below + the bins + above is
// the number of draws.
constexpr int kHistogramBins = 300;
struct tDrawHistogram {
    double lower = 0;
    double upper = 0;
    std::array<int, kHistogramBins> counts{};
    int below = 0;
    int above = 0;
    // The lower edge of bin i (0-based); Edge(kHistogramBins) is upper.
    double Edge(int i) const { return i == kHistogramBins ? upper : lower + (upper - lower) * i / kHistogramBins; }
    int Total() const;
    bool operator==(const tDrawHistogram&) const = default;
};

// Bins draws[0 .. count) over [lower, upper).
tDrawHistogram BinDraws(const double* draws, int count, double lower, double upper);

// The test itself. Throws EMatrixError when X'X is singular or its inverse not positive
// definite (also after the variables are brought to unit scale), EArgumentError when a
// draw lies beyond the reach of the normal distribution function, and the
// floating-point faults. The histogram spans the credible limits and Z-CCC with three
// quarters of the limits' distance to spare on either side.
void CovariateMonteCarloTest(int k, int n, int draws, bool fixedSeed, bool twoSided, int percent,
                             const tVector& sds, const tVector& means, const tVector& caseScores,
                             const tMatrix& corr, long double& condMean, long double& condSD,
                             tCovariateResults& results, tDrawHistogram& histogram);

// One task's deficit test: what CovariateMonteCarloTest gives.
struct tDeficitOutcome {
    long double condMean = 0;
    long double condSD = 0;
    tCovariateResults results;
    tDrawHistogram zHistogram;
    bool operator==(const tDeficitOutcome&) const = default;
};

// The same test on value types, with the options' block hook.
tDeficitOutcome CovariateMonteCarloTest(const tCaseStatistics& statistics, const tTestOptions& options);

// A percentage with its two credible limits.
struct tPercentWithLimits {
    long double percent = 0;
    long double lower = 0;
    long double upper = 0;
    bool operator==(const tPercentWithLimits&) const = default;
};

struct tDissociationOutcome {
    // Each bit for bit what CovariateMonteCarloTest gives on that task and the covariates.
    std::array<tDeficitOutcome, 2> tasks;
    // The correlation of the two tasks' residuals given the covariates.
    long double condCorrelation = 0;
    // Of the standardised difference Z-DCCC: PercentBelow is the percentage of controls
    // (with the case's covariate scores) whose difference lies below the case's, and
    // ZDCCC, ZDCCCLower, ZDCCCUpper the point estimate and the limits of the draws.
    tCovariateResults difference;
    tDrawHistogram differenceHistogram;  // the draws of Z_DCCC
    // 100 x OneTailedP, the percentage of controls whose difference is more extreme than
    // the case's, with its limits, on the case's own tail: below when PercentBelow <= 50,
    // where the limits are PercentBelowLower and PercentBelowUpper; above otherwise, where
    // the lower limit comes from ZDCCCUpper and the upper one from ZDCCCLower.
    tPercentWithLimits moreExtreme;
    long long proposals = 0;  // of the residual covariance; draws / proposals is the acceptance rate
    bool operator==(const tDissociationOutcome&) const = default;
};

// The farthest the case's point estimate Z-CCC may lie from its conditional mean, in
// conditional SDs. The deficit test's normal distribution function reaches |z| = 2^16
// (z^2 / 2 up to 2^31 - 1): a case beyond it puts about half its draws out of reach, and
// beyond 2^31, where the function's support ends, it gives 0 or 1 without complaint and
// the report is absurd. So no case beyond it ever had a sound result, while every case
// within it that had one keeps it: the draws leave the reach from a distance of about
// 30000 on with n = 25, 56000 with n = 499 and 65100 with a million controls, and the
// test itself still refuses those.
constexpr long double kMaxCaseDistance = 65536;

// The case's Z-CCC on each of the first `tasks` variables (1 or 2) against the
// covariates, bit for bit what the tests report, and infinite rather than a fault where
// it overflows. Throws what the tests' fit throws.
std::vector<long double> CaseDistances(int tasks, const tCaseStatistics& statistics);

// The Bayesian standardised difference test with covariates. Variables 1 and 2 are the
// tasks, 3 .. k + 2 the covariates. Runs the deficit test on each task, both on one
// stream of variates, and draws the case's standardised difference from a second stream
// at the same time; both streams start at the initial seeds with fixedSeed, else where
// the caller's generator stands. The difference test's Phi is StandardNormalCdf. Throws
// std::invalid_argument unless 0 <= k, k + 2 <= kMaxVars and n - k - 2 > 1 (the
// posterior of the residual covariance needs it) and the draws leave room for the
// limits; otherwise what CovariateMonteCarloTest throws, and EMatrixError when the
// residual covariance of the two tasks is singular or their conditional correlation
// exceeds kMaxConditionalCorrelation in size. The difference test takes the tasks in an
// order of their own, which swapping them does not change, and mirrors its outcome when
// that order is the swap: swapped tasks give the same p values and percentage more
// extreme, Z-DCCC and its limits negated and exchanged, to the last digit.
tDissociationOutcome DissociationMonteCarloTest(const tCaseStatistics& statistics, const tTestOptions& options);

// A series of cases against the same controls. `controls` holds the controls'
// statistics (its caseScores unused); cases[i] holds case i's scores, the tasks then the
// covariates, as caseScores would. Element i is, to the bit, what the single test gives
// for the controls with caseScores = cases[i] and the same options: the posterior draws
// do not depend on the case, so they are drawn once and every case is evaluated on them.
// Without fixedSeed the streams start once, where the calling thread's generator stands,
// and every case takes those same draws: each element is what the single test would give
// from that state, and the generator is left where one such single run leaves it. The
// block hook, when given, is called as the shared draws are processed. Throws what the single test
// throws for the first case (in order) that it would refuse; the arguments it checks
// (the draws and limits, k and n) are checked before any case. No case: an empty result.
std::vector<tDeficitOutcome> CovariateMonteCarloSeries(const tCaseStatistics& controls,
                                                       const std::vector<tVector>& cases,
                                                       const tTestOptions& options);
std::vector<tDissociationOutcome> DissociationMonteCarloSeries(const tCaseStatistics& controls,
                                                               const std::vector<tVector>& cases,
                                                               const tTestOptions& options);

}  // namespace quorvane
