// Extended precision without x87: values with a 64-bit significand whose
// every operation is rounded to nearest, ties to even, from exact pieces
// (integer arithmetic on significands; error-free sums and products of
// doubles in the network's fast paths). It gives the network the roundings of
// x87 `long double` on machines that have no such type (aarch64's long double
// is a 128-bit one). The error-free steps need IEEE double arithmetic without
// contraction into fused multiply-adds, as the whole build has it.
//
// The exponent is a plain 32-bit integer: the range is wider than x87's, which
// no operation on doubles comes near, so there is no extended overflow or
// underflow to emulate. Rounding to double does handle overflow to infinity and
// the subnormal range, as the x87 store does.
#pragma once

#include <bit>
#include <cmath>
#include <compare>
#include <cstdint>

namespace verblinka::softext {

__extension__ typedef unsigned __int128 TUInt128;

class TSoftExtended {
public:
    enum class TClass : std::uint8_t { Zero, Finite, Infinite, NaN };

    constexpr TSoftExtended() = default; // +0
    explicit TSoftExtended(double value);
    explicit TSoftExtended(std::int32_t value);

    // (-1)^negative * significand * 2^exponent, exact; the significand need not
    // be normalised (zero gives a signed zero).
    static TSoftExtended Exact(bool negative, std::uint64_t significand, std::int32_t exponent);
    static TSoftExtended Infinity(bool negative);
    static TSoftExtended QuietNaN();

    TClass Kind() const { return kind_; }
    bool Negative() const { return negative_; }
    // For finite non-zero values bit 63 is set and the value is
    // Significand() * 2^Exponent().
    std::uint64_t Significand() const { return significand_; }
    std::int32_t Exponent() const { return exponent_; }

    // Rounds to double: nearest, ties to even, subnormals and overflow included.
    explicit operator double() const;

    TSoftExtended operator-() const;
    friend TSoftExtended operator+(const TSoftExtended& a, const TSoftExtended& b);
    friend TSoftExtended operator-(const TSoftExtended& a, const TSoftExtended& b);
    friend TSoftExtended operator*(const TSoftExtended& a, const TSoftExtended& b);
    friend TSoftExtended operator/(const TSoftExtended& a, const TSoftExtended& b);

    // Numeric comparison: NaN is unordered, +0 equals -0.
    friend std::partial_ordering operator<=>(const TSoftExtended& a, const TSoftExtended& b);
    friend bool operator==(const TSoftExtended& a, const TSoftExtended& b) {
        return (a <=> b) == std::partial_ordering::equivalent;
    }

    // Same value and same sign, zeros included; every NaN is the same as every other.
    bool SameAs(const TSoftExtended& other) const;

private:
    std::uint64_t significand_ = 0;
    std::int32_t exponent_ = 0;
    bool negative_ = false;
    TClass kind_ = TClass::Zero;

