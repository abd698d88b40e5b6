#include "ui/report_export.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "analysis/io_errors.h"
#include "ui/atomic_file.h"
#include "ui/qt_platform.h"
#include "support/pdf_text.h"

namespace quorvane {
namespace {

using testing::ExpectLinesInOrder;
using testing::PdfLayout;
using testing::PdfTextLines;
using testing::PdfWordBoxes;

const QString kSeparator(36, QLatin1Char('-'));

// A report of the results text's shape: a long first line, columns of blanks, and a
// line of 109 characters, the report's widest; each report but the first starts with
// the separator line.
QStringList ReportLines(int number) {
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

FigureInput Figure() {
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

QString Joined(const QStringList& lines) { return lines.join(QLatin1Char('\n')); }

ReportFigure FigureFor(const QStringList& report) {
    std::vector<std::string> lines;
    for (const QString& line : report) lines.push_back(line.toStdString());
    return FigureOfReport(lines, Figure());
}

TEST(PdfReport, HoldsEveryLineWholeAndInOrderWithAFigurePerReport) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QStringList text;
    std::vector<ReportFigure> figures;
    int previousPages = 0;
    for (int reports = 1; reports <= 3; ++reports) {
        text << ReportLines(reports);
        figures.push_back(FigureFor(ReportLines(reports)));
        for (const auto paper : {QPageSize::A4, QPageSize::Letter}) {
            const PdfDocument pdf = RenderPdfReport(Joined(text), figures, paper);
            const QString path = folder.filePath(QStringLiteral("r%1.pdf").arg(reports));
            WriteFileAtomically(path.toStdString(), pdf.bytes, "The PDF cannot be saved");
            const QStringList printed = PdfTextLines(path);
            ExpectLinesInOrder(text, printed);
            EXPECT_EQ(printed.filter(QStringLiteral("How sure we are")).size(), reports);
            EXPECT_EQ(printed.filter(QStringLiteral("Page %1 of %1").arg(pdf.pages)).size(), 1);
            if (paper == QPageSize::A4) {
                EXPECT_GT(pdf.pages, previousPages) << reports << " reports";
                previousPages = pdf.pages;
            }
        }
    }
}

// The width in points of the first word `word` that pdftotext finds in the PDF.
double PrintedWordWidth(const QString& pdfPath, const QString& word) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(60000));
    const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
    const QRegularExpression box(QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>") +
                                 QRegularExpression::escape(word) + QStringLiteral("</word>"));
    const QRegularExpressionMatch match = box.match(html);
    EXPECT_TRUE(match.hasMatch()) << word.toStdString();
    return match.captured(2).toDouble() - match.captured(1).toDouble();
}

// The companion's title is 123 characters, wider than any other line: it is set smaller,
// whole, and the report's text keeps the size its own lines allow.
TEST(PdfReport, ATitleWiderThanTheTextIsSetSmallerWithoutShrinkingTheText) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QStringList text = ReportLines(1);
    const QString shortPath = folder.filePath(QStringLiteral("short.pdf"));
    WriteFileAtomically(shortPath.toStdString(), RenderPdfReport(Joined(text), {}, QPageSize::A4).bytes, "");
    text[1] = QStringLiteral("QuorvaneSummary: Bayesian test for a deficit in the single case controlling for "
                             "covariate(s) (Summary statistics as input) ");
    const QString longPath = folder.filePath(QStringLiteral("long.pdf"));
    WriteFileAtomically(longPath.toStdString(), RenderPdfReport(Joined(text), {}, QPageSize::A4).bytes, "");

    ExpectLinesInOrder(text, PdfTextLines(longPath));
    EXPECT_NEAR(PrintedWordWidth(longPath, QStringLiteral("Percentage")),
                PrintedWordWidth(shortPath, QStringLiteral("Percentage")), 0.01);
    // Ten characters of the title are narrower than ten of the text.
    EXPECT_LT(PrintedWordWidth(longPath, QStringLiteral("QuorvaneSummary:")) * 10 / 16,
              PrintedWordWidth(longPath, QStringLiteral("Percentage")) - 0.5);
}

