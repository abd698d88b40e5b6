#pragma once
// A write that fails half way, for the superuser too: the process's file size limit is
// lowered for the guard's lifetime, with SIGXFSZ ignored so that a write past the limit
// fails with EFBIG instead of ending the process.

#include <sys/resource.h>

#include <csignal>

namespace quorvane {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        if (getrlimit(RLIMIT_FSIZE, &previous_) != 0) return;
        rlimit tight = previous_;
        tight.rlim_cur = bytes;
        applied_ = setrlimit(RLIMIT_FSIZE, &tight) == 0;
    }
    ~FileSizeLimit() { Lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Applied() const { return applied_; }
    // Puts the limit and the signal's handler back before the guard ends.
    void Lift() {
        if (applied_) setrlimit(RLIMIT_FSIZE, &previous_);
        applied_ = false;
        if (previousHandler_ != SIG_ERR) std::signal(SIGXFSZ, previousHandler_);
        previousHandler_ = SIG_ERR;
    }

private:
    rlimit previous_{};
    bool applied_ = false;
    void (*previousHandler_)(int);
};

}  // namespace quorvane
