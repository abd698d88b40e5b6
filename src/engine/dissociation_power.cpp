#include "engine/dissociation_power.h"

#include <boost/math/distributions/students_t.hpp>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine/difference_test.h"
#include "engine/draw_summary.h"
#include "engine/regression_fit.h"
#include "numerics/distrib.h"
#include "numerics/errors.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

constexpr int kPowerThreads = 2;
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

bool Finite(long double x) { return std::isfinite(x); }

// The population in its standard units, where every variable has mean 0 and SD 1: the
// tests are unchanged by a change of origin and unit of any variable, and at unit scale
// the fit's absolute pivot thresholds never stop a sound study.
struct Model {
    int n = 0, k = 0, p = 0;
    tMatrix factor;                         // lower Cholesky factor of the correlations
    tVector covariates;                     // the case's covariates' z scores, at 1 .. k
    long double mean1 = 0, mean2 = 0;       // the case's expected task scores' z scores
    long double c11 = 0, c21 = 0, c22 = 0;  // lower Cholesky factor of the tasks' conditional covariance
    long double critical = 0;               // the prediction test's t below which a task has a deficit
    long double alpha = 0;
    int draws = 0;
};

Model ModelFor(const DissociationPowerQuestion& q) {
    const tCaseStatistics& pop = q.population;
    Model m;
    m.n = pop.n;
    m.k = pop.k;
    m.p = pop.k + 2;
    m.alpha = q.alpha;
    m.draws = q.draws;
    if (m.k < 0 || m.k > 5) throw std::invalid_argument("The number of covariates must lie between 0 and 5");
    if (m.n < m.k + 4 || m.n > kMaxPowerControls)
        throw std::invalid_argument("The difference test needs at least k + 4 controls, and the simulation at most " +
                                    std::to_string(kMaxPowerControls));
    if (!(q.alpha > 0 && q.alpha <= 0.5)) throw std::invalid_argument("alpha must lie in (0, 0.5]");
    if (q.simulations < kMinPowerSimulations || q.simulations > kMaxPowerSimulations)
        throw std::invalid_argument("The number of simulations must lie between " +
                                    std::to_string(kMinPowerSimulations) + " and " +
                                    std::to_string(kMaxPowerSimulations));
    if (q.draws < kMinPowerDraws || q.draws > kMaxPowerDraws)
        throw std::invalid_argument("The number of draws must lie between " + std::to_string(kMinPowerDraws) + " and " +
                                    std::to_string(kMaxPowerDraws));
    tVector zeros, ones, z;
    for (int i = 1; i <= m.p; ++i) {
        if (!Finite(pop.means(i)) || !(Finite(pop.sds(i)) && pop.sds(i) > 0))
            throw std::invalid_argument("Every mean must be finite and every SD positive");
        for (int j = 1; j <= m.p; ++j)
            if (i == j ? pop.corr(i, j) != 1 : !(std::fabs(pop.corr(i, j)) < 1) || pop.corr(i, j) != pop.corr(j, i))
                throw std::invalid_argument("Every correlation must be symmetric and lie between -1 and 1");
        ones(i) = 1;
        if (i > 2) z(i) = (pop.caseScores(i) - pop.means(i)) / pop.sds(i);
    }
    for (int i = 1; i <= m.k; ++i) m.covariates(i) = z(i + 2);
    m.factor = pop.corr;
    tMatrix condCov;
    tVector condMean;
    if (!CholeskyFactor(m.p, m.factor).ok || !ConditionalMoments(m.p, m.k, pop.corr, ones, zeros, z, condCov, condMean))
        throw std::invalid_argument("The correlations must be positive definite");
    bool finite = Finite(q.expectedScores[0]) && Finite(q.expectedScores[1]);
    for (int i = 1; i <= m.k; ++i) finite = finite && Finite(m.covariates(i));
    if (!finite) throw std::invalid_argument("The case's scores must be finite");
    const long double r = condCov(1, 2) / std::sqrt(condCov(1, 1) * condCov(2, 2));
    if (std::fabs(r) > kMaxConditionalCorrelation)
        throw std::invalid_argument("The tasks' correlation given the covariates must not exceed " +
                                    FormatFixed(kMaxConditionalCorrelation, 0, 3) + " in size");
    // The case's task scores: their conditional mean moved to the expected scores, and the
    // conditional covariance's noise about it.
    m.mean1 = (q.expectedScores[0] - pop.means(1)) / pop.sds(1);
    m.mean2 = (q.expectedScores[1] - pop.means(2)) / pop.sds(2);
    m.c11 = std::sqrt(condCov(1, 1));
    m.c21 = condCov(1, 2) / m.c11;
    m.c22 = std::sqrt(condCov(2, 2) - m.c21 * m.c21);
    namespace bm = boost::math;
    m.critical = bm::quantile(bm::students_t(m.n - m.k - 1), q.alpha);
    ClearFloatingPointFaults();
    return m;
}

// The start of study i's stream: SplitMix64 of i, folded into the two generators' ranges.
StreamStart StreamOfStudy(int i) {
    std::uint64_t x = static_cast<std::uint64_t>(i) + 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return {static_cast<std::int32_t>(1 + (x & 0xFFFFFFFFULL) % 2147483562ULL),
            static_cast<std::int32_t>(1 + (x >> 32) % 2147483398ULL)};
}

struct Counts {
    int difference = 0, classical = 0, strong = 0, refused = 0;
};

