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
    FigureInput in;
    in.condMean = 37.051L;
    in.condSD = 4.716L;
    in.caseScore = 15;
    in.engine(ZCCC) = (in.caseScore - in.condMean) / in.condSD;
    in.engine(ZCCCLower) = -5.904L;
    in.engine(ZCCCUpper) = -3.265L;
    in.zHistogram.lower = -8;
    in.zHistogram.upper = -1;
    in.zHistogram.counts.fill(kDraws / kHistogramBins);
    return in;
}

inline QString Joined(const QStringList& lines) { return lines.join(QLatin1Char('\n')); }

inline ReportFigure FigureFor(const QStringList& report, const FigureInput& figure = DeficitSample()) {
    std::vector<std::string> lines;
    for (const QString& line : report) lines.push_back(line.toStdString());
    return FigureOfReport(lines, figure);
}

}  // namespace quorvane::testing
