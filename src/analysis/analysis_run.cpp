#include "analysis/analysis_run.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

#include "analysis/metrics_papers.h"
#include "analysis/raw_data_file.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

ComputeOutcome Stopped(FocusTarget focus) {
    ComputeOutcome outcome;
    outcome.focus = focus;
    return outcome;
}

void ShowError(Platform& platform, const std::string& text) {
    platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), text);
}

// Reads one count field: its number, or nothing when a check has already complained.
template <typename Check>
std::optional<double> ReadCount(const MainWindowState& window, int field, Check check,
                                Platform& platform) {
    const std::string& caption = window.labelCaptions[field];
    const double value = ReadNumericField(window.fieldTexts[field], caption, platform);
    if (InputErrorFlag || !check(caption, value, window.fieldTexts[field], platform)) return std::nullopt;
    return value;
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

// A run stopped by the analysis's own error box.
struct Refusal {
    std::string text;
    FocusTarget focus;
};

// Steps from the raw data to the engine's results, or the reason to stop.
std::optional<Refusal> Analyse(const AnalysisInputs& inputs, int caseLine, AnalysisResults& results) {
    ClearFloatingPointFaults();
    // Before the statistics: their standard deviation would be 0 or rounding noise.
    if (const int variable = FirstConstantVariable(inputs.rawData, inputs.n, inputs.p))
        return Refusal{ConstantVariableMessage(variable, inputs.test), FocusTarget::Input1};
    SampleStatistics(inputs.rawData, inputs.n, inputs.p, results.corr, results.means, results.sds);
    DataRow(inputs.rawData, inputs.n + 1, inputs.p, results.caseScores);
    switch (AnalyseStatistics(inputs.n, inputs.k, inputs.test, inputs.limitType, results)) {
        case AnalysisStop::None: return std::nullopt;
        case AnalysisStop::NotPositiveDefinite: return Refusal{kNotPositiveDefinite, FocusTarget::Input1};
        case AnalysisStop::TooLittleSpread:
            return Refusal{TooLittleSpreadMessage(results, inputs.p, inputs.test), FocusTarget::Input1};
        case AnalysisStop::CaseOutOfReach:
            return Refusal{CaseOutOfReachMessage("check the case's line of the data file (line " +
                                                     std::to_string(caseLine) + ") for an error of entry",
                                                 inputs.test, inputs.k),
                           FocusTarget::Unchanged};
    }
    return std::nullopt;
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

AnalysisStop AnalyseStatistics(int n, int k, AnalysisTest test, LimitType limitType, AnalysisResults& results) {
    const int p = k + TaskCount(test);
    if (!IsPositiveDefinite(p, results.corr) &&
        !(test == AnalysisTest::Dissociation && TasksRepeatEachOther(n, k, results)))
        return AnalysisStop::NotPositiveDefinite;
    try {
        // Checked before anything is computed, on the point estimate alone, so that how far
        // is too far does not depend on the draws; the engine's own refusal stays behind it.
        for (const long double z : CaseDistances(TaskCount(test), k, n, results.sds, results.means,
                                                 results.caseScores, results.corr))
            if (!(std::fabs(z) <= kMaxCaseDistance)) return AnalysisStop::CaseOutOfReach;
        results.caseZ = StandardiseScores(results.caseScores, results.means, results.sds, p, 0, 1);
        const bool twoSided = limitType == LimitType::TwoSided;
        if (test == AnalysisTest::Dissociation) {
            DissociationMonteCarloTest(k, n, kDraws, true, twoSided, kCrediblePercent, results.sds, results.means,
                                       results.caseScores, results.corr, results.outcome);
        } else {
            tDeficitOutcome& task = results.outcome.tasks[0];
            CovariateMonteCarloTest(k, n, kDraws, true, twoSided, kCrediblePercent, results.sds, results.means,
                                    results.caseScores, results.corr, task.condMean, task.condSD, task.results,
                                    task.zHistogram);
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

ComputeOutcome RunCompute(const MainWindowState& window, Platform& platform,
                          const ComputeOptions& options) {
    const auto test = static_cast<AnalysisTest>(window.testIndex);
    const auto checkSampleSize = [test](const std::string& caption, double x, const std::string& typed, Platform& p) {
        return CheckSampleSize(caption, x, typed, p, test);
    };
    const std::optional<double> nValue = ReadCount(window, 0, checkSampleSize, platform);
    if (!nValue) return Stopped(FocusTarget::Input1);
    const std::optional<double> kValue = ReadCount(window, 1, CheckCovariateCount, platform);
    if (!kValue) return Stopped(FocusTarget::Input2);
    // Checked on the typed number: a huge n must not reach the integer conversion.
    if (!CheckSampleSizeLimit(window.labelCaptions[0], *nValue, window.fieldTexts[0], platform))
        return Stopped(FocusTarget::Input1);
    const int n = static_cast<int>(std::trunc(*nValue));
    const int k = static_cast<int>(std::trunc(*kValue));
    if (!CheckCovariatesForSampleSize(n, k, platform, test)) return Stopped(FocusTarget::Input2);

    if (options.saveInputs) SaveCurrentData(window.fieldTexts, platform, test);

    AnalysisInputs inputs;
    AnalysisResults results;
    {
        BusyCursor busy(platform);
        inputs.n = n;
        inputs.k = k;
        inputs.p = k + TaskCount(test);
        inputs.test = test;
        inputs.limitType = static_cast<LimitType>(window.limitIndex);
        const RawDataLoad load = LoadRawDataFile(inputs.n + 1, inputs.p, inputs.rawData, platform, TaskCount(test));
        if (!load.loaded) {
            platform.ShowMessage(MessageKind::Information, DefaultCaption(MessageKind::Information),
                                 "Load data cancelled by user");
            return Stopped(FocusTarget::Unchanged);
        }
        inputs.dataFileName = load.fileName;
        std::optional<Refusal> refusal;
        const auto longStep = [&] { refusal = Analyse(inputs, load.caseLine, results); };
        if (options.runLongStep)
            options.runLongStep(longStep);
        else
            longStep();
        if (refusal) {
            ShowError(platform, refusal->text);
            return Stopped(refusal->focus);
        }
    }
    RunFacts facts{inputs.n, inputs.k, inputs.test, inputs.limitType, inputs.dataFileName, results};
    return {true, FocusTarget::Unchanged, WriteReport(inputs, results, window), std::move(facts)};
}

}  // namespace quorvane
