// A double's fields, for the code that reasons about its grid: which binade a
// value lies in, its significand as an integer and the power of two of its
// lowest bit. IEEE binary64 only (Precision.h asserts it).
#pragma once

#include <bit>
#include <cstdint>

namespace verblinka::floatbits {

inline constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
inline constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << 52) - 1;
inline constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << 52;
inline constexpr int kSpecialBiased = 0x7FF; // infinities and NaN

struct TDoubleBits {
    bool Negative = false;
    int Biased = 0;             // the stored exponent: 0 for zero and subnormals
    std::uint64_t Fraction = 0; // the 52 stored bits of the significand

    // The significand as an integer, with the leading bit where it is implicit.
    constexpr std::uint64_t Significand() const {
        return Biased == 0 ? Fraction : Fraction | kHiddenBit;
    }
    // Biased, with zero and the subnormals in the lowest normal binade (1):
    // within one binade every double is a multiple of the same grid.
    constexpr int Binade() const { return Biased == 0 ? 1 : Biased; }
    // For finite values: |x| = Significand() * 2^UnitExponent().
    constexpr int UnitExponent() const { return Binade() - 1075; }
};

constexpr TDoubleBits SplitDouble(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    return {(bits & kSignBit) != 0, static_cast<int>((bits >> 52) & 0x7FF), bits & kFractionMask};
}

} // namespace verblinka::floatbits
