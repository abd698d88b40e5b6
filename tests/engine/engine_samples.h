#pragma once
// Samples, independent fits and references shared by the engine's tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/bayes_engines.h"
#include "numerics/distrib.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// Raw scores: the controls' rows, then the case's.
struct Rows {
    std::vector<std::vector<long double>> controls;
    std::vector<long double> caseRow;
};

// A run of a test on raw rows, one parameter of the tests of the draws.
struct DrawCase {
    const char* name;
    Rows (*rows)();
    bool twoSided;
    int draws;
    bool unitScale = false;  // the regression fits only at unit scale
};

// Summary statistics computed directly from raw rows (the tasks first, then the
// covariates), with the case apart.
inline tCaseStatistics FromRaw(const std::vector<std::vector<long double>>& controls,
                               const std::vector<long double>& caseRow, int tasks = 1) {
    tCaseStatistics s;
    s.n = static_cast<int>(controls.size());
    const int p = static_cast<int>(caseRow.size());
    s.k = p - tasks;
    for (int j = 1; j <= p; ++j) {
        long double sum = 0;
        for (const auto& row : controls) sum += row[j - 1];
        s.means(j) = sum / s.n;
        s.caseScores(j) = caseRow[j - 1];
    }
    tMatrix cov;
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) {
            long double sum = 0;
            for (const auto& row : controls) sum += (row[i - 1] - s.means(i)) * (row[j - 1] - s.means(j));
            cov(i, j) = sum / (s.n - 1);
        }
    for (int i = 1; i <= p; ++i) s.sds(i) = std::sqrt(cov(i, i));
    for (int i = 1; i <= p; ++i)
        for (int j = 1; j <= p; ++j) s.corr(i, j) = cov(i, j) / (s.sds(i) * s.sds(j));
    return s;
}

inline tCaseStatistics FromRaw(const Rows& rows, int tasks = 1) { return FromRaw(rows.controls, rows.caseRow, tasks); }

// Controls (10, 40), (12, 38), (11, 45), the case (6, 50): means 11 and 41, SDs 1 and
// sqrt(13), correlation -1/sqrt(13), as worked out by hand.
inline Rows WorkedExample() { return {{{10, 40}, {12, 38}, {11, 45}}, {6, 50}}; }
inline tCaseStatistics ThreeControls() { return FromRaw(WorkedExample()); }

// The case's design vector (1, covariate scores) from a row with m tasks first.
inline std::vector<long double> DesignRow(const std::vector<long double>& row, int m) {
    std::vector<long double> d{1};
    d.insert(d.end(), row.begin() + m, row.end());
    return d;
}

// Ordinary least squares of the first m columns of the rows on the others, with an
// intercept: Gauss-Jordan elimination with partial pivoting on [X'X | X'Y | I] gives the
// coefficients and (X'X)^-1.
struct LeastSquaresFit {
    std::vector<std::vector<long double>> b;           // (k + 1) x m, intercept first
    std::vector<std::vector<long double>> xtxInverse;  // (k + 1) x (k + 1)
    std::vector<std::vector<long double>> rss;         // m x m residual cross-products
};

inline LeastSquaresFit LeastSquares(const std::vector<std::vector<long double>>& controls, int m) {
    const int p = static_cast<int>(controls[0].size()) - m + 1;
    const int width = 2 * p + m;
    std::vector<std::vector<long double>> a(p, std::vector<long double>(width, 0));
    for (const auto& row : controls) {
        const std::vector<long double> x = DesignRow(row, m);
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) a[i][j] += x[i] * x[j];
            for (int c = 0; c < m; ++c) a[i][p + c] += x[i] * row[c];
        }
    }
    for (int i = 0; i < p; ++i) a[i][p + m + i] = 1;
    for (int col = 0; col < p; ++col) {
        int best = col;
        for (int r = col + 1; r < p; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[best][col])) best = r;
        std::swap(a[col], a[best]);
        for (int r = 0; r < p; ++r) {
            if (r == col) continue;
            const long double f = a[r][col] / a[col][col];
            for (int j = 0; j < width; ++j) a[r][j] -= f * a[col][j];
        }
    }
    LeastSquaresFit fit;
    fit.b.assign(p, std::vector<long double>(m));
    fit.xtxInverse.assign(p, std::vector<long double>(p));
    for (int i = 0; i < p; ++i) {
        for (int c = 0; c < m; ++c) fit.b[i][c] = a[i][p + c] / a[i][i];
        for (int j = 0; j < p; ++j) fit.xtxInverse[i][j] = a[i][p + m + j] / a[i][i];
    }
    fit.rss.assign(m, std::vector<long double>(m, 0));
    for (const auto& row : controls) {
        const std::vector<long double> x = DesignRow(row, m);
        std::vector<long double> e(m);
        for (int c = 0; c < m; ++c) {
            e[c] = row[c];
            for (int i = 0; i < p; ++i) e[c] -= fit.b[i][c] * x[i];
        }
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < m; ++c) fit.rss[r][c] += e[r] * e[c];
    }
    return fit;
}

