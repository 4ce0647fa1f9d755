// The traced search against SearchWord: the same steps, rows, distances and
// choice; recognitions reused exactly where a code repeats, each trace ending
// on its step's row.
#include "search/SearchTrace.h"
#include "reference/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace verblinka {
namespace {

void ExpectAgreesWithSearch(const std::string& query, const TDictionary& dictionary,
                            THammingNet& network) {
    TWordCode code{};
    const TSearchOutcome outcome = SearchWord(query, dictionary.Entries, network, code, true);
    const TSearchTrace traced = TraceSearch(query, dictionary.Entries, network, code, {0});
    ASSERT_EQ(traced.Status, outcome.Status) << query;
    if (outcome.Status != TSearchStatus::Selected) {
        EXPECT_TRUE(traced.Steps.empty()) << query;
        return;
    }
    EXPECT_EQ(traced.BestRow, outcome.BestRow) << query;
    EXPECT_EQ(traced.BestDistance, outcome.BestDistance) << query;
    EXPECT_EQ(traced.ChosenStep, outcome.ChosenStep) << query;
    ASSERT_EQ(traced.Steps.size(), query.size() + 1) << query;
    ASSERT_EQ(traced.Steps.size(), outcome.Steps.size()) << query;
    std::map<TWordCode, std::size_t> firstWithCode;
    for (std::size_t i = 0; i < traced.Steps.size(); ++i) {
        const TTracedStep& step = traced.Steps[i];
        const std::string what = query + ", step " + std::to_string(i);
        EXPECT_EQ(step.Text, outcome.Steps[i].Text) << what;
        EXPECT_EQ(step.Row, outcome.Steps[i].Row) << what;
        EXPECT_EQ(step.Distance, outcome.Steps[i].Distance) << what;
        TWordCode expected{};
        CodeWord(step.Text, expected);
        EXPECT_EQ(step.Code, expected) << what;
        ASSERT_TRUE(step.Trace) << what;
        EXPECT_EQ(step.Trace->Winner, step.Row) << what;
        EXPECT_EQ(step.Trace->Passes.back().Winner, step.Row) << what;
        EXPECT_GE(step.Trace->TrackedIndex(step.Row), 0) << what;
        EXPECT_GE(step.Trace->TrackedIndex(0), 0) << what; // asked for
        const auto [known, fresh] = firstWithCode.emplace(step.Code, i);
        if (fresh) {
            EXPECT_EQ(step.ReusedFrom, -1) << what;
        } else {
            EXPECT_EQ(step.ReusedFrom, static_cast<std::int32_t>(known->second)) << what;
            EXPECT_EQ(step.Trace, traced.Steps[known->second].Trace) << what;
        }
    }
}

void CheckRandomDictionary(int words, bool reference) {
    std::mt19937 random(23);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8";
    std::string text;
    for (int i = 0; i < words; ++i) {
        const std::size_t length = 1 + random() % 24;
        for (std::size_t k = 0; k < length; ++k) {
            text.push_back(kLetters[random() % kLetters.size()]);
        }
        text.push_back(' ');
    }
    TDictionary dictionary = test_support::DictionaryOf(text);
    ASSERT_GT(dictionary.Entries.size(), static_cast<std::size_t>(words) * 4 / 5);
    const std::vector<std::string> queries = {
        "\xCA\xCE\xD2",                                         // short
        "\xCA\xCE\xD2\xCE\xC1\xC0\xCA\xC0",                     // eight letters
        std::string(26, '\xC0'),                                // reuses past the 20th byte
        " \xCA\xCE\xD2 ",                                       // the first two variants alike
        dictionary.Entries[dictionary.Entries.size() / 2].Word, // stored
        "\xEA\xEE\xF2",                                         // lower case
    };
    dictionary.Network.SetReferenceMode(reference);
    for (const std::string& query : queries) {
        ExpectAgreesWithSearch(query, dictionary, dictionary.Network);
    }
}

// The literal paths cost M * M per pass: a smaller dictionary for them.
TEST(SearchTraceTest, AgreesWithTheSearchOnRandomDictionaries) {
    CheckRandomDictionary(3000, false);
    CheckRandomDictionary(300, true);
}

TEST(SearchTraceTest, RefusesAsTheSearchDoes) {
    TDictionary dictionary = test_support::DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC");
    ExpectAgreesWithSearch("   ", dictionary, dictionary.Network);
    TDictionary empty;
    TWordCode code{};
    EXPECT_EQ(TraceSearch("\xCA\xCE\xD2", empty.Entries, empty.Network, code).Status,
              TSearchStatus::NoDictionary);
    // A network that does not hold the dictionary is a failure, not a result.
    THammingNet other;
    EXPECT_EQ(TraceSearch("\xCA\xCE\xD2", dictionary.Entries, other, code).Status,
              TSearchStatus::Failed);
}

} // namespace
} // namespace verblinka
