#include "export/analysis_figure.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numbers>
#include <type_traits>
#include <variant>

#include "analysis/reported_outcome.h"
#include "export/fonts.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// Vertical layout of a panel, in points below its top ...
constexpr double kTitleLine = 11;
constexpr double kInfoLine = 12.5;     // distance between the heading's lines
constexpr double kTagRow = 74;         // the markers' tags, just above the plot
constexpr double kPlotTop = 79;
constexpr double kPlotHeight = 115;
// ... and below its plot.
constexpr double kTickLabels = 12;
constexpr double kAxisLabel = kTickLabels + 13;
constexpr double kNoteLine = kAxisLabel + 12;
constexpr double kPanelEnd = kNoteLine + 6;
constexpr double kPanelGap = 10;
constexpr double kSideMargin = 6;
constexpr double kBreakGap = 18;

// The curve panel shows the controls' curve from 4 SDs below its centre to 4 above; a
// case further out than kBreakBeyond SDs gets a segment of its own past a broken axis.
constexpr double kCurveReach = 4;
constexpr double kBreakBeyond = 6;
constexpr double kCaseMargin = 0.75;  // SDs shown beyond the case
constexpr int kCurveSamples = 400;    // points of the curve per axis segment
constexpr double kVisibleShare = 0.002;  // less of the curve's area than this is too thin to see

// The plane of two tasks: each axis as the curve panel's, taking in a case up to
// kBreakBeyond SDs out, at one scale on both axes so that the contours keep their shape.
constexpr double kPlaneSide = 210;       // the plot's longer side at most: the figure fits a Letter page
constexpr double kPlaneLabelRoom = 40;   // left of the plot: the vertical axis's ticks and label
constexpr double kPlaneGap = 14;         // between the heading's last line and the plot
constexpr std::array<double, 3> kContourShares = {0.5, 0.9, 0.99};
constexpr int kContourSamples = 240;
// |Z-DCCC| below it: a difference not significant, two-tailed at 5%, the estimates taken as exact.
constexpr long double kSignificantZ = 1.96L;

constexpr double kHeadingSize = 10;
constexpr double kInfoSize = 8;
constexpr double kTickSize = 8;
constexpr int kMaxTicks = 100;

double NormalDensity(double z) { return std::exp(-0.5 * z * z) / std::sqrt(2 * std::numbers::pi); }

double Phi(double z) { return 0.5 * std::erfc(-z / std::numbers::sqrt2); }

// Tick step: 1, 2 or 5 times a power of ten, the one giving nearest `target` ticks over span.
double NiceStep(double span, int target) {
    const double raw = span / std::max(1, target);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double best = power;
    for (const double factor : {2.0, 5.0, 10.0})
        if (std::abs(span / (factor * power) - target) < std::abs(span / best - target)) best = factor * power;
    return best;
}

int DecimalsFor(double step) { return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9)); }

struct TickValue {
    double value;
    std::string label;
};

// The multiples of a nice step between lo and hi, with their labels.
// A span without width in doubles (a mean huge against its SD) gets no ticks, and no
// span more than kMaxTicks: a zero step would never reach hi.
std::vector<TickValue> TickValues(double lo, double hi, int target, char separator) {
    std::vector<TickValue> ticks;
    if (!(hi - lo > 0) || !std::isfinite(hi - lo)) return ticks;
    const double step = NiceStep(hi - lo, target);
    if (!(step > 0) || !std::isfinite(step)) return ticks;
    const int decimals = DecimalsFor(step);
    const double first = std::ceil(lo / step);
    for (int i = 0; i < kMaxTicks && (first + i) * step <= hi + step * 1e-9; ++i) {
        const double value = (first + i) * step;
        ticks.push_back({value, FormatFixed(value, 0, decimals, separator)});
    }
    return ticks;
}

// Ticks below the plot between lo and hi (in the labels' unit), placed on the axis at
// toUnit(label value), each labelled.
template <typename ToUnit>
void AddTicks(FigurePanel& panel, double lo, double hi, int target, ToUnit toUnit, char separator) {
    for (TickValue& tick : TickValues(lo, hi, target, separator)) {
        const double x = panel.axis.At(toUnit(tick.value));
        panel.texts.push_back({x, panel.plot.bottom() + kTickLabels, tick.label, TextAlign::Centre, kTickSize});
        panel.ticks.push_back({x, std::move(tick.label)});
    }
}

// Ticks left of the plot, on the vertical axis, between lo and hi.
void AddVerticalTicks(FigurePanel& panel, double lo, double hi, int target, char separator) {
    for (TickValue& tick : TickValues(lo, hi, target, separator)) {
        const double y = panel.verticalAxis.At(tick.value);
        panel.texts.push_back({panel.plot.left - 6, y + kTickSize / 3, tick.label, TextAlign::Right, kTickSize});
        panel.verticalTicks.push_back({y, std::move(tick.label)});
    }
}

// The ticks' count for an axis this long: one in about 60 points.
int TickTarget(double points) { return std::max(2, static_cast<int>(std::lround(points / 60))); }

// A count in groups of three digits, set apart by thin spaces as in any language.
std::string Grouped(int count) {
    std::string digits = std::to_string(count);
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), "\u2009");
    return digits;
}

std::string Fixed(long double value, int decimals, char separator) {
    return FormatFixed(value, 0, decimals, separator);
}

// The panel's frame: plot rectangle across the width, heading above it.
FigurePanel EmptyPanel(double top, double width) {
    FigurePanel panel;
    panel.plot = {kSideMargin, top + kPlotTop, width - 2 * kSideMargin, kPlotHeight};
    return panel;
}

void AddHeading(FigurePanel& panel, double top, const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        panel.texts.push_back({kSideMargin, top + kTitleLine + kInfoLine * static_cast<double>(i), lines[i],
                               TextAlign::Left, i == 0 ? kHeadingSize : kInfoSize, i == 0});
}

// The label below the plot's horizontal axis, and the note below that.
void AddAxisLabel(FigurePanel& panel, const std::string& text) {
    panel.texts.push_back({panel.plot.left + panel.plot.width / 2, panel.plot.bottom() + kAxisLabel, text,
                           TextAlign::Centre, kInfoSize});
}

void AddNote(FigurePanel& panel, const std::string& text, bool bold) {
    panel.texts.push_back({panel.plot.left + panel.plot.width / 2, panel.plot.bottom() + kNoteLine, text,
                           TextAlign::Centre, kInfoSize, bold});
}

