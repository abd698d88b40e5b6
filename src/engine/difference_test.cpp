// The standardised difference test of a dissociation: its posterior, its draws, the
// canonical order of the tasks and the mirroring of its outcome.

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/bayes_engines.h"
#include "engine/deficit_test.h"
#include "engine/draw_pipeline.h"
#include "engine/draw_summary.h"
#include "engine/regression_fit.h"
#include "numerics/distrib.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

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
        failure.message =
            "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control "
            "sample" +
            which + RefusedCorrelation(post.condCorrelation) + ", where the test takes at most " +
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

// 100 x the one-tailed p and its limits on the case's own tail. Above it, the limits are
// Phi of the negated Z limits: 100 minus a percentage near 100 would lose their digits.
tPercentWithLimits PercentMoreExtreme(const tCovariateResults& r) {
    if (r(PercentBelow) <= 50) return {r(PercentBelow), r(PercentBelowLower), r(PercentBelowUpper)};
    return {100 - r(PercentBelow), DifferenceScore::Phi(-r(ZCCCUpper)) * 100,
            DifferenceScore::Phi(-r(ZCCCLower)) * 100};
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

tDissociationOutcome DissociationMonteCarloTest(const tCaseStatistics& statistics, const tTestOptions& options) {
    const int n = statistics.n, k = statistics.k;
    const int draws = options.draws;
    const LimitIndices limits = CheckedLimitIndices(draws, options.percent, options.twoSided);
    if (k < 0 || k + 2 > kMaxVars)
        throw std::invalid_argument("The number of covariates must lie between 0 and " + std::to_string(kMaxVars - 2));
    if (n - k - 2 <= 1) throw std::invalid_argument("The difference test needs n - k - 2 > 1: at least k + 4 controls");
    const SummaryInputs given{statistics, 2};
    const std::array<SummaryInputs, 2> tasks{TaskWithCovariates(given, 1), TaskWithCovariates(given, 2)};
    const std::array<Posterior, 2> posts{FitOrThrow(tasks[0], FitPosterior), FitOrThrow(tasks[1], FitPosterior)};
    const auto zccc = [&](int j) { return (tasks[j].caseScores(1) - posts[j].condMean) / posts[j].condSD; };
    // The difference test runs on the tasks in their canonical order and is mirrored
    // afterwards when that is not the order given.
    const std::array<long double, 2> z{zccc(0), zccc(1)};
    const bool swapped = SecondTaskFirst(tasks, z);
    const SummaryInputs both = swapped ? WithTasksSwapped(given) : given;
    const DifferencePosterior post = FitOrThrow(both, FitDifference);

    const StreamStart start = StartOfStreams(options.fixedSeed);
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
        const auto [sum] = DrawPipeline(source, statistic, draws, {&store}, options.blockHook).ProbabilitySums();
        result.proposals = source.Proposals();
        SummariseDraws(sum, draws, limits, store, DifferenceScore::Phi, result.difference, result.differenceHistogram);
        result.moreExtreme = PercentMoreExtreme(result.difference);
    });
    try {
        DeficitDraws<2> drawn = DrawDeficits(tasks, posts, draws, start, options.blockHook);
        result.tasks = SummariseDeficits(drawn, draws, limits);
    } catch (...) {
        difference.wait();  // it works on this frame's values; an error of the deficit tests comes first
        throw;
    }
    difference.get();
    if (swapped) MirrorDifference(result);
    return result;
}

}  // namespace quorvane
