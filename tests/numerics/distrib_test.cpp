#include "numerics/distrib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "numerics/errors.h"
#include "numerics/fp_faults.h"

// Expected values come from closed forms evaluated with python3's math module
// (math.erf, math.lgamma, math.exp) or from exact integer arithmetic, never from this
// library's own output.

namespace quorvane {
namespace {

constexpr long double kUniformFactor = 4.656613e-10L;
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// EXPECT_NEAR compares in double; these checks need the full extended precision and range.
::testing::AssertionResult NearInExtended(const char* actualText, const char* expectedText,
                                          const char* toleranceText, long double actual,
                                          long double expected, long double tolerance) {
    if (std::fabs(actual - expected) <= tolerance) return ::testing::AssertionSuccess();
    std::ostringstream message;
    message.precision(21);
    message << actualText << " = " << actual << " differs from " << expectedText << " = " << expected
            << " by more than " << toleranceText << " = " << tolerance;
    return ::testing::AssertionFailure() << message.str();
}

#define EXPECT_NEAR_EXTENDED(actual, expected, tolerance) \
    EXPECT_PRED_FORMAT3(NearInExtended, actual, expected, tolerance)

void ResetSeeds() {
    Seed1 = kInitialSeed1;
    Seed2 = kInitialSeed2;
}

// Every test starts from the start-up seeds and leaves them there.
class SeededTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSeeds(); }
    void TearDown() override { ResetSeeds(); }
};

// The combined generator by direct 64-bit modular multiplication, without Schrage's
// decomposition: an independent account of where the stream should be.
struct tReferenceStream {
    std::int64_t s1 = kInitialSeed1;
    std::int64_t s2 = kInitialSeed2;

    void Advance() {
        s1 = 40014 * s1 % 2147483563;
        s2 = 40692 * s2 % 2147483399;
    }
    std::int64_t Z() const {
        const std::int64_t z = s1 - s2;
        return z < 1 ? z + 2147483562 : z;
    }
    bool MatchesGenerator() const { return s1 == Seed1 && s2 == Seed2; }

    // Steps the reference until it reaches the generator's seeds; the number of steps
    // is the number of uniforms drawn since the last call, or -1 beyond `limit`.
    int CatchUp(int limit = 10000) {
        for (int steps = 0; steps <= limit; ++steps) {
            if (MatchesGenerator()) return steps;
            Advance();
        }
        return -1;
    }
};

