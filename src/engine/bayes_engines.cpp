#include "engine/bayes_engines.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstddef>
#include <exception>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "numerics/distrib.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// Null except in the tests that slow the processing of blocks down.
std::atomic<void (*)(int block)> blockProcessingHook{nullptr};

// ---- The regression from summary statistics, shared by both tests ----

// The statistics an engine works on: m tasks, then k covariates.
struct SummaryInputs {
    int m = 1;
    int k = 0;
    int n = 0;
    tVector sds, means, caseScores;
    tMatrix corr;
};

struct FitFailure {
    std::string message;
};

bool FitRegression(const SummaryInputs& in, tMatrix& coef, tMatrix& resid, tMatrix& inv, FitFailure& failure) {
    if (RegressionFromSummary(in.corr, in.sds, in.means, in.m, in.k, in.n, coef, resid, inv)) return true;
    failure.message =
        "Analysis cannot proceed as the cross-product matrix of the covariates is singular: "
        "check whether one covariate is linearly dependent on the others.";
    return false;
}

// L with L L' = (X'X)^-1, by Cholesky's factorisation of its p x p block.
bool FactorInverse(const tMatrix& inv, int p, tMatrix& L, FitFailure& failure) {
    MatZero(L);
    MatCopyBlock(inv, p, L);
    const CholeskyOutcome factor = CholeskyFactor(p, L);
    if (factor.ok) return true;
    failure.message =
        "Analysis cannot proceed as the inverse of the cross-product matrix of the covariates is "
        "not positive definite.\n" + factor.message;
    return false;
}

// The case's design vector: 1, then its covariate scores.
tVector DesignVector(const SummaryInputs& in) {
    tVector d;
    d(1) = 1;
    for (int i = 1; i <= in.k; ++i) d(i + 1) = in.caseScores(in.m + i);
    return d;
}

// The same inputs with every variable brought near unit scale by a power of two, whose
// exponents are kept. Multiplying by a power of two is exact, so every intermediate of a
// fit is the exact scaled image of the unscaled one; only the absolute pivot thresholds
// see a difference.
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

// What `fit` makes of the inputs in their own units, or failing that at unit scale, where
// it returns what is not scale-free to the inputs' units. Fails rather than go on when an
// inverse stops or a factorisation meets a small pivot.
template <class Fit>
auto FitOrThrow(const SummaryInputs& in, Fit fit) {
    FitFailure failure;
    if (auto fitted = fit(in, failure)) return *fitted;
    ClearFloatingPointFaults();  // whatever the failed attempt raised is discarded with it
    std::array<int, kMaxVars> exponent{};
    if (auto fitted = fit(AtUnitScale(in, exponent), failure)) {
        fitted->ReturnToUnits(exponent);
        return *fitted;
    }
    ClearFloatingPointFaults();
    throw EMatrixError(failure.message);
}

// ---- The deficit test's posterior and draws ----

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

    // The draws are scale-free; only the conditional moments return to task units.
    void ReturnToUnits(const std::array<int, kMaxVars>& exponent) {
        condMean = std::ldexp(condMean, -exponent[0]);
        condSD = std::ldexp(condSD, -exponent[0]);
    }
};

std::optional<Posterior> FitPosterior(const SummaryInputs& in, FitFailure& failure) {
    Posterior post;
    post.p = in.k + 1;
    tMatrix coef, resid, inv;
    if (!FitRegression(in, coef, resid, inv, failure)) return std::nullopt;
    post.s2 = resid(1, 1);
    MatColumn(coef, 1, post.bHat);
    post.d = DesignVector(in);
    post.yStar = in.caseScores(1);

    tMatrix condCov;
    tVector condMean;
    if (!ConditionalMoments(post.p, in.k, in.corr, in.sds, in.means, post.d, condCov, condMean)) {
        failure.message =
            "Analysis cannot proceed as the covariance matrix of the task and covariates is singular.";
        return std::nullopt;
    }
    post.condMean = condMean(1);
    post.condSD = std::sqrt(condCov(1, 1));

    if (!FactorInverse(inv, post.p, post.L, failure)) return std::nullopt;
    RaiseFloatingPointFaults();
    return post;
}

