#include "text/WordCode.h"

#include "text/CodePage1251.h"

#include <algorithm>
#include <cstddef>

namespace verblinka {

TByteBits ByteToBits(std::uint8_t value) {
    TByteBits bits{};
    for (int b = 0; b < kBitsPerCharacter; ++b) {
        bits[static_cast<std::size_t>(b)] = ((value >> b) & 1u) != 0 ? 1 : -1;
    }
    return bits;
}

void CodeWord(std::string_view word, TWordCode& code) {
    code.fill(0);
    const std::size_t length = std::min<std::size_t>(word.size(), kCodedCharacters);
    for (std::size_t k = 0; k < length; ++k) {
        const auto upper = UpperCase1251(static_cast<std::uint8_t>(word[k]));
        const TByteBits bits = ByteToBits(upper);
        std::copy(bits.begin(), bits.end(),
                  code.begin() + static_cast<std::ptrdiff_t>(k * kBitsPerCharacter));
    }
}

} // namespace verblinka
