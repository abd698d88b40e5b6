#include "analysis/analysis_run.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <variant>

#include "analysis/program_texts.h"
#include "analysis/input_checks.h"
#include "analysis/raw_data_file.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "analysis/summary_run.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

void ShowError(Platform& platform, const std::string& text) {
    platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), text);
}

// "the task of interest", "task 2" or "covariate 2": the report's name in a sentence.
std::string VariableInText(int variable, AnalysisTest test) {
    if (test == AnalysisTest::Deficit && variable == 1) return "the task of interest";
    std::string name = VariableName(variable, test);
    name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    return name;
}

std::string ConstantVariableMessage(int variable, AnalysisTest test) {
    return "Analysis cannot proceed as the control sample's scores on " + VariableInText(variable, test) +
           " do not vary (all controls have the same score)";
}

// The text without the zeros that end its decimals, nor a point left bare.
std::string WithoutTrailingZeros(std::string text) {
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

// A statistic for a message: about six significant digits, in exponent form ("1e-300")
// only below a millionth or from 1e15 in size, where the digits written out would be
// mostly zeros.
std::string MessageNumber(long double x) {
    const int magnitude = x == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(x))));
    if (magnitude >= -6 && magnitude < 15) return WithoutTrailingZeros(FormatFixed(x, 0, std::max(5 - magnitude, 0)));
    std::array<char, 32> buffer{};
    const auto end =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, std::chars_format::scientific, 5).ptr;
    const std::string text(buffer.data(), end);
    const std::size_t e = text.find('e');
    return WithoutTrailingZeros(text.substr(0, e)) + "e" + std::to_string(std::stoi(text.substr(e + 1)));
}

// A run stopped by the analysis's own error box, and the entry it points the user at.
struct Refusal {
    std::string text;
    InputFocus focus;
};

// The refusal of a stop of AnalyseStatistics, where the user meets it: the entered
// statistics point at the entry to check, the raw data file at the sample size or the
// case's line of the file.
std::optional<Refusal> RefusalOf(AnalysisStop stop, const AnalysisInputs& inputs, const AnalysisResults& results,
                                 bool entered, const std::string& caseToCheck) {
    switch (stop) {
        case AnalysisStop::None: return std::nullopt;
        case AnalysisStop::NotPositiveDefinite:
            return Refusal{kNotPositiveDefinite, entered ? InputFocus{InputField::Correlation, 0} : InputFocus{InputField::N}};
        case AnalysisStop::TooLittleSpread:
            return Refusal{TooLittleSpreadMessage(results, inputs.p, inputs.test),
                           entered ? InputFocus{InputField::SD, LeastSpreadVariable(results, inputs.p) - 1}
                                   : InputFocus{InputField::N}};
        case AnalysisStop::CaseOutOfReach:
            return Refusal{CaseOutOfReachMessage(caseToCheck, inputs.test, inputs.k),
                           entered ? InputFocus{InputField::CaseScore, 0} : InputFocus{}};
    }
    return std::nullopt;
}

// Steps from the raw data to the engine's results, or the reason to stop.
std::optional<Refusal> AnalyseRawData(const AnalysisInputs& inputs, int caseLine, AnalysisResults& results) {
    ClearFloatingPointFaults();
    // Before the statistics: their standard deviation would be 0 or rounding noise.
    if (const int variable = FirstConstantVariable(inputs.rawData, inputs.n, inputs.p))
        return Refusal{ConstantVariableMessage(variable, inputs.test), {InputField::N}};
    SampleStatistics(inputs.rawData, inputs.n, inputs.p, results.corr, results.means, results.sds);
    DataRow(inputs.rawData, inputs.n + 1, inputs.p, results.caseScores);
    return RefusalOf(AnalyseStatistics(inputs.n, inputs.k, inputs.test, inputs.limitType, results), inputs, results,
                     false,
                     "check the case's line of the data file (line " + std::to_string(caseLine) +
                         ") for an error of entry");
}

// A series: the controls' statistics once, then every case against them, or the reason
// to stop, which names the case's line.
std::optional<Refusal> AnalyseRawSeries(const AnalysisInputs& inputs, const RawDataLoad& load,
                                        std::vector<AnalysisResults>& cases) {
    ClearFloatingPointFaults();
    if (const int variable = FirstConstantVariable(inputs.rawData, inputs.n, inputs.p))
        return Refusal{ConstantVariableMessage(variable, inputs.test), {InputField::N}};
    AnalysisResults controls;
    SampleStatistics(inputs.rawData, inputs.n, inputs.p, controls.corr, controls.means, controls.sds);
    cases.assign(load.cases.size(), controls);
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i].caseScores = load.cases[i];
    const SeriesStop stop = AnalyseSeries(inputs.n, inputs.k, inputs.test, inputs.limitType, cases);
    const auto i = static_cast<std::size_t>(stop.caseIndex);
    return RefusalOf(stop.stop, inputs, cases[i], false,
                     "check the line of case " + std::to_string(i + 1) + " in the data file (line " +
                         std::to_string(load.caseLines[i]) + ") for an error of entry");
}

