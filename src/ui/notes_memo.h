#pragma once
// The notes field memoComments of both main windows.

#include <QPlainTextEdit>
#include <QStringList>

namespace quorvane {

// One line in the report's font at rest. It grows downward, over what lies below it, on
// entry when it holds more than one line on the screen and on Enter or a wrapping line
// while typing, and shrinks back on leaving; it refuses text beyond kMaxNotesLength
// characters. Tab leaves it rather than typing a tab.
class NotesMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kNotesRestHeight = 25;
    static constexpr int kNotesOpenHeight = 70;
    static constexpr int kMaxNotesLength = 250;

    NotesMemo(QWidget* parent, const QPoint& topLeft, int width);

    // The notes as lines on the screen, soft breaks included.
    QStringList NotesLines() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void memoCommentsEnter();
    void memoCommentsKeyUp(const QKeyEvent& event);
    void memoCommentsExit();
    void memoCommentsChange();
    void SetNotesHeight(int height);

    bool limitingNotes_ = false;
};

}  // namespace quorvane
