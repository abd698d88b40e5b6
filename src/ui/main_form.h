#pragma once
// MainForm: what the two main windows, TfrmTemplate and TfrmSummary, have alike: a fixed
// window centred on the screen, the description and notes panels, the radio groups' item
// indexes, the button bar of Compute, Clear Data and Exit, the part of the analysis request
// that their inputs give alike, and how showing, Exit and closing behave.

#include <QWidget>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"
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

class MainForm : public QWidget {
    Q_OBJECT

public:
    // The window that Compute fills; created after this one, as the program starts.
    void SetResultsWindow(TfrmTemplateResults* results) { results_ = results; }

    // RadioGroup1's item index: the kind of credible limit.
    int RadioGroup1ItemIndex() const;
    void SetRadioGroup1ItemIndex(int index);
    // RadioGroup2's item index: the analysis, an AnalysisTest value.
    int RadioGroup2ItemIndex() const;
    void SetRadioGroup2ItemIndex(int index);

    // The controls of both windows, open to the tests that drive them as their users would.
    QPlainTextEdit* DescripFld;
    QFrame* Panel3;
    QLabel* lblComments;
    NotesMemo* memoComments;
    QFrame* Panel1;
    QGroupBox* RadioGroup1;
    QButtonGroup* RadioGroup1Items;
    QGroupBox* RadioGroup2;
    QButtonGroup* RadioGroup2Items;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtInput1;
    QLineEdit* txtInput2;
    QFrame* pan1;
    QPushButton* cmdCompute;
    QPushButton* btnclearData;
    QPushButton* ExitBtn;

signals:
    // Exit was confirmed, or the window was closed; the application decides how to end.
    void programEndRequested();

public slots:
    virtual void cmdComputeClick() = 0;
    virtual void btnclearDataClick() = 0;
    void ExitBtnClick();

protected:
    // A fixed window of the main windows' width, with DescripFld and Panel3 made.
    MainForm(Platform& platform, QWidget* parent, int clientHeight);

    // pan1, from top down, with Compute, Clear Data and Exit wired to their handlers.
    void MakeButtonBar(int top);
    // The request as the inputs both windows have give it; the data's source is left to the window.
    AnalysisRequest RequestOfCommonInputs() const;

    void FormShow();
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    Platform& platform_;
    TfrmTemplateResults* results_ = nullptr;
};

}  // namespace quorvane
