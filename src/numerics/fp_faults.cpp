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
    if (raised & FE_INVALID) throw EInvalidOp();
    if (raised & FE_DIVBYZERO) throw EZeroDivide();
    throw EOverflow();
}

}  // namespace quorvane