// A marker's tag above the plot, kept inside [minX, maxX] so that it overlaps neither
// the plot's edges nor its neighbours' tags. Width is estimated at 0.6 em a character.
void AddTag(FigurePanel& panel, double x, const std::string& text, TextAlign align, double minX, double maxX) {
    const double width = 0.6 * kTickSize * static_cast<double>(text.size());
    double left = align == TextAlign::Left ? x : align == TextAlign::Right ? x - width : x - width / 2;
    left = std::clamp(left, minX, std::max(minX, maxX - width));
    panel.texts.push_back({left, panel.plot.top - (kPlotTop - kTagRow), text, TextAlign::Left, kTickSize, true});
}

// The percentage of the report, below the case or more extreme than its difference,
// with the credible limit(s) the report gives of it.
std::string PercentWithLimits(const ReportedOutcome& o, char sep) {
    if (o.percentLower && o.percentUpper)
        return FormatText("%2.4f%% (95%% CI = %3.4f%%  to  %3.4f%%)", {o.percent, *o.percentLower, *o.percentUpper}, sep);
    if (o.percentLower) return FormatText("%2.4f%% (95%% lower Credible Limit = %3.4f%%)", {o.percent, *o.percentLower}, sep);
    if (o.percentUpper) return FormatText("%2.4f%% (95%% upper Credible Limit = %3.4f%%)", {o.percent, *o.percentUpper}, sep);
    return FormatText("%2.4f%%", {o.percent}, sep);
}

// The values an axis in SDs shows: [-4, 4] widened to take in the case with kCaseMargin
// SDs to spare or, for a case beyond kBreakBeyond SDs, [-4, 4] and one SD either side
// of the case past a break.
struct Span {
    double from, to;
};
std::vector<Span> SegmentsWithCase(double z) {
    if (std::abs(z) <= kBreakBeyond) return {{std::min(-kCurveReach, z - kCaseMargin), std::max(kCurveReach, z + kCaseMargin)}};
    if (z < 0) return {{z - 1, z + 1}, {-kCurveReach, kCurveReach}};
    return {{-kCurveReach, kCurveReach}, {z - 1, z + 1}};
}

double Units(const std::vector<Span>& segments) {
    double units = 0;
    for (const Span& s : segments) units += s.to - s.from;
    return units;
}

// An axis over the segments from origin on, kBreakGap points between two of them.
FigureAxis SegmentedAxis(const std::vector<Span>& segments, double origin, double pointsPerUnit) {
    FigureAxis axis;
    axis.pointsPerUnit = pointsPerUnit;
    axis.origin = origin;
    axis.valueAtOrigin = segments[0].from;
    if (segments.size() == 2) {
        axis.breakStart = axis.At(segments[0].to);  // still on the unbroken scale
        axis.broken = true;
        axis.breakEnd = axis.breakStart + (pointsPerUnit < 0 ? -kBreakGap : kBreakGap);
        axis.valueAfterBreak = segments[1].from;
    }
    return axis;
}

// How the figure names the controls' centre and spread: those of the controls with the
// case's covariate scores or, without covariates, the controls' own.
struct ControlsWords {
    std::string heading;         // of the case's panel
    std::string mean;            // the sample estimate, before its value
    std::string centre;          // what the plane's axes count SDs from
    std::string controlsCentre;  // what the curve's and the posterior's axes count SDs from
    std::string correlation;     // the tasks', before its value
    // The tasks in a sentence and on an axis: the data file's names, when it gave them.
    std::string taskOfInterest = "the task of interest";
    std::array<std::string, 2> task{"task 1", "task 2"};
    std::array<std::string, 2> taskAxis{"Task 1", "Task 2"};
};

const ControlsWords kWithCovariates{"The case against controls with the same covariate scores", "conditional mean",
                                   "the conditional mean", "the controls' conditional mean", "conditional correlation"};
const ControlsWords kWithoutCovariates{"The case against the controls", "mean", "the controls' mean", "the controls' mean",
                                      "correlation"};

ControlsWords ControlsWordsOf(const FigureInput& in) {
    ControlsWords words = in.withCovariates ? kWithCovariates : kWithoutCovariates;
    if (!in.names.empty()) words.taskOfInterest = in.names[0];
    for (std::size_t j = 0; j < 2 && j < in.names.size(); ++j) words.task[j] = words.taskAxis[j] = in.names[j];
    return words;
}

// The controls' curve in SDs from the conditional mean, the case marked and the curve
// below it shaded, over the segments that take in the case.
FigurePanel LayoutCurvePanel(const DeficitFigure& d, LimitType limitType, const ControlsWords& controls, char sep,
                             double top, double width) {
    FigurePanel panel = EmptyPanel(top, width);
    const double z = static_cast<double>(d.outcome.results(ZCCC));

    const std::vector<Span> segments = SegmentsWithCase(z);
    const bool broken = segments.size() == 2;
    FigureAxis& axis = panel.axis;
    axis = SegmentedAxis(segments, panel.plot.left, (panel.plot.width - (broken ? kBreakGap : 0)) / Units(segments));
    panel.pointsPerDensity = 0.92 * panel.plot.height / NormalDensity(0);
    const double baseline = panel.plot.bottom();
    const auto point = [&](double u) { return FigurePoint{axis.At(u), baseline - NormalDensity(u) * panel.pointsPerDensity}; };

    const double mean = static_cast<double>(d.outcome.condMean), sd = static_cast<double>(d.outcome.condSD);
    for (const Span& s : segments) {
        std::vector<FigurePoint> curve;
        for (int i = 0; i <= kCurveSamples; ++i) curve.push_back(point(s.from + (s.to - s.from) * i / kCurveSamples));
        panel.curves.push_back(std::move(curve));
        if (z > s.from) {
            const double end = std::min(z, s.to);
            std::vector<FigurePoint> area{{axis.At(s.from), baseline}};
            for (int i = 0; i <= kCurveSamples; ++i) area.push_back(point(s.from + (end - s.from) * i / kCurveSamples));
            area.push_back({axis.At(end), baseline});
            panel.shaded.push_back(std::move(area));
        }
        AddTicks(panel, mean + s.from * sd, mean + s.to * sd, TickTarget((s.to - s.from) * axis.pointsPerUnit),
                 [&](double score) { return (score - mean) / sd; }, sep);
    }

    const double caseX = axis.At(z);
    panel.markers.push_back({caseX, LineStyle::Solid, true});
    const std::string tag = "case " + Fixed(d.caseScore, 3, sep);
    AddTag(panel, caseX, tag, caseX > panel.plot.left + panel.plot.width / 2 ? TextAlign::Right : TextAlign::Left,
           panel.plot.left, panel.plot.right());

    AddHeading(panel, top,
               {controls.heading,
                "Curve: the controls' scores; sample estimates: " + controls.mean + " " + Fixed(d.outcome.condMean, 3, sep) +
                    ", SD " + Fixed(d.outcome.condSD, 3, sep),
                "Shaded: the curve below the case's score of " + Fixed(d.caseScore, 3, sep) + ", " +
                    Fixed(Phi(z) * 100, 4, sep) + "% of its area" + (Phi(z) < kVisibleShare ? ", too little to see" : ""),
                "Bayesian estimate of the percentage of controls below the case:",
                "    " + PercentWithLimits(ReportedDeficit(d.outcome.results, limitType), sep)});
    AddAxisLabel(panel, "Score on " + controls.taskOfInterest);
    if (broken) {
        AddNote(panel,
                "Axis broken: the case lies " + Fixed(std::abs(z), 1, sep) + " SDs " + (z < 0 ? "below" : "above") +
                    " " + controls.controlsCentre + ".",
                true);
    }
    return panel;
}

