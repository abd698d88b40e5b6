#include "analysis/reported_outcome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace quorvane {
namespace {

long double Phi(long double z) { return 0.5L * std::erfc(-z / std::sqrt(2.0L)); }

// The difference test's outcome on one tail: Z-DCCC with the limits of its draws, and the
// percentage more extreme with the limits the engine derives, on the case's own tail.
tDissociationOutcome Difference(bool upperTail) {
    tDissociationOutcome outcome;
    tCovariateResults& r = outcome.difference;
    const long double sign = upperTail ? 1 : -1;
    r(ZDCCC) = 2.5L * sign;
    r(ZDCCCLower) = upperTail ? 1.2L : -3.4L;
    r(ZDCCCUpper) = upperTail ? 3.4L : -1.2L;
    r(PercentBelow) = upperTail ? 98 : 2;
    r(OneTailedP) = 0.02L;
    r(TwoTailedP) = 0.04L;
    // Above the controls the percentage more extreme is 100 Phi(-Z): its lower limit
    // comes from the upper Z limit.
    outcome.moreExtreme = upperTail
                              ? tPercentWithLimits{2, 100 * Phi(-r(ZDCCCUpper)), 100 * Phi(-r(ZDCCCLower))}
                              : tPercentWithLimits{2, 100 * Phi(r(ZDCCCLower)), 100 * Phi(r(ZDCCCUpper))};
    return outcome;
}

struct LimitCase {
    const char* name;
    bool upperTail;
    LimitType limitType;
    std::optional<long double> zLower, zUpper, percentLower, percentUpper;
};

class DifferenceLimits : public ::testing::TestWithParam<LimitCase> {};

// The Z-DCCC limit asked for, and the percentage's limit that it yields, under its own
// name: in the upper tail a lower Z limit gives the percentage's upper limit.
TEST_P(DifferenceLimits, GiveThePercentagesLimitThatTheZLimitYields) {
    const LimitCase& c = GetParam();
    const ReportedOutcome r = ReportedDifference(Difference(c.upperTail), c.limitType);
    EXPECT_EQ(r.effect, c.upperTail ? 2.5L : -2.5L);
    EXPECT_EQ(r.percent, 2);
    EXPECT_EQ(r.oneTailedP, 0.02L);
    EXPECT_EQ(r.twoTailedP, 0.04L);
    EXPECT_EQ(r.effectLower, c.zLower);
    EXPECT_EQ(r.effectUpper, c.zUpper);
    ASSERT_EQ(r.percentLower.has_value(), c.percentLower.has_value());
    ASSERT_EQ(r.percentUpper.has_value(), c.percentUpper.has_value());
    EXPECT_NEAR(r.percentLower.value_or(0), c.percentLower.value_or(0), 5e-5L);
    EXPECT_NEAR(r.percentUpper.value_or(0), c.percentUpper.value_or(0), 5e-5L);
}

// Percentages from a normal table: 100 Phi(-3.4) = 0.03369, 100 Phi(-1.2) = 11.5070.
const auto None = std::nullopt;
INSTANTIATE_TEST_SUITE_P(
    Table, DifferenceLimits,
    ::testing::Values(
        LimitCase{"LowerTailTwoSided", false, LimitType::TwoSided, -3.4L, -1.2L, 0.033693L, 11.506967L},
        LimitCase{"LowerTailLower", false, LimitType::OneSidedLower, -3.4L, None, 0.033693L, None},
        LimitCase{"LowerTailUpper", false, LimitType::OneSidedUpper, None, -1.2L, None, 11.506967L},
        LimitCase{"UpperTailTwoSided", true, LimitType::TwoSided, 1.2L, 3.4L, 0.033693L, 11.506967L},
        LimitCase{"UpperTailLower", true, LimitType::OneSidedLower, 1.2L, None, None, 11.506967L},
        LimitCase{"UpperTailUpper", true, LimitType::OneSidedUpper, None, 3.4L, 0.033693L, None}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
