// The network under every configuration the lab allows (clip level, factor of
// epsilon, pass limit): every path and every first-layer kernel this machine
// has, against the literal network run with the same constants, bit for bit:
// the winner and every value of every pass, as an observer and as a recorder
// hear them, alone and in batches; the literal network itself gives the same
// bits in x87 and in the emulation. Small networks built to be hard: ties,
// identical adjacent rows, inputs that clip, one and two units, a row that is
// no mask.
#include "engine/HammingMem.h"
#include "engine/RecognitionTrace.h"
#include "engine/RecognizeBatch.h"
#include "reference/Arithmetics.h"
#include "reference/LiteralNetwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace verblinka {
namespace {

using reference::LiteralRecognize;
using reference::TSoftArithmetic;
#if VERBLINKA_HAS_X87_EXTENDED
using reference::TX87Arithmetic;
#endif
using reference::TLiteralConstants;
using reference::TLiteralRun;
using TPattern = std::vector<std::int32_t>;
using TTrace = std::vector<std::vector<double>>;

constexpr std::int32_t kInputs = 160;
constexpr double kClipLevels[] = {1.0, 7.5, 80.0, 100.0, 100.25, 160.0, 1e6};
constexpr double kFactors[] = {0.0, 0.01, 0.5, 0.99, 1.0, 1.5, 3.0, 40.0};
constexpr std::int32_t kLimits[] = {0, 1, 2, 5, 50};
constexpr TCompetitionPath kPaths[] = {TCompetitionPath::Auto, TCompetitionPath::Classes,
                                       TCompetitionPath::Values, TCompetitionPath::Literal};
constexpr TFirstLayerKernel kKernels[] = {TFirstLayerKernel::Auto, TFirstLayerKernel::Scalar,
                                          TFirstLayerKernel::Popcount, TFirstLayerKernel::Avx512};
// The sweep's kernel each first-layer kernel runs with: every one on every path.
constexpr TSweepKernel kSweepKernels[] = {TSweepKernel::Auto, TSweepKernel::Avx512,
                                          TSweepKernel::Scalar, TSweepKernel::Avx512};

bool SameValues(std::span<const double> a, std::span<const double> b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) {
            return false;
        }
    }
    return true;
}

// Every pass a recorder hears, unit by unit, and what it says of each.
class TRecorded final : public TPassRecorder {
public:
    TTrace Values;
    std::vector<bool> Stable;
    std::vector<std::size_t> Leaders;

    void FirstLayer(const TPassValues& values) override { Values.push_back(Spelled(values)); }
    void Pass(std::int32_t pass, const TPassValues& values, bool stable,
              std::size_t leader) override {
        EXPECT_EQ(static_cast<std::size_t>(pass), Values.size());
        Values.push_back(Spelled(values));
        Stable.push_back(stable);
        Leaders.push_back(leader);
    }

private:
    static std::vector<double> Spelled(const TPassValues& values) {
        std::vector<double> out(values.Size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = values[i];
        }
        return out;
    }
};

// What a literal run says of each pass: stable, and the first of the largest.
void ExpectRecorded(const TRecorded& recorded, const TLiteralRun& run, const std::string& what) {
    ASSERT_EQ(recorded.Values.size(), run.Values.size()) << what;
    for (std::size_t p = 0; p < run.Values.size(); ++p) {
        EXPECT_TRUE(SameValues(recorded.Values[p], run.Values[p])) << what << ", pass " << p;
    }
    for (std::size_t p = 1; p < run.Values.size(); ++p) {
        const std::vector<double>& values = run.Values[p];
        std::size_t leader = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            leader = values[i] > values[leader] ? i : leader;
        }
        EXPECT_EQ(recorded.Stable[p - 1], values == run.Values[p - 1]) << what << ", pass " << p;
        if (!recorded.Stable[p - 1]) {
            EXPECT_EQ(recorded.Leaders[p - 1], leader) << what << ", pass " << p;
        }
    }
}

