// The companion program's main window, driven as its user drives it.

#include "ui/summary_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <tuple>

#include "analysis/analysis_run.h"
#include "analysis/power_run.h"
#include "analysis/program_texts.h"
#include "analysis/summary_run.h"
#include "export/memo_lines.h"
#include "support/pdf_text.h"
#include "ui/power_dialog.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

const SummaryEntries kOneCovariate{{"31.333", "13.1"}, {"6.804", "3.346"}, {"15", "17"}, {"0.72091"}};
// kOneCovariate as a statistics file holds it.
const QByteArray kOneCovariateFile =
    "quorvane-statistics 1\nn 30\nk 1\nmeans 31.333 13.1\nsds 6.804 3.346\ncase 15 17\ncorrelations 0.72091\n";

int VisibleFields(const TfrmSummary& window, InputField field, int count) {
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
    EXPECT_EQ(VisibleFields(frmSummary, InputField::Mean, 6), 2);
    EXPECT_EQ(VisibleFields(frmSummary, InputField::Correlation, 15), 1);
    frmSummary.txtInput2->setText(QStringLiteral("5"));
    EXPECT_EQ(VisibleFields(frmSummary, InputField::SD, 6), 6);
    EXPECT_EQ(VisibleFields(frmSummary, InputField::Correlation, 15), 15);
    frmSummary.txtInput2->setText(QStringLiteral("7"));  // not a count: the grid stays
    EXPECT_EQ(frmSummary.GridCovariates(), 5);
    frmSummary.txtInput2->setText(QStringLiteral("1"));
    EXPECT_EQ(VisibleFields(frmSummary, InputField::CaseScore, 6), 2);
    EXPECT_EQ(frmSummary.EntryField(InputField::Correlation, 0)->text(), QStringLiteral("0.72091"));
}

// A field of the window, found as its user finds it.
using FieldOf = std::function<QLineEdit*(const TfrmSummary&)>;

// The grid's field in the row of the variable named row, under the heading column
// ("Mean", "SD", "Case's score", "r: Task 1", ...): found by where the labels and the
// fields stand, not by how the window numbers its fields. Nothing when none is shown.
QLineEdit* GridCell(const TfrmSummary& window, const QString& row, const QString& column) {
    const auto shownLabel = [&window](const QString& text) -> const QLabel* {
        for (const QLabel* label : window.Panel1->findChildren<QLabel*>())
            if (label->text() == text && label->isVisibleTo(&window)) return label;
        return nullptr;
    };
    const QLabel* name = shownLabel(row);
    const QLabel* heading = shownLabel(column);
    if (name == nullptr || heading == nullptr) return nullptr;
    for (QLineEdit* field : window.Panel1->findChildren<QLineEdit*>())
        if (field->isVisibleTo(&window) && field->y() == name->y() && field->x() == heading->x()) return field;
    return nullptr;
}

FieldOf Cell(const char* row, const char* column) {
    return [=](const TfrmSummary& window) { return GridCell(window, row, column); };
}

