#include "numerics/matrix_handling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "numerics/errors.h"

namespace quorvane {
namespace {

tMatrix MatrixOf(std::initializer_list<std::initializer_list<long double>> rows) {
    tMatrix m;
    int i = 0;
    for (const auto& row : rows) {
        int j = 0;
        for (const long double x : row) m.cell[i][j++] = x;
        ++i;
    }
    return m;
}

void ExpectBlockNear(const tMatrix& actual, const tMatrix& expected, int n, long double tolerance) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j)
            EXPECT_NEAR(actual(i, j), expected(i, j), tolerance) << "cell " << i << "," << j;
}

// ---- Inverse ----

TEST(MatInverse, ExchangesRowsWhenTheFirstPivotIsZero) {
    const tMatrix swap = MatrixOf({{0, 1}, {1, 0}});
    tMatrix out;
    ASSERT_TRUE(MatInverse(swap, 2, out));
    ExpectBlockNear(out, swap, 2, 0);
}

TEST(MatInverse, StopsAtAColumnWithoutAUsablePivot) {
    const tMatrix A = MatrixOf({{0, 1, 2}, {0, 3, 4}, {0, 5, 7}});
    tMatrix out = MatrixOf({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
    EXPECT_FALSE(MatInverse(A, 3, out));
    ExpectBlockNear(out, MatrixOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), 3, 0);
}

TEST(MatInverse, ThePivotToleranceIsAnAbsoluteTenToTheMinusTen) {
    // A pivot counts from 1e-10 up, whatever its sign; one ulp below it does not.
    const long double tolerance = 1e-10L;
    const struct {
        long double pivot;
        bool usable;
    } cases[] = {{std::nextafter(tolerance, 0.0L), false},
                 {-std::nextafter(tolerance, 0.0L), false},
                 {tolerance, true},
                 {std::nextafter(tolerance, 1.0L), true},
                 {-std::nextafter(tolerance, 1.0L), true}};
    for (const auto& [pivot, usable] : cases) {
        tMatrix out;
        EXPECT_EQ(MatInverse(MatrixOf({{pivot}}), 1, out), usable) << static_cast<double>(pivot);
        EXPECT_EQ(out(1, 1), usable ? 1 / pivot : 1) << static_cast<double>(pivot);
    }
}

TEST(MatInverse, MatchesTheExactInverse) {
    // The inverse of this matrix, by exact rational arithmetic, is (1/-3)·adj(A).
    const tMatrix A = MatrixOf({{4, 7, 2}, {3, 6, 1}, {2, 5, 3}});
    const tMatrix exact = MatrixOf({{13.0L / 9, -11.0L / 9, -5.0L / 9},
                                    {-7.0L / 9, 8.0L / 9, 2.0L / 9},
                                    {1.0L / 3, -2.0L / 3, 1.0L / 3}});
    tMatrix out;
    ASSERT_TRUE(MatInverse(A, 3, out));
    ExpectBlockNear(out, exact, 3, 1e-17L);
}

TEST(MatInverse, OutputMayBeTheInput) {
    tMatrix A = MatrixOf({{2, 0}, {0, 4}});
    ASSERT_TRUE(MatInverse(A, 2, A));
    ExpectBlockNear(A, MatrixOf({{0.5L, 0}, {0, 0.25L}}), 2, 0);
}

// ---- Cholesky ----

struct CholeskyCase {
    const char* name;
    tMatrix A;
    int n;
    bool ok;
    tMatrix factor;       // when ok
    const char* message;  // when not
};

class Cholesky : public ::testing::TestWithParam<CholeskyCase> {};

TEST_P(Cholesky, FactorisesOrReportsTheFailingPivot) {
    const CholeskyCase& c = GetParam();
    tMatrix A = c.A;
    const CholeskyOutcome outcome = CholeskyFactor(c.n, A);
    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_EQ(IsPositiveDefinite(c.n, c.A), c.ok);
    if (c.ok) {
        ExpectBlockNear(A, c.factor, c.n, 1e-18L);
        EXPECT_TRUE(outcome.message.empty());
    } else {
        EXPECT_EQ(outcome.message, c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cholesky,
    ::testing::Values(
        CholeskyCase{"identity", MatrixOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), 3, true,
                     MatrixOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), ""},
        CholeskyCase{"twoByTwo", MatrixOf({{4, 2}, {2, 5}}), 2, true, MatrixOf({{2, 0}, {1, 2}}), ""},
        CholeskyCase{"indefinite", MatrixOf({{1, 2}, {2, 1}}), 2, false, {},
                     "Not pos def 2nd : sum=  -3.000000000  i=  2  j=   2"},
        CholeskyCase{"tinyFirstPivot", MatrixOf({{1e-13L}}), 1, false, {}, "Not pos def 1st : sum=  0.000 "},
        CholeskyCase{"thresholdPivot", MatrixOf({{1e-12L}}), 1, true, MatrixOf({{1e-6L}}), ""},
        CholeskyCase{"identicalVariables", MatrixOf({{1, 1, 0.5L}, {1, 1, 0.5L}, {0.5L, 0.5L, 1}}), 3,
                     false, {}, "Not pos def 2nd : sum=  0.000000000  i=  2  j=   2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CholeskyFactor, ClearsTheUpperTriangleAndLeavesCellsOutsideTheBlock) {
    tMatrix A = MatrixOf({{4, 2, 7}, {2, 5, 7}, {7, 7, 7}});
    ASSERT_TRUE(CholeskyFactor(2, A).ok);
    EXPECT_EQ(A(1, 2), 0);
    EXPECT_EQ(A(1, 3), 7);
    EXPECT_EQ(A(3, 3), 7);
}

TEST(CholeskyFactor, TheFactorTimesItsTransposeGivesTheMatrixBack) {
    const tMatrix A = MatrixOf({{6, 2, 1, 0.5L}, {2, 5, 2, 1}, {1, 2, 4, 1.5L}, {0.5L, 1, 1.5L, 3}});
    tMatrix L = A;
    ASSERT_TRUE(CholeskyFactor(4, L).ok);
    tMatrix Lt, product;
    MatTranspose(L, 4, 4, Lt);
    MatMul(L, Lt, 4, 4, 4, product);
    ExpectBlockNear(product, A, 4, 1e-17L);
}

// ---- Basic operations ----

TEST(MatMul, LeavesCellsOutsideTheProductAlone) {
    const tMatrix A = MatrixOf({{1, 2}, {3, 4}});
    const tMatrix B = MatrixOf({{5, 6}, {7, 8}});
    tMatrix out = MatrixOf({{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}});
    MatMul(A, B, 2, 2, 1, out);
    EXPECT_EQ(out(1, 1), 19);
    EXPECT_EQ(out(2, 1), 43);
    EXPECT_EQ(out(1, 2), -1);
    EXPECT_EQ(out(3, 3), -1);
}

TEST(MatMul, OutputMayBeAnInput) {
    tMatrix A = MatrixOf({{1, 2}, {3, 4}});
    MatMul(A, A, 2, 2, 2, A);
    ExpectBlockNear(A, MatrixOf({{7, 10}, {15, 22}}), 2, 0);
}

TEST(MatTranspose, ClearsTheWholeOutput) {
    const tMatrix A = MatrixOf({{1, 2, 3}, {4, 5, 6}});
    tMatrix out = MatrixOf({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
    MatTranspose(A, 2, 3, out);
    ExpectBlockNear(out, MatrixOf({{1, 4, 0}, {2, 5, 0}, {3, 6, 0}}), 3, 0);
}

TEST(MatSelect, PacksTheSelectedVariablesIntoTheCorner) {
    const tMatrix A = MatrixOf({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    tSelector sel;
    sel(1) = true;
    sel(3) = true;
    tMatrix out;
    MatSelect(A, 3, sel, out);
    ExpectBlockNear(out, MatrixOf({{1, 3, 0}, {7, 9, 0}, {0, 0, 0}}), 3, 0);
}

TEST(MatPartition, SplitsTaskAndCovariateBlocks) {
    const tMatrix A = MatrixOf({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    tMatrix yy, yx, xy, xx;
    MatPartition(A, 3, 1, yy, yx, xy, xx);
    ExpectBlockNear(yy, MatrixOf({{1}}), 1, 0);
    ExpectBlockNear(yx, MatrixOf({{2, 3}, {0, 0}}), 2, 0);
    ExpectBlockNear(xy, MatrixOf({{2, 0}, {3, 0}}), 2, 0);  // the transpose of yx, not A's lower block
    ExpectBlockNear(xx, MatrixOf({{5, 6}, {8, 9}}), 2, 0);
}

TEST(VectorOperations, WorkOnTheLeadingElementsOnly) {
    tVector a, b, out;
    VecFill(3, a, 2);
    VecFill(20, b, 5);
    EXPECT_EQ(VecDot(3, a, b), 30);
    VecAdd(2, a, b, out);
    EXPECT_EQ(out(2), 7);
    EXPECT_EQ(out(3), 0);
    VecScale(3, a, a, -1.5L);
    EXPECT_EQ(a(3), -3);
    EXPECT_EQ(a(4), 0);
    tVector mv;
    MatVecMul(MatrixOf({{1, 2}, {3, 4}}), 2, b, mv);
    EXPECT_EQ(mv(1), 15);
    EXPECT_EQ(mv(2), 35);
}

TEST(ConditionalMoments, MatchTheBivariateClosedForm) {
    // condVar = sy^2 (1 - r^2), condMean = ybar + r sy / sx (x* - xbar).
    const long double r = 0.6L, sy = 3, sx = 2, ybar = 10, xbar = 50, xStar = 53;
    tMatrix R = MatrixOf({{1, r}, {r, 1}});
    tVector sd, means, caseScores;
    sd(1) = sy;
    sd(2) = sx;
    means(1) = ybar;
    means(2) = xbar;
    caseScores(1) = 1;  // not read
    caseScores(2) = xStar;
    tMatrix condCov;
    tVector condMean;
    ASSERT_TRUE(ConditionalMoments(2, 1, R, sd, means, caseScores, condCov, condMean));
    EXPECT_NEAR(condCov(1, 1), sy * sy * (1 - r * r), 1e-17L);
    EXPECT_NEAR(condMean(1), ybar + r * sy / sx * (xStar - xbar), 1e-17L);
}

TEST(ConditionalMoments, ReportsAnInverseThatStopped) {
    tMatrix R = MatrixOf({{1, 0.5L}, {0.5L, 1}});
    tVector sd, means, caseScores;
    sd(1) = 1e-6L;  // variances of 1e-12: below the inverse's absolute pivot threshold
    sd(2) = 1e-6L;
    tMatrix condCov;
    tVector condMean;
    EXPECT_FALSE(ConditionalMoments(2, 1, R, sd, means, caseScores, condCov, condMean));
}

// ---- Sort ----

class QuickSort : public ::testing::TestWithParam<std::vector<double>> {};

TEST_P(QuickSort, SortsTheRangeAscending) {
    const std::vector<double>& values = GetParam();
    tDrawArray draws;
    const int count = static_cast<int>(values.size());
    draws(count + 1) = -1e300;  // just past the range: must stay where it is
    for (int i = 1; i <= count; ++i) draws(i) = values[i - 1];
    QuickSortDraws(1, count, draws);
    std::vector<double> expected = values;
    std::sort(expected.begin(), expected.end());
    for (int i = 1; i <= count; ++i) EXPECT_EQ(draws(i), expected[i - 1]) << "index " << i;
    EXPECT_EQ(draws(count + 1), -1e300);
}

std::vector<double> RandomValues(int count) {
    std::mt19937 random(42);
    std::normal_distribution<double> normal;
    std::vector<double> values(count);
    for (double& v : values) v = normal(random);
    return values;
}

INSTANTIATE_TEST_SUITE_P(Ranges, QuickSort,
                         ::testing::Values(std::vector<double>{5, 4, 3, 2, 1, 0},  // last is smallest
                                           std::vector<double>{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, -7},
                                           std::vector<double>(50, 2.5),          // all equal
                                           std::vector<double>{1, 2, 3, 4, 5, 6},  // already sorted
                                           std::vector<double>{42},
                                           RandomValues(20'000)));

// ---- Printing ----

TEST(PrintMatrix, WritesTitleRowsAndAnEmptyLine) {
    std::vector<std::string> lines;
    PrintMatrix(MatrixOf({{1, 0}, {0, 1}}), 2, " Title:", lines);
    const std::vector<std::string> expected = {" Title:", "   1.00000   0.00000   ", "   0.00000   1.00000   ", ""};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(lines[1].size(), 23u);
}

TEST(PrintMatrix, NegativeCorrelationsAndTheDecimalSeparator) {
    std::vector<std::string> lines = {"earlier"};
    PrintMatrix(MatrixOf({{1, -0.27735L}, {-0.27735L, 1}}), 2, " T", lines, ',');
    const std::vector<std::string> expected = {"earlier", " T", "   1,00000   -0,27735   ", "   -0,27735   1,00000   ", ""};
    EXPECT_EQ(lines, expected);
}

TEST(PrintDataRows, NumbersTheRowsAndRightAlignsTheCells) {
    RawDataTable T;
    T(1, 1) = 10;
    T(1, 2) = 40;
    T(2, 1) = kMissingValue;
    T(2, 2) = -3.25L;
    std::vector<std::string> lines;
    PrintDataRows(T, 2, 2, " Raw data for controls:", lines);
    const std::vector<std::string> expected = {
        " Raw data for controls:",
        "   [   1]:      10.00000       40.00000   ",
        "   [   2]:  -99999.99900       -3.25000   ",
        ""};
    EXPECT_EQ(lines, expected);
}

// ---- Sample statistics ----

RawDataTable ThreeControlsAndCase() {
    RawDataTable T;
    FillRawDataTable(T);
    const long double rows[4][2] = {{10, 40}, {12, 38}, {11, 45}, {6, 50}};
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 2; ++j) T(i, j) = rows[i - 1][j - 1];
    return T;
}

TEST(SampleStatistics, ReproducesTheWorkedExample) {
    // Means 11 and 41; covariance rows (1, -1) and (-1, 13), by hand.
    tMatrix corr;
    tVector means, sds;
    SampleStatistics(ThreeControlsAndCase(), 3, 2, corr, means, sds);
    EXPECT_EQ(means(1), 11);
    EXPECT_EQ(means(2), 41);
    EXPECT_EQ(sds(1), 1);
    EXPECT_NEAR(sds(2), std::sqrt(13.0L), 1e-18L);
    EXPECT_NEAR(corr(1, 2), -1 / std::sqrt(13.0L), 1e-18L);
    EXPECT_EQ(corr(1, 2), corr(2, 1));
    EXPECT_NEAR(corr(2, 2), 1, 1e-18L);
    EXPECT_EQ(sds(3), 0);
}

TEST(SampleStatistics, TheCaseRowNeverEntersTheStatistics) {
    RawDataTable a = ThreeControlsAndCase();
    RawDataTable b = a;
    b(4, 1) = 1e6L;
    b(4, 2) = -7;
    tMatrix corrA, corrB;
    tVector meansA, meansB, sdsA, sdsB;
    SampleStatistics(a, 3, 2, corrA, meansA, sdsA);
    SampleStatistics(b, 3, 2, corrB, meansB, sdsB);
    EXPECT_EQ(corrA, corrB);
    EXPECT_EQ(meansA, meansB);
    EXPECT_EQ(sdsA, sdsB);
}

TEST(SampleStatistics, AVariableWithoutVarianceIsAnInvalidOperation) {
    RawDataTable T = ThreeControlsAndCase();
    for (int i = 1; i <= 3; ++i) T(i, 2) = 40;
    tMatrix corr;
    tVector means, sds;
    try {
        SampleStatistics(T, 3, 2, corr, means, sds);
        FAIL() << "expected EInvalidOp";
    } catch (const EInvalidOp& error) {
        EXPECT_STREQ(error.what(), "Invalid floating point operation");
    }
    // The fault is cleared: the next computation is clean.
    EXPECT_NO_THROW(SampleStatistics(ThreeControlsAndCase(), 3, 2, corr, means, sds));
}

TEST(SampleStatistics, OneControlIsAnInvalidOperation) {
    tMatrix corr;
    tVector means, sds;
    EXPECT_THROW(SampleStatistics(ThreeControlsAndCase(), 1, 2, corr, means, sds), EInvalidOp);
}

TEST(SampleStatistics, ValuesBeyondTheRangeOfSquaresOverflow) {
    RawDataTable T = ThreeControlsAndCase();
    T(1, 1) = 1e4000L;
    tMatrix corr;
    tVector means, sds;
    EXPECT_THROW(SampleStatistics(T, 3, 2, corr, means, sds), EOverflow);  // not the NaN that follows
}

TEST(RawDataTable, FillMarksEveryCellMissingAndDataRowTakesTheCase) {
    RawDataTable T = ThreeControlsAndCase();
    EXPECT_EQ(T(500, 20), kMissingValue);
    EXPECT_EQ(T(4, 3), kMissingValue);
    tVector caseScores;
    DataRow(T, 4, 2, caseScores);
    EXPECT_EQ(caseScores(1), 6);
    EXPECT_EQ(caseScores(2), 50);
    EXPECT_EQ(caseScores(3), 0);
}

}  // namespace
}  // namespace quorvane
