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
    void Add(std::string_view word);

    std::size_t DistinctCount() const { return records_.size(); }

    // Appends the empty entry (count 0) and every word in byte order. poll is
    // called now and then (it may throw to stop). The counter is left empty.
    void ExportTo(TDictionaryEntries& list, const std::function<void()>& poll = {});

private:
    struct TRecord {
        const char* Bytes;
        std::uint32_t Length; // kLongWord: the real length precedes the bytes
        std::int32_t Count;
    };
    struct TSlot {
        std::uint32_t Hash;
        std::uint32_t Index; // record + 1; 0 for a free slot
    };
    static constexpr std::uint32_t kLongWord = std::numeric_limits<std::uint32_t>::max();

    static std::string_view WordOf(const TRecord& record);
    const char* Keep(std::string_view word);
    void Grow();
    void Release();

    std::vector<TSlot> slots_;
    std::vector<TRecord> records_;
    std::vector<std::unique_ptr<char[]>> blocks_; // the words' bytes
    char* free_ = nullptr;
    std::size_t left_ = 0;
    std::int32_t limit_;
    std::uint64_t seed_ = 0;
};

} // namespace verblinka
