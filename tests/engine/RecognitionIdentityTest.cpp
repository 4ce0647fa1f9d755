// Whole recognitions: every Similarity and Activity of every pass, as the
// network computes it, must equal what the literal formulas give from the same
// previous values in the emulation and, where the machine has it, in x87
// arithmetic. A hash of all of them, recorded with x87, carries the
// comparison to machines without x87.
#include "engine/HammingMem.h"
#include "engine/Precision.h"
#include "engine/detail/Competition.h"
#include "engine/detail/SoftExtended.h"
#include "engine/detail/X87Extended.h"
#include "reference/Arithmetics.h"
#include "reference/LiteralNetwork.h"
#include "reference/WordLists.h"
#include "reference/WordNetwork.h"
#include "reference/X87Compare.h"
#include "tests/engine/PrecisionOperands.h"
#include "text/WordCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace verblinka {
namespace {

using test_support::SameDouble;
using test_support::TBitHash;
using test_support::TOperandSource;

using reference::LiteralFirstLayer;
using reference::LiteralPass;
using reference::TSoftArithmetic;
#if VERBLINKA_HAS_X87_EXTENDED
using reference::TX87Arithmetic;
#endif

// Counts the values that differ from the literal computation in one arithmetic.
template <typename Arithmetic>
int Mismatches(const THammingNet& net, const std::vector<std::int32_t>& input, std::int32_t pass,
               const std::vector<double>& previous, std::span<const double> values) {
    const std::vector<double> expected =
        pass == 0 ? LiteralFirstLayer<Arithmetic>(net, input)
                  : LiteralPass<Arithmetic>(previous, net.Epsilon(), net.MaxOutput());
    int mismatches = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!SameDouble(values[i], expected[i]) && ++mismatches <= 3) {
            ADD_FAILURE() << Arithmetic::kName << ": pass " << pass << ", unit " << i << ": "
                          << std::hexfloat << values[i] << " instead of " << expected[i];
        }
    }
    return mismatches;
}

// Words in Windows-1251: Cyrillic and Latin letters, many sharing prefixes
// (equal first-layer scores), some longer than the 20 coded characters.
std::vector<std::string> Dictionary(TOperandSource& source, int count, int longShare) {
    std::vector<std::string> words;
    while (static_cast<int>(words.size()) < count) {
        std::string word;
        if (!words.empty() && source.Below(3) == 0) {
            const std::string& base = words[source.Below(static_cast<std::uint32_t>(words.size()))];
            word = base.substr(0, source.Below(static_cast<std::uint32_t>(base.size()) + 1));
        }
        const int length = source.Below(100) < static_cast<std::uint32_t>(longShare)
                               ? source.Between(18, 26)
                               : source.Between(1, 9);
        while (static_cast<int>(word.size()) < length) {
            word += source.Below(5) == 0 ? static_cast<char>('A' + source.Below(26))
                                         : static_cast<char>(0xC0 + source.Below(32));
        }
        words.push_back(word);
    }
    return test_support::AsLoaded(std::move(words));
}

// Dictionary words, their prefixes, and words with one character changed.
std::vector<std::string> Queries(TOperandSource& source, const std::vector<std::string>& words,
                                 int count) {
    std::vector<std::string> queries;
    for (int q = 0; q < count; ++q) {
        std::string word = words[source.Below(static_cast<std::uint32_t>(words.size()))];
        if (word.empty()) {
            word = "\xCA\xCE\xD2";
        }
        switch (source.Below(3)) {
        case 0:
            word.resize(source.Below(static_cast<std::uint32_t>(word.size())) + 1);
            break;
        case 1:
            word[source.Below(static_cast<std::uint32_t>(word.size()))] =
                static_cast<char>(0xC0 + source.Below(32));
            break;
        default:
            break;
        }
        queries.push_back(word);
    }
    return queries;
}

// Runs every input, checks every pass, and hashes the values and the rows.
std::uint64_t CheckRecognitions(THammingNet& net,
                                const std::vector<std::vector<std::int32_t>>& inputs) {
    EXPECT_TRUE(SameDouble(net.Epsilon(), TSoftArithmetic::InhibitionWeight(net.PatternCount())));
    TBitHash hash;
    int mismatches = 0;
    for (const std::vector<std::int32_t>& input : inputs) {
        std::vector<double> previous;
        const std::int32_t row =
            net.Recognize(input, [&](std::int32_t pass, std::span<const double> values) {
                mismatches += Mismatches<TSoftArithmetic>(net, input, pass, previous, values);
#if VERBLINKA_HAS_X87_EXTENDED
                mismatches += Mismatches<TX87Arithmetic>(net, input, pass, previous, values);
#endif
                previous.assign(values.begin(), values.end());
                for (const double value : values) {
                    hash.Add(value);
                }
            });
        hash.Add(static_cast<std::uint64_t>(row));
    }
    EXPECT_EQ(mismatches, 0);
    return hash.Value();
}

