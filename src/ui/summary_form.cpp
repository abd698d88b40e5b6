#include "ui/summary_form.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "analysis/analysis_run.h"
#include "analysis/grid_paste.h"
#include "analysis/power_report.h"
#include "io/io_errors.h"
#include "analysis/program_texts.h"
#include "analysis/results_report.h"
#include "analysis/saved_inputs.h"
#include "analysis/summary_statistics_file.h"
#include "io/text_input.h"
#include "export/analysis_figure.h"
#include "export/qt_atomic_file.h"
#include "ui/general_error_handler.h"
#include "ui/long_step.h"
#include "ui/notes_memo.h"
#include "ui/paste_route.h"
#include "ui/power_dialog.h"
#include "ui/window_parts.h"
#include "ui/template_results.h"

namespace quorvane {

namespace {

constexpr int kClientHeight = 611;

// Where the grid's fields go: a column of variable names, three columns of statistics,
// then one column of correlations for each variable that has a variable below it; one
// row a variable, from kGridTop.
struct GridGeometry {
    int rowStep, fieldHeight;
    int statisticLeft, statisticStep, statisticWidth;
    int correlationLeft, correlationStep, correlationWidth;
};
constexpr int kGridTop = 190;
constexpr int kHeadingTop = 164;
constexpr int kNameLeft = 16;
// A correlation field shows a correlation to five decimals whole, sign included
// ("-0.54427"), in the fields' bold 13-pixel face.
constexpr GridGeometry kWideGrid{30, 26, 122, 80, 76, 376, 76, 73};
// Seven variables, a dissociation's with five covariates, fit the panel only closer.
constexpr GridGeometry kCloseGrid{26, 24, 94, 65, 62, 314, 74, 72};
constexpr int kWideGridRows = 6;

const char* const kDescription =
    "QuorvaneSummary implements the methods for comparing a single case with a control "
    "sample in the presence of covariates developed by Crawford, J. R., Garthwaite, P. H., & "
    "Ryan, K. (2011), Cortex, 47, 1166-1178. It tests for a deficit in the single case, "
    "controlling for the effects of covariates, and gives point and interval estimates of "
    "the effect size and of the abnormality of the case's score; with \"Dissociation (two "
    "tasks)\" chosen, it tests for a dissociation between two tasks, together with the test "
    "for a deficit on each task.  This program takes SUMMARY statistics for the control "
    "sample as input, such as a published table of norms: enter the number of controls and "
    "the number of covariates (do NOT include the task of interest, or the two tasks of a "
    "dissociation, in this count), then in the grid the controls' mean and SD and the "
    "case's score for the task of interest and "
    "for each covariate, and the correlations between them (the lower triangle of the "
    "correlation matrix).  For a dissociation the grid has a row for task 1 and a row for "
    "task 2 before the covariates.  With no covariate (0) the grid holds the task's row "
    "alone, or the two tasks' rows and their correlation, and the tests are those without "
    "covariates.  Click on \"Compute\" for the results, which can be "
    "viewed on screen, printed, or saved to file.  \"Save statistics...\" keeps the table in "
    "a file and \"Load statistics...\" opens it again, so that a table is typed only once.  "
    "The companion program, Quorvane, runs the same analysis but takes the RAW data of the "
    "control sample as its input.";

// An entry of the counts, or of the grid, which ArrangeGrid places.
QLineEdit* MakeEntry(QWidget* parent, int x = 0, int y = 0, int width = 0) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(x, y, width, 26);
    edit->setFont(WindowFont(13, true));
    return edit;
}

QLabel* MakeHeading(const QString& text, QWidget* parent, int x = 0, int y = kHeadingTop, int width = 0) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, width, 22);
    label->setFont(WindowFont(12, true));
    return label;
}

}  // namespace

