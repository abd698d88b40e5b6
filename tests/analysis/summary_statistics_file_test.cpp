#include "analysis/summary_statistics_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "analysis/io_errors.h"
#include "support/scratch_folder.h"
#include "support/utf16.h"

namespace quorvane {
namespace {

const StatisticsTable kTwoCovariates{"30", "2", {{"50", "12.25", "40"}, {"10", "3", "0x1.8p3"}, {"30", "14", "-42e0"}, {"0.5", "-0.3", ".2"}}};

TEST(StatisticsFile, WhatIsWrittenReadsBackUnchanged) {
    const std::string text = FormatStatisticsFile(kTwoCovariates);
    EXPECT_EQ(text.substr(0, text.find('\n')), "quorvane-statistics 1");
    EXPECT_NE(text.find("\ncorrelations 0.5 -0.3 .2\n"), std::string::npos);
    EXPECT_EQ(ParseStatisticsFile(text), kTwoCovariates);

    const testing::ScratchFolder folder("quorvane_statistics");
    const auto path = folder.Path() / "statistics.txt";
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_EQ(ReadStatisticsFile(path.string()), kTwoCovariates);
    std::filesystem::remove(path);
    EXPECT_THROW(ReadStatisticsFile(path.string()), EInOutError);
}

// Lines end as in a data file: CR LF, LF or CR.
class StatisticsFileLineEnds : public ::testing::TestWithParam<std::string> {};

TEST_P(StatisticsFileLineEnds, TakeCommentsBlankLinesAndAnyOrder) {
    const std::string& end = GetParam();
    const std::string text = "\xEF\xBB\xBFquorvane-statistics 1" + end + "# Table 2 of the norms" + end + end +
                             "k 1" + end + "  n\t25 " + end + "correlations 0.72091" + end + "means 31.333 13.1" +
                             end + "   # SDs next" + end + "sds 6.804 3.346" + end + "case 15 17";
    EXPECT_EQ(ParseStatisticsFile(text),
              (StatisticsTable{"25", "1", {{"31.333", "13.1"}, {"6.804", "3.346"}, {"15", "17"}, {"0.72091"}}}));
    try {
        ParseStatisticsFile("quorvane-statistics 1" + end + end + "n 30" + end + "mean 1 2" + end);
        ADD_FAILURE() << "accepted";
    } catch (const EStatisticsFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Line 4 of the statistics file: \"mean\" is not a known item.");
    }
}

INSTANTIATE_TEST_SUITE_P(CrLfLfCr, StatisticsFileLineEnds, ::testing::Values("\r\n", "\n", "\r"));

// The data file's check: a file saved as UTF-16 is refused, naming the encoding.
TEST(StatisticsFile, OnlyPlainTextIsRead) {
    const testing::ScratchFolder folder("quorvane_statistics");
    const auto path = folder.Path() / "utf16.txt";
    std::ofstream(path, std::ios::binary) << "\xFF\xFE" << testing::Utf16LittleEndian(FormatStatisticsFile(kTwoCovariates));
    try {
        ReadStatisticsFile(path.string());
        ADD_FAILURE() << "accepted";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "The statistics file \"" + path.string() +
                                                 "\" cannot be read: it is UTF-16 text (little-endian), not plain "
                                                 "text; save it as plain text (UTF-8 or ASCII)");
    }
}

struct Damage {
    const char* name;
    std::string text;
    std::string message;
};

class DamagedStatisticsFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedStatisticsFile, IsRefusedWithTheLineNamed) {
    try {
        ParseStatisticsFile(GetParam().text);
        ADD_FAILURE() << "accepted";
    } catch (const EStatisticsFileError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

const std::string kHead = "quorvane-statistics 1\nn 30\nk 1\n";
const std::string kFirstLine = "the first line must be \"quorvane-statistics 1\" or \"quorvane-statistics 2\".";
INSTANTIATE_TEST_SUITE_P(
    Table, DamagedStatisticsFile,
    ::testing::Values(
        Damage{"Empty", "", "Line 1 of the statistics file: " + kFirstLine},
        Damage{"OtherVersion", "quorvane-statistics 3\nn 30\n", "Line 1 of the statistics file: " + kFirstLine},
        Damage{"UnknownItem", kHead + "mean 1 2\n", "Line 4 of the statistics file: \"mean\" is not a known item."},
        Damage{"Repeated", kHead + "n 31\n", "Line 4 of the statistics file: \"n\" was given already on line 2."},
        Damage{"Word", kHead + "means 31.3 abc\n", "Line 4 of the statistics file: \"abc\" is not a finite number."},
        Damage{"CommaDecimal", kHead + "sds 6,8 3.3\n", "Line 4 of the statistics file: \"6,8\" is not a finite number."},
        Damage{"Missing", kHead + "means 1 2\nsds 1 2\ncase 1 2\n", "The statistics file has no \"correlations\" line."},
        Damage{"ShortList", kHead + "means 1 2\nsds 1\ncase 1 2\ncorrelations 0.5\n",
               "Line 5 of the statistics file: \"sds\" needs 2 numbers (the task of interest, then each covariate); "
               "it has 1."},
        Damage{"LongTriangle", kHead + "means 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5 0.1\n",
               "Line 7 of the statistics file: \"correlations\" needs 1 number (the lower triangle of the correlation "
               "matrix, row by row); it has 2."},
        Damage{"SixCovariates", "quorvane-statistics 1\nn 30\nk 6\n" + std::string("means 1\nsds 1\ncase 1\ncorrelations\n"),
               "Line 3 of the statistics file: k must be a whole number from 1 to 5."},
        Damage{"TenCovariates", "quorvane-statistics 1\nn 30\nk 10\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 3 of the statistics file: k must be a whole number from 1 to 5."},
        Damage{"ExponentN", "quorvane-statistics 1\nn 3e1\nk 1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 2 of the statistics file: n must be a whole number written in digits only."},
        Damage{"HexadecimalK", "quorvane-statistics 1\nn 30\nk 0x1p1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 3 of the statistics file: k must be a whole number from 1 to 5."},
        Damage{"TwoCounts", "quorvane-statistics 1\nn 30 31\nk 1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 2 of the statistics file: \"n\" needs 1 number (the number of controls); it has 2."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
