#include "numerics/matrix_handling.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

constexpr long double kInversePivotTolerance = 1e-10L;
constexpr long double kCholeskyPivotTolerance = 1e-12L;
// Spreads below this fraction of the scores' magnitude are rounding, not measurement:
// far below any real variation (no measurement has twelve significant digits), far
// above the 1e-16 of numbers that went through doubles.
constexpr long double kConstantTolerance = 1e-12L;

// Steps of the column-by-column Cholesky factorisation shared by CholeskyFactor and
// IsPositiveDefinite: factorises A in place, leaving the upper triangle as it was.
CholeskyOutcome FactoriseLowerTriangle(int n, tMatrix& A) {
    if (A(1, 1) < kCholeskyPivotTolerance)
        return {false, FormatText("Not pos def 1st : sum=  %2.3f ", {A(1, 1)})};
    A(1, 1) = std::sqrt(A(1, 1));
    for (int i = 2; i <= n; ++i) A(i, 1) = A(i, 1) / A(1, 1);
    for (int j = 2; j <= n; ++j) {
        long double s = A(j, j);
        for (int t = 1; t <= j - 1; ++t) s = s - A(j, t) * A(j, t);
        if (s < kCholeskyPivotTolerance)
            return {false, FormatText("Not pos def 2nd : sum=  %2.9f  i= %2d  j=  %2d", {s, j, j})};
        A(j, j) = std::sqrt(s);
        for (int i = j + 1; i <= n; ++i) {
            long double sum = 0;
            for (int t = 1; t <= j - 1; ++t) sum = sum + A(j, t) * A(i, t);
            A(i, j) = (A(i, j) - sum) / A(j, j);
        }
    }
    return {};
}

// Quicksort with the last element of the range as pivot; i scans up to an element not
// below the pivot, j down to one not above it (or to lo), and out-of-place pairs swap.
void QuickSortRange(int lo, int hi, double* a) {
    if (hi <= lo) return;
    const double pivot = a[hi];
    int i = lo - 1;
    int j = hi;
    while (j > i) {
        do ++i; while (a[i] < pivot);
        do --j; while (j > lo && a[j] > pivot);
        if (j > i) std::swap(a[i], a[j]);
    }
    std::swap(a[i], a[hi]);
    QuickSortRange(lo, i - 1, a);
    QuickSortRange(i + 1, hi, a);
}

std::string FormatDataRow(const RawDataTable& T, int row, int cols, char decimalSeparator) {
    std::string text = FormatText("[%4d", {row}) + "]:  ";
    for (int j = 1; j <= cols; ++j) text += FormatText("%12.5f   ", {T(row, j)}, decimalSeparator);
    return "   " + text;
}

}  // namespace

// ---- Basic operations ----

void MatZero(tMatrix& M) { M = tMatrix{}; }

void VecFill(int count, tVector& v, long double x) {
    for (int i = 1; i <= count; ++i) v(i) = x;
}

void MatCopyBlock(const tMatrix& A, int n, tMatrix& out) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) out(i, j) = A(i, j);
}

void MatColumn(const tMatrix& A, int index, tVector& out) {
    for (int i = 1; i <= kMaxVars; ++i) out(i) = A(i, index);
}

void MatAdd(tMatrix A, tMatrix B, int n, tMatrix& out) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) out(i, j) = A(i, j) + B(i, j);
}

void MatSub(tMatrix A, tMatrix B, int n, tMatrix& out) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) out(i, j) = A(i, j) - B(i, j);
}

void MatMul(tMatrix A, tMatrix B, int rows, int inner, int cols, tMatrix& out) {
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) {
            long double sum = 0;
            for (int t = 1; t <= inner; ++t) sum = sum + A(i, t) * B(t, j);
            out(i, j) = sum;
        }
}

void MatDivScalar(int n, tMatrix A, tMatrix& out, double x) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) out(i, j) = A(i, j) / static_cast<long double>(x);
}

void MatScale(int n, tMatrix& A, long double x) {
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) A(i, j) = x * A(i, j);
}

void MatTranspose(tMatrix A, int rows, int cols, tMatrix& out) {
    MatZero(out);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) out(j, i) = A(i, j);
}

void MatVecMul(const tMatrix& A, int n, tVector v, tVector& out) { MatVecMulRect(A, n, n, v, out); }

void MatVecMulRect(const tMatrix& A, int rows, int cols, tVector v, tVector& out) {
    for (int i = 1; i <= rows; ++i) out(i) = 0;
    for (int i = 1; i <= rows; ++i) {
        long double sum = 0;
        for (int j = 1; j <= cols; ++j) sum = sum + A(i, j) * v(j);
        out(i) = sum;
    }
}

long double VecDot(int count, const tVector& a, const tVector& b) {
    long double sum = 0;
    for (int i = 1; i <= count; ++i) sum = sum + a(i) * b(i);
    return sum;
}

