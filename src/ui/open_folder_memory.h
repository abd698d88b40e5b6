#pragma once
// The open-file dialog reopens at the folder where the user last picked a file, for the
// rest of the program's life; the first time it opens where it is asked to.

#include <optional>
#include <string>

#include "analysis/platform.h"

namespace quorvane {

// The platform as the Compute action sees it: the given one, with that memory added.
class OpenFolderMemory : public Platform {
public:
    explicit OpenFolderMemory(Platform& platform) : platform_(platform) {}

    std::optional<std::string> AskOpenFileName(const FileDialogOptions& options) override;

    MessageAnswer ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override {
        return platform_.ShowMessage(kind, caption, text);
    }
    std::optional<std::string> AskSaveFileName(const FileDialogOptions& options) override {
        return platform_.AskSaveFileName(options);
    }
    void Beep() override { platform_.Beep(); }
    void SetBusyCursor(bool busy) override { platform_.SetBusyCursor(busy); }
    void BringToFront() override { platform_.BringToFront(); }
    void PrintText(const std::string& text, const std::vector<ReportFigure>& figures) override {
        platform_.PrintText(text, figures);
    }
    std::string ExecutableFolder() override { return platform_.ExecutableFolder(); }
    bool ProgramIsInstalled() override { return platform_.ProgramIsInstalled(); }
    std::string CurrentDirectory() override { return platform_.CurrentDirectory(); }
    std::optional<std::string> EnvironmentVariable(const std::string& name) override {
        return platform_.EnvironmentVariable(name);
    }

private:
    Platform& platform_;
    std::optional<std::string> lastFolder_;
};

}  // namespace quorvane
