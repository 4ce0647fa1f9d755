// The search against reference::LiteralSearch, the search written out step by
// step (one recognition per variant, every distance counted, the later of
// equal candidates chosen): every row, distance, text and the choice, for
// each thing the search does to share its work (distinct codes only, one
// first-layer sweep per group of codes, several threads, long variants from
// prefix counts, an exact hit ending a search without steps) and under each
// first-layer kernel this processor has (the others are skipped, and say so).
#include "engine/HammingMem.h"
#include "reference/ReferenceModel.h"
#include "reference/TestSupport.h"
#include "reference/WordLists.h"
#include "search/Configuration.h"
#include "search/Search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace verblinka {

// The kernel by name in the tests' names and messages.
void PrintTo(TFirstLayerKernel kernel, std::ostream* out) {
    *out << FirstLayerKernelName(kernel);
}

namespace {

using test_support::DictionaryOf;

// Which recognition the literal search calls: the network's literal path, or
// the network as it runs by default (when only the search's own sharing is
// under test and M² additions per variant would be too slow).
enum class TOracleNetwork { Literal, AsItRuns };

TSearchOutcome LiteralOutcome(std::string_view query, const TDictionaryEntries& entries,
                              THammingNet& network, TOracleNetwork recognition,
                              const TWordCoder* coder = nullptr) {
    network.SetPath(recognition == TOracleNetwork::Literal ? TCompetitionPath::Literal
                                                           : TCompetitionPath::Auto);
    TSearchOutcome outcome = reference::LiteralSearch(
        query, entries, [&](const TWordCode& code) { return network.Recognize(code); }, coder);
    network.SetPath(TCompetitionPath::Auto);
    return outcome;
}

void ExpectLiteralSteps(const std::vector<TSearchStep>& steps,
                        const std::vector<TSearchStep>& literal, const std::string& what) {
    ASSERT_EQ(steps.size(), literal.size()) << what;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        EXPECT_EQ(steps[s].Text, literal[s].Text) << what << ", step " << s;
        EXPECT_EQ(steps[s].Row, literal[s].Row) << what << ", step " << s;
        EXPECT_EQ(steps[s].Distance, literal[s].Distance) << what << ", step " << s;
    }
}

// The whole outcome, steps included.
void ExpectLiteral(const TSearchOutcome& outcome, const TSearchOutcome& literal,
                   const std::string& what) {
    ASSERT_EQ(outcome.Status, literal.Status) << what;
    ASSERT_EQ(outcome.Status, TSearchStatus::Selected) << what;
    EXPECT_EQ(outcome.BestRow, literal.BestRow) << what;
    EXPECT_EQ(outcome.BestDistance, literal.BestDistance) << what;
    EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep) << what;
    ExpectLiteralSteps(outcome.Steps, literal.Steps, what);
}

// A search without steps: the same selection (it may stop at an exact hit,
// and pass over codes whose every row it may return loses).
void ExpectLiteralChoice(const TSearchOutcome& outcome, const TSearchOutcome& literal,
                         const std::string& what) {
    EXPECT_EQ(outcome.BestRow, literal.BestRow) << what;
    EXPECT_EQ(outcome.BestDistance, literal.BestDistance) << what;
    EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep) << what;
}

// ---- every kernel, every grouping of codes ---------------------------------

// A dictionary, queries of every length up to past the coded bytes, and
// their literal outcomes.
struct TKernelSearchCases {
    TDictionary Dictionary;
    std::vector<std::string> Queries;
    std::vector<TSearchOutcome> Literals;
};

TKernelSearchCases MakeCases() {
    std::mt19937 random(29);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8";
    TKernelSearchCases cases{
        DictionaryOf(test_support::RandomWordText(random, 151, 1, 22, kLetters)), {}, {}};
    for (const std::size_t length : {1u, 2u, 6u, 9u, 13u, 20u, 23u}) {
        const std::string query = test_support::RandomWord(random, length, length, kLetters);
        cases.Literals.push_back(LiteralOutcome(query, cases.Dictionary.Entries,
                                                cases.Dictionary.Network, TOracleNetwork::Literal));
        cases.Queries.push_back(query);
    }
    return cases;
}

// Made once for every kernel: the literal search is the slow part.
const TKernelSearchCases& Cases() {
    static const TKernelSearchCases kCases = MakeCases();
    return kCases;
}

class TSearchKernelTest : public ::testing::TestWithParam<TFirstLayerKernel> {};

