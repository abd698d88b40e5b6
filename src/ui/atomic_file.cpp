#include "ui/atomic_file.h"

#include <QSaveFile>
#include <cerrno>

#include "analysis/io_errors.h"

namespace quorvane {

namespace {

// QSaveFile refuses some targets (a folder, a read-only file) without a system error,
// and those are access problems.
EInOutError SaveError(int error) { return InOutErrorFromErrno(error != 0 ? error : EACCES); }

}  // namespace

void WriteFileAtomically(const std::string& path, const QByteArray& bytes) {
    QSaveFile file(QString::fromStdString(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) throw SaveError(errno);
    // A short write (a full disk, a file size limit) must not be committed as the file.
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int error = errno;
        file.cancelWriting();
        throw SaveError(error);
    }
    errno = 0;
    if (!file.commit()) throw SaveError(errno);
}

}  // namespace quorvane
