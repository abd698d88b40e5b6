#include "analysis/analysis_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "io/io_errors.h"
#include "analysis/program_texts.h"
#include "analysis/raw_data_file.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "numerics/errors.h"
#include "support/fake_platform.h"
#include "support/scratch_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;
using testing::RecordedMessage;

const std::string kNotPositiveDefinite =
    "Analysis cannot proceed as the correlation matrix is not positive definite: check for errors "
    "in entry of the control sample data (alternatively it may be that one variable is linearly "
    "dependent on other variables and should be dropped)";

class ComputeSequence : public ::testing::Test {
protected:
    void SetUp() override {
        platform_.executableFolder = folder_.string();
        platform_.currentDirectory = folder_.string();
    }

    std::string WriteData(const std::string& name, const std::string& content) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    AnalysisOutcome Compute(const std::string& n, const std::string& k,
                            AnalysisTest test = AnalysisTest::Deficit) {
        request_.nText = n;
        request_.kText = k;
        request_.test = test;
        return RunAnalysis(request_, platform_);
    }

    bool Saved() const { return fs::exists(folder_ / InputsFileName); }
    std::string SavedText() const {
        std::ifstream in(folder_ / InputsFileName, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    const testing::ScratchFolder scratch_{"quorvane_run"};
    const fs::path folder_ = scratch_.Path();
    FakePlatform platform_;
    AnalysisRequest request_;
};

const char* const kThreeControls = "10 40\r\n12 38\r\n11 45\r\n6 50\r\n";

// The first line of the report that starts with the prefix, or an empty string.
std::string LineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) return line;
    return {};
}

// Failures of the typed inputs: one warning or error box, the focus, and nothing saved
// or asked for.
struct InputFailure {
    const char* name;
    const char* n;
    const char* k;
    MessageKind kind;
    const char* text;
    InputFocus focus;
    AnalysisTest test = AnalysisTest::Deficit;
    const char* m = "1";
};

class InputFailures : public ComputeSequence, public ::testing::WithParamInterface<InputFailure> {};

