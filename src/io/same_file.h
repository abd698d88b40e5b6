#pragma once
// A save must never overwrite a file that an analysis reads: the output is compared
// with the inputs as files, not as names.

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// A file that an analysis reads, and what it is to the user.
struct InputFile {
    std::string path;
    std::string kind;  // kDataFile or kStatisticsFile
};
inline const std::string kDataFile = "data file";
inline const std::string kStatisticsFile = "statistics file";

// Whether two names lead to the same file: the same device and inode, links followed,
// so that a link or another spelling of a name counts. A name that leads to no file,
// such as the new file of a save, is never the same as another.
// fileStatus looks a name up: stat(2), unless a test feeds it chosen devices and inodes.
using FileStatus = int (*)(const char* path, struct stat* status);
bool IsSameFile(const std::string& a, const std::string& b, FileStatus fileStatus = ::stat);

// When output is the same file as one of the inputs, why it may not be written:
// "is the data file, which would be overwritten", or, for another name of the file,
// "is the same file as the data file "<path>", which would be overwritten".
std::optional<std::string> SameFileAsInput(const std::string& output, const std::vector<InputFile>& inputs);

}  // namespace quorvane
