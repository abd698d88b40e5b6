#include "io/atomic_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AtomicFile : public ::testing::Test {
protected:
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.insert(entry.path().filename().string());
        return names;
    }

    const testing::ScratchFolder scratch_{"quorvane_atomic"};
    const fs::path folder_ = scratch_.Path();
};

// What lies at the path saved to, and what the save makes of it.
struct TargetCase {
    const char* name;
    std::function<void(const fs::path& folder)> prepare;
    const char* savedName;
    std::string reason;                                 // empty: saved
    std::function<void(const fs::path& folder)> check;  // the folder afterwards
    SaveCalls calls = SystemSaveCalls();
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class SaveTarget : public AtomicFile, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(SaveTarget, IsReplacedWholeOrLeftAsItWas) {
    const TargetCase& c = GetParam();
    c.prepare(folder_);
    const std::set<std::string> before = Names();
    const std::optional<std::string> reason = ReplaceFile((folder_ / c.savedName).string(), "new\r\n", c.calls);
    EXPECT_EQ(reason.value_or(""), c.reason);
    c.check(folder_);
    // Nothing new beside it, whether it failed or not.
    for (const std::string& name : Names()) EXPECT_TRUE(before.count(name) || name == c.savedName) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SaveTarget,
    ::testing::Values(
        // A report kept private stays private.
        TargetCase{"LongerFileReplacedWholeKeepingItsPermissions",
                   [](const fs::path& folder) {
                       std::ofstream(folder / "old.txt") << "a much longer earlier report\r\n";
                       fs::permissions(folder / "old.txt", fs::perms::owner_read | fs::perms::owner_write);
                   },
                   "old.txt", "",
                   [](const fs::path& folder) {
                       EXPECT_EQ(Content(folder / "old.txt"), "new\r\n");
                       EXPECT_EQ(fs::status(folder / "old.txt").permissions(),
                                 fs::perms::owner_read | fs::perms::owner_write);
                   }},
        TargetCase{"LinkKeptAndTheFileItNamesReplaced",
                   [](const fs::path& folder) {
                       fs::create_directory(folder / "reports");
                       std::ofstream(folder / "reports" / "real.txt") << "old";
                       fs::create_symlink("reports/real.txt", folder / "link.txt");
                   },
                   "link.txt", "",
                   [](const fs::path& folder) {
                       EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
                       EXPECT_EQ(Content(folder / "reports" / "real.txt"), "new\r\n");
                       EXPECT_EQ(std::distance(fs::directory_iterator(folder / "reports"), {}), 1);
                   }},
        // Replacing a device or a pipe with a file would break what uses it.
        TargetCase{"NamedPipeRefused",
                   [](const fs::path& folder) { ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0); },
                   "pipe", "it is a device, a named pipe or a socket, not a file",
                   [](const fs::path& folder) { EXPECT_TRUE(fs::is_fifo(folder / "pipe")); }},
        // A full disk may show only when the data are synced.
        TargetCase{"FailedSyncKeepsTheOldFile",
                   [](const fs::path& folder) { std::ofstream(folder / "old.txt") << "old"; },
                   "old.txt", std::generic_category().message(EIO),
                   [](const fs::path& folder) { EXPECT_EQ(Content(folder / "old.txt"), "old"); },
                   [] {
                       SaveCalls calls = SystemSaveCalls();
                       calls.fsync = [](int) {
                           errno = EIO;
                           return -1;
                       };
                       return calls;
                   }()}),
    [](const ::testing::TestParamInfo<TargetCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
