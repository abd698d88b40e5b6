#include "engine/deficit_power.h"

#include <algorithm>
#include <boost/math/distributions/non_central_beta.hpp>
#include <boost/math/distributions/non_central_t.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/quadrature/tanh_sinh.hpp>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "numerics/fp_faults.h"

namespace quorvane {

namespace {

namespace bm = boost::math;

void CheckQuestion(const DeficitPowerQuestion& q) {
    if (q.k < 0 || q.k > 5) throw std::invalid_argument("The number of covariates must lie between 0 and 5");
    if (q.n < q.k + 2) throw std::invalid_argument("The deficit test needs at least k + 2 controls");
    if (!(q.alpha > 0 && q.alpha <= 0.5)) throw std::invalid_argument("alpha must lie in (0, 0.5]");
    if (!std::isfinite(q.delta)) throw std::invalid_argument("delta must be finite");
    if (!(q.distance2 >= 0 && std::isfinite(q.distance2)))
        throw std::invalid_argument("The squared distance of the covariates must be finite and not negative");
}

// The probability that a noncentral t (nu, ncp) falls where the test rejects at alpha.
class Rejection {
public:
    Rejection(double nu, double alpha, Alternative alternative) : nu_(nu), alternative_(alternative) {
        const bm::students_t t(nu);
        critical_ = alternative == Alternative::TwoSided ? bm::quantile(bm::complement(t, alpha / 2))
                                                         : bm::quantile(bm::complement(t, alpha));
    }

    double operator()(double ncp) const {
        const bm::non_central_t t(nu_, ncp);
        switch (alternative_) {
            case Alternative::Less: return bm::cdf(t, -critical_);
            case Alternative::Greater: return bm::cdf(bm::complement(t, critical_));
            case Alternative::TwoSided: break;
        }
        return bm::cdf(t, -critical_) + bm::cdf(bm::complement(t, critical_));
    }

private:
    double nu_;
    Alternative alternative_;
    double critical_ = 0;  // the upper critical value, positive
};

}  // namespace

DeficitPowerQuestion DeficitPowerQuestionFor(const tCaseStatistics& population, long double expectedScore, double alpha,
                                             Alternative alternative) {
    const int k = population.k, p = k + 1;
    tMatrix condCov, rxx, rxxInverse;
    tVector condMean, z;
    tSelector covariates;
    for (int i = 2; i <= p; ++i) covariates(i) = true;
    MatSelect(population.corr, p, covariates, rxx);
    if (!ConditionalMoments(p, k, population.corr, population.sds, population.means, population.caseScores, condCov,
                            condMean) ||
        !MatInverse(rxx, k, rxxInverse))
        throw std::invalid_argument("The correlations of the task and the covariates cannot be inverted");
    for (int i = 1; i <= k; ++i)
        z(i) = (population.caseScores(i + 1) - population.means(i + 1)) / population.sds(i + 1);
    long double distance2 = 0;
    for (int i = 1; i <= k; ++i)
        for (int j = 1; j <= k; ++j) distance2 += z(i) * rxxInverse(i, j) * z(j);
    const long double delta = (expectedScore - condMean(1)) / std::sqrt(condCov(1, 1));
    ClearFloatingPointFaults();
    return {population.n, k, static_cast<double>(delta), static_cast<double>(distance2), alpha, alternative};
}

double DeficitPower(const DeficitPowerQuestion& q) {
    CheckQuestion(q);
    const double n = q.n, k = q.k;
    const Rejection rejection(n - k - 1, q.alpha, q.alternative);
    double power = 0;
    if (q.k == 0) {
        power = rejection(q.delta / std::sqrt(1 + 1 / n));
    } else {
        // With the F variate u, b = u k / (u k + n - k) is noncentral beta (k/2, (n - k)/2)
        // with the same noncentrality, and h = 1/n + u k / ((n - k) n) = 1 / (n (1 - b)):
        // an integral over (0, 1), whose endpoint singularities tanh-sinh takes in its stride.
        const bm::non_central_beta beta(k / 2, (n - k) / 2, n * q.distance2);
        const auto integrand = [&](double b, double oneMinusB) {
            const double density = bm::pdf(beta, b);
            if (density == 0) return 0.0;
            return density * rejection(q.delta / std::sqrt(1 + 1 / (n * oneMinusB)));
        };
        // Split where the density's mass lies, near the mean of the Poisson mixture of
        // central betas: with the peak at an end of each piece, whose abscissas crowd
        // there, a peak however narrow (a large n Delta^2) is not stepped over. On the
        // upper piece the quadrature gives each abscissa's distance to the nearer end,
        // which near 1 is 1 - b with its digits kept.
        const double a = k / 2, halfLambda = n * q.distance2 / 2;
        const double split = (a + halfLambda) / (a + (n - k) / 2 + halfLambda);
        bm::quadrature::tanh_sinh<double> integrator;
        power = integrator.integrate([&](double b) { return integrand(b, 1 - b); }, 0.0, split, 1e-10) +
                integrator.integrate(
                    [&](double b, double toNearerEnd) { return integrand(b, toNearerEnd > 0 ? toNearerEnd : 1 - b); },
                    split, 1.0, 1e-10);
    }
    // The special functions' intermediate steps may leave flags that say nothing of the result.
    ClearFloatingPointFaults();
    return std::min(1.0, std::max(0.0, power));
}

double DeficitPowerAsymptote(double delta, double alpha, Alternative alternative) {
    const bm::normal z;
    const double critical = bm::quantile(bm::complement(z, alternative == Alternative::TwoSided ? alpha / 2 : alpha));
    switch (alternative) {
        case Alternative::Less: return bm::cdf(z, -critical - delta);
        case Alternative::Greater: return bm::cdf(bm::complement(z, critical - delta));
        case Alternative::TwoSided: break;
    }
    return bm::cdf(z, -critical - delta) + bm::cdf(bm::complement(z, critical - delta));
}

DeficitStudyPlan PlanDeficitStudy(const DeficitPowerQuestion& question, double targetPower) {
    if (!(targetPower > question.alpha && targetPower < 1))
        throw std::invalid_argument("The target power must lie between alpha and 1");
    DeficitStudyPlan plan;
    plan.asymptote = DeficitPowerAsymptote(question.delta, question.alpha, question.alternative);
    DeficitPowerQuestion q = question;
    const auto power = [&](int n) {
        q.n = n;
        return DeficitPower(q);
    };
    int previous = 0;  // the curve's n before the one that first reaches the target
    for (int n = question.k + 2;; n = std::min(kMaxPlannedSampleSize, std::max(n + 1, n * 21 / 20))) {
        plan.curve.push_back({n, power(n)});
        const double p = plan.curve.back().power;
        if (!plan.sampleSize && p >= targetPower) {
            // Between two points of the curve, the smallest n by bisection: the power
            // rises with n.
            int lo = previous, hi = n;
            while (lo != 0 && hi - lo > 1) {
                const int mid = lo + (hi - lo) / 2;
                (power(mid) >= targetPower ? hi : lo) = mid;
            }
            plan.sampleSize = hi;
        }
        previous = n;
        // Near the asymptote the curve has said what it can, unless the target lies between.
        const bool targetBeyond = !plan.sampleSize && plan.asymptote >= targetPower;
        if ((std::fabs(p - plan.asymptote) <= kNearAsymptote && !targetBeyond) || n == kMaxPlannedSampleSize) break;
    }
    return plan;
}

}  // namespace quorvane
