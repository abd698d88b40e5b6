// The companion program's main window, driven as its user drives it.

#include "ui/summary_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "analysis/metrics_papers.h"
#include "analysis/summary_run.h"
#include "support/fake_platform.h"
#include "support/pdf_text.h"
#include "ui/memo_lines.h"
#include "ui/template_results.h"

namespace quorvane::testing {
namespace {

class SummaryWindow : public ::testing::Test {
protected:
    SummaryWindow() {
        platform.executableFolder = folder.path().toStdString();
        frmSummary.SetResultsWindow(&frmTemplateResults);
    }
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        frmSummary.show();
        frmSummary.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frmSummary));
    }

    // Types a table into the window as its user would: n, k, then each grid field.
    void Type(const QString& n, const QString& k, const SummaryEntries& e) {
        for (auto [edit, text] : {std::pair{frmSummary.txtInput1, n}, std::pair{frmSummary.txtInput2, k}}) {
            edit->clear();
            QTest::keyClicks(edit, text);
        }
        auto type = [this](SummaryField field, const std::vector<std::string>& texts) {
            for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
                QLineEdit* edit = frmSummary.EntryField(field, i);
                edit->clear();
                QTest::keyClicks(edit, QString::fromStdString(texts[i]));
            }
        };
        type(SummaryField::Mean, e.means);
        type(SummaryField::SD, e.sds);
        type(SummaryField::CaseScore, e.caseScores);
        type(SummaryField::Correlation, e.correlations);
    }

    void Click(QPushButton* button) {
        button->setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QString Results() const { return frmTemplateResults.memoResults->toPlainText(); }

    QTemporaryDir folder;
    FakePlatform platform;
    TfrmSummary frmSummary{platform};
    TfrmTemplateResults frmTemplateResults{platform, &frmSummary};
};

const SummaryEntries kOneCovariate{{"31.333", "13.1"}, {"6.804", "3.346"}, {"15", "17"}, {"0.72091"}};

int VisibleFields(const TfrmSummary& window, SummaryField field, int count) {
    int visible = 0;
    for (int i = 0; i < count; ++i) visible += window.EntryField(field, i)->isVisibleTo(window.Panel1) ? 1 : 0;
    return visible;
}

// The programs are named as they are installed, not as files of another system.
TEST_F(SummaryWindow, TitleAndDescriptionNameTheProgramsAsInstalled) {
    EXPECT_EQ(frmSummary.windowTitle(),
              QStringLiteral("QuorvaneSummary: Bayesian test for a deficit in the single case controlling for "
                             "covariate(s) (Summary statistics as input) "));
    const QString description = frmSummary.DescripFld->toPlainText();
    EXPECT_TRUE(description.startsWith(QStringLiteral("QuorvaneSummary implements ")));
    EXPECT_TRUE(description.contains(QStringLiteral("The companion program, Quorvane, runs")));
    EXPECT_FALSE(description.contains(QStringLiteral(".exe")));
}

TEST_F(SummaryWindow, TheGridFollowsKAndKeepsWhatWasTyped) {
    EXPECT_EQ(frmSummary.windowTitle().toStdString(), SummaryProgramTitle);
    Type("30", "1", kOneCovariate);
    EXPECT_EQ(VisibleFields(frmSummary, SummaryField::Mean, 6), 2);
    EXPECT_EQ(VisibleFields(frmSummary, SummaryField::Correlation, 15), 1);
    frmSummary.txtInput2->setText(QStringLiteral("5"));
    EXPECT_EQ(VisibleFields(frmSummary, SummaryField::SD, 6), 6);
    EXPECT_EQ(VisibleFields(frmSummary, SummaryField::Correlation, 15), 15);
    frmSummary.txtInput2->setText(QStringLiteral("7"));  // not a count: the grid stays
    EXPECT_EQ(frmSummary.GridCovariates(), 5);
    frmSummary.txtInput2->setText(QStringLiteral("1"));
    EXPECT_EQ(VisibleFields(frmSummary, SummaryField::CaseScore, 6), 2);
    EXPECT_EQ(frmSummary.EntryField(SummaryField::Correlation, 0)->text(), QStringLiteral("0.72091"));
}

