#include "analysis/results_report.h"

#include <algorithm>

#include "analysis/metrics_papers.h"
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

void WriteHead(const std::string& title, const MainWindowState& window, Lines& lines) {
    if (window.resultsHoldText) lines.push_back(kSeparatorLine);
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

void WriteNotes(const MainWindowState& window, Lines& lines) {
    if (window.notesLines.empty()) return;
    lines.push_back(" " + window.notesCaption + " " + window.notesLines.front());
    for (std::size_t i = 1; i < window.notesLines.size(); ++i)
        lines.push_back(kNotesIndent + window.notesLines[i]);
    lines.push_back(kOneBlank);
}

std::string LimitCaption(LimitType limitType) {
    switch (limitType) {
        case LimitType::OneSidedLower: return "One-sided lower";
        case LimitType::OneSidedUpper: return "One-sided upper";
        case LimitType::TwoSided: break;
    }
    return "Two-sided";
}

// The lines common to both input modes: the heading and the two counts.
void WriteCounts(const AnalysisInputs& inputs, const MainWindowState& window, Lines& lines) {
    lines.push_back(" INPUTS:");
    // The counts the analysis used, not the texts they were read from ("4 99", "25.0").
    lines.push_back(FormatInputLine(window.labelCaptions[0], std::to_string(inputs.n)));
    lines.push_back(FormatInputLine(window.labelCaptions[1], std::to_string(inputs.k)));
    lines.push_back(" Credible limit required: " + LimitCaption(inputs.limitType));
    lines.push_back("");
}

void WriteInputs(const AnalysisInputs& inputs, const MainWindowState& window, Lines& lines) {
    WriteCounts(inputs, window, lines);
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
void WriteEnteredStatistics(const AnalysisInputs& inputs, const MainWindowState& window,
                            const SummaryEntries& entries, Lines& lines) {
    WriteCounts(inputs, window, lines);
    lines.push_back(" Summary statistics for the control sample and scores for the case, as entered:");
    // Each column as wide as its widest text, so that the columns line up.
    auto padded = [](const std::vector<std::string>& column, std::size_t i) {
        std::size_t width = 0;
        for (const std::string& text : column) width = std::max(width, text.size());
        return column[i] + std::string(width - column[i].size(), ' ');
    };
    const char separator = window.decimalSeparator;
    const std::vector<std::string> means = WithSeparator(entries.means, separator);
    const std::vector<std::string> sds = WithSeparator(entries.sds, separator);
    const std::vector<std::string> caseScores = WithSeparator(entries.caseScores, separator);
    const std::vector<std::string> correlations = WithSeparator(entries.correlations, separator);
    for (int i = 1; i <= inputs.p; ++i) {
        std::string name = VariableName(i) + ":";
        name.resize(kNameWidth, ' ');
        lines.push_back("   " + name + "  Mean = " + padded(means, i - 1) + "   SD = " + padded(sds, i - 1) +
                        "   Score for case = " + caseScores[i - 1]);
    }
    lines.push_back(" Correlation(s) between task and covariate(s) in control sample, as entered:");
    std::vector<std::string> pairs;
    for (int i = 2; i <= inputs.p; ++i)
        for (int j = 1; j < i; ++j) pairs.push_back(VariableName(i) + " with " + VariableName(j));
    for (std::size_t index = 0; index < pairs.size(); ++index)
        lines.push_back("   " + padded(pairs, index) + " = " + correlations[index]);
    lines.push_back("");
}

void WriteRawData(const AnalysisInputs& inputs, char separator, Lines& lines) {
    // Controls only: the case's row n + 1 is shown in the summary table instead.
    PrintDataRows(inputs.rawData, inputs.n, inputs.p, " Raw data for controls:", lines, separator);
    lines.push_back("");
}

void WriteSummary(const AnalysisInputs& inputs, const AnalysisResults& results, char separator,
                  Lines& lines) {
    lines.push_back(
        " Summary statistics for the control sample for task and covariates together with scores "
        "for the case:");
    lines.push_back(kRuleLine);
    lines.push_back(
        "  Measure               Control        Control        Score for              z score  ");
    lines.push_back(
        "                         Mean            SD             Case                 for case");
    lines.push_back(kRuleLine);
    lines.push_back(FormatText("  Task of Interest: %11.3f  %13.3f   %13.3f         %13.3f",
                               {results.means(1), results.sds(1), results.caseScores(1),
                                results.caseZ(1)},
                               separator));
    lines.push_back("");
    for (int i = 2; i <= inputs.p; ++i)
        lines.push_back(FormatText("  Covariate%2d:      %11.3f  %13.3f   %13.3f         %13.3f",
                                   {i - 1, results.means(i), results.sds(i), results.caseScores(i),
                                    results.caseZ(i)},
                                   separator));
    lines.push_back(kRuleLine);
    lines.push_back(kOneBlank);
    lines.push_back(kOneBlank);
    lines.push_back("");
}

void WriteCorrelations(const AnalysisInputs& inputs, const AnalysisResults& results,
                       char separator, Lines& lines) {
    PrintMatrix(results.corr, inputs.p,
                " Correlation(s) between task and covariate(s) in control sample:", lines,
                separator);
    lines.push_back("");
    lines.push_back(FormatText(" Sample estimate of conditional mean for Task of Interest = %8.3f",
                               {results.condMean}, separator));
    lines.push_back(FormatText(" Sample estimate of conditional SD for Task of Interest   = %8.3f",
                               {results.condSD}, separator));
    lines.push_back("");
    lines.push_back("");
}

void WriteOutputs(const tCovariateResults& r, char separator, Lines& lines) {
    lines.push_back(" OUTPUTS:");
    lines.push_back("");
    lines.push_back(
        " Bayesian hypothesis test - probability that the case's score is an observation from the "
        "control");
    lines.push_back(" population:");
    lines.push_back(FormatText(" One-tailed probability = %2.5f ", {r(OneTailedP)}, separator));
    lines.push_back(FormatText(" Two-tailed probability = %2.5f ", {r(TwoTailedP)}, separator));
}

void WriteTwoSidedLimits(const tCovariateResults& r, char separator, Lines& lines) {
    lines.push_back(kOneBlank);
    lines.push_back(
        " Effect size (Z-CCC) for difference between case versus controls (plus 95% Credible "
        "Interval on the");
    lines.push_back(" effect size):");
    lines.push_back(FormatText(
        " Effect size (Z-CCC) = %2.3f (95%% CI on effect size = %3.3f  to  %3.3f)",
        {r(ZCCC), r(ZCCCLower), r(ZCCCUpper)}, separator));
    lines.push_back("");
    lines.push_back(
        " Percentage of control population exhibiting a lower score than the case (plus 95% "
        "Credible Interval):");
    lines.push_back(FormatText(
        " Bayesian point estimate    = %2.4f%% (95%% CI = %3.4f%%  to  %3.4f%%)",
        {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)}, separator));
    lines.push_back(kOneBlank);
}

// The engine gives both one-sided limits; the report shows the one that was asked for.
// The lower and the upper block differ only in that word and in the limits they print.
void WriteOneSidedLimit(const tCovariateResults& r, bool upper, char separator, Lines& lines) {
    const std::string side = upper ? "upper" : "lower";
    const long double zLimit = upper ? r(ZCCCUpper) : r(ZCCCLower);
    const long double percentLimit = upper ? r(PercentBelowUpper) : r(PercentBelowLower);
    lines.push_back(kOneBlank);
    lines.push_back(
        " Effect size (Z-CCC) for difference between score of case versus controls (plus 95% "
        "one-sided ");
    lines.push_back(" " + side + " Credible Limit on the effect size):");
    lines.push_back(FormatText(
        " Effect size (Z-CCC) = %2.3f (95%% " + side + " Credible Limit on effect size = %3.3f)",
        {r(ZCCC), zLimit}, separator));
    lines.push_back("");
    lines.push_back(" Percentage of control population exhibiting a lower score than the ");
    lines.push_back(" case (plus 95% one-sided " + side + " Credible Limit):");
    lines.push_back(FormatText(
        " Bayesian point estimate    = %2.4f%% (95%% " + side + " Credible Limit = %3.4f%%)",
        {r(PercentBelow), percentLimit}, separator));
    lines.push_back(kOneBlank);
}

// Blocks D (from its table) to H: the same lines for both input modes.
void WriteAnalysis(const AnalysisInputs& inputs, const AnalysisResults& results, char separator,
                   Lines& lines) {
    WriteSummary(inputs, results, separator, lines);
    WriteCorrelations(inputs, results, separator, lines);
    WriteOutputs(results.engine, separator, lines);
    switch (inputs.limitType) {
        case LimitType::TwoSided:
            WriteTwoSidedLimits(results.engine, separator, lines);
            break;
        case LimitType::OneSidedLower:
            WriteOneSidedLimit(results.engine, false, separator, lines);
            break;
        case LimitType::OneSidedUpper:
            WriteOneSidedLimit(results.engine, true, separator, lines);
            break;
    }
    lines.push_back(kOneBlank);
}

}  // namespace

