#pragma once
// TfrmTemplate: the main window. The user types n, k and the number of cases m, picks the
// analysis (a deficit or a dissociation) and the kind of credible limit, may type notes,
// and starts the analysis with Compute.

#include <array>

#include "analysis/program_texts.h"
#include "ui/main_form.h"
#include "ui/open_folder_memory.h"

class QKeyEvent;

namespace quorvane {

class TfrmTemplate : public MainForm {
    Q_OBJECT

public:
    explicit TfrmTemplate(Platform& platform, QWidget* parent = nullptr);

    // Its own controls, open to the tests that drive the window as its user would.
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLineEdit* txtInput3;
    QLineEdit* txtInput4;
    QLineEdit* txtInput5;
    QLineEdit* txtInput6;
    QLineEdit* txtInput7;
    QLineEdit* txtinput8;

public slots:
    void cmdComputeClick() override;
    void btnclearDataClick() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void LoadPreviousData();
    // Empties the fields, but for the number of cases, which is 1.
    void ClearInputs();
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

    // The platform of Compute, whose open-file dialog remembers the data file's folder.
    OpenFolderMemory computePlatform_{platform_};
};

}  // namespace quorvane
