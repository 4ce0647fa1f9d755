#include "dictionary/DictionaryLoad.h"

#include "engine/CheckedMath.h"
#include "text/CodePage1251.h"

namespace verblinka {

void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code) {
    network.SetPatternCount(CheckedCount(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        CodeWord(entries[i].Word, code);
        network.StorePattern(code, static_cast<std::int32_t>(i));
    }
}

namespace {

TDictionary BuildFromTree(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                          std::int32_t maxIterations, const TAllocationProbe& probe) {
    std::string word;
    for (;;) {
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
    tree.ExportTo(dictionary.Entries);
    tree.Clear(); // nothing reads the tree after the export: give its memory back for the network
    dictionary.Network.SetMaxIterations(maxIterations);
    dictionary.Network.SetInputCount(kWordCodeLength);
    if (probe) {
        probe(TLoadAllocation::Weights, dictionary.Entries.size());
    }
    StoreEntries(dictionary.Entries, dictionary.Network, code);
    return dictionary;
}

} // namespace

TDictionary BuildDictionary(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                            std::int32_t maxIterations, const TAllocationProbe& probe) {
    tree.Clear();
    try {
        return BuildFromTree(file, tree, code, maxIterations, probe);
    } catch (...) {
        tree.Clear();
        throw;
    }
}

TDictionary LoadDictionary(const std::string& path, TStringBTree& tree, TWordCode& code,
                           std::int32_t maxIterations, const TAllocationProbe& probe) {
    const auto file = TDictionaryFile::Open(path);
    return BuildDictionary(*file, tree, code, maxIterations, probe);
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<std::uint8_t>(text.back()) > 0x2E) {
        text.push_back('.');
    }
    return text;
}

} // namespace verblinka
