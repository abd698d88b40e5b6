#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDate>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <functional>

#include "analysis/analysis_run.h"
#include "analysis/program_texts.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

const std::string kNotNumeric = "INPUT ERROR\n\nEnter numeric data only.";

// ---- Start-up ----

using MainWindowStart = WindowTest;

TEST_F(MainWindowStart, OpensEmptyWithFocusInTheFirstField) {
    EXPECT_EQ(frmTemplate.windowTitle().toStdString(), ProgramTitle);
    EXPECT_EQ(frmTemplate.size(), QSize(792, 573));
    EXPECT_EQ(frmTemplate.minimumSize(), frmTemplate.maximumSize());  // not resizable
    EXPECT_TRUE(frmTemplate.txtInput1->text().isEmpty());
    EXPECT_TRUE(frmTemplate.txtInput2->text().isEmpty());
    EXPECT_TRUE(frmTemplate.memoComments->toPlainText().isEmpty());
    EXPECT_EQ(frmTemplate.RadioGroup1ItemIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), frmTemplate.txtInput1);
    EXPECT_FALSE(frmTemplateResults.isVisible());
}

TEST_F(MainWindowStart, ShowsThreeInputPairsAndKeepsFiveHiddenWithTheirCaptions) {
    const std::array<QLabel*, 8> labels = {frmTemplate.Label1, frmTemplate.Label2, frmTemplate.Label3,
                                           frmTemplate.Label4, frmTemplate.Label5, frmTemplate.Label6,
                                           frmTemplate.Label7, frmTemplate.Label8};
    const std::array<QLineEdit*, 8> inputs = {frmTemplate.txtInput1, frmTemplate.txtInput2,
                                              frmTemplate.txtInput3, frmTemplate.txtInput4,
                                              frmTemplate.txtInput5, frmTemplate.txtInput6,
                                              frmTemplate.txtInput7, frmTemplate.txtinput8};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(labels[i]->isVisible(), i < 3);
        EXPECT_EQ(inputs[i]->isVisible(), i < 3);
        EXPECT_EQ(labels[i]->text().toStdString(), kLabelCaptions[i]);
        EXPECT_EQ(inputs[i]->text(), i == 2 ? QStringLiteral("1") : QString());  // one case by default
    }
}

