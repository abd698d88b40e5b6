#include "analysis/results_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/program_texts.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

// Expected numbers below were formatted independently with python3's printf-style
// operator (e.g. '%13.3f' % math.sqrt(13)), from the closed forms given beside them;
// none of them is near a rounding tie.

std::string Quoted(const std::string& line) {
    return "\"" + line + "\" (" + std::to_string(line.size()) + " chars)";
}

// Line-by-line comparison that names every differing line, so a shifted or missing
// line shows where the report went wrong.
::testing::AssertionResult SameLines(const Lines& actual, const Lines& expected) {
    std::ostringstream diff;
    int differences = 0;
    const std::size_t common = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < common && differences < 8; ++i) {
        if (actual[i] == expected[i]) continue;
        ++differences;
        diff << "\n  line " << i + 1 << ":\n    actual:   " << Quoted(actual[i])
             << "\n    expected: " << Quoted(expected[i]);
    }
    for (std::size_t i = common; i < actual.size() && differences < 8; ++i, ++differences)
        diff << "\n  extra line " << i + 1 << ": " << Quoted(actual[i]);
    for (std::size_t i = common; i < expected.size() && differences < 8; ++i, ++differences)
        diff << "\n  missing line " << i + 1 << ": " << Quoted(expected[i]);
    if (differences == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.size() << " lines written, " << expected.size()
                                         << " expected" << diff.str();
}

Lines Concat(std::initializer_list<Lines> blocks) {
    Lines all;
    for (const Lines& block : blocks) all.insert(all.end(), block.begin(), block.end());
    return all;
}

// The index of the first line equal to `line`, or the line count.
std::size_t IndexOf(const Lines& lines, const std::string& line) {
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

Lines Slice(const Lines& lines, std::size_t from, std::size_t count) {
    if (from >= lines.size()) return {};
    const std::size_t to = std::min(lines.size(), from + count);
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(from),
                 lines.begin() + static_cast<std::ptrdiff_t>(to));
}

const std::string kRule =
    " _____________________________________________________________________________________________";

struct ReportRun {
    AnalysisInputs inputs;
    AnalysisResults results;
    AnalysisRequest request;
};

// Three controls (10, 40), (12, 38), (11, 45) and the case (6, 50); one covariate.
// Means 11 and 41, SDs 1 and sqrt(13), r = -1/sqrt(13), z = -5 and 9/sqrt(13),
// conditional mean 11 + r * (1/sqrt(13)) * 9 = 134/13, conditional SD sqrt(1 - r^2).
// The engine's results are plausible values for this case, set by hand: Z-CCC -2.345
// with limits -3.81 and -0.95, the percentages 100 * Phi() of those three.
ReportRun SmallExample(LimitType limitType = LimitType::TwoSided) {
    ReportRun run;
    run.inputs.n = 3;
    run.inputs.k = 1;
    run.inputs.p = 2;
    run.inputs.limitType = limitType;
    const long double rows[4][2] = {{10, 40}, {12, 38}, {11, 45}, {6, 50}};
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 2; ++c) run.inputs.rawData(r, c) = rows[r - 1][c - 1];
    run.inputs.dataFileName = "/home/lab/data/case.txt";

    const long double root13 = std::sqrt(13.0L);
    AnalysisResults& res = run.results;
    res.means(1) = 11;
    res.means(2) = 41;
    res.sds(1) = 1;
    res.sds(2) = root13;
    res.caseScores(1) = 6;
    res.caseScores(2) = 50;
    res.caseZ(1) = -5;
    res.caseZ(2) = 9 / root13;
    res.corr(1, 1) = 1;
    res.corr(2, 2) = 1;
    res.corr(1, 2) = res.corr(2, 1) = -1 / root13;
    res.outcome.tasks[0].condMean = 134.0L / 13.0L;
    res.outcome.tasks[0].condSD = std::sqrt(12.0L / 13.0L);
    res.outcome.tasks[0].results(OneTailedP) = 0.027L;
    res.outcome.tasks[0].results(TwoTailedP) = 0.054L;
    res.outcome.tasks[0].results(PercentBelow) = 0.951354L;
    res.outcome.tasks[0].results(PercentBelowLower) = 0.0069483L;
    res.outcome.tasks[0].results(PercentBelowUpper) = 17.105613L;
    res.outcome.tasks[0].results(ZCCC) = -2.345L;
    res.outcome.tasks[0].results(ZCCCLower) = -3.81L;
    res.outcome.tasks[0].results(ZCCCUpper) = -0.95L;

    run.request.nText = "3";
    run.request.kText = "1";
    // The report must follow inputs.limitType; the request's is left two-sided.
    run.request.limit = LimitType::TwoSided;
    return run;
}

Lines Write(const ReportRun& run) { return WriteReport(run.inputs, run.results, run.request); }

// The report of the run on the statistics as entered.
Lines WriteEntered(const ReportRun& run, const SummaryEntries& entries) {
    AnalysisRequest request = run.request;
    request.source = entries;
    return WriteReport(run.inputs, run.results, request);
}