// From the entered statistics to the engine's results, or the reason to stop.
std::optional<Refusal> AnalyseEnteredStatistics(const AnalysisInputs& inputs, AnalysisResults& results) {
    // The C library's number reading may have left flags behind.
    ClearFloatingPointFaults();
    return RefusalOf(AnalyseStatistics(inputs.n, inputs.k, inputs.test, inputs.limitType, results), inputs, results,
                     true, "check the case's scores and the statistics as entered for an error of entry");
}

// The long step where the options run it: here, or off a window's GUI thread.
std::optional<Refusal> RunLongStep(const ComputeOptions& options,
                                   const std::function<std::optional<Refusal>()>& step) {
    std::optional<Refusal> refusal;
    const auto longStep = [&] { refusal = step(); };
    if (options.runLongStep)
        options.runLongStep(longStep);
    else
        longStep();
    return refusal;
}

}  // namespace

tVector StandardiseScores(const tVector& x, const tVector& m, const tVector& s, int count,
                          long double offset, long double scale) {
    tVector y;
    for (int i = 1; i <= count; ++i) {
        const long double c = scale / s(i);
        y(i) = c * x(i) - (c * m(i) - offset);
    }
    RaiseFloatingPointFaults();
    return y;
}

int LeastSpreadVariable(const AnalysisResults& statistics, int p) {
    int least = 0;
    long double leastRatio = kTooLittleSpread;
    for (int i = 1; i <= p; ++i) {
        const long double size = std::fabs(statistics.means(i));
        // Compared before dividing, so a zero mean raises no fault.
        if (!(statistics.sds(i) < kTooLittleSpread * size)) continue;
        const long double ratio = statistics.sds(i) / size;
        if (ratio < leastRatio) {
            least = i;
            leastRatio = ratio;
        }
    }
    return least;
}

std::string TooLittleSpreadMessage(const AnalysisResults& statistics, int p, AnalysisTest test) {
    const int v = LeastSpreadVariable(statistics, p);
    return "Analysis cannot proceed as the control sample's scores on " + VariableInText(v, test) +
           " vary too little for their size (SD " + MessageNumber(statistics.sds(v)) + " against a mean of " +
           MessageNumber(statistics.means(v)) +
           ") for the arithmetic to be exact: subtract a constant from those scores (for example a round "
           "number near their mean) and try again";
}

namespace {

// Called from a handler of a fault of the analysis. Scores far from 0 with a tiny spread
// explain it: the regression from the statistics (n times the squared mean against the
// variance) has lost every digit. Any other fault goes on to the caller.
AnalysisStop TooLittleSpreadOrRethrow(const AnalysisResults& results, int p) {
    ClearFloatingPointFaults();
    if (LeastSpreadVariable(results, p) == 0) throw;
    return AnalysisStop::TooLittleSpread;
}

// Whether a dissociation's correlation matrix fails only because one task repeats the
// other (given the covariates): each task with the covariates is positive definite, and
// the tasks' conditional correlation lies beyond the difference test's limit but not
// beyond 1, as it would for a matrix that no sample can give. The difference test's own
// check then says so, in place of the general refusal.
bool TasksRepeatEachOther(int n, int k, const AnalysisResults& results) {
    const int p = k + 2;
    for (const int dropped : {1, 2}) {
        tSelector kept;
        for (int i = 1; i <= p; ++i) kept(i) = i != dropped;
        tMatrix oneTask;
        MatSelect(results.corr, p, kept, oneTask);
        if (!IsPositiveDefinite(p - 1, oneTask)) return false;
    }
    tMatrix coef, resid, inv;
    const bool fitted = RegressionFromSummary(results.corr, results.sds, results.means, 2, k, n, coef, resid, inv);
    const long double r = std::fabs(resid(1, 2)) / std::sqrt(resid(1, 1) * resid(2, 2));
    ClearFloatingPointFaults();  // what the fit raised is its own, not the analysis's
    return fitted && r > kMaxConditionalCorrelation && r < 1 + 1e-6L;
}

}  // namespace