TEST_F(MainWindowStart, DescriptionJoinsItsFourPartsWithTheirBlanksAndScrolls) {
    const QString text = frmTemplate.DescripFld->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Quorvane implements ")));
    EXPECT_TRUE(text.contains(QStringLiteral("Crawford, J. R., Garthwaite, P. H., & Ryan, K. (2011)")));
    // Three blanks before the second part, one before the third, two before the fourth.
    EXPECT_TRUE(text.contains(QStringLiteral("1166-1178.   The program tests for a deficit")));
    EXPECT_TRUE(text.contains(QStringLiteral("as input. A companion program, QuorvaneSummary,")));
    EXPECT_TRUE(text.contains(QStringLiteral("as its inputs.  To use the program you need")));
    EXPECT_TRUE(text.contains(QStringLiteral("(a) a significance test")));
    // The version and the date of this build, not a date written into the text.
    const QRegularExpression ending(QStringLiteral("\\( Current version of program: " QUORVANE_VERSION
                                                   ", built on (\\d{4})-(\\d\\d)-(\\d\\d) \\)\\.$"));
    const QRegularExpressionMatch match = ending.match(text);
    ASSERT_TRUE(match.hasMatch()) << text.right(80).toStdString();
    EXPECT_TRUE(QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()).isValid());
    EXPECT_FALSE(text.contains(QStringLiteral(".exe")));
    EXPECT_FALSE(text.contains(QStringLiteral("    ")));
    EXPECT_TRUE(frmTemplate.DescripFld->isReadOnly());
    EXPECT_EQ(frmTemplate.DescripFld->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(MainWindowStart, TabVisitsTheControlsInTheirOrder) {
    const std::vector<QWidget*> expected = {
        frmTemplate.txtInput2, frmTemplate.txtInput3, frmTemplate.RadioGroup2Items->button(0),
        frmTemplate.RadioGroup1Items->button(0),
        frmTemplate.memoComments,
        frmTemplate.cmdCompute, frmTemplate.btnclearData, frmTemplate.ExitBtn, frmTemplate.txtInput1};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
}

TEST_F(MainWindowStart, NoButtonAnswersTheEnterKey) {
    QSignalSpy computed(frmTemplate.cmdCompute, &QPushButton::clicked);
    frmTemplate.txtInput1->setText(QStringLiteral("5"));
    QTest::keyClick(frmTemplate.txtInput1, Qt::Key_Return);
    EXPECT_EQ(computed.count(), 0);
    EXPECT_TRUE(platform.messages.empty());
}

// ---- Typing into the input fields ----

struct TypingCase {
    const char* name;
    std::function<void(QWidget*)> type;
    QString expectedText;
    int expectedWarnings;  // each one the not-numeric box, after a beep
};

void PrintTo(const TypingCase& c, std::ostream* os) { *os << c.name; }

class InputTyping : public WindowTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(InputTyping, InsertsOnlyWhatTheFilterAccepts) {
    for (QLineEdit* edit : {frmTemplate.txtInput1, frmTemplate.txtInput2}) {
        SCOPED_TRACE(edit == frmTemplate.txtInput1 ? "txtInput1" : "txtInput2");
        platform.messages.clear();
        platform.beeps = 0;
        edit->clear();
        edit->setFocus();
        GetParam().type(edit);
        EXPECT_EQ(edit->text(), GetParam().expectedText);
        EXPECT_EQ(platform.beeps, GetParam().expectedWarnings);
        ASSERT_EQ(platform.messages.size(), static_cast<size_t>(GetParam().expectedWarnings));
        for (const RecordedMessage& message : platform.messages) {
            EXPECT_EQ(message.kind, MessageKind::Warning);
            EXPECT_EQ(message.text, kNotNumeric);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, InputTyping,
    ::testing::Values(
        TypingCase{"Digits", [](QWidget* w) { QTest::keyClicks(w, "25"); }, "25", 0},
        TypingCase{"CommaBecomesFullStop", [](QWidget* w) { QTest::keyClicks(w, "1,5"); }, "1.5", 0},
        TypingCase{"SignAndPointPassTyping", [](QWidget* w) { QTest::keyClicks(w, "-3.5"); }, "-3.5", 0},
        TypingCase{"SecondPointIsLeftToTheCheck", [](QWidget* w) { QTest::keyClicks(w, "1.2.3"); }, "1.2.3", 0},
        TypingCase{"LetterIsRefused", [](QWidget* w) { QTest::keyClicks(w, "1a2"); }, "12", 1},
        TypingCase{"BlankIsRefused", [](QWidget* w) { QTest::keyClicks(w, "2 5"); }, "25", 1},
        TypingCase{"BackspaceEdits",
                   [](QWidget* w) {
                       QTest::keyClicks(w, "123");
                       QTest::keyClick(w, Qt::Key_Backspace);
                   },
                   "12", 0},
        TypingCase{"CtrlVPastesAsTyped",
                   [](QWidget* w) {
                       QApplication::clipboard()->setText(QStringLiteral(" 1,5\n"));
                       QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
                   },
                   "1.5", 0},
        TypingCase{"ShiftInsertPastes",
                   [](QWidget* w) {
                       QTest::keyClicks(w, "1");
                       QApplication::clipboard()->setText(QStringLiteral("2,0"));
                       QTest::keyClick(w, Qt::Key_Insert, Qt::ShiftModifier);
                   },
                   "12.0", 0},
        TypingCase{"PasteWithABlankInsertsNothing",
                   [](QWidget* w) {
                       QTest::keyClicks(w, "1");
                       QApplication::clipboard()->setText(QStringLiteral("2 5"));
                       QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
                   },
                   "1", 1},
        TypingCase{"OtherControlChordIsRefused", [](QWidget* w) { QTest::keyClick(w, Qt::Key_B, Qt::ControlModifier); },
                   "", 1}),
    [](const ::testing::TestParamInfo<TypingCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, StandardEditingKeysWorkInTheInputFieldsWithoutAWarning) {
    QLineEdit* edit = frmTemplate.txtInput1;
    edit->setFocus();
    QTest::keyClicks(edit, "12.5");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->selectedText(), QStringLiteral("12.5"));
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("12.5"));
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QString());
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("12.5"));
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit->text(), QString());
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QString());
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("25"));
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(WindowTest, APasteBeyondSixCharactersIsCutAsTypingIs) {
    QLineEdit* edit = frmTemplate.txtInput2;
    edit->setFocus();
    QTest::keyClicks(edit, "1");
    QApplication::clipboard()->setText(QStringLiteral("234567"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("123456"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("123456"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Maximum length of input is 6 characters.");
}

// The field's context menu pastes through the same check as the keys.
TEST_F(WindowTest, TheContextMenusPasteIsCheckedAsTyped) {
    QLineEdit* edit = frmTemplate.txtInput1;
    auto pasteFromMenu = [edit](const QString& clipboard) {
        QApplication::clipboard()->setText(clipboard);
        const QPoint centre = edit->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, centre, edit->mapToGlobal(centre));
        QApplication::sendEvent(edit, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> actions = menu->actions();
        const auto paste = std::find_if(actions.begin(), actions.end(), [](const QAction* action) {
            return action->text().startsWith(QStringLiteral("&Paste"));
        });
        ASSERT_NE(paste, actions.end());
        (*paste)->trigger();
        menu->close();
    };
    pasteFromMenu(QStringLiteral("3,5"));
    EXPECT_EQ(edit->text(), QStringLiteral("3.5"));
    EXPECT_TRUE(platform.messages.empty());
    pasteFromMenu(QStringLiteral("x"));
    EXPECT_EQ(edit->text(), QStringLiteral("3.5"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kNotNumeric);
    EXPECT_EQ(platform.beeps, 1);
}

class InputLengthLimit : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(InputLengthLimit, SeventhCharacterIsCutWithABeepAndTheRestSelected) {
    QLineEdit* edit = GetParam() == 1 ? frmTemplate.txtInput1 : frmTemplate.txtInput2;
    edit->setFocus();
    QTest::keyClicks(edit, "123456");
    EXPECT_TRUE(platform.messages.empty());
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(edit->text(), QStringLiteral("123456"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("123456"));
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(platform.messages[0].text, "Maximum length of input is 6 characters.");
    // The selected text is replaced by the next key, as the user expects.
    QTest::keyClicks(edit, "8");
    EXPECT_EQ(edit->text(), QStringLiteral("8"));
}

INSTANTIATE_TEST_SUITE_P(BothFields, InputLengthLimit, ::testing::Values(1, 2));

// ---- Compute, as the user meets each way it can stop ----

enum class Focus { Input1, Input2, Button };

struct StoppedRun {
    const char* name;
    const char* n;
    const char* k;
    const char* dataFile;  // content; nullptr: the user cancels the open dialog
    MessageKind kind;
    const char* message;   // part of the last box's text
    Focus focus;
    bool dialogShown;
    size_t boxes;  // the loader's success box comes before a later failure
};

void PrintTo(const StoppedRun& run, std::ostream* os) { *os << run.name; }

class ComputeStops : public WindowTest, public ::testing::WithParamInterface<StoppedRun> {};

TEST_P(ComputeStops, ShowsOneBoxMovesFocusAndLeavesTheMainWindowUp) {
    const StoppedRun& run = GetParam();
    std::optional<std::string> path;
    if (run.dataFile) path = WriteDataFile(QStringLiteral("data.txt"), run.dataFile);
    Compute(run.n, run.k, path);

    EXPECT_EQ(platform.openDialogs.size(), run.dialogShown ? 1u : 0u);
    ASSERT_FALSE(platform.messages.empty());
    const RecordedMessage& last = platform.messages.back();
    EXPECT_EQ(last.kind, run.kind);
    EXPECT_EQ(last.caption, DefaultCaption(run.kind));
    EXPECT_THAT(last.text, HasSubstr(run.message));
    EXPECT_EQ(platform.messages.size(), run.boxes);

    QWidget* expectedFocus = run.focus == Focus::Input1   ? static_cast<QWidget*>(frmTemplate.txtInput1)
                             : run.focus == Focus::Input2 ? static_cast<QWidget*>(frmTemplate.txtInput2)
                                                          : static_cast<QWidget*>(frmTemplate.cmdCompute);
    EXPECT_EQ(QApplication::focusWidget(), expectedFocus);
    EXPECT_TRUE(frmTemplate.isVisible());
    EXPECT_FALSE(frmTemplateResults.isVisible());
    EXPECT_TRUE(Results().isEmpty());
    EXPECT_FALSE(platform.busyCursor);
    EXPECT_EQ(QFile::exists(SavedInputsPath()), run.dialogShown);
}

INSTANTIATE_TEST_SUITE_P(
    UserSees, ComputeStops,
    ::testing::Values(
        StoppedRun{"EmptyN", "", "", nullptr, MessageKind::Warning,
                   "Data have not been entered in this field.", Focus::Input1, false, 1},
        StoppedRun{"NTooSmall", "1", "1", nullptr, MessageKind::Warning,
                   "The value for sample size must be an integer greater than 1.", Focus::Input1, false, 1},
        StoppedRun{"NNotANumber", "1-2", "1", nullptr, MessageKind::Warning, "Enter numeric data only.",
                   Focus::Input1, false, 1},
        StoppedRun{"NBeyondTheTable", "500", "1", nullptr, MessageKind::Warning, "499", Focus::Input1, false, 1},
        StoppedRun{"EmptyK", "5", "", nullptr, MessageKind::Warning,
                   "Data have not been entered in this field.", Focus::Input2, false, 1},
        StoppedRun{"KTooLarge", "12", "6", nullptr, MessageKind::Warning,
                   "The value must be an integer from 0 to 5.", Focus::Input2, false, 1},
        StoppedRun{"TooManyCovariatesForN", "3", "2", nullptr, MessageKind::Error,
                   " With a control sample size of  3, the maximum number of covariates is  1 ",
                   Focus::Input2, false, 1},
        StoppedRun{"DialogCancelled", "3", "1", nullptr, MessageKind::Information,
                   "Load data cancelled by user", Focus::Button, true, 1},
        StoppedRun{"CovariateCopiesTheTask", "3", "1", "10 10\r\n12 12\r\n11 11\r\n6 6\r\n",
                   MessageKind::Error, "the correlation matrix is not positive definite", Focus::Input1,
                   true, 2},
        StoppedRun{"ConstantCovariate", "3", "1", "10 40\r\n12 40\r\n11 40\r\n6 50\r\n", MessageKind::Error,
                   "scores on covariate 1 do not vary", Focus::Input1, true, 2},
        StoppedRun{"CommaInTheData", "3", "1", "10 40\r\n12 38\r\n11 4,5\r\n6 50\r\n", MessageKind::Error,
                   "Invalid numeric input", Focus::Button, true, 1}),
    [](const ::testing::TestParamInfo<StoppedRun>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ComputeWithAFileThatHasGoneShowsTheSystemError) {
    Compute("3", "1", folder.filePath(QStringLiteral("gone.txt")).toStdString());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(platform.messages[0].text, "The data file \"" + folder.filePath(QStringLiteral("gone.txt")).toStdString() +
                                             "\" cannot be read: No such file or directory");
    EXPECT_TRUE(frmTemplate.isVisible());
    EXPECT_FALSE(platform.busyCursor);
}

TEST_F(WindowTest, ComputeAsksForATextFileInTheCurrentFolder) {
    Compute("3", "1", std::nullopt);
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.openDialogs[0].filter, "Text files only|*.txt;*.csv");
    EXPECT_TRUE(platform.openDialogs[0].fileMustExist);
    EXPECT_EQ(platform.openDialogs[0].initialFolder, platform.currentDirectory);
}

TEST_F(WindowTest, OpenDialogReopensAtTheFolderOfTheLastDataFilePicked) {
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("study")));
    const std::string study = folder.filePath(QStringLiteral("study")).toStdString();
    Compute("3", "1", WriteDataFile(QStringLiteral("study/small.txt"), kSmallSample));
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    Compute("3", "1", std::nullopt);  // cancelled: the folder is still remembered
    Compute("3", "1", std::nullopt);

    ASSERT_EQ(platform.openDialogs.size(), 3u);
    EXPECT_EQ(platform.openDialogs[0].initialFolder, platform.currentDirectory);
    EXPECT_EQ(platform.openDialogs[1].initialFolder, study);
    EXPECT_EQ(platform.openDialogs[2].initialFolder, study);
}

// ---- Compute to the results window ----

class ComputeCompletes : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dataFile = WriteDataFile(QStringLiteral("small.txt"), kSmallSample);
    }
    std::string dataFile;
};

TEST_F(ComputeCompletes, ReportAppearsInTheResultsWindowInPlaceOfTheMainWindow) {
    Compute("3", "1", dataFile);

    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_FALSE(frmTemplate.isVisible());
    EXPECT_EQ(frmTemplateResults.windowTitle().toStdString(), "Results viewer: " + ProgramTitle);
    EXPECT_EQ(frmTemplateResults.focusWidget(), frmTemplateResults.cmdReturn);
    EXPECT_FALSE(platform.busyCursor);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Data file consisting of n + 1 =  4 cases (rows) and  2 variables (columns) was loaded "
              "successfully ");

    const QStringList lines = Results().split(QLatin1Char('\n'));
    ASSERT_GT(lines.size(), 3);
    EXPECT_EQ(lines[0], QString());  // the first report opens with an empty line
    EXPECT_EQ(lines[1].toStdString(), ProgramTitle);
    EXPECT_TRUE(lines.contains(QStringLiteral(" Number of control participants (n) = 3")));
    EXPECT_TRUE(lines.contains(QStringLiteral(" Credible limit required: Two-sided")));
    EXPECT_TRUE(lines.contains(QStringLiteral(" ") + QString::fromStdString(dataFile)));
    EXPECT_TRUE(lines.contains(QStringLiteral(" OUTPUTS:")));
}

TEST_F(ComputeCompletes, ReportCarriesTheChosenLimitAndTheNotesAsTheyAppear) {
    frmTemplate.SetRadioGroup1ItemIndex(2);
    // Two typed lines; the second is too long for the field and wraps at its blank.
    const QString firstHalf(60, QLatin1Char('a'));
    const QString secondHalf(60, QLatin1Char('b'));
    frmTemplate.memoComments->setPlainText(QStringLiteral("case AB\n") + firstHalf + QLatin1Char(' ') + secondHalf);
    Compute("3", "1", dataFile);

    const QStringList lines = Results().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral(" Credible limit required: One-sided upper")));
    const qsizetype notes = lines.indexOf(QStringLiteral(" User's Notes: case AB"));
    ASSERT_GE(notes, 0);
    const QString indent(15, QLatin1Char(' '));
    ASSERT_LT(notes + 3, lines.size());
    EXPECT_EQ(lines[notes + 1], indent + firstHalf);
    EXPECT_EQ(lines[notes + 2], indent + secondHalf);
    EXPECT_EQ(lines[notes + 3], QStringLiteral(" "));
}

