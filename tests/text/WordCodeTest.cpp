#include "text/WordCode.h"

#include <gtest/gtest.h>

#include <string>

namespace verblinka {
namespace {

TWordCode CodeOf(const std::string& word) {
    TWordCode code{};
    CodeWord(word, code);
    return code;
}

TEST(WordCodeTest, LetterAIsCodedBitZeroFirstAndLowerCaseAlike) {
    const TWordCode upper = CodeOf("A");
    const std::int32_t expected[8] = {1, -1, -1, -1, -1, -1, 1, -1};
    for (int b = 0; b < 8; ++b) {
        EXPECT_EQ(upper[static_cast<std::size_t>(b)], expected[b]) << "bit " << b;
    }
    for (std::size_t i = 8; i < upper.size(); ++i) {
        EXPECT_EQ(upper[i], 0) << i;
    }
    EXPECT_EQ(CodeOf("a"), upper);
}

TEST(WordCodeTest, BlankIsCodedLikeAnyCharacter) {
    const TByteBits bits = ByteToBits(0x20);
    EXPECT_EQ(bits, (TByteBits{-1, -1, -1, -1, -1, 1, -1, -1}));
    const TWordCode code = CodeOf("A B");
    for (int b = 0; b < 8; ++b) {
        EXPECT_EQ(code[static_cast<std::size_t>(8 + b)], bits[static_cast<std::size_t>(b)]);
    }
}

TEST(WordCodeTest, OnlyTheFirstTwentyCharactersAreCoded) {
    const std::string base = "ABCDEFGHIJKLMNOPQRST";
    EXPECT_EQ(CodeOf(base + "UVWXY"), CodeOf(base + "ZZZZZ"));
    EXPECT_EQ(CodeOf(base + "UVWXY"), CodeOf(base));
    EXPECT_NE(CodeOf(base), CodeOf("ABCDEFGHIJKLMNOPQRSU"));
    for (const std::int32_t element : CodeOf(base)) {
        EXPECT_NE(element, 0);
    }
}

TEST(WordCodeTest, EveryCallStartsFromZeros) {
    TWordCode code{};
    CodeWord(std::string(25, 'X'), code);
    CodeWord("AB", code);
    EXPECT_EQ(code, CodeOf("AB"));
    CodeWord("", code);
    EXPECT_EQ(code, TWordCode{});
}

TEST(WordCodeTest, HighBytesAreReadUnsigned) {
    // 0xFF (я) upper-cases to 0xDF (Я): bits 0-4 and 6-7 set, bit 5 clear.
    const TWordCode code = CodeOf("\xFF");
    EXPECT_EQ(code[0], 1);
    EXPECT_EQ(code[5], -1);
    EXPECT_EQ(code[7], 1);
    EXPECT_EQ(code, CodeOf("\xDF"));
}

} // namespace
} // namespace verblinka
