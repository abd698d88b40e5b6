#pragma once
// What the readers of the user's text share: only plain text is read, a UTF-8 byte order
// mark is skipped, a line ends at CR LF, LF or CR, and numbers lie in the range of a double.

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Why content is not plain text, or nothing: a UTF-16 or UTF-32 byte order mark, named
// with its encoding, or a NUL byte, which plain text never holds but UTF-16 text without
// a mark does, every other byte. Read as plain text, such a file would give numbers that
// are not in it. The reason ends in what to do.
std::optional<std::string> NotPlainText(std::string_view content);

// The text (UTF-8) as typed where it was typeset: the minus sign (U+2212) as '-', and the
// no-break, figure, thin, hair and narrow no-break spaces as blanks.
std::string Untypeset(std::string_view text);

// content without the UTF-8 byte order mark that some editors put at its start.
std::string_view WithoutByteOrderMark(std::string_view content);

// Whether a number read from the user's text is one the programs take: 0, or a size within
// the normal range of a double (from about 2.2e-308 to 1.8e308). The reports print numbers
// in full and the JSON report holds doubles: a larger number would print as hundreds of
// digits and could not be written as JSON, and a smaller one would turn into 0.
bool InNumberRange(long double value);
// The refusal's words for a number beyond that range, after the number or "The number".
inline constexpr std::string_view kOutOfRange =
    "is out of range: numbers other than 0 must lie between about 1e-308 and 1e308 in size.";

// Walks the content line by line; a line ends at CR LF, LF or CR, the last one at the end
// of the content too.
class LineReader {
public:
    explicit LineReader(std::string_view content) : rest_(content) {}

    // The next line, without its end; false when none is left.
    bool Next(std::string_view& line);
    // The number of the line Next gave last, as an editor counts it.
    int LineNumber() const { return lineNumber_; }

private:
    std::string_view rest_;
    int lineNumber_ = 0;
};

}  // namespace quorvane