// The texts of the shown labels, in the order they stand (top to bottom, left to right).
template <std::size_t N>
std::vector<std::string> ShownInOrder(const TfrmSummary& window, const std::array<QLabel*, N>& labels) {
    std::vector<const QLabel*> shown;
    for (const QLabel* label : labels)
        if (label->isVisibleTo(&window)) shown.push_back(label);
    std::sort(shown.begin(), shown.end(), [](const QLabel* a, const QLabel* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    std::vector<std::string> texts;
    for (const QLabel* label : shown) texts.push_back(label->text().toStdString());
    return texts;
}

struct WindowRefusal {
    const char* name;
    AnalysisTest test;
    FieldOf field;  // the entry typed wrong, and the one that must get the focus
    const char* text;
    const char* message;  // a part of the box's text
};

class SummaryWindowChecks : public SummaryWindow, public ::testing::WithParamInterface<WindowRefusal> {};

TEST_P(SummaryWindowChecks, ShowOneWarningAndFocusTheEntryAtFault) {
    const WindowRefusal& c = GetParam();
    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(c.test));
    if (c.test == AnalysisTest::Deficit)
        Type("30", "2", {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "0.3", "0.2"}});
    else
        Type("30", "1", {{"50", "45", "12"}, {"10", "9", "3"}, {"30", "44", "14"}, {"0.6", "0.5", "0.3"}});
    QLineEdit* field = c.field(frmSummary);
    ASSERT_NE(field, nullptr);
    field->setText(QString::fromUtf8(c.text));
    for (QPushButton* button : {frmSummary.cmdCompute, frmSummary.cmdSaveStatistics}) {
        platform.messages.clear();
        Click(button);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find(c.message), std::string::npos) << platform.messages[0].text;
        EXPECT_EQ(QApplication::focusWidget(), field);
    }
    EXPECT_TRUE(platform.saveDialogs.empty());
    EXPECT_FALSE(frmTemplateResults.isVisible());
    EXPECT_TRUE(Results().isEmpty());
}

const FieldOf kN = [](const TfrmSummary& window) { return window.txtInput1; };
const FieldOf kK = [](const TfrmSummary& window) { return window.txtInput2; };
constexpr AnalysisTest kDeficit = AnalysisTest::Deficit;
constexpr AnalysisTest kDissociation = AnalysisTest::Dissociation;

INSTANTIATE_TEST_SUITE_P(
    UserSees, SummaryWindowChecks,
    ::testing::Values(
        WindowRefusal{"EmptyN", kDeficit, kN, "", "Data have not been entered in this field."},
        WindowRefusal{"SixCovariates", kDeficit, kK, "6", "The value must be an integer from 0 to 5."},
        WindowRefusal{"MeanNotANumber", kDeficit, Cell("Covariate 2", "Mean"), "4o", "(  Mean of Covariate 2  4o  )"},
        WindowRefusal{"ZeroSD", kDeficit, Cell("Covariate 1", "SD"), "0",
                      "(  SD of Covariate 1  0  )\n\nA standard deviation must be greater than 0."},
        WindowRefusal{"EmptyCaseScore", kDeficit, Cell("Task of Interest", "Case's score"), "",
                      "(  Case's score on Task of Interest  )"},
        WindowRefusal{"CorrelationOfOne", kDeficit, Cell("Covariate 2", "r: Cov 1"), "1",
                      "(  Correlation of Covariate 2 with Covariate 1  1  )\n\nA correlation must lie "
                      "strictly between -1 and 1."},
        WindowRefusal{"TooFewControlsForADissociation", kDissociation, kN, "3",
                      "The value for sample size must be an integer greater than 3 for a dissociation."},
        WindowRefusal{"ZeroSDOfTask2", kDissociation, Cell("Task 2", "SD"), "0", "(  SD of Task 2  0  )"},
        WindowRefusal{"Task2WithTask1", kDissociation, Cell("Task 2", "r: Task 1"), "1",
                      "(  Correlation of Task 2 with Task 1  1  )"},
        WindowRefusal{"CovariateWithTask2", kDissociation, Cell("Covariate 1", "r: Task 2"), "x",
                      "(  Correlation of Covariate 1 with Task 2  x  )"}),
    [](const auto& info) { return std::string(info.param.name); });

struct GridShape {
    const char* name;
    AnalysisTest test;
    const char* k;
    std::vector<std::string> rows;          // the variables' names, top to bottom
    std::vector<std::string> correlations;  // the correlation columns' headings, left to right
};

class SummaryGridShape : public SummaryWindow, public ::testing::WithParamInterface<GridShape> {};

// Each shown cell gets a text that names its row and column as the user sees them; the
// entries must list them as the analysis reads SummaryEntries: the tasks, then the
// covariates, the correlations of the lower triangle row by row (r21; r31 r32; ...).
TEST_P(SummaryGridShape, RowsAndColumnsFollowTheTestAndKAndTheEntriesTheirOrder) {
    const GridShape& shape = GetParam();
    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(shape.test));
    frmSummary.txtInput2->setText(QString::fromUtf8(shape.k));
    EXPECT_EQ(ShownInOrder(frmSummary, frmSummary.lblVariable), shape.rows);
    EXPECT_EQ(ShownInOrder(frmSummary, frmSummary.lblCorrelation), shape.correlations);
    // The heading names correlations only where the grid has a column of them.
    EXPECT_EQ(frmSummary.lblGrid->text().contains(QStringLiteral("correlations")), !shape.correlations.empty());

    const int p = static_cast<int>(shape.rows.size());
    SummaryEntries expected;
    int shownFields = 0;
    for (int row = 0; row < p; ++row) {
        const std::string name = std::to_string(row + 1);
        const QString variable = QString::fromStdString(shape.rows[row]);
        for (const auto& [column, list, text] :
             {std::tuple{"Mean", &expected.means, "1" + name}, std::tuple{"SD", &expected.sds, "2" + name},
              std::tuple{"Case's score", &expected.caseScores, "3" + name}}) {
            QLineEdit* field = GridCell(frmSummary, variable, QString::fromUtf8(column));
            ASSERT_NE(field, nullptr) << shape.rows[row] << ", " << column;
            field->setText(QString::fromStdString(text));
            list->push_back(text);
        }
        for (int c = 0; c < row; ++c) {
            const QString heading = QString::fromStdString(shape.correlations[c]);
            QLineEdit* field = GridCell(frmSummary, variable, heading);
            ASSERT_NE(field, nullptr) << shape.rows[row] << ", " << shape.correlations[c];
            const std::string text = "0." + name + std::to_string(c + 1);
            field->setText(QString::fromStdString(text));
            expected.correlations.push_back(text);
        }
        shownFields += 3 + row;
    }
    EXPECT_EQ(frmSummary.CurrentEntries(), expected);
    int visible = 0;
    for (const QLineEdit* field : frmSummary.Panel1->findChildren<QLineEdit*>())
        visible += field->isVisibleTo(&frmSummary) ? 1 : 0;
    EXPECT_EQ(visible, shownFields + 2);  // and n and k
}

