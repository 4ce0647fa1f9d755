// The codes of words: what each promises a learner (the keyboard table is
// one-to-one and close for neighbouring keys, the padded code ends the ties of
// prefixes, the pair code barely moves for an inserted letter), the rule every
// code keeps (a function of the first 20 upper-cased bytes, 160 elements of
// +1, -1, 0), and the refusals of a bad table.
#include "text/Codes.h"
#include "text/CodePage1251.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace verblinka {
namespace {

TWordCode CodeOf(const TWordCoder& coder, std::string_view word) {
    TWordCode code{};
    coder.Code(word, code);
    return code;
}

int Differences(const TWordCode& a, const TWordCode& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        count += a[i] != b[i] ? 1 : 0;
    }
    return count;
}

// The 8 bits a positional code gives one byte, as a number.
unsigned ByteCode(const TWordCoder& coder, std::uint8_t byte) {
    const TWordCode code = CodeOf(coder, std::string(1, static_cast<char>(byte)));
    unsigned value = 0;
    for (int b = 0; b < kBitsPerCharacter; ++b) {
        value |= (code[static_cast<std::size_t>(b)] > 0 ? 1u : 0u) << b;
    }
    return value;
}

std::vector<TWordCoder> EveryCoder() {
    return {TWordCoder::Program(),
            TWordCoder::Keyboard(),
            TWordCoder::Padded(),
            TWordCoder::Pairs(),
            TWordCoder::PairsWith({2, 2, 1, false, 8, 1, 1, 5}, "pairs with every option"),
            TWordCoder::FromTable("\xD0\x90 00000001\n", "table")};
}

std::string RandomWord(std::mt19937& random, std::size_t length) {
    std::string word;
    for (std::size_t i = 0; i < length; ++i) {
        word.push_back(static_cast<char>(1 + random() % 255));
    }
    return word;
}

TEST(CodesTest, EveryCodeIsTernaryItsMasksAgreeAndItIsAFunctionOfTheFirst20UpperCasedBytes) {
    std::mt19937 random(7);
    std::array<std::uint8_t, 256> smallOf{}; // a small letter of each capital, else itself
    for (int b = 255; b >= 0; --b) {
        smallOf[b] = static_cast<std::uint8_t>(b);
    }
    for (int b = 0; b < 256; ++b) {
        smallOf[UpperCase1251(static_cast<std::uint8_t>(b))] = static_cast<std::uint8_t>(b);
    }
    for (const TWordCoder& coder : EveryCoder()) {
        for (int round = 0; round < 300; ++round) {
            const std::string word = RandomWord(random, random() % 26);
            const TWordCode code = CodeOf(coder, word);
            TPairMask nonZero{};
            TPairMask negative{};
            coder.CodeMasks(word, nonZero, negative);
            for (std::size_t i = 0; i < code.size(); ++i) {
                ASSERT_TRUE(code[i] >= -1 && code[i] <= 1) << coder.Name();
                const auto bit = [&](const TPairMask& mask) {
                    return (mask[i / 64] >> (i % 64)) & 1u;
                };
                ASSERT_EQ(bit(nonZero), code[i] != 0 ? 1u : 0u)
                    << coder.Name() << ", element " << i;
                ASSERT_EQ(bit(negative), code[i] < 0 ? 1u : 0u)
                    << coder.Name() << ", element " << i;
            }
            std::string lower = word;
            for (char& c : lower) {
                c = static_cast<char>(smallOf[static_cast<std::uint8_t>(c)]);
            }
            EXPECT_EQ(CodeOf(coder, lower), code) << coder.Name();
            const std::string head = (word + RandomWord(random, kCodedCharacters))
                                         .substr(0, static_cast<std::size_t>(kCodedCharacters));
            EXPECT_EQ(CodeOf(coder, head + RandomWord(random, 3)),
                      CodeOf(coder, head + RandomWord(random, 5)))
                << coder.Name();
        }
    }
    EXPECT_EQ(TWordCoder(), TWordCoder::Program());
    EXPECT_FALSE(TWordCoder::Pairs() == TWordCoder::Padded());
}

