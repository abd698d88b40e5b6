#include "analysis/saved_inputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "analysis/io_errors.h"
#include "analysis/metrics_papers.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// errno after a failed call; EIO should the C library not have set it, so a failure is
// never taken for success.
int LastErrno() { return errno != 0 ? errno : EIO; }

// Deletes the file when there is one; never a folder of that name, and never an error:
// creating the new file then decides whether the save can go on.
void RemoveIfPresent(const fs::path& path) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) return;
    fs::remove(path, ignored);
}

// Replaces the file with content; 0, or the errno value of the failure. The content goes
// to a file of this process beside it, renamed over the old file once complete, so a
// failure leaves the previous record as it was and no partial file behind.
int WriteWholeFile(const fs::path& path, const std::string& content) {
    fs::path temporary = path;
    temporary += "." + std::to_string(::getpid()) + ".new";
    RemoveIfPresent(temporary);  // left by an earlier process of the same number
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wbx");
    if (file == nullptr) return LastErrno();
    int error = 0;
    if (std::fwrite(content.data(), 1, content.size(), file) != content.size()) error = LastErrno();
    // Closing flushes the buffer, so a full disk may only show here.
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) error = LastErrno();
    errno = 0;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = LastErrno();
    if (error != 0) RemoveIfPresent(temporary);
    return error;
}

// Makes the folder and its missing parents, readable by the user alone as the XDG base
// directory rules ask; 0, or the errno value of the failure.
int MakeFolder(const fs::path& folder) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return LastErrno();
    }
    std::error_code error;
    return fs::is_directory(folder, error) ? 0 : ENOTDIR;
}

std::string FailureLine(const fs::path& path, int error) {
    return Quoted(path.string()) + ": " + std::generic_category().message(error);
}

fs::path InProgramFolder(Platform& platform, const std::string& fileName) {
    return fs::path(platform.ExecutableFolder()) / fileName;
}

}  // namespace

std::string UserStateFolder(Platform& platform) {
    const auto absoluteFolder = [&platform](const char* name) -> std::optional<fs::path> {
        const std::optional<std::string> value = platform.EnvironmentVariable(name);
        if (!value || !fs::path(*value).is_absolute()) return std::nullopt;
        return fs::path(*value);
    };
    if (const auto stateHome = absoluteFolder("XDG_STATE_HOME")) return (*stateHome / "quorvane").string();
    if (const auto home = absoluteFolder("HOME")) return (*home / ".local" / "state" / "quorvane").string();
    return {};
}

std::string SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts,
                            Platform& platform) {
    return SaveInputTexts({fieldTexts.begin(), fieldTexts.end()}, InputsFileName, platform);
}

std::string SaveInputTexts(const std::vector<std::string>& texts, const std::string& fileName,
                           Platform& platform) {
    std::string content;
    for (const std::string& text : texts) (content += text) += ' ';

    const fs::path inProgramFolder = InProgramFolder(platform, fileName);
    const int programFolderError = WriteWholeFile(inProgramFolder, content);
    if (programFolderError == 0) return inProgramFolder.string();

    std::string message = "The saved inputs file could not be written.\n" +
                          FailureLine(inProgramFolder, programFolderError) + '\n';
    const std::string stateFolder = UserStateFolder(platform);
    if (stateFolder.empty())
        throw EInOutError(message + "The user's state folder is unknown: neither XDG_STATE_HOME nor HOME "
                                    "names an absolute folder.");
    const fs::path inStateFolder = fs::path(stateFolder) / fileName;
    int stateFolderError = MakeFolder(stateFolder);
    if (stateFolderError == 0) stateFolderError = WriteWholeFile(inStateFolder, content);
    if (stateFolderError == 0) return inStateFolder.string();
    throw EInOutError(message + FailureLine(inStateFolder, stateFolderError));
}

void DeleteSavedInputs(Platform& platform, const std::string& fileName) {
    RemoveIfPresent(InProgramFolder(platform, fileName));
    const std::string stateFolder = UserStateFolder(platform);
    if (!stateFolder.empty()) RemoveIfPresent(fs::path(stateFolder) / fileName);
}

}  // namespace quorvane
