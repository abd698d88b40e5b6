#include "numerics/distrib.h"

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "numerics/errors.h"

namespace quorvane {

// ---- Numeric helpers ----

namespace {

// The relation CheckBound requires of the value for each code.
enum class tRelation { Greater, NotBelow, Below };

tRelation RelationOf(int code) {
    switch (code) {
        case kCodeMustExceed:
        case kCodeSecondMustExceed:
            return tRelation::Greater;
        case kCodeMustNotBeBelow:
            return tRelation::NotBelow;
        case kCodeMustBeBelow:
            return tRelation::Below;
        default:
            throw std::logic_error("CheckBound: message code " + std::to_string(code) +
                                   " selects no relation");
    }
}

// ln Gamma(1/2), used by every evaluation of the normal distribution function; computed
// once by the same routine, so the value is the one LogGamma(0.5) gives. The argument
// goes through a volatile so that the compiler cannot evaluate the logarithms at build
// time: its correctly rounded results can differ in the last bit from the C library's.
long double LogGammaOfHalf() {
    static const long double value = [] {
        volatile long double half = 0.5L;
        return LogGamma(half);
    }();
    return value;
}

long double LogGammaOf(long double a) { return a == 0.5L ? LogGammaOfHalf() : LogGamma(a); }

// |change / value| < 5e-12, decided exactly as the rounded quotient decides it. Extended
// division is slow and the quotient is nearly always far from the tolerance, so it is
// computed only when the product test lands within 0.1% of the boundary.
bool RelativeChangeBelowTolerance(long double change, long double value) {
    const long double bound = std::fabs(value) * kTolerance;
    const long double size = std::fabs(change);
    if (bound > 0) {
        if (size < bound * 0.999L) return true;
        if (size > bound * 1.001L) return false;
    }
    return std::fabs(change / value) < kTolerance;
}

}  // namespace

std::string ArgumentMessageText(int code) {
    switch (code) {
        case kCodeMustExceed:
            return "Argument must be greater than ";
        case kCodeMustNotBeBelow:
            return "Argument must not be less than ";
        case kCodeMustBeBelow:
            return "Argument must be less than ";
        case kCodeSecondMustExceed:
            return "Second argument must be greater than ";
        case kCodeArgumentTooLarge:
            return "Argument too large for the incomplete gamma function";
        default:
            return "Invalid argument, code " + std::to_string(code) + ": ";
    }
}

bool NearlyEqual(long double a, long double b) { return std::fabs(a - b) < kTolerance; }

// The exact binary value rounded to twelve decimals, then trailing zeros and a bare
// separator dropped. A value that rounds to zero is written "0", without a sign.
std::string FormatNumber(long double x, char decimalSeparator) {
    constexpr int kDecimals = 12;
    // Up to 4933 digits before the point, the point, the decimals and a sign.
    std::array<char, 4960> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x,
                                            std::chars_format::fixed, kDecimals);
    if (error != std::errc()) throw std::length_error("number too long to format");
    std::string text(buffer.data(), end);
    if (const auto point = text.find('.'); point != std::string::npos) {
        const auto last = text.find_last_not_of('0');
        text.erase(last == point ? point : last + 1);
        if (last != point) text[point] = decimalSeparator;
    }
    if (text == "-0") text = "0";
    return text;
}

// Square-and-multiply over the bits of |n|, lowest first; |n| as unsigned so that
// n = INT32_MIN has a magnitude.
long double IntegerPower(long double base, std::int32_t n) {
    std::uint32_t bits = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    long double result = 1;
    long double x = base;
    while (bits != 0) {
        if (bits & 1u) result = result * x;
        bits >>= 1;
        if (bits != 0) x = x * x;
    }
    return n < 0 ? 1 / result : result;
}

// Integer exponents in the 32-bit range by IntegerPower, all others as exp(e ln b).
// The test and the conversion switch no x87 rounding mode (truncation does, with two
// control-word loads whose cost on some processors swings with where the code lies):
// rint(e) == e exactly for the integers, and a 32-bit integer passes exactly through
// double, whose conversion is an SSE one.
long double Power(long double base, long double exponent) {
    if (exponent == 0) return 1;
    if (base == 0 && exponent > 0) return 0;
    if (std::rint(exponent) == exponent && std::fabs(exponent) <= kInfinity)
        return IntegerPower(base, static_cast<std::int32_t>(static_cast<double>(exponent)));
    return std::exp(exponent * std::log(base));
}

// Lanczos approximation with six coefficients (gamma = 5); about 1e-10 absolute for x > 0.
long double LogGamma(long double xx) {
    static constexpr std::array<long double, 6> kCoefficients = {
        76.18009172947146L,     -86.50532032941677L,    24.01409824083091L,
        -1.231739572450155L,    0.1208650973866179e-2L, -0.5395239384953e-5L};
    long double x = xx - 1;
    long double t = x + 5.5L;
    t = (x + 0.5L) * std::log(t) - t;
    long double s = 1;
    for (const long double c : kCoefficients) {
        x = x + 1;
        s = s + c / x;
    }
    return t + std::log(2.5066282746310005L * s);
}

