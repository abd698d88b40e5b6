#include "engine/bayes_engines.h"

#include <gtest/gtest.h>

#include "engine/engine_samples.h"

namespace quorvane {
namespace {

TEST(RegressionFromSummary, ReproducesTheWorkedExample) {
    const tCaseStatistics s = ThreeControls();
    tMatrix coef, resid, inv;
    ASSERT_TRUE(RegressionFromSummary(s.corr, s.sds, s.means, 1, 1, 3, coef, resid, inv));
    EXPECT_NEAR(inv(1, 1), 5069.0L / 78, 1e-12L);
    EXPECT_NEAR(inv(1, 2), -41.0L / 26, 1e-13L);
    EXPECT_NEAR(inv(2, 1), -41.0L / 26, 1e-13L);
    EXPECT_NEAR(inv(2, 2), 1.0L / 26, 1e-15L);
    EXPECT_NEAR(coef(1, 1), 184.0L / 13, 1e-12L);
    EXPECT_NEAR(coef(2, 1), -1.0L / 13, 1e-14L);
    EXPECT_NEAR(resid(1, 1), 24.0L / 13, 1e-12L);
    // Outside the named blocks every cell is zero.
    EXPECT_EQ(coef(1, 2), 0);
    EXPECT_EQ(coef(3, 1), 0);
    EXPECT_EQ(resid(2, 2), 0);
    EXPECT_EQ(inv(3, 3), 0);
}

// ---- Without covariates ----

// The design is a column of ones: X'X = n, the coefficients are the means and the
// residual covariance is the tasks' covariance; every other cell stays 0.
TEST(RegressionFromSummary, WithoutCovariatesGivesTheMeansAndTheCovariance) {
    const tCaseStatistics s = Summary(20, 0, {50, 30}, {10, 6}, {40, 25}, {0.6L});
    tMatrix coef, resid, inv;
    ASSERT_TRUE(RegressionFromSummary(s.corr, s.sds, s.means, 2, 0, s.n, coef, resid, inv));
    EXPECT_NEAR(inv(1, 1), 1 / 20.0L, 1e-20L);
    EXPECT_NEAR(coef(1, 1), 50, 1e-15L);
    EXPECT_NEAR(coef(1, 2), 30, 1e-15L);
    // Y'Y - 2 coef' X'Y + coef' X'X coef cancels n times the squared means: 1e5 here.
    EXPECT_NEAR(resid(1, 1), 100, 1e-12L);
    EXPECT_NEAR(resid(1, 2), 36, 1e-12L);
    EXPECT_NEAR(resid(2, 2), 36, 1e-12L);
    EXPECT_EQ(inv(1, 2), 0);
    EXPECT_EQ(inv(2, 2), 0);
    EXPECT_EQ(coef(2, 1), 0);
    EXPECT_EQ(resid(3, 3), 0);
}

}  // namespace
}  // namespace quorvane
