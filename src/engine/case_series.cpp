// A series of cases against the same controls. The posterior draws do not depend on the
// case: each stream of variates is drawn once, stored, and every case's statistic is
// evaluated on it, with the very operations of a single run, so that every number is
// the one a run on that case alone gives.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/bayes_engines.h"
#include "engine/deficit_test.h"
#include "engine/difference_test.h"
#include "engine/draw_summary.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

constexpr int kBlock = 2048;  // draws a block: published and checked for faults as one

// The variates of every draw of one stream, 16 bytes x stride a draw, whatever the number
// of cases. The calling thread draws them block by block while the cases are evaluated
// on the blocks already drawn.
class SharedVariates {
public:
    SharedVariates(int draws, int stride)
        : draws_(draws),
          stride_(stride),
          blocks_((draws + kBlock - 1) / kBlock),
          limit_(blocks_),
          cell_(std::make_unique_for_overwrite<long double[]>(static_cast<std::size_t>(draws) * stride)) {}

    int Draws() const { return draws_; }
    int Blocks() const { return blocks_; }
    int BlockEnd(int b) const { return std::min(draws_, (b + 1) * kBlock); }
    const long double* At(int t) const { return cell_.get() + static_cast<std::size_t>(t) * stride_; }

    // Draws the stream from the calling thread's generator, calling the hook before each
    // block. A failed block ends the drawing: a case that reaches it takes its error, as
    // a single run does unless one of its earlier blocks failed.
    template <class Source>
    void DrawAll(Source& source, const tBlockHook& hook) {
        for (int b = 0; b < blocks_; ++b) {
            try {
                if (hook) hook(b);
                for (int t = b * kBlock; t < BlockEnd(b); ++t)
                    source.Draw(cell_.get() + static_cast<std::size_t>(t) * stride_);
                RaiseFloatingPointFaults();
            } catch (...) {
                const std::lock_guard lock(mutex_);
                error_ = std::current_exception();
                limit_ = b;
                changed_.notify_all();
                return;
            }
            const std::lock_guard lock(mutex_);
            drawn_.store(b + 1, std::memory_order_release);
            changed_.notify_all();
        }
    }

    // Waits for block b; rethrows the drawing's error when it stopped at b.
    void WaitFor(int b) {
        if (drawn_.load(std::memory_order_acquire) > b) return;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return drawn_.load(std::memory_order_acquire) > b || limit_ <= b; });
        if (drawn_.load(std::memory_order_acquire) <= b) std::rethrow_exception(error_);
    }

private:
    const int draws_;
    const int stride_;
    const int blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<int> drawn_ = 0;
    int limit_;  // guarded by mutex_: the blocks that will be drawn
    std::exception_ptr error_;
    std::unique_ptr<long double[]> cell_;
};

// Each case's error, and the earliest case that failed: the one whose error the series
// reports, so no later case need be evaluated.
class CaseErrors {
public:
    explicit CaseErrors(int count) : errors_(count), first_(count) {}

    void Record(int i, std::exception_ptr error) {
        errors_[i] = std::move(error);
        int first = first_.load();
        while (i < first && !first_.compare_exchange_weak(first, i)) {
        }
    }
    int First() const { return first_.load(); }
    bool Failed(int i) const { return errors_[i] != nullptr; }
    void RethrowFirst() const {
        if (First() < static_cast<int>(errors_.size())) std::rethrow_exception(errors_[First()]);
    }

private:
    std::vector<std::exception_ptr> errors_;
    std::atomic<int> first_;
};

// A thread's stores of one case's draws, reused from case to case.
class Workspace {
public:
    tDrawArray& Store(std::size_t j) {
        while (stores_.size() <= j) stores_.emplace_back();
        return stores_[j];
    }

private:
    std::vector<tDrawArray> stores_;
};

// Draws a stream with `draw` on the calling thread while a helper evaluates the cases,
// one case to a thread, claimed in order; the calling thread joins in once it has drawn.
// A case's error is recorded; no case after the earliest failed one is started.
template <class Draw, class Evaluate>
void EvaluateCases(const std::vector<int>& cases, CaseErrors& errors, std::array<Workspace, 2>& workspaces, Draw draw,
                   Evaluate evaluate) {
    std::atomic<std::size_t> next = 0;
    const auto work = [&](Workspace& workspace) {
        for (;;) {
            const std::size_t at = next++;
            if (at >= cases.size() || cases[at] > errors.First()) return;
            try {
                ClearFloatingPointFaults();  // a failed case may leave its flags behind
                evaluate(cases[at], workspace);
            } catch (...) {
                errors.Record(cases[at], std::current_exception());
            }
        }
    };
    std::thread helper([&] { work(workspaces[1]); });
    draw();  // catches its own errors: the helper never waits in vain
    work(workspaces[0]);
    helper.join();
}

