#include <gtest/gtest.h>

#include <functional>

#include "io/io_errors.h"
#include "numerics/errors.h"
#include "support/fake_platform.h"
#include "ui/general_error_handler.h"

namespace quorvane {
namespace {

struct ErrorCase {
    const char* name;
    std::function<void()> action;
    std::vector<testing::RecordedMessage> shown;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class GeneralErrorHandler : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(GeneralErrorHandler, ShowsWhatEndedTheActionAndReturns) {
    testing::FakePlatform platform;
    EXPECT_NO_THROW(RunUserAction(platform, GetParam().action));
    EXPECT_EQ(platform.messages, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GeneralErrorHandler,
    ::testing::Values(
        ErrorCase{"NoError", [] {}, {}},
        ErrorCase{"FileError", [] { throw EInOutError("File access denied"); },
                  {{MessageKind::Error, "Error", "File access denied"}}},
        ErrorCase{"FloatingPointFault", [] { throw EInvalidOp(); },
                  {{MessageKind::Error, "Error", "Invalid floating point operation"}}},
        ErrorCase{"ArgumentError", [] { throw EArgumentError("Argument too large"); },
                  {{MessageKind::Error, "Error", "Argument too large"}}},
        ErrorCase{"ForeignException", [] { throw 42; },
                  {{MessageKind::Error, "Error", "An unknown error ended the action."}}}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
