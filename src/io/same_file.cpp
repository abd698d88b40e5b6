#include "io/same_file.h"

#include <sys/stat.h>

#include "io/io_errors.h"

namespace quorvane {

bool IsSameFile(const std::string& a, const std::string& b, FileStatus fileStatus) {
    struct stat first {};
    struct stat second {};
    if (fileStatus(a.c_str(), &first) != 0 || fileStatus(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::optional<std::string> SameFileAsInput(const std::string& output, const std::vector<InputFile>& inputs) {
    for (const InputFile& input : inputs) {
        if (!IsSameFile(output, input.path)) continue;
        const std::string what = output == input.path ? "the " + input.kind
                                                      : "the same file as the " + input.kind + " " + Quoted(input.path);
        return "is " + what + ", which would be overwritten";
    }
    return std::nullopt;
}

}  // namespace quorvane