TfrmSummary::TfrmSummary(Platform& platform, QWidget* parent) : MainForm(platform, parent, kClientHeight) {
    DescripFld->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // the text is always longer than the field
    memoComments = new NotesMemo(this, QPoint(132, 118), 640);

    Panel1 = MakePanel(this, QRect(12, 157, 768, 380), QFrame::Raised);
    // The analysis first, its items one below the other beside the counts: the row below
    // is RadioGroup1's, and the grid's rows fill the rest of the panel.
    RadioGroup2Items = new QButtonGroup(this);
    RadioGroup2 = MakeTestGroup(Panel1, QRect(16, 2, 204, 72), RadioGroup2Items, ItemFlow::Down);
    Label1 = new QLabel(QString::fromStdString(kLabelCaptions[0]), Panel1);
    Label1->setGeometry(228, 10, 234, 26);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtInput1 = MakeEntry(Panel1, 470, 10, 80);
    Label2 = new QLabel(QString::fromStdString(kLabelCaptions[1]), Panel1);
    Label2->setGeometry(228, 42, 234, 26);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtInput2 = MakeEntry(Panel1, 470, 42, 80);
    cmdSaveStatistics = MakeButton(QStringLiteral("Save statistics..."), Panel1, QRect(558, 8, 192, 30));
    cmdLoadStatistics = MakeButton(QStringLiteral("Load statistics..."), Panel1, QRect(558, 42, 192, 30));

    RadioGroup1Items = new QButtonGroup(this);
    RadioGroup1 = MakeLimitGroup(Panel1, QRect(16, 78, 736, 56), RadioGroup1Items);

    lblGrid = MakeHeading(QString(), Panel1, kNameLeft, 140, 736);  // its text follows the grid (ArrangeGrid)
    lblStatistic = {MakeHeading(QStringLiteral("Mean"), Panel1), MakeHeading(QStringLiteral("SD"), Panel1),
                    MakeHeading(QStringLiteral("Case's score"), Panel1)};
    for (int v = 0; v < kGridVariables; ++v) {
        lblVariable[v] = new QLabel(QString::fromStdString(VariableName(v + 1, AnalysisTest::Dissociation)), Panel1);
        txtMean[v] = MakeEntry(Panel1);
        txtSD[v] = MakeEntry(Panel1);
        txtCase[v] = MakeEntry(Panel1);
        for (int c = 0; c < v; ++c) txtCorrelation[v][c] = MakeEntry(Panel1);
    }
    auto* pastes = new PasteRoute(this, [this](QLineEdit* edit, const QString& text) { GridPaste(edit, text); });
    for (QLineEdit* field : GridFields()) {
        pastes->Watch(field);
        field->installEventFilter(this);
    }
    txtInput1->installEventFilter(this);
    txtInput2->installEventFilter(this);
    // The heading of the first task's column follows the analysis (ArrangeGrid).
    for (int c = 0; c < kGridVariables - 1; ++c)
        lblCorrelation[c] = MakeHeading(c == 1 ? QStringLiteral("r: Task 2") : QStringLiteral("r: Cov %1").arg(c - 1),
                                        Panel1);

    MakeButtonBar(545);
    // The plan's button beside Compute: both act on the table.
    cmdPower = MakeButton(QStringLiteral("Power and sample size..."), pan1, QRect(197, 11, 200, 34));
    cmdCompute->setGeometry(24, 11, 150, 34);
    btnclearData->setGeometry(420, 11, 150, 34);
    ExitBtn->setGeometry(593, 11, 150, 34);
    connect(cmdPower, &QPushButton::clicked, this, &TfrmSummary::cmdPowerClick);

    connect(RadioGroup2Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup2Click();
    });
    connect(txtInput2, &QLineEdit::textChanged, this, &TfrmSummary::txtInput2Change);
    connect(cmdSaveStatistics, &QPushButton::clicked, this, &TfrmSummary::cmdSaveStatisticsClick);
    connect(cmdLoadStatistics, &QPushButton::clicked, this, &TfrmSummary::cmdLoadStatisticsClick);

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
    ArrangeGrid();
}

