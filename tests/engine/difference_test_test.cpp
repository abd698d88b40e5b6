#include "engine/bayes_engines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <numbers>
#include <random>
#include <stdexcept>
#include <utility>

#include "engine/engine_samples.h"
#include "numerics/errors.h"

namespace quorvane {
namespace {

// Two tasks and two covariates: each line a control's two task scores, then the
// covariates; the last the case's, impaired on the first task only.
// clang-format off
Rows TwoTasks() {
    return {{{27, 41, 13, 36}, {28, 43, 16, 50}, {28, 48, 8, 60}, {24, 37, 12, 42}, {33, 47, 13, 60},
             {31, 44, 14, 39}, {35, 49, 16, 58}, {30, 43, 14, 53}, {34, 52, 16, 47}, {32, 47, 8, 64},
             {30, 39, 9, 40}, {30, 44, 15, 51}},
            {26, 45, 13, 57}};
}
// clang-format on

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

// The difference test's draw loop as a single thread runs it, taking the variates in
// the documented order: c1, c2 (a squared normal for one degree of freedom), a21, u per
// proposal, then zeta1, zeta2. The arithmetic of a draw is the engine's, term by term.
Outcome DifferenceReference(const Rows& rows, bool twoSided, int draws, long long& proposals) {
    const tCaseStatistics s = FromRaw(rows, 2);
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
        const long double zt =
            ((rows.caseRow[0] - mu1) / sigma1 - (rows.caseRow[1] - mu2) / sigma2) / std::sqrt(2 - 2 * rho);
        store(t) = static_cast<double>(zt);
        sum = sum + StandardNormalCdf(zt);
    }
    SummariseReference(store, draws, sum, twoSided, StandardNormalCdf, out);
    return out;
}

tDissociationOutcome RunDissociation(const tCaseStatistics& s, bool twoSided = true, int draws = kDraws) {
    return DissociationMonteCarloTest(s, {draws, true, twoSided, kCrediblePercent, {}});
}

// The smallest sample the difference test takes for one covariate: n = k + 4, so that c2
// is a chi-square with one degree of freedom (method GS).
Rows SmallestForOneCovariate() {
    return {{{12, 30, 5}, {15, 29, 7}, {11, 33, 4}, {14, 35, 6}, {13, 28, 8}}, {8, 31, 6}};
}
// One control more: c2 has two degrees of freedom, and the gamma method draws it.
Rows SixForOneCovariate() {
    return {{{12, 30, 5}, {15, 29, 7}, {11, 33, 4}, {14, 35, 6}, {13, 28, 8}, {10, 31, 5}}, {8, 31, 6}};
}

class DifferenceSameAsOneThread : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DifferenceSameAsOneThread, EveryNumberIsIdentical) {
    const auto [name, rows, twoSided, draws, unitScale] = GetParam();
    const tDissociationOutcome engine = RunDissociation(FromRaw(rows(), 2), twoSided, draws);
    long long proposals = 0;
    const Outcome reference = DifferenceReference(rows(), twoSided, draws, proposals);
    ExpectSameResults(engine.difference, reference.results);
    EXPECT_EQ(engine.proposals, proposals);
    ExpectHistogramOfTheDraws(engine.differenceHistogram, reference);
}

