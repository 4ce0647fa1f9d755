#include "dictionary/DictionaryLoad.h"

#include "dictionary/WordCounter.h"
#include "engine/CheckedMath.h"
#include "text/CodePage1251.h"

#include <algorithm>

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace verblinka {
namespace {

// A load reads its file twice: the pass that decides the encoding, then the
// load itself. Its progress is told in bytes of the file out of its size: the
// first pass counts for half the bytes it looked at, the load for the rest in
// proportion to what it has read, so the figure only grows and ends at the
// size. Without a size the bytes of both passes are counted.
std::uint64_t LoadProgress(std::uint64_t examined, std::uint64_t read, std::uint64_t total) {
    if (total == 0) {
        return examined + read;
    }
    const std::uint64_t first = std::min(examined, total) / 2;
    // A file that grew while it was read may pass its size.
    const std::uint64_t rest = static_cast<std::uint64_t>(
        static_cast<long double>(std::min(read, total)) * static_cast<long double>(total - first) /
        static_cast<long double>(total));
    return first + rest;
}

// Reports progress and stops the load when asked to.
class TLoadMonitor {
public:
    explicit TLoadMonitor(const TLoadControl& control) : control_(control) {}

    void CheckCancel() const {
        if (control_.Cancel != nullptr && control_.Cancel->load(std::memory_order_relaxed)) {
            throw TLoadCancelled();
        }
    }

    // During the pass that decides the encoding.
    void Detecting(std::uint64_t examined, std::uint64_t size) const {
        CheckCancel();
        if (control_.OnProgress) {
            control_.OnProgress(LoadProgress(examined, 0, size), size);
        }
    }

    // After each read: cheap unless the reader has moved on.
    void Poll(const TDictionaryFile& file) {
        if (file.BytesRead() == read_ && read_ != 0) {
            return;
        }
        CheckCancel();
        read_ = file.BytesRead();
        if (control_.OnProgress) {
            control_.OnProgress(LoadProgress(file.ExaminedBytes(), read_, file.TotalBytes()),
                                file.TotalBytes());
        }
    }

private:
    const TLoadControl& control_;
    std::uint64_t read_ = 0;
};

// The masks of a word's code (CodeWord's) straight from its bytes: the
// first 8 bits per character (up to 20) are non-zero, and negative where the
// upper-cased byte's bit is clear.
constexpr std::size_t kCodeWords = (kWordCodeLength + 63) / 64;
void CodeMasks(std::string_view word, std::array<std::uint64_t, 2 * kCodeWords>& masks) {
    std::array<std::uint64_t, kCodeWords> bytes{};
    const std::size_t n = std::min<std::size_t>(word.size(), kCodedCharacters);
    for (std::size_t k = 0; k < n; ++k) {
        bytes[k / 8] |=
            static_cast<std::uint64_t>(UpperCase1251(static_cast<std::uint8_t>(word[k])))
            << (8 * (k % 8));
    }
    for (std::size_t w = 0; w < kCodeWords; ++w) {
        const std::size_t bits = std::min<std::size_t>(8 * n - std::min(8 * n, 64 * w), 64);
        const std::uint64_t nonZero =
            bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        masks[w] = nonZero;
        masks[kCodeWords + w] = ~bytes[w] & nonZero;
    }
}

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code,
                  const TLoadMonitor* monitor, bool literal) {
    network.SetPatternCount(CheckedCount(entries.size()));
    std::array<std::uint64_t, 2 * kCodeWords> masks{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (monitor != nullptr && i % 65536 == 0) {
            monitor->CheckCancel();
        }
        if (literal) {
            CodeWord(entries[i].Word, code);
            network.StorePattern(code, static_cast<std::int32_t>(i));
        } else {
            CodeMasks(entries[i].Word, masks);
            network.StorePatternMasks(masks, static_cast<std::int32_t>(i));
        }
    }
    if (!literal && !entries.empty()) {
        CodeWord(entries.back().Word, code); // the buffer as the literal route leaves it
    }
}

// The network of the entries: the second large allocation of a load.
void BuildNetwork(TDictionary& dictionary, TWordCode& code, std::int32_t maxIterations,
                  const TAllocationProbe& probe, const TLoadMonitor& monitor, bool literal) {
    dictionary.Network.SetMaxIterations(maxIterations);
    dictionary.Network.SetInputCount(kWordCodeLength);
    if (probe) {
        probe(TLoadAllocation::Weights, dictionary.Entries.size());
    }
    StoreEntries(dictionary.Entries, dictionary.Network, code, &monitor, literal);
}

// Each byte as a word sees it: a delimiter becomes 0 (itself a delimiter, and
// never part of a word), every other byte its capital.
const std::array<std::uint8_t, 256>& FoldTable() {
    static const auto kTable = [] {
        std::array<std::uint8_t, 256> fold{};
        for (std::size_t b = 0; b < fold.size(); ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            fold[b] = IsDelimiter(byte) ? 0 : UpperCase1251(byte);
        }
        return fold;
    }();
    return kTable;
}

// Splits the file into words a block at a time, as GetWord does byte by
// byte, and counts them upper-cased.
void CountWords(TDictionaryFile& file, TWordCounter& counter, TLoadMonitor& monitor) {
    const auto& fold = FoldTable();
    std::string pending;                 // a word that runs on past the end of a block
    std::vector<std::string_view> words; // the words of one block, counted together
    for (;;) {
        const std::span<std::uint8_t> block = file.ReadBlock();
        monitor.Poll(file);
        if (block.empty()) {
            break;
        }
        std::uint8_t* const p = block.data();
        const std::size_t n = block.size();
        std::size_t i = 0;
        if (!pending.empty()) {
            while (i < n && (p[i] = fold[p[i]]) != 0) {
                ++i;
            }
            pending.append(reinterpret_cast<const char*>(p), i);
            if (i == n) {
                continue;
            }
            counter.Add(pending);
            pending.clear();
        }
        words.clear();
        for (;;) {
            while (i < n && (p[i] = fold[p[i]]) == 0) {
                ++i;
            }
            if (i == n) {
                break;
            }
            const std::size_t start = i;
            while (i < n && (p[i] = fold[p[i]]) != 0) {
                ++i;
            }
            const std::string_view word(reinterpret_cast<const char*>(p) + start, i - start);
            if (i == n) {
                pending.assign(word); // it may go on in the next block
                break;
            }
            words.push_back(word);
        }
        counter.AddMany(words);
    }
    if (!pending.empty()) {
        counter.Add(pending);
    }
}

TDictionary BuildByCounting(TDictionaryFile& file, std::int32_t occurrenceLimit, TWordCode& code,
                            std::int32_t maxIterations, const TAllocationProbe& probe,
                            const TLoadControl& control) {
    TLoadMonitor monitor(control);
    TDictionary dictionary;
    {
        TWordCounter counter(occurrenceLimit);
        CountWords(file, counter, monitor);
        if (probe) {
            probe(TLoadAllocation::Entries, counter.DistinctCount() + 1);
        }
        counter.ExportTo(dictionary.Entries, [&monitor] { monitor.CheckCancel(); });
    }
    BuildNetwork(dictionary, code, maxIterations, probe, monitor, false);
    return dictionary;
}

TDictionary BuildFromTree(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                          std::int32_t maxIterations, const TAllocationProbe& probe,
                          const TLoadControl& control) {
    TLoadMonitor monitor(control);
    std::string word;
    for (;;) {
        GetWord(&file, word);
        monitor.Poll(file);
        if (word.empty()) {
            break;
        }
        tree.Add(UpperCase1251(word));
    }
    TDictionary dictionary;
    if (probe) {
        probe(TLoadAllocation::Entries, tree.NodeCount());
    }
    tree.ExportTo(dictionary.Entries);
    tree.Clear(); // nothing reads the tree after the export: give its memory back for the network
    BuildNetwork(dictionary, code, maxIterations, probe, monitor, true);
    return dictionary;
}

} // namespace

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code) {
    StoreEntries(entries, network, code, nullptr, false);
}

TDictionary BuildDictionary(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                            std::int32_t maxIterations, const TAllocationProbe& probe,
                            const TLoadControl& control) {
    tree.Clear();
    try {
        return BuildByCounting(file, tree.OccurrenceLimit(), code, maxIterations, probe, control);
    } catch (...) {
        tree.Clear();
        throw;
    }
}

TDictionary BuildDictionaryWithTree(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                                    std::int32_t maxIterations, const TAllocationProbe& probe,
                                    const TLoadControl& control) {
    tree.Clear();
    try {
        return BuildFromTree(file, tree, code, maxIterations, probe, control);
    } catch (...) {
        tree.Clear();
        throw;
    }
}

TDictionary LoadDictionary(const std::string& path, TStringBTree& tree, TWordCode& code,
                           std::int32_t maxIterations, const TAllocationProbe& probe,
                           const TLoadControl& control) {
    const TLoadMonitor monitor(control);
    const auto file =
        TDictionaryFile::Open(path, [&monitor](std::uint64_t examined, std::uint64_t size) {
            monitor.Detecting(examined, size);
        });
    return BuildDictionary(*file, tree, code, maxIterations, probe, control);
}

} // namespace verblinka