TEST_P(InputFailures, ShowOneMessageMoveTheFocusAndSaveNothing) {
    const InputFailure& c = GetParam();
    request_.mText = c.m;
    const AnalysisOutcome outcome = Compute(c.n, c.k, c.test);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, c.focus);
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0], (RecordedMessage{c.kind, DefaultCaption(c.kind), c.text}));
    EXPECT_FALSE(Saved());
    EXPECT_TRUE(platform_.openDialogs.empty());
    EXPECT_TRUE(platform_.cursorChanges.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputFailures,
    ::testing::Values(
        InputFailure{"EmptyNStopsBeforeK", "", "", MessageKind::Warning,
                     "INPUT ERROR\n\n(  Number of control participants (n) :  )\n\nData have not been "
                     "entered in this field.",
                     InputFocus{InputField::N}},
        InputFailure{"FractionalN", "2.5", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of control participants (n) :  2.500  )\nThe value for "
                     "sample size must be an integer greater than 1.",
                     InputFocus{InputField::N}},
        InputFailure{"OneControl", "1", "0", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of control participants (n) :  1.000  )\nThe value for "
                     "sample size must be an integer greater than 1.",
                     InputFocus{InputField::N}},
        InputFailure{"NotANumberK", "12", "1-2", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of covariates :  1-2  )\n\nEnter numeric data only.",
                     InputFocus{InputField::K}},
        InputFailure{"SixCovariates", "12", "6", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of covariates :  6.000  )\nThe value must be an integer from 0 to 5.",
                     InputFocus{InputField::K}},
        InputFailure{"NegativeCovariates", "12", "-1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of covariates :  -1.000  )\nThe value must be an integer from 0 to 5.",
                     InputFocus{InputField::K}},
        InputFailure{"TooManyControlsForTheTable", "500", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of control participants (n) :  500.000  )\nThe value for "
                     "sample size must not be greater than 499.",
                     InputFocus{InputField::N}},
        InputFailure{"BeyondTheIntegerRange", "9999999999", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of control participants (n) :  9999999999.000  )\nThe value "
                     "for sample size must not be greater than 499.",
                     InputFocus{InputField::N}},
        InputFailure{"CovariateForTwoControls", "2", "1", MessageKind::Error,
                     " With a control sample size of  2, the maximum number of covariates is  0 ",
                     InputFocus{InputField::K}},
        InputFailure{"TwoCovariatesForThreeControls", "3", "2", MessageKind::Error,
                     " With a control sample size of  3, the maximum number of covariates is  1 ",
                     InputFocus{InputField::K}},
        InputFailure{"FiveCovariatesForSixControls", "6", "5", MessageKind::Error,
                     " With a control sample size of  6, the maximum number of covariates is  4 ",
                     InputFocus{InputField::K}},
        // A dissociation needs n - k - 2 > 1: k + 4 controls, four at least.
        InputFailure{"DissociationOfThreeControls", "3", "0", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of control participants (n) :  3.000  )\nThe value for sample size must "
                     "be an integer greater than 3 for a dissociation.",
                     InputFocus{InputField::N}, AnalysisTest::Dissociation},
        InputFailure{"DissociationOfACovariateForFourControls", "4", "1", MessageKind::Error,
                     " With a control sample size of  4, the maximum number of covariates for a dissociation is  0 ",
                     InputFocus{InputField::K}, AnalysisTest::Dissociation},
        InputFailure{"DissociationOfTwoCovariatesForFiveControls", "5", "2", MessageKind::Error,
                     " With a control sample size of  5, the maximum number of covariates for a dissociation is  1 ",
                     InputFocus{InputField::K}, AnalysisTest::Dissociation},
        InputFailure{"DissociationOfFiveCovariatesForEightControls", "8", "5", MessageKind::Error,
                     " With a control sample size of  8, the maximum number of covariates for a dissociation is  4 ",
                     InputFocus{InputField::K}, AnalysisTest::Dissociation},
        InputFailure{"NoCases", "12", "1", MessageKind::Warning,
                     "INPUT ERROR\n\n(  Number of cases (m) :  )\n\nData have not been entered in this field.",
                     InputFocus{InputField::M}, AnalysisTest::Deficit, ""},
        InputFailure{"ZeroCases", "12", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of cases (m) :  0.000  )\nThe value must be an integer of 1 or more.",
                     InputFocus{InputField::M}, AnalysisTest::Deficit, "0"},
        InputFailure{"FractionalCases", "12", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of cases (m) :  2.500  )\nThe value must be an integer of 1 or more.",
                     InputFocus{InputField::M}, AnalysisTest::Deficit, "2.5"},
        InputFailure{"TooLongASeries", "12", "1", MessageKind::Warning,
                     "INPUT ERROR\n(  Number of cases (m) :  1001.000  )\nThe value must not be greater than 1000: a "
                     "series of at most 1000 cases is analysed at a time, as the report gives each case's outputs "
                     "and a table of them all.",
                     InputFocus{InputField::M}, AnalysisTest::Deficit, "1001"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComputeSequence, CancellingTheDialogKeepsTheSavedInputs) {
    platform_.openAnswers.push_back(std::nullopt);
    const AnalysisOutcome outcome = Compute("25", "2");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, InputFocus{});
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0],
              (RecordedMessage{MessageKind::Information, "Information", "Load data cancelled by user"}));
    EXPECT_EQ(SavedText(), "25 2       ");
    EXPECT_EQ(platform_.cursorChanges, (std::vector<bool>{true, false}));
}

