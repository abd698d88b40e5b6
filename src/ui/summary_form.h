#pragma once
// TfrmSummary: the main window of the companion program. The user picks the analysis (a
// deficit or a dissociation), types n and k, the controls' means, SDs and correlations
// and the case's scores into a grid whose rows follow the analysis and k, picks the kind
// of credible limit, may type notes, and starts the analysis with Compute. Save
// statistics... and Load statistics... keep the table in a file. Power and sample size...
// plans a study on the table read as the population's.

#include <array>
#include <optional>
#include <vector>

#include "analysis/power_run.h"
#include "analysis/summary_run.h"
#include "ui/main_form.h"

namespace quorvane {

class TfrmSummary : public MainForm {
    Q_OBJECT

public:
    static constexpr int kMaxCovariates = 5;
    // The grid's variables, each a row of fields that keeps its text while it is hidden:
    // 0 the task of interest, which is task 1 of a dissociation, 1 task 2, then the
    // covariates. A deficit shows no row for task 2.
    static constexpr int kGridVariables = 2 + kMaxCovariates;

    explicit TfrmSummary(Platform& platform, QWidget* parent = nullptr);

    // The number of covariates the grid shows.
    int GridCovariates() const { return gridCovariates_; }
    // The grid's field of an entry of the analysis chosen (variables and correlations
    // counted as in SummaryEntries); nothing beyond the grid, nor for the entries of the
    // power dialog (alpha, target power, simulations, draws).
    QLineEdit* EntryField(InputField field, int index) const;
    // The grid's shown entries, in the order of SummaryEntries for the analysis chosen.
    SummaryEntries CurrentEntries() const;

    // Its own controls, open to the tests that drive the window as its user would.
    QPushButton* cmdPower;
    QPushButton* cmdSaveStatistics;
    QPushButton* cmdLoadStatistics;
    QLabel* lblGrid;
    std::array<QLabel*, 3> lblStatistic{};  // "Mean", "SD", "Case's score"
    // By grid variable: lblCorrelation[j] heads the column of correlations with variable j.
    std::array<QLabel*, kGridVariables> lblVariable{};
    std::array<QLabel*, kGridVariables - 1> lblCorrelation{};
    std::array<QLineEdit*, kGridVariables> txtMean{};
    std::array<QLineEdit*, kGridVariables> txtSD{};
    std::array<QLineEdit*, kGridVariables> txtCase{};
    // txtCorrelation[i][j]: grid variables i and j, j < i (the lower triangle).
    std::array<std::array<QLineEdit*, kGridVariables - 1>, kGridVariables> txtCorrelation{};

public slots:
    void cmdComputeClick() override;
    void btnclearDataClick() override;
    void cmdSaveStatisticsClick();
    void cmdLoadStatisticsClick();
    void cmdPowerClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // Shows the rows and correlation columns of k covariates; hidden fields keep their text.
    void SetGridCovariates(int k);
    // Lays the grid out for the analysis chosen and k, and Tab through it in its order.
    void ArrangeGrid();
    void txtInput2Change();
    // The grid follows the analysis, and the caption names it.
    void RadioGroup2Click();
    // The caption: the report's title for the analysis chosen and k, when k is valid.
    void ShowTitle(std::optional<int> k);
    AnalysisTest GridTest() const;
    // The grid variable of a variable of the analysis chosen (from 0, tasks first).
    int GridVariable(int variable) const;
    // The variables the grid shows: the tasks and the covariates.
    int GridRows() const;
    // The fields of the row of a variable of the analysis chosen: mean, SD, case's score,
    // then its correlations with the variables above it.
    std::vector<QLineEdit*> RowCells(int variable) const;
    // Every field of the grid, shown or hidden.
    std::vector<QLineEdit*> GridFields() const;
    // A grid field's text, shown from its start unless the field is being edited: a
    // field narrower than its number would otherwise show its end, and hide a minus sign.
    static void SetGridText(QLineEdit* field, const QString& text);
    // A paste into the grid: one number where the cursor is, several into the following
    // fields of the row (and lines into the following rows), as a spreadsheet pastes.
    void GridPaste(QLineEdit* edit, const QString& text);
    AnalysisRequest CurrentRequest() const;
    // The plan's request: the table's entries as Compute takes them, the dialog's as last given.
    PowerRequest CurrentPowerRequest() const;
    // Runs the plan, a simulation with its progress; the results window shows its report.
    PowerOutcome RunPowerPlan(const PowerRequest& request);
    void FocusEntry(const InputFocus& focus);
    // A statistics file loaded or saved: the results window's saves must not overwrite it.
    void KeepStatisticsFile(const std::string& path);

    int gridCovariates_ = 0;
    FileDialogOptions statisticsDialog_;
    PowerRequest powerInputs_;  // the power dialog's entries, as last typed
};

}  // namespace quorvane
