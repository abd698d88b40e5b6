#include "ui/general_error_handler.h"

#include <exception>

namespace quorvane {

void RunUserAction(Platform& platform, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error), error.what());
    } catch (...) {
        platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error),
                             "An unknown error ended the action.");
    }
}

}  // namespace quorvane