// A trace's winner and every value it follows, pass by pass, against the run.
void ExpectTraced(const TRecognitionTrace& trace, const TLiteralRun& run, const std::string& what) {
    EXPECT_EQ(trace.Winner, run.Winner) << what;
    ASSERT_EQ(trace.Passes.size(), run.Values.size()) << what;
    for (std::size_t p = 0; p < run.Values.size(); ++p) {
        for (const std::int32_t row : trace.TrackedRows) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(trace.Value(row, static_cast<std::int32_t>(p))),
                      std::bit_cast<std::uint64_t>(run.Values[p][static_cast<std::size_t>(row)]))
                << what << ", pass " << p << ", row " << row;
        }
    }
}

TPattern Ternary(std::mt19937& random) {
    TPattern pattern(kInputs);
    for (auto& v : pattern) {
        v = static_cast<std::int32_t>(random() % 3) - 1;
    }
    return pattern;
}

TPattern Flipped(TPattern pattern, std::mt19937& random, std::uint32_t flips) {
    for (std::uint32_t k = 0; k < flips; ++k) {
        auto& v = pattern[random() % pattern.size()];
        v = v == 0 ? 1 : -v;
    }
    return pattern;
}

// A network of one of six shapes, and inputs that make it compete hard.
struct TCase {
    THammingNet Net;
    std::vector<TPattern> Inputs;
};

TCase HardCase(std::mt19937& random, std::uint32_t shape) {
    std::vector<TPattern> rows;
    switch (shape % 6) {
    case 0: // one unit
        rows.push_back(Ternary(random));
        break;
    case 1: // two equal units
        rows.push_back(Ternary(random));
        rows.push_back(rows.back());
        break;
    case 2: { // near ties: a few rows and their close neighbours, equal ones adjacent
        const std::uint32_t count = 3 + random() % 30;
        for (std::uint32_t i = 0; i < count; ++i) {
            rows.push_back(rows.empty() || random() % 3 == 0 ? Ternary(random)
                           : random() % 2 == 0               ? rows.back()
                                               : Flipped(rows.back(), random, 1 + random() % 3));
        }
        break;
    }
    case 3: // many equal rows and one apart: classes of very different sizes
        for (std::uint32_t i = 0; i < 2 + random() % 40; ++i) {
            rows.push_back(i == 0 ? Ternary(random) : rows.front());
        }
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(random() % rows.size()),
                    Flipped(rows.front(), random, 2));
        break;
    case 4: // no zeros: every first-layer value a whole number
        for (std::uint32_t i = 0; i < 2 + random() % 20; ++i) {
            TPattern row = Ternary(random);
            for (auto& v : row) {
                v = v == 0 ? 1 : v;
            }
            rows.push_back(row);
        }
        break;
    default: // one row that is no mask: the first layer takes the multiply-adds
        for (std::uint32_t i = 0; i < 2 + random() % 12; ++i) {
            rows.push_back(Ternary(random));
        }
        rows[random() % rows.size()][random() % kInputs] = 2;
        break;
    }
    TCase c;
    c.Net.SetInputCount(kInputs);
    c.Net.SetPatternCount(static_cast<std::int32_t>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        c.Net.StorePattern(rows[i], static_cast<std::int32_t>(i));
    }
    const TPattern& some = rows[random() % rows.size()];
    c.Inputs = {some, Flipped(some, random, 1 + random() % 6), Ternary(random)};
    return c;
}