std::string VariableName(int variable) {
    return variable == 1 ? "Task of Interest" : "Covariate " + std::to_string(variable - 1);
}

std::string FormatInputLine(const std::string& caption, const std::string& text) {
    // Everything before the last colon, the blank in front of it included.
    const auto colon = caption.rfind(':');
    const std::string label = colon == std::string::npos ? caption : caption.substr(0, colon);
    return " " + label + "= " + text;
}

std::vector<std::string> WriteReport(const AnalysisInputs& inputs, const AnalysisResults& results,
                                     const MainWindowState& window) {
    const char separator = window.decimalSeparator;
    Lines lines;
    WriteHead(ProgramTitle, window, lines);
    WriteNotes(window, lines);
    WriteInputs(inputs, window, lines);
    WriteRawData(inputs, separator, lines);
    WriteAnalysis(inputs, results, separator, lines);
    return lines;
}

std::vector<std::string> WriteSummaryReport(const AnalysisInputs& inputs,
                                            const AnalysisResults& results,
                                            const MainWindowState& window,
                                            const SummaryEntries& entries) {
    Lines lines;
    WriteHead(SummaryProgramTitle, window, lines);
    WriteNotes(window, lines);
    WriteEnteredStatistics(inputs, window, entries, lines);
    WriteAnalysis(inputs, results, window.decimalSeparator, lines);
    return lines;
}

}  // namespace quorvane
