#pragma once
// What a reader finds in a PDF: its text by pdftotext (poppler-utils) and its page count.

#include <gtest/gtest.h>

#include <QProcess>
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
