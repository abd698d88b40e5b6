#include "analysis/results_report.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "analysis/case_series.h"
#include "analysis/program_texts.h"
#include "analysis/reported_outcome.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

using Lines = std::vector<std::string>;

const std::string kRuleLine = std::string(" ").append(93, '_');
const std::string kOneBlank = " ";
// "Task of Interest:", the longest variable name with its colon.
constexpr std::size_t kNameWidth = 17;
// Continuation lines of the notes start under the first line's text: " User's Notes: ".
const std::string kNotesIndent(15, ' ');
// The level of every criterion of a dissociation.
constexpr long double kSignificance = 0.05L;

// The words of a test's block of results. The headings of a one-sided limit are the
// first line given here and a second that names the side.
struct OutcomeWording {
    std::string effect;         // the effect size's name
    Lines hypothesis;           // before the probabilities
    Lines intervalEffect;       // before the effect size with its interval
    Lines intervalPercent;      // before the percentage with its interval
    std::string limitEffect;    // before the effect size with one limit
    std::string limitPercent;   // before the percentage with one limit
};

const OutcomeWording kDeficitWording = {
    "Z-CCC",
    {" Bayesian hypothesis test - probability that the case's score is an observation from the control",
     " population:"},
    {" Effect size (Z-CCC) for difference between case versus controls (plus 95% Credible Interval on the",
     " effect size):"},
    {" Percentage of control population exhibiting a lower score than the case (plus 95% Credible Interval):"},
    " Effect size (Z-CCC) for difference between score of case versus controls (plus 95% one-sided ",
    " Percentage of control population exhibiting a lower score than the ",
};

const OutcomeWording kDifferenceWording = {
    "Z-DCCC",
    {" Bayesian hypothesis test - probability that the case's difference between the tasks is an observation",
     " from the control population:"},
    {" Effect size (Z-DCCC) for the difference between the tasks, case versus controls (plus 95% Credible",
     " Interval on the effect size):"},
    {" Percentage of control population exhibiting a more extreme difference between the tasks than the case",
     " (plus 95% Credible Interval):"},
    " Effect size (Z-DCCC) for the difference between the tasks, case versus controls (plus 95% one-sided ",
    " Percentage of control population exhibiting a more extreme difference between the tasks than the ",
};

const std::string kCriteriaLine =
    " Criteria: deficit, one-tailed p < .05 below the controls; significant difference, two-tailed p < .05";

void Append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

}  // namespace

void WriteReportHead(const std::string& title, bool followsEarlierReport, Lines& lines) {
    if (followsEarlierReport) lines.push_back(kSeparatorLine);
    lines.push_back("");
    lines.push_back(title);
    lines.push_back("");
    lines.push_back(
        " THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPER:");
    lines.push_back(
        " Crawford, J. R., Garthwaite, P. H., & Ryan, K. (2011). Comparing a single case to a "
        "control sample:");
    lines.push_back(
        " Testing for neuropsychological deficits and dissociations in the presence of "
        "covariates. Cortex, 47,");
    lines.push_back(" 1166-1178.");
    lines.push_back("");
    lines.push_back("");
}

void WriteReportNotes(const std::vector<std::string>& notes, Lines& lines) {
    if (notes.empty()) return;
    lines.push_back(" " + kNotesCaption + " " + notes.front());
    for (std::size_t i = 1; i < notes.size(); ++i) lines.push_back(kNotesIndent + notes[i]);
    lines.push_back(kOneBlank);
}

void AppendWrapped(const std::string& text, Lines& lines) {
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > kRuleLine.size()) {
            lines.push_back(line);
            line.clear();
        }
        line += " " + word;
        start = end + 1;
    }
    lines.push_back(line);
}