// A figure goes after the report that still holds its outputs lines, and nowhere when
// the user has deleted or changed them.
TEST(PdfReport, AFigureFollowsOnlyAReportThatStillHoldsItsOutputs) {
    const QStringList first = ReportLines(1), second = ReportLines(2);
    const std::vector<ReportFigure> figures{FigureFor(first), FigureFor(second)};
    const auto figuresOf = [](const std::vector<ReportPart>& parts) {
        std::vector<std::vector<const FigureInput*>> result;
        for (const ReportPart& part : parts) result.push_back(part.figures);
        return result;
    };
    using Placed = std::vector<std::vector<const FigureInput*>>;
    const FigureInput* a = &figures[0].figure;
    const FigureInput* b = &figures[1].figure;

    const std::vector<ReportPart> paired = MatchReportsToFigures(Joined(first + second), figures);
    ASSERT_EQ(paired.size(), 2u);
    EXPECT_EQ(paired[0].lines, first);
    EXPECT_EQ(paired[1].lines, second);
    EXPECT_EQ(figuresOf(paired), (Placed{{a}, {b}}));

    // The separator deleted: one report holding both outputs, both figures after it.
    QStringList merged = first + second;
    merged.removeAll(kSeparator);
    EXPECT_EQ(figuresOf(MatchReportsToFigures(Joined(merged), figures)), (Placed{{a, b}}));

    // The first report deleted by hand, then a run of the second: only its figure.
    EXPECT_EQ(figuresOf(MatchReportsToFigures(Joined(second), figures)), (Placed{{b}}));
    // An outputs line edited: that figure is printed nowhere.
    QStringList edited = first + second;
    edited[edited.indexOf(first.filter(QStringLiteral("r01")).front())] += QStringLiteral("x");
    EXPECT_EQ(figuresOf(MatchReportsToFigures(Joined(edited), figures)), (Placed{{}, {b}}));
}

// Print All's pages are the PDF's: every word within margins of 18 mm (printers cut
// the paper's edge), each report followed by its figure.
TEST(PrintedReport, KeepsNormalMarginsWithEachReportsFigureAfterIt) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    const QStringList text = ReportLines(1) + ReportLines(2);
    PrintReports(printer, Joined(text), {FigureFor(ReportLines(1)), FigureFor(ReportLines(2))});

    const PdfLayout layout = PdfWordBoxes(path);
    ASSERT_FALSE(layout.words.isEmpty());
    const double margin = 18 / 25.4 * 72 - 0.5;  // in points, less pdftotext's rounding
    const QRectF inside = QRectF(QPointF(0, 0), layout.page).adjusted(margin, margin, -margin, -margin);
    for (const QRectF& word : layout.words)
        ASSERT_TRUE(inside.contains(word)) << word.x() << ", " << word.y() << " on a page of " << layout.page.width()
                                           << " x " << layout.page.height() << " points";
    const QStringList printed = PdfTextLines(path);
    ExpectLinesInOrder(text, printed);
    EXPECT_EQ(printed.filter(QStringLiteral("How sure we are")).size(), 2);
}

TEST(PdfReport, PaperFollowsTheLocalesMeasurementSystem) {
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedStates)), QPageSize::Letter);
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedKingdom)), QPageSize::A4);
    EXPECT_EQ(PaperFor(QLocale(QLocale::German, QLocale::Germany)), QPageSize::A4);
}

TEST(FigureFile, WritesSvgOrPngByTheExtensionAndRefusesOthers) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString svg = folder.filePath(QStringLiteral("f.svg")), png = folder.filePath(QStringLiteral("f.PNG"));
    WriteFigureFile(svg.toStdString(), Figure());
    WriteFigureFile(png.toStdString(), Figure());
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svgText = svgFile.readAll();
    EXPECT_TRUE(svgText.contains("<svg"));
    EXPECT_TRUE(svgText.contains("How sure we are"));
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    const FigureGeometry layout = LayoutFigure(Figure(), 480);
    EXPECT_NEAR(image.width(), layout.width * 300 / 72, 5);  // 300 dots per inch
    EXPECT_NEAR(image.height(), layout.height * 300 / 72, 30);

    const std::string pdfName = folder.filePath(QStringLiteral("f.pdf")).toStdString();
    EXPECT_THROW(WriteFigureFile(pdfName, Figure()), EInOutError);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdfName)));
}

}  // namespace
}  // namespace quorvane
