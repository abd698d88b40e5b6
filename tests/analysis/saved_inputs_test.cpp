#include "analysis/saved_inputs.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "analysis/io_errors.h"
#include "support/fake_platform.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Fields = std::array<std::string, kInputFieldCount>;

class SavedInputsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("quorvane_saved_" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        platform_.executableFolder = folder_.string();
        file_ = folder_ / "Quorvane.txt";
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Content() const {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder_;
    fs::path file_;
    testing::FakePlatform platform_;
};

TEST_F(SavedInputsTest, FileLiesInTheExecutableFolder) {
    platform_.executableFolder = "/opt/quorvane";
    EXPECT_EQ(SavedInputsPath(platform_), "/opt/quorvane/Quorvane.txt");
}

struct SaveCase {
    Fields fields;
    std::string content;
};

class SavedContent : public SavedInputsTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SavedContent, EachTextThenOneBlankAndNoLineEnd) {
    SaveCurrentData(GetParam().fields, platform_);
    EXPECT_EQ(Content(), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SavedContent,
    ::testing::Values(
        // n = 25, k = 2 and six empty hidden fields: 11 characters.
        SaveCase{{"25", "2", "", "", "", "", "", ""}, "25 2       "},
        // A pasted leading blank is written as typed.
        SaveCase{{" 25", "2", "", "", "", "", "", ""}, " 25 2       "},
        SaveCase{{"12.0", "5", "", "", "", "", "", ""}, "12.0 5       "},
        SaveCase{{"1", "2", "3", "4", "5", "6", "7", "8"}, "1 2 3 4 5 6 7 8 "}));

TEST_F(SavedInputsTest, ReplacesALongerFileWhole) {
    std::ofstream(file_, std::ios::binary) << "a much longer earlier content\r\n";
    SaveCurrentData({"3", "1", "", "", "", "", "", ""}, platform_);
    EXPECT_EQ(Content(), "3 1       ");
}

TEST_F(SavedInputsTest, UnwritableLocationRaisesInOutError) {
    // Tests may run as root, whom permissions do not stop: make the folder a regular file.
    const fs::path notAFolder = folder_ / "plain";
    std::ofstream(notAFolder) << "x";
    platform_.executableFolder = notAFolder.string();
    EXPECT_THROW(SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_), EInOutError);
}

TEST_F(SavedInputsTest, FolderInPlaceOfTheFileRaisesInOutErrorAndSurvives) {
    fs::create_directory(file_);
    try {
        SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_);
        FAIL() << "expected EInOutError";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.what(), "The saved inputs file \"" + file_.string() + "\" cannot be written: Is a directory");
    }
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(SavedInputsTest, WriteFailureIsNeverSilent) {
    // A file size limit of 4 bytes lets the file be created but not written whole; the
    // buffered write fails only when the file is closed.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 4;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &tiny) != 0) {
        std::signal(SIGXFSZ, previousHandler);
        GTEST_SKIP() << "cannot lower the file size limit";
    }
    bool threw = false;
    try {
        SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_);
    } catch (const EInOutError&) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(threw);
}

TEST_F(SavedInputsTest, DeleteRemovesTheFile) {
    SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_);
    ASSERT_TRUE(fs::exists(file_));
    DeleteSavedInputs(platform_);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(SavedInputsTest, DeleteToleratesAbsenceAndBadFolders) {
    EXPECT_NO_THROW(DeleteSavedInputs(platform_));
    platform_.executableFolder = (folder_ / "no" / "such" / "folder").string();
    EXPECT_NO_THROW(DeleteSavedInputs(platform_));
}

TEST_F(SavedInputsTest, DeleteLeavesAFolderOfThatNameAlone) {
    fs::create_directory(file_);
    EXPECT_NO_THROW(DeleteSavedInputs(platform_));
    EXPECT_TRUE(fs::is_directory(file_));
}

}  // namespace
}  // namespace quorvane
