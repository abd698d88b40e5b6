#include "analysis/platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fake_platform.h"
#include "support/scratch_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// The platform's own answer, from the executable's folder alone.
class InFolder : public testing::FakePlatform {
public:
    bool ProgramIsInstalled() override { return Platform::ProgramIsInstalled(); }
};

TEST(ProgramIsInstalled, UnlessItRunsFromTheFolderItWasBuiltIn) {
    const fs::path built = QUORVANE_PROGRAMS_FOLDER;
    const testing::ScratchFolder scratchFolder("quorvane_platform");
    const fs::path scratch = scratchFolder.Path();
    fs::create_directory_symlink(built, scratch / "link");
    const std::pair<fs::path, bool> cases[] = {
        {built, false},
        {built / "", false},        // however the path is written
        {scratch / "link", false},  // through a link
        {built.parent_path(), true},
        {scratch, true},  // a copy elsewhere, a portable folder
        {"/usr/bin", true},
        {"", true},
    };
    for (const auto& [folder, installed] : cases) {
        InFolder platform;
        platform.executableFolder = folder.string();
        EXPECT_EQ(platform.ProgramIsInstalled(), installed) << folder;
    }
}

}  // namespace
}  // namespace quorvane
