#pragma once
// Saving a file the safe way: the new content replaces the old file whole, or the old
// file stays as it was.

#include <QByteArray>
#include <string>

namespace quorvane {

// Writes bytes to path through QSaveFile. When it cannot, the old file is untouched and
// EInOutError says "<failure>: <reason>", the reason being the system's where the failing
// call left one, else Qt's (which refuses some targets itself, a folder for one).
void WriteFileAtomically(const std::string& path, const QByteArray& bytes, const std::string& failure);

}  // namespace quorvane
