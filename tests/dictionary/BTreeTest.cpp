// The word tree: the order and counts it exports, its shape, and indexed
// insertion, which must build the very tree the literal walk builds: the
// same nodes, with the same keys and counts, in the same places.
#include "reference/TestSupport.h"
#include "reference/WordLists.h"

#include "dictionary/BTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace verblinka {
namespace {

using test_support::WordsIn;
using TWords = std::vector<std::string>;

// Walks both trees side by side (without recursion) and reports the first
// place where they differ, or an empty string.
std::string ShapeDifference(const TStringBTree& a, const TStringBTree& b) {
    std::vector<std::pair<const TStringBTreeNode*, const TStringBTreeNode*>> pending = {
        {&a.Root(), &b.Root()}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        if ((x == nullptr) != (y == nullptr)) {
            return "a child exists in one tree only";
        }
        if (x == nullptr) {
            continue;
        }
        if (x->Key != y->Key || x->Occurrences != y->Occurrences) {
            return "node " + x->Key + " vs " + y->Key;
        }
        pending.emplace_back(x->Lesser, y->Lesser);
        pending.emplace_back(x->Greater, y->Greater);
    }
    return {};
}

void ExpectSameTree(const TWords& words, const std::string& what, bool expectIndex = false) {
    TStringBTree indexed(TTreeInsertion::Indexed);
    TStringBTree walked(TTreeInsertion::Walk);
    for (const std::string& word : words) {
        indexed.Add(word);
        walked.Add(word);
    }
    EXPECT_EQ(ShapeDifference(indexed, walked), "") << what;
    if (expectIndex) {
        EXPECT_TRUE(indexed.HasIndex()) << what;
    }
    EXPECT_EQ(indexed.NodeCount(), walked.NodeCount()) << what;
    TDictionaryEntries fromIndexed, fromWalked;
    indexed.ExportTo(fromIndexed);
    walked.ExportTo(fromWalked);
    EXPECT_EQ(fromIndexed, fromWalked) << what;
}

// Short words over a few Windows-1251 letters, Ё (0xA8) among them, so that
// repeats, prefixes and near neighbours are common.
TWords RandomWords(std::size_t count, std::mt19937& random) {
    static const std::string kLetters = "\xC0\xC5\xA8\xC6\xCA";
    return test_support::RandomWords(random, count, 0, 5, kLetters);
}

// Alphabetical Russian order: Ё counts as Е, then by bytes.
bool Alphabetically(const std::string& a, const std::string& b) {
    auto key = [](std::string s) {
        std::replace(s.begin(), s.end(), '\xA8', '\xC5');
        return s;
    };
    const std::string ka = key(a), kb = key(b);
    return ka != kb ? ka < kb : a < b;
}

TEST(TreeInsertionTest, IndexedBuildsTheWalkedTreeForEveryOrder) {
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        TWords words = RandomWords(400, random);
        ExpectSameTree(words, "random order with repeats");
        std::sort(words.begin(), words.end());
        ExpectSameTree(words, "ascending");
        std::reverse(words.begin(), words.end());
        ExpectSameTree(words, "descending");
        std::sort(words.begin(), words.end(), Alphabetically);
        ExpectSameTree(words, "alphabetical");
        // Sorted runs that restart, and sorted order broken by a few swaps.
        std::sort(words.begin(), words.begin() + 200);
        std::sort(words.begin() + 200, words.end());
        ExpectSameTree(words, "two sorted runs");
        for (int swap = 0; swap < 10; ++swap) {
            std::swap(words[random() % words.size()], words[random() % words.size()]);
        }
        ExpectSameTree(words, "nearly sorted");
    }
    // Zigzag: alternately the smallest and the largest remaining word.
    TWords distinct = RandomWords(300, random);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    TWords zigzag;
    for (std::size_t lo = 0, hi = distinct.size(); lo < hi;) {
        zigzag.push_back(distinct[lo++]);
        if (lo < hi) {
            zigzag.push_back(distinct[--hi]);
        }
    }
    ExpectSameTree(zigzag, "zigzag");
}

