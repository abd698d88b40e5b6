#include <gtest/gtest.h>

#include <QMenuBar>
#include <QAbstractTextDocumentLayout>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include "window_fixture.h"

namespace quorvane::testing {
namespace {

class ResultsWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        frmTemplateResults.show();
        frmTemplate.hide();
    }
    void SetResults(const QString& text) { frmTemplateResults.memoResults->setPlainText(text); }
    QByteArray ReadFile(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    // Answers the save dialog with a file of the temporary folder and presses Save Output.
    QString Save(const QString& name) {
        const QString path = folder.filePath(name);
        platform.saveAnswers.push_back(path.toStdString());
        QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
        return path;
    }
};

TEST_F(ResultsWindow, IsAFixedWindowWithoutTitleBarButtonsThatCannotBeClosed) {
    TfrmTemplateResults fresh(platform, &frmTemplate);
    EXPECT_EQ(fresh.windowTitle(), QStringLiteral("Output"));
    EXPECT_TRUE(fresh.memoResults->toPlainText().isEmpty());
    EXPECT_EQ(fresh.centralWidget()->size(), QSize(792, 554));
    EXPECT_EQ(fresh.minimumSize(), fresh.maximumSize());
    const Qt::WindowFlags flags = fresh.windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));

    EXPECT_FALSE(frmTemplateResults.close());
    EXPECT_TRUE(frmTemplateResults.isVisible());
}

TEST_F(ResultsWindow, ShowingItBringsTheProgramForwardWithFocusOnReturn) {
    frmTemplateResults.hide();
    const int before = platform.broughtToFront;
    frmTemplateResults.memoResults->setFocus();
    frmTemplateResults.show();
    EXPECT_EQ(platform.broughtToFront, before + 1);
    EXPECT_EQ(frmTemplateResults.focusWidget(), frmTemplateResults.cmdReturn);
}

// ---- Appending reports ----

struct AppendCase {
    const char* name;
    QString before;
    std::vector<std::string> lines;
    QString after;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class AppendingLines : public ResultsWindow, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(AppendingLines, EachStringBecomesOneLineBelowTheText) {
    SetResults(GetParam().before);
    frmTemplateResults.AppendLines(GetParam().lines);
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), GetParam().after);
    EXPECT_TRUE(frmTemplateResults.HoldsText());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AppendingLines,
    ::testing::Values(
        AppendCase{"LeadingEmptyLineIntoAnEmptyText", "", {"", "title", " "}, "\ntitle\n "},
        AppendCase{"BelowTheLastLine", "first", {"second"}, "first\nsecond"},
        AppendCase{"AfterALineBreakTheUserTyped", "first\n", {"second"}, "first\nsecond"},
        AppendCase{"BelowAnEmptyLastLine", "first\n\n", {"second"}, "first\n\nsecond"}),
    [](const ::testing::TestParamInfo<AppendCase>& info) { return std::string(info.param.name); });

TEST_F(ResultsWindow, HoldsTextOnlyWhenItHasALine) {
    EXPECT_FALSE(frmTemplateResults.HoldsText());
    SetResults(QStringLiteral("\n"));
    EXPECT_TRUE(frmTemplateResults.HoldsText());
}

// ---- Save Output ----

struct SaveCase {
    const char* name;
    QString text;
    QByteArray file;
};

void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class SavingOutput : public ResultsWindow, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SavingOutput, WritesEveryLineWithCrLf) {
    SetResults(GetParam().text);
    const QString path = Save(QStringLiteral("results.txt"));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(ReadFile(path), GetParam().file);
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SavingOutput,
    ::testing::Values(SaveCase{"Lines", "line one\n\nline three", "line one\r\n\r\nline three\r\n"},
                      SaveCase{"BlankLinesKeepTheirBlanks", " \n  x ", " \r\n  x \r\n"},
                      SaveCase{"TypedFinalLineBreak", "a\n", "a\r\n"},
                      SaveCase{"NonAscii", QStringLiteral("Ü 1"), QByteArray("\xc3\x9c 1\r\n")}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

TEST_F(ResultsWindow, SaveDialogOffersResultsTxtThenTheLastNameChosen) {
    SetResults(QStringLiteral("report"));
    platform.saveAnswers.push_back(std::nullopt);
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
    const QString chosen = Save(QStringLiteral("first run.txt"));
    Save(QStringLiteral("other"));

    ASSERT_EQ(platform.saveDialogs.size(), 3u);
    EXPECT_EQ(platform.saveDialogs[0].defaultName, "results.txt");
    EXPECT_EQ(platform.saveDialogs[0].filter, "*.txt");
    EXPECT_TRUE(platform.saveDialogs[0].overwritePrompt);
    EXPECT_EQ(platform.saveDialogs[1].defaultName, "results.txt");  // a cancel chooses nothing
    EXPECT_EQ(platform.saveDialogs[2].defaultName, chosen.toStdString());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("other"))));  // no extension added
}

