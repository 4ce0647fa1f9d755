// The load: words upper-cased, counted and stored row by row; a read that
// fails as the end of the file; the counting route against the word tree's
// and the decision of how a file's text is read: the list (words, counts,
// order), the network and the failures must be the tree's on every kind of
// file, and the same bytes must always give the same dictionary.
#include "reference/TestSupport.h"

#include "dictionary/DictionaryLoad.h"
#include "engine/CheckedMath.h"
#include "reference/FaultySource.h"
#include "reference/ReferenceModel.h"
#include "reference/Utf8Text.h"
#include "reference/WordLists.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace verblinka {
namespace {

using reference::AppendUtf8;

using test_support::DictionaryOf;
using test_support::TEndlessSource;
using test_support::TFaultySource;
using test_support::WordsIn;

struct TOutcome {
    TDictionaryEntries Entries;
    std::vector<std::uint64_t> Masks; // every row's weights, packed
    std::string Error;
};

// One load of bytes by either route, with the occurrence limit given.
TOutcome Load(const std::string& bytes, bool withTree, std::int32_t limit = 0x7FFFFFFF,
              const TFaultySource::TFaults& faults = {}) {
    TDictionaryFile file(std::make_unique<TFaultySource>(bytes, faults));
    TStringBTree tree;
    tree.SetOccurrenceLimit(limit);
    TWordCode code{};
    TOutcome outcome;
    try {
        const TDictionary dictionary =
            withTree ? BuildDictionaryWithTree(file, tree, code, kProgramMaxIterations)
                     : BuildDictionary(file, tree, code, kProgramMaxIterations);
        outcome.Entries = dictionary.Entries;
        const TPatternWeights& weights = dictionary.Network.Weights();
        EXPECT_TRUE(weights.IsCompact());
        EXPECT_EQ(weights.Rows(), dictionary.Entries.size());
        outcome.Masks.assign(weights.MasksOf(0),
                             weights.MasksOf(0) + weights.Rows() * 2 * weights.WordsPerMask());
    } catch (const TOverflowError& error) {
        outcome.Error = error.what();
    }
    EXPECT_EQ(tree.NodeCount(), 1u) << "the tree is left empty";
    return outcome;
}

void ExpectSameRoutes(const std::string& bytes, const std::string& what,
                      std::int32_t limit = 0x7FFFFFFF, const TFaultySource::TFaults& faults = {}) {
    const TOutcome counted = Load(bytes, false, limit, faults);
    const TOutcome walked = Load(bytes, true, limit, faults);
    EXPECT_EQ(counted.Error, walked.Error) << what;
    ASSERT_EQ(counted.Entries.size(), walked.Entries.size()) << what;
    EXPECT_TRUE(counted.Entries == walked.Entries) << what;
    EXPECT_TRUE(counted.Masks == walked.Masks) << what << ": the networks differ";
}

std::string Join(const std::vector<std::string>& words, const std::string& separator) {
    std::string text;
    for (const auto& word : words) {
        text += word;
        text += separator;
    }
    return text;
}

TEST(LoadRouteTest, CountingGivesTheTreesListAndNetworkOnEveryKindOfFile) {
    std::mt19937 random(12);
    // Letters of both cases, Ё/ё, the byte 0x98 and 0xFF, so that upper-casing,
    // byte order and keys of eight bytes are all exercised.
    const std::string letters = "abcXYZ\xA8\xB8\xC0\xE0\xFF\x98\x01\x09/";
    std::vector<std::string> words = test_support::RandomWords(random, 6000, 1, 24, letters);
    ExpectSameRoutes(Join(words, " "), "random order");
    std::vector<std::string> sorted = words;
    std::sort(sorted.begin(), sorted.end());
    ExpectSameRoutes(Join(sorted, "\n"), "sorted");
    ExpectSameRoutes(Join({sorted.rbegin(), sorted.rend()}, "\r\n"), "reversed");
    // Few distinct words, many repeats, and words that share their first
    // eight bytes or are prefixes of one another.
    std::vector<std::string> repeats;
    repeats.reserve(20000);
    for (int i = 0; i < 20000; ++i) {
        repeats.push_back(std::string(8 + random() % 3, 'W') + "\xC0\xE0"[random() % 2]);
    }
    ExpectSameRoutes(Join(repeats, ", "), "duplicate-heavy");
    // Hostile: raw bytes of every value, as bytes and under each mark; words
    // longer than the reader's block, and a word cut by every block border.
    std::string raw(60000, '\0');
    for (char& c : raw) {
        c = static_cast<char>(random());
    }
    for (const std::string mark : {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        ExpectSameRoutes(mark + raw, "raw bytes after mark of size " + std::to_string(mark.size()));
    }
    const std::string huge(kReadChunkSize + 77, '\xE6');
    ExpectSameRoutes("a " + huge + " b " + huge + "\xE6 " + huge, "words longer than a block");
    std::string borders;
    while (borders.size() < 2 * kReadChunkSize + 100) {
        borders += test_support::RandomWord(random, 1, 12, letters) + "-";
    }
    ExpectSameRoutes(borders, "short reads", 0x7FFFFFFF, {.Piece = kReadChunkSize / 3 - 1});
    ExpectSameRoutes(borders, "a read failing", 0x7FFFFFFF, {.FailAt = kReadChunkSize + 5});
    // Counting against the plain reference reading too.
    EXPECT_TRUE(Load(borders, false).Entries == reference::Entries(reference::FileTo1251(borders)));
}

TEST(LoadRouteTest, CountsPastTheLimitFailBothRoutesAlike) {
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        const std::vector<std::string> words =
            test_support::RandomWords(random, 1 + random() % 30, 1, 3, "aAbB\xE0");
        const auto limit = static_cast<std::int32_t>(1 + random() % 4);
        ExpectSameRoutes(Join(words, " "), "round " + std::to_string(round), limit);
    }
    EXPECT_EQ(Load("kot KOT Kot", false, 2).Error, "Integer overflow");
    EXPECT_EQ(Load("kot KOT", false, 2).Entries[1].Occurrences, 2);
    // The first occurrence is counted as the tree counts it, whatever the limit.
    EXPECT_EQ(Load("kot", false, 0).Entries, (TDictionaryEntries{{"", 0}, {"KOT", 1}}));
}

TEST(LoadRouteTest, ProgressReachesTheSizeAndCancelStopsEitherRoute) {
    std::string text;
    while (text.size() < 5 * kReadChunkSize + 123) {
        text += "кот пёс ";
    }
    for (const bool withTree : {false, true}) {
        TDictionaryFile file(std::make_unique<TMemorySource>(text));
        TStringBTree tree;
        TWordCode code{};
        std::vector<std::uint64_t> reports;
        TLoadControl control;
        control.OnProgress = [&](std::uint64_t read, std::uint64_t total) {
            EXPECT_EQ(total, text.size());
            reports.push_back(read);
        };
        const TDictionary dictionary =
            withTree ? BuildDictionaryWithTree(file, tree, code, kProgramMaxIterations, {}, control)
                     : BuildDictionary(file, tree, code, kProgramMaxIterations, {}, control);
        EXPECT_EQ(dictionary.Entries.size(), 3u);
        ASSERT_GE(reports.size(), 5u);
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        EXPECT_EQ(reports.back(), text.size());

        // Cancelled half-way (from the progress report, as another thread would).
        std::atomic<bool> cancel{false};
        TLoadControl stopping;
        stopping.Cancel = &cancel;
        stopping.OnProgress = [&](std::uint64_t read, std::uint64_t) {
            if (read > 2 * kReadChunkSize) {
                cancel = true;
            }
        };
        TDictionaryFile again(std::make_unique<TMemorySource>(text));
        EXPECT_THROW(withTree ? BuildDictionaryWithTree(again, tree, code, 5, {}, stopping)
                              : BuildDictionary(again, tree, code, 5, {}, stopping),
                     TLoadCancelled);
        EXPECT_EQ(tree.NodeCount(), 1u);
    }
}

// ---- how the text is read ------------------------------------------------

TTextEncoding EncodingOf(const std::string& bytes) {
    return TDictionaryFile(std::make_unique<TMemorySource>(bytes)).Encoding();
}

TDictionaryEntries EntriesOf(const std::string& bytes, std::size_t piece = TFaultySource::kNever) {
    return Load(bytes, false, 0x7FFFFFFF, {.Piece = piece}).Entries;
}

// A Russian text of n words, in UTF-8.
std::string RussianText(std::mt19937& random, std::size_t n) {
    const std::vector<std::string> words = {"Кот", "пёс",   "дом",    "ЁЖ", "сеть", "Хэмминга",
                                            "и",   "слово", "«ёлка»", "на", "в",    "объявление"};
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += words[random() % words.size()] + (i % 9 == 8 ? ".\n" : " ");
    }
    return text;
}

