#pragma once
// The reports and their figures on paper and as files: the pages of the results text,
// printed or as a PDF, in the report's fixed-pitch font with each report followed by its
// figure and page numbers in the footer, and the figure alone as SVG or PNG.

#include <QByteArray>
#include <QLocale>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "export/analysis_figure.h"

class QPagedPaintDevice;

namespace quorvane {

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

// Reports and figures are laid out in points: their devices work at 72 dots per inch.
constexpr int kReportResolution = 72;

// Lays the results text out on the device's pages and paints it, as Save as PDF and
// Print All show it: within margins, in the report's fixed-pitch font at the size that
// keeps its widest line whole (a report's title and the user's notes aside: a title
// wider than that is set smaller, a note wrapped at blanks), each report followed by
// its figures (see MatchReportsToFigures), and page numbers in the footer. The device's
// resolution must be kReportResolution. Returns the number of pages; 0 when painting could not start.
int PaintReportPages(QPagedPaintDevice& device, const QString& text, const std::vector<ReportFigure>& figures);

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
