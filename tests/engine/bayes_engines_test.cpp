#include "engine/bayes_engines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <ostream>
#include <stdexcept>
#include <thread>
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

// Summary statistics computed directly from raw rows (task first), with the case apart.
Sample FromRaw(const std::vector<std::vector<long double>>& controls, const std::vector<long double>& caseRow) {
    Sample s;
    s.n = static_cast<int>(controls.size());
    const int p = static_cast<int>(caseRow.size());
    s.k = p - 1;
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
struct ClosedFormCase {
    std::vector<std::vector<long double>> controls;
    std::vector<long double> caseRow;
};

long double StudentT(int nu, long double t) {
    if (nu == 1) return 0.5L + std::atan(t) / std::numbers::pi_v<long double>;
    return 0.5L + t / (2 * std::sqrt(2 + t * t));
}

// 100 T_nu((y* - yhat) / (s sqrt(1 + d'(X'X)^-1 d))), by ordinary least squares on the
// raw rows (Cramer's rule for the small normal equations).
long double ClosedFormPercentBelow(const ClosedFormCase& c) {
    const int n = static_cast<int>(c.controls.size());
    const int p = static_cast<int>(c.caseRow.size());
    const int nu = n - p;
    // X'X and X'y with a leading column of ones.
    std::vector<std::vector<long double>> xtx(p, std::vector<long double>(p + 1, 0));
    for (const auto& row : c.controls) {
        std::vector<long double> x(p);
        x[0] = 1;
        for (int j = 1; j < p; ++j) x[j] = row[j];
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) xtx[i][j] += x[i] * x[j];
            xtx[i][p] += x[i] * row[0];
        }
    }
    // Gauss elimination with partial pivoting on [X'X | X'y | I] gives b and (X'X)^-1.
    std::vector<std::vector<long double>> a(p, std::vector<long double>(2 * p + 1, 0));
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j <= p; ++j) a[i][j] = xtx[i][j];
        a[i][p + 1 + i] = 1;
    }
    for (int col = 0; col < p; ++col) {
        int best = col;
        for (int r = col + 1; r < p; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[best][col])) best = r;
        std::swap(a[col], a[best]);
        for (int r = 0; r < p; ++r) {
            if (r == col) continue;
            const long double f = a[r][col] / a[col][col];
            for (int j = 0; j <= 2 * p; ++j) a[r][j] -= f * a[col][j];
        }
    }
    std::vector<long double> b(p), d(p);
    for (int i = 0; i < p; ++i) b[i] = a[i][p] / a[i][i];
    d[0] = 1;
    for (int j = 1; j < p; ++j) d[j] = c.caseRow[j];
    long double rss = 0;
    for (const auto& row : c.controls) {
        long double fit = b[0];
        for (int j = 1; j < p; ++j) fit += b[j] * row[j];
        rss += (row[0] - fit) * (row[0] - fit);
    }
    const long double s = std::sqrt(rss / nu);
    long double yhat = 0, leverage = 0;
    for (int i = 0; i < p; ++i) {
        yhat += b[i] * d[i];
        for (int j = 0; j < p; ++j) leverage += d[i] * (a[i][p + 1 + j] / a[i][i]) * d[j];
    }
    return 100 * StudentT(nu, (c.caseRow[0] - yhat) / (s * std::sqrt(1 + leverage)));
}

class ClosedForm : public ::testing::TestWithParam<ClosedFormCase> {};

TEST_P(ClosedForm, PercentBelowAgreesWithinMonteCarloError) {
    const ClosedFormCase& c = GetParam();
    const Outcome out = RunTest(FromRaw(c.controls, c.caseRow));
    // Each draw's probability lies in [0, 1], so the percentage's standard error is at
    // most 50 / sqrt(1e6) = 0.05; allow five of them.
    EXPECT_NEAR(out.results(PercentBelow), ClosedFormPercentBelow(c), 0.25L);
}

INSTANTIATE_TEST_SUITE_P(
    SmallSamples, ClosedForm,
    ::testing::Values(
        // nu = 1: k = 1, n = 3 (the worked example)
        ClosedFormCase{{{10, 40}, {12, 38}, {11, 45}}, {6, 50}},
        // nu = 1: k = 2, n = 4
        ClosedFormCase{{{52, 12, 34}, {61, 16, 29}, {47, 10, 41}, {58, 14, 38}}, {44, 15, 33}},
        // nu = 2: k = 1, n = 4, case near the middle
        ClosedFormCase{{{20, 3}, {25, 5}, {22, 4}, {30, 7}}, {24, 5}},
        // nu = 2: k = 2, n = 5, case far below
        ClosedFormCase{{{100, 12, 40}, {92, 10, 35}, {110, 16, 45}, {97, 13, 31}, {105, 11, 50}},
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

// The draw loop as a single thread runs it, with the library's vector routines, a
// chi-square object per draw and a full sort: the two-thread engine must give the very
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
    tMatrix condCov;
    tVector condMean;
    ConditionalMoments(p, s.k, s.corr, s.sds, s.means, d, condCov, condMean);
    out.condMean = condMean(1);
    out.condSD = std::sqrt(condCov(1, 1));
    out.results(ZCCC) = (yStar - out.condMean) / out.condSD;
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
    long double meanPercent = sum / draws * 100;
    out.results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    out.results(OneTailedP) = meanPercent / 100;
    out.results(TwoTailedP) = meanPercent / 50;
    const LimitIndices limits = CredibleLimitIndices(draws, kCrediblePercent, twoSided);
    QuickSortDraws(1, draws, store);
    out.results(ZCCCLower) = store(limits.lo);
    out.results(ZCCCUpper) = store(limits.hi);
    out.results(PercentBelowLower) = normal.Cdf(out.results(ZCCCLower)) * 100;
    out.results(PercentBelowUpper) = normal.Cdf(out.results(ZCCCUpper)) * 100;
    out.sortedDraws.assign(store.data(), store.data() + draws);
    return out;
}

// Two degrees of freedom: the chi-square variate is an exponential, drawn from a single
// uniform rather than from pairs.
Sample TwoDegreesOfFreedom() { return FromRaw({{20, 3}, {25, 5}, {22, 4}, {30, 7}}, {24, 5}); }

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
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(engine.results(i), reference.results(i)) << "result " << i;
    EXPECT_EQ(engine.condMean, reference.condMean);
    EXPECT_EQ(engine.condSD, reference.condSD);

    // The histogram: every draw counted once, each bin holding exactly the reference's
    // draws between its edges (counted by binary search in the sorted draws), and a
    // range that takes in Z-CCC and both limits.
    const tDrawHistogram& h = engine.histogram;
    EXPECT_EQ(h.Total(), draws);
    const auto& sorted = reference.sortedDraws;
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

}  // namespace
}  // namespace quorvane
