#pragma once
// Errors of file input and output. Like the numerical library's errors they are not
// caught by the analysis: they end the action and reach the general error handler.

#include <stdexcept>
#include <string>

namespace quorvane {

// "File not found", "File access denied", "I/O error %d", "Invalid numeric input".
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error for a failed open, read, write or delete, from the system's errno value.
EInOutError InOutErrorFromErrno(int error);

}  // namespace quorvane