INSTANTIATE_TEST_SUITE_P(
    TestAndK, SummaryGridShape,
    ::testing::Values(
        GridShape{"DeficitNoCovariate", kDeficit, "0", {"Task of Interest"}, {}},
        GridShape{"DeficitK1", kDeficit, "1", {"Task of Interest", "Covariate 1"}, {"r: Task"}},
        GridShape{"DeficitK3",
                  kDeficit,
                  "3",
                  {"Task of Interest", "Covariate 1", "Covariate 2", "Covariate 3"},
                  {"r: Task", "r: Cov 1", "r: Cov 2"}},
        GridShape{"DissociationNoCovariate", kDissociation, "0", {"Task 1", "Task 2"}, {"r: Task 1"}},
        GridShape{"DissociationK1", kDissociation, "1", {"Task 1", "Task 2", "Covariate 1"}, {"r: Task 1", "r: Task 2"}},
        GridShape{"DissociationK3",
                  kDissociation,
                  "3",
                  {"Task 1", "Task 2", "Covariate 1", "Covariate 2", "Covariate 3"},
                  {"r: Task 1", "r: Task 2", "r: Cov 1", "r: Cov 2"}},
        GridShape{"DissociationK5",
                  kDissociation,
                  "5",
                  {"Task 1", "Task 2", "Covariate 1", "Covariate 2", "Covariate 3", "Covariate 4", "Covariate 5"},
                  {"r: Task 1", "r: Task 2", "r: Cov 1", "r: Cov 2", "r: Cov 3", "r: Cov 4"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Task 1 is the task of interest and the covariates stay covariates: what was typed for
// them is kept across a switch; task 2's row is kept aside while a deficit is chosen.
TEST_F(SummaryWindow, SwitchingTheTestKeepsWhatStillMeansTheSame) {
    Type("30", "1", kOneCovariate);
    Click(frmSummary.RadioGroup2Items->button(static_cast<int>(kDissociation)));
    EXPECT_EQ(frmSummary.windowTitle().toStdString(), DissociationSummaryProgramTitle);
    EXPECT_EQ(frmSummary.CurrentEntries(),
              (SummaryEntries{{"31.333", "", "13.1"}, {"6.804", "", "3.346"}, {"15", "", "17"}, {"", "0.72091", ""}}));
    const SummaryEntries dissociation{
        {"31.333", "28", "13.1"}, {"6.804", "5.1", "3.346"}, {"15", "27", "17"}, {"0.6", "0.72091", "0.4"}};
    Type("30", "1", dissociation);

    Click(frmSummary.RadioGroup2Items->button(static_cast<int>(kDeficit)));
    EXPECT_EQ(frmSummary.windowTitle().toStdString(), SummaryProgramTitle);
    EXPECT_EQ(frmSummary.CurrentEntries(), kOneCovariate);
    EXPECT_EQ(GridCell(frmSummary, "Task 2", "Mean"), nullptr);
    Click(frmSummary.RadioGroup2Items->button(static_cast<int>(kDissociation)));
    EXPECT_EQ(frmSummary.CurrentEntries(), dissociation);

    // Clear Data empties the grid but leaves the choice, as it leaves the credible limit.
    Click(frmSummary.btnclearData);
    EXPECT_EQ(frmSummary.RadioGroup2ItemIndex(), static_cast<int>(kDissociation));
    EXPECT_EQ(frmSummary.CurrentEntries(), (SummaryEntries{{"", "", ""}, {"", "", ""}, {"", "", ""}, {"", "", ""}}));
}

// A table pasted from the row of task 1 runs on over task 2's row into the covariate's.
TEST_F(SummaryWindow, APastedTableRunsOverTheRowOfTask2) {
    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(kDissociation));
    Type("30", "1", {{"", "", ""}, {"", "", ""}, {"", "", ""}, {"", "", ""}});
    QLineEdit* first = GridCell(frmSummary, "Task 1", "Mean");
    first->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("50\t10\t30\n45\t9\t44\t0.6\n12\t3\t14\t0.5\t0.3\n"));
    QTest::keyClick(first, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(frmSummary.CurrentEntries(),
              (SummaryEntries{{"50", "45", "12"}, {"10", "9", "3"}, {"30", "44", "14"}, {"0.6", "0.5", "0.3"}}));
}

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
    EXPECT_EQ(QApplication::focusWidget(), frmSummary.EntryField(InputField::Correlation, 0));
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
    EXPECT_EQ(frmSummary.EntryField(InputField::SD, 1)->text(), QStringLiteral("3.346"));
    EXPECT_EQ(frmSummary.EntryField(InputField::Correlation, 0)->text(), QStringLiteral("0.72091"));

    // k of the file sizes the grid, from any size it had. From three covariates on, the
    // lower triangle read column by column is another list: r32 must land in the row of
    // covariate 2, the column of covariate 1, and each value be saved back in its place.
    frmSummary.txtInput2->setText(QStringLiteral("5"));
    const QByteArray correlations = "correlations 0.1 0.2 0.3 0.4 0.5 0.6\n";
    LoadStatistics(path, "quorvane-statistics 1\nn 40\nk 3\nmeans 1 2 3 4\nsds 1 2 3 4\ncase 1 2 3 4\n" + correlations);
    EXPECT_EQ(frmSummary.GridCovariates(), 3);
    EXPECT_EQ(GridCell(frmSummary, "Covariate 2", "r: Cov 1")->text(), QStringLiteral("0.3"));
    const QString savedBack = folder.filePath(QStringLiteral("saved_back.txt"));
    platform.saveAnswers.push_back(savedBack.toStdString());
    Click(frmSummary.cmdSaveStatistics);
    QFile saved(savedBack);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\n" + correlations));

    LoadStatistics(path, "quorvane-statistics 1\nn 30\nk 1\nmeans 1 2\nsds 1 x\n");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Line 5 of the statistics file: \"x\" is not a finite number.");
    EXPECT_EQ(frmSummary.EntryField(InputField::Mean, 2)->text(), QStringLiteral("3"));
}

// A dissociation's table goes to a version 2 file; a file loaded sets the choice from
// its test, and a deficit's table loaded leaves task 2's row empty for a later switch.
TEST_F(SummaryWindow, ADissociationsTableIsSavedAsVersion2AndLoadingSetsTheChoice) {
    const SummaryEntries dissociation{
        {"50", "45", "12"}, {"10", "9", "3"}, {"30", "44", "14"}, {"0.6", "0.5", "0.3"}};
    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(kDissociation));
    Type("30", "1", dissociation);
    const QString path = folder.filePath(QStringLiteral("dissociation.txt"));
    platform.saveAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdSaveStatistics);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.startsWith("quorvane-statistics 2\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\ntest dissociation\n")) << text.toStdString();

    LoadStatistics(folder.filePath(QStringLiteral("deficit.txt")), kOneCovariateFile);
    EXPECT_EQ(frmSummary.RadioGroup2ItemIndex(), static_cast<int>(kDeficit));
    EXPECT_EQ(frmSummary.CurrentEntries(), kOneCovariate);
    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(kDissociation));
    EXPECT_EQ(frmSummary.CurrentEntries(),
              (SummaryEntries{{"31.333", "", "13.1"}, {"6.804", "", "3.346"}, {"15", "", "17"}, {"", "0.72091", ""}}));

    frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(kDeficit));
    platform.openAnswers.push_back(path.toStdString());
    Click(frmSummary.cmdLoadStatistics);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(frmSummary.RadioGroup2ItemIndex(), static_cast<int>(kDissociation));
    EXPECT_EQ(frmSummary.CurrentEntries(), dissociation);

    // The choice reaches the run, its report and the saved inputs.
    Click(frmSummary.cmdCompute);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(frmTemplateResults.windowTitle().toStdString(), "Results viewer: " + DissociationSummaryProgramTitle);
    EXPECT_TRUE(Results().contains(QStringLiteral(" Test for a dissociation between Task 1 and Task 2:")));
    QFile inputs(folder.filePath(QString::fromStdString(SummaryInputsFileName)));
    ASSERT_TRUE(inputs.open(QIODevice::ReadOnly));
    EXPECT_TRUE(inputs.readAll().endsWith(" dissociation ")) << inputs.fileName().toStdString();
}

