#include "dictionary/DictionaryLoad.h"

#include "engine/CheckedMath.h"
#include "engine/CodePage1251.h"

#include <filesystem>
#include <system_error>

namespace verblinka {
namespace {

// How many words or entries a load handles between two looks at its Cancel.
constexpr std::size_t kCancelPollInterval = 4096;

void ThrowIfCancelled(const TLoadControl& control) {
    if (control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed)) {
        throw TLoadCancelled();
    }
}

void StoreEntriesUnder(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code,
                       const TLoadControl& control) {
    network.SetPatternCount(CheckedCount(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i % kCancelPollInterval == 0) {
            ThrowIfCancelled(control);
        }
        CodeWord(entries[i].Word, code);
        network.StorePattern(code, static_cast<std::int32_t>(i));
    }
}

// A byte source that tells the load's control how far it has read (from its
// last rewind on) and stops the read when the load is cancelled.
class TControlledSource final : public TByteSource {
public:
    TControlledSource(std::unique_ptr<TByteSource> source, const TLoadControl& control,
                      std::uint64_t totalBytes)
        : source_(std::move(source)), control_(control), totalBytes_(totalBytes) {}

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        ThrowIfCancelled(control_);
        const std::size_t got = source_->Read(buffer);
        position_ += got;
        if (control_.OnProgress) {
            control_.OnProgress(position_, totalBytes_);
        }
        return got;
    }
    bool Rewind() override {
        position_ = 0;
        return source_->Rewind();
    }

private:
    std::unique_ptr<TByteSource> source_;
    const TLoadControl& control_;
    std::uint64_t totalBytes_;
    std::uint64_t position_ = 0;
};

} // namespace

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code) {
    StoreEntriesUnder(entries, network, code, {});
}

namespace {

TDictionary BuildFromTree(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                          std::int32_t maxIterations, const TAllocationProbe& probe,
                          const TLoadControl& control) {
    std::string word;
    for (std::size_t count = 0;; ++count) {
        if (count % kCancelPollInterval == 0) {
            ThrowIfCancelled(control);
        }
        GetWord(&file, word);
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
    ThrowIfCancelled(control);
    tree.ExportTo(dictionary.Entries);
    tree.Clear(); // nothing reads the tree after the export: give its memory back for the network
    dictionary.Network.SetMaxIterations(maxIterations);
    dictionary.Network.SetInputCount(kWordCodeLength);
    if (probe) {
        probe(TLoadAllocation::Weights, dictionary.Entries.size());
    }
    StoreEntriesUnder(dictionary.Entries, dictionary.Network, code, control);
    ThrowIfCancelled(control);
    return dictionary;
}

} // namespace

TDictionary BuildDictionary(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
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
    if (!control.OnProgress && control.Cancel == nullptr) {
        const auto file = TDictionaryFile::Open(path);
        return BuildDictionary(*file, tree, code, maxIterations, probe);
    }
    auto source = std::make_unique<TFileSource>(path); // throws TOpenError
    std::error_code sizeUnknown;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeUnknown);
    TDictionaryFile file(
        std::make_unique<TControlledSource>(std::move(source), control, sizeUnknown ? 0 : size));
    return BuildDictionary(file, tree, code, maxIterations, probe, control);
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<std::uint8_t>(text.back()) > 0x2E) {
        text.push_back('.');
    }
    return text;
}

} // namespace verblinka
