#include "analysis/saved_inputs.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <variant>

#include "io/atomic_file.h"
#include "io/io_errors.h"
#include "analysis/program_texts.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// Deletes the file when there is one; never a folder of that name, and never an error.
void RemoveIfPresent(const fs::path& path) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) return;
    fs::remove(path, ignored);
}

// Makes the folder and its missing parents, readable by the user alone as the XDG base
// directory rules ask; nothing, or the reason it failed.
std::optional<std::string> MakeFolder(const fs::path& folder) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        errno = 0;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return std::generic_category().message(errno != 0 ? errno : EIO);
    }
    std::error_code error;
    if (fs::is_directory(folder, error)) return std::nullopt;
    return std::generic_category().message(ENOTDIR);
}

std::string FailureLine(const fs::path& path, const std::string& reason) {
    return Quoted(path.string()) + ": " + reason;
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

std::vector<std::string> WithTestItem(std::vector<std::string> texts, AnalysisTest test) {
    if (test != AnalysisTest::Deficit) texts.push_back(TestName(test));
    return texts;
}

std::string SaveCurrentData(const std::array<std::string, kInputFieldCount>& fieldTexts,
                            Platform& platform, AnalysisTest test) {
    return SaveInputTexts(WithTestItem({fieldTexts.begin(), fieldTexts.end()}, test), InputsFileName, platform);
}

std::string SaveRequestInputs(const AnalysisRequest& request, Platform& platform) {
    const auto* entries = std::get_if<SummaryEntries>(&request.source);
    // The third field holds the number of cases of a series; a single case's file is as
    // it always was.
    if (!entries)
        return SaveCurrentData({request.nText, request.kText, request.mText == "1" ? "" : request.mText}, platform,
                               request.test);
    std::vector<std::string> texts = {request.nText, request.kText};
    for (std::size_t v = 0; v < entries->means.size(); ++v)
        texts.insert(texts.end(), {entries->means[v], entries->sds[v], entries->caseScores[v]});
    texts.insert(texts.end(), entries->correlations.begin(), entries->correlations.end());
    return SaveInputTexts(WithTestItem(texts, request.test), SummaryInputsFileName, platform);
}

std::string SaveInputTexts(const std::vector<std::string>& texts, const std::string& fileName,
                           Platform& platform) {
    std::string content;
    for (const std::string& text : texts) (content += text) += ' ';

    std::string message = "The saved inputs file could not be written.";
    // An installed program's folder belongs to the system, even to a superuser who can write it.
    if (!platform.ProgramIsInstalled()) {
        const fs::path inProgramFolder = InProgramFolder(platform, fileName);
        const std::optional<std::string> programFolderError = ReplaceFile(inProgramFolder, content);
        if (!programFolderError) return inProgramFolder.string();
        message += '\n' + FailureLine(inProgramFolder, *programFolderError);
    }
    const std::string stateFolder = UserStateFolder(platform);
    if (stateFolder.empty())
        throw EInOutError(message + "\nThe user's state folder is unknown: neither XDG_STATE_HOME nor HOME "
                                    "names an absolute folder.");
    const fs::path inStateFolder = fs::path(stateFolder) / fileName;
    std::optional<std::string> stateFolderError = MakeFolder(stateFolder);
    if (!stateFolderError) stateFolderError = ReplaceFile(inStateFolder, content);
    if (!stateFolderError) return inStateFolder.string();
    throw EInOutError(message + '\n' + FailureLine(inStateFolder, *stateFolderError));
}

void DeleteSavedInputs(Platform& platform, const std::string& fileName) {
    if (!platform.ProgramIsInstalled()) RemoveIfPresent(InProgramFolder(platform, fileName));
    const std::string stateFolder = UserStateFolder(platform);
    if (!stateFolder.empty()) RemoveIfPresent(fs::path(stateFolder) / fileName);
}

}  // namespace quorvane