TEST(EncodingDecisionTest, BrokenBytesInUtf8TextLeaveItUtf8AndWindows1251StaysBytes) {
    std::mt19937 random(8);
    for (int round = 0; round < 20; ++round) {
        const std::string text = RussianText(random, 50 + random() % 500);
        const std::string cp1251 = Utf8To1251(text);
        EXPECT_EQ(EncodingOf(cp1251), TTextEncoding::Bytes) << round;
        EXPECT_EQ(EncodingOf(text), TTextEncoding::Utf8);
        // One stray byte anywhere, or the last character cut: still UTF-8,
        // the broken sequence one substitute byte.
        std::string stray = text;
        stray.insert(random() % stray.size(), 1, '\xFF');
        EXPECT_EQ(EncodingOf(stray), TTextEncoding::Utf8);
        EXPECT_TRUE(EntriesOf(stray) == reference::Entries(reference::FileTo1251(stray, true)));
        const std::string cut = text.substr(0, text.rfind('\xD0') + 1);
        EXPECT_EQ(EncodingOf(cut), TTextEncoding::Utf8);
        EXPECT_EQ(EntriesOf(cut), EntriesOf(Utf8To1251(cut.substr(0, cut.size() - 1)) + "\x1A"));
        // Windows-1251 with a few chance UTF-8 pairs (a capital before Ё or ») stays bytes.
        EXPECT_EQ(EncodingOf(cp1251 + " \xC6\xA8 \xD2\xBB"), TTextEncoding::Bytes);
    }
}

