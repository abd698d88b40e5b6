#include "ui/main_form.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "ui/general_error_handler.h"
#include "ui/template_results.h"
#include "ui/window_parts.h"

namespace quorvane {

namespace {

constexpr int kClientWidth = 792;

}  // namespace

MainForm::MainForm(Platform& platform, QWidget* parent, int clientHeight)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      platform_(platform) {
    setFixedSize(kClientWidth, clientHeight);
    setFont(WindowFont(13));
    CentreOnScreen(*this);
    DescripFld = MakeDescriptionField(this);
    Panel3 = MakeNotesPanel(this, lblComments);
}

void MainForm::MakeButtonBar(int top) {
    pan1 = MakePanel(this, QRect(12, top, 768, 56), QFrame::Sunken);
    cmdCompute = MakeButton(QStringLiteral("Compute"), pan1, QRect(36, 11, 180, 34));
    btnclearData = MakeButton(QStringLiteral("Clear Data "), pan1, QRect(294, 11, 180, 34));
    ExitBtn = MakeButton(QStringLiteral("Exit"), pan1, QRect(552, 11, 180, 34));
    connect(cmdCompute, &QPushButton::clicked, this, &MainForm::cmdComputeClick);
    connect(btnclearData, &QPushButton::clicked, this, &MainForm::btnclearDataClick);
    connect(ExitBtn, &QPushButton::clicked, this, &MainForm::ExitBtnClick);
}

int MainForm::RadioGroup1ItemIndex() const { return RadioGroup1Items->checkedId(); }

void MainForm::SetRadioGroup1ItemIndex(int index) {
    if (QAbstractButton* item = RadioGroup1Items->button(index)) item->setChecked(true);
}

int MainForm::RadioGroup2ItemIndex() const { return RadioGroup2Items->checkedId(); }

void MainForm::SetRadioGroup2ItemIndex(int index) {
    if (QAbstractButton* item = RadioGroup2Items->button(index)) item->setChecked(true);
}

AnalysisRequest MainForm::RequestOfCommonInputs() const {
    AnalysisRequest request;
    request.test = static_cast<AnalysisTest>(RadioGroup2ItemIndex());
    request.limit = static_cast<LimitType>(RadioGroup1ItemIndex());
    request.nText = txtInput1->text().toStdString();
    request.kText = txtInput2->text().toStdString();
    for (const QString& line : memoComments->NotesLines()) request.notes.push_back(line.toStdString());
    request.followsEarlierReport = results_ != nullptr && results_->HoldsText();
    request.decimalSeparator = SystemDecimalSeparator();
    return request;
}

void MainForm::ExitBtnClick() {
    RunUserAction(platform_, [this] {
        if (ConfirmExit(platform_)) emit programEndRequested();
    });
}

void MainForm::FormShow() {
    RunUserAction(platform_, [this] {
        if (txtInput1->text().isEmpty())
            txtInput1->setFocus();
        else
            platform_.BringToFront();
    });
}

void MainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void MainForm::closeEvent(QCloseEvent* event) {
    // The main window is the program's main form: closing it ends the program at once.
    event->accept();
    emit programEndRequested();
}

}  // namespace quorvane
