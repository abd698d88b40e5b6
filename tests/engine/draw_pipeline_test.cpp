#include "engine/draw_pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace quorvane {
namespace {

// Source and statistic at once: draws a counter t, failing at draw drawFailsAt, and turns
// it into t and t / 2, failing at the draws processFailsAt; their Phi, 1 / (1 + z^2), sum
// to a value that depends on the order of the terms.
struct Toy {
    static constexpr std::size_t kCount = 2;
    int drawFailsAt = -1;
    std::array<int, 2> processFailsAt{-1, -1};
    std::atomic<int> drawn{0};
    mutable std::atomic<int> failures{0};

    static int Stride() { return 1; }
    void Draw(long double* out) {
        if (drawn == drawFailsAt) throw std::runtime_error("drawing " + std::to_string(drawFailsAt));
        out[0] = drawn++;
    }
    std::array<long double, 2> operator()(const long double* v) const {
        if (const auto at = std::ranges::find(processFailsAt, v[0]); at != processFailsAt.end()) {
            ++failures;
            throw std::runtime_error("processing " + std::to_string(*at));
        }
        return {v[0], v[0] / 2};
    }
    static long double Phi(long double z) { return 1 / (1 + z * z); }
};

using Pipeline = DrawPipeline<Toy, Toy>;
constexpr int kBlock = Pipeline::kBlock;

// Waits until done() or a second has passed (the other thread may never come to it).
template <class Done>
void WaitFor(Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Block 0 is held back until the drawing thread has filled the ring behind it, and a while
// longer: a drawing thread that did not wait for room would overwrite its variates. Every
// draw is stored where it belongs, and the Phi are summed in draw order.
TEST(DrawPipeline, AFullRingKeepsEveryDrawAndSumsInDrawOrder) {
    const int draws = (Pipeline::kRingBlocks + 4) * kBlock + 5;
    Toy toy;
    std::array<tDrawArray, 2> stores;
    const auto sums = Pipeline(toy, toy, draws, {&stores[0], &stores[1]}, [&](int block) {
                          if (block > 0) return;
                          WaitFor([&] { return toy.drawn >= Pipeline::kRingBlocks * kBlock; });
                          std::this_thread::sleep_for(std::chrono::milliseconds(20));
                      }).ProbabilitySums();
    for (int j = 0; j < 2; ++j) {
        long double sum = 0;
        for (int t = 0; t < draws; ++t) {
            const long double z = j == 0 ? t : t / 2.0L;
            ASSERT_EQ(stores[j](t + 1), static_cast<double>(z)) << "draw " << t;
            sum = sum + Toy::Phi(z);
        }
        EXPECT_EQ(sums[j], sum);
    }
}

struct Failure {
    int drawFailsAt;
    std::array<int, 2> processFailsAt;
    int heldBlock;     // held back until another block has failed
    int waitingBlock;  // held back until heldBlock is
    std::string reported;
};

class EarliestError : public ::testing::TestWithParam<Failure> {};

TEST_P(EarliestError, IsTheOneReported) {
    const auto& [drawFailsAt, processFailsAt, heldBlock, waitingBlock, reported] = GetParam();
    Toy toy;
    toy.drawFailsAt = drawFailsAt;
    toy.processFailsAt = processFailsAt;
    std::atomic<bool> held{false};
    std::array<tDrawArray, 2> stores;
    Pipeline pipeline(toy, toy, 20 * kBlock, {&stores[0], &stores[1]}, [&](int block) {
        if (block == waitingBlock) WaitFor([&] { return held.load(); });
        if (block != heldBlock) return;
        held = true;
        WaitFor([&] { return toy.failures > 0; });
    });
    EXPECT_THAT([&] { pipeline.ProbabilitySums(); }, ::testing::ThrowsMessage<std::runtime_error>(reported));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EarliestError,
    ::testing::Values(
        // A failed processing of an earlier block beats a later failed drawing, and the reverse.
        Failure{5 * kBlock + 3, {3 * kBlock + 1, -1}, -1, -1, "processing " + std::to_string(3 * kBlock + 1)},
        Failure{3 * kBlock + 1, {5 * kBlock + 3, -1}, -1, -1, "drawing " + std::to_string(3 * kBlock + 1)},
        Failure{2 * kBlock, {2 * kBlock - 1, -1}, -1, -1, "processing " + std::to_string(2 * kBlock - 1)},
        // The earlier block's error, whether it comes second or first.
        Failure{-1, {9 * kBlock, 2 * kBlock + 7}, 2, -1, "processing " + std::to_string(2 * kBlock + 7)},
        Failure{-1, {2 * kBlock + 7, 3 * kBlock}, 3, 2, "processing " + std::to_string(2 * kBlock + 7)}));

}  // namespace
}  // namespace quorvane