TEST(EncodingDecisionTest, TheSameBytesGiveTheSameDictionaryHoweverTheyAreRead) {
    std::mt19937 random(9);
    for (int round = 0; round < 30; ++round) {
        // Mixed text: UTF-8, Windows-1251 and random bytes in random shares.
        std::string bytes = RussianText(random, random() % 200);
        bytes += Utf8To1251(RussianText(random, random() % 200));
        for (std::size_t i = random() % 40; i > 0; --i) {
            bytes.insert(random() % (bytes.size() + 1), 1, static_cast<char>(random()));
        }
        const TDictionaryEntries first = EntriesOf(bytes);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
            EXPECT_TRUE(EntriesOf(bytes, piece) == first) << round;
        }
        EXPECT_TRUE(first == reference::Entries(reference::FileTo1251(bytes))) << round;
        EXPECT_EQ(EncodingOf(bytes), reference::EncodingOf(bytes)) << round;
    }
}

TEST(EncodingDecisionTest, OnlyTheFirstSequencesDecideAndAGrowingFileKeepsTheDecision) {
    // 65,536 valid sequences, then Windows-1251 text: decided by the first ones.
    std::string utf8;
    for (std::uint64_t i = 0; i < kEncodingEvidence; ++i) {
        utf8 += i % 2 == 0 ? "ж" : "ё ";
    }
    const std::string cp1251(200000, '\xE6');
    EXPECT_EQ(EncodingOf(utf8 + cp1251), TTextEncoding::Utf8);
    EXPECT_EQ(reference::EncodingOf(utf8 + cp1251), TTextEncoding::Utf8);
    EXPECT_EQ(EncodingOf(utf8.substr(0, 1000) + cp1251), TTextEncoding::Bytes);

    // A file that grows after the decision was made: the new bytes are read
    // as the beginning decided, whatever they hold.
    class TGrowingSource final : public TByteSource {
    public:
        std::size_t Read(std::span<std::uint8_t> buffer) override {
            const std::string& bytes = rewound_ ? grown_ : start_;
            const std::size_t n = std::min(buffer.size(), bytes.size() - position_);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.begin());
            position_ += n;
            return n;
        }
        bool Rewind() override {
            rewound_ = true;
            position_ = 0;
            return true;
        }

    private:
        std::string start_ = "кот пёс ";
        std::string grown_ = start_ + std::string(5000, '\xE6') + " ёж";
        std::size_t position_ = 0;
        bool rewound_ = false;
    };
    TDictionaryFile file(std::make_unique<TGrowingSource>());
    EXPECT_EQ(file.Encoding(), TTextEncoding::Utf8);
    TStringBTree tree;
    TWordCode code{};
    const TDictionary dictionary = BuildDictionary(file, tree, code, kProgramMaxIterations);
    EXPECT_EQ(dictionary.Entries[1].Word, std::string(5000, '\x1A'));
}

