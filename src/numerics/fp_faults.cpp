#include "numerics/fp_faults.h"

#include <cfenv>

#include "numerics/errors.h"

namespace quorvane {

namespace {
constexpr int kFaults = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
}

void ClearFloatingPointFaults() { std::feclearexcept(kFaults); }

void RaiseFloatingPointFaults() {
    const int raised = std::fetestexcept(kFaults);
    if (raised == 0) return;
    std::feclearexcept(kFaults);
    // A division by zero or an overflow leaves an infinity that later arithmetic may
    // turn into a NaN, never the other way round: they came first.
    if (raised & FE_DIVBYZERO) throw EZeroDivide();
    if (raised & FE_OVERFLOW) throw EOverflow();
    throw EInvalidOp();
}

}  // namespace quorvane
