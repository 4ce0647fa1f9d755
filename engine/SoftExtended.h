// Extended precision without x87: values with a 64-bit significand whose
// every operation is rounded to nearest, ties to even, computed from exact
// integer pieces. It gives the network the roundings of x87 `long double` on
// machines that have no such type (aarch64's long double is a 128-bit one).
//
// The exponent is a plain 32-bit integer: the range is wider than x87's, which
// no operation on doubles comes near, so there is no extended overflow or
// underflow to emulate. Rounding to double does handle overflow to infinity and
// the subnormal range, as the x87 store does.
#pragma once

#include <bit>
#include <compare>
#include <cstdint>

namespace verblinka::softext {

__extension__ typedef unsigned __int128 UInt128;

class SoftExtended {
public:
    enum class Class : std::uint8_t { Zero, Finite, Infinite, NaN };

    constexpr SoftExtended() = default; // +0
    explicit SoftExtended(double value);
    explicit SoftExtended(std::int32_t value);

    // (-1)^negative * significand * 2^exponent, exact; the significand need not
    // be normalised (zero gives a signed zero).
    static SoftExtended Exact(bool negative, std::uint64_t significand, std::int32_t exponent);
    static SoftExtended Infinity(bool negative);
    static SoftExtended QuietNaN();

    Class Kind() const { return Kind_; }
    bool Negative() const { return Negative_; }
    // For finite non-zero values bit 63 is set and the value is
    // Significand() * 2^Exponent().
    std::uint64_t Significand() const { return Significand_; }
    std::int32_t Exponent() const { return Exponent_; }

    // Rounds to double: nearest, ties to even, subnormals and overflow included.
    explicit operator double() const;

    SoftExtended operator-() const;
    friend SoftExtended operator+(const SoftExtended& a, const SoftExtended& b);
    friend SoftExtended operator-(const SoftExtended& a, const SoftExtended& b);
    friend SoftExtended operator*(const SoftExtended& a, const SoftExtended& b);
    friend SoftExtended operator/(const SoftExtended& a, const SoftExtended& b);

    // Numeric comparison: NaN is unordered, +0 equals -0.
    friend std::partial_ordering operator<=>(const SoftExtended& a, const SoftExtended& b);
    friend bool operator==(const SoftExtended& a, const SoftExtended& b) {
        return (a <=> b) == std::partial_ordering::equivalent;
    }

    // Same value and same sign, zeros included; every NaN is the same as every other.
    bool SameAs(const SoftExtended& other) const;

private:
    std::uint64_t Significand_ = 0;
    std::int32_t Exponent_ = 0;
    bool Negative_ = false;
    Class Kind_ = Class::Zero;

    static SoftExtended Normalized(bool negative, std::uint64_t significand, std::int32_t exponent);
    friend SoftExtended RoundToExtended(bool negative, UInt128 magnitude, std::int32_t exponent,
                                        bool sticky);
    friend SoftExtended AddMagnitudes(const SoftExtended& a, const SoftExtended& b, bool negateB);
};

// Rounds magnitude * 2^exponent to a 64-bit significand. `sticky` says that
// the exact value holds a further non-zero part below bit 0 of magnitude; it
// is only set when magnitude >= 2^64, so normalising never shifts it above the
// rounding position.
SoftExtended RoundToExtended(bool negative, UInt128 magnitude, std::int32_t exponent, bool sticky);

// ---------------------------------------------------------------------------
// The network's operations, with the roundings of the x87 evaluation: the
// exact result rounded to a 64-bit significand, then to double where stored.

using Extended = SoftExtended;

inline double Store(const Extended& x) {
    return static_cast<double>(x);
}

// acc + value with a 64-bit significand, not yet stored.
inline Extended Sum64(double acc, double value) {
    return Extended(acc) + Extended(value);
}

double AddStepSlow(double acc, double value);

// RN53(RN64(acc + value)). Rounding twice differs from rounding the exact sum
// once only when the 64-bit rounding lands on a point halfway between two
// doubles and ties to the even one, which the single rounding had not chosen;
// so the double sum is the answer when it is exact, when its significand is
// even (both neighbouring midpoints tie back to it), or when its error stays
// more than one 64-bit grid step away from half an ulp. The rest, and
// overflow, infinities and NaN, take the exact path.
inline double AddStep(double acc, double value) {
    const double sum = acc + value;
    const double back = sum - acc;
    const double error = (acc - (sum - back)) + (value - back);
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(sum);
    if (error == 0.0 || (bits & 1) == 0) {
        return sum; // also right for infinite and NaN sums
    }
    // Half an ulp less one step of the 64-bit grid, from 2^E for sum in
    // [2^E, 2^(E+1)). In the lowest binades the margin is rounded, but there
    // errors are whole multiples of 2^-1074 and still less than half an ulp.
    // A NaN sum with an odd payload fails the test and takes the exact path.
    const double margin = std::bit_cast<double>(bits & 0x7FF0000000000000u) * 0x1.ff8p-54;
    if (error < margin && -error < margin) {
        return sum;
    }
    return AddStepSlow(acc, value);
}

double MultiplyAddStepSlow(double acc, std::int32_t input, double weight);

// RN53(RN64(acc + RN64(input * weight))). Bipolar inputs give exact products.
inline double MultiplyAddStep(double acc, std::int32_t input, double weight) {
    if (input >= -1 && input <= 1) {
        return AddStep(acc, static_cast<double>(input) * weight);
    }
    return MultiplyAddStepSlow(acc, input, weight);
}

double HalfSumWithBiasSlow(double sum, double bias);

// RN53(RN64(sum + bias) / 2). Halving the stored sum is exact unless the half
// is subnormal, and a sum of doubles below 2^-1021 is exact to begin with, so
// halving commutes with the rounding; only an overflowing sum (whose half
// may be finite) and NaN take the exact path.
inline double HalfSumWithBias(double sum, double bias) {
    const double whole = AddStep(sum, bias);
    if (whole - whole == 0.0) {
        return whole * 0.5;
    }
    return HalfSumWithBiasSlow(sum, bias);
}

// RN53(RN64(0.5 / patternCount)).
double InhibitionWeight(std::int32_t patternCount);

// RN53(RN64(similarity - RN64(inhibitionSum * epsilon))).
double Inhibit(double similarity, double inhibitionSum, double epsilon);

} // namespace verblinka::softext
