#include "analysis/summary_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/program_texts.h"
#include "analysis/reported_outcome.h"
#include "analysis/results_report.h"
#include "numerics/distrib.h"
#include "support/fake_platform.h"
#include "support/scratch_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;
using testing::RecordedMessage;

// Enough digits for an extended real to read back exactly.
std::string Exact(long double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%.21Lg", x);
    return text;
}

AnalysisRequest Summary(const std::string& n, const std::string& k, const SummaryEntries& entries,
                        AnalysisTest test = AnalysisTest::Deficit) {
    AnalysisRequest request;
    request.test = test;
    request.nText = n;
    request.kText = k;
    request.source = entries;
    return request;
}

// A sound table with two covariates, changed by each case in one place.
SummaryEntries SoundEntries() {
    return {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "0.3", "0.2"}};
}

struct Refusal {
    const char* name;
    const char* n;
    const char* k;
    std::function<void(SummaryEntries&)> change;
    MessageKind kind;
    std::string text;
    InputFocus focus;
    AnalysisTest test = AnalysisTest::Deficit;  // the sound table is a dissociation's with k = 1
};

class SummaryChecks : public ::testing::TestWithParam<Refusal> {};

// Each check shows one message naming the entry, moves the focus there, and nothing is
// saved or computed.
TEST_P(SummaryChecks, RefuseWithOneMessageAndTheFocusOnTheEntry) {
    const Refusal& c = GetParam();
    FakePlatform platform;
    const testing::ScratchFolder scratch("quorvane_summary");
    const fs::path& folder = scratch.Path();
    platform.executableFolder = folder.string();
    SummaryEntries entries = SoundEntries();
    c.change(entries);
    const AnalysisOutcome outcome = RunAnalysis(Summary(c.n, c.k, entries, c.test), platform);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, c.focus);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], (RecordedMessage{c.kind, DefaultCaption(c.kind), c.text}));
    EXPECT_EQ(fs::exists(folder / SummaryInputsFileName), c.focus.field == InputField::Correlation &&
                                                              c.kind == MessageKind::Error);
}

// The typed texts and, after them, the item that records a dissociation.
TEST(SummaryRun, ADissociationsSavedInputsRecordTheChoice) {
    FakePlatform platform;
    const testing::ScratchFolder scratch("quorvane_summary");
    platform.executableFolder = scratch.Path().string();
    SummaryEntries entries = SoundEntries();
    entries.correlations = {"0.9", "0.9", "-0.9"};  // refused after the save, before the engine
    EXPECT_FALSE(RunAnalysis(Summary("30", "1", entries, AnalysisTest::Dissociation), platform).completed);
    std::ifstream in(scratch.Path() / SummaryInputsFileName, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "30 1 50 10 30 12 3 14 40 8 42 0.9 0.9 -0.9 dissociation ");
}

const auto kSame = [](SummaryEntries&) {};
using F = InputField;

