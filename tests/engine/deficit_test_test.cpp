#include "engine/bayes_engines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <utility>

#include "engine/engine_samples.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Two degrees of freedom: the chi-square variate is an exponential, drawn from a single
// uniform rather than from pairs.
Rows TwoDegreesOfFreedom() { return {{{20, 3}, {25, 5}, {22, 4}, {30, 7}}, {24, 5}}; }

TEST(CovariateMonteCarloTest, PointEstimatesOfTheWorkedExample) {
    const Outcome out = RunTest(ThreeControls(), true, 10'000);
    EXPECT_NEAR(out.condMean, 134.0L / 13, 1e-12L);
    EXPECT_NEAR(out.condSD, std::sqrt(12.0L / 13), 1e-12L);
    EXPECT_NEAR(out.results(ZCCC), (6 - 134.0L / 13) / std::sqrt(12.0L / 13), 1e-12L);
    EXPECT_NEAR(out.results(ZCCC), -4.483588L, 1e-6L);
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
    const tCaseStatistics s = ThreeControls();
    tCaseStatistics copy = s;
    Seed1 = 12345;  // the fixed seed flag restarts the stream whatever it held
    const Outcome first = RunTest(copy);
    const tDeficitOutcome second = CovariateMonteCarloTest(copy, {});  // the same on value types
    EXPECT_EQ(first, second);
    EXPECT_EQ(copy, s);
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
    ::testing::Values(WorkedExample(),  // nu = 1: k = 1, n = 3
                                        // nu = 1: k = 2, n = 4
                      Rows{{{52, 12, 34}, {61, 16, 29}, {47, 10, 41}, {58, 14, 38}}, {44, 15, 33}},
                      TwoDegreesOfFreedom(),  // nu = 2: k = 1, n = 4, case near the middle
                      // nu = 2: k = 2, n = 5, case far below
                      Rows{{{100, 12, 40}, {92, 10, 35}, {110, 16, 45}, {97, 13, 31}, {105, 11, 50}}, {70, 14, 42}}));

// A sample with two covariates on everyday scales, used to check the units.
// clang-format off
Rows Everyday() {
    return {{{31, 12, 45}, {28, 10, 52}, {35, 16, 38}, {30, 12, 61}, {26, 9, 55},
             {33, 14, 47}, {29, 11, 58}, {36, 17, 40}, {27, 10, 66}, {32, 13, 50}},
            {21, 13, 57}};
}
// clang-format on

tCaseStatistics Rescaled(tCaseStatistics s, int variable, long double factor) {
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

class Units : public ::testing::TestWithParam<std::pair<int, long double>> {};  // variable, factor

TEST_P(Units, RescalingAVariableLeavesThePrintedResultsUnchanged) {
    const auto [variable, factor] = GetParam();
    const tCaseStatistics base = FromRaw(Everyday());
    const Outcome reference = RunTest(base, true, 200'000);
    const Outcome scaled = RunTest(Rescaled(base, variable, factor), true, 200'000);
    EXPECT_EQ(Printed(scaled), Printed(reference));
    const long double taskFactor = variable == 1 ? factor : 1;
    EXPECT_NEAR(scaled.condMean / taskFactor, reference.condMean, 1e-9L * std::fabs(reference.condMean));
    EXPECT_NEAR(scaled.condSD / taskFactor, reference.condSD, 1e-9L * reference.condSD);
}

INSTANTIATE_TEST_SUITE_P(Factors, Units,
                         ::testing::Values(std::pair{2, 1e7L}, std::pair{2, 1e8L}, std::pair{3, 1e-6L},
                                           std::pair{3, 1e-8L}, std::pair{1, 1e-8L}, std::pair{1, 1e8L},
                                           std::pair{2, 1e-3L}, std::pair{3, 1e4L}));

// A power of two changes no rounding: where the pivot thresholds pass both before and
// after, every number is the same to the last bit.
TEST(CovariateMonteCarloTest, PowerOfTwoUnitsGiveIdenticalNumbers) {
    const tCaseStatistics base = FromRaw(Everyday());
    const Outcome reference = RunTest(base, true, 100'000);
    const Outcome scaled = RunTest(Rescaled(base, 2, 1024), true, 100'000);
    EXPECT_EQ(scaled.results, reference.results);
    EXPECT_EQ(scaled.condMean, reference.condMean);
}

TEST(CovariateMonteCarloTest, CollinearCovariatesStopWithAMatrixError) {
    // The second covariate is twice the first: X'X is singular.
    tCaseStatistics s = FromRaw({{31, 12, 24}, {28, 10, 20}, {35, 16, 32}, {30, 12, 24}, {26, 9, 18}}, {21, 13, 26});
    EXPECT_THAT([&] { RunTest(s, true, 1'000); }, ThrowsMessage<EMatrixError>(HasSubstr("Analysis cannot proceed")));
    // Nothing of the failed attempts is left to be reported by the next computation.
    EXPECT_NO_THROW(RaiseFloatingPointFaults());
}

TEST(CovariateMonteCarloTest, ACaseBeyondTheNormalFunctionsReachRaisesItsArgumentError) {
    // The case lies about a million conditional SDs below: Phi cannot be evaluated.
    tCaseStatistics s = ThreeControls();
    s.caseScores(1) = -1e6L;
    EXPECT_THAT([&] { RunTest(s, true, 1'000); },
                ThrowsMessage<EArgumentError>(ArgumentMessageText(kCodeArgumentTooLarge)));
}

// The deficit test's draw loop as a single thread runs it, with the library's vector
// routines and a chi-square object per draw: the two-thread engine must give the very
// same numbers.
Outcome SingleThreadReference(const tCaseStatistics& s, bool twoSided, int draws) {
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
    SummariseReference(
        store, draws, sum, twoSided, [&normal](long double z) { return normal.Cdf(z); }, out);
    return out;
}

class SameAsOneThread : public ::testing::TestWithParam<DrawCase> {};

TEST_P(SameAsOneThread, EveryNumberIsIdentical) {
    const auto [name, rows, twoSided, draws, unitScale] = GetParam();
    const tCaseStatistics s = FromRaw(rows());
    const Outcome engine = RunTest(s, twoSided, draws);
    const std::int32_t seed1 = Seed1, seed2 = Seed2;
    const Outcome reference = SingleThreadReference(s, twoSided, draws);
    ExpectSameResults(engine.results, reference.results);
    EXPECT_EQ(engine.condMean, reference.condMean);
    EXPECT_EQ(engine.condSD, reference.condSD);
    ExpectHistogramOfTheDraws(engine.zHistogram, reference);
    // The engine leaves the seeds where the draws left them, for a run without the fixed seed.
    EXPECT_EQ(seed1, Seed1);
    EXPECT_EQ(seed2, Seed2);
}

INSTANTIATE_TEST_SUITE_P(Draws, SameAsOneThread,
                         ::testing::Values(DrawCase{"MillionTwoSided", Everyday, true, kDraws},
                                           DrawCase{"MillionOneSided", Everyday, false, kDraws},
                                           DrawCase{"PartBlocks", Everyday, true, 5'001},
                                           DrawCase{"OneDegreeOfFreedom", WorkedExample, true, 200'001},
                                           DrawCase{"TwoDegreesOfFreedom", TwoDegreesOfFreedom, true, 200'001}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CovariateMonteCarloTest, AnArgumentErrorLateInTheRunStillStopsIt) {
    // A case 22,000 SDs below: with one degree of freedom a draw far into the run puts
    // Z beyond 65536, after the ring of blocks has been reused.
    tCaseStatistics s = ThreeControls();
    s.caseScores(1) = -22000;
    EXPECT_THROW(RunTest(s), EArgumentError);
}

TEST(CovariateMonteCarloTest, DrawCountsWithoutRoomForTheLimitsAreRefused) {
    for (const int draws : {0, 10, kDraws + 1})
        EXPECT_THROW(RunTest(ThreeControls(), true, draws), std::invalid_argument);
}

TEST(CovariateMonteCarloTest, ACaseOnItsConditionalMeanHasZeroEffectSize) {
    tCaseStatistics s = ThreeControls();
    s.caseScores(1) = 134.0L / 13;
    const Outcome out = RunTest(s, true, 10'000);
    EXPECT_NEAR(out.results(ZCCC), 0, 1e-15L);
}

// n, and the case's score against controls of mean 50 and SD 10.
class WithoutCovariates : public ::testing::TestWithParam<std::pair<int, long double>> {};

// Without covariates the posterior predictive distribution of a control's score is
// mean + SD sqrt((n + 1) / n) T_(n-1): the proportion below the case is the classical
// test's P(T_(n-1) < (y* - mean) / (SD sqrt((n + 1) / n))). Each draw's P lies in [0, 1],
// so with mean p its variance is at most E[P^2] - p^2 <= p (1 - p), and the mean of a
// million draws has a standard error of at most sqrt(p (1 - p) / 1e6). Summed in draw
// order in extended precision, a million terms add a relative rounding error below
// 1e6 x 2^-64, 5e-14: nothing beside it. Five standard errors.
TEST_P(WithoutCovariates, ProportionBelowTheCaseIsTheClassicalTTests) {
    const auto [n, caseScore] = GetParam();
    const tCaseStatistics s = Summary(n, 0, {50, 30}, {10, 6}, {caseScore, 30}, {0});
    const long double below = StudentTByIncompleteBeta(n - 1, (caseScore - 50) / (10 * std::sqrt((n + 1.0L) / n)));
    const long double tolerance = 5 * std::sqrt(below * (1 - below) / kDraws);
    const Outcome out = RunTest(s);
    EXPECT_NEAR(out.results(PercentBelow) / 100, below, tolerance);
    EXPECT_NEAR(out.results(OneTailedP), std::min(below, 1 - below), tolerance);
}

INSTANTIATE_TEST_SUITE_P(Table, WithoutCovariates,
                         ::testing::Values(std::pair{2, 30.0L}, std::pair{3, 75.0L}, std::pair{5, 49.0L},
                                           std::pair{10, 20.0L}, std::pair{30, 71.0L}, std::pair{120, 26.0L}));

}  // namespace
}  // namespace quorvane
