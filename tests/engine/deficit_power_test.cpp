#include "engine/deficit_power.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <random>
#include <vector>

#include "engine/bayes_engines.h"
#include "engine/engine_samples.h"
#include "numerics/distrib.h"

namespace quorvane {
namespace {

constexpr std::array kAlternatives = {Alternative::Less, Alternative::Greater, Alternative::TwoSided};

// A case of a population, against its conditional moments worked out by hand: two
// uncorrelated covariates, the case 0.625 and -1 SDs out on them.
TEST(DeficitPowerQuestionFor, IsTheCasesConditionalDistanceAndItsCovariatesDistance) {
    tCaseStatistics population;
    population.n = 40;
    population.k = 2;
    for (const auto& [i, mean, sd, score] : {std::tuple(1, 50.0L, 10.0L, 0.0L), std::tuple(2, 60.0L, 8.0L, 65.0L),
                                             std::tuple(3, 100.0L, 15.0L, 85.0L)})
        population.means(i) = mean, population.sds(i) = sd, population.caseScores(i) = score;
    population.corr(1, 1) = population.corr(2, 2) = population.corr(3, 3) = 1;
    population.corr(1, 2) = population.corr(2, 1) = 0.6L;
    population.corr(1, 3) = population.corr(3, 1) = 0.3L;
    // Mean 50 + 10 (0.6 x 0.625 + 0.3 x -1) = 50.75, SD 10 sqrt(1 - 0.36 - 0.09).
    const DeficitPowerQuestion q = DeficitPowerQuestionFor(population, 30, 0.05, Alternative::Less);
    EXPECT_EQ(std::tuple(q.n, q.k), std::tuple(40, 2));
    EXPECT_NEAR(q.delta, (30 - 50.75) / (10 * std::sqrt(0.55)), 1e-12);
    EXPECT_NEAR(q.distance2, 0.625 * 0.625 + 1, 1e-12);
}

// Without a difference the test rejects at its level, whatever n, k and the covariates.
TEST(DeficitPower, IsAlphaWithoutADeficit) {
    for (const Alternative alternative : kAlternatives)
        for (const auto& [n, k, distance2] :
             {std::tuple(2, 0, 0.0), std::tuple(7, 1, 3.0), std::tuple(9, 5, 8.0), std::tuple(400, 2, 1.5)})
            EXPECT_NEAR(DeficitPower({n, k, 0, distance2, 0.05, alternative}), 0.05, 1e-9) << n << " " << k;
}

// For k = 0, P(T' < -c) by its definition: the noncentral t is (Z + ncp) / sqrt(X / nu),
// so the probability is the mean over X ~ chi-square(nu) of Phi(-c sqrt(X / nu) - ncp).
TEST(DeficitPower, WithoutCovariatesIsTheNoncentralTByItsDefinition) {
    for (const auto& [n, delta] : {std::pair(3, -3.0), std::pair(10, -2.0), std::pair(40, -1.0)}) {
        const double nu = n - 1, ncp = delta / std::sqrt(1 + 1.0 / n);
        const double c = boost::math::quantile(boost::math::complement(boost::math::students_t(nu), 0.05));
        const boost::math::chi_squared chi(nu);
        const double expected = boost::math::quadrature::gauss_kronrod<double, 61>::integrate(
            [&](double x) {
                return boost::math::pdf(chi, x) * static_cast<double>(StandardNormalCdf(-c * std::sqrt(x / nu) - ncp));
            },
            0, std::numeric_limits<double>::infinity(), 15, 1e-12);
        EXPECT_NEAR(DeficitPower({n, 0, delta, 0, 0.05, Alternative::Less}), expected, 1e-9) << n;
    }
}

// As n grows the power tends to Phi(z_alpha - delta), on either side.
TEST(DeficitPower, TendsToTheNormalTheoryAsymptote) {
    EXPECT_NEAR(DeficitPowerAsymptote(-2.5, 0.05, Alternative::Less), 0.8037649, 1e-7);
    for (const Alternative alternative : kAlternatives) {
        const double asymptote = DeficitPowerAsymptote(alternative == Alternative::Greater ? 2 : -2, 0.05, alternative);
        for (const int k : {0, 3})
            EXPECT_NEAR(
                DeficitPower({100'000, k, alternative == Alternative::Greater ? 2.0 : -2.0, 2, 0.05, alternative}),
                asymptote, 2e-4);
    }
}

// The sample size is the smallest n that reaches the target, the curve rises from k + 2 to
// the asymptote, and an asymptote below the target leaves no sample size.
TEST(DeficitStudyPlan, FindsTheSmallestSampleSizeOnItsCurve) {
    for (const auto& [k, delta, target] :
         {std::tuple(0, -2.5, 0.7), std::tuple(2, -2.5, 0.75), std::tuple(1, -3.5, 0.9)}) {
        const DeficitPowerQuestion question{0, k, delta, 2, 0.05, Alternative::Less};
        const DeficitStudyPlan plan = PlanDeficitStudy(question, target);
        ASSERT_TRUE(plan.sampleSize) << k;
        const auto power = [&](int n) { return DeficitPower({n, k, delta, 2, 0.05, Alternative::Less}); };
        EXPECT_GE(power(*plan.sampleSize), target);
        EXPECT_LT(power(*plan.sampleSize - 1), target);
        EXPECT_EQ(plan.curve.front().n, k + 2);
        EXPECT_LE(std::fabs(plan.curve.back().power - plan.asymptote), kNearAsymptote);
        EXPECT_TRUE(std::is_sorted(plan.curve.begin(), plan.curve.end(),
                                   [](const PowerAtN& a, const PowerAtN& b) { return a.power < b.power; }));
    }
    const DeficitStudyPlan unreachable = PlanDeficitStudy({0, 1, -2, 2, 0.05, Alternative::Less}, 0.8);
    EXPECT_FALSE(unreachable.sampleSize);
    EXPECT_LT(unreachable.asymptote, 0.8);
}

using Vector = std::vector<double>;
using Matrix = std::vector<Vector>;

// x with A x = b, by Gaussian elimination (A symmetric positive definite, small).
Vector Solve(Matrix a, Vector b) {
    const std::size_t m = b.size();
    for (std::size_t c = 0; c < m; ++c)
        for (std::size_t r = 0; r < m; ++r) {
            if (r == c) continue;
            const double f = a[r][c] / a[c][c];
            for (std::size_t j = 0; j < m; ++j) a[r][j] -= f * a[c][j];
            b[r] -= f * b[c];
        }
    for (std::size_t i = 0; i < m; ++i) b[i] /= a[i][i];
    return b;
}

double Dot(const Vector& a, const Vector& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

// A population of a task and k standardised covariates, correlated 0.3 with each other
// and 0.4 - 0.05 i with the task, and the case's covariate scores, 1.5, -1, 1.5, ... SDs out.
struct Population {
    int k = 0;
    Matrix rxx;
    Vector ryx, x;

    explicit Population(int covariates) : k(covariates), rxx(k, Vector(k, 0.3)), ryx(k), x(k) {
        for (int i = 0; i < k; ++i) {
            rxx[i][i] = 1;
            ryx[i] = 0.4 - 0.05 * i;
            x[i] = i % 2 == 0 ? 1.5 : -1;
        }
    }
    Vector Beta() const { return Solve(rxx, ryx); }
    double Distance2() const { return k == 0 ? 0 : Dot(x, Solve(rxx, x)); }
    double ConditionalSD() const { return std::sqrt(1 - Dot(ryx, Beta())); }
};

// One simulated study: n controls from the population (the task first in each row), then
// the case, whose task score lies delta conditional SDs from its conditional mean on average.
Rows Simulate(const Population& pop, int n, double delta, std::mt19937_64& random) {
    std::normal_distribution<double> z;
    const int k = pop.k;
    Matrix l(k, Vector(k, 0));  // Cholesky factor of the covariates' correlations
    for (int i = 0; i < k; ++i)
        for (int j = 0; j <= i; ++j) {
            double sum = pop.rxx[i][j];
            for (int m = 0; m < j; ++m) sum -= l[i][m] * l[j][m];
            l[i][j] = i == j ? std::sqrt(sum) : sum / l[j][j];
        }
    const Vector b = pop.Beta();
    const double sd = pop.ConditionalSD();
    const auto row = [&](const Vector& x, double shift) {
        std::vector<long double> r{Dot(b, x) + sd * (shift + z(random))};
        r.insert(r.end(), x.begin(), x.end());
        return r;
    };
    Rows study;
    for (int i = 0; i < n; ++i) {
        Vector e(k), x(k, 0);
        for (double& v : e) v = z(random);
        for (int r = 0; r < k; ++r)
            for (int c = 0; c <= r; ++c) x[r] += l[r][c] * e[c];
        study.controls.push_back(row(x, 0));
    }
    study.caseRow = row(pop.x, delta);
    return study;
}

// The engine's percentage below for the study, from its summary statistics.
long double EnginePercentBelow(const Rows& study, int draws) {
    tTestOptions options;
    options.draws = draws;
    options.fixedSeed = false;
    return CovariateMonteCarloTest(FromRaw(study), options).results(PercentBelow);
}

// The prediction test's one-tailed p: the case's residual from the controls' least-squares
// fit over s sqrt(1 + h), h = d'(X'X)^-1 d, against Student's t with n - k - 1 degrees of
// freedom.
double PredictionTestP(const Rows& study) {
    const LeastSquaresFit fit = LeastSquares(study.controls, 1);
    const std::vector<long double> d = DesignRow(study.caseRow, 1);
    long double residual = study.caseRow[0], h = 0;
    for (std::size_t i = 0; i < d.size(); ++i) {
        residual -= fit.b[i][0] * d[i];
        for (std::size_t j = 0; j < d.size(); ++j) h += d[i] * fit.xtxInverse[i][j] * d[j];
    }
    const double nu = static_cast<double>(study.controls.size() - d.size());
    const double s = std::sqrt(static_cast<double>(fit.rss[0][0]) / nu);
    return boost::math::cdf(boost::math::students_t(nu),
                            static_cast<double>(residual) / (s * std::sqrt(1 + static_cast<double>(h))));
}

// The engine's one-tailed p is the prediction test's, within its Monte Carlo error.
TEST(DeficitPower, TheEnginesPIsThePredictionTestsP) {
    std::mt19937_64 random(20261209);
    for (int k = 0; k <= 5; ++k) {
        const Rows study = Simulate(Population(k), k + 6 + 5 * k, -2, random);
        const double p = PredictionTestP(study);
        const int draws = 200'000;
        EXPECT_NEAR(static_cast<double>(EnginePercentBelow(study, draws)) / 100, p,
                    5 * std::sqrt(p * (1 - p) / draws) + 1e-6)
            << k;
    }
}

// Whole studies simulated and each tested by the engine: the share significant is the
// integral's power, within the simulation's error. Leaving out the leverage of the
// case's covariates would give about 0.65 here against 0.44.
TEST(DeficitPower, AgreesWithSimulatedStudiesTestedByTheEngine) {
    const Population pop(2);
    const int n = 8, studies = 1000;
    std::mt19937_64 random(7);
    int significant = 0;
    for (int i = 0; i < studies; ++i)
        if (EnginePercentBelow(Simulate(pop, n, -2.5, random), 1000) < 5) ++significant;
    const double power = DeficitPower({n, pop.k, -2.5, pop.Distance2(), 0.05, Alternative::Less});
    EXPECT_NEAR(static_cast<double>(significant) / studies, power, 4 * std::sqrt(power * (1 - power) / studies));
}

}  // namespace
}  // namespace quorvane