INSTANTIATE_TEST_SUITE_P(
    Table, SummaryChecks,
    ::testing::Values(
        Refusal{"EmptyN", "", "2", kSame, MessageKind::Warning,
                "INPUT ERROR\n\n(  Number of control participants (n) :  )\n\nData have not been entered in this "
                "field.",
                {F::N, 0}},
        Refusal{"FractionalN", "30.5", "2", kSame, MessageKind::Warning,
                "INPUT ERROR\n(  Number of control participants (n) :  30.500  )\nThe value for sample size must be "
                "an integer greater than 1.",
                {F::N, 0}},
        Refusal{"HugeN", "1000001", "2", kSame, MessageKind::Warning,
                "INPUT ERROR\n(  Number of control participants (n) :  1000001.000  )\nThe value for sample size "
                "must not be greater than 1000000.",
                {F::N, 0}},
        Refusal{"SixCovariates", "30", "6", kSame, MessageKind::Warning,
                "INPUT ERROR\n(  Number of covariates :  6.000  )\nThe value must be an integer from 0 to 5.",
                {F::K, 0}},
        Refusal{"TooFewControls", "3", "2", kSame, MessageKind::Error,
                " With a control sample size of  3, the maximum number of covariates is  1 ", {F::K, 0}},
        Refusal{"CovariateForTwoControls", "2", "1", kSame, MessageKind::Error,
                " With a control sample size of  2, the maximum number of covariates is  0 ", {F::K, 0}},
        // Without covariates: the task's statistics alone, and no correlation.
        Refusal{"ListsOfACovariateWithoutCovariates", "20", "0", kSame, MessageKind::Warning,
                "INPUT ERROR\nThe means hold 3 numbers; 1 is needed (the task of interest).", {F::None, 0}},
        Refusal{"CorrelationWithoutCovariates", "20", "0",
                [](SummaryEntries& e) { e = {{"50"}, {"10"}, {"30"}, {"0.5"}}; }, MessageKind::Warning,
                "INPUT ERROR\nThe correlations hold 1 number; none are needed (the task of interest alone has no "
                "correlation).",
                {F::None, 0}},
        Refusal{"ShortList", "30", "2", [](SummaryEntries& e) { e.sds.pop_back(); }, MessageKind::Warning,
                "INPUT ERROR\nThe SDs hold 2 numbers; 3 are needed (the task of interest, then 2 covariates).",
                {F::None, 0}},
        Refusal{"EmptyMean", "30", "2", [](SummaryEntries& e) { e.means[1] = " "; }, MessageKind::Warning,
                "INPUT ERROR\n\n(  Mean of Covariate 1  )\n\nData have not been entered in this field.",
                {F::Mean, 1}},
        Refusal{"WordForCase", "30", "2", [](SummaryEntries& e) { e.caseScores[2] = "4x"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Case's score on Covariate 2  4x  )\n\nEnter a finite number, with a full stop as "
                "the decimal point.",
                {F::CaseScore, 2}},
        Refusal{"CommaInMean", "30", "2", [](SummaryEntries& e) { e.means[0] = "50,5"; }, MessageKind::Warning,
                "INPUT ERROR\n(  Mean of Task of Interest  50,5  )\n\nEnter a finite number, with a full stop as "
                "the decimal point.",
                {F::Mean, 0}},
        Refusal{"InfiniteSD", "30", "2", [](SummaryEntries& e) { e.sds[0] = "inf"; }, MessageKind::Warning,
                "INPUT ERROR\n(  SD of Task of Interest  inf  )\n\nEnter a finite number, with a full stop as the "
                "decimal point.",
                {F::SD, 0}},
        // Too small for a double: not silently 0.
        Refusal{"TinyCaseScore", "30", "2", [](SummaryEntries& e) { e.caseScores[1] = "1e-400"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Case's score on Covariate 1  1e-400  )\n\nThe number is out of range: numbers other "
                "than 0 must lie between about 1e-308 and 1e308 in size.",
                {F::CaseScore, 1}},
        Refusal{"ZeroSD", "30", "2", [](SummaryEntries& e) { e.sds[2] = "0"; }, MessageKind::Warning,
                "INPUT ERROR\n(  SD of Covariate 2  0  )\n\nA standard deviation must be greater than 0.",
                {F::SD, 2}},
        Refusal{"NotANumberCorrelation", "30", "2", [](SummaryEntries& e) { e.correlations[2] = "nan"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Correlation of Covariate 2 with Covariate 1  nan  )\n\nEnter a finite number, with "
                "a full stop as the decimal point.",
                {F::Correlation, 2}},
        Refusal{"UnitCorrelation", "30", "2", [](SummaryEntries& e) { e.correlations[1] = "-1"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Correlation of Covariate 2 with Task of Interest  -1  )\n\nA correlation must lie "
                "strictly between -1 and 1.",
                {F::Correlation, 1}},
        Refusal{"NotPositiveDefinite", "30", "2",
                [](SummaryEntries& e) { e.correlations = {"0.9", "0.9", "-0.9"}; }, MessageKind::Error,
                kNotPositiveDefinite, {F::Correlation, 0}},
        // A dissociation: two tasks, k + 4 controls at least.
        Refusal{"DissociationOfThreeControls", "3", "0", kSame, MessageKind::Warning,
                "INPUT ERROR\n(  Number of control participants (n) :  3.000  )\nThe value for sample size must be "
                "an integer greater than 3 for a dissociation.",
                {F::N, 0}, AnalysisTest::Dissociation},
        Refusal{"DissociationOfACovariateForFourControls", "4", "1", kSame, MessageKind::Error,
                " With a control sample size of  4, the maximum number of covariates for a dissociation is  0 ",
                {F::K, 0}, AnalysisTest::Dissociation},
        Refusal{"DissociationsListsWithoutCovariates", "30", "0", kSame, MessageKind::Warning,
                "INPUT ERROR\nThe means hold 3 numbers; 2 are needed (task 1, task 2).", {F::None, 0},
                AnalysisTest::Dissociation},
        Refusal{"DissociationOfTwoCovariatesForFiveControls", "5", "2", kSame, MessageKind::Error,
                " With a control sample size of  5, the maximum number of covariates for a dissociation is  1 ",
                {F::K, 0}, AnalysisTest::Dissociation},
        Refusal{"DissociationsShortList", "30", "1", [](SummaryEntries& e) { e.means.pop_back(); },
                MessageKind::Warning,
                "INPUT ERROR\nThe means hold 2 numbers; 3 are needed (task 1, task 2, then 1 covariate).",
                {F::None, 0}, AnalysisTest::Dissociation},
        Refusal{"DissociationsTasksCorrelation", "30", "1", [](SummaryEntries& e) { e.correlations[0] = "1"; },
                MessageKind::Warning,
                "INPUT ERROR\n(  Correlation of Task 2 with Task 1  1  )\n\nA correlation must lie strictly between "
                "-1 and 1.",
                {F::Correlation, 0}, AnalysisTest::Dissociation}),
    [](const auto& info) { return std::string(info.param.name); });

// Student's t distribution function with nu = 1 or 2, in closed form.
long double StudentT(int nu, long double t) {
    if (nu == 1) return 0.5L + std::atan(t) / std::numbers::pi_v<long double>;
    return 0.5L + t / (2 * std::sqrt(2 + t * t));
}

struct ClosedFormCase {
    std::vector<long double> task, covariate;  // the controls
    long double caseTask, caseCovariate;
};

class SummaryClosedForm : public ::testing::TestWithParam<ClosedFormCase> {};

// With n = k + 2 (and k + 3) the posterior predictive distribution of a new control's
// conditional score is Student's t on n - 2 degrees of freedom: for k = 1 the case's
// percentile is 100 T((y* - yhat) / (s sqrt(1 + 1/n + (x* - xbar)^2 / ((n - 1) sx^2)))),
// with the regression written in the summary statistics themselves. They are worked
// out here from the raw scores and entered as text, as a user would type them.
TEST_P(SummaryClosedForm, PercentBelowAgreesWithinMonteCarloError) {
    const ClosedFormCase& c = GetParam();
    const int n = static_cast<int>(c.task.size());
    auto mean = [n](const std::vector<long double>& v) {
        long double sum = 0;
        for (const long double x : v) sum += x;
        return sum / n;
    };
    const long double my = mean(c.task), mx = mean(c.covariate);
    long double syy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
        syy += (c.task[i] - my) * (c.task[i] - my);
        sxx += (c.covariate[i] - mx) * (c.covariate[i] - mx);
        sxy += (c.task[i] - my) * (c.covariate[i] - mx);
    }
    const long double sy = std::sqrt(syy / (n - 1)), sx = std::sqrt(sxx / (n - 1));
    const long double r = sxy / std::sqrt(sxx * syy);

    const long double yhat = my + r * sy / sx * (c.caseCovariate - mx);
    const long double s = std::sqrt((n - 1) * sy * sy * (1 - r * r) / (n - 2));
    const long double leverage = 1.0L / n + (c.caseCovariate - mx) * (c.caseCovariate - mx) / ((n - 1) * sx * sx);
    const long double expected = 100 * StudentT(n - 2, (c.caseTask - yhat) / (s * std::sqrt(1 + leverage)));

    FakePlatform platform;
    const SummaryEntries entries{{Exact(my), Exact(mx)},
                                 {Exact(sy), Exact(sx)},
                                 {Exact(c.caseTask), Exact(c.caseCovariate)},
                                 {Exact(r)}};
    const AnalysisOutcome outcome = RunAnalysis(Summary(std::to_string(n), "1", entries), platform,
                                                ComputeOptions{.saveInputs = false});
    ASSERT_TRUE(outcome.completed);
    // The percentage's standard error is at most 50 / sqrt(1e6) = 0.05; allow five.
    EXPECT_NEAR(outcome.facts.results.outcome.tasks[0].results(PercentBelow), expected, 0.25L);
}

INSTANTIATE_TEST_SUITE_P(SmallSamples, SummaryClosedForm,
                         ::testing::Values(ClosedFormCase{{10, 12, 11}, {40, 38, 45}, 6, 50},
                                           ClosedFormCase{{52, 61, 47}, {12, 16, 10}, 60, 11},
                                           ClosedFormCase{{20, 25, 22, 30}, {3, 5, 4, 7}, 24, 5}));

TEST(SummaryRun, TakesSamplesFarBeyondTheRawTable) {
    FakePlatform platform;
    const AnalysisOutcome outcome =
        RunAnalysis(Summary("100000", "1", {{"100", "12"}, {"15", "3"}, {"70", "12"}, {"0.4"}}), platform,
                    ComputeOptions{.saveInputs = false});
    ASSERT_TRUE(outcome.completed);
    EXPECT_TRUE(platform.messages.empty());
    // Conditional mean 100 + 0.4 * 15 / 3 * 0 = 100, SD 15 sqrt(1 - 0.16) = 13.748 at large n.
    EXPECT_NEAR(outcome.facts.results.outcome.tasks[0].condMean, 100, 1e-9L);
    EXPECT_NEAR(outcome.facts.results.outcome.tasks[0].condSD, 15 * std::sqrt(0.84L), 1e-3L);
    EXPECT_NEAR(outcome.facts.results.outcome.tasks[0].results(PercentBelow),
                100 * 0.5L * std::erfc(30 / (15 * std::sqrt(0.84L)) / std::sqrt(2.0L)), 0.05L);
}

// A covariate near a million with an SD of a thousandth defeats the engine's matrix
// arithmetic: one error naming it, the focus on its SD.
TEST(SummaryRun, ScoresTooNarrowForTheirSizeStopNamingTheVariable) {
    FakePlatform platform;
    const AnalysisOutcome outcome =
        RunAnalysis(Summary("20", "1", {{"0", "1e6"}, {"1", "1e-3"}, {"0.3", "1e6"}, {"0.5"}}), platform,
                    ComputeOptions{.saveInputs = false});
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, (InputFocus{InputField::SD, 1}));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Analysis cannot proceed as the control sample's scores on covariate 1 vary too little for their "
              "size (SD 0.001 against a mean of 1000000) for the arithmetic to be exact: subtract a constant "
              "from those scores (for example a round number near their mean) and try again");
}

