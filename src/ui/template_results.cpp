#include "ui/template_results.h"

#include <QCloseEvent>
#include <QFrame>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>

#include "io/io_errors.h"
#include "analysis/input_checks.h"
#include "export/qt_atomic_file.h"
#include "export/memo_lines.h"
#include "export/report_export.h"
#include "ui/general_error_handler.h"
#include "ui/window_parts.h"

namespace quorvane {

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 554;

std::string ResultsFailure(const std::string& path) { return "The results cannot be saved to " + Quoted(path); }

// Blanks and line ends alone are no results: saved, they would replace a report with
// nothing; printed or as a PDF, they would give a page of page numbers.
bool HoldsResults(const QPlainTextEdit& memo) { return !memo.toPlainText().trimmed().isEmpty(); }

// Replaces the file whole or not at all: each line followed by CR LF.
void WriteLinesWithCrLf(const std::string& path, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
    WriteFileAtomically(path, bytes, ResultsFailure(path));
}

}  // namespace

TfrmTemplateResults::TfrmTemplateResults(Platform& platform, QWidget* worksheet, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      platform_(platform),
      worksheet_(worksheet) {
    setWindowTitle(QStringLiteral("Output"));
    setFont(WindowFont(13));

    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    Panel1 = MakePanel(client, QRect(12, 10, 768, 470), QFrame::Raised);

    memoResults = new QPlainTextEdit(Panel1);
    memoResults->setObjectName(QStringLiteral("memoResults"));
    memoResults->setGeometry(9, 9, 749, 452);
    memoResults->setFont(ReportFont(12));
    memoResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The report's lines, up to 101 characters, fit the area whole but for the title's.
    // Wrapped, a line could break inside "p < .05": the toolkit's line breaking allows a
    // break between "." and "05" after a blank, in every wrap mode. The default mode
    // stays, so that a word wider than the area (a long file name) is broken rather than
    // cut off.
    memoResults->document()->setDocumentMargin(1);
    QPalette memoPalette = memoResults->palette();
    memoPalette.setColor(QPalette::Text, Qt::black);
    // The selection stays visible while the menu is open, so the user sees what
    // Print Selection will print.
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        memoPalette.setColor(QPalette::Inactive, role, memoPalette.color(QPalette::Active, role));
    memoResults->setPalette(memoPalette);

    Panel2 = MakePanel(client, QRect(12, 490, 768, 54), QFrame::Sunken);
    cmdSaveOutput = MakeButton(QStringLiteral("Save Output"), Panel2, QRect(18, 10, 170, 34));
    cmdClearResults = MakeButton(QStringLiteral("Clear Results"), Panel2, QRect(206, 10, 170, 34));
    cmdReturn = MakeButton(QStringLiteral("Return to Worksheet"), Panel2, QRect(394, 10, 170, 34));
    cmdExit = MakeButton(QStringLiteral("Exit"), Panel2, QRect(582, 10, 170, 34));
    setTabOrder(memoResults, cmdSaveOutput);
    setTabOrder(cmdSaveOutput, cmdClearResults);
    setTabOrder(cmdClearResults, cmdReturn);
    setTabOrder(cmdReturn, cmdExit);

    File1 = menuBar()->addMenu(QStringLiteral("Printer options..."));
    mnuPrint = File1->addAction(QStringLiteral("Print All"));
    mnuPrintSelection = File1->addAction(QStringLiteral("Print Selection"));
    File1->addSeparator();
    mnuSaveAsPdf = File1->addAction(QStringLiteral("Save as PDF..."));

    // The client area is fixed; the menu bar comes on top of it.
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    CentreOnScreen(*this);

    SaveDialog1_.defaultName = "results.txt";
    SaveDialog1_.filter = "*.txt";
    SaveDialog1_.overwritePrompt = true;
    SaveDialogPdf_.defaultName = "results.pdf";
    SaveDialogPdf_.filter = "*.pdf";
    SaveDialogPdf_.overwritePrompt = true;

    // Text emptied, by Clear Results or by hand: the figures of its reports go with it.
    connect(memoResults, &QPlainTextEdit::textChanged, this, [this] {
        if (memoResults->document()->isEmpty()) reportFigures_.clear();
    });
    connect(cmdSaveOutput, &QPushButton::clicked, this, &TfrmTemplateResults::cmdSaveOutputClick);
    connect(cmdClearResults, &QPushButton::clicked, this, &TfrmTemplateResults::cmdClearResultsClick);
    connect(cmdReturn, &QPushButton::clicked, this, &TfrmTemplateResults::cmdReturnClick);
    connect(cmdExit, &QPushButton::clicked, this, &TfrmTemplateResults::cmdExitClick);
    connect(mnuPrint, &QAction::triggered, this, &TfrmTemplateResults::mnuPrintClick);
    connect(mnuPrintSelection, &QAction::triggered, this, &TfrmTemplateResults::mnuPrintSelectionClick);
    connect(mnuSaveAsPdf, &QAction::triggered, this, &TfrmTemplateResults::mnuSaveAsPdfClick);

    FormCreate();
}

void TfrmTemplateResults::FormCreate() { memoResults->clear(); }

bool TfrmTemplateResults::HoldsText() const { return !memoResults->document()->isEmpty(); }

void TfrmTemplateResults::AppendLines(const std::vector<std::string>& lines) {
    QStringList block;
    block.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) block.append(QString::fromStdString(line));

    QTextCursor cursor(memoResults->document());
    cursor.movePosition(QTextCursor::End);
    // A new line starts after the last one, unless the text already ends in a line break.
    const QString text = memoResults->toPlainText();
    const bool startNewLine = !text.isEmpty() && !text.endsWith(QLatin1Char('\n'));
    cursor.insertText((startNewLine ? QStringLiteral("\n") : QString()) + block.join(QLatin1Char('\n')));
    memoResults->setTextCursor(cursor);
    memoResults->ensureCursorVisible();
}

