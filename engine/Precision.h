// The network's arithmetic: every operation is evaluated with a 64-bit
// significand (round to nearest, ties to even) and rounded a second time, to
// double, where its result is stored. Which of several nearly equal units wins
// a competition depends on exactly these roundings.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <limits>

namespace verblinka::precision {

// x87 extended precision is what gives the 64-bit-significand evaluation here.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the network needs long double with a 64-bit significand (x86 extended precision)");
static_assert(std::numeric_limits<double>::digits == 53, "double must be IEEE binary64");
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not be evaluated in wider precision");

// A value held with a 64-bit significand and not yet stored.
using Extended = long double;

// Rounds an extended value to double: the "store" of the precision rules.
inline double Store(Extended x) {
    return static_cast<double>(x);
}

// acc + value rounded to a 64-bit significand, not yet stored.
inline Extended AddExtended(double acc, double value) {
    return static_cast<Extended>(acc) + static_cast<Extended>(value);
}

// One accumulation step: acc + value, evaluated extended, stored.
inline double AddStep(double acc, double value) {
    return Store(AddExtended(acc, value));
}

// True when x lies exactly halfway between two adjacent doubles, so that
// Store(x) breaks a tie (to even). Finite x below the double overflow range.
inline bool StoreIsTie(Extended x) {
    // x87 layout: the 64-bit significand with its explicit leading bit, then
    // sign and 15-bit exponent.
    static_assert(sizeof(Extended) >= 10);
    unsigned char bytes[sizeof(Extended)];
    std::memcpy(bytes, &x, sizeof bytes);
    std::uint64_t significand = 0;
    std::uint16_t signAndExponent = 0;
    std::memcpy(&significand, bytes, sizeof significand);
    std::memcpy(&signAndExponent, bytes + 8, sizeof signAndExponent);
    const int biased = signAndExponent & 0x7FFF;
    if (biased == 0 || biased == 0x7FFF) {
        return false; // zero, extended subnormal (far below any double tie), inf, NaN
    }
    const int exponent = biased - 16383; // x = significand * 2^(exponent - 63)
    if (exponent > 1023) {
        return false;
    }
    // Bits of the significand that a double cannot keep: 11 in the normal
    // range, more where the double would be subnormal.
    const int dropped = 11 + (exponent < -1022 ? -1022 - exponent : 0);
    if (dropped > 64) {
        return false; // below half the smallest subnormal: rounds to zero, no tie
    }
    const std::uint64_t mask =
        dropped == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << dropped) - 1;
    return (significand & mask) == std::uint64_t{1} << (dropped - 1);
}

// One first-layer step: acc + input * weight; the product stays extended.
inline double MultiplyAddStep(double acc, std::int32_t input, double weight) {
    return Store(static_cast<Extended>(acc) +
                 static_cast<Extended>(input) * static_cast<Extended>(weight));
}

// The first-layer output (sum + bias) / 2; the sum + bias stays extended.
inline double HalfSumWithBias(double sum, double bias) {
    return Store((static_cast<Extended>(sum) + static_cast<Extended>(bias)) / 2.0L);
}

// Epsilon = 0.5 / patternCount, formed extended, stored.
inline double InhibitionWeight(std::int32_t patternCount) {
    return Store(0.5L / static_cast<Extended>(patternCount));
}

// similarity - inhibitionSum * epsilon; only the difference is stored.
inline double Inhibit(double similarity, double inhibitionSum, double epsilon) {
    return Store(static_cast<Extended>(similarity) -
                 static_cast<Extended>(inhibitionSum) * static_cast<Extended>(epsilon));
}

// Binades of non-negative doubles for the exact fast competition. Within one
// binade every double is a multiple of the same grid; zero and the subnormals
// share the grid of the lowest normal binade, so they count as that binade.
// The value is the biased exponent, 1 for zero and subnormals.
inline int BinadeOf(double x) {
    const int biased = static_cast<int>((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7FF);
    return biased == 0 ? 1 : biased;
}

// a - b where a and b lie in one binade: exact, no rounding takes place.
inline double ExactDifference(double a, double b) {
    return a - b;
}

// a + b where the sum is known to be a double (exact, no rounding).
inline double ExactSum(double a, double b) {
    return a + b;
}

// True when |offset| is an odd multiple of the grid of binade (BinadeOf
// numbering); offset must be a multiple of that grid and below 2^53 grid steps.
inline bool IsOddOnGrid(double offset, int binade) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(offset) & ~(std::uint64_t{1} << 63);
    if (bits == 0) {
        return false;
    }
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    // offset = significand * 2^(max(biased, 1) - 1075); the grid is 2^(binade - 1075).
    const std::uint64_t significand = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int ownBinade = biased == 0 ? 1 : biased;
    return std::countr_zero(significand) == binade - ownBinade;
}

} // namespace verblinka::precision
