#include "engine/HammingMem.h"
#include "reference/WordNetwork.h"
#include "text/WordCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace verblinka {
namespace {

THammingNet NetworkOf(const std::vector<std::string>& words) {
    return test_support::WordNetwork(words);
}

TWordCode CodeOf(const std::string& word) {
    TWordCode code{};
    CodeWord(word, code);
    return code;
}

using TTrace = std::vector<std::vector<double>>;

TTrace TraceOf(THammingNet& net, const TWordCode& input, std::int32_t* row = nullptr) {
    TTrace trace;
    const std::int32_t result =
        net.Recognize(input, [&](std::int32_t pass, std::span<const double> values) {
            EXPECT_EQ(static_cast<std::size_t>(pass), trace.size());
            trace.emplace_back(values.begin(), values.end());
        });
    if (row != nullptr) {
        *row = result;
    }
    return trace;
}

TEST(HammingNetTest, FreshNetworkHasDocumentedDefaults) {
    THammingNet net;
    EXPECT_EQ(net.Bias(), 0.0);
    EXPECT_EQ(net.MaxOutput(), 100.0);
    EXPECT_EQ(net.Epsilon(), 0.0);
    EXPECT_EQ(net.InputCount(), 0);
    EXPECT_EQ(net.PatternCount(), 0);
    EXPECT_EQ(net.MaxIterations(), 50);
    EXPECT_TRUE(net.IsStable());
    EXPECT_EQ(net.Recognize(std::vector<std::int32_t>{}), 0);
}

// Rows 0, 1, 2 hold the empty word, КОТ and ПЁС; the input is the code of КОТ.
TEST(HammingNetTest, WorkedExampleRunsSevenPassesToRowOne) {
    THammingNet net = NetworkOf({"", "\xCA\xCE\xD2", "\xCF\xA8\xD1"});
    EXPECT_EQ(net.Epsilon(), 1.0 / 6.0);
    EXPECT_EQ(net.Bias(), 160.0);

    std::int32_t row = -1;
    const TTrace trace = TraceOf(net, CodeOf("\xCA\xCE\xD2"), &row);
    EXPECT_EQ(row, 1);
    ASSERT_EQ(trace.size(), 8u); // first layer + 7 passes

    EXPECT_EQ(trace[0], (std::vector<double>{80.0, 92.0, 84.0}));
    const double rounding = 0.0005;
    EXPECT_NEAR(trace[1][0], 50.667, rounding);
    EXPECT_NEAR(trace[1][1], 64.667, rounding);
    EXPECT_NEAR(trace[1][2], 55.333, rounding);
    EXPECT_NEAR(trace[2][0], 30.667, rounding);
    EXPECT_NEAR(trace[2][1], 47.0, rounding);
    EXPECT_NEAR(trace[2][2], 36.111, rounding);
    EXPECT_GT(trace[4][0], 0.0);
    EXPECT_EQ(trace[5][0], 0.0);
    EXPECT_EQ(trace[7][0], 0.0);
    EXPECT_NEAR(trace[7][1], 23.574, rounding);
    EXPECT_NEAR(trace[7][2], 0.039, rounding);

    // Every value to the last bit, as computed independently in exact rational
    // arithmetic with both roundings applied by hand.
    const TTrace exact = {
        {0x1.4p+6, 0x1.7p+6, 0x1.5p+6},
        {0x1.9555555555556p+5, 0x1.02aaaaaaaaaabp+6, 0x1.baaaaaaaaaaabp+5},
        {0x1.eaaaaaaaaaaacp+4, 0x1.7800000000001p+5, 0x1.20e38e38e38e4p+5},
        {0x1.0d097b425ed0bp+4, 0x1.1ef684bda12f7p+5, 0x1.72aaaaaaaaaabp+4},
        {0x1.be6b74f03291dp+2, 0x1.d34f0329161fap+4, 0x1.cc587e6b74f04p+3},
        {0x0p+0, 0x1.9a587e6b74f03p+4, 0x1.0b5fde49beaeep+3},
        {0x0p+0, 0x1.8410813aa50c5p+4, 0x1.052f684bda130p+2},
        {0x0p+0, 0x1.792e878cd14b8p+4, 0x1.3cde67b605676p-5},
    };
    EXPECT_EQ(trace, exact);
}

TEST(HammingNetTest, SingleRowIsNeverInhibited) {
    THammingNet net = NetworkOf({"\xCA\xCE\xD2"});
    std::int32_t row = -1;
    // 92 is below the ceiling: the first pass is already stable.
    TTrace trace = TraceOf(net, CodeOf("\xCA\xCE\xD2"), &row);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(trace.size(), 2u);

    // A 20-letter match scores 160: clipped to 100 on pass 1, stable on pass 2.
    const std::string longWord(20, 'A');
    net = NetworkOf({longWord});
    trace = TraceOf(net, CodeOf(longWord), &row);
    EXPECT_EQ(row, 0);
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[1][0], 100.0);
    EXPECT_EQ(trace[2][0], 100.0);
}