void TfrmTemplateResults::AppendReport(const std::vector<std::string>& lines, const FigureInput& figure) {
    AppendLines(lines);
    reportFigures_.push_back(FigureOfReport(lines, figure));
}

void TfrmTemplateResults::ShowReport(const std::string& programTitle, const std::vector<std::string>& lines,
                                     const FigureInput& figure) {
    show();
    if (worksheet_ != nullptr) worksheet_->hide();
    setWindowTitle(QStringLiteral("Results viewer: ") + QString::fromStdString(programTitle));
    AppendReport(lines, figure);
}

void TfrmTemplateResults::KeepInputFile(const InputFile& input) {
    const bool kept = std::any_of(inputFiles_.begin(), inputFiles_.end(),
                                  [&](const InputFile& file) { return file.path == input.path; });
    if (!kept) inputFiles_.push_back(input);
}

void TfrmTemplateResults::RefuseInputFile(const std::string& path, const std::string& failure) const {
    if (const auto reason = SameFileAsInput(path, inputFiles_)) throw EInOutError(failure + ": it " + *reason);
}

void TfrmTemplateResults::cmdSaveOutputClick() {
    RunUserAction(platform_, [this] {
        if (!HoldsResults(*memoResults)) {
            ShowWarning(platform_, "There are no results to save.");
            return;
        }
        const auto path = platform_.AskSaveFileName(SaveDialog1_);
        if (!path) return;  // cancelled: nothing written
        RefuseInputFile(*path, ResultsFailure(*path));
        SaveDialog1_.defaultName = *path;  // the dialog offers the last name chosen
        WriteLinesWithCrLf(*path, MemoLines(memoResults->toPlainText()));
    });
}

void TfrmTemplateResults::cmdClearResultsClick() {
    RunUserAction(platform_, [this] {
        memoResults->clear();
    });
}

void TfrmTemplateResults::cmdReturnClick() {
    RunUserAction(platform_, [this] {
        hide();
        if (worksheet_) worksheet_->show();
    });
}

void TfrmTemplateResults::cmdExitClick() {
    RunUserAction(platform_, [this] {
        if (ConfirmExit(platform_)) emit programEndRequested();
    });
}

void TfrmTemplateResults::mnuPrintClick() {
    RunUserAction(platform_, [this] {
        if (!HoldsResults(*memoResults)) {
            ShowWarning(platform_, "There are no results to print.");
            return;
        }
        platform_.PrintText(memoResults->toPlainText().toStdString(), reportFigures_);
    });
}

void TfrmTemplateResults::mnuPrintSelectionClick() {
    RunUserAction(platform_, [this] {
        const QTextCursor cursor = memoResults->textCursor();
        // A selection of blanks alone would print an empty page.
        if (cursor.selection().toPlainText().trimmed().isEmpty()) {
            ShowWarning(platform_, "You have not selected any text.");
            return;
        }
        // The text alone: a selection is seldom whole reports.
        platform_.PrintText(cursor.selection().toPlainText().toStdString(), {});
    });
}

void TfrmTemplateResults::mnuSaveAsPdfClick() {
    RunUserAction(platform_, [this] {
        if (!HoldsResults(*memoResults)) {
            ShowWarning(platform_, "There are no results to save.");
            return;
        }
        const auto path = platform_.AskSaveFileName(SaveDialogPdf_);
        if (!path) return;  // cancelled: nothing written
        RefuseInputFile(*path, PdfFailure(*path));
        SaveDialogPdf_.defaultName = *path;
        WritePdfReport(*path, memoResults->toPlainText(), reportFigures_);
    });
}

void TfrmTemplateResults::FormShow() {
    RunUserAction(platform_, [this] {
        platform_.BringToFront();
        cmdReturn->setFocus();
    });
}

void TfrmTemplateResults::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmTemplateResults::closeEvent(QCloseEvent* event) {
    // The window has no close box: it is left by Return to Worksheet or Exit, so that
    // the program never runs on with no window shown.
    event->ignore();
}

}  // namespace quorvane
