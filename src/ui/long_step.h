#pragma once
// The analysis's long step, run so that the windows keep painting while it works and
// the user's input during it is dropped, not queued to act after it.

#include <functional>

namespace quorvane {

// Runs longStep on a worker thread while this (the GUI) thread goes on handling events,
// except the user's input to any window, which it drops. Returns when longStep has
// returned, and rethrows here whatever longStep threw.
void RunLongStepWithInputIgnored(const std::function<void()>& longStep);

}  // namespace quorvane
