#include "engine/bayes_engines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "numerics/distrib.h"
#include "numerics/errors.h"

namespace quorvane {
namespace {

using ::testing::ThrowsMessage;

constexpr int kFewDraws = 20'000;

// n = 30 controls: `tasks` tasks (correlated .5) then k covariates (.3 with the rest).
tCaseStatistics Controls(int tasks, int k) {
    tCaseStatistics s;
    s.n = 30;
    s.k = k;
    for (int i = 1; i <= tasks + k; ++i) {
        s.means(i) = 50 + 5 * i;
        s.sds(i) = 10 + i;
        for (int j = 1; j <= tasks + k; ++j) s.corr(i, j) = i == j ? 1.0L : i <= tasks && j <= tasks ? 0.5L : 0.3L;
    }
    return s;
}

// Scores at the given SDs from the means: the tasks' first, then every covariate's.
tVector Case(const tCaseStatistics& s, int tasks, std::vector<long double> taskSDs, long double covariateSDs) {
    tVector scores;
    for (int i = 1; i <= tasks + s.k; ++i)
        scores(i) = s.means(i) + (i <= tasks ? taskSDs[i - 1] : covariateSDs) * s.sds(i);
    return scores;
}

struct SeriesCase {
    int k;
    bool dissociation;
    bool fixedSeed;
};

class Series : public ::testing::TestWithParam<SeriesCase> {};

// Every case's outcome is, to the bit, that of a single run on the controls and that
// case, and the generator is left where such a run leaves it. The second and the fourth
// case stand lower on task 2: the difference test takes the tasks swapped for them.
TEST_P(Series, EachCaseIsItsSingleRunToTheBit) {
    const auto [k, dissociation, fixedSeed] = GetParam();
    const int tasks = dissociation ? 2 : 1;
    const tCaseStatistics controls = Controls(tasks, k);
    const std::vector<tVector> cases{Case(controls, tasks, {-2.5, 0}, 0.3), Case(controls, tasks, {0.2, -3}, -1),
                                     Case(controls, tasks, {-1, -1.2}, 1.5), Case(controls, tasks, {1, -0.5}, 0)};
    const tTestOptions options{kFewDraws, fixedSeed, true, kCrediblePercent, {}};
    const auto run = [&](auto single, auto series) {
        Seed1 = 12345, Seed2 = 67890;
        const auto outcomes = series(controls, cases, options);
        const auto after = std::pair(Seed1, Seed2);
        ASSERT_EQ(outcomes.size(), cases.size());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(i);
            tCaseStatistics one = controls;
            one.caseScores = cases[i];
            Seed1 = 12345, Seed2 = 67890;
            EXPECT_EQ(outcomes[i], single(one, options));
            EXPECT_EQ(std::pair(Seed1, Seed2), after);
        }
    };
    if (dissociation) {
        run(DissociationMonteCarloTest, DissociationMonteCarloSeries);
    } else {
        run(static_cast<tDeficitOutcome (*)(const tCaseStatistics&, const tTestOptions&)>(CovariateMonteCarloTest),
            CovariateMonteCarloSeries);
    }
}

INSTANTIATE_TEST_SUITE_P(Tests, Series,
                         ::testing::Values(SeriesCase{0, false, true}, SeriesCase{2, false, true},
                                           SeriesCase{5, false, false}, SeriesCase{0, true, true},
                                           SeriesCase{2, true, false}, SeriesCase{5, true, true}),
                         [](const auto& info) {
                             return std::string(info.param.dissociation ? "Dissociation" : "Deficit") + "K" +
                                    std::to_string(info.param.k) + (info.param.fixedSeed ? "" : "FromTheGenerator");
                         });

// Two identical cases, with another between them, come out identical; a case that a
// single run refuses makes the series throw that run's error.
TEST(Series, IdenticalCasesAgreeAndARefusedCaseThrowsItsError) {
    const tCaseStatistics controls = Controls(2, 1);
    const tVector low = Case(controls, 2, {-2.5, 0}, 0), other = Case(controls, 2, {0, -2}, 1);
    const tTestOptions options{kFewDraws, true, true, kCrediblePercent, {}};
    const std::vector<tDissociationOutcome> outcomes = DissociationMonteCarloSeries(controls, {low, other, low}, options);
    EXPECT_EQ(outcomes[0], outcomes[2]);
    EXPECT_NE(outcomes[0], outcomes[1]);

    tVector beyond = low;
    beyond(1) = -1e9L;  // Phi cannot be evaluated on its draws
    EXPECT_THAT([&] { DissociationMonteCarloSeries(controls, {low, beyond, other}, options); },
                ThrowsMessage<EArgumentError>(ArgumentMessageText(kCodeArgumentTooLarge)));
    const tCaseStatistics task = Controls(1, 1);
    EXPECT_THAT([&] { CovariateMonteCarloSeries(task, {Case(task, 1, {0}, 0), beyond}, options); },
                ThrowsMessage<EArgumentError>(ArgumentMessageText(kCodeArgumentTooLarge)));
}

}  // namespace
}  // namespace quorvane
