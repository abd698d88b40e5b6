#include "ui/template_form.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <optional>

#include "analysis/analysis_run.h"
#include "analysis/program_texts.h"
#include "analysis/input_checks.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "analysis/summary_run.h"
#include "ui/build_date.h"
#include "ui/general_error_handler.h"
#include "ui/long_step.h"
#include "ui/notes_memo.h"
#include "ui/paste_route.h"
#include "ui/window_parts.h"
#include "ui/template_results.h"

namespace quorvane {

namespace {

constexpr int kClientHeight = 573;
// A longer description needs a scroll bar in its 94-pixel field.
constexpr int kDescriptionFitLength = 550;

const char* const kDescriptionCitation =
    "Quorvane implements the methods for comparing a single case with a control "
    "sample in the presence of covariates developed by Crawford, J. R., Garthwaite, "
    "P. H., & Ryan, K. (2011), Cortex, 47, 1166-1178.";
const char* const kDescriptionPurpose =
    "The program tests for a deficit in the single case, controlling for the effects "
    "of covariates. For example, it could be used to test whether a case's score on "
    "a task is significantly lower than the scores of controls when controlling for "
    "years of education.  Under the null hypothesis the case's score, conditioned on "
    "the covariate(s), is an observation from the distribution of conditional scores "
    "in the control population.  The program provides (a) a significance test, (b) "
    "point and interval estimates of the effect size for the difference between the "
    "case and controls, and (c) point and interval estimates of the abnormality of "
    "the case's score (i.e., it estimates the percentage of controls that would "
    "exhibit a more extreme conditional score).  It also tests for a dissociation "
    "between two tasks (choose \"Dissociation (two tasks)\"): whether the standardised "
    "difference between the case's conditional scores on the two tasks is larger than "
    "controls show, together with the test for a deficit on each task.  This program "
    "takes RAW data for the control sample on the task of interest (or the two tasks of "
    "a dissociation) and any covariates as input.";
const char* const kDescriptionCompanion =
    "A companion program, QuorvaneSummary, runs the same analysis but takes SUMMARY "
    "statistics for the controls (means, SDs and correlations) as its inputs.";
const char* const kDescriptionUse =
    "To use the program you need to first prepare a text file containing the raw "
    "data.  This file should be a PLAIN text file (e.g., a notepad file) with the "
    "data in columns. Separate each column with a single space (not a comma or tab "
    "etc). The first column should contain the raw data for the task of interest, "
    "the second column the first covariate, etc.  Thus, if you only have one "
    "covariate, there will only be two columns.  For a dissociation the first column "
    "should contain the raw data for task 1, the second column task 2, and the "
    "covariates follow, so that one covariate makes three columns.  With no covariate "
    "(a number of covariates of 0) the file holds the task's column alone, or the two "
    "tasks' columns, and the tests are those without covariates: for a deficit, the "
    "Bayesian test whose p equals that of the classical t-test for a single case.  "
    "The first n rows "
    "of the data file should contain the raw data for the n controls. The LAST "
    "(i.e., n + 1th) row should contain the raw data for the case.  To run the "
    "program enter the number of controls and the number of covariates (do NOT "
    "include the task of interest, or the two tasks of a dissociation, in this "
    "count) into their respective fields and click on \"Compute\".  You will then be "
    "prompted to load the file containing the raw data (the raw data as read from "
    "the file are reproduced in the output so that users can check its integrity).  "
    "The methods are computationally intensive, so there will be a delay (typically "
    "less than 30 seconds) before the results are displayed. The results can be "
    "viewed on screen, printed, or saved to file.  "
    "To compare a series of cases with the same controls, enter their number in \"Number of "
    "cases (m)\": the m rows after the n controls are then the cases, each analysed as it would "
    "be alone, and the report ends with a table of all of them.  ( Current version "
    "of program: " QUORVANE_VERSION ", built on " QUORVANE_BUILD_DATE " ).";

QString DescriptionText() {
    return QString::fromUtf8(kDescriptionCitation) + QStringLiteral("   ") +
           QString::fromUtf8(kDescriptionPurpose) + QStringLiteral(" ") +
           QString::fromUtf8(kDescriptionCompanion) + QStringLiteral("  ") +
           QString::fromUtf8(kDescriptionUse);
}

// The edit's own editing keys, as its context menu offers them; the Paste keys are
// checked apart, as a paste.
bool IsEditingKey(const QKeyEvent& event) {
    for (const auto key : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Undo,
                           QKeySequence::Redo})
        if (event.matches(key)) return true;
    return false;
}

// The character a key press types, as the typing filter sees it; nothing for keys that
// type none (arrows, Delete, function keys, Tab navigation, Alt chords, editing keys).
std::optional<char> TypedCharacter(const QKeyEvent& event) {
    if (IsEditingKey(event)) return std::nullopt;
    switch (event.key()) {
        case Qt::Key_Backspace: return '\b';
        case Qt::Key_Return:
        case Qt::Key_Enter: return '\r';
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete: return std::nullopt;
        default: break;
    }
    if (event.modifiers() & Qt::AltModifier) return std::nullopt;
    // Ctrl+letter types a control character (Ctrl+V is 22), whatever text Qt attaches.
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return static_cast<char>(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    if (text.isEmpty()) return std::nullopt;
    const char16_t code = text.front().unicode();
    return code < 0x80 ? static_cast<char>(code) : '?';  // beyond ASCII: never numeric
}

}  // namespace

TfrmTemplate::TfrmTemplate(Platform& platform, QWidget* parent) : MainForm(platform, parent, kClientHeight) {
    connect(DescripFld, &QPlainTextEdit::textChanged, this, &TfrmTemplate::DescripFldChange);

    Panel1 = MakePanel(this, QRect(12, 157, 768, 342), QFrame::Raised);

    RadioGroup1Items = new QButtonGroup(this);
    RadioGroup1 = MakeLimitGroup(Panel1, QRect(16, 100, 736, 60), RadioGroup1Items);
    // Above RadioGroup1, below the 31 pixels at the top of the panel that the notes
    // field grows over.
    RadioGroup2Items = new QButtonGroup(this);
    RadioGroup2 = MakeTestGroup(Panel1, QRect(16, 36, 736, 60), RadioGroup2Items, ItemFlow::Across);
    connect(RadioGroup2Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup2Click();
    });

