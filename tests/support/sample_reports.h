#pragma once
// Reports of the results text's shape and a figure for them, for the tests of the pages
// that print and save them.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "analysis/report_figure.h"

namespace quorvane::testing {

inline const QString kSeparator(36, QLatin1Char('-'));

// A report of the results text's shape: a long first line, columns of blanks, and a
// line of 109 characters, the report's widest; each report but the first starts with
// the separator line.
inline QStringList ReportLines(int number) {
    QStringList lines;
    if (number > 1) lines << kSeparator;
    lines << QString() << QStringLiteral("Report %1: Bayesian test for a deficit in the single case").arg(number) << QString();
    for (int row = 1; row <= 40; ++row)
        lines << QStringLiteral(" [%1]:      %2.00000       %3.00000").arg(row, 4).arg(20 + row % 7).arg(10 + row % 5);
    lines << QStringLiteral(" OUTPUTS:");
    lines << QStringLiteral(" Percentage of control population exhibiting a lower score than the case (plus 95% Credible Interval): r%1")
                 .arg(number, 2, 10, QLatin1Char('0'));
    lines << QStringLiteral(" Bayesian point estimate    = 0.0068% (95% CI = 0.0000%  to  0.0547%)") << QStringLiteral(" ");
    return lines;
}

// The deficit figure of examples/story_recall_education.txt, near enough.
inline FigureInput DeficitSample() {
    DeficitFigure d;
    d.outcome.condMean = 37.051L;
    d.outcome.condSD = 4.716L;
    d.caseScore = 15;
    d.outcome.results(ZCCC) = (d.caseScore - d.outcome.condMean) / d.outcome.condSD;
    d.outcome.results(ZCCCLower) = -5.904L;
    d.outcome.results(ZCCCUpper) = -3.265L;
    d.outcome.zHistogram.lower = -8;
    d.outcome.zHistogram.upper = -1;
    d.outcome.zHistogram.counts.fill(kDraws / kHistogramBins);
    return {LimitType::TwoSided, d};
}

// A dissociation's figure: a deficit on task 1 and none on task 2, whose difference is
// significant.
inline FigureInput DissociationSample() {
    tDissociationOutcome d;
    for (int j = 0; j < 2; ++j) {
        d.tasks[j].condMean = 50 - 10 * j;
        d.tasks[j].condSD = 9.165L - 1.671L * j;
    }
    d.tasks[0].results(ZCCC) = -3.819L;
    d.tasks[1].results(ZCCC) = 0.267L;
    d.condCorrelation = 0.53579L;
    d.difference(ZDCCC) = -4.240L;
    d.difference(ZDCCCLower) = -5.419L;
    d.difference(ZDCCCUpper) = -2.840L;
    d.difference(PercentBelow) = 0.0274L;
    d.moreExtreme = {0.0274L, 0.0000L, 0.2258L};
    d.differenceHistogram.lower = -7.5;
    d.differenceHistogram.upper = -1;
    d.differenceHistogram.counts.fill(kDraws / kHistogramBins);
    return FigureInputOf(LimitType::TwoSided, d, 2, '.');
}

inline QString Joined(const QStringList& lines) { return lines.join(QLatin1Char('\n')); }

inline ReportFigure FigureFor(const QStringList& report, const FigureInput& figure = DeficitSample()) {
    std::vector<std::string> lines;
    for (const QString& line : report) lines.push_back(line.toStdString());
    return FigureOfReport(lines, figure);
}

}  // namespace quorvane::testing
