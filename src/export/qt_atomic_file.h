#pragma once
// Qt's bytes, of the windows and of the exported files, to the one writer that every
// saved file goes through.

#include <QByteArray>
#include <string>
#include <string_view>

#include "io/atomic_file.h"

namespace quorvane {

inline void WriteFileAtomically(const std::string& path, const QByteArray& bytes, const std::string& failure) {
    WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), failure);
}

}  // namespace quorvane
