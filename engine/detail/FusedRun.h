// The fused sweep's inner run: each unit's output by its class, and the next
// pass's running sum advanced by that output's step, in two kernels that give
// the same outputs, sums and marks. The scalar one takes four units at a time
// with a look-up each; the wide one 64 at a time with AVX-512, its tables in
// vector registers, for passes of at most 128 classes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace verblinka {

// Where a run must stop: a step of 2^53 grid units or more leaves the binade
// (a tie step and an unknown output are given one past it).
inline constexpr std::uint64_t kRunTop = std::uint64_t{1} << 53;

// Units j, j + 1 ... (j a multiple of 4) four at a time while below stop: each
// unit's output from ids by its class, the next pass's running sum k advanced
// by bases, marked at every fourth unit. Stops before a block that would reach
// kRunTop (a tie, an exit or an unknown output among its steps: all of them at
// or past it, and every base >= 0). Every base is below 2^56. Returns where it
// stopped.
inline std::size_t FusedRun(std::size_t j, std::size_t stop, const std::uint16_t* classes,
                            const std::uint64_t* bases, const std::uint16_t* ids,
                            std::uint16_t* out, std::uint64_t& k, std::uint64_t* marks) {
    std::uint64_t at = k;
    for (; j + 4 <= stop; j += 4) {
        const std::uint16_t a = classes[j];
        const std::uint16_t b = classes[j + 1];
        const std::uint16_t c = classes[j + 2];
        const std::uint16_t d = classes[j + 3];
        // Four bases below 2^56 and k below 2^53 stay below 2^64.
        const std::uint64_t block = (bases[a] + bases[b]) + (bases[c] + bases[d]);
        if (at + block >= kRunTop) {
            break;
        }
        marks[j >> 2] = at;
        out[j] = ids[a];
        out[j + 1] = ids[b];
        out[j + 2] = ids[c];
        out[j + 3] = ids[d];
        at += block;
    }
    k = at;
    return j;
}

// What the wide run reads per class: its output and the seven low bytes of its
// step in the next pass (every step is below 2^56).
struct TWideSweepTables {
    static constexpr std::size_t kClasses = 128;
    static constexpr std::size_t kBytes = 7;
    std::uint16_t First = 0; // the class of entry 0: entry e is class First + e
    std::array<std::uint16_t, kClasses> Ids{};
    // Bytes[b][c]: byte b of c's step.
    std::array<std::array<std::uint8_t, kClasses>, kBytes> Bytes{};

    // Entry e (below kClasses): its class's step and output.
    void Set(std::size_t e, std::uint64_t base, std::uint16_t id) {
        Ids[e] = id;
        for (std::size_t b = 0; b < kBytes; ++b) {
            Bytes[b][e] = static_cast<std::uint8_t>(base >> (8 * b));
        }
    }
};

// Entries 0 ... count - 1 (count at most kClasses) from each class's step and
// output at once, as Set gives them one by one; WideSweepAvailable() must hold.
void FillWideSweepTables(TWideSweepTables& tables, const std::uint64_t* bases,
                         const std::uint16_t* ids, std::size_t count);

// The first of units j ... stop - 1 whose class has no result yet (its entry in
// current at kNoResult or above), or stop: where a sweep that writes no output
// has work to do.
inline constexpr std::uint16_t kNoResult = 0xFFFE;
inline std::size_t FirstUnknown(std::size_t j, std::size_t stop, const std::uint16_t* classes,
                                const std::uint16_t* current) {
    while (j < stop && current[classes[j]] < kNoResult) {
        ++j;
    }
    return j;
}

// Whether this processor (and build) runs FusedRunWide and FirstUnknownWide.
bool WideSweepAvailable();

// FusedRun from tables, 64 units at a time: it stops where FusedRun stops
// and leaves what FusedRun leaves. Every class read must be in the tables
// (from First to First + kClasses - 1), and k below kRunTop.
std::size_t FusedRunWide(std::size_t j, std::size_t stop, const std::uint16_t* classes,
                         const TWideSweepTables& tables, std::uint16_t* out, std::uint64_t& k,
                         std::uint64_t* marks);

// FirstUnknown with current as the tables' Ids (First must be 0), 32 units
// at a time. Every class read must be below kClasses.
std::size_t FirstUnknownWide(std::size_t j, std::size_t stop, const std::uint16_t* classes,
                             const TWideSweepTables& tables);

} // namespace verblinka
