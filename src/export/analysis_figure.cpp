#include "export/analysis_figure.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "export/fonts.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// Vertical layout of a panel, in points below its top.
constexpr double kTitleLine = 11;
constexpr double kInfoLine = 12.5;     // distance between the heading's lines
constexpr double kTagRow = 74;         // the markers' tags, just above the plot
constexpr double kPlotTop = 79;
constexpr double kPlotHeight = 115;
constexpr double kTickLabels = kPlotTop + kPlotHeight + 12;
constexpr double kAxisLabel = kTickLabels + 13;
constexpr double kNoteLine = kAxisLabel + 12;
constexpr double kPanelHeight = kNoteLine + 6;
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

// Ticks at the multiples of a nice step between lo and hi (in the labels' unit), placed
// on the axis at toUnit(label value), each labelled below the plot.
// A span without width in doubles (a mean huge against its SD) gets no ticks, and no
// span more than kMaxTicks: a zero step would never reach hi.
template <typename ToUnit>
void AddTicks(FigurePanel& panel, double lo, double hi, int target, ToUnit toUnit, char separator) {
    if (!(hi - lo > 0) || !std::isfinite(hi - lo)) return;
    const double step = NiceStep(hi - lo, target);
    if (!(step > 0) || !std::isfinite(step)) return;
    const int decimals = DecimalsFor(step);
    const double first = std::ceil(lo / step);
    for (int i = 0; i < kMaxTicks && (first + i) * step <= hi + step * 1e-9; ++i) {
        const double value = (first + i) * step;
        const double x = panel.axis.X(toUnit(value));
        panel.ticks.push_back({x, FormatFixed(value, 0, decimals, separator)});
        panel.texts.push_back({x, panel.plot.top - kPlotTop + kTickLabels, panel.ticks.back().label,
                               TextAlign::Centre, kTickSize});
    }
}

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

// A marker's tag above the plot, kept inside [minX, maxX] so that it overlaps neither
// the plot's edges nor its neighbours' tags. Width is estimated at 0.6 em a character.
void AddTag(FigurePanel& panel, double x, const std::string& text, TextAlign align, double minX, double maxX) {
    const double width = 0.6 * kTickSize * static_cast<double>(text.size());
    double left = align == TextAlign::Left ? x : align == TextAlign::Right ? x - width : x - width / 2;
    left = std::clamp(left, minX, std::max(minX, maxX - width));
    panel.texts.push_back({left, panel.plot.top - (kPlotTop - kTagRow), text, TextAlign::Left, kTickSize, true});
}

// The text of the percentage below, with the limit the report gives for the limit type.
std::string PercentBelowText(const FigureInput& in) {
    const tCovariateResults& r = in.engine;
    const char sep = in.decimalSeparator;
    switch (in.limitType) {
        case LimitType::OneSidedLower:
            return FormatText("%2.4f%% (95%% lower Credible Limit = %3.4f%%)", {r(PercentBelow), r(PercentBelowLower)}, sep);
        case LimitType::OneSidedUpper:
            return FormatText("%2.4f%% (95%% upper Credible Limit = %3.4f%%)", {r(PercentBelow), r(PercentBelowUpper)}, sep);
        case LimitType::TwoSided: break;
    }
    return FormatText("%2.4f%% (95%% CI = %3.4f%%  to  %3.4f%%)",
                      {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)}, sep);
}

std::string LimitsText(const FigureInput& in) {
    const tCovariateResults& r = in.engine;
    const char sep = in.decimalSeparator;
    switch (in.limitType) {
        case LimitType::OneSidedLower:
            return FormatText("dashed: 95%% lower Credible Limit = %3.3f", {r(ZCCCLower)}, sep);
        case LimitType::OneSidedUpper:
            return FormatText("dashed: 95%% upper Credible Limit = %3.3f", {r(ZCCCUpper)}, sep);
        case LimitType::TwoSided: break;
    }
    return FormatText("dashed: 95%% credible interval %3.3f  to  %3.3f", {r(ZCCCLower), r(ZCCCUpper)}, sep);
}

