#pragma once
// The figure of one analysis: where the case stands against the controls with its
// covariate scores, and how sure the test is of its distance from them (a deficit) or of
// the difference between two tasks (a dissociation); or of a study's plan, its power
// against the number of controls. The layout is computed first as
// plain numbers (positions in points, texts), so that it can be checked without pixels;
// PaintFigure then only draws what the layout holds.

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
    bool upwards = false;  // set from bottom to top (a vertical axis's label); aligned along its baseline
    bool boxed = false;    // on a white box that breaks the lines beneath it (a contour's label)
};

enum class LineStyle { Solid, Dashed, Dotted };

// A vertical line across the plot: the case's score, Z-CCC or a credible limit.
struct FigureMarker {
    double x = 0;
    LineStyle style = LineStyle::Solid;
    bool emphasised = false;  // the case: drawn in the figure's accent colour
};

// A horizontal line across the plot: a plan's target power or asymptote.
struct FigureLevel {
    double y = 0;
    LineStyle style = LineStyle::Dashed;
};

struct FigureTick {
    double at = 0;  // x on a horizontal axis, y on a vertical one
    std::string label;
};

// An axis: value v lies at origin + (v - valueAtOrigin) * pointsPerUnit, an x on a
// horizontal axis and a y on a vertical one, where pointsPerUnit is negative so that
// values grow upwards. Beyond a break, the second segment starts again at breakEnd
// with its own valueAtOrigin (the scale stays the same).
struct FigureAxis {
    double pointsPerUnit = 0;
    double origin = 0;
    double valueAtOrigin = 0;
    bool broken = false;
    double breakStart = 0;  // where the first segment ends
    double breakEnd = 0;    // where the second segment starts
    double valueAfterBreak = 0;
    double At(double value) const;
};

struct FigurePanel {
    FigureRect plot;
    FigureAxis axis;                 // in the panel's own units (SDs for every panel)
    FigureAxis verticalAxis;         // the plane's second task; pointsPerUnit 0 where there is none
    double pointsPerDensity = 0;     // curve panel: height of a unit of density
    std::vector<std::vector<FigurePoint>> curves;   // the curve, one polyline per axis segment; the plane's contours
    std::vector<std::vector<FigurePoint>> shaded;   // closed polygons
    std::vector<std::vector<FigurePoint>> bands;    // the plane's band of differences not significant, closed
    std::vector<std::vector<FigurePoint>> guides;   // the plane's line of no difference; a plan's error bars
    std::vector<FigureRect> bars;
    std::vector<FigureMarker> markers;
    std::vector<FigureLevel> levels;
    std::vector<FigurePoint> dots;          // the case in the plane; a plan's simulated powers and sample size
    std::vector<FigureTick> ticks;          // below the plot
    std::vector<FigureTick> verticalTicks;  // left of the plot
    std::vector<FigureText> texts;   // headings, legends, tick labels, notes
};

struct FigureGeometry {
    double width = 0;
    double height = 0;
    FigurePanel cases;      // the case against the controls; a plan's power curve; every case's
                            // effect size of a series
    FigurePanel posterior;  // how sure we are; a plan or a series has none (its plot has no width)
    std::vector<FigureText> captions;
};

// The whole figure, width points wide, of the test the input holds.
FigureGeometry LayoutFigure(const FigureInput& input, double width);

// Draws the layout with the painter's origin at the figure's top left, one unit a point.
void PaintFigure(QPainter& painter, const FigureGeometry& figure);

}  // namespace quorvane