TEST(EncodingDecisionTest, Utf16WithItsMarkReadsAsTheSameTextInUtf8) {
    const std::u16string text = u"Кот, кот и пёс! Ёж — «ёлка» № 5 € 中文\u3000x";
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    for (const char16_t unit : text) {
        little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    const std::string utf8 = "Кот, кот и пёс! Ёж — «ёлка» № 5 € 中文\u3000x";
    EXPECT_EQ(EncodingOf(little), TTextEncoding::Utf16Le);
    EXPECT_EQ(EncodingOf(big), TTextEncoding::Utf16Be);
    const TDictionaryEntries expected = EntriesOf(utf8);
    ASSERT_EQ(expected.size(), 12u);
    for (const std::size_t piece : {std::size_t{1}, TFaultySource::kNever}) {
        EXPECT_TRUE(EntriesOf(little, piece) == expected);
        EXPECT_TRUE(EntriesOf(big, piece) == expected);
    }
    // A surrogate pair is one character; a lone surrogate or a last odd byte
    // is a broken sequence: each one substitute byte.
    EXPECT_EQ(WordsIn(EntriesOf(std::string("\xFF\xFE"
                                            "a\0\x3D\xD8\x00\xDE"
                                            "b\0\x00\xDC"
                                            "c\0\x3D\xD8",
                                            16) +
                                "d")),
              (std::vector<std::string>{"", "A\x1A"
                                            "B\x1A"
                                            "C\x1A\x1A"}));
}

// Windows-1251 text may begin with the bytes of a UTF-16 byte-order mark:
// «яю» is FF FE, «юя» FE FF. Only text after them that is UTF-16 of Latin or
// Cyrillic letters makes them a mark; otherwise no word is lost.
TEST(EncodingDecisionTest, AUtf16MarkCountsOnlyWhereTheTextAfterItBearsItOut) {
    std::mt19937 random(24);
    for (int round = 0; round < 20; ++round) {
        const std::string text = RussianText(random, 1 + random() % 300);
        std::u16string units;
        for (const char byte : Utf8To1251(text)) {
            units += static_cast<char16_t>(CodePointOf1251(static_cast<std::uint8_t>(byte)));
        }
        for (const bool little : {true, false}) {
            const std::string mark = little ? "\xFF\xFE" : "\xFE\xFF";
            std::string utf16 = mark;
            for (const char16_t unit : units) {
                const char low = static_cast<char>(unit & 0xFF);
                const char high = static_cast<char>(unit >> 8);
                utf16 += little ? std::string{low, high} : std::string{high, low};
            }
            const std::string cp1251 = mark + Utf8To1251(text);
            EXPECT_EQ(EncodingOf(utf16), little ? TTextEncoding::Utf16Le : TTextEncoding::Utf16Be);
            EXPECT_EQ(EncodingOf(cp1251), TTextEncoding::Bytes) << round;
            EXPECT_EQ(reference::EncodingOf(cp1251), TTextEncoding::Bytes);
            EXPECT_TRUE(EntriesOf(utf16) == EntriesOf(text)) << round;
            EXPECT_TRUE(EntriesOf(cp1251, 1) == reference::Entries(cp1251)) << round;
            // The first word keeps «ЯЮ» or «ЮЯ» in front of it.
            const TDictionaryEntries entries = EntriesOf(cp1251);
            const std::string first =
                UpperCase1251(mark + Utf8To1251(text.substr(0, text.find(' '))));
            EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const TDictionaryEntry& e) {
                return e.Word == first;
            })) << round;
        }
    }
    // The marks alone, or before UTF-8 text or random bytes: decided by the
    // evidence as any file is, and as the plain reading decides.
    for (const std::string mark : {"\xFF\xFE", "\xFE\xFF"}) {
        EXPECT_EQ(EncodingOf(mark), TTextEncoding::Bytes);
        EXPECT_EQ(EncodingOf(mark + "кот пёс дом ёж"), TTextEncoding::Utf8);
        for (int round = 0; round < 50; ++round) {
            std::string bytes = mark;
            const std::size_t size = random() % 64;
            const unsigned zeros = random() % 4; // how often a byte is 0x00 or 0x04
            for (std::size_t i = 0; i < size; ++i) {
                const unsigned r = random();
                bytes += static_cast<char>(r % 4 < zeros ? (r & 0x100 ? 0x04 : 0x00) : r >> 16);
            }
            EXPECT_EQ(EncodingOf(bytes), reference::EncodingOf(bytes)) << round;
            EXPECT_TRUE(EntriesOf(bytes, 1) == reference::Entries(reference::FileTo1251(bytes)));
        }
    }
}