TEST_F(ResultsWindow, CancelledSaveWritesNothing) {
    SetResults(QStringLiteral("report"));
    platform.saveAnswers.push_back(std::nullopt);
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ResultsWindow, SaveOverAnExistingFileReplacesIt) {
    const QString path = folder.filePath(QStringLiteral("old.txt"));
    WriteDataFile(QStringLiteral("old.txt"), "a much longer earlier report\r\n");
    SetResults(QStringLiteral("new"));
    Save(QStringLiteral("old.txt"));
    EXPECT_EQ(ReadFile(path), QByteArray("new\r\n"));
}

TEST_F(ResultsWindow, SaveOntoAFolderFailsWithTheSystemMessageAndChangesNothing) {
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("reports")));
    SetResults(QStringLiteral("report"));
    const QString path = Save(QStringLiteral("reports"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(platform.messages[0].text, "The results cannot be saved to \"" + path.toStdString() +
                                             "\": Is a directory");
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), QStringLiteral("report"));
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("reports"))).isDir());
}

TEST_F(ResultsWindow, SaveIntoAMissingFolderNamesThePathAndTheReason) {
    SetResults(QStringLiteral("report"));
    const QString path = Save(QStringLiteral("no such folder/results.txt"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "The results cannot be saved to \"" + path.toStdString() + "\": No such file or directory");
}

// The data file of an analysis, under its own name or through a link, is never
// overwritten by Save Output or Save as PDF: the save is refused and names the file.
TEST_F(WindowTest, SavesRefuseTheDataFileOfAnAnalysis) {
    const std::string data = WriteDataFile(QStringLiteral("small.txt"), kSmallSample);
    const std::string link = folder.filePath(QStringLiteral("small.pdf")).toStdString();
    ASSERT_TRUE(QFile::link(QString::fromStdString(data), QString::fromStdString(link)));
    Compute("3", "1", data);
    ASSERT_EQ(platform.messages.size(), 1u);  // loaded successfully
    platform.messages.clear();

    platform.saveAnswers.push_back(data);
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
    platform.saveAnswers.push_back(link);
    frmTemplateResults.mnuSaveAsPdf->trigger();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0], (RecordedMessage{MessageKind::Error, "Error",
                                                     "The results cannot be saved to \"" + data +
                                                         "\": it is the data file, which would be overwritten"}));
    EXPECT_EQ(platform.messages[1].text, "The PDF cannot be saved to \"" + link +
                                             "\": it is the same file as the data file \"" + data +
                                             "\", which would be overwritten");
    QFile file(QString::fromStdString(data));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(kSmallSample));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
}

// ---- Clear Results ----

TEST_F(ResultsWindow, ClearResultsEmptiesTheTextAndTheNextReportStartsAfresh) {
    frmTemplateResults.setWindowTitle(QStringLiteral("Results viewer: x"));
    SetResults(QStringLiteral("old report"));
    QTest::mouseClick(frmTemplateResults.cmdClearResults, Qt::LeftButton);
    EXPECT_TRUE(frmTemplateResults.memoResults->toPlainText().isEmpty());
    EXPECT_FALSE(frmTemplateResults.HoldsText());
    EXPECT_EQ(frmTemplateResults.windowTitle(), QStringLiteral("Results viewer: x"));
    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_TRUE(platform.messages.empty());
}

