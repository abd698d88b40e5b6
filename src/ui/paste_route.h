#pragma once
// Every paste into the watched line edits goes to one handler, with the text it would
// paste, instead of straight into the edit: the Paste keys, the context menu's Paste and
// the middle button's paste of the selection. The handler checks the text and inserts
// what it accepts. Drops are turned off on those edits, as dropped text would go round
// the check.

#include <QClipboard>
#include <QObject>
#include <QString>
#include <functional>

class QContextMenuEvent;
class QKeyEvent;
class QLineEdit;

namespace quorvane {

// Ctrl+Y, which redoes on most desktops, where the key scheme binds Redo to Ctrl+Shift+Z
// alone: the windows' fields redo on it too.
bool IsUnboundRedo(const QKeyEvent& event);

class PasteRoute : public QObject {
public:
    using Handler = std::function<void(QLineEdit* edit, const QString& text)>;
    PasteRoute(QObject* parent, Handler handler);

    // Routes the edit's pastes to the handler. Installed after the edit's other event
    // filters, it sees the edit's events before them.
    void Watch(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Paste(QLineEdit* edit, QClipboard::Mode mode);
    void ShowContextMenu(QLineEdit* edit, const QContextMenuEvent& event);

    Handler handler_;
};

}  // namespace quorvane
