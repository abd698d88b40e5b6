#pragma once
// The Compute action from the first check to the finished report, without a window:
// the window code forwards its state here and shows the outcome.

#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

// The field that receives the focus after a run that stopped.
enum class FocusTarget { Unchanged, Input1, Input2 };

struct ComputeOutcome {
    bool completed = false;                // the report is ready
    FocusTarget focus = FocusTarget::Unchanged;
    std::vector<std::string> reportLines;  // to append to memoResults, when completed
    RunFacts facts;                        // the numbers of the report, when completed
};

// The error shown when the correlation matrix is refused, whatever the input mode.
inline const std::string kNotPositiveDefinite =
    "Analysis cannot proceed as the correlation matrix is not positive definite: check for errors "
    "in entry of the control sample data (alternatively it may be that one variable is linearly "
    "dependent on other variables and should be dropped)";

struct ComputeOptions {
    bool saveInputs = true;  // the report tool writes no saved inputs file
    // Runs the long step, the statistics and the engine, which shows nothing and asks
    // the platform nothing; a window runs it off its GUI thread. Empty: run it here.
    std::function<void(const std::function<void()>& longStep)> runLongStep{};
};

// Runs the sequence; every check shows its own message through the platform. Errors of
// file input and output, floating-point faults, EArgumentError and EMatrixError are not
// caught: they reach the caller with the cursor back to normal.
ComputeOutcome RunCompute(const MainWindowState& window, Platform& platform,
                          const ComputeOptions& options = {});

// From the control sample's statistics and the case's scores (results.means, sds, corr and
// caseScores, task first) to the engine's results: the positive-definiteness gate, the case's
// z scores and the covariate Monte Carlo test. Both input modes end here, so the same statistics give
// the same results bit for bit.
// How the analysis of the statistics ended: with the results, or refused before any
// result was computed.
// A floating-point fault or the engine's matrix error stops the analysis with
// TooLittleSpread when some variable's SD is below kTooLittleSpread times its mean's
// magnitude; otherwise it reaches the caller.
// A dissociation runs the dissociation test, whose outcome holds both tasks' deficit tests.
// A case whose Z-CCC on a task lies beyond kMaxCaseDistance, or overflows, stops it with
// CaseOutOfReach before anything is computed; so does a draw beyond the normal
// distribution function's reach.
enum class AnalysisStop { None, NotPositiveDefinite, CaseOutOfReach, TooLittleSpread };
AnalysisStop AnalyseStatistics(int n, int k, AnalysisTest test, LimitType limitType, AnalysisResults& results);

constexpr long double kTooLittleSpread = 1e-6L;
// The variable (1 .. p, tasks first) whose SD is smallest against its mean's magnitude,
// among those below kTooLittleSpread; 0 when there is none.
int LeastSpreadVariable(const AnalysisResults& statistics, int p);
// The error shown for AnalysisStop::TooLittleSpread, naming LeastSpreadVariable.
std::string TooLittleSpreadMessage(const AnalysisResults& statistics, int p, AnalysisTest test);

// The error shown for AnalysisStop::CaseOutOfReach; whereToCheck ends it, e.g. "check the
// case's line of the data file (line 31) for an error of entry".
std::string CaseOutOfReachMessage(const std::string& whereToCheck, AnalysisTest test, int k);

// y[i] = offset + scale * (x[i] - m[i]) / s[i], for i = 1 .. count.
tVector StandardiseScores(const tVector& x, const tVector& m, const tVector& s, int count,
                          long double offset, long double scale);

}  // namespace quorvane
