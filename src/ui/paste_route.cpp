#include "ui/paste_route.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace quorvane {

bool IsUnboundRedo(const QKeyEvent& event) {
    return event.modifiers() == Qt::ControlModifier && event.key() == Qt::Key_Y && !event.matches(QKeySequence::Redo);
}

PasteRoute::PasteRoute(QObject* parent, Handler handler) : QObject(parent), handler_(std::move(handler)) {}

void PasteRoute::Watch(QLineEdit* edit) {
    edit->setAcceptDrops(false);
    edit->installEventFilter(this);
}

bool PasteRoute::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr || edit->isReadOnly()) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
            if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return false;
            Paste(edit, QClipboard::Clipboard);
            return true;
        case QEvent::MouseButtonRelease:
            // The middle button pastes the selection where the window system keeps one.
            if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton ||
                !QGuiApplication::clipboard()->supportsSelection())
                return false;
            edit->deselect();
            Paste(edit, QClipboard::Selection);
            return true;
        case QEvent::ContextMenu:
            ShowContextMenu(edit, *static_cast<QContextMenuEvent*>(event));
            return true;
        default: return false;
    }
}

void PasteRoute::Paste(QLineEdit* edit, QClipboard::Mode mode) {
    handler_(edit, QGuiApplication::clipboard()->text(mode));
}

void PasteRoute::ShowContextMenu(QLineEdit* edit, const QContextMenuEvent& event) {
    // The edit's own menu, whose Paste is rerouted: the one action wired to the edit's
    // paste (by name, as the menu wires it).
    QMenu* menu = edit->createStandardContextMenu();
    for (QAction* action : menu->actions())
        if (QObject::disconnect(action, SIGNAL(triggered()), edit, SLOT(paste())))
            connect(action, &QAction::triggered, this, [this, edit] { Paste(edit, QClipboard::Clipboard); });
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event.globalPos());
}

}  // namespace quorvane
