#include "analysis/saved_inputs.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "analysis/io_errors.h"
#include "analysis/metrics_papers.h"

namespace quorvane {

namespace {

// errno after a failed write; EIO should the C library not have set it, so a failed
// write is never taken for success.
int WriteErrno() { return errno != 0 ? errno : EIO; }

// Deletes the file when there is one; never a folder of that name, and never an error:
// creating the new file then decides whether the save can go on.
void RemoveIfPresent(const std::filesystem::path& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return;
    std::filesystem::remove(path, ignored);
}

}  // namespace

std::string SavedInputsPath(Platform& platform, const std::string& fileName) {
    return (std::filesystem::path(platform.ExecutableFolder()) / fileName).string();
}

void SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts,
                     Platform& platform) {
    SaveInputTexts({fieldTexts.begin(), fieldTexts.end()}, InputsFileName, platform);
}

void SaveInputTexts(const std::vector<std::string>& fieldTexts, const std::string& fileName,
                    Platform& platform) {
    const std::string path = SavedInputsPath(platform, fileName);
    RemoveIfPresent(path);

    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw InOutErrorFromErrno(errno);
    int writeError = 0;
    for (const std::string& text : fieldTexts) {
        const std::string item = text + ' ';
        if (std::fwrite(item.data(), 1, item.size(), file) != item.size()) {
            writeError = WriteErrno();
            break;
        }
    }
    // Closing flushes the buffer, so a full disk may only show here.
    errno = 0;
    if (std::fclose(file) != 0 && writeError == 0) writeError = WriteErrno();
    if (writeError != 0) throw InOutErrorFromErrno(writeError);
}

void DeleteSavedInputs(Platform& platform, const std::string& fileName) {
    RemoveIfPresent(SavedInputsPath(platform, fileName));
}

}  // namespace quorvane
