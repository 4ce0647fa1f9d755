// Operands for comparing implementations of the network's arithmetic: a
// portable generator (the same stream on every machine, so results can be
// hashed and compared with values recorded on x87) of random values and of
// values built to sit on or next to the roundings that matter: ties at the
// 64-bit grid, points halfway between doubles, powers of two, subnormals,
// overflow, signed zeros.
#pragma once

#include "engine/detail/SoftExtended.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace verblinka::test_support {

// splitmix64: tiny, and its output is fixed by the algorithm alone. Every
// draw must be sequenced (one per statement, or sequenced operands): the order
// of evaluation of function arguments differs between compilers and targets.
class TOperandSource {
public:
    explicit TOperandSource(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for choosing cases.
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
    std::int32_t Between(std::int32_t low, std::int32_t high) {
        // In 64 bits: the span of [low, high] may not fit an int32_t.
        const auto span = static_cast<std::uint32_t>(std::int64_t{high} - low + 1);
        return static_cast<std::int32_t>(std::int64_t{low} + Below(span));
    }

    // Any double, from every region that matters.
    double Double() {
        const double sign = Below(2) == 0 ? 1.0 : -1.0;
        switch (Below(10)) {
        case 0:
            return std::bit_cast<double>(Next()); // anything, NaN and infinities included
        case 1:
            return sign * Scaled(Mantissa(), -1074, -1000); // subnormal and tiny
        case 2:
            return sign * Scaled(Mantissa(), 960, 1023); // near overflow
        case 3:
            return sign * Scaled(1.0 + Between(-3, 3) * 0x1p-52, -60, 60);
        case 4:
            return sign * Between(0, 320) * 0.5; // first-layer values
        case 5:
            return sign * Scaled(SparseMantissa(), -70, 70);
        case 6: {
            const double special[] = {0.0,
                                      std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::min(),
                                      std::numeric_limits<double>::denorm_min(),
                                      1.0};
            return sign * special[Below(6)];
        }
        default:
            return sign * Scaled(Mantissa(), -80, 80);
        }
    }

    // A value of the kind the competition sees: 0 ... 160, often long fractions.
    double NetworkValue() {
        switch (Below(4)) {
        case 0:
            return Between(0, 320) * 0.5;
        case 1:
            return 0.0;
        default:
            return Scaled(Mantissa(), -20, 7);
        }
    }

    // A pair (acc, value) whose exact sum lies within a few 64-bit grid steps
    // (and within a few units of the 53rd bit) of a point halfway between two
    // doubles, on either side of a binade boundary too.
    void NearMidpointSum(double& acc, double& value) {
        const int exponent = Below(8) == 0   ? Between(-1021, -990)
                             : Below(8) == 0 ? Between(990, 1023)
                                             : Between(-40, 40);
        const bool powerOfTwo = Below(3) == 0;
        const double base = powerOfTwo ? 1.0 : Mantissa();
        const double s = std::ldexp(base, exponent); // a double in binade `exponent`
        const double ulp = std::ldexp(1.0, exponent - 52);
        // Above s the midpoint is half an ulp away; below a power of two the
        // grid is twice as fine.
        const bool below = Below(2) == 0;
        const double halfStep = below && powerOfTwo ? ulp / 4 : ulp / 2;
        const double grid64 = halfStep / 1024; // one step of the 64-bit grid
        const std::int32_t steps = Between(-4, 4);
        const std::int32_t units = Between(-2, 2);
        const double offset = halfStep + steps * (grid64 / 2) + units * std::ldexp(halfStep, -53);
        const double sign = Below(2) == 0 ? 1.0 : -1.0;
        acc = sign * s;
        value = sign * (below ? -offset : offset);
        if (Below(2) == 0) {
            std::swap(acc, value);
        }
    }

    // (similarity, sum, epsilon) whose product needs rounding to 64 bits, often
    // a tie there, with a similarity close enough for the difference to land
    // near a midpoint between doubles.
    void NearMidpointInhibition(double& similarity, double& sum, double& epsilon) {
        // Odd factors of 33 and 32 bits: a 64- or 65-bit odd product, a tie
        // at the 64-bit grid when it has 65 bits.
        const auto oddFactor = [this](int bits) {
            return static_cast<double>((Next() >> (64 - bits)) | (std::uint64_t{1} << (bits - 1)) |
                                       1u);
        };
        const int sumExponent = Between(-40, 10);
        const int epsilonExponent = Between(-50, -20);
        sum = std::ldexp(oddFactor(Below(2) == 0 ? 33 : 53), sumExponent);
        epsilon = std::ldexp(oddFactor(Below(2) == 0 ? 32 : 53), epsilonExponent);
        const double product = sum * epsilon;
        const int e = std::ilogb(product);
        const double ulp = std::ldexp(1.0, e - 52);
        switch (Below(4)) {
        case 0:
            similarity = product + Between(-3, 3) * ulp;
            break;
        case 1:
            similarity = 2 * product + Between(-3, 3) * 2 * ulp;
            break;
        case 2:
            similarity = std::ldexp(1.0, e + Between(0, 2));
            similarity += Between(-2, 2) * ulp;
            break;
        default:
            similarity = NetworkValue();
            break;
        }
    }

    // A finite extended value with a random exponent, its significand often
    // sparse so that sums and products of two of them tie at the 64-bit grid.
    softext::TSoftExtended ExtendedValue(int maxExponent) {
        std::uint64_t significand = Next();
        switch (Below(4)) {
        case 0:
            significand &= ~std::uint64_t{0} << Below(64); // trailing zeros
            break;
        case 1:
            significand |= 1; // odd: ties when shifted by one
            break;
        case 2:
            significand = (std::uint64_t{1} << 63) | (std::uint64_t{1} << Below(63));
            break;
        default:
            break;
        }
        if (Below(16) == 0) {
            significand = 0;
        }
        const bool negative = Below(2) == 0;
        return softext::TSoftExtended::Exact(negative, significand,
                                             Between(-maxExponent, maxExponent));
    }

private:
    // mantissa * 2^e for e drawn from [low, high]: the mantissa, an argument,
    // is drawn before the body draws the exponent.
    double Scaled(double mantissa, std::int32_t low, std::int32_t high) {
        return std::ldexp(mantissa, Between(low, high));
    }
    // A full 53-bit significand in [1, 2).
    double Mantissa() { return 1.0 + static_cast<double>(Next() >> 12) * 0x1p-52; }
    // A significand in [1, 2) with few bits set.
    double SparseMantissa() {
        double m = 1.0;
        for (std::uint32_t i = Below(4); i > 0; --i) {
            m += std::ldexp(1.0, -Between(1, 52));
        }
        return m;
    }

    std::uint64_t state_;
};

// FNV-1a over 64-bit words; NaNs count as one value whatever their payload.
class TBitHash {
public:
    void Add(std::uint64_t word) {
        for (int i = 0; i < 8; ++i) {
            hash_ = (hash_ ^ ((word >> (8 * i)) & 0xFF)) * 0x100000001B3u;
        }
    }
    void Add(double value) {
        Add(std::isnan(value) ? std::uint64_t{0x7FF8000000000000u}
                              : std::bit_cast<std::uint64_t>(value));
    }
    std::uint64_t Value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

} // namespace verblinka::test_support
