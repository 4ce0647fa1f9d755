#include "reference/TestSupport.h"

#include "search/Search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace verblinka {
namespace {

using test_support::DictionaryOf;

TSearchOutcome Search(TDictionary& dictionary, const std::string& query, bool steps = false) {
    TWordCode code{};
    return SearchWord(query, dictionary.Entries, dictionary.Network, code, steps);
}

const std::string& Selected(const TDictionary& dictionary, const TSearchOutcome& outcome) {
    return dictionary.Entries.at(static_cast<std::size_t>(outcome.BestRow)).Word;
}

TEST(WordDistanceTest, CountsLengthDifferenceAndDifferingBytes) {
    EXPECT_EQ(WordDistance("", ""), 0);
    EXPECT_EQ(WordDistance("KOT", "KOT"), 0);
    EXPECT_EQ(WordDistance("KOT", "kot"), 3);
    EXPECT_EQ(WordDistance("KOT", "KOTY"), 1);
    EXPECT_EQ(WordDistance("KOTY", "KIT"), 2);
    EXPECT_EQ(WordDistance(" KOT", "KOT"), 4);
    EXPECT_EQ(WordDistance("\xCA\xCE\xD2", "\xCA\xCE\xD1"), 1);
}

TEST(InsertBlankTest, InsertsBeforeTheGivenByte) {
    EXPECT_EQ(InsertBlank("KOT", 1), " KOT");
    EXPECT_EQ(InsertBlank("KOT", 2), "K OT");
    EXPECT_EQ(InsertBlank("KOT", 3), "KO T");
    EXPECT_EQ(InsertBlank("KOT", 4), "KOT ");
    EXPECT_THROW(InsertBlank("KOT", 0), std::out_of_range);
    EXPECT_THROW(InsertBlank("KOT", 5), std::out_of_range);
}

TEST(SearchTest, InputProblemsAreReportedBeforeAnyWork) {
    TDictionary none;
    EXPECT_EQ(Search(none, " \t\r\n").Message(), "Ошибка: не введено слово для поиска");
    EXPECT_EQ(Search(none, std::string("\0 \x20", 3)).Status, TSearchStatus::NoWord);
    EXPECT_EQ(Search(none, "кот").Message(), "Ошибка: не загружен словарь");
    TDictionary loaded = DictionaryOf("KOT");
    EXPECT_EQ(Search(loaded, "   ").Status, TSearchStatus::NoWord);
    EXPECT_EQ(Search(loaded, "KOT").Message(), "");
}

TEST(SearchTest, AFailureInsideTheSearchIsOneFixedMessage) {
    TDictionary dictionary = DictionaryOf("KOT DOM");
    dictionary.Network.SetPatternCount(2); // rows and entries no longer agree
    const TSearchOutcome outcome = Search(dictionary, "KOT");
    EXPECT_EQ(outcome.Status, TSearchStatus::Failed);
    EXPECT_EQ(outcome.Message(), "Ошибка при поиске");
}

TEST(SearchTest, AnExactEntryIsTheFinalSelection) {
    TDictionary dictionary =
        DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCF\xA8\xD1 \xCA\xCE\xD2\xDB");
    const TSearchOutcome outcome = Search(dictionary, "\xCA\xCE\xD2\xDB", true);
    ASSERT_EQ(outcome.Status, TSearchStatus::Selected);
    EXPECT_EQ(Selected(dictionary, outcome), "\xCA\xCE\xD2\xDB");
    EXPECT_EQ(outcome.BestDistance, 0);
    EXPECT_EQ(outcome.Steps.size(), 5u); // the word and one variant per byte
    EXPECT_EQ(outcome.Steps[1].Text, " \xCA\xCE\xD2\xDB");
    EXPECT_EQ(outcome.Steps[4].Text, "\xCA\xCE\xD2 \xDB");
}

TEST(SearchTest, LowerCaseQueriesGetTheSameCandidatesButCountEveryLetter) {
    TDictionary dictionary = DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCF\xA8\xD1");
    const TSearchOutcome upper = Search(dictionary, "\xCA\xCE\xD2", true);
    const TSearchOutcome lower = Search(dictionary, "\xEA\xEE\xF2", true);
    ASSERT_EQ(upper.Steps.size(), lower.Steps.size());
    for (std::size_t i = 0; i < upper.Steps.size(); ++i) {
        EXPECT_EQ(upper.Steps[i].Row, lower.Steps[i].Row);
    }
    EXPECT_EQ(lower.Steps[0].Distance, 3);
    EXPECT_EQ(upper.BestDistance, 0);
}

TEST(SearchTest, TiesGoToTheLaterCandidate) {
    TDictionary dictionary = DictionaryOf("");
    const TSearchOutcome outcome = Search(dictionary, "AB", true);
    // Every candidate is the empty entry: distances 2, 3, 3; the last one wins.
    EXPECT_EQ(outcome.BestRow, 0);
    EXPECT_EQ(outcome.BestDistance, 2);
    EXPECT_EQ(outcome.ChosenStep, 0);

    const TSearchOutcome single = Search(dictionary, "A", true);
    EXPECT_EQ(single.Steps.size(), 2u);
}

TEST(SearchTest, LongQueriesAreCodedFromTwentyBytesButMeasuredWhole) {
    TDictionary dictionary = DictionaryOf("ABCDEFGHIJKLMNOPQRSTUVWXYZ KOT");
    const std::string query = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ";
    const TSearchOutcome outcome = Search(dictionary, query, true);
    EXPECT_EQ(Selected(dictionary, outcome), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(outcome.Steps.size(), query.size() + 1);
    EXPECT_EQ(outcome.BestDistance, 10);
}

// Words sharing their first 20 bytes have one code; the lowest row is proposed.
TEST(SearchTest, IdenticalCodesProposeTheLowestRow) {
    TDictionary dictionary = DictionaryOf(
        "\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC0\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC0\xCF\xC5\xD0\xC5"
        "\xCF\xC5\xCB\xCA\xC0 "
        "\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC0\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC0\xCF\xC5\xD0\xC5"
        "\xCF\xC5\xCB\xCA\xC8 \xCA\xCE\xD2 \xC4\xCE\xCC");
    const std::string query = "\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC0\xCF\xC5\xD0\xC5\xCF\xC5\xCB"
                              "\xCA\xC0\xCF\xC5\xD0\xC5\xCF\xC5\xCB\xCA\xC8";
    const TSearchOutcome outcome = Search(dictionary, query);
    EXPECT_EQ(Selected(dictionary, outcome), query.substr(0, 26) + "\xC0");
    EXPECT_EQ(outcome.BestDistance, 1);
}

// Clipping on the first pass makes an earlier near neighbour equal to the exact word.
TEST(SearchTest, ClippingHidesAnExactLongWordBehindAnEarlierNeighbour) {
    TDictionary dictionary = DictionaryOf(
        "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4 "
        "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD5 "
        "\xC4\xCE\xCC \xCA\xCE\xD2 \xCF\xA8\xD1");
    const std::string query = "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1"
                              "\xD2\xD3\xD5";
    const TSearchOutcome outcome = Search(dictionary, query);
    EXPECT_EQ(outcome.BestRow, 1);
    EXPECT_EQ(Selected(dictionary, outcome), query.substr(0, 19) + "\xD4");
    EXPECT_EQ(outcome.BestDistance, 1);
}

// The twice-rounded arithmetic decides between four tied first-layer values.
TEST(SearchTest, PrecisionRulesDecideTheCandidate) {
    TDictionary dictionary =
        DictionaryOf("\xC3\xC0\xC1 \xC3\xC5 \xC6\xCB\xCA \xC6\xD0\xC3 \xCC\xD0\xCD "
                     "\xCD \xCD\xD2\xD3\xC1\xCD \xCF \xD0\xC1 \xD1\xC8\xD1 "
                     "\xD2\xCD\xC4\xC2\xC6 \xD3\xC2");
    ASSERT_EQ(dictionary.Entries.size(), 13u);
    const TSearchOutcome outcome = Search(dictionary, "\xCE", true);
    ASSERT_EQ(outcome.Steps.size(), 2u);
    EXPECT_EQ(outcome.Steps[0].Row, 3); // ЖЛК
    EXPECT_EQ(outcome.Steps[0].Distance, 3);
    EXPECT_EQ(Selected(dictionary, outcome), "\xD1\xC8\xD1"); // СИС, the later candidate
    EXPECT_EQ(outcome.BestRow, 10);
    EXPECT_EQ(outcome.BestDistance, 3);
    EXPECT_EQ(outcome.ChosenStep, 1);
}

TEST(SearchTest, LeadingBlanksArePartOfTheQuery) {
    TDictionary dictionary = DictionaryOf("KOT DOM");
    const TSearchOutcome outcome = Search(dictionary, " KOT", true);
    ASSERT_EQ(outcome.Steps.size(), 5u);
    EXPECT_EQ(outcome.Steps[1].Text, outcome.Steps[2].Text);
    EXPECT_EQ(outcome.Steps[1].Text, "  KOT");
}

// Progress counts every variant; a cancel ends the search with no step.
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