// Cleared, or blanks alone: Save Output and Print All say there is nothing, before any
// dialog, and an earlier report keeps its text.
TEST_F(ResultsWindow, SaveOutputAndPrintAllRefuseATextOfBlanks) {
    const std::string report = WriteDataFile(QStringLiteral("report.txt"), "earlier report\r\n");
    SetResults(QStringLiteral("old report"));
    QTest::mouseClick(frmTemplateResults.cmdClearResults, Qt::LeftButton);
    platform.saveAnswers.push_back(report);
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
    SetResults(QStringLiteral(" \n\n  "));
    frmTemplateResults.mnuPrint->trigger();
    EXPECT_TRUE(platform.saveDialogs.empty() && platform.printed.empty());
    EXPECT_EQ(ReadFile(QString::fromStdString(report)), QByteArray("earlier report\r\n"));
    EXPECT_EQ(platform.messages,
              (std::vector<RecordedMessage>{{MessageKind::Warning, "Warning", "There are no results to save."},
                                            {MessageKind::Warning, "Warning", "There are no results to print."}}));
}

// A dissociation's criteria, among the report's widest lines, is never broken inside
// "p < .05" at the window's size.
TEST_F(ResultsWindow, TheCriteriaLineIsNotBrokenInsideANumber) {
    const QString criteria = QStringLiteral(
        " Criteria: deficit, one-tailed p < .05 below the controls; significant difference, two-tailed p < .05");
    SetResults(criteria);
    const QTextBlock block = frmTemplateResults.memoResults->document()->firstBlock();
    frmTemplateResults.memoResults->document()->documentLayout()->blockBoundingRect(block);  // lays it out
    const QTextLayout* layout = block.layout();
    ASSERT_GE(layout->lineCount(), 1);
    for (int i = 1; i < layout->lineCount(); ++i)
        EXPECT_EQ(criteria[layout->lineAt(i).textStart() - 1], QLatin1Char(' '))
            << "a line starts with " << criteria.mid(layout->lineAt(i).textStart()).toStdString();
}

// ---- Printing ----

TEST_F(ResultsWindow, PrintMenuHoldsTheTwoCommands) {
    const QList<QAction*> menus = frmTemplateResults.menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Printer options..."));
    EXPECT_EQ(frmTemplateResults.mnuPrint->text(), QStringLiteral("Print All"));
    EXPECT_EQ(frmTemplateResults.mnuPrintSelection->text(), QStringLiteral("Print Selection"));
}

TEST_F(ResultsWindow, PrintAllPrintsTheWholeTextWithTheUsersEdits) {
    SetResults(QStringLiteral("line 1\nline 2"));
    QTest::keyClick(frmTemplateResults.memoResults, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(frmTemplateResults.memoResults, QStringLiteral(" edited"));
    frmTemplateResults.mnuPrint->trigger();
    ASSERT_EQ(platform.printed.size(), 1u);
    EXPECT_EQ(platform.printed[0], "line 1\nline 2 edited");
}

// Nothing selected, then the blank between "line" and "1" alone.
TEST_F(ResultsWindow, PrintSelectionWithNothingOrBlanksSelectedComplains) {
    SetResults(QStringLiteral("line 1\nline 2"));
    frmTemplateResults.mnuPrintSelection->trigger();
    QTextCursor cursor = frmTemplateResults.memoResults->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    frmTemplateResults.memoResults->setTextCursor(cursor);
    frmTemplateResults.mnuPrintSelection->trigger();
    EXPECT_TRUE(platform.printed.empty());
    const RecordedMessage refusal{MessageKind::Warning, "Warning", "You have not selected any text."};
    EXPECT_EQ(platform.messages, (std::vector{refusal, refusal}));
}

TEST_F(ResultsWindow, PrintSelectionPrintsExactlyTheSelectionAcrossLines) {
    SetResults(QStringLiteral("first line\nsecond line\nthird"));
    QTextCursor cursor = frmTemplateResults.memoResults->textCursor();
    cursor.setPosition(6);   // "line" of the first line
    cursor.setPosition(17, QTextCursor::KeepAnchor);  // to "second"
    frmTemplateResults.memoResults->setTextCursor(cursor);
    frmTemplateResults.mnuPrintSelection->trigger();
    ASSERT_EQ(platform.printed.size(), 1u);
    EXPECT_EQ(platform.printed[0], "line\nsecond");
}

TEST_F(ResultsWindow, PrinterErrorIsShownAndTheTextStays) {
    SetResults(QStringLiteral("report"));
    platform.printError = "There is no default printer currently selected";
    frmTemplateResults.mnuPrint->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(platform.messages[0].text, "There is no default printer currently selected");
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), QStringLiteral("report"));
}

