#pragma once
// The checks of summary statistics as entered (the controls' means, SDs and correlations
// and the case's scores), which the analysis takes in place of raw data.

#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

// The statistics as numbers, ready for the engine path: means, sds, caseScores and corr
// (unit diagonal, both triangles) in AnalysisResults' fields.
struct CheckedSummary {
    int n = 0;
    int k = 0;
    AnalysisResults statistics;
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
std::string EntryCaption(InputField field, int index, AnalysisTest test = AnalysisTest::Deficit);

// One entry as a number (ParseStatistic), or nothing after the warning that quotes its
// caption: no data entered, or no finite number.
std::optional<long double> ReadEntry(const std::string& text, InputField field, int index, AnalysisTest test,
                                     Platform& platform);

// The checks of the entered statistics for counts that passed theirs (inputs' n, k, p and
// test), in the order of the table, row by row: mean, SD, case's score,
// correlations. The first that fails shows its message and sets focus; nothing further is
// looked at. The correlation matrix's positive definiteness is left to the analysis.
std::optional<AnalysisResults> CheckSummaryEntries(const AnalysisInputs& inputs, const SummaryEntries& entries,
                                                   Platform& platform, InputFocus& focus);

// Every check of a summary request: its counts, then its entries.
std::optional<CheckedSummary> CheckSummaryRequest(const AnalysisRequest& request, Platform& platform,
                                                  InputFocus& focus);

}  // namespace quorvane