struct WindowRefusal {
    const char* name;
    SummaryField field;  // the entry typed wrong, and the one that must get the focus
    int index;
    const char* text;
    const char* message;  // a part of the box's text
};

class SummaryWindowChecks : public SummaryWindow, public ::testing::WithParamInterface<WindowRefusal> {};

TEST_P(SummaryWindowChecks, ShowOneWarningAndFocusTheEntryAtFault) {
    const WindowRefusal& c = GetParam();
    Type("30", "2", {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "0.3", "0.2"}});
    frmSummary.EntryField(c.field, c.index)->setText(QString::fromUtf8(c.text));
    for (QPushButton* button : {frmSummary.cmdCompute, frmSummary.cmdSaveStatistics}) {
        platform.messages.clear();
        Click(button);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find(c.message), std::string::npos) << platform.messages[0].text;
        EXPECT_EQ(QApplication::focusWidget(), frmSummary.EntryField(c.field, c.index));
    }
    EXPECT_TRUE(platform.saveDialogs.empty());
    EXPECT_FALSE(frmTemplateResults.isVisible());
    EXPECT_TRUE(Results().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    UserSees, SummaryWindowChecks,
    ::testing::Values(WindowRefusal{"EmptyN", SummaryField::N, 0, "", "Data have not been entered in this field."},
                      WindowRefusal{"SixCovariates", SummaryField::K, 0, "6",
                                    "The value must be an integer from 0 to 5."},
                      WindowRefusal{"MeanNotANumber", SummaryField::Mean, 2, "4o", "(  Mean of Covariate 2  4o  )"},
                      WindowRefusal{"ZeroSD", SummaryField::SD, 1, "0",
                                    "(  SD of Covariate 1  0  )\n\nA standard deviation must be greater than 0."},
                      WindowRefusal{"EmptyCaseScore", SummaryField::CaseScore, 0, "",
                                    "(  Case's score on Task of Interest  )"},
                      WindowRefusal{"CorrelationOfOne", SummaryField::Correlation, 2, "1",
                                    "(  Correlation of Covariate 2 with Covariate 1  1  )\n\nA correlation must lie "
                                    "strictly between -1 and 1."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SummaryWindow, TooFewControlsAndANonPositiveDefiniteMatrixAreErrors) {
    Type("3", "2", {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.9", "0.9", "-0.9"}});
    Click(frmSummary.cmdCompute);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, " With a control sample size of  3, the maximum number of covariates is  1 ");
    EXPECT_EQ(QApplication::focusWidget(), frmSummary.txtInput2);

    frmSummary.txtInput1->setText(QStringLiteral("30"));
    Click(frmSummary.cmdCompute);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1], (RecordedMessage{MessageKind::Error, "Error", kNotPositiveDefinite}));
    EXPECT_EQ(QApplication::focusWidget(), frmSummary.EntryField(SummaryField::Correlation, 0));
    EXPECT_FALSE(platform.busyCursor);
}

TEST_F(SummaryWindow, SavedStatisticsLoadBackAndADamagedFileChangesNothing) {
    Type("3 0", "1", kOneCovariate);  // blanks in a count are taken, and not saved
    const QString path = folder.filePath(QStringLiteral("norms.txt"));
    platform.saveAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdSaveStatistics);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    ASSERT_TRUE(QFile::exists(path));

    Click(frmSummary.btnclearData);
    frmSummary.txtInput2->setText(QStringLiteral("3"));
    platform.openAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdLoadStatistics);
    EXPECT_EQ(frmSummary.txtInput1->text(), QStringLiteral("30"));
    EXPECT_EQ(frmSummary.GridCovariates(), 1);
    EXPECT_EQ(frmSummary.EntryField(SummaryField::SD, 1)->text(), QStringLiteral("3.346"));
    EXPECT_EQ(frmSummary.EntryField(SummaryField::Correlation, 0)->text(), QStringLiteral("0.72091"));

    // k of the file sizes the grid, from any size it had. From three covariates on, the
    // lower triangle read column by column is another list: r32 must land in the row of
    // covariate 2, the column of covariate 1, and each value be saved back in its place.
    frmSummary.txtInput2->setText(QStringLiteral("5"));
    const QByteArray correlations = "correlations 0.1 0.2 0.3 0.4 0.5 0.6\n";
    QFile threeCovariates(path);
    ASSERT_TRUE(threeCovariates.open(QIODevice::WriteOnly));
    threeCovariates.write("quorvane-statistics 1\nn 40\nk 3\nmeans 1 2 3 4\nsds 1 2 3 4\ncase 1 2 3 4\n" +
                          correlations);
    threeCovariates.close();
    platform.openAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdLoadStatistics);
    EXPECT_EQ(frmSummary.GridCovariates(), 3);
    EXPECT_EQ(frmSummary.txtCorrelation[2][1]->text(), QStringLiteral("0.3"));
    const QString savedBack = folder.filePath(QStringLiteral("saved_back.txt"));
    platform.saveAnswers.push_back(savedBack.toStdString());
    Click(frmSummary.cmdSaveStatistics);
    QFile saved(savedBack);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\n" + correlations));

    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("quorvane-statistics 1\nn 30\nk 1\nmeans 1 2\nsds 1 x\n");
    damaged.close();
    platform.openAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdLoadStatistics);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Line 5 of the statistics file: \"x\" is not a finite number.");
    EXPECT_EQ(frmSummary.EntryField(SummaryField::Mean, 2)->text(), QStringLiteral("3"));
}

