// The search: the network proposes a candidate entry for the typed word and
// for each variant of it with a blank inserted; a plain character-difference
// count chooses among the candidates, the later one on equal distance.
#pragma once

#include "dictionary/BTree.h"
#include "engine/HammingMem.h"
#include "text/WordCode.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka {

inline constexpr const char* kMessageNoWord = "Ошибка: не введено слово для поиска";
inline constexpr const char* kMessageNoDictionary = "Ошибка: не загружен словарь";
inline constexpr const char* kMessageSearchFailed = "Ошибка при поиске";

// |length a - length b| plus the positions where the bytes differ.
std::int32_t WordDistance(std::string_view a, std::string_view b);

// s with a blank inserted before its p-th byte (1-based).
std::string InsertBlank(std::string_view s, std::int32_t p);

// True when text holds nothing but bytes 0x00 ... 0x20.
bool IsBlankQuery(std::string_view text);

enum class TSearchStatus { Found, NoWord, NoDictionary, Failed };

// One recognition of a search: the text coded (the query or a variant), the
// row the network returned and that entry's distance from the text.
struct TSearchStep {
    std::string Text;
    std::int32_t Row = 0;
    std::int32_t Distance = 0;
};

struct TSearchOutcome {
    TSearchStatus Status = TSearchStatus::Failed;
    std::int32_t BestRow = 0;
    std::int32_t BestDistance = 0;
    std::int32_t ChosenStep = 0;    // index into Steps of the step that set BestRow
    std::vector<TSearchStep> Steps; // filled only when asked for

    // The message the caller shows; empty when the search found a row.
    std::string Message() const { return SearchMessage(Status); }

    static std::string SearchMessage(TSearchStatus status);
};

// The two input checks that come before any work: NoWord, NoDictionary, or
// Found when the search may go on. The window shows its wait cursor only
// after they pass, so it asks for them on their own.
TSearchStatus CheckSearchInput(std::string_view query, const TDictionaryEntries& entries);

// Looks query (Windows-1251 bytes, as typed) up in the dictionary whose entries
// are `entries` and whose network holds their codes row by row.
TSearchOutcome SearchWord(std::string_view query, const TDictionaryEntries& entries,
                          THammingNet& network, TWordCode& code, bool recordSteps = false);

} // namespace verblinka
