#include "engine/bayes_engines.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "numerics/distrib.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

// Null except in the tests that slow the processing of blocks down.
std::atomic<void (*)(int block)> blockProcessingHook{nullptr};

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
    FitFailure failure;
    if (auto post = FitPosterior(k, n, sds, means, caseScores, corr, failure)) return *post;
    ClearFloatingPointFaults();  // whatever the failed attempt raised is discarded with it
    if (auto post = FitPosteriorAtUnitScale(k, n, sds, means, caseScores, corr, failure)) return *post;
    ClearFloatingPointFaults();
    throw EMatrixError(failure.message);
}

// The random variates of one draw, in the order they are taken from the uniform
// stream: the chi-square variate, then p standard normal variates.
class VariateSource {
public:
    VariateSource(int p, int k, int n, tNormal_distribution& normal)
        : p_(p), chiSquare_(static_cast<long double>(n - k - 1)), normal_(normal) {}

    void Draw(long double* out) {
        out[0] = chiSquare_.Draw();
        for (int i = 1; i <= p_; ++i) out[i] = normal_.Draw();
    }

private:
    const int p_;
    tChi_square_distribution chiSquare_;  // keeps no state between draws: one per call
    tNormal_distribution& normal_;
};

// Z_t from one draw's variates: sigma from the scaled inverse chi-square, beta from
// N(bHat, sigma^2 (X'X)^-1), and the case's standardised distance from beta . d.
// L is lower triangular, so its exact zeros are skipped (adding them changes nothing).
class CaseScore {
public:
    CaseScore(const Posterior& post, int k, int n) : post_(post) {
        const long double nu = n - k - 1;
        sqrtNuS2_ = std::sqrt(nu) * std::sqrt(post.s2);
    }

    long double operator()(const long double* variates) const {
        const long double sigma = sqrtNuS2_ / std::sqrt(variates[0]);
        const long double* z = variates + 1;
        long double mu = 0;
        for (int i = 1; i <= post_.p; ++i) {
            long double lz = 0;
            for (int j = 1; j <= i; ++j) lz = lz + post_.L(i, j) * z[j - 1];
            const long double beta = post_.bHat(i) + sigma * lz;
            mu = mu + beta * post_.d(i);
        }
        return (post_.yStar - mu) / sigma;
    }

private:
    const Posterior& post_;
    long double sqrtNuS2_ = 0;
};

// The million draws on two threads. The uniform stream is one chain, so one thread
// draws every variate, in order, into a ring of blocks. Turning a block's variates into
// Z_t and Phi(Z_t) needs no shared state, so whichever thread is free claims the next
// drawn block: the second thread all the time, the drawing thread whenever the ring is
// full and once it has drawn everything. The Phi(Z_t) are summed in draw order at the
// end, so every number is the one a single thread would compute. Blocks are claimed in
// order, so when one fails every earlier block is finished and the error reported is
// the earliest, to the block.
class DrawPipeline {
public:
    // The one standard normal of the run: drawn from on the drawing thread, its Cdf
    // evaluated on both; neither changes the object.
    DrawPipeline(const Posterior& post, int k, int n, int draws, tNormal_distribution& standardNormal,
                 tDrawArray& store)
        : draws_(draws),
          stride_(post.p + 1),
          blockCount_((draws + kBlock - 1) / kBlock),
          source_(post.p, k, n, standardNormal),
          standardNormal_(standardNormal),
          caseScore_(post, k, n),
          store_(store),
          ring_(std::make_unique_for_overwrite<long double[]>(kRingBlocks * kBlock * stride_)),
          probabilities_(std::make_unique_for_overwrite<long double[]>(draws)),
          done_(blockCount_, false),
          limit_(blockCount_) {}