TEST_F(SummaryWindow, LoadingASmallerTableEmptiesTheRowsBeyondItsK) {
    Type("30", "2", {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "0.3", "0.2"}});
    const QString path = folder.filePath(QStringLiteral("k1.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("quorvane-statistics 1\nn 30\nk 1\nmeans 31.333 13.1\nsds 6.804 3.346\ncase 15 17\n"
               "correlations 0.72091\n");
    file.close();
    platform.openAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdLoadStatistics);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    // Typed back to two covariates, the second covariate's row is empty, so Compute
    // names it rather than running on a table mixed from two sources.
    frmSummary.txtInput2->setText(QStringLiteral("2"));
    for (const SummaryField field : {SummaryField::Mean, SummaryField::SD, SummaryField::CaseScore})
        EXPECT_TRUE(frmSummary.EntryField(field, 2)->text().isEmpty());
    for (const int correlation : {1, 2})
        EXPECT_TRUE(frmSummary.EntryField(SummaryField::Correlation, correlation)->text().isEmpty());
    EXPECT_EQ(frmSummary.EntryField(SummaryField::Correlation, 0)->text(), QStringLiteral("0.72091"));
}

// Pasted from a spreadsheet or a paper: a row fills the following fields, a block the
// following rows, and typeset minus signs and spaces read as typed ones.
TEST_F(SummaryWindow, APastedTableFillsTheGridAsASpreadsheetDoes) {
    Type("30", "2", {{"", "", ""}, {"", "", ""}, {"", "", ""}, {"", "", ""}});
    auto paste = [this](SummaryField field, int index, const QString& text) {
        QLineEdit* edit = frmSummary.EntryField(field, index);
        edit->setFocus();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    };
    paste(SummaryField::Mean, 0, QStringLiteral("50\t10\t30\r\n12\t3\t14\t0.5\r\n"));
    paste(SummaryField::Mean, 2, QStringLiteral("40\u00a08 42 \u22120.3\u20090.2"));
    const SummaryEntries expected{{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "-0.3", "0.2"}};
    for (const auto& [field, texts] : {std::pair{SummaryField::Mean, expected.means}, {SummaryField::SD, expected.sds},
                                       {SummaryField::CaseScore, expected.caseScores},
                                       {SummaryField::Correlation, expected.correlations}})
        for (int i = 0; i < static_cast<int>(texts.size()); ++i)
            EXPECT_EQ(frmSummary.EntryField(field, i)->text().toStdString(), texts[i]) << EntryCaption(field, i);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    // One number goes in where the cursor is; a row too long for the grid goes nowhere.
    paste(SummaryField::SD, 0, QStringLiteral("\u22125\n"));
    EXPECT_EQ(frmSummary.EntryField(SummaryField::SD, 0)->text(), QStringLiteral("10-5"));
    paste(SummaryField::SD, 1, QStringLiteral("1 2 3 4"));
    EXPECT_EQ(frmSummary.EntryField(SummaryField::SD, 1)->text(), QStringLiteral("3"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "INPUT ERROR\n\nThe pasted text does not fit the grid from this cell: line 1 "
                                         "holds 4 numbers, but its row has room for 3 from here. Nothing was pasted.");
}

TEST_F(SummaryWindow, ComputeShowsTheResultsWindowAndReportsAppend) {
    Type("30", "1", kOneCovariate);
    frmSummary.SetRadioGroup1ItemIndex(1);
    Click(frmSummary.cmdCompute);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_TRUE(frmTemplateResults.isVisible());
    EXPECT_FALSE(frmSummary.isVisible());
    EXPECT_EQ(frmTemplateResults.windowTitle().toStdString(), "Results viewer: " + SummaryProgramTitle);
    EXPECT_TRUE(Results().startsWith(QStringLiteral("\n") + QString::fromStdString(SummaryProgramTitle)));
    EXPECT_TRUE(Results().contains(QStringLiteral(" Credible limit required: One-sided lower\n")));
    EXPECT_TRUE(QFile::exists(folder.filePath(QString::fromStdString(SummaryInputsFileName))));

    Click(frmTemplateResults.cmdReturn);
    Click(frmSummary.cmdCompute);
    EXPECT_EQ(Results().count(QStringLiteral("\n------------------------------------\n\n")), 1);
    EXPECT_EQ(Results().count(QStringLiteral(" One-tailed probability = 0.00007 ")), 2);
}

TEST_F(SummaryWindow, SaveAsPdfHoldsTheReportAndItsFigure) {
    Type("30", "1", kOneCovariate);
    Click(frmSummary.cmdCompute);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    const QString path = folder.filePath(QStringLiteral("summary.pdf"));
    platform.saveAnswers.push_back(path.toStdString());
    frmTemplateResults.mnuSaveAsPdf->trigger();
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    const QStringList pdf = PdfTextLines(path);
    ExpectLinesInOrder(MemoLines(Results()), pdf);
    EXPECT_EQ(pdf.filter(QStringLiteral("How sure we are")).size(), 1);
}

// The statistics file saved and loaded back is an input of what follows: the results
// window will not write a report over it.
TEST_F(SummaryWindow, TheResultsAreNotSavedOverTheStatisticsFile) {
    Type("30", "1", kOneCovariate);
    const std::string path = folder.filePath(QStringLiteral("norms.txt")).toStdString();
    platform.saveAnswers.push_back(path);
    Click(frmSummary.cmdSaveStatistics);
    platform.openAnswers.push_back(path);
    Click(frmSummary.cmdLoadStatistics);
    Click(frmSummary.cmdCompute);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray statistics = file.readAll();

    platform.saveAnswers.push_back(path);
    Click(frmTemplateResults.cmdSaveOutput);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0],
              (RecordedMessage{MessageKind::Error, "Error",
                               "The results cannot be saved to \"" + path +
                                   "\": it is the statistics file, which would be overwritten"}));
    file.seek(0);
    EXPECT_EQ(file.readAll(), statistics);
}

// The raw program's notes field: its tests cover the rules; this shows the companion has them.
TEST_F(SummaryWindow, TheNotesFieldGrowsOverTheGridShrinksOnLeavingAndStopsAt250Characters) {
    NotesMemo* notes = frmSummary.memoComments;
    notes->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(notes, QStringLiteral("case AB"));
    EXPECT_EQ(notes->height(), NotesMemo::kNotesRestHeight);
    QTest::keyClick(notes, Qt::Key_Return);
    EXPECT_EQ(notes->height(), NotesMemo::kNotesOpenHeight);
    const QRect open = notes->geometry();
    EXPECT_GT(open.bottom(), frmSummary.Panel1->geometry().top());
    EXPECT_EQ(frmSummary.childAt(open.center().x(), open.bottom() - 3)->parentWidget(), notes);

    QTest::keyClicks(notes, QString(260, QLatin1Char('x')));
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("case AB\n") + QString(242, QLatin1Char('x')));
    frmSummary.txtInput1->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(notes->height(), NotesMemo::kNotesRestHeight);
}

}  // namespace
}  // namespace quorvane::testing