// Long sorted chains make walks deep: past a depth the ordered index takes
// over, and everything added after that must still land where the walk puts it.
TEST(TreeInsertionTest, DeepChainsSwitchToTheIndexWithTheSameShape) {
    std::mt19937 random(8);
    TWords words = RandomWords(6000, random);
    std::sort(words.begin(), words.end(), Alphabetically);
    words.erase(std::unique(words.begin(), words.end()), words.end());
    ASSERT_GT(words.size(), 1000u);
    TWords sequence = words; // alphabetical: the Ё words go deep down the chain
    TWords more = RandomWords(3000, random);
    sequence.insert(sequence.end(), more.begin(), more.end());
    std::sort(more.begin(), more.end());
    sequence.insert(sequence.end(), more.rbegin(), more.rend());
    sequence.insert(sequence.end(), words.begin(), words.end());
    ExpectSameTree(sequence, "alphabetical, then random, descending, repeats", true);

    TWords twoRuns = words;
    std::sort(twoRuns.begin(), twoRuns.end());
    TWords odd, even;
    for (std::size_t i = 0; i < twoRuns.size(); ++i) {
        (i % 2 == 0 ? even : odd).push_back(twoRuns[i]);
    }
    even.insert(even.end(), odd.begin(), odd.end());
    ExpectSameTree(even, "every other word ascending, then the rest", true);
}

TEST(TreeInsertionTest, EveryOrderOfSixWords) {
    TWords words = {"\xCA", "\xCA\xCE\xD2", "\xA8\xC6", "\xC0", "\xCA\xCE", "\xD2"};
    std::sort(words.begin(), words.end());
    do {
        TWords withRepeats = words;
        withRepeats.push_back(words[2]);
        withRepeats.emplace_back();
        ExpectSameTree(withRepeats, "permutation");
    } while (std::next_permutation(words.begin(), words.end()));
}

TEST(TreeInsertionTest, ClearStartsTheIndexAfresh) {
    TStringBTree tree;
    for (const char* word : {"\xCA\xCE\xD2", "\xCF\xA8\xD1", "\xCA\xCE\xD2"}) {
        tree.Add(word);
    }
    tree.Clear();
    tree.Add("\xC4\xCE\xCC");
    tree.Add("\xC4\xCE\xCC");
    tree.Add("\xC0");
    TDictionaryEntries entries;
    tree.ExportTo(entries);
    EXPECT_EQ(entries, (TDictionaryEntries{{"", 0}, {"\xC0", 1}, {"\xC4\xCE\xCC", 2}}));
    EXPECT_EQ(tree.Root().Greater->Key, "\xC4\xCE\xCC");
    EXPECT_EQ(tree.Root().Greater->Lesser->Key, "\xC0");
}

TEST(WordTreeTest, ExportsTheEmptyRootFirstThenWordsInByteOrderWithCounts) {
    TStringBTree tree;
    TDictionaryEntries fresh;
    tree.ExportTo(fresh);
    EXPECT_EQ(fresh, (TDictionaryEntries{{"", 0}}));

    tree.Add("\xCA\xCE\xD2"); // КОТ
    tree.Add("\xCF\xA8\xD1"); // ПЁС
    tree.Add("\xCA\xCE\xD2");
    tree.Add("");
    TDictionaryEntries entries;
    tree.ExportTo(entries);
    EXPECT_EQ(entries, (TDictionaryEntries{{"", 1}, {"\xCA\xCE\xD2", 2}, {"\xCF\xA8\xD1", 1}}));
    EXPECT_EQ(tree.Root().Lesser, nullptr);

    tree.Clear();
    TDictionaryEntries cleared;
    tree.ExportTo(cleared);
    EXPECT_EQ(cleared, fresh);
}

TEST(WordTreeTest, BytesCompareUnsignedAndPrefixesFirst) {
    TStringBTree tree;
    for (const char* word : {"\xC0", "\xA8", "Z", "9", "\xCA\xCE\xD2\xDB", "\xCA\xCE\xD2", "A"}) {
        tree.Add(word);
    }
    TDictionaryEntries entries;
    tree.ExportTo(entries);
    EXPECT_EQ(WordsIn(entries),
              (TWords{"", "9", "A", "Z", "\xA8", "\xC0", "\xCA\xCE\xD2", "\xCA\xCE\xD2\xDB"}));
}

TEST(WordTreeTest, SortedInputBuildsAChainThatExportsAndReleasesWithoutRecursion) {
    std::vector<std::string> words;
    for (int i = 0; i < 30000; ++i) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "W%07d", i);
        words.emplace_back(buffer);
    }
    for (const bool descending : {false, true}) {
        auto tree = std::make_unique<TStringBTree>();
        if (descending) {
            for (auto it = words.rbegin(); it != words.rend(); ++it) {
                tree->Add(*it);
            }
        } else {
            for (const auto& word : words) {
                tree->Add(word);
            }
        }
        TDictionaryEntries entries;
        tree->ExportTo(entries);
        ASSERT_EQ(entries.size(), words.size() + 1);
        EXPECT_TRUE(std::equal(words.begin(), words.end(), entries.begin() + 1,
                               [](const std::string& w, const TDictionaryEntry& e) {
                                   return w == e.Word && e.Occurrences == 1;
                               }));
        tree.reset(); // a deep chain must not overflow the stack on release
    }
}

} // namespace
} // namespace verblinka
