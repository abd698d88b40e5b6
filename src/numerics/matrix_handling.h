#pragma once
// Fixed-size matrices and vectors of extended reals, indexed from 1, with the algebra
// the regression needs, and the sample statistics of the raw data table.
//
// Inputs that could be the same object as an output are taken by value, so an output
// may alias an input. Sums accumulate in extended precision, from 0, in increasing
// index order: the order of operations is part of every routine's contract.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

constexpr int kMaxVars = 20;
constexpr int kMaxRows = 500;
constexpr int kMaxDraws = 1'000'000;
constexpr long double kMissingValue = -99999.999L;

struct tVector {
    long double& operator()(int i) { return cell[i - 1]; }
    long double operator()(int i) const { return cell[i - 1]; }
    bool operator==(const tVector&) const = default;
    std::array<long double, kMaxVars> cell{};
};

struct tMatrix {
    long double& operator()(int row, int col) { return cell[row - 1][col - 1]; }
    long double operator()(int row, int col) const { return cell[row - 1][col - 1]; }
    bool operator==(const tMatrix&) const = default;
    std::array<std::array<long double, kMaxVars>, kMaxVars> cell{};
};

// One flag per variable, for MatSelect.
struct tSelector {
    bool& operator()(int i) { return cell[i - 1]; }
    bool operator()(int i) const { return cell[i - 1]; }
    std::array<bool, kMaxVars> cell{};
};

// The engine's per-draw store: kMaxDraws doubles on the heap, allocated once and left
// uninitialised, since every draw writes its own cell.
class tDrawArray {
public:
    tDrawArray() : cell_(std::make_unique_for_overwrite<double[]>(kMaxDraws)) {}
    double& operator()(int i) { return cell_[i - 1]; }
    double operator()(int i) const { return cell_[i - 1]; }
    double* data() { return cell_.get(); }

private:
    std::unique_ptr<double[]> cell_;
};

// Rows 1 .. n the controls, row n + 1 the case; column 1 the task, then the covariates.
class RawDataTable {
public:
    RawDataTable() : cell_(kMaxRows * kMaxVars) {}
    long double& operator()(int row, int col) { return cell_[(row - 1) * kMaxVars + col - 1]; }
    long double operator()(int row, int col) const { return cell_[(row - 1) * kMaxVars + col - 1]; }

private:
    std::vector<long double> cell_;
};

// kMaxVars rows by kMaxRows columns: the transpose of a RawDataTable.
class TransposedTable {
public:
    TransposedTable() : cell_(kMaxVars * kMaxRows) {}
    long double& operator()(int row, int col) { return cell_[(row - 1) * kMaxRows + col - 1]; }
    long double operator()(int row, int col) const { return cell_[(row - 1) * kMaxRows + col - 1]; }

private:
    std::vector<long double> cell_;
};

// ---- Basic operations (leading n x n, or rows x cols, block) ----
void MatZero(tMatrix& M);
void VecFill(int count, tVector& v, long double x);
void MatCopyBlock(const tMatrix& A, int n, tMatrix& out);  // other cells of out kept
void MatColumn(const tMatrix& A, int index, tVector& out);  // all 20 elements
void MatAdd(tMatrix A, tMatrix B, int n, tMatrix& out);
void MatSub(tMatrix A, tMatrix B, int n, tMatrix& out);
void MatMul(tMatrix A, tMatrix B, int rows, int inner, int cols, tMatrix& out);  // other cells kept
void MatDivScalar(int n, tMatrix A, tMatrix& out, double x);
void MatScale(int n, tMatrix& A, long double x);
void MatTranspose(tMatrix A, int rows, int cols, tMatrix& out);  // out zeroed first
void MatVecMul(const tMatrix& A, int n, tVector v, tVector& out);
void MatVecMulRect(const tMatrix& A, int rows, int cols, tVector v, tVector& out);
long double VecDot(int count, const tVector& a, const tVector& b);
void VecAdd(int count, tVector a, tVector b, tVector& out);
void VecScale(int count, tVector v, tVector& out, long double x);

// ---- Statistics conversions (p variables) ----
void CorrToCov(tMatrix R, int p, const tVector& sd, tMatrix& out);
void CorrToSSCP(tMatrix R, int p, int n, const tVector& sd, tMatrix& out);
void MatSelect(tMatrix A, int p, const tSelector& sel, tMatrix& out);
void MatPartition(tMatrix A, int p, int m, tMatrix& outYY, tMatrix& outYX, tMatrix& outXY,
                  tMatrix& outXX);
// Conditional covariance and mean of the p - k task variables given the case's
// covariate scores (with k = 0, their own covariance and means). False when one of its
// inverses stopped on a small pivot: the outputs then mean nothing.
bool ConditionalMoments(int p, int k, const tMatrix& R, const tVector& sd, const tVector& means,
                        const tVector& caseScores, tMatrix& condCov, tVector& condMean);

// ---- Inverse, factorisation, sort, print ----
// Gauss-Jordan; false when a column has no pivot of magnitude 1e-10 or more (out then
// holds the partly reduced identity).
bool MatInverse(tMatrix A, int n, tMatrix& out);

struct CholeskyOutcome {
    bool ok = true;
    std::string message;  // "Not pos def ..." when a pivot fell below 1e-12
};
// In place, A = L * L'; on failure A is left as the factorisation left it.
CholeskyOutcome CholeskyFactor(int n, tMatrix& A);
bool IsPositiveDefinite(int n, tMatrix A);

void QuickSortDraws(int lo, int hi, tDrawArray& a);

void PrintMatrix(const tMatrix& A, int n, std::string_view title, std::vector<std::string>& lines,
                 char decimalSeparator = '.');

// ---- Sample statistics of the raw data table ----
void FillRawDataTable(RawDataTable& T);
void DataRow(const RawDataTable& T, int row, int cols, tVector& out);
void ColumnMeans(const RawDataTable& T, int rows, int cols, tVector& out);
void CenterColumns(RawDataTable T, int rows, int cols, RawDataTable& out);
void DataTranspose(const RawDataTable& T, int rows, int cols, TransposedTable& out);
void DataCrossProduct(const TransposedTable& Tt, const RawDataTable& C, int p, int n, tMatrix& out);
void DataSSCP(const RawDataTable& T, int n, int p, tMatrix& out);
void SSCPToCov(tMatrix W, int p, int n, tMatrix& out);
void CovToCorr(tMatrix V, int p, tMatrix& outCorr, tVector& outSD);
// Means, SDs (denominator n - 1) and correlations of rows 1 .. n; raises the
// floating-point fault of a variable with zero variance.
void SampleStatistics(const RawDataTable& T, int n, int p, tMatrix& outCorr, tVector& outMeans,
                      tVector& outSD);
// The first of variables 1 .. p whose scores in rows 1 .. n are all equal, exactly or
// up to rounding, or 0 when every one varies. Relative to the scores' magnitude, so it
// judges the same data alike in any units.
int FirstConstantVariable(const RawDataTable& T, int n, int p);
void PrintDataRows(const RawDataTable& T, int rows, int cols, std::string_view title,
                   std::vector<std::string>& lines, char decimalSeparator = '.');

}  // namespace quorvane
