#include "engine/bayes_engines.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "numerics/distrib.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

// Everything the draws need, fixed before the first one.
struct Posterior {
    int p = 0;
    tVector bHat;              // least-squares coefficients, intercept first
    long double s2 = 0;        // residual variance
    tMatrix L;                 // lower Cholesky factor of (X'X)^-1
    tVector d;                 // the case's design vector (1, covariate scores)
    long double yStar = 0;     // the case's task score
    long double condMean = 0;
    long double condSD = 0;
};

struct FitFailure {
    std::string message;
};

// The regression and its factorisation, in the units of the inputs. Fails rather than
// go on when an inverse stops or the factorisation meets a small pivot.
std::optional<Posterior> FitPosterior(int k, int n, const tVector& sds, const tVector& means,
                                      const tVector& caseScores, const tMatrix& corr,
                                      FitFailure& failure) {
    Posterior post;
    post.p = k + 1;
    tMatrix coef, resid, inv;
    if (!RegressionFromSummary(corr, sds, means, 1, k, n, coef, resid, inv)) {
        failure.message =
            "Analysis cannot proceed as the cross-product matrix of the covariates is singular: "
            "check whether one covariate is linearly dependent on the others.";
        return std::nullopt;
    }
    post.s2 = resid(1, 1);
    MatColumn(coef, 1, post.bHat);

    post.d = caseScores;
    post.yStar = post.d(1);
    post.d(1) = 1;

    tMatrix condCov;
    tVector condMean;
    if (!ConditionalMoments(post.p, k, corr, sds, means, post.d, condCov, condMean)) {
        failure.message =
            "Analysis cannot proceed as the covariance matrix of the task and covariates is singular.";
        return std::nullopt;
    }
    post.condMean = condMean(1);
    post.condSD = std::sqrt(condCov(1, 1));

    MatZero(post.L);
    MatCopyBlock(inv, post.p, post.L);
    const CholeskyOutcome factor = CholeskyFactor(post.p, post.L);
    if (!factor.ok) {
        failure.message =
            "Analysis cannot proceed as the inverse of the cross-product matrix of the covariates is "
            "not positive definite.\n" + factor.message;
        return std::nullopt;
    }
    RaiseFloatingPointFaults();
    return post;
}

// The same regression with every variable brought near unit scale by a power of two.
// Multiplying by a power of two is exact, so every intermediate is the exact scaled
// image of the unscaled one; only the absolute pivot thresholds see a difference.
std::optional<Posterior> FitPosteriorAtUnitScale(int k, int n, tVector sds, tVector means,
                                                 tVector caseScores, const tMatrix& corr,
                                                 FitFailure& failure) {
    std::array<int, kMaxVars> exponent{};
    for (int i = 1; i <= k + 1; ++i) {
        if (!std::isfinite(sds(i)) || sds(i) <= 0) continue;
        exponent[i - 1] = -std::ilogb(sds(i));
        sds(i) = std::ldexp(sds(i), exponent[i - 1]);
        means(i) = std::ldexp(means(i), exponent[i - 1]);
        caseScores(i) = std::ldexp(caseScores(i), exponent[i - 1]);
    }
    std::optional<Posterior> post = FitPosterior(k, n, sds, means, caseScores, corr, failure);
    if (post) {
        // The draws are scale-free; only the conditional moments return to task units.
        post->condMean = std::ldexp(post->condMean, -exponent[0]);
        post->condSD = std::ldexp(post->condSD, -exponent[0]);
    }
    return post;
}

Posterior FitPosteriorOrThrow(int k, int n, const tVector& sds, const tVector& means,
                              const tVector& caseScores, const tMatrix& corr) {
    FitFailure failure, scaledFailure;
    if (auto post = FitPosterior(k, n, sds, means, caseScores, corr, failure)) return *post;
    if (auto post = FitPosteriorAtUnitScale(k, n, sds, means, caseScores, corr, scaledFailure))
        return *post;
    throw EMatrixError(failure.message);
}

