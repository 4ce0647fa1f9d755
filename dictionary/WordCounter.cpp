#include "dictionary/WordCounter.h"

#include "engine/CheckedMath.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace verblinka {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kFirstSlots = 1024;
constexpr std::size_t kBatch = 16;

// Up to eight bytes, the first in the lowest place, zeros after them.
std::uint64_t Load(const unsigned char* p, std::size_t n) {
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < n; ++k) {
        value |= static_cast<std::uint64_t>(p[k]) << (8 * k);
    }
    return value;
}

const unsigned char* BytesOf(std::string_view word) {
    return reinterpret_cast<const unsigned char*>(word.data());
}

// A longer word's slot holds the address of its bytes in its eight bytes.
static_assert(sizeof(const char*) <= sizeof(std::uint64_t));
const char* AddressIn(std::uint64_t word) {
    const char* bytes = nullptr;
    std::memcpy(&bytes, &word, sizeof bytes);
    return bytes;
}
std::uint64_t AddressOf(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, &bytes, sizeof bytes);
    return word;
}

} // namespace

TWordCounter::TWordCounter(std::int32_t limit)
    : slots_(kFirstSlots, TSlot{0, 0, 0, 0}), limit_(limit) {
    // A seed of the moment, so that no file can be made to collide on
    // purpose; the list never depends on it.
    seed_ = static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count()) ^
            reinterpret_cast<std::uintptr_t>(this);
}

std::uint32_t TWordCounter::HashOf(std::string_view word) const {
    const unsigned char* p = BytesOf(word);
    std::size_t n = word.size();
    std::uint64_t h = seed_ ^ (n * 0x9E3779B97F4A7C15u);
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t chunk = 0;
        std::memcpy(&chunk, p, sizeof chunk);
        h = (h ^ chunk) * 0xFF51AFD7ED558CCDu;
        h ^= h >> 32;
    }
    h = (h ^ Load(p, n)) * 0xC4CEB9FE1A85EC53u;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h);
}

std::string_view TWordCounter::WordOf(const TSlot& slot) {
    if (slot.Length <= kInline) {
        return {reinterpret_cast<const char*>(&slot.Word), slot.Length};
    }
    const char* bytes = AddressIn(slot.Word);
    if (slot.Length != kLongWord) {
        return {bytes, slot.Length};
    }
    std::uint64_t length = 0;
    std::memcpy(&length, bytes - sizeof length, sizeof length);
    return {bytes, static_cast<std::size_t>(length)};
}

// A copy of a longer word's bytes that lives as long as the counter; a very
// long word's length goes just before them.
const char* TWordCounter::Keep(std::string_view word) {
    const bool isLong = word.size() >= kLongWord;
    const std::size_t need = word.size() + (isLong ? sizeof(std::uint64_t) : 0);
    if (need > left_) {
        const std::size_t size = std::max(need, kBlockBytes);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size)); // may throw: nothing changed
        free_ = blocks_.back().get();
        left_ = size;
    }
    char* bytes = free_;
    if (isLong) {
        const std::uint64_t length = word.size();
        std::memcpy(bytes, &length, sizeof length);
        bytes += sizeof length;
    }
    std::memcpy(bytes, word.data(), word.size());
    free_ += need;
    left_ -= need;
    return bytes;
}

void TWordCounter::Grow() {
    std::vector<TSlot> grown(slots_.size() * 2, TSlot{0, 0, 0, 0});
    const std::size_t mask = grown.size() - 1;
    for (const TSlot& slot : slots_) {
        if (slot.Count != 0) {
            std::size_t at = slot.Key & mask;
            while (grown[at].Count != 0) {
                at = (at + 1) & mask;
            }
            grown[at] = slot;
        }
    }
    slots_.swap(grown);
}

void TWordCounter::AddHashed(std::string_view word, std::uint32_t hash) {
    const std::size_t mask = slots_.size() - 1;
    const bool isInline = word.size() <= kInline;
    const std::uint32_t length =
        word.size() >= kLongWord ? kLongWord : static_cast<std::uint32_t>(word.size());
    std::uint64_t inlineWord = 0;
    if (isInline) {
        std::memcpy(&inlineWord, word.data(), word.size());
    }
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        TSlot& slot = slots_[at];
        if (slot.Count == 0) {
            break;
        }
        if (slot.Key == hash && slot.Length == length &&
            (isInline ? slot.Word == inlineWord : WordOf(slot) == word)) {
            slot.Count = CheckedIncrement(slot.Count, limit_);
            return;
        }
    }
    // A new word: the list also holds the empty entry, and its size is a count.
    CheckedCount(distinct_ + 2);
    const std::uint64_t stored =
        isInline ? inlineWord : AddressOf(Keep(word));
    slots_[at] = TSlot{stored, hash, length, 1}; // the first occurrence, as the tree counts it
    ++distinct_;
    if (distinct_ * 2 > slots_.size()) {
        Grow(); // at most half full, so that probes stay short
    }
}

void TWordCounter::AddMany(std::span<const std::string_view> words) {
    std::uint32_t hashes[kBatch];
    while (!words.empty()) {
        const std::size_t n = std::min(words.size(), kBatch);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = 0; k < n; ++k) {
            hashes[k] = HashOf(words[k]);
            __builtin_prefetch(&slots_[hashes[k] & mask]);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const TSlot& slot = slots_[hashes[k] & mask];
            if (slot.Count != 0 && slot.Key == hashes[k] && slot.Length > kInline) {
                __builtin_prefetch(AddressIn(slot.Word));
            }
        }
        for (std::size_t k = 0; k < n; ++k) {
            AddHashed(words[k], hashes[k]);
        }
        words = words.subspan(n);
    }
}

void TWordCounter::ExportTo(TDictionaryEntries& list, const std::function<void()>& poll) {
    // The words to the front of the table, each with its first eight bytes,
    // most significant first, as the key: since no word holds the byte 0,
    // keys compare as the words' beginnings do.
    std::size_t count = 0;
    for (TSlot& slot : slots_) {
        if (slot.Count != 0) {
            const std::string_view word = WordOf(slot);
            std::uint64_t key = 0;
            for (std::size_t k = 0; k < std::min(word.size(), kInline); ++k) {
                key |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[k])) << (56 - 8 * k);
            }
            slot.Key = key;
            slots_[count++] = slot;
        }
    }
    if (poll) {
        poll();
    }
    std::sort(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(count),
              [](const TSlot& a, const TSlot& b) {
                  if (a.Key != b.Key) {
                      return a.Key < b.Key;
                  }
                  // Equal keys: both words are at least eight bytes long and begin alike.
                  return CompareWords(WordOf(a).substr(kInline), WordOf(b).substr(kInline)) < 0;
              });
    list.reserve(list.size() + count + 1);
    list.push_back({std::string(), 0});
    for (std::size_t i = 0; i < count; ++i) {
        if (poll && i % 65536 == 0) {
            poll();
        }
        list.push_back({std::string(WordOf(slots_[i])), slots_[i].Count});
    }
    Release();
}

void TWordCounter::Release() {
    std::vector<TSlot>(kFirstSlots, TSlot{0, 0, 0, 0}).swap(slots_);
    distinct_ = 0;
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    free_ = nullptr;
    left_ = 0;
}

} // namespace verblinka
