// The network's arithmetic: every operation is evaluated with a 64-bit
// significand (round to nearest, ties to even) and rounded a second time, to
// double, where its result is stored. Which of several nearly equal units wins
// a competition depends on exactly these roundings.
#pragma once

#include <cfloat>
#include <cstdint>
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

// One accumulation step: acc + value, evaluated extended, stored.
inline double AddStep(double acc, double value) {
    return Store(static_cast<Extended>(acc) + static_cast<Extended>(value));
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

} // namespace verblinka::precision
