#include "ui/report_font.h"

#include <QPushButton>

#include <QApplication>
#include <QFontDatabase>

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
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QPushButton* MakeButton(const QString& caption, QWidget* parent, const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setFont(WindowFont(13, true));
    button->setAutoDefault(false);  // no button answers Enter
    button->setGeometry(geometry);
    return button;
}

QFrame* MakePanel(QWidget* parent, const QRect& geometry, QFrame::Shadow shadow) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::StyledPanel | shadow);
    panel->setGeometry(geometry);
    return panel;
}

}  // namespace quorvane
