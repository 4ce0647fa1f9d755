#include "engine/SoftExtended.h"

#include <bit>
#include <cstdint>

namespace verblinka::softext {
namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kDoubleInfinityBits = 0x7FF0000000000000u;
constexpr std::uint64_t kDoubleFractionMask = 0x000FFFFFFFFFFFFFu;

int LeadingZeros(UInt128 x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    if (high != 0) {
        return std::countl_zero(high);
    }
    return 64 + std::countl_zero(static_cast<std::uint64_t>(x));
}

UInt128 Wide(std::uint64_t x) {
    return static_cast<UInt128>(x);
}

// |a| >= |b| for finite values.
bool MagnitudeNotBelow(const SoftExtended& a, const SoftExtended& b) {
    if (b.Kind() == SoftExtended::Class::Zero) {
        return true;
    }
    if (a.Kind() == SoftExtended::Class::Zero) {
        return false;
    }
    if (a.Exponent() != b.Exponent()) {
        return a.Exponent() > b.Exponent();
    }
    return a.Significand() >= b.Significand();
}

} // namespace

SoftExtended::SoftExtended(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    Negative_ = (bits & kSignBit) != 0;
    const auto biased = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & kDoubleFractionMask;
    if (biased == 0x7FF) {
        Kind_ = fraction == 0 ? Class::Infinite : Class::NaN;
        return;
    }
    if (biased == 0) {
        if (fraction == 0) {
            Kind_ = Class::Zero;
            return;
        }
        *this = Normalized(Negative_, fraction, -1074);
        return;
    }
    Kind_ = Class::Finite;
    Significand_ = (fraction | (std::uint64_t{1} << 52)) << 11;
    Exponent_ = biased - 1086;
}

SoftExtended::SoftExtended(std::int32_t value) {
    const std::int64_t wide = value;
    *this = Normalized(wide < 0, static_cast<std::uint64_t>(wide < 0 ? -wide : wide), 0);
}

SoftExtended SoftExtended::Normalized(bool negative, std::uint64_t significand,
                                      std::int32_t exponent) {
    SoftExtended result;
    result.Negative_ = negative;
    if (significand == 0) {
        result.Kind_ = Class::Zero;
        return result;
    }
    const int shift = std::countl_zero(significand);
    result.Kind_ = Class::Finite;
    result.Significand_ = significand << shift;
    result.Exponent_ = exponent - shift;
    return result;
}

SoftExtended SoftExtended::Exact(bool negative, std::uint64_t significand, std::int32_t exponent) {
    return Normalized(negative, significand, exponent);
}

SoftExtended SoftExtended::Infinity(bool negative) {
    SoftExtended result;
    result.Negative_ = negative;
    result.Kind_ = Class::Infinite;
    return result;
}

SoftExtended SoftExtended::QuietNaN() {
    SoftExtended result;
    result.Kind_ = Class::NaN;
    return result;
}

SoftExtended RoundToExtended(bool negative, UInt128 magnitude, std::int32_t exponent, bool sticky) {
    if (magnitude == 0) {
        // The callers never pass one (x - x is handled before); shifting it
        // into place would shift by the full 128 bits.
        return negative ? -SoftExtended() : SoftExtended();
    }
    const int shift = LeadingZeros(magnitude);
    magnitude <<= shift;
    exponent -= shift;
    auto high = static_cast<std::uint64_t>(magnitude >> 64);
    const auto low = static_cast<std::uint64_t>(magnitude);
    // Above half an ulp, or exactly half with an odd significand: round up.
    const bool up = low > kTopBit || (low == kTopBit && (sticky || (high & 1) != 0));
    exponent += 64;
    if (up) {
        ++high;
        if (high == 0) { // carried out: the significand is 2^64
            high = kTopBit;
            ++exponent;
        }
    }
    SoftExtended result;
    result.Negative_ = negative;
    result.Kind_ = SoftExtended::Class::Finite;
    result.Significand_ = high;
    result.Exponent_ = exponent;
    return result;
}

SoftExtended::operator double() const {
    const std::uint64_t sign = Negative_ ? kSignBit : 0;
    switch (Kind_) {
    case Class::Zero:
        return std::bit_cast<double>(sign);
    case Class::Infinite:
        return std::bit_cast<double>(sign | kDoubleInfinityBits);
    case Class::NaN:
        return std::bit_cast<double>(sign | kDoubleInfinityBits | (std::uint64_t{1} << 51));
    case Class::Finite:
        break;
    }
    // The value lies in [2^e, 2^(e+1)).
    const std::int64_t e = static_cast<std::int64_t>(Exponent_) + 63;
    if (e > 1023) {
        return std::bit_cast<double>(sign | kDoubleInfinityBits);
    }
    // Normal doubles keep 53 of the 64 bits; below 2^-1022 the grid stays at
    // 2^-1074 and fewer bits are kept.
    const std::int64_t dropped = e >= -1022 ? 11 : 11 + (-1022 - e);
    if (dropped > 64) { // below half the smallest subnormal
        return std::bit_cast<double>(sign);
    }
    std::uint64_t kept = 0;
    std::uint64_t rest = 0;
    std::uint64_t half = 0;
    if (dropped == 64) {
        rest = Significand_;
        half = kTopBit;
    } else {
        kept = Significand_ >> dropped;
        rest = Significand_ & ((std::uint64_t{1} << dropped) - 1);
        half = std::uint64_t{1} << (dropped - 1);
    }
    if (rest > half || (rest == half && (kept & 1) != 0)) {
        ++kept; // may carry into the next binade, which the encoding absorbs
    }
    std::uint64_t bits = kept;
    if (dropped == 11) {
        // kept holds the hidden bit, so adding it steps the exponent field by one.
        bits += static_cast<std::uint64_t>(e + 1022) << 52;
        if (bits >= kDoubleInfinityBits) {
            bits = kDoubleInfinityBits;
        }
    }
    return std::bit_cast<double>(sign | bits);
}

