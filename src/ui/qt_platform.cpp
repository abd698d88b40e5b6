#include "ui/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>
#include <stdexcept>

#include "export/report_export.h"

namespace quorvane {

namespace {

// A modal box or dialog shown during a busy spell gets the normal arrow: the user has to
// point and click in it. The hourglass comes back when it closes.
class ArrowWhileModal {
public:
    ArrowWhileModal() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileModal() { QApplication::restoreOverrideCursor(); }
    ArrowWhileModal(const ArrowWhileModal&) = delete;
    ArrowWhileModal& operator=(const ArrowWhileModal&) = delete;
};

QWidget* DialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return QMessageBox::Warning;
        case MessageKind::Error: return QMessageBox::Critical;
        case MessageKind::Information: return QMessageBox::Information;
        case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

std::optional<std::string> RunFileDialog(QFileDialog& dialog) {
    const ArrowWhileModal arrow;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

void PrepareFileDialog(QFileDialog& dialog, const FileDialogOptions& options) {
    if (!options.initialFolder.empty())
        dialog.setDirectory(QString::fromStdString(options.initialFolder));
    if (!options.filter.empty()) dialog.setNameFilter(QtNameFilters(options.filter));
    if (!options.defaultName.empty()) dialog.selectFile(QString::fromStdString(options.defaultName));
}

}  // namespace

MessageAnswer QtPlatform::ShowMessage(MessageKind kind, const std::string& caption,
                                      const std::string& text) {
    const bool question = kind == MessageKind::Question;
    QMessageBox box(IconOf(kind), QString::fromStdString(caption), QString::fromStdString(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    const ArrowWhileModal arrow;
    const int answer = box.exec();
    if (!question) return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<std::string> QtPlatform::AskOpenFileName(const FileDialogOptions& options) {
    QFileDialog dialog(DialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    PrepareFileDialog(dialog, options);
    return RunFileDialog(dialog);
}

std::optional<std::string> QtPlatform::AskSaveFileName(const FileDialogOptions& options) {
    QFileDialog dialog(DialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.overwritePrompt);
    PrepareFileDialog(dialog, options);
    return RunFileDialog(dialog);
}

void QtPlatform::Beep() { QApplication::beep(); }

void QtPlatform::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void QtPlatform::BringToFront() {
    // Deferred: a window calls this while it is being shown, and the handler that shows
    // it may still hide the window it replaces.
    QTimer::singleShot(0, qApp, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || (window->windowType() & Qt::Popup) == Qt::Popup) continue;
            window->raise();
            window->activateWindow();
        }
    });
}

void QtPlatform::PrintText(const std::string& text, const std::vector<ReportFigure>& figures) {
    const QPrinterInfo printerInfo = defaultPrinter();
    if (printerInfo.isNull()) throw std::runtime_error("There is no default printer currently selected");
    QPrinter printer(printerInfo);
    printer.setDocName(QApplication::applicationName());
    PrintReports(printer, QString::fromStdString(text), figures);
}

std::string QtPlatform::ExecutableFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

std::string QtPlatform::CurrentDirectory() {
    return QDir::toNativeSeparators(QDir::currentPath()).toStdString();
}

QString QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    if (parts.size() < 2) return parts.front();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters.append(parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

void PrintReports(QPrinter& printer, const QString& text, const std::vector<ReportFigure>& figures) {
    printer.setResolution(kReportResolution);
    if (PaintReportPages(printer, text, figures) == 0) throw std::runtime_error("The print job could not be started");
}

}  // namespace quorvane
