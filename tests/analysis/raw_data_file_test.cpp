#include "analysis/raw_data_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/io_errors.h"
#include "support/fake_platform.h"
#include "support/scratch_folder.h"
#include "support/utf16.h"

namespace quorvane {
namespace {

using testing::FakePlatform;
using testing::RecordedMessage;
using Rows = std::vector<std::vector<long double>>;
using ::testing::StartsWith;

RawDataTable MissingTable() {
    RawDataTable table;
    for (int r = 1; r <= kMaxRows; ++r)
        for (int c = 1; c <= kMaxVars; ++c) table(r, c) = kMissingValue;
    return table;
}

RawDataTable Read(std::string_view content, int rows, int cols) {
    RawDataTable table = MissingTable();
    ReadRawData(content, rows, cols, table);
    return table;
}

// The first rows.size() rows of the table, rows[0].size() columns wide.
Rows Block(const RawDataTable& table, int rows, int cols) {
    Rows out(rows, std::vector<long double>(cols));
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) out[r - 1][c - 1] = table(r, c);
    return out;
}

// The message of the error that reading throws; empty when nothing is thrown.
template <class Error>
std::string ErrorOf(std::string_view content, int rows, int cols, int tasks = 1) {
    RawDataTable table = MissingTable();
    try {
        ReadRawData(content, rows, cols, table, tasks);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

const Rows kExampleRows = {{10, 40}, {12, 38}, {11, 45}, {6, 50}};

// ---- Line ends ----

class LineEnds : public ::testing::TestWithParam<std::string> {};

TEST_P(LineEnds, AllGiveTheSameTable) {
    const std::string& eol = GetParam();
    const std::string content = "10 40" + eol + "12 38" + eol + "11 45" + eol + "6 50" + eol;
    EXPECT_EQ(Block(Read(content, 4, 2), 4, 2), kExampleRows);
}

INSTANTIATE_TEST_SUITE_P(CrLfLfCr, LineEnds, ::testing::Values("\r\n", "\n", "\r"));

TEST(ReadRawData, MixedLineEndsAndNoFinalLineEnd) {
    EXPECT_EQ(Block(Read("10 40\r\n12 38\n11 45\r6 50", 4, 2), 4, 2), kExampleRows);
}

// ---- What is read and what is ignored ----

TEST(ReadRawData, TabsRunsOfBlanksAndControlCharactersSeparate) {
    const Rows expected = {{1, 2, 3}};
    EXPECT_EQ(Block(Read("1\t2   3", 1, 3), 1, 3), expected);
    EXPECT_EQ(Block(Read("  \t1 \t 2\v\f3\t", 1, 3), 1, 3), expected);
    EXPECT_EQ(Block(Read(std::string("1\0\x01" "2\x1f" "3", 6), 1, 3), 1, 3), expected);
}

TEST(ReadRawData, SurplusNumbersAreIgnoredUnread) {
    // k = 1: the third number is neither stored nor checked.
    const RawDataTable table = Read("10 40 99\n12 38 not-a-number\n", 2, 2);
    EXPECT_EQ(Block(table, 2, 2), (Rows{{10, 40}, {12, 38}}));
    EXPECT_EQ(table(1, 3), kMissingValue);
    EXPECT_EQ(table(2, 3), kMissingValue);
}

TEST(ReadRawData, SurplusLinesAreIgnoredUnread) {
    const RawDataTable table = Read("1 2\n3 4\nrubbish, 1e99999\n7 8\n", 2, 2);
    EXPECT_EQ(Block(table, 2, 2), (Rows{{1, 2}, {3, 4}}));
    EXPECT_EQ(table(3, 1), kMissingValue);
}

TEST(ReadRawData, BlankLinesAreSkippedAnywhere) {
    const std::string content = "\r\n \t\r\n10 40\r\n\r\n12 38\n   \n\n11 45\r\r6 50\r\n\r\n  \r\n";
    EXPECT_EQ(Block(Read(content, 4, 2), 4, 2), kExampleRows);
}

TEST(ReadRawData, ByteOrderMarkAtTheStartIsSkipped) {
    EXPECT_EQ(Block(Read("\xEF\xBB\xBF" "10 40\n12 38\n11 45\n6 50\n", 4, 2), 4, 2), kExampleRows);
    // Anywhere else it is part of a token.
    EXPECT_EQ(ErrorOf<EInOutError>("10 40\n\xEF\xBB\xBF" "12 38\n", 2, 2),
              "Invalid numeric input on line 2 of the data file: \"\\xEF\\xBB\\xBF12\"");
}

TEST(ReadRawData, CtrlZEndsTheData) {
    const RawDataTable table = Read("1 2\n3 4\x1a\n5 6\n", 2, 2);
    EXPECT_EQ(Block(table, 2, 2), (Rows{{1, 2}, {3, 4}}));
    // Even inside a token, and whatever follows it.
    EXPECT_EQ(Block(Read("1 2\x1a" "5\nrubbish", 1, 2), 1, 2), (Rows{{1, 2}}));
    EXPECT_EQ(ErrorOf<EDataFileError>("1 2\n\x1a" "3 4\n", 2, 2),
              "The data file holds 1 line of data; 2 are needed (1 control and the case).");
}

TEST(ReadRawData, NonAsciiBytesAreNotSeparators) {
    // A Latin-1 no-break space (0xA0) between digits makes one bad token, not two numbers.
    EXPECT_EQ(ErrorOf<EInOutError>("10\xA0" "40", 1, 2),
              "Invalid numeric input on line 1 of the data file: \"10\\xA040\"");
}

// ---- Too few lines or numbers ----

struct ShortCase {
    std::string content;
    int rows, cols;
    std::string message;
    int tasks = 1;
};

class ShortData : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ShortData, IsRefusedWithLineAndCounts) {
    const ShortCase& c = GetParam();
    EXPECT_EQ(ErrorOf<EDataFileError>(c.content, c.rows, c.cols, c.tasks), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ShortData,
    ::testing::Values(
        ShortCase{"10 40\r\n12 38\r\n11 45\r\n", 4, 2,
                  "The data file holds 3 lines of data; 4 are needed (3 controls and the case)."},
        ShortCase{"", 4, 2,
                  "The data file holds 0 lines of data; 4 are needed (3 controls and the case)."},
        ShortCase{" \r\n\t\r\n", 1, 2,
                  "The data file holds 0 lines of data; 1 is needed (the case)."},
        ShortCase{"10 40\r\n12 38\r\n11 45\r\n6\r\n", 4, 2,
                  "Line 4 of the data file holds 1 number; 2 are needed (the task score and 1 "
                  "covariate score)."},
        // The last line, without a line end but with trailing blanks: no 0 is invented.
        ShortCase{"1 2 3\n4 5 6\n7 8  ", 3, 3,
                  "Line 3 of the data file holds 2 numbers; 3 are needed (the task score and 2 "
                  "covariate scores)."},
        // Numbers are never taken from the next line.
        ShortCase{"10 \n12 38\n", 2, 2,
                  "Line 1 of the data file holds 1 number; 2 are needed (the task score and 1 "
                  "covariate score)."},
        // Line numbers count the blank lines, as an editor shows them.
        ShortCase{"\n1 2 3 4 5 6\n\n\n1 2 3 4\n", 2, 6,
                  "Line 5 of the data file holds 4 numbers; 6 are needed (the task score and 5 "
                  "covariate scores)."},
        ShortCase{"1\n2\n", 3, 1,
                  "The data file holds 2 lines of data; 3 are needed (2 controls and the case)."},
        // A dissociation's lines hold two task scores.
        ShortCase{"1 2 3 4\n5 6 7\n", 2, 4,
                  "Line 2 of the data file holds 3 numbers; 4 are needed (the two task scores and 2 covariate "
                  "scores).",
                  2}));

TEST(ReadRawData, LinesOfLineFeedsAloneAreNotOneLongLine) {
    // Read as a single line, the numbers would fill row 1 and the rest would be missing.
    EXPECT_EQ(ErrorOf<EDataFileError>("10 40\n12 38\n11 45\n", 4, 2),
              "The data file holds 3 lines of data; 4 are needed (3 controls and the case).");
}

// ---- Numbers ----

struct TokenCase {
    std::string token;
    long double value;
};

class ValidTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ValidTokens, ReadAsDecimalNumbers) {
    const RawDataTable table = Read(GetParam().token, 1, 1);
    EXPECT_EQ(table(1, 1), GetParam().value);
    // A zero has no sign, so "-0" does not list as -0.000.
    EXPECT_EQ(std::signbit(table(1, 1)), std::signbit(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ValidTokens,
    ::testing::Values(TokenCase{".5", 0.5L}, TokenCase{"-3", -3}, TokenCase{"+4", 4},
                      TokenCase{"1e2", 100}, TokenCase{"1E+2", 100}, TokenCase{"25e-1", 2.5L},
                      TokenCase{"-.25", -0.25L}, TokenCase{"007", 7}, TokenCase{"12.75", 12.75L},
                      // Lenient: a point with no digits after it, as some programs write.
                      TokenCase{"5.", 5}, TokenCase{"5.e1", 50},
                      TokenCase{"-99999.999", kMissingValue},
                      TokenCase{"0.1", 0.1L}, TokenCase{"-0", 0}, TokenCase{"-0.0e7", 0},
                      TokenCase{"0e-99999", 0},
                      // The ends of a double's normal range, to 17 digits, are taken.
                      TokenCase{"1.7976931348623157e308", 1.7976931348623157e308L},
                      TokenCase{"-2.2250738585072014e-308", -2.2250738585072014e-308L}));

class InvalidTokens : public ::testing::TestWithParam<std::string> {};

TEST_P(InvalidTokens, EndTheLoad) {
    EXPECT_THAT(ErrorOf<EInOutError>("1 " + GetParam() + "\n", 1, 2),
                StartsWith("Invalid numeric input on line 1 of the data file: "));
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, InvalidTokens,
    ::testing::Values("2,5", "abc", "nan", "NaN", "inf", "-infinity", "0x1A", "0x1p3", "1e",
                      "1e+", "e5", ".", "-", "+", "+-1", "--1", "1..2", "1.2.3", "1e2.5", "1e2e3",
                      ".e1", "1d2", "12%", "\xC2\xB2"));

// Beyond a double's range a number would print as hundreds of digits, or turn into 0.
class OutOfRangeTokens : public ::testing::TestWithParam<std::string> {};

TEST_P(OutOfRangeTokens, AreInvalidNumericInputThatSaysWhy) {
    EXPECT_EQ(ErrorOf<EInOutError>("1 " + GetParam() + "\n", 1, 2),
              "Invalid numeric input on line 1 of the data file: \"" + GetParam() +
                  "\"\nThe number is out of range: numbers other than 0 must lie between about 1e-308 and 1e308 "
                  "in size.");
}

INSTANTIATE_TEST_SUITE_P(
    BeyondADouble, OutOfRangeTokens,
    ::testing::Values("1e400", "-1e400", "1.8e308", "1e4932", "1.2e4933", "1e5000", "1e99999999999999999999999999",
                      "1e-400", "-1e-310", "2.2e-308", "1e-5000", "-1e-99999999999999999999"));

TEST(ReadRawData, SixtyFourCharacterTokenIsReadSixtyFiveIsRefused) {
    const std::string token64 = "1." + std::string(62, '0');
    ASSERT_EQ(token64.size(), 64u);
    EXPECT_EQ(Read(token64, 1, 1)(1, 1), 1);
    EXPECT_THAT(ErrorOf<EInOutError>(token64 + "0", 1, 1), StartsWith("Invalid numeric input on line 1"));
    // Not split into two numbers either.
    EXPECT_THAT(ErrorOf<EInOutError>(std::string(65, '1'), 1, 2), StartsWith("Invalid numeric input on line 1"));
}

// The message names the line, as an editor counts it, and shows the token safely.
struct InvalidCase {
    const char* name;
    std::string content;
    std::string message;
};

class InvalidNumberMessages : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidNumberMessages, NameTheLineAndShowTheText) {
    EXPECT_EQ(ErrorOf<EInOutError>(GetParam().content, 3, 2), GetParam().message);
}

const std::string kFullStopHint =
    "\nThis file separates its numbers by blanks: a number is written with a full stop as the decimal point, "
    "without commas or semicolons.";

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidNumberMessages,
    ::testing::Values(
        InvalidCase{"Word", "10 40\n12 x\n", "Invalid numeric input on line 2 of the data file: \"x\""},
        InvalidCase{"DecimalComma", "10 40\n\n12 3,8\n",
                    "Invalid numeric input on line 3 of the data file: \"3,8\"" + kFullStopHint},
        InvalidCase{"CommaSeparatedDecimalComma", "10,40\n12, \"3,8\"\n",
                    "Invalid numeric input on line 2 of the data file: \"3,8\"\nThis file separates its numbers by "
                    "commas: a number is written with a full stop as the decimal point."},
        InvalidCase{"SemicolonSeparatedFullStop", "\r\n10;40\r\n12;3.8\r\n",
                    "Invalid numeric input on line 3 of the data file: \"3.8\"\nThis file separates its numbers by "
                    "semicolons: a number is written with a comma as the decimal point, without full stops."},
        // DEL, a C1 control, a right-to-left override and a byte that is no UTF-8 are
        // escaped; a real letter is kept.
        InvalidCase{"ControlCharacters", "1 4\x7F" "5\xC2\x85\xE2\x80\xAE\xFF\xC3\xA9\n",
                    "Invalid numeric input on line 1 of the data file: "
                    "\"4\\x7F5\\xC2\\x85\\xE2\\x80\\xAE\\xFF\xC3\xA9\""},
        // Cut after 40 characters, a multi-byte one counting once.
        InvalidCase{"LongText", "1 " + std::string(39, 'a') + "\xC3\xA9" "bcdef\n",
                    "Invalid numeric input on line 1 of the data file: \"" + std::string(39, 'a') +
                        "\xC3\xA9...\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadRawData, LeavesNoFloatingPointFaultFlags) {
    constexpr int kFaults = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
    std::feclearexcept(FE_ALL_EXCEPT);
    for (const char* refused : {"1e5000", "1e-5000", "1e400", "1e-400"})
        EXPECT_THAT(ErrorOf<EInOutError>(refused, 1, 1), StartsWith("Invalid numeric input"));
    EXPECT_EQ(std::fetestexcept(kFaults), 0);
    Read("1e308 2.3e-308 -0", 1, 3);
    EXPECT_EQ(std::fetestexcept(kFaults), 0);
}

TEST(ReadRawData, DecimalPointIgnoresTheCLocale) {
    const char* const commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"};
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* chosen = nullptr;
    for (const char* name : commaLocales)
        if ((chosen = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
    if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
    const RawDataTable table = Read("2.5 1e-1", 1, 2);
    const std::string error = ErrorOf<EInOutError>("1 2,5", 1, 2);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(table(1, 1), 2.5L);
    EXPECT_EQ(table(1, 2), 0.1L);
    EXPECT_THAT(error, StartsWith("Invalid numeric input"));
}

// ---- Spreadsheet files: separators, a header, missing values ----

struct SpreadsheetCase {
    const char* name;
    std::string content;
    int rows, cols;
    Rows values;                     // when read
    std::vector<std::string> names;  // when read
    std::string message;             // when refused
};

class SpreadsheetFiles : public ::testing::TestWithParam<SpreadsheetCase> {};

TEST_P(SpreadsheetFiles, ReadOrRefusedNamingLineAndColumn) {
    const SpreadsheetCase& c = GetParam();
    RawDataTable table = MissingTable();
    try {
        const RawDataLayout layout = ReadRawData(c.content, c.rows, c.cols, table);
        EXPECT_EQ(c.message, "");
        EXPECT_EQ(Block(table, c.rows, c.cols), c.values);
        EXPECT_EQ(layout.names, c.names);
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), c.message);
    }
}

const std::string kOneWay = " A data file separates them in one way throughout: by blanks, by commas or by semicolons.";
const std::string kEveryScore = ". The analysis needs every score of the controls and the case.";

INSTANTIATE_TEST_SUITE_P(
    Table, SpreadsheetFiles,
    ::testing::Values(
        SpreadsheetCase{"CommasAndHeader", "score,educ\n48,11\n\n50.5,12\n", 2, 2, {{48, 11}, {50.5, 12}},
                        {"score", "educ"}, ""},
        SpreadsheetCase{"SemicolonsQuotedDecimalCommas", "\"score\";\"educ\"\r\n\"46,5\";7\r\n 47,25 ; 8 ;\r\n", 2, 2,
                        {{46.5L, 7}, {47.25L, 8}}, {"score", "educ"}, ""},
        SpreadsheetCase{"TabsAndHeader", "\"score\"\teduc\tage\n48\t11\t70\n", 1, 2, {{48, 11}}, {"score", "educ"}, ""},
        SpreadsheetCase{"NamesShownSafely", "sc\x01ore;" + std::string(45, 'n') + "\n1;2\n", 1, 2, {{1, 2}},
                        {"sc\\x01ore", std::string(40, 'n') + "..."}, ""},
        SpreadsheetCase{"HeaderNamingTooFew", "score,educ\n48,11,3\n", 1, 2, {}, {},
                        "Invalid numeric input on line 1 of the data file: \"score\"\nA header line names each column: "
                        "this one holds 2 names, but line 2 holds 3 columns."},
        SpreadsheetCase{"OneColumnOfDecimalCommas", "48\n46,5\n", 2, 1, {}, {},
                        "Line 2 of the data file holds \"46,5\": with one number read from each line, its comma may "
                        "be a decimal comma or may separate two numbers. Write the decimal point as a full stop, or "
                        "name the columns in a header line."},
        SpreadsheetCase{"OneColumnOfACommaFileWithHeader", "score,educ\n48,11\n", 1, 1, {{48}}, {"score"}, ""},
        SpreadsheetCase{"TitleLineOfOneName", "Controls\n48,11\n", 1, 2, {}, {},
                        "Invalid numeric input on line 1 of the data file: \"Controls\"\nA header line names each "
                        "column: this one holds 1 name, but line 2 holds 2 columns."},
        SpreadsheetCase{"HeaderOfFewerColumnsThanRead", "score,educ\n48,11\n", 1, 3, {}, {},
                        "Line 2 of the data file holds 2 numbers; 3 are needed (the task score and 2 covariate "
                        "scores)."},
        SpreadsheetCase{"EmptyField", "48,,11\n", 1, 3, {}, {},
                        "Missing value on line 1, column 2 of the data file: the field is empty" + kEveryScore},
        SpreadsheetCase{"TrailingSeparator", "1;2\n\n48;\n", 2, 2, {}, {},
                        "Missing value on line 3, column 2 of the data file: the field is empty" + kEveryScore},
        SpreadsheetCase{"ErrorTextInABlankFile", "x y\n1 2\n#N/A 3\n", 2, 2, {}, {},
                        "Missing value on line 3, column 1 of the data file: the field holds \"#N/A\", the mark of a "
                        "missing value or of a spreadsheet's error" + kEveryScore},
        SpreadsheetCase{"CommasThenSemicolons", "1,2\n3;4\n", 2, 2, {}, {},
                        "The data file separates its numbers by commas on line 1, but by semicolons on line 2: "
                        "\"3;4\"." +
                            kOneWay},
        SpreadsheetCase{"BlanksWithinACommaLine", "1,2\n4,5 6\n", 2, 2, {}, {},
                        "The data file separates its numbers by commas, but on line 2 by blanks too: \"4,5 6\"." +
                            kOneWay}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Files and the loader ----

class RawDataFileTest : public ::testing::Test {
protected:
    void SetUp() override { platform_.currentDirectory = folder_.string(); }

    std::string Write(const std::string& name, const std::string& content) {
        const auto path = folder_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    const testing::ScratchFolder scratch_{"quorvane_raw"};
    const std::filesystem::path folder_ = scratch_.Path();
    FakePlatform platform_;
};

TEST_F(RawDataFileTest, ReadTextFileKeepsEveryByte) {
    const std::string content("a\r\nb\rc\n\x1a\x01\xFF\xFE" "d", 12);
    EXPECT_EQ(ReadTextFile(Write("bytes.txt", content)), content);
}

TEST_F(RawDataFileTest, ReadErrorsNameThePathAndTheReason) {
    const std::string absent = (folder_ / "absent.txt").string();
    const std::string fifo = (folder_ / "pipe.txt").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Refused before opening: a FIFO without a writer would otherwise never return.
    const std::pair<std::string, std::string> cases[] = {
        {absent, "No such file or directory"},
        {(folder_ / "absent" / "x.txt").string(), "No such file or directory"},
        {folder_.string(), "it is a folder, not a text file"},
        {fifo, "it is a named pipe (FIFO), not a text file"},
        {"/dev/null", "it is a device, not a text file"},
    };
    for (const auto& [path, reason] : cases) {
        try {
            ReadTextFile(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.what(), "The data file \"" + path + "\" cannot be read: " + reason);
        }
    }
}

// A file that is not plain text is refused before a number is read: read as plain
// text, UTF-16 gives digits with NULs as blanks, and a report on numbers not in the file.
struct EncodingCase {
    const char* name;
    std::string content;
    std::string reason;  // empty: loaded
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

class FileEncoding : public RawDataFileTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(FileEncoding, OnlyPlainTextIsRead) {
    const std::string path = Write("data.txt", GetParam().content);
    platform_.openAnswers.push_back(path);
    RawDataTable table;
    try {
        LoadRawDataFile(4, 2, table, platform_);
        EXPECT_EQ(GetParam().reason, "");
        EXPECT_EQ(Block(table, 4, 2), kExampleRows);
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.what(), "The data file \"" + path + "\" cannot be read: " + GetParam().reason);
        EXPECT_TRUE(platform_.messages.empty());
    }
}

const std::string kExampleText = "10 40\r\n12 38\r\n11 45\r\n6 50\r\n";
const std::string kNulReason =
    "it is not a plain text file (it holds NUL bytes, as UTF-16 \"Unicode text\" and binary files do); "
    "save it as plain text (UTF-8 or ASCII)";
const auto MarkReason = [](const std::string& encoding) {
    return "it is " + encoding + ", not plain text; save it as plain text (UTF-8 or ASCII)";
};

INSTANTIATE_TEST_SUITE_P(
    Table, FileEncoding,
    ::testing::Values(
        EncodingCase{"Utf8WithMark", "\xEF\xBB\xBF" + kExampleText, ""},
        EncodingCase{"Utf16WithoutMark", testing::Utf16LittleEndian(kExampleText), kNulReason},
        EncodingCase{"NulAmongTheNumbers", "10 40\r\n12" + std::string(1, '\0') + "38\r\n11 45\r\n6 50\r\n",
                     kNulReason},
        EncodingCase{"NulNearTheEndOfALongFile", kExampleText + std::string(6 * 1024, ' ') + '\0' + "\r\n", kNulReason},
        EncodingCase{"Utf16LittleEndian", "\xFF\xFE" + testing::Utf16LittleEndian(kExampleText),
                     MarkReason("UTF-16 text (little-endian)")},
        EncodingCase{"Utf16BigEndian", "\xFE\xFF" + testing::Utf16LittleEndian(kExampleText).substr(1) + '\0',
                     MarkReason("UTF-16 text (big-endian)")},
        EncodingCase{"Utf32LittleEndian", std::string("\xFF\xFE\0\0", 4) + "1\0\0\0", MarkReason("UTF-32 text (little-endian)")},
        EncodingCase{"Utf32BigEndian", std::string("\0\0\xFE\xFF\0\0\0" "1", 8), MarkReason("UTF-32 text (big-endian)")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RawDataFileTest, LoadsTheExampleAndReportsTheSizeAskedFor) {
    const std::string path = Write("example.txt", "10 40\r\n12 38\r\n11 45\r\n6 50\r\n");
    platform_.openAnswers.push_back(path);
    RawDataTable table;
    const RawDataLoad load = LoadRawDataFile(4, 2, table, platform_);
    EXPECT_TRUE(load.loaded);
    EXPECT_EQ(load.fileName, path);
    EXPECT_EQ(Block(table, 4, 2), kExampleRows);
    EXPECT_EQ(table(5, 1), kMissingValue);
    EXPECT_EQ(table(1, 3), kMissingValue);
    const RecordedMessage success{MessageKind::Information, "Information",
                                  "Data file consisting of n + 1 =  4 cases (rows) and  2 "
                                  "variables (columns) was loaded successfully "};
    EXPECT_EQ(platform_.messages, std::vector{success});
}

TEST_F(RawDataFileTest, DialogAsksForAnExistingTextFileInTheCurrentFolder) {
    platform_.openAnswers.push_back(std::nullopt);
    RawDataTable table;
    LoadRawDataFile(4, 2, table, platform_);
    ASSERT_EQ(platform_.openDialogs.size(), 1u);
    const FileDialogOptions& options = platform_.openDialogs[0];
    EXPECT_EQ(options.filter, "Text files only|*.txt;*.csv");
    EXPECT_EQ(options.initialFolder, folder_.string());
    EXPECT_TRUE(options.fileMustExist);
    EXPECT_FALSE(options.overwritePrompt);
}

class CancelledLoad : public RawDataFileTest,
                      public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(CancelledLoad, LoadsNothingAndSaysNothing) {
    platform_.openAnswers.push_back(GetParam());
    RawDataTable table;
    table(1, 1) = 5;
    table(kMaxRows, kMaxVars) = 6;
    const RawDataLoad load = LoadRawDataFile(4, 2, table, platform_);
    EXPECT_FALSE(load.loaded);
    EXPECT_EQ(load.fileName, "");
    EXPECT_TRUE(platform_.messages.empty());
    // The table is reset before the dialog, whatever the user then does.
    EXPECT_EQ(table(1, 1), kMissingValue);
    EXPECT_EQ(table(kMaxRows, kMaxVars), kMissingValue);
}

INSTANTIATE_TEST_SUITE_P(CancelOrBlankName, CancelledLoad,
                         ::testing::Values(std::nullopt, std::optional<std::string>(""),
                                           std::optional<std::string>("  \t ")));

TEST_F(RawDataFileTest, LoadOfAMissingFileShowsNoSuccessBox) {
    platform_.openAnswers.push_back((folder_ / "gone.txt").string());
    RawDataTable table;
    EXPECT_THROW(LoadRawDataFile(4, 2, table, platform_), EInOutError);
    EXPECT_TRUE(platform_.messages.empty());
}

// Lines or numbers beyond those asked for are not used, and the success box says so:
// a mistyped n would otherwise make a control the case without a word.
struct SurplusCase {
    const char* name;
    std::string content;
    int rows, cols;
    std::string note;  // after the success text and a blank line; empty: none
    int caseLine;
    int tasks = 1;
};

class SurplusData : public RawDataFileTest, public ::testing::WithParamInterface<SurplusCase> {};

TEST_P(SurplusData, IsNamedInTheSuccessBox) {
    const SurplusCase& c = GetParam();
    platform_.openAnswers.push_back(Write("data.txt", c.content));
    RawDataTable table;
    const RawDataLoad load = LoadRawDataFile(c.rows, c.cols, table, platform_, c.tasks);
    ASSERT_TRUE(load.loaded);
    EXPECT_EQ(load.caseLine, c.caseLine);
    ASSERT_EQ(platform_.messages.size(), 1u);
    const std::string success = "Data file consisting of n + 1 =  " + std::to_string(c.rows) +
                                " cases (rows) and  " + std::to_string(c.cols) +
                                (c.cols == 1 ? " variable (column)" : " variables (columns)") +
                                " was loaded successfully ";
    EXPECT_EQ(platform_.messages[0],
              (RecordedMessage{MessageKind::Information, "Information",
                               c.note.empty() ? success : success + "\n\n" + c.note}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SurplusData,
    ::testing::Values(
        SurplusCase{"None", "10 40\n12 38\n\n11 45\n6 50\n\n", 4, 2, "", 5},
        // Notes below the data are not lines of numbers.
        SurplusCase{"NotesBelow", "10 40\n12 38\n11 45\n6 50\nPatient AB, 2026\n", 4, 2, "", 4},
        SurplusCase{"OneLineMore", "10 40\n12 38\n11 45\n\n6 50\n7 51\n", 3, 2,
                    "Note: the data file holds 5 lines of numbers, but n + 1 = 3 were asked for: the case's "
                    "scores were taken from line 3, and the lines after it were not used.",
                    3},
        SurplusCase{"OneNumberMore", "10 40\n12 38 7 x\n11 45\n6 50\n", 4, 2,
                    "Note: line 2 of the data file holds 3 numbers, but k + 1 = 2 were asked for: the numbers "
                    "after the first 2 were not used.",
                    4},
        // "1,5" is not a number, but the user must hear of it as of one.
        SurplusCase{"TextAfterTheNumbers", "10 64 12 1,5\n11 60 14\n", 2, 3,
                    "Note: line 1 of the data file holds \"1,5\" after the k + 1 = 3 numbers asked for: it was not "
                    "used.",
                    2},
        SurplusCase{"TextOnSeveralLines", "10 40\t \x01\n12 38 7\n11 45 patient AB \n6 50 x\n", 4, 2,
                    "Note: line 2 of the data file holds 3 numbers, but k + 1 = 2 were asked for: the numbers after "
                    "the first 2 were not used.\n\nNote: 2 lines of the data file hold text after the k + 1 = 2 "
                    "numbers asked for (line 3 holds \"patient AB\"): that text was not used.",
                    4},
        SurplusCase{"SeveralLinesLonger", "10 40\n12 38 7\n11 45 8 9\n6 50\n9 9 9\n", 3, 2,
                    "Note: the data file holds 5 lines of numbers, but n + 1 = 3 were asked for: the case's "
                    "scores were taken from line 3, and the lines after it were not used.\n\nNote: 2 lines "
                    "of the data file hold more than k + 1 = 2 numbers (line 2 holds 3): on each, the numbers "
                    "after the first 2 were not used.",
                    3},
        // One task without covariates asks for a single number.
        SurplusCase{"OneColumn", "10 40\n12\n11 x\n6\n", 4, 1,
                    "Note: line 1 of the data file holds 2 numbers, but k + 1 = 1 was asked for: the numbers after "
                    "the first were not used.\n\nNote: line 3 of the data file holds \"x\" after the k + 1 = 1 "
                    "number asked for: it was not used.",
                    4},
        SurplusCase{"OneColumnOnSeveralLines", "10 40\n12 7 8\n11 x\n6 y\n", 4, 1,
                    "Note: 2 lines of the data file hold more than k + 1 = 1 number (line 1 holds 2): on each, the "
                    "numbers after the first were not used.\n\nNote: 2 lines of the data file hold text after the "
                    "k + 1 = 1 number asked for (line 3 holds \"x\"): that text was not used.",
                    4},
        // A dissociation asks for the two tasks and the covariates: k + 2 numbers.
        SurplusCase{"DissociationTextAndNumbers", "10 40 5 9\n12 38 6\n11 45 7 x\n6 50 8\n", 4, 3,
                    "Note: line 1 of the data file holds 4 numbers, but k + 2 = 3 were asked for: the numbers "
                    "after the first 3 were not used.\n\nNote: line 3 of the data file holds \"x\" after the "
                    "k + 2 = 3 numbers asked for: it was not used.",
                    4, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// The box says how the file was read when it was not as blank-separated numbers alone.
TEST_F(RawDataFileTest, SuccessBoxNamesTheSeparatorAndTheHeader) {
    const std::string header = ", with a header line naming the columns.";
    const std::pair<std::string, std::string> cases[] = {
        {"48,11\n50,12\n", "comma-separated values."},
        {"score;educ\n46,5;7\n47;8\n", "semicolon-separated values with a decimal comma" + header},
        {"score educ\n48 11\n50 12\n", "blank-separated values" + header}};
    for (const auto& [content, how] : cases) {
        RawDataTable table;
        const RawDataLoad load = LoadRawDataFile(2, 2, table, platform_, 1, {Write("data.csv", content)});
        EXPECT_EQ(platform_.messages.back().text, "Data file consisting of n + 1 =  2 cases (rows) and  2 variables "
                                                  "(columns) was loaded successfully, read as " + how);
        EXPECT_EQ(load.names.empty(), content.starts_with('4'));
    }
}

TEST_F(RawDataFileTest, FaultyFileShowsNoSuccessBox) {
    platform_.openAnswers.push_back(Write("comma.txt", "10 40\n12 3,8\n11 45\n6 50\n"));
    RawDataTable table;
    EXPECT_THROW(LoadRawDataFile(4, 2, table, platform_), EInOutError);
    platform_.openAnswers.push_back(Write("short.txt", "10 40\n12 38\n11 45\n"));
    EXPECT_THROW(LoadRawDataFile(4, 2, table, platform_), EDataFileError);
    EXPECT_TRUE(platform_.messages.empty());
}

}  // namespace
}  // namespace quorvane
