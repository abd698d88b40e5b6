// Speed of the million-draw tests, alone and inside the whole analysis run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <vector>

#include "analysis/analysis_run.h"
#include "engine/bayes_engines.h"
#include "engine/deficit_power.h"
#include "engine/dissociation_power.h"
#include "numerics/distrib.h"

namespace {

using namespace quorvane;

// Summary statistics of a plausible control sample of n: task and k covariates with
// moderate positive correlations, a case well below its conditional mean.
tCaseStatistics MakeSummary(int k, int n) {
    tCaseStatistics s;
    s.n = n;
    s.k = k;
    const int p = k + 1;
    for (int i = 1; i <= p; ++i) {
        s.means(i) = 50 + 5 * i;
        s.sds(i) = 10 + i;
        s.caseScores(i) = s.means(i) + (i == 1 ? -2.5L : 0.3L) * s.sds(i);
        for (int j = 1; j <= p; ++j) s.corr(i, j) = i == j ? 1.0L : 0.3L;
    }
    return s;
}

void BM_CovariateMonteCarloTest(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    const tCaseStatistics s = MakeSummary(k, n);
    long double condMean = 0, condSD = 0;
    tCovariateResults results;
    tDrawHistogram histogram;
    for (auto _ : state) {
        CovariateMonteCarloTest(k, n, kDraws, true, true, kCrediblePercent, s.sds, s.means,
                                s.caseScores, s.corr, condMean, condSD, results, histogram);
        benchmark::DoNotOptimize(results);
    }
}
BENCHMARK(BM_CovariateMonteCarloTest)->Args({5, 120})->Args({0, 30})->Args({1, 3})->Args({1, 5})->Args({1, 30})->Args({2, 36})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// BM_CovariateMonteCarloTest's summary with a second task after the first, on which the
// case scores at the mean: correlated 0.5 with the first task, 0.3 with the covariates.
tCaseStatistics WithSecondTask(const tCaseStatistics& one) {
    const int k = one.k;
    tCaseStatistics s;
    s.n = one.n;
    s.k = k;
    const auto from = [](int i) { return i == 1 ? 1 : i - 1; };  // the variable of `one` that i is
    for (int i = 1; i <= k + 2; ++i) {
        if (i == 2) continue;
        s.means(i) = one.means(from(i));
        s.sds(i) = one.sds(from(i));
        s.caseScores(i) = one.caseScores(from(i));
        for (int j = 1; j <= k + 2; ++j)
            if (j != 2) s.corr(i, j) = one.corr(from(i), from(j));
    }
    s.means(2) = s.caseScores(2) = 40;
    s.sds(2) = 8;
    for (int j = 1; j <= k + 2; ++j) s.corr(2, j) = s.corr(j, 2) = j == 2 ? 1.0L : j == 1 ? 0.5L : 0.3L;
    return s;
}

// The whole dissociation analysis: the deficit test on each task and the difference test,
// a million draws each. k = 1, n = 5 is the smallest sample the difference test takes with a
// covariate.
void BM_DissociationMonteCarloTest(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    const tCaseStatistics s = WithSecondTask(MakeSummary(k, n));
    tDissociationOutcome outcome;
    for (auto _ : state) {
        outcome = DissociationMonteCarloTest(s, {});
        benchmark::DoNotOptimize(outcome);
    }
    state.counters["acceptance"] = static_cast<double>(kDraws) / static_cast<double>(outcome.proposals);
}
BENCHMARK(BM_DissociationMonteCarloTest)->Args({5, 120})->Args({0, 30})->Args({1, 5})->Args({1, 30})->Args({2, 36})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A series of cases against one control sample (k = 2, n = 40) beside as many single
// runs: the argument is the number of cases. The series draws the posterior once for all
// cases; a series of 50 against 51, or of 1 against 2, gives the cost of one more case,
// and a series of 1 against a single run the series' own overhead. The processor time
// of all threads is reported beside the real time, which other work on the machine
// inflates.
std::vector<tVector> SeriesCases(const tCaseStatistics& controls, int count, int tasks) {
    std::vector<tVector> cases(count);
    for (int c = 0; c < count; ++c) {
        for (int i = 1; i <= tasks + controls.k; ++i) {
            const long double sds = i <= tasks ? -3 + 0.1L * ((c * (i + 2)) % 31) : 0.05L * (c % 11) - 0.25L;
            cases[c](i) = controls.means(i) + sds * controls.sds(i);
        }
    }
    return cases;
}

template <class Run>
void RunSeriesBenchmark(benchmark::State& state, int tasks, Run run) {
    const tCaseStatistics one = MakeSummary(2, 40);
    const tCaseStatistics controls = tasks == 1 ? one : WithSecondTask(one);
    const std::vector<tVector> cases = SeriesCases(controls, static_cast<int>(state.range(0)), tasks);
    const std::clock_t start = std::clock();
    for (auto _ : state) run(controls, cases);
    state.counters["cpu_s"] = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / state.iterations();
    state.counters["cases"] = static_cast<double>(cases.size());
}

void BM_DeficitSeries(benchmark::State& state) {
    RunSeriesBenchmark(state, 1, [](const tCaseStatistics& controls, const std::vector<tVector>& cases) {
        benchmark::DoNotOptimize(CovariateMonteCarloSeries(controls, cases, {}));
    });
}
BENCHMARK(BM_DeficitSeries)->Arg(1)->Arg(2)->Arg(50)->Arg(51)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1);

