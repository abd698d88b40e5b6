#pragma once
// The analysis's long step, run so that the windows keep painting while it works and
// the user's input during it is dropped, not queued to act after it.

#include <QObject>
#include <functional>

namespace quorvane {

// Drops the user's input to every window of the application while it exists. On the
// way out it first lets the window system catch up, so that input aimed at a window
// that has just been hidden is dropped too instead of reaching that hidden window.
class UserInputIgnored : public QObject {
public:
    UserInputIgnored();
    ~UserInputIgnored() override;
    UserInputIgnored(const UserInputIgnored&) = delete;
    UserInputIgnored& operator=(const UserInputIgnored&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Runs longStep on a worker thread while this (the GUI) thread goes on handling events,
// with the user's input ignored. Returns when longStep has returned, and rethrows here
// whatever longStep threw.
void RunLongStepWithInputIgnored(const std::function<void()>& longStep);

}  // namespace quorvane