// The fewest controls of each test for one covariate and for five reach the data file.
TEST_F(ComputeSequence, TheFewestControlsOfEachTestReachTheDataFile) {
    platform_.openAnswers = {std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    Compute("3", "1");
    Compute("7", "5");
    Compute("5", "1", AnalysisTest::Dissociation);
    Compute("9", "5", AnalysisTest::Dissociation);
    EXPECT_EQ(platform_.openDialogs.size(), 4u);
}

// Without covariates, two controls for a deficit and four for a dissociation: a file of
// the task scores alone, and its report.
TEST_F(ComputeSequence, WithoutCovariatesTheFewestControlsOfEachTestAreAnalysed) {
    platform_.openAnswers = {WriteData("one.txt", "10\n12\n6\n"),
                             WriteData("two.txt", "10 40\n12 38\n11 45\n13 41\n6 50\n")};
    const AnalysisOutcome deficit = Compute("2", "0");
    ASSERT_TRUE(deficit.completed);
    EXPECT_EQ(deficit.reportLines[1], ReportTitle(AnalysisTest::Deficit, false, 0));
    EXPECT_EQ(LineStartingWith(deficit.reportLines, " Number of covariates"), " Number of covariates = 0");
    const AnalysisOutcome dissociation = Compute("4", "0", AnalysisTest::Dissociation);
    ASSERT_TRUE(dissociation.completed);
    EXPECT_EQ(dissociation.facts.k, 0);
    EXPECT_LT(dissociation.facts.results.outcome.difference(OneTailedP), 0.05L);
    EXPECT_EQ(platform_.messages[0].text,
              "Data file consisting of n + 1 =  3 cases (rows) and  1 variable (column) was loaded successfully ");
}

TEST_F(ComputeSequence, AnUnwritableSavedInputsFileStopsBeforeTheDialog) {
    fs::create_directory(folder_ / InputsFileName);  // a folder where the file should go
    fs::create_directory(folder_ / InputsFileName / "keep");
    EXPECT_THROW(Compute("25", "2"), EInOutError);
    EXPECT_TRUE(platform_.openDialogs.empty());
    EXPECT_TRUE(platform_.cursorChanges.empty());
}

// Failures after the data are read: the error escapes to the general handler with the
// cursor back to normal, or the run shows its own box; no report either way.
TEST_F(ComputeSequence, AMissingFileEndsTheRunWithItsIOError) {
    const std::string path = (folder_ / "gone.txt").string();
    platform_.openAnswers.push_back(path);
    try {
        Compute("3", "1");
        FAIL() << "expected EInOutError";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.what(), "The data file \"" + path + "\" cannot be read: No such file or directory");
    }
    EXPECT_FALSE(platform_.busyCursor);
    EXPECT_TRUE(Saved());
}

TEST_F(ComputeSequence, AShortFileIsRefusedBeforeAnyStatistics) {
    platform_.openAnswers.push_back(WriteData("short.txt", "10 40\n12 38\n11 45\n"));
    EXPECT_THROW(Compute("3", "1"), EDataFileError);
    EXPECT_FALSE(platform_.busyCursor);
}

TEST_F(ComputeSequence, ACovariateEqualToTheTaskIsNotPositiveDefinite) {
    platform_.openAnswers.push_back(WriteData("dup.txt", "10 10\n12 12\n11 11\n13 13\n6 6\n"));
    const AnalysisOutcome outcome = Compute("4", "1");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, InputFocus{InputField::N});
    ASSERT_EQ(platform_.messages.size(), 2u);  // the loader's success box, then the refusal
    EXPECT_EQ(platform_.messages[1], (RecordedMessage{MessageKind::Error, "Error", kNotPositiveDefinite}));
    EXPECT_FALSE(platform_.busyCursor);
}

// A variable whose control scores do not vary, in any units: its sum is not exactly n
// times a constant that is no binary fraction, so its SD would be rounding noise.
// Each pair alternates over the controls; the last differs only where a double rounds.
using ConstantScores = std::pair<const char*, const char*>;
class ConstantVariable
    : public ComputeSequence,
      public ::testing::WithParamInterface<std::tuple<ConstantScores, int, const char*>> {};

