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
    LimitType limitType = LimitType::TwoSided;
    AnalysisResults results;               // the numbers of the report, for its figure
};

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

// y[i] = offset + scale * (x[i] - m[i]) / s[i], for i = 1 .. count.
tVector StandardiseScores(const tVector& x, const tVector& m, const tVector& s, int count,
                          long double offset, long double scale);

}  // namespace quorvane
