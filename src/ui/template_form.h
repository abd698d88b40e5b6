#pragma once
// TfrmTemplate: the main window. The user types n and k, picks the analysis (a deficit
// or a dissociation) and the kind of credible limit, may type notes, and starts the
// analysis with Compute.

#include <QWidget>
#include <array>

#include "analysis/analysis_types.h"
#include "analysis/program_texts.h"
#include "analysis/platform.h"
#include "ui/notes_memo.h"
#include "ui/open_folder_memory.h"

class QButtonGroup;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class TfrmTemplateResults;

class TfrmTemplate : public QWidget {
    Q_OBJECT

public:
    explicit TfrmTemplate(Platform& platform, QWidget* parent = nullptr);

    // The window that Compute fills; created after this one, as the program starts.
    void SetResultsWindow(TfrmTemplateResults* results) { results_ = results; }

    // RadioGroup1's item index: the kind of credible limit.
    int RadioGroup1ItemIndex() const;
    void SetRadioGroup1ItemIndex(int index);
    // RadioGroup2's item index: the analysis, an AnalysisTest value.
    int RadioGroup2ItemIndex() const;
    void SetRadioGroup2ItemIndex(int index);

    // The controls, open to the tests that drive the window as its user would.
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
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLineEdit* txtInput1;
    QLineEdit* txtInput2;
    QLineEdit* txtInput3;
    QLineEdit* txtInput4;
    QLineEdit* txtInput5;
    QLineEdit* txtInput6;
    QLineEdit* txtInput7;
    QLineEdit* txtinput8;
    QFrame* pan1;
    QPushButton* cmdCompute;
    QPushButton* btnclearData;
    QPushButton* ExitBtn;

signals:
    // Exit was confirmed, or the window was closed; the application decides how to end.
    void programEndRequested();

public slots:
    void cmdComputeClick();
    void btnclearDataClick();
    void ExitBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void LoadPreviousData();
    void DescripFldChange();
    // The caption names the test chosen, as the report's title does: "without covariates"
    // once the k typed is 0. Also on each change of k.
    void RadioGroup2Click();
    // The typing handlers, shared by all eight edits.
    bool txtInputKeyPress(QLineEdit* edit, const QKeyEvent& event);
    // A paste, by key or menu, checked as typed text is.
    void txtInputPaste(QLineEdit* edit, const QString& text);
    void txtInputKeyUp(QLineEdit* edit);

    std::array<QLineEdit*, kInputFieldCount> Inputs() const;
    std::array<QLabel*, kInputFieldCount> Labels() const;
    AnalysisRequest CurrentRequest() const;

    Platform& platform_;
    // The platform of Compute, whose open-file dialog remembers the data file's folder.
    OpenFolderMemory computePlatform_{platform_};
    TfrmTemplateResults* results_ = nullptr;
};

}  // namespace quorvane