std::string LimitsMeaning(LimitType limitType) {
    switch (limitType) {
        case LimitType::OneSidedLower: return "With 95% probability the case's true distance lies above the lower limit.";
        case LimitType::OneSidedUpper: return "With 95% probability the case's true distance lies below the upper limit.";
        case LimitType::TwoSided: break;
    }
    return "With 95% probability the case's true distance lies between the two limits.";
}

// The controls' curve in SDs from the conditional mean, the case marked and the curve
// below it shaded. Segments: [-4, 4] widened to take in the case, or, for a case beyond
// 6 SDs, [-4, 4] and two SDs around the case past a break.
FigurePanel LayoutCasePanel(const FigureInput& in, double top, double width) {
    FigurePanel panel = EmptyPanel(top, width);
    const double z = static_cast<double>(in.engine(ZCCC));
    const char sep = in.decimalSeparator;

    struct Segment { double from, to; };
    std::vector<Segment> segments;
    if (std::abs(z) <= kBreakBeyond) {
        segments.push_back({std::min(-kCurveReach, z - kCaseMargin), std::max(kCurveReach, z + kCaseMargin)});
    } else if (z < 0) {
        segments = {{z - 1, z + 1}, {-kCurveReach, kCurveReach}};
    } else {
        segments = {{-kCurveReach, kCurveReach}, {z - 1, z + 1}};
    }
    const bool broken = segments.size() == 2;
    double units = 0;
    for (const Segment& s : segments) units += s.to - s.from;
    FigureAxis& axis = panel.axis;
    axis.pointsPerUnit = (panel.plot.width - (broken ? kBreakGap : 0)) / units;
    axis.origin = panel.plot.left;
    axis.valueAtOrigin = segments[0].from;
    if (broken) {
        axis.breakStart = axis.X(segments[0].to);  // still on the unbroken scale
        axis.broken = true;
        axis.breakEnd = axis.breakStart + kBreakGap;
        axis.valueAfterBreak = segments[1].from;
    }
    panel.pointsPerDensity = 0.92 * panel.plot.height / NormalDensity(0);
    const double baseline = panel.plot.bottom();
    const auto point = [&](double u) { return FigurePoint{axis.X(u), baseline - NormalDensity(u) * panel.pointsPerDensity}; };

    for (const Segment& s : segments) {
        std::vector<FigurePoint> curve;
        for (int i = 0; i <= kCurveSamples; ++i) curve.push_back(point(s.from + (s.to - s.from) * i / kCurveSamples));
        panel.curves.push_back(std::move(curve));
        if (z > s.from) {
            const double end = std::min(z, s.to);
            std::vector<FigurePoint> area{{axis.X(s.from), baseline}};
            for (int i = 0; i <= kCurveSamples; ++i) area.push_back(point(s.from + (end - s.from) * i / kCurveSamples));
            area.push_back({axis.X(end), baseline});
            panel.shaded.push_back(std::move(area));
        }
        const double mean = static_cast<double>(in.condMean), sd = static_cast<double>(in.condSD);
        const int target = std::max(2, static_cast<int>(std::lround((s.to - s.from) * axis.pointsPerUnit / 60)));
        AddTicks(panel, mean + s.from * sd, mean + s.to * sd, target, [&](double score) { return (score - mean) / sd; }, sep);
    }

    const double caseX = axis.X(z);
    panel.markers.push_back({caseX, LineStyle::Solid, true});
    const std::string tag = "case " + Fixed(in.caseScore, 3, sep);
    AddTag(panel, caseX, tag, caseX > panel.plot.left + panel.plot.width / 2 ? TextAlign::Right : TextAlign::Left,
           panel.plot.left, panel.plot.right());

    AddHeading(panel, top,
               {"The case against controls with the same covariate scores",
                "Curve: the controls' scores; sample estimates: conditional mean " + Fixed(in.condMean, 3, sep) +
                    ", SD " + Fixed(in.condSD, 3, sep),
                "Shaded: the curve below the case's score of " + Fixed(in.caseScore, 3, sep) + ", " +
                    Fixed(Phi(z) * 100, 4, sep) + "% of its area" + (Phi(z) < kVisibleShare ? ", too little to see" : ""),
                "Bayesian estimate of the percentage of controls below the case:",
                "    " + PercentBelowText(in)});
    panel.texts.push_back({panel.plot.left + panel.plot.width / 2, top + kAxisLabel, "Score on the task of interest",
                           TextAlign::Centre, kInfoSize});
    if (broken) {
        panel.texts.push_back({panel.plot.left + panel.plot.width / 2, top + kNoteLine,
                               "Axis broken: the case lies " + Fixed(std::abs(z), 1, sep) + " SDs " +
                                   (z < 0 ? "below" : "above") + " the controls' conditional mean.",
                               TextAlign::Centre, kInfoSize, true});
    }
    return panel;
}

