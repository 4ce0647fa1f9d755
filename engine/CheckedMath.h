// Integer arithmetic on counts and indices never wraps: an overflow is an error.
#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace verblinka {

class TOverflowError : public std::overflow_error {
public:
    TOverflowError() : std::overflow_error("Integer overflow") {}
};

inline std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_add_overflow(a, b, &result)) {
        throw TOverflowError();
    }
    return result;
}

inline std::int32_t CheckedSub(std::int32_t a, std::int32_t b) {
    std::int32_t result = 0;
    if (__builtin_sub_overflow(a, b, &result)) {
        throw TOverflowError();
    }
    return result;
}

// value + 1, failing where that would pass limit (by default the type's own).
inline std::int32_t
CheckedIncrement(std::int32_t value,
                 std::int32_t limit = std::numeric_limits<std::int32_t>::max()) {
    if (value >= limit) {
        throw TOverflowError();
    }
    return value + 1;
}

// Narrows a size to a 32-bit count, failing where it does not fit.
template <typename T> std::int32_t CheckedCount(T value) {
    std::int32_t result = 0;
    if (__builtin_add_overflow(value, 0, &result)) {
        throw TOverflowError();
    }
    return result;
}

template <typename T> T CheckedMul(T a, T b) {
    T result{};
    if (__builtin_mul_overflow(a, b, &result)) {
        throw TOverflowError();
    }
    return result;
}

} // namespace verblinka