// The random variates of one draw of the deficit test, in the order they are taken from
// the uniform stream: the chi-square variate, then p standard normal variates.
class DeficitVariates {
public:
    DeficitVariates(int k, int n, tNormal_distribution& normal)
        : p_(k + 1), chiSquare_(static_cast<long double>(n - k - 1)), normal_(normal) {}

    int Stride() const { return p_ + 1; }

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
    CaseScore(const Posterior& post, int k, int n) : post_(&post) {
        const long double nu = n - k - 1;
        sqrtNuS2_ = std::sqrt(nu) * std::sqrt(post.s2);
    }

    long double operator()(const long double* variates) const {
        const long double sigma = sqrtNuS2_ / std::sqrt(variates[0]);
        const long double* z = variates + 1;
        long double mu = 0;
        for (int i = 1; i <= post_->p; ++i) {
            long double lz = 0;
            for (int j = 1; j <= i; ++j) lz = lz + post_->L(i, j) * z[j - 1];
            const long double beta = post_->bHat(i) + sigma * lz;
            mu = mu + beta * post_->d(i);
        }
        return (post_->yStar - mu) / sigma;
    }

private:
    const Posterior* post_;
    long double sqrtNuS2_ = 0;
};

// The deficit test of N tasks on the same draws of the variates: each task's Z_t, and
// its Phi by the standard normal's Cdf.
template <std::size_t N>
class CaseScores {
public:
    static constexpr std::size_t kCount = N;

    CaseScores(const std::array<Posterior, N>& posts, int k, int n, const tNormal_distribution& standardNormal)
        : scores_(MakeScores(posts, k, n, std::make_index_sequence<N>())), standardNormal_(standardNormal) {}

    std::array<long double, N> operator()(const long double* variates) const {
        std::array<long double, N> z;
        for (std::size_t j = 0; j < N; ++j) z[j] = scores_[j](variates);
        return z;
    }

    long double Phi(long double z) const { return standardNormal_.Cdf(z); }

private:
    template <std::size_t... J>
    static std::array<CaseScore, N> MakeScores(const std::array<Posterior, N>& posts, int k, int n,
                                               std::index_sequence<J...>) {
        return {CaseScore(posts[J], k, n)...};
    }

    std::array<CaseScore, N> scores_;
    const tNormal_distribution& standardNormal_;  // its Cdf changes nothing: shared by both threads
};

// ---- The difference test's posterior and draws ----

// Everything the draws of the standardised difference need. Only mu = B'd enters the
// test, and with B = BHat + L_A Z L_S' it is BHat'd + L_S Z' w with w = L_A' d. The
// elements of Z' w are independent normals of variance |w|^2 = d'(X'X)^-1 d, so
// mu = BHat'd + |w| L_S zeta with zeta two standard normals has exactly the distribution
// that the full (k + 1) x 2 matrix Z gives, for two normal variates a draw.
struct DifferencePosterior {
    long double muHat1 = 0, muHat2 = 0;  // BHat'd: the case's conditional means
    long double y1 = 0, y2 = 0;          // the case's task scores
    long double leverage = 0;            // |w| = sqrt(d'(X'X)^-1 d)
    tMatrix M;                           // lower Cholesky factor of S_c^-1
    long double condCorrelation = 0;     // r = S12 / sqrt(S11 S22)

    // Every quantity is either scale-free or in the units of the case's scores alike.
    void ReturnToUnits(const std::array<int, kMaxVars>&) {}
};