// ---- Expected blocks of the small example ----

Lines Head() {
    return {"",
            "Quorvane: Bayesian test for a deficit in the single case controlling for "
            "covariate(s) (Raw data as input) ",
            "",
            " THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPER:",
            " Crawford, J. R., Garthwaite, P. H., & Ryan, K. (2011). Comparing a single case to a "
            "control sample:",
            " Testing for neuropsychological deficits and dissociations in the presence of "
            "covariates. Cortex, 47,",
            " 1166-1178.",
            "",
            ""};
}

const char* LimitCaption(LimitType limitType) {
    switch (limitType) {
        case LimitType::OneSidedLower: return "One-sided lower";
        case LimitType::OneSidedUpper: return "One-sided upper";
        case LimitType::TwoSided: break;
    }
    return "Two-sided";
}

Lines Inputs(LimitType limitType) {
    return {" INPUTS:",
            " Number of control participants (n) = 3",
            " Number of covariates = 1",
            std::string(" Credible limit required: ") + LimitCaption(limitType),
            "",
            " Raw data were loaded from the following file: ",
            " /home/lab/data/case.txt",
            ""};
}

// Raw rows: "   " + "[%4d" + "]:  " + "%12.5f   " per cell; the summary lines from the
// closed forms above: sqrt(13) = 3.606, 9/sqrt(13) = 2.496.
Lines DataAndSummary() {
    return {" Raw data for controls:",
            "   [   1]:      10.00000       40.00000   ",
            "   [   2]:      12.00000       38.00000   ",
            "   [   3]:      11.00000       45.00000   ",
            "",
            "",
            " Summary statistics for the control sample for task and covariates together with "
            "scores for the case:",
            kRule,
            "  Measure               Control        Control        Score for              z score  ",
            "                         Mean            SD             Case                 for case",
            kRule,
            "  Task of Interest:      11.000          1.000           6.000                -5.000",
            "",
            "  Covariate 1:           41.000          3.606          50.000                 2.496",
            kRule,
            " ",
            " ",
            ""};
}

// r = -1/sqrt(13) = -0.27735; 134/13 = 10.308; sqrt(12/13) = 0.961.
Lines Correlations() {
    return {" Correlation(s) between task and covariate(s) in control sample:",
            "   1.00000   -0.27735   ",
            "   -0.27735   1.00000   ",
            "",
            "",
            " Sample estimate of conditional mean for Task of Interest =   10.308",
            " Sample estimate of conditional SD for Task of Interest   =    0.961",
            "",
            ""};
}

Lines Outputs() {
    return {" OUTPUTS:",
            "",
            " Bayesian hypothesis test - probability that the case's score is an observation from "
            "the control",
            " population:",
            " One-tailed probability = 0.02700 ",
            " Two-tailed probability = 0.05400 "};
}

Lines LimitBlock(LimitType limitType) {
    switch (limitType) {
        case LimitType::TwoSided:
            return {" ",
                    " Effect size (Z-CCC) for difference between case versus controls (plus 95% "
                    "Credible Interval on the",
                    " effect size):",
                    " Effect size (Z-CCC) = -2.345 (95% CI on effect size = -3.810  to  -0.950)",
                    "",
                    " Percentage of control population exhibiting a lower score than the case "
                    "(plus 95% Credible Interval):",
                    " Bayesian point estimate    = 0.9514% (95% CI = 0.0069%  to  17.1056%)",
                    " "};
        case LimitType::OneSidedLower:
            return {" ",
                    " Effect size (Z-CCC) for difference between score of case versus controls "
                    "(plus 95% one-sided ",
                    " lower Credible Limit on the effect size):",
                    " Effect size (Z-CCC) = -2.345 (95% lower Credible Limit on effect size = -3.810)",
                    "",
                    " Percentage of control population exhibiting a lower score than the ",
                    " case (plus 95% one-sided lower Credible Limit):",
                    " Bayesian point estimate    = 0.9514% (95% lower Credible Limit = 0.0069%)",
                    " "};
        case LimitType::OneSidedUpper:
            return {" ",
                    " Effect size (Z-CCC) for difference between score of case versus controls "
                    "(plus 95% one-sided ",
                    " upper Credible Limit on the effect size):",
                    " Effect size (Z-CCC) = -2.345 (95% upper Credible Limit on effect size = -0.950)",
                    "",
                    " Percentage of control population exhibiting a lower score than the ",
                    " case (plus 95% one-sided upper Credible Limit):",
                    " Bayesian point estimate    = 0.9514% (95% upper Credible Limit = 17.1056%)",
                    " "};
    }
    return {};
}

const Lines kLastLine = {" "};

Lines FirstReport(LimitType limitType) {
    return Concat({Head(), Inputs(limitType), DataAndSummary(), Correlations(), Outputs(),
                   LimitBlock(limitType), kLastLine});
}

// ---- FormatInputLine ----