namespace {

// " Correlation(s) between task and covariate(s) in control sample", or the tasks'; a
// dissociation without covariates has the tasks' one correlation, a deficit none.
std::string CorrelationTitle(AnalysisTest test, int k, const std::string& controls = "control sample") {
    if (test == AnalysisTest::Deficit) return " Correlation(s) between task and covariate(s) in " + controls;
    return k == 0 ? " Correlation between the tasks in " + controls
                  : " Correlations between the tasks and covariate(s) in " + controls;
}
std::string CorrelationTitle(const AnalysisInputs& inputs) { return CorrelationTitle(inputs.test, inputs.k); }

// A deficit without covariates has one variable: no correlation.
bool HasCorrelations(const AnalysisInputs& inputs) { return inputs.p > 1; }

// The lines common to both input modes: the heading, the two counts, and the test when it
// is a dissociation (a deficit's report is as it has always been).
void WriteCounts(const AnalysisInputs& inputs, Lines& lines) {
    lines.push_back(" INPUTS:");
    // The counts the analysis used, not the texts they were read from ("4 99", "25.0").
    lines.push_back(FormatInputLine(kSampleSizeCaption, std::to_string(inputs.n)));
    lines.push_back(FormatInputLine(kCovariateCountCaption, std::to_string(inputs.k)));
    if (inputs.m > 1) lines.push_back(FormatInputLine(kCaseCountCaption, std::to_string(inputs.m)));
    if (inputs.test == AnalysisTest::Dissociation)
        lines.push_back(" Analysis required: " + kTestCaptions[static_cast<std::size_t>(AnalysisTest::Dissociation)]);
    lines.push_back(" Credible limit required: " + kLimitCaptions[static_cast<std::size_t>(inputs.limitType)]);
    lines.push_back("");
}

void WriteInputs(const AnalysisInputs& inputs, Lines& lines) {
    WriteCounts(inputs, lines);
    lines.push_back(" Raw data were loaded from the following file: ");
    lines.push_back(" " + inputs.dataFileName);
    lines.push_back("");
}

// Entered texts with the report's decimal separator in place of their full stops, so
// that one separator runs through the report; every other character stays as entered.
std::vector<std::string> WithSeparator(std::vector<std::string> texts, char separator) {
    for (std::string& text : texts) std::replace(text.begin(), text.end(), '.', separator);
    return texts;
}

// The statistics as the user entered them, texts unchanged but for the decimal
// separator, so that the report can be checked against the published table.
void WriteEnteredStatistics(const AnalysisInputs& inputs, const SummaryEntries& entries, char separator,
                            Lines& lines) {
    WriteCounts(inputs, lines);
    WriteEnteredTable(inputs.test, inputs.k, entries, separator, false, lines);
}

void WriteRawData(const AnalysisInputs& inputs, char separator, Lines& lines) {
    // Controls only: the case's row n + 1 is shown in the summary table instead.
    PrintDataRows(inputs.rawData, inputs.n, inputs.p, " Raw data for controls:", lines, separator);
    lines.push_back("");
}

// Characters, not bytes, of UTF-8 text: the names of a data file's header line up by them.
std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The table's rows: the tasks, an empty line, the covariates. The data file's names, when
// it gave them, name the rows, their column widened for the longest.
void WriteSummary(const AnalysisInputs& inputs, const AnalysisResults& results, char separator,
                  Lines& lines) {
    const int tasks = TaskCount(inputs.test);
    const auto nameOf = [&](int i) {
        return inputs.names.empty() ? VariableName(i, inputs.test) : inputs.names[static_cast<std::size_t>(i - 1)];
    };
    std::size_t width = kNameWidth + 1;
    for (int i = 1; i <= inputs.p; ++i) width = std::max(width, Characters(nameOf(i)) + 2);
    const std::string wider(width - kNameWidth - 1, ' ');
    const std::string rule = kRuleLine + std::string(wider.size(), '_');
    lines.push_back(std::string(" Summary statistics for the control sample for ") + (tasks == 1 ? "task" : "tasks") +
                    (inputs.k > 0 ? " and covariates" : "") + " together with scores for the case:");
    lines.push_back(rule);
    lines.push_back(
        "  Measure" + wider + "               Control        Control        Score for              z score  ");
    lines.push_back(
        "         " + wider + "                Mean            SD             Case                 for case");
    lines.push_back(rule);
    for (int i = 1; i <= inputs.p; ++i) {
        if (i == tasks + 1) lines.push_back("");
        // The name with its colon in the column of "Task of Interest: ".
        std::string name = nameOf(i) + ":";
        name += std::string(width - Characters(name), ' ');
        lines.push_back("  " + name +
                        FormatText("%11.3f  %13.3f   %13.3f         %13.3f",
                                   {results.means(i), results.sds(i), results.caseScores(i), results.caseZ(i)},
                                   separator));
    }
    lines.push_back(rule);
    lines.push_back(kOneBlank);
    lines.push_back(kOneBlank);
    lines.push_back("");
}

// The correlation matrix, and the tasks' conditional estimates given the case's covariate
// scores. Without covariates those are the controls' own means, SDs and correlation, which
// the table and the matrix give already; a deficit has no matrix either.
void WriteCorrelations(const AnalysisInputs& inputs, const AnalysisResults& results,
                       char separator, Lines& lines) {
    if (HasCorrelations(inputs)) {
        PrintMatrix(results.corr, inputs.p, CorrelationTitle(inputs) + ":", lines, separator);
        lines.push_back("");
    }
    if (inputs.k == 0) return;
    for (int task = 1; task <= TaskCount(inputs.test); ++task) {
        const std::string name = VariableName(task, inputs.test);
        const tDeficitOutcome& outcome = results.outcome.tasks[task - 1];
        lines.push_back(FormatText(" Sample estimate of conditional mean for " + name + " = %8.3f",
                                   {outcome.condMean}, separator));
        lines.push_back(FormatText(" Sample estimate of conditional SD for " + name + "   = %8.3f",
                                   {outcome.condSD}, separator));
    }
    if (inputs.test == AnalysisTest::Dissociation)
        lines.push_back(FormatText(" Sample estimate of conditional correlation between Task 1 and Task 2 = %5.5f",
                                   {results.outcome.condCorrelation}, separator));
    lines.push_back("");
    lines.push_back("");
}

// The side and the value of a one-sided block's limit: the one that was given.
std::pair<std::string, long double> OneLimit(const std::optional<long double>& lower,
                                             const std::optional<long double>& upper) {
    return lower ? std::pair{std::string("lower"), *lower} : std::pair{std::string("upper"), upper.value_or(0)};
}

// A test's block: the probabilities, then the effect size and the percentage with the
// limits the limit type gives. The engine gives both one-sided limits; the report shows
// the one that was asked for.
void WriteOutcome(const OutcomeWording& wording, const ReportedOutcome& r, LimitType limitType, char separator,
                  Lines& lines) {
    Append(lines, wording.hypothesis);
    lines.push_back(FormatText(" One-tailed probability = %2.5f ", {r.oneTailedP}, separator));
    lines.push_back(FormatText(" Two-tailed probability = %2.5f ", {r.twoTailedP}, separator));
    lines.push_back(kOneBlank);
    const std::string effectLine = " Effect size (" + wording.effect + ") = %2.3f (95%% ";
    const std::string percentLine = " Bayesian point estimate    = %2.4f%% (95%% ";
    if (limitType == LimitType::TwoSided) {
        Append(lines, wording.intervalEffect);
        lines.push_back(FormatText(effectLine + "CI on effect size = %3.3f  to  %3.3f)",
                                   {r.effect, r.effectLower.value_or(0), r.effectUpper.value_or(0)}, separator));
        lines.push_back("");
        Append(lines, wording.intervalPercent);
        lines.push_back(FormatText(percentLine + "CI = %3.4f%%  to  %3.4f%%)",
                                   {r.percent, r.percentLower.value_or(0), r.percentUpper.value_or(0)}, separator));
    } else {
        const auto [effectSide, effectLimit] = OneLimit(r.effectLower, r.effectUpper);
        const auto [percentSide, percentLimit] = OneLimit(r.percentLower, r.percentUpper);
        lines.push_back(wording.limitEffect);
        lines.push_back(" " + effectSide + " Credible Limit on the effect size):");
        lines.push_back(FormatText(effectLine + effectSide + " Credible Limit on effect size = %3.3f)",
                                   {r.effect, effectLimit}, separator));
        lines.push_back("");
        lines.push_back(wording.limitPercent);
        lines.push_back(" case (plus 95% one-sided " + percentSide + " Credible Limit):");
        lines.push_back(FormatText(percentLine + percentSide + " Credible Limit = %3.4f%%)", {r.percent, percentLimit},
                                   separator));
    }
    lines.push_back(kOneBlank);
}

// Under the conclusion, when a criterion's p lies within Monte Carlo error of .05, a note
// that says so, wrapped at blanks to the width of the rule lines.
void WriteBorderlineNote(const std::vector<std::string>& criteria, Lines& lines) {
    if (criteria.empty()) return;
    std::string names = criteria.front();
    for (std::size_t i = 1; i < criteria.size(); ++i)
        names += (i + 1 == criteria.size() ? " and " : ", ") + criteria[i];
    AppendWrapped("Note: " + names + (criteria.size() == 1 ? " lies" : " lie") +
                      " within 3 Monte Carlo standard errors of .05, so the conclusion could go either way "
                      "at this number of draws, and another program's random stream may decide it "
                      "differently.",
                  lines);
}

// Each task's deficit test under its heading, the difference's test, and the conclusion.
void WriteDissociationOutcomes(const AnalysisInputs& inputs, const tDissociationOutcome& outcome, char separator,
                               Lines& lines) {
    for (int task = 1; task <= 2; ++task) {
        lines.push_back(" Test for a deficit on " + VariableName(task, inputs.test) + ":");
        lines.push_back("");
        WriteOutcome(kDeficitWording, ReportedDeficit(outcome.tasks[task - 1].results, inputs.limitType),
                     inputs.limitType, separator, lines);
    }
    lines.push_back(" Test for a dissociation between Task 1 and Task 2:");
    lines.push_back("");
    WriteOutcome(kDifferenceWording, ReportedDifference(outcome, inputs.limitType), inputs.limitType, separator,
                 lines);
    lines.push_back(kCriteriaLine);
    lines.push_back(" Conclusion: " + DissociationConclusion(outcome));
    WriteBorderlineNote(BorderlineCriteria(outcome), lines);
}

// Blocks D (from its table) to H: the same lines for both input modes.
void WriteAnalysis(const AnalysisInputs& inputs, const AnalysisResults& results, char separator,
                   Lines& lines) {
    WriteSummary(inputs, results, separator, lines);
    WriteCorrelations(inputs, results, separator, lines);
    lines.push_back(" OUTPUTS:");
    lines.push_back("");
    if (inputs.test == AnalysisTest::Dissociation)
        WriteDissociationOutcomes(inputs, results.outcome, separator, lines);
    else
        WriteOutcome(kDeficitWording, ReportedDeficit(results.outcome.tasks[0].results, inputs.limitType),
                     inputs.limitType, separator, lines);
    lines.push_back(kOneBlank);
}

bool HasDeficit(const tCovariateResults& r) { return r(OneTailedP) < kSignificance && r(PercentBelow) < 50; }

}  // namespace

