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

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace verblinka {
namespace {

// A dictionary, queries of every length up to past the coded bytes, and
// their literal outcomes, made once for every kernel.
class TSearchKernelTest : public ::testing::TestWithParam<TFirstLayerKernel> {
protected:
    static void SetUpTestSuite() {
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
        dictionary_ = test_support::DictionaryOf(text);
        THammingNet& network = dictionary_.Network;
        queries_.clear();
        literals_.clear();
        for (const std::size_t length : {1u, 2u, 6u, 9u, 13u, 20u, 23u}) {
            std::string query;
            for (std::size_t k = 0; k < length; ++k) {
                query.push_back(kLetters[random() % kLetters.size()]);
            }
            network.SetReferenceMode(true);
            literals_.push_back(
                reference::LiteralSearch(query, dictionary_.Entries, [&](const TWordCode& code) {
                    return network.Recognize(code);
                }));
            network.SetReferenceMode(false);
            queries_.push_back(query);
        }
    }

    static void ExpectLiteral(const TSearchOutcome& outcome, std::size_t q,
                              const std::string& what) {
        const TSearchOutcome& literal = literals_[q];
        ASSERT_EQ(outcome.Status, TSearchStatus::Selected) << what;
        EXPECT_EQ(outcome.BestRow, literal.BestRow) << what;
        EXPECT_EQ(outcome.BestDistance, literal.BestDistance) << what;
        EXPECT_EQ(outcome.ChosenStep, literal.ChosenStep) << what;
        ASSERT_EQ(outcome.Steps.size(), literal.Steps.size()) << what;
        for (std::size_t s = 0; s < outcome.Steps.size(); ++s) {
            EXPECT_EQ(outcome.Steps[s].Row, literal.Steps[s].Row) << what << ", step " << s;
        }
    }

    static TDictionary dictionary_;
    static std::vector<std::string> queries_;
    static std::vector<TSearchOutcome> literals_;
};

TDictionary TSearchKernelTest::dictionary_;
std::vector<std::string> TSearchKernelTest::queries_;
std::vector<TSearchOutcome> TSearchKernelTest::literals_;

TEST_P(TSearchKernelTest, EveryGroupingGivesTheLiteralSearchsSteps) {
    const TFirstLayerKernel kernel = GetParam();
    if (!FirstLayerKernelAvailable(kernel)) {
        GTEST_SKIP() << "this processor lacks the " << FirstLayerKernelName(kernel)
                     << " first-layer kernel";
    }
    THammingNet& network = dictionary_.Network;
    const std::size_t rows = dictionary_.Entries.size();
    network.SetFirstLayerKernel(kernel);
    for (std::size_t q = 0; q < queries_.size(); ++q) {
        const std::string what = "query of " + std::to_string(queries_[q].size());
        TWordCode code{};
        // (threads, codes the budget allows at once): groups of one, of
        // uneven sizes and of the threads' count.
        for (const auto& [threads, codes] :
             {std::pair{1u, 1u}, std::pair{1u, 3u}, std::pair{1u, 5u}, std::pair{1u, 7u},
              std::pair{3u, 0u}, std::pair{2u, 21u}}) {
            TSearchControl control;
            control.Threads = threads;
            control.FirstLayerBudget = codes * rows * sizeof(std::uint16_t);
            ExpectLiteral(
                SearchWord(queries_[q], dictionary_.Entries, network, code, true, control), q,
                what + ", " + std::to_string(threads) + " threads, " + std::to_string(codes) +
                    " codes at once");
        }
        // The passes over values: each recognition its own single-input first layer.
        network.SetValuePasses(true);
        ExpectLiteral(SearchWord(queries_[q], dictionary_.Entries, network, code, true), q,
                      what + ", value passes");
        network.SetValuePasses(false);
    }
    network.SetFirstLayerKernel(TFirstLayerKernel::Auto);
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, TSearchKernelTest,
                         ::testing::Values(TFirstLayerKernel::Scalar, TFirstLayerKernel::Popcount,
                                           TFirstLayerKernel::Avx512),
                         [](const ::testing::TestParamInfo<TFirstLayerKernel>& info) {
                             return std::string(FirstLayerKernelName(info.param));
                         });

} // namespace
} // namespace verblinka
