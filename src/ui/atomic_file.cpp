#include "ui/atomic_file.h"

#include <QSaveFile>
#include <cerrno>

#include "analysis/io_errors.h"

namespace quorvane {

namespace {

EInOutError SaveError(const std::string& failure, int error, const QSaveFile& file) {
    if (error != 0) return InOutErrorFromErrno(failure, error);
    return InOutError(failure, file.errorString().toStdString());
}

}  // namespace

void WriteFileAtomically(const std::string& path, const QByteArray& bytes, const std::string& failure) {
    QSaveFile file(QString::fromStdString(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) throw SaveError(failure, errno, file);
    // A short write (a full disk, a file size limit) must not be committed as the file.
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const EInOutError error = SaveError(failure, errno, file);
        file.cancelWriting();
        throw error;
    }
    errno = 0;
    if (!file.commit()) throw SaveError(failure, errno, file);
}

}  // namespace quorvane
