// The network's arithmetic: every operation is evaluated with a 64-bit
// significand (round to nearest, ties to even) and rounded a second time, to
// double, where its result is stored. Which of several nearly equal units wins
// a competition depends on exactly these roundings.
//
// One arithmetic is chosen at build time: x87 extended precision where long
// double has a 64-bit significand, the portable emulation everywhere else or
// when VERBLINKA_SOFT_EXTENDED is defined to 1. Both give the same bits.
#pragma once

#include "engine/detail/FloatBits.h"
#include "engine/detail/X87Extended.h"

#include <bit>
#include <cfloat>
#include <cstdint>
#include <limits>

#ifndef VERBLINKA_SOFT_EXTENDED
#define VERBLINKA_SOFT_EXTENDED (!VERBLINKA_HAS_X87_EXTENDED)
#endif

#if VERBLINKA_SOFT_EXTENDED
#include "engine/detail/SoftExtended.h"
#elif !VERBLINKA_HAS_X87_EXTENDED
#error "x87 arithmetic was asked for, but long double has no 64-bit significand"
#endif

namespace verblinka::precision {

static_assert(std::numeric_limits<double>::digits == 53, "double must be IEEE binary64");
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not be evaluated in wider precision");

#if VERBLINKA_SOFT_EXTENDED
namespace arithmetic = softext;
inline constexpr bool kEmulated = true;
#else
namespace arithmetic = x87;
inline constexpr bool kEmulated = false;
#endif

// A value held with a 64-bit significand and not yet stored.
using TExtended = arithmetic::TExtended;

// Rounds an extended value to double: the "store" of the precision rules.
using arithmetic::Store;

// acc + value rounded to a 64-bit significand, not yet stored.
using arithmetic::AddExtended;

// One accumulation step: acc + value, evaluated extended, stored.
using arithmetic::AddStep;

// True when an extended value lies exactly halfway between two adjacent
// doubles, so that storing it breaks a tie (to even).
using arithmetic::StoreIsTie;

// StoreIsTie(AddExtended(acc, value)), for finite acc and value.
using arithmetic::SumIsTie;

// One first-layer step: acc + input * weight; the product stays extended.
using arithmetic::MultiplyAddStep;

// The first-layer output (sum + bias) / 2; the sum + bias stays extended.
using arithmetic::HalfSumWithBias;

// Epsilon = 0.5 / patternCount (or factor / patternCount), formed extended,
// stored.
using arithmetic::InhibitionWeight;

// similarity - inhibitionSum * epsilon; only the difference is stored.
using arithmetic::Inhibit;

// For a step that stays in one binade: acc >= 0 and stored = AddStep(acc,
// value) both lie in `binade` (BinadeOf numbering). True when acc + value
// rounded to a 64-bit significand lies exactly halfway between stored and its
// neighbour, so that storing it broke a tie (SumIsTie, cheaper where the
// binade is known).
using arithmetic::StepIsTie;

// Plain operations on doubles, the same whichever arithmetic is chosen.

// The binade of x >= 0 for the exact fast competition: its biased exponent, 1
// for zero and the subnormals, which share that binade's grid.
inline int BinadeOf(double x) {
    return floatbits::SplitDouble(x).Binade();
}

// a - b where the difference is known to be a double (for example a and b in
// one binade): exact, no rounding takes place.
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
    if (offset == 0.0) {
        return false;
    }
    // offset = significand * 2^(own binade - 1075); the grid is 2^(binade - 1075).
    const floatbits::TDoubleBits bits = floatbits::SplitDouble(offset);
    return std::countr_zero(bits.Significand()) == binade - bits.Binade();
}

// For finite x != 0: the exponent k of its lowest set bit (x = odd * 2^k).
inline int LowestBitExponent(double x) {
    const floatbits::TDoubleBits bits = floatbits::SplitDouble(x);
    return bits.UnitExponent() + std::countr_zero(bits.Significand());
}

// For finite x != 0: floor(log2 |x|).
inline int HighestBitExponent(double x) {
    const floatbits::TDoubleBits bits = floatbits::SplitDouble(x);
    return bits.UnitExponent() + static_cast<int>(std::bit_width(bits.Significand())) - 1;
}

} // namespace verblinka::precision