// Tasks swapped: the difference test mirrored to the last digit, the same conclusion and note.
TEST(SummaryRun, SwappedTasksGiveTheMirroredDifferenceAndTheBorderlineNote) {
    const auto run = [](const char* y1, const char* y2, const char* r31, const char* r32) {
        FakePlatform platform;
        return RunAnalysis(Summary("20", "1", {{"50", "50", "12"}, {"10", "10", "3"}, {y1, y2, "14"}, {"0.6", r31, r32}},
                                   AnalysisTest::Dissociation),
                           platform, ComputeOptions{.saveInputs = false});
    };
    const AnalysisOutcome a = run("29", "49", "0.3", "0.2"), b = run("49", "29", "0.2", "0.3");
    const ReportedOutcome r = ReportedDifference(a.facts.results.outcome, LimitType::TwoSided);
    const ReportedOutcome m = ReportedDifference(b.facts.results.outcome, LimitType::TwoSided);
    EXPECT_EQ(std::tuple(r.oneTailedP, r.twoTailedP, r.percent, r.percentLower, r.percentUpper, r.effect,
                         *r.effectLower),
              std::tuple(m.oneTailedP, m.twoTailedP, m.percent, m.percentLower, m.percentUpper, -m.effect,
                         -*m.effectUpper));
    const auto ending = [](const AnalysisOutcome& o) {
        return std::vector(o.reportLines.end() - 5, o.reportLines.end() - 1);
    };
    std::vector<std::string> expected = {
        " Conclusion: classical dissociation (a deficit on task 1, none on task 2, a significant difference)",
        " Note: the difference's two-tailed p lies within 3 Monte Carlo standard errors of .05, so the",
        " conclusion could go either way at this number of draws, and another program's random stream",
        " may decide it differently."};
    EXPECT_EQ(ending(a), expected);
    expected[0] = " Conclusion: classical dissociation (a deficit on task 2, none on task 1, a significant difference)";
    EXPECT_EQ(ending(b), expected);
}

