// The bipolar code of a word: one element per bit of its first 20 characters,
// upper-cased, +1 for a set bit and -1 for a clear one, 0 past the word's end.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace verblinka {

inline constexpr int kCodedCharacters = 20;
inline constexpr int kBitsPerCharacter = 8;
inline constexpr int kWordCodeLength = kCodedCharacters * kBitsPerCharacter; // 160

using TWordCode = std::array<std::int32_t, kWordCodeLength>;
using TByteBits = std::array<std::int32_t, kBitsPerCharacter>;

// The 8 elements of one character, bit 0 first.
TByteBits ByteToBits(std::uint8_t value);

// Fills code from word (Windows-1251 bytes, any length, any bytes).
void CodeWord(std::string_view word, TWordCode& code);

} // namespace verblinka
