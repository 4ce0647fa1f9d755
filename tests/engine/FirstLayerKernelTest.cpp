// Every first-layer kernel against the literal sum of products: several
// inputs in one sweep, one input at a time, over row ranges with odd bounds,
// and the single-input paths a recognition takes. Each kernel this processor
// has runs; the others are skipped, and say so.
#include "engine/HammingMem.h"
#include "engine/detail/NetworkInternals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <ostream>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace verblinka {

// The kernel by name in the tests' names and messages.
void PrintTo(TFirstLayerKernel kernel, std::ostream* out) {
    *out << FirstLayerKernelName(kernel);
}

namespace {

using detail::TNetworkInternals;

using TPattern = std::vector<std::int32_t>;

constexpr std::uint16_t kUntouched = 0xFFFF; // never a class: at most 2 * 200

class TFirstLayerKernelTest : public ::testing::TestWithParam<TFirstLayerKernel> {
protected:
    void SetUp() override {
        const TFirstLayerKernel kernel = GetParam();
        if (!FirstLayerKernelAvailable(kernel)) {
            // Refused, not run: the kernel stays as it was.
            THammingNet net;
            EXPECT_THROW(net.SetFirstLayerKernel(kernel), std::invalid_argument);
            EXPECT_EQ(net.FirstLayerKernel(), TFirstLayerKernel::Auto);
            GTEST_SKIP() << "this processor lacks the " << FirstLayerKernelName(kernel)
                         << " first-layer kernel";
        }
    }
};

TPattern RandomPattern(std::mt19937& random, std::size_t columns, bool withZeros) {
    TPattern pattern(columns);
    for (auto& v : pattern) {
        v = withZeros ? static_cast<std::int32_t>(random() % 3) - 1 : (random() % 2 == 0 ? -1 : 1);
    }
    return pattern;
}

// Inputs as a search gives them and worse: runs that share their non-zero
// positions and differ only in signs (as a word's blank variants do), inputs
// whose zeros differ from their neighbour's while their negative positions
// do not, and returns to an earlier input's zeros.
std::vector<TPattern> Inputs(std::mt19937& random, std::size_t count, std::size_t columns) {
    std::vector<TPattern> inputs;
    for (std::size_t k = 0; k < count; ++k) {
        const auto kind = k == 0 ? 0 : random() % 5;
        if (kind <= 1) {
            inputs.push_back(RandomPattern(random, columns, kind == 0));
            continue;
        }
        TPattern next = kind == 4 ? inputs[random() % k] : inputs.back();
        for (auto& v : next) {
            if (random() % 5 != 0) {
                continue;
            }
            if (kind == 3) {
                v = v == 0 ? 1 : v == 1 ? 0 : v; // the zeros move, the negatives stay
            } else {
                v = -v;
            }
        }
        inputs.push_back(next);
    }
    return inputs;
}

// The literal sum of products plus the column count: the agreement class.
std::uint16_t LiteralClass(const TPattern& row, const TPattern& input) {
    std::int32_t sum = 0;
    for (std::size_t j = 0; j < row.size(); ++j) {
        sum += row[j] * input[j];
    }
    return static_cast<std::uint16_t>(sum + static_cast<std::int32_t>(row.size()));
}

THammingNet NetworkOf(const std::vector<TPattern>& rows, std::size_t columns) {
    THammingNet net;
    net.SetMaxIterations(5);
    net.SetInputCount(static_cast<std::int32_t>(columns));
    net.SetPatternCount(static_cast<std::int32_t>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        net.StorePattern(rows[i], static_cast<std::int32_t>(i));
    }
    return net;
}

// Rows cut into ranges at random, odd bounds included; each range one call.
std::vector<std::size_t> Cuts(std::mt19937& random, std::size_t rows) {
    std::vector<std::size_t> cuts{0};
    while (cuts.back() < rows) {
        cuts.push_back(std::min(rows, cuts.back() + 1 + random() % 23));
    }
    return cuts;
}

// 160 columns (the word code, three words per mask, the widest kernel's
// case) and others: one word, a part of one, several, a ragged last word.
TEST_P(TFirstLayerKernelTest, SeveralInputsGiveEachInputsLiteralClasses) {
    std::mt19937 random(41);
    for (const std::size_t columns : {160u, 64u, 37u, 130u, 200u}) {
        for (const std::size_t rowCount : {1u, 7u, 61u}) {
            std::vector<TPattern> rows;
            for (std::size_t i = 0; i < rowCount; ++i) {
                rows.push_back(RandomPattern(random, columns, i % 3 != 0));
            }
            THammingNet net = NetworkOf(rows, columns);
            ASSERT_TRUE(net.Weights().IsCompact());
            net.SetFirstLayerKernel(GetParam());
            for (const std::size_t count : {1u, 2u, 3u, 7u, 8u, 9u, 17u, 21u}) {
                const std::vector<TPattern> inputs = Inputs(random, count, columns);
                std::vector<std::span<const std::int32_t>> spans(inputs.begin(), inputs.end());
                std::vector<std::vector<std::uint16_t>> classes(
                    count, std::vector<std::uint16_t>(rowCount, kUntouched));
                std::vector<std::uint16_t*> out;
                out.reserve(count);
                for (auto& c : classes) {
                    out.push_back(c.data());
                }
                const std::vector<std::size_t> cuts = Cuts(random, rowCount);
                for (std::size_t piece = 0; piece + 1 < cuts.size(); ++piece) {
                    ASSERT_TRUE(TNetworkInternals::FirstLayerClasses(net, spans, cuts[piece],
                                                                     cuts[piece + 1], out));
                    // Nothing past the range is written.
                    for (std::size_t k = 0; k < count; ++k) {
                        for (std::size_t i = cuts[piece + 1]; i < rowCount; ++i) {
                            ASSERT_EQ(classes[k][i], kUntouched)
                                << "row " << i << " written by the range " << cuts[piece] << " ... "
                                << cuts[piece + 1];
                        }
                    }
                }
                for (std::size_t k = 0; k < count; ++k) {
                    std::vector<std::uint16_t> alone(rowCount, kUntouched);
                    const std::span<const std::int32_t> one[] = {inputs[k]};
                    std::uint16_t* const oneOut[] = {alone.data()};
                    ASSERT_TRUE(
                        TNetworkInternals::FirstLayerClasses(net, one, 0, rowCount, oneOut));
                    for (std::size_t i = 0; i < rowCount; ++i) {
                        const std::string what =
                            std::to_string(columns) + " columns, " + std::to_string(rowCount) +
                            " rows, input " + std::to_string(k) + " of " + std::to_string(count) +
                            ", row " + std::to_string(i);
                        const std::uint16_t literal = LiteralClass(rows[i], inputs[k]);
                        ASSERT_EQ(classes[k][i], literal) << what << " (in one sweep)";
                        ASSERT_EQ(alone[i], literal) << what << " (alone)";
                    }
                }
            }
        }
    }
}

// One input: the first layer of a recognition over classes and over values
// (the single-input loop), every value as the literal multiply-adds give it,
// and the same row.
TEST_P(TFirstLayerKernelTest, RecognitionsFirstLayerIsTheLiteralOne) {
    std::mt19937 random(43);
    for (const std::size_t columns : {160u, 100u}) {
        std::vector<TPattern> rows;
        for (std::size_t i = 0; i < 45; ++i) {
            rows.push_back(RandomPattern(random, columns, i % 2 == 0));
        }
        THammingNet net = NetworkOf(rows, columns);
        net.SetFirstLayerKernel(GetParam());
        for (int q = 0; q < 6; ++q) {
            const TPattern input =
                q % 2 == 0 ? RandomPattern(random, columns, q == 2) : rows[random() % rows.size()];
            const std::vector<double> outputs = TNetworkInternals::FirstLayerOutputs(net);
            std::vector<std::uint64_t> expected;
            expected.reserve(rows.size());
            for (const TPattern& row : rows) {
                expected.push_back(std::bit_cast<std::uint64_t>(outputs[LiteralClass(row, input)]));
            }
            std::int32_t found[3] = {-1, -1, -1}; // over classes, over values, literally
            for (const int mode : {0, 1, 2}) {
                net.SetPath(mode == 1   ? TCompetitionPath::Values
                            : mode == 2 ? TCompetitionPath::Literal
                                        : TCompetitionPath::Auto);
                std::vector<std::uint64_t> firstLayer;
                found[mode] =
                    net.Recognize(input, [&](std::int32_t pass, std::span<const double> values) {
                        if (pass == 0) {
                            for (const double v : values) {
                                firstLayer.push_back(std::bit_cast<std::uint64_t>(v));
                            }
                        }
                    });
                const std::string what = std::to_string(columns) + " columns, query " +
                                         std::to_string(q) + ", mode " + std::to_string(mode);
                EXPECT_EQ(firstLayer, expected) << what;
                TRecognitionScratch scratch;
                EXPECT_EQ(net.Recognize(input, scratch), found[mode]) << what;
            }
            EXPECT_EQ(found[0], found[2]) << "query " << q;
            EXPECT_EQ(found[1], found[2]) << "query " << q;
            net.SetPath(TCompetitionPath::Auto);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, TFirstLayerKernelTest,
                         ::testing::Values(TFirstLayerKernel::Scalar, TFirstLayerKernel::Popcount,
                                           TFirstLayerKernel::Avx512, TFirstLayerKernel::Auto),
                         [](const ::testing::TestParamInfo<TFirstLayerKernel>& info) {
                             return std::string(FirstLayerKernelName(info.param));
                         });

} // namespace
} // namespace verblinka
