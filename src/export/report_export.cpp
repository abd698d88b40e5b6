#include "export/report_export.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "io/io_errors.h"
#include "analysis/program_texts.h"
#include "analysis/results_report.h"
#include "export/qt_atomic_file.h"
#include "export/fonts.h"
#include "export/memo_lines.h"

namespace quorvane {

namespace {

// Everything is laid out in points (kReportResolution).
constexpr double kMarginMm = 18;
constexpr double kFooterSize = 8;
constexpr double kFooterRoom = 16;  // points between the text area and the footer's baseline
constexpr double kFigureGap = 14;   // points above a figure
// The report's font: as large as keeps the longest line whole, within these sizes; a
// report's title, the program's name and method, and the user's notes are not counted
// (see IsTitle and NotesLines).
constexpr double kLargestTextSize = 9.5;
constexpr double kSmallestTextSize = 5;
constexpr double kPngScale = 300.0 / kReportResolution;  // a PNG figure at 300 dots per inch

// Unhinted, so that every character's advance is the same fraction of the size at
// every size: the line fitting below relies on it.
QFont TextFont(double pointSize) {
    QFont font = ReportFont(12);
    font.setPointSizeF(pointSize);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The advance of a character of the fixed-pitch face at 1 point.
double AdvanceAtOnePoint(QPaintDevice& device) {
    return QFontMetricsF(TextFont(100), &device).horizontalAdvance(QLatin1Char('M')) / 100;
}

// The largest size, in tenths of a point, at which a line of this many characters fits
// the width.
double FittingSize(qsizetype characters, double width, QPaintDevice& device) {
    const double fitting =
        std::floor(width / (static_cast<double>(std::max<qsizetype>(1, characters)) * AdvanceAtOnePoint(device)) * 10) /
        10;
    return std::clamp(fitting, kSmallestTextSize, kLargestTextSize);
}

// A report's title, the program's name and method. The companion's title is wider than
// any other line of its report: set apart at its own size, it does not make the whole
// report smaller. Known by its words, not by its place: a printed selection starts
// anywhere, and its first line is no title for that.
bool IsTitle(const QString& line) {
    static const QStringList titles = [] {
        QStringList all;
        for (const AnalysisTest test : {AnalysisTest::Deficit, AnalysisTest::Dissociation})
            for (const bool summary : {false, true})
                for (const int k : {0, 1}) all.append(QString::fromStdString(ReportTitle(test, summary, k)).trimmed());
        return all;
    }();
    return titles.contains(line.trimmed());
}

// The start of a report's notes line, " User's Notes: "; the notes' further lines start
// under its text (see WriteReport).
QString NotesStart() { return QStringLiteral(" ") + QString::fromStdString(kNotesCaption) + QStringLiteral(" "); }

// Which lines of a report are the user's notes. A note is free text of any length, and
// the report's own lines are tables and results whose columns mean something only whole:
// the notes alone are wrapped, at blanks, to the width the other lines set, so that one
// long note does not shrink every page. They are known by how the report writes them,
// the caption's line and the lines indented under it, not by their width: a line of a
// wide table of many covariates, or a long file name, is the report's own and stays
// whole, setting the size as before.
std::vector<bool> NotesLines(const QStringList& lines) {
    const QString start = NotesStart();
    const QString indent(start.size(), QLatin1Char(' '));
    std::vector<bool> notes(static_cast<std::size_t>(lines.size()), false);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(start)) continue;
        notes[static_cast<std::size_t>(i)] = true;
        while (i + 1 < lines.size() && lines[i + 1].startsWith(indent)) notes[static_cast<std::size_t>(++i)] = true;
    }
    return notes;
}

// The size of the report's text: the one at which its longest line but the titles and
// the notes fits.
double TextSizeFor(const std::vector<ReportPart>& parts, double width, QPaintDevice& device) {
    qsizetype longest = 1;
    for (const ReportPart& part : parts) {
        const std::vector<bool> notes = NotesLines(part.lines);
        for (qsizetype i = 0; i < part.lines.size(); ++i)
            if (!IsTitle(part.lines[i]) && !notes[static_cast<std::size_t>(i)])
                longest = std::max(longest, part.lines[i].size());
    }
    return FittingSize(longest, width, device);
}

// A line longer than fits even at the smallest size goes on in the next printed line.
QStringList FittingPieces(const QString& line, qsizetype perLine) {
    if (line.size() <= perLine) return {line};
    QStringList pieces;
    for (qsizetype start = 0; start < line.size(); start += perLine) pieces.append(line.mid(start, perLine));
    return pieces;
}

// A note's line as pieces of at most perLine characters, broken at blanks, which belong
// to no piece; a word longer than a piece is broken, and only such a word. The pieces
// after the first start with `indent` blanks (at most half a piece), under the text.
QStringList WrappedAtBlanks(const QString& line, qsizetype perLine, qsizetype indent) {
    perLine = std::max<qsizetype>(1, perLine);
    const QString hanging(std::clamp<qsizetype>(indent, 0, perLine / 2), QLatin1Char(' '));
    QStringList pieces;
    QString lead;  // none before the first piece
    QString rest = line;
    while (lead.size() + rest.size() > perLine) {
        const qsizetype room = perLine - lead.size();
        qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), room);  // the blank after the piece
        QString piece = rest.left(std::max<qsizetype>(0, cut));
        while (piece.endsWith(QLatin1Char(' '))) piece.chop(1);
        if (piece.trimmed().isEmpty()) {  // a word longer than the room: broken
            cut = room;
            piece = rest.left(room);
        }
        pieces.append(lead + piece);
        while (cut < rest.size() && rest[cut] == QLatin1Char(' ')) ++cut;
        rest = rest.mid(cut);
        lead = hanging;
    }
    if (pieces.isEmpty() || !rest.isEmpty()) pieces.append(lead + rest);
    return pieces;
}

