#include "engine/detail/FusedRun.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VERBLINKA_WIDE_SWEEP 1
#else
#define VERBLINKA_WIDE_SWEEP 0
#endif

// GCC 12's AVX-512 intrinsics start some results from an "undefined" vector
// that its own flow analysis then takes for an uninitialised read. (Pushed and
// popped: a unity build's later sources keep the warning.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace verblinka {

#if VERBLINKA_WIDE_SWEEP
namespace {

// A plain check, asked once: no ifunc resolver, which would run before a
// sanitizer's run-time starts.
bool HasWideSweep() {
    static const bool kSupported =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vnni");
    return kSupported;
}

// The lowest n bits set, n up to 64.
std::uint64_t LowBits(std::uint64_t n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// Each unit's output from its entry (below 128), among 32 units.
__attribute__((target("avx512f,avx512bw"), always_inline)) inline __m512i
IdsOf(const __m512i (&ids)[4], __m512i classes) {
    return _mm512_mask_blend_epi16(_mm512_test_epi16_mask(classes, _mm512_set1_epi16(64)),
                                   _mm512_permutex2var_epi16(ids[0], classes, ids[1]),
                                   _mm512_permutex2var_epi16(ids[2], classes, ids[3]));
}

// Per block of four units (32-bit lane): bytes low ... low + count - 1 of
// their steps (count at most 3), each weighted by its place among them.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni"), always_inline)) inline __m512i
PlacedBytes(const __m512i* bytesLow, const __m512i* bytesHigh, __m512i asBytes, __mmask64 units,
            std::size_t low, std::size_t count) {
    __m512i sum = _mm512_setzero_si512();
    for (std::size_t b = low + count; b-- > low;) {
        const __m512i picked =
            _mm512_maskz_permutex2var_epi8(units, bytesLow[b], asBytes, bytesHigh[b]);
        sum = _mm512_dpbusd_epi32(_mm512_slli_epi32(sum, 8), picked, _mm512_set1_epi8(1));
    }
    return sum;
}

} // namespace

bool WideSweepAvailable() {
    return HasWideSweep();
}

// Per 64 units: their classes as bytes pick each step's bytes (VPERMT2B); the
// sums of each block of four units' bytes (VPDPBUSD against ones, a block per
// 32-bit lane), weighted by their byte's place, give the blocks' steps,
// exactly: every block's step is below 2^58. Three bytes' weighted sums fit
// 32 bits (below 2^26); the three groups of bytes meet in 64-bit lanes. A
// prefix sum across the lanes gives the sums before the blocks: the marks.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni"))) std::size_t
FusedRunWide(std::size_t j, std::size_t stop, const std::uint16_t* classes,
             const TWideSweepTables& tables, std::uint16_t* out, std::uint64_t& k,
             std::uint64_t* marks) {
    // The outputs of classes 0-31, 32-63, 64-95, 96-127; each byte of the
    // steps of classes 0-63 and 64-127.
    __m512i ids[4];
    for (std::size_t q = 0; q < 4; ++q) {
        ids[q] = _mm512_loadu_si512(tables.Ids.data() + 32 * q);
    }
    __m512i bytesLow[TWideSweepTables::kBytes];
    __m512i bytesHigh[TWideSweepTables::kBytes];
    for (std::size_t b = 0; b < TWideSweepTables::kBytes; ++b) {
        bytesLow[b] = _mm512_loadu_si512(tables.Bytes[b].data());
        bytesHigh[b] = _mm512_loadu_si512(tables.Bytes[b].data() + 64);
    }
    const __m512i first = _mm512_set1_epi16(static_cast<short>(tables.First));
    const __m512i zero = _mm512_setzero_si512();
    const __m512i firstHalf = _mm512_set1_epi64(0x00000000FFFFFFFFLL);
    // Even blocks' marks to lanes 0, 2, ..., odd blocks' to 1, 3, ...
    const __m512i interleaveLow = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i interleaveHigh = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    std::uint64_t at = k;
    while (j + 4 <= stop) {
        // Whole blocks only, as the scalar run: a last chunk of fewer than
        // 16 reads no class past them, and their steps count as zero.
        const auto blocks = static_cast<unsigned>(std::min<std::size_t>((stop - j) / 4, 16));
        const std::uint64_t units = std::uint64_t{4} * blocks;
        const auto lowUnits = static_cast<__mmask32>(LowBits(std::min<std::uint64_t>(units, 32)));
        const auto highUnits =
            static_cast<__mmask32>(LowBits(std::max<std::uint64_t>(units, 32) - 32));
        const __mmask64 unitBytes = LowBits(units);
        // Each unit's entry in the tables (past its units, wrapped: never read).
        const __m512i low =
            _mm512_sub_epi16(_mm512_maskz_loadu_epi16(lowUnits, classes + j), first);
        const __m512i high =
            _mm512_sub_epi16(_mm512_maskz_loadu_epi16(highUnits, classes + j + 32), first);
        const __m512i asBytes = _mm512_inserti64x4(
            _mm512_castsi256_si512(_mm512_cvtepi16_epi8(low)), _mm512_cvtepi16_epi8(high), 1);
        static_assert(TWideSweepTables::kBytes == 7);
        const __m512i low3 = PlacedBytes(bytesLow, bytesHigh, asBytes, unitBytes, 0, 3);
        const __m512i middle3 = PlacedBytes(bytesLow, bytesHigh, asBytes, unitBytes, 3, 3);
        const __m512i seventh = PlacedBytes(bytesLow, bytesHigh, asBytes, unitBytes, 6, 1);
        // Lane l holds units 8l ... 8l + 7: even, the first four's steps; odd, the last four's.
        const __m512i even = _mm512_add_epi64(
            _mm512_and_si512(low3, firstHalf),
            _mm512_add_epi64(_mm512_slli_epi64(_mm512_and_si512(middle3, firstHalf), 24),
                             _mm512_slli_epi64(_mm512_and_si512(seventh, firstHalf), 48)));
        const __m512i odd = _mm512_add_epi64(
            _mm512_srli_epi64(low3, 32),
            _mm512_add_epi64(_mm512_slli_epi64(_mm512_srli_epi64(middle3, 32), 24),
                             _mm512_slli_epi64(_mm512_srli_epi64(seventh, 32), 48)));
        const __m512i pairs = _mm512_add_epi64(even, odd);
        // Inclusive prefix sum over the eight lanes.
        __m512i sums = pairs;
        sums = _mm512_add_epi64(sums, _mm512_alignr_epi64(sums, zero, 7));
        sums = _mm512_add_epi64(sums, _mm512_alignr_epi64(sums, zero, 6));
        sums = _mm512_add_epi64(sums, _mm512_alignr_epi64(sums, zero, 4));
        const auto total =
            static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti32x4_epi32(sums, 3), 1));
        const __m512i before = _mm512_add_epi64(_mm512_sub_epi64(sums, pairs),
                                                _mm512_set1_epi64(static_cast<long long>(at)));
        const __m512i middle = _mm512_add_epi64(before, even);
        const __m512i marksLow = _mm512_permutex2var_epi64(before, interleaveLow, middle);
        const __m512i marksHigh = _mm512_permutex2var_epi64(before, interleaveHigh, middle);
        const __m512i idsOfLow = IdsOf(ids, low);
        const __m512i idsOfHigh = IdsOf(ids, high);
        // Every step is below 2^56 and at below 2^53: no sum wraps.
        if (blocks == 16 && at + total < kRunTop) {
            _mm512_storeu_si512(marks + (j >> 2), marksLow);
            _mm512_storeu_si512(marks + (j >> 2) + 8, marksHigh);
            _mm512_storeu_si512(out + j, idsOfLow);
            _mm512_storeu_si512(out + j + 32, idsOfHigh);
            at += total;
            j += 64;
            continue;
        }
        // The blocks before the first whose end reaches 2^53, as the scalar
        // run takes them, or every block there is.
        const __m512i top = _mm512_set1_epi64(static_cast<long long>(kRunTop));
        const __m512i endsLow = _mm512_alignr_epi64(marksHigh, marksLow, 1);
        const __m512i endsHigh = _mm512_alignr_epi64(
            _mm512_set1_epi64(static_cast<long long>(at + total)), marksHigh, 1);
        const auto reached = static_cast<unsigned>(
            _mm512_cmpge_epu64_mask(endsLow, top) |
            (unsigned{_mm512_cmpge_epu64_mask(endsHigh, top)} << 8) | (~0u << blocks));
        const auto taken = static_cast<unsigned>(std::countr_zero(reached)); // below 16
        const std::uint64_t takenUnits = std::uint64_t{4} * taken;
        _mm512_mask_storeu_epi64(marks + (j >> 2),
                                 static_cast<__mmask8>(LowBits(std::min(taken, 8u))), marksLow);
        _mm512_mask_storeu_epi64(marks + (j >> 2) + 8,
                                 static_cast<__mmask8>(LowBits(std::max(taken, 8u) - 8)),
                                 marksHigh);
        _mm512_mask_storeu_epi16(
            out + j, static_cast<__mmask32>(LowBits(std::min<std::uint64_t>(takenUnits, 32))),
            idsOfLow);
        _mm512_mask_storeu_epi16(
            out + j + 32,
            static_cast<__mmask32>(LowBits(std::max<std::uint64_t>(takenUnits, 32) - 32)),
            idsOfHigh);
        alignas(64) std::uint64_t stored[16];
        _mm512_store_si512(stored, marksLow);
        _mm512_store_si512(stored + 8, marksHigh);
        at = stored[taken];
        j += takenUnits;
        break;
    }
    k = at;
    return j;
}
// Eight steps per vector: one byte permutation gathers byte b of each into
// the vector's bytes 8b ... 8b + 7, stored as one word per table.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
FillWideSweepTables(TWideSweepTables& tables, const std::uint64_t* bases, const std::uint16_t* ids,
                    std::size_t count) {
    count = std::min(count, TWideSweepTables::kClasses);
    // Byte i of the result from byte 8 (i % 8) + i / 8 of the eight steps.
    alignas(64) static constexpr std::array<std::uint8_t, 64> kOrder = [] {
        std::array<std::uint8_t, 64> order{};
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<std::uint8_t>(8 * (i % 8) + i / 8);
        }
        return order;
    }();
    const __m512i transpose = _mm512_load_si512(kOrder.data());
    for (std::size_t e = 0; e < count; e += 8) {
        const std::size_t here = std::min<std::size_t>(8, count - e);
        const __m512i steps = _mm512_permutexvar_epi8(
            transpose, _mm512_maskz_loadu_epi64(static_cast<__mmask8>(LowBits(here)), bases + e));
        alignas(64) std::uint8_t bytes[64];
        _mm512_store_si512(bytes, steps);
        for (std::size_t b = 0; b < TWideSweepTables::kBytes; ++b) {
            std::copy_n(bytes + 8 * b, here, tables.Bytes[b].data() + e);
        }
    }
    std::copy_n(ids, count, tables.Ids.data());
}