// The message of the EArgumentError that `action` raises; a test failure if none.
template <typename Action>
std::string ArgumentErrorMessage(Action action) {
    try {
        action();
    } catch (const EArgumentError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no EArgumentError raised";
    return {};
}

// The C library's logarithm, as the generators call it: a constant argument would let
// the compiler fold the call with a result that may differ in the last bit.
long double RuntimeLog(long double x) {
    volatile long double argument = x;
    return std::log(argument);
}

long double Phi(long double x) { return tNormal_distribution(0, 1).Cdf(x); }

// ---- Uniform random source ----

using UniformRandomTest = SeededTest;

TEST_F(UniformRandomTest, FirstValuesFromStartUpSeedsAreKnown) {
    const long double first = UniformRandom();
    EXPECT_EQ(Seed1, 415845629);
    EXPECT_EQ(Seed2, 1442593794);
    EXPECT_EQ(first, 1120735397 * kUniformFactor);
    EXPECT_NEAR_EXTENDED(first, 0.5218831019L, 1e-10L);

    const long double second = UniformRandom();
    EXPECT_EQ(Seed1, 944352682);
    EXPECT_EQ(Seed2, 567953783);
    EXPECT_EQ(second, 376398899 * kUniformFactor);
    EXPECT_NEAR_EXTENDED(second, 0.1752744006L, 1e-10L);

    const long double third = UniformRandom();
    EXPECT_EQ(Seed1, 207443000);
    EXPECT_EQ(Seed2, 2106481197);
    EXPECT_EQ(third, 248445365 * kUniformFactor);
    EXPECT_NEAR_EXTENDED(third, 0.1156913916L, 1e-10L);
}

TEST_F(UniformRandomTest, SchrageStepsEqualDirectModularArithmetic) {
    tReferenceStream reference;
    for (int i = 1; i <= 10000; ++i) {
        const long double u = UniformRandom();
        reference.Advance();
        ASSERT_TRUE(reference.MatchesGenerator()) << "after call " << i;
        ASSERT_EQ(u, static_cast<long double>(reference.Z()) * kUniformFactor) << "call " << i;
    }
    // Anchors the reference itself (python3, plain integers).
    EXPECT_EQ(Seed1, 1319233228);
    EXPECT_EQ(Seed2, 1135445289);
    EXPECT_EQ(reference.Z(), 183787939);
}

TEST_F(UniformRandomTest, ResettingTheSeedsReproducesTheSequence) {
    tNormal_distribution normal(0, 1);
    tChi_square_distribution chiSquare(3);
    std::vector<long double> first;
    for (int i = 0; i < 300; ++i) {
        first.push_back(UniformRandom());
        first.push_back(normal.Draw());
        first.push_back(chiSquare.Draw());
    }
    ResetSeeds();
    for (std::size_t i = 0; i < first.size(); i += 3) {
        ASSERT_EQ(UniformRandom(), first[i]);
        ASSERT_EQ(normal.Draw(), first[i + 1]);
        ASSERT_EQ(chiSquare.Draw(), first[i + 2]);
    }
}

// Seeds chosen (by modular inverses) so that the two advanced seeds are equal, or one
// apart: the largest and the smallest value the generator can return.
TEST_F(UniformRandomTest, ExtremeValuesStayInsideTheOpenUnitInterval) {
    Seed1 = 1422746795;
    Seed2 = 1299720391;
    const long double largest = UniformRandom();
    EXPECT_EQ(Seed1, 1000000);
    EXPECT_EQ(Seed2, 1000000);
    EXPECT_EQ(largest, 2147483562 * kUniformFactor);
    EXPECT_LT(largest, 1.0L);
    EXPECT_NEAR_EXTENDED(largest, 0.9999999872095506L, 1e-15L);

    Seed1 = 1357325131;
    Seed2 = 1299720391;
    const long double smallest = UniformRandom();
    EXPECT_EQ(smallest, kUniformFactor);
    EXPECT_TRUE(std::isfinite(RuntimeLog(smallest)));
}

// ---- Normal distribution ----

struct CdfCase {
    long double x, expected;
};

class NormalCdfTable : public ::testing::TestWithParam<CdfCase> {};

// 0.5 (1 + erf(x / sqrt 2)) to 23 digits, by erf's power series and erfc's continued
// fraction in 60-digit decimal arithmetic; |x| = 1.7 and 1.75 lie either side of Cdf's
// switch from the series to the continued fraction at x^2/2 = 1.5.
TEST_P(NormalCdfTable, MatchesErf) {
    const auto [x, expected] = GetParam();
    EXPECT_NEAR_EXTENDED(Phi(x), expected, 1e-11L) << "x = " << static_cast<double>(x);
    // The difference test's Phi, by erfc: to within a few units in the last place.
    EXPECT_NEAR_EXTENDED(StandardNormalCdf(x), expected, 1e-18L * expected) << "x = " << static_cast<double>(x);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalCdfTable,
    ::testing::Values(CdfCase{0.0L, 0.5L}, CdfCase{1.96L, 9.7500210485177956586342e-1L},
                      CdfCase{-3.0L, 1.3498980316300945266518e-3L}, CdfCase{0.5L, 6.9146246127401310363770e-1L},
                      CdfCase{-0.5L, 3.0853753872598689636230e-1L}, CdfCase{1.2L, 8.8493032977829173197778e-1L},
                      CdfCase{-1.2L, 1.1506967022170826802222e-1L}, CdfCase{1.7L, 9.5543453724145696051257e-1L},
                      CdfCase{-1.7L, 4.4565462758543039487433e-2L}, CdfCase{1.75L, 9.5994084313618290958124e-1L},
                      CdfCase{-1.75L, 4.0059156863817090418757e-2L}, CdfCase{2.5L, 9.9379033467422386483302e-1L},
                      CdfCase{-2.5L, 6.2096653257761351669781e-3L}, CdfCase{5.0L, 9.9999971334842812080609e-1L},
                      CdfCase{-5.0L, 2.8665157187919391167375e-7L}));

TEST(NormalCdf, ZeroIsExactlyOneHalf) { EXPECT_EQ(Phi(0), 0.5L); }

TEST(NormalCdf, StandardisesByMeanAndVariance) {
    const tNormal_distribution normal(10, 4);
    EXPECT_NEAR_EXTENDED(normal.Cdf(12), 0.8413447460685429L, 1e-11L);
    EXPECT_NEAR_EXTENDED(normal.Cdf(8), 0.15865525393145707L, 1e-11L);
    EXPECT_EQ(normal.Cdf(10), 0.5L);
}

TEST(NormalCdf, BeyondTheSupportIsZeroOrOneWithoutError) {
    const tNormal_distribution normal(0, 1);
    EXPECT_EQ(normal.Cdf(-3e9L), 0.0L);
    EXPECT_EQ(normal.Cdf(3e9L), 1.0L);
    EXPECT_FALSE(normal.InSupport(-3e9L));
    EXPECT_FALSE(normal.InSupport(3e9L));
    EXPECT_TRUE(normal.InSupport(-kInfinity));
    EXPECT_TRUE(normal.InSupport(kInfinity));
}

TEST(NormalCdf, FarTailInsideTheSupportRaisesArgumentTooLarge) {
    const tNormal_distribution normal(0, 1);
    EXPECT_EQ(ArgumentErrorMessage([&] { normal.Cdf(-70000); }),
              ArgumentMessageText(kCodeArgumentTooLarge));
    EXPECT_EQ(ArgumentErrorMessage([&] { normal.Cdf(70000); }),
              ArgumentMessageText(kCodeArgumentTooLarge));
    // z^2/2 is about 2147483646.7, just inside the limit.
    EXPECT_NEAR_EXTENDED(normal.Cdf(-65535.99998L), 0.0L, 1e-15L);
}

TEST(NormalDistribution, SecondArgumentIsTheVariance) {
    const tNormal_distribution normal(0, 4);
    EXPECT_EQ(normal.Mean(), 0.0L);
    EXPECT_EQ(normal.Variance(), 4.0L);
    EXPECT_EQ(normal.StandardDeviation(), 2.0L);
}

using NormalDraw = SeededTest;

// From the start-up seeds U = 0.52188..., V = 0.17527..., X = (2V - 1) sqrt(2/e) / U
// = -1.06743..., accepted by the first squeeze (X^2 = 1.139 <= 2U^2 - 8U + 6 = 2.370).
TEST_F(NormalDraw, FirstDrawIsKnownAndTakesTwoUniforms) {
    tNormal_distribution normal(0, 1);
    EXPECT_NEAR_EXTENDED(normal.Draw(), -1.0674340312537416L, 1e-15L);
    tReferenceStream reference;
    EXPECT_EQ(reference.CatchUp(), 2);
}

TEST_F(NormalDraw, EveryDrawTakesAnEvenNumberOfUniforms) {
    tNormal_distribution normal(0, 1);
    tReferenceStream reference;
    for (int i = 0; i < 2000; ++i) {
        normal.Draw();
        const int used = reference.CatchUp();
        ASSERT_GE(used, 2) << "draw " << i;
        ASSERT_EQ(used % 2, 0) << "draw " << i;
    }
}

TEST_F(NormalDraw, ScalesByStandardDeviationAndShiftsByMean) {
    tNormal_distribution standard(0, 1);
    tNormal_distribution scaled(3, 4);
    std::vector<long double> z;
    for (int i = 0; i < 100; ++i) z.push_back(standard.Draw());
    ResetSeeds();
    for (const long double value : z) ASSERT_EQ(scaled.Draw(), value * 2 + 3);
}

// ---- Gamma and chi-square distributions ----

using GammaDraw = SeededTest;

TEST_F(GammaDraw, ChiSquareTwoIsMinusTwiceTheLogOfOneUniform) {
    tChi_square_distribution chiSquare(2);
    EXPECT_EQ(chiSquare.Shape(), 1.0L);
    EXPECT_EQ(chiSquare.Rate(), 0.5L);
    const long double value = chiSquare.Draw();
    EXPECT_EQ(Seed1, 415845629);
    EXPECT_EQ(Seed2, 1442593794);
    EXPECT_EQ(value, -2 * RuntimeLog(1120735397 * kUniformFactor));
    EXPECT_NEAR_EXTENDED(value, 1.3006233177091595L, 1e-15L);
}

TEST_F(GammaDraw, ShapeOneDividesTheExponentialByTheRate) {
    tGamma_distribution gamma(1, 4);
    EXPECT_EQ(gamma.Draw(), -RuntimeLog(1120735397 * kUniformFactor) / 4);
}

struct UniformCountCase {
    long double shape, rate;
};

class GammaRejectionUniforms : public ::testing::TestWithParam<UniformCountCase> {
protected:
    void SetUp() override { ResetSeeds(); }
    void TearDown() override { ResetSeeds(); }
};

// Both rejection methods take exactly two uniforms per attempt.
TEST_P(GammaRejectionUniforms, EveryDrawTakesAnEvenNumberOfUniforms) {
    const auto [shape, rate] = GetParam();
    tGamma_distribution gamma(shape, rate);
    tReferenceStream reference;
    for (int i = 0; i < 2000; ++i) {
        const long double value = gamma.Draw();
        ASSERT_GT(value, 0.0L);
        const int used = reference.CatchUp();
        ASSERT_GE(used, 2) << "draw " << i;
        ASSERT_EQ(used % 2, 0) << "draw " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, GammaRejectionUniforms,
                         ::testing::Values(UniformCountCase{0.5L, 0.5L},  // chi-square 1
                                           UniformCountCase{0.05L, 1.0L},
                                           UniformCountCase{1.5L, 0.5L},  // chi-square 3
                                           UniformCountCase{1.001L, 1.0L},
                                           UniformCountCase{50.0L, 0.5L}));

TEST(ChiSquareDistribution, IsTheGammaWithHalfTheDegreesOfFreedomAndRateOneHalf) {
    const tChi_square_distribution chiSquare(5);
    EXPECT_EQ(chiSquare.Shape(), 2.5L);
    EXPECT_EQ(chiSquare.Rate(), 0.5L);
    EXPECT_EQ(chiSquare.SupportLower(), -kInfinity);
    EXPECT_EQ(chiSquare.SupportUpper(), kInfinity);
}

TEST(ChiSquareDistribution, SetParametersIgnoresTheOtherTwoArguments) {
    tChi_square_distribution chiSquare(1);
    EXPECT_TRUE(chiSquare.SetParameters(4, 99, -99));
    EXPECT_EQ(chiSquare.Shape(), 2.0L);
    EXPECT_EQ(chiSquare.Rate(), 0.5L);
}

// No object keeps state between draws: one object per draw (as the engine does) or one
// object reused, and an object re-parameterised, all give the same sequence.
TEST_F(GammaDraw, ObjectsCarryNoStateBetweenDraws) {
    for (const long double nu : {1.0L, 2.0L, 7.0L}) {
        ResetSeeds();
        tChi_square_distribution reused(nu);
        std::vector<long double> expected;
        for (int i = 0; i < 200; ++i) expected.push_back(reused.Draw());

        ResetSeeds();
        for (const long double value : expected) ASSERT_EQ(tChi_square_distribution(nu).Draw(), value);

        ResetSeeds();
        tChi_square_distribution other(10);
        other.SetParameters(nu, 0, 0);
        for (const long double value : expected) ASSERT_EQ(other.Draw(), value);
    }
}

TEST_F(GammaDraw, SetParametersRecomputesTheGeneratorConstants) {
    tGamma_distribution fresh(3, 2);
    std::vector<long double> expected;
    for (int i = 0; i < 200; ++i) expected.push_back(fresh.Draw());
    ResetSeeds();
    tGamma_distribution changed(0.5, 1);
    changed.SetParameters(3, 2, 0);
    for (const long double value : expected) ASSERT_EQ(changed.Draw(), value);
}

// ---- Draw sequences against an independent reference ----

// The first 2000 draws from the start-up seeds, by a separate python3 implementation of
// the three rejection methods in double precision. The final seeds and the number of
// uniforms pin every accept and reject decision, squeezes included.
struct SequenceCase {
    const char* name;
    std::unique_ptr<tDistribution> (*make)();
    int uniforms;
    std::int32_t seed1, seed2;
    long double first[3];
    long double sum;
};

void PrintTo(const SequenceCase& c, std::ostream* out) { *out << c.name; }

class DrawSequence : public ::testing::TestWithParam<SequenceCase> {
protected:
    void SetUp() override { ResetSeeds(); }
    void TearDown() override { ResetSeeds(); }
};

TEST_P(DrawSequence, MatchesIndependentReference) {
    const SequenceCase& c = GetParam();
    const auto distribution = c.make();
    long double sum = 0;
    for (int i = 0; i < 2000; ++i) {
        const long double value = distribution->Draw();
        if (i < 3) {
            EXPECT_NEAR_EXTENDED(value, c.first[i], 1e-12L * std::fabs(c.first[i]))
                << c.name << " draw " << i;
        }
        sum += value;
    }
    EXPECT_NEAR_EXTENDED(sum, c.sum, 1e-10L * std::fabs(c.sum)) << c.name;
    EXPECT_EQ(Seed1, c.seed1) << c.name;
    EXPECT_EQ(Seed2, c.seed2) << c.name;
    EXPECT_EQ(tReferenceStream().CatchUp(), c.uniforms) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Methods, DrawSequence,
    ::testing::Values(
        SequenceCase{"normal", [] { return std::unique_ptr<tDistribution>(new tNormal_distribution(0, 1)); },
                     5418, 1241641320, 1304883783,
                     {-1.0674340312537416L, -1.1479177399168083L, -1.0376897801036975L},
                     -37.618245799659114L},
        SequenceCase{"chi-square 1 (GS)",
                     [] { return std::unique_ptr<tDistribution>(new tChi_square_distribution(1)); }, 5326,
                     1389048330, 2124963664, {0.763546776627293L, 0.03752245698548833L, 0.3794075961764593L},
                     2040.736429318602L},
        SequenceCase{"chi-square 3 (ratio of uniforms)",
                     [] { return std::unique_ptr<tDistribution>(new tChi_square_distribution(3)); }, 5546,
                     658637501, 505073835, {0.7170780084014861L, 0.7838371725757676L, 1.2178485707254931L},
                     5780.251831501182L},
        SequenceCase{"gamma 0.05 (GS)",
                     [] { return std::unique_ptr<tDistribution>(new tGamma_distribution(0.05L, 1)); }, 4196,
                     1440249713, 1606644692,
                     {3.2343059636905815e-06L, 2.6566681236633115e-19L, 2.968143117487682e-09L},
                     111.94340013108011L},
        SequenceCase{"gamma 1.001 (ratio of uniforms)",
                     [] { return std::unique_ptr<tDistribution>(new tGamma_distribution(1.001L, 1)); }, 5732,
                     59356750, 2117576989, {0.2474712610387384L, 1.3832218795381328L, 0.508584797571825L},
                     1928.316142561814L}));

// ---- Floating-point faults ----

// Valid input never produces an infinity or a NaN on the way, not even in intermediate
// results: far tails of the distribution function, the generators' constants and draws.
TEST_F(NormalDraw, ValidInputRaisesNoFloatingPointFault) {
    ClearFloatingPointFaults();
    const tNormal_distribution normal(0, 1);
    for (const long double x : {-65535.0L, -40.0L, -1.5L, 0.0L, 1.7320508L, 40.0L, 65535.0L}) normal.Cdf(x);
    for (const long double nu : {1.0L, 2.0L, 3.0L, 1000.0L}) {
        tChi_square_distribution chiSquare(nu);
        for (int i = 0; i < 1000; ++i) chiSquare.Draw();
    }
    tNormal_distribution draws(0, 1);
    for (int i = 0; i < 1000; ++i) draws.Draw();
    EXPECT_NO_THROW(RaiseFloatingPointFaults());
}

// The last square would overflow; the method squares only while higher bits remain.
TEST(IntegerPower, DoesNotSquareBeyondTheHighestBit) {
    ClearFloatingPointFaults();
    EXPECT_EQ(IntegerPower(1e3000L, 1), 1e3000L);
    EXPECT_NEAR_EXTENDED(IntegerPower(1e2000L, 2), 1e4000L, 1e3982L);
    EXPECT_NO_THROW(RaiseFloatingPointFaults());
}

// ---- Distributions in the long run: sample moments within about five standard errors ----

constexpr int kStatisticalDraws = 200000;

struct SampleSummary {
    long double mean, variance;
};

template <typename Distribution>
SampleSummary Summarise(Distribution& distribution, long double below, long double& fractionBelow) {
    long double sum = 0, sumSquares = 0;
    int countBelow = 0;
    std::vector<long double> values(kStatisticalDraws);
    for (auto& value : values) {
        value = distribution.Draw();
        sum += value;
        if (value <= below) ++countBelow;
    }
    const long double mean = sum / kStatisticalDraws;
    for (const long double value : values) sumSquares += (value - mean) * (value - mean);
    fractionBelow = static_cast<long double>(countBelow) / kStatisticalDraws;
    return {mean, sumSquares / (kStatisticalDraws - 1)};
}

// Gamma(a, b): mean a/b, variance a/b^2, excess kurtosis 6/a, so the sample variance
// has variance about sigma^4 (2 + 6/a) / N.
void ExpectGammaMoments(const SampleSummary& sample, long double a, long double b) {
    const long double mean = a / b;
    const long double variance = a / (b * b);
    const long double n = kStatisticalDraws;
    EXPECT_NEAR_EXTENDED(sample.mean, mean, 5 * std::sqrt(variance / n));
    EXPECT_NEAR_EXTENDED(sample.variance, variance, 5 * variance * std::sqrt((2 + 6 / a) / n));
}

struct ChiSquareCase {
    long double nu;
    long double cdfAtNu;  // P(X <= nu), closed form through erf or the Poisson tail
};

class ChiSquareLongRun : public ::testing::TestWithParam<ChiSquareCase> {
protected:
    void SetUp() override { ResetSeeds(); }
    void TearDown() override { ResetSeeds(); }
};

TEST_P(ChiSquareLongRun, MeanIsNuVarianceTwoNuAndTheCdfAtNuMatches) {
    const auto [nu, cdfAtNu] = GetParam();
    tChi_square_distribution chiSquare(nu);
    long double fractionBelow = 0;
    const SampleSummary sample = Summarise(chiSquare, nu, fractionBelow);
    ExpectGammaMoments(sample, nu / 2, 0.5L);
    EXPECT_NEAR_EXTENDED(fractionBelow, cdfAtNu, 5 * std::sqrt(cdfAtNu * (1 - cdfAtNu) / kStatisticalDraws));
}

INSTANTIATE_TEST_SUITE_P(DegreesOfFreedom, ChiSquareLongRun,
                         ::testing::Values(ChiSquareCase{1, 0.682689492137086L},
                                           ChiSquareCase{2, 0.6321205588285577L},
                                           ChiSquareCase{3, 0.608374823728911L},
                                           ChiSquareCase{10, 0.5595067149347877L},
                                           ChiSquareCase{100, 0.5188083154720433L}));

struct GammaCase {
    long double shape, rate;
};

class GammaLongRun : public ::testing::TestWithParam<GammaCase> {
protected:
    void SetUp() override { ResetSeeds(); }
    void TearDown() override { ResetSeeds(); }
};

TEST_P(GammaLongRun, MeanAndVarianceMatchShapeAndRate) {
    const auto [shape, rate] = GetParam();
    tGamma_distribution gamma(shape, rate);
    long double unused = 0;
    ExpectGammaMoments(Summarise(gamma, 0, unused), shape, rate);
}

INSTANTIATE_TEST_SUITE_P(Shapes, GammaLongRun,
                         ::testing::Values(GammaCase{0.3L, 2.0L}, GammaCase{1.7L, 1.0L},
                                           GammaCase{25.0L, 0.25L}));

using NormalLongRun = SeededTest;

TEST_F(NormalLongRun, StandardNormalHasMeanZeroVarianceOneAndMatchingTails) {
    tNormal_distribution normal(0, 1);
    std::vector<long double> values(kStatisticalDraws);
    long double sum = 0;
    for (auto& value : values) {
        value = normal.Draw();
        sum += value;
    }
    const long double n = kStatisticalDraws;
    const long double mean = sum / n;
    long double sumSquares = 0;
    for (const long double value : values) sumSquares += (value - mean) * (value - mean);
    EXPECT_NEAR_EXTENDED(mean, 0.0L, 5 / std::sqrt(n));
    EXPECT_NEAR_EXTENDED(sumSquares / (n - 1), 1.0L, 5 * std::sqrt(2 / n));

    struct Tail {
        long double x, phi;  // 0.5 (1 + erf(x / sqrt 2))
    };
    for (const auto [x, phi] : {Tail{-2, 0.02275013194817921L}, Tail{-1, 0.15865525393145707L},
                                Tail{0, 0.5L}, Tail{1, 0.8413447460685429L},
                                Tail{2, 0.9772498680518208L}}) {
        int below = 0;
        for (const long double value : values) below += value <= x;
        EXPECT_NEAR_EXTENDED(below / n, phi, 5 * std::sqrt(phi * (1 - phi) / n))
            << "x = " << static_cast<double>(x);
    }
}

// ---- Incomplete gamma and log gamma ----

struct IncompleteGammaCase {
    long double a, x, p;
};

class IncompleteGammaTable : public ::testing::TestWithParam<IncompleteGammaCase> {};

// Closed forms: integer a by the Poisson tail 1 - e^-x sum_{k<a} x^k/k!, a = 1/2 by
// erf(sqrt x), a = 3/2 by erf(sqrt x) - 2 sqrt(x/pi) e^-x. Each a has x on both sides
// of the switch at a + 1. Accuracy is bounded by that of LogGamma, about 1e-10.
TEST_P(IncompleteGammaTable, MatchesClosedForm) {
    const auto [a, x, p] = GetParam();
    EXPECT_NEAR_EXTENDED(IncompleteGamma(a, x), p, 2e-10L)
        << "a = " << static_cast<double>(a) << ", x = " << static_cast<double>(x);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IncompleteGammaTable,
    ::testing::Values(
        IncompleteGammaCase{1, 0.5L, 0.3934693402873666L}, IncompleteGammaCase{1, 1.5L, 0.7768698398515702L},
        IncompleteGammaCase{1, 1.999L, 0.8645293137899476L}, IncompleteGammaCase{1, 2, 0.8646647167633873L},
        IncompleteGammaCase{1, 2.5L, 0.9179150013761012L}, IncompleteGammaCase{1, 10, 0.9999546000702375L},
        IncompleteGammaCase{1, 40, 1.0L}, IncompleteGammaCase{2, 0.5L, 0.09020401043104986L},
        IncompleteGammaCase{2, 2.9L, 0.7854094417800118L}, IncompleteGammaCase{2, 3, 0.8008517265285442L},
        IncompleteGammaCase{2, 3.1L, 0.8152982701864131L}, IncompleteGammaCase{2, 8, 0.9969808363488774L},
        IncompleteGammaCase{3, 1, 0.08030139707139416L}, IncompleteGammaCase{3, 3.9L, 0.7468748973702162L},
        IncompleteGammaCase{3, 4.1L, 0.7761860186992142L}, IncompleteGammaCase{3, 9, 0.9937678048936227L},
        IncompleteGammaCase{10, 5, 0.03182805730620497L}, IncompleteGammaCase{10, 10.9L, 0.6485389163085788L},
        IncompleteGammaCase{10, 11.1L, 0.6702425231350586L}, IncompleteGammaCase{10, 20, 0.9950045876916924L},
        IncompleteGammaCase{0.5L, 0.01L, 0.1124629160182849L},
        IncompleteGammaCase{0.5L, 1.4L, 0.9057356931587897L},
        IncompleteGammaCase{0.5L, 1.5L, 0.9167354833364496L},
        IncompleteGammaCase{0.5L, 1.6L, 0.9263617298796973L},
        IncompleteGammaCase{0.5L, 8, 0.9999366575163338L},
        IncompleteGammaCase{1.5L, 0.3L, 0.1035676266580885L},
        IncompleteGammaCase{1.5L, 2.4L, 0.8129582510950923L},
        IncompleteGammaCase{1.5L, 2.6L, 0.8422755496033372L},
        IncompleteGammaCase{1.5L, 6, 0.9926168394946403L}));

TEST(IncompleteGamma, ZeroArgumentGivesZeroForEveryShape) {
    for (const long double a : {1e-6L, 0.5L, 1.0L, 3.0L, 100.0L, 1e9L}) {
        EXPECT_EQ(IncompleteGamma(a, 0), 0.0L) << static_cast<double>(a);
        EXPECT_EQ(GammaSeries(a, 0), 0.0L) << static_cast<double>(a);
    }
}

// The series gives P and the continued fraction Q = 1 - P; each holds on the side of
// a + 1 where IncompleteGamma uses it, checked here against e^-x for a = 1.
TEST(IncompleteGamma, SeriesGivesPAndContinuedFractionGivesQ) {
    for (const long double x : {0.25L, 1.0L, 1.99L}) {
        EXPECT_NEAR_EXTENDED(GammaSeries(1, x), 1 - std::exp(-x), 1e-11L) << static_cast<double>(x);
    }
    for (const long double x : {2.0L, 3.0L, 30.0L}) {
        EXPECT_NEAR_EXTENDED(GammaContinuedFraction(1, x), std::exp(-x), 1e-11L) << static_cast<double>(x);
    }
}

TEST(LogGamma, VanishesAtOneAndTwo) {
    EXPECT_NEAR_EXTENDED(LogGamma(1), 0.0L, 1e-10L);
    EXPECT_NEAR_EXTENDED(LogGamma(2), 0.0L, 1e-10L);
}

TEST(LogGamma, OneHalfIsLogOfRootPi) {
    EXPECT_NEAR_EXTENDED(LogGamma(0.5L), 0.5723649429247001L, 1e-11L);
}

struct LogGammaCase {
    long double x, expected;
};

class LogGammaTable : public ::testing::TestWithParam<LogGammaCase> {};

TEST_P(LogGammaTable, MatchesLgamma) {
    const auto [x, expected] = GetParam();
    EXPECT_NEAR_EXTENDED(LogGamma(x), expected, 2e-10L) << "x = " << static_cast<double>(x);
}

INSTANTIATE_TEST_SUITE_P(Table, LogGammaTable,
                         ::testing::Values(LogGammaCase{0.001L, 6.907178885383854L},
                                           LogGammaCase{0.1L, 2.2527126517342055L},
                                           LogGammaCase{0.25L, 1.2880225246980772L},
                                           LogGammaCase{1.5L, -0.12078223763524543L},
                                           LogGammaCase{3, 0.693147180559945L},
                                           LogGammaCase{4.5L, 2.453736570842443L},
                                           LogGammaCase{10, 12.801827480081467L},
                                           LogGammaCase{25.5L, 56.389167643719944L},
                                           LogGammaCase{100, 359.1342053695754L},
                                           LogGammaCase{1000, 5905.220423209181L}));

// ---- Argument checks and their messages ----

TEST(ArgumentMessages, ReadWithTheBoundAppended) {
    EXPECT_EQ(ArgumentMessageText(kCodeMustExceed) + FormatNumber(0), "Argument must be greater than 0");
    const std::vector<std::string> texts = {
        ArgumentMessageText(kCodeMustExceed), ArgumentMessageText(kCodeMustNotBeBelow),
        ArgumentMessageText(kCodeMustBeBelow), ArgumentMessageText(kCodeSecondMustExceed),
        ArgumentMessageText(kCodeArgumentTooLarge)};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_FALSE(texts[i].empty());
        for (std::size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
    }
}

struct ErrorCase {
    const char* name;
    void (*action)();
    int code;
    const char* appended;  // nullptr: the text alone
};

class ArgumentErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ArgumentErrors, RaiseTheCodesTextWithTheBound) {
    const ErrorCase& c = GetParam();
    const std::string expected =
        ArgumentMessageText(c.code) + (c.appended != nullptr ? c.appended : "");
    EXPECT_EQ(ArgumentErrorMessage(c.action), expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentErrors,
    ::testing::Values(
        ErrorCase{"IncompleteGamma(0, 1)", [] { IncompleteGamma(0, 1); }, kCodeMustExceed, "0"},
        ErrorCase{"IncompleteGamma(NaN, 1)", [] { IncompleteGamma(kNaN, 1); }, kCodeMustExceed, "0"},
        ErrorCase{"IncompleteGamma(1, -1)", [] { IncompleteGamma(1, -1); }, kCodeMustNotBeBelow, "0"},
        ErrorCase{"IncompleteGamma(0.5, 3e9)", [] { IncompleteGamma(0.5L, 3e9L); }, kCodeArgumentTooLarge,
                  nullptr},
        ErrorCase{"IncompleteGamma(3e9, 1)", [] { IncompleteGamma(3e9L, 1); }, kCodeArgumentTooLarge,
                  nullptr},
        ErrorCase{"normal variance 0", [] { tNormal_distribution(0, 0); }, kCodeSecondMustExceed, "0"},
        ErrorCase{"normal variance -1", [] { tNormal_distribution(0, -1); }, kCodeSecondMustExceed, "0"},
        ErrorCase{"normal variance 3e9", [] { tNormal_distribution(0, 3e9L); }, kCodeMustBeBelow,
                  "2147483647"},
        ErrorCase{"normal mean -3e9", [] { tNormal_distribution(-3e9L, 1); }, kCodeMustExceed,
                  "-2147483647"},
        ErrorCase{"normal mean 3e9", [] { tNormal_distribution(3e9L, 1); }, kCodeMustBeBelow, "2147483647"},
        ErrorCase{"gamma shape 0", [] { tGamma_distribution(0, 1); }, kCodeMustExceed, "0"},
        ErrorCase{"gamma rate 0", [] { tGamma_distribution(1, 0); }, kCodeSecondMustExceed, "0"},
        ErrorCase{"chi-square 0", [] { tChi_square_distribution(0); }, kCodeMustExceed, "0"},
        ErrorCase{"chi-square -1", [] { tChi_square_distribution(-1); }, kCodeMustExceed, "0"},
        ErrorCase{"chi-square 5e9", [] { tChi_square_distribution(5e9L); }, kCodeMustBeBelow, "2147483647"},
        ErrorCase{"chi-square re-set to 0", [] { tChi_square_distribution(3).SetParameters(0, 0, 0); },
                  kCodeMustExceed, "0"},
        ErrorCase{"RaiseIfTrue", [] { RaiseIfTrue(true, kCodeArgumentTooLarge); }, kCodeArgumentTooLarge,
                  nullptr},
        ErrorCase{"CheckBound fractional bound", [] { CheckBound(kCodeMustNotBeBelow, -0.5L, 0.25L); },
                  kCodeMustNotBeBelow, "0.25"}));

struct BoundCase {
    int code;
    long double value, bound;
    bool holds;
};

class CheckBoundRelations : public ::testing::TestWithParam<BoundCase> {};

TEST_P(CheckBoundRelations, PassOrRaiseByTheCodesRelation) {
    const auto [code, value, bound, holds] = GetParam();
    if (holds) {
        EXPECT_TRUE(CheckBound(code, value, bound));
    } else {
        EXPECT_THROW(CheckBound(code, value, bound), EArgumentError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckBoundRelations,
    ::testing::Values(BoundCase{kCodeMustExceed, 1e-300L, 0, true}, BoundCase{kCodeMustExceed, 0, 0, false},
                      BoundCase{kCodeMustExceed, kNaN, 0, false},
                      BoundCase{kCodeSecondMustExceed, 2, 1, true},
                      BoundCase{kCodeSecondMustExceed, 1, 1, false},
                      BoundCase{kCodeMustNotBeBelow, 0, 0, true},
                      BoundCase{kCodeMustNotBeBelow, -1e-300L, 0, false},
                      BoundCase{kCodeMustNotBeBelow, kNaN, 0, false},
                      BoundCase{kCodeMustBeBelow, 2147483646, kInfinity, true},
                      BoundCase{kCodeMustBeBelow, kInfinity, kInfinity, false},
                      BoundCase{kCodeMustBeBelow, kNaN, kInfinity, false}));

TEST(RaiseIfTrue, ReturnsTrueWhenTheConditionFails) {
    EXPECT_TRUE(RaiseIfTrue(false, kCodeArgumentTooLarge));
}

// ---- Powers ----

struct PowerCase {
    long double base;
    long double exponent;
    long double expected;
    long double relativeTolerance;  // 0: exact
};

class IntegerPowerTable : public ::testing::TestWithParam<PowerCase> {};

TEST_P(IntegerPowerTable, MatchesExactOrClosedForm) {
    const auto [base, exponent, expected, tolerance] = GetParam();
    const long double result = IntegerPower(base, static_cast<std::int32_t>(exponent));
    if (tolerance == 0) {
        EXPECT_EQ(result, expected);
    } else {
        EXPECT_NEAR_EXTENDED(result, expected, tolerance * expected);
    }
}

constexpr long double kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr long double kInt32Max = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerPowerTable,
    ::testing::Values(PowerCase{2, -3, 0.125L, 0}, PowerCase{0, 0, 1, 0}, PowerCase{-7.5L, 0, 1, 0},
                      PowerCase{-2, 3, -8, 0}, PowerCase{0.5L, -10, 1024, 0},
                      PowerCase{2, 62, 4611686018427387904.0L, 0},
                      PowerCase{3, 40, 12157665459056928801.0L, 0},  // needs all 64 bits
                      PowerCase{1, kInt32Min, 1, 0}, PowerCase{-1, kInt32Min, 1, 0},
                      PowerCase{-1, kInt32Max, -1, 0},
                      // exp(-2^31 log1p(2^-24)): 31 squarings for the magnitude of INT32_MIN.
                      PowerCase{1 + 0x1p-24L, kInt32Min, 2.5722191848607887e-56L, 1e-10L}));

class PowerTable : public ::testing::TestWithParam<PowerCase> {};

TEST_P(PowerTable, MatchesExactOrClosedForm) {
    const auto [base, exponent, expected, tolerance] = GetParam();
    const long double result = Power(base, exponent);
    if (tolerance == 0) {
        EXPECT_EQ(result, expected);
    } else {
        EXPECT_NEAR_EXTENDED(result, expected, tolerance * expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PowerTable,
    ::testing::Values(PowerCase{0, 1.0L / 3, 0, 0}, PowerCase{0, 0, 1, 0}, PowerCase{-3, 0, 1, 0},
                      PowerCase{2, 10, 1024, 0}, PowerCase{2, -2, 0.25L, 0}, PowerCase{-2, 3, -8, 0},
                      PowerCase{4, 0.5L, 2, 1e-18L}, PowerCase{2, 0.5L, 1.4142135623730951L, 1e-16L},
                      PowerCase{1.5L, 2.5L, 2.7556759606310752L, 1e-16L},
                      PowerCase{3, 62, 381520424476945831628649898809.0L, 1e-18L}));

// ---- NearlyEqual and FormatNumber ----

struct NearlyEqualCase {
    long double a, b;
    bool expected;
};

class NearlyEqualTable : public ::testing::TestWithParam<NearlyEqualCase> {};

TEST_P(NearlyEqualTable, ComparesTheAbsoluteDifferenceWith5e12) {
    const auto [a, b, expected] = GetParam();
    EXPECT_EQ(NearlyEqual(a, b), expected);
    EXPECT_EQ(NearlyEqual(b, a), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, NearlyEqualTable,
                         ::testing::Values(NearlyEqualCase{1, 1 + 4e-12L, true},
                                           NearlyEqualCase{1, 1 + 6e-12L, false},
                                           NearlyEqualCase{0, 0, true},
                                           NearlyEqualCase{0, -4.9e-12L, true},
                                           // absolute, not relative
                                           NearlyEqualCase{1e6L, 1e6L + 1e-6L, false}));

struct FormatCase {
    long double x;
    char separator;
    const char* expected;
};

class FormatNumberTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatNumberTable, KeepsUpToTwelveDecimalsWithoutTrailingZeros) {
    const auto [x, separator, expected] = GetParam();
    EXPECT_EQ(FormatNumber(x, separator), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatNumberTable,
    ::testing::Values(FormatCase{0, '.', "0"}, FormatCase{2147483647, '.', "2147483647"},
                      FormatCase{-2147483647, '.', "-2147483647"}, FormatCase{0.5L, '.', "0.5"},
                      FormatCase{0.25L, ',', "0,25"}, FormatCase{-12.5L, ',', "-12,5"},
                      FormatCase{100, ',', "100"}, FormatCase{1.0L / 3, '.', "0.333333333333"},
                      FormatCase{2.0L / 3, '.', "0.666666666667"}, FormatCase{1e-13L, '.', "0"},
                      FormatCase{-1e-13L, '.', "0"}, FormatCase{1 + 4e-13L, '.', "1"},
                      FormatCase{1e-12L, '.', "0.000000000001"}));

}  // namespace
}  // namespace quorvane
