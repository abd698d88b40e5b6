#include "analysis/power_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

#include "analysis/analysis_run.h"
#include "numerics/text_format.h"
#include "support/fake_platform.h"

namespace quorvane {
namespace {

using testing::FakePlatform;
using testing::RecordedMessage;
using F = InputField;

// A deficit with one covariate: the case's expected score lies 39 below its conditional
// mean of 100 + 0.6 * 15 * (60 - 50) / 10 = 109, in conditional SDs of 15 sqrt(1 - 0.36) = 12.
PowerRequest DeficitRequest() {
    PowerRequest request;
    request.nText = "20";
    request.kText = "1";
    request.entries = {{"100", "50"}, {"15", "10"}, {"70", "60"}, {"0.6"}};
    return request;
}

// A dissociation without covariates: a deficit of two SDs on task 1 alone.
PowerRequest DissociationRequest() {
    PowerRequest request;
    request.test = AnalysisTest::Dissociation;
    request.nText = "20, 30";
    request.kText = "0";
    request.entries = {{"100", "100"}, {"15", "15"}, {"70", "100"}, {"0.5"}};
    request.simulationsText = "200";
    request.drawsText = "1000";
    return request;
}

std::string Joined(const std::vector<std::string>& lines) {
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

struct Refusal {
    const char* name;
    std::function<void(PowerRequest&)> change;
    MessageKind kind;
    std::string text;
    InputFocus focus;
    AnalysisTest test = AnalysisTest::Deficit;  // the dissociation's request changed instead
};

class PowerChecks : public ::testing::TestWithParam<Refusal> {};

// Each check shows one message naming the field, moves the focus there, and computes nothing.
TEST_P(PowerChecks, RefuseWithOneMessageAndTheFocusOnTheField) {
    const Refusal& c = GetParam();
    FakePlatform platform;
    PowerRequest request = c.test == AnalysisTest::Deficit ? DeficitRequest() : DissociationRequest();
    c.change(request);
    const PowerOutcome outcome = RunPower(request, platform);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, c.focus);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], (RecordedMessage{c.kind, DefaultCaption(c.kind), c.text}));
    EXPECT_TRUE(platform.cursorChanges.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, PowerChecks,
    ::testing::Values(
        Refusal{"EmptyN", [](PowerRequest& r) { r.nText = " , "; }, MessageKind::Warning,
                "INPUT ERROR\n\n(  Number of control participants (n) :  )\n\nData have not been entered in this "
                "field.",
                {F::N}},
        Refusal{"WordInTheList", [](PowerRequest& r) { r.nText = "10, 2x 40"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Number of control participants (n) :  2x  )\n\nEnter numeric data only.", {F::N}},
        Refusal{"NBeyondThePlans", [](PowerRequest& r) { r.nText = "10 20000"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Number of control participants (n) :  20000.000  )\nThe value for sample size must "
                "not be greater than 10000.",
                {F::N}},
        Refusal{"NTooSmallForK", [](PowerRequest& r) { r.nText = "40,2"; }, MessageKind::Error,
                " With a control sample size of  2, the maximum number of covariates is  0 ", {F::N}},
        Refusal{"UnitCorrelation", [](PowerRequest& r) { r.entries.correlations[0] = "-1"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Correlation of Covariate 1 with Task of Interest  -1  )\n\nA correlation must lie "
                "strictly between -1 and 1.",
                {F::Correlation, 0}},
        Refusal{"NotPositiveDefinite",
                [](PowerRequest& r) {
                    r.kText = "1";
                    r.entries = {{"1", "1", "1"}, {"1", "1", "1"}, {"0", "0", "0"}, {"0.9", "0.9", "-0.9"}};
                },
                MessageKind::Error, kNotPositiveDefinite, {F::Correlation, 0}, AnalysisTest::Dissociation},
        Refusal{"TasksRepeatEachOther",
                [](PowerRequest& r) {
                    r.kText = "1";
                    r.entries = {{"1", "1", "1"}, {"1", "1", "1"}, {"0", "0", "0"}, {"0.9995", "0", "0"}};
                },
                MessageKind::Error,
                "Power cannot be computed as the two tasks are almost perfectly correlated in the control "
                "population once the covariates are allowed for (conditional correlation 0.99950, where the test "
                "takes at most 0.999 in size): check the correlation of Task 2 with Task 1 and the tasks' "
                "correlations with the covariates.",
                {F::Correlation, 0}, AnalysisTest::Dissociation},
        Refusal{"AlphaAboveHalf", [](PowerRequest& r) { r.alphaText = " 0.7"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Significance level (alpha) :  0.7  )\nThe significance level must be greater than 0 "
                "and not greater than 0.5.",
                {F::Alpha}},
        Refusal{"TargetBelowAlpha", [](PowerRequest& r) { r.targetPowerText = "0.05"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Target power :  0.05  )\nThe target power must be greater than the significance "
                "level (0.05) and less than 1.",
                {F::TargetPower}},
        Refusal{"TooFewSimulations", [](PowerRequest& r) { r.simulationsText = "99"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Simulated studies :  99  )\nThe number of simulated studies must be a whole number "
                "from 100 to 1000000.",
                {F::Simulations}, AnalysisTest::Dissociation},
        Refusal{"FractionalDraws", [](PowerRequest& r) { r.drawsText = "1500.5"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Draws per study :  1500.5  )\nThe number of draws per study must be a whole number "
                "from 1000 to 1000000.",
                {F::Draws}, AnalysisTest::Dissociation}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// The report and the facts give the engine's power at each n and its plan, computed here
// from the question worked out by hand.
TEST(PowerRun, DeficitGivesTheExactPowerAndThePlan) {
    FakePlatform platform;
    PowerRequest request = DeficitRequest();
    request.nText = "10, 20 40";
    const PowerOutcome outcome = RunPower(request, platform);
    ASSERT_TRUE(outcome.completed);
    DeficitPowerQuestion question{0, 1, -39.0 / 12, 1, 0.05, Alternative::Less};
    const std::string report = Joined(outcome.reportLines);
    ASSERT_EQ(outcome.facts.powers.size(), 3u);
    for (const PowerAtN& point : outcome.facts.powers) {
        question.n = point.n;
        EXPECT_NEAR(point.power, DeficitPower(question), 1e-12) << point.n;
        const std::string line = " Power with " + std::to_string(point.n) + " controls = ";
        EXPECT_NE(report.find(line + FormatFixed(point.power, 0, 4)), std::string::npos);
    }
    const DeficitStudyPlan plan = PlanDeficitStudy(question, 0.8);
    ASSERT_TRUE(plan.sampleSize);
    EXPECT_EQ(outcome.facts.plan.sampleSize, plan.sampleSize);
    EXPECT_EQ(outcome.facts.plan.curve.size(), plan.curve.size());
    EXPECT_NE(report.find(" Smallest n with a power of at least 0.8 = " + std::to_string(*plan.sampleSize)),
              std::string::npos);
    EXPECT_NE(report.find("(asymptote) = " + FormatFixed(plan.asymptote, 0, 4)), std::string::npos);
}

// Delta = -1 conditional SD: however many controls, the power stays below .8.
TEST(PowerRun, AnUnreachableTargetIsSaidPlainlyWithItsAsymptote) {
    FakePlatform platform;
    PowerRequest request = DeficitRequest();
    request.kText = "0";
    request.entries = {{"100"}, {"15"}, {"85"}, {}};
    request.decimalSeparator = ',';
    const PowerOutcome outcome = RunPower(request, platform);
    ASSERT_TRUE(outcome.completed);
    const double asymptote = DeficitPowerAsymptote(-1, 0.05, Alternative::Less);
    EXPECT_FALSE(outcome.facts.plan.sampleSize);
    EXPECT_NE(Joined(outcome.reportLines)
                  .find(" No number of controls reaches the target power of 0,8: however many controls there are, "
                        "the power stays below its asymptote, " +
                        FormatFixed(asymptote, 0, 4, ',') + "."),
              std::string::npos);
    const std::string json = WritePowerJson(outcome.facts);
    for (const char* member : {"\"mode\": \"power\"", "\"test\": \"deficit\"", "\"n\": 20", "\"k\": 0",
                               "\"alpha\": 0.050000000000000003", "\"alternative\": \"less\"", "\"power_se\": 0",
                               "\"target_power\": 0.80000000000000004", "\"sample_size\": null", "\"asymptote\": ",
                               "\"curve\": [\n    {\"n\": 2, \"power\": "})
        EXPECT_NE(json.find(member), std::string::npos) << member;
}

// The simulated powers are the engine's, progress counts over all n asked, and a cancel
// between them leaves no report.
TEST(PowerRun, DissociationSimulatesEachNWithProgressAndCancels) {
    FakePlatform platform;
    const PowerRequest request = DissociationRequest();
    long long lastDone = 0, lastTotal = 0;
    const PowerOutcome outcome = RunPower(request, platform, {.progress = [&](long long done, long long total) {
                                                                  lastDone = done;
                                                                  lastTotal = total;
                                                              }});
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(lastDone, 400);
    EXPECT_EQ(lastTotal, 400);
    ASSERT_EQ(outcome.facts.simulated.size(), 2u);
    DissociationPowerQuestion question;
    question.population.n = 30;
    question.population.means(1) = question.population.means(2) = 100;
    question.population.sds(1) = question.population.sds(2) = 15;
    question.population.corr(1, 1) = question.population.corr(2, 2) = 1;
    question.population.corr(1, 2) = question.population.corr(2, 1) = 0.5L;
    question.expectedScores = {70, 100};
    question.simulations = 200;
    question.draws = 1000;
    const DissociationPowerResult direct = DissociationPower(question).value();
    EXPECT_EQ(outcome.facts.simulated[1].result.strong.power, direct.strong.power);
    EXPECT_EQ(outcome.facts.simulated[1].result.classical.power, direct.classical.power);
    const std::string json = WritePowerJson(outcome.facts);
    for (const char* member : {"\"alternative\": \"two-sided\"", "\"power_classical_dissociation_se\": ",
                               "\"power_strong_dissociation\": ", "{\"n\": 30, \"power\": "})
        EXPECT_NE(json.find(member), std::string::npos) << member;
    EXPECT_NE(Joined(outcome.reportLines).find("   Classical dissociation         = " +
                                               FormatFixed(direct.classical.power, 0, 4) + " (SE " +
                                               FormatFixed(direct.classical.standardError, 0, 4) + ")"),
              std::string::npos);

    std::atomic<bool> cancel = false;
    const PowerOutcome cancelled = RunPower(
        request, platform, {.progress = [&](long long done, long long) { cancel = cancel || done >= 200; },
                            .cancel = &cancel});
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.completed);
    EXPECT_TRUE(cancelled.reportLines.empty());
}

}  // namespace
}  // namespace quorvane