TEST_F(ComputeCompletes, ReturnAndComputeAgainAppendsAnIdenticalReportBelowASeparator) {
    Compute("3", "1", dataFile);
    const QString first = Results();

    const int broughtBefore = platform.broughtToFront;
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    EXPECT_FALSE(frmTemplateResults.isVisible());
    EXPECT_TRUE(frmTemplate.isVisible());
    // n is typed, so showing the main window brings the program to the front.
    EXPECT_EQ(platform.broughtToFront, broughtBefore + 1);
    EXPECT_EQ(frmTemplate.txtInput1->text(), QStringLiteral("3"));

    Compute("3", "1", dataFile);
    EXPECT_EQ(platform.broughtToFront, broughtBefore + 2);  // and so does the results window
    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_EQ(Results(), first + QStringLiteral("\n------------------------------------\n") + first);
}

struct WindowRun {
    const char* name;
    AnalysisTest test;
    const char* n;
    const char* k;
    const char* example;  // a file of examples/
    const char* savedTestItem;  // after the texts of the eight fields in the saved inputs
};

class WindowRunsTheAnalysisChosen : public WindowTest, public ::testing::WithParamInterface<WindowRun> {};

// The window runs the engine on a worker thread; its report must be, to the last digit,
// the one the analysis writes when it runs in place, for the analysis the window chose.
TEST_P(WindowRunsTheAnalysisChosen, ItsReportEqualsTheReportOfARunInPlace) {
    const WindowRun& run = GetParam();
    const std::string data = std::string(QUORVANE_EXAMPLES) + "/" + run.example;
    QTest::mouseClick(frmTemplate.RadioGroup2Items->button(static_cast<int>(run.test)), Qt::LeftButton);
    const std::string& title = run.test == AnalysisTest::Dissociation ? DissociationProgramTitle : ProgramTitle;
    EXPECT_EQ(frmTemplate.windowTitle().toStdString(), title);
    Compute(run.n, run.k, data);
    ASSERT_EQ(platform.messages.size(), 1u);  // the data file was loaded
    QFile saved(SavedInputsPath());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), std::string(run.n) + " " + run.k + "       " + run.savedTestItem);

    FakePlatform inPlace;
    inPlace.executableFolder = platform.executableFolder;
    inPlace.openAnswers.push_back(data);
    AnalysisRequest request;
    request.nText = run.n;
    request.kText = run.k;
    request.test = run.test;
    request.decimalSeparator = QLocale::system().decimalPoint().front().toLatin1();
    const AnalysisOutcome outcome = RunAnalysis(request, inPlace);
    ASSERT_TRUE(outcome.completed);

    // The title, and from the raw data on: the lines between them echo the window's inputs.
    const auto from = [](const QStringList& lines) {
        return lines.mid(lines.indexOf(QStringLiteral(" Raw data for controls:")));
    };
    QStringList expected;
    for (const std::string& line : outcome.reportLines) expected.append(QString::fromStdString(line));
    ASSERT_TRUE(Results().contains(QStringLiteral(" Raw data for controls:")));
    const QStringList shown = Results().split(QLatin1Char('\n'));
    ASSERT_GT(shown.size(), 20);
    // The report's title, which says whether covariates were allowed for, names the run
    // in the results window's caption too.
    EXPECT_EQ(shown[1].toStdString(), expected[1].toStdString());
    EXPECT_EQ(frmTemplateResults.windowTitle().toStdString(), "Results viewer: " + expected[1].toStdString());
    EXPECT_EQ(frmTemplate.windowTitle().toStdString(), expected[1].toStdString());  // as soon as k was typed
    EXPECT_EQ(from(shown), from(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, WindowRunsTheAnalysisChosen,
    ::testing::Values(WindowRun{"Deficit", AnalysisTest::Deficit, "36", "2", "naming_age_education.txt", ""},
                      // The task alone: the education after each score is left unread.
                      WindowRun{"DeficitWithoutCovariates", AnalysisTest::Deficit, "30", "0",
                                "story_recall_education.txt", ""},
                      WindowRun{"Dissociation", AnalysisTest::Dissociation, "30", "2",
                                "naming_comprehension_age_education.txt", "dissociation "}),
    [](const auto& info) { return std::string(info.param.name); });

// A series in the window: the whole report shown, saved, printed and saved as a PDF, with
// one figure of the series.
TEST_F(WindowTest, ASeriesOfTwoCasesIsShownSavedPrintedAndExportedWhole) {
    frmTemplate.txtInput3->setText(QStringLiteral("2"));
    Compute("20", "1", std::string(QUORVANE_EXAMPLES) + "/case_series.txt");
    const QString shown = Results();
    for (const char* line : {" CASE 1 (line 21):", " CASE 2 (line 22):", " TABLE OF THE CASES:"})
        EXPECT_TRUE(shown.split(QLatin1Char('\n')).contains(QString::fromUtf8(line))) << line;
    QFile saved(SavedInputsPath());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), "20 1 2      ");

    const QString output = folder.filePath(QStringLiteral("series.txt"));
    platform.saveAnswers.push_back(output.toStdString());
    QTest::mouseClick(frmTemplateResults.cmdSaveOutput, Qt::LeftButton);
    QFile written(output);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(written.readAll()).contains(QStringLiteral(" TABLE OF THE CASES:")));
    frmTemplateResults.mnuPrint->trigger();
    ASSERT_EQ(platform.printedFigures.size(), 1u);
    ASSERT_EQ(platform.printedFigures[0].size(), 1u);
    EXPECT_TRUE(std::holds_alternative<SeriesFigure>(platform.printedFigures[0][0].figure.test));
    const QString pdf = folder.filePath(QStringLiteral("series.pdf"));
    platform.saveAnswers.push_back(pdf.toStdString());
    frmTemplateResults.mnuSaveAsPdf->trigger();
    EXPECT_GT(QFileInfo(pdf).size(), 0);
}