SoftExtended SoftExtended::operator-() const {
    SoftExtended result = *this;
    result.Negative_ = !Negative_;
    return result;
}

// a + b, or a - b when negateB; both finite and non-zero.
SoftExtended AddMagnitudes(const SoftExtended& a, const SoftExtended& b, bool negateB) {
    const bool bNegative = b.Negative_ != negateB;
    const bool aLarger = MagnitudeNotBelow(a, b);
    const SoftExtended& large = aLarger ? a : b;
    const SoftExtended& small = aLarger ? b : a;
    const bool largeNegative = aLarger ? a.Negative_ : bNegative;
    const bool subtract = a.Negative_ != bNegative;

    // Both significands sit at bits 126..63, the top bit left free for a carry.
    const UInt128 largeBits = Wide(large.Significand_) << 63;
    const UInt128 smallBits = Wide(small.Significand_) << 63;
    const std::int64_t distance =
        static_cast<std::int64_t>(large.Exponent_) - static_cast<std::int64_t>(small.Exponent_);
    UInt128 aligned = 0;
    bool sticky = false;
    if (distance == 0) {
        aligned = smallBits;
    } else if (distance < 127) {
        aligned = smallBits >> distance;
        sticky = (smallBits << (128 - distance)) != 0;
    } else {
        sticky = true;
    }
    UInt128 magnitude = 0;
    if (subtract) {
        // The part below bit 0 is subtracted as a borrow of one plus a
        // remainder in (0, 1), which stays sticky.
        magnitude = largeBits - aligned - (sticky ? 1 : 0);
        if (magnitude == 0 && !sticky) {
            return SoftExtended(); // x - x is +0 when rounding to nearest
        }
    } else {
        magnitude = largeBits + aligned;
    }
    return RoundToExtended(largeNegative, magnitude, large.Exponent_ - 63, sticky);
}

SoftExtended operator+(const SoftExtended& a, const SoftExtended& b) {
    using Class = SoftExtended::Class;
    if (a.Kind() == Class::NaN || b.Kind() == Class::NaN) {
        return SoftExtended::QuietNaN();
    }
    if (a.Kind() == Class::Infinite || b.Kind() == Class::Infinite) {
        if (a.Kind() == Class::Infinite && b.Kind() == Class::Infinite &&
            a.Negative() != b.Negative()) {
            return SoftExtended::QuietNaN();
        }
        return a.Kind() == Class::Infinite ? a : b;
    }
    if (b.Kind() == Class::Zero) {
        if (a.Kind() == Class::Zero) {
            // Only -0 + -0 keeps the minus sign.
            return a.Negative() && b.Negative() ? a : SoftExtended();
        }
        return a;
    }
    if (a.Kind() == Class::Zero) {
        return b;
    }
    return AddMagnitudes(a, b, false);
}

SoftExtended operator-(const SoftExtended& a, const SoftExtended& b) {
    return a + (-b);
}

SoftExtended operator*(const SoftExtended& a, const SoftExtended& b) {
    using Class = SoftExtended::Class;
    const bool negative = a.Negative() != b.Negative();
    if (a.Kind() == Class::NaN || b.Kind() == Class::NaN) {
        return SoftExtended::QuietNaN();
    }
    if (a.Kind() == Class::Infinite || b.Kind() == Class::Infinite) {
        if (a.Kind() == Class::Zero || b.Kind() == Class::Zero) {
            return SoftExtended::QuietNaN();
        }
        return SoftExtended::Infinity(negative);
    }
    if (a.Kind() == Class::Zero || b.Kind() == Class::Zero) {
        return negative ? -SoftExtended() : SoftExtended();
    }
    const UInt128 product = Wide(a.Significand()) * Wide(b.Significand());
    return RoundToExtended(negative, product, a.Exponent() + b.Exponent(), false);
}