// Regularised lower incomplete gamma P(a, x): power series below a + 1, the
// continued fraction for Q = 1 - P from there on.
long double IncompleteGamma(long double a, long double x) {
    CheckBound(kCodeMustNotBeBelow, x, 0);
    RaiseIfTrue(x > kInfinity, kCodeArgumentTooLarge);
    CheckBound(kCodeMustExceed, a, 0);
    RaiseIfTrue(a > kInfinity, kCodeArgumentTooLarge);
    if (x < a + 1) return GammaSeries(a, x);
    return 1 - GammaContinuedFraction(a, x);
}

// P(a, x) by the series e^-x x^a / Gamma(a) * sum x^n / (a (a+1) ... (a+n)); stops at a
// relative term size of 5e-12 or after 100 terms beyond the first.
long double GammaSeries(long double a, long double x) {
    if (NearlyEqual(0, x)) return 0;
    long double ap = a;
    long double term = 1 / a;
    long double sum = term;
    int count = 1;
    do {
        ap = ap + 1;
        term = term * x / ap;
        sum = sum + term;
        count = count + 1;
    } while (!(std::fabs(term) < std::fabs(sum) * kTolerance || count > 100));
    return sum * std::exp(-x + a * std::log(x) - LogGammaOf(a));
}

// Q(a, x) by Legendre's continued fraction, evaluated with the two-term recurrence of
// its convergents, renormalised by 1/a1 each round; stops at a relative change of 5e-12.
long double GammaContinuedFraction(long double a, long double x) {
    long double a0 = 1;
    long double a1 = x;
    long double b0 = 0;
    long double b1 = 1;
    long double fac = 1;
    long double g = 0;
    long double gOld = 1;
    int n = 1;  // an integer: one less extended value to spill each round
    do {
        const long double d = n - a;
        a0 = (a1 + a0 * d) * fac;
        b0 = (b1 + b0 * d) * fac;
        const long double m = n * fac;
        a1 = x * a0 + m * a1;
        b1 = x * b0 + m * b1;
        if (a1 != 0) {
            gOld = g;
            fac = 1 / a1;
            g = b1 * fac;
        }
        n = n + 1;
    } while (!RelativeChangeBelowTolerance(g - gOld, g));
    return g * std::exp(-x + a * std::log(x) - LogGammaOf(a));
}

// The comparison is written so that a NaN value breaks every relation.
bool CheckBound(int code, long double value, long double bound) {
    bool holds = false;
    switch (RelationOf(code)) {
        case tRelation::Greater:
            holds = value > bound;
            break;
        case tRelation::NotBelow:
            holds = value >= bound;
            break;
        case tRelation::Below:
            holds = value < bound;
            break;
    }
    if (!holds) throw EArgumentError(ArgumentMessageText(code) + FormatNumber(bound));
    return true;
}

bool RaiseIfTrue(bool condition, int code) {
    if (condition) throw EArgumentError(ArgumentMessageText(code));
    return true;
}

// ---- Uniform random source ----

thread_local constinit std::int32_t Seed1 = kInitialSeed1;
thread_local constinit std::int32_t Seed2 = kInitialSeed2;

// ---- Distributions ----

bool tDistribution::SetParameters(long double p1, long double p2, long double p3) {
    descriptor_[0].value = p1;
    descriptor_[1].value = p2;
    descriptor_[2].value = p3;
    const int count = parameterCount_ < 3 ? parameterCount_ : 3;
    for (int i = 1; i <= count; ++i) {
        const ParameterDescriptor& d = descriptor_[i - 1];
        CheckBound(4 * i + 1297, d.value, d.lowerBound);
        CheckBound(kCodeMustBeBelow, d.value, d.upperBound);
    }
    supportLower_ = -kInfinity;
    supportUpper_ = kInfinity;
    return true;
}

bool tDistribution::InSupport(long double x) const {
    return supportLower_ <= x && x <= supportUpper_;
}

// Only the ends are known here; a class with a distribution function overrides this.
long double tDistribution::Cdf(long double x) const {
    if (x < supportLower_) return 0;
    if (x > supportUpper_) return 1;
    throw std::logic_error("this distribution has no distribution function");
}

tNormal_distribution::tNormal_distribution(long double mean, long double variance) {
    parameterCount_ = 2;
    descriptor_[0].lowerBound = -kInfinity;
    descriptor_[0].upperBound = kInfinity;
    descriptor_[1].lowerBound = 0;
    descriptor_[1].upperBound = kInfinity;
    tNormal_distribution::SetParameters(mean, variance, 0);
}

bool tNormal_distribution::SetParameters(long double p1, long double p2, long double p3) {
    const bool result = tDistribution::SetParameters(p1, p2, p3);
    mean_ = p1;
    variance_ = p2;
    standardDeviation_ = std::sqrt(p2);
    ratioConstant_ = std::sqrt(2 / std::exp(1.0L));
    return result;
}

