#pragma once
// The Bayesian Monte Carlo test of a single case against a control population, with
// the task regressed on k covariates.

#include <array>

#include "numerics/matrix_handling.h"

namespace quorvane {

constexpr int kDraws = 1'000'000;
constexpr int kCrediblePercent = 95;

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
};

struct tCovariateResults {
    long double& operator()(int i) { return cell[i - 1]; }
    long double operator()(int i) const { return cell[i - 1]; }
    bool operator==(const tCovariateResults&) const = default;
    std::array<long double, 8> cell{};
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
};

// Bins draws[0 .. count) over [lower, upper).
tDrawHistogram BinDraws(const double* draws, int count, double lower, double upper);

// For tests: a function called with a block's index (from 0) before that block of draws
// is turned into Z_t, on whichever thread processes it, so that a test can hold the
// processing back until the drawing thread fills the ring. Null (none) by default.
void SetBlockProcessingHook(void (*hook)(int block));

// The test itself. Throws EMatrixError when X'X is singular or its inverse not positive
// definite (also after the variables are brought to unit scale), EArgumentError when a
// draw lies beyond the reach of the normal distribution function, and the
// floating-point faults. The histogram spans the credible limits and Z-CCC with three
// quarters of the limits' distance to spare on either side.
void CovariateMonteCarloTest(int k, int n, int draws, bool fixedSeed, bool twoSided, int percent,
                             const tVector& sds, const tVector& means, const tVector& caseScores,
                             const tMatrix& corr, long double& condMean, long double& condSD,
                             tCovariateResults& results, tDrawHistogram& histogram);

}  // namespace quorvane
