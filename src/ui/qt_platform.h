#pragma once
// The desktop program's platform: Qt message boxes, file dialogs, cursor and printer.

#include <QPrinterInfo>
#include <QString>

#include "analysis/platform.h"

class QPrinter;

namespace quorvane {

class QtPlatform final : public Platform {
public:
    MessageAnswer ShowMessage(MessageKind kind, const std::string& caption,
                              const std::string& text) override;
    std::optional<std::string> AskOpenFileName(const FileDialogOptions& options) override;
    std::optional<std::string> AskSaveFileName(const FileDialogOptions& options) override;
    void Beep() override;
    void SetBusyCursor(bool busy) override;
    void BringToFront() override;
    void PrintText(const std::string& text, const std::vector<ReportFigure>& figures) override;
    std::string ExecutableFolder() override;
    std::string CurrentDirectory() override;

    // How PrintText finds the default printer; a test puts in one that finds none.
    QPrinterInfo (*defaultPrinter)() = &QPrinterInfo::defaultPrinter;

private:
    int busyDepth_ = 0;  // override cursors this platform has set and not yet restored
};

// A dialog filter written "Description|*.a;*.b|Other|*.c" (or a bare pattern) as Qt's
// name filters "Description (*.a *.b);;Other (*.c)".
QString QtNameFilters(const std::string& filter);

// Prints the reports on the printer as Save as PDF lays them out; throws
// std::runtime_error when the print job cannot start.
void PrintReports(QPrinter& printer, const QString& text, const std::vector<ReportFigure>& figures);

}  // namespace quorvane
