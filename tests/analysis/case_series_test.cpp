#include "analysis/case_series.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct HolmCase {
    const char* name;
    std::vector<long double> p, adjusted;
};

class Holm : public ::testing::TestWithParam<HolmCase> {};

// Worked by hand: sort, multiply the i-th smallest by m - i + 1, carry the largest so far,
// cap at 1, and give each back in its own place.
TEST_P(Holm, AdjustsAsWorkedByHand) {
    const HolmCase& c = GetParam();
    const std::vector<long double> adjusted = HolmAdjusted(c.p);
    ASSERT_EQ(adjusted.size(), c.adjusted.size());
    for (std::size_t i = 0; i < adjusted.size(); ++i) EXPECT_NEAR(adjusted[i], c.adjusted[i], 1e-15L) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Holm,
    ::testing::Values(HolmCase{"None", {}, {}}, HolmCase{"One", {0.2L}, {0.2L}},
                      HolmCase{"Unsorted", {0.01L, 0.04L, 0.03L, 0.005L}, {0.03L, 0.06L, 0.06L, 0.02L}},
                      HolmCase{"KeptMonotone", {0.04L, 0.02L}, {0.04L, 0.04L}},
                      HolmCase{"CappedAtOne", {0.3L, 0.6L, 0.9L}, {0.9L, 1, 1}},
                      HolmCase{"Ties", {0.01L, 0.01L}, {0.02L, 0.02L}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MultiplicitySentence, GivesTheExpectedCountExactly) {
    EXPECT_EQ(MultiplicitySentence(20, AnalysisTest::Deficit, '.'),
              "With 20 cases tested, about 20 x .05 = 1 of those without a deficit would be expected to have a "
              "one-tailed p below .05 by chance; the Holm-adjusted p values allow for this.");
    for (const auto& [m, separator, expected] :
         {std::tuple{3, '.', "3 x .05 = 0.15 of those without an abnormal"}, std::tuple{4, ',', "4 x .05 = 0,2 of"},
          std::tuple{30, '.', "30 x .05 = 1.5 of"}})
        EXPECT_NE(MultiplicitySentence(m, AnalysisTest::Dissociation, separator).find(expected), std::string::npos)
            << m;
}

// A dissociation with a one-sided lower limit: the upper limits are empty fields, and the
// conclusion, which holds commas, is quoted.
TEST(SeriesTableCsv, HasAHeaderEmptyFieldsForLimitsNotGivenAndQuotedConclusions) {
    RunFacts facts;
    facts.test = AnalysisTest::Dissociation;
    facts.limitType = LimitType::OneSidedLower;
    for (const auto& [line, p] : {std::pair{31, 0.001L}, std::pair{33, 0.04L}}) {
        AnalysisResults r;
        r.caseScores(1) = 38;
        r.caseScores(2) = 33;
        r.outcome.tasks[1].results(OneTailedP) = 0.5L;
        r.outcome.tasks[1].results(PercentBelow) = 50;
        r.outcome.difference(OneTailedP) = p;
        r.outcome.difference(TwoTailedP) = 2 * p;
        r.outcome.difference(PercentBelow) = 100 * p;
        r.outcome.difference(ZDCCC) = -2.5L;
        r.outcome.difference(ZDCCCLower) = -3;
        r.outcome.moreExtreme = {100 * p, 0.01L, 0.9L};
        facts.cases.push_back({line, r});
    }
    EXPECT_EQ(SeriesTableCsv(facts),
              "case,line,task_1,task_2,one_tailed_p,holm_p,z_dccc,z_dccc_lower,z_dccc_upper,percent_more_extreme,"
              "percent_more_extreme_lower,percent_more_extreme_upper,conclusion\r\n"
              "1,31,38,33,0.001,0.002,-2.5,-3,,0.10000000000000001,0.01,,\"classical dissociation (a deficit on "
              "task 1, none on task 2, a significant difference)\"\r\n"
              "2,33,38,33,0.040000000000000001,0.040000000000000001,-2.5,-3,,4,0.01,,\"no dissociation (a deficit "
              "on task 1 and none on task 2, but no significant difference)\"\r\n");
}

}  // namespace
}  // namespace quorvane