TEST_P(ConstantVariable, StopsWithOneErrorNamingTheVariable) {
    const auto [scores, variable, scale] = GetParam();
    const int first[] = {10, 12, 11, 13, 9, 12, 10, 14, 11, 12, 13, 6};
    const int second[] = {40, 38, 45, 41, 39, 42, 44, 37, 43, 40, 46, 50};
    std::string data;
    for (int i = 0; i < 12; ++i) {
        const std::string constant = i == 11 ? "6" : i % 2 == 0 ? scores.first : scores.second;
        const std::string task = variable == 1 ? constant : std::to_string(first[i]);
        const std::string covariate2 = variable == 3 ? constant : std::to_string(first[i]);
        data += task + scale + " " + std::to_string(second[i]) + scale + " " + covariate2 + scale + "\n";
    }
    platform_.openAnswers.push_back(WriteData("flat.txt", data));
    const AnalysisOutcome outcome = Compute("11", "2");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, InputFocus{InputField::N});
    ASSERT_EQ(platform_.messages.size(), 2u);  // the loader's success box, then the refusal
    const std::string name = variable == 1 ? "the task of interest" : "covariate 2";
    EXPECT_EQ(platform_.messages[1],
              (RecordedMessage{MessageKind::Error, "Error",
                               "Analysis cannot proceed as the control sample's scores on " + name +
                                   " do not vary (all controls have the same score)"}));
    EXPECT_FALSE(platform_.busyCursor);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConstantVariable,
    ::testing::Combine(::testing::Values(ConstantScores{"0.1", "0.1"}, ConstantScores{"0.7", "0.7"},
                                         ConstantScores{"1.1", "1.1"}, ConstantScores{"4.6", "4.6"},
                                         ConstantScores{"0.9", "0.9"}, ConstantScores{"3.3", "3.3"},
                                         ConstantScores{"15.2", "15.2"}, ConstantScores{"0.2", "0.2"},
                                         ConstantScores{"0.6", "0.6"}, ConstantScores{"0.8", "0.8"},
                                         ConstantScores{"10", "10"}, ConstantScores{"0", "0"},
                                         ConstantScores{"-3", "-3"},
                                         ConstantScores{"0.3", "0.30000000000000004"}),
                       ::testing::Values(1, 3), ::testing::Values("", "e-8", "e8")));

// Every control counts: a 0/1 covariate whose only 1 is the first control's, or the last
// control's, varies, and the run goes ahead.
TEST_F(ComputeSequence, AScoreThatDiffersOnTheFirstOrLastControlAloneVaries) {
    platform_.openAnswers = {WriteData("first.txt", "10 1\n12 0\n11 0\n13 0\n9 0\n11 0\n"),
                             WriteData("last.txt", "10 0\n12 0\n11 0\n13 0\n9 1\n11 0\n")};
    for (const char* file : {"first.txt", "last.txt"}) {
        EXPECT_TRUE(Compute("5", "1").completed) << file << ": " << platform_.messages.back().text;
    }
}

// Scores 1000.010, 1000.012, 1000.011 and the case's 1000.006 are the worked example's
// task scores in other units and origin: their SD is a millionth of their mean. The
// test is invariant under such a change, so every probability, effect size and limit
// must print as the worked example's.
TEST_F(ComputeSequence, NearlyConstantScoresAreAnalysedAsInAnyOtherUnits) {
    platform_.openAnswers = {WriteData("example.txt", kThreeControls),
                             WriteData("near.txt", "1000.010 40\n1000.012 38\n1000.011 45\n1000.006 50\n")};
    const AnalysisOutcome example = Compute("3", "1");
    const AnalysisOutcome near = Compute("3", "1");
    ASSERT_TRUE(example.completed && near.completed);
    const auto outputs = [](const std::vector<std::string>& lines) {
        return std::vector<std::string>(std::find(lines.begin(), lines.end(), " OUTPUTS:"), lines.end());
    };
    EXPECT_GT(outputs(near.reportLines).size(), 10u);
    EXPECT_EQ(outputs(near.reportLines), outputs(example.reportLines));
    EXPECT_EQ(LineStartingWith(near.reportLines, "  Task of Interest:"),
              "  Task of Interest:    1000.011          0.001        1000.006                -5.000");
}

// The same task scores at three origins: near a million their SD of about 3e-4 leaves the
// regression from the statistics no exact digit, and the run says which constant to
// subtract; at 0 and at 10, as that advice gives, the report's test results agree, the
// test being invariant under a shift of a variable.
TEST_F(ComputeSequence, ScoresTooNarrowForTheirSizeStopWithAdviceThatHolds) {
    const int tenThousandths[] = {12, 34, 25, 56, 41, 70, 39, 61, 28, 50, 45, 15};
    const int covariate[] = {12, 30, 27, 55, 45, 66, 41, 58, 33, 47, 40, 70};
    const auto data = [&](const std::string& origin) {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += origin + ".000" + std::to_string(tenThousandths[i]) + "00 " + std::to_string(covariate[i]) + "\n";
        return text;
    };
    platform_.openAnswers = {WriteData("million.txt", data("1000000")), WriteData("zero.txt", data("0")),
                             WriteData("ten.txt", data("10"))};
    const AnalysisOutcome million = Compute("11", "1");
    EXPECT_FALSE(million.completed);
    EXPECT_EQ(million.focus, InputFocus{InputField::N});
    ASSERT_EQ(platform_.messages.size(), 2u);
    EXPECT_EQ(platform_.messages[1].text,
              "Analysis cannot proceed as the control sample's scores on the task of interest vary too little "
              "for their size (SD 0.000169497 against a mean of 1000000) for the arithmetic to be exact: "
              "subtract a constant from those scores (for example a round number near their mean) and try again");
    const AnalysisOutcome zero = Compute("11", "1");
    const AnalysisOutcome ten = Compute("11", "1");
    ASSERT_TRUE(zero.completed && ten.completed);
    for (const char* prefix : {" One-tailed probability", " Two-tailed probability", " Effect size (Z-CCC) ="}) {
        EXPECT_FALSE(LineStartingWith(zero.reportLines, prefix).empty());
        EXPECT_EQ(LineStartingWith(ten.reportLines, prefix), LineStartingWith(zero.reportLines, prefix));
    }
}

