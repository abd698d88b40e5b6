#include "analysis/analysis_run.h"

#include <cmath>

#include "analysis/metrics_papers.h"
#include "analysis/raw_data_file.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

ComputeOutcome Stopped(FocusTarget focus) { return {false, focus, {}, {}}; }

void ShowError(Platform& platform, const std::string& text) {
    platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), text);
}

// Reads one count field: its number, or nothing when a check has already complained.
template <typename Check>
std::optional<double> ReadCount(const MainWindowState& window, int field, Check check,
                                Platform& platform) {
    const std::string& caption = window.labelCaptions[field];
    const double value = ReadNumericField(window.fieldTexts[field], caption, platform);
    if (InputErrorFlag || !check(caption, value, platform)) return std::nullopt;
    return value;
}

// The control sample's statistics and the case's scores, from the raw data table.
void StatisticsFromRawData(const AnalysisInputs& inputs, AnalysisResults& results) {
    ClearFloatingPointFaults();
    SampleStatistics(inputs.rawData, inputs.n, inputs.p, results.corr, results.means, results.sds);
    DataRow(inputs.rawData, inputs.n + 1, inputs.p, results.caseScores);
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

bool AnalyseStatistics(int n, int k, LimitType limitType, AnalysisResults& results) {
    const int p = k + 1;
    if (!IsPositiveDefinite(p, results.corr)) return false;
    results.caseZ = StandardiseScores(results.caseScores, results.means, results.sds, p, 0, 1);
    const bool twoSided = limitType == LimitType::TwoSided;
    CovariateMonteCarloTest(k, n, kDraws, true, twoSided, kCrediblePercent, results.sds, results.means,
                            results.caseScores, results.corr, results.condMean, results.condSD,
                            results.engine);
    return true;
}

ComputeOutcome RunCompute(const MainWindowState& window, Platform& platform,
                          const ComputeOptions& options) {
    const std::optional<double> nValue = ReadCount(window, 0, CheckSampleSize, platform);
    if (!nValue) return Stopped(FocusTarget::Input1);
    const std::optional<double> kValue = ReadCount(window, 1, CheckCovariateCount, platform);
    if (!kValue) return Stopped(FocusTarget::Input2);
    // Checked on the typed number: a huge n must not reach the integer conversion.
    if (!CheckSampleSizeLimit(window.labelCaptions[0], *nValue, platform)) return Stopped(FocusTarget::Input1);
    const int n = static_cast<int>(std::trunc(*nValue));
    const int k = static_cast<int>(std::trunc(*kValue));
    if (!(n - 1 > k)) {
        ShowError(platform, FormatText(" With a control sample size of %2d, the maximum number of "
                                       "covariates is %2d ",
                                       {n, n - 2}));
        return Stopped(FocusTarget::Input2);
    }

    if (options.saveInputs) SaveCurrentData(window.fieldTexts, platform);

    AnalysisInputs inputs;
    AnalysisResults results;
    {
        BusyCursor busy(platform);
        inputs.n = n;
        inputs.k = k;
        inputs.p = k + 1;
        inputs.limitType = static_cast<LimitType>(window.limitIndex);
        const RawDataLoad load = LoadRawDataFile(inputs.n + 1, inputs.p, inputs.rawData, platform);
        if (!load.loaded) {
            platform.ShowMessage(MessageKind::Information, DefaultCaption(MessageKind::Information),
                                 "Load data cancelled by user");
            return Stopped(FocusTarget::Unchanged);
        }
        inputs.dataFileName = load.fileName;
        StatisticsFromRawData(inputs, results);
        if (!AnalyseStatistics(inputs.n, inputs.k, inputs.limitType, results)) {
            ShowError(platform, kNotPositiveDefinite);
            return Stopped(FocusTarget::Input1);
        }
    }
    RunFacts facts{inputs.n, inputs.k, inputs.limitType, inputs.dataFileName, results};
    return {true, FocusTarget::Unchanged, WriteReport(inputs, results, window), std::move(facts)};
}

}  // namespace quorvane
