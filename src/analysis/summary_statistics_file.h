#pragma once
// The statistics file of the companion program: a published table typed once, saved and
// opened again. Plain text, one item per line:
//
//   quorvane-statistics 1
//   # a comment; blank lines and lines starting with '#' are ignored
//   n 30
//   k 1
//   means 31.333 13.1
//   sds 6.804 3.346
//   case 15 17
//   correlations 0.72091
//
// The first line names the format and its version. Then each key once, in any order,
// followed by its values separated by blanks or tabs: n and k one whole number each,
// written in digits only (k from 0 to 5); means, sds and case k + 1 values, the task of interest first;
// correlations the k (k + 1) / 2 values of the lower triangle of the correlation matrix,
// row by row (r21; r31 r32; ...), a line that a table without any may leave out. Every
// other value is a finite number with a full stop as the decimal point. Lines may end in
// LF, CR LF or CR; typeset blanks and minus signs (a no-break space, U+2212) read as
// typed ones. The values are kept as written, so that the window shows them as they
// were typed; whether they make a valid analysis is checked at Compute.
//
// Version 2 adds the key test, "deficit" or "dissociation", which it requires. A
// dissociation's lists hold p = k + 2 values, task 1 and task 2 first, and its
// correlations the p (p - 1) / 2 of the lower triangle over all p variables. A deficit's
// table is written as version 1, which older releases read.

#include <stdexcept>
#include <string>

#include "analysis/analysis_types.h"

namespace quorvane {

struct StatisticsTable {
    std::string n;
    std::string k;
    SummaryEntries entries;
    AnalysisTest test = AnalysisTest::Deficit;
    bool operator==(const StatisticsTable&) const = default;
};

// A statistics file that does not follow the format; the message names the line.
class EStatisticsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kStatisticsFileHeader = "quorvane-statistics 1";
inline constexpr const char* kStatisticsFileHeader2 = "quorvane-statistics 2";

// The file's text for a table whose values are single words (no blanks).
std::string FormatStatisticsFile(const StatisticsTable& table);
// Throws EStatisticsFileError for text that does not follow the format.
StatisticsTable ParseStatisticsFile(const std::string& text);
// Reads and parses the file; EInOutError when it cannot be read or is larger than
// kMaxTextFileBytes, far larger than any statistics file.
StatisticsTable ReadStatisticsFile(const std::string& path);

}  // namespace quorvane
