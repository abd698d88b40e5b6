#pragma once
// TfrmSummary: the main window of the companion program. The user types n and k, the
// controls' means, SDs and correlations and the case's scores into a grid whose size
// follows k, picks the kind of credible limit, may type notes, and starts the analysis
// with Compute. Save statistics... and Load statistics... keep the table in a file.

#include <QWidget>
#include <array>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"
#include "analysis/summary_run.h"
#include "ui/notes_memo.h"

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class TfrmTemplateResults;

class TfrmSummary : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxVariables = 6;  // the task and up to five covariates

    explicit TfrmSummary(Platform& platform, QWidget* parent = nullptr);

    // The window that Compute fills; created after this one, as the program starts.
    void SetResultsWindow(TfrmTemplateResults* results) { results_ = results; }

    int RadioGroup1ItemIndex() const;
    void SetRadioGroup1ItemIndex(int index);
    // The number of covariates the grid shows.
    int GridCovariates() const { return gridCovariates_; }
    // The grid's field of an entry (variables and correlations counted as in SummaryEntries).
    QLineEdit* EntryField(SummaryField field, int index) const;

    // The controls, open to the tests that drive the window as its user would.
    QPlainTextEdit* DescripFld;
    QFrame* Panel3;
    QLabel* lblComments;
    NotesMemo* memoComments;
    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtInput1;
    QLineEdit* txtInput2;
    QPushButton* cmdSaveStatistics;
    QPushButton* cmdLoadStatistics;
    QGroupBox* RadioGroup1;
    QButtonGroup* RadioGroup1Items;
    QLabel* lblGrid;
    std::array<QLabel*, kMaxVariables> lblVariable{};
    std::array<QLabel*, kMaxVariables - 1> lblCorrelation{};
    std::array<QLineEdit*, kMaxVariables> txtMean{};
    std::array<QLineEdit*, kMaxVariables> txtSD{};
    std::array<QLineEdit*, kMaxVariables> txtCase{};
    // txtCorrelation[i][j]: variables i + 1 and j + 1, j < i (the lower triangle).
    std::array<std::array<QLineEdit*, kMaxVariables - 1>, kMaxVariables> txtCorrelation{};
    QFrame* pan1;
    QPushButton* cmdCompute;
    QPushButton* btnclearData;
    QPushButton* ExitBtn;

signals:
    void programEndRequested();

public slots:
    void cmdComputeClick();
    void btnclearDataClick();
    void ExitBtnClick();
    void cmdSaveStatisticsClick();
    void cmdLoadStatisticsClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    // Shows the rows and correlation columns of k covariates; hidden fields keep their text.
    void SetGridCovariates(int k);
    void txtInput2Change();
    // A row's fields: mean, SD, case's score, then its correlations.
    std::vector<QLineEdit*> RowCells(int variable) const;
    // A paste into the grid: one number where the cursor is, several into the following
    // fields of the row (and lines into the following rows), as a spreadsheet pastes.
    void GridPaste(QLineEdit* edit, const QString& text);
    MainWindowState CurrentState() const;
    SummaryEntries CurrentEntries() const;
    void FocusEntry(const SummaryFocus& focus);
    // A statistics file loaded or saved: the results window's saves must not overwrite it.
    void KeepStatisticsFile(const std::string& path);

    Platform& platform_;
    TfrmTemplateResults* results_ = nullptr;
    int gridCovariates_ = 0;
    FileDialogOptions statisticsDialog_;
};

}  // namespace quorvane
