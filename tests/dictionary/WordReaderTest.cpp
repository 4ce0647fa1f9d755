#include "reference/TestSupport.h"

#include "dictionary/BTree.h"
#include "dictionary/DictionaryLoad.h"
#include "dictionary/WordReader.h"
#include "text/CodePage1251.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace verblinka {
namespace {

using test_support::DictionaryOf;
using test_support::FileOf;
using test_support::WordsIn;
using test_support::WordsOf;
using TWords = std::vector<std::string>;

// "Кот, кот и пёс!" in Windows-1251.
const std::string kCatsAndDog = "\xCA\xEE\xF2, \xEA\xEE\xF2 \xE8 \xEF\xB8\xF1!";

TEST(WordReaderTest, SplitsAtTheFifteenDelimitersOnly) {
    EXPECT_EQ(WordsOf(kCatsAndDog),
              (TWords{"\xCA\xEE\xF2", "\xEA\xEE\xF2", "\xE8", "\xEF\xB8\xF1"}));
    EXPECT_EQ(WordsOf("e-mail don't a/b [x]"), (TWords{"e", "mail", "don", "t", "a/b", "[x]"}));
    EXPECT_EQ(WordsOf("one\ttwo"), (TWords{"one\ttwo"}));

    const std::string delimiters("\x00 ,.-!?\r\n\"'():;", 15);
    for (int c = 0; c < 256; ++c) {
        const char byte = static_cast<char>(c);
        const TWords words = WordsOf(std::string("x") + byte + "y");
        const bool isDelimiter = delimiters.find(byte) != std::string::npos;
        EXPECT_EQ(IsDelimiter(static_cast<std::uint8_t>(c)), isDelimiter) << c;
        EXPECT_EQ(words.size(), isDelimiter ? 2u : 1u) << "byte " << c;
    }
}

TEST(WordReaderTest, DelimiterRunsAndFileEdgesGiveNoEmptyWords) {
    EXPECT_EQ(WordsOf(""), TWords{});
    EXPECT_EQ(WordsOf(" ,.;\r\n\r\n"), TWords{});
    EXPECT_EQ(WordsOf("\r\n  ,,alpha...beta"), (TWords{"alpha", "beta"}));
    EXPECT_EQ(WordsOf(std::string("a\0\0b", 4)), (TWords{"a", "b"}));
    EXPECT_EQ(WordsOf("last"), (TWords{"last"}));
}

TEST(WordReaderTest, WithoutAFileTheResultIsLeftAsItIs) {
    std::string result = "kept";
    GetWord(nullptr, result);
    EXPECT_EQ(result, "kept");
}

// A source that hands out its bytes a few at a time and then fails.
class TTrickleSource final : public TByteSource {
public:
    TTrickleSource(std::string bytes, std::size_t step, std::size_t failAt)
        : bytes_(std::move(bytes)), step_(step), failAt_(failAt) {}
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t end = std::min({bytes_.size(), failAt_, position_ + step_});
        const std::size_t count = std::min(buffer.size(), end - std::min(end, position_));
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return count;
    }
    bool Rewind() override {
        position_ = 0;
        return true;
    }

private:
    std::string bytes_;
    std::size_t step_;
    std::size_t failAt_;
    std::size_t position_ = 0;
};

TEST(WordReaderTest, ShortReadsAndLongWordsAcrossBuffersReadWhole) {
    const std::string longWord(200000, 'w');
    const std::string text = "first " + longWord + " last";
    TDictionaryFile file(std::make_unique<TTrickleSource>(text, 7, text.size()));
    std::string word;
    GetWord(&file, word);
    EXPECT_EQ(word, "first");
    GetWord(&file, word);
    EXPECT_EQ(word, longWord);
    GetWord(&file, word);
    EXPECT_EQ(word, "last");
    GetWord(&file, word);
    EXPECT_EQ(word, "");
}

TEST(TextEncodingTest, TheSameTextInUtf8AndWindows1251GivesTheSameDictionary) {
    const std::string utf8 = "Кот, кот и пёс! Ёж — «ёлка» № 5 €";
    const std::string cp1251 = Utf8To1251(utf8);
    const TDictionary fromBytes = DictionaryOf(cp1251);
    EXPECT_EQ(FileOf(cp1251)->Encoding(), TTextEncoding::Bytes);
    EXPECT_EQ(FileOf(utf8)->Encoding(), TTextEncoding::Utf8);
    EXPECT_EQ(DictionaryOf(utf8).Entries, fromBytes.Entries);
    EXPECT_EQ(DictionaryOf("\xEF\xBB\xBF" + utf8).Entries, fromBytes.Entries);
    EXPECT_EQ(WordsIn(fromBytes.Entries),
              (TWords{"", "5", "\x88", "\x97", "\xA8\xC6", "\xAB\xA8\xCB\xCA\xC0\xBB", "\xB9",
                      "\xC8", "\xCA\xCE\xD2", "\xCF\xA8\xD1"}));
}

TEST(TextEncodingTest, OnlyValidUtf8WithMultiByteTextIsConverted) {
    EXPECT_EQ(FileOf("plain ascii")->Encoding(), TTextEncoding::Bytes);
    EXPECT_EQ(FileOf("")->Encoding(), TTextEncoding::Bytes);
    EXPECT_EQ(FileOf("\xEF\xBB\xBF")->Encoding(), TTextEncoding::Utf8);
    EXPECT_EQ(WordsOf("\xEF\xBB\xBF"), TWords{});
    // One valid sequence against one stray byte: no weight either way, read as bytes.
    const std::string almost = std::string(100000, 'x') + " ж " + std::string(100000, 'y') + "\xFF";
    EXPECT_EQ(FileOf(almost)->Encoding(), TTextEncoding::Bytes);
    // A sequence cut by the end of the file (as a cut copy leaves it) counts
    // for neither side: the text before it decides. (This once read as bytes,
    // which turned every letter of a cut UTF-8 file into two.)
    EXPECT_EQ(FileOf("ж\xD0")->Encoding(), TTextEncoding::Utf8);
    // A byte-order mark decides even when the rest is broken.
    EXPECT_EQ(WordsOf("\xEF\xBB\xBF\xCA\xEE\xF2 \xD0\x9A"), (TWords{"\x1A\x1A\x1A", "\xCA"}));
}

TEST(TextEncodingTest, SequencesSplitAcrossReadsAndMissingCharactersKeepWordBoundaries) {
    std::string utf8;
    for (int i = 0; i < 30000; ++i) {
        utf8 += "ёж漢 a\u3000b ";
    }
    TDictionaryFile file(std::make_unique<TTrickleSource>(utf8, 65535, utf8.size()));
    ASSERT_EQ(file.Encoding(), TTextEncoding::Utf8);
    std::string word;
    for (int i = 0; i < 30000; ++i) {
        GetWord(&file, word);
        ASSERT_EQ(word, "\xB8\xE6\x1A") << i;
        GetWord(&file, word);
        ASSERT_EQ(word, "a");
        GetWord(&file, word);
        ASSERT_EQ(word, "b");
    }
    GetWord(&file, word);
    EXPECT_EQ(word, "");
}

} // namespace
} // namespace verblinka
