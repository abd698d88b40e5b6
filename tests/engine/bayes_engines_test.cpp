#include "engine/bayes_engines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <ostream>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "numerics/distrib.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {
namespace {

// Summary statistics of a small control sample, the case's scores, and the sample size.
struct Sample {
    int n = 0;
    int k = 0;
    tVector sds, means, caseScores;
    tMatrix corr;
};

// Controls (10, 40), (12, 38), (11, 45), the case (6, 50): means 11 and 41, SDs 1 and
// sqrt(13), correlation -1/sqrt(13), worked out by hand from the raw scores.
Sample ThreeControls() {
    Sample s;
    s.n = 3;
    s.k = 1;
    s.means(1) = 11;
    s.means(2) = 41;
    s.sds(1) = 1;
    s.sds(2) = std::sqrt(13.0L);
    s.caseScores(1) = 6;
    s.caseScores(2) = 50;
    s.corr(1, 1) = s.corr(2, 2) = 1;
    s.corr(1, 2) = s.corr(2, 1) = -1 / std::sqrt(13.0L);
    return s;
}

// Summary statistics computed directly from raw rows (the tasks first, then the
// covariates), with the case apart.
Sample FromRaw(const std::vector<std::vector<long double>>& controls, const std::vector<long double>& caseRow,
               int tasks = 1) {
    Sample s;
    s.n = static_cast<int>(controls.size());
    const int p = static_cast<int>(caseRow.size());
    s.k = p - tasks;
    for (int j = 1; j <= p; ++j) {
        long double sum = 0;
        for (const auto& row : controls) sum += row[j - 1];
        s.means(j) = sum / s.n;
        s.caseScores(j) = caseRow[j - 1];
    }
    tMatrix cov;
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) {
            long double sum = 0;
            for (const auto& row : controls) sum += (row[i - 1] - s.means(i)) * (row[j - 1] - s.means(j));
            cov(i, j) = sum / (s.n - 1);
        }
    for (int i = 1; i <= p; ++i) s.sds(i) = std::sqrt(cov(i, i));
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) s.corr(i, j) = cov(i, j) / (s.sds(i) * s.sds(j));
    return s;
}

// Raw scores: the controls' rows, then the case's.
struct Rows {
    std::vector<std::vector<long double>> controls;
    std::vector<long double> caseRow;
};

Sample FromRaw(const Rows& rows, int tasks = 1) { return FromRaw(rows.controls, rows.caseRow, tasks); }

// The case's design vector (1, covariate scores) from a row with m tasks first.
std::vector<long double> DesignRow(const std::vector<long double>& row, int m) {
    std::vector<long double> d{1};
    d.insert(d.end(), row.begin() + m, row.end());
    return d;
}

// Ordinary least squares of the first m columns of the rows on the others, with an
// intercept: Gauss-Jordan elimination with partial pivoting on [X'X | X'Y | I] gives the
// coefficients and (X'X)^-1.
struct LeastSquaresFit {
    std::vector<std::vector<long double>> b;           // (k + 1) x m, intercept first
    std::vector<std::vector<long double>> xtxInverse;  // (k + 1) x (k + 1)
    std::vector<std::vector<long double>> rss;         // m x m residual cross-products
};

LeastSquaresFit LeastSquares(const std::vector<std::vector<long double>>& controls, int m) {
    const int p = static_cast<int>(controls[0].size()) - m + 1;
    const int width = 2 * p + m;
    std::vector<std::vector<long double>> a(p, std::vector<long double>(width, 0));
    for (const auto& row : controls) {
        const std::vector<long double> x = DesignRow(row, m);
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) a[i][j] += x[i] * x[j];
            for (int c = 0; c < m; ++c) a[i][p + c] += x[i] * row[c];
        }
    }
    for (int i = 0; i < p; ++i) a[i][p + m + i] = 1;
    for (int col = 0; col < p; ++col) {
        int best = col;
        for (int r = col + 1; r < p; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[best][col])) best = r;
        std::swap(a[col], a[best]);
        for (int r = 0; r < p; ++r) {
            if (r == col) continue;
            const long double f = a[r][col] / a[col][col];
            for (int j = 0; j < width; ++j) a[r][j] -= f * a[col][j];
        }
    }
    LeastSquaresFit fit;
    fit.b.assign(p, std::vector<long double>(m));
    fit.xtxInverse.assign(p, std::vector<long double>(p));
    for (int i = 0; i < p; ++i) {
        for (int c = 0; c < m; ++c) fit.b[i][c] = a[i][p + c] / a[i][i];
        for (int j = 0; j < p; ++j) fit.xtxInverse[i][j] = a[i][p + m + j] / a[i][i];
    }
    fit.rss.assign(m, std::vector<long double>(m, 0));
    for (const auto& row : controls) {
        const std::vector<long double> x = DesignRow(row, m);
        std::vector<long double> e(m);
        for (int c = 0; c < m; ++c) {
            e[c] = row[c];
            for (int i = 0; i < p; ++i) e[c] -= fit.b[i][c] * x[i];
        }
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < m; ++c) fit.rss[r][c] += e[r] * e[c];
    }
    return fit;
}

struct Outcome {
    long double condMean = 0;
    long double condSD = 0;
    tCovariateResults results;
    tDrawHistogram histogram;
    std::vector<double> sortedDraws;  // the single-thread reference keeps its draws
};

Outcome RunTest(const Sample& s, bool twoSided = true, int draws = kDraws) {
    Outcome out;
    CovariateMonteCarloTest(s.k, s.n, draws, true, twoSided, kCrediblePercent, s.sds, s.means,
                            s.caseScores, s.corr, out.condMean, out.condSD, out.results,
                            out.histogram);
    return out;
}

TEST(RegressionFromSummary, ReproducesTheWorkedExample) {
    const Sample s = ThreeControls();
    tMatrix coef, resid, inv;
    ASSERT_TRUE(RegressionFromSummary(s.corr, s.sds, s.means, 1, 1, 3, coef, resid, inv));
    EXPECT_NEAR(inv(1, 1), 5069.0L / 78, 1e-12L);
    EXPECT_NEAR(inv(1, 2), -41.0L / 26, 1e-13L);
    EXPECT_NEAR(inv(2, 1), -41.0L / 26, 1e-13L);
    EXPECT_NEAR(inv(2, 2), 1.0L / 26, 1e-15L);
    EXPECT_NEAR(coef(1, 1), 184.0L / 13, 1e-12L);
    EXPECT_NEAR(coef(2, 1), -1.0L / 13, 1e-14L);
    EXPECT_NEAR(resid(1, 1), 24.0L / 13, 1e-12L);
    // Outside the named blocks every cell is zero.
    EXPECT_EQ(coef(1, 2), 0);
    EXPECT_EQ(coef(3, 1), 0);
    EXPECT_EQ(resid(2, 2), 0);
    EXPECT_EQ(inv(3, 3), 0);
}

