#pragma once
// The figure that goes with a report in print and in the PDF: the numbers it shows,
// and the lines by which its report is found in the results text.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/analysis_types.h"
#include "engine/deficit_power.h"

namespace quorvane {

// The numbers of a deficit test's figure: the task's outcome and the case's score on it.
struct DeficitFigure {
    long double caseScore = 0;
    tDeficitOutcome outcome;
};

// The numbers of a study's plan: the power against the number of controls. The deficit's
// curve is exact, with its target, asymptote and sample size (none when out of reach); the
// dissociation's points are simulated, each with its Monte Carlo standard error.
struct PowerCurveFigure {
    AnalysisTest test = AnalysisTest::Deficit;
    double alpha = 0.05;
    Alternative alternative = Alternative::Less;
    std::vector<PowerAtN> curve;  // by n, ascending
    std::optional<double> targetPower, asymptote;
    std::optional<int> sampleSize;
    std::vector<double> standardErrors;  // of each point of the curve; empty where exact
    int simulations = 0, draws = 0;
};

// One case of a series' figure: its effect size (Z-CCC, or a dissociation's Z-DCCC) with
// the credible limits the report gives of it.
struct SeriesCaseEffect {
    int line = 0;
    long double effect = 0;
    std::optional<long double> lower, upper;
};

// The figure of a series of cases in place of one figure a case: every case's effect size
// with its interval, a row a case, against the line where a one-tailed p of .05 would lie.
struct SeriesFigure {
    AnalysisTest test = AnalysisTest::Deficit;
    std::vector<SeriesCaseEffect> cases;
};

// What the figure shows of one analysis: the numbers of its report, of either test, of a
// study's plan, or of a series.
struct FigureInput {
    LimitType limitType = LimitType::TwoSided;
    std::variant<DeficitFigure, tDissociationOutcome, PowerCurveFigure, SeriesFigure> test;
    char decimalSeparator = '.';
    // Without covariates the conditional mean, SD and correlation are the controls' own,
    // and the figure names them so.
    bool withCovariates = true;
    // The data file's names of the variables, the tasks first, when it gave them: the
    // figure names the tasks by them.
    std::vector<std::string> names{};
};

// The figure of a finished run, of whichever test it ran; of a series, the series' figure.
FigureInput FigureInputOf(const RunFacts& facts, char decimalSeparator);
// A dissociation's figure: both tasks against the controls, and the difference between them.
FigureInput FigureInputOf(LimitType limitType, const tDissociationOutcome& outcome, int k, char decimalSeparator);

struct PowerFacts;
// A plan's figure: its power curve.
FigureInput PowerFigureOf(const PowerFacts& facts, char decimalSeparator);

// A report's figure, with the report's identifying lines: its OUTPUTS block (the whole
// report when it has none), blank lines left out.
struct ReportFigure {
    std::vector<std::string> outputs;
    FigureInput figure;
};
ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure);

}  // namespace quorvane
