#include "analysis/platform.h"

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

bool ConfirmExit(Platform& platform) {
    return platform.ShowMessage(MessageKind::Question, DefaultCaption(MessageKind::Question),
                                "Exit from program?") == MessageAnswer::Yes;
}

}  // namespace quorvane