// Calls act each time an event of the given type reaches the object.
class OnEvent : public QObject {
public:
    OnEvent(QObject& object, QEvent::Type type, std::function<void()> act) : type_(type), act_(std::move(act)) {
        object.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) act_();
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> act_;
};

// A click as the window system delivers it: queued, to act when the program next
// handles its events.
void PostClick(QWidget* widget) {
    const QPointF centre = QRectF(widget->rect()).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(
            widget, new QMouseEvent(type, centre, widget->mapToGlobal(centre), Qt::LeftButton, held, Qt::NoModifier));
    }
}

TEST_F(ComputeCompletes, InputDuringTheRunIsDroppedWhileTheWindowRepaints) {
    frmTemplate.memoComments->setPlainText(QStringLiteral("a note"));
    QSignalSpy ended(&frmTemplate, &TfrmTemplate::programEndRequested);
    int busyPaints = 0;
    const OnEvent paints(frmTemplate, QEvent::Paint, [&] { busyPaints += platform.busyCursor; });
    // Clicks that reach the main window while the results window takes its place.
    const OnEvent swap(frmTemplateResults, QEvent::Show, [&] {
        PostClick(frmTemplate.cmdCompute);
        PostClick(frmTemplate.btnclearData);
    });
    bool duringTheRun = false;
    bool closed = true;
    // A second run would be answered with the same file.
    platform.openAnswers.push_back(dataFile);
    QTimer::singleShot(0, &frmTemplate, [&] {
        duringTheRun = platform.busyCursor && !frmTemplateResults.isVisible();
        QTest::mouseClick(frmTemplate.cmdCompute, Qt::LeftButton);
        QTest::keyClick(frmTemplate.cmdCompute, Qt::Key_Space);
        QTest::mouseClick(frmTemplate.btnclearData, Qt::LeftButton);
        QTest::keyClick(frmTemplate.txtInput1, Qt::Key_7);
        closed = frmTemplate.close();
        frmTemplate.update();
    });
    Compute("3", "1", dataFile);
    QCoreApplication::processEvents();  // back in the program's event loop

    ASSERT_TRUE(duringTheRun);
    EXPECT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.messages.size(), 1u);  // the loader's success box alone
    EXPECT_FALSE(closed);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_EQ(frmTemplate.txtInput1->text(), QStringLiteral("3"));
    EXPECT_EQ(frmTemplate.memoComments->toPlainText(), QStringLiteral("a note"));
    EXPECT_TRUE(QFile::exists(SavedInputsPath()));
    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_EQ(Results().count(QStringLiteral(" OUTPUTS:")), 1);
    EXPECT_GT(busyPaints, 0);
    // Once the run is over, the windows take input again.
    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    EXPECT_TRUE(frmTemplate.isVisible());
}

