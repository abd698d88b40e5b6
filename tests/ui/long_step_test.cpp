#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quorvane::testing
