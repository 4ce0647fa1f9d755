// The search under each first-layer kernel against the search written out
// step by step on the literal network: codes swept in groups of every size
// the threads and the budget give (one code alone included), and one code per
// recognition where the first layer is not shared. Each kernel this
// processor has runs; the others are skipped, and say so.
#include "engine/HammingMem.h"
#include "reference/ReferenceModel.h"
#include "reference/TestSupport.h"
#include "search/Search.h"

#include <gtest/gtest.h>

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
    std::string text;
    for (int i = 0; i < 151; ++i) {
        const std::size_t length = 1 + random() % 22;
        for (std::size_t k = 0; k < length; ++k) {
            text.push_back(kLetters[random() % kLetters.size()]);
        }
        text.push_back(' ');
    }
    TKernelSearchCases cases{test_support::DictionaryOf(text), {}, {}};
    THammingNet& network = cases.Dictionary.Network;
    for (const std::size_t length : {1u, 2u, 6u, 9u, 13u, 20u, 23u}) {
        std::string query;
        for (std::size_t k = 0; k < length; ++k) {
            query.push_back(kLetters[random() % kLetters.size()]);
        }
        network.SetReferenceMode(true);
        cases.Literals.push_back(
            reference::LiteralSearch(query, cases.Dictionary.Entries, [&](const TWordCode& code) {
                return network.Recognize(code);
            }));
        network.SetReferenceMode(false);
        cases.Queries.push_back(query);
    }
    return cases;
}

// Made once for every kernel: the literal search is the slow part.
const TKernelSearchCases& Cases() {
    static const TKernelSearchCases kCases = MakeCases();
    return kCases;
}

void ExpectLiteral(const TSearchOutcome& outcome, const TSearchOutcome& literal,
                   const std::string& what) {
    ASSERT_EQ(outcome.Status, TSearchStatus::Selected) << what;
    EXPECT_EQ(outcome.BestRow, literal.BestRow) << what;
    EXPECT_EQ(outcome.BestDistance, literal.BestDistance) << what;
    EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep) << what;
    ASSERT_EQ(outcome.Steps.size(), literal.Steps.size()) << what;
    for (std::size_t s = 0; s < outcome.Steps.size(); ++s) {
        EXPECT_EQ(outcome.Steps[s].Row, literal.Steps[s].Row) << what << ", step " << s;
    }
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
        network.SetValuePasses(true);
        ExpectLiteral(SearchWord(query, dictionary.Entries, network, code, true), cases.Literals[q],
                      what + ", value passes");
        network.SetValuePasses(false);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, TSearchKernelTest,
                         ::testing::Values(TFirstLayerKernel::Scalar, TFirstLayerKernel::Popcount,
                                           TFirstLayerKernel::Avx512),
                         [](const ::testing::TestParamInfo<TFirstLayerKernel>& info) {
                             return std::string(FirstLayerKernelName(info.param));
                         });

} // namespace
} // namespace verblinka
