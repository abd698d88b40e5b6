#include "ui/notes_memo.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTextCursor>

#include "export/memo_lines.h"
#include "ui/window_parts.h"

namespace quorvane {
namespace {

// Focus that leaves or comes back with the whole window, or for a popup menu, neither
// enters nor leaves the field.
bool EntersOrLeaves(const QFocusEvent& event) {
    return event.reason() != Qt::ActiveWindowFocusReason && event.reason() != Qt::PopupFocusReason;
}

}  // namespace

NotesMemo::NotesMemo(QWidget* parent, const QPoint& topLeft, int width) : QPlainTextEdit(parent) {
    setGeometry(QRect(topLeft, QSize(width, kNotesRestHeight)));
    setFont(ReportFont(12));
    document()->setDocumentMargin(2);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &NotesMemo::memoCommentsChange);
}

QStringList NotesMemo::NotesLines() const {
    const qreal width = viewport()->width() - 2 * document()->documentMargin();
    return WrappedMemoLines(toPlainText(), font(), document()->defaultTextOption(), width);
}

void NotesMemo::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    if (EntersOrLeaves(*event)) memoCommentsEnter();
}

void NotesMemo::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    if (EntersOrLeaves(*event)) memoCommentsExit();
}

void NotesMemo::keyReleaseEvent(QKeyEvent* event) {
    QPlainTextEdit::keyReleaseEvent(event);
    memoCommentsKeyUp(*event);
}

void NotesMemo::SetNotesHeight(int height) {
    QRect area = geometry();
    area.setHeight(height);  // the top stays: the field grows downward
    setGeometry(area);
    raise();  // over the panel below, not beneath it
}

void NotesMemo::memoCommentsEnter() {
    if (NotesLines().size() > 1) SetNotesHeight(kNotesOpenHeight);
}

void NotesMemo::memoCommentsKeyUp(const QKeyEvent& event) {
    const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    if (enter || NotesLines().size() > 1) SetNotesHeight(kNotesOpenHeight);
}

void NotesMemo::memoCommentsExit() { SetNotesHeight(kNotesRestHeight); }

void NotesMemo::memoCommentsChange() {
    // What goes beyond kMaxNotesLength is the text just typed or pasted, which ends at
    // the cursor.
    if (limitingNotes_) return;
    const qsizetype excess = toPlainText().size() - kMaxNotesLength;
    if (excess <= 0) return;
    limitingNotes_ = true;
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, static_cast<int>(excess));
    cursor.removeSelectedText();
    setTextCursor(cursor);
    limitingNotes_ = false;
}

}  // namespace quorvane
