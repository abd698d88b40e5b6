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
        default: {
            std::string message = "I/O error ";
            message += std::to_string(error);
            return EInOutError(message);
        }
    }
}

}  // namespace quorvane
