#pragma once
// Everything the program asks of the desktop: message boxes, file dialogs, the beep,
// the cursor, printing, the program's folder and the environment. The desktop program implements it
// with Qt, the tests with a scripted fake, the report tool with standard streams.

#include <optional>
#include <string>
#include <vector>

#include "analysis/report_figure.h"

namespace quorvane {

enum class MessageKind { Warning, Error, Information, Question };
enum class MessageAnswer { Ok, Yes, No };

// The caption each kind of box carries.
const char* DefaultCaption(MessageKind kind);

struct FileDialogOptions {
    std::string filter;         // "Description|*.ext" or a bare pattern
    std::string initialFolder;  // empty: the dialog's own choice
    std::string defaultName;
    bool fileMustExist = false;
    bool overwritePrompt = false;
};

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box; warning, error and information boxes have one OK button, a question
    // has Yes and No. Lines of text are separated by '\n'.
    virtual MessageAnswer ShowMessage(MessageKind kind, const std::string& caption,
                                      const std::string& text) = 0;
    // The chosen file's full path, or nothing when the user cancels.
    virtual std::optional<std::string> AskOpenFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> AskSaveFileName(const FileDialogOptions& options) = 0;
    virtual void Beep() = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void BringToFront() = 0;
    // Prints plain text on the default printer as Save as PDF lays it out, the figures
    // after the reports they belong to (none goes where its report is not found whole);
    // throws std::runtime_error with the platform's message when it cannot.
    virtual void PrintText(const std::string& text, const std::vector<ReportFigure>& figures) = 0;
    // The folder of the running executable, without a trailing separator.
    virtual std::string ExecutableFolder() = 0;
    // Whether the running program is an installed copy, not the build tree's own: one
    // whose folder is not the folder the programs were built in.
    virtual bool ProgramIsInstalled();
    virtual std::string CurrentDirectory() = 0;
    // An environment variable's value, nothing when it is unset; the process's own
    // environment unless a platform scripts it.
    virtual std::optional<std::string> EnvironmentVariable(const std::string& name);
};

// Whether folder is the one the programs were built in, however the path is written;
// false once that folder is gone.
bool IsProgramsBuildFolder(const std::string& folder);

// The confirmation of Exit: true when the user answers Yes to "Exit from program?".
bool ConfirmExit(Platform& platform);

// Shows the hourglass for its lifetime, so every exit path puts the cursor back.
class BusyCursor {
public:
    explicit BusyCursor(Platform& platform) : platform_(platform) { platform_.SetBusyCursor(true); }
    ~BusyCursor() { platform_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Platform& platform_;
};

}  // namespace quorvane