// The part of a convex polygon (in the plane's values) where a z1 + b z2 <= c:
// Sutherland-Hodgman clipping against one half-plane.
std::vector<FigurePoint> ClipToHalfPlane(const std::vector<FigurePoint>& polygon, double a, double b, double c) {
    std::vector<FigurePoint> clipped;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const FigurePoint& p = polygon[i];
        const FigurePoint& q = polygon[(i + 1) % polygon.size()];
        const double fp = a * p.x + b * p.y - c, fq = a * q.x + b * q.y - c;
        if (fp <= 0) clipped.push_back(p);
        if ((fp < 0 && fq > 0) || (fp > 0 && fq < 0)) {
            const double t = fp / (fp - fq);
            clipped.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
        }
    }
    return clipped;
}

// Where the case lies past a broken axis of the plane, for its note: "" when neither is broken.
std::string BrokenAxesNote(const std::array<double, 2>& z, const std::array<bool, 2>& broken,
                           const ControlsWords& controls, char sep) {
    const std::string& centre = controls.centre;
    const auto place = [&](int j) { return Fixed(std::abs(z[j]), 1, sep) + " SDs " + (z[j] < 0 ? "below" : "above"); };
    if (broken[0] && broken[1])
        return "Axes broken: the case lies " + place(0) + " on " + controls.task[0] + " and " + place(1) + " on " +
               controls.task[1] + ".";
    for (int j = 0; j < 2; ++j)
        if (broken[j])
            return "Axis broken: the case lies " + place(j) + " " + centre + " on " + controls.task[j] + ".";
    return "";
}

// The plane's point of values (z1, z2).
FigurePoint PlanePoint(const FigurePanel& plane, double z1, double z2) {
    return {plane.axis.At(z1), plane.verticalAxis.At(z2)};
}

// The line of no difference z1 = z2 and around it the band |z1 - z2| < 1.96 sqrt(2 - 2r),
// where Z-DCCC is not significant: in each block of the plane that the breaks leave,
// the block clipped to the band, and the diagonal's stretch across it.
void AddNoDifference(FigurePanel& plane, const std::vector<Span>& xs, const std::vector<Span>& ys, long double r) {
    const double w = static_cast<double>(kSignificantZ * std::sqrt(2 - 2 * r));
    for (const Span& x : xs) {
        for (const Span& y : ys) {
            const std::vector<FigurePoint> block{{x.from, y.from}, {x.to, y.from}, {x.to, y.to}, {x.from, y.to}};
            std::vector<FigurePoint> band;
            for (const FigurePoint& p : ClipToHalfPlane(ClipToHalfPlane(block, 1, -1, w), -1, 1, w))
                band.push_back(PlanePoint(plane, p.x, p.y));
            if (!band.empty()) plane.bands.push_back(std::move(band));
            const double from = std::max(x.from, y.from), to = std::min(x.to, y.to);
            if (from < to) plane.guides.push_back({PlanePoint(plane, from, from), PlanePoint(plane, to, to)});
        }
    }
}

// The controls' bivariate normal with correlation r as the contours z' R^-1 z = chi2_2(q)
// = -2 ln(1 - q) that hold the shares q of it: the ellipses sqrt(chi2_2(q)) L (cos t, sin t)
// with L the Cholesky factor of R, each labelled on its highest point, where the contours
// lie furthest apart but for a strong correlation.
void AddContours(FigurePanel& plane, double r, char sep) {
    const double sine = std::sqrt(1 - r * r);
    for (const double share : kContourShares) {
        const double radius = std::sqrt(-2 * std::log(1 - share));
        std::vector<FigurePoint> contour;
        for (int i = 0; i <= kContourSamples; ++i) {
            const double t = 2 * std::numbers::pi * i / kContourSamples;
            contour.push_back(PlanePoint(plane, radius * std::cos(t), radius * (r * std::cos(t) + sine * std::sin(t))));
        }
        plane.curves.push_back(std::move(contour));
        const FigurePoint highest = PlanePoint(plane, r * radius, radius);
        plane.texts.push_back({highest.x, highest.y + kTickSize / 3, Fixed(share * 100, 0, sep) + "%", TextAlign::Centre,
                               kTickSize, false, false, true});
    }
}

// The case's dot, tagged on the side towards the plot's centre.
void AddCaseDot(FigurePanel& plane, double z1, double z2) {
    const FigurePoint dot = PlanePoint(plane, z1, z2);
    plane.dots.push_back(dot);
    const bool rightHalf = dot.x > plane.plot.left + plane.plot.width / 2;
    plane.texts.push_back({dot.x + (rightHalf ? -6 : 6), dot.y + (dot.y < plane.plot.top + 12 ? 12 : -5), "case",
                           rightHalf ? TextAlign::Right : TextAlign::Left, kTickSize, true, false, true});
}

