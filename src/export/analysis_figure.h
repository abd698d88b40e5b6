#pragma once
// The figure of one analysis: where the case stands against the controls with its
// covariate scores, and how sure the test is of its distance from them. The layout is
// computed first as plain numbers (positions in points, texts), so that it can be
// checked without pixels; PaintFigure then only draws what the layout holds.

#include <string>
#include <vector>

#include "analysis/report_figure.h"

class QPainter;

namespace quorvane {

struct FigurePoint {
    double x = 0;
    double y = 0;
};

struct FigureRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

enum class TextAlign { Left, Centre, Right };

struct FigureText {
    double x = 0;  // the anchor, on the text's baseline
    double y = 0;
    std::string text;
    TextAlign align = TextAlign::Left;
    double pointSize = 9;
    bool bold = false;
};

enum class LineStyle { Solid, Dashed };

// A vertical line across the plot: the case's score, Z-CCC or a credible limit.
struct FigureMarker {
    double x = 0;
    LineStyle style = LineStyle::Solid;
    bool emphasised = false;  // the case: drawn in the figure's accent colour
};

struct FigureTick {
    double x = 0;
    std::string label;
};

// The horizontal axis: value v lies at x = origin + (v - valueAtOrigin) * pointsPerUnit,
// except beyond a break, where the second segment starts again at breakEnd with its
// own valueAtOrigin (the scale stays the same).
struct FigureAxis {
    double pointsPerUnit = 0;
    double origin = 0;
    double valueAtOrigin = 0;
    bool broken = false;
    double breakStart = 0;  // x where the first segment ends
    double breakEnd = 0;    // x where the second segment starts
    double valueAfterBreak = 0;
    double X(double value) const;
};

struct FigurePanel {
    FigureRect plot;
    FigureAxis axis;                 // in the panel's own units (SDs for both panels)
    double pointsPerDensity = 0;     // curve panel: height of a unit of density
    std::vector<std::vector<FigurePoint>> curves;   // one polyline per axis segment
    std::vector<std::vector<FigurePoint>> shaded;   // closed polygons
    std::vector<FigureRect> bars;
    std::vector<FigureMarker> markers;
    std::vector<FigureTick> ticks;
    std::vector<FigureText> texts;   // headings, legends, tick labels, notes
};

struct FigureGeometry {
    double width = 0;
    double height = 0;
    FigurePanel cases;      // the case against the controls
    FigurePanel posterior;  // how sure we are
    std::vector<FigureText> captions;
};

// The whole figure, width points wide.
FigureGeometry LayoutFigure(const FigureInput& input, double width);

// Draws the layout with the painter's origin at the figure's top left, one unit a point.
void PaintFigure(QPainter& painter, const FigureGeometry& figure);

}  // namespace quorvane
