#include "export/fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace quorvane {

QFont ReportFont(int pixelSize) {
    QFont font = QFontDatabase::hasFamily(QStringLiteral("Courier New"))
                     ? QFont(QStringLiteral("Courier New"))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

QFont WindowFont(int pixelSize, bool bold) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace quorvane