// One case's deficit tests of N tasks on the shared variates: what DrawDeficits and
// SummariseDeficits make of its draws, draw by draw and block by block in their order.
template <std::size_t N>
void EvaluateDeficits(SharedVariates& variates, const std::array<Posterior, N>& posts, int k, int n,
                      LimitIndices limits, std::array<tDeficitOutcome, N>& outcomes, Workspace& workspace) {
    const tNormal_distribution standardNormal(0, 1);
    const CaseScores<N> statistic(posts, k, n, standardNormal);
    std::array<long double, N> sums{};
    for (int b = 0; b < variates.Blocks(); ++b) {
        variates.WaitFor(b);
        for (int t = b * kBlock; t < variates.BlockEnd(b); ++t) {
            const std::array<long double, N> z = statistic(variates.At(t));
            for (std::size_t j = 0; j < N; ++j) {
                workspace.Store(j)(t + 1) = static_cast<double>(z[j]);
                sums[j] = sums[j] + statistic.Phi(z[j]);
            }
        }
        RaiseFloatingPointFaults();
    }
    const auto phi = [&standardNormal](long double z) { return standardNormal.Cdf(z); };
    for (std::size_t j = 0; j < N; ++j)
        SummariseDraws(sums[j], variates.Draws(), limits, workspace.Store(j), phi, outcomes[j].results,
                       outcomes[j].zHistogram, false);
}

// One case's difference test on its order's shared variates, mirrored when that order
// is the swap of the tasks given.
void EvaluateDifference(SharedVariates& variates, const DifferencePosterior& post, bool swapped, LimitIndices limits,
                        tDissociationOutcome& result, Workspace& workspace) {
    const DifferenceScore statistic(post);
    tDrawArray& store = workspace.Store(0);
    long double sum = 0;
    for (int b = 0; b < variates.Blocks(); ++b) {
        variates.WaitFor(b);
        for (int t = b * kBlock; t < variates.BlockEnd(b); ++t) {
            const auto [z] = statistic(variates.At(t));
            store(t + 1) = static_cast<double>(z);
            sum = sum + DifferenceScore::Phi(z);
        }
        RaiseFloatingPointFaults();
    }
    SummariseDraws(sum, variates.Draws(), limits, store, DifferenceScore::Phi, result.difference,
                   result.differenceHistogram, false);
    result.moreExtreme = PercentMoreExtreme(result.difference);
    if (swapped) MirrorDifference(result);
}

tCaseStatistics WithCase(const tCaseStatistics& controls, const tVector& scores) {
    tCaseStatistics one = controls;
    one.caseScores = scores;
    return one;
}

// The cases before the first that a single run refuses before its draws, each prepared
// by `prepare`; that one's error is recorded.
template <class Prepare>
std::vector<int> PrepareCases(int count, CaseErrors& errors, Prepare prepare) {
    std::vector<int> prepared;
    for (int i = 0; i < count; ++i) {
        try {
            prepare(i);
        } catch (...) {
            errors.Record(i, std::current_exception());
            break;
        }
        prepared.push_back(i);
    }
    return prepared;
}

bool SameValue(long double a, long double b) { return a == b && std::signbit(a) == std::signbit(b); }

// The difference test's variates depend on the order of the tasks through the factor M
// alone: the cases whose M is the same, bit for bit, share one stream of them.
std::vector<std::vector<int>> CasesByVariates(const std::vector<int>& cases,
                                              const std::vector<DifferencePosterior>& posts) {
    std::vector<std::vector<int>> groups;
    for (const int i : cases) {
        const auto same = [&](const std::vector<int>& group) {
            const tMatrix& a = posts[group.front()].M;
            const tMatrix& b = posts[i].M;
            return SameValue(a(1, 1), b(1, 1)) && SameValue(a(2, 1), b(2, 1)) && SameValue(a(2, 2), b(2, 2));
        };
        const auto group = std::find_if(groups.begin(), groups.end(), same);
        if (group == groups.end()) {
            groups.push_back({i});
        } else {
            group->push_back(i);
        }
    }
    return groups;
}

}  // namespace