TEST_F(ComputeSequence, ACaseFarBeyondTheControlsStopsNamingItsLine) {
    // A slip of -9e9 for 9: the case's line is line 6, the blank line counted.
    platform_.openAnswers.push_back(WriteData("far.txt", "10 40\n12 38\n\n11 45\n13 41\n-9e9 50\n"));
    const AnalysisOutcome outcome = Compute("4", "1");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.focus, InputFocus{});
    ASSERT_EQ(platform_.messages.size(), 2u);
    EXPECT_EQ(platform_.messages[1],
              (RecordedMessage{MessageKind::Error, "Error",
                               "Analysis cannot proceed as the case's score on the task of interest lies "
                               "implausibly far from the scores of the control sample (given the case's "
                               "scores on the covariates): check the case's line of the data file (line 6) "
                               "for an error of entry"}));
    EXPECT_FALSE(platform_.busyCursor);
}

TEST_F(ComputeSequence, ACompleteRunReturnsTheReport) {
    platform_.openAnswers.push_back(WriteData("data.txt", kThreeControls));
    const AnalysisOutcome outcome = Compute("3", "1");
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.focus, InputFocus{});
    ASSERT_GT(outcome.reportLines.size(), 3u);
    EXPECT_EQ(outcome.reportLines[0], "");
    EXPECT_EQ(outcome.reportLines[1], ProgramTitle);
    EXPECT_EQ(platform_.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(SavedText(), "3 1       ");
    // The loader's box is the only message of a run that succeeds.
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].kind, MessageKind::Information);
    // The dialog's settings.
    ASSERT_EQ(platform_.openDialogs.size(), 1u);
    EXPECT_EQ(platform_.openDialogs[0].filter, "Text files only|*.txt;*.csv");
    EXPECT_TRUE(platform_.openDialogs[0].fileMustExist);
    EXPECT_EQ(platform_.openDialogs[0].initialFolder, folder_.string());
}

TEST_F(ComputeSequence, TwoRunsDifferOnlyInTheSeparator) {
    const std::string file = WriteData("data.txt", kThreeControls);
    platform_.openAnswers = {file, file};
    request_.limit = LimitType::OneSidedUpper;
    const AnalysisOutcome first = Compute("3", "1");
    request_.followsEarlierReport = true;
    const AnalysisOutcome second = Compute("3", "1");
    ASSERT_TRUE(first.completed && second.completed);
    ASSERT_EQ(second.reportLines.size(), first.reportLines.size() + 1);
    EXPECT_EQ(second.reportLines[0], std::string(36, '-'));
    EXPECT_EQ(std::vector<std::string>(second.reportLines.begin() + 1, second.reportLines.end()),
              first.reportLines);
}

