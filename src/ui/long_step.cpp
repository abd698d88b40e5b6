#include "ui/long_step.h"

#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <atomic>
#include <exception>
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

void RunLongStepWithInputIgnored(const std::function<void()>& longStep) {
    const UserInputIgnored ignored;
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

}  // namespace quorvane
