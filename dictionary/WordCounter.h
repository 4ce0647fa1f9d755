// TWordCounter: counts words by hashing and sorts them once at the end. It
// builds exactly the list TStringBTree's export gives for the same words
// (the empty entry first, then every word once in byte order with its
// count) without walking a tree: one probe of a hash table per word instead
// of a pointer chase per level, and one sort of the distinct words.
#pragma once

#include "dictionary/BTree.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace verblinka {

class TWordCounter {
public:
    // limit: the largest count a word may reach, as TStringBTree's.
    explicit TWordCounter(std::int32_t limit = std::numeric_limits<std::int32_t>::max());
    TWordCounter(const TWordCounter&) = delete;
    TWordCounter& operator=(const TWordCounter&) = delete;

    // Counts one occurrence of word (not empty); throws OverflowError when its
    // count would pass the limit or the distinct words no longer fit a count.
    void Add(std::string_view word) { AddHashed(word, HashOf(word)); }

    // Counts several words in order, as Add one by one, fetching their
    // places in the table ahead so that the memory waits overlap.
    void AddMany(std::span<const std::string_view> words);

    std::size_t DistinctCount() const { return distinct_; }

    // Appends the empty entry (count 0) and every word in byte order. poll is
    // called now and then (it may throw to stop). The counter is left empty.
    void ExportTo(TDictionaryEntries& list, const std::function<void()>& poll = {});

private:
    // One distinct word, in the table itself: a word of up to eight bytes is
    // held in Word, a longer one is pointed to (its bytes live in blocks_).
    struct TSlot {
        std::uint64_t Word;
        std::uint64_t Key;    // the hash while counting, the sort key at the end
        std::uint32_t Length; // kLongWord: the real length precedes the bytes
        std::int32_t Count;   // 0: a free slot
    };
    static constexpr std::uint32_t kLongWord = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::size_t kInline = sizeof(std::uint64_t);

    std::uint32_t HashOf(std::string_view word) const;
    void AddHashed(std::string_view word, std::uint32_t hash);
    static std::string_view WordOf(const TSlot& slot);
    const char* Keep(std::string_view word);
    void Grow();
    void Release();

    std::vector<TSlot> slots_;
    std::size_t distinct_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_; // the bytes of the longer words
    char* free_ = nullptr;
    std::size_t left_ = 0;
    std::int32_t limit_;
    std::uint64_t seed_ = 0;
};

} // namespace verblinka
