#include "ui/summary_form.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <cmath>

#include "analysis/grid_paste.h"
#include "analysis/io_errors.h"
#include "analysis/metrics_papers.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "analysis/summary_statistics_file.h"
#include "export/analysis_figure.h"
#include "export/atomic_file.h"
#include "ui/general_error_handler.h"
#include "ui/long_step.h"
#include "ui/notes_memo.h"
#include "ui/paste_route.h"
#include "ui/report_font.h"
#include "ui/template_results.h"

namespace quorvane {

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 611;
// The grid: a column of variable names, three columns of statistics, then one column of
// correlations for each variable that has a variable below it.
constexpr int kGridTop = 190;
constexpr int kRowStep = 30;
constexpr int kNameLeft = 16;
constexpr int kStatisticLeft = 140;
constexpr int kStatisticStep = 82;
constexpr int kCorrelationLeft = 412;
constexpr int kCorrelationStep = 68;

const char* const kDescription =
    "QuorvaneSummary implements the methods for comparing a single case with a control "
    "sample in the presence of covariates developed by Crawford, J. R., Garthwaite, P. H., & "
    "Ryan, K. (2011), Cortex, 47, 1166-1178. It tests for a deficit in the single case, "
    "controlling for the effects of covariates, and gives point and interval estimates of the "
    "effect size and of the abnormality of the case's score.  This program takes SUMMARY "
    "statistics for the control sample as input, such as a published table of norms: enter "
    "the number of controls and the number of covariates (do NOT include the task of interest "
    "in this count), then in the grid the controls' mean and SD and the case's score for the "
    "task of interest and for each covariate, and the correlations between them (the lower "
    "triangle of the correlation matrix).  Click on \"Compute\" for the results, which can be "
    "viewed on screen, printed, or saved to file.  \"Save statistics...\" keeps the table in a "
    "file and \"Load statistics...\" opens it again, so that a table is typed only once.  The "
    "companion program, Quorvane, runs the same analysis but takes the RAW data of the "
    "control sample as its input.";

QLineEdit* MakeEntry(QWidget* parent, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(x, y, width, 26);
    edit->setFont(WindowFont(13, true));
    return edit;
}

QLabel* MakeHeading(const QString& text, QWidget* parent, int x, int y, int width) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, width, 22);
    label->setFont(WindowFont(12, true));
    return label;
}

// The number of covariates a text names, when it names a whole number from 1 to 5
// ("2.0" included, as the checks take it).
std::optional<int> CovariateCount(const std::string& text) {
    const std::optional<long double> k = ParseStatistic(text);
    if (!k || !(*k >= 1 && *k <= 5) || *k != std::trunc(*k)) return std::nullopt;
    return static_cast<int>(*k);
}

}  // namespace

