#pragma once
// The Compute action of the companion program: the analysis from summary statistics
// (the controls' means, SDs and correlations and the case's scores) instead of raw data.
// It checks every entry, then goes through the raw program's engine path.

#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

// No raw table limits the sample here; the bound only keeps n a safe integer.
constexpr int kMaxSummarySampleSize = 1'000'000;

// An entry of the companion's main window; index counts from 0 within its list
// (variables tasks first; correlations in SummaryEntries order).
enum class SummaryField { None, N, K, Mean, SD, CaseScore, Correlation };
struct SummaryFocus {
    SummaryField field = SummaryField::None;
    int index = 0;
    bool operator==(const SummaryFocus&) const = default;
};

// The statistics as numbers, ready for the engine path: means, sds, caseScores and corr
// (unit diagonal, both triangles) in AnalysisResults' fields.
struct CheckedSummary {
    int n = 0;
    int k = 0;
    AnalysisResults statistics;
};

struct SummaryOutcome {
    bool completed = false;
    SummaryFocus focus;                    // the entry at fault when the run stopped
    std::vector<std::string> reportLines;  // to append to memoResults, when completed
    RunFacts facts;
};

// A finite number as the C library reads it (decimal or hexadecimal, exponent allowed;
// a full stop as the decimal point, the programs keeping the C library's numeric locale
// at "C"), blanks around it ignored, within the range the programs take (InNumberRange);
// nothing for any other text. Read in extended precision, so that a statistic written
// with 21 significant digits comes back exactly.
std::optional<long double> ParseStatistic(const std::string& text);
// Whether the text is such a number but out of that range (1e400, 1e-400).
bool IsOutOfRangeNumber(const std::string& text);
// The number of covariates a typed text names, when it names a whole number from 0 to 5
// ("2.0" included, as the checks take it); nothing while it names none. Whether the
// analysis takes that many is for Compute to say.
std::optional<int> TypedCovariateCount(const std::string& text);

// The position in SummaryEntries::correlations of the correlation of variable row with
// variable column (row > column, both from 1).
int CorrelationIndex(int row, int column);
// "Mean of Covariate 2", "Correlation of Covariate 1 with Task of Interest", ...; in a
// dissociation "Mean of Task 1", "Correlation of Task 2 with Task 1", ...
std::string EntryCaption(SummaryField field, int index, AnalysisTest test = AnalysisTest::Deficit);

// Every check of the typed n, k and statistics of the window's test, in the order of the
// window (n, k, then the grid row by row: mean, SD, case's score, correlations). The first that fails shows its
// message and sets focus; nothing further is looked at. The correlation matrix's
// positive definiteness is left to the analysis.
std::optional<CheckedSummary> CheckSummaryInputs(const MainWindowState& window,
                                                 const SummaryEntries& entries,
                                                 Platform& platform, SummaryFocus& focus);

// The whole run: the checks, the companion's saved inputs file, the engine path shared
// with the raw program, and the report. Errors below the checks are not caught, as in
// RunCompute.
SummaryOutcome RunSummaryCompute(const MainWindowState& window, const SummaryEntries& entries,
                                 Platform& platform, const ComputeOptions& options = {});

}  // namespace quorvane