// A word given to the tool is decided by the rule that decides a file: where
// no sequence is left open at the end, they agree on any bytes.
TEST(EncodingDecisionTest, AWordIsDecidedAsAFileOfTheSameBytes) {
    std::mt19937 random(23);
    for (int round = 0; round < 200; ++round) {
        std::string bytes = RussianText(random, random() % 4);
        bytes += Utf8To1251(RussianText(random, random() % 3));
        for (std::size_t i = random() % 6; i > 0; --i) {
            bytes.insert(random() % (bytes.size() + 1), 1, static_cast<char>(random()));
        }
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0 ||
            bytes.rfind("\xFE\xFF", 0) == 0) {
            continue; // byte-order marks belong to files
        }
        bytes += '\n';
        EXPECT_EQ(WeighsAsUtf8(bytes), EncodingOf(bytes) == TTextEncoding::Utf8) << round;
    }
}


// Every code point through the file reader, in UTF-8 and in UTF-16 of both
// orders, in pieces that cut sequences anywhere: each becomes what the code
// page makes of it (the independent model holds its own list of the spaces
// that become a blank).
TEST(EncodingDecisionTest, EveryCodePointInEveryEncodingBecomesItsByte) {
    std::string utf8 = "\xEF\xBB\xBF";
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    std::string expected;
    const auto addUnit = [&](char16_t unit) {
        little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    };
    for (char32_t c = 1; c <= 0x10FFFF; c += c < 0x3100 ? 1 : 97) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        AppendUtf8(utf8, c);
        if (c < 0x10000) {
            addUnit(static_cast<char16_t>(c));
        } else {
            addUnit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            addUnit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
        expected += static_cast<char>(reference::To1251(c));
    }
    for (const std::string* file : {&utf8, &little, &big}) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4099}}) {
            TTextDecoder decoder(EncodingOf(*file));
            const std::size_t markSize = file == &utf8 ? 3 : 2;
            std::string converted;
            std::vector<std::uint8_t> out(piece + 8);
            for (std::size_t at = markSize; at < file->size(); at += piece) {
                const std::size_t n = std::min(piece, file->size() - at);
                const std::size_t written = decoder.Convert(
                    std::span(reinterpret_cast<const std::uint8_t*>(file->data()) + at, n),
                    out.data());
                converted.append(reinterpret_cast<const char*>(out.data()), written);
            }
            converted.append(reinterpret_cast<const char*>(out.data()), decoder.Finish(out.data()));
            EXPECT_EQ(converted, expected) << "piece " << piece;
        }
    }
}

