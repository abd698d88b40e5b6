#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "io/io_errors.h"

namespace quorvane {

SaveCalls SystemSaveCalls() { return {::open, ::write, ::fsync, std::rename, ::unlink}; }

namespace {

namespace fs = std::filesystem;

// The system's description of errno after a failed call; EIO's should the C library not
// have set it, so a failure is never taken for success.
std::string LastError() { return std::generic_category().message(errno != 0 ? errno : EIO); }

// The file a save through path replaces: path itself, or the end of its chain of
// symbolic links, as editors save through a link. A chain too long is left unresolved
// and fails when the file is looked at.
fs::path SaveTarget(const fs::path& path) {
    constexpr int kMaxLinks = 40;  // the system's own limit
    fs::path target = path;
    std::error_code error;
    for (int depth = 0; depth < kMaxLinks && fs::is_symlink(target, error); ++depth) {
        const fs::path link = fs::read_symlink(target, error);
        if (error) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

// A new file beside target that no other process has: target's name and six random
// letters or digits. Its descriptor, or -1 with errno set.
int OpenNewFileBeside(const fs::path& target, mode_t mode, const SaveCalls& calls, fs::path& created) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr int kAttempts = 100;
    std::random_device random;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string suffix = ".";
        for (int i = 0; i < 6; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
        created = target;
        created += suffix;
        const int descriptor = calls.open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

// Writes every byte, then has the system put them on the disk: a write may succeed into
// the system's buffers and only the sync find the disk full.
std::optional<std::string> WriteAndSync(int descriptor, std::string_view bytes, const SaveCalls& calls) {
    while (!bytes.empty()) {
        errno = 0;
        const ssize_t written = calls.write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return LastError();
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    errno = 0;
    // EINVAL: a file system that cannot sync, where the write itself was the last check.
    if (calls.fsync(descriptor) != 0 && errno != EINVAL) return LastError();
    return std::nullopt;
}

// Why the file at target may not be replaced, or nothing; existing tells whether there
// is one, and what it is.
std::optional<std::string> CheckTarget(const fs::path& target, std::optional<struct stat>& existing) {
    struct stat status {};
    errno = 0;
    if (::stat(target.c_str(), &status) != 0) {
        if (errno == ENOENT) return std::nullopt;  // a new file; its folder is checked on creating it
        return LastError();
    }
    if (S_ISDIR(status.st_mode)) return std::generic_category().message(EISDIR);
    if (!S_ISREG(status.st_mode)) return "it is a device, a named pipe or a socket, not a file";
    errno = 0;
    if (::access(target.c_str(), W_OK) != 0) return LastError();
    existing = status;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReplaceFile(const std::string& path, std::string_view bytes, const SaveCalls& calls) {
    if (path.empty()) return std::generic_category().message(ENOENT);
    const fs::path target = SaveTarget(path);
    std::optional<struct stat> existing;
    if (auto refused = CheckTarget(target, existing)) return refused;

    // Until it has the old file's permissions, a replacement is the owner's alone.
    fs::path created;
    errno = 0;
    const int descriptor = OpenNewFileBeside(target, existing ? 0600 : 0666, calls, created);
    if (descriptor < 0) return LastError();
    std::optional<std::string> failure = WriteAndSync(descriptor, bytes, calls);
    // A file system without permission bits refuses this; the file is then only safer.
    if (!failure && existing) (void)::fchmod(descriptor, existing->st_mode & 07777);
    errno = 0;
    if (::close(descriptor) != 0 && !failure) failure = LastError();
    errno = 0;
    if (!failure && calls.rename(created.c_str(), target.c_str()) != 0) failure = LastError();
    if (failure) calls.unlink(created.c_str());
    return failure;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes, const std::string& failure) {
    if (const std::optional<std::string> reason = ReplaceFile(path, bytes)) throw InOutError(failure, *reason);
}

}  // namespace quorvane
