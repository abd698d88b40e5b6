#include "analysis/summary_run.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "analysis/metrics_papers.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "analysis/text_input.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

// The row (from 2) and column of correlation index, lower triangle row by row.
std::pair<int, int> CorrelationCell(int index) {
    int row = 2;
    while (index >= row - 1) index -= row++ - 1;
    return {row, index + 1};
}

enum class NumberReading { Number, NotANumber, OutOfRange };

// The text read as the C library reads a number, blanks around it ignored. Infinity and
// NaN written as words are no numbers; a number that overflows or underflows extended
// precision (the library says ERANGE), or lies beyond a double's range, is out of range.
NumberReading ReadCNumber(const std::string& text, long double& value) {
    const std::string trimmed = Trimmed(text);
    if (trimmed.empty()) return NumberReading::NotANumber;
    char* end = nullptr;
    errno = 0;
    value = std::strtold(trimmed.c_str(), &end);
    const bool rangeError = errno == ERANGE;
    if (end != trimmed.c_str() + trimmed.size() || std::isnan(value) || (std::isinf(value) && !rangeError))
        return NumberReading::NotANumber;
    return rangeError || !InNumberRange(value) ? NumberReading::OutOfRange : NumberReading::Number;
}

// One entry as a number, or nothing after its warning.
std::optional<long double> ReadEntry(const std::string& text, SummaryField field, int index, AnalysisTest test,
                                     Platform& platform) {
    const std::string caption = EntryCaption(field, index, test);
    if (Trimmed(text).empty()) {
        ShowWarning(platform, "INPUT ERROR\n\n(  " + caption + "  )\n\nData have not been entered in this field.");
        return std::nullopt;
    }
    const std::optional<long double> value = ParseStatistic(text);
    if (!value)
        ShowWarning(platform, "INPUT ERROR\n(  " + caption + "  " + text + "  )\n\n" +
                                  (IsOutOfRangeNumber(text)
                                       ? "The number " + std::string(kOutOfRange)
                                       : std::string("Enter a finite number, with a full stop as the decimal point.")));
    return value;
}

// A list of the window's grid must hold one text per entry; only the command line can
// give another count.
bool CheckCount(const std::vector<std::string>& list, std::size_t needed, const std::string& what,
                const std::string& which, Platform& platform) {
    if (list.size() == needed) return true;
    const std::string count = needed == 0 ? "none" : std::to_string(needed);
    ShowWarning(platform, "INPUT ERROR\nThe " + what + " hold " + Plural(list.size(), "number", "numbers") + "; " +
                              count + (needed == 1 ? " is" : " are") + " needed (" + which + ").");
    return false;
}

}  // namespace

std::optional<long double> ParseStatistic(const std::string& text) {
    long double value = 0;
    if (ReadCNumber(text, value) != NumberReading::Number) return std::nullopt;
    return value;
}

bool IsOutOfRangeNumber(const std::string& text) {
    long double value = 0;
    return ReadCNumber(text, value) == NumberReading::OutOfRange;
}

std::optional<int> TypedCovariateCount(const std::string& text) {
    const std::optional<long double> k = ParseStatistic(text);
    if (!k || !(*k >= 0 && *k <= 5) || *k != std::trunc(*k)) return std::nullopt;
    return static_cast<int>(*k);
}

int CorrelationIndex(int row, int column) { return (row - 1) * (row - 2) / 2 + (column - 1); }

std::string EntryCaption(SummaryField field, int index, AnalysisTest test) {
    switch (field) {
        case SummaryField::Mean: return "Mean of " + VariableName(index + 1, test);
        case SummaryField::SD: return "SD of " + VariableName(index + 1, test);
        case SummaryField::CaseScore: return "Case's score on " + VariableName(index + 1, test);
        case SummaryField::Correlation: {
            const auto [row, column] = CorrelationCell(index);
            return "Correlation of " + VariableName(row, test) + " with " + VariableName(column, test);
        }
        case SummaryField::N: return kLabelCaptions[0];
        case SummaryField::K: return kLabelCaptions[1];
        case SummaryField::None: break;
    }
    return "";
}