TfrmSummary::TfrmSummary(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      platform_(platform) {
    setFixedSize(kClientWidth, kClientHeight);
    setFont(WindowFont(13));

    DescripFld = MakeDescriptionField(this);
    DescripFld->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // the text is always longer than the field

    Panel3 = MakeNotesPanel(this, lblComments);
    memoComments = new NotesMemo(this, QPoint(132, 118), 640);

    Panel1 = MakePanel(this, QRect(12, 157, 768, 380), QFrame::Raised);
    Label1 = new QLabel(QString::fromStdString(kLabelCaptions[0]), Panel1);
    Label1->setGeometry(16, 10, 330, 26);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtInput1 = MakeEntry(Panel1, 356, 10, 80);
    Label2 = new QLabel(QString::fromStdString(kLabelCaptions[1]), Panel1);
    Label2->setGeometry(16, 42, 330, 26);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtInput2 = MakeEntry(Panel1, 356, 42, 80);
    cmdSaveStatistics = MakeButton(QStringLiteral("Save statistics..."), Panel1, QRect(520, 8, 230, 30));
    cmdLoadStatistics = MakeButton(QStringLiteral("Load statistics..."), Panel1, QRect(520, 42, 230, 30));

    RadioGroup1Items = new QButtonGroup(this);
    RadioGroup1 = MakeLimitGroup(Panel1, QRect(16, 78, 736, 56), RadioGroup1Items);

    lblGrid = MakeHeading(QStringLiteral("Control sample: means, SDs and correlations (lower triangle); "
                                         "scores for the case:"),
                          Panel1, kNameLeft, 140, 736);
    MakeHeading(QStringLiteral("Mean"), Panel1, kStatisticLeft, 164, 76);
    MakeHeading(QStringLiteral("SD"), Panel1, kStatisticLeft + kStatisticStep, 164, 76);
    MakeHeading(QStringLiteral("Case's score"), Panel1, kStatisticLeft + 2 * kStatisticStep, 164, 90);
    for (int v = 0; v < kMaxVariables; ++v) {
        const int y = kGridTop + kRowStep * v;
        lblVariable[v] = new QLabel(QString::fromStdString(VariableName(v + 1)), Panel1);
        lblVariable[v]->setGeometry(kNameLeft, y, 120, 26);
        txtMean[v] = MakeEntry(Panel1, kStatisticLeft, y, 76);
        txtSD[v] = MakeEntry(Panel1, kStatisticLeft + kStatisticStep, y, 76);
        txtCase[v] = MakeEntry(Panel1, kStatisticLeft + 2 * kStatisticStep, y, 76);
        for (int c = 0; c < v; ++c)
            txtCorrelation[v][c] = MakeEntry(Panel1, kCorrelationLeft + kCorrelationStep * c, y, 64);
    }
    for (int c = 0; c < kMaxVariables - 1; ++c)
        lblCorrelation[c] = MakeHeading(c == 0 ? QStringLiteral("r: Task") : QStringLiteral("r: Cov %1").arg(c),
                                        Panel1, kCorrelationLeft + kCorrelationStep * c, 164, 64);

    pan1 = MakePanel(this, QRect(12, 545, 768, 56), QFrame::Sunken);
    cmdCompute = MakeButton(QStringLiteral("Compute"), pan1, QRect(36, 11, 180, 34));
    btnclearData = MakeButton(QStringLiteral("Clear Data "), pan1, QRect(294, 11, 180, 34));
    ExitBtn = MakeButton(QStringLiteral("Exit"), pan1, QRect(552, 11, 180, 34));

    // Tab goes through the counts, then the grid row by row, as the checks do.
    QWidget* previous = txtInput1;
    auto chain = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    chain(txtInput2);
    for (int v = 0; v < kMaxVariables; ++v) {
        chain(txtMean[v]);
        chain(txtSD[v]);
        chain(txtCase[v]);
        for (int c = 0; c < v; ++c) chain(txtCorrelation[v][c]);
    }
    for (QWidget* next : std::initializer_list<QWidget*>{
             RadioGroup1Items->button(0), RadioGroup1Items->button(1), RadioGroup1Items->button(2), memoComments,
             cmdCompute, btnclearData, ExitBtn, cmdSaveStatistics, cmdLoadStatistics})
        chain(next);

    auto* pastes = new PasteRoute(this, [this](QLineEdit* edit, const QString& text) { GridPaste(edit, text); });
    for (int v = 0; v < kMaxVariables; ++v)
        for (QLineEdit* cell : RowCells(v)) pastes->Watch(cell);

    connect(txtInput2, &QLineEdit::textChanged, this, &TfrmSummary::txtInput2Change);
    connect(cmdCompute, &QPushButton::clicked, this, &TfrmSummary::cmdComputeClick);
    connect(btnclearData, &QPushButton::clicked, this, &TfrmSummary::btnclearDataClick);
    connect(ExitBtn, &QPushButton::clicked, this, &TfrmSummary::ExitBtnClick);
    connect(cmdSaveStatistics, &QPushButton::clicked, this, &TfrmSummary::cmdSaveStatisticsClick);
    connect(cmdLoadStatistics, &QPushButton::clicked, this, &TfrmSummary::cmdLoadStatisticsClick);

    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());

    statisticsDialog_.filter = "Statistics files|*.txt";
    statisticsDialog_.defaultName = "statistics.txt";
    statisticsDialog_.overwritePrompt = true;
    FormCreate();
}

void TfrmSummary::FormCreate() {
    setWindowTitle(QString::fromStdString(SummaryProgramTitle));
    DescripFld->setPlainText(QString::fromUtf8(kDescription));
    SetGridCovariates(1);
}

