#include "engine/regression_fit.h"

#include <cmath>

namespace quorvane {

bool FitRegression(const SummaryInputs& in, tMatrix& coef, tMatrix& resid, tMatrix& inv, FitFailure& failure) {
    if (RegressionFromSummary(in.corr, in.sds, in.means, in.m, in.k, in.n, coef, resid, inv)) return true;
    failure.message =
        "Analysis cannot proceed as the cross-product matrix of the covariates is singular: "
        "check whether one covariate is linearly dependent on the others.";
    return false;
}

bool FactorInverse(const tMatrix& inv, int p, tMatrix& L, FitFailure& failure) {
    MatZero(L);
    MatCopyBlock(inv, p, L);
    const CholeskyOutcome factor = CholeskyFactor(p, L);
    if (factor.ok) return true;
    failure.message =
        "Analysis cannot proceed as the inverse of the cross-product matrix of the covariates is "
        "not positive definite.\n" +
        factor.message;
    return false;
}

tVector DesignVector(const SummaryInputs& in) {
    tVector d;
    d(1) = 1;
    for (int i = 1; i <= in.k; ++i) d(i + 1) = in.caseScores(in.m + i);
    return d;
}

SummaryInputs AtUnitScale(SummaryInputs in, std::array<int, kMaxVars>& exponent) {
    for (int i = 1; i <= in.m + in.k; ++i) {
        if (!std::isfinite(in.sds(i)) || in.sds(i) <= 0) continue;
        exponent[i - 1] = -std::ilogb(in.sds(i));
        in.sds(i) = std::ldexp(in.sds(i), exponent[i - 1]);
        in.means(i) = std::ldexp(in.means(i), exponent[i - 1]);
        in.caseScores(i) = std::ldexp(in.caseScores(i), exponent[i - 1]);
    }
    return in;
}

bool RegressionFromSummary(const tMatrix& corr, const tVector& sds, const tVector& means, int m, int k, int n,
                           tMatrix& coef, tMatrix& resid, tMatrix& inv) {
    tVector yMean, ySD, xMean, xSD;
    for (int r = 1; r <= m; ++r) {
        yMean(r) = means(r);
        ySD(r) = sds(r);
    }
    for (int i = 1; i <= k; ++i) {
        xMean(i) = means(m + i);
        xSD(i) = sds(m + i);
    }
    tMatrix Ryy, Ryx, Rxy, Rxx;
    MatPartition(corr, m + k, m, Ryy, Ryx, Rxy, Rxx);

    tMatrix Wxx, Wyy;
    CorrToSSCP(Rxx, k, n, xSD, Wxx);
    CorrToSSCP(Ryy, m, n, ySD, Wyy);

    const long double nn = n;
    tMatrix XtX, YtY, XtY;
    XtX(1, 1) = nn;
    for (int j = 1; j <= k; ++j) {
        XtX(1, j + 1) = nn * xMean(j);
        XtX(j + 1, 1) = nn * xMean(j);
    }
    for (int i = 1; i <= k; ++i)
        for (int j = 1; j <= k; ++j) XtX(i + 1, j + 1) = nn * xMean(i) * xMean(j) + Wxx(i, j);
    for (int r = 1; r <= m; ++r)
        for (int c = 1; c <= m; ++c) YtY(r, c) = nn * yMean(r) * yMean(c) + Wyy(r, c);
    for (int c = 1; c <= m; ++c) {
        XtY(1, c) = nn * yMean(c);
        for (int i = 1; i <= k; ++i) XtY(i + 1, c) = (nn - 1) * xSD(i) * Rxy(i, c) * ySD(c) + nn * xMean(i) * yMean(c);
    }

    MatZero(coef);
    MatZero(resid);
    const bool inverted = MatInverse(XtX, k + 1, inv);
    MatMul(inv, XtY, k + 1, k + 1, m, coef);

    // E = Y'Y - 2 coef' X'Y + coef' X'X coef
    tMatrix coefT, T1, D, T2, T3, E;
    MatTranspose(coef, k + 1, m, coefT);
    MatMul(coefT, XtY, m, k + 1, m, T1);
    MatScale(m, T1, 2);
    MatSub(YtY, T1, m, D);
    MatMul(coefT, XtX, m, k + 1, k + 1, T2);
    MatMul(T2, coef, m, k + 1, m, T3);
    MatAdd(D, T3, m, E);
    MatDivScalar(m, E, resid, static_cast<double>(n - k - 1));
    return inverted;
}

SummaryInputs TaskWithCovariates(const SummaryInputs& both, int task) {
    SummaryInputs one;
    one.m = 1;
    one.k = both.k;
    one.n = both.n;
    tSelector chosen;
    chosen(task) = true;
    for (int i = 3; i <= both.k + 2; ++i) chosen(i) = true;
    int to = 0;
    for (int from = 1; from <= both.k + 2; ++from) {
        if (!chosen(from)) continue;
        ++to;
        one.sds(to) = both.sds(from);
        one.means(to) = both.means(from);
        one.caseScores(to) = both.caseScores(from);
    }
    MatSelect(both.corr, both.k + 2, chosen, one.corr);
    return one;
}

}  // namespace quorvane