TEST_F(SummaryWindow, LoadingASmallerTableEmptiesTheRowsBeyondItsK) {
    Type("30", "2", {{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "0.3", "0.2"}});
    LoadStatistics(folder.filePath(QStringLiteral("k1.txt")), kOneCovariateFile);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    // Typed back to two covariates, the second covariate's row is empty, so Compute
    // names it rather than running on a table mixed from two sources.
    frmSummary.txtInput2->setText(QStringLiteral("2"));
    for (const InputField field : {InputField::Mean, InputField::SD, InputField::CaseScore})
        EXPECT_TRUE(frmSummary.EntryField(field, 2)->text().isEmpty());
    for (const int correlation : {1, 2})
        EXPECT_TRUE(frmSummary.EntryField(InputField::Correlation, correlation)->text().isEmpty());
    EXPECT_EQ(frmSummary.EntryField(InputField::Correlation, 0)->text(), QStringLiteral("0.72091"));
}

// Pasted from a spreadsheet or a paper: a row fills the following fields, a block the
// following rows, and typeset minus signs and spaces read as typed ones.
TEST_F(SummaryWindow, APastedTableFillsTheGridAsASpreadsheetDoes) {
    Type("30", "2", {{"", "", ""}, {"", "", ""}, {"", "", ""}, {"", "", ""}});
    auto paste = [this](InputField field, int index, const QString& text) {
        QLineEdit* edit = frmSummary.EntryField(field, index);
        edit->setFocus();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    };
    paste(InputField::Mean, 0, QStringLiteral("50\t10\t30\r\n12\t3\t14\t0.5\r\n"));
    paste(InputField::Mean, 2, QStringLiteral("40\u00a08 42 \u22120.3\u20090.2"));
    const SummaryEntries expected{{"50", "12", "40"}, {"10", "3", "8"}, {"30", "14", "42"}, {"0.5", "-0.3", "0.2"}};
    for (const auto& [field, texts] : {std::pair{InputField::Mean, expected.means}, {InputField::SD, expected.sds},
                                       {InputField::CaseScore, expected.caseScores},
                                       {InputField::Correlation, expected.correlations}})
        for (int i = 0; i < static_cast<int>(texts.size()); ++i)
            EXPECT_EQ(frmSummary.EntryField(field, i)->text().toStdString(), texts[i]) << EntryCaption(field, i);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    // One number goes in where the cursor is; a row too long for the grid goes nowhere.
    frmSummary.EntryField(InputField::SD, 0)->end(false);
    paste(InputField::SD, 0, QStringLiteral("\u22125\n"));
    EXPECT_EQ(frmSummary.EntryField(InputField::SD, 0)->text(), QStringLiteral("10-5"));
    paste(InputField::SD, 1, QStringLiteral("1 2 3 4"));
    EXPECT_EQ(frmSummary.EntryField(InputField::SD, 1)->text(), QStringLiteral("3"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "INPUT ERROR\n\nThe pasted text does not fit the grid from this cell: line 1 "
                                         "holds 4 numbers, but its row has room for 3 from here. Nothing was pasted.");
    // Typed, a typeset minus sign is the plain one too.
    QKeyEvent minus(QEvent::KeyPress, 0x2212, Qt::NoModifier, QStringLiteral("\u2212"));
    QApplication::sendEvent(frmSummary.EntryField(InputField::SD, 1), &minus);
    EXPECT_EQ(frmSummary.EntryField(InputField::SD, 1)->text(), QStringLiteral("-3"));
}

// A correlation to five decimals with its sign ("-0.54427", in digits as wide as the
// widest) shows whole in the grids of six rows and of seven, and the names and headings
// with a blank before what follows.
TEST_F(SummaryWindow, ACorrelationToFiveDecimalsShowsWhole) {
    frmSummary.txtInput2->setText(QStringLiteral("5"));
    for (const AnalysisTest test : {kDeficit, kDissociation}) {
        frmSummary.SetRadioGroup2ItemIndex(static_cast<int>(test));
        for (const QLabel* label : frmSummary.Panel1->findChildren<QLabel*>())
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()) + 2);
        const QLineEdit* field = frmSummary.EntryField(InputField::Correlation, 0);
        const QFontMetrics metrics(field->font());
        int digit = 0;
        for (const QChar c : QStringLiteral("0123456789")) digit = std::max(digit, metrics.horizontalAdvance(c));
        // A line edit sets its text 2 pixels inside its frame, and needs 1 more for the cursor.
        const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
        EXPECT_GE(field->width() - 2 * frame - 4, metrics.horizontalAdvance(QStringLiteral("-.")) + 6 * digit + 1);
        EXPECT_LE(frmSummary.EntryField(InputField::Correlation, test == kDeficit ? 14 : 20)->geometry().right(),
                  frmSummary.Panel1->width());
    }
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