void TfrmSummary::SetGridCovariates(int k) {
    gridCovariates_ = k;
    for (int v = 0; v < kMaxVariables; ++v) {
        const bool shown = v <= k;
        lblVariable[v]->setVisible(shown);
        for (QLineEdit* cell : RowCells(v)) cell->setVisible(shown);
    }
    for (int c = 0; c < kMaxVariables - 1; ++c) lblCorrelation[c]->setVisible(c < k);
}

void TfrmSummary::txtInput2Change() {
    // An unfinished or wrong count leaves the grid as it is; Compute names the fault.
    if (const std::optional<int> k = CovariateCount(txtInput2->text().toStdString())) SetGridCovariates(*k);
}

int TfrmSummary::RadioGroup1ItemIndex() const { return RadioGroup1Items->checkedId(); }

void TfrmSummary::SetRadioGroup1ItemIndex(int index) {
    if (QAbstractButton* item = RadioGroup1Items->button(index)) item->setChecked(true);
}

QLineEdit* TfrmSummary::EntryField(SummaryField field, int index) const {
    switch (field) {
        case SummaryField::N: return txtInput1;
        case SummaryField::K: return txtInput2;
        case SummaryField::Mean: return txtMean[index];
        case SummaryField::SD: return txtSD[index];
        case SummaryField::CaseScore: return txtCase[index];
        case SummaryField::Correlation:
            for (int v = 1; v < kMaxVariables; ++v)
                for (int c = 0; c < v; ++c)
                    if (CorrelationIndex(v + 1, c + 1) == index) return txtCorrelation[v][c];
            break;
        case SummaryField::None: break;
    }
    return nullptr;
}

std::vector<QLineEdit*> TfrmSummary::RowCells(int variable) const {
    std::vector<QLineEdit*> cells{txtMean[variable], txtSD[variable], txtCase[variable]};
    for (int c = 0; c < variable; ++c) cells.push_back(txtCorrelation[variable][c]);
    return cells;
}

void TfrmSummary::GridPaste(QLineEdit* edit, const QString& text) {
    RunUserAction(platform_, [&] {
        const std::vector<std::vector<std::string>> cells = PastedCells(text.toStdString());
        // One number is pasted where the cursor is, as into any field.
        if (cells.size() <= 1 && (cells.empty() || cells[0].size() <= 1)) {
            edit->insert(cells.empty() || cells[0].empty() ? QString() : QString::fromStdString(cells[0][0]));
            return;
        }
        std::vector<int> rowLengths;
        int row = 0;
        int column = 0;
        for (int v = 0; v <= gridCovariates_; ++v) {
            const std::vector<QLineEdit*> rowCells = RowCells(v);
            rowLengths.push_back(static_cast<int>(rowCells.size()));
            const auto at = std::find(rowCells.begin(), rowCells.end(), edit);
            if (at != rowCells.end()) row = v, column = static_cast<int>(at - rowCells.begin());
        }
        const auto placed = PlacePastedCells(cells, row, column, rowLengths, platform_);
        if (!placed) return;
        for (const GridCell& cell : *placed)
            RowCells(cell.row)[cell.column]->setText(QString::fromStdString(cell.text));
    });
}

MainWindowState TfrmSummary::CurrentState() const {
    MainWindowState state;
    state.fieldTexts[0] = txtInput1->text().toStdString();
    state.fieldTexts[1] = txtInput2->text().toStdString();
    state.labelCaptions[0] = Label1->text().toStdString();
    state.labelCaptions[1] = Label2->text().toStdString();
    state.limitIndex = RadioGroup1ItemIndex();
    for (const QString& line : memoComments->NotesLines()) state.notesLines.push_back(line.toStdString());
    state.notesCaption = lblComments->text().toStdString();
    state.resultsHoldText = results_ != nullptr && results_->HoldsText();
    state.decimalSeparator = SystemDecimalSeparator();
    return state;
}

SummaryEntries TfrmSummary::CurrentEntries() const {
    SummaryEntries entries;
    auto text = [](const QLineEdit* edit) { return edit->text().trimmed().toStdString(); };
    for (int v = 0; v <= gridCovariates_; ++v) {
        entries.means.push_back(text(txtMean[v]));
        entries.sds.push_back(text(txtSD[v]));
        entries.caseScores.push_back(text(txtCase[v]));
        for (int c = 0; c < v; ++c) entries.correlations.push_back(text(txtCorrelation[v][c]));
    }
    return entries;
}