std::vector<std::string> PlaneHeading(const tDissociationOutcome& d, LimitType limitType, const ControlsWords& controls,
                                      char sep) {
    return {controls.heading,
            "Ellipses: where 50%, 90% and 99% of the controls' scores lie; the tasks' " + controls.correlation +
                FormatText(" %5.5f", {d.condCorrelation}, sep),
            "Sample estimates: " + controls.mean + " " + Fixed(d.tasks[0].condMean, 3, sep) + ", SD " +
                Fixed(d.tasks[0].condSD, 3, sep) + " on " + controls.task[0] + "; " +
                Fixed(d.tasks[1].condMean, 3, sep) + ", SD " + Fixed(d.tasks[1].condSD, 3, sep) + " on " +
                controls.task[1],
            FormatText("Grey band: a difference between the tasks too small to be significant (|Z-DCCC| < %.2f)",
                       {kSignificantZ}, sep),
            FormatText("Dot: the case, Z-CCC = %2.3f on ", {d.tasks[0].results(ZCCC)}, sep) + controls.task[0] +
                FormatText(" and %2.3f on ", {d.tasks[1].results(ZCCC)}, sep) + controls.task[1] +
                "; line: no difference",
            "Bayesian estimate of the percentage of controls with a more extreme difference:",
            "    " + PercentWithLimits(ReportedDifference(d, limitType), sep)};
}

// The plane of the two tasks in SDs from their conditional means, below its heading: the
// controls' contours, the line of no difference and its band, and the case at (Z-CCC_1,
// Z-CCC_2). Each axis has the curve panel's segments, at one scale on both so that the
// contours keep their shape.
FigurePanel LayoutPlanePanel(const tDissociationOutcome& d, LimitType limitType, const ControlsWords& controls, char sep,
                             double top, double width) {
    FigurePanel plane;
    AddHeading(plane, top, PlaneHeading(d, limitType, controls, sep));
    const std::array<double, 2> z{static_cast<double>(d.tasks[0].results(ZCCC)), static_cast<double>(d.tasks[1].results(ZCCC))};
    const std::vector<Span> xs = SegmentsWithCase(z[0]), ys = SegmentsWithCase(z[1]);
    const double xGap = xs.size() == 2 ? kBreakGap : 0, yGap = ys.size() == 2 ? kBreakGap : 0;
    const double room = width - 2 * kSideMargin - kPlaneLabelRoom;
    const double side = std::min(kPlaneSide, room);
    const double pointsPerUnit = std::min((side - xGap) / Units(xs), (side - yGap) / Units(ys));
    const double plotWidth = Units(xs) * pointsPerUnit + xGap;
    plane.plot = {kSideMargin + kPlaneLabelRoom + (room - plotWidth) / 2, plane.texts.back().y + kPlaneGap, plotWidth,
                  Units(ys) * pointsPerUnit + yGap};
    plane.axis = SegmentedAxis(xs, plane.plot.left, pointsPerUnit);
    plane.verticalAxis = SegmentedAxis(ys, plane.plot.bottom(), -pointsPerUnit);

    AddNoDifference(plane, xs, ys, d.condCorrelation);
    AddContours(plane, static_cast<double>(d.condCorrelation), sep);
    for (const Span& x : xs) AddTicks(plane, x.from, x.to, TickTarget((x.to - x.from) * pointsPerUnit), [](double v) { return v; }, sep);
    for (const Span& y : ys) AddVerticalTicks(plane, y.from, y.to, TickTarget((y.to - y.from) * pointsPerUnit), sep);
    AddCaseDot(plane, z[0], z[1]);

    AddAxisLabel(plane, controls.taskAxis[0] + " (SDs from " + controls.centre + ")");
    plane.texts.push_back({plane.plot.left - kPlaneLabelRoom + 8, plane.plot.top + plane.plot.height / 2,
                           controls.taskAxis[1] + " (SDs from " + controls.centre + ")", TextAlign::Centre, kInfoSize,
                           false, true});
    const std::string note = BrokenAxesNote(z, {xs.size() == 2, ys.size() == 2}, controls, sep);
    if (!note.empty()) AddNote(plane, note, true);
    return plane;
}

// What the posterior panel says of the statistic it shows.
struct PosteriorWords {
    std::string heading;   // what the panel is about
    std::string draws;     // what each draw is
    std::string name;      // of the point estimate
    std::string quantity;  // what the limits bound
    std::string sign;      // what a negative value means
    std::string axis;
};

std::string LimitsText(const ReportedOutcome& o, char sep) {
    if (o.effectLower && o.effectUpper)
        return FormatText("dashed: 95%% credible interval %3.3f  to  %3.3f", {*o.effectLower, *o.effectUpper}, sep);
    if (o.effectLower) return FormatText("dashed: 95%% lower Credible Limit = %3.3f", {*o.effectLower}, sep);
    if (o.effectUpper) return FormatText("dashed: 95%% upper Credible Limit = %3.3f", {*o.effectUpper}, sep);
    return "";
}

std::string LimitsMeaning(LimitType limitType, const std::string& quantity) {
    switch (limitType) {
        case LimitType::OneSidedLower: return "With 95% probability the case's true " + quantity + " lies above the lower limit.";
        case LimitType::OneSidedUpper: return "With 95% probability the case's true " + quantity + " lies below the upper limit.";
        case LimitType::TwoSided: break;
    }
    return "With 95% probability the case's true " + quantity + " lies between the two limits.";
}