TEST(CodesTest, KeyboardTableIsOneToOneAndNeighbouringKeysAreClose) {
    const TWordCoder keyboard = TWordCoder::Keyboard();
    std::set<unsigned> codes;
    std::size_t upperCased = 0;
    std::vector<std::uint8_t> letters;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        if (UpperCase1251(byte) != byte) {
            continue; // never coded: the word is upper-cased first
        }
        ++upperCased;
        codes.insert(ByteCode(keyboard, byte));
        if (KeyboardNeighbours(byte).empty()) {
            EXPECT_EQ(ByteCode(keyboard, byte), byte)
                << "a byte that is no letter key keeps its bits";
        } else {
            letters.push_back(byte);
        }
    }
    EXPECT_EQ(codes.size(), upperCased);
    ASSERT_EQ(letters.size(), 33u + 26u);

    auto meanDistance = [&](const TWordCoder& coder, bool neighboursOnly) {
        double sum = 0;
        int pairs = 0;
        for (const std::uint8_t a : letters) {
            for (const std::uint8_t b : letters) {
                const bool neighbours =
                    KeyboardNeighbours(a).find(static_cast<char>(b)) != std::string_view::npos;
                if (a < b && neighbours == neighboursOnly) {
                    sum += std::popcount(ByteCode(coder, a) ^ ByteCode(coder, b));
                    ++pairs;
                }
            }
        }
        return sum / pairs;
    };
    const double neighbours = meanDistance(keyboard, true);
    EXPECT_LT(neighbours, 1.5);
    EXPECT_LT(neighbours, meanDistance(keyboard, false) / 2);
    EXPECT_LT(neighbours, meanDistance(TWordCoder::Program(), true) / 1.5);
}

TEST(CodesTest, KeyboardNeighboursAreMutualAndWithinOneLayout) {
    for (int a = 0; a < 256; ++a) {
        for (const char b : KeyboardNeighbours(static_cast<std::uint8_t>(a))) {
            EXPECT_NE(KeyboardNeighbours(static_cast<std::uint8_t>(b)).find(static_cast<char>(a)),
                      std::string_view::npos);
            EXPECT_EQ(a < 0x80, static_cast<std::uint8_t>(b) < 0x80);
        }
    }
    // Ф touches Й and Ц above it, Ы beside it, Я below it.
    EXPECT_EQ(std::set<char>(KeyboardNeighbours(0xD4).begin(), KeyboardNeighbours(0xD4).end()),
              (std::set<char>{'\xC9', '\xD6', '\xDB', '\xDF'}));
}

TEST(CodesTest, PaddedCodeEndsTheTieOfAPrefixEntry) {
    // Typed: the word; stored: the word and a longer entry that begins with it.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xCA\xCE\xD2", "\xCA\xCE\xD2\xB8\xCD\xCE\xCA"}, // КОТ, КОТЁНОК
        {"DOG", "DOGMA"},
        {"A", "AAAAAAAAAAAAAAAAAAAAAAA"}};
    auto agreement = [](const TWordCode& a, const TWordCode& b) {
        double sum = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            sum += a[i] == 0 || b[i] == 0 ? 0.5 : (a[i] == b[i] ? 1.0 : 0.0);
        }
        return sum;
    };
    for (const auto& [word, longer] : cases) {
        const TWordCoder program = TWordCoder::Program();
        const TWordCoder padded = TWordCoder::Padded();
        EXPECT_EQ(agreement(CodeOf(program, word), CodeOf(program, word)),
                  agreement(CodeOf(program, word), CodeOf(program, longer)))
            << word << ": the tie the padded code is for";
        EXPECT_GT(agreement(CodeOf(padded, word), CodeOf(padded, word)),
                  agreement(CodeOf(padded, word), CodeOf(padded, longer)))
            << word;
    }
}

