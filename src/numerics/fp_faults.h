#pragma once
// Floating-point faults become exceptions. The unit's sticky flags record invalid
// operations, divisions by zero and overflows; a routine that can fault calls
// RaiseFloatingPointFaults before its results leave it, so no infinity or NaN ever
// reaches a report. The flags are per thread.

namespace quorvane {

// Clears the flags of the three faults; a computation that starts from foreign code
// (the GUI toolkit, the C library's number parsing) calls it first.
void ClearFloatingPointFaults();

// Throws EZeroDivide, EOverflow or EInvalidOp, in that order of precedence (the order
// in which one fault can lead to another), when the matching flag is set, clearing the
// flags first; otherwise returns.
void RaiseFloatingPointFaults();

}  // namespace quorvane