// A conditional correlation for the refusal: to 5 decimals, or to as many more (up to 12)
// as show it to differ from 1 and from the limit, where 5 decimals would round it to them.
std::string RefusedCorrelation(long double r) {
    const long double size = std::fabs(r);
    const std::string limit = FormatFixed(kMaxConditionalCorrelation, 0, 3);
    for (int decimals = 5;; ++decimals) {
        const std::string text = FormatFixed(size, 0, decimals);
        const bool roundsToOne = text.starts_with("1.") && text.find_first_not_of('0', 2) == std::string::npos;
        const bool roundsToLimit =
            text.starts_with(limit) && text.find_first_not_of('0', limit.size()) == std::string::npos;
        if ((!roundsToOne && !roundsToLimit) || size == 1 || decimals == 12) return FormatFixed(r, 0, decimals);
    }
}

std::optional<DifferencePosterior> FitDifference(const SummaryInputs& in, FitFailure& failure) {
    DifferencePosterior post;
    const int p = in.k + 1;
    tMatrix coef, resid, inv;
    if (!FitRegression(in, coef, resid, inv, failure)) return std::nullopt;
    tMatrix L;
    if (!FactorInverse(inv, p, L, failure)) return std::nullopt;
    const tVector d = DesignVector(in);
    tVector b1, b2, w;
    MatColumn(coef, 1, b1);
    MatColumn(coef, 2, b2);
    post.muHat1 = VecDot(p, b1, d);
    post.muHat2 = VecDot(p, b2, d);
    post.y1 = in.caseScores(1);
    post.y2 = in.caseScores(2);
    tMatrix Lt;
    MatTranspose(L, p, p, Lt);
    MatVecMul(Lt, p, d, w);
    post.leverage = std::sqrt(VecDot(p, w, w));
    post.condCorrelation = resid(1, 2) / std::sqrt(resid(1, 1) * resid(2, 2));
    if (std::fabs(post.condCorrelation) > kMaxConditionalCorrelation) {
        // Without covariates the conditional correlation is the tasks' own.
        const std::string which =
            in.k == 0 ? " (correlation " : " once the covariates are allowed for (conditional correlation ";
        failure.message = "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control "
                          "sample" + which + RefusedCorrelation(post.condCorrelation) +
                          ", where the test takes at most " +
                          FormatFixed(kMaxConditionalCorrelation, 0, 3) +
                          " in size): check the scores for an error of entry, or whether one task repeats the other.";
        return std::nullopt;
    }

    // The scale of the inverse Wishart: S_c = S (n - k - 2) / (n - k - 1), where resid is
    // S / (n - k - 1).
    tMatrix scale, scaleInverse;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) scale(i, j) = resid(i, j) * (in.n - in.k - 2);
    const bool inverted = MatInverse(scale, 2, scaleInverse);
    const CholeskyOutcome factor = CholeskyFactor(2, scaleInverse);
    if (!inverted || !factor.ok) {
        failure.message =
            "Analysis cannot proceed as the residual covariance matrix of the two tasks is singular: "
            "check whether one task is linearly dependent on the other and the covariates.";
        return std::nullopt;
    }
    post.M = scaleInverse;
    RaiseFloatingPointFaults();
    return post;
}

// The random variates of one draw of the difference test, in the order they are taken
// from the uniform stream: proposals of the residual covariance Sigma until one is
// accepted, each taking a chi-square(n - k - 2) variate c1, a chi-square(n - k - 3)
// variate c2, a standard normal a21 and a uniform u; then two standard normals zeta1,
// zeta2. Stored: G11, G21, G22 of the accepted proposal, zeta1, zeta2. With one degree
// of freedom c2 is the square of a standard normal: the same distribution, for a fraction
// of the gamma method's cost, where the smallest samples need most proposals.
//
// The proposal is the inverse Wishart by Bartlett's decomposition: Sigma^-1 = G G' with
// G = M A, M the lower Cholesky factor of S_c^-1 and A = [[sqrt(c1), 0], [a21, sqrt(c2)]].
// Then Sigma = (G G')^-1 has rho = -G21 / sqrt(G21^2 + G22^2), and the proposal is
// accepted when u^2 <= 1 - rho^2 = G22^2 / (G21^2 + G22^2): what turns the Wishart's
// posterior into that of the calibrated prior 1 / (sigma1 sigma2 (1 - rho^2)).
class DifferenceVariates {
public:
    DifferenceVariates(const DifferencePosterior& post, int k, int n, tNormal_distribution& normal)
        : m11_(post.M(1, 1)),
          m21_(post.M(2, 1)),
          m22_(post.M(2, 2)),
          first_(static_cast<long double>(n - k - 2)),
          second_(static_cast<long double>(n - k - 3)),
          secondIsSquaredNormal_(n - k - 3 == 1),
          normal_(normal) {}

