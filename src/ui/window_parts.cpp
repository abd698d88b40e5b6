#include "ui/window_parts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStringList>

#include "analysis/program_texts.h"

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

namespace {

// The captions of a radio group's items.
template <std::size_t N>
QStringList Captions(const std::array<std::string, N>& captions) {
    QStringList list;
    for (const std::string& caption : captions) list.append(QString::fromStdString(caption));
    return list;
}

// A captioned group of option buttons, ids from 0 in the order given; the first is checked.
QGroupBox* MakeRadioGroup(const QString& caption, const QStringList& itemCaptions, QWidget* parent,
                          const QRect& geometry, QButtonGroup* items, ItemFlow flow) {
    auto* group = new QGroupBox(caption, parent);
    group->setGeometry(geometry);
    for (int i = 0; i < itemCaptions.size(); ++i) {
        auto* item = new QRadioButton(itemCaptions[i], group);
        if (flow == ItemFlow::Across)
            item->setGeometry(24 + 240 * i, 24, 220, 26);
        else
            item->setGeometry(12, 22 + 23 * i, geometry.width() - 16, 22);
        items->addButton(item, i);
    }
    items->button(0)->setChecked(true);
    return group;
}

}  // namespace

QGroupBox* MakeLimitGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items) {
    return MakeRadioGroup(QStringLiteral("95% credible limit required..."), Captions(kLimitCaptions), parent,
                          geometry, items, ItemFlow::Across);
}

QGroupBox* MakeTestGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items, ItemFlow flow) {
    return MakeRadioGroup(QStringLiteral("Analysis required..."), Captions(kTestCaptions), parent, geometry, items, flow);
}

void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.isEmpty() || point.front().unicode() >= 0x80) return '.';
    return static_cast<char>(point.front().unicode());
}

}  // namespace quorvane