std::uint64_t CheckRecognitions(const std::vector<std::string>& words,
                                const std::vector<std::string>& queries) {
    THammingNet net = test_support::WordNetwork(words);
    TWordCode code{};
    std::vector<std::vector<std::int32_t>> inputs;
    for (const std::string& query : queries) {
        CodeWord(query, code);
        inputs.emplace_back(code.begin(), code.end());
    }
    return CheckRecognitions(net, inputs);
}

TEST(RecognitionIdentityTest, EveryValueOfEveryPassOnWordCodes) {
    TOperandSource source(1);
    const std::vector<std::string> words = Dictionary(source, 700, 5);
    const std::vector<std::string> queries = Queries(source, words, 8);
    EXPECT_EQ(CheckRecognitions(words, queries), 2958664675076572853u);
}

// Many long words: first-layer scores above the ceiling, clipped to equal
// values, whose later ties are settled by the roundings alone.
TEST(RecognitionIdentityTest, EveryValueOfEveryPassWithClippedLeaders) {
    TOperandSource source(2);
    const std::vector<std::string> words = Dictionary(source, 400, 60);
    const std::vector<std::string> queries = Queries(source, words, 8);
    EXPECT_EQ(CheckRecognitions(words, queries), 12890677900928337107u);
}

// A few strong units among many weaker ones that die off pass by pass, so
// the inhibition sums are large and hold small values. The patterns are plain
// integers, large enough for the first layer's products and sums to need the
// 64-bit rounding, and the inputs are not bipolar either.
TEST(RecognitionIdentityTest, EveryValueOfEveryPassWithManyWeakUnits) {
    TOperandSource source(3);
    THammingNet net;
    net.SetMaxIterations(5);
    net.SetInputCount(3);
    net.SetPatternCount(600);
    for (std::int32_t row = 0; row < net.PatternCount(); ++row) {
        const std::int32_t score =
            source.Below(10) == 0 ? source.Between(180, 196) : source.Between(4, 100);
        const std::int32_t noise = source.Between(-100000000, 100000000);
        net.StorePattern(std::vector<std::int32_t>{score - noise, noise, source.Between(-9, 9)},
                         row);
    }
    std::vector<std::vector<std::int32_t>> inputs = {{1, 1, 0}, {1, 1, 1}, {1, 1, -1}, {2, 2, 0}};
    for (int i = 0; i < 3; ++i) {
        const std::int32_t big = source.Between(-2000000000, 2000000000);
        inputs.push_back({big, big, source.Between(-3, 3)});
    }
    EXPECT_EQ(CheckRecognitions(net, inputs), 6909226848531931536u);
}

// One competition pass, as the network runs it (the fast pass where it
// applies) in this build's arithmetic, on values made for the roundings that
// word codes seldom reach: small terms with full significands added to large
// sums (the 64-bit rounding lands on points halfway between doubles), values
// with few bits (ties), equal values and zeros.
TEST(RecognitionIdentityTest, CompetitionPassOnValuesWhoseSumsRoundTwice) {
    TOperandSource source(4);
    std::vector<double> values;
    for (int i = 0; i < 1500; ++i) {
        const std::uint32_t kind = source.Below(6);
        if (kind == 0) {
            values.push_back(100.0 - source.Below(4) * 0.25);
        } else if (kind == 1) {
            values.push_back(0.0);
        } else if (kind == 2 && !values.empty()) {
            values.push_back(values[source.Below(static_cast<std::uint32_t>(values.size()))]);
        } else {
            const double value = source.NetworkValue();
            values.push_back(std::ldexp(value, -source.Between(0, 30)));
        }
    }
    // Enough of the sums must round otherwise than once for this to bite.
    int twiceRounded = 0;
    double prefix = 0.0;
    for (const double v : values) {
        const double next = TSoftArithmetic::AddStep(prefix, v);
        twiceRounded += next != prefix + v ? 1 : 0;
        prefix = next;
    }
    EXPECT_GT(twiceRounded, 0);

    const double epsilon = precision::InhibitionWeight(static_cast<std::int32_t>(values.size()));
    std::vector<double> activity(values.size());
    TFastCompetition fast;
    ASSERT_TRUE(fast.Pass(values, activity, epsilon, 100.0));
    const auto bits = [](const std::vector<double>& v) {
        std::vector<std::uint64_t> b;
        b.reserve(v.size());
        for (const double x : v) {
            b.push_back(std::bit_cast<std::uint64_t>(x));
        }
        return b;
    };
    EXPECT_EQ(bits(activity), bits(LiteralPass<TSoftArithmetic>(values, epsilon, 100.0)));
#if VERBLINKA_HAS_X87_EXTENDED
    EXPECT_EQ(bits(activity), bits(LiteralPass<TX87Arithmetic>(values, epsilon, 100.0)));
#endif
}

} // namespace
} // namespace verblinka
