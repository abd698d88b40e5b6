#pragma once
// A scripted platform for tests: dialogs answer from queues, every message box is
// recorded (kind, caption, text) and answered from a queue (OK when it is empty).

#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/platform.h"

namespace quorvane::testing {

struct RecordedMessage {
    MessageKind kind;
    std::string caption;
    std::string text;
    bool operator==(const RecordedMessage&) const = default;
};

class FakePlatform : public Platform {
public:
    MessageAnswer ShowMessage(MessageKind kind, const std::string& caption,
                              const std::string& text) override {
        messages.push_back({kind, caption, text});
        if (answers.empty()) return kind == MessageKind::Question ? MessageAnswer::No : MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogOptions& options) override {
        openDialogs.push_back(options);
        return NextFileName(openAnswers);
    }
    std::optional<std::string> AskSaveFileName(const FileDialogOptions& options) override {
        saveDialogs.push_back(options);
        return NextFileName(saveAnswers);
    }
    void Beep() override { ++beeps; }
    void SetBusyCursor(bool busy) override {
        busyCursor = busy;
        cursorChanges.push_back(busy);
    }
    void BringToFront() override { ++broughtToFront; }
    void PrintText(const std::string& text, const std::vector<ReportFigure>& figures) override {
        if (printError) throw std::runtime_error(*printError);
        printed.push_back(text);
        printedFigures.push_back(figures);
    }
    std::string ExecutableFolder() override { return executableFolder; }
    bool ProgramIsInstalled() override { return installed; }
    std::string CurrentDirectory() override { return currentDirectory; }
    std::optional<std::string> EnvironmentVariable(const std::string& name) override {
        const auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    }

    // Script
    std::deque<MessageAnswer> answers;
    std::deque<std::optional<std::string>> openAnswers;  // nullopt: the user cancels
    std::deque<std::optional<std::string>> saveAnswers;
    std::optional<std::string> printError;
    std::string executableFolder = ".";
    bool installed = false;  // the tests run from the build tree
    std::string currentDirectory = ".";
    std::map<std::string, std::string> environment;  // empty: no home, no state folder

    // Record
    std::vector<RecordedMessage> messages;
    std::vector<FileDialogOptions> openDialogs;
    std::vector<FileDialogOptions> saveDialogs;
    std::vector<std::string> printed;
    std::vector<std::vector<ReportFigure>> printedFigures;  // the figures of each print
    std::vector<bool> cursorChanges;
    bool busyCursor = false;
    int beeps = 0;
    int broughtToFront = 0;

private:
    static std::optional<std::string> NextFileName(std::deque<std::optional<std::string>>& queue) {
        if (queue.empty()) return std::nullopt;
        auto name = queue.front();
        queue.pop_front();
        return name;
    }
};

}  // namespace quorvane::testing