TEST(CodesTest, OneInsertedLetterChangesFewPairsOfThePairCode) {
    std::mt19937 random(11);
    const std::string letters = "\xC0\xC1\xC2\xC5\xC8\xCA\xCB\xCE\xD0\xD2\xDF";
    const TWordCoder pairs = TWordCoder::Pairs();
    const TPairCodeOptions options;
    // An insertion removes one pair and adds two (and at an end, an edge pair
    // for another); each pair sets a few positions; the length's elements
    // may change too.
    const int most = 3 * (options.OrderedBits + options.UnorderedBits) + 2 * options.EdgeBits +
                     5 * (options.GapBits + options.TripleBits) + options.LengthElements;
    for (int round = 0; round < 500; ++round) {
        std::string word;
        for (std::size_t n = 2 + random() % 15; word.size() < n;) {
            word.push_back(letters[random() % letters.size()]);
        }
        std::string typed = word;
        const std::size_t at = random() % (word.size() + 1); // drawn in a fixed order
        typed.insert(at, 1, letters[random() % letters.size()]);
        const int changed = Differences(CodeOf(pairs, word), CodeOf(pairs, typed));
        EXPECT_LE(changed, most) << word << " / " << typed;
        // A blank inside the word is no letter: the word split in two codes as the word.
        std::string split = word;
        split.insert(1 + random() % (word.size() - 1), 1, ' ');
        EXPECT_EQ(CodeOf(pairs, split), CodeOf(pairs, word));
    }
    // A positional code sees a different word after the insertion point.
    EXPECT_GT(Differences(CodeOf(TWordCoder::Program(), "ABCDEFGHIJ"),
                          CodeOf(TWordCoder::Program(), "AXBCDEFGHIJ")),
              Differences(CodeOf(pairs, "ABCDEFGHIJ"), CodeOf(pairs, "AXBCDEFGHIJ")));
}

TEST(CodesTest, TableGivesItsLettersTheirBitsAndLeavesTheRest) {
    // а (small) and Z, a comment, a blank line, spaces around and CR LF.
    const TWordCoder table = TWordCoder::FromTable(
        "# my code\r\n\r\n  \xD0\xB0 \t 10000001  \r\nZ 00000000\n", "mine.txt");
    EXPECT_EQ(table.Name(), "mine.txt");
    EXPECT_EQ(ByteCode(table, 0xC0), 0x81u); // А, as the small letter was given
    EXPECT_EQ(ByteCode(table, 0xE0), 0x81u);
    EXPECT_EQ(ByteCode(table, 'Z'), 0u);
    for (const std::uint8_t other : {std::uint8_t{'A'}, std::uint8_t{0xC1}, std::uint8_t{' '}}) {
        EXPECT_EQ(ByteCode(table, other), other);
    }
    EXPECT_TRUE(table.Positional());
    EXPECT_FALSE(TWordCoder::Pairs().Positional());
}

TEST(CodesTest, BadTableIsRefusedNamingItsLine) {
    struct TCase {
        std::string Text;
        std::size_t Line;
        std::string Says;
    };
    const std::vector<TCase> cases = {
        {"A 0101010\n", 1, "8 двоичных цифр, а их 7"},
        {"# c\nA 010101011\n", 2, "а их 9"},
        {"A 0101020\n", 1, "(0 или 1)"},
        {"A 01010101\n\nB 1\n", 3, "а их 1"},
        {"A 01010101\na 00000000\n", 2, "уже задана в строке 1"},
        {"\xE2\x82\xAC 01010101\n", 1, ""}, // € is in the code page: accepted
        {"\xE4\xB8\xAD 01010101\n", 1, "нет среди букв"},
        {"\xFF 01010101\n", 1, "UTF-8"},
        {"AB 01010101\n", 1, "одна буква"},
        {"A\n", 1, "одна буква"},
    };
    for (const TCase& c : cases) {
        if (c.Says.empty()) {
            EXPECT_NO_THROW(TWordCoder::FromTable(c.Text, "t"));
            continue;
        }
        try {
            TWordCoder::FromTable(c.Text, "my.txt");
            ADD_FAILURE() << c.Text << " accepted";
        } catch (const TCodeTableError& error) {
            EXPECT_EQ(error.Line, c.Line) << c.Text;
            const std::string what = error.what();
            EXPECT_NE(what.find("«my.txt», строка " + std::to_string(c.Line)), std::string::npos)
                << what;
            EXPECT_NE(what.find(c.Says), std::string::npos) << what;
        }
    }
    try {
        TWordCoder::FromTableFile("/nonexistent/table.txt");
        ADD_FAILURE() << "a missing file accepted";
    } catch (const TCodeTableError& error) {
        EXPECT_EQ(error.Line, 0u);
        EXPECT_NE(std::string(error.what()).find("/nonexistent/table.txt"), std::string::npos);
    }
}

} // namespace
} // namespace verblinka