// The histogram of the posterior draws of Z, with Z-CCC and the limits the report gives.
FigurePanel LayoutPosteriorPanel(const FigureInput& in, double top, double width) {
    FigurePanel panel = EmptyPanel(top, width);
    const tDrawHistogram& h = in.zHistogram;
    const tCovariateResults& r = in.engine;
    const char sep = in.decimalSeparator;
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
        const double left = axis.X(h.Edge(i));
        const double height = h.counts[i] * pointsPerCount;
        panel.bars.push_back({left, panel.plot.bottom() - height, axis.X(h.Edge(i + 1)) - left, height});
    }
    AddTicks(panel, h.lower, h.upper, 8, [](double v) { return v; }, sep);

    const double zX = axis.X(static_cast<double>(r(ZCCC)));
    const bool showLower = in.limitType != LimitType::OneSidedUpper;
    const bool showUpper = in.limitType != LimitType::OneSidedLower;
    const double lowerX = axis.X(static_cast<double>(r(ZCCCLower)));
    const double upperX = axis.X(static_cast<double>(r(ZCCCUpper)));
    panel.markers.push_back({zX, LineStyle::Solid, true});
    double tagMin = panel.plot.left, tagMax = panel.plot.right();
    if (showLower) {
        panel.markers.push_back({lowerX, LineStyle::Dashed, false});
        AddTag(panel, lowerX - 2, "lower limit", TextAlign::Right, panel.plot.left, lowerX - 2);
        tagMin = lowerX + 2;
    }
    if (showUpper) {
        panel.markers.push_back({upperX, LineStyle::Dashed, false});
        AddTag(panel, upperX + 2, "upper limit", TextAlign::Left, upperX + 2, panel.plot.right());
        tagMax = upperX - 2;
    }
    AddTag(panel, zX, "Z-CCC", TextAlign::Centre, tagMin, tagMax);

    AddHeading(panel, top,
               {"How sure we are: the case's distance from the controls",
                "Bars: the case's standardised distance Z in " + Grouped(h.Total()) +
                    " draws from its posterior distribution",
                FormatText("solid: effect size Z-CCC = %2.3f; ", {r(ZCCC)}, sep) + LimitsText(in),
                LimitsMeaning(in.limitType),
                "A negative distance is a score below the controls'."});
    panel.texts.push_back({panel.plot.left + panel.plot.width / 2, top + kAxisLabel,
                           "Standard deviations from the controls' conditional mean (Z)", TextAlign::Centre, kInfoSize});
    if (h.below + h.above > 0) {
        panel.texts.push_back({panel.plot.left + panel.plot.width / 2, top + kNoteLine,
                               "Draws beyond the axis: " + Grouped(h.below) + " below, " + Grouped(h.above) + " above.",
                               TextAlign::Centre, kInfoSize});
    }
    return panel;
}

QFont FigureFont(double pointSize, bool bold) {
    QFont font = WindowFont(12, bold);
    font.setPointSizeF(pointSize);
    return font;
}

QPointF Q(const FigurePoint& p) { return {p.x, p.y}; }
QRectF Q(const FigureRect& r) { return {r.left, r.top, r.width, r.height}; }

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
    const double x = text.align == TextAlign::Left ? text.x : text.align == TextAlign::Right ? text.x - width : text.x - width / 2;
    painter.drawText(QPointF(std::clamp(x, 0.0, std::max(0.0, figureWidth - width)), text.y), string);
}

