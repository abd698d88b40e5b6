#pragma once
// Saving a file the safe way: the new content replaces the old file whole, or the old
// file stays as it was.

#include <QByteArray>
#include <string>

namespace quorvane {

// Writes bytes to path through QSaveFile; throws EInOutError when the file cannot be
// written, after which the old file is untouched.
void WriteFileAtomically(const std::string& path, const QByteArray& bytes);

}  // namespace quorvane