struct PlacedLine {
    double y;
    QString text;
    double size;  // points
};
struct PlacedFigure {
    double y;
    FigureGeometry geometry;
    double scale;
};
struct Page {
    std::vector<PlacedLine> lines;
    std::vector<PlacedFigure> figures;
};

// Fills pages top to bottom: lines one after another, each figure after its report,
// on a new page when the rest of the page is too short for it.
std::vector<Page> LayoutPages(const std::vector<ReportPart>& parts, const QFont& font, const QRectF& area,
                              QPaintDevice& device) {
    const QFontMetricsF metrics(font, &device);
    const double lineHeight = metrics.lineSpacing();
    std::vector<Page> pages(1);
    double y = 0;
    const auto room = [&](double height) {
        if (y + height > area.height() && y > 0) {
            pages.emplace_back();
            y = 0;
        }
    };
    const qsizetype notesIndent = NotesStart().size();
    for (const ReportPart& part : parts) {
        const std::vector<bool> notes = NotesLines(part.lines);
        for (qsizetype i = 0; i < part.lines.size(); ++i) {
            const QString& line = part.lines[i];
            // A title wider than the text is set smaller, as large as keeps it whole.
            const double size = IsTitle(line)
                                    ? std::min(font.pointSizeF(), FittingSize(line.size(), area.width(), device))
                                    : font.pointSizeF();
            const qsizetype perLine =
                std::max<qsizetype>(1, static_cast<qsizetype>(area.width() / (size * AdvanceAtOnePoint(device))));
            const QStringList pieces = notes[static_cast<std::size_t>(i)] ? WrappedAtBlanks(line, perLine, notesIndent)
                                                                          : FittingPieces(line, perLine);
            for (const QString& piece : pieces) {
                room(lineHeight);
                pages.back().lines.push_back({y + metrics.ascent(), piece, size});
                y += lineHeight;
            }
        }
        for (const FigureInput* figure : part.figures) {
            FigureGeometry geometry = LayoutFigure(*figure, area.width());
            // A page shorter than the figure shrinks it to fit.
            const double scale = std::min(1.0, area.height() / (geometry.height + kFigureGap));
            const double height = (geometry.height + kFigureGap) * scale;
            room(height);
            pages.back().figures.push_back({y + kFigureGap * scale, std::move(geometry), scale});
            y += height;
        }
    }
    return pages;
}

// Qt sets a font at a whole number of pixels, here a whole point: the text is drawn at the
// nearest whole size scaled to the size chosen, so that it takes the width it was fitted to.
void DrawTextAtSize(QPainter& painter, const QPointF& baseline, const QString& text, double size) {
    const double whole = std::max(1.0, std::round(size));
    painter.save();
    painter.translate(baseline);
    painter.scale(size / whole, size / whole);
    painter.setFont(TextFont(whole));
    painter.drawText(QPointF(0, 0), text);
    painter.restore();
}

// False when painting cannot start on the device.
bool PaintPages(QPagedPaintDevice& device, const std::vector<Page>& pages, const QRectF& area) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QFont footerFont = TextFont(kFooterSize);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0) device.newPage();
        painter.setPen(Qt::black);
        for (const PlacedLine& line : pages[i].lines)
            DrawTextAtSize(painter, QPointF(area.left(), area.top() + line.y), line.text, line.size);
        for (const PlacedFigure& figure : pages[i].figures) {
            painter.save();
            painter.translate(area.left(), area.top() + figure.y);
            painter.scale(figure.scale, figure.scale);
            PaintFigure(painter, figure.geometry);
            painter.restore();
        }
        painter.setFont(footerFont);
        painter.setPen(Qt::black);
        const QString footer = QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages.size());
        const double width = QFontMetricsF(footerFont, &device).horizontalAdvance(footer);
        painter.drawText(QPointF(area.center().x() - width / 2, area.bottom() + kFooterRoom), footer);
    }
    return painter.end();
}