    static int Stride() { return 5; }

    void Draw(long double* out) {
        for (;;) {
            ++proposals_;
            const long double c1 = first_.Draw();
            const long double c2 = secondIsSquaredNormal_ ? Squared(normal_.Draw()) : second_.Draw();
            const long double a21 = normal_.Draw();
            const long double u = UniformRandom();
            const long double rootC1 = std::sqrt(c1);
            const long double g21 = m21_ * rootC1 + m22_ * a21;
            const long double g22 = m22_ * std::sqrt(c2);
            if (u * u <= g22 * g22 / (g21 * g21 + g22 * g22)) {
                out[0] = m11_ * rootC1;
                out[1] = g21;
                out[2] = g22;
                out[3] = normal_.Draw();
                out[4] = normal_.Draw();
                return;
            }
        }
    }

    long long Proposals() const { return proposals_; }

private:
    const long double m11_, m21_, m22_;
    static long double Squared(long double x) { return x * x; }

    tChi_square_distribution first_, second_;
    const bool secondIsSquaredNormal_;
    tNormal_distribution& normal_;
    long long proposals_ = 0;
};

// Z_DCCC from one draw's stored variates. Sigma = (G G')^-1 = H' H with H = G^-1 gives
// sigma2 = 1 / G22 and sigma1 = sqrt(G21^2 + G22^2) / (G11 G22); the Cholesky factor of
// Sigma is L_S = [[sigma1, 0], [rho sigma2, sigma2 sqrt(1 - rho^2)]].
class DifferenceScore {
public:
    static constexpr std::size_t kCount = 1;

    explicit DifferenceScore(const DifferencePosterior& post) : post_(&post) {}

    std::array<long double, 1> operator()(const long double* variates) const {
        const long double g11 = variates[0], g21 = variates[1], g22 = variates[2];
        const long double zeta1 = variates[3], zeta2 = variates[4];
        const long double root = std::sqrt(g21 * g21 + g22 * g22);
        const long double sigma1 = root / (g11 * g22);
        const long double sigma2 = 1 / g22;
        const long double rho = -g21 / root;
        const long double rest = g22 / root;  // sqrt(1 - rho^2)
        const long double h = post_->leverage;
        const long double mu1 = post_->muHat1 + h * (sigma1 * zeta1);
        const long double mu2 = post_->muHat2 + h * (rho * sigma2 * zeta1 + sigma2 * rest * zeta2);
        const long double z1 = (post_->y1 - mu1) / sigma1;
        const long double z2 = (post_->y2 - mu2) / sigma2;
        return {(z1 - z2) / std::sqrt(2 - 2 * rho)};
    }

    static long double Phi(long double z) { return StandardNormalCdf(z); }

private:
    const DifferencePosterior* post_;
};

// ---- The draws on two threads ----

