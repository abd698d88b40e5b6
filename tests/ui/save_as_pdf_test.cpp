// Save as PDF in the results window, over a session of analyses.

#include <QMenu>

#include "export/memo_lines.h"
#include "support/pdf_text.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

class SaveAsPdf : public WindowTest {
protected:
    // Chooses Save as PDF and answers its dialog with name; returns the PDF's text.
    QStringList SaveAsPdfText(const QString& name) {
        const QString path = folder.filePath(name);
        platform.saveAnswers.push_back(path.toStdString());
        platform.messages.clear();
        frmTemplateResults.mnuSaveAsPdf->trigger();
        EXPECT_TRUE(platform.messages.empty()) << platform.messages.front().text;
        return PdfTextLines(path);
    }
};

TEST_F(SaveAsPdf, HoldsEveryReportWithItsFigureUntilTheResultsAreCleared) {
    // Below the print items, set apart by a separator.
    const QList<QAction*> items = frmTemplateResults.File1->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3], frmTemplateResults.mnuSaveAsPdf);
    EXPECT_EQ(frmTemplateResults.mnuSaveAsPdf->text(), QStringLiteral("Save as PDF..."));

    const std::string data = WriteDataFile(QStringLiteral("small.txt"), kSmallSample);
    Compute("3", "1", data);
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    frmTemplate.SetRadioGroup1ItemIndex(1);
    Compute("3", "1", data);
    // The user's edit goes into the PDF with the rest.
    frmTemplateResults.memoResults->appendPlainText(QStringLiteral(" Checked by AB"));

    const QStringList both = SaveAsPdfText(QStringLiteral("both.pdf"));
    ExpectLinesInOrder(MemoLines(Results()), both);
    EXPECT_EQ(both.filter(QStringLiteral("How sure we are")).size(), 2);
    // Each figure marks the limits of its own report: two-sided, then one-sided lower.
    const QString bothText = both.join(QLatin1Char('\n'));
    EXPECT_EQ(bothText.count(QStringLiteral("dashed: 95% credible interval")), 1);
    EXPECT_EQ(bothText.count(QStringLiteral("dashed: 95% lower Credible Limit")), 1);
    EXPECT_EQ(bothText.count(QStringLiteral("dashed: 95% upper")), 0);
    ASSERT_EQ(platform.saveDialogs.size(), 1u);
    EXPECT_EQ(platform.saveDialogs[0].defaultName, "results.pdf");
    EXPECT_EQ(platform.saveDialogs[0].filter, "*.pdf");
    EXPECT_TRUE(platform.saveDialogs[0].overwritePrompt);

    QTest::mouseClick(frmTemplateResults.cmdClearResults, Qt::LeftButton);
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    Compute("3", "1", data);
    const QStringList one = SaveAsPdfText(QStringLiteral("one.pdf"));
    ExpectLinesInOrder(MemoLines(Results()), one);
    EXPECT_EQ(one.filter(QStringLiteral("How sure we are")).size(), 1);
    EXPECT_EQ(platform.saveDialogs.back().defaultName, folder.filePath(QStringLiteral("both.pdf")).toStdString());

    // The text deleted by hand, then a two-sided run: its figure alone, none of the last.
    frmTemplateResults.memoResults->selectAll();
    QTest::keyClick(frmTemplateResults.memoResults, Qt::Key_Delete);
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    frmTemplate.SetRadioGroup1ItemIndex(0);
    Compute("3", "1", data);
    const QString handCleared = SaveAsPdfText(QStringLiteral("hand.pdf")).join(QLatin1Char('\n'));
    EXPECT_EQ(handCleared.count(QStringLiteral("How sure we are")), 1);
    EXPECT_EQ(handCleared.count(QStringLiteral("dashed: 95% credible interval")), 1);
}

// A text of blanks and line ends holds no results: no dialog, no file, a warning.
TEST_F(SaveAsPdf, ABlankTextAreaSaysThereIsNothingToSave) {
    frmTemplateResults.memoResults->setPlainText(QStringLiteral("  \n\n \t\n"));
    const QString path = folder.filePath(QStringLiteral("blank.pdf"));
    platform.saveAnswers.push_back(path.toStdString());
    frmTemplateResults.mnuSaveAsPdf->trigger();
    EXPECT_TRUE(platform.saveDialogs.empty());
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0],
              (RecordedMessage{MessageKind::Warning, "Warning", "There are no results to save."}));
}

}  // namespace
}  // namespace quorvane::testing
