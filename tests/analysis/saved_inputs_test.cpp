#include "analysis/saved_inputs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>


#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "io/io_errors.h"
#include "support/fake_platform.h"
#include "support/scratch_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Fields = std::array<std::string, kInputFieldCount>;

class SavedInputsTest : public ::testing::Test {
protected:
    void SetUp() override { platform_.executableFolder = folder_.string(); }

    std::string Content() const {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const testing::ScratchFolder scratch_{"quorvane_saved"};
    const fs::path folder_ = scratch_.Path();
    const fs::path file_ = folder_ / "Quorvane.txt";
    testing::FakePlatform platform_;
};

struct StateFolderCase {
    const char* name;
    std::map<std::string, std::string> environment;
    std::string expected;
};

void PrintTo(const StateFolderCase& c, std::ostream* os) { *os << c.name; }

class StateFolder : public ::testing::TestWithParam<StateFolderCase> {};

TEST_P(StateFolder, FollowsTheXdgRules) {
    testing::FakePlatform platform;
    platform.environment = GetParam().environment;
    EXPECT_EQ(UserStateFolder(platform), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, StateFolder,
    ::testing::Values(
        StateFolderCase{"XdgStateHome", {{"XDG_STATE_HOME", "/x/state"}, {"HOME", "/home/u"}}, "/x/state/quorvane"},
        StateFolderCase{"HomeDefault", {{"HOME", "/home/u"}}, "/home/u/.local/state/quorvane"},
        StateFolderCase{"EmptyXdgIgnored", {{"XDG_STATE_HOME", ""}, {"HOME", "/home/u"}}, "/home/u/.local/state/quorvane"},
        StateFolderCase{"RelativeXdgIgnored", {{"XDG_STATE_HOME", "state"}, {"HOME", "/home/u"}},
                        "/home/u/.local/state/quorvane"},
        StateFolderCase{"RelativeHome", {{"HOME", "home/u"}}, ""},
        StateFolderCase{"Neither", {}, ""}),
    [](const ::testing::TestParamInfo<StateFolderCase>& info) { return std::string(info.param.name); });

// Where a Compute writes the file. Tests may run as root, whom permission bits do not
// stop, so a folder that cannot be written lies under a regular file.
enum class Place { ProgramFolder, StateFolder, Neither };

struct PlaceCase {
    const char* name;
    bool programFolderWritable;
    const char* stateVariable;  // set to a path under the test's folder; nullptr: none
    const char* stateValue;
    Place expected;
    const char* stateFileBelowValue;  // the file's name under stateValue
    bool installed = false;
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class SavedPlace : public SavedInputsTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(SavedPlace, BuildTreesProgramFolderFirstThenTheStateFolderElseAnErrorNamingEach) {
    const PlaceCase& c = GetParam();
    std::ofstream(folder_ / "plain") << "x";
    if (!c.programFolderWritable) platform_.executableFolder = (folder_ / "plain" / "bin").string();
    platform_.installed = c.installed;
    const fs::path programFile = fs::path(platform_.executableFolder) / "Quorvane.txt";
    // Left by an earlier version: an installed program neither replaces nor deletes it.
    const bool oldFile = c.installed && c.programFolderWritable;
    if (oldFile) std::ofstream(programFile) << "old";
    const auto expectOldFileKept = [&] {
        if (!oldFile) return;
        std::ifstream old(programFile);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    };
    fs::path stateFile;
    if (c.stateVariable) {
        platform_.environment[c.stateVariable] = (folder_ / c.stateValue).string();
        stateFile = folder_ / c.stateValue / c.stateFileBelowValue;
    }
    const Fields fields{"25", "2", "", "", "", "", "", ""};

    if (c.expected == Place::Neither) {
        try {
            SaveCurrentData(fields, platform_);
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& error) {
            const std::string stateLine = stateFile.empty()
                ? "The user's state folder is unknown: neither XDG_STATE_HOME nor HOME names an absolute folder."
                : "\"" + stateFile.string() + "\": Not a directory";
            const std::string programLine =
                c.installed ? "" : "\"" + programFile.string() + "\": Not a directory\n";
            EXPECT_EQ(std::string(error.what()), "The saved inputs file could not be written.\n" + programLine + stateLine);
        }
        expectOldFileKept();
        return;
    }
    const fs::path expected = c.expected == Place::ProgramFolder ? programFile : stateFile;
    EXPECT_EQ(SaveCurrentData(fields, platform_), expected.string());
    std::ifstream in(expected, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "25 2       ");
    if (c.expected == Place::StateFolder) {
        EXPECT_EQ(fs::status(expected.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    } else if (!stateFile.empty()) {
        EXPECT_FALSE(fs::exists(stateFile.parent_path()));
    }

    DeleteSavedInputs(platform_);  // Clear Data finds it where it was written
    EXPECT_FALSE(fs::exists(expected));
    expectOldFileKept();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, SavedPlace,
    ::testing::Values(
        PlaceCase{"WritableProgramFolder", true, "XDG_STATE_HOME", "state", Place::ProgramFolder,
                  "quorvane/Quorvane.txt"},
        PlaceCase{"XdgStateHomeMadeOnFirstUse", false, "XDG_STATE_HOME", "new/state", Place::StateFolder,
                  "quorvane/Quorvane.txt"},
        PlaceCase{"HomeDefault", false, "HOME", "home", Place::StateFolder, ".local/state/quorvane/Quorvane.txt"},
        PlaceCase{"NeitherWritable", false, "XDG_STATE_HOME", "plain/state", Place::Neither,
                  "quorvane/Quorvane.txt"},
        PlaceCase{"NoStateFolder", false, nullptr, nullptr, Place::Neither, nullptr},
        // As root it could write /usr/bin, but no package owns the file there.
        PlaceCase{"InstalledKeepsOutOfItsWritableFolder", true, "XDG_STATE_HOME", "state", Place::StateFolder,
                  "quorvane/Quorvane.txt", true},
        PlaceCase{"InstalledWithoutStateFolder", true, nullptr, nullptr, Place::Neither, nullptr, true}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

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

TEST_F(SavedInputsTest, FolderInPlaceOfTheFileRaisesInOutErrorAndSurvives) {
    fs::create_directory(file_);
    try {
        SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_);
        FAIL() << "expected EInOutError";
    } catch (const EInOutError& error) {
        EXPECT_THAT(error.what(), ::testing::StartsWith("The saved inputs file could not be written.\n\"" +
                                                        file_.string() + "\": Is a directory\n"));
    }
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(SavedInputsTest, DeleteRemovesTheFileFromBothPlaces) {
    // An earlier run wrote to the state folder while the program's folder was read-only.
    platform_.environment["XDG_STATE_HOME"] = folder_.string();
    fs::create_directory(folder_ / "quorvane");
    std::ofstream(folder_ / "quorvane" / "Quorvane.txt") << "3 1       ";
    SaveCurrentData({"25", "2", "", "", "", "", "", ""}, platform_);
    ASSERT_TRUE(fs::exists(file_));
    DeleteSavedInputs(platform_);
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_FALSE(fs::exists(folder_ / "quorvane" / "Quorvane.txt"));
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
