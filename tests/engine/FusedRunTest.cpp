// The fused sweep's two kernels against each other on random runs: outputs,
// running sum, marks and where they stop, including runs that stop inside a
// chunk of 64 units, short runs, and steps at and past the top; the wide
// run's tables filled at once against filled entry by entry.
#include "engine/detail/FusedRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace verblinka {
namespace {

constexpr std::uint16_t kUnwritten = 0xABCD;
constexpr std::uint64_t kUnmarked = 0x5A5A5A5A5A5A5A5Aull;

// A step of one of the sizes a pass meets: nothing, small, large, just below
// the top, or one of the markers at and past it.
std::uint64_t RandomBase(std::mt19937_64& random, std::uint64_t scale) {
    switch (random() % 8) {
    case 0:
        return 0;
    case 1:
        return kRunTop;
    case 2:
        return kRunTop << 1;
    default:
        return random() % scale;
    }
}

TEST(FusedRunTest, WideRunLeavesWhatTheScalarRunLeaves) {
    if (!WideSweepAvailable()) {
        GTEST_SKIP() << "this processor lacks the wide sweep's instructions";
    }
    std::mt19937_64 random(41);
    int stoppedInside = 0; // wide runs that stopped at a block of a full chunk
    for (int round = 0; round < 3000; ++round) {
        const std::size_t classCount =
            std::vector<std::size_t>{1, 3, 64, 128}[static_cast<std::size_t>(round % 4)];
        // Mostly small steps, so that long runs stay below the top; a few runs
        // start near it, so that they stop at a block.
        const std::uint64_t scale = std::uint64_t{1} << (10 + random() % 36);
        // The tables' classes, from `first` on (the classes below it, and
        // any past the tables, occur nowhere).
        TWideSweepTables tables;
        tables.First = static_cast<std::uint16_t>(round % 3 == 0 ? 0 : random() % 4000);
        const std::size_t first = tables.First;
        std::vector<std::uint64_t> bases(first + classCount, kRunTop << 1);
        std::vector<std::uint16_t> ids(first + classCount, kUnwritten);
        const bool markers = random() % 4 == 0;
        for (std::size_t c = first; c < first + classCount; ++c) {
            bases[c] = markers ? RandomBase(random, scale) : random() % scale;
            ids[c] = static_cast<std::uint16_t>(random() % 4096);
            tables.Set(c - first, bases[c], ids[c]);
        }
        // Filled at once, the tables read the same for every class.
        TWideSweepTables filled;
        FillWideSweepTables(filled, bases.data() + first, ids.data() + first, classCount);
        for (std::size_t e = 0; e < classCount; ++e) {
            ASSERT_EQ(filled.Ids[e], tables.Ids[e]) << "entry " << e;
            for (std::size_t b = 0; b < TWideSweepTables::kBytes; ++b) {
                ASSERT_EQ(filled.Bytes[b][e], tables.Bytes[b][e])
                    << "entry " << e << ", byte " << b;
            }
        }
        const std::size_t units = random() % 700;
        std::vector<std::uint16_t> classes(units);
        for (std::uint16_t& cls : classes) {
            cls = static_cast<std::uint16_t>(first + random() % classCount);
        }
        const std::size_t start = units == 0 ? 0 : 4 * (random() % (units / 4 + 1));
        const std::size_t stop = start + random() % (units - start + 1);
        std::uint64_t k =
            random() % 2 == 0 ? random() % kRunTop : kRunTop - 1 - random() % (scale * 200);
        if (round % 5 == 0) { // the top reached exactly at, or one step off, the end of a block
            std::uint64_t ahead = 0;
            const std::size_t blockEnd = std::min(stop, start + 4 * (1 + random() % 16));
            for (std::size_t j = start; j < blockEnd; ++j) {
                ahead += bases[classes[j]];
            }
            if (ahead > 1 && ahead < kRunTop) {
                k = kRunTop - ahead + random() % 3 - 1;
            }
        }
        std::vector<std::uint16_t> out[2] = {std::vector<std::uint16_t>(units, kUnwritten),
                                             std::vector<std::uint16_t>(units, kUnwritten)};
        std::vector<std::uint64_t> marks[2] = {
            std::vector<std::uint64_t>(units / 4 + 1, kUnmarked),
            std::vector<std::uint64_t>(units / 4 + 1, kUnmarked)};
        std::uint64_t sums[2] = {k, k};
        const std::size_t scalarEnd = FusedRun(start, stop, classes.data(), bases.data(),
                                               ids.data(), out[0].data(), sums[0], marks[0].data());
        const std::size_t wideEnd = FusedRunWide(start, stop, classes.data(), tables, out[1].data(),
                                                 sums[1], marks[1].data());
        const std::string what = "round " + std::to_string(round) + ", " +
                                 std::to_string(classCount) + " classes, units " +
                                 std::to_string(start) + " to " + std::to_string(stop);
        ASSERT_EQ(wideEnd, scalarEnd) << what;
        ASSERT_EQ(sums[1], sums[0]) << what;
        ASSERT_EQ(out[1], out[0]) << what;
        ASSERT_EQ(marks[1], marks[0]) << what;
        stoppedInside += scalarEnd + 4 <= stop && (scalarEnd - start) % 64 != 0 ? 1 : 0;
    }
    EXPECT_GT(stoppedInside, 100); // the cases reach the stop inside a chunk
}

TEST(FusedRunTest, WideScanFindsTheFirstClassWithoutItsResult) {
    if (!WideSweepAvailable()) {
        GTEST_SKIP() << "this processor lacks the wide sweep's instructions";
    }
    std::mt19937_64 random(43);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t classCount = 1 + random() % TWideSweepTables::kClasses;
        TWideSweepTables tables;
        const unsigned unknownShare = static_cast<unsigned>(random() % 4); // of 64 classes
        for (std::size_t c = 0; c < classCount; ++c) {
            tables.Ids[c] = random() % 64 < unknownShare
                                ? static_cast<std::uint16_t>(kNoResult + random() % 2)
                                : static_cast<std::uint16_t>(random() % kNoResult);
        }
        const std::size_t units = random() % 300;
        std::vector<std::uint16_t> classes(units);
        for (std::uint16_t& cls : classes) {
            cls = static_cast<std::uint16_t>(random() % classCount);
        }
        const std::size_t start = random() % (units + 1);
        const std::size_t stop = start + random() % (units - start + 1);
        ASSERT_EQ(FirstUnknownWide(start, stop, classes.data(), tables),
                  FirstUnknown(start, stop, classes.data(), tables.Ids.data()))
            << "round " << round;
    }
}

} // namespace
} // namespace verblinka
