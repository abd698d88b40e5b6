#pragma once
// The power of the dissociation tests, by simulation, for planning a study: the share of
// studies of n controls drawn from a population, with a case whose expected task scores
// are given, in which the difference test and the report's conclusion find what they
// look for.
//
// Each study: n controls from the multivariate normal of the population's tasks and
// covariates; the case's covariates fixed at its scores, its two task scores drawn from
// the population's conditional distribution given them, shifted so that their means are
// the expected scores. Then each task's deficit p by the prediction test (the deficit
// test's one-tailed p), and the difference test's two-tailed p from its own draws of
// Z_DCCC, as the engine makes them.

#include <array>
#include <atomic>
#include <functional>
#include <optional>

#include "engine/bayes_engines.h"

namespace quorvane {

constexpr int kPowerSimulations = 10'000;
constexpr int kPowerDraws = 10'000;
constexpr int kMinPowerSimulations = 100;
constexpr int kMaxPowerSimulations = 1'000'000;
constexpr int kMinPowerDraws = 1'000;
constexpr int kMaxPowerDraws = 1'000'000;
// The largest n simulated: each study draws its n controls afresh.
constexpr int kMaxPowerControls = 10'000;

struct DissociationPowerQuestion {
    // n, k, the population's means, SDs and correlations (the two tasks first, then the
    // covariates), and the case's covariate scores at caseScores(3 .. k + 2); caseScores(1)
    // and caseScores(2) are not used.
    tCaseStatistics population;
    std::array<long double, 2> expectedScores{};  // the case's mean score on each task
    double alpha = 0.05;                          // in (0, 0.5]
    int simulations = kPowerSimulations;
    int draws = kPowerDraws;  // of Z_DCCC, per study
};

// A probability estimated from the simulated studies, with its Monte Carlo standard
// error sqrt(P (1 - P) / simulations).
struct PowerEstimate {
    double power = 0;
    double standardError = 0;
};

struct DissociationPowerResult {
    PowerEstimate difference;  // the difference test's two-tailed p < alpha
    PowerEstimate classical;   // a deficit (one-tailed p < alpha) on exactly one task, and a significant difference
    PowerEstimate strong;      // deficits on both tasks, and a significant difference
    // Studies whose controls the difference test refuses (their residual covariance of the
    // tasks singular or too highly correlated): counted as finding nothing.
    int refusedStudies = 0;
};

// How a run reports: progress is called on the calling thread, with the number of studies
// done, about every 50 ms and once at the end; a run stops soon after cancel turns true.
struct PowerRunControl {
    std::function<void(int done)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

// The power, the same for the same question whatever the threads' scheduling: study i
// draws from a stream of its own, seeded from i. Runs on two threads. Nothing when
// cancelled. Throws std::invalid_argument for k outside 0 .. 5, n below k + 4 or above
// kMaxPowerControls, alpha outside (0, 0.5], simulations or draws outside their bounds,
// SDs not positive, a correlation of size 1 or more, correlations that are not positive
// definite, tasks whose conditional correlation given the covariates exceeds
// kMaxConditionalCorrelation, and scores that are not finite.
std::optional<DissociationPowerResult> DissociationPower(const DissociationPowerQuestion& question,
                                                         const PowerRunControl& control = {});

}  // namespace quorvane
