// The search that shares its work (distinct codes only, one first-layer
// sweep, recognitions on several threads, long variants from prefix counts,
// an exact hit ending it) against the search written out as the literal loop.
#include "reference/ReferenceModel.h"
#include "reference/TestSupport.h"

#include "search/Search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace verblinka {
namespace {

using test_support::DictionaryOf;

// The search spelled out, on the dictionary's own network.
TSearchOutcome LiteralSearch(const std::string& query, TDictionary& dictionary) {
    return reference::LiteralSearch(query, dictionary.Entries, [&](const TWordCode& code) {
        return dictionary.Network.Recognize(code);
    });
}

void ExpectSameSteps(const std::vector<TSearchStep>& a, const std::vector<TSearchStep>& b,
                     const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].Text, b[i].Text) << what << ", step " << i;
        EXPECT_EQ(a[i].Row, b[i].Row) << what << ", step " << i;
        EXPECT_EQ(a[i].Distance, b[i].Distance) << what << ", step " << i;
    }
}

// Words over a few letters, so that many share long prefixes.
std::string RandomWords(std::mt19937& random, std::size_t count, std::size_t longest) {
    static const std::string kLetters = "\xC0\xC1\xCA\xCE\xD2\xC8 ";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = 1 + random() % longest;
        for (std::size_t k = 0; k < length; ++k) {
            text.push_back(kLetters[random() % (kLetters.size() - 1)]);
        }
        text.push_back(' ');
    }
    return text;
}

TEST(SearchSharingTest, ThreadCountsGiveTheLiteralLoopsOutcome) {
    std::mt19937 random(31);
    TDictionary dictionary = DictionaryOf(RandomWords(random, 1500, 12));
    for (int q = 0; q < 12; ++q) {
        std::string query = dictionary.Entries[1 + random() % (dictionary.Entries.size() - 1)].Word;
        if (q % 3 == 1) {
            query[random() % query.size()] = '\xCB';
        } else if (q % 3 == 2) {
            query.insert(random() % query.size(), "\xD0");
        }
        const TSearchOutcome literal = LiteralSearch(query, dictionary);
        // Every first layer in one sweep, and one sweep per thread's worth of codes.
        for (const auto& [threads, budget] :
             {std::pair{1u, TSearchControl{}.FirstLayerBudget},
              std::pair{2u, TSearchControl{}.FirstLayerBudget},
              std::pair{8u, TSearchControl{}.FirstLayerBudget}, std::pair{1u, std::size_t{0}},
              std::pair{2u, std::size_t{0}}}) {
            TSearchControl control;
            control.Threads = threads;
            control.FirstLayerBudget = budget;
            std::vector<TSearchStep> streamed;
            std::int32_t expectedIndex = 0;
            control.OnStep = [&](const TSearchStep& step, std::int32_t index) {
                EXPECT_EQ(index, expectedIndex++);
                streamed.push_back(step);
            };
            TWordCode code{};
            const TSearchOutcome outcome =
                SearchWord(query, dictionary.Entries, dictionary.Network, code, true, control);
            const std::string what = query + ", " + std::to_string(threads) + " threads, budget " +
                                     std::to_string(budget);
            ASSERT_EQ(outcome.Status, TSearchStatus::Selected) << what;
            EXPECT_EQ(outcome.BestRow, literal.BestRow) << what;
            EXPECT_EQ(outcome.BestDistance, literal.BestDistance) << what;
            EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep) << what;
            ExpectSameSteps(outcome.Steps, literal.Steps, what);
            ExpectSameSteps(streamed, literal.Steps, what + " (streamed)");
            // Without steps: the same choice, an exact hit ending the search early.
            TSearchControl bareControl;
            bareControl.Threads = threads;
            bareControl.FirstLayerBudget = budget;
            const TSearchOutcome bare =
                SearchWord(query, dictionary.Entries, dictionary.Network, code, false, bareControl);
            EXPECT_EQ(bare.BestRow, literal.BestRow) << what;
            EXPECT_EQ(bare.BestDistance, literal.BestDistance) << what;
        }
    }
}

