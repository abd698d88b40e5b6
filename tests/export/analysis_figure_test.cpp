#include "export/analysis_figure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "numerics/text_format.h"

namespace quorvane {
namespace {

// A case z SDs from a conditional mean of 37.05 (SD 4.72), with limits 1.2 SDs either
// side and the draws binned as a normal curve of unit spread around z.
FigureInput MakeInput(double z, LimitType limitType) {
    FigureInput in;
    in.limitType = limitType;
    in.condMean = 37.05L;
    in.condSD = 4.72L;
    in.caseScore = in.condMean + z * in.condSD;
    in.engine(ZCCC) = (in.caseScore - in.condMean) / in.condSD;
    in.engine(ZCCCLower) = z - 1.2;
    in.engine(ZCCCUpper) = z + 1.2;
    in.engine(PercentBelow) = 100 * 0.5L * std::erfc(-z / std::numbers::sqrt2);
    in.engine(PercentBelowLower) = 0.0123L;
    in.engine(PercentBelowUpper) = 12.3456L;
    tDrawHistogram& h = in.zHistogram;
    h.lower = z - 3;
    h.upper = z + 3;
    for (int i = 0; i < kHistogramBins; ++i) {
        const double mid = (h.Edge(i) + h.Edge(i + 1)) / 2 - z;
        h.counts[i] = static_cast<int>(std::lround(4000 * std::exp(-0.5 * mid * mid)));
    }
    h.below = 7;
    h.above = 3;
    return in;
}

double Phi(double z) { return 0.5 * std::erfc(-z / std::numbers::sqrt2); }

// Shoelace area of a closed polygon, in square points.
double PolygonArea(const std::vector<FigurePoint>& polygon) {
    double twice = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const FigurePoint& a = polygon[i];
        const FigurePoint& b = polygon[(i + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::abs(twice) / 2;
}

bool HoldsText(const FigurePanel& panel, const std::string& piece) {
    return std::any_of(panel.texts.begin(), panel.texts.end(),
                       [&](const FigureText& t) { return t.text.find(piece) != std::string::npos; });
}

bool Inside(const FigureRect& r, double x) { return x >= r.left && x <= r.right(); }

// The score at x read off the axis, by interpolating between the two ticks nearest to x
// on the same side of any break, as a reader of the printed figure would.
double ScoreReadAt(const FigurePanel& panel, double x) {
    std::vector<FigureTick> side;
    for (const FigureTick& t : panel.ticks)
        if (!panel.axis.broken || (t.x < panel.axis.breakStart) == (x < panel.axis.breakStart)) side.push_back(t);
    std::sort(side.begin(), side.end(), [x](const auto& a, const auto& b) { return std::abs(a.x - x) < std::abs(b.x - x); });
    EXPECT_GE(side.size(), 2u);
    const double va = std::stod(side[0].label), vb = std::stod(side[1].label);
    return va + (x - side[0].x) / (side[1].x - side[0].x) * (vb - va);
}

struct FigureCase {
    const char* name;
    double z;
    LimitType limitType;
};

class FigureLayout : public ::testing::TestWithParam<FigureCase> {};

TEST_P(FigureLayout, ShowsTheReportsNumbersWhereTheyBelong) {
    const auto [name, z, limitType] = GetParam();
    const FigureInput in = MakeInput(z, limitType);
    const FigureGeometry figure = LayoutFigure(in, 480);
    const FigurePanel& cases = figure.cases;

    // The case's mark, at its score on the axis and inside the plot.
    ASSERT_EQ(cases.markers.size(), 1u);
    const double markX = cases.markers[0].x;
    EXPECT_TRUE(Inside(cases.plot, markX));
    EXPECT_NEAR(ScoreReadAt(cases, markX), static_cast<double>(in.caseScore), 1e-9);
    EXPECT_TRUE(HoldsText(cases, FormatFixed(in.caseScore, 0, 3)));

    // The shaded area, integrated from its polygons, is the curve's area below the case.
    double shaded = 0;
    for (const auto& polygon : cases.shaded) shaded += PolygonArea(polygon);
    EXPECT_NEAR(shaded / (cases.axis.pointsPerUnit * cases.pointsPerDensity), Phi(z), 2e-4);

    // The curve's peak is drawn, however far out the case is; a far case breaks the axis.
    double peakY = cases.plot.bottom();
    for (const auto& curve : cases.curves)
        for (const FigurePoint& p : curve)
            if (Inside(cases.plot, p.x)) peakY = std::min(peakY, p.y);
    EXPECT_LT(peakY, cases.plot.top + cases.plot.height / 4);
    EXPECT_GE(peakY, cases.plot.top);
    EXPECT_EQ(cases.axis.broken, std::abs(z) > 6);
    EXPECT_EQ(HoldsText(cases, "Axis broken"), std::abs(z) > 6);

    // The percentage below and the limits the report gives for the limit type.
    const tCovariateResults& r = in.engine;
    const bool lower = limitType != LimitType::OneSidedUpper;
    const bool upper = limitType != LimitType::OneSidedLower;
    EXPECT_TRUE(HoldsText(cases, FormatText("%2.4f%%", {r(PercentBelow)})));
    EXPECT_EQ(HoldsText(cases, FormatText("%3.4f%%", {r(PercentBelowLower)})), lower);
    EXPECT_EQ(HoldsText(cases, FormatText("%3.4f%%", {r(PercentBelowUpper)})), upper);

    // The posterior: Z-CCC solid, each limit shown dashed at its value, and labelled.
    const FigurePanel& post = figure.posterior;
    std::vector<double> solid, dashed;
    for (const FigureMarker& m : post.markers) (m.style == LineStyle::Solid ? solid : dashed).push_back(m.x);
    ASSERT_EQ(solid.size(), 1u);
    EXPECT_NEAR(solid[0], post.axis.X(static_cast<double>(r(ZCCC))), 1e-9);
    std::vector<double> expected;
    if (lower) expected.push_back(post.axis.X(static_cast<double>(r(ZCCCLower))));
    if (upper) expected.push_back(post.axis.X(static_cast<double>(r(ZCCCUpper))));
    EXPECT_EQ(dashed, expected);
    for (const double x : dashed) EXPECT_TRUE(Inside(post.plot, x));
    EXPECT_TRUE(HoldsText(post, FormatText("%2.3f", {r(ZCCC)})));
    EXPECT_EQ(HoldsText(post, FormatText("%3.3f", {r(ZCCCLower)})), lower);
    EXPECT_EQ(HoldsText(post, FormatText("%3.3f", {r(ZCCCUpper)})), upper);

    // The bars: one per non-empty bin, heights in proportion to the counts.
    const tDrawHistogram& h = in.zHistogram;
    const int nonEmpty = static_cast<int>(std::count_if(h.counts.begin(), h.counts.end(), [](int c) { return c > 0; }));
    ASSERT_EQ(static_cast<int>(post.bars.size()), nonEmpty);
    const int tallest = *std::max_element(h.counts.begin(), h.counts.end());
    const double pointsPerCount = post.bars[0].height / *std::find_if(h.counts.begin(), h.counts.end(), [](int c) { return c > 0; });
    std::size_t bar = 0;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (h.counts[i] == 0) continue;
        EXPECT_NEAR(post.bars[bar].left, post.axis.X(h.Edge(i)), 1e-9);
        EXPECT_NEAR(post.bars[bar].height, h.counts[i] * pointsPerCount, 1e-9);
        EXPECT_LE(post.bars[bar].height, post.plot.height * static_cast<double>(h.counts[i]) / tallest + 1e-9);
        ++bar;
    }
    EXPECT_GT(figure.height, post.plot.bottom());
}

INSTANTIATE_TEST_SUITE_P(Cases, FigureLayout,
                         ::testing::Values(FigureCase{"ClearDeficitTwoSided", -4.68, LimitType::TwoSided},
                                           FigureCase{"ImpairedOneSidedLower", -3.15, LimitType::OneSidedLower},
                                           FigureCase{"NormalOneSidedUpper", -0.85, LimitType::OneSidedUpper},
                                           FigureCase{"AboveTheMean", 1.3, LimitType::TwoSided},
                                           FigureCase{"TwentySDsBelow", -20, LimitType::TwoSided},
                                           FigureCase{"TwentySDsAbove", 20, LimitType::OneSidedLower}),
                         [](const auto& info) { return std::string(info.param.name); });

// A conditional mean so large against its SD that mean - 4 SD and mean + 4 SD are one
// double, and draws all on one value: the layout returns, every coordinate finite.
TEST(FigureLayoutDegenerate, ZeroSpansGiveFiniteCoordinates) {
    FigureInput in = MakeInput(0, LimitType::TwoSided);
    in.condMean = 1e14L;
    in.condSD = 1e-3L;
    in.caseScore = in.condMean;
    in.zHistogram.lower = in.zHistogram.upper = 0;
    const FigureGeometry figure = LayoutFigure(in, 480);
    for (const FigurePanel* panel : {&figure.cases, &figure.posterior}) {
        std::vector<double> xs{panel->axis.pointsPerUnit};
        for (const auto& line : panel->curves)
            for (const FigurePoint& p : line) xs.insert(xs.end(), {p.x, p.y});
        for (const auto& area : panel->shaded)
            for (const FigurePoint& p : area) xs.insert(xs.end(), {p.x, p.y});
        for (const FigureRect& r : panel->bars) xs.insert(xs.end(), {r.left, r.top, r.width, r.height});
        for (const FigureMarker& m : panel->markers) xs.push_back(m.x);
        for (const FigureText& t : panel->texts) xs.insert(xs.end(), {t.x, t.y});
        EXPECT_LE(panel->ticks.size(), 100u);
        EXPECT_TRUE(std::all_of(xs.begin(), xs.end(), [](double v) { return std::isfinite(v); }));
    }
}

}  // namespace
}  // namespace quorvane
