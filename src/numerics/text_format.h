#pragma once
// printf-style formatting of report and message lines, independent of the C locale:
// the decimal separator is always the one passed in.

#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace quorvane {

using FormatArg = std::variant<int, long double>;

// Formats a template that uses %d, %wd, %w.df (also %.df and %f) and %%, taking the
// arguments in order. Reals are written with their exact binary value rounded to d
// decimals, right-aligned in at least w characters; nothing is ever cut.
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args,
                       char decimalSeparator = '.');

// One real as %w.df would write it.
std::string FormatFixed(long double x, int width, int decimals, char decimalSeparator = '.');

}  // namespace quorvane