// The million draws on two threads. The uniform stream is one chain, so one thread
// draws every variate, in order, into a ring of blocks. Turning a block's variates into
// the statistics and their Phi needs no shared state, so whichever thread is free claims
// the next drawn block: the second thread all the time, the drawing thread whenever the
// ring is full and once it has drawn everything. The Phi are summed in draw order at the
// end, so every number is the one a single thread would compute. Blocks are claimed in
// order, so when one fails every earlier block is finished and the error reported is
// the earliest, to the block.
//
// Source draws a draw's variates: Stride() of them, with Draw(out). Statistic turns them
// into kCount standardised distances, each stored in its own draw array, and gives their
// Phi.
template <class Source, class Statistic>
class DrawPipeline {
public:
    static constexpr std::size_t kStreams = Statistic::kCount;
    using Stores = std::array<tDrawArray*, kStreams>;
    using Sums = std::array<long double, kStreams>;

    DrawPipeline(Source& source, const Statistic& statistic, int draws, const Stores& stores)
        : draws_(draws),
          stride_(source.Stride()),
          blockCount_((draws + kBlock - 1) / kBlock),
          source_(source),
          statistic_(statistic),
          stores_(stores),
          ring_(std::make_unique_for_overwrite<long double[]>(kRingBlocks * kBlock * stride_)),
          probabilities_(std::make_unique_for_overwrite<long double[]>(static_cast<std::size_t>(draws) * kStreams)),
          done_(blockCount_, false),
          limit_(blockCount_) {}

