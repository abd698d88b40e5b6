#pragma once
// The raw data file: one line per control, then the case (or the m cases of a series);
// each line the task score and the covariate scores, separated by blanks, by commas or by
// semicolons, with a header line of the columns' names if the file has one.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// A file with too few lines, or a line with too few numbers.
class EDataFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How the numbers of a line are separated. A semicolon file writes its decimal point as
// a comma, as spreadsheets save it where the comma is the decimal point.
enum class FieldSeparator { Blanks, Commas, Semicolons };

// Where the rows read lay in the file, and what it held beyond them. Line numbers count
// every line of the file, blank ones included.
struct RawDataLayout {
    int caseLine = 0;              // the line of the last row read: the (last) case's
    std::vector<int> caseLines;    // each case's line, in order
    int numberLines = 0;           // lines that start with a number, unread ones included
    int longLines = 0;             // lines read that hold more numbers than were read
    int firstLongLine = 0;         // the first of them,
    int firstLongLineNumbers = 0;  // and how many numbers it holds
    int textLines = 0;             // lines read that hold text, not a number, after the numbers read
    int firstTextLine = 0;         // the first of them,
    std::string firstText;         // and that text
    FieldSeparator separator = FieldSeparator::Blanks;  // decided once for the file
    int headerLine = 0;                      // the header's line; 0 when the file has none
    std::vector<std::string> names;          // the header's names of the columns read, safe to show
};

// Reads rowCount rows, columns 1 .. colCount, from the file's content: the controls, then
// caseCount cases. The first taskCount columns are tasks, the rest covariates. The table
// receives the controls and the first case (rows 1 .. rowCount - caseCount + 1); cases,
// when given, receives every case's row. Throws EInOutError ("Invalid
// numeric input on line ...") for a token that is not a number, and EDataFileError for a
// file with too few lines or a line with too few numbers, a missing value, or separators
// mixed. Cells it does not fill are left as they are.
RawDataLayout ReadRawData(std::string_view content, int rowCount, int colCount, RawDataTable& table,
                          int taskCount = 1, int caseCount = 1, std::vector<tVector>* cases = nullptr);

// The most of a file that is read: a huge file chosen by mistake must not fill memory.
constexpr std::size_t kMaxTextFileBytes = 64u << 20;
// What a reader does with a file larger than that: the data file's first 64 MiB hold far
// more lines than the data need, and the rest is surplus; a file with a table of a few
// lines cannot be read in part.
enum class BeyondSizeLimit { ReadTheStart, Refuse };

// The content of a regular file of plain text, up to its first kMaxTextFileBytes; throws
// EInOutError, naming the file ("The data file" by default) and the reason, when it
// cannot be read, is not a regular file, is larger than that where beyond refuses it, or
// is not plain text.
std::string ReadTextFile(const std::string& path, const std::string& fileKind = "The data file",
                         BeyondSizeLimit beyond = BeyondSizeLimit::ReadTheStart);

struct RawDataLoad {
    bool loaded = false;
    std::string fileName;  // full path, when loaded
    int caseLine = 0;      // the case's line in the file, when loaded (of a series, the last case's)
    std::vector<int> caseLines;  // each case's line
    std::vector<tVector> cases;  // each case's scores
    std::vector<std::string> names;  // the header's names of the columns, when it has one
};

// Fills the table with the missing-value marker, asks for the file unless one is named,
// reads rowCount rows (the controls, then caseCount cases) and reports the size read in
// an information box, with a note when the file holds more lines or numbers than were read.
RawDataLoad LoadRawDataFile(int rowCount, int colCount, RawDataTable& table, Platform& platform,
                            int taskCount = 1, const RawDataFile& file = {}, int caseCount = 1);

}  // namespace quorvane
