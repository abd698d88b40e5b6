#include "analysis/input_checks.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace quorvane {
namespace {

using testing::FakePlatform;
using testing::RecordedMessage;

const std::string kLabel1 = "Number of control participants (n) :";
const std::string kLabel2 = "Number of covariates :";

RecordedMessage Warning(const std::string& text) {
    return {MessageKind::Warning, "Warning", text};
}

// ---- ReadNumericField ----

struct FieldCase {
    std::string text;
    double value;            // when accepted
    std::string message;     // empty when accepted
};

class ReadNumericFieldTable : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ReadNumericFieldTable, ReadsOrShowsOneWarning) {
    const FieldCase& c = GetParam();
    FakePlatform platform;
    const std::optional<double> value = ReadNumericField(c.text, kLabel1, platform);
    if (c.message.empty()) {
        ASSERT_TRUE(value);
        EXPECT_DOUBLE_EQ(*value, c.value);
        EXPECT_TRUE(platform.messages.empty());
    } else {
        EXPECT_FALSE(value);
        EXPECT_EQ(platform.messages, std::vector{Warning(c.message)});
    }
    EXPECT_EQ(platform.beeps, 0);
}

const std::string kNotANumber = "\n\nEnter numeric data only.";

INSTANTIATE_TEST_SUITE_P(
    Fields, ReadNumericFieldTable,
    ::testing::Values(
        FieldCase{"12.0", 12, ""}, FieldCase{"2.5", 2.5, ""}, FieldCase{"25", 25, ""},
        FieldCase{"-1", -1, ""}, FieldCase{"0.25", 0.25, ""}, FieldCase{".", 0, ""},
        FieldCase{"2 5", 25, ""},   // pasted blanks are ignored
        FieldCase{" 25 ", 25, ""},
        FieldCase{"",
                  0,
                  "INPUT ERROR\n\n(  Number of control participants (n) :  )\n\n"
                  "Data have not been entered in this field."},
        FieldCase{"1-2", 0,
                  "INPUT ERROR\n(  Number of control participants (n) :  1-2  )" + kNotANumber},
        FieldCase{"1.2.3", 0,
                  "INPUT ERROR\n(  Number of control participants (n) :  1.2.3  )" + kNotANumber},
        // The minus must be the very first character, not the first after blanks.
        FieldCase{" -5", 0,
                  "INPUT ERROR\n(  Number of control participants (n) :   -5  )" + kNotANumber},
        FieldCase{"1a", 0,
                  "INPUT ERROR\n(  Number of control participants (n) :  1a  )" + kNotANumber}));

TEST(ReadNumericField, LonePointReadsZeroAndTheRangeRuleShowsIt) {
    FakePlatform platform;
    const std::optional<double> x = ReadNumericField(".", kLabel1, platform);
    ASSERT_TRUE(x);
    EXPECT_FALSE(CheckSampleSize(kLabel1, *x, ".", platform));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("  0.000  )"), std::string::npos);
}

// ---- Range checks ----

enum class Check { SampleSize, SampleSizeLimit, CovariateCount };

struct RangeCase {
    Check check;
    double x;
    std::string message;  // empty when the value passes
    std::string typed = "";  // the text x was read from, where it is shown
};

class RangeChecks : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeChecks, PassOrShowTheirWarning) {
    const RangeCase& c = GetParam();
    FakePlatform platform;
    bool passed = false;
    switch (c.check) {
        case Check::SampleSize: passed = CheckSampleSize(kLabel1, c.x, c.typed, platform); break;
        case Check::SampleSizeLimit: passed = CheckSampleSizeLimit(kLabel1, c.x, c.typed, platform); break;
        case Check::CovariateCount: passed = CheckCovariateCount(kLabel2, c.x, c.typed, platform); break;
    }
    if (c.message.empty()) {
        EXPECT_TRUE(passed);
        EXPECT_TRUE(platform.messages.empty());
    } else {
        EXPECT_FALSE(passed);
        EXPECT_EQ(platform.messages, std::vector{Warning(c.message)});
    }
}

const std::string kSampleRule = "\nThe value for sample size must be an integer greater than 1.";
const std::string kCovariateRule = "\nThe value must be an integer from 0 to 5.";
const std::string kLimitRule = "\nThe value for sample size must not be greater than 499.";
const std::string kNLine = "INPUT ERROR\n(  Number of control participants (n) :  ";
const std::string kKLine = "INPUT ERROR\n(  Number of covariates :  ";

INSTANTIATE_TEST_SUITE_P(
    SampleSize, RangeChecks,
    ::testing::Values(RangeCase{Check::SampleSize, 12.0, ""},
                      RangeCase{Check::SampleSize, 2, ""},
                      RangeCase{Check::SampleSize, 2.5, kNLine + "2.500  )" + kSampleRule},
                      RangeCase{Check::SampleSize, 1, kNLine + "1.000  )" + kSampleRule},
                      RangeCase{Check::SampleSize, 0, kNLine + "0.000  )" + kSampleRule},
                      RangeCase{Check::SampleSize, 3.25, kNLine + "3.250  )" + kSampleRule},
                      RangeCase{Check::SampleSize, -4, kNLine + "-4.000  )" + kSampleRule}));