void WriteEnteredTable(AnalysisTest test, int k, const SummaryEntries& entries, char separator, bool population,
                       Lines& lines) {
    const int p = k + TaskCount(test);
    lines.push_back(population ? " Statistics of the control population, the case's expected task "
                                 "score(s) and covariate scores, as entered:"
                               : " Summary statistics for the control sample and scores for the case, as entered:");
    // Each column as wide as its widest text, so that the columns line up.
    auto padded = [](const std::vector<std::string>& column, std::size_t i) {
        std::size_t width = 0;
        for (const std::string& text : column) width = std::max(width, text.size());
        return column[i] + std::string(width - column[i].size(), ' ');
    };
    const std::vector<std::string> means = WithSeparator(entries.means, separator);
    const std::vector<std::string> sds = WithSeparator(entries.sds, separator);
    const std::vector<std::string> caseScores = WithSeparator(entries.caseScores, separator);
    const std::vector<std::string> correlations = WithSeparator(entries.correlations, separator);
    for (int i = 1; i <= p; ++i) {
        std::string name = VariableName(i, test) + ":";
        name.resize(kNameWidth, ' ');
        lines.push_back("   " + name + "  Mean = " + padded(means, i - 1) + "   SD = " + padded(sds, i - 1) +
                        "   Score for case = " + caseScores[i - 1]);
    }
    if (p > 1)
        lines.push_back(CorrelationTitle(test, k, population ? "control population" : "control sample") +
                        ", as entered:");
    std::vector<std::string> pairs;
    for (int i = 2; i <= p; ++i)
        for (int j = 1; j < i; ++j) pairs.push_back(VariableName(i, test) + " with " + VariableName(j, test));
    for (std::size_t index = 0; index < pairs.size(); ++index)
        lines.push_back("   " + padded(pairs, index) + " = " + correlations[index]);
    lines.push_back("");
}