SoftExtended operator/(const SoftExtended& a, const SoftExtended& b) {
    using Class = SoftExtended::Class;
    const bool negative = a.Negative() != b.Negative();
    if (a.Kind() == Class::NaN || b.Kind() == Class::NaN) {
        return SoftExtended::QuietNaN();
    }
    if (a.Kind() == Class::Infinite) {
        return b.Kind() == Class::Infinite ? SoftExtended::QuietNaN()
                                           : SoftExtended::Infinity(negative);
    }
    if (b.Kind() == Class::Zero) {
        return a.Kind() == Class::Zero ? SoftExtended::QuietNaN()
                                       : SoftExtended::Infinity(negative);
    }
    if (a.Kind() == Class::Zero || b.Kind() == Class::Infinite) {
        return negative ? -SoftExtended() : SoftExtended();
    }
    // Long division in two 64-bit digits. The first digit is made to lie in
    // [2^63, 2^64) by taking one bit less of the dividend when it is the larger.
    const std::uint64_t divisor = b.Significand();
    const int lead = a.Significand() >= divisor ? 63 : 64;
    const UInt128 dividend = Wide(a.Significand()) << lead;
    const UInt128 firstDigit = dividend / divisor;
    const UInt128 firstRemainder = dividend % divisor;
    const UInt128 secondDividend = firstRemainder << 64;
    const UInt128 secondDigit = secondDividend / divisor;
    const bool sticky = secondDividend % divisor != 0;
    const UInt128 quotient = (firstDigit << 64) | secondDigit;
    return RoundToExtended(negative, quotient, a.Exponent() - b.Exponent() - lead - 64, sticky);
}

std::partial_ordering operator<=>(const SoftExtended& a, const SoftExtended& b) {
    using Class = SoftExtended::Class;
    if (a.Kind() == Class::NaN || b.Kind() == Class::NaN) {
        return std::partial_ordering::unordered;
    }
    if (a.Kind() == Class::Zero && b.Kind() == Class::Zero) {
        return std::partial_ordering::equivalent;
    }
    // Order by sign first, then by magnitude, reversed for negative values.
    const bool aNegative = a.Kind() != Class::Zero && a.Negative();
    const bool bNegative = b.Kind() != Class::Zero && b.Negative();
    if (aNegative != bNegative) {
        return aNegative ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    const auto magnitudeOrder = [](const SoftExtended& x, const SoftExtended& y) {
        const auto rank = [](const SoftExtended& v) {
            return v.Kind() == Class::Zero ? 0 : v.Kind() == Class::Finite ? 1 : 2;
        };
        if (rank(x) != rank(y) || rank(x) != 1) {
            return rank(x) <=> rank(y);
        }
        if (x.Exponent() != y.Exponent()) {
            return x.Exponent() <=> y.Exponent();
        }
        return x.Significand() <=> y.Significand();
    };
    const std::strong_ordering order = aNegative ? magnitudeOrder(b, a) : magnitudeOrder(a, b);
    return order;
}

bool SoftExtended::SameAs(const SoftExtended& other) const {
    if (Kind_ != other.Kind_) {
        return false;
    }
    switch (Kind_) {
    case Class::NaN:
        return true;
    case Class::Zero:
    case Class::Infinite:
        return Negative_ == other.Negative_;
    case Class::Finite:
        break;
    }
    return Negative_ == other.Negative_ && Significand_ == other.Significand_ &&
           Exponent_ == other.Exponent_;
}

// ---------------------------------------------------------------------------

bool StoreIsTie(const Extended& x) {
    if (x.Kind() != SoftExtended::Class::Finite) {
        return false;
    }
    // The bits that storing drops, as in the conversion to double.
    const std::int64_t e = static_cast<std::int64_t>(x.Exponent()) + 63;
    if (e > 1023) {
        return false; // beyond the doubles
    }
    const std::int64_t dropped = e >= -1022 ? 11 : 11 + (-1022 - e);
    if (dropped > 64) {
        return false; // below half the smallest subnormal
    }
    if (dropped == 64) {
        return x.Significand() == kTopBit; // exactly half the smallest subnormal
    }
    const std::uint64_t half = std::uint64_t{1} << (dropped - 1);
    if (e == 1023 && (x.Significand() >> 11) == (std::uint64_t{1} << 53) - 1) {
        return false; // halfway between the largest double and 2^1024, which is none
    }
    return (x.Significand() & ((half << 1) - 1)) == half;
}

double AddStepSlow(double acc, double value) {
    return Store(Extended(acc) + Extended(value));
}

double MultiplyAddStepSlow(double acc, std::int32_t input, double weight) {
    return Store(Extended(acc) + Extended(input) * Extended(weight));
}

double HalfSumWithBiasSlow(double sum, double bias) {
    return Store((Extended(sum) + Extended(bias)) / Extended(2));
}

double InhibitionWeight(std::int32_t patternCount) {
    return Store(Extended(0.5) / Extended(patternCount));
}

double InhibitSlow(double similarity, double inhibitionSum, double epsilon) {
    return Store(Extended(similarity) - Extended(inhibitionSum) * Extended(epsilon));
}

} // namespace verblinka::softext