void TfrmSummary::ArrangeGrid() {
    const AnalysisTest test = GridTest();
    const int rows = GridRows();
    const GridGeometry& g = rows > kWideGridRows ? kCloseGrid : kWideGrid;
    // A deficit without covariates has a single row, and no correlation to type.
    lblGrid->setText(rows > 1 ? QStringLiteral("Control sample: means, SDs and correlations (lower triangle); "
                                               "scores for the case:")
                              : QStringLiteral("Control sample: means and SDs; scores for the case:"));
    lblVariable[0]->setText(QString::fromStdString(VariableName(1, test)));
    lblCorrelation[0]->setText(test == AnalysisTest::Deficit ? QStringLiteral("r: Task") : QStringLiteral("r: Task 1"));
    for (int i = 0; i < 3; ++i) {
        const int x = g.statisticLeft + g.statisticStep * i;
        lblStatistic[i]->setGeometry(x, kHeadingTop, i < 2 ? g.statisticWidth : g.correlationLeft - x, 22);
    }
    // Each grid variable's row in the grid, -1 when it is not shown.
    std::array<int, kGridVariables> rowOf{};
    rowOf.fill(-1);
    for (int row = 0; row < rows; ++row) rowOf[GridVariable(row)] = row;
    for (int v = 0; v < kGridVariables; ++v) {
        const bool shown = rowOf[v] >= 0;
        const int y = kGridTop + g.rowStep * std::max(rowOf[v], 0);
        lblVariable[v]->setGeometry(kNameLeft, y, g.statisticLeft - kNameLeft, g.fieldHeight);
        lblVariable[v]->setVisible(shown);
        const std::array<QLineEdit*, 3> statistics{txtMean[v], txtSD[v], txtCase[v]};
        for (int i = 0; i < 3; ++i) {
            statistics[i]->setGeometry(g.statisticLeft + g.statisticStep * i, y, g.statisticWidth, g.fieldHeight);
            statistics[i]->setVisible(shown);
        }
        for (int c = 0; c < v; ++c) {
            const int x = g.correlationLeft + g.correlationStep * std::max(rowOf[c], 0);
            txtCorrelation[v][c]->setGeometry(x, y, g.correlationWidth, g.fieldHeight);
            txtCorrelation[v][c]->setVisible(shown && rowOf[c] >= 0);
        }
        if (v < kGridVariables - 1) {
            const int x = g.correlationLeft + g.correlationStep * std::max(rowOf[v], 0);
            lblCorrelation[v]->setGeometry(x, kHeadingTop, g.correlationWidth, 22);
            lblCorrelation[v]->setVisible(shown && rowOf[v] < rows - 1);
        }
    }

    // Tab goes through the counts, then the grid row by row, as the checks do.
    QWidget* previous = txtInput1;
    const auto chain = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    chain(txtInput2);
    for (int row = 0; row < rows; ++row)
        for (QLineEdit* cell : RowCells(row)) chain(cell);
    for (QWidget* next : std::initializer_list<QWidget*>{
             RadioGroup2Items->button(0), RadioGroup2Items->button(1), RadioGroup1Items->button(0),
             RadioGroup1Items->button(1), RadioGroup1Items->button(2), memoComments, cmdCompute, cmdPower, btnclearData,
             ExitBtn, cmdSaveStatistics, cmdLoadStatistics})
        chain(next);
}

void TfrmSummary::txtInput2Change() {
    // An unfinished or wrong count leaves the grid as it is; Compute names the fault.
    const std::optional<int> k = TypedCovariateCount(txtInput2->text().toStdString());
    if (k) SetGridCovariates(*k);
    ShowTitle(k);
}

void TfrmSummary::RadioGroup2Click() {
    ArrangeGrid();
    ShowTitle(TypedCovariateCount(txtInput2->text().toStdString()));
}

void TfrmSummary::ShowTitle(std::optional<int> k) {
    // Until a valid k is typed the title names covariates, as the report does for k > 0.
    setWindowTitle(QString::fromStdString(ReportTitle(GridTest(), true, k.value_or(1))));
}

AnalysisTest TfrmSummary::GridTest() const { return static_cast<AnalysisTest>(RadioGroup2ItemIndex()); }

int TfrmSummary::GridVariable(int variable) const {
    // A deficit's covariates follow the task of interest, past the row of task 2.
    return GridTest() == AnalysisTest::Deficit && variable > 0 ? variable + 1 : variable;
}

int TfrmSummary::GridRows() const { return gridCovariates_ + TaskCount(GridTest()); }

QLineEdit* TfrmSummary::EntryField(InputField field, int index) const {
    const int variables = kMaxCovariates + TaskCount(GridTest());
    const bool inGrid = index >= 0 && index < variables;
    switch (field) {
        case InputField::N: return txtInput1;
        case InputField::K: return txtInput2;
        case InputField::Mean: return inGrid ? txtMean[GridVariable(index)] : nullptr;
        case InputField::SD: return inGrid ? txtSD[GridVariable(index)] : nullptr;
        case InputField::CaseScore: return inGrid ? txtCase[GridVariable(index)] : nullptr;
        case InputField::Correlation:
            for (int v = 1; v < variables; ++v)
                for (int c = 0; c < v; ++c)
                    if (CorrelationIndex(v + 1, c + 1) == index) return txtCorrelation[GridVariable(v)][GridVariable(c)];
            break;
        case InputField::Alpha:
        case InputField::TargetPower:
        case InputField::Simulations:
        case InputField::Draws:  // the power dialog's
        case InputField::M:      // the companion analyses one case
        case InputField::None: break;
    }
    return nullptr;
}

