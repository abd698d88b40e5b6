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

// A report's figure, with the report's identifying lines: its OUTPUTS block (the whole
// report when it has none), blank lines left out.
struct ReportFigure {
    QStringList outputs;
    FigureInput figure;
};
ReportFigure FigureOfReport(const std::vector<std::string>& reportLines, const FigureInput& figure);

// One report of the text and the figures that go after it.
struct ReportPart {
    QStringList lines;
    std::vector<const FigureInput*> figures;
};

// Splits the results text into reports at its separator lines (each separator starts
// the next report) and puts each figure, in order, after the first report from the last
// figure's on that still holds the figure's outputs lines, in order. A figure whose
// report the user has deleted or changed is printed nowhere: no figure is guessed at.
std::vector<ReportPart> MatchReportsToFigures(const QString& text, const std::vector<ReportFigure>& figures);

// Letter where the locale measures in US units, A4 elsewhere.
QPageSize::PageSizeId PaperFor(const QLocale& locale);

// The PDF document, and the number of its pages.
struct PdfDocument {
    QByteArray bytes;
    int pages = 0;
};
PdfDocument RenderPdfReport(const QString& text, const std::vector<ReportFigure>& figures,
                            QPageSize::PageSizeId paper);

// The start of the message of a PDF that cannot be saved: "The PDF cannot be saved to "<path>"".
std::string PdfFailure(const std::string& path);

// Renders and writes the PDF on the paper of the user's locale.
void WritePdfReport(const std::string& path, const QString& text, const std::vector<ReportFigure>& figures);

// The figure alone, as SVG or PNG by the file's extension; throws EInOutError for
// another extension or a failed write.
void WriteFigureFile(const std::string& path, const FigureInput& figure);

}  // namespace quorvane