// "Кот, кот и пёс!" in Windows-1251.
const std::string kCatsAndDog = "\xCA\xEE\xF2, \xEA\xEE\xF2 \xE8 \xEF\xB8\xF1!";

TEST(DictionaryLoadTest, WordsAreUpperCasedCountedAndStoredRowByRow) {
    const TDictionary dictionary =
        DictionaryOf("\xCA\xEE\xF2 \xEA\xEE\xF2 \xCA\xCE\xD2"); // Кот кот КОТ
    EXPECT_EQ(dictionary.Entries, (TDictionaryEntries{{"", 0}, {"\xCA\xCE\xD2", 3}}));

    const TDictionary big = DictionaryOf(kCatsAndDog + " zebra Zebra apple");
    ASSERT_EQ(big.Network.PatternCount(), static_cast<std::int32_t>(big.Entries.size()));
    EXPECT_EQ(big.Network.InputCount(), kWordCodeLength);
    EXPECT_EQ(big.Network.MaxIterations(), kProgramMaxIterations);
    TWordCode code{};
    for (std::size_t i = 0; i < big.Entries.size(); ++i) {
        CodeWord(big.Entries[i].Word, code);
        for (std::int32_t j = 0; j < kWordCodeLength; ++j) {
            ASSERT_EQ(big.Network.Weight(static_cast<std::int32_t>(i), j),
                      code[static_cast<std::size_t>(j)])
                << "row " << i;
        }
    }
}

TEST(DictionaryLoadTest, AFileWithoutWordsGivesTheEmptyEntryOnly) {
    const TDictionary dictionary = DictionaryOf(" ,.!?\r\n");
    EXPECT_EQ(dictionary.Entries, (TDictionaryEntries{{"", 0}}));
    EXPECT_EQ(dictionary.Network.PatternCount(), 1);
}

TEST(DictionaryLoadTest, OpeningFailsForMissingFilesAndDirectoriesNamingThePath) {
    const auto directory = std::filesystem::temp_directory_path();
    const std::string missing = (directory / "verblinka-no-such-file.txt").string();
    TStringBTree tree;
    TWordCode code{};
    try {
        LoadDictionary(missing, tree, code, kProgramMaxIterations);
        FAIL() << "a missing file loaded";
    } catch (const TOpenError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
    }
    EXPECT_THROW(LoadDictionary(directory.string(), tree, code, kProgramMaxIterations), TOpenError);
}

TEST(DictionaryLoadTest, LoadingTheSameFileTwiceGivesTheSameList) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("verblinka-load-twice-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path, std::ios::binary) << kCatsAndDog << " \xEA\xEE\xF2\xFB";
    TStringBTree tree;
    TWordCode code{};
    const TDictionary first = LoadDictionary(path.string(), tree, code, kProgramMaxIterations);
    const TDictionary second = LoadDictionary(path.string(), tree, code, kProgramMaxIterations);
    std::filesystem::remove(path);
    EXPECT_EQ(first.Entries, second.Entries);
    EXPECT_EQ(first.Entries.size(), 5u);
}

