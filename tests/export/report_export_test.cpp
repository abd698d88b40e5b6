#include "export/report_export.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "analysis/io_errors.h"
#include "export/atomic_file.h"
#include "support/pdf_text.h"
#include "support/sample_reports.h"

namespace quorvane {
namespace {

using testing::ExpectLinesInOrder;
using testing::FigureFor;
using testing::Joined;
using testing::kSeparator;
using testing::PdfTextLines;
using testing::ReportLines;

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

TEST(PdfReport, PaperFollowsTheLocalesMeasurementSystem) {
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedStates)), QPageSize::Letter);
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedKingdom)), QPageSize::A4);
    EXPECT_EQ(PaperFor(QLocale(QLocale::German, QLocale::Germany)), QPageSize::A4);
}

TEST(FigureFile, WritesSvgOrPngByTheExtensionAndRefusesOthers) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString svg = folder.filePath(QStringLiteral("f.svg")), png = folder.filePath(QStringLiteral("f.PNG"));
    WriteFigureFile(svg.toStdString(), testing::DeficitSample());
    WriteFigureFile(png.toStdString(), testing::DeficitSample());
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svgText = svgFile.readAll();
    EXPECT_TRUE(svgText.contains("<svg"));
    EXPECT_TRUE(svgText.contains("How sure we are"));
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    const FigureGeometry layout = LayoutFigure(testing::DeficitSample(), 480);
    EXPECT_NEAR(image.width(), layout.width * 300 / 72, 5);  // 300 dots per inch
    EXPECT_NEAR(image.height(), layout.height * 300 / 72, 30);

    const std::string pdfName = folder.filePath(QStringLiteral("f.pdf")).toStdString();
    EXPECT_THROW(WriteFigureFile(pdfName, testing::DeficitSample()), EInOutError);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdfName)));
}

}  // namespace
}  // namespace quorvane