void BM_DeficitSingleRuns(benchmark::State& state) {
    RunSeriesBenchmark(state, 1, [](tCaseStatistics controls, const std::vector<tVector>& cases) {
        for (const tVector& scores : cases) {
            controls.caseScores = scores;
            benchmark::DoNotOptimize(CovariateMonteCarloTest(controls, {}));
        }
    });
}
BENCHMARK(BM_DeficitSingleRuns)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_DissociationSeries(benchmark::State& state) {
    RunSeriesBenchmark(state, 2, [](const tCaseStatistics& controls, const std::vector<tVector>& cases) {
        benchmark::DoNotOptimize(DissociationMonteCarloSeries(controls, cases, {}));
    });
}
BENCHMARK(BM_DissociationSeries)->Arg(1)->Arg(2)->Arg(50)->Arg(51)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1);

void BM_DissociationSingleRuns(benchmark::State& state) {
    RunSeriesBenchmark(state, 2, [](tCaseStatistics controls, const std::vector<tVector>& cases) {
        for (const tVector& scores : cases) {
            controls.caseScores = scores;
            benchmark::DoNotOptimize(DissociationMonteCarloTest(controls, {}));
        }
    });
}
BENCHMARK(BM_DissociationSingleRuns)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The two halves of the test's work, each on one thread, a million times over: what any
// division of the work between the two threads has to share out.