// A read that fails ends the file: the dictionary is what the bytes before
// the failure give, whether it fails at once, inside a character, inside a
// word or between words, in the first pass or only in the second.
TEST(DictionaryLoadTest, AReadThatFailsEndsTheFileWithTheWordsReadSoFar) {
    const std::string bytes1251 = "\xCA\xEE\xF2, \xEA\xEE\xF2 \xE8 \xEF\xB8\xF1! dog-cat";
    const std::string utf8 = "Кот, кот и пёс! dog-cat — ёж\u2003ЁЖ";
    const std::string withMark = "\xEF\xBB\xBF" + utf8;
    for (const std::string& file : {bytes1251, utf8, withMark, std::string("alpha beta gamma")}) {
        for (std::size_t failAt = 0; failAt <= file.size(); ++failAt) {
            for (const bool onlyAfterRewind : {false, true}) {
                for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{4},
                                                std::size_t{5}, TFaultySource::kNever}) {
                    SCOPED_TRACE("fail at " + std::to_string(failAt) + ", piece " +
                                 std::to_string(piece) + (onlyAfterRewind ? ", second pass" : ""));
                    TDictionaryFile source(std::make_unique<TFaultySource>(
                        file, TFaultySource::TFaults{piece, failAt, onlyAfterRewind}));
                    TStringBTree tree;
                    TWordCode code{};
                    const TDictionary dictionary =
                        BuildDictionary(source, tree, code, kProgramMaxIterations);
                    const std::string read = file.substr(0, failAt);
                    const TTextEncoding decided =
                        reference::EncodingOf(onlyAfterRewind ? file : read);
                    EXPECT_EQ(reference::CheckLoaded(dictionary.Entries, dictionary.Network, read,
                                                     decided),
                              "");
                }
            }
        }
    }
}

// ---- files that never end or make a read wait -----------------------------

// A temporary file that is removed when it goes.
class TTemporaryFile {
public:
    TTemporaryFile(const std::string& name, const std::string& bytes)
        : path_(std::filesystem::temp_directory_path() /
                ("verblinka-" + std::to_string(::getpid()) + "-" + name)) {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TTemporaryFile() { std::filesystem::remove(path_); }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// An all-ASCII file is looked at to its end before the load reads it again:
// that pass is half the progress shown and stops when cancelled.
TEST(LoadProgressTest, TheEncodingPassOfAnAsciiFileShowsProgressAndStopsOnCancel) {
    std::string text;
    while (text.size() < 5 * kReadChunkSize + 123) {
        text += "cat dog ";
    }
    const TTemporaryFile file("ascii.txt", text);
    TStringBTree tree;
    TWordCode code{};
    std::vector<std::uint64_t> reports;
    TLoadControl control;
    control.OnProgress = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, text.size());
        reports.push_back(done);
    };
    const TDictionary dictionary =
        LoadDictionary(file.Path(), tree, code, kProgramMaxIterations, {}, control);
    EXPECT_EQ(dictionary.Entries.size(), 3u);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), text.size());
    // Six blocks of the first pass, the last of them ending its half.
    const auto firstPass = std::count_if(reports.begin(), reports.end(), [&](std::uint64_t done) {
        return done <= text.size() / 2;
    });
    EXPECT_GE(firstPass, 6);
    EXPECT_TRUE(std::find(reports.begin(), reports.end(), text.size() / 2) != reports.end());

    // Cancelled at the first report: the next block of that pass stops it.
    std::atomic<bool> cancel{false};
    reports.clear();
    control.Cancel = &cancel;
    control.OnProgress = [&](std::uint64_t done, std::uint64_t) {
        reports.push_back(done);
        cancel = true;
    };
    EXPECT_THROW(LoadDictionary(file.Path(), tree, code, kProgramMaxIterations, {}, control),
                 TLoadCancelled);
    EXPECT_EQ(reports, std::vector<std::uint64_t>{kReadChunkSize / 2});
    EXPECT_EQ(tree.NodeCount(), 1u);
}

