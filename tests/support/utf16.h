#pragma once
// Text as a spreadsheet saves it as "Unicode text": UTF-16, little-endian, without a byte
// order mark unless one is put before it.

#include <string>
#include <string_view>

namespace quorvane::testing {

inline std::string Utf16LittleEndian(std::string_view ascii) {
    std::string bytes;
    for (const char c : ascii) bytes += {c, '\0'};
    return bytes;
}

}  // namespace quorvane::testing