TEST(HammingNetTest, EmptyEntryScoresHalfTheInputs) {
    THammingNet net = NetworkOf({"", "\xC4\xCE\xCC"});
    for (const std::string& word :
         std::vector<std::string>{"", "A", "\xCA\xCE\xD2\xDB", std::string(30, 'Z')}) {
        const TTrace trace = TraceOf(net, CodeOf(word));
        EXPECT_EQ(trace[0][0], 80.0) << word;
    }
}

TEST(HammingNetTest, PrefixWordsScoreAlikeAndTheLowestRowWins) {
    // КОТ is a prefix of КОТЫ and КОТЁНОК: all three score 80 + 4 * 3.
    THammingNet net = NetworkOf({"", "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCA\xCE\xD2\xA8\xCD\xCE\xCA",
                                 "\xCA\xCE\xD2\xDB", "\xCF\xA8\xD1"});
    std::int32_t row = -1;
    const TTrace trace = TraceOf(net, CodeOf("\xCA\xCE\xD2"), &row);
    EXPECT_EQ(trace[0][2], 92.0);
    EXPECT_EQ(trace[0][3], 92.0);
    EXPECT_EQ(trace[0][4], 92.0);
    for (const auto& pass : trace) {
        EXPECT_EQ(pass[2], pass[3]);
        EXPECT_EQ(pass[3], pass[4]);
    }
    EXPECT_EQ(row, 2);
}

TEST(HammingNetTest, RecognizeDependsOnlyOnPatternsAndInput) {
    THammingNet net = NetworkOf({"", "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCF\xA8\xD1"});
    const TWordCode input = CodeOf("\xCA\xCE\xCC");
    const TTrace first = TraceOf(net, input);
    TraceOf(net, CodeOf("\xCF\xA8\xD1"));
    EXPECT_EQ(TraceOf(net, input), first);
}

TEST(HammingNetTest, ResizeKeepsValuesInsideBothBoundsAndZeroesTheRest) {
    THammingNet net;
    net.SetInputCount(3);
    net.SetPatternCount(2);
    net.StorePattern(std::vector<std::int32_t>{1, -1, 1}, 0);
    net.StorePattern(std::vector<std::int32_t>{-1, 1, -1}, 1);
    EXPECT_EQ(net.Epsilon(), 0.25);
    EXPECT_EQ(net.Bias(), 3.0);

    net.SetInputCount(4);
    EXPECT_EQ(net.Weight(0, 2), 1.0);
    EXPECT_EQ(net.Weight(1, 1), 1.0);
    EXPECT_EQ(net.Weight(0, 3), 0.0);
    net.SetPatternCount(3);
    EXPECT_EQ(net.Weight(1, 0), -1.0);
    EXPECT_EQ(net.Weight(2, 0), 0.0);
    net.SetInputCount(2);
    net.SetPatternCount(1);
    EXPECT_EQ(net.Weight(0, 0), 1.0);
    EXPECT_EQ(net.Weight(0, 1), -1.0);
    EXPECT_EQ(net.Similarity().size(), 1u);
    // Bias and Epsilon keep the values of the last store until a row is stored.
    EXPECT_EQ(net.Epsilon(), 0.25);
}