TEST_F(WindowTest, ShowingTheMainWindowWithNTypedBringsTheProgramToTheFront) {
    frmTemplate.hide();
    frmTemplate.txtInput1->setText(QStringLiteral("3"));
    const int before = platform.broughtToFront;
    frmTemplate.show();
    EXPECT_EQ(platform.broughtToFront, before + 1);

    frmTemplate.hide();
    frmTemplate.txtInput1->clear();
    frmTemplate.cmdCompute->setFocus();
    frmTemplate.show();
    EXPECT_EQ(platform.broughtToFront, before + 1);
    EXPECT_EQ(frmTemplate.focusWidget(), frmTemplate.txtInput1);
}

// ---- Clear Data ----

TEST_F(WindowTest, ClearDataEmptiesTheInputsAndNotesAndDeletesTheSavedInputs) {
    frmTemplate.SetRadioGroup1ItemIndex(1);
    frmTemplate.memoComments->setPlainText(QStringLiteral("a note"));
    Compute("3", "1", std::nullopt);  // gets as far as saving the inputs
    ASSERT_TRUE(QFile::exists(SavedInputsPath()));
    frmTemplate.txtInput3->setText(QStringLiteral("4"));
    frmTemplate.txtInput4->setText(QStringLiteral("9"));  // hidden fields are cleared too
    frmTemplate.SetRadioGroup2ItemIndex(1);

    QTest::mouseClick(frmTemplate.btnclearData, Qt::LeftButton);

    EXPECT_TRUE(frmTemplate.txtInput1->text().isEmpty());
    EXPECT_TRUE(frmTemplate.txtInput2->text().isEmpty());
    EXPECT_EQ(frmTemplate.txtInput3->text(), QStringLiteral("1"));  // one case again
    EXPECT_TRUE(frmTemplate.txtInput4->text().isEmpty());
    EXPECT_TRUE(frmTemplate.memoComments->toPlainText().isEmpty());
    EXPECT_FALSE(QFile::exists(SavedInputsPath()));
    EXPECT_EQ(QApplication::focusWidget(), frmTemplate.txtInput1);
    EXPECT_EQ(frmTemplate.RadioGroup1ItemIndex(), 1);
    EXPECT_EQ(frmTemplate.RadioGroup2ItemIndex(), 1);
    EXPECT_EQ(platform.messages.size(), 1u);  // only the cancelled load; no confirmation

    QTest::mouseClick(frmTemplate.btnclearData, Qt::LeftButton);  // no file: still quiet
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(WindowTest, ReadOnlyProgramFolderSavesTheInputsInTheStateFolder) {
    // As installed: the program's folder cannot be written (a regular file lies in its
    // path, which stops root too), so the inputs go to the user's state folder.
    QFile plain(folder.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    platform.executableFolder = folder.filePath(QStringLiteral("plain/bin")).toStdString();
    platform.environment["XDG_STATE_HOME"] = folder.filePath(QStringLiteral("state")).toStdString();
    const QString saved = folder.filePath(QStringLiteral("state/quorvane/Quorvane.txt"));

    Compute("3", "1", WriteDataFile(QStringLiteral("small.txt"), kSmallSample));
    EXPECT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_TRUE(frmTemplateResults.isVisible());
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("3 1       "));

    QTest::mouseClick(frmTemplateResults.cmdReturn, Qt::LeftButton);
    QTest::mouseClick(frmTemplate.btnclearData, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(saved));
}

// ---- Ending the program ----

struct ExitCase {
    MessageAnswer answer;
    int endRequests;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << (c.answer == MessageAnswer::Yes ? "Yes" : "No"); }

class MainWindowExit : public WindowTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(MainWindowExit, EndsOnlyOnYes) {
    QSignalSpy ended(&frmTemplate, &TfrmTemplate::programEndRequested);
    frmTemplate.txtInput1->setText(QStringLiteral("12"));
    platform.answers.push_back(GetParam().answer);
    QTest::mouseClick(frmTemplate.ExitBtn, Qt::LeftButton);

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], (RecordedMessage{MessageKind::Question, "Confirm", "Exit from program?"}));
    EXPECT_EQ(ended.count(), GetParam().endRequests);
    EXPECT_EQ(frmTemplate.txtInput1->text(), QStringLiteral("12"));
    EXPECT_FALSE(QFile::exists(SavedInputsPath()));
}

