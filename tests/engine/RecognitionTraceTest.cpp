// The trace of a recognition against the network's algorithm written out
// literally: every value of every pass, the winner after each pass, the
// stability test and the units above zero, for the fast and the literal paths.
#include "engine/RecognitionTrace.h"
#include "engine/HammingMem.h"
#include "engine/detail/Competition.h"
#include "engine/detail/NetworkInternals.h"
#include "reference/LiteralNetwork.h"
#include "reference/WordLists.h"
#include "reference/WordNetwork.h"
#include "text/WordCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace verblinka {
namespace {

using detail::TNetworkInternals;

using reference::LiteralRecognize;
using reference::TLiteralRun;

// The trace the literal run implies, compared field by field.
// The first layer is the one a replay recomputes from the recorded input on net.
void ExpectTraceOfRun(const TRecognitionTrace& trace, const TLiteralRun& run,
                      const std::vector<std::int32_t>& requested, const std::string& what,
                      const THammingNet& net) {
    const std::vector<double>& first = run.Values[0];
    std::vector<std::int32_t> order(first.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return first[static_cast<std::size_t>(a)] > first[static_cast<std::size_t>(b)];
    });
    order.resize(std::min(order.size(), kTracedLeaders));
    EXPECT_EQ(trace.Leaders, order) << what;
    for (const std::int32_t row : requested) {
        EXPECT_GE(trace.TrackedIndex(row), 0) << what << ", requested row " << row;
    }
    EXPECT_GE(trace.TrackedIndex(run.Winner), 0) << what;
    EXPECT_EQ(trace.Winner, run.Winner) << what;
    EXPECT_EQ(trace.End, run.Stable ? TCompetitionEnd::Stable : TCompetitionEnd::PassLimit) << what;

    std::vector<std::int64_t> histogram(static_cast<std::size_t>(trace.InputCount) + 1, 0);
    for (const double value : first) {
        ++histogram[static_cast<std::size_t>(value)];
    }
    EXPECT_EQ(trace.Histogram, histogram) << what;
    ASSERT_EQ(trace.Input.size(), static_cast<std::size_t>(net.InputCount())) << what;
    EXPECT_EQ(TNetworkInternals::FirstLayerValues(net, trace.Input), first) << what;

    ASSERT_EQ(trace.Passes.size(), run.Values.size()) << what;
    std::int32_t winner = 0;
    for (std::size_t p = 0; p < run.Values.size(); ++p) {
        const std::vector<double>& values = run.Values[p];
        const TPassRecord& record = trace.Passes[p];
        const std::string at = what + ", pass " + std::to_string(p);
        EXPECT_EQ(record.Pass, static_cast<std::int32_t>(p)) << at;
        const bool stable = p > 0 && values == run.Values[p - 1];
        EXPECT_EQ(record.Stable, stable) << at;
        const auto leader = static_cast<std::int32_t>(
            std::max_element(values.begin(), values.end()) - values.begin());
        if (p == 0) {
            EXPECT_EQ(record.Winner, leader) << at;
        } else {
            winner = stable ? winner : leader;
            EXPECT_EQ(record.Winner, winner) << at;
        }
        EXPECT_EQ(record.AboveZero,
                  std::count_if(values.begin(), values.end(), [](double v) { return v > 0.0; }))
            << at;
        ASSERT_EQ(record.Tracked.size(), trace.TrackedRows.size()) << at;
        for (std::size_t t = 0; t < trace.TrackedRows.size(); ++t) {
            EXPECT_EQ(record.Tracked[t], values[static_cast<std::size_t>(trace.TrackedRows[t])])
                << at << ", row " << trace.TrackedRows[t];
        }
    }
}

TRecognitionTrace Traced(THammingNet& net, const TWordCode& input,
                         const std::vector<std::int32_t>& requested, std::int32_t* row = nullptr) {
    TRecognitionTracer tracer(net.InputCount(), requested);
    const std::int32_t result = net.Recognize(input, tracer.Observer());
    if (row != nullptr) {
        *row = result;
    }
    return tracer.Finish(net, input, result);
}