TEST(CovariateMonteCarloTest, PointEstimatesOfTheWorkedExample) {
    const Outcome out = RunTest(ThreeControls(), true, 10'000);
    EXPECT_NEAR(out.condMean, 134.0L / 13, 1e-12L);
    EXPECT_NEAR(out.condSD, std::sqrt(12.0L / 13), 1e-12L);
    EXPECT_NEAR(out.results(ZCCC), (6 - 134.0L / 13) / std::sqrt(12.0L / 13), 1e-12L);
    EXPECT_NEAR(out.results(ZCCC), -4.483588L, 1e-6L);
}

TEST(CredibleLimitIndices, UpperIndexIsOneAboveTheRoundedProduct) {
    EXPECT_EQ(CredibleLimitIndices(1'000'000, 95, true), (LimitIndices{25'000, 975'001}));
    EXPECT_EQ(CredibleLimitIndices(1'000'000, 95, false), (LimitIndices{50'000, 950'001}));
    EXPECT_EQ(CredibleLimitIndices(1'000, 95, true), (LimitIndices{25, 976}));
    // 0.5 rounds to the even neighbour: 90% two-sided over 5 draws puts lo at round(0.25) = 0
    // and hi at round(4.75) + 1 = 6; 10 draws give round(0.5) = 0 and round(9.5) + 1 = 11.
    EXPECT_EQ(CredibleLimitIndices(10, 90, true), (LimitIndices{0, 11}));
    EXPECT_EQ(CredibleLimitIndices(30, 90, true), (LimitIndices{2, 29}));
}

// The limits and probabilities hang together whatever the draws were.
TEST(CovariateMonteCarloTest, ResultsAreConsistentWithEachOther) {
    for (const bool twoSided : {true, false}) {
        const Outcome out = RunTest(ThreeControls(), twoSided);
        const tCovariateResults& r = out.results;
        SCOPED_TRACE(twoSided);
        EXPECT_LE(r(ZCCCLower), r(ZCCCUpper));
        EXPECT_LE(r(PercentBelowLower), r(PercentBelowUpper));
        const tNormal_distribution normal(0, 1);
        EXPECT_EQ(r(PercentBelowLower), normal.Cdf(r(ZCCCLower)) * 100);
        EXPECT_EQ(r(PercentBelowUpper), normal.Cdf(r(ZCCCUpper)) * 100);
        const long double tail = std::min(r(PercentBelow), 100 - r(PercentBelow));
        EXPECT_EQ(r(OneTailedP), tail / 100);
        EXPECT_EQ(r(TwoTailedP), tail / 50);
        // Limits are values the store held: doubles.
        EXPECT_EQ(r(ZCCCLower), static_cast<long double>(static_cast<double>(r(ZCCCLower))));
    }
}

TEST(CovariateMonteCarloTest, TwoRunsAgreeInEveryBitAndLeaveTheInputsAlone) {
    const Sample s = ThreeControls();
    Sample copy = s;
    Seed1 = 12345;  // the fixed seed flag restarts the stream whatever it held
    const Outcome first = RunTest(copy);
    const Outcome second = RunTest(copy);
    EXPECT_EQ(first.results, second.results);
    EXPECT_EQ(first.condMean, second.condMean);
    EXPECT_EQ(first.condSD, second.condSD);
    EXPECT_EQ(copy.sds, s.sds);
    EXPECT_EQ(copy.means, s.means);
    EXPECT_EQ(copy.caseScores, s.caseScores);
    EXPECT_EQ(copy.corr, s.corr);
}

// With n = k + 2 or k + 3 the posterior predictive distribution of a new control's
// standardised score is Student's t with 1 or 2 degrees of freedom, whose distribution
// functions have closed forms; the Monte Carlo percentage must agree within its error.
long double StudentT(int nu, long double t) {
    const long double pi = std::numbers::pi_v<long double>;
    switch (nu) {
        case 1: return 0.5L + std::atan(t) / pi;
        case 2: return 0.5L + t / (2 * std::sqrt(2 + t * t));
        case 3: {
            const long double u = t / std::sqrt(3.0L);
            return 0.5L + (u / (1 + u * u) + std::atan(u)) / pi;
        }
        default: {
            const long double q = 1 + t * t / 4;
            return 0.5L + 0.375L * t / std::sqrt(q) * (1 - t * t / (12 * q));
        }
    }
}

// The regularised incomplete beta function I_x(a, b) by its continued fraction, evaluated
// by the modified Lentz method where it converges fast (x below (a + 1) / (a + b + 2)),
// and by I_x(a, b) = 1 - I_(1-x)(b, a) elsewhere.
long double IncompleteBeta(long double a, long double b, long double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    if (x > (a + 1) / (a + b + 2)) return 1 - IncompleteBeta(b, a, 1 - x);
    const long double front =
        std::exp(a * std::log(x) + b * std::log1p(-x) - std::lgamma(a) - std::lgamma(b) + std::lgamma(a + b)) / a;
    constexpr long double kTiny = 1e-300L;
    long double f = 1, c = 1, d = 0;
    for (int i = 0; i <= 1000; ++i) {
        const long double m = i / 2;
        const long double numerator = i == 0       ? 1
                                      : i % 2 == 0 ? m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
                                                   : -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
        d = 1 + numerator * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        d = 1 / d;
        c = 1 + numerator / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        f *= c * d;
        if (std::fabs(1 - c * d) < 1e-18L) return front * (f - 1);
    }
    ADD_FAILURE() << "the continued fraction did not converge";
    return 0;
}

// Student's t distribution function for any degrees of freedom:
// P(T < t) = I_x(nu / 2, 1 / 2) / 2 with x = nu / (nu + t^2) for t < 0, by symmetry above.
long double StudentTByIncompleteBeta(int nu, long double t) {
    const long double tail = IncompleteBeta(nu / 2.0L, 0.5L, nu / (nu + t * t)) / 2;
    return t < 0 ? tail : 1 - tail;
}

TEST(StudentTByIncompleteBeta, AgreesWithTheClosedFormsForOneToFourDegreesOfFreedom) {
    for (int nu = 1; nu <= 4; ++nu)
        for (const long double t : {-30.0L, -3.2L, -1.0L, -0.1L, 0.0L, 0.7L, 2.5L, 12.0L})
            EXPECT_NEAR(StudentTByIncompleteBeta(nu, t), StudentT(nu, t), 1e-16L) << "nu " << nu << ", t " << t;
}

// 100 T_nu((y* - yhat) / (s sqrt(1 + d'(X'X)^-1 d))), by ordinary least squares on the
// raw rows.
long double ClosedFormPercentBelow(const Rows& c) {
    const int n = static_cast<int>(c.controls.size());
    const int p = static_cast<int>(c.caseRow.size());
    const int nu = n - p;
    const LeastSquaresFit fit = LeastSquares(c.controls, 1);
    const std::vector<long double> d = DesignRow(c.caseRow, 1);
    const long double s = std::sqrt(fit.rss[0][0] / nu);
    long double yhat = 0, leverage = 0;
    for (int i = 0; i < p; ++i) {
        yhat += fit.b[i][0] * d[i];
        for (int j = 0; j < p; ++j) leverage += d[i] * fit.xtxInverse[i][j] * d[j];
    }
    return 100 * StudentT(nu, (c.caseRow[0] - yhat) / (s * std::sqrt(1 + leverage)));
}

class ClosedForm : public ::testing::TestWithParam<Rows> {};

TEST_P(ClosedForm, PercentBelowAgreesWithinMonteCarloError) {
    const Rows& c = GetParam();
    const Outcome out = RunTest(FromRaw(c));
    // Each draw's probability lies in [0, 1], so the percentage's standard error is at
    // most 50 / sqrt(1e6) = 0.05; allow five of them.
    EXPECT_NEAR(out.results(PercentBelow), ClosedFormPercentBelow(c), 0.25L);
}

INSTANTIATE_TEST_SUITE_P(
    SmallSamples, ClosedForm,
    ::testing::Values(
        // nu = 1: k = 1, n = 3 (the worked example)
        Rows{{{10, 40}, {12, 38}, {11, 45}}, {6, 50}},
        // nu = 1: k = 2, n = 4
        Rows{{{52, 12, 34}, {61, 16, 29}, {47, 10, 41}, {58, 14, 38}}, {44, 15, 33}},
        // nu = 2: k = 1, n = 4, case near the middle
        Rows{{{20, 3}, {25, 5}, {22, 4}, {30, 7}}, {24, 5}},
        // nu = 2: k = 2, n = 5, case far below
        Rows{{{100, 12, 40}, {92, 10, 35}, {110, 16, 45}, {97, 13, 31}, {105, 11, 50}},
                       {70, 14, 42}}));

// A sample with two covariates on everyday scales, used to check the units.
Sample Everyday() {
    return FromRaw({{31, 12, 45}, {28, 10, 52}, {35, 16, 38}, {30, 12, 61}, {26, 9, 55},
                    {33, 14, 47}, {29, 11, 58}, {36, 17, 40}, {27, 10, 66}, {32, 13, 50}},
                   {21, 13, 57});
}

Sample Rescaled(Sample s, int variable, long double factor) {
    s.sds(variable) *= factor;
    s.means(variable) *= factor;
    s.caseScores(variable) *= factor;
    return s;
}

// Every result as the report prints it.
std::vector<std::string> Printed(const Outcome& out) {
    const tCovariateResults& r = out.results;
    return {FormatText("%2.5f %2.5f", {r(OneTailedP), r(TwoTailedP)}),
            FormatText("%2.3f %3.3f %3.3f", {r(ZCCC), r(ZCCCLower), r(ZCCCUpper)}),
            FormatText("%2.4f %3.4f %3.4f", {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)})};
}

struct UnitCase {
    int variable;
    long double factor;
};

void PrintTo(const UnitCase& c, std::ostream* os) {
    *os << "variable " << c.variable << " times " << static_cast<double>(c.factor);
}

class Units : public ::testing::TestWithParam<UnitCase> {};

TEST_P(Units, RescalingAVariableLeavesThePrintedResultsUnchanged) {
    const auto [variable, factor] = GetParam();
    const Sample base = Everyday();
    const Outcome reference = RunTest(base, true, 200'000);
    const Outcome scaled = RunTest(Rescaled(base, variable, factor), true, 200'000);
    EXPECT_EQ(Printed(scaled), Printed(reference));
    const long double taskFactor = variable == 1 ? factor : 1;
    EXPECT_NEAR(scaled.condMean / taskFactor, reference.condMean, 1e-9L * std::fabs(reference.condMean));
    EXPECT_NEAR(scaled.condSD / taskFactor, reference.condSD, 1e-9L * reference.condSD);
}

INSTANTIATE_TEST_SUITE_P(
    Factors, Units,
    ::testing::Values(UnitCase{2, 1e7L}, UnitCase{2, 1e8L}, UnitCase{3, 1e-6L}, UnitCase{3, 1e-8L},
                      UnitCase{1, 1e-8L}, UnitCase{1, 1e8L}, UnitCase{2, 1e-3L}, UnitCase{3, 1e4L}));

// A power of two changes no rounding: where the pivot thresholds pass both before and
// after, every number is the same to the last bit.
TEST(CovariateMonteCarloTest, PowerOfTwoUnitsGiveIdenticalNumbers) {
    const Sample base = Everyday();
    const Outcome reference = RunTest(base, true, 100'000);
    const Outcome scaled = RunTest(Rescaled(base, 2, 1024), true, 100'000);
    EXPECT_EQ(scaled.results, reference.results);
    EXPECT_EQ(scaled.condMean, reference.condMean);
}

TEST(CovariateMonteCarloTest, CollinearCovariatesStopWithAMatrixError) {
    // The second covariate is twice the first: X'X is singular.
    Sample s = FromRaw({{31, 12, 24}, {28, 10, 20}, {35, 16, 32}, {30, 12, 24}, {26, 9, 18}},
                       {21, 13, 26});
    try {
        RunTest(s, true, 1'000);
        FAIL() << "expected EMatrixError";
    } catch (const EMatrixError& error) {
        EXPECT_NE(std::string(error.what()).find("Analysis cannot proceed"), std::string::npos);
    }
    // Nothing of the failed attempts is left to be reported by the next computation.
    EXPECT_NO_THROW(RaiseFloatingPointFaults());
}

TEST(CovariateMonteCarloTest, ACaseBeyondTheNormalFunctionsReachRaisesItsArgumentError) {
    // The case lies about a million conditional SDs below: Phi cannot be evaluated.
    Sample s = ThreeControls();
    s.caseScores(1) = -1e6L;
    try {
        RunTest(s, true, 1'000);
        FAIL() << "expected EArgumentError";
    } catch (const EArgumentError& error) {
        EXPECT_EQ(std::string(error.what()), ArgumentMessageText(kCodeArgumentTooLarge));
    }
}

// Two degrees of freedom: the chi-square variate is an exponential, drawn from a single
// uniform rather than from pairs.
Sample TwoDegreesOfFreedom() { return FromRaw({{20, 3}, {25, 5}, {22, 4}, {30, 7}}, {24, 5}); }

// Two tasks and two covariates: each line a control's two task scores, then the
// covariates; the last the case's, impaired on the first task only.
Rows TwoTasks() {
    return {{{27, 41, 13, 36}, {28, 43, 16, 50}, {28, 48, 8, 60}, {24, 37, 12, 42}, {33, 47, 13, 60},
             {31, 44, 14, 39}, {35, 49, 16, 58}, {30, 43, 14, 53}, {34, 52, 16, 47}, {32, 47, 8, 64},
             {30, 39, 9, 40}, {30, 44, 15, 51}},
            {26, 45, 13, 57}};
}

// The two tasks of TwoTasks without the covariates.
Rows TwoTasksWithoutCovariates() {
    Rows rows = TwoTasks();
    for (auto& row : rows.controls) row.resize(2);
    rows.caseRow.resize(2);
    return rows;
}

// The rows of one task and the covariates, as a file of that task alone would hold them.
Rows TaskAlone(const Rows& rows, int task) {
    const auto keep = [task](std::vector<long double> row) {
        row.erase(row.begin() + (task == 1 ? 1 : 0));
        return row;
    };
    Rows alone;
    for (const auto& row : rows.controls) alone.controls.push_back(keep(row));
    alone.caseRow = keep(rows.caseRow);
    return alone;
}

// The point estimates of the deficit test, with the library's conditional moments.
void DeficitPointEstimates(const Sample& s, Outcome& out) {
    tVector d = s.caseScores;
    d(1) = 1;
    tMatrix condCov;
    tVector condMean;
    ConditionalMoments(s.k + 1, s.k, s.corr, s.sds, s.means, d, condCov, condMean);
    out.condMean = condMean(1);
    out.condSD = std::sqrt(condCov(1, 1));
    out.results(ZCCC) = (s.caseScores(1) - out.condMean) / out.condSD;
}

// What a single thread makes of the draws and the sum of their Phi, with a full sort.
template <class Phi>
void SummariseReference(tDrawArray& store, int draws, long double sum, bool twoSided, Phi phi, Outcome& out) {
    long double meanPercent = sum / draws * 100;
    out.results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    out.results(OneTailedP) = meanPercent / 100;
    out.results(TwoTailedP) = meanPercent / 50;
    const LimitIndices limits = CredibleLimitIndices(draws, kCrediblePercent, twoSided);
    QuickSortDraws(1, draws, store);
    out.results(ZCCCLower) = store(limits.lo);
    out.results(ZCCCUpper) = store(limits.hi);
    out.results(PercentBelowLower) = phi(out.results(ZCCCLower)) * 100;
    out.results(PercentBelowUpper) = phi(out.results(ZCCCUpper)) * 100;
    out.sortedDraws.assign(store.data(), store.data() + draws);
}

// The deficit test's draw loop as a single thread runs it, with the library's vector
// routines and a chi-square object per draw: the two-thread engine must give the very
// same numbers.
Outcome SingleThreadReference(const Sample& s, bool twoSided, int draws) {
    const int p = s.k + 1;
    tMatrix coef, resid, inv;
    RegressionFromSummary(s.corr, s.sds, s.means, 1, s.k, s.n, coef, resid, inv);
    const long double s2 = resid(1, 1);
    tVector bHat;
    MatColumn(coef, 1, bHat);
    tVector d = s.caseScores;
    const long double yStar = d(1);
    d(1) = 1;
    Outcome out;
    DeficitPointEstimates(s, out);
    tMatrix L;
    MatCopyBlock(inv, p, L);
    EXPECT_TRUE(CholeskyFactor(p, L).ok);

    Seed1 = kInitialSeed1;
    Seed2 = kInitialSeed2;
    const tNormal_distribution normal(0, 1);
    tNormal_distribution drawer(0, 1);
    tDrawArray store;
    long double sum = 0;
    for (int t = 1; t <= draws; ++t) {
        const long double nu = s.n - s.k - 1;
        tChi_square_distribution chiSquare(nu);
        const long double c = chiSquare.Draw();
        const long double sigma = std::sqrt(nu) * std::sqrt(s2) / std::sqrt(c);
        tVector z, lz, scaled, beta;
        for (int i = 1; i <= p; ++i) z(i) = drawer.Draw();
        MatVecMul(L, p, z, lz);
        VecScale(p, lz, scaled, sigma);
        VecAdd(p, bHat, scaled, beta);
        const long double zt = (yStar - VecDot(p, beta, d)) / sigma;
        store(t) = static_cast<double>(zt);
        sum = sum + normal.Cdf(zt);
    }
    SummariseReference(store, draws, sum, twoSided, [&normal](long double z) { return normal.Cdf(z); }, out);
    return out;
}

// The difference test's draw loop as a single thread runs it, taking the variates in
// the documented order: c1, c2 (a squared normal for one degree of freedom), a21, u per
// proposal, then zeta1, zeta2. The arithmetic of a draw is the engine's, term by term.
Outcome DifferenceReference(const Rows& rows, bool twoSided, int draws, long long& proposals) {
    const Sample s = FromRaw(rows, 2);
    const int p = s.k + 1;
    tMatrix coef, resid, inv;
    RegressionFromSummary(s.corr, s.sds, s.means, 2, s.k, s.n, coef, resid, inv);
    tMatrix L;
    MatCopyBlock(inv, p, L);
    EXPECT_TRUE(CholeskyFactor(p, L).ok);
    tVector d, b1, b2;
    d(1) = 1;
    for (int i = 1; i <= s.k; ++i) d(i + 1) = s.caseScores(i + 2);
    MatColumn(coef, 1, b1);
    MatColumn(coef, 2, b2);
    const long double muHat1 = VecDot(p, b1, d), muHat2 = VecDot(p, b2, d);
    long double h2 = 0;
    for (int j = 1; j <= p; ++j) {
        long double w = 0;
        for (int i = j; i <= p; ++i) w = w + L(i, j) * d(i);
        h2 = h2 + w * w;
    }
    const long double h = std::sqrt(h2);
    tMatrix scale, M;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) scale(i, j) = resid(i, j) * (s.n - s.k - 2);
    MatInverse(scale, 2, M);
    EXPECT_TRUE(CholeskyFactor(2, M).ok);

    Outcome out, task1, task2;
    DeficitPointEstimates(FromRaw(TaskAlone(rows, 1)), task1);
    DeficitPointEstimates(FromRaw(TaskAlone(rows, 2)), task2);
    const long double r = resid(1, 2) / std::sqrt(resid(1, 1) * resid(2, 2));
    out.results(ZDCCC) = (task1.results(ZCCC) - task2.results(ZCCC)) / std::sqrt(2 - 2 * r);

    Seed1 = kInitialSeed1;
    Seed2 = kInitialSeed2;
    tNormal_distribution drawer(0, 1);
    tDrawArray store;
    long double sum = 0;
    proposals = 0;
    tChi_square_distribution first(s.n - s.k - 2), second(s.n - s.k - 3);
    for (int t = 1; t <= draws; ++t) {
        long double g11 = 0, g21 = 0, g22 = 0, u = 0;
        do {
            ++proposals;
            const long double c1 = first.Draw();
            long double c2 = 0;
            if (s.n - s.k - 3 == 1) {
                const long double x = drawer.Draw();
                c2 = x * x;
            } else {
                c2 = second.Draw();
            }
            const long double a21 = drawer.Draw();
            u = UniformRandom();
            g11 = M(1, 1) * std::sqrt(c1);
            g21 = M(2, 1) * std::sqrt(c1) + M(2, 2) * a21;
            g22 = M(2, 2) * std::sqrt(c2);
        } while (!(u * u <= g22 * g22 / (g21 * g21 + g22 * g22)));
        const long double zeta1 = drawer.Draw();
        const long double zeta2 = drawer.Draw();
        const long double root = std::sqrt(g21 * g21 + g22 * g22);
        const long double sigma1 = root / (g11 * g22), sigma2 = 1 / g22;
        const long double rho = -g21 / root;
        const long double mu1 = muHat1 + h * (sigma1 * zeta1);
        const long double mu2 = muHat2 + h * (rho * sigma2 * zeta1 + sigma2 * (g22 / root) * zeta2);
        const long double zt = ((rows.caseRow[0] - mu1) / sigma1 - (rows.caseRow[1] - mu2) / sigma2) /
                               std::sqrt(2 - 2 * rho);
        store(t) = static_cast<double>(zt);
        sum = sum + StandardNormalCdf(zt);
    }
    SummariseReference(store, draws, sum, twoSided, StandardNormalCdf, out);
    return out;
}

// Every draw counted once, each bin holding exactly the reference's draws between its
// edges (counted by binary search in the sorted draws), and a range that takes in the
// point estimate and both limits.
void ExpectHistogramOfTheDraws(const tDrawHistogram& h, const Outcome& reference) {
    const auto& sorted = reference.sortedDraws;
    const int draws = static_cast<int>(sorted.size());
    EXPECT_EQ(h.Total(), draws);
    const auto countBelow = [&](double x) {
        return static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), x) - sorted.begin());
    };
    EXPECT_EQ(h.below, countBelow(h.lower));
    EXPECT_EQ(h.above, draws - countBelow(h.upper));
    for (int i = 0; i < kHistogramBins; ++i)
        ASSERT_EQ(h.counts[i], countBelow(h.Edge(i + 1)) - countBelow(h.Edge(i))) << "bin " << i;
    for (const int r : {ZCCC, ZCCCLower, ZCCCUpper}) {
        EXPECT_LT(h.lower, reference.results(r));
        EXPECT_GT(h.upper, reference.results(r));
    }
}

void ExpectSameResults(const tCovariateResults& engine, const tCovariateResults& reference) {
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(engine(i), reference(i)) << "result " << i;
}

struct ReferenceCase {
    const char* name;
    Sample (*sample)();
    bool twoSided;
    int draws;
};

class SameAsOneThread : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(SameAsOneThread, EveryNumberIsIdentical) {
    const auto [name, sample, twoSided, draws] = GetParam();
    const Sample s = sample();
    const Outcome engine = RunTest(s, twoSided, draws);
    const std::int32_t seed1 = Seed1, seed2 = Seed2;
    const Outcome reference = SingleThreadReference(s, twoSided, draws);
    ExpectSameResults(engine.results, reference.results);
    EXPECT_EQ(engine.condMean, reference.condMean);
    EXPECT_EQ(engine.condSD, reference.condSD);
    ExpectHistogramOfTheDraws(engine.histogram, reference);
    // The engine leaves the seeds where the draws left them, for a run without the fixed seed.
    EXPECT_EQ(seed1, Seed1);
    EXPECT_EQ(seed2, Seed2);
}

INSTANTIATE_TEST_SUITE_P(Draws, SameAsOneThread,
                         ::testing::Values(ReferenceCase{"MillionTwoSided", Everyday, true, kDraws},
                                           ReferenceCase{"MillionOneSided", Everyday, false, kDraws},
                                           ReferenceCase{"PartBlocks", Everyday, true, 5'001},
                                           ReferenceCase{"OneDegreeOfFreedom", ThreeControls, true, 200'001},
                                           ReferenceCase{"TwoDegreesOfFreedom", TwoDegreesOfFreedom, true, 200'001}),
                         [](const auto& info) { return std::string(info.param.name); });

tDissociationOutcome RunDissociation(const Sample& s, bool twoSided = true, int draws = kDraws) {
    tDissociationOutcome out;
    DissociationMonteCarloTest(s.k, s.n, draws, true, twoSided, kCrediblePercent, s.sds, s.means, s.caseScores,
                               s.corr, out);
    return out;
}

// The smallest sample the difference test takes for one covariate: n = k + 4, so that c2
// is a chi-square with one degree of freedom (method GS).
Rows SmallestForOneCovariate() { return {{{12, 30, 5}, {15, 29, 7}, {11, 33, 4}, {14, 35, 6}, {13, 28, 8}}, {8, 31, 6}}; }
// One control more: c2 has two degrees of freedom, and the gamma method draws it.
Rows SixForOneCovariate() {
    return {{{12, 30, 5}, {15, 29, 7}, {11, 33, 4}, {14, 35, 6}, {13, 28, 8}, {10, 31, 5}}, {8, 31, 6}};
}

struct DifferenceReferenceCase {
    const char* name;
    Rows (*rows)();
    bool twoSided;
    int draws;
};

class DifferenceSameAsOneThread : public ::testing::TestWithParam<DifferenceReferenceCase> {};

TEST_P(DifferenceSameAsOneThread, EveryNumberIsIdentical) {
    const auto [name, rows, twoSided, draws] = GetParam();
    const tDissociationOutcome engine = RunDissociation(FromRaw(rows(), 2), twoSided, draws);
    long long proposals = 0;
    const Outcome reference = DifferenceReference(rows(), twoSided, draws, proposals);
    ExpectSameResults(engine.difference, reference.results);
    EXPECT_EQ(engine.proposals, proposals);
    ExpectHistogramOfTheDraws(engine.differenceHistogram, reference);
}

INSTANTIATE_TEST_SUITE_P(
    Draws, DifferenceSameAsOneThread,
    ::testing::Values(DifferenceReferenceCase{"MillionTwoSided", TwoTasks, true, kDraws},
                      DifferenceReferenceCase{"PartBlocksOneSided", TwoTasks, false, 5'001},
                      DifferenceReferenceCase{"SmallestSample", SmallestForOneCovariate, true, 200'001}),
    [](const auto& info) { return std::string(info.param.name); });

// Holds the processing of the first block back until the drawing thread has had ample
// time to fill the ring behind it: a drawing thread that did not wait for room would
// overwrite that block's variates before they are read.
TEST(CovariateMonteCarloTest, AFullRingIsSameAsOneThread) {
    SetBlockProcessingHook([](int block) {
        if (block == 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    const Sample s = Everyday();
    const Outcome engine = RunTest(s, true, 200'001);
    SetBlockProcessingHook(nullptr);
    const Outcome reference = SingleThreadReference(s, true, 200'001);
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(engine.results(i), reference.results(i)) << "result " << i;
}

TEST(CovariateMonteCarloTest, AnArgumentErrorLateInTheRunStillStopsIt) {
    // A case 22,000 SDs below: with one degree of freedom a draw far into the run puts
    // Z beyond 65536, after the ring of blocks has been reused.
    Sample s = ThreeControls();
    s.caseScores(1) = -22000;
    EXPECT_THROW(RunTest(s), EArgumentError);
}

TEST(CovariateMonteCarloTest, DrawCountsWithoutRoomForTheLimitsAreRefused) {
    for (const int draws : {0, 10, kDraws + 1}) EXPECT_THROW(RunTest(ThreeControls(), true, draws), std::invalid_argument);
}

TEST(CovariateMonteCarloTest, ACaseOnItsConditionalMeanHasZeroEffectSize) {
    Sample s = ThreeControls();
    s.caseScores(1) = 134.0L / 13;
    const Outcome out = RunTest(s, true, 10'000);
    EXPECT_NEAR(out.results(ZCCC), 0, 1e-15L);
}

// ---- The difference between two tasks ----

struct TaskAloneCase {
    const char* name;
    Rows (*rows)();
    bool twoSided;
    bool unitScale;  // the regression fits only at unit scale
};

// A covariate in units so small that X'X has no pivot above the inverse's threshold.
Rows TinyCovariateUnits() {
    Rows rows = TwoTasks();
    for (auto& row : rows.controls) row[2] *= 1e-14L;
    rows.caseRow[2] *= 1e-14L;
    return rows;
}

// A file of one task and the covariates gives the same statistics of them, each worked
// out from its own columns: the deficit test run on it must give the dissociation's
// numbers for that task to the last bit.
class EachTaskAlone : public ::testing::TestWithParam<TaskAloneCase> {};

TEST_P(EachTaskAlone, IsItsOwnDeficitTestToTheLastBit) {
    const auto [name, rows, twoSided, unitScale] = GetParam();
    const tDissociationOutcome both = RunDissociation(FromRaw(rows(), 2), twoSided, 200'001);
    for (int task = 1; task <= 2; ++task) {
        SCOPED_TRACE(task);
        const Sample alone = FromRaw(TaskAlone(rows(), task));
        tMatrix coef, resid, inv;
        EXPECT_EQ(RegressionFromSummary(alone.corr, alone.sds, alone.means, 1, alone.k, alone.n, coef, resid, inv),
                  !unitScale);
        const Outcome reference = RunTest(alone, twoSided, 200'001);
        const tDeficitOutcome& engine = both.tasks[task - 1];
        ExpectSameResults(engine.results, reference.results);
        EXPECT_EQ(engine.condMean, reference.condMean);
        EXPECT_EQ(engine.condSD, reference.condSD);
        EXPECT_EQ(engine.zHistogram, reference.histogram);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, EachTaskAlone,
                         ::testing::Values(TaskAloneCase{"TwoSided", TwoTasks, true, false},
                                           TaskAloneCase{"OneSidedAtUnitScale", TinyCovariateUnits, false, true},
                                           TaskAloneCase{"NoCovariates", TwoTasksWithoutCovariates, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The point estimates from each task's least-squares fit on the covariates, and the
// correlation of the two fits' residuals.
TEST(DissociationMonteCarloTest, PointEstimatesAreThoseOfTheLeastSquaresFits) {
    const Rows rows = TwoTasks();
    const LeastSquaresFit fit = LeastSquares(rows.controls, 2);
    const std::vector<long double> d = DesignRow(rows.caseRow, 2);
    const long double n = rows.controls.size();
    const tDissociationOutcome out = RunDissociation(FromRaw(rows, 2), true, 1'000);
    std::array<long double, 2> z;
    for (int j = 0; j < 2; ++j) {
        long double condMean = 0;
        for (std::size_t i = 0; i < d.size(); ++i) condMean += fit.b[i][j] * d[i];
        const long double condSD = std::sqrt(fit.rss[j][j] / (n - 1));
        z[j] = (rows.caseRow[j] - condMean) / condSD;
        EXPECT_NEAR(out.tasks[j].condMean, condMean, 1e-12L * condMean);
        EXPECT_NEAR(out.tasks[j].condSD, condSD, 1e-12L * condSD);
        EXPECT_NEAR(out.tasks[j].results(ZCCC), z[j], 1e-12L * std::fabs(z[j]));
    }
    const long double r = fit.rss[0][1] / std::sqrt(fit.rss[0][0] * fit.rss[1][1]);
    EXPECT_NEAR(out.condCorrelation, r, 1e-12L);
    const long double zdccc = (z[0] - z[1]) / std::sqrt(2 - 2 * r);
    EXPECT_NEAR(out.difference(ZDCCC), zdccc, 1e-12L * std::fabs(zdccc));
}

// Summary statistics as a paper gives them: means, SDs, the case's scores and the lower
// triangle of the correlations, row by row, for the tasks and then the covariates.
Sample Summary(int n, int k, const std::vector<long double>& means, const std::vector<long double>& sds,
               const std::vector<long double>& caseScores, const std::vector<long double>& lowerTriangle) {
    Sample s;
    s.n = n;
    s.k = k;
    auto r = lowerTriangle.begin();
    for (int i = 1; i <= k + 2; ++i) {
        s.means(i) = means[i - 1];
        s.sds(i) = sds[i - 1];
        s.caseScores(i) = caseScores[i - 1];
        s.corr(i, i) = 1;
        for (int j = 1; j < i; ++j) s.corr(i, j) = s.corr(j, i) = *r++;
    }
    return s;
}

// At n = 100,000 the posterior is narrow and the one-tailed p is Phi(-|Z-DCCC|), the
// normal theory's. The tolerance allows for three effects, for |Z-DCCC| <= 3: the Monte
// Carlo error (the draws of Z_DCCC spread by about 0.006, so P by at most 0.0025 and its
// mean over 200,000 draws by at most 6e-6), the curvature of Phi over that spread
// (|Phi''| sigma^2 / 2 <= 5e-6) and the posterior's shift of the scales by a few
// parts in n (|Phi'(z) z| <= 0.25 times 5e-5, about 1.2e-5).
constexpr long double kNormalTheoryTolerance = 3e-5L;

// The percentage of controls more extreme than the case lies on the case's tail, above
// the controls as below them; so do its limits, from the limit of Z-DCCC farther from 0
// and the nearer one (the interval is far from 0 here), by the difference test's Phi.
void ExpectNormalTheory(const Sample& s, long double zdccc) {
    const tDissociationOutcome out = RunDissociation(s, true, 200'000);
    const tCovariateResults& d = out.difference;
    EXPECT_NEAR(d(ZDCCC), zdccc, 1e-9L);
    EXPECT_NEAR(d(OneTailedP), tNormal_distribution(0, 1).Cdf(-std::fabs(zdccc)), kNormalTheoryTolerance);
    const long double farther = std::max(std::fabs(d(ZDCCCLower)), std::fabs(d(ZDCCCUpper)));
    const long double nearer = std::min(std::fabs(d(ZDCCCLower)), std::fabs(d(ZDCCCUpper)));
    const tPercentWithLimits& extreme = out.moreExtreme;
    EXPECT_NEAR(extreme.percent, std::min(d(PercentBelow), 100 - d(PercentBelow)), 1e-12L * extreme.percent);
    EXPECT_NEAR(extreme.lower, 100 * StandardNormalCdf(-farther), 1e-12L * extreme.lower);
    EXPECT_NEAR(extreme.upper, 100 * StandardNormalCdf(-nearer), 1e-12L * extreme.upper);
}

struct NormalTheoryCase {
    const char* name;
    std::array<long double, 3> means, sds, caseScores;  // task 1, task 2, the covariate
    long double r12, r1x, r2x;
};

class LargeSample : public ::testing::TestWithParam<NormalTheoryCase> {};

// Z-DCCC from the population's conditional moments given the covariate, and the
// partial correlation of the tasks.
TEST_P(LargeSample, OneTailedPIsTheNormalTheorysValue) {
    const auto& c = GetParam();
    std::array<long double, 2> z;
    const std::array<long double, 2> rx{c.r1x, c.r2x};
    for (int j = 0; j < 2; ++j) {
        const long double condMean = c.means[j] + rx[j] * c.sds[j] / c.sds[2] * (c.caseScores[2] - c.means[2]);
        z[j] = (c.caseScores[j] - condMean) / (c.sds[j] * std::sqrt(1 - rx[j] * rx[j]));
    }
    const long double partial = (c.r12 - c.r1x * c.r2x) / std::sqrt((1 - c.r1x * c.r1x) * (1 - c.r2x * c.r2x));
    ExpectNormalTheory(Summary(100'000, 1, {c.means.begin(), c.means.end()}, {c.sds.begin(), c.sds.end()},
                               {c.caseScores.begin(), c.caseScores.end()}, {c.r12, c.r1x, c.r2x}),
                       (z[0] - z[1]) / std::sqrt(2 - 2 * partial));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeSample,
    ::testing::Values(NormalTheoryCase{"LowerTail", {50, 30, 12}, {10, 6, 3}, {31, 29, 14}, 0.6L, 0.5L, 0.3L},
                      NormalTheoryCase{"UpperTail", {50, 30, 12}, {10, 6, 3}, {58, 24, 10}, -0.2L, 0.4L, -0.3L}),
    [](const auto& info) { return std::string(info.param.name); });

// The test without covariates, whose Z-DCCC is that of the tasks' own z scores and
// correlation; and covariates unrelated to the tasks (correlated with each other), which
// in the limit leave that test. The covariates' leverage adds (1 + 1.2^2 + 0.8^2 ...) / n
// to the spread, far below the tolerance.
TEST(DissociationMonteCarloTest, WithoutCovariatesOrWithUnrelatedOnesTheTestIsTheOneOfTheTasksAlone) {
    const long double z1 = (31 - 50) / 10.0L, z2 = (29 - 30) / 6.0L, r12 = 0.6L;
    const long double zdccc = (z1 - z2) / std::sqrt(2 - 2 * r12);
    ExpectNormalTheory(Summary(100'000, 0, {50, 30}, {10, 6}, {31, 29}, {r12}), zdccc);
    ExpectNormalTheory(Summary(100'000, 2, {50, 30, 12, 100}, {10, 6, 3, 15}, {31, 29, 15.6L, 88},
                               {r12, 0, 0, 0, 0, 0.4L}),
                       zdccc);
}

// Mean and standard deviation of a stream of numbers, by Welford's update.
class Moments {
public:
    void Add(double x) {
        ++count_;
        const double delta = x - mean_;
        mean_ += delta / count_;
        m2_ += delta * (x - mean_);
    }
    double Mean() const { return mean_; }
    double Sd() const { return std::sqrt(m2_ / (count_ - 1)); }
    long long Count() const { return count_; }

private:
    long long count_ = 0;
    double mean_ = 0, m2_ = 0;
};

struct Simulated {
    Moments probability;  // P = Phi(Z_DCCC), over the draws
    Moments root;         // sqrt(1 - rho^2), over the proposals
};

// The difference test exactly as the method states it, with <random>: Sigma^-1 a Wishart
// with nu = n - k - 2 degrees of freedom and scale S_c^-1, built as the sum of nu outer
// products of N(0, S_c^-1) vectors, and inverted; accepted when u^2 <= 1 - rho^2; then
// B = BHat + L_A Z L_S' with the full (k + 1) x 2 matrix Z, and mu = B'd. The regression
// is least squares on the raw rows.
Simulated SimulateMethodAsWritten(const Rows& rows, int draws) {
    const int n = static_cast<int>(rows.controls.size());
    const int p = static_cast<int>(rows.caseRow.size()) - 1;
    const int k = p - 1, nu = n - k - 2;
    const LeastSquaresFit fit = LeastSquares(rows.controls, 2);
    const std::vector<long double> d = DesignRow(rows.caseRow, 2);
    // C C' = S_c^-1, S_c = S (n - k - 2) / (n - k - 1).
    const double f = static_cast<double>(nu) / (n - k - 1);
    const double s11 = fit.rss[0][0] * f, s12 = fit.rss[0][1] * f, s22 = fit.rss[1][1] * f;
    const double det = s11 * s22 - s12 * s12;
    const double c11 = std::sqrt(s22 / det), c21 = -s12 / det / c11, c22 = std::sqrt(s11 / det - c21 * c21);
    tMatrix LA;
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) LA(i + 1, j + 1) = fit.xtxInverse[i][j];
    EXPECT_TRUE(CholeskyFactor(p, LA).ok);

    std::mt19937_64 random(20260615);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    Simulated out;
    for (int t = 0; t < draws; ++t) {
        double v11 = 0, v12 = 0, v22 = 0, rho = 0;  // Sigma
        for (;;) {
            double w11 = 0, w12 = 0, w22 = 0;
            for (int i = 0; i < nu; ++i) {
                const double e1 = normal(random), e2 = normal(random);
                const double x1 = c11 * e1, x2 = c21 * e1 + c22 * e2;
                w11 += x1 * x1;
                w12 += x1 * x2;
                w22 += x2 * x2;
            }
            const double wDet = w11 * w22 - w12 * w12;
            v11 = w22 / wDet;
            v12 = -w12 / wDet;
            v22 = w11 / wDet;
            rho = v12 / std::sqrt(v11 * v22);
            out.root.Add(std::sqrt(1 - rho * rho));
            const double u = uniform(random);
            if (u * u <= 1 - rho * rho) break;
        }
        const double l11 = std::sqrt(v11), l21 = v12 / l11, l22 = std::sqrt(v22 - l21 * l21);
        std::vector<double> zc1(p), zc2(p);  // the columns of Z
        for (int i = 0; i < p; ++i) {
            zc1[i] = normal(random);
            zc2[i] = normal(random);
        }
        double mu1 = 0, mu2 = 0;
        for (int i = 0; i < p; ++i) {
            double a1 = 0, a2 = 0;  // row i of L_A Z
            for (int j = 0; j <= i; ++j) {
                a1 += static_cast<double>(LA(i + 1, j + 1)) * zc1[j];
                a2 += static_cast<double>(LA(i + 1, j + 1)) * zc2[j];
            }
            mu1 += static_cast<double>(fit.b[i][0] + a1 * l11) * static_cast<double>(d[i]);
            mu2 += static_cast<double>(fit.b[i][1] + a1 * l21 + a2 * l22) * static_cast<double>(d[i]);
        }
        const double z1 = (static_cast<double>(rows.caseRow[0]) - mu1) / std::sqrt(v11);
        const double z2 = (static_cast<double>(rows.caseRow[1]) - mu2) / std::sqrt(v22);
        const double zdccc = (z1 - z2) / std::sqrt(2 - 2 * rho);
        out.probability.Add(0.5 * std::erfc(-zdccc / std::numbers::sqrt2));
    }
    return out;
}

struct NamedRows {
    const char* name;
    Rows (*rows)();
};

class MethodAsWritten : public ::testing::TestWithParam<NamedRows> {};

TEST_P(MethodAsWritten, MeanProbabilityAndAcceptanceRateAgreeWithASimulation) {
    const Rows rows = GetParam().rows();
    constexpr int kEngineDraws = 500'000, kSimulated = 300'000;
    const tDissociationOutcome engine = RunDissociation(FromRaw(rows, 2), true, kEngineDraws);
    const Simulated simulated = SimulateMethodAsWritten(rows, kSimulated);
    const Moments& p = simulated.probability;
    // Both estimate the mean of the same P: four combined standard errors.
    EXPECT_NEAR(engine.difference(PercentBelow) / 100, p.Mean(),
                4 * p.Sd() * std::sqrt(1.0 / kEngineDraws + 1.0 / kSimulated));
    // With acceptance probability a, the proposals of a draw are geometric with variance
    // (1 - a) / a^2, so draws / proposals has a standard error of a sqrt((1 - a) / draws).
    const Moments& root = simulated.root;
    const double a = root.Mean();
    EXPECT_NEAR(static_cast<double>(kEngineDraws) / engine.proposals, a,
                4 * std::sqrt(a * a * (1 - a) / kEngineDraws + root.Sd() * root.Sd() / root.Count()));
}

INSTANTIATE_TEST_SUITE_P(Samples, MethodAsWritten,
                         ::testing::Values(NamedRows{"TwoCovariates", TwoTasks},
                                           NamedRows{"SmallestForOneCovariate", SmallestForOneCovariate},
                                           NamedRows{"SixForOneCovariate", SixForOneCovariate},
                                           NamedRows{"NoCovariates", TwoTasksWithoutCovariates}),
                         [](const auto& info) { return std::string(info.param.name); });

Rows ExchangeTheTasks(Rows rows) {
    for (auto& row : rows.controls) std::swap(row[0], row[1]);
    std::swap(rows.caseRow[0], rows.caseRow[1]);
    return rows;
}

// Exchanging the tasks negates every standardised difference and puts the case on the
// other tail: the percentage of controls more extreme and its limits stay, within the
// Monte Carlo error.
TEST(DissociationMonteCarloTest, ExchangingTheTasksMirrorsTheDifference) {
    constexpr int kHalfMillion = 500'000;
    const tDissociationOutcome original = RunDissociation(FromRaw(TwoTasks(), 2), true, kHalfMillion);
    const tDissociationOutcome exchanged =
        RunDissociation(FromRaw(ExchangeTheTasks(TwoTasks()), 2), true, kHalfMillion);
    const tCovariateResults& a = original.difference;
    const tCovariateResults& b = exchanged.difference;
    ASSERT_LT(a(PercentBelow), 50);
    EXPECT_NEAR(b(ZDCCC), -a(ZDCCC), 1e-12L);
    // P lies in [0, 1], so the mean of half a million has an error below 7e-4: 0.07 in
    // percent, 0.1 for the difference of two.
    EXPECT_NEAR(b(PercentBelow), 100 - a(PercentBelow), 0.3L);
    EXPECT_NEAR(exchanged.moreExtreme.percent, original.moreExtreme.percent, 0.3L);
    EXPECT_EQ(original.moreExtreme.percent, 100 * a(OneTailedP));
    // A 2.5% quantile of half a million draws has an error of about 0.004 of their spread
    // (sqrt(0.025 0.975 / 5e5) over the density there), 0.0055 for the difference of
    // two; and Phi has a slope below 0.4.
    const long double tolerance = 0.025L * (a(ZDCCCUpper) - a(ZDCCCLower)) / 3.92L;
    EXPECT_NEAR(b(ZDCCCLower), -a(ZDCCCUpper), tolerance);
    EXPECT_NEAR(b(ZDCCCUpper), -a(ZDCCCLower), tolerance);
    EXPECT_NEAR(exchanged.moreExtreme.lower, original.moreExtreme.lower, 40 * tolerance);
    EXPECT_NEAR(exchanged.moreExtreme.upper, original.moreExtreme.upper, 40 * tolerance);
}

// Tasks whose residuals correlate beyond the limit are refused before a draw: the
// proposals would be accepted at a rate of sqrt(1 - r^2) only. r = (r21 - r31 r32) /
// sqrt((1 - r31^2)(1 - r32^2)) with r31 = r32 = 0.3: 0.99945 and 0.99780; and with
// r21 = -0.8195, -0.99945, refused as well.
TEST(DissociationMonteCarloTest, TasksAlmostPerfectlyCorrelatedAreRefused) {
    const auto sample = [](long double r21) {
        return Summary(20, 1, {50, 40, 12}, {10, 8, 3}, {30, 38, 12}, {r21, 0.3L, 0.3L});
    };
    for (const auto& [r21, r] : {std::pair{0.9995L, "0.99945"}, std::pair{-0.8195L, "-0.99945"}}) {
        try {
            RunDissociation(sample(r21), true, 1'000);
            ADD_FAILURE() << "accepted " << r;
        } catch (const EMatrixError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control sample "
                      "once the covariates are allowed for (conditional correlation " + std::string(r) +
                          ", where the test takes at most 0.999 in size): check the scores for an error of entry, or "
                          "whether one task repeats the other.");
        }
    }
    const tDissociationOutcome out = RunDissociation(sample(0.998L), true, 1'000);
    EXPECT_NEAR(out.condCorrelation, 0.9978022L, 1e-7L);
}

TEST(DissociationMonteCarloTest, SamplesTooSmallForTheResidualCovarianceAreRefused) {
    const Sample s = FromRaw(SmallestForOneCovariate(), 2);
    tDissociationOutcome out;
    const auto run = [&](int k, int n) {
        DissociationMonteCarloTest(k, n, 1'000, true, true, kCrediblePercent, s.sds, s.means, s.caseScores, s.corr, out);
    };
    EXPECT_THROW(run(1, 4), std::invalid_argument);  // n - k - 2 = 1
    EXPECT_THROW(run(0, 3), std::invalid_argument);
    EXPECT_THROW(run(-1, 5), std::invalid_argument);
    EXPECT_NO_THROW(run(1, 5));
    EXPECT_NO_THROW(run(0, 4));  // the tasks alone, of the four controls
}

// ---- Without covariates ----

// The design is a column of ones: X'X = n, the coefficients are the means and the
// residual covariance is the tasks' covariance; every other cell stays 0.
TEST(RegressionFromSummary, WithoutCovariatesGivesTheMeansAndTheCovariance) {
    const Sample s = Summary(20, 0, {50, 30}, {10, 6}, {40, 25}, {0.6L});
    tMatrix coef, resid, inv;
    ASSERT_TRUE(RegressionFromSummary(s.corr, s.sds, s.means, 2, 0, s.n, coef, resid, inv));
    EXPECT_NEAR(inv(1, 1), 1 / 20.0L, 1e-20L);
    EXPECT_NEAR(coef(1, 1), 50, 1e-15L);
    EXPECT_NEAR(coef(1, 2), 30, 1e-15L);
    // Y'Y - 2 coef' X'Y + coef' X'X coef cancels n times the squared means: 1e5 here.
    EXPECT_NEAR(resid(1, 1), 100, 1e-12L);
    EXPECT_NEAR(resid(1, 2), 36, 1e-12L);
    EXPECT_NEAR(resid(2, 2), 36, 1e-12L);
    EXPECT_EQ(inv(1, 2), 0);
    EXPECT_EQ(inv(2, 2), 0);
    EXPECT_EQ(coef(2, 1), 0);
    EXPECT_EQ(resid(3, 3), 0);
}

// The conditional moments are the controls' own, so a case at their means lies at a
// Z-CCC of exactly 0 on each task, and at a Z-DCCC of exactly 0.
TEST(NoCovariates, ACaseAtTheControlsMeansHasEffectSizesOfZero) {
    const Sample s = Summary(20, 0, {50, 30}, {10, 6}, {50, 30}, {0.6L});
    const Outcome deficit = RunTest(s, true, 10'000);
    EXPECT_EQ(deficit.condMean, 50);
    EXPECT_EQ(deficit.condSD, 10);
    EXPECT_EQ(deficit.results(ZCCC), 0);
    const tDissociationOutcome both = RunDissociation(s, true, 10'000);
    EXPECT_EQ(both.tasks[1].condSD, 6);
    EXPECT_EQ(both.tasks[0].results(ZCCC), 0);
    EXPECT_EQ(both.tasks[1].results(ZCCC), 0);
    EXPECT_EQ(both.difference(ZDCCC), 0);
    EXPECT_NEAR(both.condCorrelation, 0.6L, 1e-15L);
}

struct ClassicalCase {
    int n;
    long double caseScore;  // against controls of mean 50 and SD 10
};

void PrintTo(const ClassicalCase& c, std::ostream* os) {
    *os << "n " << c.n << ", case " << static_cast<double>(c.caseScore);
}

class WithoutCovariates : public ::testing::TestWithParam<ClassicalCase> {};

// Without covariates the posterior predictive distribution of a control's score is
// mean + SD sqrt((n + 1) / n) T_(n-1): the proportion below the case is the classical
// test's P(T_(n-1) < (y* - mean) / (SD sqrt((n + 1) / n))). Each draw's P lies in [0, 1],
// so with mean p its variance is at most E[P^2] - p^2 <= p (1 - p), and the mean of a
// million draws has a standard error of at most sqrt(p (1 - p) / 1e6). Summed in draw
// order in extended precision, a million terms add a relative rounding error below
// 1e6 x 2^-64, 5e-14: nothing beside it. Five standard errors.
TEST_P(WithoutCovariates, ProportionBelowTheCaseIsTheClassicalTTests) {
    const auto [n, caseScore] = GetParam();
    const Sample s = Summary(n, 0, {50, 30}, {10, 6}, {caseScore, 30}, {0});
    const long double below = StudentTByIncompleteBeta(n - 1, (caseScore - 50) / (10 * std::sqrt((n + 1.0L) / n)));
    const long double tolerance = 5 * std::sqrt(below * (1 - below) / kDraws);
    const Outcome out = RunTest(s);
    EXPECT_NEAR(out.results(PercentBelow) / 100, below, tolerance);
    EXPECT_NEAR(out.results(OneTailedP), std::min(below, 1 - below), tolerance);
}

INSTANTIATE_TEST_SUITE_P(Table, WithoutCovariates,
                         ::testing::Values(ClassicalCase{2, 30}, ClassicalCase{3, 75}, ClassicalCase{5, 49},
                                           ClassicalCase{10, 20}, ClassicalCase{30, 71}, ClassicalCase{120, 26}));

}  // namespace
}  // namespace quorvane
