#include "ui/open_folder_memory.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

std::optional<std::string> OpenFolderMemory::AskOpenFileName(const FileDialogOptions& options) {
    FileDialogOptions asked = options;
    if (lastFolder_) asked.initialFolder = *lastFolder_;
    std::optional<std::string> fileName = platform_.AskOpenFileName(asked);
    if (!fileName) return fileName;  // cancelled: the memory stays as it was
    const QString picked = QString::fromStdString(*fileName);
    if (!picked.trimmed().isEmpty())
        lastFolder_ = QDir::toNativeSeparators(QFileInfo(picked).absolutePath()).toStdString();
    return fileName;
}

}  // namespace quorvane