const QColor kInk(0x20, 0x20, 0x20);
const QColor kCurve(0x1f, 0x4e, 0x79);
const QColor kShade(0x9d, 0xc3, 0xe6);
const QColor kBar(0x8f, 0xa9, 0xc4);
const QColor kAccent(0xc0, 0x1f, 0x1f);

void PaintPanel(QPainter& painter, const FigurePanel& panel, double figureWidth) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kShade);
    for (const auto& area : panel.shaded) {
        QPolygonF polygon;
        for (const FigurePoint& p : area) polygon << Q(p);
        painter.drawPolygon(polygon);
    }
    painter.setBrush(kBar);
    for (const FigureRect& bar : panel.bars) painter.drawRect(Q(bar));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kCurve, 1.4));
    for (const auto& curve : panel.curves) {
        QPolygonF line;
        for (const FigurePoint& p : curve) line << Q(p);
        painter.drawPolyline(line);
    }

    // The axis line, with a gap and two slashes where it breaks.
    const double y = panel.plot.bottom();
    painter.setPen(QPen(kInk, 0.8));
    if (panel.axis.broken) {
        painter.drawLine(QPointF(panel.plot.left, y), QPointF(panel.axis.breakStart, y));
        painter.drawLine(QPointF(panel.axis.breakEnd, y), QPointF(panel.plot.right(), y));
        for (const double x : {panel.axis.breakStart, panel.axis.breakEnd})
            painter.drawLine(QPointF(x - 3, y + 5), QPointF(x + 3, y - 5));
    } else {
        painter.drawLine(QPointF(panel.plot.left, y), QPointF(panel.plot.right(), y));
    }
    for (const FigureTick& tick : panel.ticks) painter.drawLine(QPointF(tick.x, y), QPointF(tick.x, y + 3.5));

    for (const FigureMarker& marker : panel.markers) {
        QPen pen(marker.emphasised ? kAccent : kInk, marker.emphasised ? 1.6 : 1.1);
        if (marker.style == LineStyle::Dashed) pen.setDashPattern({4, 3});
        painter.setPen(pen);
        painter.drawLine(QPointF(marker.x, panel.plot.top), QPointF(marker.x, y));
    }
    painter.setPen(kInk);
    for (const FigureText& text : panel.texts) PaintText(painter, text, figureWidth);
}

}  // namespace

double FigureAxis::X(double value) const {
    if (!broken) return origin + (value - valueAtOrigin) * pointsPerUnit;
    const double firstEnd = valueAtOrigin + (breakStart - origin) / pointsPerUnit;
    if (value <= firstEnd) return origin + (value - valueAtOrigin) * pointsPerUnit;
    if (value >= valueAfterBreak) return breakEnd + (value - valueAfterBreak) * pointsPerUnit;
    return (breakStart + breakEnd) / 2;  // inside the break
}

FigureGeometry LayoutFigure(const FigureInput& input, double width) {
    FigureGeometry figure;
    figure.width = width;
    figure.cases = LayoutCasePanel(input, 0, width);
    figure.posterior = LayoutPosteriorPanel(input, kPanelHeight + kPanelGap, width);
    const double captionTop = 2 * kPanelHeight + kPanelGap + 8;
    const std::vector<std::string> caption = {
        "The curve takes the control sample's estimates as exact. The Bayesian estimate of the percentage",
        "below the case and its credible limits allow for the uncertainty of those estimates, so they differ",
        "from the shaded area, most for small control samples."};
    for (std::size_t i = 0; i < caption.size(); ++i)
        figure.captions.push_back({kSideMargin, captionTop + 11 * static_cast<double>(i), caption[i], TextAlign::Left, kInfoSize});
    figure.height = captionTop + 11 * static_cast<double>(caption.size());
    return figure;
}

void PaintFigure(QPainter& painter, const FigureGeometry& figure) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    PaintPanel(painter, figure.cases, figure.width);
    PaintPanel(painter, figure.posterior, figure.width);
    painter.setPen(kInk);
    for (const FigureText& text : figure.captions) PaintText(painter, text, figure.width);
    painter.restore();
}

}  // namespace quorvane
