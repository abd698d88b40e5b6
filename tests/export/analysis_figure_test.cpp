#include "export/analysis_figure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>

#include "analysis/power_run.h"
#include "numerics/text_format.h"

namespace quorvane {
namespace {

// A case z SDs from a conditional mean of 37.05 (SD 4.72), with limits 1.2 SDs either
// side and the draws binned as a normal curve of unit spread around z, given k covariates.
FigureInput MakeInput(double z, LimitType limitType, int k = 1) {
    DeficitFigure d;
    d.outcome.condMean = 37.05L;
    d.outcome.condSD = 4.72L;
    d.caseScore = d.outcome.condMean + z * d.outcome.condSD;
    tCovariateResults& r = d.outcome.results;
    r(ZCCC) = (d.caseScore - d.outcome.condMean) / d.outcome.condSD;
    r(ZCCCLower) = z - 1.2;
    r(ZCCCUpper) = z + 1.2;
    r(PercentBelow) = 100 * 0.5L * std::erfc(-z / std::numbers::sqrt2);
    r(PercentBelowLower) = 0.0123L;
    r(PercentBelowUpper) = 12.3456L;
    tDrawHistogram& h = d.outcome.zHistogram;
    h.lower = z - 3;
    h.upper = z + 3;
    for (int i = 0; i < kHistogramBins; ++i) {
        const double mid = (h.Edge(i) + h.Edge(i + 1)) / 2 - z;
        h.counts[i] = static_cast<int>(std::lround(4000 * std::exp(-0.5 * mid * mid)));
    }
    h.below = 7;
    h.above = 3;
    RunFacts facts{30, k, AnalysisTest::Deficit, limitType, "", {}, {}};
    facts.results.caseScores(1) = d.caseScore;
    facts.results.outcome.tasks[0] = d.outcome;
    return FigureInputOf(facts, '.');
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

// Whether any text of the figure speaks of covariates or of conditional estimates.
bool SpeaksOfCovariates(const FigureGeometry& figure) {
    std::vector<FigureText> texts = figure.cases.texts;
    texts.insert(texts.end(), figure.posterior.texts.begin(), figure.posterior.texts.end());
    texts.insert(texts.end(), figure.captions.begin(), figure.captions.end());
    return std::any_of(texts.begin(), texts.end(), [](const FigureText& t) {
        return t.text.find("covariate") != std::string::npos || t.text.find("conditional") != std::string::npos;
    });
}

bool Inside(const FigureRect& r, double x) { return x >= r.left && x <= r.right(); }

// The value at a position along an axis (an x or a y) read off its ticks, by
// interpolating between the two nearest on the same side of any break, as a reader of
// the printed figure would.
double ValueReadAt(const std::vector<FigureTick>& ticks, const FigureAxis& axis, double at) {
    const double gap = (axis.breakStart + axis.breakEnd) / 2;
    std::vector<FigureTick> side;
    for (const FigureTick& t : ticks)
        if (!axis.broken || (t.at < gap) == (at < gap)) side.push_back(t);
    std::sort(side.begin(), side.end(), [at](const auto& a, const auto& b) { return std::abs(a.at - at) < std::abs(b.at - at); });
    EXPECT_GE(side.size(), 2u);
    if (side.size() < 2) return NAN;
    const double va = std::stod(side[0].label), vb = std::stod(side[1].label);
    return va + (at - side[0].at) / (side[1].at - side[0].at) * (vb - va);
}

double ScoreReadAt(const FigurePanel& panel, double x) { return ValueReadAt(panel.ticks, panel.axis, x); }

// The posterior panel: the point estimate solid, each limit the limit type gives dashed at
// its value and labelled, and the bars, one per non-empty bin, in proportion to the counts.
void ExpectPosteriorShows(const FigurePanel& post, const tCovariateResults& r, const tDrawHistogram& h,
                          LimitType limitType) {
    const bool lower = limitType != LimitType::OneSidedUpper;
    const bool upper = limitType != LimitType::OneSidedLower;
    std::vector<double> solid, dashed;
    for (const FigureMarker& m : post.markers) (m.style == LineStyle::Solid ? solid : dashed).push_back(m.x);
    ASSERT_EQ(solid.size(), 1u);
    EXPECT_NEAR(solid[0], post.axis.At(static_cast<double>(r(ZCCC))), 1e-9);
    std::vector<double> expected;
    if (lower) expected.push_back(post.axis.At(static_cast<double>(r(ZCCCLower))));
    if (upper) expected.push_back(post.axis.At(static_cast<double>(r(ZCCCUpper))));
    EXPECT_EQ(dashed, expected);
    for (const double x : dashed) EXPECT_TRUE(Inside(post.plot, x));
    EXPECT_TRUE(HoldsText(post, FormatText("%2.3f", {r(ZCCC)})));
    EXPECT_EQ(HoldsText(post, FormatText("%3.3f", {r(ZCCCLower)})), lower);
    EXPECT_EQ(HoldsText(post, FormatText("%3.3f", {r(ZCCCUpper)})), upper);

    const int nonEmpty = static_cast<int>(std::count_if(h.counts.begin(), h.counts.end(), [](int c) { return c > 0; }));
    ASSERT_EQ(static_cast<int>(post.bars.size()), nonEmpty);
    const int tallest = *std::max_element(h.counts.begin(), h.counts.end());
    const double pointsPerCount = post.bars[0].height / *std::find_if(h.counts.begin(), h.counts.end(), [](int c) { return c > 0; });
    std::size_t bar = 0;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (h.counts[i] == 0) continue;
        EXPECT_NEAR(post.bars[bar].left, post.axis.At(h.Edge(i)), 1e-9);
        EXPECT_NEAR(post.bars[bar].height, h.counts[i] * pointsPerCount, 1e-9);
        EXPECT_LE(post.bars[bar].height, post.plot.height * static_cast<double>(h.counts[i]) / tallest + 1e-9);
        ++bar;
    }
}

struct FigureCase {
    const char* name;
    double z;
    LimitType limitType;
    int k = 1;
};

class FigureLayout : public ::testing::TestWithParam<FigureCase> {};

TEST_P(FigureLayout, ShowsTheReportsNumbersWhereTheyBelong) {
    const auto [name, z, limitType, k] = GetParam();
    const FigureInput in = MakeInput(z, limitType, k);
    const DeficitFigure& d = std::get<DeficitFigure>(in.test);
    const FigureGeometry figure = LayoutFigure(in, 480);
    const FigurePanel& cases = figure.cases;

    // The case's mark, at its score on the axis and inside the plot.
    ASSERT_EQ(cases.markers.size(), 1u);
    const double markX = cases.markers[0].x;
    EXPECT_TRUE(Inside(cases.plot, markX));
    EXPECT_NEAR(ScoreReadAt(cases, markX), static_cast<double>(d.caseScore), 1e-9);
    EXPECT_TRUE(HoldsText(cases, FormatFixed(d.caseScore, 0, 3)));

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
    const tCovariateResults& r = d.outcome.results;
    const bool lower = limitType != LimitType::OneSidedUpper;
    const bool upper = limitType != LimitType::OneSidedLower;
    EXPECT_TRUE(HoldsText(cases, FormatText("%2.4f%%", {r(PercentBelow)})));
    EXPECT_EQ(HoldsText(cases, FormatText("%3.4f%%", {r(PercentBelowLower)})), lower);
    EXPECT_EQ(HoldsText(cases, FormatText("%3.4f%%", {r(PercentBelowUpper)})), upper);

    ExpectPosteriorShows(figure.posterior, r, d.outcome.zHistogram, limitType);
    EXPECT_TRUE(HoldsText(figure.posterior, "Z-CCC"));
    EXPECT_GT(figure.height, figure.posterior.plot.bottom());

    // Without covariates the estimates are the controls' own mean and SD.
    EXPECT_EQ(SpeaksOfCovariates(figure), k > 0);
    if (k == 0) {
        EXPECT_TRUE(HoldsText(cases, "The case against the controls"));
        EXPECT_TRUE(HoldsText(cases, "sample estimates: mean 37.050, SD 4.720"));
        EXPECT_TRUE(HoldsText(figure.posterior, "Standard deviations from the controls' mean (Z)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FigureLayout,
                         ::testing::Values(FigureCase{"ClearDeficitTwoSided", -4.68, LimitType::TwoSided},
                                           FigureCase{"ImpairedOneSidedLower", -3.15, LimitType::OneSidedLower},
                                           FigureCase{"NormalOneSidedUpper", -0.85, LimitType::OneSidedUpper},
                                           FigureCase{"AboveTheMean", 1.3, LimitType::TwoSided},
                                           FigureCase{"TwentySDsBelow", -20, LimitType::TwoSided},
                                           FigureCase{"TwentySDsAbove", 20, LimitType::OneSidedLower},
                                           FigureCase{"WithoutCovariates", -2.4, LimitType::OneSidedUpper, 0},
                                           FigureCase{"WithoutCovariatesTwentySDsBelow", -20, LimitType::TwoSided, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The dissociation's figure ----

// A case at (z1, z2) on two tasks whose residuals correlate r, with the difference's
// results as the engine makes them: Z-DCCC from the point estimates, limits 1.1 either
// side, the percentages 100 Phi of them, on the case's own tail for the more extreme one;
// given k covariates.
FigureInput MakeDissociation(double z1, double z2, double r, LimitType limitType, int k) {
    tDissociationOutcome d;
    const std::array<double, 2> z{z1, z2};
    for (int j = 0; j < 2; ++j) {
        d.tasks[j].condMean = 40.5L + 10 * j;
        d.tasks[j].condSD = 7.25L;
        d.tasks[j].results(ZCCC) = z[j];
    }
    d.condCorrelation = r;
    tCovariateResults& diff = d.difference;
    const double zd = (z1 - z2) / std::sqrt(2 - 2 * r);
    diff(ZDCCC) = zd;
    diff(ZDCCCLower) = zd - 1.1;
    diff(ZDCCCUpper) = zd + 1.1;
    diff(PercentBelow) = 100 * Phi(zd);
    diff(PercentBelowLower) = 100 * Phi(zd - 1.1);
    diff(PercentBelowUpper) = 100 * Phi(zd + 1.1);
    d.moreExtreme = zd <= 0 ? tPercentWithLimits{diff(PercentBelow), diff(PercentBelowLower), diff(PercentBelowUpper)}
                            : tPercentWithLimits{100 * Phi(-zd), 100 * Phi(-zd - 1.1), 100 * Phi(-zd + 1.1)};
    tDrawHistogram& h = d.differenceHistogram;
    h.lower = zd - 3;
    h.upper = zd + 3;
    for (int i = 0; i < kHistogramBins; ++i) {
        const double mid = (h.Edge(i) + h.Edge(i + 1)) / 2 - zd;
        h.counts[i] = static_cast<int>(std::lround(4000 * std::exp(-0.5 * mid * mid)));
    }
    RunFacts facts{30, k, AnalysisTest::Dissociation, limitType, "", {}, {}};
    facts.results.outcome = d;
    return FigureInputOf(facts, '.');
}

// The plane's value at a point of the figure, read off both axes' ticks.
FigurePoint PlaneValueAt(const FigurePanel& plane, const FigurePoint& p) {
    return {ValueReadAt(plane.ticks, plane.axis, p.x), ValueReadAt(plane.verticalTicks, plane.verticalAxis, p.y)};
}

bool InsidePlot(const FigureRect& r, const FigurePoint& p) {
    return p.x >= r.left - 1e-9 && p.x <= r.right() + 1e-9 && p.y >= r.top - 1e-9 && p.y <= r.bottom() + 1e-9;
}

// Even-odd ray casting: whether p lies inside the polygon.
bool InsidePolygon(const std::vector<FigurePoint>& polygon, const FigurePoint& p) {
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const FigurePoint &a = polygon[i], &b = polygon[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x)) inside = !inside;
    }
    return inside;
}

struct DissociationCase {
    const char* name;
    double z1, z2, r;
    LimitType limitType;
    int k = 2;
};

class DissociationFigureLayout : public ::testing::TestWithParam<DissociationCase> {};

TEST_P(DissociationFigureLayout, ShowsThePlaneOfBothTasksAndTheDifferencesPosterior) {
    const auto [name, z1, z2, r, limitType, k] = GetParam();
    const FigureInput in = MakeDissociation(z1, z2, r, limitType, k);
    const tDissociationOutcome& d = std::get<tDissociationOutcome>(in.test);
    const FigureGeometry figure = LayoutFigure(in, 480);
    const FigurePanel& plane = figure.cases;

    // Task 2 grows upwards, and the case's dot, read off the ticks of both axes, is at
    // (Z-CCC 1, Z-CCC 2).
    ASSERT_GE(plane.verticalTicks.size(), 2u);
    EXPECT_LT(plane.verticalTicks.back().at, plane.verticalTicks.front().at);
    EXPECT_GT(std::stod(plane.verticalTicks.back().label), std::stod(plane.verticalTicks.front().label));
    ASSERT_EQ(plane.dots.size(), 1u);
    const FigurePoint dot = plane.dots[0];
    EXPECT_TRUE(InsidePlot(plane.plot, dot));
    const FigurePoint read = PlaneValueAt(plane, dot);
    EXPECT_NEAR(read.x, z1, 1e-9);
    EXPECT_NEAR(read.y, z2, 1e-9);

    // Each contour, labelled with its share q, is the ellipse z' R^-1 z = -2 ln(1 - q),
    // the chi-square quantile with 2 degrees of freedom, and stays large past any break.
    ASSERT_EQ(plane.curves.size(), 3u);
    for (const char* label : {"50%", "90%", "99%"}) {
        const auto text = std::find_if(plane.texts.begin(), plane.texts.end(), [&](const FigureText& t) { return t.text == label; });
        ASSERT_NE(text, plane.texts.end()) << label;
        const auto nearLabel = [&](const std::vector<FigurePoint>& c) {
            return std::any_of(c.begin(), c.end(), [&](const FigurePoint& p) { return std::hypot(p.x - text->x, p.y - text->y) < 6; });
        };
        const auto contour = std::find_if(plane.curves.begin(), plane.curves.end(), nearLabel);
        ASSERT_NE(contour, plane.curves.end()) << label;
        const double chi2 = -2 * std::log(1 - std::stod(label) / 100);
        double left = plane.plot.right(), right = plane.plot.left;
        for (const FigurePoint& p : *contour) {
            ASSERT_TRUE(InsidePlot(plane.plot, p));
            const FigurePoint v = PlaneValueAt(plane, p);
            EXPECT_NEAR((v.x * v.x - 2 * r * v.x * v.y + v.y * v.y) / (1 - r * r), chi2, 1e-9 * chi2) << label;
            left = std::min(left, p.x);
            right = std::max(right, p.x);
        }
        if (std::string(label) == "99%") {
            EXPECT_GT(right - left, plane.plot.width / 2);
        }
    }

    // The line of no difference: on the diagonal, through the controls' centre.
    bool throughCentre = false;
    for (const auto& guide : plane.guides) {
        ASSERT_EQ(guide.size(), 2u);
        const FigurePoint a = PlaneValueAt(plane, guide[0]), b = PlaneValueAt(plane, guide[1]);
        EXPECT_NEAR(a.x, a.y, 1e-9);
        EXPECT_NEAR(b.x, b.y, 1e-9);
        throughCentre = throughCentre || (a.x < 0 && b.x > 0);
    }
    EXPECT_TRUE(throughCentre);

    // The band: within |z1 - z2| <= 1.96 sqrt(2 - 2r), out to that edge, and holding the
    // case exactly when its Z-DCCC is below 1.96.
    const double halfWidth = 1.96 * std::sqrt(2 - 2 * r);
    double widest = 0;
    bool caseInBand = false;
    for (const auto& band : plane.bands) {
        for (const FigurePoint& p : band) {
            EXPECT_TRUE(InsidePlot(plane.plot, p));
            const FigurePoint v = PlaneValueAt(plane, p);
            EXPECT_LE(std::abs(v.x - v.y), halfWidth + 1e-9);
            widest = std::max(widest, std::abs(v.x - v.y));
        }
        caseInBand = caseInBand || InsidePolygon(band, dot);
    }
    EXPECT_NEAR(widest, halfWidth, 1e-9);
    EXPECT_EQ(caseInBand, std::abs(static_cast<double>(d.difference(ZDCCC))) < 1.96);

    // A case beyond 6 SDs on a task breaks that axis, and the note says so.
    EXPECT_EQ(plane.axis.broken, std::abs(z1) > 6);
    EXPECT_EQ(plane.verticalAxis.broken, std::abs(z2) > 6);
    EXPECT_EQ(HoldsText(plane, "broken"), std::abs(z1) > 6 || std::abs(z2) > 6);

    // The texts: both Z-CCCs, the correlation, the axes, and the percentage of controls
    // with a more extreme difference with the limit(s) of the Z-DCCC limits the type gives:
    // 100 Phi(limit) on the lower tail, 100 Phi(-limit) on the upper one.
    EXPECT_TRUE(HoldsText(plane, FormatText("Z-CCC = %2.3f on task 1 and %2.3f on task 2", {z1, z2})));
    EXPECT_TRUE(HoldsText(plane, FormatText("%5.5f", {d.condCorrelation})));
    const std::string centre = k > 0 ? "the conditional mean" : "the controls' mean";
    EXPECT_TRUE(HoldsText(plane, "Task 1 (SDs from " + centre + ")"));
    EXPECT_TRUE(std::any_of(plane.texts.begin(), plane.texts.end(), [&](const FigureText& t) {
        return t.upwards && t.text == "Task 2 (SDs from " + centre + ")";
    }));
    EXPECT_EQ(SpeaksOfCovariates(figure), k > 0);
    if (k == 0) {
        EXPECT_TRUE(HoldsText(plane, "The case against the controls"));
        EXPECT_TRUE(HoldsText(plane, FormatText("the tasks' correlation %5.5f", {d.condCorrelation})));
        EXPECT_TRUE(HoldsText(plane, "Sample estimates: mean 40.500, SD 7.250 on task 1; 50.500, SD 7.250 on task 2"));
    }
    const double zd = static_cast<double>(d.difference(ZDCCC));
    const double tail = zd <= 0 ? 1 : -1;
    const auto percentAt = [&](long double limit) { return 100 * Phi(tail * static_cast<double>(limit)); };
    const auto holdsLimit = [&](double percent) {
        const std::string text = FormatText("%3.4f%%", {percent});
        return HoldsText(plane, "= " + text) || HoldsText(plane, "to  " + text);
    };
    EXPECT_TRUE(HoldsText(plane, "    " + FormatText("%2.4f%%", {100 * Phi(-std::abs(zd))})));
    const bool lowerZ = limitType != LimitType::OneSidedUpper, upperZ = limitType != LimitType::OneSidedLower;
    EXPECT_EQ(holdsLimit(percentAt(d.difference(ZDCCCLower))), lowerZ);
    EXPECT_EQ(holdsLimit(percentAt(d.difference(ZDCCCUpper))), upperZ);
    if (limitType != LimitType::TwoSided) {
        EXPECT_TRUE(HoldsText(plane, (lowerZ == (zd <= 0)) ? "lower Credible Limit" : "upper Credible Limit"));
    }

    // How sure we are: the draws of Z-DCCC, with Z-DCCC and its limits.
    ExpectPosteriorShows(figure.posterior, d.difference, d.differenceHistogram, limitType);
    EXPECT_TRUE(HoldsText(figure.posterior, "Z-DCCC"));
    EXPECT_GT(figure.posterior.plot.top, plane.plot.bottom() + 40);
    EXPECT_GT(figure.height, figure.posterior.plot.bottom());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DissociationFigureLayout,
    ::testing::Values(DissociationCase{"DeficitOnTask1Only", -3.82, 0.27, 0.54, LimitType::TwoSided},
                      DissociationCase{"DeficitsOnBoth", -3.27, -2.94, 0.54, LimitType::OneSidedLower},
                      DissociationCase{"TheUpperTail", 0.22, -3.34, 0.54, LimitType::OneSidedLower},
                      DissociationCase{"TheUpperTailUpperLimit", 0.22, -3.34, 0.54, LimitType::OneSidedUpper},
                      DissociationCase{"StrongCorrelation", -2.18, 0.27, 0.91, LimitType::TwoSided},
                      DissociationCase{"NegativeCorrelation", 1.09, -2.67, -0.75, LimitType::OneSidedUpper},
                      DissociationCase{"FarBelowOnTask1", -21.8, -1.33, 0.54, LimitType::TwoSided},
                      DissociationCase{"FarOnBothWithoutADifference", -21.8, -22.0, 0.54, LimitType::TwoSided},
                      DissociationCase{"FarAboveOnTask2", 0.5, 6.9, 0.3, LimitType::OneSidedUpper},
                      DissociationCase{"FarAboveOnBoth", 7.5, 9, 0.3, LimitType::OneSidedUpper},
                      DissociationCase{"WithoutCovariates", -3.82, 0.27, 0.54, LimitType::OneSidedLower, 0},
                      DissociationCase{"WithoutCovariatesFarBelowOnTask1", -21.8, -1.33, 0.54, LimitType::TwoSided, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A conditional mean so large against its SD that mean - 4 SD and mean + 4 SD are one
// double, and draws all on one value: the layout returns, every coordinate finite.
// With a data file's names the figure names the tasks by them, on the axes and in the
// legends, and says "task 1" or "the task of interest" nowhere.
TEST(FigureLayoutNames, AxesAndLegendsNameTheTasksByTheDataFilesNames) {
    FigureInput deficit = MakeInput(-2, LimitType::TwoSided);
    FigureInput dissociation = MakeDissociation(-7, 1, 0.5, LimitType::TwoSided, 1);
    deficit.names = {"naming", "age"};
    dissociation.names = {"naming", "comprehension", "age"};
    const FigureGeometry one = LayoutFigure(deficit, 480), two = LayoutFigure(dissociation, 480);
    EXPECT_TRUE(HoldsText(one.cases, "Score on naming"));
    const std::string axis = "(SDs from the conditional mean)";
    EXPECT_TRUE(HoldsText(two.cases, "naming " + axis));
    EXPECT_TRUE(std::any_of(two.cases.texts.begin(), two.cases.texts.end(),
                            [&](const FigureText& t) { return t.upwards && t.text == "comprehension " + axis; }));
    EXPECT_TRUE(HoldsText(two.cases, "Z-CCC = -7.000 on naming and 1.000 on comprehension"));
    EXPECT_TRUE(HoldsText(two.posterior, "Standardised difference, naming less comprehension (Z-DCCC)"));
    for (const FigurePanel* panel : {&one.cases, &one.posterior, &two.cases, &two.posterior})
        for (const char* generic : {"task 1", "task 2", "Task 1", "Task 2", "task of interest"})
            EXPECT_FALSE(HoldsText(*panel, generic)) << generic;
}

TEST(FigureLayoutDegenerate, ZeroSpansGiveFiniteCoordinates) {
    FigureInput in = MakeInput(0, LimitType::TwoSided);
    DeficitFigure& d = std::get<DeficitFigure>(in.test);
    d.outcome.condMean = 1e14L;
    d.outcome.condSD = 1e-3L;
    d.caseScore = d.outcome.condMean;
    d.outcome.zHistogram.lower = d.outcome.zHistogram.upper = 0;
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

// A plan's figure, read off its own ticks as a reader would: the deficit's curve from its
// first n to its last, the target and the asymptote at their powers and the sample size
// marked on the curve; the dissociation's points, given in any order, inside the plot with
// bars of 2 standard errors either side.
TEST(PowerFigure, MarksTheCurveTargetAsymptoteAndSampleSize) {
    PowerFacts deficit;
    deficit.targetPower = 0.8;
    for (int n = 3; n <= 60; ++n) deficit.plan.curve.push_back({n, 0.9 * (1 - std::exp(-n / 12.0))});
    deficit.plan.asymptote = 0.9;
    deficit.plan.sampleSize = 27;
    const FigureGeometry f = LayoutFigure(PowerFigureOf(deficit, '.'), 480);
    const FigurePanel& p = f.cases;
    const auto powerAt = [&](double y) { return ValueReadAt(p.verticalTicks, p.verticalAxis, y); };
    ASSERT_EQ(p.curves.size(), 1u);
    EXPECT_NEAR(p.curves[0].front().x, p.plot.left, 1e-9);
    EXPECT_NEAR(p.curves[0].back().x, p.plot.right(), 1e-9);
    EXPECT_NEAR(ScoreReadAt(p, p.curves[0].front().x), 3, 1e-9);
    EXPECT_NEAR(powerAt(p.curves[0].back().y), deficit.plan.curve.back().power, 1e-9);
    ASSERT_EQ(p.levels.size(), 2u);
    EXPECT_NEAR(powerAt(p.levels[0].y), 0.8, 1e-9);
    EXPECT_NEAR(powerAt(p.levels[1].y), 0.9, 1e-9);
    EXPECT_NE(p.levels[0].style, p.levels[1].style);
    ASSERT_EQ(p.markers.size(), 1u);
    EXPECT_NEAR(ScoreReadAt(p, p.markers[0].x), 27, 1e-9);
    ASSERT_EQ(p.dots.size(), 1u);
    EXPECT_NEAR(powerAt(p.dots[0].y), deficit.plan.curve[24].power, 1e-9);
    EXPECT_TRUE(HoldsText(p, "n = 27"));
    EXPECT_EQ(f.posterior.plot.width, 0);
    EXPECT_GT(f.captions.front().y, p.plot.bottom());

    PowerFacts dissociation;
    dissociation.test = AnalysisTest::Dissociation;
    using Point = std::tuple<int, double, double>;  // n, power, standard error
    const std::array<Point, 3> points{Point{10, 0.3, 0.004}, {20, 0.45, 0.005}, {40, 0.6, 0.005}};
    for (const int i : {2, 0, 1}) {
        const auto [n, power, se] = points[i];
        dissociation.simulated.push_back({n, {{power, se}, {}, {}, 0}});
    }
    const FigureGeometry g = LayoutFigure(PowerFigureOf(dissociation, '.'), 480);
    const FigurePanel& q = g.cases;
    EXPECT_TRUE(q.curves.empty());
    EXPECT_TRUE(q.levels.empty() && q.markers.empty());
    ASSERT_EQ(q.dots.size(), 3u);
    ASSERT_EQ(q.guides.size(), 9u);  // a bar and its two ends a point
    for (std::size_t i = 0; i < 3; ++i) {
        const auto [n, power, se] = points[i];
        EXPECT_GT(q.dots[i].x, q.plot.left);
        EXPECT_LT(q.dots[i].x, q.plot.right());
        EXPECT_NEAR(ScoreReadAt(q, q.dots[i].x), n, 1e-9);
        EXPECT_NEAR(ValueReadAt(q.verticalTicks, q.verticalAxis, q.dots[i].y), power, 1e-9);
        const std::vector<FigurePoint>& bar = q.guides[3 * i];
        EXPECT_NEAR(bar[1].y - bar[0].y, 4 * se * q.plot.height, 1e-9);
    }
}

// A series: a row a case, its dot at its effect size, its bar between the limits given
// (to the plot's edge on a side without one), against the dashed line(s) where 5% of the
// controls lie beyond; one panel only.
struct SeriesLayoutCase {
    const char* name;
    AnalysisTest test;
    LimitType limitType;
    std::size_t cases;
    std::size_t dashedLines;
};

class SeriesFigureLayout : public ::testing::TestWithParam<SeriesLayoutCase> {};

TEST_P(SeriesFigureLayout, PutsEachCaseOnItsRowAgainstTheFivePercentLine) {
    const SeriesLayoutCase& c = GetParam();
    SeriesFigure series{c.test, {}};
    const bool lowerOnly = c.limitType == LimitType::OneSidedLower;
    for (std::size_t i = 0; i < c.cases; ++i) {
        const long double z = -4 + 0.5L * static_cast<long double>(i % 12);
        series.cases.push_back({static_cast<int>(21 + i), z, z - 1, lowerOnly ? std::nullopt : std::optional(z + 1)});
    }
    const FigureGeometry figure = LayoutFigure({c.limitType, series, '.', true}, 480);
    const FigurePanel& panel = figure.cases;
    EXPECT_EQ(figure.posterior.plot.width, 0);
    EXPECT_LE(panel.plot.height, 575);  // a long series fits a page
    ASSERT_EQ(panel.dots.size(), c.cases);
    std::size_t dashed = 0;
    for (const FigureMarker& m : panel.markers)
        if (m.style == LineStyle::Dashed) {
            ++dashed;
            EXPECT_NEAR(std::fabs(panel.axis.At(0) - m.x), 1.6448536269514722 * panel.axis.pointsPerUnit, 1e-6);
        }
    EXPECT_EQ(dashed, c.dashedLines);
    for (std::size_t i = 0; i < c.cases; ++i) {
        const FigurePoint& dot = panel.dots[i];
        EXPECT_NEAR(dot.x, panel.axis.At(static_cast<double>(series.cases[i].effect)), 1e-9);
        EXPECT_GT(dot.y, i == 0 ? panel.plot.top : panel.dots[i - 1].y);
        EXPECT_LT(dot.y, panel.plot.bottom());
    }
    const auto& bar = panel.guides.front();  // the first case's
    EXPECT_NEAR(bar.front().x, panel.axis.At(static_cast<double>(*series.cases[0].lower)), 1e-9);
    EXPECT_NEAR(bar.back().x, lowerOnly ? panel.plot.right() : panel.axis.At(-3), 1e-9);
    EXPECT_TRUE(std::any_of(panel.texts.begin(), panel.texts.end(),
                            [](const FigureText& t) { return t.text == "Case 1 (line 21)"; }));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeriesFigureLayout,
    ::testing::Values(SeriesLayoutCase{"Deficit", AnalysisTest::Deficit, LimitType::TwoSided, 4, 1},
                      SeriesLayoutCase{"DissociationLowerLimits", AnalysisTest::Dissociation,
                                       LimitType::OneSidedLower, 3, 2},
                      SeriesLayoutCase{"ThousandCases", AnalysisTest::Deficit, LimitType::TwoSided, 1000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