// The numbers of the report, checked against what the worked example gives by hand:
// means 11 and 41, SDs 1 and sqrt(13), z scores -5 and 9/sqrt(13), correlation
// -1/sqrt(13), conditional mean 134/13 and SD sqrt(12/13); and, with one degree of
// freedom, the percentage below is 100 times the Cauchy distribution function at
// (y* - yhat) / (s sqrt(1 + d'(X'X)^-1 d)) = (6 - 134/13) / (sqrt(24/13) sqrt(1 + 269/78)).
TEST_F(ComputeSequence, TheReportsNumbersAgreeWithClosedForms) {
    platform_.openAnswers.push_back(WriteData("data.txt", kThreeControls));
    const AnalysisOutcome outcome = Compute("3", "1");
    ASSERT_TRUE(outcome.completed);
    const std::vector<std::string>& lines = outcome.reportLines;
    EXPECT_EQ(LineStartingWith(lines, "  Task of Interest:"),
              "  Task of Interest:      11.000          1.000           6.000                -5.000");
    EXPECT_EQ(LineStartingWith(lines, "  Covariate 1:"),
              "  Covariate 1:           41.000          3.606          50.000                 2.496");
    EXPECT_EQ(LineStartingWith(lines, "   1.00000"), "   1.00000   -0.27735   ");
    EXPECT_EQ(LineStartingWith(lines, " Sample estimate of conditional mean"),
              " Sample estimate of conditional mean for Task of Interest =   10.308");
    EXPECT_EQ(LineStartingWith(lines, " Sample estimate of conditional SD"),
              " Sample estimate of conditional SD for Task of Interest   =    0.961");
    EXPECT_EQ(LineStartingWith(lines, " Effect size (Z-CCC) = ").substr(0, 29), " Effect size (Z-CCC) = -4.484");

    const std::string estimate = LineStartingWith(lines, " Bayesian point estimate    = ");
    ASSERT_FALSE(estimate.empty());
    const long double percentBelow = std::stold(estimate.substr(estimate.find('=') + 2));
    const long double t = (6 - 134.0L / 13) / (std::sqrt(24.0L / 13) * std::sqrt(1 + 269.0L / 78));
    const long double closedForm = 100 * (0.5L + std::atan(t) / std::numbers::pi_v<long double>);
    EXPECT_NEAR(percentBelow, closedForm, 0.25L);  // five Monte Carlo standard errors
    const std::string oneTailed = LineStartingWith(lines, " One-tailed probability = ");
    EXPECT_NEAR(std::stold(oneTailed.substr(26)), closedForm / 100, 0.0025L);
}

// Eleven controls and the case: task 1, task 2, a covariate. The case lies far below the
// controls on task 1 and among them on task 2.
const char* const kTwoTasks =
    "31 20 10\n35 24 12\n40 25 14\n38 27 15\n45 30 17\n47 29 18\n33 23 11\n42 28 16\n36 22 13\n"
    "49 33 19\n44 26 15\n22 26 15\n";

// The partial correlation of the tasks given the covariate, from the raw scores by the
// textbook formula (r12 - r13 r23) / sqrt((1 - r13^2)(1 - r23^2)).
double PartialCorrelation(const std::string& data) {
    std::istringstream in(data);
    std::vector<std::array<double, 3>> rows;
    for (std::array<double, 3> row; in >> row[0] >> row[1] >> row[2];) rows.push_back(row);
    rows.pop_back();  // the case
    const auto r = [&rows](int a, int b) {
        double ma = 0, mb = 0;
        for (const auto& row : rows) ma += row[a], mb += row[b];
        ma /= rows.size(), mb /= rows.size();
        double sab = 0, saa = 0, sbb = 0;
        for (const auto& row : rows) {
            sab += (row[a] - ma) * (row[b] - mb);
            saa += (row[a] - ma) * (row[a] - ma);
            sbb += (row[b] - mb) * (row[b] - mb);
        }
        return sab / std::sqrt(saa * sbb);
    };
    return (r(0, 1) - r(0, 2) * r(1, 2)) / std::sqrt((1 - r(0, 2) * r(0, 2)) * (1 - r(1, 2) * r(1, 2)));
}

