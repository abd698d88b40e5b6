#include "ui/long_step.h"

#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>

namespace quorvane {

namespace {

// Everything by which a user acts on a window: a click, a key, the wheel, a drop, a close.
bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop:
        case QEvent::Close: return true;
        default: return false;
    }
}

}  // namespace

UserInputIgnored::UserInputIgnored() { QCoreApplication::instance()->installEventFilter(this); }

UserInputIgnored::~UserInputIgnored() {
    // Input already on its way (the window system delivers it to the window that was
    // under the pointer when it was made) arrives now, and is dropped with the rest.
    QGuiApplication::sync();
    QCoreApplication::instance()->removeEventFilter(this);
}

bool UserInputIgnored::eventFilter(QObject*, QEvent* event) {
    if (!IsUserInput(event->type())) return false;
    // These come accepted: a swallowed close would still close the window, and a swallowed
    // drop would tell its source the data was taken.
    switch (event->type()) {
        case QEvent::Close:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop: event->ignore(); break;
        default: break;
    }
    return true;
}

namespace {

// Runs longStep on a worker thread while this thread handles events; rethrows here what it threw.
void RunOnWorker(const std::function<void()>& longStep) {
    std::exception_ptr error;
    std::atomic<bool> done = false;
    // The floating-point fault flags are per thread: the whole step runs on this one.
    std::jthread worker([&] {
        try {
            longStep();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        // Wakes the GUI thread's wait below.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    });
    // Events, not a nested loop: QCoreApplication::exit ends every loop, and would leave
    // the windows unpainted until the step ends.
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    if (error) std::rethrow_exception(error);
}

constexpr int kProgressSteps = 1000;
constexpr int kProgressRefreshMs = 100;
constexpr int kProgressWidth = 360;

}  // namespace

void RunLongStepWithInputIgnored(const std::function<void()>& longStep) {
    const UserInputIgnored ignored;
    RunOnWorker(longStep);
}

void LongStepWithProgress::Run(const std::function<void()>& longStep) {
    QProgressDialog dialog(label_, QStringLiteral("Cancel"), 0, kProgressSteps, parent_);
    dialog.setWindowTitle(caption_);
    dialog.setMinimumWidth(kProgressWidth);  // wide enough for its caption
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // Cancel hides the dialog at once; the step takes a moment to stop, and the windows
    // must not take input meanwhile.
    std::optional<UserInputIgnored> stopping;
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
        cancelled_ = true;
        if (!stopping) stopping.emplace();
    });
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &dialog, [&] {
        const long long total = total_, done = done_;
        if (total > 0 && !cancelled_) dialog.setValue(static_cast<int>(kProgressSteps * done / total));
    });
    refresh.start(kProgressRefreshMs);
    dialog.setValue(0);
    dialog.show();
    RunOnWorker(longStep);
}

}  // namespace quorvane