    static TSoftExtended Normalized(bool negative, std::uint64_t significand,
                                    std::int32_t exponent);
    friend TSoftExtended RoundToExtended(bool negative, TUInt128 magnitude, std::int32_t exponent,
                                         bool sticky);
    friend TSoftExtended AddMagnitudes(const TSoftExtended& a, const TSoftExtended& b,
                                       bool negateB);
};

// Rounds magnitude * 2^exponent to a 64-bit significand. `sticky` says that
// the exact value holds a further non-zero part below bit 0 of magnitude; it
// is only set when magnitude >= 2^64, so normalising never shifts it above the
// rounding position.
TSoftExtended RoundToExtended(bool negative, TUInt128 magnitude, std::int32_t exponent,
                              bool sticky);

// ---------------------------------------------------------------------------
// The network's operations, with the roundings of the x87 evaluation: the
// exact result rounded to a 64-bit significand, then to double where stored.

using TExtended = TSoftExtended;

inline double Store(const TExtended& x) {
    return static_cast<double>(x);
}

// acc + value with a 64-bit significand, not yet stored.
inline TExtended AddExtended(double acc, double value) {
    return TExtended(acc) + TExtended(value);
}

// True when x lies exactly halfway between two adjacent (finite) doubles, so
// that storing it breaks a tie (to even).
bool StoreIsTie(const TExtended& x);

// StoreIsTie(AddExtended(acc, value)) for finite acc and value, without
// forming the extended sum: with acc + value = sum + error exactly, the 64-bit
// sum is sum plus the error rounded to the 64-bit grid of the exact sum's
// binade (sum is an even multiple of that grid, so ties go the same way), and
// it is halfway when that rounded error is half a step of the double grid.
inline bool SumIsTie(double acc, double value) {
    const double sum = acc + value;
    const double back = sum - acc;
    const double error = (acc - (sum - back)) + (value - back);
    if (error == 0.0) {
        return false; // the sum is a double (NaN and overflow give a NaN error)
    }
    const auto bits = std::bit_cast<std::uint64_t>(sum);
    const std::uint64_t exponentBits = bits & 0x7FF0000000000000u;
    // Sums below 2^-959 (where the constants below would be rounded) and in
    // the top binade (next to overflow) take the exact path.
    if (exponentBits < (std::uint64_t{64} << 52) || exponentBits >= 0x7FE0000000000000u) {
        return StoreIsTie(AddExtended(acc, value));
    }
    const double binade = std::bit_cast<double>(exponentBits); // 2^E, sum in [2^E, 2^(E+1))
    // Just below a power of two the exact sum lies in the binade below.
    const bool below = (bits & 0x000FFFFFFFFFFFFFu) == 0 && (error < 0.0) != (sum < 0.0);
    const double magic = binade * (below ? 0x1.8p-12 : 0x1.8p-11); // 1.5 * 2^52 grid steps
    const double rounded = (error + magic) - magic;
    const double half = binade * (below ? 0x1p-54 : 0x1p-53);
    return rounded == half || rounded == -half;
}

// SumIsTie for a step whose stored sum lies in `binade`; knowing the binade
// saves the emulation nothing.
inline bool StepIsTie(double acc, double value, double /*stored*/, int /*binade*/) {
    return SumIsTie(acc, value);
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
    // Half an ulp less one step of the 64-bit grid, from 2^E for sum in
    // [2^E, 2^(E+1)). In the lowest binades the margin is rounded, but there
    // errors are whole multiples of 2^-1074 and still less than half an ulp.
    // A NaN error (overflow, infinities, NaN) fails the test.
    const double margin = std::bit_cast<double>(bits & 0x7FF0000000000000u) * 0x1.ff8p-54;
    // Evaluated without branches: the outcome is nearly always "fast", the
    // parity alone would be a coin toss for the branch predictor.
    const bool fast = static_cast<int>(error == 0.0) | static_cast<int>((bits & 1) == 0) |
                      static_cast<int>(std::fabs(error) < margin);
    if (fast) {
        return sum; // an even infinite or NaN sum is right as it is
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
// RN53(RN64(factor / patternCount)); factor 0.5 is the one-argument form.
double InhibitionWeight(double factor, std::int32_t patternCount);

double InhibitSlow(double similarity, double inhibitionSum, double epsilon);

// RN53(RN64(similarity - RN64(inhibitionSum * epsilon))), reduced to one
// AddStep of two doubles whose exact sum is the difference:
// - the product exactly as ph + pl (Dekker's product, no fused multiply-add),
// - its 64-bit rounding as ph + q, q being pl rounded to the 64-bit grid of
//   the product's binade (ties to even: ph is an even multiple of that grid),
// - similarity - ph exactly as t + te, and te - q, which must come out exact.
// Operands that could overflow or underflow on the way, and a te - q that
// does not fit in a double, take the general path.
[[gnu::always_inline]] inline double Inhibit(double similarity, double inhibitionSum,
                                             double epsilon) {
    const double product = inhibitionSum * epsilon;
    const auto sBits = std::bit_cast<std::uint64_t>(similarity);
    const auto productBits = std::bit_cast<std::uint64_t>(product);
    const auto sumBits = std::bit_cast<std::uint64_t>(inhibitionSum);
    const auto epsilonBits = std::bit_cast<std::uint64_t>(epsilon);
    // Biased exponents well inside the range: splitting cannot overflow, and
    // the product's error (down to 2^-106 of it) is no subnormal.
    const auto inRange = [](std::uint64_t bits) {
        return ((bits >> 52) & 0x7FF) - 300u < 1448u; // 2^-723 ... 2^724
    };
    const bool sZero = (sBits << 1) == 0;
    if (!inRange(sumBits) || !inRange(epsilonBits) || !inRange(productBits) ||
        !(sZero || inRange(sBits))) {
        return InhibitSlow(similarity, inhibitionSum, epsilon);
    }
    constexpr double kSplitter = 0x1p27 + 1.0;
    const double sumScaled = kSplitter * inhibitionSum;
    const double sumHigh = sumScaled - (sumScaled - inhibitionSum);
    const double sumLow = inhibitionSum - sumHigh;
    const double epsilonScaled = kSplitter * epsilon;
    const double epsilonHigh = epsilonScaled - (epsilonScaled - epsilon);
    const double epsilonLow = epsilon - epsilonHigh;
    const double productLow =
        ((sumHigh * epsilonHigh - product) + sumHigh * epsilonLow + sumLow * epsilonHigh) +
        sumLow * epsilonLow;
    // 1.5 * 2^52 grid steps: adding and subtracting it rounds to the grid.
    const double binade = std::bit_cast<double>(productBits & 0x7FF0000000000000u);
    const bool finerBelow = (productBits & 0x000FFFFFFFFFFFFFu) == 0 &&
                            (productLow < 0.0) != (product < 0.0); // below a power of two
    const double magic = binade * (finerBelow ? 0x1.8p-12 : 0x1.8p-11);
    const double productRest = (productLow + magic) - magic;

    const double t = similarity - product;
    const double back = t - similarity;
    const double te = (similarity - (t - back)) + (-product - back);
    const double y = te - productRest;
    const double yBack = y - te;
    const double yError = (te - (y - yBack)) + (-productRest - yBack);
    if (yError != 0.0) {
        return InhibitSlow(similarity, inhibitionSum, epsilon);
    }
    return AddStep(t, y);
}

} // namespace verblinka::softext
