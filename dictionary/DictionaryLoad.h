// Building a dictionary from a text file: its words, upper-cased and counted,
// in byte order (entry 0 the empty string), and a network whose row i holds
// the code of entry i. The new dictionary is built aside and handed over only
// when it is complete, so a failed load leaves the previous one untouched.
#pragma once

#include "dictionary/BTree.h"
#include "dictionary/WordReader.h"
#include "engine/HammingMem.h"
#include "text/Codes.h"
#include "text/WordCode.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace verblinka {

// A dictionary as a search sees it: the entries and the network built from
// them, whose rows hold the entries' codes under Coder (a load stores the
// program's; ApplyConfig re-stores them under another).
struct TDictionary {
    TDictionaryEntries Entries;
    THammingNet Network;
    TWordCoder Coder;
};

// The two large allocations of a load: the list of entries, then the weights.
enum class TLoadAllocation { Entries, Weights };

// Called just before each large allocation of a load with the number of
// entries it is for. Tests throw std::bad_alloc from it to make memory run out
// exactly there; the program passes none.
using TAllocationProbe = std::function<void(TLoadAllocation what, std::size_t entries)>;

// Optional controls of one load; both members may be left empty.
struct TLoadControl {
    // How far the load has got, in bytes of the file out of its size in bytes (0 when unknown):
    // both the pass that decides the encoding and the load itself count (LoadDictionary's, or
    // the load's alone where the file was opened beforehand). Never decreases; ends at the size.
    // May be called from any thread, at most every few milliseconds' worth of bytes.
    std::function<void(std::uint64_t bytesRead, std::uint64_t totalBytes)> OnProgress;
    // Polled while the file is read (both passes) and while the dictionary is built; when set,
    // the load throws TLoadCancelled.
    const std::atomic<bool>* Cancel = nullptr;
};

// Thrown by a load whose TLoadControl::Cancel was set: nothing was replaced.
class TLoadCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "load cancelled"; }
};

// Counts every word of file, upper-cased, and builds the dictionary: the
// entries in byte order and the network. maxIterations is the pass limit of
// the new network. The words are counted by hashing and sorted once
// (TWordCounter); tree is only cleared and lends its occurrence limit, and it
// is left empty afterwards, also when the load fails.
TDictionary BuildDictionary(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                            std::int32_t maxIterations, const TAllocationProbe& probe = {},
                            const TLoadControl& control = {});

// The same load by the literal route: GetWord, upper-casing and TStringBTree::Add
// for every word, then the tree's export. The reference the fast route is
// compared with; the result is the same.
TDictionary BuildDictionaryWithTree(TDictionaryFile& file, TStringBTree& tree, TWordCode& code,
                                    std::int32_t maxIterations, const TAllocationProbe& probe = {},
                                    const TLoadControl& control = {});

// Opens path and builds the dictionary from it; throws TOpenError where the
// file cannot be opened.
TDictionary LoadDictionary(const std::string& path, TStringBTree& tree, TWordCode& code,
                           std::int32_t maxIterations, const TAllocationProbe& probe = {},
                           const TLoadControl& control = {});

// Stores the code of every entry in the network row of the same index.
void StoreEntries(const TDictionaryEntries& entries, THammingNet& network, TWordCode& code);

// The pass limit that the program sets on its network.
inline constexpr std::int32_t kProgramMaxIterations = 5;

} // namespace verblinka