// A dissociation without covariates, typed into the grid of two rows and run on the
// window's worker thread: its report is, to the last digit, the one the analysis writes
// in place from the same table.
TEST_F(SummaryWindow, ADissociationWithoutCovariatesReportsWhatTheAnalysisGives) {
    const SummaryEntries table{{"51.4", "33.733"}, {"4.174", "3.14"}, {"38", "32"}, {"0.7189"}};
    Click(frmSummary.RadioGroup2Items->button(static_cast<int>(kDissociation)));
    Type("30", "0", table);
    Click(frmSummary.cmdCompute);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    FakePlatform inPlace;
    inPlace.executableFolder = platform.executableFolder;
    AnalysisRequest request;
    request.nText = "30";
    request.kText = "0";
    request.test = kDissociation;
    request.source = table;
    request.decimalSeparator = QLocale::system().decimalPoint().front().toLatin1();
    const AnalysisOutcome outcome = RunAnalysis(request, inPlace);
    ASSERT_TRUE(outcome.completed);
    QStringList expected;
    for (const std::string& line : outcome.reportLines) expected.append(QString::fromStdString(line));
    EXPECT_EQ(Results().split(QLatin1Char('\n')), expected);
    EXPECT_EQ(frmTemplateResults.windowTitle().toStdString(), "Results viewer: " + expected[1].toStdString());
    EXPECT_EQ(frmSummary.windowTitle().toStdString(), expected[1].toStdString());  // as soon as k was typed
    // By hand: z = (38 - 51.4) / 4.174 and (32 - 33.733) / 3.14, their difference over
    // sqrt(2 - 2 * 0.7189) is -3.5455.
    EXPECT_TRUE(Results().contains(QStringLiteral("\n Effect size (Z-DCCC) = -3.546 (95% CI")));
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

// Once the power dialog is open: fill it and press OK.
void AnswerPowerDialog(std::function<void(TfrmPower&)> fill) {
    QTimer::singleShot(0, [fill = std::move(fill)] {
        auto* dialog = qobject_cast<TfrmPower*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
        QTest::mouseClick(dialog->buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
}

// A deficit's plan from the window's table and the dialog's n: its report in the results
// window, line for line as the plan writes it in place, and its figure in the PDF.
TEST_F(SummaryWindow, APowerPlanGoesToTheResultsWindowWithItsFigure) {
    Type("30", "1", kOneCovariate);
    AnswerPowerDialog([](TfrmPower& dialog) {
        EXPECT_EQ(dialog.txtN->text(), QStringLiteral("30"));
        dialog.txtN->setText(QStringLiteral("20, 40"));
    });
    Click(frmSummary.cmdPower);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;

    PowerRequest request;
    request.nText = "20, 40";
    request.kText = "1";
    request.entries = kOneCovariate;
    request.decimalSeparator = QLocale::system().decimalPoint().front().toLatin1();
    FakePlatform inPlace;
    const PowerOutcome outcome = RunPower(request, inPlace);
    ASSERT_TRUE(outcome.completed);
    QStringList expected;
    for (const std::string& line : outcome.reportLines) expected.append(QString::fromStdString(line));
    EXPECT_EQ(Results().split(QLatin1Char('\n')), expected);

    const QString path = folder.filePath(QStringLiteral("plan.pdf"));
    platform.saveAnswers.push_back(path.toStdString());
    frmTemplateResults.mnuSaveAsPdf->trigger();
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(PdfTextLines(path).filter(QStringLiteral("against the number of controls")).size(), 1);
}

// A long simulation cancelled from its progress dialog: no report, no message, and the
// window takes the next Compute.
TEST_F(SummaryWindow, ACancelledSimulationLeavesNoReport) {
    Click(frmSummary.RadioGroup2Items->button(static_cast<int>(kDissociation)));
    Type("30", "0", {{"51.4", "33.733"}, {"4.174", "3.14"}, {"38", "32"}, {"0.7189"}});
    AnswerPowerDialog([](TfrmPower& dialog) { dialog.txtSimulations->setText(QStringLiteral("1000000")); });
    auto* cancel = new QTimer(&frmSummary);
    QObject::connect(cancel, &QTimer::timeout, [cancel] {
        if (auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
            cancel->stop();
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        }
    });
    cancel->start(50);
    Click(frmSummary.cmdPower);
    EXPECT_FALSE(cancel->isActive());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(Results().isEmpty());
    EXPECT_FALSE(frmTemplateResults.isVisible());

    Click(frmSummary.cmdCompute);
    EXPECT_TRUE(Results().contains(QStringLiteral("Effect size (Z-DCCC)")));
}

}  // namespace
}  // namespace quorvane::testing
