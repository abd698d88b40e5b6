#pragma once
// The desktop program's platform: Qt message boxes, file dialogs, cursor and printer.

#include <QFont>
#include <QString>

#include "analysis/platform.h"

class QPagedPaintDevice;

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
    void PrintText(const std::string& text) override;
    std::string ExecutableFolder() override;
    std::string CurrentDirectory() override;

private:
    int busyDepth_ = 0;  // override cursors this platform has set and not yet restored
};

// A dialog filter written "Description|*.a;*.b|Other|*.c" (or a bare pattern) as Qt's
// name filters "Description (*.a *.b);;Other (*.c)".
QString QtNameFilters(const std::string& filter);

// The font of printed reports: the report's face at 8 points.
QFont PrintFont();

// Paints text on a paged device one line per text line, starting a new page when the
// next line does not fit; returns the number of pages. Throws std::runtime_error when
// painting cannot start.
int PaintTextPages(QPagedPaintDevice& device, const QFont& font, const QString& text);

// How many lines of font fit on one page of the device.
int LinesPerPage(QPagedPaintDevice& device, const QFont& font);

}  // namespace quorvane