INSTANTIATE_TEST_SUITE_P(
    SampleSizeLimit, RangeChecks,
    ::testing::Values(RangeCase{Check::SampleSizeLimit, 499, ""},
                      RangeCase{Check::SampleSizeLimit, 3, ""},
                      RangeCase{Check::SampleSizeLimit, 500, kNLine + "500.000  )" + kLimitRule},
                      RangeCase{Check::SampleSizeLimit, 999999,
                                kNLine + "999999.000  )" + kLimitRule},
                      RangeCase{Check::SampleSizeLimit, 1e20, kNLine + "99999999999999999999  )" + kLimitRule,
                                " 99999999999999999999"}));

INSTANTIATE_TEST_SUITE_P(
    CovariateCount, RangeChecks,
    ::testing::Values(RangeCase{Check::CovariateCount, 0, ""},
                      RangeCase{Check::CovariateCount, 5, ""},
                      RangeCase{Check::CovariateCount, 6, kKLine + "6.000  )" + kCovariateRule},
                      RangeCase{Check::CovariateCount, -1, kKLine + "-1.000  )" + kCovariateRule},
                      RangeCase{Check::CovariateCount, 1.5, kKLine + "1.500  )" + kCovariateRule}));

// ---- Typing ----

class AcceptedKeys : public ::testing::TestWithParam<char> {};

TEST_P(AcceptedKeys, PassUnchangedAndSilently) {
    FakePlatform platform;
    EXPECT_EQ(FilterNumericKey(GetParam(), platform), std::optional<char>(GetParam()));
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_TRUE(platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, AcceptedKeys,
                         ::testing::Values('\b', '\t', '\r', '-', '.', '0', '5', '9'));

class RejectedKeys : public ::testing::TestWithParam<char> {};

TEST_P(RejectedKeys, BeepAndWarn) {
    FakePlatform platform;
    EXPECT_EQ(FilterNumericKey(GetParam(), platform), std::nullopt);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(platform.messages, std::vector{Warning("INPUT ERROR\n\nEnter numeric data only.")});
}

// A blank, letters, '+', 'e', and Ctrl+V (22).
INSTANTIATE_TEST_SUITE_P(Keys, RejectedKeys,
                         ::testing::Values(' ', 'a', 'Z', '+', 'e', '\x16', '\n', '/', ':'));

TEST(FilterNumericKey, CommaBecomesFullStop) {
    FakePlatform platform;
    EXPECT_EQ(FilterNumericKey(',', platform), std::optional<char>('.'));
    EXPECT_TRUE(platform.messages.empty());
}

struct PasteCase {
    const char* pasted;
    std::optional<std::string> inserted;  // nothing: refused with one beep and warning
};

void PrintTo(const PasteCase& c, std::ostream* os) { *os << '"' << c.pasted << '"'; }

class NumericFieldPaste : public ::testing::TestWithParam<PasteCase> {};

TEST_P(NumericFieldPaste, GoesThroughTheTypingFilter) {
    FakePlatform platform;
    EXPECT_EQ(FilterPastedText(GetParam().pasted, platform), GetParam().inserted);
    const bool refused = !GetParam().inserted;
    EXPECT_EQ(platform.beeps, refused ? 1 : 0);
    EXPECT_EQ(platform.messages, refused ? std::vector{Warning("INPUT ERROR\n\nEnter numeric data only.")}
                                         : std::vector<RecordedMessage>{});
}

INSTANTIATE_TEST_SUITE_P(
    Pastes, NumericFieldPaste,
    ::testing::Values(PasteCase{"42", "42"}, PasteCase{"-3.", "-3."}, PasteCase{"1,5", "1.5"},
                      PasteCase{" 30\r\n", "30"},   // a spreadsheet's cell
                      PasteCase{"1234567", "1234567"},  // the length limit comes after
                      PasteCase{"", ""},                // an empty clipboard: nothing to refuse
                      PasteCase{"2 5", std::nullopt}, PasteCase{"1\t2", std::nullopt},
                      PasteCase{"3\n4", std::nullopt}, PasteCase{"12a", std::nullopt},
                      PasteCase{"1e2", std::nullopt}, PasteCase{"\u22121", std::nullopt},
                      PasteCase{"  ", std::nullopt}));

TEST(ApplyLengthLimit, SixCharactersStay) {
    FakePlatform platform;
    EXPECT_EQ(ApplyLengthLimit("", platform), std::nullopt);
    EXPECT_EQ(ApplyLengthLimit("123.45", platform), std::nullopt);
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_TRUE(platform.messages.empty());
}

TEST(ApplyLengthLimit, SeventhCharacterIsCutWithBeepAndWarning) {
    FakePlatform platform;
    EXPECT_EQ(ApplyLengthLimit("1234567", platform), std::optional<std::string>("123456"));
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(platform.messages, std::vector{Warning("Maximum length of input is 6 characters.")});
}

TEST(ApplyLengthLimit, CountsCharactersNotBytes) {
    FakePlatform platform;
    // Six two-byte characters fit; a seventh is cut without splitting a character.
    EXPECT_EQ(ApplyLengthLimit("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", platform), std::nullopt);
    EXPECT_EQ(ApplyLengthLimit("1\u00e92345\u00e9", platform),
              std::optional<std::string>("1\u00e92345"));
}

}  // namespace
}  // namespace quorvane