INSTANTIATE_TEST_SUITE_P(Answers, MainWindowExit,
                         ::testing::Values(ExitCase{MessageAnswer::Yes, 1}, ExitCase{MessageAnswer::No, 0}));

TEST_F(WindowTest, ClosingTheMainWindowEndsTheProgramWithoutAsking) {
    QSignalSpy ended(&frmTemplate, &TfrmTemplate::programEndRequested);
    EXPECT_TRUE(frmTemplate.close());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(platform.messages.empty());
}

// ---- The notes field ----

class NotesField : public WindowTest {
protected:
    int Height() const { return frmTemplate.memoComments->height(); }
    void Enter() { frmTemplate.memoComments->setFocus(Qt::TabFocusReason); }
    void Leave() { frmTemplate.txtInput1->setFocus(Qt::TabFocusReason); }
};

TEST_F(NotesField, GrowsOnEnterKeyAndShrinksOnLeaving) {
    Enter();
    EXPECT_EQ(Height(), NotesMemo::kNotesRestHeight);
    QTest::keyClicks(frmTemplate.memoComments, "one line");
    EXPECT_EQ(Height(), NotesMemo::kNotesRestHeight);
    QTest::keyClick(frmTemplate.memoComments, Qt::Key_Return);
    EXPECT_EQ(Height(), NotesMemo::kNotesOpenHeight);
    QTest::keyClicks(frmTemplate.memoComments, "two");

    Leave();
    EXPECT_EQ(Height(), NotesMemo::kNotesRestHeight);
    Enter();
    EXPECT_EQ(Height(), NotesMemo::kNotesOpenHeight);
}

