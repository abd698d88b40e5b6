#pragma once
// The lines of a multi-line text area, counted the way its user sees them.

#include <QFont>
#include <QString>
#include <QStringList>
#include <QTextOption>

namespace quorvane {

// The hard lines of a text: none for an empty text, and a final line break ends the
// last line rather than starting an empty one ("a\nb\n" is two lines).
QStringList MemoLines(const QString& text);

// As MemoLines, but a line wider than width (pixels, in font) is split where the text
// area wraps it, so each piece is one line on the screen. A width of zero or less
// wraps nothing.
QStringList WrappedMemoLines(const QString& text, const QFont& font, const QTextOption& option,
                             qreal width);

}  // namespace quorvane