// The same through the pass recorder, which reads the fast path's classes in
// place; fromClasses: from a first layer computed apart, as the search does.
TRecognitionTrace Recorded(const THammingNet& net, const TWordCode& input,
                           const std::vector<std::int32_t>& requested, bool fromClasses,
                           std::int32_t* row) {
    TRecognitionTracer tracer(net.InputCount(), requested);
    TRecognitionScratch scratch;
    std::vector<std::uint16_t> classes(static_cast<std::size_t>(net.PatternCount()));
    const std::span<const std::int32_t> inputs[] = {input};
    std::uint16_t* const out[] = {classes.data()};
    if (fromClasses && TNetworkInternals::FirstLayerClasses(net, inputs, 0, classes.size(), out)) {
        *row = TNetworkInternals::RecognizeFromClasses(net, classes, scratch, &tracer);
    } else {
        *row = net.Recognize(input, scratch, tracer);
    }
    return tracer.Finish(net, input, *row);
}

TWordCode CodeOf(const std::string& word) {
    TWordCode code{};
    CodeWord(word, code);
    return code;
}

void CheckBothPaths(THammingNet& net, const std::string& query,
                    const std::vector<std::int32_t>& requested) {
    const TWordCode input = CodeOf(query);
    const TLiteralRun run = LiteralRecognize(net, input);
    for (const bool reference : {false, true}) {
        net.SetPath(reference ? TCompetitionPath::Literal : TCompetitionPath::Auto);
        std::int32_t row = -1;
        const TRecognitionTrace trace = Traced(net, input, requested, &row);
        const std::string what = query + (reference ? " (literal path)" : " (fast path)");
        EXPECT_EQ(row, run.Winner) << what;
        ExpectTraceOfRun(trace, run, requested, what, net);
        // The same competition replayed from the recorded first layer.
        const TRecognitionTrace replay = ReplayTrace(net, trace, net.MaxIterations(), reference);
        ExpectTraceOfRun(replay, run, requested, what + ", replayed", net);
        for (const bool fromClasses : {false, true}) {
            row = -1;
            const TRecognitionTrace recorded = Recorded(net, input, requested, fromClasses, &row);
            EXPECT_EQ(row, run.Winner) << what;
            ExpectTraceOfRun(recorded, run, requested,
                             what + (fromClasses ? ", recorded from classes" : ", recorded"), net);
        }
    }
    net.SetPath(TCompetitionPath::Auto);
}

TEST(RecognitionTraceTest, WorkedExampleEveryValueOfEveryPass) {
    THammingNet net = test_support::WordNetwork({"", "\xCA\xCE\xD2", "\xCF\xA8\xD1"});
    CheckBothPaths(net, "\xCA\xCE\xD2", {});
    const TRecognitionTrace trace = Traced(net, CodeOf("\xCA\xCE\xD2"), {});
    // Three units: all of them lead; seven passes end by the pass limit on row 1.
    EXPECT_EQ(trace.TrackedRows, (std::vector<std::int32_t>{1, 2, 0}));
    EXPECT_EQ(trace.CompetitionPasses(), 7);
    EXPECT_EQ(trace.End, TCompetitionEnd::PassLimit);
    EXPECT_EQ(trace.Value(1, 0), 92.0);
    EXPECT_EQ(trace.Value(1, 7), 0x1.792e878cd14b8p+4);
    EXPECT_EQ(trace.Value(2, 7), 0x1.3cde67b605676p-5);
    EXPECT_EQ(trace.Passes[5].AboveZero, 2);
    EXPECT_EQ(trace.Histogram[80] + trace.Histogram[84] + trace.Histogram[92], 3);
}

TEST(RecognitionTraceTest, StableEndsAndClippedTies) {
    // One row: stable on the first pass, or on the second after clipping.
    THammingNet single = test_support::WordNetwork({"\xCA\xCE\xD2"});
    CheckBothPaths(single, "\xCA\xCE\xD2", {});
    const std::string longWord(20, 'A');
    single = test_support::WordNetwork({longWord});
    CheckBothPaths(single, longWord, {});
    // Two long neighbours clipped to 100 on the first pass stay equal.
    THammingNet clipped = test_support::WordNetwork(
        {"", "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4",
         "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD5",
         "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCF\xA8\xD1"});
    CheckBothPaths(
        clipped, "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD5",
        {5});
}

