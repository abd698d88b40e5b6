#include "ui/long_step.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <exception>
#include <thread>

namespace quorvane {

namespace {

// Everything by which a user acts on a window: a click, a key, the wheel, a close.
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
        case QEvent::Close: return true;
        default: return false;
    }
}

// Drops the user's input to every object of the application while it exists.
class InputIgnored : public QObject {
public:
    InputIgnored() { qApp->installEventFilter(this); }
    ~InputIgnored() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (!IsUserInput(event->type())) return false;
        // A close event comes accepted, and a swallowed one would still close the window.
        if (event->type() == QEvent::Close) event->ignore();
        return true;
    }
};

}  // namespace

void RunLongStepWithInputIgnored(const std::function<void()>& longStep) {
    const InputIgnored ignored;
    QEventLoop loop;
    std::exception_ptr error;
    // The floating-point fault flags are per thread: the whole step runs on this one.
    std::thread worker([&] {
        try {
            longStep();
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    // Input that reached the program as the step ended is dropped with the rest.
    QCoreApplication::processEvents();
    if (error) std::rethrow_exception(error);
}

}  // namespace quorvane