std::optional<CheckedSummary> CheckSummaryInputs(const MainWindowState& window,
                                                 const SummaryEntries& entries,
                                                 Platform& platform, SummaryFocus& focus) {
    const auto test = static_cast<AnalysisTest>(window.testIndex);
    focus = {SummaryField::N, 0};
    const std::string& nCaption = window.labelCaptions[0];
    const double nValue = ReadNumericField(window.fieldTexts[0], nCaption, platform);
    const std::string& nText = window.fieldTexts[0];
    if (InputErrorFlag || !CheckSampleSize(nCaption, nValue, nText, platform, test) ||
        !CheckSampleSizeLimit(nCaption, nValue, nText, platform, kMaxSummarySampleSize))
        return std::nullopt;
    focus = {SummaryField::K, 0};
    const std::string& kCaption = window.labelCaptions[1];
    const double kValue = ReadNumericField(window.fieldTexts[1], kCaption, platform);
    if (InputErrorFlag || !CheckCovariateCount(kCaption, kValue, window.fieldTexts[1], platform)) return std::nullopt;

    CheckedSummary checked;
    checked.n = static_cast<int>(std::trunc(nValue));
    checked.k = static_cast<int>(std::trunc(kValue));
    const int p = checked.k + TaskCount(test);
    if (!CheckCovariatesForSampleSize(checked.n, checked.k, platform, test)) return std::nullopt;

    focus = {SummaryField::None, 0};
    const std::string tasks = test == AnalysisTest::Dissociation ? "task 1, task 2" : "the task of interest";
    const std::string variables =
        checked.k == 0 ? tasks : tasks + ", then " + Plural(checked.k, "covariate", "covariates");
    const auto triangle = static_cast<std::size_t>(p * (p - 1) / 2);
    if (!CheckCount(entries.means, p, "means", variables, platform) ||
        !CheckCount(entries.sds, p, "SDs", variables, platform) ||
        !CheckCount(entries.caseScores, p, "case's scores", variables, platform) ||
        !CheckCount(entries.correlations, triangle, "correlations",
                    p == 1 ? "the task of interest alone has no correlation"
                           : "the lower triangle of the correlation matrix, row by row",
                    platform))
        return std::nullopt;

    AnalysisResults& s = checked.statistics;
    for (int i = 1; i <= p; ++i) {
        const int v = i - 1;
        focus = {SummaryField::Mean, v};
        const auto mean = ReadEntry(entries.means[v], SummaryField::Mean, v, test, platform);
        if (!mean) return std::nullopt;
        focus = {SummaryField::SD, v};
        const auto sd = ReadEntry(entries.sds[v], SummaryField::SD, v, test, platform);
        if (!sd) return std::nullopt;
        if (!(*sd > 0)) {
            ShowWarning(platform, "INPUT ERROR\n(  " + EntryCaption(SummaryField::SD, v, test) + "  " +
                                      entries.sds[v] + "  )\n\nA standard deviation must be greater than 0.");
            return std::nullopt;
        }
        focus = {SummaryField::CaseScore, v};
        const auto score = ReadEntry(entries.caseScores[v], SummaryField::CaseScore, v, test, platform);
        if (!score) return std::nullopt;
        s.means(i) = *mean;
        s.sds(i) = *sd;
        s.caseScores(i) = *score;
        s.corr(i, i) = 1;
        for (int j = 1; j < i; ++j) {
            const int c = CorrelationIndex(i, j);
            focus = {SummaryField::Correlation, c};
            const auto r = ReadEntry(entries.correlations[c], SummaryField::Correlation, c, test, platform);
            if (!r) return std::nullopt;
            if (!(*r > -1 && *r < 1)) {
                ShowWarning(platform, "INPUT ERROR\n(  " + EntryCaption(SummaryField::Correlation, c, test) + "  " +
                                          entries.correlations[c] +
                                          "  )\n\nA correlation must lie strictly between -1 and 1.");
                return std::nullopt;
            }
            s.corr(i, j) = s.corr(j, i) = *r;
        }
    }
    focus = {SummaryField::None, 0};
    return checked;
}

SummaryOutcome RunSummaryCompute(const MainWindowState& window, const SummaryEntries& entries,
                                 Platform& platform, const ComputeOptions& options) {
    SummaryOutcome outcome;
    std::optional<CheckedSummary> checked = CheckSummaryInputs(window, entries, platform, outcome.focus);
    if (!checked) return outcome;

    const auto test = static_cast<AnalysisTest>(window.testIndex);
    AnalysisInputs inputs;
    inputs.n = checked->n;
    inputs.k = checked->k;
    inputs.p = checked->k + TaskCount(test);
    inputs.test = test;
    if (options.saveInputs) {
        std::vector<std::string> texts = {window.fieldTexts[0], window.fieldTexts[1]};
        for (int v = 0; v < inputs.p; ++v)
            texts.insert(texts.end(), {entries.means[v], entries.sds[v], entries.caseScores[v]});
        texts.insert(texts.end(), entries.correlations.begin(), entries.correlations.end());
        SaveInputTexts(WithTestItem(texts, test), SummaryInputsFileName, platform);
    }

    inputs.limitType = static_cast<LimitType>(window.limitIndex);
    AnalysisResults& results = checked->statistics;
    {
        BusyCursor busy(platform);
        AnalysisStop stop = AnalysisStop::None;
        const auto longStep = [&] {
            // The C library's number reading may have left flags behind.
            ClearFloatingPointFaults();
            stop = AnalyseStatistics(inputs.n, inputs.k, inputs.test, inputs.limitType, results);
        };
        if (options.runLongStep)
            options.runLongStep(longStep);
        else
            longStep();
        if (stop == AnalysisStop::NotPositiveDefinite) {
            platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), kNotPositiveDefinite);
            outcome.focus = {SummaryField::Correlation, 0};
            return outcome;
        }
        if (stop == AnalysisStop::CaseOutOfReach) {
            platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error),
                                 CaseOutOfReachMessage("check the case's scores and the statistics as entered "
                                                       "for an error of entry",
                                                       inputs.test, inputs.k));
            outcome.focus = {SummaryField::CaseScore, 0};
            return outcome;
        }
        if (stop == AnalysisStop::TooLittleSpread) {
            platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error),
                                 TooLittleSpreadMessage(results, inputs.p, inputs.test));
            outcome.focus = {SummaryField::SD, LeastSpreadVariable(results, inputs.p) - 1};
            return outcome;
        }
    }
    outcome.completed = true;
    outcome.reportLines = WriteSummaryReport(inputs, results, window, entries);
    outcome.facts = {inputs.n, inputs.k, inputs.test, inputs.limitType, "", results};
    return outcome;
}

}  // namespace quorvane