namespace {

// The gate of the controls' correlations, which every case of a series shares.
bool CorrelationsRefused(int n, int k, AnalysisTest test, const AnalysisResults& results) {
    return !IsPositiveDefinite(k + TaskCount(test), results.corr) &&
           !(test == AnalysisTest::Dissociation && TasksRepeatEachOther(n, k, results));
}

tTestOptions TestOptionsOf(LimitType limitType) {
    tTestOptions options;
    options.twoSided = limitType == LimitType::TwoSided;
    return options;
}

// The engine's outcomes of the cases against the same controls (whose caseScores are
// unused), on one set of draws: the one place where a series meets the engine.
std::vector<tDissociationOutcome> SeriesOutcomes(AnalysisTest test, const tCaseStatistics& controls,
                                                 const std::vector<tVector>& scores, const tTestOptions& options) {
    if (test == AnalysisTest::Dissociation) return DissociationMonteCarloSeries(controls, scores, options);
    std::vector<tDissociationOutcome> outcomes(scores.size());
    const std::vector<tDeficitOutcome> deficits = CovariateMonteCarloSeries(controls, scores, options);
    for (std::size_t i = 0; i < deficits.size(); ++i) outcomes[i].tasks[0] = deficits[i];
    return outcomes;
}

// Called from a handler of the series engine's error: the first case whose single run
// stops, and why; a fault that no single run explains goes on to the caller.
SeriesStop FirstStoppedCase(int n, int k, AnalysisTest test, LimitType limitType,
                            std::vector<AnalysisResults>& cases) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ClearFloatingPointFaults();
        const AnalysisStop stop = AnalyseStatistics(n, k, test, limitType, cases[i]);
        if (stop != AnalysisStop::None) return {stop, static_cast<int>(i)};
    }
    throw;
}

}  // namespace

SeriesStop AnalyseSeries(int n, int k, AnalysisTest test, LimitType limitType, std::vector<AnalysisResults>& cases) {
    if (cases.empty()) return {};
    const int p = k + TaskCount(test);
    for (AnalysisResults& one : cases) {
        one.n = n;
        one.k = k;
    }
    if (CorrelationsRefused(n, k, test, cases.front())) return {AnalysisStop::NotPositiveDefinite, 0};
    try {
        // On the point estimates alone, before any draw, as a single run checks them.
        for (std::size_t i = 0; i < cases.size(); ++i)
            for (const long double z : CaseDistances(TaskCount(test), cases[i]))
                if (!(std::fabs(z) <= kMaxCaseDistance)) return {AnalysisStop::CaseOutOfReach, static_cast<int>(i)};
        std::vector<tVector> scores;
        for (AnalysisResults& one : cases) {
            one.caseZ = StandardiseScores(one.caseScores, one.means, one.sds, p, 0, 1);
            scores.push_back(one.caseScores);
        }
        const std::vector<tDissociationOutcome> outcomes =
            SeriesOutcomes(test, cases.front(), scores, TestOptionsOf(limitType));
        for (std::size_t i = 0; i < cases.size(); ++i) cases[i].outcome = outcomes[i];
    } catch (const EArgumentError&) {
        return FirstStoppedCase(n, k, test, limitType, cases);
    } catch (const EMathError&) {
        return FirstStoppedCase(n, k, test, limitType, cases);
    } catch (const EMatrixError&) {
        return FirstStoppedCase(n, k, test, limitType, cases);
    }
    return {};
}

AnalysisStop AnalyseStatistics(int n, int k, AnalysisTest test, LimitType limitType, AnalysisResults& results) {
    const int p = k + TaskCount(test);
    results.n = n;
    results.k = k;
    if (CorrelationsRefused(n, k, test, results)) return AnalysisStop::NotPositiveDefinite;
    try {
        // Checked before anything is computed, on the point estimate alone, so that how far
        // is too far does not depend on the draws; the engine's own refusal stays behind it.
        for (const long double z : CaseDistances(TaskCount(test), results))
            if (!(std::fabs(z) <= kMaxCaseDistance)) return AnalysisStop::CaseOutOfReach;
        results.caseZ = StandardiseScores(results.caseScores, results.means, results.sds, p, 0, 1);
        const tTestOptions options = TestOptionsOf(limitType);
        if (test == AnalysisTest::Dissociation) {
            results.outcome = DissociationMonteCarloTest(results, options);
        } else {
            results.outcome.tasks[0] = CovariateMonteCarloTest(results, options);
        }
    } catch (const EArgumentError&) {
        // The engine's only argument error: a draw beyond the normal distribution
        // function's reach, which real scores never put a case at.
        return AnalysisStop::CaseOutOfReach;
    } catch (const EMathError&) {
        return TooLittleSpreadOrRethrow(results, p);
    } catch (const EMatrixError&) {
        return TooLittleSpreadOrRethrow(results, p);
    }
    return AnalysisStop::None;
}

std::string CaseOutOfReachMessage(const std::string& whereToCheck, AnalysisTest test, int k) {
    // The engine does not say which task's draws went out of reach.
    const std::string scores =
        test == AnalysisTest::Dissociation ? "score on task 1 or task 2" : "score on the task of interest";
    return "Analysis cannot proceed as the case's " + scores +
           " lies implausibly far from the scores of the control sample" +
           (k > 0 ? " (given the case's scores on the covariates)" : "") + ": " + whereToCheck;
}