INSTANTIATE_TEST_SUITE_P(Draws, DifferenceSameAsOneThread,
                         ::testing::Values(DrawCase{"MillionTwoSided", TwoTasks, true, kDraws},
                                           DrawCase{"PartBlocksOneSided", TwoTasks, false, 5'001},
                                           DrawCase{"SmallestSample", SmallestForOneCovariate, true, 200'001}),
                         [](const auto& info) { return std::string(info.param.name); });

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
class EachTaskAlone : public ::testing::TestWithParam<DrawCase> {};

TEST_P(EachTaskAlone, IsItsOwnDeficitTestToTheLastBit) {
    const auto [name, rows, twoSided, draws, unitScale] = GetParam();
    const tDissociationOutcome both = RunDissociation(FromRaw(rows(), 2), twoSided, draws);
    for (int task = 1; task <= 2; ++task) {
        SCOPED_TRACE(task);
        const tCaseStatistics alone = FromRaw(TaskAlone(rows(), task));
        tMatrix coef, resid, inv;
        EXPECT_EQ(RegressionFromSummary(alone.corr, alone.sds, alone.means, 1, alone.k, alone.n, coef, resid, inv),
                  !unitScale);
        const Outcome reference = RunTest(alone, twoSided, draws);
        EXPECT_EQ(both.tasks[task - 1], reference);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, EachTaskAlone,
                         ::testing::Values(DrawCase{"TwoSided", TwoTasks, true, 200'001},
                                           DrawCase{"OneSidedAtUnitScale", TinyCovariateUnits, false, 200'001, true},
                                           DrawCase{"NoCovariates", TwoTasksWithoutCovariates, true, 200'001}),
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
void ExpectNormalTheory(const tCaseStatistics& s, long double zdccc) {
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
    ExpectNormalTheory(
        Summary(100'000, 2, {50, 30, 12, 100}, {10, 6, 3, 15}, {31, 29, 15.6L, 88}, {r12, 0, 0, 0, 0, 0.4L}), zdccc);
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

class MethodAsWritten : public ::testing::TestWithParam<DrawCase> {};

TEST_P(MethodAsWritten, MeanProbabilityAndAcceptanceRateAgreeWithASimulation) {
    const Rows rows = GetParam().rows();
    const int kEngineDraws = GetParam().draws, kSimulated = 300'000;
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
                         ::testing::Values(DrawCase{"TwoCovariates", TwoTasks, true, 500'000},
                                           DrawCase{"SmallestForOneCovariate", SmallestForOneCovariate, true, 500'000},
                                           DrawCase{"SixForOneCovariate", SixForOneCovariate, true, 500'000},
                                           DrawCase{"NoCovariates", TwoTasksWithoutCovariates, true, 500'000}),
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
        EXPECT_THAT(
            [&] { RunDissociation(sample(r21), true, 1'000); },
            ::testing::ThrowsMessage<EMatrixError>(
                "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control sample "
                "once the covariates are allowed for (conditional correlation " +
                std::string(r) +
                ", where the test takes at most 0.999 in size): check the scores for an error of entry, or "
                "whether one task repeats the other."));
    }
    const tDissociationOutcome out = RunDissociation(sample(0.998L), true, 1'000);
    EXPECT_NEAR(out.condCorrelation, 0.9978022L, 1e-7L);
}

TEST(DissociationMonteCarloTest, SamplesTooSmallForTheResidualCovarianceAreRefused) {
    const tCaseStatistics s = FromRaw(SmallestForOneCovariate(), 2);
    const auto run = [&](int k, int n) {
        tCaseStatistics sized = s;
        sized.k = k;
        sized.n = n;
        return RunDissociation(sized, true, 1'000);
    };
    EXPECT_THROW(run(1, 4), std::invalid_argument);  // n - k - 2 = 1
    EXPECT_THROW(run(0, 3), std::invalid_argument);
    EXPECT_THROW(run(-1, 5), std::invalid_argument);
    EXPECT_NO_THROW(run(1, 5));
    EXPECT_NO_THROW(run(0, 4));  // the tasks alone, of the four controls
}

// The conditional moments are the controls' own, so a case at their means lies at a
// Z-CCC of exactly 0 on each task, and at a Z-DCCC of exactly 0.
TEST(NoCovariates, ACaseAtTheControlsMeansHasEffectSizesOfZero) {
    const tCaseStatistics s = Summary(20, 0, {50, 30}, {10, 6}, {50, 30}, {0.6L});
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

}  // namespace
}  // namespace quorvane
