#include "engine/dissociation_power.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "engine/engine_samples.h"
#include "numerics/distrib.h"

namespace quorvane {
namespace {

// Two tasks (means 100 and 50, SDs 15 and 10) correlated r, and k uncorrelated covariates
// each correlated a1 with task 1 and a2 with task 2; the case 1 SD above the mean on each
// covariate, where task j's conditional mean lies a_j k SDs up and its conditional SD is
// sqrt(1 - k a_j^2) SDs, and expected delta_j conditional SDs from that mean.
struct Plan {
    int n, k;
    double r, a1, a2, delta1, delta2;
};

DissociationPowerQuestion QuestionFor(const Plan& plan, int simulations, int draws) {
    DissociationPowerQuestion q;
    q.simulations = simulations;
    q.draws = draws;
    tCaseStatistics& s = q.population;
    s.n = plan.n;
    s.k = plan.k;
    const std::array a{plan.a1, plan.a2}, delta{plan.delta1, plan.delta2};
    for (int i = 1; i <= plan.k + 2; ++i) {
        s.means(i) = i == 1 ? 100 : 50;
        s.sds(i) = i == 1 ? 15 : 10;
        s.caseScores(i) = s.means(i) + s.sds(i);
        for (int j = 1; j <= plan.k + 2; ++j)
            s.corr(i, j) = i == j ? 1 : std::max(i, j) <= 2 ? plan.r : std::min(i, j) <= 2 ? a[std::min(i, j) - 1] : 0;
    }
    for (int j = 0; j < 2; ++j)
        q.expectedScores[j] =
            s.means(j + 1) + s.sds(j + 1) * (a[j] * plan.k + delta[j] * std::sqrt(1 - plan.k * a[j] * a[j]));
    return q;
}

// With the case equally far from its conditional means, the difference test rejects at its level.
TEST(DissociationPower, OfTheDifferenceIsAlphaWithoutADifference) {
    for (const Plan& plan :
         {Plan{10, 0, 0.5, 0, 0, 0, 0}, Plan{8, 2, 0.6, 0.3, 0.4, -2, -2}, Plan{25, 1, -0.2, 0.5, 0.2, -1, -1}})
        EXPECT_NEAR(DissociationPower(QuestionFor(plan, 2000, 1000))->difference.power, 0.05,
                    4 * std::sqrt(0.05 * 0.95 / 2000));
}

// With many controls Z_DCCC is the case's (z1 - z2) / sqrt(2 - 2 rho), and the case's own
// scores vary with unit variances and correlation rho: Z_DCCC ~ N(d, 1) with
// d = (delta1 - delta2) / sqrt(2 - 2 rho), rejected two-tailed with probability
// Phi(-z - d) + Phi(-z + d), z = 1.959964.
TEST(DissociationPower, TendsToTheNormalTheoryPowerOfZScores) {
    for (const auto& [r, delta1, delta2] :
         {std::tuple(0.5, -2.5, 0.0), std::tuple(0.0, -1.0, 1.0), std::tuple(-0.3, -3.0, -1.0)}) {
        const double d = (delta1 - delta2) / std::sqrt(2 - 2 * r);
        const double power = StandardNormalCdf(-1.959964 - d) + StandardNormalCdf(-1.959964 + d);
        const auto estimate = DissociationPower(QuestionFor({1000, 0, r, 0, 0, delta1, delta2}, 1000, 1000));
        EXPECT_NEAR(estimate->difference.power, power, 4 * std::sqrt(power * (1 - power) / 1000));
    }
}

// Studies simulated apart, each analysed whole by the engine: the shares of significant
// differences and of the conclusion's dissociations agree with the simulation's.
TEST(DissociationPower, AgreesWithWholeAnalysesOfSimulatedStudies) {
    const Plan plan{10, 1, 0.5, 0.4, 0.3, -4.5, -1.5};
    const DissociationPowerQuestion q = QuestionFor(plan, 2000, 2000);
    const tCaseStatistics& pop = q.population;
    // Task j = a_j c + s_j u_j in SDs, the u's correlated rho.
    const double s1 = std::sqrt(1 - plan.a1 * plan.a1), s2 = std::sqrt(1 - plan.a2 * plan.a2);
    const double rho = (plan.r - plan.a1 * plan.a2) / (s1 * s2);
    std::mt19937_64 random(11);
    std::normal_distribution<double> z;
    const auto row = [&](double c, double shift1, double shift2) {
        const double u1 = z(random), u2 = rho * u1 + std::sqrt(1 - rho * rho) * z(random);
        return std::vector<long double>{pop.means(1) + pop.sds(1) * (shift1 + plan.a1 * c + s1 * u1),
                                        pop.means(2) + pop.sds(2) * (shift2 + plan.a2 * c + s2 * u2),
                                        pop.means(3) + pop.sds(3) * c};
    };
    const int studies = 500;
    tTestOptions options;
    options.draws = 2000;
    options.fixedSeed = false;
    std::array<int, 3> found{};  // difference, classical, strong
    for (int i = 0; i < studies; ++i) {
        std::vector<std::vector<long double>> controls;
        for (int c = 0; c < plan.n; ++c) controls.push_back(row(z(random), 0, 0));
        Seed1 = 1 + static_cast<int>(random() % 2147483562), Seed2 = 1 + static_cast<int>(random() % 2147483398);
        const tDissociationOutcome out =
            DissociationMonteCarloTest(FromRaw(controls, row(1, plan.delta1 * s1, plan.delta2 * s2), 2), options);
        const auto deficit = [&](int j) {
            return out.tasks[j].results(OneTailedP) < 0.05 && out.tasks[j].results(PercentBelow) < 50;
        };
        const bool significant = out.difference(TwoTailedP) < 0.05;
        found[0] += significant;
        found[1] += significant && deficit(0) != deficit(1);
        found[2] += significant && deficit(0) && deficit(1);
    }
    const DissociationPowerResult power = *DissociationPower(q);
    const std::array estimates{power.difference.power, power.classical.power, power.strong.power};
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(static_cast<double>(found[j]) / studies, estimates[j],
                    4 * std::sqrt(estimates[j] * (1 - estimates[j]) * (1.0 / studies + 1.0 / q.simulations)))
            << j;
}

// The same question gives the same power, studies counted as they are done; a cancelled
// run gives nothing; questions outside the bounds are refused.
TEST(DissociationPower, IsReproducibleReportsProgressCancelsAndRefuses) {
    const DissociationPowerQuestion q = QuestionFor({12, 1, 0.5, 0.3, 0.3, -3, 0}, 200, 1000);
    int last = 0;
    PowerRunControl control;
    control.progress = [&](int done) { last = std::max(last, done); };
    const auto first = DissociationPower(q, control);
    const auto second = DissociationPower(q);
    EXPECT_EQ(last, 200);
    EXPECT_EQ(std::tuple(first->difference.power, first->classical.power, first->strong.power),
              std::tuple(second->difference.power, second->classical.power, second->strong.power));
    const std::atomic<bool> cancel{true};
    control.cancel = &cancel;
    EXPECT_FALSE(DissociationPower(q, control));
    // n, r, a1, simulations, draws, alpha: too few controls, too few simulations or draws,
    // alpha out of range, perfectly correlated tasks, correlations not positive definite.
    for (const auto& [n, r, a1, simulations, draws, alpha] :
         {std::tuple(4, 0.5, 0.3, 200, 1000, 0.05), std::tuple(12, 0.5, 0.3, 99, 1000, 0.05),
          std::tuple(12, 0.5, 0.3, 200, 999, 0.05), std::tuple(12, 0.5, 0.3, 200, 1000, 0.0),
          std::tuple(12, 0.5, 0.3, 200, 1000, 0.6), std::tuple(12, 1.0, 0.3, 200, 1000, 0.05),
          std::tuple(12, 0.5, 0.99, 200, 1000, 0.05)}) {
        DissociationPowerQuestion bad = QuestionFor({n, 1, r, a1, 0.3, -3, 0}, simulations, draws);
        bad.alpha = alpha;
        EXPECT_THROW(DissociationPower(bad), std::invalid_argument) << n << " " << r << " " << a1;
    }
}

}  // namespace
}  // namespace quorvane
