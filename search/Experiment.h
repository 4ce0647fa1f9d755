// The lab's experiment: how often a configuration finds the word a person
// meant, from seeded misspellings of the dictionary's own entries or from
// given pairs, by kind of typing error.
#pragma once

#include "search/Configuration.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace verblinka {

enum class TMisspellingKind {
    Neighbour, // «замена»: a letter replaced by a neighbouring key's
    Missing,   // «пропуск»: a letter left out
    Extra,     // «лишняя»: a neighbouring key's letter added
    Swapped,   // «перестановка»: two adjacent letters swapped
    Blank,     // «пробел»: a blank put inside the word
};
inline constexpr std::size_t kMisspellingKinds = 5;

// «замена», «пропуск», «лишняя», «перестановка», «пробел».
std::string MisspellingKindTitle(TMisspellingKind kind);

// One misspelling: the text typed and the entry meant (Windows-1251 bytes,
// upper-cased as entries are). Kind is empty for given pairs.
struct TMisspelling {
    std::string Text;
    std::string Intended;
    std::optional<TMisspellingKind> Kind;
};

// perKind misspellings of each kind, from the entries of four letters or
// more, the same for the same entries, perKind and seed.
std::vector<TMisspelling> MakeMisspellings(const TDictionaryEntries& entries, std::size_t perKind,
                                           std::uint32_t seed);

// The pairs of a file of `misspelling<TAB>intended` lines (UTF-8 or
// Windows-1251); throws std::runtime_error naming the line that is wrong.
std::vector<TMisspelling> ReadMisspellingPairs(const std::string& path);

struct THitCount {
    std::size_t Hits = 0;
    std::size_t Total = 0;
};

// A misspelling whose search selected another entry.
struct TMiss {
    std::size_t Misspelling = 0; // index into the experiment's misspellings
    std::int32_t ChosenRow = 0;
    std::int32_t IntendedRow = -1; // -1: the intended word is not in the dictionary
};

struct TConfigResult {
    TNetworkConfig Config;
    std::array<THitCount, kMisspellingKinds> ByKind{}; // generated misspellings
    THitCount Given;                                   // pairs without a kind
    THitCount Overall;
    double MedianSeconds = 0.0; // of one search
    std::vector<TMiss> Misses;
};

struct TExperimentControl {
    const std::atomic<bool>* Cancel = nullptr;
    // Searches done out of the total (misspellings times configurations),
    // from any thread, one call at a time, in order.
    std::function<void(std::size_t done, std::size_t total)> OnProgress;
    // Misspellings searched at once, each on one thread; 0: every core.
    // The counts never depend on it.
    unsigned Threads = 0;
};

// Searches every misspelling under every configuration in turn (re-storing
// the dictionary for each) and counts first hits: the search selected the
// intended entry. The dictionary ends under the configuration it had.
// Cancelled: nullopt, the dictionary as it was.
std::optional<std::vector<TConfigResult>>
RunExperiment(TDictionary& dictionary, const std::vector<TNetworkConfig>& configs,
              const std::vector<TMisspelling>& misspellings,
              const TExperimentControl& control = {});

} // namespace verblinka
