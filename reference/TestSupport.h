// Small helpers shared by the core tests.
#pragma once

#include "dictionary/DictionaryLoad.h"
#include "dictionary/WordReader.h"

#include <memory>
#include <string>
#include <vector>

namespace verblinka::test_support {

inline std::unique_ptr<TDictionaryFile> FileOf(std::string bytes) {
    return std::make_unique<TDictionaryFile>(std::make_unique<TMemorySource>(std::move(bytes)));
}

// Every word GetWord hands out, in order.
inline std::vector<std::string> WordsOf(std::string bytes) {
    auto file = FileOf(std::move(bytes));
    std::vector<std::string> words;
    std::string word;
    for (;;) {
        GetWord(file.get(), word);
        if (word.empty()) {
            return words;
        }
        words.push_back(word);
    }
}

// The dictionary the open command builds from a file holding these bytes.
inline TDictionary DictionaryOf(std::string bytes) {
    auto file = FileOf(std::move(bytes));
    TStringBTree tree;
    TWordCode code{};
    return BuildDictionary(*file, tree, code, kProgramMaxIterations);
}

inline std::vector<std::string> WordsIn(const TDictionaryEntries& entries) {
    std::vector<std::string> words;
    for (const auto& entry : entries) {
        words.push_back(entry.Word);
    }
    return words;
}

} // namespace verblinka::test_support
