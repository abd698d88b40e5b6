// Arbitrary bytes into the raw data reader. The first three bytes choose the table
// size (rows 1 .. 500, columns 1 .. 20); the rest is the file's content. Besides not
// crashing, the reader must either refuse the file with one of its own errors or fill
// every wanted cell with a finite number, touch no other cell, name every column or
// none, and leave no floating-point fault flag behind.

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "io/io_errors.h"
#include "analysis/raw_data_file.h"

namespace {

using namespace quorvane;

constexpr long double kUntouched = std::numeric_limits<long double>::quiet_NaN();

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// Fills the table with NaN and reads; false when the reader refused the content.
bool Read(std::string_view content, int rows, int cols, RawDataTable& table) {
    for (int r = 1; r <= kMaxRows; ++r)
        for (int c = 1; c <= kMaxVars; ++c) table(r, c) = kUntouched;
    try {
        const RawDataLayout layout = ReadRawData(content, rows, cols, table);
        Require(layout.names.empty() || static_cast<int>(layout.names.size()) == cols);
        // No control character; at most 40 characters of up to 4 bytes (or escapes) and "...".
        const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
        for (const std::string& name : layout.names)
            Require(name.size() <= 163 && std::none_of(name.begin(), name.end(), control));
        return true;
    } catch (const EInOutError&) {
    } catch (const EDataFileError&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int rows = 1 + ((data[0] << 8) | data[1]) % kMaxRows;
    const int cols = 1 + data[2] % kMaxVars;
    const std::string_view content(reinterpret_cast<const char*>(data + 3), size - 3);

    static RawDataTable table;
    std::feclearexcept(FE_ALL_EXCEPT);
    const bool read = Read(content, rows, cols, table);
    Require(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) == 0);
    if (!read) return 0;
    for (int r = 1; r <= kMaxRows; ++r)
        for (int c = 1; c <= kMaxVars; ++c)
            Require(r <= rows && c <= cols ? std::isfinite(table(r, c)) : std::isnan(table(r, c)));

    // Fewer columns read the same leading numbers of the same lines; only one column of a
    // comma file without a header is refused, as its commas may be decimal commas.
    if (cols > 1) {
        static RawDataTable narrow;
        const long double first = table(rows, 1);
        if (Read(content, rows, 1, narrow))
            Require(narrow(rows, 1) == first);
        else
            Require(content.find(',') != std::string_view::npos);
    }
    return 0;
}