std::string VariableName(int variable, AnalysisTest test) {
    const int tasks = TaskCount(test);
    if (variable > tasks) return "Covariate " + std::to_string(variable - tasks);
    return test == AnalysisTest::Deficit ? "Task of Interest" : "Task " + std::to_string(variable);
}

std::string DissociationConclusion(const tDissociationOutcome& outcome) {
    const bool first = HasDeficit(outcome.tasks[0].results);
    const bool second = HasDeficit(outcome.tasks[1].results);
    const bool significant = outcome.difference(TwoTailedP) < kSignificance;
    if (first && second)
        return significant ? "strong dissociation (deficits on both tasks and a significant difference between them)"
                           : "no dissociation (deficits on both tasks, but no significant difference between them)";
    if (first || second) {
        const std::string impaired = first ? "task 1" : "task 2";
        const std::string spared = first ? "task 2" : "task 1";
        return significant ? "classical dissociation (a deficit on " + impaired + ", none on " + spared +
                                 ", a significant difference)"
                           : "no dissociation (a deficit on " + impaired + " and none on " + spared +
                                 ", but no significant difference)";
    }
    return significant ? "no dissociation (a significant difference, but a deficit on neither task)"
                       : "no dissociation (a deficit on neither task and no significant difference)";
}

std::vector<std::string> BorderlineCriteria(const tDissociationOutcome& outcome, int draws) {
    constexpr long double kErrors = 3;
    const auto nearLevel = [draws](long double p, long double oneTailed, long double multiple) {
        const long double error = multiple * std::sqrt(oneTailed * (1 - oneTailed) / draws);
        return std::fabs(p - kSignificance) <= kErrors * error;
    };
    std::vector<std::string> criteria;
    for (int task = 1; task <= 2; ++task) {
        const tCovariateResults& r = outcome.tasks[task - 1].results;
        if (r(PercentBelow) < 50 && nearLevel(r(OneTailedP), r(OneTailedP), 1))
            criteria.push_back("task " + std::to_string(task) + "'s one-tailed p");
    }
    const tCovariateResults& d = outcome.difference;
    if (nearLevel(d(TwoTailedP), d(OneTailedP), 2)) criteria.push_back("the difference's two-tailed p");
    return criteria;
}