// The variates of a million draws at k = 5, n = 120: a chi-square variate with 114
// degrees of freedom and six standard normal variates per draw.
void BM_VariatesOfAMillionDraws(benchmark::State& state) {
    tNormal_distribution normal(0, 1);
    tChi_square_distribution chiSquare(114);
    for (auto _ : state) {
        long double sum = 0;
        for (int t = 0; t < kDraws; ++t) {
            sum = sum + chiSquare.Draw();
            for (int i = 0; i < 6; ++i) sum = sum + normal.Draw();
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_VariatesOfAMillionDraws)->Unit(benchmark::kMillisecond);

// A million values of Phi at Z_t values spread like those of the k = 5 benchmark: its
// Z-CCC is -3.03 and its 95% interval -3.40 to -2.53, so all take the continued fraction.
void BM_MillionNormalCdfs(benchmark::State& state) {
    tNormal_distribution normal(0, 1);
    std::vector<long double> z(kDraws);
    for (long double& value : z) value = -3.03L + 0.22L * normal.Draw();
    for (auto _ : state) {
        long double sum = 0;
        for (const long double value : z) sum = sum + normal.Cdf(value);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_MillionNormalCdfs)->Unit(benchmark::kMillisecond);

// The exact power of the deficit test at one n, k covariates, the case's covariates
// Delta^2 = 2 from their means and an expected score 2.5 conditional SDs below.
void BM_DeficitPower(benchmark::State& state) {
    const DeficitPowerQuestion question{static_cast<int>(state.range(1)), static_cast<int>(state.range(0)), -2.5, 2,
                                        0.05, Alternative::Less};
    for (auto _ : state) benchmark::DoNotOptimize(DeficitPower(question));
}
BENCHMARK(BM_DeficitPower)->Args({0, 30})->Args({1, 30})->Args({5, 30})->Args({2, 200})->Unit(benchmark::kMillisecond);

// The whole curve with the sample size for a power of .8.
void BM_PlanDeficitStudy(benchmark::State& state) {
    const DeficitPowerQuestion question{0, static_cast<int>(state.range(0)), -3, 2, 0.05, Alternative::Less};
    for (auto _ : state) benchmark::DoNotOptimize(PlanDeficitStudy(question, 0.8));
}
BENCHMARK(BM_PlanDeficitStudy)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

// The power of the dissociation tests at the defaults, 10,000 studies of 10,000 draws each,
// on both threads: the population of BM_DissociationMonteCarloTest, the case expected
// 2.5 SDs below the mean on task 1 and at the mean on task 2.
void BM_DissociationPower(benchmark::State& state) {
    DissociationPowerQuestion question;
    question.population =
        WithSecondTask(MakeSummary(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    question.expectedScores = {question.population.means(1) - 2.5L * question.population.sds(1),
                               question.population.means(2)};
    std::optional<DissociationPowerResult> result;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        result = DissociationPower(question);
        benchmark::DoNotOptimize(result);
    }
    // The processor time of both threads over two: the run's time on two idle cores.
    state.counters["cpu_per_core_s"] = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / 2;
    state.counters["power"] = result->difference.power;
}
BENCHMARK(BM_DissociationPower)->Args({2, 30})->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// Keeps quiet: the request names its file.
class QuietPlatform : public Platform {
public:
    MessageAnswer ShowMessage(MessageKind, const std::string&, const std::string&) override {
        return MessageAnswer::Ok;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> AskSaveFileName(const FileDialogOptions&) override { return std::nullopt; }
    void Beep() override {}
    void SetBusyCursor(bool) override {}
    void BringToFront() override {}
    void PrintText(const std::string&, const std::vector<ReportFigure>&) override {}
    std::string ExecutableFolder() override { return "."; }
    std::string CurrentDirectory() override { return "."; }
};

void BM_RunAnalysis(benchmark::State& state) {
    const int n = 120, k = 5;
    const auto file = std::filesystem::temp_directory_path() / "quorvane_bench_data.txt";
    {
        std::mt19937 random(7);
        std::normal_distribution<double> normal(0, 1);
        std::ofstream out(file);
        for (int row = 1; row <= n + 1; ++row) {
            const double shared = normal(random);
            for (int col = 1; col <= k + 1; ++col) out << 50 + 10 * (0.6 * shared + 0.8 * normal(random)) << ' ';
            out << '\n';
        }
    }
    AnalysisRequest request;
    request.nText = std::to_string(n);
    request.kText = std::to_string(k);
    request.source = RawDataFile{file.string()};
    QuietPlatform platform;
    for (auto _ : state) {
        const AnalysisOutcome outcome = RunAnalysis(request, platform, ComputeOptions{.saveInputs = false});
        benchmark::DoNotOptimize(outcome);
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_RunAnalysis)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
