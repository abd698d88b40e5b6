#include "analysis/summary_statistics_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "analysis/raw_data_file.h"
#include "io/io_errors.h"
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

// A dissociation's table is version 2 and names its test; a deficit's stays version 1,
// whichever version it was read from, so that older releases read it.
TEST(StatisticsFile, ADissociationIsWrittenAsVersion2AndADeficitAsVersion1) {
    const StatisticsTable dissociation{
        "30", "1", {{"50", "30", "12"}, {"8", "4", "2"}, {"30", "31", "13"}, {"0.5", "0.25", "0.75"}},
        AnalysisTest::Dissociation};
    const std::string text = FormatStatisticsFile(dissociation);
    EXPECT_EQ(text.substr(0, text.find('\n')), "quorvane-statistics 2");
    EXPECT_NE(text.find("\ntest dissociation\nn 30\n"), std::string::npos) << text;
    EXPECT_EQ(ParseStatisticsFile(text), dissociation);

    const StatisticsTable deficit = ParseStatisticsFile(
        "quorvane-statistics 2\nn 30\nk 1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\ntest deficit\n");
    EXPECT_EQ(deficit, (StatisticsTable{"30", "1", {{"1", "2"}, {"1", "2"}, {"1", "2"}, {"0.5"}}}));
    EXPECT_EQ(FormatStatisticsFile(deficit), FormatStatisticsFile(ParseStatisticsFile(
                                                 "quorvane-statistics 1\nn 30\nk 1\nmeans 1 2\nsds 1 2\ncase 1 "
                                                 "2\ncorrelations 0.5\n")));
    EXPECT_EQ(FormatStatisticsFile(deficit).substr(0, 22), "quorvane-statistics 1\n");
}

// Without covariates a deficit's table has no correlation and is written without the
// line, which a file may also give empty; a dissociation's has the tasks' one.
TEST(StatisticsFile, TablesWithoutCovariatesReadBackUnchanged) {
    const StatisticsTable deficit{"20", "0", {{"50"}, {"10"}, {"31.5"}, {}}};
    const std::string text = FormatStatisticsFile(deficit);
    EXPECT_EQ(text.substr(0, text.find('\n')), "quorvane-statistics 1");
    EXPECT_EQ(text.find("correlations"), std::string::npos) << text;
    EXPECT_EQ(ParseStatisticsFile(text), deficit);
    EXPECT_EQ(ParseStatisticsFile(text + "correlations\n"), deficit);

    const StatisticsTable dissociation{"4", "0", {{"50", "30"}, {"8", "4"}, {"30", "31"}, {"0.5"}},
                                       AnalysisTest::Dissociation};
    const std::string text2 = FormatStatisticsFile(dissociation);
    EXPECT_NE(text2.find("\ncorrelations 0.5\n"), std::string::npos) << text2;
    EXPECT_EQ(ParseStatisticsFile(text2), dissociation);
}

// Lines end as in a data file: CR LF, LF or CR.
class StatisticsFileLineEnds : public ::testing::TestWithParam<std::string> {};