// One study from its own stream, counted into counts.
void RunStudy(const Model& m, int i, Counts& counts) {
    StartStream(StreamOfStudy(i));
    tNormal_distribution normal(0, 1);
    const int p = m.p;
    // The controls' sums and cross-products, row by row: x = factor e, e standard normal.
    std::array<long double, kMaxVars> sum{}, e{}, x{};
    tMatrix cross;
    for (int row = 0; row < m.n; ++row) {
        for (int j = 0; j < p; ++j) e[j] = normal.Draw();
        for (int r = 0; r < p; ++r) {
            long double v = 0;
            for (int c = 0; c <= r; ++c) v += m.factor(r + 1, c + 1) * e[c];
            x[r] = v;
            sum[r] += v;
        }
        for (int r = 0; r < p; ++r)
            for (int c = 0; c <= r; ++c) cross.cell[r][c] += x[r] * x[c];
    }
    SummaryInputs in;
    in.n = m.n;
    in.k = m.k;
    in.m = 2;
    const long double n = m.n;
    for (int r = 1; r <= p; ++r) in.means(r) = sum[r - 1] / n;
    for (int r = 1; r <= p; ++r) in.sds(r) = std::sqrt((cross(r, r) - n * in.means(r) * in.means(r)) / (n - 1));
    for (int r = 1; r <= p; ++r)
        for (int c = 1; c <= r; ++c)
            in.corr(r, c) = in.corr(c, r) =
                r == c ? 1 : (cross(r, c) - n * in.means(r) * in.means(c)) / ((n - 1) * in.sds(r) * in.sds(c));
    const long double zeta1 = normal.Draw(), zeta2 = normal.Draw();
    in.caseScores(1) = m.mean1 + m.c11 * zeta1;
    in.caseScores(2) = m.mean2 + m.c21 * zeta1 + m.c22 * zeta2;
    for (int j = 1; j <= m.k; ++j) in.caseScores(j + 2) = m.covariates(j);

    ClearFloatingPointFaults();
    std::optional<DifferencePosterior> post;
    try {
        FitFailure failure;
        post = FitDifference(in, failure);
    } catch (const EMathError&) {
        post.reset();
    }
    if (!post) {
        ClearFloatingPointFaults();
        ++counts.refused;
        return;
    }
    // The prediction test of each task: t = (y* - x*'b) / (s sqrt(1 + h)), h = |w|^2.
    const long double root = std::sqrt(1 + post->leverage * post->leverage);
    const bool deficit1 = (post->y1 - post->muHat1) / (post->s1 * root) < m.critical;
    const bool deficit2 = (post->y2 - post->muHat2) / (post->s2 * root) < m.critical;

    DifferenceVariates source(*post, m.k, m.n, normal);
    const DifferenceScore score(*post);
    std::array<long double, 5> variates;
    long double phiSum = 0;
    for (int t = 0; t < m.draws; ++t) {
        source.Draw(variates.data());
        phiSum += DifferenceScore::Phi(score(variates.data())[0]);
    }
    ClearFloatingPointFaults();
    // The two-tailed p as the engine gives it, from the percentage below.
    long double percent = phiSum / m.draws * 100;
    if (percent > 50) percent = 100 - percent;
    if (!Finite(percent)) {
        ++counts.refused;
        return;
    }
    const bool significant = percent / 50 < m.alpha;
    counts.difference += significant;
    counts.classical += significant && deficit1 != deficit2;
    counts.strong += significant && deficit1 && deficit2;
}

PowerEstimate Estimate(int count, int simulations) {
    const double power = static_cast<double>(count) / simulations;
    return {power, std::sqrt(power * (1 - power) / simulations)};
}

}  // namespace

std::optional<DissociationPowerResult> DissociationPower(const DissociationPowerQuestion& question,
                                                         const PowerRunControl& control) {
    const Model model = ModelFor(question);
    const int simulations = question.simulations;
    std::atomic<int> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    int running = kPowerThreads;
    std::exception_ptr failure;
    std::array<Counts, kPowerThreads> counts{};
    // Studies go to whichever thread is free, one at a time; the counts add up the same in
    // any order.
    const auto work = [&](Counts& mine) {
        try {
            while (!stop.load(std::memory_order_relaxed) && !(control.cancel && control.cancel->load())) {
                const int i = next.fetch_add(1);
                if (i >= simulations) break;
                RunStudy(model, i, mine);
                done.fetch_add(1, std::memory_order_relaxed);
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            stop = true;
        }
        const std::lock_guard lock(mutex);
        --running;
        finished.notify_one();
    };
    std::array<std::thread, kPowerThreads> threads;
    for (int t = 0; t < kPowerThreads; ++t) threads[t] = std::thread(work, std::ref(counts[t]));
    {
        std::unique_lock lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, kProgressInterval, [&] { return running == 0; });
            if (control.cancel && control.cancel->load()) stop = true;
            if (!control.progress || running == 0 || stop) continue;
            lock.unlock();
            std::exception_ptr thrown;
            try {
                control.progress(done.load());
            } catch (...) {
                // The threads stop after their studies in hand; the caller gets the error.
                thrown = std::current_exception();
                stop = true;
            }
            lock.lock();
            if (thrown && !failure) failure = thrown;
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (failure) std::rethrow_exception(failure);
    if (done.load() < simulations) return std::nullopt;
    if (control.progress) control.progress(simulations);
    Counts total;
    for (const Counts& c : counts) {
        total.difference += c.difference;
        total.classical += c.classical;
        total.strong += c.strong;
        total.refused += c.refused;
    }
    return DissociationPowerResult{Estimate(total.difference, simulations), Estimate(total.classical, simulations),
                                   Estimate(total.strong, simulations), total.refused};
}

}  // namespace quorvane