// The histogram of the posterior draws of a standardised statistic, with its point
// estimate and the limits the report gives.
FigurePanel LayoutPosteriorPanel(const ReportedOutcome& o, const tDrawHistogram& h, LimitType limitType, char sep,
                                 const PosteriorWords& words, double top, double width) {
    FigurePanel panel = EmptyPanel(top, width);
    FigureAxis& axis = panel.axis;
    // Draws that all fell on one value leave the histogram no width: everything at the left.
    const double pointsPerUnit = panel.plot.width / (h.upper - h.lower);
    axis.pointsPerUnit = std::isfinite(pointsPerUnit) && pointsPerUnit > 0 ? pointsPerUnit : 0;
    axis.origin = panel.plot.left;
    axis.valueAtOrigin = h.lower;

    const int tallest = std::max(1, *std::max_element(h.counts.begin(), h.counts.end()));
    const double pointsPerCount = 0.92 * panel.plot.height / tallest;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (h.counts[i] == 0) continue;
        const double left = axis.At(h.Edge(i));
        const double height = h.counts[i] * pointsPerCount;
        panel.bars.push_back({left, panel.plot.bottom() - height, axis.At(h.Edge(i + 1)) - left, height});
    }
    AddTicks(panel, h.lower, h.upper, 8, [](double v) { return v; }, sep);

    const double zX = axis.At(static_cast<double>(o.effect));
    panel.markers.push_back({zX, LineStyle::Solid, true});
    double tagMin = panel.plot.left, tagMax = panel.plot.right();
    if (o.effectLower) {
        const double lowerX = axis.At(static_cast<double>(*o.effectLower));
        panel.markers.push_back({lowerX, LineStyle::Dashed, false});
        AddTag(panel, lowerX - 2, "lower limit", TextAlign::Right, panel.plot.left, lowerX - 2);
        tagMin = lowerX + 2;
    }
    if (o.effectUpper) {
        const double upperX = axis.At(static_cast<double>(*o.effectUpper));
        panel.markers.push_back({upperX, LineStyle::Dashed, false});
        AddTag(panel, upperX + 2, "upper limit", TextAlign::Left, upperX + 2, panel.plot.right());
        tagMax = upperX - 2;
    }
    AddTag(panel, zX, words.name, TextAlign::Centre, tagMin, tagMax);

    AddHeading(panel, top,
               {words.heading, "Bars: " + words.draws + " in " + Grouped(h.Total()) + " draws from its posterior distribution",
                "solid: effect size " + words.name + FormatText(" = %2.3f; ", {o.effect}, sep) + LimitsText(o, sep),
                LimitsMeaning(limitType, words.quantity), words.sign});
    AddAxisLabel(panel, words.axis);
    if (h.below + h.above > 0)
        AddNote(panel, "Draws beyond the axis: " + Grouped(h.below) + " below, " + Grouped(h.above) + " above.", false);
    return panel;
}

PosteriorWords DeficitWords(const ControlsWords& controls) {
    return {"How sure we are: the case's distance from the controls",
            "the case's standardised distance Z",
            "Z-CCC",
            "distance",
            "A negative distance is a score below the controls'.",
            "Standard deviations from " + controls.controlsCentre + " (Z)"};
}

PosteriorWords DissociationWords(const ControlsWords& controls) {
    return {"How sure we are: the difference between the case's two tasks",
            "the case's standardised difference",
            "Z-DCCC",
            "difference",
            "A negative difference: the case stands lower on " + controls.task[0] + " than on " + controls.task[1] +
                ", each against the controls.",
            "Standardised difference, " + controls.task[0] + " less " + controls.task[1] + " (Z-DCCC)"};
}

// The caption under both panels: the panel of the case takes the sample's estimates as
// exact, the Bayesian estimates do not.
std::vector<std::string> Caption(const DeficitFigure&) {
    return {"The curve takes the control sample's estimates as exact. The Bayesian estimate of the percentage",
            "below the case and its credible limits allow for the uncertainty of those estimates, so they differ",
            "from the shaded area, most for small control samples."};
}

std::vector<std::string> Caption(const tDissociationOutcome&) {
    return {"The ellipses, the band and the dot take the control sample's estimates as exact. The Bayesian estimate",
            "of the percentage with a more extreme difference and its credible limits allow for the uncertainty of",
            "those estimates, so they may differ from what the band shows, most for small control samples."};
}

FigurePanel LayoutCasePanel(const DeficitFigure& d, const FigureInput& in, double width) {
    return LayoutCurvePanel(d, in.limitType, ControlsWordsOf(in), in.decimalSeparator, 0, width);
}

FigurePanel LayoutCasePanel(const tDissociationOutcome& d, const FigureInput& in, double width) {
    return LayoutPlanePanel(d, in.limitType, ControlsWordsOf(in), in.decimalSeparator, 0, width);
}

FigurePanel LayoutPosteriorPanel(const DeficitFigure& d, const FigureInput& in, double top, double width) {
    return LayoutPosteriorPanel(ReportedDeficit(d.outcome.results, in.limitType), d.outcome.zHistogram, in.limitType,
                                in.decimalSeparator, DeficitWords(ControlsWordsOf(in)), top, width);
}

FigurePanel LayoutPosteriorPanel(const tDissociationOutcome& d, const FigureInput& in, double top, double width) {
    return LayoutPosteriorPanel(ReportedDifference(d, in.limitType), d.differenceHistogram, in.limitType,
                                in.decimalSeparator, DissociationWords(ControlsWordsOf(in)), top, width);
}

// A plan's power curve: power from 0 to 1 up the plot against n along it, taller than
// the other figures' plots since the curve is the whole figure.
constexpr double kPowerPlotHeight = 200;
constexpr double kLevelLabelGap = 3;  // between a level's line and its label

// A probability as the plan's inputs are typed: "0.05", "0.8", not "0.0500".
std::string Short(double value, char sep) {
    std::string text = Fixed(value, 4, sep);
    while (text.back() == '0') text.pop_back();
    if (text.back() == sep) text.pop_back();
    return text;
}

std::string SideOf(const PowerCurveFigure& p) {
    switch (p.alternative) {
        case Alternative::Less: return "one-tailed, a score below the controls'";
        case Alternative::Greater: return "one-tailed, a score above the controls'";
        case Alternative::TwoSided: break;
    }
    return "two-tailed";
}

// The power the curve gives at n, between its points linearly.
double PowerOnCurve(const std::vector<PowerAtN>& curve, int n) {
    const auto above =
        std::lower_bound(curve.begin(), curve.end(), n, [](const PowerAtN& a, int m) { return a.n < m; });
    if (above == curve.end()) return curve.back().power;
    if (above == curve.begin() || above->n == n) return above->power;
    const auto below = std::prev(above);
    return below->power + (above->power - below->power) * (n - below->n) / (above->n - below->n);
}