// 3 SE of .05: a task's one-tailed p below the controls 0.000218; the two-tailed p 2 x 0.000156.
TEST(BorderlineCriteria, NameEachPWithinThreeStandardErrorsOfTheLevel) {
    using Row = std::tuple<long double, long double, long double, std::vector<std::string>>;  // percents below
    for (const auto& [below1, below2, difference, named] : std::vector<Row>{
             {5.06L, 5.08L, 1, {"task 1's one-tailed p"}},
             {94.94L, 4.94L, 2.54L, {"task 2's one-tailed p", "the difference's two-tailed p"}},
             {30, 4.93L, 2.56L, {}}}) {
        tDissociationOutcome o;
        for (auto [r, below] : {std::pair(&o.tasks[0].results, below1), {&o.tasks[1].results, below2},
                                {&o.difference, difference}})
            (*r)(PercentBelow) = below, (*r)(OneTailedP) = std::min(below, 100 - below) / 100,
            (*r)(TwoTailedP) = 2 * (*r)(OneTailedP);
        EXPECT_EQ(BorderlineCriteria(o), named);
    }
}

// However far beyond the controls, from raw data or statistics, refused before any draw.
class FarCaseScores : public ::testing::TestWithParam<std::tuple<const char*, AnalysisTest, bool>> {};

