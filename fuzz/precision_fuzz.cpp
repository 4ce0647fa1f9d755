// Fuzz target: the emulated arithmetic against x87 long double, bit for bit,
// on arbitrary operands. The first byte picks the operation, the rest are
// its operands' raw bits (missing bytes read as zero).
#include "engine/detail/SoftExtended.h"
#include "engine/detail/X87Extended.h"
#include "reference/X87Compare.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if !VERBLINKA_HAS_X87_EXTENDED
#error "the precision fuzz target compares with x87 long double, which this machine lacks"
#endif

namespace {

using verblinka::softext::TSoftExtended;
using verblinka::test_support::FromX87;
using verblinka::test_support::SameDouble;
using verblinka::test_support::ToX87;
namespace soft = verblinka::softext;
namespace x87 = verblinka::x87;

class TBytes {
public:
    TBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T> T Take() {
        unsigned char bytes[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T) && offset_ < size_; ++i) {
            bytes[i] = data_[offset_++];
        }
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // An extended value whose exponent keeps sums, products and quotients of
    // two of them inside the x87 range (the emulation has no range limit).
    TSoftExtended Extended() {
        const auto significand = Take<std::uint64_t>();
        const auto exponent = Take<std::int16_t>();
        const bool negative = (exponent & 1) != 0;
        return TSoftExtended::Exact(negative, significand, (exponent >> 1) % 8000);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

[[noreturn]] void Differ(const char* what) {
    std::fprintf(stderr, "emulation and x87 differ: %s\n", what);
    std::abort();
}

void Expect(double soft, double hard, const char* operation, const double* operands, int count) {
    if (SameDouble(soft, hard)) {
        return;
    }
    std::fprintf(stderr, "%s(", operation);
    for (int i = 0; i < count; ++i) {
        std::fprintf(stderr, "%s%a", i == 0 ? "" : ", ", operands[i]);
    }
    std::fprintf(stderr, "): emulated %a, x87 %a\n", soft, hard);
    Differ(operation);
}

// Yes and no as 1 and 0.
void Expect(bool soft, bool hard, const char* operation, const double* operands, int count) {
    Expect(soft ? 1.0 : 0.0, hard ? 1.0 : 0.0, operation, operands, count);
}

void Expect(const TSoftExtended& soft, long double hard, const char* operation,
            const TSoftExtended& a, const TSoftExtended& b) {
    if (soft.SameAs(FromX87(hard))) {
        return;
    }
    std::fprintf(stderr, "%La %s %La: emulated %La, x87 %La\n", ToX87(a), operation, ToX87(b),
                 ToX87(soft), hard);
    Differ(operation);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBytes bytes(data, size);
    const auto operation = bytes.Take<std::uint8_t>();
    switch (operation % 12) {
    case 0: {
        const double v[] = {bytes.Take<double>(), bytes.Take<double>()};
        Expect(soft::AddStep(v[0], v[1]), x87::AddStep(v[0], v[1]), "AddStep", v, 2);
        break;
    }
    case 1: {
        const double v[] = {bytes.Take<double>(), bytes.Take<double>()};
        const auto input = bytes.Take<std::int32_t>();
        Expect(soft::MultiplyAddStep(v[0], input, v[1]), x87::MultiplyAddStep(v[0], input, v[1]),
               "MultiplyAddStep", v, 2);
        break;
    }
    case 2: {
        const double v[] = {bytes.Take<double>(), bytes.Take<double>()};
        Expect(soft::HalfSumWithBias(v[0], v[1]), x87::HalfSumWithBias(v[0], v[1]),
               "HalfSumWithBias", v, 2);
        break;
    }
    case 3: {
        const auto count = bytes.Take<std::int32_t>();
        const double v[] = {static_cast<double>(count)};
        Expect(soft::InhibitionWeight(count), x87::InhibitionWeight(count), "InhibitionWeight", v,
               1);
        break;
    }
    case 4: {
        const double v[] = {bytes.Take<double>(), bytes.Take<double>(), bytes.Take<double>()};
        Expect(soft::Inhibit(v[0], v[1], v[2]), x87::Inhibit(v[0], v[1], v[2]), "Inhibit", v, 3);
        break;
    }
    case 5:
    case 6:
    case 7:
    case 8: {
        const TSoftExtended a = bytes.Extended();
        const TSoftExtended b = bytes.Extended();
        const long double x = ToX87(a);
        const long double y = ToX87(b);
        if (operation % 12 == 5) {
            Expect(a + b, x + y, "+", a, b);
        } else if (operation % 12 == 6) {
            Expect(a - b, x - y, "-", a, b);
        } else if (operation % 12 == 7) {
            Expect(a * b, x * y, "*", a, b);
        } else {
            Expect(a / b, x / y, "/", a, b);
        }
        break;
    }
    case 10: {
        const double v[] = {bytes.Take<double>(), bytes.Take<double>()};
        const bool soft = soft::SumIsTie(v[0], v[1]);
        Expect(soft, x87::SumIsTie(v[0], v[1]), "SumIsTie", v, 2);
        Expect(soft, soft::StoreIsTie(soft::AddExtended(v[0], v[1])), "SumIsTie, exact path", v, 2);
        break;
    }
    case 11: {
        // Whether storing breaks a tie, near ties (the dropped bits set to
        // half, give or take the last one) as often as anywhere else.
        auto significand = bytes.Take<std::uint64_t>();
        const auto exponent = bytes.Take<std::int16_t>();
        if ((exponent & 2) != 0) {
            significand = (significand & ~std::uint64_t{0x7FF}) | 0x400;
            significand += static_cast<std::uint64_t>((exponent >> 2) % 2);
        }
        const TSoftExtended a =
            TSoftExtended::Exact((exponent & 1) != 0, significand, (exponent >> 3) % 1200 - 64);
        const double v[] = {static_cast<double>(ToX87(a))};
        Expect(soft::StoreIsTie(a), x87::StoreIsTie(ToX87(a)), "StoreIsTie", v, 1);
        break;
    }
    default: {
        // Storing: any exponent that reaches the double range and beyond.
        const auto significand = bytes.Take<std::uint64_t>();
        const auto exponent = bytes.Take<std::int16_t>();
        const TSoftExtended a =
            TSoftExtended::Exact((exponent & 1) != 0, significand, (exponent >> 1) % 1200 - 64);
        const double v[] = {static_cast<double>(ToX87(a))};
        Expect(static_cast<double>(a), v[0], "Store", v, 1);
        break;
    }
    }
    return 0;
}