    std::array<QLabel*, kInputFieldCount> labels{};
    std::array<QLineEdit*, kInputFieldCount> inputs{};
    for (int i = 0; i < kInputFieldCount; ++i) {
        const int y = 196 + 40 * i;  // only the first three rows are ever shown
        labels[i] = new QLabel(Panel1);
        labels[i]->setGeometry(16, y, 664, 26);
        labels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        inputs[i] = new QLineEdit(Panel1);
        inputs[i]->setGeometry(692, y, 56, 26);
        inputs[i]->setFont(WindowFont(13, true));
        inputs[i]->installEventFilter(this);
    }
    // After the typing filter, so that a paste is checked before the filter sees its keys.
    auto* pastes = new PasteRoute(this, [this](QLineEdit* edit, const QString& text) { txtInputPaste(edit, text); });
    for (QLineEdit* edit : inputs) pastes->Watch(edit);
    Label1 = labels[0], Label2 = labels[1], Label3 = labels[2], Label4 = labels[3];
    Label5 = labels[4], Label6 = labels[5], Label7 = labels[6], Label8 = labels[7];
    txtInput1 = inputs[0], txtInput2 = inputs[1], txtInput3 = inputs[2], txtInput4 = inputs[3];
    txtInput5 = inputs[4], txtInput6 = inputs[5], txtInput7 = inputs[6], txtinput8 = inputs[7];

    // A child of the window, not of Panel3, so that it can grow over the input panel.
    memoComments = new NotesMemo(this, QPoint(132, 118), 640);

    MakeButtonBar(507);

    setTabOrder(txtInput1, txtInput2);
    setTabOrder(txtInput2, txtInput3);
    setTabOrder(txtInput3, RadioGroup2Items->button(0));
    setTabOrder(RadioGroup2Items->button(0), RadioGroup2Items->button(1));
    setTabOrder(RadioGroup2Items->button(1), RadioGroup1Items->button(0));
    setTabOrder(RadioGroup1Items->button(0), RadioGroup1Items->button(1));
    setTabOrder(RadioGroup1Items->button(1), RadioGroup1Items->button(2));
    setTabOrder(RadioGroup1Items->button(2), memoComments);
    setTabOrder(memoComments, cmdCompute);
    setTabOrder(cmdCompute, btnclearData);
    setTabOrder(btnclearData, ExitBtn);

    connect(txtInput2, &QLineEdit::textChanged, this, &TfrmTemplate::RadioGroup2Click);

    FormCreate();
}

void TfrmTemplate::FormCreate() {
    memoComments->clear();
    ClearInputs();
    setWindowTitle(QString::fromStdString(ProgramTitle));
    DescripFld->setPlainText(DescriptionText());
    const auto labels = Labels();
    for (int i = 0; i < kInputFieldCount; ++i) labels[i]->setText(QString::fromStdString(kLabelCaptions[i]));
    LoadPreviousData();
}

void TfrmTemplate::LoadPreviousData() {
    // Three input fields in this program; the saved inputs file is never read back.
    const auto labels = Labels();
    const auto inputs = Inputs();
    for (int i = 0; i < kInputFieldCount; ++i) {
        labels[i]->setVisible(i < 3);
        inputs[i]->setVisible(i < 3);
    }
}