TEST_F(NotesField, GrowsDownwardOverTheInputPanelAndNothingElseMoves) {
    const QRect rest = frmTemplate.memoComments->geometry();
    const QRect panel = frmTemplate.Panel1->geometry();
    frmTemplate.memoComments->setPlainText(QStringLiteral("one\ntwo"));
    Enter();
    const QRect open = frmTemplate.memoComments->geometry();
    EXPECT_EQ(open.topLeft(), rest.topLeft());
    EXPECT_EQ(open.width(), rest.width());
    EXPECT_GT(open.bottom(), panel.top());
    EXPECT_EQ(frmTemplate.Panel1->geometry(), panel);
    // Drawn on top of the panel, not beneath it.
    EXPECT_EQ(frmTemplate.childAt(open.center().x(), open.bottom() - 3)->parentWidget(),
              frmTemplate.memoComments);
}

TEST_F(NotesField, GrowsWhileTypingOnceTheLineWraps) {
    Enter();
    QTest::keyClicks(frmTemplate.memoComments, QString(40, QLatin1Char('x')));
    EXPECT_EQ(Height(), NotesMemo::kNotesRestHeight);
    QTest::keyClicks(frmTemplate.memoComments, QString(80, QLatin1Char('y')));
    EXPECT_EQ(Height(), NotesMemo::kNotesOpenHeight);
}

