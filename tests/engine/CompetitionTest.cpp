// The fast competition pass and the first layer on masks against the literal
// paths, bit for bit, on word codes and on value sets built to break them.
#include "engine/detail/Competition.h"
#include "engine/HammingMem.h"
#include "engine/Precision.h"
#include "engine/detail/ClassCompetition.h"
#include "engine/detail/NetworkInternals.h"
#include "engine/detail/X87Extended.h"
#include "reference/LiteralNetwork.h"
#include "reference/WordLists.h"
#include "reference/WordNetwork.h"
#include "text/WordCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace verblinka {
namespace {

using detail::TNetworkInternals;

using TValues = std::vector<double>;

using reference::LiteralInhibitionSums;
using reference::LiteralPassOf;
using reference::TLiteralPassOutcome;

// Bit patterns, so that -0.0 and 0.0 differ and NaNs compare.
std::vector<std::uint64_t> Bits(const TValues& values) {
    std::vector<std::uint64_t> bits;
    bits.reserve(values.size());
    for (const double v : values) {
        bits.push_back(std::bit_cast<std::uint64_t>(v));
    }
    return bits;
}

// Compares fast and literal sums; returns how many units differ.
std::size_t CountDifferences(const TValues& values) {
    TFastCompetition fast;
    TValues sums(values.size(), -1.0);
    EXPECT_TRUE(fast.InhibitionSums(values, sums));
    const TValues literal = LiteralInhibitionSums(values);
    std::size_t differences = 0;
    for (std::size_t j = 0; j < values.size(); ++j) {
        if (std::bit_cast<std::uint64_t>(sums[j]) != std::bit_cast<std::uint64_t>(literal[j])) {
            ++differences;
        }
    }
    return differences;
}

void ExpectSameSums(const TValues& values, const std::string& what) {
    EXPECT_EQ(CountDifferences(values), 0u) << what << ", " << values.size() << " values";
}

// Value families that exercise each way the offset can move.
class TValueSets {
public:
    explicit TValueSets(std::uint32_t seed) : random_(seed) {}

    // Sums sit in [2^52, 2^53), whose grid is 1: every half-integer term makes
    // the stored step a tie, decided by the parity of the running sum.
    TValues HalfIntegerTies(std::size_t count) {
        TValues values;
        values.push_back(0x1p52 + static_cast<double>(Below(1u << 20)));
        while (values.size() < count) {
            values.push_back(static_cast<double>(Below(64)) + (Below(4) == 0 ? 0.0 : 0.5));
        }
        Shuffle(values, 1);
        return values;
    }

    // Terms with bits just below the extended grid: the first rounding (to 64
    // bits) itself ties or lands on a 53-bit tie.
    TValues DoubleRoundingTies(std::size_t count) {
        TValues values;
        values.push_back(0x1p52);
        while (values.size() < count) {
            const double fraction = Below(2) == 0 ? 0x1p-12 : (Below(2) == 0 ? 0x1p-11 : 0x1.8p-12);
            values.push_back(static_cast<double>(Below(8)) + 0.5 +
                             (Below(3) == 0 ? fraction : 0.0));
        }
        return values;
    }

    // Values just around powers of two, so the running sums change binade often.
    TValues StraddlingPowers(std::size_t count) {
        TValues values;
        while (values.size() < count) {
            const int exponent = static_cast<int>(Below(6));
            const double ulps = static_cast<double>(static_cast<int>(Below(7)) - 3);
            values.push_back(std::ldexp(1.0 + ulps * 0x1p-52, exponent));
        }
        return values;
    }

    // Long runs of one value, with a few others between the runs.
    TValues EqualRuns(std::size_t count) {
        TValues values;
        const double common = Fraction() * 100.0;
        while (values.size() < count) {
            const std::size_t run = 1 + Below(40);
            const double value = Below(3) == 0 ? Fraction() * 100.0 : common;
            values.insert(values.end(), run, value);
        }
        values.resize(count);
        return values;
    }

    // Mostly zeros of either sign.
    TValues MostlyZeros(std::size_t count) {
        TValues values;
        while (values.size() < count) {
            const std::uint32_t kind = Below(10);
            values.push_back(kind < 5 ? 0.0 : kind < 8 ? -0.0 : Fraction() * 100.0);
        }
        return values;
    }

    // One big term among small ones: its unit lags far behind the others.
    TValues BigAmongSmall(std::size_t count) {
        TValues values;
        while (values.size() < count) {
            values.push_back(Fraction());
        }
        values[Below(static_cast<std::uint32_t>(count))] = 0x1p40 * (1.0 + Fraction());
        values[Below(static_cast<std::uint32_t>(count))] = 1e6;
        return values;
    }

    // Subnormals and the lowest normal binades, where every sum is exact.
    TValues Tiny(std::size_t count) {
        TValues values;
        while (values.size() < count) {
            values.push_back(std::ldexp(static_cast<double>(Below(1u << 12)),
                                        -1074 + static_cast<int>(Below(60))));
        }
        return values;
    }

    // Random magnitudes and bits everywhere.
    TValues Wide(std::size_t count) {
        TValues values;
        while (values.size() < count) {
            values.push_back(std::ldexp(Fraction(), static_cast<int>(Below(120)) - 60));
        }
        return values;
    }

    // What competition passes carry: first-layer values near 80, then
    // fractions of them, clipped at 100 and at 0.
    TValues ActivityLike(std::size_t count) {
        TValues values;
        const double eps = 0.5 / static_cast<double>(count);
        while (values.size() < count) {
            const double base = 80.0 + static_cast<double>(Below(41)) - 20.0;
            values.push_back(Below(20) == 0 ? 100.0
                             : Below(10) == 0
                                 ? 0.0
                                 : base * (1.0 - eps * Below(static_cast<std::uint32_t>(count))));
        }
        return values;
    }

private:
    std::uint32_t Below(std::uint32_t bound) {
        return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(random_);
    }
    double Fraction() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }
    void Shuffle(TValues& values, std::size_t keepFront) {
        std::shuffle(values.begin() + static_cast<std::ptrdiff_t>(keepFront), values.end(),
                     random_);
    }