TEST_P(FarCaseScores, AreRefusedBeforeAnyDraw) {
    const auto [score, test, raw] = GetParam();
    const bool two = test == AnalysisTest::Dissociation;
    FakePlatform platform;
    const testing::ScratchFolder scratch("quorvane_far");
    platform.executableFolder = scratch.Path().string();
    platform.openAnswers.push_back((scratch.Path() / "far.txt").string());
    std::ofstream(scratch.Path() / "far.txt") << "50 30\n52 33\n47 29\n55 35\n49 31\n" << score << " 30\n";
    AnalysisRequest request = Summary("5", "0",
                                      two ? SummaryEntries{{"50", "30"}, {"3", "2"}, {score, "30"}, {"0.5"}}
                                          : SummaryEntries{{"50"}, {"3"}, {score}, {}},
                                      test);
    if (raw) request.source = RawDataFile{};
    Seed1 = Seed2 = 1;  // a test that started its streams would have set them
    EXPECT_FALSE(RunAnalysis(request, platform).completed);
    EXPECT_TRUE(Seed1 == 1 && Seed2 == 1);
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_EQ(platform.messages.back().text,
              std::string("Analysis cannot proceed as the case's score on ") +
                  (two ? "task 1 or task 2" : "the task of interest") +
                  " lies implausibly far from the scores of the control sample: check the case's " +
                  (raw ? "line of the data file (line 6)" : "scores and the statistics as entered") +
                  " for an error of entry");
}

INSTANTIATE_TEST_SUITE_P(Table, FarCaseScores,
                         ::testing::Combine(::testing::Values("1e6", "1e11", "1e20", "1e300", "1e308", "-1e12"),
                                            ::testing::Values(AnalysisTest::Deficit, AnalysisTest::Dissociation),
                                            ::testing::Bool()));

}  // namespace
}  // namespace quorvane
