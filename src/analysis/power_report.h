#pragma once
// The plain-text report of a study's plan: its inputs, what the power means under the
// model, the power at each n asked and, for the deficit test, the sample size.

#include <string>
#include <vector>

#include "analysis/power_run.h"

namespace quorvane {

// The title line: the companion's title for a plan of the test, "controlling for
// covariate(s)" or, with k = 0, "without covariates".
std::string PowerReportTitle(AnalysisTest test, int k);

// The lines to append to the results text, the separator line first when the request
// follows an earlier report. Powers and their standard errors to 4 decimals, with the
// request's decimal separator; the entered texts as typed, but for that separator.
std::vector<std::string> WritePowerReport(const PowerRequest& request, const PowerFacts& facts);

}  // namespace quorvane
