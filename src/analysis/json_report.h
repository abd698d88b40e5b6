#pragma once
// The machine-readable report: one JSON object with the inputs and the numbers of the
// text report's OUTPUTS block, for scripts in R, Python and the like.

#include <string>

#include "analysis/analysis_types.h"

namespace quorvane {

// The object, pretty-printed, ending in a line break. Numbers are the results rounded to
// double and written with 17 significant digits, so each reads back to the same double;
// a limit that the limit type does not give is null. mode is "raw" or "summary"; the data
// file is written only when the run read one. test is "deficit", whose results follow as
// members of their own, or "dissociation", whose results are the objects task_1 and
// task_2 (each a deficit's members), conditional_correlation and the object dissociation.
// A series of cases gives m and, in place of the results, cases: a list of objects, each
// with the case's number (case) and line, the results as a single case gives them, and
// holm_p, its one-tailed p adjusted across the series.
std::string WriteJsonReport(const RunFacts& facts);

}  // namespace quorvane
