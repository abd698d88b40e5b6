#pragma once
// The fonts of the two windows, their bold command buttons and their panels.

#include <QFont>
#include <QFrame>
#include <QRect>

class QPushButton;
class QWidget;

namespace quorvane {

// Courier New at the given pixel height, or the system's fixed-pitch face where Courier
// New is not installed: the report's columns line up only in a fixed-pitch font.
QFont ReportFont(int pixelSize);

// The windows' default face at the given pixel height.
QFont WindowFont(int pixelSize, bool bold = false);

// A bold command button that does not answer Enter, as both windows have them.
QPushButton* MakeButton(const QString& caption, QWidget* parent, const QRect& geometry);

// A bevelled panel: raised around groups of fields, sunken under the button rows.
QFrame* MakePanel(QWidget* parent, const QRect& geometry, QFrame::Shadow shadow);

}  // namespace quorvane
