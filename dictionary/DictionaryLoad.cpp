#include "dictionary/DictionaryLoad.h"

#include "dictionary/WordCounter.h"
#include "engine/CheckedMath.h"
#include "engine/CodePage1251.h"

#include <array>
#include <cstring>

namespace verblinka {
namespace {

// Reports progress and stops the load when asked to.
class TLoadMonitor {
public:
    explicit TLoadMonitor(const TLoadControl& control) : control_(control) {}

    void CheckCancel() const {
        if (control_.Cancel != nullptr && control_.Cancel->load(std::memory_order_relaxed)) {
            throw TLoadCancelled();
        }
    }

    // After each read: cheap unless the reader has moved on.
    void Poll(const TDictionaryFile& file) {
        if (file.BytesRead() == reported_ && reported_ != 0) {
            return;
        }
        CheckCancel();
        reported_ = file.BytesRead();
        if (control_.OnProgress) {
            control_.OnProgress(reported_, file.TotalBytes());
        }
    }

private:
    const TLoadControl& control_;
    std::uint64_t reported_ = 0;
};

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code,
                  const TLoadMonitor* monitor) {
    network.SetPatternCount(CheckedCount(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (monitor != nullptr && i % 65536 == 0) {
            monitor->CheckCancel();
        }
        CodeWord(entries[i].Word, code);
        network.StorePattern(code, static_cast<std::int32_t>(i));
    }
}

// The network of the entries: the second large allocation of a load.
void BuildNetwork(TDictionary& dictionary, TWordCode& code, std::int32_t maxIterations,
                  const TAllocationProbe& probe, const TLoadMonitor& monitor) {
    dictionary.Network.SetMaxIterations(maxIterations);
    dictionary.Network.SetInputCount(kWordCodeLength);
    if (probe) {
        probe(TLoadAllocation::Weights, dictionary.Entries.size());
    }
    StoreEntries(dictionary.Entries, dictionary.Network, code, &monitor);
}

// Each byte as a word sees it: a delimiter becomes 0 (itself a delimiter, and
// never part of a word), every other byte its capital.
const std::array<std::uint8_t, 256>& FoldTable() {
    static const auto table = [] {
        std::array<std::uint8_t, 256> fold{};
        for (std::size_t b = 0; b < fold.size(); ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            fold[b] = IsDelimiter(byte) ? 0 : UpperCase1251(byte);
        }
        return fold;
    }();
    return table;
}

// Splits the file into words a block at a time, as GetWord does byte by
// byte, and counts them upper-cased.
void CountWords(TDictionaryFile& file, TWordCounter& counter, TLoadMonitor& monitor) {
    const auto& fold = FoldTable();
    std::string pending; // a word that runs on past the end of a block
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
            counter.Add(word);
        }
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
    BuildNetwork(dictionary, code, maxIterations, probe, monitor);
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
        for (char& c : word) {
            c = static_cast<char>(UpperCase1251(static_cast<std::uint8_t>(c)));
        }
        tree.Add(word);
    }
    TDictionary dictionary;
    if (probe) {
        probe(TLoadAllocation::Entries, tree.NodeCount());
    }
    tree.ExportTo(dictionary.Entries);
    tree.Clear(); // nothing reads the tree after the export: give its memory back for the network
    BuildNetwork(dictionary, code, maxIterations, probe, monitor);
    return dictionary;
}

} // namespace

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code) {
    StoreEntries(entries, network, code, nullptr);
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
    const auto file = TDictionaryFile::Open(path);
    return BuildDictionary(*file, tree, code, maxIterations, probe, control);
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<std::uint8_t>(text.back()) > 0x2E) {
        text.push_back('.');
    }
    return text;
}

} // namespace verblinka
