#pragma once
// The Compute action from the first check to the finished report, without a window: a
// front end turns its inputs into a request and shows the outcome.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

// How a request ended: with the report, or stopped by a check that showed its message,
// with the entry at fault to receive the focus.
struct AnalysisOutcome {
    bool completed = false;                // the report is ready
    InputFocus focus;                      // when stopped: the entry at fault, if any
    std::vector<std::string> reportLines;  // to append to the results text, when completed
    RunFacts facts;                        // the numbers of the report, when completed
};

// The error shown when the correlation matrix is refused, whatever the input mode.
inline const std::string kNotPositiveDefinite =
    "Analysis cannot proceed as the correlation matrix is not positive definite: check for errors "
    "in entry of the control sample data (alternatively it may be that one variable is linearly "
    "dependent on other variables and should be dropped)";

// No raw table limits entered statistics; the bound only keeps n a safe integer.
constexpr int kMaxSummarySampleSize = 1'000'000;

struct ComputeOptions {
    bool saveInputs = true;  // the report tool writes no saved inputs file
    // Runs the long step, the statistics and the engine, which shows nothing and asks
    // the platform nothing; a window runs it off its GUI thread. Empty: run it here.
    std::function<void(const std::function<void()>& longStep)> runLongStep{};
};

// n, k and (of a raw run) m as the checks read them.
struct CheckedCounts {
    int n = 0;
    int k = 0;
    int m = 1;
};

// The checks of the typed counts, each with its own message; the first that fails sets
// focus to its field. The bounds of n are the raw table's, or for entered statistics
// kMaxSummarySampleSize. The number of cases is checked for raw data only, last.
std::optional<CheckedCounts> CheckCounts(const AnalysisRequest& request, Platform& platform, InputFocus& focus);

// The inputs of the analysis of a request whose counts passed their checks.
AnalysisInputs InputsOf(const AnalysisRequest& request, CheckedCounts counts);

// The Compute sequence of either source: the checks of the counts (and of the entered
// statistics), the saved inputs file, the raw data file (asked for when the request names
// none), the analysis and the report. Every check shows its own message through the
// platform. Errors of file input and output, floating-point faults, EArgumentError and
// EMatrixError are not caught: they reach the caller with the cursor back to normal.
AnalysisOutcome RunAnalysis(const AnalysisRequest& request, Platform& platform, const ComputeOptions& options = {});

// How the analysis of the statistics ended: with the results, or refused before any
// result was computed. A floating-point fault or the engine's matrix error stops it with
// TooLittleSpread when some variable's SD is below kTooLittleSpread times its mean's
// magnitude; otherwise the error reaches the caller. A case whose Z-CCC on a task lies
// beyond kMaxCaseDistance, or overflows, stops it with CaseOutOfReach before anything is
// computed; so does a draw beyond the normal distribution function's reach.
enum class AnalysisStop { None, NotPositiveDefinite, CaseOutOfReach, TooLittleSpread };

// From the control sample's statistics and the case's scores (results.means, sds, corr and
// caseScores, tasks first) to the engine's results: the positive-definiteness gate, the
// case's z scores and the test, the dissociation test for a dissociation. Both sources
// end here, so the same statistics give the same results bit for bit.
AnalysisStop AnalyseStatistics(int n, int k, AnalysisTest test, LimitType limitType, AnalysisResults& results);

// A series: the cases, each holding the controls' statistics and its own scores, analysed
// as AnalyseStatistics would analyse each alone, to the last digit, but on one set of
// draws. The first case (in order) that a single run would stop stops the series.
struct SeriesStop {
    AnalysisStop stop = AnalysisStop::None;
    int caseIndex = 0;  // from 0: the case that stopped it
};
SeriesStop AnalyseSeries(int n, int k, AnalysisTest test, LimitType limitType, std::vector<AnalysisResults>& cases);

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