void TfrmSummary::FocusEntry(const SummaryFocus& focus) {
    if (QLineEdit* field = EntryField(focus.field, focus.index)) field->setFocus();
}

void TfrmSummary::KeepStatisticsFile(const std::string& path) {
    if (results_) results_->KeepInputFile({path, kStatisticsFile});
}

void TfrmSummary::cmdComputeClick() {
    RunUserAction(platform_, [this] {
        const MainWindowState state = CurrentState();
        ComputeOptions options;
        // As in the raw program: the windows paint during the engine's run and ignore input.
        options.runLongStep = RunLongStepWithInputIgnored;
        const SummaryOutcome outcome = RunSummaryCompute(state, CurrentEntries(), platform_, options);
        if (!outcome.completed) {
            FocusEntry(outcome.focus);
            return;
        }
        if (!results_) return;
        const UserInputIgnored ignored;
        results_->ShowReport(SummaryProgramTitle, outcome.reportLines,
                             FigureInputOf(outcome.facts, state.decimalSeparator));
    });
}

void TfrmSummary::cmdSaveStatisticsClick() {
    RunUserAction(platform_, [this] {
        // Only a table that Compute would take is worth keeping.
        SummaryFocus focus;
        const SummaryEntries entries = CurrentEntries();
        const std::optional<CheckedSummary> checked = CheckSummaryInputs(CurrentState(), entries, platform_, focus);
        if (!checked) {
            FocusEntry(focus);
            return;
        }
        const auto path = platform_.AskSaveFileName(statisticsDialog_);
        if (!path) return;  // cancelled: nothing written
        statisticsDialog_.defaultName = *path;
        KeepStatisticsFile(*path);
        // The checked counts, not the typed ones ("1 000"), which the file format refuses.
        const StatisticsTable table{std::to_string(checked->n), std::to_string(checked->k), entries};
        WriteFileAtomically(*path, QByteArray::fromStdString(FormatStatisticsFile(table)),
                            "The statistics cannot be saved to " + Quoted(*path));
    });
}

void TfrmSummary::cmdLoadStatisticsClick() {
    RunUserAction(platform_, [this] {
        FileDialogOptions options = statisticsDialog_;
        options.overwritePrompt = false;
        options.fileMustExist = true;
        const auto path = platform_.AskOpenFileName(options);
        if (!path) return;
        // Read whole before anything is shown: a damaged file leaves the grid as it was.
        const StatisticsTable table = ReadStatisticsFile(*path);
        statisticsDialog_.defaultName = *path;
        KeepStatisticsFile(*path);
        txtInput1->setText(QString::fromStdString(table.n));
        txtInput2->setText(QString::fromStdString(table.k));
        // The file's lists have k + 1 entries whatever the grid showed: size it from k.
        SetGridCovariates(CovariateCount(table.k).value_or(0));
        const SummaryEntries& e = table.entries;
        // The rows beyond the file's k are emptied: a larger k typed afterwards must not
        // bring back the previous table's values beside the file's.
        for (int v = 0; v < kMaxVariables; ++v) {
            const bool inFile = v <= gridCovariates_;
            const auto entry = [inFile](const std::vector<std::string>& list, int index) {
                return inFile ? QString::fromStdString(list[index]) : QString();
            };
            txtMean[v]->setText(entry(e.means, v));
            txtSD[v]->setText(entry(e.sds, v));
            txtCase[v]->setText(entry(e.caseScores, v));
            for (int c = 0; c < v; ++c)
                txtCorrelation[v][c]->setText(entry(e.correlations, CorrelationIndex(v + 1, c + 1)));
        }
        txtInput1->setFocus();
    });
}

void TfrmSummary::btnclearDataClick() {
    RunUserAction(platform_, [this] {
        for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->clear();
        memoComments->clear();
        DeleteSavedInputs(platform_, SummaryInputsFileName);
        txtInput1->setFocus();
    });
}

void TfrmSummary::ExitBtnClick() {
    RunUserAction(platform_, [this] {
        if (ConfirmExit(platform_)) emit programEndRequested();
    });
}

void TfrmSummary::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    RunUserAction(platform_, [this] {
        if (txtInput1->text().isEmpty())
            txtInput1->setFocus();
        else
            platform_.BringToFront();
    });
}

void TfrmSummary::closeEvent(QCloseEvent* event) {
    event->accept();
    emit programEndRequested();
}

}  // namespace quorvane
