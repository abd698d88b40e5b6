#pragma once
// TfrmTemplateResults: the results window. It shows the reports the analysis appends,
// and saves, prints and clears them.

#include <QMainWindow>
#include <string>
#include <vector>

#include "analysis/platform.h"
#include "io/same_file.h"
#include "export/report_export.h"

class QAction;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class TfrmTemplateResults : public QMainWindow {
    Q_OBJECT

public:
    // worksheet: the main window, shown again by Return to Worksheet.
    TfrmTemplateResults(Platform& platform, QWidget* worksheet, QWidget* parent = nullptr);

    // memoResults holds at least one line: the next report starts with a separator.
    bool HoldsText() const;
    // Appends each string as one line below the text, as the analysis writes a report.
    void AppendLines(const std::vector<std::string>& lines);
    // Appends a report and keeps its figure for Save as PDF.
    void AppendReport(const std::vector<std::string>& lines, const FigureInput& figure);
    // The end of a Compute: this window takes the worksheet's place, captioned with the
    // program's title, and the report is appended.
    void ShowReport(const std::string& programTitle, const std::vector<std::string>& lines,
                    const FigureInput& figure);
    // A file the program has read for an analysis: the saves refuse to overwrite it for
    // as long as the program runs, whatever becomes of the reports.
    void KeepInputFile(const InputFile& input);

    // The controls, open to the tests that drive the window as its user would.
    QFrame* Panel1;
    QPlainTextEdit* memoResults;
    QFrame* Panel2;
    QPushButton* cmdSaveOutput;
    QPushButton* cmdClearResults;
    QPushButton* cmdReturn;
    QPushButton* cmdExit;
    QMenu* File1;
    QAction* mnuPrint;
    QAction* mnuPrintSelection;
    QAction* mnuSaveAsPdf;

signals:
    // Exit was confirmed; the application decides how to end.
    void programEndRequested();

public slots:
    void cmdSaveOutputClick();
    void cmdClearResultsClick();
    void cmdReturnClick();
    void cmdExitClick();
    void mnuPrintClick();
    void mnuPrintSelectionClick();
    void mnuSaveAsPdfClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Throws, with the failure and why, when path is one of the kept input files.
    void RefuseInputFile(const std::string& path, const std::string& failure) const;

    Platform& platform_;
    QWidget* worksheet_;
    FileDialogOptions SaveDialog1_;
    FileDialogOptions SaveDialogPdf_;
    std::vector<ReportFigure> reportFigures_;  // one per report appended since the text was last empty
    std::vector<InputFile> inputFiles_;
};

}  // namespace quorvane
