#include "dictionary/WordCounter.h"

#include "engine/CheckedMath.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

namespace verblinka {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kFirstSlots = 1024;

std::uint64_t Load(const unsigned char* p, std::size_t n) {
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < n; ++k) {
        value |= static_cast<std::uint64_t>(p[k]) << (8 * k);
    }
    return value;
}

std::uint32_t HashOf(std::string_view word, std::uint64_t seed) {
    const auto* p = reinterpret_cast<const unsigned char*>(word.data());
    std::size_t n = word.size();
    std::uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15u);
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

// The first eight bytes of a word, most significant first, zeros past its
// end: since no word holds the byte 0, keys compare as the words' beginnings do.
std::uint64_t PrefixKey(std::string_view word) {
    std::uint64_t key = 0;
    const std::size_t n = std::min<std::size_t>(word.size(), 8);
    for (std::size_t k = 0; k < n; ++k) {
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[k])) << (56 - 8 * k);
    }
    return key;
}

} // namespace

TWordCounter::TWordCounter(std::int32_t limit)
    : slots_(kFirstSlots, TSlot{0, 0}), limit_(limit) {
    // A seed of the moment, so that no file can be made to collide on
    // purpose; the list never depends on it.
    seed_ = static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count()) ^
            reinterpret_cast<std::uintptr_t>(this);
}

std::string_view TWordCounter::WordOf(const TRecord& record) {
    if (record.Length != kLongWord) {
        return {record.Bytes, record.Length};
    }
    std::uint64_t length = 0;
    std::memcpy(&length, record.Bytes - sizeof length, sizeof length);
    return {record.Bytes, static_cast<std::size_t>(length)};
}

// A copy of word's bytes that lives as long as the counter; a long word's
// length goes just before them.
const char* TWordCounter::Keep(std::string_view word) {
    const bool isLong = word.size() >= kLongWord;
    const std::size_t need = word.size() + (isLong ? sizeof(std::uint64_t) : 0);
    if (need > left_) {
        const std::size_t size = std::max(need, kBlockBytes);
        blocks_.push_back(std::make_unique<char[]>(size)); // may throw: nothing changed yet
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
    std::vector<TSlot> grown(slots_.size() * 2, TSlot{0, 0});
    const std::size_t mask = grown.size() - 1;
    for (const TSlot& slot : slots_) {
        if (slot.Index != 0) {
            std::size_t at = slot.Hash & mask;
            while (grown[at].Index != 0) {
                at = (at + 1) & mask;
            }
            grown[at] = slot;
        }
    }
    slots_.swap(grown);
}

void TWordCounter::Add(std::string_view word) {
    const std::uint32_t hash = HashOf(word, seed_);
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const TSlot slot = slots_[at];
        if (slot.Index == 0) {
            break;
        }
        if (slot.Hash == hash) {
            TRecord& record = records_[slot.Index - 1];
            if (WordOf(record) == word) {
                record.Count = CheckedIncrement(record.Count, limit_);
                return;
            }
        }
    }
    // A new word: the list also holds the empty entry, and its size is a count.
    CheckedCount(records_.size() + 2);
    const auto length =
        word.size() >= kLongWord ? kLongWord : static_cast<std::uint32_t>(word.size());
    records_.push_back(TRecord{Keep(word), length, 1}); // the first occurrence, as the tree counts it
    slots_[at] = TSlot{hash, static_cast<std::uint32_t>(records_.size())};
    if (records_.size() * 2 > slots_.size()) {
        Grow(); // at most half full, so that probes stay short
    }
}

void TWordCounter::ExportTo(TDictionaryEntries& list, const std::function<void()>& poll) {
    std::vector<TSlot>().swap(slots_);
    struct TKey {
        std::uint64_t Prefix;
        std::size_t Index;
    };
    std::vector<TKey> keys(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) {
        keys[i] = {PrefixKey(WordOf(records_[i])), i};
    }
    if (poll) {
        poll();
    }
    std::sort(keys.begin(), keys.end(), [this](const TKey& a, const TKey& b) {
        if (a.Prefix != b.Prefix) {
            return a.Prefix < b.Prefix;
        }
        // Equal keys: both words are at least eight bytes long and begin alike.
        return CompareWords(WordOf(records_[a.Index]).substr(8),
                            WordOf(records_[b.Index]).substr(8)) < 0;
    });
    list.reserve(list.size() + keys.size() + 1);
    list.push_back({std::string(), 0});
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (poll && i % 65536 == 0) {
            poll();
        }
        const TRecord& record = records_[keys[i].Index];
        list.push_back({std::string(WordOf(record)), record.Count});
    }
    Release();
}

void TWordCounter::Release() {
    std::vector<TSlot>(kFirstSlots, TSlot{0, 0}).swap(slots_);
    std::vector<TRecord>().swap(records_);
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    free_ = nullptr;
    left_ = 0;
}

} // namespace verblinka