TEST_P(TSearchKernelTest, EveryGroupingGivesTheLiteralSearchsSteps) {
    const TFirstLayerKernel kernel = GetParam();
    if (!FirstLayerKernelAvailable(kernel)) {
        GTEST_SKIP() << "this processor lacks the " << FirstLayerKernelName(kernel)
                     << " first-layer kernel";
    }
    const TKernelSearchCases& cases = Cases();
    TDictionary dictionary = cases.Dictionary;
    THammingNet& network = dictionary.Network;
    const std::size_t rows = dictionary.Entries.size();
    network.SetFirstLayerKernel(kernel);
    // The sweep's kernels alternate, so that each runs in the search too.
    const TSweepKernel sweep =
        kernel == TFirstLayerKernel::Popcount ? TSweepKernel::Scalar : TSweepKernel::Avx512;
    network.SetSweepKernel(SweepKernelAvailable(sweep) ? sweep : TSweepKernel::Scalar);
    for (std::size_t q = 0; q < cases.Queries.size(); ++q) {
        const std::string& query = cases.Queries[q];
        const std::string what = "query of " + std::to_string(query.size());
        TWordCode code{};
        // (threads, codes the budget allows at once): groups of one, of
        // uneven sizes and of the threads' count.
        for (const auto& [threads, codes] :
             {std::pair{1u, 1u}, std::pair{1u, 3u}, std::pair{1u, 5u}, std::pair{1u, 7u},
              std::pair{3u, 0u}, std::pair{2u, 21u}}) {
            TSearchControl control;
            control.Threads = threads;
            control.FirstLayerBudget = codes * rows * sizeof(std::uint16_t);
            ExpectLiteral(SearchWord(query, dictionary.Entries, network, code, true, control),
                          cases.Literals[q],
                          what + ", " + std::to_string(threads) + " threads, " +
                              std::to_string(codes) + " codes at once");
        }
        // The passes over values: each recognition its own single-input first layer.
        network.SetPath(TCompetitionPath::Values);
        ExpectLiteral(SearchWord(query, dictionary.Entries, network, code, true), cases.Literals[q],
                      what + ", value passes");
        network.SetPath(TCompetitionPath::Auto);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, TSearchKernelTest,
                         ::testing::Values(TFirstLayerKernel::Scalar, TFirstLayerKernel::Popcount,
                                           TFirstLayerKernel::Avx512),
                         [](const ::testing::TestParamInfo<TFirstLayerKernel>& info) {
                             return std::string(FirstLayerKernelName(info.param));
                         });

// ---- each distinct code recognized once --------------------------------------

TEST(SearchReuseTest, OutcomeEqualsOneLiteralRecognitionPerVariant) {
    std::mt19937 random(17);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8";
    TDictionary dictionary =
        DictionaryOf(test_support::RandomWordText(random, 700, 1, 24, kLetters));
    ASSERT_GT(dictionary.Entries.size(), 600u);

    std::vector<std::string> queries = {
        "\xCA\xCE\xD2",                                         // short
        "\xCA\xCE\xD2\xCE\xC1\xC0\xCA\xC0",                     // eight letters
        std::string(26, '\xC0'),                                // beyond the 20 coded bytes
        "  \xCA\xCE\xD2 ",                                      // blanks lead and trail
        dictionary.Entries[dictionary.Entries.size() / 2].Word, // stored
    };
    TWordCode code{};
    for (const std::string& query : queries) {
        const TSearchOutcome fast =
            SearchWord(query, dictionary.Entries, dictionary.Network, code, true);
        ExpectLiteral(
            fast,
            LiteralOutcome(query, dictionary.Entries, dictionary.Network, TOracleNetwork::Literal),
            query);
    }
}

// ---- every code, with random constants -------------------------------------

// The rows re-stored under each code (ApplyConfig), the query and its
// variants coded alike (TSearchControl::Coder), the constants drawn at
// random: the search equals the literal one, whose rows are coded anew.
TEST(SearchCodeTest, EveryCodeAndRandomConstantsGiveTheLiteralSearch) {
    std::mt19937 random(41);
    static const std::string kLetters = "\xC0\xC1\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xA8";
    TDictionary dictionary =
        DictionaryOf(test_support::RandomWordText(random, 160, 1, 23, kLetters));
    std::vector<TNetworkConfig> configs = ShippedConfigs();
    TNetworkConfig table;
    table.Coder = TWordCoder::FromTable("\xD0\x90 00000001\n\xD0\x9E 10000000\n", "t");
    configs.push_back(table);
    std::uniform_real_distribution<double> factor(0.0, 3.0);
    for (TNetworkConfig config : configs) {
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                config.MaxOutput = std::ldexp(1.0 + static_cast<double>(random() % 1000),
                                              -static_cast<int>(random() % 4));
                config.EpsilonFactor = factor(random);
                config.MaxIterations = static_cast<std::int32_t>(random() % 12);
            }
            ASSERT_TRUE(ApplyConfig(dictionary, config));
            THammingNet literal;
            literal.SetMaxIterations(config.MaxIterations);
            literal.SetInputCount(kWordCodeLength);
            literal.SetPatternCount(static_cast<std::int32_t>(dictionary.Entries.size()));
            literal.SetMaxOutput(config.MaxOutput);
            literal.SetEpsilonFactor(config.EpsilonFactor);
            TWordCode code{};
            for (std::size_t row = 0; row < dictionary.Entries.size(); ++row) {
                config.Coder.Code(dictionary.Entries[row].Word, code);
                literal.StorePattern(code, static_cast<std::int32_t>(row));
            }
            TSearchControl control;
            control.Coder = &dictionary.Coder;
            for (int q = 0; q < 5; ++q) {
                std::string query =
                    dictionary.Entries[1 + random() % (dictionary.Entries.size() - 1)].Word;
                query.insert(random() % (query.size() + 1), 1, kLetters[random() % 10]);
                if (q == 4) {
                    query += std::string(random() % 8, '\xC0');
                }
                const std::string what = config.Name + " " + config.Coder.Name() + ", round " +
                                         std::to_string(round) + ", query " + query;
                const TSearchOutcome expected = LiteralOutcome(
                    query, dictionary.Entries, literal, TOracleNetwork::Literal, &config.Coder);
                ExpectLiteral(
                    SearchWord(query, dictionary.Entries, dictionary.Network, code, true, control),
                    expected, what);
                ExpectLiteralChoice(
                    SearchWord(query, dictionary.Entries, dictionary.Network, code, false, control),
                    expected, what);
            }
        }
    }
}