// A few thousand entries: short words for long races among many units, long
// ones for clipping, and queries whose winner need not lead the first layer.
TEST(RecognitionTraceTest, DifferentialOnThousandsOfEntries) {
    std::mt19937 random(11);
    const std::string letters = "\xC0\xC1\xC2\xC5\xC8\xCA\xCB\xCE\xD0\xD2";
    auto word = [&](std::size_t low, std::size_t high) {
        return test_support::RandomWord(random, low, high, letters);
    };
    std::vector<std::string> words = {""};
    for (int i = 0; i < 2000; ++i) {
        words.push_back(i % 10 == 0 ? word(17, 22) : word(1, 7));
    }
    std::sort(words.begin() + 1, words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    THammingNet net = test_support::WordNetwork(words);
    const std::vector<std::string> queries = {word(3, 6), words[words.size() / 2], word(18, 20),
                                              word(1, 1), words[9] + " "};
    for (const std::string& query : queries) {
        CheckBothPaths(net, query, {0, static_cast<std::int32_t>(words.size()) - 1});
    }

    // A winner outside the tracked rows is followed by running the competition
    // again: here a row the trace did not follow stands in for it.
    const TWordCode input = CodeOf(queries[0]);
    const TLiteralRun run = LiteralRecognize(net, input);
    TRecognitionTracer tracer(net.InputCount());
    net.Recognize(input, tracer.Observer());
    const std::int32_t untracked = static_cast<std::int32_t>(words.size()) / 3;
    const TRecognitionTrace trace = tracer.Finish(net, input, untracked);
    ASSERT_EQ(trace.TrackedRows.back(), untracked);
    for (std::size_t p = 0; p < run.Values.size(); ++p) {
        EXPECT_EQ(trace.Value(untracked, static_cast<std::int32_t>(p)),
                  run.Values[p][static_cast<std::size_t>(untracked)])
            << "pass " << p;
    }
}

TEST(RecognitionTraceTest, ReplayWithAnotherLimitIsThatNetworksRecognition) {
    THammingNet net = test_support::WordNetwork(
        {"", "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCF\xA8\xD1", "\xCA\xCE\xD2\xDB", "\xCC\xC8\xD0"});
    const TWordCode input = CodeOf("\xCA\xCE\xCC");
    const TRecognitionTrace recorded = Traced(net, input, {});
    for (const std::int32_t limit : {1, 2, 12, 100}) {
        THammingNet other =
            test_support::WordNetwork({"", "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCF\xA8\xD1",
                                       "\xCA\xCE\xD2\xDB", "\xCC\xC8\xD0"},
                                      limit);
        const TLiteralRun run = LiteralRecognize(other, input);
        const TRecognitionTrace replay = ReplayTrace(net, recorded, limit);
        ExpectTraceOfRun(replay, run, {}, "limit " + std::to_string(limit), net);
        EXPECT_EQ(replay.MaxIterations, limit);
    }
    // A cancelled replay gives nothing; one on a network the trace did not
    // come from is refused rather than run on the wrong units.
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(ReplayTrace(net, recorded, 12, false, &cancelled).has_value());
    const THammingNet smaller = test_support::WordNetwork({"", "\xCA\xCE\xD2"});
    EXPECT_THROW(ReplayTrace(smaller, recorded, 12), std::invalid_argument);
}

TEST(RecognitionTraceTest, NoUnitsNoPasses) {
    THammingNet net;
    net.SetInputCount(kWordCodeLength);
    const TRecognitionTrace trace = Traced(net, CodeOf("A"), {3});
    EXPECT_EQ(trace.Winner, 0);
    EXPECT_TRUE(trace.Passes.empty());
    EXPECT_TRUE(trace.TrackedRows.empty());
}

} // namespace
} // namespace verblinka