// From the typed choice to the report: the loader reads k + 2 columns, the saved inputs
// record the choice, the report names the test and both tasks, and its conclusion
// follows from its own numbers.
TEST_F(ComputeSequence, ADissociationReportsBothTasksTheDifferenceAndAConclusion) {
    platform_.openAnswers.push_back(WriteData("tasks.txt", kTwoTasks));
    const AnalysisOutcome outcome = Compute("11", "1", AnalysisTest::Dissociation);
    ASSERT_TRUE(outcome.completed);
    EXPECT_EQ(SavedText(), "11 1       dissociation ");
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].text,
              "Data file consisting of n + 1 = 12 cases (rows) and  3 variables (columns) was loaded successfully ");
    EXPECT_EQ(outcome.facts.test, AnalysisTest::Dissociation);

    const std::vector<std::string>& lines = outcome.reportLines;
    EXPECT_EQ(lines[1], DissociationProgramTitle);
    EXPECT_NE(std::find(lines.begin(), lines.end(), " Analysis required: Dissociation (two tasks)"), lines.end());
    // Task 1's row of the summary table (python3's statistics module gives its SD and z),
    // then task 2's; the covariate's after an empty line.
    const auto table = std::find(lines.begin(), lines.end(),
                                 "  Task 1:                40.000          5.916          22.000                -3.043");
    ASSERT_NE(table, lines.end());
    EXPECT_TRUE(table[1].starts_with("  Task 2:") && table[2].empty() && table[3].starts_with("  Covariate 1:"));
    const std::string correlation =
        LineStartingWith(lines, " Sample estimate of conditional correlation between Task 1 and Task 2 = ");
    ASSERT_FALSE(correlation.empty());
    EXPECT_NEAR(std::stod(correlation.substr(correlation.find('=') + 2)), PartialCorrelation(kTwoTasks), 5e-6);

    // OUTPUTS: a deficit block per task under its heading, then the difference's.
    const auto outputs = std::find(lines.begin(), lines.end(), " OUTPUTS:");
    ASSERT_NE(outputs, lines.end());
    std::vector<std::string> headings;
    for (auto line = outputs; line != lines.end(); ++line)
        if (line->starts_with(" Test for ")) headings.push_back(*line);
    EXPECT_EQ(headings, (std::vector<std::string>{" Test for a deficit on Task 1:", " Test for a deficit on Task 2:",
                                                  " Test for a dissociation between Task 1 and Task 2:"}));
    EXPECT_FALSE(LineStartingWith(lines, " Effect size (Z-DCCC) = ").empty());
    EXPECT_EQ(lines.end()[-3],
              " Criteria: deficit, one-tailed p < .05 below the controls; significant difference, two-tailed p < .05");
    // Controls with the case's covariate score 15 score about 44 and 27: the case's 22 is far
    // below them, its 26 among them.
    EXPECT_EQ(lines.end()[-2],
              " Conclusion: classical dissociation (a deficit on task 1, none on task 2, a significant difference)");
    EXPECT_EQ(lines.end()[-1], " ");
}

// Messages name the tasks as the report does.
TEST_F(ComputeSequence, ADissociationsMessagesNameTask2) {
    std::string data;
    for (int i = 0; i < 12; ++i) data += std::to_string(30 + i % 5) + " 7 " + std::to_string(10 + i % 3) + "\n";
    platform_.openAnswers.push_back(WriteData("flat.txt", data));
    const AnalysisOutcome outcome = Compute("11", "1", AnalysisTest::Dissociation);
    EXPECT_FALSE(outcome.completed);
    ASSERT_EQ(platform_.messages.size(), 2u);
    EXPECT_EQ(platform_.messages[1].text,
              "Analysis cannot proceed as the control sample's scores on task 2 do not vary (all controls have the "
              "same score)");
}

TEST(StandardiseScores, PutsScoresOnTheChosenScale) {
    tVector x, m, s;
    x(1) = 6;
    m(1) = 11;
    s(1) = 1;
    x(2) = 50;
    m(2) = 41;
    s(2) = 3;
    x(3) = 99;  // beyond the count: not written
    const tVector z = StandardiseScores(x, m, s, 2, 0, 1);
    EXPECT_EQ(z(1), -5);
    EXPECT_NEAR(z(2), 3, 1e-18L);
    EXPECT_EQ(z(3), 0);
    const tVector t = StandardiseScores(x, m, s, 2, 50, 10);  // T scores
    EXPECT_EQ(t(1), 0);
    EXPECT_NEAR(t(2), 80, 1e-16L);
}

TEST(StandardiseScores, AZeroStandardDeviationIsADivisionByZero) {
    // 1/0 is the first fault; the infinity it leaves then makes inf - inf as well.
    tVector x, m, s;
    x(1) = 6;
    m(1) = 11;
    try {
        StandardiseScores(x, m, s, 1, 0, 1);
        FAIL() << "expected EZeroDivide";
    } catch (const EZeroDivide& error) {
        EXPECT_STREQ(error.what(), "Floating point division by zero");
    }
}