    std::mt19937 random_;
};

TEST(FastCompetitionTest, SumsMatchTheLiteralLoopOnAdversarialSets) {
    TValueSets sets(20240611);
    for (const std::size_t count : {1u, 2u, 3u, 7u, 64u, 301u, 1200u}) {
        for (int round = 0; round < 3; ++round) {
            ExpectSameSums(sets.HalfIntegerTies(count), "half-integer ties");
            ExpectSameSums(sets.DoubleRoundingTies(count), "double-rounding ties");
            ExpectSameSums(sets.StraddlingPowers(count), "straddling powers of two");
            ExpectSameSums(sets.EqualRuns(count), "equal runs");
            ExpectSameSums(sets.MostlyZeros(count), "mostly zeros");
            ExpectSameSums(sets.BigAmongSmall(count), "big among small");
            ExpectSameSums(sets.Tiny(count), "subnormals");
            ExpectSameSums(sets.Wide(count), "wide magnitudes");
            ExpectSameSums(sets.ActivityLike(count), "activity-like");
        }
    }
}

TEST(FastCompetitionTest, DegenerateSetsAndBounds) {
    ExpectSameSums({}, "empty");
    ExpectSameSums({0.0}, "one zero");
    ExpectSameSums({0.0, -0.0, 0.0}, "zeros only");
    ExpectSameSums({5.0}, "one value");
    ExpectSameSums(TValues(500, 100.0), "all equal");
    ExpectSameSums({0x1p960, 0x1p960, 1.0, 0x1p960}, "largest accepted values");
    ExpectSameSums({0x1p-1074, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-1022}, "lowest binade");
    ExpectSameSums({0x1.fffffffffffffp0, 0x1p-52, 0x1p-53, 0x1p-53, 1.0},
                   "landing on a power of two");
}

TEST(FastCompetitionTest, RefusesValuesItCannotTake) {
    TFastCompetition fast;
    const double inf = std::numeric_limits<double>::infinity();
    for (const double bad : {-1.0, -0x1p-1074, inf, std::nan(""), 0x1p961}) {
        const TValues values = {1.0, bad, 2.0};
        TValues sums = {7.0, 7.0, 7.0};
        EXPECT_FALSE(TFastCompetition::Applies(values)) << bad;
        EXPECT_FALSE(fast.InhibitionSums(values, sums)) << bad;
        EXPECT_EQ(sums, (TValues{7.0, 7.0, 7.0})); // untouched
    }
}

TEST(FastCompetitionTest, PassEqualsTheLiteralPass) {
    TValueSets sets(7);
    TFastCompetition fast;
    for (const double epsilon : {1.0 / 6.0, 0.5 / 1200.0, 0.25}) {
        const TValues similarity = sets.ActivityLike(1200);
        TValues plain(similarity.size()), quick(similarity.size());
        PlainCompetitionPass(similarity, plain, epsilon, 100.0);
        ASSERT_TRUE(fast.Pass(similarity, quick, epsilon, 100.0));
        EXPECT_EQ(Bits(quick), Bits(plain));
    }
}

#if VERBLINKA_HAS_X87_EXTENDED
// The tie test that the fast pass relies on, at the 53-bit grid's edges, in
// x87 arithmetic (SoftExtendedTest compares the emulation's with it).
TEST(PrecisionTest, StoreIsTieFindsExactHalfwayPointsOnly) {
    using x87::StoreIsTie;
    using x87::TExtended;
    EXPECT_TRUE(StoreIsTie(1.0L + 0x1p-53L));
    EXPECT_TRUE(StoreIsTie(1.0L + 0x3p-53L));
    EXPECT_FALSE(StoreIsTie(1.0L + 0x1p-53L + 0x1p-63L));
    EXPECT_FALSE(StoreIsTie(1.0L + 0x1p-54L));
    EXPECT_FALSE(StoreIsTie(1.0L));
    EXPECT_TRUE(StoreIsTie(-(1.0L + 0x1p-53L)));
    EXPECT_TRUE(StoreIsTie(0x1p53L + 1.0L));
    EXPECT_TRUE(StoreIsTie(0x1.8p-1074L)); // between two subnormals
    EXPECT_TRUE(StoreIsTie(0x1p-1075L));   // half the smallest subnormal
    EXPECT_FALSE(StoreIsTie(0x1p-1076L));
    EXPECT_TRUE(StoreIsTie(0x1p-1022L - 0x1p-1075L)); // just below the normal range
    EXPECT_FALSE(StoreIsTie(0.0L));
    EXPECT_FALSE(StoreIsTie(std::numeric_limits<TExtended>::infinity()));
    // Every step whose stored value is a tie, found by the definition.
    std::mt19937 random(3);
    for (int i = 0; i < 10000; ++i) {
        const double a =
            std::ldexp(static_cast<double>(random() % (1u << 20)), static_cast<int>(random() % 80));
        const double b =
            std::ldexp(static_cast<double>(random() % (1u << 20)), static_cast<int>(random() % 80));
        const TExtended exact = x87::AddExtended(a, b);
        const double stored = x87::Store(exact);
        const TExtended gap = exact - static_cast<TExtended>(stored);
        const double up = std::nextafter(stored, gap > 0 ? HUGE_VAL : -HUGE_VAL);
        const bool halfway =
            gap != 0 && 2 * std::fabs(gap) == std::fabs(static_cast<TExtended>(up) - stored);
        EXPECT_EQ(StoreIsTie(exact), halfway) << a << " + " << b;
    }
}
#endif

