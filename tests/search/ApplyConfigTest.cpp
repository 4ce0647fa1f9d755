// Putting a loaded dictionary under a configuration: the rows re-stored
// under the new code are those a fresh coding gives, back under the program's
// code they are the load's bit for bit, and a cancelled or refused change
// leaves rows, code and constants as they were.
#include "reference/TestSupport.h"
#include "reference/WordLists.h"
#include "search/Configuration.h"
#include "search/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace verblinka {
namespace {

using test_support::DictionaryOf;

std::vector<std::uint64_t> AllMasks(const THammingNet& network) {
    const TPatternWeights& weights = network.Weights();
    EXPECT_TRUE(weights.IsCompact());
    const std::uint64_t* first = weights.MasksOf(0);
    return {first, first + weights.Rows() * 2 * weights.WordsPerMask()};
}

std::vector<std::uint64_t> MasksCodedBy(const TDictionary& dictionary, const TWordCoder& coder) {
    THammingNet network;
    network.SetInputCount(kWordCodeLength);
    network.SetPatternCount(static_cast<std::int32_t>(dictionary.Entries.size()));
    TWordCode code{};
    for (std::size_t row = 0; row < dictionary.Entries.size(); ++row) {
        coder.Code(dictionary.Entries[row].Word, code);
        network.StorePattern(code, static_cast<std::int32_t>(row));
    }
    // The masks are copied out of the network, which cppcheck cannot see.
    // cppcheck-suppress returnDanglingLifetime
    return AllMasks(network);
}

struct TConstants {
    double MaxOutput;
    double Epsilon;
    std::int32_t MaxIterations;
    friend bool operator==(const TConstants&, const TConstants&) = default;
};

TConstants ConstantsOf(const THammingNet& network) {
    return {network.MaxOutput(), network.Epsilon(), network.MaxIterations()};
}

TEST(ApplyConfigTest, RowsAreReStoredUnderEachCodeAndBackToTheLoadsBitForBit) {
    std::mt19937 random(5);
    TDictionary dictionary =
        DictionaryOf(test_support::RandomWordText(random, 3000, 1, 26, "\xC0\xC1\xCA\xCE\xD2 "));
    const std::vector<std::uint64_t> loaded = AllMasks(dictionary.Network);
    const TConstants program = ConstantsOf(dictionary.Network);
    for (const TNetworkConfig& config : ShippedConfigs()) {
        ASSERT_TRUE(ApplyConfig(dictionary, config)) << config.Name;
        EXPECT_EQ(dictionary.Coder, config.Coder) << config.Name;
        EXPECT_EQ(AllMasks(dictionary.Network), MasksCodedBy(dictionary, config.Coder))
            << config.Name;
        EXPECT_EQ(dictionary.Network.MaxOutput(), config.MaxOutput);
        EXPECT_EQ(dictionary.Network.EpsilonFactor(), config.EpsilonFactor);
        EXPECT_EQ(dictionary.Network.MaxIterations(), config.MaxIterations);
    }
    ASSERT_TRUE(ApplyConfig(dictionary, ShippedConfigs().front()));
    EXPECT_EQ(AllMasks(dictionary.Network), loaded);
    EXPECT_EQ(ConstantsOf(dictionary.Network), program);
    EXPECT_EQ(ShippedConfigs().front().Name, "program");
    EXPECT_TRUE(FindShippedConfig("best").has_value());
    EXPECT_FALSE(FindShippedConfig("Best").has_value());
}

TEST(ApplyConfigTest, CancelledOrRefusedChangeLeavesTheDictionaryAsItWas) {
    std::mt19937 random(9);
    // More rows than one chunk, so that the cancel comes half-way.
    TDictionary dictionary = DictionaryOf(
        test_support::RandomWordText(random, 90000, 3, 12, "\xC0\xC1\xC2\xC5\xCA\xCE\xD2\xD3"));
    ASSERT_GT(dictionary.Entries.size(), 70000u);
    TNetworkConfig keyboard = *FindShippedConfig("keyboard");
    ASSERT_TRUE(ApplyConfig(dictionary, keyboard));
    const std::vector<std::uint64_t> before = AllMasks(dictionary.Network);
    const TConstants constants = ConstantsOf(dictionary.Network);

    std::atomic<bool> cancel{false};
    std::size_t calls = 0;
    TNetworkConfig pairs = *FindShippedConfig("best");
    EXPECT_FALSE(ApplyConfig(dictionary, pairs, &cancel, [&](std::size_t done, std::size_t total) {
        EXPECT_LT(done, total);
        ++calls;
        cancel = true;
    }));
    EXPECT_EQ(calls, 1u);
    EXPECT_EQ(AllMasks(dictionary.Network), before);
    EXPECT_EQ(dictionary.Coder, keyboard.Coder);
    EXPECT_EQ(ConstantsOf(dictionary.Network), constants);

    struct TBad {
        double MaxOutput;
        double EpsilonFactor;
        std::int32_t MaxIterations;
        const char* Message;
    };
    for (const TBad& bad :
         {TBad{0.0, 0.5, 5, kMessageBadMaxOutput}, TBad{-1.0, 0.5, 5, kMessageBadMaxOutput},
          TBad{std::numeric_limits<double>::infinity(), 0.5, 5, kMessageBadMaxOutput},
          TBad{100.0, -0.1, 5, kMessageBadEpsilonFactor},
          TBad{100.0, std::numeric_limits<double>::quiet_NaN(), 5, kMessageBadEpsilonFactor},
          TBad{100.0, 0.5, -1, kMessageBadMaxIterations},
          TBad{100.0, 0.5, kMostMaxIterations + 1, kMessageBadMaxIterations}}) {
        pairs.MaxOutput = bad.MaxOutput;
        pairs.EpsilonFactor = bad.EpsilonFactor;
        pairs.MaxIterations = bad.MaxIterations;
        try {
            ApplyConfig(dictionary, pairs);
            ADD_FAILURE() << "accepted " << bad.Message;
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), bad.Message);
        }
        EXPECT_EQ(AllMasks(dictionary.Network), before);
        EXPECT_EQ(dictionary.Coder, keyboard.Coder);
        EXPECT_EQ(ConstantsOf(dictionary.Network), constants);
    }
}

} // namespace
} // namespace verblinka
