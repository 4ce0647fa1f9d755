// Failures, overflows and hostile input: every load either completes with the
// words a plain reading of the file gives, or fails with a clear error and
// leaves the tree and code buffer fit for the next load.
#include "dictionary/DictionaryLoad.h"
#include "engine/CheckedMath.h"
#include "reference/FaultySource.h"
#include "reference/ReferenceModel.h"
#include "reference/Unprivileged.h"
#include "reference/Utf8Text.h"
#include "search/Messages.h"
#include "search/Search.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <new>
#include <random>
#include <string>

namespace verblinka {
namespace {

using reference::AppendUtf8;

using test_support::TFaultySource;
namespace fs = std::filesystem;

TDictionary Build(const std::string& bytes, const TFaultySource::TFaults& faults,
                  TStringBTree& tree, const TAllocationProbe& probe = {}) {
    TDictionaryFile file(std::make_unique<TFaultySource>(bytes, faults));
    TWordCode code{};
    return BuildDictionary(file, tree, code, kProgramMaxIterations, probe);
}

TDictionary Build(const std::string& bytes, const TFaultySource::TFaults& faults = {}) {
    TStringBTree tree;
    return Build(bytes, faults, tree);
}

// The dictionary must be what the plain reading of bytesRead gives.
void ExpectLoadedAsReference(const TDictionary& dictionary, const std::string& bytesRead,
                             TTextEncoding encoding) {
    EXPECT_EQ(reference::CheckLoaded(dictionary.Entries, dictionary.Network, bytesRead, encoding),
              "");
}

// A load with the tree that earlier loads used still gives the right result.
void ExpectTreeStillServes(TStringBTree& tree) {
    const TDictionary after = Build("кот пёс кот", {}, tree);
    EXPECT_TRUE(after.Entries == reference::Entries(reference::FileTo1251("кот пёс кот")));
    EXPECT_EQ(tree.NodeCount(), 1u) << "a finished load leaves the tree empty";
}

class TTempDir {
public:
    TTempDir() {
        std::string pattern = (fs::temp_directory_path() / "verblinka-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
        fs::permissions(path_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    ~TTempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path Write(const std::string& name, const std::string& bytes) const {
        fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

TEST(LoadFailureTest, FilesThatCannotBeOpenedNameTheirFullPath) {
    TTempDir dir;
    const fs::path missing = dir.Path() / "missing.txt";
    const fs::path unreadable = dir.Write("locked.txt", "кот");
    fs::permissions(unreadable, fs::perms::none);
    TStringBTree tree;
    TWordCode code{};
    const auto expectOpenError = [&](const fs::path& path) {
        try {
            LoadDictionary(path.string(), tree, code, kProgramMaxIterations);
            ADD_FAILURE() << path << " loaded";
        } catch (const TOpenError& error) {
            EXPECT_EQ(WithFullStop(error.what()), "Cannot open file " + path.string() + ".");
        }
        ExpectTreeStillServes(tree);
    };
    expectOpenError(missing);
    expectOpenError(dir.Path());
    expectOpenError(dir.Path() / "missing" / "");
    {
        test_support::TUnprivilegedScope unprivileged;
        if (!unprivileged.Unprivileged()) {
            GTEST_SKIP() << "running as root and cannot act as another user: "
                            "file permissions do not apply";
        }
        expectOpenError(unreadable);
    }
}

TEST(LoadFailureTest, FileThatCannotBeReadAgainFailsTheLoad) {
    TStringBTree tree;
    EXPECT_THROW(Build("кот", {.CannotRewind = true}, tree), std::runtime_error);
    ExpectTreeStillServes(tree);
}

TEST(LoadFailureTest, RunningOutOfMemoryFailsTheLoadAndGivesTheWordsBack) {
    for (const TLoadAllocation where : {TLoadAllocation::Entries, TLoadAllocation::Weights}) {
        TStringBTree tree;
        std::vector<std::size_t> seen;
        const auto probe = [&](TLoadAllocation what, std::size_t entries) {
            seen.push_back(entries);
            if (what == where) {
                throw std::bad_alloc();
            }
        };
        EXPECT_THROW(Build("кот пёс кот ёж", {}, tree, probe), std::bad_alloc);
        EXPECT_EQ(seen.back(), 4u) << "the probe is told the number of entries";
        EXPECT_EQ(tree.NodeCount(), 1u);
        ExpectTreeStillServes(tree);
    }
}

TEST(OverflowTest, OccurrenceCountPastItsLimitFailsTheLoad) {
    TStringBTree tree;
    tree.SetOccurrenceLimit(3);
    const TDictionary atLimit = Build("кот КОТ Кот пёс", {}, tree);
    EXPECT_EQ(atLimit.Entries[1].Occurrences, 3);
    try {
        Build("пёс кот КОТ Кот кот", {}, tree);
        ADD_FAILURE() << "a fourth occurrence was counted";
    } catch (const TOverflowError& error) {
        EXPECT_EQ(WithFullStop(error.what()), "Integer overflow.");
    }
    EXPECT_EQ(tree.NodeCount(), 1u);
    EXPECT_THROW(Build("ёж ёж ёж ёж", {}, tree), TOverflowError) << "Clear keeps the limit";
}

TEST(OverflowTest, CountsFailAtTheLimitsOfTheirTypes) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(CheckedIncrement(kMax - 1), kMax);
    EXPECT_THROW(CheckedIncrement(kMax), TOverflowError);
    EXPECT_THROW(CheckedAdd(kMax, 1), TOverflowError);
    EXPECT_THROW(CheckedSub(std::numeric_limits<std::int32_t>::min(), 1), TOverflowError);
    EXPECT_EQ(CheckedCount(std::size_t{kMax}), kMax);
    EXPECT_THROW(CheckedCount(std::size_t{kMax} + 1), TOverflowError);
    EXPECT_THROW(CheckedMul(std::numeric_limits<std::size_t>::max() / 2 + 1, std::size_t{2}),
                 TOverflowError);
    THammingNet net;
    net.SetInputCount(kWordCodeLength);
    EXPECT_THROW(net.SetPatternCount(-1), std::length_error);
}

// A query of 2^31 bytes: its length does not fit the search's 32-bit counts.
// The pages are reserved, not filled, so this costs no real memory.
TEST(OverflowTest, QueryLongerThanACountCanHoldFailsTheSearch) {
    const std::size_t length = std::size_t{1} << 31;
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    // cppcheck-suppress invalidFunctionArg ; an anonymous mapping takes no file
    void* pages = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (pages == MAP_FAILED) {
        GTEST_SKIP() << "cannot reserve 2 GiB of address space here";
    }
    static_cast<char*>(pages)[0] = 'K';
    const std::string_view query(static_cast<const char*>(pages), length);
    TDictionary dictionary = Build("KOT DOM");
    TWordCode code{};
    const TSearchOutcome outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    EXPECT_EQ(outcome.Status, TSearchStatus::Failed);
    EXPECT_EQ(outcome.Message(), kMessageSearchFailed);
    EXPECT_THROW(WordDistance(query, "K"), TOverflowError);
    ::munmap(pages, length);
}

std::string RandomBytes(std::mt19937& random, std::size_t size, std::string_view alphabet = {}) {
    std::string bytes(size, '\0');
    std::uniform_int_distribution<int> pick(
        0, alphabet.empty() ? 255 : static_cast<int>(alphabet.size()) - 1);
    for (char& c : bytes) {
        const int i = pick(random);
        c = alphabet.empty() ? static_cast<char>(i) : alphabet[static_cast<std::size_t>(i)];
    }
    return bytes;
}

TEST(HostileInputTest, RandomFilesLoadAsAPlainReadingGivesThem) {
    std::mt19937 random(20261208);
    // Raw bytes, and bytes that make many short words with every byte value.
    std::string letters = " ,.-\n";
    for (int b = 0; b < 256; b += 7) {
        letters.push_back(static_cast<char>(b));
    }
    for (int round = 0; round < 3; ++round) {
        const std::string raw = RandomBytes(random, 200'000);
        ExpectLoadedAsReference(Build(raw, {.Piece = 4093}), raw, reference::EncodingOf(raw));
        const std::string wordy = RandomBytes(random, 200'000, letters);
        ExpectLoadedAsReference(Build(wordy), wordy, reference::EncodingOf(wordy));
    }
    // UTF-8 text longer than the reader's buffer, so that sequences straddle
    // its refills; then the same with broken sequences after a byte-order mark.
    std::vector<char32_t> characters = {
        U'а',      U'Я',      U'ё', U'Ё',      U'z',          U' ',      U'.',      U'\n',
        U'\u2003', U'\u3000', U'€', U'\u0098', U'\U0001F600', U'\uFEFF', U'\u00B5', U'ґ'};
    // Every Unicode space that becomes a blank, its neighbours, and the
    // controls kept in words.
    for (const char32_t space :
         {0x85, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
          0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
        characters.insert(characters.end(), {space - 1, space, space + 1});
    }
    characters.insert(characters.end(), {U'\x01', U'\t', U'\x1A', U'\x1B', U'\x7F', U'\u00A0'});
    std::uniform_int_distribution<std::size_t> pick(0, characters.size() - 1);
    std::string text;
    while (text.size() < 300'000) {
        AppendUtf8(text, characters[pick(random)]);
    }
    ExpectLoadedAsReference(Build(text, {.Piece = 65'537}), text, TTextEncoding::Utf8);
    std::string broken = "\xEF\xBB\xBF" + text;
    for (std::size_t at = 1000; at < broken.size(); at += 7919) {
        broken[at] = "\x80\xC0\xE0\xF4\xED\xFF"[at % 6];
    }
    ASSERT_TRUE(reference::ReadsAsUtf8(broken));
    ExpectLoadedAsReference(Build(broken), broken, TTextEncoding::Utf8);
}

TEST(HostileInputTest, AWordOfSeveralMegabytes) {
    const std::string word(8 << 20, '\xE6'); // «ж»
    TDictionary dictionary = Build(word);
    ASSERT_EQ(dictionary.Entries.size(), 2u);
    EXPECT_EQ(dictionary.Entries[1].Word, std::string(8 << 20, '\xC6'));
    TWordCode code{};
    const TSearchOutcome outcome =
        SearchWord("\xC6\xC6\xC6", dictionary.Entries, dictionary.Network, code, true);
    EXPECT_EQ(outcome.BestRow, 1);
    EXPECT_EQ(outcome.BestDistance, (8 << 20) - 3);
}

std::string CheckedSearch(std::string_view query, TDictionary& dictionary) {
    TWordCode code{};
    // Steps keep every variant: only for short queries.
    const TSearchOutcome outcome =
        SearchWord(query, dictionary.Entries, dictionary.Network, code, query.size() < 1000);
    THammingNet plain = dictionary.Network;
    plain.SetPath(TCompetitionPath::Literal);
    return reference::CheckSearch(query, dictionary.Entries, outcome,
                                  [&](const TWordCode& c) { return plain.Recognize(c); });
}

TEST(HostileInputTest, WordsOf100000Bytes) {
    std::string file;
    for (char last = 'A'; last <= 'T'; ++last) {
        file += std::string(99'999, 'W') + last + "\n";
    }
    TDictionary dictionary = Build(file);
    ASSERT_EQ(dictionary.Entries.size(), 21u);
    EXPECT_EQ(dictionary.Entries[20].Word, std::string(99'999, 'W') + 'T');
    EXPECT_EQ(CheckedSearch("WWWWWWWWWWWWWWWWWWWWWQ", dictionary), "");
}

TEST(HostileInputTest, QueryOf30000Characters) {
    TDictionary dictionary = Build("кот пёс дом перепелка котёнок");
    std::mt19937 random(7);
    const std::string query = RandomBytes(random, 30'000, "\xEA\xEE\xF2 \xE4\xEE\xEC\xC0");
    EXPECT_EQ(CheckedSearch(query, dictionary), "");
}

TEST(HostileInputTest, BytesZeroAnd0x98) {
    // 0x00 ends a word; 0x98, which Windows-1251 leaves unassigned, is part of one.
    TDictionary dictionary = Build(std::string("ab\0cd\x98"
                                               "ef\x98\0\0\x98",
                                               12));
    ASSERT_EQ(dictionary.Entries.size(), 4u);
    EXPECT_EQ(dictionary.Entries[1].Word, "AB");
    EXPECT_EQ(dictionary.Entries[2].Word, "CD\x98"
                                          "EF\x98");
    EXPECT_EQ(dictionary.Entries[3].Word, "\x98");
    // In UTF-8, U+0098 comes back as the same byte.
    EXPECT_TRUE(Build("cd\u0098ef ёж").Entries[1].Word == "CD\x98"
                                                          "EF");
    for (const std::string& query :
         {std::string("CD\x98"
                      "EF\x98"),
          std::string("C\0D", 3), std::string("\0\0x", 3), std::string("\x98")}) {
        EXPECT_EQ(CheckedSearch(query, dictionary), "");
    }
    TWordCode code{};
    EXPECT_EQ(SearchWord("CD\x98"
                         "EF\x98",
                         dictionary.Entries, dictionary.Network, code)
                  .BestRow,
              2);
}

// Runs body on a thread with a stack far smaller than a recursion as deep as
// the tree would need.
void OnSmallStack(const std::function<void()>& body) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, std::size_t{512} * 1024), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(HostileInputTest, SortedFilesLoadWithoutDeepRecursion) {
    constexpr int kWords = 20'000;
    std::string ascending;
    std::string descending;
    for (int i = 0; i < kWords; ++i) {
        char word[16];
        std::snprintf(word, sizeof word, "W%06d\n", i);
        ascending += word;
        std::snprintf(word, sizeof word, "W%06d\n", kWords - 1 - i);
        descending += word;
    }
    for (const std::string* file : {&ascending, &descending}) {
        std::size_t entries = 0;
        bool ordered = false;
        OnSmallStack([&] {
            TStringBTree tree;
            const TDictionary dictionary = Build(*file, {}, tree);
            entries = dictionary.Entries.size();
            ordered = std::is_sorted(dictionary.Entries.begin(), dictionary.Entries.end(),
                                     [](const TDictionaryEntry& a, const TDictionaryEntry& b) {
                                         return a.Word < b.Word;
                                     });
        });
        EXPECT_EQ(entries, std::size_t{kWords} + 1);
        EXPECT_TRUE(ordered);
    }
}

} // namespace
} // namespace verblinka
