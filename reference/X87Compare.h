// Bit-for-bit comparison of the emulation with x87 long double, for the tests
// and the fuzz target. Only meaningful where long double is the x87 type.
#pragma once

#include "engine/detail/SoftExtended.h"
#include "engine/detail/X87Extended.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace verblinka::test_support {

// Doubles are the same when their bits are, except that every NaN is the same
// as every other (x87 and the emulation need not agree on payloads).
inline bool SameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

#if VERBLINKA_HAS_X87_EXTENDED

// The 80-bit x87 format: an explicit 64-bit significand, then sign and a
// 15-bit exponent biased by 16383.
inline softext::TSoftExtended FromX87(long double x) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &x, sizeof x);
    std::uint64_t significand = 0;
    std::uint16_t signExponent = 0;
    std::memcpy(&significand, bytes, 8);
    std::memcpy(&signExponent, bytes + 8, 2);
    const bool negative = (signExponent & 0x8000) != 0;
    const int biased = signExponent & 0x7FFF;
    if (biased == 0x7FFF) {
        return (significand << 1) == 0 ? softext::TSoftExtended::Infinity(negative)
                                       : softext::TSoftExtended::QuietNaN();
    }
    const int exponent = (biased == 0 ? 1 : biased) - 16383 - 63;
    return softext::TSoftExtended::Exact(negative, significand, exponent);
}

// Exact for the exponents the tests use (well inside the x87 range).
inline long double ToX87(const softext::TSoftExtended& x) {
    using TClass = softext::TSoftExtended::TClass;
    const long double sign = x.Negative() ? -1.0L : 1.0L;
    switch (x.Kind()) {
    case TClass::Zero:
        return sign * 0.0L;
    case TClass::Infinite:
        return sign * INFINITY;
    case TClass::NaN:
        return NAN;
    case TClass::Finite:
        break;
    }
    return sign * std::ldexp(static_cast<long double>(x.Significand()), x.Exponent());
}

#endif

} // namespace verblinka::test_support
