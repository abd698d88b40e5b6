#include "analysis/report_figure.h"

#include <algorithm>

#include "analysis/metrics_papers.h"
#include "analysis/results_report.h"

namespace quorvane {

FigureInput FigureInputOf(LimitType limitType, const AnalysisResults& results, char decimalSeparator) {
    FigureInput in;
    in.limitType = limitType;
    const tDeficitOutcome& task = results.outcome.tasks[0];
    in.caseScore = results.caseScores(1);
    in.condMean = task.condMean;
    in.condSD = task.condSD;
    in.engine = task.results;
    in.zHistogram = task.zHistogram;
    in.decimalSeparator = decimalSeparator;
    return in;
}

ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure) {
    const auto outputs = std::find(reportLines.begin(), reportLines.end(), " OUTPUTS:");
    ReportFigure result{{}, figure};
    for (auto line = outputs == reportLines.end() ? reportLines.begin() : outputs; line != reportLines.end(); ++line)
        if (!Trimmed(*line).empty() && *line != kSeparatorLine) result.outputs.push_back(*line);
    return result;
}

}  // namespace quorvane