// Similarity and Activity read as M zeros until a recognition writes them (they
// take no memory until then); written, they resize as arrays do.
TEST(HammingNetTest, StateReadsAsZerosUntilWrittenAndResizesLikeAnArray) {
    THammingNet net;
    net.SetInputCount(3);
    net.SetPatternCount(200000);
    ASSERT_EQ(net.Similarity().size(), 200000u);
    EXPECT_TRUE(std::all_of(net.Similarity().begin(), net.Similarity().end(),
                            [](double v) { return v == 0.0; }));
    EXPECT_TRUE(net.IsStable());
    const THammingNet copy = net;
    EXPECT_EQ(copy.Activity().size(), 200000u);

    net.SetPatternCount(2);
    net.StorePattern(std::vector<std::int32_t>{1, -1, 1}, 0);
    net.StorePattern(std::vector<std::int32_t>{-1, 1, -1}, 1);
    net.Recognize(std::vector<std::int32_t>{1, -1, 1});
    const std::vector<double> written(net.Similarity().begin(), net.Similarity().end());
    net.SetPatternCount(3);
    ASSERT_EQ(net.Similarity().size(), 3u);
    EXPECT_EQ(net.Similarity()[0], written[0]);
    EXPECT_EQ(net.Similarity()[1], written[1]);
    EXPECT_EQ(net.Similarity()[2], 0.0);
}

TEST(HammingNetTest, BadSizesAndRowsAreRefused) {
    THammingNet net;
    EXPECT_THROW(net.SetPatternCount(-1), std::length_error);
    net.SetInputCount(2);
    net.SetPatternCount(1);
    EXPECT_THROW(net.StorePattern(std::vector<std::int32_t>{1, 1}, 1), std::out_of_range);
    EXPECT_THROW(net.StorePattern(std::vector<std::int32_t>{1, 1}, -1), std::out_of_range);
    EXPECT_THROW(net.StorePattern(std::vector<std::int32_t>{1}, 0), std::invalid_argument);
    EXPECT_THROW(net.Recognize(std::vector<std::int32_t>{1}), std::invalid_argument);
}

TEST(HammingNetTest, ActivationClipsAtBothEnds) {
    THammingNet net;
    EXPECT_EQ(net.Activation(-0.5), 0.0);
    EXPECT_EQ(net.Activation(0.0), 0.0);
    EXPECT_EQ(net.Activation(42.25), 42.25);
    EXPECT_EQ(net.Activation(100.0), 100.0);
    EXPECT_EQ(net.Activation(100.0000001), 100.0);
}

// The same competition in plain double arithmetic, to show that the
// twice-rounded evaluation decides real cases.
std::int32_t RecognizeInPlainDouble(const THammingNet& net, const TWordCode& input) {
    const auto m = static_cast<std::size_t>(net.PatternCount());
    std::vector<double> similarity(m), activity(m);
    for (std::size_t i = 0; i < m; ++i) {
        double sum = 0.0;
        for (std::int32_t j = 0; j < kWordCodeLength; ++j) {
            sum += input[static_cast<std::size_t>(j)] * net.Weight(static_cast<std::int32_t>(i), j);
        }
        similarity[i] = (sum + net.Bias()) / 2;
    }
    std::int32_t winner = 0;
    for (std::int32_t pass = 0;; ++pass) {
        for (std::size_t j = 0; j < m; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < m; ++k) {
                if (k != j) {
                    sum += similarity[k];
                }
            }
            activity[j] = net.Activation(similarity[j] - sum * net.Epsilon());
        }
        if (activity == similarity) {
            return winner;
        }
        similarity = activity;
        winner = 0;
        for (std::size_t i = 0; i < m; ++i) {
            if (activity[i] > activity[static_cast<std::size_t>(winner)]) {
                winner = static_cast<std::int32_t>(i);
            }
        }
        if (pass > net.MaxIterations()) {
            return winner;
        }
    }
}

TEST(HammingNetTest, TwiceRoundedArithmeticPicksAnotherRowThanPlainDouble) {
    // ГАБ ГЕ ЖЛК ЖРГ МРН Н НТУБН П РБ СИС ТНДВЖ УВ, queried with О.
    THammingNet net = NetworkOf({"", "\xC3\xC0\xC1", "\xC3\xC5", "\xC6\xCB\xCA", "\xC6\xD0\xC3",
                                 "\xCC\xD0\xCD", "\xCD", "\xCD\xD2\xD3\xC1\xCD", "\xCF", "\xD0\xC1",
                                 "\xD1\xC8\xD1", "\xD2\xCD\xC4\xC2\xC6", "\xD3\xC2"});
    const TWordCode input = CodeOf("\xCE");
    std::int32_t row = -1;
    const TTrace trace = TraceOf(net, input, &row);
    for (const std::size_t tied : {3u, 4u, 5u, 8u}) {
        EXPECT_EQ(trace[0][tied], 83.0);
    }
    EXPECT_EQ(row, 3);
    EXPECT_EQ(RecognizeInPlainDouble(net, input), 8);
}

} // namespace
} // namespace verblinka