// The recognitions of the case's inputs on every path and kernel, against the
// literal network under the same constants.
// heard: counts the prospects the untraced batches hear of.
void ExpectLiteral(TCase& c, const TLiteralConstants& constants, const std::string& where,
                   std::size_t& heard) {
    c.Net.SetMaxOutput(constants.MaxOutput);
    c.Net.SetEpsilonFactor(constants.EpsilonFactor);
    c.Net.SetMaxIterations(constants.MaxIterations);
    std::vector<TLiteralRun> runs;
    for (const TPattern& input : c.Inputs) {
        runs.push_back(LiteralRecognize(c.Net, input, constants));
#if VERBLINKA_HAS_X87_EXTENDED
        // The rules hold for the constants too: x87 and the emulation agree.
        const TLiteralRun emulated = LiteralRecognize<TSoftArithmetic>(c.Net, input, constants);
        const TLiteralRun x87 = LiteralRecognize<TX87Arithmetic>(c.Net, input, constants);
        ASSERT_EQ(emulated.Values.size(), x87.Values.size()) << where;
        for (std::size_t p = 0; p < x87.Values.size(); ++p) {
            EXPECT_TRUE(SameValues(emulated.Values[p], x87.Values[p])) << where << ", pass " << p;
        }
#endif
    }
    for (const TCompetitionPath path : kPaths) {
        for (std::size_t kernelIndex = 0; kernelIndex < std::size(kKernels); ++kernelIndex) {
            const TFirstLayerKernel kernel = kKernels[kernelIndex];
            if (!FirstLayerKernelAvailable(kernel)) {
                continue;
            }
            THammingNet net = c.Net;
            net.SetPath(path);
            net.SetFirstLayerKernel(kernel);
            const TSweepKernel sweep = kSweepKernels[kernelIndex];
            net.SetSweepKernel(SweepKernelAvailable(sweep) ? sweep : TSweepKernel::Scalar);
            const std::string what = where + ", path " + std::to_string(static_cast<int>(path)) +
                                     ", kernel " + std::string(FirstLayerKernelName(kernel)) +
                                     ", sweep " + std::string(SweepKernelName(net.SweepKernel()));
            TRecognitionScratch scratch;
            for (std::size_t k = 0; k < c.Inputs.size(); ++k) {
                const std::string input = what + ", input " + std::to_string(k);
                TTrace observed;
                const std::int32_t row =
                    net.Recognize(c.Inputs[k], [&](std::int32_t, std::span<const double> values) {
                        observed.emplace_back(values.begin(), values.end());
                    });
                EXPECT_EQ(row, runs[k].Winner) << input;
                ASSERT_EQ(observed.size(), runs[k].Values.size()) << input;
                for (std::size_t p = 0; p < observed.size(); ++p) {
                    EXPECT_TRUE(SameValues(observed[p], runs[k].Values[p]))
                        << input << ", pass " << p;
                }
                TRecorded recorded;
                EXPECT_EQ(net.Recognize(c.Inputs[k], scratch, recorded), runs[k].Winner) << input;
                ExpectRecorded(recorded, runs[k], input + ", recorder");
            }
            // The search's way: the inputs in one batch, their first layers in
            // one sweep or one each (a budget of nothing), on one thread and two;
            // the shared sweep untraced too (its counts, passes nobody hears
            // that may end early, and prospects: each must hold the winner; a
            // code of one row gets it unrun, and those of several that the
            // batch is told to drop, at once or when about to run, keep row -1).
            const std::vector<std::span<const std::int32_t>> inputs(c.Inputs.begin(),
                                                                    c.Inputs.end());
            for (const unsigned threads : {1u, 2u}) {
                for (const bool traced : {true, false}) {
                    if (!traced && threads == 1) {
                        continue;
                    }
                    TBatchControl control;
                    control.Threads = threads;
                    control.FirstLayerBudget = threads == 1 ? 0 : control.FirstLayerBudget;
                    control.Trace = traced;
                    std::vector<std::uint8_t> dropped(c.Inputs.size(), 0);
                    control.OnProspects = [&](std::span<TCodeProspect> prospects) {
                        for (TCodeProspect& prospect : prospects) {
                            const std::string one =
                                what + ", prospect " + std::to_string(prospect.Code);
                            const std::vector<std::int32_t>& rows = prospect.Rows;
                            EXPECT_TRUE(!rows.empty() && rows.size() <= kMostProspectRows &&
                                        std::is_sorted(rows.begin(), rows.end()) &&
                                        std::adjacent_find(rows.begin(), rows.end()) == rows.end())
                                << one;
                            EXPECT_TRUE(std::binary_search(rows.begin(), rows.end(),
                                                           runs[prospect.Code].Winner))
                                << one;
                            ++heard;
                            // Of several rows: dropped now, dropped when asked
                            // again, or recognized.
                            const std::size_t fate = rows.size() == 1 ? 2 : heard % 3;
                            prospect.Wanted = fate != 0;
                            dropped[prospect.Code] = fate != 2 ? 1 : 0;
                        }
                    };
                    control.StillWanted = [&](std::size_t k) { return dropped[k] == 0; };
                    const TBatchResult batch = RecognizeBatch(net, inputs, control);
                    for (std::size_t k = 0; k < c.Inputs.size(); ++k) {
                        const std::string one = what + ", batch of " + std::to_string(threads) +
                                                ", input " + std::to_string(k);
                        if (traced) {
                            ExpectTraced(*batch.Traces[k], runs[k], one);
                        }
                        EXPECT_EQ(batch.Rows[k], dropped[k] != 0 ? -1 : runs[k].Winner) << one;
                    }
                }
            }
        }
    }
}