std::vector<QLineEdit*> TfrmSummary::RowCells(int variable) const {
    const int v = GridVariable(variable);
    std::vector<QLineEdit*> cells{txtMean[v], txtSD[v], txtCase[v]};
    for (int c = 0; c < variable; ++c) cells.push_back(txtCorrelation[v][GridVariable(c)]);
    return cells;
}

std::vector<QLineEdit*> TfrmSummary::GridFields() const {
    std::vector<QLineEdit*> fields;
    for (int v = 0; v < kGridVariables; ++v) {
        fields.insert(fields.end(), {txtMean[v], txtSD[v], txtCase[v]});
        for (int c = 0; c < v; ++c) fields.push_back(txtCorrelation[v][c]);
    }
    return fields;
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
        for (int v = 0; v < GridRows(); ++v) {
            const std::vector<QLineEdit*> rowCells = RowCells(v);
            rowLengths.push_back(static_cast<int>(rowCells.size()));
            const auto at = std::find(rowCells.begin(), rowCells.end(), edit);
            if (at != rowCells.end()) row = v, column = static_cast<int>(at - rowCells.begin());
        }
        const auto placed = PlacePastedCells(cells, row, column, rowLengths, platform_);
        if (!placed) return;
        for (const GridCell& cell : *placed)
            SetGridText(RowCells(cell.row)[cell.column], QString::fromStdString(cell.text));
    });
}

void TfrmSummary::SetGridText(QLineEdit* field, const QString& text) {
    field->setText(text);
    if (!field->hasFocus()) field->setCursorPosition(0);
}

bool TfrmSummary::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit != nullptr && event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (IsUnboundRedo(key)) {
            edit->redo();
            return true;
        }
        // A typeset minus sign or blank typed becomes a plain one, as it does pasted.
        const std::string typed = key.text().toStdString();
        if (const std::string plain = Untypeset(typed); plain != typed) {
            edit->insert(QString::fromStdString(plain));
            return true;
        }
    }
    // Left for another field or button; not for a menu or a message box, after which
    // the user goes on where the cursor was.
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (edit && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            edit->setCursorPosition(0);
    }
    return QWidget::eventFilter(watched, event);
}

AnalysisRequest TfrmSummary::CurrentRequest() const {
    AnalysisRequest request = RequestOfCommonInputs();
    request.source = CurrentEntries();
    return request;
}

SummaryEntries TfrmSummary::CurrentEntries() const {
    SummaryEntries entries;
    auto text = [](const QLineEdit* edit) { return edit->text().trimmed().toStdString(); };
    for (int v = 0; v < GridRows(); ++v) {
        const std::vector<QLineEdit*> cells = RowCells(v);
        entries.means.push_back(text(cells[0]));
        entries.sds.push_back(text(cells[1]));
        entries.caseScores.push_back(text(cells[2]));
        for (std::size_t c = 3; c < cells.size(); ++c) entries.correlations.push_back(text(cells[c]));
    }
    return entries;
}

void TfrmSummary::FocusEntry(const InputFocus& focus) {
    if (QLineEdit* field = EntryField(focus.field, focus.index)) field->setFocus();
}

void TfrmSummary::KeepStatisticsFile(const std::string& path) {
    if (results_) results_->KeepInputFile({path, kStatisticsFile});
}

void TfrmSummary::cmdComputeClick() {
    RunUserAction(platform_, [this] {
        const AnalysisRequest request = CurrentRequest();
        ComputeOptions options;
        // As in the raw program: the windows paint during the engine's run and ignore input.
        options.runLongStep = RunLongStepWithInputIgnored;
        const AnalysisOutcome outcome = RunAnalysis(request, platform_, options);
        if (!outcome.completed) {
            FocusEntry(outcome.focus);
            return;
        }
        if (!results_) return;
        const UserInputIgnored ignored;
        // Captioned as the report is titled: "without covariates" when k = 0.
        results_->ShowReport(ReportTitle(outcome.facts.test, true, outcome.facts.k), outcome.reportLines,
                             FigureInputOf(outcome.facts, request.decimalSeparator));
    });
}

PowerRequest TfrmSummary::CurrentPowerRequest() const {
    const AnalysisRequest analysis = CurrentRequest();
    PowerRequest request = powerInputs_;
    request.test = analysis.test;
    request.kText = analysis.kText;
    request.entries = std::get<SummaryEntries>(analysis.source);
    request.notes = analysis.notes;
    request.followsEarlierReport = analysis.followsEarlierReport;
    request.decimalSeparator = analysis.decimalSeparator;
    return request;
}