FigurePanel LayoutPowerPanel(const PowerCurveFigure& p, char sep, double width) {
    FigurePanel panel;
    const double left = kSideMargin + kPlaneLabelRoom;
    panel.plot = {left, kPlotTop, width - kSideMargin - left, kPowerPlotHeight};
    const bool simulated = !p.standardErrors.empty();

    // Along the plot: the curve's n and the sample size; simulated points, and a single
    // n, kept off the plot's edges.
    double lo = p.curve.empty() ? 0 : p.curve.front().n, hi = p.curve.empty() ? 0 : p.curve.back().n;
    if (p.sampleSize) lo = std::min<double>(lo, *p.sampleSize), hi = std::max<double>(hi, *p.sampleSize);
    const double pad = hi - lo < 8 ? std::max(2.0, lo / 4) : simulated ? (hi - lo) / 20 : 0;
    lo = std::max(0.0, lo - pad);
    hi += pad;
    panel.axis = {panel.plot.width / (hi - lo), panel.plot.left, lo};
    panel.verticalAxis = {-panel.plot.height, panel.plot.bottom(), 0};
    const auto at = [&](double n, double power) { return FigurePoint{panel.axis.At(n), panel.verticalAxis.At(power)}; };

    // Whole numbers of controls only: no more ticks than n between the ends.
    const int target = std::max(1, std::min(TickTarget(panel.plot.width), static_cast<int>(hi - lo)));
    AddTicks(panel, lo, hi, target, [](double n) { return n; }, sep);
    AddVerticalTicks(panel, 0, 1, 5, sep);

    std::vector<FigurePoint> curve;
    for (std::size_t i = 0; i < p.curve.size(); ++i) {
        const FigurePoint point = at(p.curve[i].n, p.curve[i].power);
        if (!simulated) {
            curve.push_back(point);
            continue;
        }
        panel.dots.push_back(point);
        const double x = point.x;
        const double top = panel.verticalAxis.At(std::min(1.0, p.curve[i].power + 2 * p.standardErrors[i]));
        const double bottom = panel.verticalAxis.At(std::max(0.0, p.curve[i].power - 2 * p.standardErrors[i]));
        panel.guides.push_back({{x, top}, {x, bottom}});
        panel.guides.push_back({{x - 3, top}, {x + 3, top}});
        panel.guides.push_back({{x - 3, bottom}, {x + 3, bottom}});
    }
    if (!curve.empty()) panel.curves.push_back(std::move(curve));

    // The levels' labels keep clear of the curve, which rises from the left: the
    // asymptote's at the left, above its line where there is room; the target's at the
    // right, below its line where the curve reaches it, above where it does not.
    const auto addLevel = [&](double power, LineStyle style, const std::string& label, bool right, bool above) {
        const double y = panel.verticalAxis.At(power);
        panel.levels.push_back({y, style});
        panel.texts.push_back({right ? panel.plot.right() - 4 : panel.plot.left + 4,
                               above ? y - kLevelLabelGap : y + kLevelLabelGap + kTickSize, label,
                               right ? TextAlign::Right : TextAlign::Left, kTickSize, false, false, true});
    };
    const auto roomAbove = [&](double power) {
        return panel.verticalAxis.At(power) - kLevelLabelGap - kTickSize - 2 >= panel.plot.top;
    };
    if (p.targetPower) {
        const bool reached = !p.asymptote || *p.targetPower <= *p.asymptote;
        addLevel(*p.targetPower, LineStyle::Dashed, "target " + Short(*p.targetPower, sep), true,
                 !reached && roomAbove(*p.targetPower));
    }
    if (p.asymptote) {
        // A target just above the asymptote leaves no room between the lines.
        const bool crowded = p.targetPower && *p.targetPower > *p.asymptote &&
                             (panel.verticalAxis.At(*p.asymptote) - panel.verticalAxis.At(*p.targetPower)) <
                                 kLevelLabelGap + kTickSize + 2;
        addLevel(*p.asymptote, LineStyle::Dotted, "asymptote " + Fixed(*p.asymptote, 3, sep), false,
                 roomAbove(*p.asymptote) && !crowded);
    }

    if (p.sampleSize) {
        const double x = panel.axis.At(*p.sampleSize);
        panel.markers.push_back({x, LineStyle::Solid, true});
        panel.dots.push_back(at(*p.sampleSize, PowerOnCurve(p.curve, *p.sampleSize)));
        AddTag(panel, x, "n = " + Grouped(*p.sampleSize), TextAlign::Centre, panel.plot.left, panel.plot.right());
    }

    const std::string alpha = Short(p.alpha, sep);
    if (simulated) {
        AddHeading(panel, 0,
                   {"Power of the test for a dissociation against the number of controls",
                    "Points: the power of the difference test (two-tailed p below " + alpha + ") at each n,",
                    "from " + Grouped(p.simulations) + " simulated studies of " + Grouped(p.draws) + " draws each",
                    "Bars: 2 Monte Carlo standard errors either side of each point"});
    } else {
        std::vector<std::string> heading{
            "Power of the test for a deficit against the number of controls",
            "Curve: the exact power (" + SideOf(p) + ", p below " + alpha + ")",
            "Dashed: the target power; dotted: the asymptote, the power as n grows without end"};
        heading.push_back(p.sampleSize ? "Marked: the sample size, the fewest controls that reach the target"
                                       : "The target lies out of reach: no sample size reaches it");
        AddHeading(panel, 0, heading);
    }
    AddAxisLabel(panel, "Number of controls (n)");
    panel.texts.push_back({panel.plot.left - kPlaneLabelRoom + 8, panel.plot.top + panel.plot.height / 2, "Power",
                           TextAlign::Centre, kInfoSize, false, true});
    return panel;
}

std::vector<std::string> Caption(const PowerCurveFigure& p) {
    if (!p.standardErrors.empty())
        return {"In each simulated study n controls and the case are drawn from the population the table describes,",
                "the case's task scores shifted to their expected values. The points are estimates: the bars show",
                "their Monte Carlo error."};
    return {"The power is exact for controls drawn from the population the table describes and a case whose",
            "task score is drawn from it given the case's covariate scores, shifted to its expected score."};
}

FigurePanel LayoutCasePanel(const PowerCurveFigure& p, const FigureInput& in, double width) {
    return LayoutPowerPanel(p, in.decimalSeparator, width);
}

// A plan's figure is its curve alone.
FigurePanel LayoutPosteriorPanel(const PowerCurveFigure&, const FigureInput&, double, double) { return {}; }

QFont FigureFont(double pointSize, bool bold) {
    QFont font = WindowFont(12, bold);
    font.setPointSizeF(pointSize);
    return font;
}

QPointF Q(const FigurePoint& p) { return {p.x, p.y}; }
QRectF Q(const FigureRect& r) { return {r.left, r.top, r.width, r.height}; }

QPolygonF Polygon(const std::vector<FigurePoint>& points) {
    QPolygonF polygon;
    for (const FigurePoint& p : points) polygon << Q(p);
    return polygon;
}

