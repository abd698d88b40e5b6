#include "analysis/reported_outcome.h"

namespace quorvane {

namespace {

std::optional<long double> Given(bool given, long double value) {
    return given ? std::optional(value) : std::nullopt;
}

}  // namespace

ReportedOutcome ReportedDeficit(const tCovariateResults& r, LimitType limitType) {
    const bool lower = limitType != LimitType::OneSidedUpper;
    const bool upper = limitType != LimitType::OneSidedLower;
    return {r(OneTailedP),
            r(TwoTailedP),
            r(ZCCC),
            r(PercentBelow),
            Given(lower, r(ZCCCLower)),
            Given(upper, r(ZCCCUpper)),
            Given(lower, r(PercentBelowLower)),
            Given(upper, r(PercentBelowUpper))};
}

ReportedOutcome ReportedDifference(const tDissociationOutcome& outcome, LimitType limitType) {
    const tCovariateResults& r = outcome.difference;
    const bool lower = limitType != LimitType::OneSidedUpper;
    const bool upper = limitType != LimitType::OneSidedLower;
    // The tail as the engine chose it for the percentage more extreme.
    const bool lowerTail = r(PercentBelow) <= 50;
    const tPercentWithLimits& extreme = outcome.moreExtreme;
    return {r(OneTailedP),
            r(TwoTailedP),
            r(ZDCCC),
            extreme.percent,
            Given(lower, r(ZDCCCLower)),
            Given(upper, r(ZDCCCUpper)),
            Given(lowerTail ? lower : upper, extreme.lower),
            Given(lowerTail ? upper : lower, extreme.upper)};
}

}  // namespace quorvane
