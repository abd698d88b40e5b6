#include "io/text_input.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

namespace quorvane {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::string> NotPlainText(std::string_view content) {
    using namespace std::string_view_literals;
    // UTF-32's little-endian mark starts as UTF-16's does, so it is looked for first.
    static constexpr std::array<std::pair<std::string_view, const char*>, 4> kMarks = {{
        {"\xFF\xFE\x00\x00"sv, "UTF-32 text (little-endian)"},
        {"\x00\x00\xFE\xFF"sv, "UTF-32 text (big-endian)"},
        {"\xFF\xFE"sv, "UTF-16 text (little-endian)"},
        {"\xFE\xFF"sv, "UTF-16 text (big-endian)"},
    }};
    const std::string remedy = "; save it as plain text (UTF-8 or ASCII)";
    for (const auto& [mark, encoding] : kMarks)
        if (content.starts_with(mark)) return "it is " + std::string(encoding) + ", not plain text" + remedy;
    if (content.find('\0') != std::string_view::npos)
        return "it is not a plain text file (it holds NUL bytes, as UTF-16 \"Unicode text\" and binary files do)" +
               remedy;
    return std::nullopt;
}

std::string Untypeset(std::string_view text) {
    // The characters of typeset numbers that stand for plain ones, as UTF-8.
    static constexpr std::array<std::pair<std::string_view, char>, 6> kTypeset = {{
        {"\u2212", '-'},  // minus sign
        {"\u00a0", ' '},  // no-break space
        {"\u2007", ' '},  // figure space
        {"\u2009", ' '},  // thin space
        {"\u200a", ' '},  // hair space
        {"\u202f", ' '},  // narrow no-break space
    }};
    std::string plain;
    for (std::size_t at = 0; at < text.size();) {
        const auto typeset = std::find_if(kTypeset.begin(), kTypeset.end(),
                                          [&](const auto& entry) { return text.substr(at).starts_with(entry.first); });
        if (typeset == kTypeset.end()) {
            plain += text[at++];
        } else {
            plain += typeset->second;
            at += typeset->first.size();
        }
    }
    return plain;
}

std::string_view WithoutByteOrderMark(std::string_view content) {
    if (content.starts_with(kUtf8ByteOrderMark)) content.remove_prefix(kUtf8ByteOrderMark.size());
    return content;
}

bool InNumberRange(long double value) {
    const long double size = std::fabs(value);
    return size == 0 || (size >= DBL_MIN && size <= DBL_MAX);
}

bool LineReader::Next(std::string_view& line) {
    if (rest_.empty()) return false;
    std::size_t end = 0;
    while (end < rest_.size() && !IsLineEnd(rest_[end])) ++end;
    line = rest_.substr(0, end);
    std::size_t next = end;
    if (next < rest_.size()) {
        const bool crlf = rest_[next] == '\r' && next + 1 < rest_.size() && rest_[next + 1] == '\n';
        next += crlf ? 2 : 1;
    }
    rest_.remove_prefix(next);
    ++lineNumber_;
    return true;
}

}  // namespace quorvane
