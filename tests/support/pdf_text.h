#pragma once
// What a reader finds in a PDF: its text by pdftotext (poppler-utils) and its page count.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <string>

namespace quorvane::testing {

// The PDF's text, one printed line a line, with the layout kept (-layout).
inline QStringList PdfTextLines(const QString& pdfPath) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(60000)) << "pdftotext did not finish";
    EXPECT_EQ(pdftotext.exitCode(), 0) << pdftotext.readAllStandardError().toStdString();
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\n'));
}

// Where pdftotext finds the words of a PDF: the first page's size and every word's box,
// in points from the top left of its page.
struct PdfLayout {
    QSizeF page;
    QList<QRectF> words;
};

inline PdfLayout PdfWordBoxes(const QString& pdfPath) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    EXPECT_TRUE(pdftotext.waitForFinished(60000)) << "pdftotext did not finish";
    const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
    PdfLayout layout;
    const QRegularExpressionMatch page =
        QRegularExpression(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\"")).match(html);
    EXPECT_TRUE(page.hasMatch()) << "no page in " << pdfPath.toStdString();
    layout.page = QSizeF(page.captured(1).toDouble(), page.captured(2).toDouble());
    const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\""));
    for (const QRegularExpressionMatch& box : word.globalMatch(html))
        layout.words.append(QRectF(QPointF(box.captured(1).toDouble(), box.captured(2).toDouble()),
                                   QPointF(box.captured(3).toDouble(), box.captured(4).toDouble())));
    return layout;
}

// A line with its runs of blanks made one: pdftotext rebuilds the spacing of a line.
inline QString Squeezed(const QString& line) { return line.simplified(); }

// The index in `printed` of each non-blank line of `report`, in order, each found whole on
// one printed line after the previous one; fails the test at the first line not found.
inline void ExpectLinesInOrder(const QStringList& report, const QStringList& printed) {
    qsizetype at = 0;
    for (const QString& line : report) {
        const QString wanted = Squeezed(line);
        if (wanted.isEmpty()) continue;
        while (at < printed.size() && Squeezed(printed[at]) != wanted) ++at;
        ASSERT_LT(at, printed.size()) << "not found whole and in order: " << line.toStdString();
        ++at;
    }
}

}  // namespace quorvane::testing