std::optional<CheckedCounts> CheckCounts(const AnalysisRequest& request, Platform& platform, InputFocus& focus) {
    const AnalysisTest test = request.test;
    const bool entered = request.FromSummary();
    // A huge n must not reach the integer conversion. The raw program has always checked
    // its table's bound after k, the companion its own bound with n.
    const auto withinLimit = [&](double n) {
        focus = {InputField::N};
        return CheckSampleSizeLimit(kSampleSizeCaption, n, request.nText, platform,
                                    entered ? kMaxSummarySampleSize : kMaxSampleSize);
    };
    focus = {InputField::N};
    const std::optional<double> n = ReadNumericField(request.nText, kSampleSizeCaption, platform);
    if (!n || !CheckSampleSize(kSampleSizeCaption, *n, request.nText, platform, test)) return std::nullopt;
    if (entered && !withinLimit(*n)) return std::nullopt;
    focus = {InputField::K};
    const std::optional<double> k = ReadNumericField(request.kText, kCovariateCountCaption, platform);
    if (!k || !CheckCovariateCount(kCovariateCountCaption, *k, request.kText, platform)) return std::nullopt;
    if (!entered && !withinLimit(*n)) return std::nullopt;
    CheckedCounts counts{static_cast<int>(std::trunc(*n)), static_cast<int>(std::trunc(*k))};
    focus = {InputField::K};
    if (!CheckCovariatesForSampleSize(counts.n, counts.k, platform, test)) return std::nullopt;
    if (!entered) {
        focus = {InputField::M};
        const std::optional<double> m = ReadNumericField(request.mText, kCaseCountCaption, platform);
        if (!m || !CheckCaseCount(kCaseCountCaption, *m, request.mText, platform)) return std::nullopt;
        counts.m = static_cast<int>(std::trunc(*m));
    }
    focus = {};
    return counts;
}

AnalysisInputs InputsOf(const AnalysisRequest& request, CheckedCounts counts) {
    AnalysisInputs inputs;
    inputs.n = counts.n;
    inputs.k = counts.k;
    inputs.m = counts.m;
    inputs.p = counts.k + TaskCount(request.test);
    inputs.test = request.test;
    inputs.limitType = request.limit;
    return inputs;
}

AnalysisOutcome RunAnalysis(const AnalysisRequest& request, Platform& platform, const ComputeOptions& options) {
    AnalysisOutcome outcome;
    const std::optional<CheckedCounts> counts = CheckCounts(request, platform, outcome.focus);
    if (!counts) return outcome;
    AnalysisInputs inputs = InputsOf(request, *counts);
    AnalysisResults results;
    std::vector<AnalysisResults> series;  // of m > 1 cases
    std::vector<int> caseLines;
    const auto* entries = std::get_if<SummaryEntries>(&request.source);
    if (entries) {
        std::optional<AnalysisResults> checked = CheckSummaryEntries(inputs, *entries, platform, outcome.focus);
        if (!checked) return outcome;
        results = *checked;
    }
    if (options.saveInputs) SaveRequestInputs(request, platform);
    {
        BusyCursor busy(platform);
        std::optional<Refusal> refusal;
        if (entries) {
            refusal = RunLongStep(options, [&] { return AnalyseEnteredStatistics(inputs, results); });
        } else {
            const RawDataLoad load = LoadRawDataFile(inputs.n + inputs.m, inputs.p, inputs.rawData, platform,
                                                     TaskCount(inputs.test), std::get<RawDataFile>(request.source),
                                                     inputs.m);
            if (!load.loaded) {
                platform.ShowMessage(MessageKind::Information, DefaultCaption(MessageKind::Information),
                                     "Load data cancelled by user");
                return outcome;
            }
            inputs.dataFileName = load.fileName;
            inputs.names = load.names;
            caseLines = load.caseLines;
            refusal = RunLongStep(options, [&] {
                return inputs.m == 1 ? AnalyseRawData(inputs, load.caseLine, results)
                                     : AnalyseRawSeries(inputs, load, series);
            });
        }
        if (refusal) {
            ShowError(platform, refusal->text);
            outcome.focus = refusal->focus;
            return outcome;
        }
    }
    outcome.completed = true;
    if (!series.empty()) results = series.front();
    outcome.facts = {inputs.n, inputs.k, inputs.test, inputs.limitType, inputs.dataFileName, results, {}, inputs.names};
    if (series.empty() && !entries) series.push_back(results);
    for (std::size_t i = 0; i < series.size(); ++i) outcome.facts.cases.push_back({caseLines[i], series[i]});
    outcome.reportLines = outcome.facts.IsSeries() ? WriteSeriesReport(inputs, outcome.facts.cases, request)
                                                   : WriteReport(inputs, results, request);
    return outcome;
}

}  // namespace quorvane