std::string FigureFailure(const std::string& path) { return "The figure cannot be saved to " + Quoted(path); }

}  // namespace

std::string PdfFailure(const std::string& path) { return "The PDF cannot be saved to " + Quoted(path); }

std::vector<ReportPart> MatchReportsToFigures(const QString& text, const std::vector<ReportFigure>& figures) {
    std::vector<ReportPart> parts;
    for (const QString& line : MemoLines(text)) {
        if (parts.empty() || line == QLatin1StringView(kSeparatorLine)) parts.emplace_back();
        parts.back().lines.append(line);
    }
    const auto holds = [](const QStringList& lines, const std::vector<std::string>& outputs) {
        qsizetype at = 0;
        for (const std::string& line : outputs) {
            at = lines.indexOf(QString::fromStdString(line), at);
            if (at < 0) return false;
            ++at;
        }
        return !outputs.empty();
    };
    std::size_t from = 0;
    for (const ReportFigure& figure : figures) {
        for (std::size_t i = from; i < parts.size(); ++i) {
            if (!holds(parts[i].lines, figure.outputs)) continue;
            parts[i].figures.push_back(&figure.figure);
            from = i;
            break;
        }
    }
    return parts;
}

QPageSize::PageSizeId PaperFor(const QLocale& locale) {
    return locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
}

int PaintReportPages(QPagedPaintDevice& device, const QString& text, const std::vector<ReportFigure>& figures) {
    device.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    const QRect paintRect = device.pageLayout().paintRectPixels(kReportResolution);
    const QRectF area(0, 0, paintRect.width(), paintRect.height() - kFooterRoom - kFooterSize);

    const std::vector<ReportPart> parts = MatchReportsToFigures(text, figures);
    const QFont font = TextFont(TextSizeFor(parts, area.width(), device));
    const std::vector<Page> pages = LayoutPages(parts, font, area, device);
    if (!PaintPages(device, pages, area)) return 0;
    return static_cast<int>(pages.size());
}

PdfDocument RenderPdfReport(const QString& text, const std::vector<ReportFigure>& figures,
                            QPageSize::PageSizeId paper) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kReportResolution);
        writer.setCreator(QStringLiteral("Quorvane"));
        writer.setTitle(QStringLiteral("Quorvane results"));
        writer.setPageSize(QPageSize(paper));
        const int pages = PaintReportPages(writer, text, figures);
        if (pages == 0) throw EInOutError("The PDF could not be started");
        buffer.close();
        return {buffer.data(), pages};
    }
}

void WritePdfReport(const std::string& path, const QString& text, const std::vector<ReportFigure>& figures) {
    WriteFileAtomically(path, RenderPdfReport(text, figures, PaperFor(QLocale::system())).bytes, PdfFailure(path));
}

void WriteFigureFile(const std::string& path, const FigureInput& figure) {
    const FigureGeometry geometry = LayoutFigure(figure, 480);
    const QSize size(static_cast<int>(std::ceil(geometry.width)), static_cast<int>(std::ceil(geometry.height)) + 4);
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setResolution(kReportResolution);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Quorvane figure"));
        QPainter painter(&svg);
        PaintFigure(painter, geometry);
    } else if (suffix == QLatin1String("png")) {
        QImage image(size * kPngScale, QImage::Format_ARGB32);
        const int dotsPerMetre = static_cast<int>(std::lround(kReportResolution / 0.0254));
        image.setDotsPerMeterX(dotsPerMetre);  // a point a pixel while painting, ...
        image.setDotsPerMeterY(dotsPerMetre);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.scale(kPngScale, kPngScale);
            PaintFigure(painter, geometry);
        }
        image.setDotsPerMeterX(static_cast<int>(dotsPerMetre * kPngScale));  // ... and true to size in print
        image.setDotsPerMeterY(static_cast<int>(dotsPerMetre * kPngScale));
        if (!image.save(&buffer, "PNG")) throw InOutError(FigureFailure(path), "the image could not be encoded");
    } else {
        throw InOutError(FigureFailure(path), "the figure is written as .svg or .png");
    }
    buffer.close();
    WriteFileAtomically(path, buffer.data(), FigureFailure(path));
}

}  // namespace quorvane
