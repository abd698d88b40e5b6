#include "numerics/fp_faults.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "numerics/errors.h"

namespace quorvane {
namespace {

// Operands the compiler cannot fold, so the faulting operations run.
struct Operands {
    volatile long double zero = 0;
    volatile long double one = 1;
    volatile long double huge = std::numeric_limits<long double>::max();
    volatile long double result = 0;
};

struct FaultCase {
    const char* name;
    std::function<void()> operations;
    const char* message;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, BecomeTheRuntimesError) {
    ClearFloatingPointFaults();
    GetParam().operations();
    try {
        RaiseFloatingPointFaults();
        FAIL() << "expected a floating-point error";
    } catch (const EMathError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
    EXPECT_NO_THROW(RaiseFloatingPointFaults());  // raising clears the flags
}

INSTANTIATE_TEST_SUITE_P(
    Table, Faults,
    ::testing::Values(
        FaultCase{"ZeroOverZero", [] { Operands o; o.result = o.zero / o.zero; }, "Invalid floating point operation"},
        FaultCase{"OneOverZero", [] { Operands o; o.result = o.one / o.zero; }, "Floating point division by zero"},
        FaultCase{"Square", [] { Operands o; o.result = o.huge * o.huge; }, "Floating point overflow"},
        // An infinity from a division by zero, then inf - inf: the division came first.
        FaultCase{"DivisionThenInvalid",
                  [] {
                      Operands o;
                      o.result = o.one / o.zero;
                      o.result = o.result - o.result;
                  },
                  "Floating point division by zero"},
        FaultCase{"OverflowThenInvalid",
                  [] {
                      Operands o;
                      o.result = o.huge * o.huge;
                      o.result = o.result - o.result;
                  },
                  "Floating point overflow"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, InexactAndUnderflowAreNotFaults) {
    ClearFloatingPointFaults();
    Operands o;
    o.result = o.one / 3;
    o.result = o.huge;
    o.result = std::numeric_limits<long double>::denorm_min() / (o.one + o.one);
    EXPECT_NO_THROW(RaiseFloatingPointFaults());
}

}  // namespace
}  // namespace quorvane
