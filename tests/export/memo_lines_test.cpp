#include <gtest/gtest.h>

#include <QFontMetricsF>

#include "export/fonts.h"
#include "export/memo_lines.h"

namespace quorvane {
namespace {

struct LinesCase {
    QString text;
    QStringList lines;
};

void PrintTo(const LinesCase& c, std::ostream* os) { *os << '"' << c.text.toStdString() << '"'; }

class HardLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(HardLines, CountAsTheUserSeesThem) { EXPECT_EQ(MemoLines(GetParam().text), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Texts, HardLines,
    ::testing::Values(LinesCase{"", {}}, LinesCase{"a", {"a"}}, LinesCase{"a\n", {"a"}},
                      LinesCase{"a\nb", {"a", "b"}}, LinesCase{"a\n\n", {"a", ""}},
                      LinesCase{"\n", {""}}, LinesCase{" ", {" "}}));

TEST(WrappedLines, SplitAtBlanksIntoPiecesThatFitAndLoseNothing) {
    const QFont font = ReportFont(12);
    const QFontMetricsF metrics(font);
    const qreal width = 30 * metrics.horizontalAdvance(QLatin1Char('x'));
    const QString line = QStringLiteral("the case was tested twice on the ward and once at home, "
                                        "with the second session cut short");
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    const QStringList pieces = WrappedMemoLines(QStringLiteral("short\n") + line, font, option, width);
    ASSERT_GT(pieces.size(), 3);
    EXPECT_EQ(pieces[0], QStringLiteral("short"));
    EXPECT_EQ(pieces.mid(1).join(QLatin1Char(' ')), line);
    for (const QString& piece : pieces) {
        EXPECT_LE(metrics.horizontalAdvance(piece), width) << piece.toStdString();
        EXPECT_FALSE(piece.endsWith(QLatin1Char(' ')));
    }
}

TEST(WrappedLines, WithoutAWidthAreTheHardLines) {
    const QString text = QStringLiteral("one\n") + QString(500, QLatin1Char('x')) + QStringLiteral("\n\nfour");
    EXPECT_EQ(WrappedMemoLines(text, ReportFont(12), QTextOption(), 0), MemoLines(text));
}

}  // namespace
}  // namespace quorvane