PowerOutcome TfrmSummary::RunPowerPlan(const PowerRequest& request) {
    PowerOptions options;
    if (request.test == AnalysisTest::Deficit) {
        // Exact and quick: as Compute, the windows paint and ignore input meanwhile.
        options.runLongStep = RunLongStepWithInputIgnored;
        return RunPower(request, platform_, options);
    }
    LongStepWithProgress progress(this, QStringLiteral("Power and sample size"),
                                  QStringLiteral("Simulating the studies of the plan..."));
    options.runLongStep = [&progress](const std::function<void()>& longStep) { progress.Run(longStep); };
    options.progress = [&progress](long long done, long long total) { progress.Report(done, total); };
    options.cancel = progress.Cancelled();
    return RunPower(request, platform_, options);
}

void TfrmSummary::cmdPowerClick() {
    RunUserAction(platform_, [this] {
        // The dialog's n starts as the window's: the n a report would use.
        if (powerInputs_.nText.empty()) powerInputs_.nText = txtInput1->text().trimmed().toStdString();
        InputFocus fault;
        // An entry of the dialog at fault opens it again, that entry in focus; one of the
        // table takes the focus in the window.
        while (true) {
            TfrmPower dialog(GridTest(), powerInputs_, this);
            if (QLineEdit* field = dialog.EntryField(fault.field)) {
                field->setFocus();
                field->selectAll();
            }
            if (dialog.exec() != QDialog::Accepted) return;
            dialog.TakeInputs(powerInputs_);
            const PowerRequest request = CurrentPowerRequest();
            const PowerOutcome outcome = RunPowerPlan(request);
            if (outcome.cancelled) return;
            if (!outcome.completed) {
                fault = outcome.focus;
                if (TfrmPower::AsksFor(fault.field)) continue;
                FocusEntry(fault);
                return;
            }
            if (!results_) return;
            const UserInputIgnored ignored;
            results_->ShowReport(PowerReportTitle(outcome.facts.test, outcome.facts.k), outcome.reportLines,
                                 PowerFigureOf(outcome.facts, request.decimalSeparator));
            return;
        }
    });
}

void TfrmSummary::cmdSaveStatisticsClick() {
    RunUserAction(platform_, [this] {
        // Only a table that Compute would take is worth keeping.
        InputFocus focus;
        const AnalysisRequest request = CurrentRequest();
        const std::optional<CheckedSummary> checked = CheckSummaryRequest(request, platform_, focus);
        if (!checked) {
            FocusEntry(focus);
            return;
        }
        const auto path = platform_.AskSaveFileName(statisticsDialog_);
        if (!path) return;  // cancelled: nothing written
        statisticsDialog_.defaultName = *path;
        KeepStatisticsFile(*path);
        // The checked counts, not the typed ones ("1 000"), which the file format refuses.
        const StatisticsTable table{std::to_string(checked->n), std::to_string(checked->k),
                                    std::get<SummaryEntries>(request.source), request.test};
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
        SetRadioGroup2ItemIndex(static_cast<int>(table.test));
        txtInput1->setText(QString::fromStdString(table.n));
        txtInput2->setText(QString::fromStdString(table.k));
        // The file's lists follow its k whatever the grid showed: size it from k.
        SetGridCovariates(TypedCovariateCount(table.k).value_or(0));
        // Every field beyond the file's variables is emptied, task 2's beside a deficit's
        // table too: a larger k, or the other analysis, chosen afterwards must not bring
        // back the previous table's values beside the file's.
        for (QLineEdit* field : GridFields()) field->clear();
        const SummaryEntries& e = table.entries;
        for (int v = 0; v < GridRows(); ++v) {
            const std::vector<QLineEdit*> cells = RowCells(v);
            SetGridText(cells[0], QString::fromStdString(e.means[v]));
            SetGridText(cells[1], QString::fromStdString(e.sds[v]));
            SetGridText(cells[2], QString::fromStdString(e.caseScores[v]));
            for (int c = 0; c < v; ++c)
                SetGridText(cells[3 + c], QString::fromStdString(e.correlations[CorrelationIndex(v + 1, c + 1)]));
        }
        txtInput1->setFocus();
    });
}

void TfrmSummary::btnclearDataClick() {
    RunUserAction(platform_, [this] {
        for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->clear();
        powerInputs_ = {};  // the power dialog's entries too
        memoComments->clear();
        DeleteSavedInputs(platform_, SummaryInputsFileName);
        txtInput1->setFocus();
    });
}

}  // namespace quorvane
