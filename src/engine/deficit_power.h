#pragma once
// The power of the deficit test, exactly, for planning a study: the probability that the
// test's p falls below alpha for a case whose expected task score lies delta conditional
// SDs from its conditional mean, against n controls drawn from the population.
//
// The deficit test's one-tailed p equals that of the frequentist prediction test
// t = (y* - x*'b) / (s sqrt(1 + h)), nu = n - k - 1. Given the controls' covariates, t is
// noncentral t with noncentrality delta / sqrt(1 + h), h = 1/n + T^2 / (n (n - 1)), where
// (n - k) T^2 / ((n - 1) k) is noncentral F(k, n - k) with noncentrality n Delta^2, and
// Delta^2 = z*' R_xx^-1 z* is the case's squared distance from the covariates' means.

#include <optional>
#include <vector>

#include "engine/bayes_engines.h"

namespace quorvane {

// The side the test looks for: a score below the controls (a deficit), above them, or
// either.
enum class Alternative { Less, Greater, TwoSided };

struct DeficitPowerQuestion {
    int n = 0;             // controls, at least k + 2
    int k = 0;             // covariates, 0 to 5
    double delta = 0;      // (expected y* - mu_y|x*) / sigma_y|x
    double distance2 = 0;  // Delta^2, the case's covariates' squared Mahalanobis distance
    double alpha = 0.05;   // in (0, 0.5]
    Alternative alternative = Alternative::Less;
};

// The question of a case of the population: n, k and the population's means, SDs and
// correlations (the task first) from population, the case's covariate scores from its
// caseScores (the task's is not used), and its expected task score. delta is the expected
// score's distance from the conditional mean in conditional SDs, and Delta^2 the
// covariates' z scores' squared Mahalanobis distance. Throws std::invalid_argument when
// the correlations cannot be inverted.
DeficitPowerQuestion DeficitPowerQuestionFor(const tCaseStatistics& population, long double expectedScore, double alpha,
                                             Alternative alternative);

// The probability of a significant result. For k = 0 the noncentral t's distribution
// function at the critical t (Boost.Math); otherwise its expectation over T^2, taken as
// the noncentral beta b = T^2 / (T^2 + (n - 1)), by tanh-sinh quadrature on (0, 1), to
// about 1e-10. Throws std::invalid_argument for a question outside the ranges above.
double DeficitPower(const DeficitPowerQuestion& question);

// The power as n grows without bound, where h tends to 0 and t to a normal variate with
// mean delta: Phi(z_alpha - delta) for Less, and its mirror images.
double DeficitPowerAsymptote(double delta, double alpha, Alternative alternative);

// The last n of a power curve, and how near the asymptote the curve goes.
constexpr int kMaxPlannedSampleSize = 1000;
constexpr double kNearAsymptote = 0.005;

struct PowerAtN {
    int n = 0;
    double power = 0;
    bool operator==(const PowerAtN&) const = default;
};

// A study planned for a target power: the power against n from the fewest controls the
// test takes (k + 2) until it lies within kNearAsymptote of the asymptote and has passed
// the target (when the asymptote lies above it), or to kMaxPlannedSampleSize (every n up
// to 40, then steps of about 5%); and the smallest n whose power reaches the target,
// found among all n, or nothing when the curve does not reach it.
struct DeficitStudyPlan {
    std::vector<PowerAtN> curve;
    double asymptote = 0;
    std::optional<int> sampleSize;
};

// The question's n is ignored. Throws std::invalid_argument as DeficitPower does, and for
// a target outside (alpha, 1).
DeficitStudyPlan PlanDeficitStudy(const DeficitPowerQuestion& question, double targetPower);

}  // namespace quorvane
