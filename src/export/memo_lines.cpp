#include "export/memo_lines.h"

#include <QTextLayout>

namespace quorvane {

QStringList MemoLines(const QString& text) {
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n'))) lines.removeLast();
    return lines;
}

QStringList WrappedMemoLines(const QString& text, const QFont& font, const QTextOption& option,
                             qreal width) {
    const QStringList hardLines = MemoLines(text);
    if (width <= 0) return hardLines;

    QStringList lines;
    for (const QString& hardLine : hardLines) {
        if (hardLine.isEmpty()) {
            lines.append(hardLine);
            continue;
        }
        QTextLayout layout(hardLine, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            // The blank at a soft break belongs to no line on the screen.
            QString piece = hardLine.mid(line.textStart(), line.textLength());
            const bool softBreak = line.textStart() + line.textLength() < hardLine.size();
            while (softBreak && piece.endsWith(QLatin1Char(' '))) piece.chop(1);
            lines.append(piece);
        }
        layout.endLayout();
    }
    return lines;
}

}  // namespace quorvane