// One draw from the posterior: sigma from the scaled inverse chi-square, beta from
// N(bHat, sigma^2 (X'X)^-1), and the case's standardised distance from beta . d.
// L is lower triangular, so its exact zeros are skipped (adding them changes nothing).
class CaseScoreSampler {
public:
    CaseScoreSampler(const Posterior& post, int k, int n)
        : post_(post), chiSquare_(static_cast<long double>(n - k - 1)) {
        const long double nu = n - k - 1;
        sqrtNuS2_ = std::sqrt(nu) * std::sqrt(post.s2);
    }

    long double Draw() {
        const int p = post_.p;
        const long double c = chiSquare_.Draw();
        const long double sigma = sqrtNuS2_ / std::sqrt(c);
        long double z[kMaxVars];
        for (int i = 0; i < p; ++i) z[i] = normal_.Draw();
        long double mu = 0;
        for (int i = 1; i <= p; ++i) {
            long double lz = 0;
            for (int j = 1; j <= i; ++j) lz = lz + post_.L(i, j) * z[j - 1];
            const long double beta = post_.bHat(i) + sigma * lz;
            mu = mu + beta * post_.d(i);
        }
        return (post_.yStar - mu) / sigma;
    }

private:
    const Posterior& post_;
    tChi_square_distribution chiSquare_;  // keeps no state between draws: one per call
    tNormal_distribution normal_{0, 1};
    long double sqrtNuS2_ = 0;
};

// Sums Phi(Z_t) in draw order on a second thread while the first thread draws: the
// uniform stream stays one chain, and the sum is the same number as a serial loop's.
// The unrounded Z_t pass through a ring of slots, handed over a block at a time.
class ProbabilitySum {
public:
    explicit ProbabilitySum(int draws) : draws_(draws), slots_(std::make_unique<long double[]>(kSlots)) {
        worker_ = std::thread([this] { Run(); });
    }
    ProbabilitySum(const ProbabilitySum&) = delete;
    ProbabilitySum& operator=(const ProbabilitySum&) = delete;
    ~ProbabilitySum() {
        if (worker_.joinable()) Abandon();
    }

    // Hands Z_t (t from 1) to the summing thread. False when that thread has failed:
    // the drawing should stop.
    bool Add(int t, long double zt) {
        if (t - consumedFloor_ > kSlots) {
            WaitUntilConsumed(t - kSlots);
            if (failed_.load(std::memory_order_acquire)) return false;
        }
        slots_[(t - 1) % kSlots] = zt;
        if (t % kBlock == 0 || t == draws_) Publish(t);
        return true;
    }

    // Waits for the summing thread; rethrows what it raised.
    long double Finish() {
        worker_.join();
        if (error_) std::rethrow_exception(error_);
        return sum_;
    }

    // Stops the summing thread after a fault of the drawing thread, whose error wins.
    void Abandon() {
        Publish(kAbandoned);
        worker_.join();
    }

private:
    static constexpr int kSlots = 1 << 16;
    static constexpr int kBlock = 4096;
    static constexpr int kAbandoned = -1;

    void Publish(int count) {
        published_.store(count, std::memory_order_release);
        published_.notify_one();
    }

    void WaitUntilConsumed(int count) {
        int seen = consumed_.load(std::memory_order_acquire);
        while (seen < count && !failed_.load(std::memory_order_acquire)) {
            consumed_.wait(seen, std::memory_order_acquire);
            seen = consumed_.load(std::memory_order_acquire);
        }
        consumedFloor_ = seen;
    }

    void Run() {
        try {
            const tNormal_distribution standardNormal(0, 1);
            int t = 0;
            while (t < draws_) {
                int ready = published_.load(std::memory_order_acquire);
                while (ready == t) {
                    published_.wait(ready, std::memory_order_acquire);
                    ready = published_.load(std::memory_order_acquire);
                }
                if (ready == kAbandoned) return;
                for (; t < ready; ++t) sum_ = sum_ + standardNormal.Cdf(slots_[t % kSlots]);
                consumed_.store(t, std::memory_order_release);
                consumed_.notify_one();
            }
            RaiseFloatingPointFaults();
        } catch (...) {
            error_ = std::current_exception();
            failed_.store(true, std::memory_order_release);
            consumed_.notify_one();
        }
    }