struct InputLineCase {
    std::string caption, text, expected;
};

void PrintTo(const InputLineCase& c, std::ostream* os) {
    *os << '"' << c.caption << "\", \"" << c.text << '"';
}

class InputLine : public ::testing::TestWithParam<InputLineCase> {};

TEST_P(InputLine, KeepsCaptionUpToItsLastColonAndTheTextAsTyped) {
    const auto& [caption, text, expected] = GetParam();
    EXPECT_EQ(FormatInputLine(caption, text), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputLine,
    ::testing::Values(
        InputLineCase{"Number of control participants (n) :", "25",
                      " Number of control participants (n) = 25"},
        InputLineCase{"Number of covariates :", "2", " Number of covariates = 2"},
        // The text unchanged: the report passes the count it used.
        InputLineCase{"Number of control participants (n) :", "25.0",
                      " Number of control participants (n) = 25.0"},
        // Only the last colon ends the label; no blank before it, none added.
        InputLineCase{"Ratio a:b :", "3", " Ratio a:b = 3"},
        InputLineCase{"Count:", "7", " Count= 7"},
        InputLineCase{"Number of covariates :", "", " Number of covariates = "}));

// ---- Whole reports ----

class ReportByLimit : public ::testing::TestWithParam<LimitType> {};

TEST_P(ReportByLimit, FirstReportWithoutNotesIsWrittenLineForLine) {
    EXPECT_TRUE(SameLines(Write(SmallExample(GetParam())), FirstReport(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ReportByLimit,
                         ::testing::Values(LimitType::TwoSided, LimitType::OneSidedLower,
                                           LimitType::OneSidedUpper),
                         [](const auto& info) {
                             switch (info.param) {
                                 case LimitType::OneSidedLower: return std::string("OneSidedLower");
                                 case LimitType::OneSidedUpper: return std::string("OneSidedUpper");
                                 case LimitType::TwoSided: break;
                             }
                             return std::string("TwoSided");
                         });

TEST(ResultsReport, LaterReportWithThreeNotesLinesIsWrittenLineForLine) {
    ReportRun run = SmallExample(LimitType::OneSidedUpper);
    run.request.followsEarlierReport = true;
    run.request.notes = {"Patient JB, left frontal lesion", "tested 12 March",
                             "  retest due in June"};
    const Lines expected = Concat(
        {{"------------------------------------"},
         Head(),
         {" User's Notes: Patient JB, left frontal lesion",
          "               tested 12 March",
          "                 retest due in June",
          " "},
         Inputs(LimitType::OneSidedUpper), DataAndSummary(), Correlations(), Outputs(),
         LimitBlock(LimitType::OneSidedUpper), kLastLine});
    EXPECT_TRUE(SameLines(Write(run), expected));
}

TEST(ResultsReport, SecondReportDiffersFromFirstOnlyByTheSeparatorOnTop) {
    ReportRun run = SmallExample();
    const Lines first = Write(run);
    run.request.followsEarlierReport = true;
    const Lines second = Write(run);
    ASSERT_EQ(second.size(), first.size() + 1);
    EXPECT_EQ(second.front(), std::string(36, '-'));
    EXPECT_TRUE(SameLines(Slice(second, 1, second.size()), first));
}

struct NotesCase {
    const char* name;
    Lines notes;
    Lines expectedBlock;
};

void PrintTo(const NotesCase& c, std::ostream* os) { *os << c.name; }

class NotesBlock : public ::testing::TestWithParam<NotesCase> {};

TEST_P(NotesBlock, StandsBetweenCitationAndInputs) {
    ReportRun run = SmallExample();
    run.request.notes = GetParam().notes;
    const Lines expected = Concat({Head(), GetParam().expectedBlock, Inputs(LimitType::TwoSided),
                                   DataAndSummary(), Correlations(), Outputs(),
                                   LimitBlock(LimitType::TwoSided), kLastLine});
    EXPECT_TRUE(SameLines(Write(run), expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotesBlock,
    ::testing::Values(NotesCase{"None", {}, {}},
                      NotesCase{"OneLine", {"single note"}, {" User's Notes: single note", " "}},
                      NotesCase{"ThreeLines",
                                {"first", "second", "third"},
                                {" User's Notes: first", "               second",
                                 "               third", " "}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every real takes the separator; the title, citation, file name and the integers (the
// counts, row numbers, covariate numbers) keep theirs. The counts are the ones the
// analysis used, whatever text they were typed as.
TEST(ResultsReport, CommaSeparatorIsUsedForEveryRealAndNothingElse) {
    ReportRun run = SmallExample();
    run.request.decimalSeparator = ',';
    run.request.nText = "3.0";
    run.request.kText = " 1";
    const Lines expected = Concat(
        {Head(),
         {" INPUTS:", " Number of control participants (n) = 3", " Number of covariates = 1",
          " Credible limit required: Two-sided", "",
          " Raw data were loaded from the following file: ", " /home/lab/data/case.txt", ""},
         {" Raw data for controls:",
          "   [   1]:      10,00000       40,00000   ",
          "   [   2]:      12,00000       38,00000   ",
          "   [   3]:      11,00000       45,00000   ",
          "",
          "",
          " Summary statistics for the control sample for task and covariates together with "
          "scores for the case:",
          kRule,
          "  Measure               Control        Control        Score for              z score  ",
          "                         Mean            SD             Case                 for case",
          kRule,
          "  Task of Interest:      11,000          1,000           6,000                -5,000",
          "",
          "  Covariate 1:           41,000          3,606          50,000                 2,496",
          kRule,
          " ",
          " ",
          ""},
         {" Correlation(s) between task and covariate(s) in control sample:",
          "   1,00000   -0,27735   ",
          "   -0,27735   1,00000   ",
          "",
          "",
          " Sample estimate of conditional mean for Task of Interest =   10,308",
          " Sample estimate of conditional SD for Task of Interest   =    0,961",
          "",
          ""},
         {" OUTPUTS:",
          "",
          " Bayesian hypothesis test - probability that the case's score is an observation from "
          "the control",
          " population:",
          " One-tailed probability = 0,02700 ",
          " Two-tailed probability = 0,05400 "},
         {" ",
          " Effect size (Z-CCC) for difference between case versus controls (plus 95% Credible "
          "Interval on the",
          " effect size):",
          " Effect size (Z-CCC) = -2,345 (95% CI on effect size = -3,810  to  -0,950)",
          "",
          " Percentage of control population exhibiting a lower score than the case (plus 95% "
          "Credible Interval):",
          " Bayesian point estimate    = 0,9514% (95% CI = 0,0069%  to  17,1056%)",
          " "},
         kLastLine});
    EXPECT_TRUE(SameLines(Write(run), expected));
}

// The companion's report: the counts used ("0 3" was read as 3), and the statistics as
// entered with the report's one decimal separator, aligned as before.
TEST(ResultsReport, EnteredStatisticsTakeTheReportsSeparatorAndNothingElseChanges) {
    ReportRun run = SmallExample();
    run.request.decimalSeparator = ',';
    run.request.nText = "0 3";
    run.request.kText = "1.0";
    const SummaryEntries entries{{"11.0", "41"}, {"1", "3.606"}, {"6", "5e1"}, {"-.27735"}};
    const Lines report = WriteEntered(run, entries);
    const std::size_t start = IndexOf(report, " INPUTS:");
    const Lines expected = {
        " INPUTS:",
        " Number of control participants (n) = 3",
        " Number of covariates = 1",
        " Credible limit required: Two-sided",
        "",
        " Summary statistics for the control sample and scores for the case, as entered:",
        "   Task of Interest:  Mean = 11,0   SD = 1       Score for case = 6",
        "   Covariate 1:       Mean = 41     SD = 3,606   Score for case = 5e1",
        " Correlation(s) between task and covariate(s) in control sample, as entered:",
        "   Covariate 1 with Task of Interest = -,27735",
        "",
        " Summary statistics for the control sample for task and covariates together with "
        "scores for the case:"};
    EXPECT_TRUE(SameLines(Slice(report, start, expected.size()), expected));
}

// ---- Summary table and raw data shapes ----

// Three covariates over five controls: the task line, one empty line, then one line per
// covariate with no gap; every block is p wide. Values are binary-exact, so the three
// decimals are exact too (z = (case - mean) / SD: -2.421, 0.700, -1.309, 1.000).
TEST(ResultsReport, SummaryAndCorrelationBlocksHaveOneLineAndColumnPerVariable) {
    ReportRun run = SmallExample();
    run.inputs.n = 5;
    run.inputs.k = 3;
    run.inputs.p = 4;
    for (int r = 1; r <= 6; ++r)
        for (int c = 1; c <= 4; ++c) run.inputs.rawData(r, c) = 10 * r + c;
    const long double means[4] = {20.5L, 12.25L, 100.125L, 3.5L};
    const long double sds[4] = {4.75L, 2.5L, 15.375L, 0.5L};
    const long double scores[4] = {9, 14, 80, 4};
    run.results.corr = tMatrix{};
    for (int i = 1; i <= 4; ++i) {
        run.results.means(i) = means[i - 1];
        run.results.sds(i) = sds[i - 1];
        run.results.caseScores(i) = scores[i - 1];
        run.results.caseZ(i) = (scores[i - 1] - means[i - 1]) / sds[i - 1];
        run.results.corr(i, i) = 1;
    }
    run.results.corr(1, 3) = run.results.corr(3, 1) = 0.5L;

    const Lines report = Write(run);
    const std::size_t start = IndexOf(report, " Raw data for controls:");
    const Lines expected = {
        " Raw data for controls:",
        "   [   1]:      11.00000       12.00000       13.00000       14.00000   ",
        "   [   2]:      21.00000       22.00000       23.00000       24.00000   ",
        "   [   3]:      31.00000       32.00000       33.00000       34.00000   ",
        "   [   4]:      41.00000       42.00000       43.00000       44.00000   ",
        "   [   5]:      51.00000       52.00000       53.00000       54.00000   ",
        "",
        "",
        " Summary statistics for the control sample for task and covariates together with "
        "scores for the case:",
        kRule,
        "  Measure               Control        Control        Score for              z score  ",
        "                         Mean            SD             Case                 for case",
        kRule,
        "  Task of Interest:      20.500          4.750           9.000                -2.421",
        "",
        "  Covariate 1:           12.250          2.500          14.000                 0.700",
        "  Covariate 2:          100.125         15.375          80.000                -1.309",
        "  Covariate 3:            3.500          0.500           4.000                 1.000",
        kRule,
        " ",
        " ",
        "",
        " Correlation(s) between task and covariate(s) in control sample:",
        "   1.00000   0.00000   0.50000   0.00000   ",
        "   0.00000   1.00000   0.00000   0.00000   ",
        "   0.50000   0.00000   1.00000   0.00000   ",
        "   0.00000   0.00000   0.00000   1.00000   ",
        "",
        ""};
    EXPECT_TRUE(SameLines(Slice(report, start, expected.size()), expected));
}

// A file with fewer than n lines leaves the marker -99999.999 in the missing control
// row (and in the case's row, which the raw data block does not show).
// A header's names name the rows, their column widened for the longest; the rest stays.
TEST(ResultsReport, TheDataFilesNamesNameTheSummaryTableRows) {
    ReportRun run = SmallExample();
    const Lines plain = Write(run);
    run.inputs.names = {"Verbal fluency (animals)", "educaci\xC3\xB3n"};
    const Lines named = Write(run);
    const std::size_t table = IndexOf(named, kRule + std::string(8, '_'));
    ASSERT_LT(table, named.size());
    EXPECT_TRUE(SameLines(Slice(named, table, 7),
                          {kRule + std::string(8, '_'),
                           "  Measure                       Control        Control        Score for"
                           "              z score  ",
                           "                                 Mean            SD             Case"
                           "                 for case",
                           kRule + std::string(8, '_'),
                           "  Verbal fluency (animals):      11.000          1.000           6.000"
                           "                -5.000",
                           "",
                           "  educaci\xC3\xB3n:                     41.000          3.606          50.000"
                           "                 2.496"}));
    const auto without = [table](Lines lines) {
        return Concat({Slice(lines, 0, table), Slice(lines, table + 8, 999)});
    };
    EXPECT_TRUE(SameLines(without(named), without(plain)));
}

TEST(ResultsReport, MissingControlRowShowsTheMarkerFillingItsField) {
    ReportRun run = SmallExample();
    for (int c = 1; c <= 2; ++c) {
        run.inputs.rawData(3, c) = kMissingValue;
        run.inputs.rawData(4, c) = kMissingValue;
    }
    const Lines report = Write(run);
    const std::size_t start = IndexOf(report, " Raw data for controls:");
    const Lines expected = {" Raw data for controls:",
                            "   [   1]:      10.00000       40.00000   ",
                            "   [   2]:      12.00000       38.00000   ",
                            "   [   3]:  -99999.99900   -99999.99900   ",
                            ""};
    EXPECT_TRUE(SameLines(Slice(report, start, expected.size()), expected));
}

// A file with exactly n lines: the case's scores are the marker, and its z scores follow
// from it, (-99999.999 - 11) / 1 and (-99999.999 - 41) / sqrt(13) = -27746.381.
TEST(ResultsReport, MissingCaseRowShowsTheMarkerInTheSummaryTable) {
    ReportRun run = SmallExample();
    for (int c = 1; c <= 2; ++c) run.inputs.rawData(4, c) = kMissingValue;
    run.results.caseScores(1) = kMissingValue;
    run.results.caseScores(2) = kMissingValue;
    run.results.caseZ(1) = (kMissingValue - 11) / 1;
    run.results.caseZ(2) = (kMissingValue - 41) / std::sqrt(13.0L);
    const Lines report = Write(run);
    const std::size_t task = IndexOf(report, kRule) + 4;
    const Lines expected = {
        "  Task of Interest:      11.000          1.000      -99999.999           -100010.999",
        "",
        "  Covariate 1:           41.000          3.606      -99999.999            -27746.381"};
    EXPECT_TRUE(SameLines(Slice(report, task, expected.size()), expected));
}

// Nothing is cut: a number wider than its field pushes the rest of the line right.
TEST(ResultsReport, NumbersWiderThanTheirFieldPushTheLineRight) {
    ReportRun run = SmallExample(LimitType::OneSidedUpper);
    run.inputs.rawData(1, 1) = 1234567.5L;
    run.results.means(1) = 1234567890.125L;
    run.results.outcome.tasks[0].condMean = -123456.5L;
    run.results.outcome.tasks[0].results(ZCCC) = -12345.678L;
    run.results.outcome.tasks[0].results(PercentBelow) = 97.3L;
    run.results.outcome.tasks[0].results(PercentBelowUpper) = 100;
    const Lines report = Write(run);
    const auto has = [&report](const std::string& line) {
        return std::find(report.begin(), report.end(), line) != report.end();
    };
    EXPECT_TRUE(has("   [   1]:  1234567.50000       40.00000   "));
    EXPECT_TRUE(has(
        "  Task of Interest: 1234567890.125          1.000           6.000                -5.000"));
    EXPECT_TRUE(has(" Sample estimate of conditional mean for Task of Interest = -123456.500"));
    EXPECT_TRUE(has(
        " Effect size (Z-CCC) = -12345.678 (95% upper Credible Limit on effect size = -0.950)"));
    EXPECT_TRUE(has(" Bayesian point estimate    = 97.3000% (95% upper Credible Limit = 100.0000%)"));
}

// ---- Dissociations ----

// Two tasks and a covariate, the values binary-exact (or far from a rounding tie), set by
// hand: the case is above the controls on task 1 and below them on task 2, its difference
// (Z-DCCC 163/64) in the upper tail, where the lower Z-DCCC limit gives the upper limit of
// the percentage more extreme.
ReportRun DissociationExample(LimitType limitType) {
    ReportRun run = SmallExample(limitType);
    run.inputs.n = 6;
    run.inputs.p = 3;
    run.inputs.test = AnalysisTest::Dissociation;
    AnalysisResults& res = run.results;
    const long double means[3] = {50, 30, 12}, sds[3] = {8, 4, 2}, scores[3] = {30, 31, 13};
    for (int i = 1; i <= 3; ++i) {
        res.means(i) = means[i - 1];
        res.sds(i) = sds[i - 1];
        res.caseScores(i) = scores[i - 1];
        res.caseZ(i) = (scores[i - 1] - means[i - 1]) / sds[i - 1];
        res.corr(i, i) = 1;
    }
    res.corr(1, 2) = res.corr(2, 1) = 0.5L;
    res.corr(1, 3) = res.corr(3, 1) = 0.25L;
    res.corr(2, 3) = res.corr(3, 2) = 0.75L;
    tDissociationOutcome& out = res.outcome;
    out.tasks[0].condMean = 48.5L;
    out.tasks[0].condSD = 7.75L;
    out.tasks[0].results.cell = {0.375L, 0.75L, 62.5L, 40.5L, 80.25L, 0.625L, -0.25L, 1.5L};
    out.tasks[1].condMean = 29.5L;
    out.tasks[1].condSD = 2.5L;
    out.tasks[1].results.cell = {0.0125L, 0.025L, 1.25L, 0.0625L, 4.5L, -2.375L, -3.25L, -1.5L};
    out.condCorrelation = 0.3125L;
    out.difference.cell = {0.005L, 0.01L, 99.5L, 89.5L, 99.9875L, 163 / 64.0L, 1.25L, 4.0L};
    out.moreExtreme = {0.5L, 0.0125L, 10.5L};
    return run;
}

// After both tasks' deficit blocks, the difference's in the same shape, the percentage's
// limit named for the side it lies on, and the conclusion.
TEST(ResultsReport, ADissociationsDifferenceBlockNamesEachLimitForItsSide) {
    const Lines report = Write(DissociationExample(LimitType::OneSidedLower));
    const Lines expected = {
        " Test for a dissociation between Task 1 and Task 2:",
        "",
        " Bayesian hypothesis test - probability that the case's difference between the tasks is an observation",
        " from the control population:",
        " One-tailed probability = 0.00500 ",
        " Two-tailed probability = 0.01000 ",
        " ",
        " Effect size (Z-DCCC) for the difference between the tasks, case versus controls (plus 95% one-sided ",
        " lower Credible Limit on the effect size):",
        " Effect size (Z-DCCC) = 2.547 (95% lower Credible Limit on effect size = 1.250)",
        "",
        " Percentage of control population exhibiting a more extreme difference between the tasks than the ",
        " case (plus 95% one-sided upper Credible Limit):",
        " Bayesian point estimate    = 0.5000% (95% upper Credible Limit = 10.5000%)",
        " ",
        " Criteria: deficit, one-tailed p < .05 below the controls; significant difference, two-tailed p < .05",
        " Conclusion: classical dissociation (a deficit on task 2, none on task 1, a significant difference)",
        " "};
    const std::size_t start = IndexOf(report, expected[0]);
    EXPECT_TRUE(SameLines(Slice(report, start, report.size()), expected));
    EXPECT_EQ(IndexOf(report, " Effect size (Z-CCC) = -2.375 (95% lower Credible Limit on effect size = -3.250)"),
              start - 6);  // task 2's deficit block just above
}

// The statistics as entered name both tasks, and the test is named among the inputs.
TEST(ResultsReport, ADissociationsEnteredStatisticsNameBothTasks) {
    const ReportRun run = DissociationExample(LimitType::TwoSided);
    const SummaryEntries entries{{"50", "30", "12"}, {"8", "4", "2"}, {"30", "31", "13"}, {"0.5", "0.25", "0.75"}};
    const Lines report = WriteEntered(run, entries);
    EXPECT_EQ(report[1], DissociationSummaryProgramTitle);
    const Lines expected = {
        " INPUTS:",
        " Number of control participants (n) = 6",
        " Number of covariates = 1",
        " Analysis required: Dissociation (two tasks)",
        " Credible limit required: Two-sided",
        "",
        " Summary statistics for the control sample and scores for the case, as entered:",
        "   Task 1:            Mean = 50   SD = 8   Score for case = 30",
        "   Task 2:            Mean = 30   SD = 4   Score for case = 31",
        "   Covariate 1:       Mean = 12   SD = 2   Score for case = 13",
        " Correlations between the tasks and covariate(s) in control sample, as entered:",
        "   Task 2 with Task 1      = 0.5",
        "   Covariate 1 with Task 1 = 0.25",
        "   Covariate 1 with Task 2 = 0.75",
        ""};
    EXPECT_TRUE(SameLines(Slice(report, IndexOf(report, " INPUTS:"), expected.size()), expected));
}

// The results window shows the reports in a fixed-pitch font: no line of a dissociation's
// report is wider than the widest of a deficit's, the title (wider in the companion's
// report) apart.
TEST(ResultsReport, ADissociationsLinesAreNoWiderThanADeficits) {
    const std::vector<LimitType> limitTypes = {LimitType::TwoSided, LimitType::OneSidedLower,
                                               LimitType::OneSidedUpper};
    std::size_t title = 0, body = 0, deficitTitle = 0, deficitBody = 0;
    const auto measure = [](const Lines& report, std::size_t& titleWidth, std::size_t& bodyWidth) {
        titleWidth = std::max(titleWidth, report[1].size());
        for (std::size_t i = 2; i < report.size(); ++i) bodyWidth = std::max(bodyWidth, report[i].size());
    };
    const SummaryEntries entries{{"50", "30", "12"}, {"8", "4", "2"}, {"30", "31", "13"}, {"0.5", "0.25", "0.75"}};
    const SummaryEntries deficitEntries{{"11", "41"}, {"1", "3.606"}, {"6", "50"}, {"-0.27735"}};
    for (const LimitType limitType : limitTypes) {
        const ReportRun deficit = SmallExample(limitType);
        measure(Write(deficit), deficitTitle, deficitBody);
        measure(WriteEntered(deficit, deficitEntries), deficitTitle,
                deficitBody);
        const ReportRun dissociation = DissociationExample(limitType);
        measure(Write(dissociation), title, body);
        measure(WriteEntered(dissociation, entries), title,
                body);
    }
    EXPECT_LE(title, deficitTitle);
    EXPECT_LE(body, deficitBody);
}

// ---- Without covariates ----

// The examples' tasks alone, k = 0: the deficit's task of the three controls (mean 11,
// SD 1, z -5), the dissociation's two tasks (correlation 0.5).
ReportRun WithoutCovariates(AnalysisTest test) {
    ReportRun run = test == AnalysisTest::Deficit ? SmallExample() : DissociationExample(LimitType::TwoSided);
    run.inputs.k = 0;
    run.inputs.p = TaskCount(test);
    return run;
}

const Lines kTableHead = {
    kRule, "  Measure               Control        Control        Score for              z score  ",
    "                         Mean            SD             Case                 for case",
    kRule};

struct NoCovariateCase {
    const char* name;
    AnalysisTest test;
    std::string title, summaryTitle;
    Lines analysis;  // from the summary table to the outputs
    SummaryEntries entries;
    Lines entered;  // the statistics as entered
};

class NoCovariates : public ::testing::TestWithParam<NoCovariateCase> {};

// The title says that no covariates were used; the summary table has no covariate rows, a
// deficit no correlation matrix, a dissociation the tasks' 2 x 2 one; the conditional
// estimates, which would repeat the table and the matrix, are left out.
TEST_P(NoCovariates, TheTitleSaysSoAndWhatHasNoMeaningIsLeftOut) {
    const NoCovariateCase& c = GetParam();
    const ReportRun run = WithoutCovariates(c.test);
    const Lines raw = Write(run);
    EXPECT_EQ(raw[1], c.title);
    EXPECT_TRUE(SameLines(Slice(raw, IndexOf(raw, c.analysis[0]), c.analysis.size()), c.analysis));
    const Lines summary = WriteEntered(run, c.entries);
    EXPECT_EQ(summary[1], c.summaryTitle);
    const std::size_t entered = IndexOf(summary, c.entered[0]);
    EXPECT_TRUE(
        SameLines(Slice(summary, entered, c.entered.size() + c.analysis.size()), Concat({c.entered, c.analysis})));
}

INSTANTIATE_TEST_SUITE_P(
    Tests, NoCovariates,
    ::testing::Values(
        NoCovariateCase{
            "Deficit", AnalysisTest::Deficit,
            "Quorvane: Bayesian test for a deficit in the single case without covariates (Raw data as input) ",
            "QuorvaneSummary: Bayesian test for a deficit in the single case without covariates (Summary statistics "
            "as input) ",
            Concat({{" Summary statistics for the control sample for task together with scores for the case:"},
                    kTableHead,
                    {"  Task of Interest:      11.000          1.000           6.000                -5.000", kRule,
                     " ", " ", "", " OUTPUTS:"}}),
            {{"11"}, {"1"}, {"6"}, {}},
            {" Summary statistics for the control sample and scores for the case, as entered:",
             "   Task of Interest:  Mean = 11   SD = 1   Score for case = 6", ""}},
        NoCovariateCase{
            "Dissociation", AnalysisTest::Dissociation,
            "Quorvane: Bayesian dissociation test in the single case without covariates (Raw data as input) ",
            "QuorvaneSummary: Bayesian dissociation test in the single case without covariates (Summary statistics "
            "as input) ",
            Concat({{" Summary statistics for the control sample for tasks together with scores for the case:"},
                    kTableHead,
                    {"  Task 1:                50.000          8.000          30.000                -2.500",
                     "  Task 2:                30.000          4.000          31.000                 0.250", kRule,
                     " ", " ", "", " Correlation between the tasks in control sample:", "   1.00000   0.50000   ",
                     "   0.50000   1.00000   ", "", "", " OUTPUTS:"}}),
            {{"50", "30"}, {"8", "4"}, {"30", "31"}, {"0.5"}},
            {" Summary statistics for the control sample and scores for the case, as entered:",
             "   Task 1:            Mean = 50   SD = 8   Score for case = 30",
             "   Task 2:            Mean = 30   SD = 4   Score for case = 31",
             " Correlation between the tasks in control sample, as entered:", "   Task 2 with Task 1 = 0.5", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// The conclusion from each task's deficit test and the difference's: a deficit is a
// one-tailed p below .05 with the case below the controls, never above them.
struct ConclusionCase {
    const char* name;
    long double p1, below1, p2, below2, differenceP;  // one-tailed p, percentage below; two-tailed p
    const char* conclusion;
};

class Conclusion : public ::testing::TestWithParam<ConclusionCase> {};

TEST_P(Conclusion, NamesTheCriteriaTheOutcomeMeets) {
    const ConclusionCase& c = GetParam();
    tDissociationOutcome outcome;
    outcome.tasks[0].results(OneTailedP) = c.p1;
    outcome.tasks[0].results(PercentBelow) = c.below1;
    outcome.tasks[1].results(OneTailedP) = c.p2;
    outcome.tasks[1].results(PercentBelow) = c.below2;
    outcome.difference(TwoTailedP) = c.differenceP;
    EXPECT_EQ(DissociationConclusion(outcome), c.conclusion);
}

const char* const kClassical1 = "classical dissociation (a deficit on task 1, none on task 2, a significant difference)";
INSTANTIATE_TEST_SUITE_P(
    Table, Conclusion,
    ::testing::Values(
        ConclusionCase{"Classical", 0.01L, 1, 0.3L, 30, 0.01L, kClassical1},
        ConclusionCase{"ClassicalOnTask2", 0.3L, 30, 0.001L, 0.1L, 0.049L,
                       "classical dissociation (a deficit on task 2, none on task 1, a significant difference)"},
        // Far above the controls on task 2: significant, but no deficit.
        ConclusionCase{"ClassicalWithTask2AboveTheControls", 0.01L, 1, 0.001L, 99.9L, 0.001L, kClassical1},
        ConclusionCase{"Strong", 0.01L, 1, 0.04L, 4, 0.02L,
                       "strong dissociation (deficits on both tasks and a significant difference between them)"},
        ConclusionCase{"OneDeficitWithoutADifference", 0.01L, 1, 0.3L, 30, 0.06L,
                       "no dissociation (a deficit on task 1 and none on task 2, but no significant difference)"},
        ConclusionCase{"TwoDeficitsWithoutADifference", 0.01L, 1, 0.02L, 2, 0.5L,
                       "no dissociation (deficits on both tasks, but no significant difference between them)"},
        ConclusionCase{"ADifferenceWithoutDeficits", 0.2L, 20, 0.3L, 70, 0.01L,
                       "no dissociation (a significant difference, but a deficit on neither task)"},
        ConclusionCase{"BothAboveTheControls", 0.001L, 99.9L, 0.01L, 99, 0.001L,
                       "no dissociation (a significant difference, but a deficit on neither task)"},
        // Judged on the p before it is rounded for the report: .049996 prints as .05000.
        ConclusionCase{"JustBelowTheCriteria", 0.049996L, 4.9996L, 0.3L, 30, 0.049996L, kClassical1},
        // The criteria are strict: p = .05 is not below .05.
        ConclusionCase{"AtTheCriteria", 0.05L, 5, 0.05L, 5, 0.05L,
                       "no dissociation (a deficit on neither task and no significant difference)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
