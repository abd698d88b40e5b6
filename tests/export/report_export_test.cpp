#include "export/report_export.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "io/io_errors.h"
#include "analysis/program_texts.h"
#include "analysis/results_report.h"
#include "export/qt_atomic_file.h"
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

// The text keeps the size the report's own lines allow: a note of any length wraps at
// blanks, its words whole, and a printed selection's first line is no title.
TEST(PdfReport, NeitherALongNoteNorASelectionsFirstLineChangesTheTextsSize) {
    QTemporaryDir folder;
    const auto withNote = [](const QString& note) {
        AnalysisRequest request;
        request.notes = {note.toStdString()};
        QStringList lines;
        for (const std::string& line : WriteReport({}, {}, request)) lines << QString::fromStdString(line);
        return Joined(lines);
    };
    const auto pdf = [&](const QString& name, const QString& text) {
        WriteFileAtomically(folder.filePath(name).toStdString(), RenderPdfReport(text, {}, QPageSize::A4).bytes, "");
        return folder.filePath(name);
    };
    const QString wide = QStringLiteral(" Percentage of control population exhibiting a lower score than the case "
                                        "(plus 95% Credible Interval):\n Bayesian point estimate");
    const std::tuple<QString, QString, QString> cases[] = {
        {QStringLiteral("INPUTS:"), withNote(QStringLiteral("afterwards ").repeated(36)), withNote(QStringLiteral("x"))},
        {QStringLiteral("estimate"), wide, QStringLiteral("x\n") + wide}};
    for (const auto& [word, text, like] : cases)
        EXPECT_NEAR(PrintedWordWidth(pdf(word + QStringLiteral(".pdf"), text), word),
                    PrintedWordWidth(pdf(QStringLiteral("like.pdf"), like), word), 0.01) << word.toStdString();
    const QString printed = PdfTextLines(folder.filePath(QStringLiteral("INPUTS:.pdf"))).join(QLatin1Char(' '));
    EXPECT_EQ(printed.split(QLatin1Char(' ')).count(QStringLiteral("afterwards")), 36);  // none broken
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

// Where pdftotext finds a word: the page (from 0) and the top of the first box holding
// exactly that word.
struct PrintedWord {
    int page = -1;
    double top = 0;
};

PrintedWord FirstPrinted(const QString& pdfPath, const QString& word) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(60000));
    const QStringList pages = QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QStringLiteral("<page "));
    const QRegularExpression box(QStringLiteral("yMin=\"([0-9.]+)\"[^>]*>") + QRegularExpression::escape(word) +
                                 QStringLiteral("</word>"));
    for (qsizetype i = 1; i < pages.size(); ++i) {
        const QRegularExpressionMatch match = box.match(pages[i]);
        if (match.hasMatch()) return {static_cast<int>(i - 1), match.captured(1).toDouble()};
    }
    ADD_FAILURE() << word.toStdString() << " not found";
    return {};
}

// A dissociation's figure goes through the same path as a deficit's: after its report,
// whole on one page and at full size (its headings as far apart as laid out), with the
// plane's labels and those of the difference's posterior.
TEST(PdfReport, ADissociationsFigureFollowsItsReportWholeOnAPageAtFullSize) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QStringList report = ReportLines(1);
    const FigureInput figure = testing::DissociationSample();
    const FigureGeometry layout = LayoutFigure(figure, 480);
    const auto lineStarting = [](const FigurePanel& panel, const std::string& start) {
        const auto text = std::find_if(panel.texts.begin(), panel.texts.end(), [&](const FigureText& t) { return t.text.starts_with(start); });
        return text == panel.texts.end() ? NAN : text->y;
    };
    const double headingsApart = lineStarting(layout.posterior, "Bars:") - lineStarting(layout.cases, "Ellipses:");
    for (const auto paper : {QPageSize::A4, QPageSize::Letter}) {
        const QString path = folder.filePath(paper == QPageSize::A4 ? QStringLiteral("a4.pdf") : QStringLiteral("letter.pdf"));
        WriteFileAtomically(path.toStdString(), RenderPdfReport(Joined(report), {FigureFor(report, figure)}, paper).bytes, "");
        // pdftotext gives the figure's ligatures (the "ff" of "difference") as such.
        QStringList printed;
        for (const QString& line : PdfTextLines(path)) printed.append(line.normalized(QString::NormalizationForm_KC));
        ExpectLinesInOrder(report + QStringList{QStringLiteral("The case against controls with the same covariate scores"),
                                                QStringLiteral("Task 1 (SDs from the conditional mean)"),
                                                QStringLiteral("How sure we are: the difference between the case's two tasks"),
                                                QStringLiteral("Standardised difference, task 1 less task 2 (Z-DCCC)")},
                           printed);
        const QString all = printed.join(QLatin1Char(' ')).simplified();
        // Labels inside the plane share their printed line with others.
        for (const char* label : {"Task 2 (SDs from the conditional mean)", "Grey band", "50%", "90%", "99%", "case",
                                  "0.0274% (95% CI = 0.0000% to 0.2258%)"})
            EXPECT_TRUE(all.contains(QString::fromUtf8(label))) << label;

        // From the first panel's heading to the caption, on one page, unscaled.
        const PrintedWord title = FirstPrinted(path, QStringLiteral("against")), caption = FirstPrinted(path, QStringLiteral("samples."));
        const PrintedWord first = FirstPrinted(path, QStringLiteral("Ellipses:")), second = FirstPrinted(path, QStringLiteral("Bars:"));
        EXPECT_EQ(title.page, 1) << "the report's 46 lines leave too little room";
        EXPECT_EQ(caption.page, title.page);
        EXPECT_NEAR(second.top - first.top, headingsApart, 0.5);
    }
}

TEST(PdfReport, PaperFollowsTheLocalesMeasurementSystem) {
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedStates)), QPageSize::Letter);
    EXPECT_EQ(PaperFor(QLocale(QLocale::English, QLocale::UnitedKingdom)), QPageSize::A4);
    EXPECT_EQ(PaperFor(QLocale(QLocale::German, QLocale::Germany)), QPageSize::A4);
}

TEST(FigureFile, WritesSvgOrPngByTheExtensionForEitherTestAndRefusesOthers) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString svg = folder.filePath(QStringLiteral("f.svg")), png = folder.filePath(QStringLiteral("f.PNG"));
    for (const auto& [figure, heading] : {std::pair{testing::DeficitSample(), "How sure we are: the case's distance"},
                                          std::pair{testing::DissociationSample(), "How sure we are: the difference"}}) {
        WriteFigureFile(svg.toStdString(), figure);
        WriteFigureFile(png.toStdString(), figure);
        QFile svgFile(svg);
        ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
        const QByteArray svgText = svgFile.readAll();
        EXPECT_TRUE(svgText.contains("<svg"));
        EXPECT_TRUE(svgText.contains(heading)) << heading;
        const QImage image(png);
        ASSERT_FALSE(image.isNull());
        const FigureGeometry layout = LayoutFigure(figure, 480);
        EXPECT_NEAR(image.width(), layout.width * 300 / 72, 5);  // 300 dots per inch
        EXPECT_NEAR(image.height(), layout.height * 300 / 72, 30);
    }

    const std::string pdfName = folder.filePath(QStringLiteral("f.pdf")).toStdString();
    EXPECT_THROW(WriteFigureFile(pdfName, testing::DeficitSample()), EInOutError);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdfName)));
}

}  // namespace
}  // namespace quorvane