    // Runs the draws; rethrows the error of the earliest failing block.
    Sums ProbabilitySums() {
        std::thread helper([this] { Help(); });
        try {
            DrawAllBlocks();
            Help();
        } catch (...) {
            Fail(kLastOrder, std::current_exception());  // never leave the helper waiting
        }
        helper.join();
        if (error_) std::rethrow_exception(error_);
        Sums sums;
        for (std::size_t j = 0; j < kStreams; ++j) {
            long double sum = 0;
            for (int t = 0; t < draws_; ++t) sum = sum + probabilities_[t * kStreams + j];
            sums[j] = sum;
        }
        return sums;
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
                const std::array<long double, kStreams> z = statistic_(Slot(t));
                for (std::size_t j = 0; j < kStreams; ++j) {
                    (*stores_[j])(t + 1) = static_cast<double>(z[j]);
                    probabilities_[t * kStreams + j] = statistic_.Phi(z[j]);
                }
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
    Source& source_;
    const Statistic& statistic_;
    const Stores stores_;
    std::unique_ptr<long double[]> ring_;
    std::unique_ptr<long double[]> probabilities_;  // draw t's stream j at t * kStreams + j

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

// ---- What both tests make of their draws ----

// Nearest integer, ties to even.
int RoundToEven(long double x) { return static_cast<int>(std::nearbyint(x)); }

LimitIndices CheckedLimitIndices(int draws, int percent, bool twoSided) {
    const LimitIndices limits = CredibleLimitIndices(draws, percent, twoSided);
    if (draws < 1 || draws > kMaxDraws || limits.lo < 1 || limits.hi > draws)
        throw std::invalid_argument("The number of draws must leave room for both credible limits");
    return limits;
}

// Where a test's streams of variates start: at the initial seeds with fixedSeed, else
// where the caller's generator stands.
struct StreamStart {
    std::int32_t seed1 = 0;
    std::int32_t seed2 = 0;
};

StreamStart StartOfStreams(bool fixedSeed) {
    return fixedSeed ? StreamStart{kInitialSeed1, kInitialSeed2} : StreamStart{Seed1, Seed2};
}

// Sets the generator of the calling thread, which draws the stream from here on.
void StartStream(StreamStart start) {
    Seed1 = start.seed1;
    Seed2 = start.seed2;
}

// The results of a test from its draws of a standardised distance and the sum of their
// Phi, with results(ZCCC) already holding the point estimate: the mean of Phi as a
// percentage and the p values; the credible limits, the two order statistics a full sort
// would put at lo and hi, with their Phi (the test's own); and the histogram around the
// limits and the point estimate, with three quarters of the limits' distance to spare on
// either side.
template <class Phi>
void SummariseDraws(long double probabilitySum, int draws, LimitIndices limits, tDrawArray& store, Phi phi,
                    tCovariateResults& results, tDrawHistogram& histogram) {
    const auto [lo, hi] = limits;
    long double meanPercent = probabilitySum / draws * 100;
    results(PercentBelow) = meanPercent;
    if (meanPercent > 50) meanPercent = 100 - meanPercent;
    results(OneTailedP) = meanPercent / 100;
    results(TwoTailedP) = meanPercent / 50;

    double* first = store.data();
    std::nth_element(first, first + hi - 1, first + draws);
    std::nth_element(first, first + lo - 1, first + hi - 1);
    results(ZCCCLower) = store(lo);
    results(ZCCCUpper) = store(hi);

    const double pointEstimate = static_cast<double>(results(ZCCC));
    double spare = 0.75 * (store(hi) - store(lo));
    if (!(spare > 0)) spare = 1;  // every draw alike: a unit either side
    const double lower = std::min(store(lo), pointEstimate) - spare;
    const double upper = std::max(store(hi), pointEstimate) + spare;
    // The two halves of the draws on two threads: counts add up the same in any order.
    const int half = draws / 2;
    tDrawHistogram secondHalf;
    std::thread helper([&] { secondHalf = BinDraws(first + half, draws - half, lower, upper); });
    histogram = BinDraws(first, half, lower, upper);
    helper.join();
    for (int i = 0; i < kHistogramBins; ++i) histogram.counts[i] += secondHalf.counts[i];
    histogram.below += secondHalf.below;
    histogram.above += secondHalf.above;

    results(PercentBelowLower) = phi(results(ZCCCLower)) * 100;
    results(PercentBelowUpper) = phi(results(ZCCCUpper)) * 100;
    RaiseFloatingPointFaults();
}

template <std::size_t N>
std::array<tDrawArray*, N> Pointers(std::array<tDrawArray, N>& stores) {
    std::array<tDrawArray*, N> pointers;
    for (std::size_t j = 0; j < N; ++j) pointers[j] = &stores[j];
    return pointers;
}

// The deficit test of N tasks that share n and k, in two steps: the draws, from one
// stream of variates (a standalone run of each task would draw the very same ones), and
// what is made of them.
template <std::size_t N>
struct DeficitDraws {
    std::array<tDeficitOutcome, N> outcomes;  // the point estimates until summarised
    std::array<tDrawArray, N> stores;
    std::array<long double, N> sums{};
};

template <std::size_t N>
DeficitDraws<N> DrawDeficits(const std::array<SummaryInputs, N>& tasks, const std::array<Posterior, N>& posts,
                             int draws, StreamStart start) {
    const int k = tasks[0].k, n = tasks[0].n;
    DeficitDraws<N> drawn;
    for (std::size_t j = 0; j < N; ++j) {
        tDeficitOutcome& outcome = drawn.outcomes[j];
        outcome.condMean = posts[j].condMean;
        outcome.condSD = posts[j].condSD;
        outcome.results(ZCCC) = (tasks[j].caseScores(1) - outcome.condMean) / outcome.condSD;
    }
    StartStream(start);
    tNormal_distribution standardNormal(0, 1);
    DeficitVariates source(k, n, standardNormal);
    const CaseScores<N> statistic(posts, k, n, standardNormal);
    drawn.sums = DrawPipeline(source, statistic, draws, Pointers(drawn.stores)).ProbabilitySums();
    return drawn;
}

template <std::size_t N>
std::array<tDeficitOutcome, N> SummariseDeficits(DeficitDraws<N>& drawn, int draws, LimitIndices limits) {
    const tNormal_distribution standardNormal(0, 1);
    const auto phi = [&standardNormal](long double z) { return standardNormal.Cdf(z); };
    for (std::size_t j = 0; j < N; ++j)
        SummariseDraws(drawn.sums[j], draws, limits, drawn.stores[j], phi, drawn.outcomes[j].results,
                       drawn.outcomes[j].zHistogram);
    return drawn.outcomes;
}

// Task `task` (1 or 2) of the difference test's inputs with the covariates: the inputs
// of a deficit test on that task alone.
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

// 100 x the one-tailed p and its limits on the case's own tail. Above it, the limits are
// Phi of the negated Z limits: 100 minus a percentage near 100 would lose their digits.
tPercentWithLimits PercentMoreExtreme(const tCovariateResults& r) {
    if (r(PercentBelow) <= 50) return {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)};
    return {100 - r(PercentBelow), DifferenceScore::Phi(-r(ZCCCUpper)) * 100, DifferenceScore::Phi(-r(ZCCCLower)) * 100};
}

// The same inputs with task 1 and task 2 exchanged.
SummaryInputs WithTasksSwapped(SummaryInputs in) {
    std::swap(in.sds(1), in.sds(2));
    std::swap(in.means(1), in.means(2));
    std::swap(in.caseScores(1), in.caseScores(2));
    const auto other = [](int i) { return i == 1 ? 2 : i == 2 ? 1 : i; };
    const tMatrix given = in.corr;
    for (int i = 1; i <= in.k + 2; ++i)
        for (int j = 1; j <= in.k + 2; ++j) in.corr(other(i), other(j)) = given(i, j);
    return in;
}

// The order in which the difference test takes the tasks, so that the test does not
// depend on which task was entered first: the task the case stands lower on (by Z-CCC)
// first, then by the case's score and the controls' statistics. Tasks equal in all of
// them are interchangeable: either order gives the same inputs.
bool SecondTaskFirst(const std::array<SummaryInputs, 2>& tasks, const std::array<long double, 2>& zccc) {
    const auto key = [&](int j) {
        const SummaryInputs& t = tasks[j];
        std::vector<long double> key{zccc[j], t.caseScores(1), t.means(1), t.sds(1)};
        for (int i = 2; i <= t.k + 1; ++i) key.push_back(t.corr(1, i));
        return key;
    };
    return key(1) < key(0);
}

// The difference test's outcome on the tasks taken the other way round: the draws of
// Z_DCCC negated, so the limits change places, the percentage below turns into the
// percentage above, and the histogram turns over. The p values, the percentage more
// extreme (on the case's own tail whichever it is) and the proposals stay as they are,
// to the last digit. Exact for the limits because CredibleLimitIndices gives
// lo = draws + 1 - hi for every limit type.
void MirrorDifference(tDissociationOutcome& outcome) {
    tCovariateResults& d = outcome.difference;
    const long double lower = d(ZDCCCLower);
    d(ZDCCC) = -d(ZDCCC);
    d(ZDCCCLower) = -d(ZDCCCUpper);
    d(ZDCCCUpper) = -lower;
    d(PercentBelow) = 100 - d(PercentBelow);
    d(PercentBelowLower) = DifferenceScore::Phi(d(ZDCCCLower)) * 100;
    d(PercentBelowUpper) = DifferenceScore::Phi(d(ZDCCCUpper)) * 100;
    tDrawHistogram& h = outcome.differenceHistogram;
    const double upper = h.upper;
    h.upper = -h.lower;
    h.lower = -upper;
    std::reverse(h.counts.begin(), h.counts.end());
    std::swap(h.below, h.above);
}

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
    const LimitIndices limits = CheckedLimitIndices(draws, percent, twoSided);
    const std::array<SummaryInputs, 1> task{SummaryInputs{1, k, n, sds, means, caseScores, corr}};
    const std::array<Posterior, 1> post{FitOrThrow(task[0], FitPosterior)};
    DeficitDraws<1> drawn = DrawDeficits(task, post, draws, StartOfStreams(fixedSeed));
    const auto [outcome] = SummariseDeficits(drawn, draws, limits);
    condMean = outcome.condMean;
    condSD = outcome.condSD;
    results = outcome.results;
    histogram = outcome.zHistogram;
}