    // Runs the draws; rethrows the error of the earliest failing block.
    long double ProbabilitySum() {
        std::thread helper([this] { Help(); });
        try {
            DrawAllBlocks();
            Help();
        } catch (...) {
            Fail(kLastOrder, std::current_exception());  // never leave the helper waiting
        }
        helper.join();
        if (error_) std::rethrow_exception(error_);
        long double sum = 0;
        for (int t = 0; t < draws_; ++t) sum = sum + probabilities_[t];
        return sum;
    }

private:
    static constexpr int kBlock = 2048;
    static constexpr int kRingBlocks = 16;
    static constexpr int kLastOrder = std::numeric_limits<int>::max();

    long double* Slot(int t) { return ring_.get() + static_cast<std::size_t>(t % (kRingBlocks * kBlock)) * stride_; }
    int BlockEnd(int b) const { return std::min(draws_, (b + 1) * kBlock); }

    void DrawAllBlocks() {
        for (int b = 0; b < blockCount_; ++b) {
            if (!WaitForRingRoom(b)) return;
            try {
                for (int t = b * kBlock; t < BlockEnd(b); ++t) source_.Draw(Slot(t));
                RaiseFloatingPointFaults();
            } catch (...) {
                Fail(2 * b, std::current_exception(), b);
                return;
            }
            const std::lock_guard lock(mutex_);
            drawn_ = b + 1;
            changed_.notify_all();
        }
    }

    // Block b overwrites the ring's block b - kRingBlocks, which must be finished; the
    // drawing thread works on drawn blocks rather than wait idle. False when stopped.
    bool WaitForRingRoom(int b) {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopped_) return false;
            if (b < kRingBlocks || done_[b - kRingBlocks]) return true;
            if (next_ < drawn_) {
                ClaimAndProcess(lock);
            } else {
                changed_.wait(lock);
            }
        }
    }

    // Processes drawn blocks until none is left to claim.
    void Help() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopped_ || next_ >= limit_) return;
            if (next_ < drawn_) {
                ClaimAndProcess(lock);
            } else {
                changed_.wait(lock);
            }
        }
    }

    void ClaimAndProcess(std::unique_lock<std::mutex>& lock) {
        const int b = next_++;
        lock.unlock();
        ProcessBlock(b);
        lock.lock();
        done_[b] = true;
        changed_.notify_all();
    }

    void ProcessBlock(int b) {
        if (const auto hook = blockProcessingHook.load(std::memory_order_relaxed)) hook(b);
        try {
            for (int t = b * kBlock; t < BlockEnd(b); ++t) {
                const long double zt = caseScore_(Slot(t));
                store_(t + 1) = static_cast<double>(zt);
                probabilities_[t] = standardNormal_.Cdf(zt);
            }
            RaiseFloatingPointFaults();
        } catch (...) {
            Fail(2 * b + 1, std::current_exception());
        }
    }

    // Keeps the earliest error. A failed drawing of block b still lets the blocks before
    // it finish (their errors come first); any other failure stops all work.
    void Fail(int order, std::exception_ptr error, std::optional<int> drawingStoppedAt = std::nullopt) {
        const std::lock_guard lock(mutex_);
        if (!error_ || order < errorOrder_) {
            error_ = std::move(error);
            errorOrder_ = order;
        }
        if (drawingStoppedAt) {
            limit_ = *drawingStoppedAt;
        } else {
            stopped_ = true;
        }
        changed_.notify_all();
    }

    const int draws_;
    const int stride_;
    const int blockCount_;
    VariateSource source_;
    const tNormal_distribution& standardNormal_;
    const CaseScore caseScore_;
    tDrawArray& store_;
    std::unique_ptr<long double[]> ring_;
    std::unique_ptr<long double[]> probabilities_;

    // Guarded by mutex_: the blocks drawn, claimed and finished, and how the run ends.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> done_;
    int drawn_ = 0;
    int next_ = 0;
    int limit_;             // blocks that will be drawn
    bool stopped_ = false;  // no further block is to be drawn or processed
    std::exception_ptr error_;
    int errorOrder_ = 0;
};

