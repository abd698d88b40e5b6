#pragma once
// The plain-text report of one run, line for line.

#include <string>
#include <vector>

#include "analysis/analysis_types.h"

namespace quorvane {

// The line that sets each report after the first apart from the one before it.
inline constexpr char kSeparatorLine[] = "------------------------------------";
static_assert(sizeof kSeparatorLine == 36 + 1);

// "Task of Interest" for variable 1, "Covariate <i>" for variable i + 1.
std::string VariableName(int variable);

// " <caption before its last colon>= <text>"
std::string FormatInputLine(const std::string& caption, const std::string& text);

// The lines to append to the results text; the separator line comes first only when
// the results text already holds a line.
std::vector<std::string> WriteReport(const AnalysisInputs& inputs, const AnalysisResults& results,
                                     const MainWindowState& window);

// The report of a run on entered summary statistics: the raw report's blocks, with the
// statistics as entered in place of the data file and the raw data.
std::vector<std::string> WriteSummaryReport(const AnalysisInputs& inputs,
                                            const AnalysisResults& results,
                                            const MainWindowState& window,
                                            const SummaryEntries& entries);

}  // namespace quorvane