std::vector<tDeficitOutcome> CovariateMonteCarloSeries(const tCaseStatistics& controls,
                                                       const std::vector<tVector>& cases,
                                                       const tTestOptions& options) {
    const int k = controls.k, n = controls.n;
    const LimitIndices limits = CheckedLimitIndices(options.draws, options.percent, options.twoSided);
    const int count = static_cast<int>(cases.size());
    std::vector<tDeficitOutcome> outcomes(count);
    std::vector<std::array<Posterior, 1>> posts(count);
    CaseErrors errors(count);
    const std::vector<int> prepared = PrepareCases(count, errors, [&](int i) {
        const std::array<SummaryInputs, 1> task{SummaryInputs{WithCase(controls, cases[i]), 1}};
        posts[i] = {FitOrThrow(task[0], FitPosterior)};
        outcomes[i] = DeficitPointEstimates(task, posts[i])[0];
        // A single run raises the faults of these at its first block.
        const tNormal_distribution standardNormal(0, 1);
        const CaseScores<1> statistic(posts[i], k, n, standardNormal);
        RaiseFloatingPointFaults();
    });
    if (!prepared.empty()) {
        StartStream(StartOfStreams(options.fixedSeed));
        tNormal_distribution normal(0, 1);
        DeficitVariates source(k, n, normal);
        SharedVariates variates(options.draws, source.Stride());
        std::array<Workspace, 2> workspaces;
        EvaluateCases(
            prepared, errors, workspaces, [&] { variates.DrawAll(source, options.blockHook); },
            [&](int i, Workspace& workspace) {
                std::array<tDeficitOutcome, 1> outcome{outcomes[i]};
                EvaluateDeficits(variates, posts[i], k, n, limits, outcome, workspace);
                outcomes[i] = outcome[0];
            });
    }
    errors.RethrowFirst();
    return outcomes;
}

std::vector<tDissociationOutcome> DissociationMonteCarloSeries(const tCaseStatistics& controls,
                                                               const std::vector<tVector>& cases,
                                                               const tTestOptions& options) {
    const int k = controls.k, n = controls.n;
    const LimitIndices limits = CheckedLimitIndices(options.draws, options.percent, options.twoSided);
    CheckDissociationArguments(k, n);
    const int count = static_cast<int>(cases.size());
    std::vector<tDissociationOutcome> outcomes(count);
    std::vector<std::array<Posterior, 2>> posts(count);
    std::vector<DifferencePosterior> differencePosts(count);
    std::vector<bool> swapped(count);
    CaseErrors errors(count);
    const std::vector<int> prepared = PrepareCases(count, errors, [&](int i) {
        const DissociationSetup setup = PrepareDissociation(WithCase(controls, cases[i]));
        outcomes[i] = setup.result;
        posts[i] = setup.posts;
        differencePosts[i] = setup.post;
        swapped[i] = setup.swapped;
        outcomes[i].tasks = DeficitPointEstimates(setup.tasks, setup.posts);
        // A single run raises the faults of these at the first block of its deficit tests.
        const tNormal_distribution standardNormal(0, 1);
        const CaseScores<2> statistic(posts[i], k, n, standardNormal);
        RaiseFloatingPointFaults();
    });
    if (prepared.empty()) {
        errors.RethrowFirst();
        return outcomes;
    }

    // Both streams start where a single run starts them, and the calling thread's
    // generator is left where a single run's deficit tests leave it.
    const StreamStart start = StartOfStreams(options.fixedSeed);
    std::array<Workspace, 2> workspaces;
    {
        StartStream(start);
        tNormal_distribution normal(0, 1);
        DeficitVariates source(k, n, normal);
        SharedVariates variates(options.draws, source.Stride());
        EvaluateCases(
            prepared, errors, workspaces, [&] { variates.DrawAll(source, options.blockHook); },
            [&](int i, Workspace& workspace) {
                EvaluateDeficits(variates, posts[i], k, n, limits, outcomes[i].tasks, workspace);
            });
    }
    const StreamStart afterDeficits{Seed1, Seed2};

    std::vector<int> remaining;
    for (const int i : prepared)
        if (!errors.Failed(i) && i < errors.First()) remaining.push_back(i);
    for (const std::vector<int>& group : CasesByVariates(remaining, differencePosts)) {
        StartStream(start);
        tNormal_distribution normal(0, 1);
        DifferenceVariates source(differencePosts[group.front()], k, n, normal);
        SharedVariates variates(options.draws, DifferenceVariates::Stride());
        EvaluateCases(
            group, errors, workspaces, [&] { variates.DrawAll(source, options.blockHook); },
            [&](int i, Workspace& workspace) {
                EvaluateDifference(variates, differencePosts[i], swapped[i], limits, outcomes[i], workspace);
            });
        for (const int i : group) outcomes[i].proposals = source.Proposals();
    }
    StartStream(afterDeficits);
    errors.RethrowFirst();
    return outcomes;
}

}  // namespace quorvane
