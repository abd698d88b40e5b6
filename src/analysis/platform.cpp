#include "analysis/platform.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quorvane {

const char* DefaultCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return "Warning";
        case MessageKind::Error: return "Error";
        case MessageKind::Information: return "Information";
        case MessageKind::Question: return "Confirm";
    }
    return "";
}

std::optional<std::string> Platform::EnvironmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool Platform::ProgramIsInstalled() { return !IsProgramsBuildFolder(ExecutableFolder()); }

bool IsProgramsBuildFolder(const std::string& folder) {
    std::error_code error;
    return std::filesystem::equivalent(folder, QUORVANE_PROGRAMS_BUILD_FOLDER, error);
}

bool ConfirmExit(Platform& platform) {
    return platform.ShowMessage(MessageKind::Question, DefaultCaption(MessageKind::Question),
                                "Exit from program?") == MessageAnswer::Yes;
}

}  // namespace quorvane
