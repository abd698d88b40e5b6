#pragma once
// The faces the reports are set in, on the screen and on paper alike.

#include <QFont>

namespace quorvane {

// Courier New at the given pixel height, or the system's fixed-pitch face where Courier
// New is not installed: the report's columns line up only in a fixed-pitch font.
QFont ReportFont(int pixelSize);

// The application's default face at the given pixel height.
QFont WindowFont(int pixelSize, bool bold = false);

}  // namespace quorvane
