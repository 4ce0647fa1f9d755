#include "engine/detail/SoftExtended.h"

#include "engine/detail/FloatBits.h"

#include <bit>
#include <cstdint>

namespace verblinka::softext {
namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kDoubleInfinityBits = 0x7FF0000000000000u;

int LeadingZeros(TUInt128 x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    if (high != 0) {
        return std::countl_zero(high);
    }
    return 64 + std::countl_zero(static_cast<std::uint64_t>(x));
}

TUInt128 Wide(std::uint64_t x) {
    return static_cast<TUInt128>(x);
}

// |a| >= |b| for finite values.
bool MagnitudeNotBelow(const TSoftExtended& a, const TSoftExtended& b) {
    if (b.Kind() == TSoftExtended::TClass::Zero) {
        return true;
    }
    if (a.Kind() == TSoftExtended::TClass::Zero) {
        return false;
    }
    if (a.Exponent() != b.Exponent()) {
        return a.Exponent() > b.Exponent();
    }
    return a.Significand() >= b.Significand();
}

} // namespace

TSoftExtended::TSoftExtended(double value) {
    const floatbits::TDoubleBits bits = floatbits::SplitDouble(value);
    negative_ = bits.Negative;
    const std::int32_t biased = bits.Biased;
    const std::uint64_t fraction = bits.Fraction;
    if (biased == floatbits::kSpecialBiased) {
        kind_ = fraction == 0 ? TClass::Infinite : TClass::NaN;
        return;
    }
    if (biased == 0) {
        if (fraction == 0) {
            kind_ = TClass::Zero;
            return;
        }
        *this = Normalized(negative_, fraction, -1074);
        return;
    }
    kind_ = TClass::Finite;
    significand_ = (fraction | (std::uint64_t{1} << 52)) << 11;
    exponent_ = biased - 1086;
}

TSoftExtended::TSoftExtended(std::int32_t value) {
    const std::int64_t wide = value;
    *this = Normalized(wide < 0, static_cast<std::uint64_t>(wide < 0 ? -wide : wide), 0);
}

TSoftExtended TSoftExtended::Normalized(bool negative, std::uint64_t significand,
                                        std::int32_t exponent) {
    TSoftExtended result;
    result.negative_ = negative;
    if (significand == 0) {
        result.kind_ = TClass::Zero;
        return result;
    }
    const int shift = std::countl_zero(significand);
    result.kind_ = TClass::Finite;
    result.significand_ = significand << shift;
    result.exponent_ = exponent - shift;
    return result;
}

TSoftExtended TSoftExtended::Exact(bool negative, std::uint64_t significand,
                                   std::int32_t exponent) {
    return Normalized(negative, significand, exponent);
}

TSoftExtended TSoftExtended::Infinity(bool negative) {
    TSoftExtended result;
    result.negative_ = negative;
    result.kind_ = TClass::Infinite;
    return result;
}

TSoftExtended TSoftExtended::QuietNaN() {
    TSoftExtended result;
    result.kind_ = TClass::NaN;
    return result;
}