// The cheaper test for steps that stay in their binade agrees with the
// general one, on steps built to tie at the 53-bit grid and to land near it.
TEST(PrecisionTest, StepIsTieAgreesWithStoreIsTie) {
    std::mt19937_64 random(12);
    int ties = 0;
    for (int i = 0; i < 20000; ++i) {
        const int exponent = static_cast<int>(random() % 200) - 100;
        const double acc =
            std::ldexp(1.0 + static_cast<double>(random() >> 12) * 0x1p-52, exponent);
        // Half a grid step times an odd number, sometimes nudged below the
        // 64-bit grid, sometimes a whole number of steps.
        const double steps = static_cast<double>(random() % 64) + (random() % 2 == 0 ? 0.5 : 0.0);
        const double nudge = random() % 3 == 0 ? 0x1p-12 : 0.0;
        const double value = std::ldexp(steps + nudge, exponent - 52);
        const double stored = precision::AddStep(acc, value);
        const int binade = precision::BinadeOf(acc);
        if (precision::BinadeOf(stored) != binade) {
            continue;
        }
        const bool tie = precision::StoreIsTie(precision::AddExtended(acc, value));
        ties += tie ? 1 : 0;
        ASSERT_EQ(precision::StepIsTie(acc, value, stored, binade), tie) << acc << " + " << value;
    }
    EXPECT_GT(ties, 1000);
}

TEST(PrecisionTest, GridParityAndBinades) {
    using precision::BinadeOf;
    using precision::IsOddOnGrid;
    EXPECT_EQ(BinadeOf(0.0), 1);
    EXPECT_EQ(BinadeOf(0x1p-1074), 1);
    EXPECT_EQ(BinadeOf(0x1p-1022), 1);
    EXPECT_EQ(BinadeOf(0x1p-1021), 2);
    EXPECT_EQ(BinadeOf(1.0), 1023);
    EXPECT_EQ(BinadeOf(1.9999), 1023);
    EXPECT_EQ(BinadeOf(2.0), 1024);
    // The grid of binade [1, 2) is 2^-52.
    EXPECT_TRUE(IsOddOnGrid(-0x1p-52, 1023));
    EXPECT_FALSE(IsOddOnGrid(-0x1p-51, 1023));
    EXPECT_TRUE(IsOddOnGrid(-0x3p-52, 1023));
    EXPECT_TRUE(IsOddOnGrid(-0x1p-1, 1074)); // [2^51, 2^52) has the grid 2^-1
    EXPECT_FALSE(IsOddOnGrid(0.0, 1023));
    EXPECT_TRUE(IsOddOnGrid(-0x1p-1074, 1));
    EXPECT_TRUE(IsOddOnGrid(-0x1.8p-1073, 1)); // 3 steps
    EXPECT_FALSE(IsOddOnGrid(-0x1p-1073, 1));
    EXPECT_TRUE(IsOddOnGrid(-0x1.0000000000001p-1021, 2)); // odd significand, own grid
    EXPECT_FALSE(IsOddOnGrid(-0x1.0000000000001p-1021, 1));
}

using test_support::WordNetwork;

// Words over a small Cyrillic alphabet (Windows-1251), sorted and distinct,
// entry 0 empty: many share prefixes and score alike.
std::vector<std::string> Words(std::size_t count, std::mt19937& random) {
    static const std::string kLetters = "\xC0\xC1\xC2\xC5\xC8\xCA\xCB\xCD\xCE\xCF\xD0\xD1\xD2\xA8";
    std::vector<std::string> words = {""};
    while (words.size() < count) {
        words.push_back(test_support::RandomWord(random, 1, 9, kLetters));
    }
    return test_support::AsLoaded(std::move(words));
}

using TTrace = std::vector<std::vector<std::uint64_t>>;

TTrace TraceOf(THammingNet& net, std::span<const std::int32_t> input, std::int32_t& row) {
    TTrace trace;
    row = net.Recognize(input, [&](std::int32_t, std::span<const double> values) {
        trace.push_back(Bits(TValues(values.begin(), values.end())));
    });
    return trace;
}

// Every Similarity and Activity of every pass, and the row, in both modes.
void ExpectSameRecognition(THammingNet& net, std::span<const std::int32_t> input,
                           const std::string& what) {
    std::int32_t fastRow = -1;
    std::int32_t plainRow = -2;
    net.SetPath(TCompetitionPath::Auto);
    const TTrace fast = TraceOf(net, input, fastRow);
    net.SetPath(TCompetitionPath::Literal);
    const TTrace plain = TraceOf(net, input, plainRow);
    net.SetPath(TCompetitionPath::Auto);
    EXPECT_EQ(fastRow, plainRow) << what;
    ASSERT_EQ(fast.size(), plain.size()) << what;
    for (std::size_t pass = 0; pass < fast.size(); ++pass) {
        EXPECT_EQ(fast[pass], plain[pass]) << what << ", pass " << pass;
    }
}

TEST(FastRecognitionTest, WordCodesGiveTheLiteralTraceAndRow) {
    std::mt19937 random(11);
    for (const std::size_t count : {2u, 5u, 40u, 300u, 1500u}) {
        const std::vector<std::string> words = Words(count, random);
        THammingNet net = WordNetwork(words);
        TWordCode code{};
        for (int query = 0; query < 4; ++query) {
            // Stored words, their prefixes and typos, and words not stored.
            std::string word = words[random() % words.size()];
            if (query == 1 && !word.empty()) {
                word.pop_back();
            } else if (query == 2) {
                word.insert(
                    word.begin() + static_cast<std::ptrdiff_t>(random() % (word.size() + 1)), ' ');
            } else if (query == 3) {
                word = Words(3, random).back();
            }
            CodeWord(word, code);
            ExpectSameRecognition(net, code,
                                  std::to_string(words.size()) + " words, query " + word);
        }
    }
}