struct Outcome : tDeficitOutcome {
    std::vector<double> sortedDraws;  // the single-thread reference keeps its draws
};

inline Outcome RunTest(const tCaseStatistics& s, bool twoSided = true, int draws = kDraws) {
    Outcome out;
    CovariateMonteCarloTest(s.k, s.n, draws, true, twoSided, kCrediblePercent, s.sds, s.means, s.caseScores, s.corr,
                            out.condMean, out.condSD, out.results, out.zHistogram);
    return out;
}

// Summary statistics as a paper gives them: means, SDs, the case's scores and the lower
// triangle of the correlations, row by row, for the tasks and then the covariates.
inline tCaseStatistics Summary(int n, int k, const std::vector<long double>& means, const std::vector<long double>& sds,
                               const std::vector<long double>& caseScores,
                               const std::vector<long double>& lowerTriangle) {
    tCaseStatistics s;
    s.n = n;
    s.k = k;
    auto r = lowerTriangle.begin();
    for (int i = 1; i <= k + 2; ++i) {
        s.means(i) = means[i - 1];
        s.sds(i) = sds[i - 1];
        s.caseScores(i) = caseScores[i - 1];
        s.corr(i, i) = 1;
        for (int j = 1; j < i; ++j) s.corr(i, j) = s.corr(j, i) = *r++;
    }
    return s;
}

// The point estimates of the deficit test, with the library's conditional moments.
inline void DeficitPointEstimates(const tCaseStatistics& s, Outcome& out) {
    tVector d = s.caseScores;
    d(1) = 1;
    tMatrix condCov;
    tVector condMean;
    ConditionalMoments(s.k + 1, s.k, s.corr, s.sds, s.means, d, condCov, condMean);
    out.condMean = condMean(1);
    out.condSD = std::sqrt(condCov(1, 1));
    out.results(ZCCC) = (s.caseScores(1) - out.condMean) / out.condSD;
}

// What a single thread makes of the draws and the sum of their Phi, with a full sort.
template <class Phi>
void SummariseReference(tDrawArray& store, int draws, long double sum, bool twoSided, Phi phi, Outcome& out) {
    long double meanPercent = sum / draws * 100;
    out.results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    out.results(OneTailedP) = meanPercent / 100;
    out.results(TwoTailedP) = meanPercent / 50;
    const LimitIndices limits = CredibleLimitIndices(draws, kCrediblePercent, twoSided);
    QuickSortDraws(1, draws, store);
    out.results(ZCCCLower) = store(limits.lo);
    out.results(ZCCCUpper) = store(limits.hi);
    out.results(PercentBelowLower) = phi(out.results(ZCCCLower)) * 100;
    out.results(PercentBelowUpper) = phi(out.results(ZCCCUpper)) * 100;
    out.sortedDraws.assign(store.data(), store.data() + draws);
}

// Every draw counted once, each bin holding exactly the reference's draws between its
// edges (counted by binary search in the sorted draws), and a range that takes in the
// point estimate and both limits.
inline void ExpectHistogramOfTheDraws(const tDrawHistogram& h, const Outcome& reference) {
    const auto& sorted = reference.sortedDraws;
    const int draws = static_cast<int>(sorted.size());
    EXPECT_EQ(h.Total(), draws);
    const auto countBelow = [&](double x) {
        return static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), x) - sorted.begin());
    };
    EXPECT_EQ(h.below, countBelow(h.lower));
    EXPECT_EQ(h.above, draws - countBelow(h.upper));
    for (int i = 0; i < kHistogramBins; ++i)
        ASSERT_EQ(h.counts[i], countBelow(h.Edge(i + 1)) - countBelow(h.Edge(i))) << "bin " << i;
    for (const int r : {ZCCC, ZCCCLower, ZCCCUpper}) {
        EXPECT_LT(h.lower, reference.results(r));
        EXPECT_GT(h.upper, reference.results(r));
    }
}

inline void ExpectSameResults(const tCovariateResults& engine, const tCovariateResults& reference) {
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(engine(i), reference(i)) << "result " << i;
}

}  // namespace quorvane