void VecAdd(int count, tVector a, tVector b, tVector& out) {
    for (int i = 1; i <= count; ++i) out(i) = a(i) + b(i);
}

void VecScale(int count, tVector v, tVector& out, long double x) {
    for (int i = 1; i <= count; ++i) out(i) = x * v(i);
}

// ---- Statistics conversions ----

void CorrToCov(tMatrix R, int p, const tVector& sd, tMatrix& out) {
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) out(i, j) = R(i, j) * sd(i) * sd(j);
}

void CorrToSSCP(tMatrix R, int p, int n, const tVector& sd, tMatrix& out) {
    CorrToCov(R, p, sd, out);
    const long double degrees = n - 1;
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) out(i, j) = out(i, j) * degrees;
}

void MatSelect(tMatrix A, int p, const tSelector& sel, tMatrix& out) {
    MatZero(out);
    int row = 0;
    for (int i = 1; i <= p; ++i) {
        if (!sel(i)) continue;
        ++row;
        int col = 0;
        for (int j = 1; j <= p; ++j)
            if (sel(j)) out(row, ++col) = A(i, j);
    }
}

void MatPartition(tMatrix A, int p, int m, tMatrix& outYY, tMatrix& outYX, tMatrix& outXY,
                  tMatrix& outXX) {
    const int k = p - m;
    MatZero(outYY);
    MatZero(outYX);
    MatZero(outXY);
    MatZero(outXX);
    for (int r = 1; r <= m; ++r)
        for (int c = 1; c <= m; ++c) outYY(r, c) = A(r, c);
    for (int r = 1; r <= k; ++r)
        for (int c = 1; c <= k; ++c) outXX(r, c) = A(m + r, m + c);
    for (int r = 1; r <= m; ++r)
        for (int c = 1; c <= k; ++c) {
            outYX(r, c) = A(r, m + c);
            outXY(c, r) = A(r, m + c);
        }
}

// Conditional moments of the task block given the covariates, from the partitioned
// covariance: condCov = ((S^-1)_yy)^-1, condMean = mean_y + S_yx S_xx^-1 (x* - mean_x).
// Without covariates condCov is S_yy itself, taken as it is: inverting it twice would
// only add rounding. The empty covariate blocks then leave condMean = mean_y exactly.
bool ConditionalMoments(int p, int k, const tMatrix& R, const tVector& sd, const tVector& means,
                        const tVector& caseScores, tMatrix& condCov, tVector& condMean) {
    const int m = p - k;
    tMatrix S;
    CorrToCov(R, p, sd, S);
    bool ok = true;
    if (k == 0) {
        MatZero(condCov);
        MatCopyBlock(S, m, condCov);
    } else {
        tMatrix Q;
        ok = MatInverse(S, p, Q);
        ok = MatInverse(Q, m, condCov) && ok;
    }

    tVector dev;
    for (int c = 1; c <= k; ++c) dev(c) = caseScores(m + c) - means(m + c);

    tSelector covariates;
    for (int i = m + 1; i <= p; ++i) covariates(i) = true;
    tMatrix Sxx, SxxInverse;
    MatSelect(S, p, covariates, Sxx);
    ok = MatInverse(Sxx, k, SxxInverse) && ok;

    tMatrix Syy, Syx, Sxy, SxxBlock;
    MatPartition(S, p, m, Syy, Syx, Sxy, SxxBlock);
    tMatrix B;
    MatMul(Syx, SxxInverse, m, k, k, B);
    tVector w;
    MatVecMulRect(B, m, k, dev, w);
    VecAdd(m, means, w, condMean);
    return ok;
}

// ---- Inverse, factorisation, sort, print ----

// Gauss-Jordan elimination taking, in each column, the first pivot of magnitude at
// least 1e-10 (not the largest).
bool MatInverse(tMatrix A, int n, tMatrix& out) {
    tMatrix& W = A;
    MatZero(out);
    for (int i = 1; i <= n; ++i) out(i, i) = 1;
    for (int c = 1; c <= n; ++c) {
        int r = c;
        while (r <= n && std::fabs(W(r, c)) < kInversePivotTolerance) ++r;
        if (r > n) return false;
        if (r != c) {
            std::swap(W.cell[r - 1], W.cell[c - 1]);
            std::swap(out.cell[r - 1], out.cell[c - 1]);
        }
        const long double f = 1 / W(c, c);
        for (int col = 1; col <= n; ++col) {
            W(c, col) = W(c, col) * f;
            out(c, col) = out(c, col) * f;
        }
        for (int j = 1; j <= n; ++j) {
            if (j == c) continue;
            const long double g = -W(j, c);
            for (int col = 1; col <= n; ++col) {
                W(j, col) = W(j, col) + g * W(c, col);
                out(j, col) = out(j, col) + g * out(c, col);
            }
        }
    }
    return true;
}

