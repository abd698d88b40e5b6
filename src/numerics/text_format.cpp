#include "numerics/text_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>

namespace quorvane {

namespace {

std::string PadLeft(std::string text, int width) {
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
    return text;
}

// Reads the digits at format[pos...], advancing pos; -1 when there are none.
int ReadCount(std::string_view format, std::size_t& pos) {
    int value = -1;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        value = (value < 0 ? 0 : value * 10) + (format[pos] - '0');
        ++pos;
    }
    return value;
}

}  // namespace

std::string FormatFixed(long double x, int width, int decimals, char decimalSeparator) {
    // 4933 decimal digits before the point at most, plus the decimals and the sign.
    std::array<char, 5000> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc()) throw std::length_error("number too long to format");
    std::string text(buffer.data(), end);
    if (const auto point = text.find('.'); point != std::string::npos) text[point] = decimalSeparator;
    return PadLeft(std::move(text), width);
}

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args,
                       char decimalSeparator) {
    std::string out;
    auto next = args.begin();
    for (std::size_t pos = 0; pos < format.size(); ++pos) {
        if (format[pos] != '%') {
            out += format[pos];
            continue;
        }
        ++pos;
        if (pos < format.size() && format[pos] == '%') {
            out += '%';
            continue;
        }
        const int width = ReadCount(format, pos);
        int decimals = 6;
        if (pos < format.size() && format[pos] == '.') {
            ++pos;
            decimals = std::max(0, ReadCount(format, pos));
        }
        if (pos >= format.size() || next == args.end())
            throw std::invalid_argument("format and arguments do not match");
        const FormatArg& arg = *next++;
        if (format[pos] == 'd') {
            out += PadLeft(std::to_string(std::get<int>(arg)), width);
        } else if (format[pos] == 'f') {
            const long double x = std::holds_alternative<int>(arg) ? std::get<int>(arg)
                                                                   : std::get<long double>(arg);
            out += FormatFixed(x, width, decimals, decimalSeparator);
        } else {
            throw std::invalid_argument("unsupported conversion in format");
        }
    }
    return out;
}

}  // namespace quorvane
