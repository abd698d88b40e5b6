#pragma once
// The analysis's long step, run so that the windows keep painting while it works and
// the user's input during it is dropped, not queued to act after it.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <utility>

class QWidget;

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

// A long step whose progress the user watches and may cancel: a modal progress dialog over
// parent, with Cancel, while longStep runs on a worker thread and this thread handles
// events. longStep reports through Report (from any thread) and stops soon after Cancelled
// turns true; after Cancel the user's input is ignored until it has stopped.
class LongStepWithProgress {
public:
    LongStepWithProgress(QWidget* parent, QString caption, QString label)
        : parent_(parent), caption_(std::move(caption)), label_(std::move(label)) {}

    // Returns when longStep has returned, and rethrows here whatever longStep threw.
    void Run(const std::function<void()>& longStep);
    void Report(long long done, long long total) {
        total_ = total;
        done_ = done;
    }
    const std::atomic<bool>* Cancelled() const { return &cancelled_; }

private:
    QWidget* parent_;
    QString caption_, label_;
    std::atomic<long long> done_ = 0, total_ = 0;
    std::atomic<bool> cancelled_ = false;
};

}  // namespace quorvane