TEST(FastRecognitionTest, OtherValuesTakeThePlainPathsWithTheSameResults) {
    std::mt19937 random(5);
    THammingNet net;
    net.SetMaxIterations(5);
    net.SetInputCount(12);
    net.SetPatternCount(60);
    std::vector<std::int32_t> pattern(12);
    for (std::int32_t row = 0; row < 60; ++row) {
        for (auto& v : pattern) {
            v = static_cast<std::int32_t>(random() % 3) - 1;
        }
        net.StorePattern(pattern, row);
    }
    ASSERT_TRUE(net.Weights().IsCompact());
    const double before = net.Weight(17, 3);
    // An input outside -1 ... 1: the first layer multiplies literally.
    std::vector<std::int32_t> input = {3, -1, 0, 1, 1, -7, 0, 0, 1, -1, 1, 0};
    ExpectSameRecognition(net, input, "wide input");
    // A stored 2 converts the table to doubles; every other value stays.
    pattern.assign(12, 1);
    pattern[4] = 2;
    net.StorePattern(pattern, 30);
    EXPECT_FALSE(net.Weights().IsCompact());
    EXPECT_EQ(net.Weight(17, 3), before);
    EXPECT_EQ(net.Weight(30, 4), 2.0);
    ExpectSameRecognition(net, input, "wide weights");
    input = {1, 1, 1, -1, -1, 0, 0, 1, 1, 1, -1, 1};
    ExpectSameRecognition(net, input, "wide weights, bipolar input");
    // Negative stored values give negative first-layer outputs: plain passes.
    net.SetPatternCount(2);
    pattern.assign(12, -1000);
    net.StorePattern(pattern, 0);
    ExpectSameRecognition(net, input, "negative similarity");
}

TEST(PatternWeightsTest, CompactRowsReadBackAndResizeLikeDoubles) {
    // The same sequence of stores and resizes on a compact table and on one
    // forced into doubles must read back alike everywhere.
    std::mt19937 random(9);
    TPatternWeights compact;
    TPatternWeights doubles;
    doubles.Resize(1, 1);
    doubles.StoreRow(0, std::vector<std::int32_t>{5});
    ASSERT_FALSE(doubles.IsCompact());
    doubles.StoreRow(0, std::vector<std::int32_t>{0});
    const std::vector<std::pair<std::size_t, std::size_t>> shapes = {
        {4, 70}, {9, 70}, {9, 130}, {3, 64}, {6, 200}, {6, 65}, {0, 65}, {5, 160}};
    for (const auto& [rows, columns] : shapes) {
        compact.Resize(rows, columns);
        doubles.Resize(rows, columns);
        for (std::size_t row = 0; row < rows; row += 2) {
            std::vector<std::int32_t> pattern(columns);
            for (auto& v : pattern) {
                v = static_cast<std::int32_t>(random() % 3) - 1;
            }
            compact.StoreRow(row, pattern);
            doubles.StoreRow(row, pattern);
        }
        ASSERT_TRUE(compact.IsCompact());
        for (std::size_t row = 0; row < rows; ++row) {
            for (std::size_t column = 0; column < columns; ++column) {
                ASSERT_EQ(compact.At(row, column), doubles.At(row, column))
                    << rows << "x" << columns << " at " << row << "," << column;
            }
        }
    }
    EXPECT_THROW(compact.At(5, 0), std::out_of_range);
    EXPECT_THROW(compact.At(0, 160), std::out_of_range);
    EXPECT_LT(compact.MemoryBytes(), doubles.MemoryBytes() / 20);
}

// ---- passes over classes ----------------------------------------------------

// The values as classes: one class per distinct bit pattern, in order of
// first appearance, or with every class shuffled, so the ids carry no order.
TClassState ClassesOf(const TValues& values, std::mt19937* shuffle = nullptr) {
    TClassState state;
    std::vector<std::uint64_t> seen;
    for (const double v : values) {
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
        const auto at = std::find(seen.begin(), seen.end(), bits);
        if (at == seen.end()) {
            seen.push_back(bits);
            state.Values.push_back(v);
        }
    }
    std::vector<std::uint16_t> order(state.Values.size());
    for (std::size_t c = 0; c < order.size(); ++c) {
        order[c] = static_cast<std::uint16_t>(c);
    }
    if (shuffle != nullptr) {
        std::shuffle(order.begin(), order.end(), *shuffle);
        const std::vector<double> original = state.Values;
        std::vector<double> shuffled(original.size());
        for (std::size_t c = 0; c < order.size(); ++c) {
            shuffled[order[c]] = original[c];
        }
        state.Values = shuffled;
    }
    for (const double v : values) {
        const auto at = std::find(seen.begin(), seen.end(), std::bit_cast<std::uint64_t>(v));
        state.Classes.push_back(order[static_cast<std::size_t>(at - seen.begin())]);
    }
    return state;
}

void ExpectSameClassSums(const TValues& values, const std::string& what, std::mt19937& random) {
    TClassCompetition pass;
    const TClassState state = ClassesOf(values, &random);
    TValues sums(values.size(), -1.0);
    ASSERT_TRUE(pass.InhibitionSums(state, sums)) << what;
    EXPECT_EQ(Bits(sums), Bits(LiteralInhibitionSums(values)))
        << what << ", " << values.size() << " values";
}

TEST(ClassCompetitionTest, SumsMatchTheLiteralLoopOnAdversarialSets) {
    TValueSets sets(20240612);
    std::mt19937 random(3);
    for (const std::size_t count : {1u, 2u, 3u, 7u, 64u, 301u, 1200u}) {
        for (int round = 0; round < 3; ++round) {
            ExpectSameClassSums(sets.HalfIntegerTies(count), "half-integer ties", random);
            ExpectSameClassSums(sets.DoubleRoundingTies(count), "double-rounding ties", random);
            ExpectSameClassSums(sets.StraddlingPowers(count), "straddling powers of two", random);
            ExpectSameClassSums(sets.EqualRuns(count), "equal runs", random);
            ExpectSameClassSums(sets.MostlyZeros(count), "mostly zeros", random);
            ExpectSameClassSums(sets.BigAmongSmall(count), "big among small", random);
            ExpectSameClassSums(sets.Tiny(count), "subnormals", random);
            ExpectSameClassSums(sets.Wide(count), "wide magnitudes", random);
            ExpectSameClassSums(sets.ActivityLike(count), "activity-like", random);
        }
    }
    ExpectSameClassSums({}, "empty", random);
    ExpectSameClassSums({0.0, -0.0, 0.0}, "zeros only", random);
    ExpectSameClassSums(TValues(500, 100.0), "all equal", random);
    ExpectSameClassSums({0x1p960, 0x1p960, 1.0, 0x1p960}, "largest accepted values", random);
    ExpectSameClassSums({0x1p-1074, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-1022}, "lowest binade",
                        random);
    ExpectSameClassSums({0x1.fffffffffffffp0, 0x1p-52, 0x1p-53, 0x1p-53, 1.0},
                        "landing on a power of two", random);
}

