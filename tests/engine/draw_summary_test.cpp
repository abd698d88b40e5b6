#include "engine/bayes_engines.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(CredibleLimitIndices, UpperIndexIsOneAboveTheRoundedProduct) {
    EXPECT_EQ(CredibleLimitIndices(1'000'000, 95, true), (LimitIndices{25'000, 975'001}));
    EXPECT_EQ(CredibleLimitIndices(1'000'000, 95, false), (LimitIndices{50'000, 950'001}));
    EXPECT_EQ(CredibleLimitIndices(1'000, 95, true), (LimitIndices{25, 976}));
    // 0.5 rounds to the even neighbour: 90% two-sided over 5 draws puts lo at round(0.25) = 0
    // and hi at round(4.75) + 1 = 6; 10 draws give round(0.5) = 0 and round(9.5) + 1 = 11.
    EXPECT_EQ(CredibleLimitIndices(10, 90, true), (LimitIndices{0, 11}));
    EXPECT_EQ(CredibleLimitIndices(30, 90, true), (LimitIndices{2, 29}));
}

}  // namespace
}  // namespace quorvane