TEST_F(NotesField, ALineThatWrapsCountsAsMoreThanOne) {
    frmTemplate.memoComments->setPlainText(QString(120, QLatin1Char('x')));
    Enter();
    EXPECT_EQ(Height(), NotesMemo::kNotesOpenHeight);
}

TEST_F(NotesField, RefusesTypingBeyond250Characters) {
    Enter();
    QTest::keyClicks(frmTemplate.memoComments, QString(245, QLatin1Char('a')));
    QTest::keyClicks(frmTemplate.memoComments, QStringLiteral("bcdefghij"));
    EXPECT_EQ(frmTemplate.memoComments->toPlainText(), QString(245, QLatin1Char('a')) + QStringLiteral("bcdef"));
    // Typing in the middle cannot push text out at the end either.
    QTest::keyClick(frmTemplate.memoComments, Qt::Key_Home);
    QTest::keyClicks(frmTemplate.memoComments, QStringLiteral("z"));
    EXPECT_EQ(frmTemplate.memoComments->toPlainText(), QString(245, QLatin1Char('a')) + QStringLiteral("bcdef"));
}

TEST_F(NotesField, TabLeavesTheFieldInsteadOfTypingATab) {
    Enter();
    QTest::keyClick(frmTemplate.memoComments, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), frmTemplate.cmdCompute);
    EXPECT_TRUE(frmTemplate.memoComments->toPlainText().isEmpty());
}

}  // namespace
}  // namespace quorvane::testing