// Few distinct values, many units: the regime the class pass is built for,
// with ties and binade changes dense enough to matter.
TEST(ClassCompetitionTest, FewValuesManyUnits) {
    std::mt19937 random(17);
    for (int round = 0; round < 6; ++round) {
        TValues palette;
        const std::size_t kinds = 2 + random() % 12;
        for (std::size_t k = 0; k < kinds; ++k) {
            switch (round % 3) {
            case 0: // halves and quarters: exact, then ties once sums pass 2^52
                palette.push_back(static_cast<double>(random() % 200) * 0.25);
                break;
            case 1: // doubles with every bit set: every sum rounds
                palette.push_back(std::ldexp(static_cast<double>(random() | 1u), -25) + 1.0);
                break;
            default:
                palette.push_back(std::ldexp(1.0, static_cast<int>(random() % 20)) *
                                  (1.0 + 0x1p-52 * static_cast<double>(random() % 5)));
            }
        }
        TValues values;
        if (round % 3 == 0) {
            values.push_back(0x1p52 - 4000.0); // crosses into the grid of 1, then 2
        }
        while (values.size() < 2500) {
            const std::size_t run = 1 + random() % 6;
            values.insert(values.end(), run, palette[random() % palette.size()]);
        }
        ExpectSameClassSums(values, "palette round " + std::to_string(round), random);
    }
}

// Odd offsets under many ties of one binade that round both ways: a class's
// sum is shared by every stretch whose next tie rounds alike, so each sum,
// output and the leader are checked where the stretches alternate.
TEST(ClassCompetitionTest, OddOffsetsUnderTiesThatRoundBothWays) {
    std::mt19937 random(29);
    // Whole numbers give odd offsets and halves tie on the grid of 1 (from
    // 2^52); on the grid of 2 (from 2^53) odd whole numbers tie too.
    const TValues palette{1.0, 3.0, 5.0, 7.0, 2.0, 0.5, 1.5, 2.5};
    for (const double start : {0x1p52, 0x1p53 - 3000.0}) {
        for (int round = 0; round < 3; ++round) {
            TValues values{start};
            while (values.size() < 2500) {
                values.push_back(palette[random() % (round == 0 ? 4 : palette.size())]);
            }
            const std::string what =
                "ties from " + std::to_string(start) + ", round " + std::to_string(round);
            ExpectSameClassSums(values, what, random);
            const TLiteralPassOutcome literal = LiteralPassOf(values, 0x1p-60, 100.0);
            TClassCompetition pass;
            TClassState out;
            TPassSummary summary;
            ASSERT_TRUE(pass.Pass(ClassesOf(values, &random), out, 0x1p-60, 100.0, summary));
            TValues activity(values.size());
            out.Materialise(activity);
            EXPECT_EQ(Bits(activity), Bits(literal.Activity)) << what;
            EXPECT_EQ(summary.Leader, literal.Leader) << what;
        }
    }
}

// TValues on one coarse grid whose total stays below 2^53 grid steps: no sum
// rounds, and the pass takes each unit's sum as the total less its own. At
// and past the bound sums round again and the offsets are followed instead.
TEST(ClassCompetitionTest, PassesWhereNothingRounds) {
    std::mt19937 random(41);
    TClassCompetition pass;
    auto check = [&](const TValues& values, const std::string& what) {
        ExpectSameClassSums(values, what, random);
        for (const double epsilon : {0.5 / static_cast<double>(values.size()), 0.01}) {
            const TLiteralPassOutcome literal = LiteralPassOf(values, epsilon, 100.0);
            TClassState state = ClassesOf(values, &random);
            state.Values.push_back(7.5); // a class no unit has
            TClassState out;
            TPassSummary summary;
            ASSERT_TRUE(pass.Pass(state, out, epsilon, 100.0, summary)) << what;
            TValues activity(values.size());
            out.Materialise(activity);
            EXPECT_EQ(Bits(activity), Bits(literal.Activity)) << what;
            EXPECT_EQ(summary.Stable, literal.Stable) << what;
            EXPECT_EQ(summary.Leader, literal.Leader) << what;
        }
    };
    for (int round = 0; round < 4; ++round) {
        TValues values;
        const int shift = round * 7 - 10; // grains 2^-10 ... 2^11
        while (values.size() < 1500) {
            const double v = std::ldexp(static_cast<double>(random() % 321), shift - 1);
            values.insert(values.end(), 1 + random() % 4, random() % 9 == 0 ? 0.0 : v);
        }
        check(values, "first-layer-like, grain 2^" + std::to_string(shift - 1));
    }
    check({0.0, -0.0, 0.0}, "zeros");
    check({-0.0, 3.0, -0.0}, "negative zeros");
    check({5.0}, "one unit");
    check({0x1p-1074, 0x1p-1073, 0.0, 0x1p-1074}, "subnormals");
    check({200.0, 100.0, 200.0, 100.0}, "equal largest outputs");
    // Totals at the bound: 2^53 - 1 grain steps and 2^53.
    check({0x1p52, 0x1p51, 0x1p50, 0x1p50 - 1.0}, "just below the bound");
    check({0x1p52, 0x1p51, 0x1p50, 0x1p50, 1.0, 1.0}, "at the bound");
    check({0x1p52, 0x1.8p52, 0.5, 1.5, 0.5}, "past the bound");
}

