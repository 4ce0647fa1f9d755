// A search recognizes each distinct code once; its outcome must be what a
// recognition per variant, on the literal network paths, gives.
#include "dictionary/DictionaryLoad.h"
#include "reference/ReferenceModel.h"
#include "search/Search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace verblinka {
namespace {

// The search as written out step by step: one literal recognition per text.
TSearchOutcome ReferenceSearch(std::string_view query, const TDictionaryEntries& entries,
                               THammingNet& network) {
    network.SetReferenceMode(true);
    TSearchOutcome outcome = reference::LiteralSearch(
        query, entries, [&](const TWordCode& code) { return network.Recognize(code); });
    network.SetReferenceMode(false);
    return outcome;
}

void ExpectSameOutcome(const TSearchOutcome& a, const TSearchOutcome& b, const std::string& what) {
    EXPECT_EQ(a.Status, b.Status) << what;
    EXPECT_EQ(a.BestRow, b.BestRow) << what;
    EXPECT_EQ(a.BestDistance, b.BestDistance) << what;
    EXPECT_EQ(a.ChosenStep, b.ChosenStep) << what;
    ASSERT_EQ(a.Steps.size(), b.Steps.size()) << what;
    for (std::size_t i = 0; i < a.Steps.size(); ++i) {
        EXPECT_EQ(a.Steps[i].Text, b.Steps[i].Text) << what << ", step " << i;
        EXPECT_EQ(a.Steps[i].Row, b.Steps[i].Row) << what << ", step " << i;
        EXPECT_EQ(a.Steps[i].Distance, b.Steps[i].Distance) << what << ", step " << i;
    }
}

TEST(SearchReuseTest, OutcomeEqualsOneLiteralRecognitionPerVariant) {
    std::mt19937 random(17);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8 ";
    std::string text;
    for (int i = 0; i < 700; ++i) {
        const std::size_t length = 1 + random() % 24;
        for (std::size_t k = 0; k < length; ++k) {
            text.push_back(kLetters[random() % (kLetters.size() - 1)]);
        }
        text.push_back(' ');
    }
    TDictionaryFile file(std::make_unique<TMemorySource>(text));
    TStringBTree tree;
    TWordCode code{};
    TDictionary dictionary = BuildDictionary(file, tree, code, kProgramMaxIterations);
    ASSERT_GT(dictionary.Entries.size(), 600u);

    std::vector<std::string> queries = {
        "\xCA\xCE\xD2",                                         // short
        "\xCA\xCE\xD2\xCE\xC1\xC0\xCA\xC0",                     // eight letters
        std::string(26, '\xC0'),                                // beyond the 20 coded bytes
        "  \xCA\xCE\xD2 ",                                      // blanks lead and trail
        dictionary.Entries[dictionary.Entries.size() / 2].Word, // stored
    };
    for (const std::string& query : queries) {
        const TSearchOutcome fast =
            SearchWord(query, dictionary.Entries, dictionary.Network, code, true);
        const TSearchOutcome reference =
            ReferenceSearch(query, dictionary.Entries, dictionary.Network);
        ExpectSameOutcome(fast, reference, query);
    }
}

} // namespace
} // namespace verblinka