TEST_P(StatisticsFileLineEnds, TakeCommentsBlankLinesAndAnyOrder) {
    const std::string& end = GetParam();
    const std::string text = "\xEF\xBB\xBFquorvane-statistics 1" + end + "# Table 2 of the norms" + end + end +
                             "k\u00a01" + end + "  n\t25 " + end + "correlations 0.72091" + end + "means 31.333 13.1" +
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

// A statistics file is a few lines: one beyond what is read of a file is refused whole,
// not cut to a part without its items. Written sparse, past a valid table.
TEST(StatisticsFile, AFileBeyondTheSizeLimitIsRefusedForItsSize) {
    const testing::ScratchFolder folder("quorvane_statistics");
    const auto path = folder.Path() / "huge.txt";
    std::ofstream(path, std::ios::binary) << FormatStatisticsFile(kTwoCovariates);
    std::filesystem::resize_file(path, kMaxTextFileBytes + 1);
    EXPECT_THAT([&] { ReadStatisticsFile(path.string()); },
                ::testing::ThrowsMessage<EInOutError>(::testing::EndsWith(
                    "cannot be read: it is larger than 64 MiB, the size limit for this kind of file")));
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
const std::string kHead2 = "quorvane-statistics 2\nn 30\nk 1\n";
const std::string kLists2 = "means 1 2 3\nsds 1 2 3\ncase 1 2 3\ncorrelations 0.5 0.1 0.2\n";
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
               "Line 3 of the statistics file: k must be a whole number from 0 to 5."},
        Damage{"TenCovariates", "quorvane-statistics 1\nn 30\nk 10\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 3 of the statistics file: k must be a whole number from 0 to 5."},
        Damage{"CorrelationWithoutCovariates",
               "quorvane-statistics 1\nn 30\nk 0\nmeans 1\nsds 1\ncase 1\ncorrelations 0.5\n",
               "Line 7 of the statistics file: \"correlations\" needs no numbers (the task of interest alone has no "
               "correlation); it has 1."},
        Damage{"CovariateWithoutCovariates", "quorvane-statistics 1\nn 30\nk 0\nmeans 1 2\nsds 1\ncase 1\n",
               "Line 4 of the statistics file: \"means\" needs 1 number (the task of interest); it has 2."},
        Damage{"ExponentN", "quorvane-statistics 1\nn 3e1\nk 1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 2 of the statistics file: n must be a whole number written in digits only."},
        Damage{"HexadecimalK", "quorvane-statistics 1\nn 30\nk 0x1p1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 3 of the statistics file: k must be a whole number from 0 to 5."},
        Damage{"TwoCounts", "quorvane-statistics 1\nn 30 31\nk 1\nmeans 1 2\nsds 1 2\ncase 1 2\ncorrelations 0.5\n",
               "Line 2 of the statistics file: \"n\" needs 1 number (the number of controls); it has 2."},
        // Version 2: the test line, required, and lists of k + 2 for a dissociation.
        Damage{"TestInVersion1", kHead + "test deficit\n",
               "Line 4 of the statistics file: \"test\" needs version 2 of the format: the first line "
               "\"quorvane-statistics 2\"."},
        Damage{"NoTest", kHead2 + "means 1 2 3\nsds 1 2 3\ncase 1 2 3\ncorrelations 0.5 0.1 0.2\n",
               "The statistics file has no \"test\" line."},
        Damage{"UnknownTest", kHead2 + "test dissociations\n",
               "Line 4 of the statistics file: \"test\" must be \"deficit\" or \"dissociation\"."},
        Damage{"TwoTests", kHead2 + "test deficit dissociation\n" + kLists2,
               "Line 4 of the statistics file: \"test\" must be \"deficit\" or \"dissociation\"."},
        Damage{"RepeatedTest", "quorvane-statistics 2\ntest dissociation\nn 30\nk 1\ntest dissociation\n",
               "Line 5 of the statistics file: \"test\" was given already on line 2."},
        Damage{"DissociationsShortList", kHead2 + "test dissociation\nmeans 1 2\nsds 1 2 3\ncase 1 2 3\n"
                                                  "correlations 0.5 0.1 0.2\n",
               "Line 5 of the statistics file: \"means\" needs 3 numbers (task 1, task 2, then each covariate); it "
               "has 2."},
        Damage{"DissociationWithoutCovariatesOrCorrelation",
               "quorvane-statistics 2\ntest dissociation\nn 30\nk 0\nmeans 1 2\nsds 1 2\ncase 1 2\n",
               "The statistics file has no \"correlations\" line."},
        Damage{"DissociationsTriangle", kHead2 + "test dissociation\nmeans 1 2 3\nsds 1 2 3\ncase 1 2 3\n"
                                                 "correlations 0.5\n",
               "Line 8 of the statistics file: \"correlations\" needs 3 numbers (the lower triangle of the "
               "correlation matrix, row by row); it has 1."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
