// The network's operations on x87 extended precision, where `long double` has
// a 64-bit significand: the hardware rounds each operation to 64 bits and the
// conversion to double rounds a second time.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <limits>

#if LDBL_MANT_DIG == 64
#define VERBLINKA_HAS_X87_EXTENDED 1

namespace verblinka::x87 {

static_assert(std::numeric_limits<long double>::digits == 64,
              "x87 arithmetic needs long double with a 64-bit significand");
static_assert(std::numeric_limits<double>::digits == 53, "double must be IEEE binary64");
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not be evaluated in wider precision");

using TExtended = long double;

inline double Store(TExtended x) {
    return static_cast<double>(x);
}

inline TExtended AddExtended(double acc, double value) {
    return static_cast<TExtended>(acc) + static_cast<TExtended>(value);
}

inline double AddStep(double acc, double value) {
    return Store(AddExtended(acc, value));
}

// True when x lies exactly halfway between two adjacent (finite) doubles.
inline bool StoreIsTie(TExtended x) {
    if (!(x == x) || x - x != 0) {
        return false; // NaN or infinite
    }
    const double stored = Store(x);
    const TExtended gap = x - static_cast<TExtended>(stored); // exact
    if (gap == 0 || stored - stored != 0) {
        return false;
    }
    // The double next to the stored one on x's side: a tie lies half way.
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(stored);
    const std::uint64_t sign = std::uint64_t{1} << 63;
    std::uint64_t nextBits = 0;
    if ((bits & ~sign) == 0) {
        nextBits = gap > 0 ? 1 : sign | 1; // the smallest subnormal of x's sign
    } else {
        nextBits = (gap > 0) == ((bits & sign) == 0) ? bits + 1 : bits - 1;
    }
    const double next = std::bit_cast<double>(nextBits);
    if (next - next != 0) {
        return false; // above the largest double: halfway to 2^1024 would store infinity
    }
    return 2 * gap == static_cast<TExtended>(next) - static_cast<TExtended>(stored);
}

inline bool SumIsTie(double acc, double value) {
    return StoreIsTie(AddExtended(acc, value));
}

// StoreIsTie for a step that stays in one binade, cheaper where the binade
// is known.
inline bool StepIsTie(double acc, double value, double stored, int binade) {
    if (binade < 54) {
        return StoreIsTie(AddExtended(acc, value)); // half a grid step is no double here
    }
    // Half the binade's grid step, 2^(binade - 1076), as a double.
    const TExtended half = std::bit_cast<double>(static_cast<std::uint64_t>(binade - 53) << 52);
    const TExtended gap = AddExtended(acc, value) - static_cast<TExtended>(stored);
    return gap == half || gap == -half;
}

inline double MultiplyAddStep(double acc, std::int32_t input, double weight) {
    return Store(static_cast<TExtended>(acc) +
                 static_cast<TExtended>(input) * static_cast<TExtended>(weight));
}

inline double HalfSumWithBias(double sum, double bias) {
    return Store((static_cast<TExtended>(sum) + static_cast<TExtended>(bias)) / 2.0L);
}

inline double InhibitionWeight(std::int32_t patternCount) {
    return Store(0.5L / static_cast<TExtended>(patternCount));
}

inline double InhibitionWeight(double factor, std::int32_t patternCount) {
    return Store(static_cast<TExtended>(factor) / static_cast<TExtended>(patternCount));
}

inline double Inhibit(double similarity, double inhibitionSum, double epsilon) {
    return Store(static_cast<TExtended>(similarity) -
                 static_cast<TExtended>(inhibitionSum) * static_cast<TExtended>(epsilon));
}

} // namespace verblinka::x87

#else
#define VERBLINKA_HAS_X87_EXTENDED 0
#endif