// Text wider than the figure (a long number, a wide face) is set smaller rather than
// cut, and text at an edge (a tick's label) is moved inside the figure.
void PaintText(QPainter& painter, const FigureText& text, double figureWidth) {
    const QString string = QString::fromStdString(text.text);
    QFont font = FigureFont(text.pointSize, text.bold);
    const double room = figureWidth - 2 * kSideMargin;
    const double natural = QFontMetricsF(font, painter.device()).horizontalAdvance(string);
    if (natural > room) font.setPointSizeF(text.pointSize * room / natural);
    painter.setFont(font);
    const double width = QFontMetricsF(font, painter.device()).horizontalAdvance(string);
    const double shift = text.align == TextAlign::Left ? 0 : text.align == TextAlign::Right ? -width : -width / 2;
    if (text.boxed) {
        const QFontMetricsF metrics(font, painter.device());
        painter.fillRect(QRectF(text.x + shift - 1.5, text.y - metrics.ascent(), width + 3, metrics.ascent() + metrics.descent()),
                         Qt::white);
    }
    if (text.upwards) {
        painter.save();
        painter.translate(text.x, text.y);
        painter.rotate(-90);
        painter.drawText(QPointF(shift, 0), string);
        painter.restore();
        return;
    }
    painter.drawText(QPointF(std::clamp(text.x + shift, 0.0, std::max(0.0, figureWidth - width)), text.y), string);
}

const QColor kInk(0x20, 0x20, 0x20);
const QColor kCurve(0x1f, 0x4e, 0x79);
const QColor kShade(0x9d, 0xc3, 0xe6);
const QColor kBand(0xe3, 0xe3, 0xe3);
const QColor kBar(0x8f, 0xa9, 0xc4);
const QColor kAccent(0xc0, 0x1f, 0x1f);

// ---- A series of cases: one figure for all of them ----

// Where a one-tailed p of .05 would lie: at the Z below which 5% of the control population
// fall, Phi^-1(.05). That is exact for controls whose mean and SD are known; the Bayesian
// p of a case there is a little above .05, as it allows for their estimation from a
// sample (for k = 0 the p = .05 point is the t quantile times sqrt((n + 1) / n)), and with
// covariates it moves with each case's covariate scores, so that no one line is exact for
// every case. The population's line is the same for all cases and says what it is.
constexpr double kFivePercentZ = -1.6448536269514722;
constexpr double kSeriesRow = 14;        // a case's row, while the plot stays within kSeriesPlotMost
constexpr double kSeriesPlotMost = 560;  // a long series has thinner rows: the figure fits a page
constexpr double kSeriesLabelRoom = 92;  // left of the plot: "Case 12 (line 33)"
constexpr double kSeriesPlotTop = 62;

FigureGeometry LayoutSeriesFigure(const SeriesFigure& series, const FigureInput& in, double width) {
    const bool dissociation = series.test == AnalysisTest::Dissociation;
    const std::string name = dissociation ? "Z-DCCC" : "Z-CCC";
    const char sep = in.decimalSeparator;
    const auto count = static_cast<double>(std::max<std::size_t>(1, series.cases.size()));
    const double row = std::min(kSeriesRow, kSeriesPlotMost / count);

    FigureGeometry figure;
    figure.width = width;
    FigurePanel& panel = figure.cases;
    panel.plot = {kSideMargin + kSeriesLabelRoom, kSeriesPlotTop, width - 2 * kSideMargin - kSeriesLabelRoom,
                  row * count + row};
    // The axis spans every limit and estimate, the .05 line(s) and 0, with a margin.
    double lo = dissociation ? kFivePercentZ : std::min(kFivePercentZ, 0.0);
    double hi = dissociation ? -kFivePercentZ : 0.0;
    for (const SeriesCaseEffect& c : series.cases)
        for (const auto value : {std::optional(c.effect), c.lower, c.upper})
            if (value && std::isfinite(static_cast<double>(*value))) {
                lo = std::min(lo, static_cast<double>(*value));
                hi = std::max(hi, static_cast<double>(*value));
            }
    const double margin = 0.05 * (hi - lo);
    lo -= margin;
    hi += margin;
    panel.axis = {panel.plot.width / (hi - lo), panel.plot.left, lo};
    AddTicks(panel, lo, hi, TickTarget(panel.plot.width), [](double v) { return v; }, sep);
    panel.markers.push_back({panel.axis.At(0), LineStyle::Solid, false});
    panel.markers.push_back({panel.axis.At(kFivePercentZ), LineStyle::Dashed, false});
    if (dissociation) panel.markers.push_back({panel.axis.At(-kFivePercentZ), LineStyle::Dashed, false});

    // Every case's interval as a bar with end caps, its estimate a dot; a one-sided limit's
    // bar runs on to the plot's edge, as the interval has no end on that side. A label
    // every so many rows when the rows are too thin for each to have one.
    const std::size_t labelEvery = static_cast<std::size_t>(std::ceil(9 / row));
    for (std::size_t i = 0; i < series.cases.size(); ++i) {
        const SeriesCaseEffect& c = series.cases[i];
        const double y = panel.plot.top + row * (static_cast<double>(i) + 1);
        const double from = c.lower ? panel.axis.At(static_cast<double>(*c.lower)) : panel.plot.left;
        const double to = c.upper ? panel.axis.At(static_cast<double>(*c.upper)) : panel.plot.right();
        panel.guides.push_back({{from, y}, {to, y}});
        const double cap = std::min(3.0, row / 3);
        if (c.lower) panel.guides.push_back({{from, y - cap}, {from, y + cap}});
        if (c.upper) panel.guides.push_back({{to, y - cap}, {to, y + cap}});
        panel.dots.push_back({panel.axis.At(static_cast<double>(c.effect)), y});
        if (i % labelEvery == 0)
            panel.texts.push_back({panel.plot.left - 6, y + kTickSize / 3,
                                   "Case " + std::to_string(i + 1) + " (line " + std::to_string(c.line) + ")",
                                   TextAlign::Right, kTickSize});
    }

    const std::string interval = in.limitType == LimitType::TwoSided ? "95% credible interval"
                                                                     : "95% one-sided credible limit";
    AddHeading(panel, 0,
               {"The cases against the same controls: " + std::to_string(series.cases.size()) + " cases",
                "dot: each case's effect size " + name + "; bar: its " + interval,
                dissociation ? "dashed: " + name +
                                   FormatText(" = %1.3f and %1.3f", {kFivePercentZ, -kFivePercentZ}, sep) +
                                   ", where a one-tailed p of .05 would lie (5% of the controls beyond)"
                             : "dashed: " + name + FormatText(" = %1.3f", {kFivePercentZ}, sep) +
                                   ", where a one-tailed p of .05 would lie (5% of the controls below)"});
    AddAxisLabel(panel, dissociation ? "Standardised difference, task 1 less task 2 (Z-DCCC)"
                                     : "Standard deviations from the controls (Z-CCC)");
    const double captionTop = panel.plot.bottom() + kPanelEnd + 8;
    const std::vector<std::string> caption = {
        std::string(dissociation ? "The dashed lines stand" : "The dashed line stands") +
            " where a one-tailed p of .05 would lie were the controls' statistics known",
        "exactly. Each case's p allows for their estimation from the control sample (and for its covariate",
        "scores), so a case on the line has a p a little above .05, the more so the smaller the sample."};
    for (std::size_t i = 0; i < caption.size(); ++i)
        figure.captions.push_back(
            {kSideMargin, captionTop + 11 * static_cast<double>(i), caption[i], TextAlign::Left, kInfoSize});
    figure.height = captionTop + 11 * static_cast<double>(caption.size());
    return figure;
}