std::string ReportTitle(AnalysisTest test, bool summary, int k) {
    const std::string& title = test == AnalysisTest::Dissociation
                                   ? (summary ? DissociationSummaryProgramTitle : DissociationProgramTitle)
                                   : (summary ? SummaryProgramTitle : ProgramTitle);
    if (k > 0) return title;
    const std::string covariates = "controlling for covariate(s)";
    return std::string(title).replace(title.find(covariates), covariates.size(), "without covariates");
}

std::string FormatInputLine(const std::string& caption, const std::string& text) {
    // Everything before the last colon, the blank in front of it included.
    const auto colon = caption.rfind(':');
    const std::string label = colon == std::string::npos ? caption : caption.substr(0, colon);
    return " " + label + "= " + text;
}

std::vector<std::string> WriteReport(const AnalysisInputs& inputs, const AnalysisResults& results,
                                     const AnalysisRequest& request) {
    const char separator = request.decimalSeparator;
    const auto* entries = std::get_if<SummaryEntries>(&request.source);
    Lines lines;
    WriteReportHead(ReportTitle(inputs.test, entries != nullptr, inputs.k), request.followsEarlierReport, lines);
    WriteReportNotes(request.notes, lines);
    if (entries) {
        WriteEnteredStatistics(inputs, *entries, separator, lines);
    } else {
        WriteInputs(inputs, lines);
        WriteRawData(inputs, separator, lines);
    }
    WriteAnalysis(inputs, results, separator, lines);
    return lines;
}

std::vector<std::string> WriteSeriesReport(const AnalysisInputs& inputs, const std::vector<CaseFacts>& cases,
                                           const AnalysisRequest& request) {
    const char separator = request.decimalSeparator;
    Lines lines;
    WriteReportHead(ReportTitle(inputs.test, false, inputs.k), request.followsEarlierReport, lines);
    WriteReportNotes(request.notes, lines);
    WriteInputs(inputs, lines);
    WriteRawData(inputs, separator, lines);
    RunFacts facts{inputs.n, inputs.k, inputs.test, inputs.limitType, inputs.dataFileName, {}, cases};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        lines.push_back(" CASE " + std::to_string(i + 1) + " (line " + std::to_string(cases[i].line) + "):");
        lines.push_back("");
        WriteAnalysis(inputs, cases[i].results, separator, lines);
        lines.push_back("");
    }
    Append(lines, SeriesTableLines(SeriesRows(facts), inputs.test, inputs.limitType, separator));
    lines.push_back(kOneBlank);
    return lines;
}

}  // namespace quorvane
