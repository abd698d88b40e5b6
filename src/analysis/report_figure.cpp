#include "analysis/report_figure.h"

#include <algorithm>

#include "analysis/text_helpers.h"
#include "analysis/results_report.h"

namespace quorvane {

FigureInput FigureInputOf(const RunFacts& facts, char decimalSeparator) {
    const AnalysisResults& results = facts.results;
    const DeficitFigure deficit{results.caseScores(1), results.outcome.tasks[0]};
    FigureInput figure = facts.test == AnalysisTest::Dissociation
                             ? FigureInputOf(facts.limitType, results.outcome, facts.k, decimalSeparator)
                             : FigureInput{facts.limitType, deficit, decimalSeparator, facts.k > 0, {}};
    figure.names = facts.names;
    return figure;
}

FigureInput FigureInputOf(LimitType limitType, const tDissociationOutcome& outcome, int k, char decimalSeparator) {
    return {limitType, outcome, decimalSeparator, k > 0, {}};
}

ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure) {
    const auto outputs = std::find(reportLines.begin(), reportLines.end(), " OUTPUTS:");
    ReportFigure result{{}, figure};
    for (auto line = outputs == reportLines.end() ? reportLines.begin() : outputs; line != reportLines.end(); ++line)
        if (!Trimmed(*line).empty() && *line != kSeparatorLine) result.outputs.push_back(*line);
    return result;
}

}  // namespace quorvane
