#pragma once
// Saving a file the safe way: the new content replaces the old file whole, or the old
// file stays as it was. Every file the programs write goes through here: the reports,
// PDFs and figures, the statistics files and the saved inputs.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The system calls a save makes: the C library's, unless a test passes one that fails.
struct SaveCalls {
    int (*open)(const char* path, int flags, ...);
    ssize_t (*write)(int descriptor, const void* bytes, std::size_t count);
    int (*fsync)(int descriptor);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
};
SaveCalls SystemSaveCalls();

// Writes bytes to a new file beside path, forces them onto the disk and only then renames
// that file over path, so a full disk or a file size limit, which may show only when the
// data leave the system's buffers, is found before the old file is touched. A symbolic
// link at path is followed: the file it names is replaced and the link kept. A file that
// is replaced keeps its permissions; a new one gets those the umask allows. A folder, a
// device, a named pipe or a socket at path is never replaced, and an existing file that
// the user may not write is not either. Returns the reason the save failed (the system's
// where it gave one), with nothing written and no new file left behind; nothing when the
// file was replaced.
std::optional<std::string> ReplaceFile(const std::string& path, std::string_view bytes,
                                       const SaveCalls& calls = SystemSaveCalls());

// The same, throwing EInOutError "<failure>: <reason>" when the save fails.
void WriteFileAtomically(const std::string& path, std::string_view bytes, const std::string& failure);

}  // namespace quorvane