// A series against the same controls: each case's block of the report, from its summary
// table to its OUTPUTS, is the report of a file holding the controls and that case alone.
struct Series {
    const char* name;
    AnalysisTest test;
    const char* n;
    const char* k;
    std::string controls;
    std::vector<std::string> cases;
};

class SeriesOfCases : public ComputeSequence, public ::testing::WithParamInterface<Series> {};

TEST_P(SeriesOfCases, EachCaseIsTheSingleRunOnTheControlsAndThatCase) {
    const Series& c = GetParam();
    std::string series = c.controls;
    for (const std::string& line : c.cases) series += line;
    platform_.openAnswers.push_back(WriteData("series.txt", series + "1 2 3 4\n"));  // a surplus line
    request_.mText = std::to_string(c.cases.size());
    const AnalysisOutcome outcome = Compute(c.n, c.k, c.test);
    ASSERT_TRUE(outcome.completed);
    const std::string m = std::to_string(c.cases.size()), rows = std::to_string(std::stoi(c.n) + c.cases.size());
    for (const std::string& said :
         {" rows (" + std::string(c.n) + " controls and " + m + " cases)",
          "n + m = " + rows + " were asked for: the last case's scores were taken from line " + rows})
        EXPECT_NE(platform_.messages[0].text.find(said), std::string::npos) << said;
    const std::vector<std::string>& report = outcome.reportLines;
    request_.mText = "1";
    for (std::size_t i = 0; i < c.cases.size(); ++i) {
        platform_.openAnswers.push_back(WriteData("one.txt", c.controls + c.cases[i]));
        std::vector<std::string> single = Compute(c.n, c.k, c.test).reportLines;
        single.erase(single.begin(), std::find_if(single.begin(), single.end(), [](const std::string& line) {
                         return line.starts_with(" Summary statistics for the control sample");
                     }));
        ASSERT_FALSE(single.empty());
        const std::string heading =
            " CASE " + std::to_string(i + 1) + " (line " + std::to_string(std::stoi(c.n) + i + 1) + "):";
        const auto block = std::find(report.begin(), report.end(), heading);
        ASSERT_GE(std::distance(block, report.end()), static_cast<std::ptrdiff_t>(single.size() + 2)) << heading;
        EXPECT_EQ(std::vector<std::string>(block + 2, block + 2 + static_cast<std::ptrdiff_t>(single.size())), single)
            << heading;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeriesOfCases,
    ::testing::Values(Series{"DeficitWithoutCovariates", AnalysisTest::Deficit, "5", "0",
                             "10\n12\n11\n13\n9\n", {"4\n", "12.5\n"}},
                      Series{"DissociationOfTwoCovariates", AnalysisTest::Dissociation, "8", "2",
                             "50 31 60 12\n52 35 66 14\n47 30 70 10\n55 36 58 13\n49 29 75 11\n"
                             "53 33 64 15\n51 34 69 12\n48 32 62 9\n",
                             {"38 33 65 12\n", "50 20 61 13\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComputeSequence, ASeriesStopsAtACaseNamingItsLineOrAtTooFewLinesWithTheCounts) {
    platform_.openAnswers.push_back(WriteData("far.txt", "10 40\n12 38\n11 45\n13 41\n11 40\n-9e9 50\n"));
    request_.mText = "2";
    EXPECT_FALSE(Compute("4", "1").completed);
    ASSERT_EQ(platform_.messages.size(), 2u);
    EXPECT_EQ(platform_.messages[1].text,
              "Analysis cannot proceed as the case's score on the task of interest lies implausibly far from the "
              "scores of the control sample (given the case's scores on the covariates): check the line of case 2 "
              "in the data file (line 6) for an error of entry");
    platform_.openAnswers.push_back(WriteData("short.txt", "10 40\n12 38\n11 45\n13 41\n11 40\n"));
    request_.mText = "3";
    try {
        Compute("4", "1");
        ADD_FAILURE() << "a short file was read";
    } catch (const EDataFileError& error) {
        EXPECT_STREQ(error.what(), "The data file holds 5 lines of data; 7 are needed (4 controls and 3 cases).");
    }
}

}  // namespace
}  // namespace quorvane