    const int draws_;
    std::unique_ptr<long double[]> slots_;
    int consumedFloor_ = 0;  // drawing thread's last sight of consumed_
    std::atomic<int> published_{0};
    std::atomic<int> consumed_{0};
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;
    long double sum_ = 0;
    std::thread worker_;
};

// Draws Z_1 .. Z_draws into the store and hands each to the summing thread; stops early
// when that thread has failed.
void DrawAll(CaseScoreSampler& sampler, int draws, tDrawArray& store, ProbabilitySum& sum) {
    for (int t = 1; t <= draws; ++t) {
        const long double zt = sampler.Draw();
        store(t) = static_cast<double>(zt);
        if (!sum.Add(t, zt)) break;
    }
    RaiseFloatingPointFaults();
}

// Nearest integer, ties to even.
int RoundToEven(long double x) { return static_cast<int>(std::nearbyint(x)); }

}  // namespace

LimitIndices CredibleLimitIndices(int draws, int percent, bool twoSided) {
    const long double c = percent;
    if (twoSided)
        return {RoundToEven((100 - c) / 2 / 100 * draws), RoundToEven((c + (100 - c) / 2) / 100 * draws) + 1};
    return {RoundToEven((100 - c) / 100 * draws), RoundToEven(c / 100 * draws) + 1};
}

bool RegressionFromSummary(const tMatrix& corr, const tVector& sds, const tVector& means, int m,
                           int k, int n, tMatrix& coef, tMatrix& resid, tMatrix& inv) {
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
        for (int i = 1; i <= k; ++i)
            XtY(i + 1, c) = (nn - 1) * xSD(i) * Rxy(i, c) * ySD(c) + nn * xMean(i) * yMean(c);
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

void CovariateMonteCarloTest(int k, int n, int draws, bool fixedSeed, bool twoSided, int percent,
                             const tVector& sds, const tVector& means, const tVector& caseScores,
                             const tMatrix& corr, long double& condMean, long double& condSD,
                             tCovariateResults& results) {
    const Posterior post = FitPosteriorOrThrow(k, n, sds, means, caseScores, corr);
    results = tCovariateResults{};
    condMean = post.condMean;
    condSD = post.condSD;
    results(ZCCC) = (caseScores(1) - condMean) / condSD;

    if (fixedSeed) {
        Seed1 = kInitialSeed1;
        Seed2 = kInitialSeed2;
    }

    CaseScoreSampler sampler(post, k, n);
    tDrawArray store;
    ProbabilitySum probabilities(draws);
    try {
        DrawAll(sampler, draws, store, probabilities);
    } catch (...) {
        probabilities.Abandon();
        throw;
    }
    const long double sum = probabilities.Finish();

    long double meanPercent = sum / draws * 100;
    results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    results(OneTailedP) = meanPercent / 100;
    results(TwoTailedP) = meanPercent / 50;

    const auto [lo, hi] = CredibleLimitIndices(draws, percent, twoSided);

    // The two order statistics a full sort would put at lo and hi.
    double* first = store.data();
    std::nth_element(first, first + hi - 1, first + draws);
    std::nth_element(first, first + lo - 1, first + hi - 1);
    results(ZCCCLower) = store(lo);
    results(ZCCCUpper) = store(hi);

    const tNormal_distribution standardNormal(0, 1);
    results(PercentBelowLower) = standardNormal.Cdf(results(ZCCCLower)) * 100;
    results(PercentBelowUpper) = standardNormal.Cdf(results(ZCCCUpper)) * 100;
    RaiseFloatingPointFaults();
}

}  // namespace quorvane
