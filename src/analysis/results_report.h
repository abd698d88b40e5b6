#pragma once
// The plain-text report of one run, line for line.

#include <string>
#include <vector>

#include "analysis/analysis_types.h"

namespace quorvane {

// " <caption before its last colon>= <text>"
std::string FormatInputLine(const std::string& caption, const std::string& text);

// The lines to append to the results text; the separator line comes first only when
// the results text already holds a line.
std::vector<std::string> WriteReport(const AnalysisInputs& inputs, const AnalysisResults& results,
                                     const MainWindowState& window);

}  // namespace quorvane