void TfrmTemplate::ClearInputs() {
    for (QLineEdit* edit : Inputs()) edit->clear();
    txtInput3->setText(QStringLiteral("1"));  // one case unless a series is asked for
}

void TfrmTemplate::RadioGroup2Click() {
    // Until a valid k is typed the title names covariates, as the report does for k > 0.
    const int k = TypedCovariateCount(txtInput2->text().toStdString()).value_or(1);
    setWindowTitle(QString::fromStdString(ReportTitle(static_cast<AnalysisTest>(RadioGroup2ItemIndex()), false, k)));
}

void TfrmTemplate::DescripFldChange() {
    DescripFld->setVerticalScrollBarPolicy(DescripFld->toPlainText().size() > kDescriptionFitLength
                                               ? Qt::ScrollBarAlwaysOn
                                               : Qt::ScrollBarAlwaysOff);
}

std::array<QLineEdit*, kInputFieldCount> TfrmTemplate::Inputs() const {
    return {txtInput1, txtInput2, txtInput3, txtInput4, txtInput5, txtInput6, txtInput7, txtinput8};
}

std::array<QLabel*, kInputFieldCount> TfrmTemplate::Labels() const {
    return {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8};
}

AnalysisRequest TfrmTemplate::CurrentRequest() const {
    AnalysisRequest request = RequestOfCommonInputs();
    request.mText = txtInput3->text().toStdString();
    request.source = RawDataFile{};  // chosen in the open dialog
    return request;
}

void TfrmTemplate::cmdComputeClick() {
    RunUserAction(platform_, [this] {
        const AnalysisRequest request = CurrentRequest();
        ComputeOptions options;
        // The windows keep painting during the engine's run, and a click made meanwhile
        // must not start a second run or clear the inputs once it ends.
        options.runLongStep = RunLongStepWithInputIgnored;
        const AnalysisOutcome outcome = RunAnalysis(request, computePlatform_, options);
        if (!outcome.completed) {
            if (outcome.focus.field == InputField::N) txtInput1->setFocus();
            if (outcome.focus.field == InputField::K) txtInput2->setFocus();
            if (outcome.focus.field == InputField::M) txtInput3->setFocus();
            return;
        }
        if (!results_) return;
        // Showing a long report takes a moment, during which the main window is still
        // on the screen: a click on it then must not start another run once it is hidden.
        const UserInputIgnored ignored;
        // Captioned as the report is titled: "without covariates" when k = 0.
        results_->ShowReport(ReportTitle(outcome.facts.test, false, outcome.facts.k), outcome.reportLines,
                             FigureInputOf(outcome.facts, request.decimalSeparator));
        results_->KeepInputFile({outcome.facts.dataFileName, kDataFile});
    });
}

void TfrmTemplate::btnclearDataClick() {
    RunUserAction(platform_, [this] {
        ClearInputs();
        memoComments->clear();
        DeleteSavedInputs(platform_);
        txtInput1->setFocus();
    });
}

bool TfrmTemplate::txtInputKeyPress(QLineEdit* edit, const QKeyEvent& event) {
    if (IsUnboundRedo(event)) {
        edit->redo();
        return true;
    }
    const std::optional<char> typed = TypedCharacter(event);
    if (!typed) return false;
    std::optional<char> accepted;
    RunUserAction(platform_, [&] { accepted = FilterNumericKey(*typed, platform_); });
    if (!accepted) return true;                // refused: nothing is inserted
    if (*accepted == *typed) return false;     // the edit handles the key itself
    edit->insert(QString(QChar(*accepted)));  // a comma typed as a full stop
    return true;
}

void TfrmTemplate::txtInputPaste(QLineEdit* edit, const QString& text) {
    std::optional<std::string> accepted;
    RunUserAction(platform_, [&] { accepted = FilterPastedText(text.toStdString(), platform_); });
    if (!accepted) return;  // refused: nothing is inserted
    edit->insert(QString::fromStdString(*accepted));
    txtInputKeyUp(edit);  // the length limit, which a paste from the menu has no key release to apply
}

void TfrmTemplate::txtInputKeyUp(QLineEdit* edit) {
    RunUserAction(platform_, [&] {
        const std::optional<std::string> cut = ApplyLengthLimit(edit->text().toStdString(), platform_);
        if (!cut) return;
        edit->setText(QString::fromStdString(*cut));
        edit->selectAll();
    });
}

bool TfrmTemplate::eventFilter(QObject* watched, QEvent* event) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
        if (event->type() == QEvent::KeyPress) return txtInputKeyPress(edit, *static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::KeyRelease) txtInputKeyUp(edit);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quorvane
