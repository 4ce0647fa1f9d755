// The traced search against SearchWord: the same steps, rows, distances and
// choice; recognitions reused exactly where a code repeats, each trace ending
// on its step's row.
#include "search/SearchTrace.h"
#include "reference/TestSupport.h"
#include "reference/WordLists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace verblinka {
namespace {

// The recognition traced through the network's observer, every value of
// every pass spelled out: what the search's recorder must agree with.
TRecognitionTrace ObservedTrace(THammingNet& network, const TWordCode& code,
                                const std::vector<std::int32_t>& requested) {
    TRecognitionTracer tracer(network.InputCount(), requested);
    const std::int32_t row = network.Recognize(code, tracer.Observer());
    return tracer.Finish(network, code, row);
}

void ExpectSameTrace(const TRecognitionTrace& a, const TRecognitionTrace& b,
                     const std::string& what) {
    EXPECT_EQ(a.Histogram, b.Histogram) << what;
    EXPECT_EQ(a.Leaders, b.Leaders) << what;
    EXPECT_EQ(a.TrackedRows, b.TrackedRows) << what;
    EXPECT_EQ(a.Winner, b.Winner) << what;
    EXPECT_EQ(a.End, b.End) << what;
    EXPECT_EQ(a.Input, b.Input) << what;
    ASSERT_EQ(a.Passes.size(), b.Passes.size()) << what;
    for (std::size_t p = 0; p < a.Passes.size(); ++p) {
        const std::string at = what + ", pass " + std::to_string(p);
        EXPECT_EQ(a.Passes[p].Stable, b.Passes[p].Stable) << at;
        EXPECT_EQ(a.Passes[p].Winner, b.Passes[p].Winner) << at;
        EXPECT_EQ(a.Passes[p].AboveZero, b.Passes[p].AboveZero) << at;
        EXPECT_EQ(a.Passes[p].Tracked, b.Passes[p].Tracked) << at; // bit for bit
    }
}

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
        EXPECT_EQ(step.Position, static_cast<std::int32_t>(i)) << what;
        EXPECT_EQ(traced.StepText(i), outcome.Steps[i].Text) << what;
        EXPECT_EQ(step.Row, outcome.Steps[i].Row) << what;
        EXPECT_EQ(step.Distance, outcome.Steps[i].Distance) << what;
        TWordCode expected{};
        CodeWord(traced.StepText(i), expected);
        EXPECT_EQ(traced.StepCode(i), expected) << what;
        ASSERT_TRUE(step.Trace) << what;
        EXPECT_EQ(step.Trace->Winner, step.Row) << what;
        EXPECT_EQ(step.Trace->Passes.back().Winner, step.Row) << what;
        EXPECT_GE(step.Trace->TrackedIndex(step.Row), 0) << what;
        EXPECT_GE(step.Trace->TrackedIndex(0), 0) << what; // asked for
        const auto [known, fresh] = firstWithCode.emplace(traced.StepCode(i), i);
        if (fresh) {
            EXPECT_EQ(step.ReusedFrom, -1) << what;
            ExpectSameTrace(*step.Trace, ObservedTrace(network, traced.StepCode(i), {0}), what);
        } else {
            EXPECT_EQ(step.ReusedFrom, static_cast<std::int32_t>(known->second)) << what;
            EXPECT_EQ(step.Trace, traced.Steps[known->second].Trace) << what;
        }
    }
}

void CheckRandomDictionary(int words, bool reference) {
    std::mt19937 random(23);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8";
    TDictionary dictionary = test_support::DictionaryOf(
        test_support::RandomWordText(random, static_cast<std::size_t>(words), 1, 24, kLetters));
    ASSERT_GT(dictionary.Entries.size(), static_cast<std::size_t>(words) * 4 / 5);
    const std::vector<std::string> queries = {
        "\xCA\xCE\xD2",                                         // short
        "\xCA\xCE\xD2\xCE\xC1\xC0\xCA\xC0",                     // eight letters
        std::string(26, '\xC0'),                                // reuses past the 20th byte
        " \xCA\xCE\xD2 ",                                       // the first two variants alike
        dictionary.Entries[dictionary.Entries.size() / 2].Word, // stored
        "\xEA\xEE\xF2",                                         // lower case
        std::string(150, '\xCA') + "\xCE\xD2",                  // long: shared past the 20th
    };
    dictionary.Network.SetPath(reference ? TCompetitionPath::Literal : TCompetitionPath::Auto);
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

// The traced search reports progress and obeys Cancel as the plain one does.
TEST(SearchTraceTest, ProgressAndCancel) {
    TDictionary dictionary = test_support::DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCF\xA8\xD1");
    TWordCode code{};
    const std::string query(40, '\xCA');
    std::int32_t last = 0;
    std::int32_t total = 0;
    TSearchControl control;
    control.OnProgress = [&](std::int32_t done, std::int32_t of) {
        last = std::max(last, done);
        total = of;
    };
    const TSearchTrace traced =
        TraceSearch(query, dictionary.Entries, dictionary.Network, code, {}, control);
    ASSERT_EQ(traced.Status, TSearchStatus::Selected);
    EXPECT_EQ(total, static_cast<std::int32_t>(query.size()) + 1);
    EXPECT_EQ(last, total);
    const std::atomic<bool> cancel{true};
    control.Cancel = &cancel;
    const TSearchTrace cancelled =
        TraceSearch(query, dictionary.Entries, dictionary.Network, code, {}, control);
    EXPECT_EQ(cancelled.Status, TSearchStatus::Cancelled);
    EXPECT_TRUE(cancelled.Steps.empty());
}

} // namespace
} // namespace verblinka
