#include "analysis/report_figure.h"

#include <algorithm>

#include "analysis/reported_outcome.h"
#include "analysis/text_helpers.h"
#include "analysis/results_report.h"

namespace quorvane {

FigureInput FigureInputOf(const RunFacts& facts, char decimalSeparator) {
    const AnalysisResults& results = facts.results;
    if (facts.IsSeries()) {
        SeriesFigure series{facts.test, {}};
        for (const CaseFacts& one : facts.cases) {
            const tDissociationOutcome& o = one.results.outcome;
            const ReportedOutcome r = facts.test == AnalysisTest::Dissociation
                                          ? ReportedDifference(o, facts.limitType)
                                          : ReportedDeficit(o.tasks[0].results, facts.limitType);
            series.cases.push_back({one.line, r.effect, r.effectLower, r.effectUpper});
        }
        return {facts.limitType, series, decimalSeparator, facts.k > 0};
    }
    if (facts.test == AnalysisTest::Dissociation)
        return FigureInputOf(facts.limitType, results.outcome, facts.k, decimalSeparator);
    return {facts.limitType, DeficitFigure{results.caseScores(1), results.outcome.tasks[0]}, decimalSeparator, facts.k > 0};
}

FigureInput FigureInputOf(LimitType limitType, const tDissociationOutcome& outcome, int k, char decimalSeparator) {
    return {limitType, outcome, decimalSeparator, k > 0};
}

ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure) {
    const auto outputs = std::find(reportLines.begin(), reportLines.end(), " OUTPUTS:");
    ReportFigure result{{}, figure};
    for (auto line = outputs == reportLines.end() ? reportLines.begin() : outputs; line != reportLines.end(); ++line)
        if (!Trimmed(*line).empty() && *line != kSeparatorLine) result.outputs.push_back(*line);
    return result;
}

}  // namespace quorvane