TEST(ClassCompetitionTest, PassEqualsTheLiteralPassWithLeaderAndStability) {
    TValueSets sets(8);
    std::mt19937 random(4);
    TClassCompetition pass;
    for (const double epsilon : {1.0 / 6.0, 0.5 / 1200.0, 0.25}) {
        for (const TValues& similarity :
             {sets.ActivityLike(1200), sets.EqualRuns(900), sets.MostlyZeros(700)}) {
            const TLiteralPassOutcome literal = LiteralPassOf(similarity, epsilon, 100.0);
            TClassState out;
            TPassSummary summary;
            ASSERT_TRUE(pass.Pass(ClassesOf(similarity, &random), out, epsilon, 100.0, summary));
            TValues activity(similarity.size());
            out.Materialise(activity);
            EXPECT_EQ(Bits(activity), Bits(literal.Activity));
            EXPECT_EQ(summary.Stable, literal.Stable);
            EXPECT_EQ(summary.Leader, literal.Leader);
        }
    }
    // A stable pass: one unit, inside the range.
    TClassState out;
    TPassSummary summary;
    ASSERT_TRUE(pass.Pass(ClassesOf({42.0}), out, 0.5, 100.0, summary));
    EXPECT_TRUE(summary.Stable);
    // Equal largest outputs: the first unit leads.
    ASSERT_TRUE(pass.Pass(ClassesOf({3.0, 300.0, 300.0, 1.0}), out, 0.001, 100.0, summary));
    EXPECT_EQ(summary.Leader, 1u);
    EXPECT_FALSE(summary.Stable);
}

TEST(ClassCompetitionTest, RefusesWhatItCannotTake) {
    TClassCompetition pass;
    TClassState out;
    TPassSummary summary;
    const double inf = std::numeric_limits<double>::infinity();
    for (const double bad : {-1.0, inf, std::nan(""), 0x1p961}) {
        TValues sums(3, 7.0);
        EXPECT_FALSE(pass.InhibitionSums(ClassesOf({1.0, bad, 2.0}), sums)) << bad;
        EXPECT_FALSE(pass.Pass(ClassesOf({1.0, bad, 2.0}), out, 0.1, 100.0, summary)) << bad;
    }
    // More distinct outputs than classes allow: the caller goes on with values.
    TValues many;
    for (std::size_t i = 0; i < TClassCompetition::kMaxClasses + 10; ++i) {
        many.push_back(1.0 + static_cast<double>(i) * 0x1p-20);
    }
    EXPECT_FALSE(
        pass.Pass(ClassesOf(many), out, 0.5 / static_cast<double>(many.size()), 100.0, summary));
}

// A pass read only for its leader and stability looks at the largest input's
// units first, and at every unit where another could reach their output:
// leaders an ulp apart, outputs clipped alike, all units dying, a stable pass,
// one and two units.
TEST(ClassCompetitionTest, LeaderOnlyPassesAgreeWhereOtherUnitsCouldLead) {
    std::mt19937 random(37);
    auto check = [&](const TValues& values, double epsilon, double clip, const std::string& what) {
        const TLiteralPassOutcome literal = LiteralPassOf(values, epsilon, clip);
        TClassCompetition pass;
        TClassState out;
        TPassSummary summary;
        ASSERT_TRUE(pass.Pass(ClassesOf(values, &random), out, epsilon, clip, summary,
                              {false, false, false}))
            << what;
        EXPECT_EQ(summary.Leader, literal.Leader) << what;
        EXPECT_EQ(summary.Stable, literal.Stable) << what;
    };
    for (int round = 0; round < 20; ++round) {
        TValues values(300 + random() % 700);
        for (double& v : values) {
            v = static_cast<double>(random() % 2000) * 0.0625;
        }
        const double top = *std::max_element(values.begin(), values.end());
        const double epsilon = 0.5 / static_cast<double>(values.size());
        // Values an ulp and a few below the largest, ahead of it.
        values[random() % 50] = std::nextafter(top, 0.0);
        values[random() % 50] = top - 0x1p-40;
        check(values, epsilon, 1000.0, "an ulp below the leader");
        check(values, epsilon, 2.0, "clipped alike");
        check(values, 1.0, 1000.0, "every unit dies");
        check(values, 0.0, 1000.0, "stable");
    }
    // Full significands, so that every sum rounds: the units just below the
    // largest input may overtake it by the rounding of their sums.
    for (int round = 0; round < 200; ++round) {
        TValues values(50 + random() % 200);
        for (double& v : values) {
            v = 64.0 + std::ldexp(static_cast<double>(random()), -26) +
                std::ldexp(static_cast<double>(random()), -58);
        }
        const double top = *std::max_element(values.begin(), values.end());
        for (int near = 0; near < 5; ++near) {
            values[random() % values.size()] = std::nextafter(top, 0.0);
        }
        check(values, 0.5 / static_cast<double>(values.size()), 1000.0, "rounded sums");
    }
    check({7.0}, 0.5, 100.0, "one unit");
    check({7.0, 7.0}, 0.5, 100.0, "two equal units");
    check({3.0, 7.0}, 0.25, 100.0, "two units");
    check({7.0, std::nextafter(7.0, 8.0)}, 0x1p-60, 100.0, "two units an ulp apart");
}