long double StandardNormalCdf(long double x) {
    constexpr long double kRootHalf = 0.707106781186547524400844362104849039L;
    return std::erfc(-x * kRootHalf) / 2;
}

// Phi(z) = (1 + sign(z) P(1/2, z^2/2)) / 2.
long double tNormal_distribution::Cdf(long double x) const {
    if (x < supportLower_) return 0;
    if (x > supportUpper_) return 1;
    const long double z = (x - mean_) / standardDeviation_;
    const long double p = IncompleteGamma(0.5L, z * z / 2);
    return z >= 0 ? 0.5L + 0.5L * p : 0.5L - 0.5L * p;
}

// Kinderman-Monahan ratio of uniforms with quadratic squeezes; the logarithm is taken
// only when both squeezes leave the point undecided. Two uniforms per attempt.
long double tNormal_distribution::Draw() {
    for (;;) {
        const long double u = UniformRandom();
        const long double v = UniformRandom();
        const long double x = (2 * v - 1) * ratioConstant_ / u;
        const long double s = x * x;
        if (s <= 2 * u * u - 8 * u + 6) return x * standardDeviation_ + mean_;
        if (s >= 2 / u - 2 * u) continue;
        if (s <= -4 * std::log(u)) return x * standardDeviation_ + mean_;
    }
}

tGamma_distribution::tGamma_distribution(NoParameters) {
    parameterCount_ = 2;
    descriptor_[0].lowerBound = 0;
    descriptor_[0].upperBound = kInfinity;
    descriptor_[1].lowerBound = 0;
    descriptor_[1].upperBound = kInfinity;
}

tGamma_distribution::tGamma_distribution(long double shape, long double rate)
    : tGamma_distribution(NoParameters{}) {
    tGamma_distribution::SetParameters(shape, rate, 0);
}

bool tGamma_distribution::SetParameters(long double p1, long double p2, long double p3) {
    const bool result = tDistribution::SetParameters(p1, p2, p3);
    SetGammaParameters(p1, p2);
    return result;
}

// The generator constants: for a > 1 the bounds c1 < 0 < c2 of the second coordinate of
// the ratio-of-uniforms region around the mode a - 1; for a < 1 those of method GS.
void tGamma_distribution::SetGammaParameters(long double shape, long double rate) {
    a_ = shape;
    b_ = rate;
    if (a_ > 1) {
        const long double h = std::sqrt(2 * a_ - 1);
        const long double logMode = std::log(a_ - 1);
        c1_ = (1 - h) * std::sqrt(std::exp((a_ - 1) * (std::log(a_ - h) - logMode) + h - 1));
        c2_ = (1 + h) * std::sqrt(std::exp((a_ - 1) * (std::log(a_ + h) - logMode) - h - 1));
    } else if (a_ < 1) {
        const long double e = std::exp(1.0L);
        c1_ = (e + a_) / e;
        c2_ = 1 / a_;
    }
}

// Rate-1 variate Y by the method for the shape, returned as Y / b. Shape 1: inversion
// of the exponential. Shape > 1: ratio of uniforms around the mode, squeezes first.
// Shape < 1: Ahrens-Dieter GS. Each rejection attempt takes two uniforms.
long double tGamma_distribution::Draw() {
    if (a_ == 1) return -std::log(UniformRandom()) / b_;

    if (a_ > 1) {
        for (;;) {
            const long double u = UniformRandom();
            const long double v = c1_ + UniformRandom() * (c2_ - c1_);
            const long double y = v / u;
            const long double t = y + a_ - 1;
            const long double s = y * y;
            const long double q = -2 * u * u + 8 * u - 6;
            const long double r = 2 * u * u - 2;
            if (y >= 0) {
                if (-s * (y + t) >= q * (t * t)) return t / b_;
                if (-u * s <= r * t) continue;
            } else {
                if (-s >= q * t) return t / b_;
                if (-u * s <= r * (a_ - 1)) continue;
            }
            if (t <= 0) continue;
            if (2 * std::log(u) + y <= (a_ - 1) * std::log(y / (a_ - 1) + 1)) return t / b_;
        }
    }

    for (;;) {
        const long double u = UniformRandom();
        const long double p = c1_ * u;
        const long double w = UniformRandom();
        if (p <= 1) {
            const long double y = Power(p, c2_);
            if (std::log(w) <= -y) return y / b_;
        } else {
            const long double y = -std::log((c1_ - p) * c2_);
            if (w <= Power(y, a_ - 1)) return y / b_;
        }
    }
}

tChi_square_distribution::tChi_square_distribution(long double nu)
    : tGamma_distribution(NoParameters{}) {
    tChi_square_distribution::SetParameters(nu, 0, 0);
}

// Chi-square with nu degrees of freedom is the gamma with shape nu/2 and rate 1/2.
bool tChi_square_distribution::SetParameters(long double p1, long double, long double) {
    return tGamma_distribution::SetParameters(p1 / 2, 0.5L, 0);
}

}  // namespace quorvane