// An axis line, with a gap and two slashes where it breaks; from and to are its ends
// along it, across where it lies across.
void PaintAxisLine(QPainter& painter, const FigureAxis& axis, double from, double to, double across, bool vertical) {
    const auto point = [&](double along, double off) { return vertical ? QPointF(across + off, along) : QPointF(along, across + off); };
    if (!axis.broken) {
        painter.drawLine(point(from, 0), point(to, 0));
        return;
    }
    painter.drawLine(point(from, 0), point(axis.breakStart, 0));
    painter.drawLine(point(axis.breakEnd, 0), point(to, 0));
    for (const double at : {axis.breakStart, axis.breakEnd})
        painter.drawLine(vertical ? QPointF(across - 5, at + 3) : QPointF(at - 3, across + 5),
                         vertical ? QPointF(across + 5, at - 3) : QPointF(at + 3, across - 5));
}

void SetDashes(QPen& pen, LineStyle style) {
    if (style == LineStyle::Dashed) pen.setDashPattern({4, 3});
    if (style == LineStyle::Dotted) pen.setDashPattern({1, 2.5});
}

void PaintPanel(QPainter& painter, const FigurePanel& panel, double figureWidth) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBand);
    for (const auto& band : panel.bands) painter.drawPolygon(Polygon(band));
    painter.setBrush(kShade);
    for (const auto& area : panel.shaded) painter.drawPolygon(Polygon(area));
    painter.setBrush(kBar);
    for (const FigureRect& bar : panel.bars) painter.drawRect(Q(bar));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kInk, 0.8));
    for (const auto& guide : panel.guides) painter.drawPolyline(Polygon(guide));
    painter.setPen(QPen(kCurve, 1.4));
    for (const auto& curve : panel.curves) painter.drawPolyline(Polygon(curve));

    const double y = panel.plot.bottom();
    painter.setPen(QPen(kInk, 0.8));
    PaintAxisLine(painter, panel.axis, panel.plot.left, panel.plot.right(), y, false);
    for (const FigureTick& tick : panel.ticks) painter.drawLine(QPointF(tick.at, y), QPointF(tick.at, y + 3.5));
    if (panel.verticalAxis.pointsPerUnit != 0) {
        const double x = panel.plot.left;
        PaintAxisLine(painter, panel.verticalAxis, y, panel.plot.top, x, true);
        for (const FigureTick& tick : panel.verticalTicks) painter.drawLine(QPointF(x - 3.5, tick.at), QPointF(x, tick.at));
    }

    for (const FigureMarker& marker : panel.markers) {
        QPen pen(marker.emphasised ? kAccent : kInk, marker.emphasised ? 1.6 : 1.1);
        SetDashes(pen, marker.style);
        painter.setPen(pen);
        painter.drawLine(QPointF(marker.x, panel.plot.top), QPointF(marker.x, y));
    }
    for (const FigureLevel& level : panel.levels) {
        QPen pen(kInk, 1.1);
        SetDashes(pen, level.style);
        painter.setPen(pen);
        painter.drawLine(QPointF(panel.plot.left, level.y), QPointF(panel.plot.right(), level.y));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    for (const FigurePoint& dot : panel.dots) painter.drawEllipse(Q(dot), 3.2, 3.2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(kInk);
    for (const FigureText& text : panel.texts) PaintText(painter, text, figureWidth);
}

}  // namespace

double FigureAxis::At(double value) const {
    if (!broken) return origin + (value - valueAtOrigin) * pointsPerUnit;
    const double firstEnd = valueAtOrigin + (breakStart - origin) / pointsPerUnit;
    if (value <= firstEnd) return origin + (value - valueAtOrigin) * pointsPerUnit;
    if (value >= valueAfterBreak) return breakEnd + (value - valueAfterBreak) * pointsPerUnit;
    return (breakStart + breakEnd) / 2;  // inside the break
}

FigureGeometry LayoutFigure(const FigureInput& input, double width) {
    return std::visit(
        [&](const auto& test) {
            if constexpr (std::is_same_v<std::decay_t<decltype(test)>, SeriesFigure>) {
                return LayoutSeriesFigure(test, input, width);
            } else {
                FigureGeometry figure;
                figure.width = width;
                figure.cases = LayoutCasePanel(test, input, width);
                figure.posterior =
                    LayoutPosteriorPanel(test, input, figure.cases.plot.bottom() + kPanelEnd + kPanelGap, width);
                const FigurePanel& last = figure.posterior.plot.width > 0 ? figure.posterior : figure.cases;
                const double captionTop = last.plot.bottom() + kPanelEnd + 8;
                const std::vector<std::string> caption = Caption(test);
                for (std::size_t i = 0; i < caption.size(); ++i)
                    figure.captions.push_back({kSideMargin, captionTop + 11 * static_cast<double>(i), caption[i],
                                               TextAlign::Left, kInfoSize});
                figure.height = captionTop + 11 * static_cast<double>(caption.size());
                return figure;
            }
        },
        input.test);
}

void PaintFigure(QPainter& painter, const FigureGeometry& figure) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    PaintPanel(painter, figure.cases, figure.width);
    if (figure.posterior.plot.width > 0) PaintPanel(painter, figure.posterior, figure.width);
    painter.setPen(kInk);
    for (const FigureText& text : figure.captions) PaintText(painter, text, figure.width);
    painter.restore();
}

}  // namespace quorvane
