#include "numerics/text_format.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct FormatCase {
    const char* format;
    std::vector<FormatArg> args;
    char separator;
    const char* expected;
};

class Format : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Format, WritesWhatPrintfWould) {
    const FormatCase& c = GetParam();
    std::string text;
    switch (c.args.size()) {
        case 0: text = FormatText(c.format, {}, c.separator); break;
        case 1: text = FormatText(c.format, {c.args[0]}, c.separator); break;
        case 2: text = FormatText(c.format, {c.args[0], c.args[1]}, c.separator); break;
        default: text = FormatText(c.format, {c.args[0], c.args[1], c.args[2]}, c.separator); break;
    }
    EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Format,
    ::testing::Values(
        FormatCase{"%2d|%2d", {3, 1}, '.', " 3| 1"},
        FormatCase{"[%4d", {12}, '.', "[  12"},
        FormatCase{"%2d", {123}, '.', "123"},                           // never cut
        FormatCase{"%2.5f ", {0.027L}, '.', "0.02700 "},
        FormatCase{"%2.4f%%", {97.3L}, '.', "97.3000%"},
        FormatCase{"%2.3f", {-2.3449L}, '.', "-2.345"},
        FormatCase{"%12.5f", {-99999.999L}, '.', "-99999.99900"},      // fills the field exactly
        FormatCase{"%11.3f", {1.5L}, ',', "      1,500"},
        FormatCase{"%3.3f", {2.5L}, '.', "2.500"},
        FormatCase{"%3.3f", {-1}, '.', "-1.000"},                      // an int for %f
        FormatCase{"%5.5f", {0.0L}, '.', "0.00000"},
        FormatCase{"%.2f and %d%%", {0.125L, 5}, '.', "0.12 and 5%"},  // ties go to even
        FormatCase{"no conversions", {}, '.', "no conversions"}));

TEST(FormatFixed, LargeNumbersArePrintedInFull) {
    EXPECT_EQ(FormatFixed(1e20L, 5, 1), "100000000000000000000.0");
}

TEST(FormatText, MismatchedArgumentsAreAProgrammingError) {
    EXPECT_THROW(FormatText("%d %d", {1}), std::invalid_argument);
    EXPECT_THROW(FormatText("%s", {1}), std::invalid_argument);
}

}  // namespace
}  // namespace quorvane