// The units per class that a caller counted (a batch, as it shares the first
// layer) give the exact pass what its own count gives, settled or not; counts
// that do not add up to the units are not taken.
TEST(ClassCompetitionTest, CountedClassesGiveTheExactPassItsOwnCount) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        const std::size_t units = 1 + random() % 500;
        TValues values(units);
        for (double& v : values) {
            v = 0.5 * static_cast<double>(random() % 24);
        }
        const TClassState in = ClassesOf(values, &random);
        std::vector<std::uint32_t> counts;
        CountClasses(in.Classes, in.Values.size(), counts);
        counts.resize(in.Values.size());
        std::vector<std::uint32_t> wrong = counts;
        wrong[random() % wrong.size()] += 1;
        const std::size_t settle = round % 2 == 0 ? 0 : 5;
        auto pass = [&](std::span<const std::uint32_t> given) {
            TClassCompetition competition;
            TClassState out;
            TPassSummary summary;
            EXPECT_TRUE(competition.ExactPass({in.Classes, in.Values, given}, out,
                                              0.5 / static_cast<double>(units), 1000.0, summary,
                                              {false, true, true, settle}));
            TValues materialised(units);
            if (!summary.Settled) {
                out.Materialise(materialised);
            }
            return std::tuple(materialised, summary.Leader, summary.Stable, summary.Settled);
        };
        const auto own = pass({});
        EXPECT_EQ(pass(counts), own) << "round " << round;
        EXPECT_EQ(pass(wrong), own) << "round " << round << ", counts that do not add up";
    }
}

// A pass that settles on a unit leading the passes after it: that unit leads
// its output and each of them alone, against the literal passes, from
// first-layer values (halves, which no sum
// rounds) through the exact pass, the largest alone or shared, the leader
// barely alive, clipped, or not inhibited at all.
TEST(ClassCompetitionTest, LeaderThatHoldsLeadsEveryLiteralPassLeft) {
    std::mt19937 random(41);
    int held = 0;
    int refused = 0;
    auto check = [&](const TValues& firstLayer, double epsilon, double clip,
                     const std::string& what) {
        TClassCompetition pass;
        TClassState out;
        TPassSummary summary;
        const TClassState in = ClassesOf(firstLayer, &random);
        ASSERT_TRUE(pass.ExactPass({in.Classes, in.Values}, out, epsilon, clip, summary,
                                   {false, true, true}))
            << what;
        std::vector<TValues> chain(1, TValues(firstLayer.size())); // out, then each pass
        out.Materialise(chain[0]);
        for (std::size_t passes = 1; passes <= 8; ++passes) {
            TClassState unwritten;
            TPassSummary settling;
            ASSERT_TRUE(pass.ExactPass({in.Classes, in.Values}, unwritten, epsilon, clip, settling,
                                       {false, true, true, passes}))
                << what;
            if (!settling.Settled) {
                ++refused;
                continue;
            }
            ++held;
            const std::size_t leader = settling.Leader;
            ASSERT_EQ(leader, summary.Leader) << what;
            while (chain.size() <= passes) {
                chain.push_back(LiteralPassOf(chain.back(), epsilon, clip).Activity);
            }
            for (std::size_t p = 0; p <= passes; ++p) {
                const std::string where =
                    what + ", " + std::to_string(passes) + " passes, pass " + std::to_string(p);
                const TValues& values = chain[p];
                ASSERT_LT(leader, values.size()) << where;
                const double top = values[leader];
                ASSERT_EQ(std::count(values.begin(), values.end(), top), 1) << where;
                ASSERT_EQ(*std::max_element(values.begin(), values.end()), top) << where;
            }
        }
    };
    for (int round = 0; round < 30; ++round) {
        const std::size_t units =
            round < 4 ? 2 + static_cast<std::size_t>(round) : 100 + random() % 600;
        const std::uint32_t inputs = 3 + random() % 18;
        TValues values(units);
        for (double& v : values) { // most rows far from the query, a few near
            const std::uint32_t agree = random() % (inputs + 1) / (1 + random() % 3);
            v = 0.5 * static_cast<double>(inputs + agree);
        }
        const double largest = *std::max_element(values.begin(), values.end());
        values[random() % units] = largest + 0.5;
        if (round % 3 == 0) { // shared by two units
            values[random() % units] = largest + 0.5;
        }
        const std::string what = "round " + std::to_string(round);
        check(values, 0.5 / static_cast<double>(units), 1000.0, what);
        check(values, 0.0, 1000.0, what + ", no inhibition");
        check(values, 0.5 / static_cast<double>(units), largest, what + ", clipped alike");
        // The inhibition at which the leader is no longer shown to outlive
        // eight passes, and just either side of it: barely alive, or dead
        // with every other unit.
        auto holds = [&](double epsilon) {
            TClassCompetition pass;
            TClassState out;
            TPassSummary summary;
            const TClassState in = ClassesOf(values);
            return pass.ExactPass({in.Classes, in.Values}, out, epsilon, 1000.0, summary,
                                  {false, true, true, 8}) &&
                   summary.Settled;
        };
        double low = 0.0;
        double high = 1.0;
        for (int step = 0; step < 50; ++step) {
            const double middle = 0.5 * (low + high);
            (holds(middle) ? low : high) = middle;
        }
        check(values, low, 1000.0, what + ", just held");
        check(values, high, 1000.0, what + ", just refused");
    }
    EXPECT_GT(held, 500);
    EXPECT_GT(refused, 500);
}

