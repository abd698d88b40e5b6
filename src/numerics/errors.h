#pragma once
// The typed errors of the numerical library. Nothing in the library catches them:
// they end the action in progress and reach the caller's general error handler.

#include <stdexcept>
#include <string>

namespace quorvane {

// A distribution parameter or special-function argument outside its domain.
class EArgumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A floating-point fault: the operation would have produced an infinity or a NaN.
class EMathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};

class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};

class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
};

// A matrix that really is singular or not positive definite, found where the
// computation cannot go on without meaningless numbers.
class EMatrixError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvane
