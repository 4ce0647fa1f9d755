// Building a dictionary from a text file: its words, upper-cased and counted,
// in byte order (entry 0 the empty string), and a network whose row i holds
// the code of entry i. The new dictionary is built aside and handed over only
// when it is complete, so a failed load leaves the previous one untouched.
#pragma once

#include "dictionary/BTree.h"
#include "dictionary/WordReader.h"
#include "engine/HammingMem.h"
#include "text/WordCode.h"

#include <cstddef>
#include <functional>
#include <string>

namespace verblinka {

// A dictionary as a search sees it: the entries and the network built from them.
struct TDictionary {
    TDictionaryEntries Entries;
    THammingNet Network;
};

// The two large allocations of a load: the list of entries, then the weights.
enum class TLoadAllocation { Entries, Weights };

// Called just before each large allocation of a load with the number of
// entries it is for. Tests throw std::bad_alloc from it to make memory run out
// exactly there; the program passes none.
using TAllocationProbe = std::function<void(TLoadAllocation what, std::size_t entries)>;

// Counts every word of file in tree (cleared first), exports the entries and
// builds the network. maxIterations is the pass limit of the new network. The
// tree is left empty afterwards, also when the load fails: the words live on
// in the entries, and a failed load gives its memory back.
TDictionary BuildDictionary(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                            std::int32_t maxIterations, const TAllocationProbe& probe = {});

// Opens path and builds the dictionary from it; throws TOpenError where the
// file cannot be opened.
TDictionary LoadDictionary(const std::string& path, TStringBTree& tree, TWordCode& code,
                           std::int32_t maxIterations, const TAllocationProbe& probe = {});

// Stores the code of every entry in the network row of the same index.
void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code);

// An error's text as the error box shows it: a full stop is appended unless
// the text is empty or its last byte is not above the full stop's.
std::string WithFullStop(std::string text);

// The pass limit that the program sets on its network.
inline constexpr std::int32_t kProgramMaxIterations = 5;

} // namespace verblinka
