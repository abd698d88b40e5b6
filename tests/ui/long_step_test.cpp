#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "numerics/fp_faults.h"
#include "support/fake_platform.h"
#include "ui/general_error_handler.h"
#include "ui/long_step.h"

namespace quorvane::testing {
namespace {

// The floating-point flags are per thread: a fault of the worker must be found there,
// and its error must reach the general error handler on the GUI thread, cursor restored.
TEST(LongStep, AFaultOnTheWorkerReachesTheGeneralErrorHandlerWithTheCursorBack) {
    FakePlatform platform;
    std::thread::id stepThread;
    RunUserAction(platform, [&] {
        const BusyCursor busy(platform);
        RunLongStepWithInputIgnored([&] {
            stepThread = std::this_thread::get_id();
            ClearFloatingPointFaults();
            volatile long double zero = 0;
            volatile long double undefined = zero / zero;
            static_cast<void>(undefined);
            RaiseFloatingPointFaults();
        });
    });

    EXPECT_NE(stepThread, std::this_thread::get_id());
    const RecordedMessage shown{MessageKind::Error, DefaultCaption(MessageKind::Error),
                                "Invalid floating point operation"};
    EXPECT_EQ(platform.messages, std::vector<RecordedMessage>{shown});
    EXPECT_EQ(platform.cursorChanges, (std::vector<bool>{true, false}));
}

// While the step runs, a drag over a window and its drop are swallowed and refused, so
// that the source is told the data was not taken.
TEST(LongStep, DragAndDropAreSwallowedAndRefused) {
    QLineEdit field;
    QMimeData data;
    data.setText(QStringLiteral("dropped"));
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDragLeaveEvent leave;
    UserInputIgnored ignored;
    QObject& filter = ignored;  // the filter as the application calls it
    for (QEvent* event : std::initializer_list<QEvent*>{&enter, &move, &drop, &leave}) {
        event->accept();
        EXPECT_TRUE(filter.eventFilter(&field, event)) << event->type();
        EXPECT_FALSE(event->isAccepted()) << event->type();
    }
}

// QCoreApplication::exit ends every event loop; the windows must still be served until
// the step ends, not left waiting on it.
TEST(LongStep, TheGuiThreadStillHandlesEventsAfterTheProgramsLoopIsAskedToEnd) {
    std::atomic<bool> served = false, servedDuringStep = false;
    QTimer::singleShot(0, qApp, [&] {
        RunLongStepWithInputIgnored([&] {
            QTimer::singleShot(0, qApp, [&] {
                QCoreApplication::exit(0);
                QTimer::singleShot(20, qApp, [&] { served = true; });
            });
            for (int i = 0; i < 200 && !served; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            servedDuringStep = served.load();
        });
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(servedDuringStep);
}

}  // namespace
}  // namespace quorvane::testing
