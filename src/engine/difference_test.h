#pragma once
// The difference test's posterior and its draws, for the difference test itself and for
// the simulation of studies that estimates its power.

#include <array>
#include <cmath>
#include <optional>

#include "engine/bayes_engines.h"
#include "engine/deficit_test.h"
#include "engine/regression_fit.h"
#include "numerics/distrib.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

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
    long double s1 = 0, s2 = 0;          // sqrt(S11), sqrt(S22): the residual SDs, denominator n - k - 1

    // Every quantity is either scale-free or in the units of the case's scores alike.
    void ReturnToUnits(const std::array<int, kMaxVars>&) {}
};

// The posterior of the inputs' two tasks (m = 2) on their k covariates, or nothing with
// the failure's message when the fit stops, the tasks are correlated beyond
// kMaxConditionalCorrelation given the covariates, or their residual covariance is
// singular.
std::optional<DifferencePosterior> FitDifference(const SummaryInputs& in, FitFailure& failure);

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
tPercentWithLimits PercentMoreExtreme(const tCovariateResults& r);

// The difference test's outcome on the tasks taken the other way round: the draws of
// Z_DCCC negated, so the limits change places, the percentage below turns into the
// percentage above, and the histogram turns over. The p values, the percentage more
// extreme (on the case's own tail whichever it is) and the proposals stay as they are,
// to the last digit. Exact for the limits because CredibleLimitIndices gives
// lo = draws + 1 - hi for every limit type.
void MirrorDifference(tDissociationOutcome& outcome);

// Refuses (std::invalid_argument) a k or an n that the difference test cannot take.
void CheckDissociationArguments(int k, int n);

// What the difference test fixes before its draws: each task's deficit posterior, the
// canonical order of the tasks and the posterior of the difference in that order, with
// the outcome's conditional correlation and Z-DCCC. Throws what the fits throw.
struct DissociationSetup {
    std::array<SummaryInputs, 2> tasks;
    std::array<Posterior, 2> posts;
    bool swapped = false;
    DifferencePosterior post;
    tDissociationOutcome result;
};
DissociationSetup PrepareDissociation(const tCaseStatistics& statistics);

}  // namespace quorvane
