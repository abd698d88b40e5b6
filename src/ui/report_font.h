#pragma once
// What the windows share of their look: the fonts (from export/fonts.h), the bold command
// buttons, the panels and the credible-limit radio group; and the regional decimal
// separator their reports are written with.

#include <QFrame>
#include <QRect>

#include "export/fonts.h"  // ReportFont, WindowFont

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace quorvane {

// A bold command button that does not answer Enter, as both windows have them.
QPushButton* MakeButton(const QString& caption, QWidget* parent, const QRect& geometry);

// A bevelled panel: raised around groups of fields, sunken under the button rows.
QFrame* MakePanel(QWidget* parent, const QRect& geometry, QFrame::Shadow shadow);

// DescripFld: the read-only description across the top of a main window, on the
// button-face colour and not a tab stop; without a vertical scroll bar.
QPlainTextEdit* MakeDescriptionField(QWidget* parent);

// Panel3 below the description, holding lblComments, the notes field's bold caption.
QFrame* MakeNotesPanel(QWidget* parent, QLabel*& caption);

// RadioGroup1, "95% credible limit required...", with its items "Two-sided", "One-sided
// lower" and "One-sided upper" (ids 0 to 2, the LimitType values) in items; the first
// is checked.
QGroupBox* MakeLimitGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items);

// The decimal separator of the user's regional settings; a full stop when it is not ASCII.
char SystemDecimalSeparator();

}  // namespace quorvane
