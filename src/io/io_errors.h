#pragma once
// Errors of file input and output. Like the numerical library's errors they are not
// caught by the analysis: they end the action and reach the general error handler.

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane {

// A file that cannot be read or written, or data that cannot be read as numbers.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<failure>: <reason>", e.g. The data file "/a/b.txt" cannot be read: No such file or directory
EInOutError InOutError(const std::string& failure, const std::string& reason);

// The same with the system's description of an errno value as the reason.
EInOutError InOutErrorFromErrno(const std::string& failure, int error);

// The well-formed UTF-8 sequence that starts a non-empty text: its length in bytes and
// its code point; length 0 for an invalid sequence (a stray or missing continuation
// byte, an overlong form, a surrogate, a code point above U+10FFFF).
struct Utf8Character {
    std::size_t length = 0;
    unsigned long codePoint = 0;
};
Utf8Character DecodeUtf8(std::string_view text);

// Text from a file or a file name, in double quotes, safe to show in a message: control
// characters and bytes that are not UTF-8 appear as \xNN, and a text longer than
// maxCharacters is cut there and ends in "...".
std::string Quoted(std::string_view text,
                   std::size_t maxCharacters = std::numeric_limits<std::size_t>::max());

}  // namespace quorvane