// Past the 20th byte every variant has the query's code: its distance comes
// from prefix counts. Entries longer and shorter than the query, agreeing
// with it, with it shifted by the blank, or neither.
TEST(SearchSharingTest, LongQueriesGiveTheLiteralLoopsOutcome) {
    std::mt19937 random(5);
    const std::string base = "\xCA\xCE\xD2\xC0\xC1\xCA\xCE\xD2\xC0\xC1\xCA\xCE\xD2\xC0\xC1\xCA\xCE"
                             "\xD2\xC0\xC1\xCA\xCE";
    for (int round = 0; round < 8; ++round) {
        std::string words;
        std::vector<std::string> longOnes;
        for (int w = 0; w < 6; ++w) {
            std::string word = base;
            const std::size_t extra = random() % 60;
            for (std::size_t k = 0; k < extra; ++k) {
                word.push_back(random() % 3 == 0 ? '\xC0' : '\xCA');
            }
            longOnes.push_back(word);
            words += word + " ";
        }
        words += "\xC4\xCE\xCC \xCA\xCE\xD2 ";
        TDictionary dictionary = DictionaryOf(words);
        for (int q = 0; q < 4; ++q) {
            std::string query = longOnes[random() % longOnes.size()];
            switch (q) {
            case 0:
                break; // found exactly
            case 1:
                query.insert(std::min<std::size_t>(21 + random() % 10, query.size()), 1,
                             '\xCA'); // shifted after a point
                break;
            case 2:
                query.resize(21 + random() % 20);
                break;
            default:
                query += std::string(random() % 50, '\xC0');
            }
            const TSearchOutcome literal = LiteralSearch(query, dictionary);
            TWordCode code{};
            const TSearchOutcome withSteps =
                SearchWord(query, dictionary.Entries, dictionary.Network, code, true);
            const TSearchOutcome bare =
                SearchWord(query, dictionary.Entries, dictionary.Network, code, false);
            const std::string what = "round " + std::to_string(round) + ", query " + query;
            for (const TSearchOutcome* outcome : {&withSteps, &bare}) {
                EXPECT_EQ(outcome->BestRow, literal.BestRow) << what;
                EXPECT_EQ(outcome->BestDistance, literal.BestDistance) << what;
            }
            EXPECT_EQ(withSteps.ChosenStep, literal.ChosenStep) << what;
            ExpectSameSteps(withSteps.Steps, literal.Steps, what);
        }
    }
}

TEST(SearchSharingTest, VeryLongQueries) {
    TDictionary dictionary = DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCA\xCA\xCA\xCA");
    std::string query(3000, '\xCA');
    query[1500] = '\xCE';
    const TSearchOutcome literal = LiteralSearch(query, dictionary);
    TWordCode code{};
    TSearchOutcome outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    EXPECT_EQ(outcome.BestRow, literal.BestRow);
    EXPECT_EQ(outcome.BestDistance, literal.BestDistance);
    EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep);

    // A million bytes: no variant is built, so this takes about as long as
    // 21 recognitions and a pass over the query.
    query.assign(1'000'000, '\xCA');
    outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    ASSERT_EQ(outcome.Status, TSearchStatus::Selected);
    const std::string chosen =
        outcome.ChosenStep == 0 ? query : InsertBlank(query, outcome.ChosenStep);
    EXPECT_EQ(
        outcome.BestDistance,
        WordDistance(chosen, dictionary.Entries[static_cast<std::size_t>(outcome.BestRow)].Word));
}

TEST(SearchSharingTest, ProgressCancelAndExactHits) {
    TDictionary dictionary = DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCF\xA8\xD1");
    TWordCode code{};
    TSearchControl control;
    std::atomic<std::int32_t> last{0};
    std::atomic<bool> totalRight{true};
    control.OnProgress = [&](std::int32_t done, std::int32_t total) {
        last = done;
        totalRight = totalRight && total == 5;
    };
    const TSearchOutcome found = SearchWord("\xCA\xCE\xD2\xDB", dictionary.Entries,
                                            dictionary.Network, code, false, control);
    EXPECT_EQ(found.Status, TSearchStatus::Selected);
    EXPECT_EQ(last.load(), 5);
    EXPECT_TRUE(totalRight.load());

    // Found exactly: the query's own candidate, whatever comes after it.
    const TSearchOutcome exact =
        SearchWord("\xCA\xCE\xD2", dictionary.Entries, dictionary.Network, code);
    EXPECT_EQ(exact.BestDistance, 0);
    EXPECT_EQ(exact.ChosenStep, 0);
    EXPECT_EQ(dictionary.Entries[static_cast<std::size_t>(exact.BestRow)].Word, "\xCA\xCE\xD2");

    std::atomic<bool> cancel{true};
    control.Cancel = &cancel;
    control.OnStep = [](const TSearchStep&, std::int32_t) { FAIL() << "no step after a cancel"; };
    const TSearchOutcome cancelled =
        SearchWord("\xCA\xCE\xD2", dictionary.Entries, dictionary.Network, code, true, control);
    EXPECT_EQ(cancelled.Status, TSearchStatus::Cancelled);
    EXPECT_TRUE(cancelled.Message().empty());
    EXPECT_TRUE(cancelled.Steps.empty());
}

} // namespace
} // namespace verblinka