__attribute__((target("avx512f,avx512bw"))) std::size_t
FirstUnknownWide(std::size_t j, std::size_t stop, const std::uint16_t* classes,
                 const TWideSweepTables& tables) {
    __m512i ids[4];
    for (std::size_t q = 0; q < 4; ++q) {
        ids[q] = _mm512_loadu_si512(tables.Ids.data() + 32 * q);
    }
    const __m512i noResult = _mm512_set1_epi16(static_cast<short>(kNoResult));
    for (; j < stop; j += 32) {
        const auto here = static_cast<__mmask32>(LowBits(std::min<std::size_t>(stop - j, 32)));
        const __m512i read = _mm512_maskz_loadu_epi16(here, classes + j);
        const auto unknown = static_cast<std::uint32_t>(
            _mm512_mask_cmpge_epu16_mask(here, IdsOf(ids, read), noResult));
        if (unknown != 0) {
            return j + static_cast<std::size_t>(std::countr_zero(unknown));
        }
    }
    return stop;
}
#else
bool WideSweepAvailable() {
    return false;
}

std::size_t FusedRunWide(std::size_t, std::size_t, const std::uint16_t*, const TWideSweepTables&,
                         std::uint16_t*, std::uint64_t&, std::uint64_t*) {
    std::abort(); // never reached: WideSweepAvailable() is false
}

std::size_t FirstUnknownWide(std::size_t, std::size_t, const std::uint16_t*,
                             const TWideSweepTables&) {
    std::abort(); // never reached: WideSweepAvailable() is false
}

void FillWideSweepTables(TWideSweepTables&, const std::uint64_t*, const std::uint16_t*,
                         std::size_t) {
    std::abort(); // never reached: WideSweepAvailable() is false
}
#endif

} // namespace verblinka

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
