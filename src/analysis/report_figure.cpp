#include "analysis/report_figure.h"

#include <algorithm>

#include "analysis/power_run.h"
#include "analysis/reported_outcome.h"
#include "analysis/results_report.h"
#include "analysis/text_helpers.h"

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
        FigureInput figure{facts.limitType, series, decimalSeparator, facts.k > 0, {}};
        figure.names = facts.names;
        return figure;
    }
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

FigureInput PowerFigureOf(const PowerFacts& facts, char decimalSeparator) {
    PowerCurveFigure figure;
    figure.test = facts.test;
    figure.alpha = facts.alpha;
    figure.alternative = facts.alternative;
    if (facts.test == AnalysisTest::Deficit) {
        figure.curve = facts.plan.curve;
        figure.targetPower = facts.targetPower;
        figure.asymptote = facts.plan.asymptote;
        figure.sampleSize = facts.plan.sampleSize;
    } else {
        // The n asked may come in any order: the points go along the axis.
        std::vector<DissociationPowerAtN> simulated = facts.simulated;
        std::stable_sort(simulated.begin(), simulated.end(), [](const auto& a, const auto& b) { return a.n < b.n; });
        for (const DissociationPowerAtN& at : simulated) {
            figure.curve.push_back({at.n, at.result.difference.power});
            figure.standardErrors.push_back(at.result.difference.standardError);
        }
        figure.simulations = facts.simulations;
        figure.draws = facts.draws;
    }
    return {LimitType::TwoSided, figure, decimalSeparator, facts.k > 0};
}

ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure) {
    const auto outputs = std::find(reportLines.begin(), reportLines.end(), " OUTPUTS:");
    ReportFigure result{{}, figure};
    for (auto line = outputs == reportLines.end() ? reportLines.begin() : outputs; line != reportLines.end(); ++line)
        if (!Trimmed(*line).empty() && *line != kSeparatorLine) result.outputs.push_back(*line);
    return result;
}

}  // namespace quorvane