// Passes that hand the next pass its running sums, chained on one object as a
// recognition runs them, against the literal passes: every value, leader and
// stability, with clipping, ties and one- and two-unit inputs; a claimed link
// whose input is another state than the last output is not taken.
TEST(ClassCompetitionTest, LinkedPassesEqualTheLiteralChain) {
    TValueSets sets(31);
    std::mt19937 random(6);
    auto chainOn = [&](const TValues& start, double epsilon, double clip, const std::string& what,
                       bool wide) {
        TClassCompetition pass;
        pass.SetWide(wide);
        TClassState in = ClassesOf(start, &random);
        TClassState out;
        TValues literal = start;
        for (int p = 0; p < 7; ++p) {
            if (p == 4) { // another input, in another buffer than the last output
                TClassState reversed{{in.Classes.rbegin(), in.Classes.rend()}, in.Values};
                in = std::move(reversed);
                std::reverse(literal.begin(), literal.end());
            }
            const TLiteralPassOutcome expected = LiteralPassOf(literal, epsilon, clip);
            if (p == 6) { // a last pass that gives only its leader and stability
                TClassCompetition leaderOnly = pass;
                TClassState unread = out;
                TPassSummary summary;
                if (leaderOnly.Pass(in, unread, epsilon, clip, summary, {true, false, false})) {
                    ASSERT_EQ(summary.Stable, expected.Stable) << what << ", leader only";
                    ASSERT_EQ(summary.Leader, expected.Leader) << what << ", leader only";
                }
            }
            TPassSummary summary;
            if (!pass.Pass(in, out, epsilon, clip, summary, {p > 0, p < 6})) {
                return; // values the classes cannot take; the callers go on with values
            }
            TValues activity(start.size());
            out.Materialise(activity);
            ASSERT_EQ(Bits(activity), Bits(expected.Activity)) << what << ", pass " << p;
            ASSERT_EQ(summary.Stable, expected.Stable) << what << ", pass " << p;
            ASSERT_EQ(summary.Leader, expected.Leader) << what << ", pass " << p;
            literal = expected.Activity;
            std::swap(in, out);
        }
    };
    auto chain = [&](const TValues& start, double epsilon, double clip, const std::string& what) {
        for (const bool wide : {false, true}) {
            if (!wide || WideSweepAvailable()) {
                chainOn(start, epsilon, clip, what + (wide ? ", wide sweep" : ""), wide);
            }
        }
    };
    for (const std::size_t count : {1u, 2u, 5u, 300u, 1500u}) {
        const double programEpsilon = 0.5 / static_cast<double>(count);
        for (const double clip : {100.0, 2.5}) {
            chain(sets.HalfIntegerTies(count), 0x1p-60, clip, "half-integer ties");
            chain(sets.EqualRuns(count), programEpsilon, clip, "equal runs");
            chain(sets.ActivityLike(count), programEpsilon, clip, "activity-like");
            chain(sets.MostlyZeros(count), 0.25, clip, "mostly zeros");
            TValues halves; // first-layer-like: the first pass rounds nothing
            while (halves.size() < count) {
                halves.insert(halves.end(), 1 + random() % 5,
                              static_cast<double>(random() % 321) * 0.5);
            }
            halves.resize(count);
            chain(halves, programEpsilon, clip, "first-layer-like");
        }
    }
}

// Query q: a stored word, every other one with a letter changed; its code in code.
std::string QueryOf(const std::vector<std::string>& words, int q, std::mt19937& random,
                    TWordCode& code) {
    std::string word = words[random() % words.size()];
    if (q % 2 == 1 && !word.empty()) {
        word[random() % word.size()] = '\xC8';
    }
    CodeWord(word, code);
    return word;
}

// The three recognitions (classes, values, literal) and the one with outside
// scratch state give one row, and the first two every value of every pass.
TEST(ClassCompetitionTest, EveryWayToRecognizeAgrees) {
    std::mt19937 random(23);
    for (const std::size_t count : {3u, 200u, 2000u}) {
        const std::vector<std::string> words = Words(count, random);
        THammingNet net = WordNetwork(words);
        TRecognitionScratch scratch;
        for (int q = 0; q < 8; ++q) {
            TWordCode code{};
            const std::string word = QueryOf(words, q, random, code);
            std::int32_t classRow = -1;
            std::int32_t valueRow = -2;
            const TTrace classes = TraceOf(net, code, classRow);
            const std::vector<double> similarity(net.Similarity().begin(), net.Similarity().end());
            const std::vector<double> activity(net.Activity().begin(), net.Activity().end());
            net.SetPath(TCompetitionPath::Values);
            const TTrace values = TraceOf(net, code, valueRow);
            EXPECT_EQ(Bits(similarity),
                      Bits(TValues(net.Similarity().begin(), net.Similarity().end())));
            EXPECT_EQ(Bits(activity), Bits(TValues(net.Activity().begin(), net.Activity().end())));
            net.SetPath(TCompetitionPath::Auto);
            EXPECT_EQ(classRow, valueRow) << word;
            EXPECT_EQ(classes, values) << word;
            EXPECT_EQ(net.Recognize(code, scratch), classRow) << word;
            const std::span<const std::int32_t> inputs[] = {code};
            std::vector<std::uint16_t> firstLayer(words.size());
            std::uint16_t* const out[] = {firstLayer.data()};
            ASSERT_TRUE(TNetworkInternals::FirstLayerClasses(net, inputs, 0, words.size(), out));
            EXPECT_EQ(TNetworkInternals::RecognizeFromClasses(net, firstLayer, scratch), classRow)
                << word;
        }
    }
}

// The sweep's kernels on a network large enough for long runs of units: every
// value of every pass and the row, the same.
TEST(ClassCompetitionTest, SweepKernelsGiveTheSameRecognition) {
    if (!SweepKernelAvailable(TSweepKernel::Avx512)) {
        GTEST_SKIP() << "this processor lacks the avx512 sweep kernel";
    }
    std::mt19937 random(29);
    const std::vector<std::string> words = Words(20000, random);
    THammingNet net = WordNetwork(words);
    for (int q = 0; q < 6; ++q) {
        TWordCode code{};
        const std::string word = QueryOf(words, q, random, code);
        std::int32_t rows[2] = {-1, -2};
        TTrace traces[2];
        for (const TSweepKernel kernel : {TSweepKernel::Scalar, TSweepKernel::Avx512}) {
            net.SetSweepKernel(kernel);
            const std::size_t k = kernel == TSweepKernel::Scalar ? 0 : 1;
            traces[k] = TraceOf(net, code, rows[k]);
        }
        EXPECT_EQ(rows[0], rows[1]) << word;
        EXPECT_EQ(traces[0], traces[1]) << word;
    }
}

} // namespace
} // namespace verblinka