std::vector<long double> CaseDistances(int tasks, int k, int n, const tVector& sds, const tVector& means,
                                       const tVector& caseScores, const tMatrix& corr) {
    const SummaryInputs given{tasks, k, n, sds, means, caseScores, corr};
    std::vector<long double> distances;
    for (int j = 1; j <= tasks; ++j) {
        const SummaryInputs task = tasks == 1 ? given : TaskWithCovariates(given, j);
        const Posterior post = FitOrThrow(task, FitPosterior);
        const long double z = (task.caseScores(1) - post.condMean) / post.condSD;
        if (!std::isfinite(z)) ClearFloatingPointFaults();  // only this overflow: z is far
        distances.push_back(z);
    }
    return distances;
}

void DissociationMonteCarloTest(int k, int n, int draws, bool fixedSeed, bool twoSided, int percent,
                                const tVector& sds, const tVector& means, const tVector& caseScores,
                                const tMatrix& corr, tDissociationOutcome& outcome) {
    const LimitIndices limits = CheckedLimitIndices(draws, percent, twoSided);
    if (k < 0 || k + 2 > kMaxVars)
        throw std::invalid_argument("The number of covariates must lie between 0 and " + std::to_string(kMaxVars - 2));
    if (n - k - 2 <= 1)
        throw std::invalid_argument("The difference test needs n - k - 2 > 1: at least k + 4 controls");
    const SummaryInputs given{2, k, n, sds, means, caseScores, corr};
    const std::array<SummaryInputs, 2> tasks{TaskWithCovariates(given, 1), TaskWithCovariates(given, 2)};
    const std::array<Posterior, 2> posts{FitOrThrow(tasks[0], FitPosterior), FitOrThrow(tasks[1], FitPosterior)};
    const auto zccc = [&](int j) { return (tasks[j].caseScores(1) - posts[j].condMean) / posts[j].condSD; };
    // The difference test runs on the tasks in their canonical order and is mirrored
    // afterwards when that is not the order given.
    const std::array<long double, 2> z{zccc(0), zccc(1)};
    const bool swapped = SecondTaskFirst(tasks, z);
    const SummaryInputs both = swapped ? WithTasksSwapped(given) : given;
    const DifferencePosterior post = FitOrThrow(both, FitDifference);

    const StreamStart start = StartOfStreams(fixedSeed);
    tDissociationOutcome result;
    result.condCorrelation = post.condCorrelation;
    const int first = swapped ? 1 : 0;
    result.difference(ZDCCC) = (z[first] - z[1 - first]) / std::sqrt(2 - 2 * result.condCorrelation);
    RaiseFloatingPointFaults();

    // The difference test's variates are a stream of their own, drawn on a thread of its
    // own (each thread has its own state of the generator) beside the deficit tests' draws,
    // so that the two cores share the work of both.
    std::future<void> difference = std::async(std::launch::async, [&] {
        StartStream(start);
        tDrawArray store;
        tNormal_distribution normal(0, 1);
        DifferenceVariates source(post, k, n, normal);
        const DifferenceScore statistic(post);
        const auto [sum] = DrawPipeline(source, statistic, draws, {&store}).ProbabilitySums();
        result.proposals = source.Proposals();
        SummariseDraws(sum, draws, limits, store, DifferenceScore::Phi, result.difference, result.differenceHistogram);
        result.moreExtreme = PercentMoreExtreme(result.difference);
    });
    try {
        DeficitDraws<2> drawn = DrawDeficits(tasks, posts, draws, start);
        result.tasks = SummariseDeficits(drawn, draws, limits);
    } catch (...) {
        difference.wait();  // it works on this frame's values; an error of the deficit tests comes first
        throw;
    }
    difference.get();
    if (swapped) MirrorDifference(result);
    outcome = result;
}

}  // namespace quorvane
