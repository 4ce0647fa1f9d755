// A small dictionary and an arbitrary query through the search: the selected
// row, its distance and every step agree with the search redone step by step
// from plain pieces and literal recognitions, and every row lies inside the
// dictionary. The first byte
// tells how many of the following bytes are the dictionary's file; the rest,
// up to 32 bytes, is the query as Windows-1251 bytes.
#include "dictionary/DictionaryLoad.h"
#include "fuzz/FuzzCheck.h"
#include "reference/ReferenceModel.h"
#include "search/Search.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace verblinka;
using verblinka::fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t fileSize = std::min<std::size_t>(data[0], size - 1);
    const std::string file(reinterpret_cast<const char*>(data) + 1, fileSize);
    const std::size_t querySize = std::min<std::size_t>(size - 1 - fileSize, 32);
    const std::string query(reinterpret_cast<const char*>(data) + 1 + fileSize, querySize);

    TStringBTree tree;
    TWordCode code{};
    TDictionaryFile dictionaryFile(std::make_unique<TMemorySource>(file));
    TDictionary dictionary = BuildDictionary(dictionaryFile, tree, code, kProgramMaxIterations);

    CodeWord(query, code);
    Require(code == reference::Code(query), "CodeWord differs from the reference");
    Require(WordDistance(query, file) == reference::Distance(query, file), "WordDistance differs");

    const TSearchOutcome outcome =
        SearchWord(query, dictionary.Entries, dictionary.Network, code, true);
    // Redone with the literal recognition: the search's own reuse of rows and
    // the fast paths must change nothing.
    THammingNet plain = dictionary.Network;
    plain.SetPath(TCompetitionPath::Literal);
    const std::string problem =
        reference::CheckSearch(query, dictionary.Entries, outcome,
                               [&](const TWordCode& input) { return plain.Recognize(input); });
    Require(problem.empty(), problem);
    return 0;
}
