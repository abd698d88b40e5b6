#include "analysis/summary_run.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <variant>

#include "analysis/analysis_run.h"
#include "analysis/program_texts.h"
#include "analysis/input_checks.h"
#include "analysis/text_helpers.h"
#include "analysis/results_report.h"
#include "io/text_input.h"

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

std::optional<long double> ReadEntry(const std::string& text, InputField field, int index, AnalysisTest test,
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

int CorrelationIndex(int row, int column) { return (row - 1) * (row - 2) / 2 + (column - 1); }

std::string EntryCaption(InputField field, int index, AnalysisTest test) {
    switch (field) {
        case InputField::Mean: return "Mean of " + VariableName(index + 1, test);
        case InputField::SD: return "SD of " + VariableName(index + 1, test);
        case InputField::CaseScore: return "Case's score on " + VariableName(index + 1, test);
        case InputField::Correlation: {
            const auto [row, column] = CorrelationCell(index);
            return "Correlation of " + VariableName(row, test) + " with " + VariableName(column, test);
        }
        case InputField::N: return kSampleSizeCaption;
        case InputField::K: return kCovariateCountCaption;
        case InputField::M: return kCaseCountCaption;
        case InputField::Alpha: return kAlphaCaption;
        case InputField::TargetPower: return kTargetPowerCaption;
        case InputField::Simulations: return kSimulationsCaption;
        case InputField::Draws: return kDrawsCaption;
        case InputField::None: break;
    }
    return "";
}

std::optional<AnalysisResults> CheckSummaryEntries(const AnalysisInputs& inputs, const SummaryEntries& entries,
                                                   Platform& platform, InputFocus& focus) {
    const AnalysisTest test = inputs.test;
    const int p = inputs.p;
    focus = {InputField::None, 0};
    const std::string tasks = test == AnalysisTest::Dissociation ? "task 1, task 2" : "the task of interest";
    const std::string variables =
        inputs.k == 0 ? tasks : tasks + ", then " + Plural(inputs.k, "covariate", "covariates");
    const auto triangle = static_cast<std::size_t>(p * (p - 1) / 2);
    if (!CheckCount(entries.means, p, "means", variables, platform) ||
        !CheckCount(entries.sds, p, "SDs", variables, platform) ||
        !CheckCount(entries.caseScores, p, "case's scores", variables, platform) ||
        !CheckCount(entries.correlations, triangle, "correlations",
                    p == 1 ? "the task of interest alone has no correlation"
                           : "the lower triangle of the correlation matrix, row by row",
                    platform))
        return std::nullopt;

    AnalysisResults s;
    for (int i = 1; i <= p; ++i) {
        const int v = i - 1;
        focus = {InputField::Mean, v};
        const auto mean = ReadEntry(entries.means[v], InputField::Mean, v, test, platform);
        if (!mean) return std::nullopt;
        focus = {InputField::SD, v};
        const auto sd = ReadEntry(entries.sds[v], InputField::SD, v, test, platform);
        if (!sd) return std::nullopt;
        if (!(*sd > 0)) {
            ShowWarning(platform, "INPUT ERROR\n(  " + EntryCaption(InputField::SD, v, test) + "  " +
                                      entries.sds[v] + "  )\n\nA standard deviation must be greater than 0.");
            return std::nullopt;
        }
        focus = {InputField::CaseScore, v};
        const auto score = ReadEntry(entries.caseScores[v], InputField::CaseScore, v, test, platform);
        if (!score) return std::nullopt;
        s.means(i) = *mean;
        s.sds(i) = *sd;
        s.caseScores(i) = *score;
        s.corr(i, i) = 1;
        for (int j = 1; j < i; ++j) {
            const int c = CorrelationIndex(i, j);
            focus = {InputField::Correlation, c};
            const auto r = ReadEntry(entries.correlations[c], InputField::Correlation, c, test, platform);
            if (!r) return std::nullopt;
            if (!(*r > -1 && *r < 1)) {
                ShowWarning(platform, "INPUT ERROR\n(  " + EntryCaption(InputField::Correlation, c, test) + "  " +
                                          entries.correlations[c] +
                                          "  )\n\nA correlation must lie strictly between -1 and 1.");
                return std::nullopt;
            }
            s.corr(i, j) = s.corr(j, i) = *r;
        }
    }
    focus = {InputField::None, 0};
    return s;
}

std::optional<CheckedSummary> CheckSummaryRequest(const AnalysisRequest& request, Platform& platform,
                                                  InputFocus& focus) {
    const std::optional<CheckedCounts> counts = CheckCounts(request, platform, focus);
    if (!counts) return std::nullopt;
    const AnalysisInputs inputs = InputsOf(request, *counts);
    const std::optional<AnalysisResults> statistics =
        CheckSummaryEntries(inputs, std::get<SummaryEntries>(request.source), platform, focus);
    if (!statistics) return std::nullopt;
    return CheckedSummary{inputs.n, inputs.k, *statistics};
}

}  // namespace quorvane