// A source that hands out zeros for ever: the pass that decides the encoding
// ends at the size it claims, and without one when it is stopped.
TEST(LoadProgressTest, TheEncodingPassOfAnEndlessSourceEndsAtItsSizeOrWhenStopped) {
    for (const std::uint64_t size :
         {std::uint64_t{1}, std::uint64_t{kReadChunkSize}, std::uint64_t{3 * kReadChunkSize + 5}}) {
        auto source = std::make_unique<TEndlessSource>(size);
        const TEndlessSource& endless = *source;
        std::vector<std::uint64_t> seen;
        const TDictionaryFile file(std::move(source),
                                   [&](std::uint64_t examined, std::uint64_t of) {
                                       EXPECT_EQ(of, size);
                                       seen.push_back(examined);
                                   });
        EXPECT_EQ(file.Encoding(), TTextEncoding::Bytes);
        EXPECT_EQ(file.ExaminedBytes(), size);
        EXPECT_EQ(endless.HandedOut(), size);
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), size);
    }
    const auto stopAt = 40 * kReadChunkSize;
    EXPECT_THROW(TDictionaryFile(std::make_unique<TEndlessSource>(0),
                                 [&](std::uint64_t examined, std::uint64_t of) {
                                     EXPECT_EQ(of, 0u);
                                     if (examined >= stopAt) {
                                         throw TLoadCancelled();
                                     }
                                 }),
                 TLoadCancelled);
}

// /proc/self/pagemap calls itself an empty regular file and hands out zeros
// for hundreds of gigabytes: the load shows the bytes read and stops when
// cancelled, in its first pass.
TEST(LoadProgressTest, PagemapShowsTheBytesReadAndStopsOnCancel) {
    if (::access("/proc/self/pagemap", R_OK) != 0) {
        GTEST_SKIP() << "no /proc/self/pagemap to read here";
    }
    std::atomic<bool> cancel{false};
    std::vector<std::uint64_t> reports;
    TLoadControl control;
    control.Cancel = &cancel;
    control.OnProgress = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, 0u);
        reports.push_back(done);
        cancel = cancel || done >= 64 * kReadChunkSize;
    };
    TStringBTree tree;
    TWordCode code{};
    EXPECT_THROW(
        LoadDictionary("/proc/self/pagemap", tree, code, kProgramMaxIterations, {}, control),
        TLoadCancelled);
    ASSERT_GE(reports.size(), 64u);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_GE(reports.back(), 64 * kReadChunkSize);
}

// The read shim linked into these tests makes reads of FAULTY_READ_PATH from
// offset FAULTY_READ_AT on wait for data that never comes, as /proc/kmsg's do
// (FAULTY_READ_WAIT: a blocking read waits that long and then fails). Such a
// file is refused as a non-file, naming its path, whether nothing or some
// bytes came first; nothing waits for good.
TEST(FileSourceTest, AFileWhoseReadsWaitIsRefusedNamingItsPath) {
    const TTemporaryFile file("waits.txt", "кот пёс дом котёнок");
    for (const int at : {0, 4, 100}) {
        SCOPED_TRACE("waiting from " + std::to_string(at));
        ::setenv("FAULTY_READ_PATH", file.Path().c_str(), 1);
        ::setenv("FAULTY_READ_AT", std::to_string(at).c_str(), 1);
        ::setenv("FAULTY_READ_WAIT", "30000", 1);
        TStringBTree tree;
        TWordCode code{};
        std::string error;
        try {
            LoadDictionary(file.Path(), tree, code, kProgramMaxIterations);
        } catch (const TOpenError& failure) {
            error = failure.what();
        }
        ::unsetenv("FAULTY_READ_PATH");
        ::unsetenv("FAULTY_READ_AT");
        ::unsetenv("FAULTY_READ_WAIT");
        // Past the end there is nothing to wait for: the file simply ends.
        EXPECT_EQ(error, at < 100 ? "Cannot open file " + file.Path() : "");
        EXPECT_EQ(tree.NodeCount(), 1u);
    }
}

TEST(DictionaryLoadTest, ReadErrorFromTheSystemEndsTheFile) {
    // Reading a process's memory at address 0 fails with EIO at once.
    TStringBTree tree;
    TWordCode code{};
    const TDictionary dictionary =
        LoadDictionary("/proc/self/mem", tree, code, kProgramMaxIterations);
    EXPECT_TRUE(dictionary.Entries == reference::Entries(""));
}
} // namespace
} // namespace verblinka