TSoftExtended RoundToExtended(bool negative, TUInt128 magnitude, std::int32_t exponent,
                              bool sticky) {
    if (magnitude == 0) {
        // The callers never pass one (x - x is handled before); shifting it
        // into place would shift by the full 128 bits.
        return negative ? -TSoftExtended() : TSoftExtended();
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
    TSoftExtended result;
    result.negative_ = negative;
    result.kind_ = TSoftExtended::TClass::Finite;
    result.significand_ = high;
    result.exponent_ = exponent;
    return result;
}

TSoftExtended::operator double() const {
    const std::uint64_t sign = negative_ ? floatbits::kSignBit : 0;
    switch (kind_) {
    case TClass::Zero:
        return std::bit_cast<double>(sign);
    case TClass::Infinite:
        return std::bit_cast<double>(sign | kDoubleInfinityBits);
    case TClass::NaN:
        return std::bit_cast<double>(sign | kDoubleInfinityBits | (std::uint64_t{1} << 51));
    case TClass::Finite:
        break;
    }
    // The value lies in [2^e, 2^(e+1)).
    const std::int64_t e = static_cast<std::int64_t>(exponent_) + 63;
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
        rest = significand_;
        half = kTopBit;
    } else {
        kept = significand_ >> dropped;
        rest = significand_ & ((std::uint64_t{1} << dropped) - 1);
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

TSoftExtended TSoftExtended::operator-() const {
    TSoftExtended result = *this;
    result.negative_ = !negative_;
    return result;
}

// a + b, or a - b when negateB; both finite and non-zero.
TSoftExtended AddMagnitudes(const TSoftExtended& a, const TSoftExtended& b, bool negateB) {
    const bool bNegative = b.negative_ != negateB;
    const bool aLarger = MagnitudeNotBelow(a, b);
    const TSoftExtended& large = aLarger ? a : b;
    const TSoftExtended& small = aLarger ? b : a;
    const bool largeNegative = aLarger ? a.negative_ : bNegative;
    const bool subtract = a.negative_ != bNegative;

    // Both significands sit at bits 126..63, the top bit left free for a carry.
    const TUInt128 largeBits = Wide(large.significand_) << 63;
    const TUInt128 smallBits = Wide(small.significand_) << 63;
    const std::int64_t distance =
        static_cast<std::int64_t>(large.exponent_) - static_cast<std::int64_t>(small.exponent_);
    TUInt128 aligned = 0;
    bool sticky = false;
    if (distance == 0) {
        aligned = smallBits;
    } else if (distance < 127) {
        aligned = smallBits >> distance;
        sticky = (smallBits << (128 - distance)) != 0;
    } else {
        sticky = true;
    }
    TUInt128 magnitude = 0;
    if (subtract) {
        // The part below bit 0 is subtracted as a borrow of one plus a
        // remainder in (0, 1), which stays sticky.
        magnitude = largeBits - aligned - (sticky ? 1 : 0);
        if (magnitude == 0 && !sticky) {
            return TSoftExtended(); // x - x is +0 when rounding to nearest
        }
    } else {
        magnitude = largeBits + aligned;
    }
    return RoundToExtended(largeNegative, magnitude, large.exponent_ - 63, sticky);
}

TSoftExtended operator+(const TSoftExtended& a, const TSoftExtended& b) {
    using TClass = TSoftExtended::TClass;
    if (a.Kind() == TClass::NaN || b.Kind() == TClass::NaN) {
        return TSoftExtended::QuietNaN();
    }
    if (a.Kind() == TClass::Infinite || b.Kind() == TClass::Infinite) {
        if (a.Kind() == TClass::Infinite && b.Kind() == TClass::Infinite &&
            a.Negative() != b.Negative()) {
            return TSoftExtended::QuietNaN();
        }
        return a.Kind() == TClass::Infinite ? a : b;
    }
    if (b.Kind() == TClass::Zero) {
        if (a.Kind() == TClass::Zero) {
            // Only -0 + -0 keeps the minus sign.
            return a.Negative() && b.Negative() ? a : TSoftExtended();
        }
        return a;
    }
    if (a.Kind() == TClass::Zero) {
        return b;
    }
    return AddMagnitudes(a, b, false);
}

TSoftExtended operator-(const TSoftExtended& a, const TSoftExtended& b) {
    return a + (-b);
}

TSoftExtended operator*(const TSoftExtended& a, const TSoftExtended& b) {
    using TClass = TSoftExtended::TClass;
    const bool negative = a.Negative() != b.Negative();
    if (a.Kind() == TClass::NaN || b.Kind() == TClass::NaN) {
        return TSoftExtended::QuietNaN();
    }
    if (a.Kind() == TClass::Infinite || b.Kind() == TClass::Infinite) {
        if (a.Kind() == TClass::Zero || b.Kind() == TClass::Zero) {
            return TSoftExtended::QuietNaN();
        }
        return TSoftExtended::Infinity(negative);
    }
    if (a.Kind() == TClass::Zero || b.Kind() == TClass::Zero) {
        return negative ? -TSoftExtended() : TSoftExtended();
    }
    const TUInt128 product = Wide(a.Significand()) * Wide(b.Significand());
    return RoundToExtended(negative, product, a.Exponent() + b.Exponent(), false);
}

TSoftExtended operator/(const TSoftExtended& a, const TSoftExtended& b) {
    using TClass = TSoftExtended::TClass;
    const bool negative = a.Negative() != b.Negative();
    if (a.Kind() == TClass::NaN || b.Kind() == TClass::NaN) {
        return TSoftExtended::QuietNaN();
    }
    if (a.Kind() == TClass::Infinite) {
        return b.Kind() == TClass::Infinite ? TSoftExtended::QuietNaN()
                                            : TSoftExtended::Infinity(negative);
    }
    if (b.Kind() == TClass::Zero) {
        return a.Kind() == TClass::Zero ? TSoftExtended::QuietNaN()
                                        : TSoftExtended::Infinity(negative);
    }
    if (a.Kind() == TClass::Zero || b.Kind() == TClass::Infinite) {
        return negative ? -TSoftExtended() : TSoftExtended();
    }
    // Long division in two 64-bit digits. The first digit is made to lie in
    // [2^63, 2^64) by taking one bit less of the dividend when it is the larger.
    const std::uint64_t divisor = b.Significand();
    const int lead = a.Significand() >= divisor ? 63 : 64;
    const TUInt128 dividend = Wide(a.Significand()) << lead;
    const TUInt128 firstDigit = dividend / divisor;
    const TUInt128 firstRemainder = dividend % divisor;
    const TUInt128 secondDividend = firstRemainder << 64;
    const TUInt128 secondDigit = secondDividend / divisor;
    const bool sticky = secondDividend % divisor != 0;
    const TUInt128 quotient = (firstDigit << 64) | secondDigit;
    return RoundToExtended(negative, quotient, a.Exponent() - b.Exponent() - lead - 64, sticky);
}

std::partial_ordering operator<=>(const TSoftExtended& a, const TSoftExtended& b) {
    using TClass = TSoftExtended::TClass;
    if (a.Kind() == TClass::NaN || b.Kind() == TClass::NaN) {
        return std::partial_ordering::unordered;
    }
    if (a.Kind() == TClass::Zero && b.Kind() == TClass::Zero) {
        return std::partial_ordering::equivalent;
    }
    // Order by sign first, then by magnitude, reversed for negative values.
    const bool aNegative = a.Kind() != TClass::Zero && a.Negative();
    const bool bNegative = b.Kind() != TClass::Zero && b.Negative();
    if (aNegative != bNegative) {
        return aNegative ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    const auto magnitudeOrder = [](const TSoftExtended& x, const TSoftExtended& y) {
        const auto rank = [](const TSoftExtended& v) {
            return v.Kind() == TClass::Zero ? 0 : v.Kind() == TClass::Finite ? 1 : 2;
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

bool TSoftExtended::SameAs(const TSoftExtended& other) const {
    if (kind_ != other.kind_) {
        return false;
    }
    switch (kind_) {
    case TClass::NaN:
        return true;
    case TClass::Zero:
    case TClass::Infinite:
        return negative_ == other.negative_;
    case TClass::Finite:
        break;
    }
    return negative_ == other.negative_ && significand_ == other.significand_ &&
           exponent_ == other.exponent_;
}

// ---------------------------------------------------------------------------

bool StoreIsTie(const TExtended& x) {
    if (x.Kind() != TSoftExtended::TClass::Finite) {
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
    return Store(TExtended(acc) + TExtended(value));
}

double MultiplyAddStepSlow(double acc, std::int32_t input, double weight) {
    return Store(TExtended(acc) + TExtended(input) * TExtended(weight));
}

double HalfSumWithBiasSlow(double sum, double bias) {
    return Store((TExtended(sum) + TExtended(bias)) / TExtended(2));
}

double InhibitionWeight(std::int32_t patternCount) {
    return Store(TExtended(0.5) / TExtended(patternCount));
}

double InhibitionWeight(double factor, std::int32_t patternCount) {
    return Store(TExtended(factor) / TExtended(patternCount));
}

double InhibitSlow(double similarity, double inhibitionSum, double epsilon) {
    return Store(TExtended(similarity) - TExtended(inhibitionSum) * TExtended(epsilon));
}

} // namespace verblinka::softext
