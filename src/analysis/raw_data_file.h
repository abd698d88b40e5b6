#pragma once
// The raw data file: one line per control, then the case; each line the task score
// and the covariate scores, separated by blanks.

#include <stdexcept>
#include <string>
#include <string_view>

#include "analysis/platform.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// A file with too few lines, or a line with too few numbers.
class EDataFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fills rows 1 .. rowCount, columns 1 .. colCount of table from the file's content.
// Throws EInOutError("Invalid numeric input") for a token that is not a number, and
// EDataFileError for a file with too few lines or a line with too few numbers.
// Cells it does not fill are left as they are.
void ReadRawData(std::string_view content, int rowCount, int colCount, RawDataTable& table);

// The content of a file, up to its first 64 MiB; throws EInOutError when it cannot be read.
std::string ReadTextFile(const std::string& path);

struct RawDataLoad {
    bool loaded = false;
    std::string fileName;  // full path, when loaded
};

// Fills the table with the missing-value marker, asks for the file, reads it and
// reports the size read in an information box.
RawDataLoad LoadRawDataFile(int rowCount, int colCount, RawDataTable& table, Platform& platform);

}  // namespace quorvane
