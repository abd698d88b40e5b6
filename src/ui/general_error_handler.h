#pragma once
// The application's general error handler. The analysis does not catch the errors of
// file input and output, floating-point faults or EArgumentError: they end the user's
// action and arrive here. Every window handler runs its body through RunUserAction,
// because an exception must not unwind through Qt's event dispatch.

#include <functional>

#include "analysis/platform.h"

namespace quorvane {

// Runs one user action. An exception that escapes it ends the action; its message is
// shown in a modal error box and the program goes on.
void RunUserAction(Platform& platform, const std::function<void()>& action);

}  // namespace quorvane
