#include "analysis/io_errors.h"

#include <cerrno>

namespace quorvane {

EInOutError InOutErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return EInOutError("File not found");
        case EACCES:
        case EPERM:
        case EROFS: return EInOutError("File access denied");
        default: return EInOutError("I/O error " + std::to_string(error));
    }
}

}  // namespace quorvane
