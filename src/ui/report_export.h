#pragma once
// The reports and their figures as files: the PDF of the results text, in the report's
// fixed-pitch font with each report followed by its figure and page numbers in the
// footer, and the figure alone as SVG or PNG.

#include <QByteArray>
#include <QLocale>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "ui/analysis_figure.h"

namespace quorvane {

// One report of the text and the figure that goes after it (none when the text and the
// figures cannot be matched).
struct ReportPart {
    QStringList lines;
    const FigureInput* figure = nullptr;
};

// Splits the results text into reports at its separator lines (each separator starts
// the next report) and pairs them in order with the figures of the analyses appended.
// When the user's edits leave a different number of reports than figures, no report is
// guessed at: the text stays whole and the figures follow it, in order.
std::vector<ReportPart> MatchReportsToFigures(const QString& text, const std::vector<FigureInput>& figures);

// Letter where the locale measures in US units, A4 elsewhere.
QPageSize::PageSizeId PaperFor(const QLocale& locale);

// The PDF document, and the number of its pages.
struct PdfDocument {
    QByteArray bytes;
    int pages = 0;
};
PdfDocument RenderPdfReport(const QString& text, const std::vector<FigureInput>& figures,
                            QPageSize::PageSizeId paper);

// Renders and writes the PDF on the paper of the user's locale.
void WritePdfReport(const std::string& path, const QString& text, const std::vector<FigureInput>& figures);

// The figure alone, as SVG or PNG by the file's extension; throws EInOutError for
// another extension or a failed write.
void WriteFigureFile(const std::string& path, const FigureInput& figure);

}  // namespace quorvane