CholeskyOutcome CholeskyFactor(int n, tMatrix& A) {
    CholeskyOutcome outcome = FactoriseLowerTriangle(n, A);
    if (!outcome.ok) return outcome;
    for (int i = 1; i <= n; ++i)
        for (int j = i + 1; j <= n; ++j) A(i, j) = 0;
    return outcome;
}

bool IsPositiveDefinite(int n, tMatrix A) { return FactoriseLowerTriangle(n, A).ok; }

void QuickSortDraws(int lo, int hi, tDrawArray& a) {
    // Index 1 of the store is data()[0]: shift so the routine works on 1-based indices.
    QuickSortRange(lo, hi, a.data() - 1);
}

void PrintMatrix(const tMatrix& A, int n, std::string_view title, std::vector<std::string>& lines,
                 char decimalSeparator) {
    lines.emplace_back(title);
    for (int i = 1; i <= n; ++i) {
        std::string text;
        for (int j = 1; j <= n; ++j) text += FormatText("%5.5f   ", {A(i, j)}, decimalSeparator);
        lines.push_back("   " + text);
    }
    lines.emplace_back();
}

// ---- Sample statistics ----

void FillRawDataTable(RawDataTable& T) {
    for (int i = 1; i <= kMaxRows; ++i)
        for (int j = 1; j <= kMaxVars; ++j) T(i, j) = kMissingValue;
}

void DataRow(const RawDataTable& T, int row, int cols, tVector& out) {
    for (int j = 1; j <= cols; ++j) out(j) = T(row, j);
}

void ColumnMeans(const RawDataTable& T, int rows, int cols, tVector& out) {
    for (int j = 1; j <= cols; ++j) {
        long double sum = 0;
        for (int i = 1; i <= rows; ++i) sum = sum + T(i, j);
        out(j) = sum / rows;
    }
}

void CenterColumns(RawDataTable T, int rows, int cols, RawDataTable& out) {
    tVector means;
    ColumnMeans(T, rows, cols, means);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) out(i, j) = T(i, j) - means(j);
}

void DataTranspose(const RawDataTable& T, int rows, int cols, TransposedTable& out) {
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) out(j, i) = T(i, j);
}

void DataCrossProduct(const TransposedTable& Tt, const RawDataTable& C, int p, int n, tMatrix& out) {
    for (int r = 1; r <= p; ++r)
        for (int c = 1; c <= p; ++c) {
            long double sum = 0;
            for (int t = 1; t <= n; ++t) sum = sum + Tt(r, t) * C(t, c);
            out(r, c) = sum;
        }
}

void DataSSCP(const RawDataTable& T, int n, int p, tMatrix& out) {
    RawDataTable centred;
    CenterColumns(T, n, p, centred);
    TransposedTable transposed;
    DataTranspose(centred, n, p, transposed);
    DataCrossProduct(transposed, centred, p, n, out);
}

void SSCPToCov(tMatrix W, int p, int n, tMatrix& out) {
    const long double degrees = n - 1;
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) out(i, j) = W(i, j) / degrees;
}

void CovToCorr(tMatrix V, int p, tMatrix& outCorr, tVector& outSD) {
    outSD = tVector{};
    for (int i = 1; i <= p; ++i) {
        for (int j = 1; j <= p; ++j) outCorr(i, j) = V(i, j) / (std::sqrt(V(j, j)) * std::sqrt(V(i, i)));
        outSD(i) = std::sqrt(V(i, i));
    }
}

void SampleStatistics(const RawDataTable& T, int n, int p, tMatrix& outCorr, tVector& outMeans,
                      tVector& outSD) {
    tMatrix W, V;
    DataSSCP(T, n, p, W);
    SSCPToCov(W, p, n, V);
    CovToCorr(V, p, outCorr, outSD);
    ColumnMeans(T, n, p, outMeans);
    RaiseFloatingPointFaults();
}

// Range against magnitude, which no choice of units changes: max - min within
// kConstantTolerance of the largest |score| (and 0 when all are 0).
int FirstConstantVariable(const RawDataTable& T, int n, int p) {
    for (int j = 1; j <= p; ++j) {
        long double lowest = T(1, j);
        long double highest = T(1, j);
        for (int i = 2; i <= n; ++i) {
            lowest = std::min(lowest, T(i, j));
            highest = std::max(highest, T(i, j));
        }
        const long double magnitude = std::max(std::fabs(lowest), std::fabs(highest));
        if (highest - lowest <= kConstantTolerance * magnitude) return j;
    }
    return 0;
}

void PrintDataRows(const RawDataTable& T, int rows, int cols, std::string_view title,
                   std::vector<std::string>& lines, char decimalSeparator) {
    lines.emplace_back(title);
    for (int i = 1; i <= rows; ++i) lines.push_back(FormatDataRow(T, i, cols, decimalSeparator));
    lines.emplace_back();
}

}  // namespace quorvane
