#pragma once
// What the windows share of their look: the fonts (from export/fonts.h), the bold command
// buttons, the panels and the radio groups of the credible limit and of the analysis, and
// their place in the middle of the screen; and the regional decimal separator their reports
// are written with.

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
// lower" and "One-sided upper" (ids 0 to 2, the LimitType values) in items, side by side;
// the first is checked.
QGroupBox* MakeLimitGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items);

// How a radio group sets out its items: side by side, as RadioGroup1 does, or one below
// the other.
enum class ItemFlow { Across, Down };

// RadioGroup2, "Analysis required...", with its items kTestCaptions (ids the AnalysisTest
// values) in items; the first is checked.
QGroupBox* MakeTestGroup(QWidget* parent, const QRect& geometry, QButtonGroup* items, ItemFlow flow);

// Moves a window of its final size to the middle of its screen's available area.
void CentreOnScreen(QWidget& window);

// The decimal separator of the user's regional settings; a full stop when it is not ASCII.
char SystemDecimalSeparator();

}  // namespace quorvane
