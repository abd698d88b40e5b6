#pragma once
// The figure that goes with a report in print and in the PDF: the numbers it shows,
// and the lines by which its report is found in the results text.

#include <string>
#include <vector>

#include "analysis/analysis_types.h"

namespace quorvane {

// What the figure shows of one analysis: the numbers of its report.
struct FigureInput {
    LimitType limitType = LimitType::TwoSided;
    long double caseScore = 0;  // the case's task score
    long double condMean = 0;
    long double condSD = 0;
    tCovariateResults engine;
    tDrawHistogram zHistogram;
    char decimalSeparator = '.';
};

FigureInput FigureInputOf(LimitType limitType, const AnalysisResults& results, char decimalSeparator);

// A report's figure, with the report's identifying lines: its OUTPUTS block (the whole
// report when it has none), blank lines left out.
struct ReportFigure {
    std::vector<std::string> outputs;
    FigureInput figure;
};
ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure);

}  // namespace quorvane
