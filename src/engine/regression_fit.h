#pragma once
// The regression of the tasks on the covariates from summary statistics, as both tests
// fit it: the failures they report, the case's design vector, and the fallback to unit
// scale where a pivot threshold stops a fit in the inputs' own units.

#include <array>
#include <string>

#include "engine/bayes_engines.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// The statistics an engine works on: m tasks, then k covariates.
struct SummaryInputs : tCaseStatistics {
    int m = 1;
};

struct FitFailure {
    std::string message;
};

bool FitRegression(const SummaryInputs& in, tMatrix& coef, tMatrix& resid, tMatrix& inv, FitFailure& failure);

// L with L L' = (X'X)^-1, by Cholesky's factorisation of its p x p block.
bool FactorInverse(const tMatrix& inv, int p, tMatrix& L, FitFailure& failure);

// The case's design vector: 1, then its covariate scores.
tVector DesignVector(const SummaryInputs& in);

// The same inputs with every variable brought near unit scale by a power of two, whose
// exponents are kept. Multiplying by a power of two is exact, so every intermediate of a
// fit is the exact scaled image of the unscaled one; only the absolute pivot thresholds
// see a difference.
SummaryInputs AtUnitScale(SummaryInputs in, std::array<int, kMaxVars>& exponent);

// Task `task` (1 or 2) of the difference test's inputs with the covariates: the inputs
// of a deficit test on that task alone.
SummaryInputs TaskWithCovariates(const SummaryInputs& both, int task);

// What `fit` makes of the inputs in their own units, or failing that at unit scale, where
// it returns what is not scale-free to the inputs' units. Fails rather than go on when an
// inverse stops or a factorisation meets a small pivot.
template <class Fit>
auto FitOrThrow(const SummaryInputs& in, Fit fit) {
    FitFailure failure;
    if (auto fitted = fit(in, failure)) return *fitted;
    ClearFloatingPointFaults();  // whatever the failed attempt raised is discarded with it
    std::array<int, kMaxVars> exponent{};
    if (auto fitted = fit(AtUnitScale(in, exponent), failure)) {
        fitted->ReturnToUnits(exponent);
        return *fitted;
    }
    ClearFloatingPointFaults();
    throw EMatrixError(failure.message);
}

}  // namespace quorvane
