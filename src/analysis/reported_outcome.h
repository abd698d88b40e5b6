#pragma once
// A test's results as the report and the JSON give them: the point estimates, and each
// credible limit only where the limit type gives it.

#include <optional>

#include "analysis/analysis_types.h"

namespace quorvane {

struct ReportedOutcome {
    long double oneTailedP = 0;
    long double twoTailedP = 0;
    long double effect = 0;   // Z-CCC, or Z-DCCC
    long double percent = 0;  // below the case, or more extreme than the case's difference
    std::optional<long double> effectLower, effectUpper;
    std::optional<long double> percentLower, percentUpper;
};

// A deficit test's: of Z-CCC and of the percentage below the case, the limit asked for
// (both when two-sided).
ReportedOutcome ReportedDeficit(const tCovariateResults& results, LimitType limitType);

// The difference test's: of Z-DCCC the limit asked for (both when two-sided); of the
// percentage more extreme, which lies on the case's own tail, the limit that this Z-DCCC
// limit yields. In the lower tail that is the limit of the same name; in the upper tail
// the lower Z-DCCC limit yields the upper limit of the percentage, and the upper one the
// lower.
ReportedOutcome ReportedDifference(const tDissociationOutcome& outcome, LimitType limitType);

}  // namespace quorvane
