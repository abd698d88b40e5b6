#include "io/same_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// A folder holding data.txt, norms.txt, a hard link and a symbolic link to data.txt,
// and a subfolder; the names of the cases are relative to it.
class SameFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(folder_ / "data.txt") << "10 40\n";
        std::ofstream(folder_ / "norms.txt") << "quorvane-statistics 1\n";
        fs::create_hard_link(folder_ / "data.txt", folder_ / "hard.txt");
        fs::create_symlink(folder_ / "data.txt", folder_ / "link.pdf");
        fs::create_directory(folder_ / "sub");
    }
    std::string Path(const std::string& name) const { return name.empty() ? name : (folder_ / name).string(); }

    const testing::ScratchFolder scratch_{"quorvane_same"};
    const fs::path folder_ = scratch_.Path();
};

struct SameFileCase {
    const char* name;
    const char* output;
    const char* dataFile;  // empty: no data file among the inputs
    const char* expected;  // nullptr: the output may be written; "<data>" stands for the data file's path
};

class Comparison : public SameFileTest, public ::testing::WithParamInterface<SameFileCase> {};

TEST_P(Comparison, RefusesExactlyTheOutputsThatAreAnInputFile) {
    const SameFileCase& c = GetParam();
    const std::vector<InputFile> inputs = {{Path(c.dataFile), kDataFile}, {Path("norms.txt"), kStatisticsFile}};
    const std::optional<std::string> reason = SameFileAsInput(Path(c.output), inputs);
    if (c.expected == nullptr) {
        EXPECT_EQ(reason, std::nullopt);
        return;
    }
    std::string expected = c.expected;
    if (const auto at = expected.find("<data>"); at != std::string::npos) expected.replace(at, 6, Path(c.dataFile));
    EXPECT_EQ(reason, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Comparison,
    ::testing::Values(
        SameFileCase{"TheDataFileItself", "data.txt", "data.txt", "is the data file, which would be overwritten"},
        SameFileCase{"AHardLink", "hard.txt", "data.txt",
                     "is the same file as the data file \"<data>\", which would be overwritten"},
        SameFileCase{"ASymbolicLink", "link.pdf", "data.txt",
                     "is the same file as the data file \"<data>\", which would be overwritten"},
        SameFileCase{"AnotherSpelling", "sub/../data.txt", "data.txt",
                     "is the same file as the data file \"<data>\", which would be overwritten"},
        SameFileCase{"TheSecondInput", "norms.txt", "data.txt", "is the statistics file, which would be overwritten"},
        SameFileCase{"AFileThatIsNoInput", "hard.txt", "", nullptr},
        SameFileCase{"ANewFile", "report.pdf", "data.txt", nullptr},
        // A name that leads to no file is never the same, not even as itself.
        SameFileCase{"AMissingInput", "gone.txt", "gone.txt", nullptr},
        SameFileCase{"AFolderBesideIt", "sub", "data.txt", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Two file systems may number their files alike: a.txt has b.txt's inode on another device.
TEST(SameFile, IsTheSameDeviceAndInode) {
    const FileStatus chosen = [](const char* path, struct stat* status) {
        *status = {};
        status->st_dev = path[0] == 'a' ? 1 : 2;
        status->st_ino = path[0] == 'c' ? 8 : 7;
        return 0;
    };
    EXPECT_FALSE(IsSameFile("a.txt", "b.txt", chosen));
    EXPECT_FALSE(IsSameFile("b.txt", "c.txt", chosen));
    EXPECT_TRUE(IsSameFile("b.txt", "b2.txt", chosen));
}

}  // namespace
}  // namespace quorvane
