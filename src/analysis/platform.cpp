#include "analysis/platform.h"

#include <cstdlib>

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

bool ConfirmExit(Platform& platform) {
    return platform.ShowMessage(MessageKind::Question, DefaultCaption(MessageKind::Question),
                                "Exit from program?") == MessageAnswer::Yes;
}

}  // namespace quorvane