// ---- Leaving the window ----

TEST_F(ResultsWindow, ReturnToWorksheetSwapsTheWindowsAndKeepsTheText) {
    SetResults(QStringLiteral("report"));
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    EXPECT_FALSE(frmTemplateResults.isVisible());
    EXPECT_TRUE(frmTemplate.isVisible());
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), QStringLiteral("report"));
}

struct ExitCase {
    MessageAnswer answer;
    int endRequests;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << (c.answer == MessageAnswer::Yes ? "Yes" : "No"); }

class ResultsExit : public ResultsWindow, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ResultsExit, EndsOnlyOnYesAndOtherwiseLeavesTheWindowAsItWas) {
    QSignalSpy ended(&frmTemplateResults, &TfrmTemplateResults::programEndRequested);
    SetResults(QStringLiteral("report"));
    platform.answers.push_back(GetParam().answer);
    QTest::mouseClick(frmTemplateResults.cmdExit, Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], (RecordedMessage{MessageKind::Question, "Confirm", "Exit from program?"}));
    EXPECT_EQ(ended.count(), GetParam().endRequests);
    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_EQ(frmTemplateResults.memoResults->toPlainText(), QStringLiteral("report"));
}

INSTANTIATE_TEST_SUITE_P(Answers, ResultsExit,
                         ::testing::Values(ExitCase{MessageAnswer::Yes, 1}, ExitCase{MessageAnswer::No, 0}));

// ---- A whole session ----

// A session of two reports on one file, two-sided then one-sided lower.
class SessionTest : public WindowTest {
protected:
    void TwoAnalyses() {
        const std::string data = WriteDataFile(QStringLiteral("small.txt"), kSmallSample);
        Compute("3", "1", data);
        QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
        frmTemplate.SetRadioGroup1ItemIndex(1);
        Compute("3", "1", data);
    }
};

TEST_F(SessionTest, TwoAnalysesThenSaveHoldsBothReportsWithTheSeparator) {
    TwoAnalyses();

    const QString path = folder.filePath(QStringLiteral("session.txt"));
    platform.saveAnswers.push_back(path.toStdString());
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    const QList<QByteArray> lines = saved.split('\n');
    EXPECT_EQ(saved.count("\r\n"), saved.count('\n'));  // every line end is CR LF
    EXPECT_EQ(lines.count("------------------------------------\r"), 1);
    EXPECT_EQ(lines.count(" Credible limit required: Two-sided\r"), 1);
    EXPECT_EQ(lines.count(" Credible limit required: One-sided lower\r"), 1);
    EXPECT_TRUE(saved.endsWith("\r\n"));
}

// Print All hands the printer every report's figure, as Save as PDF has them; Print
// Selection the selected text alone.
TEST_F(SessionTest, PrintAllPrintsTheFiguresOfTheSessionAndPrintSelectionTheTextAlone) {
    TwoAnalyses();

    frmTemplateResults.mnuPrint->trigger();
    ASSERT_EQ(platform.printedFigures.size(), 1u);
    EXPECT_EQ(platform.printed[0], Results().toStdString());
    const std::vector<ReportFigure>& figures = platform.printedFigures[0];
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].figure.limitType, LimitType::TwoSided);
    EXPECT_EQ(figures[1].figure.limitType, LimitType::OneSidedLower);

    frmTemplateResults.memoResults->selectAll();
    frmTemplateResults.mnuPrintSelection->trigger();
    ASSERT_EQ(platform.printedFigures.size(), 2u);
    EXPECT_TRUE(platform.printedFigures[1].empty());
}

}  // namespace
}  // namespace quorvane::testing