// Nearest integer, ties to even.
int RoundToEven(long double x) { return static_cast<int>(std::nearbyint(x)); }

}  // namespace

int tDrawHistogram::Total() const {
    int total = below + above;
    for (const int count : counts) total += count;
    return total;
}

// One pass: the bin from the scaled distance to lower, then moved by at most one so that
// each draw lies between its bin's edges as Edge computes them.
tDrawHistogram BinDraws(const double* draws, int count, double lower, double upper) {
    tDrawHistogram histogram;
    histogram.lower = lower;
    histogram.upper = upper;
    std::array<double, kHistogramBins + 1> edges;
    for (int i = 0; i <= kHistogramBins; ++i) edges[i] = histogram.Edge(i);
    const double scale = kHistogramBins / (upper - lower);
    for (int t = 0; t < count; ++t) {
        const double z = draws[t];
        if (z < lower) {
            ++histogram.below;
        } else if (z >= upper) {
            ++histogram.above;
        } else {
            int bin = std::min(kHistogramBins - 1, static_cast<int>((z - lower) * scale));
            if (z < edges[bin]) --bin;
            else if (z >= edges[bin + 1]) ++bin;
            ++histogram.counts[bin];
        }
    }
    return histogram;
}

void SetBlockProcessingHook(void (*hook)(int block)) { blockProcessingHook.store(hook); }

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
                             tCovariateResults& results, tDrawHistogram& histogram) {
    const auto [lo, hi] = CredibleLimitIndices(draws, percent, twoSided);
    if (draws < 1 || draws > kMaxDraws || lo < 1 || hi > draws)
        throw std::invalid_argument("The number of draws must leave room for both credible limits");
    const Posterior post = FitPosteriorOrThrow(k, n, sds, means, caseScores, corr);
    results = tCovariateResults{};
    condMean = post.condMean;
    condSD = post.condSD;
    results(ZCCC) = (caseScores(1) - condMean) / condSD;

    if (fixedSeed) {
        Seed1 = kInitialSeed1;
        Seed2 = kInitialSeed2;
    }

    tDrawArray store;
    tNormal_distribution standardNormal(0, 1);
    const long double sum = DrawPipeline(post, k, n, draws, standardNormal, store).ProbabilitySum();

    long double meanPercent = sum / draws * 100;
    results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    results(OneTailedP) = meanPercent / 100;
    results(TwoTailedP) = meanPercent / 50;

    // The two order statistics a full sort would put at lo and hi.
    double* first = store.data();
    std::nth_element(first, first + hi - 1, first + draws);
    std::nth_element(first, first + lo - 1, first + hi - 1);
    results(ZCCCLower) = store(lo);
    results(ZCCCUpper) = store(hi);

    const double zccc = static_cast<double>(results(ZCCC));
    double spare = 0.75 * (store(hi) - store(lo));
    if (!(spare > 0)) spare = 1;  // every draw alike: a unit either side
    const double lower = std::min(store(lo), zccc) - spare, upper = std::max(store(hi), zccc) + spare;
    // The two halves of the draws on two threads: counts add up the same in any order.
    const int half = draws / 2;
    tDrawHistogram secondHalf;
    std::thread helper([&] { secondHalf = BinDraws(first + half, draws - half, lower, upper); });
    histogram = BinDraws(first, half, lower, upper);
    helper.join();
    for (int i = 0; i < kHistogramBins; ++i) histogram.counts[i] += secondHalf.counts[i];
    histogram.below += secondHalf.below;
    histogram.above += secondHalf.above;

    results(PercentBelowLower) = standardNormal.Cdf(results(ZCCCLower)) * 100;
    results(PercentBelowUpper) = standardNormal.Cdf(results(ZCCCUpper)) * 100;
    RaiseFloatingPointFaults();
}

}  // namespace quorvane
