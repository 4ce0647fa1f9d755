#include "text/CodePage1251.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace verblinka {
namespace {

TEST(CodePage1251Test, UpperCasingFollowsTheCodePageTable) {
    for (int c = 'a'; c <= 'z'; ++c) {
        EXPECT_EQ(UpperCase1251(static_cast<std::uint8_t>(c)), c - 0x20);
    }
    for (int c = 0xE0; c <= 0xFF; ++c) {
        EXPECT_EQ(UpperCase1251(static_cast<std::uint8_t>(c)), c - 0x20);
    }
    const std::uint8_t pairs[][2] = {{0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                     {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1},
                                     {0xBC, 0xA3}, {0xB4, 0xA5}, {0xB8, 0xA8}, {0xBA, 0xAA},
                                     {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD}};
    int changed = 0;
    for (int c = 0; c < 256; ++c) {
        if (UpperCase1251(static_cast<std::uint8_t>(c)) != c) {
            ++changed;
        }
    }
    for (const auto& pair : pairs) {
        EXPECT_EQ(UpperCase1251(pair[0]), pair[1]);
        EXPECT_EQ(UpperCase1251(pair[1]), pair[1]);
    }
    EXPECT_EQ(changed, 26 + 32 + 15);
    EXPECT_EQ(UpperCase1251(std::uint8_t{0xB5}), 0xB5); // micro sign has no capital
    EXPECT_EQ(UpperCase1251(std::string("\xEA\xEE\xF2 cat")), "\xCA\xCE\xD2 CAT");
}

TEST(CodePage1251Test, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(Utf8To1251(Utf8From1251(all)), all);
    EXPECT_EQ(Utf8From1251("\xCA\xEE\xF2 \xA8\xB8"), "Кот Ёё");
    EXPECT_EQ(Utf8From1251("\x98"), "\xC2\x98");
}

TEST(CodePage1251Test, MissingCharactersBecomeOneWordByteOrABlank) {
    EXPECT_EQ(Utf8To1251("a漢b"), "a\x1A"
                                  "b");
    EXPECT_EQ(Utf8To1251("a😀b"), "a\x1A"
                                 "b");
    EXPECT_EQ(Utf8To1251("a\u2003b\u3000c"), "a b c");
    EXPECT_EQ(Utf8To1251("\u00A0"), "\xA0"); // present in the code page: kept
    EXPECT_EQ(Utf8To1251("№€"), "\xB9\x88");
}

TEST(CodePage1251Test, BrokenUtf8BecomesSubstitutesWithoutSwallowingGoodText) {
    EXPECT_EQ(Utf8To1251("\xFF"
                         "a"),
              "\x1A"
              "a");
    EXPECT_EQ(Utf8To1251("\xD0"
                         "a"),
              "\x1A"
              "a");                                // cut sequence, then a letter
    EXPECT_EQ(Utf8To1251("\xD0"), "\x1A");         // cut at the end
    EXPECT_EQ(Utf8To1251("\xC0\xAF"), "\x1A\x1A"); // overlong forms are refused
    EXPECT_EQ(Utf8To1251("\xED\xA0\x80"
                         "b"),
              "\x1A\x1A\x1A"
              "b"); // surrogates too
    EXPECT_EQ(Utf8To1251("\xF4\x90\x80\x80"), std::string(4, '\x1A'));
    EXPECT_EQ(Utf8To1251("\xE2\x82"
                         "\xD0\x9A"),
              "\x1A\xCA"); // cut sequence before К
}

// The escaped form of every byte: the control characters of both sets, DEL
// and the backslash become visible escapes; every other byte stays itself, so
// that an escaped text never holds a tab, a line break or a control character.
TEST(CodePage1251Test, EscapingCoversEveryControlByte) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<char>(value);
        const std::string escaped = Escape1251(std::string(1, byte));
        const bool control = value < 0x20 || value == 0x7F || value == 0x98;
        if (value == '\\') {
            EXPECT_EQ(escaped, "\\\\");
        } else if (value == '\t' || value == '\n' || value == '\r') {
            EXPECT_EQ(escaped, value == '\t' ? "\\t" : (value == '\n' ? "\\n" : "\\r"));
        } else if (control) {
            char expected[5];
            std::snprintf(expected, sizeof expected, "\\x%02X", value);
            EXPECT_EQ(escaped, expected) << value;
        } else {
            EXPECT_EQ(escaped, std::string(1, byte)) << value;
        }
    }
    EXPECT_EQ(Escape1251("a\tb\\"), "a\\tb\\\\");
}

} // namespace
} // namespace verblinka
