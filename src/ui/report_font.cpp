#include "ui/report_font.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "analysis/metrics_papers.h"

namespace quorvane {

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

QPlainTextEdit* MakeDescriptionField(QWidget* parent) {
    auto* field = new QPlainTextEdit(parent);
    field->setGeometry(12, 10, 768, 94);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    field->setPalette(palette);
    return field;
}

QFrame* MakeNotesPanel(QWidget* parent, QLabel*& caption) {
    QFrame* panel = MakePanel(parent, QRect(12, 112, 768, 37), QFrame::Raised);
    caption = new QLabel(QString::fromStdString(kNotesCaption), panel);
    caption->setFont(WindowFont(13, true));
    caption->setGeometry(10, 0, 110, 37);
    return panel;
}

QGroupBox* MakeLimitGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items) {
    static const std::array<const char*, 3> kLimitItems = {"Two-sided", "One-sided lower", "One-sided upper"};
    auto* group = new QGroupBox(QStringLiteral("95% credible limit required..."), parent);
    group->setGeometry(geometry);
    for (int i = 0; i < static_cast<int>(kLimitItems.size()); ++i) {
        auto* item = new QRadioButton(QString::fromUtf8(kLimitItems[i]), group);
        item->setGeometry(24 + 240 * i, 24, 220, 26);
        items->addButton(item, i);
    }
    items->button(0)->setChecked(true);
    return group;
}

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.isEmpty() || point.front().unicode() >= 0x80) return '.';
    return static_cast<char>(point.front().unicode());
}

}  // namespace quorvane
