#pragma once
// The two-thread pipeline of a test's draws, apart from what is drawn: a source of
// variates and a statistic of them.

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "numerics/fp_faults.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

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
// Phi. The hook, when given, is called with a block's index before that block is
// processed, on whichever thread processes it: a test's way to hold the processing back.
template <class Source, class Statistic>
class DrawPipeline {
public:
    static constexpr std::size_t kStreams = Statistic::kCount;
    using Stores = std::array<tDrawArray*, kStreams>;
    using Sums = std::array<long double, kStreams>;
    using Hook = std::function<void(int block)>;
    static constexpr int kBlock = 2048;     // draws a block
    static constexpr int kRingBlocks = 16;  // blocks the ring holds

    DrawPipeline(Source& source, const Statistic& statistic, int draws, const Stores& stores, Hook hook = {})
        : draws_(draws),
          stride_(source.Stride()),
          blockCount_((draws + kBlock - 1) / kBlock),
          source_(source),
          statistic_(statistic),
          stores_(stores),
          ring_(std::make_unique_for_overwrite<long double[]>(kRingBlocks * kBlock * stride_)),
          probabilities_(std::make_unique_for_overwrite<long double[]>(static_cast<std::size_t>(draws) * kStreams)),
          done_(blockCount_, false),
          limit_(blockCount_),
          hook_(std::move(hook)) {}

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
        if (hook_) hook_(b);
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
    const Hook hook_;
};

}  // namespace quorvane
