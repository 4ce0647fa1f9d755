#include "engine/detail/SoftExtended.h"
#include "engine/Precision.h"
#include "engine/detail/X87Extended.h"
#include "reference/Arithmetics.h"
#include "reference/X87Compare.h"
#include "tests/engine/PrecisionOperands.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

namespace verblinka {
namespace {

using softext::TSoftExtended;
using test_support::SameDouble;
using test_support::TBitHash;
using test_support::TOperandSource;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The same known answers hold for every implementation of the arithmetic.
using reference::TBuildArithmetic;
using reference::TSoftArithmetic;
#if VERBLINKA_HAS_X87_EXTENDED
using reference::TX87Arithmetic;
using TArithmetics = ::testing::Types<TSoftArithmetic, TBuildArithmetic, TX87Arithmetic>;
#else
using TArithmetics = ::testing::Types<TSoftArithmetic, TBuildArithmetic>;
#endif

template <typename T> class TNetworkArithmeticTest : public ::testing::Test {};
TYPED_TEST_SUITE(TNetworkArithmeticTest, TArithmetics);

TYPED_TEST(TNetworkArithmeticTest, RoundsTwiceWhereOnceWouldDiffer) {
    // 1 + 2^-53 + 2^-64 is a tie at the 64-bit grid; its even neighbour
    // 1 + 2^-53 is halfway between two doubles and goes to the even 1.
    // Rounded once it would be 1 + 2^-52.
    EXPECT_EQ(TypeParam::AddStep(1.0, 0x1.002p-53), 1.0);
    EXPECT_EQ(TypeParam::AddStep(0x1.002p-53, 1.0), 1.0);
    EXPECT_EQ(TypeParam::AddStep(-1.0, -0x1.002p-53), -1.0);
    // 1 + 2^-53 + 2^-63 + 2^-64 ties upwards, past the midpoint.
    EXPECT_EQ(TypeParam::AddStep(1.0, 0x1.006p-53), 0x1.0000000000001p+0);
    // Below a power of two: 2 - 2^-53 - 2^-64 ties to the midpoint 2 - 2^-53, then to 2.
    EXPECT_EQ(TypeParam::AddStep(2.0, -0x1.002p-53), 2.0);
    // The same in the product of the inhibition.
    EXPECT_EQ(TypeParam::Inhibit(1.0, -0x1.002p-53, 1.0), 1.0);
    EXPECT_EQ(TypeParam::MultiplyAddStep(1.0, 1, 0x1.002p-53), 1.0);
    EXPECT_EQ(TypeParam::MultiplyAddStep(1.0, -1, -0x1.002p-53), 1.0);
    // 0.5 / 2731 rounded once would end in ...001.
    EXPECT_EQ(TypeParam::InhibitionWeight(2731), 0x1.7ff4005ffd002p-13);
    EXPECT_EQ(TypeParam::InhibitionWeight(3), 1.0 / 6.0);
}

TYPED_TEST(TNetworkArithmeticTest, InhibitionRoundsTheExactProductOnItsOwnGrid) {
    // 30301339 * 608776532077 * 2^-64 = 1 - 2^-55 - 2^-64: stored it is 1,
    // but it lies below 1, where the 64-bit grid is 2^-64, so it keeps every bit.
    EXPECT_EQ(TypeParam::Inhibit(0x1.0000000000001p+0, 30301339.0, 0x1.1b7bd160dap-25),
              0x1.201p-52);
    // 1 + 2^-52 - 2055 * 5329670471429847 * 2^-113 lies 2^-65 and a few units
    // of 2^-113 above a point halfway between two 64-bit values, which is
    // itself halfway between two doubles: the last units decide both ties.
    EXPECT_EQ(TypeParam::Inhibit(0x1.0000000000001p+0, 2055.0, 0x1.2ef4e9b382ed7p-61),
              0x1.ffffffffffff9p-1);
}

TYPED_TEST(TNetworkArithmeticTest, TiesAreFoundAfterTheSixtyFourBitRounding) {
    for (const auto tie : {&TypeParam::SumIsTie, &TypeParam::StoreIsTie}) {
        EXPECT_TRUE(tie(1.0, 0x1p-53));     // a double's midpoint exactly
        EXPECT_TRUE(tie(1.0, 0x1.002p-53)); // rounded to 64 bits onto it
        EXPECT_TRUE(tie(-1.0, -0x1.002p-53));
        EXPECT_FALSE(tie(1.0, 0x1.006p-53)); // rounded past it
        EXPECT_FALSE(tie(1.0, 0x1.004p-53)); // one 64-bit step above it
        EXPECT_FALSE(tie(1.0, 0x1p-54));
        EXPECT_FALSE(tie(1.0, 0x1p-52));
        EXPECT_TRUE(tie(2.0, -0x1p-53)); // below a power of two the midpoint is nearer
        EXPECT_TRUE(tie(2.0, -0x1.002p-53));
        EXPECT_FALSE(tie(2.0, -0x1p-52));
        EXPECT_TRUE(tie(0x1p53, 1.0));           // between 2^53 and 2^53 + 2
        EXPECT_FALSE(tie(0x1p-1074, 0x1p-1073)); // sums of subnormals are exact
        // Halfway between the largest double and 2^1024 is between no two doubles.
        EXPECT_FALSE(tie(DBL_MAX, 0x1p970));
        EXPECT_TRUE(tie(0x1.ffffffffffffep+1023, 0x1p970));
        EXPECT_FALSE(tie(kInfinity, 1.0));
        EXPECT_FALSE(tie(std::nan(""), 1.0));
    }
}

TYPED_TEST(TNetworkArithmeticTest, OverflowAndTheSubnormalRange) {
    // One 64-bit step short of the midpoint below 2^1024: the 64-bit rounding
    // reaches it and the tie goes to infinity; half a step less does not.
    EXPECT_EQ(TypeParam::AddStep(DBL_MAX, 0x1.ffcp+969), kInfinity);
    EXPECT_EQ(TypeParam::AddStep(DBL_MAX, 0x1.ff8p+969), DBL_MAX);
    EXPECT_EQ(TypeParam::AddStep(-DBL_MAX, -DBL_MAX), -kInfinity);
    // The extended sum does not overflow, only its stored value would.
    EXPECT_EQ(TypeParam::HalfSumWithBias(DBL_MAX, DBL_MAX), DBL_MAX);
    // Halving into the subnormal range rounds again: 3 * 2^-1074 / 2 ties to 2^-1073.
    EXPECT_EQ(TypeParam::HalfSumWithBias(0x1p-1074, 0x1p-1073), 0x1p-1073);
    EXPECT_EQ(TypeParam::HalfSumWithBias(0x1p-1074, 0.0), 0.0);
    EXPECT_EQ(TypeParam::HalfSumWithBias(0x1.0000000000001p-1022, 0.0), 0x1p-1023);
    EXPECT_EQ(TypeParam::HalfSumWithBias(0x1.0000000000003p-1022, 0.0), 0x1.0000000000004p-1023);
    EXPECT_EQ(TypeParam::HalfSumWithBias(0x1.0000000000001p-1021, 0.0), 0x1.0000000000001p-1022);
    // A product far below the smallest subnormal leaves the similarity alone.
    EXPECT_EQ(TypeParam::Inhibit(0x1p-1074, 0x1p-600, 0x1p-600), 0x1p-1074);
    EXPECT_EQ(TypeParam::Inhibit(0x1p-1022, 0x1.8p-1074, 0.5), 0x0.fffffffffffffp-1022);
}

TYPED_TEST(TNetworkArithmeticTest, SignedZerosAndSpecialValues) {
    const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    EXPECT_EQ(bits(TypeParam::AddStep(-0.0, -0.0)), bits(-0.0));
    EXPECT_EQ(bits(TypeParam::AddStep(0.0, -0.0)), bits(0.0));
    EXPECT_EQ(bits(TypeParam::AddStep(3.25, -3.25)), bits(0.0));
    EXPECT_EQ(bits(TypeParam::MultiplyAddStep(-0.0, 0, -1.0)), bits(-0.0));
    EXPECT_EQ(bits(TypeParam::Inhibit(-0.0, 0.0, 1.0)), bits(-0.0));
    EXPECT_EQ(bits(TypeParam::Inhibit(0.0, 0.0, 1.0)), bits(0.0));
    EXPECT_TRUE(std::isnan(TypeParam::AddStep(kInfinity, -kInfinity)));
    EXPECT_TRUE(std::isnan(TypeParam::MultiplyAddStep(0.0, 0, kInfinity)));
    EXPECT_EQ(TypeParam::AddStep(kInfinity, DBL_MAX), kInfinity);
    EXPECT_EQ(TypeParam::InhibitionWeight(0), kInfinity);
    EXPECT_EQ(TypeParam::InhibitionWeight(-2), -0.25);
    EXPECT_EQ(TypeParam::MultiplyAddStep(0.5, -2147483647 - 1, 0x1.fffffffffffffp-1),
              -0x1.fffffffdfffffp+30);
}

// ---------------------------------------------------------------------------

TEST(SoftExtendedTest, OperationsRoundTheExactResultToSixtyFourBits) {
    const std::uint64_t all = ~std::uint64_t{0};
    // 2^64 - 1 + 1/2: a tie, the odd significand rounds up to 2^64.
    EXPECT_EQ(TSoftExtended::Exact(false, all, 0) + TSoftExtended(0.5), TSoftExtended(0x1p64));
    EXPECT_EQ(TSoftExtended::Exact(false, all - 1, 0) + TSoftExtended(0.5),
              TSoftExtended::Exact(false, all - 1, 0));
    // 2^64 - 1/2 - 2^-64: the part below the last aligned bit breaks the tie.
    const TSoftExtended nearTwoTo64 =
        TSoftExtended(0x1p64) - TSoftExtended::Exact(false, (std::uint64_t{1} << 63) | 1, -64);
    EXPECT_EQ(nearTwoTo64, TSoftExtended::Exact(false, all, 0));
    EXPECT_EQ(TSoftExtended(0x1p64) - TSoftExtended(0.5), TSoftExtended(0x1p64));
    // (2^32 + 1)^2 = 2^64 + 2^33 + 1 has 65 bits and ties to the even 2^64 + 2^33.
    const TSoftExtended factor = TSoftExtended::Exact(false, (std::uint64_t{1} << 32) + 1, 0);
    EXPECT_EQ(factor * factor,
              TSoftExtended::Exact(false, (std::uint64_t{1} << 63) + (std::uint64_t{1} << 32), 1));
    // 1/3 = 0.0101...: the first dropped bit is 1 with more below, so up.
    const TSoftExtended third = TSoftExtended(1) / TSoftExtended(3);
    EXPECT_EQ(third.Significand(), 0xAAAAAAAAAAAAAAABu);
    EXPECT_EQ(third.Exponent(), -65);
    // 2^63 / (2^64 - 1) = 2^-1 + 2^-65 + 2^-129 + ...: a tie at the first
    // dropped bit, broken upwards by the remainder far below.
    EXPECT_EQ(TSoftExtended::Exact(false, std::uint64_t{1} << 63, 0) /
                  TSoftExtended::Exact(false, all, 0),
              TSoftExtended::Exact(false, (std::uint64_t{1} << 63) + 1, -64));
    EXPECT_EQ(TSoftExtended(7) / TSoftExtended(7), TSoftExtended(1));
    EXPECT_EQ(static_cast<double>(TSoftExtended(-7) / TSoftExtended(2)), -3.5);
}

TEST(SoftExtendedTest, StoringRoundsOnceToTheDoubleGridSubnormalsIncluded) {
    const auto store = [](bool negative, std::uint64_t significand, std::int32_t exponent) {
        return static_cast<double>(TSoftExtended::Exact(negative, significand, exponent));
    };
    EXPECT_EQ(store(false, 1, -1075), 0.0);                      // half the smallest: even 0
    EXPECT_EQ(store(false, 3, -1075), 0x1p-1073);                // 1.5: even 2
    EXPECT_EQ(store(false, (1ull << 63) + 1, -1138), 0x1p-1074); // just above half
    EXPECT_EQ(store(true, (1ull << 53) - 1, -1075), -0x1p-1022); // ties up into the normals
    EXPECT_EQ(store(false, (1ull << 53) - 3, -1075), 0x0.ffffffffffffep-1022);
    EXPECT_EQ(store(false, 1, -2000), 0.0);
    EXPECT_EQ(store(false, (1ull << 54) - 1, 970), kInfinity); // rounds up to 2^1024
    EXPECT_EQ(store(false, (1ull << 54) - 3, 970), 0x1.ffffffffffffep+1023);
    EXPECT_EQ(store(true, 1, 1024), -kInfinity);
    EXPECT_EQ(store(false, 0x8000000000000400u, 0), 0x1p63); // tie, even
    EXPECT_EQ(store(false, 0x8000000000000C00u, 0), 0x1.0000000000002p63);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(store(true, 0, 5)), std::bit_cast<std::uint64_t>(-0.0));
}

TEST(SoftExtendedTest, TiesAreExactHalvesOfTheDoubleGrid) {
    const auto tie = [](std::uint64_t significand, std::int32_t exponent) {
        return softext::StoreIsTie(TSoftExtended::Exact(false, significand, exponent));
    };
    EXPECT_TRUE(tie(0x8000000000000400u, 0)); // 2^63 + 2^10
    EXPECT_TRUE(tie(0x8000000000000C00u, 0));
    EXPECT_FALSE(tie(0x8000000000000401u, 0));
    EXPECT_FALSE(tie(0x8000000000000800u, 0)); // a double
    EXPECT_TRUE(tie(3, -1075));                // between two subnormals
    EXPECT_TRUE(tie(1, -1075));                // half the smallest subnormal
    EXPECT_FALSE(tie(1, -1076));
    EXPECT_TRUE(tie((1ull << 53) - 1, -1075)); // just below the normal range
    EXPECT_FALSE(softext::StoreIsTie(TSoftExtended()));
    EXPECT_FALSE(softext::StoreIsTie(TSoftExtended::Infinity(false)));
}

TEST(SoftExtendedTest, ComparesByValue) {
    EXPECT_EQ(TSoftExtended(0.0), TSoftExtended(-0.0));
    EXPECT_FALSE(TSoftExtended(0.0).SameAs(TSoftExtended(-0.0)));
    EXPECT_TRUE(TSoftExtended::QuietNaN().SameAs(TSoftExtended(std::nan(""))));
    EXPECT_FALSE(TSoftExtended::QuietNaN() == TSoftExtended::QuietNaN());
    EXPECT_LT(TSoftExtended(-2.0), TSoftExtended(-1.0));
    EXPECT_LT(TSoftExtended(-1.0), TSoftExtended(-0.0));
    EXPECT_LT(TSoftExtended(0x1p-1074), TSoftExtended(0x1p-1073));
    EXPECT_LT(TSoftExtended(DBL_MAX), TSoftExtended::Infinity(false));
    EXPECT_GT(TSoftExtended(-DBL_MAX), TSoftExtended::Infinity(true));
    EXPECT_EQ(TSoftExtended(std::int32_t{-12}), TSoftExtended(-12.0));
}

// ---------------------------------------------------------------------------
// The operand streams below are hashed; the expected hashes were recorded with
// x87 arithmetic, so a machine without it still compares its results with x87.

constexpr int kOperandsPerStream = 60000;

template <typename Arithmetic> std::uint64_t HashOfOperations(std::uint64_t seed) {
    TOperandSource source(seed);
    TBitHash hash;
    for (int i = 0; i < kOperandsPerStream; ++i) {
        const double a = source.Double();
        const double b = source.Double();
        const double c = source.Double();
        hash.Add(Arithmetic::AddStep(a, b));
        hash.Add(Arithmetic::HalfSumWithBias(a, b));
        hash.Add(Arithmetic::Inhibit(a, b, c));
        hash.Add(Arithmetic::MultiplyAddStep(a, static_cast<std::int32_t>(source.Next()), b));
        hash.Add(Arithmetic::MultiplyAddStep(c, source.Between(-1, 1), a));
        hash.Add(Arithmetic::InhibitionWeight(static_cast<std::int32_t>(source.Next())));

        double acc = 0;
        double value = 0;
        source.NearMidpointSum(acc, value);
        hash.Add(Arithmetic::AddStep(acc, value));
        hash.Add(Arithmetic::HalfSumWithBias(acc, value));
        hash.Add(Arithmetic::MultiplyAddStep(acc, 1, value));
        double similarity = 0;
        double sum = 0;
        double epsilon = 0;
        source.NearMidpointInhibition(similarity, sum, epsilon);
        hash.Add(Arithmetic::Inhibit(similarity, sum, epsilon));
        hash.Add(static_cast<std::uint64_t>(Arithmetic::SumIsTie(a, b)));
        hash.Add(static_cast<std::uint64_t>(Arithmetic::SumIsTie(acc, value)));
        hash.Add(static_cast<std::uint64_t>(Arithmetic::StoreIsTie(acc, value)));
        // One draw per statement: the order of arguments is not fixed.
        const double networkSimilarity = source.NetworkValue();
        const double networkSum = source.NetworkValue() * 1000;
        const double networkEpsilon = Arithmetic::InhibitionWeight(source.Between(1, 1000000));
        hash.Add(Arithmetic::Inhibit(networkSimilarity, networkSum, networkEpsilon));
    }
    return hash.Value();
}

constexpr std::uint64_t kOperationsSeed = 20240601;
constexpr std::uint64_t kRecordedOperationsHash = 641389629727107610u;

TEST(PrecisionRecordedTest, EmulationGivesTheBitsRecordedOnX87) {
    EXPECT_EQ(HashOfOperations<TSoftArithmetic>(kOperationsSeed), kRecordedOperationsHash);
}

TEST(PrecisionRecordedTest, BuildArithmeticGivesTheBitsRecordedOnX87) {
    EXPECT_EQ(HashOfOperations<TBuildArithmetic>(kOperationsSeed), kRecordedOperationsHash);
}

#if VERBLINKA_HAS_X87_EXTENDED

TEST(PrecisionRecordedTest, RecordedBitsAreX87s) {
    EXPECT_EQ(HashOfOperations<TX87Arithmetic>(kOperationsSeed), kRecordedOperationsHash);
}

// ---------------------------------------------------------------------------
// Operation by operation against the hardware, on many more operands.

std::string Operands(std::initializer_list<double> values) {
    std::ostringstream text;
    text << std::hexfloat;
    for (const double v : values) {
        text << v << ' ';
    }
    return text.str();
}

TEST(X87DifferentialTest, NetworkOperationsMatchBitForBit) {
    TOperandSource source(7);
    int failures = 0;
    const auto check = [&](double soft, double hard, const std::string& what) {
        if (!SameDouble(soft, hard) && ++failures <= 10) {
            ADD_FAILURE() << what << "emulated " << Operands({soft}) << "x87 " << Operands({hard});
        }
    };
    for (int i = 0; i < 400000; ++i) {
        const double a = source.Double();
        const double b = source.Double();
        const double c = source.Double();
        const auto input = static_cast<std::int32_t>(source.Next() >> source.Below(64));
        check(softext::AddStep(a, b), x87::AddStep(a, b), "AddStep " + Operands({a, b}));
        check(softext::HalfSumWithBias(a, b), x87::HalfSumWithBias(a, b),
              "HalfSumWithBias " + Operands({a, b}));
        check(softext::Inhibit(a, b, c), x87::Inhibit(a, b, c), "Inhibit " + Operands({a, b, c}));
        check(softext::MultiplyAddStep(a, input, b), x87::MultiplyAddStep(a, input, b),
              "MultiplyAddStep " + std::to_string(input) + ' ' + Operands({a, b}));
        check(softext::InhibitionWeight(input), x87::InhibitionWeight(input),
              "InhibitionWeight " + std::to_string(input) + ' ');

        double acc = 0;
        double value = 0;
        source.NearMidpointSum(acc, value);
        check(softext::AddStep(acc, value), x87::AddStep(acc, value),
              "AddStep " + Operands({acc, value}));
        check(softext::HalfSumWithBias(acc, value), x87::HalfSumWithBias(acc, value),
              "HalfSumWithBias " + Operands({acc, value}));
        const std::int32_t small = source.Between(-3000, 3000);
        check(softext::MultiplyAddStep(acc, small, value), x87::MultiplyAddStep(acc, small, value),
              "MultiplyAddStep " + std::to_string(small) + ' ' + Operands({acc, value}));
        double similarity = 0;
        double sum = 0;
        double epsilon = 0;
        source.NearMidpointInhibition(similarity, sum, epsilon);
        check(softext::Inhibit(similarity, sum, epsilon), x87::Inhibit(similarity, sum, epsilon),
              "Inhibit " + Operands({similarity, sum, epsilon}));
        for (const auto& [x, y] : {std::pair{a, b}, std::pair{acc, value}}) {
            const bool soft = softext::SumIsTie(x, y);
            if ((soft != x87::SumIsTie(x, y) ||
                 soft != softext::StoreIsTie(softext::AddExtended(x, y))) &&
                ++failures <= 10) {
                ADD_FAILURE() << "SumIsTie " << Operands({x, y}) << "emulated " << soft;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(X87DifferentialTest, EveryPatternCountGivesTheSameEpsilon) {
    int failures = 0;
    for (std::int32_t m = 1; m <= 2000000; ++m) {
        if (!SameDouble(softext::InhibitionWeight(m), x87::InhibitionWeight(m)) &&
            ++failures <= 10) {
            ADD_FAILURE() << "M = " << m;
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(X87DifferentialTest, ExtendedArithmeticMatchesLongDouble) {
    using test_support::FromX87;
    using test_support::ToX87;
    TOperandSource source(11);
    int failures = 0;
    const auto check = [&](const TSoftExtended& soft, long double hard, const char* what,
                           const TSoftExtended& a, const TSoftExtended& b) {
        if (!soft.SameAs(FromX87(hard)) && ++failures <= 10) {
            ADD_FAILURE() << what << ' ' << std::hexfloat << ToX87(a) << ' ' << ToX87(b)
                          << ": emulated " << ToX87(soft) << ", x87 " << hard;
        }
    };
    for (int i = 0; i < 400000; ++i) {
        // Exponents close together give long overlaps and cancellation.
        const int range = source.Below(2) == 0 ? 4 : 200;
        const TSoftExtended a = source.ExtendedValue(range);
        const TSoftExtended b = source.ExtendedValue(range);
        const long double x = ToX87(a);
        const long double y = ToX87(b);
        ASSERT_TRUE(FromX87(x).SameAs(a));
        check(a + b, x + y, "+", a, b);
        check(a - b, x - y, "-", a, b);
        check(a * b, x * y, "*", a, b);
        check(a / b, x / y, "/", a, b);
        // Stored values: across the whole double range, subnormals and overflow included.
        const TSoftExtended wide = TSoftExtended::Exact(
            source.Below(2) == 0, a.Significand() | (source.Below(2) == 0 ? 1 : 0),
            source.Between(-1150, 1000));
        if (softext::StoreIsTie(wide) != x87::StoreIsTie(ToX87(wide)) && ++failures <= 10) {
            ADD_FAILURE() << "tie " << std::hexfloat << ToX87(wide);
        }
        // The same with the dropped bits set to exactly half, or next to it.
        const std::uint64_t halfway = (wide.Significand() & ~std::uint64_t{0x7FF}) | 0x400;
        const TSoftExtended nearTie = TSoftExtended::Exact(
            wide.Negative(), halfway + static_cast<std::uint64_t>(source.Between(-1, 1)),
            wide.Exponent());
        if (softext::StoreIsTie(nearTie) != x87::StoreIsTie(ToX87(nearTie)) && ++failures <= 10) {
            ADD_FAILURE() << "tie " << std::hexfloat << ToX87(nearTie);
        }
        const double soft = static_cast<double>(wide);
        const auto hard = static_cast<double>(ToX87(wide));
        if (!SameDouble(soft, hard) && ++failures <= 10) {
            ADD_FAILURE() << "store " << std::hexfloat << ToX87(wide) << ": emulated " << soft
                          << ", x87 " << hard;
        }
    }
    EXPECT_EQ(failures, 0);
}

#endif // VERBLINKA_HAS_X87_EXTENDED

} // namespace
} // namespace verblinka