class TConfigurationTest : public ::testing::TestWithParam<double> {};

TEST_P(TConfigurationTest, EveryPathAndKernelIsTheLiteralNetwork) {
    const double clip = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(clip * 4.0) + 17);
    std::uint32_t shape = 0;
    std::size_t heard = 0;
    for (const double factor : kFactors) {
        for (const std::int32_t limit : kLimits) {
            for (int n = 0; n < 2; ++n) {
                TCase c = HardCase(random, shape++);
                ExpectLiteral(c, {clip, factor, limit},
                              "clip " + std::to_string(clip) + ", factor " +
                                  std::to_string(factor) + ", limit " + std::to_string(limit) +
                                  ", shape " + std::to_string((shape - 1) % 6),
                              heard);
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
    EXPECT_GT(heard, 0U) << "no batch heard of a prospect";
}

// A replay runs with the constants its trace was recorded with, on every
// path, whatever the network has been set to since.
TEST_P(TConfigurationTest, ReplayKeepsTheRecordedConstants) {
    const double clip = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(clip * 8.0) + 5);
    for (const double factor : {0.01, 0.99, 3.0}) {
        TCase c = HardCase(random, 2);
        c.Net.SetMaxOutput(clip);
        c.Net.SetEpsilonFactor(factor);
        c.Net.SetMaxIterations(5);
        TRecognitionTracer tracer(kInputs);
        TRecognitionScratch scratch;
        const std::int32_t row = c.Net.Recognize(c.Inputs[1], scratch, tracer);
        const TRecognitionTrace recorded = tracer.Finish(c.Net, c.Inputs[1], row);
        c.Net.SetMaxOutput(clip * 2.0);
        c.Net.SetEpsilonFactor(factor + 0.25);
        for (const std::int32_t limit : {0, 2, 50}) {
            const TLiteralRun run = LiteralRecognize(c.Net, c.Inputs[1], {clip, factor, limit});
            for (const bool literal : {false, true}) {
                const std::string what = "factor " + std::to_string(factor) + ", limit " +
                                         std::to_string(limit) + (literal ? ", literal" : "");
                const TRecognitionTrace replay = ReplayTrace(c.Net, recorded, limit, literal);
                EXPECT_EQ(replay.MaxOutput, clip) << what;
                ExpectTraced(replay, run, what);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClipLevel, TConfigurationTest, ::testing::ValuesIn(kClipLevels));

// A clip level or factor outside its range is refused and changes nothing.
TEST(ConfigurationRefusalTest, BadConstantsChangeNothing) {
    TCase c;
    c.Net.SetInputCount(kInputs);
    c.Net.SetPatternCount(3);
    c.Net.SetMaxOutput(7.5);
    c.Net.SetEpsilonFactor(1.5);
    const double epsilon = c.Net.Epsilon();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    for (const double bad : {0.0, -0.0, -1.0, -kInf, kInf, nan}) {
        EXPECT_THROW(c.Net.SetMaxOutput(bad), std::invalid_argument) << bad;
        EXPECT_EQ(c.Net.MaxOutput(), 7.5);
    }
    for (const double bad : {-1e-300, -1.0, -kInf, kInf, nan}) {
        EXPECT_THROW(c.Net.SetEpsilonFactor(bad), std::invalid_argument) << bad;
        EXPECT_EQ(c.Net.EpsilonFactor(), 1.5);
        EXPECT_EQ(c.Net.Epsilon(), epsilon);
    }
}

} // namespace
} // namespace verblinka