// ---- threads, sweeps and long variants -----------------------------------

TEST(SearchSharingTest, ThreadCountsGiveTheLiteralLoopsOutcome) {
    std::mt19937 random(31);
    // Words over a few letters, so that many share long prefixes.
    TDictionary dictionary =
        DictionaryOf(test_support::RandomWordText(random, 1500, 1, 12, "\xC0\xC1\xCA\xCE\xD2\xC8"));
    for (int q = 0; q < 12; ++q) {
        std::string query = dictionary.Entries[1 + random() % (dictionary.Entries.size() - 1)].Word;
        if (q % 3 == 1) {
            query[random() % query.size()] = '\xCB';
        } else if (q % 3 == 2) {
            query.insert(random() % query.size(), "\xD0");
        }
        const TSearchOutcome literal =
            LiteralOutcome(query, dictionary.Entries, dictionary.Network, TOracleNetwork::AsItRuns);
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
            ExpectLiteral(outcome, literal, what);
            ExpectLiteralSteps(streamed, literal.Steps, what + " (streamed)");
            // Without steps: the same choice, an exact hit ending the search early.
            TSearchControl bareControl;
            bareControl.Threads = threads;
            bareControl.FirstLayerBudget = budget;
            ExpectLiteralChoice(
                SearchWord(query, dictionary.Entries, dictionary.Network, code, false, bareControl),
                literal, what);
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
            const TSearchOutcome literal = LiteralOutcome(
                query, dictionary.Entries, dictionary.Network, TOracleNetwork::AsItRuns);
            TWordCode code{};
            const std::string what = "round " + std::to_string(round) + ", query " + query;
            ExpectLiteral(SearchWord(query, dictionary.Entries, dictionary.Network, code, true),
                          literal, what);
            ExpectLiteralChoice(
                SearchWord(query, dictionary.Entries, dictionary.Network, code, false), literal,
                what);
        }
    }
}

TEST(SearchSharingTest, VeryLongQueries) {
    TDictionary dictionary = DictionaryOf("\xCA\xCE\xD2 \xC4\xCE\xCC \xCA\xCA\xCA\xCA");
    std::string query(3000, '\xCA');
    query[1500] = '\xCE';
    const TSearchOutcome literal =
        LiteralOutcome(query, dictionary.Entries, dictionary.Network, TOracleNetwork::AsItRuns);
    TWordCode code{};
    TSearchOutcome outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    ExpectLiteralChoice(outcome, literal, "3000 bytes");
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

} // namespace
} // namespace verblinka
