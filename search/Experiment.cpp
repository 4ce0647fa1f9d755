#include "search/Experiment.h"

#include "dictionary/WordReader.h"
#include "search/Search.h"
#include "text/CodePage1251.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace verblinka {
namespace {

// Entries shorter than this are not misspelt: one edit leaves too little of them.
constexpr std::size_t kShortestMisspelt = 4;
// A file of pairs is read whole: bounded, so that a wrong file cannot take
// the memory.
constexpr std::size_t kMostPairBytes = std::size_t{64} << 20;
constexpr std::size_t kMostPairs = 1'000'000;

// Uniform enough below n (n far below 2^32), and the same on every platform,
// unlike the standard distributions.
std::size_t Below(std::mt19937& random, std::size_t n) {
    return static_cast<std::size_t>(random()) % n;
}

// The positions of word whose letters have neighbouring keys.
std::vector<std::size_t> KeyPositions(const std::string& word) {
    std::vector<std::size_t> positions;
    for (std::size_t p = 0; p < word.size(); ++p) {
        if (!KeyboardNeighbours(static_cast<std::uint8_t>(word[p])).empty()) {
            positions.push_back(p);
        }
    }
    return positions;
}

char NeighbourOf(char letter, std::mt19937& random) {
    const std::string_view neighbours = KeyboardNeighbours(static_cast<std::uint8_t>(letter));
    return neighbours[Below(random, neighbours.size())];
}

// One misspelling of word of the given kind, or nothing when word has no
// place for it (no letter key, no two different adjacent letters).
std::optional<std::string> Misspell(const std::string& word, TMisspellingKind kind,
                                    std::mt19937& random) {
    std::string text = word;
    switch (kind) {
    case TMisspellingKind::Neighbour:
    case TMisspellingKind::Extra: {
        const std::vector<std::size_t> keys = KeyPositions(word);
        if (keys.empty()) {
            return std::nullopt;
        }
        const std::size_t at = keys[Below(random, keys.size())];
        const char neighbour = NeighbourOf(word[at], random);
        if (kind == TMisspellingKind::Neighbour) {
            text[at] = neighbour;
        } else {
            // Struck with the key beside it: before or after the letter.
            text.insert(at + Below(random, 2), 1, neighbour);
        }
        return text;
    }
    case TMisspellingKind::Missing:
        text.erase(Below(random, word.size()), 1);
        return text;
    case TMisspellingKind::Swapped: {
        std::vector<std::size_t> places;
        for (std::size_t p = 0; p + 1 < word.size(); ++p) {
            if (word[p] != word[p + 1]) {
                places.push_back(p);
            }
        }
        if (places.empty()) {
            return std::nullopt;
        }
        const std::size_t at = places[Below(random, places.size())];
        std::swap(text[at], text[at + 1]);
        return text;
    }
    case TMisspellingKind::Blank:
        text.insert(1 + Below(random, word.size() - 1), 1, ' ');
        return text;
    }
    return std::nullopt;
}

std::string PairsError(const std::string& path, std::size_t line, const std::string& problem) {
    return "Файл пар «" + path + "», строка " + std::to_string(line) + ": " + problem;
}

// The row of word among entries (in byte order), or -1.
std::int32_t RowOf(const TDictionaryEntries& entries, const std::string& word) {
    const auto at = std::lower_bound(entries.begin(), entries.end(), word,
                                     [](const TDictionaryEntry& entry, const std::string& w) {
                                         return CompareWords(entry.Word, w) < 0;
                                     });
    if (at == entries.end() || at->Word != word) {
        return -1;
    }
    return static_cast<std::int32_t>(at - entries.begin());
}

TNetworkConfig CurrentConfig(const TDictionary& dictionary) {
    TNetworkConfig config;
    config.Coder = dictionary.Coder;
    config.MaxOutput = dictionary.Network.MaxOutput();
    config.EpsilonFactor = dictionary.Network.EpsilonFactor();
    config.MaxIterations = dictionary.Network.MaxIterations();
    return config;
}

} // namespace

std::string MisspellingKindTitle(TMisspellingKind kind) {
    switch (kind) {
    case TMisspellingKind::Neighbour:
        return "замена";
    case TMisspellingKind::Missing:
        return "пропуск";
    case TMisspellingKind::Extra:
        return "лишняя";
    case TMisspellingKind::Swapped:
        return "перестановка";
    case TMisspellingKind::Blank:
        return "пробел";
    }
    return {};
}

std::vector<TMisspelling> MakeMisspellings(const TDictionaryEntries& entries, std::size_t perKind,
                                           std::uint32_t seed) {
    std::vector<std::size_t> candidates;
    for (std::size_t row = 0; row < entries.size(); ++row) {
        if (entries[row].Word.size() >= kShortestMisspelt) {
            candidates.push_back(row);
        }
    }
    std::vector<TMisspelling> misspellings;
    if (candidates.empty() || perKind == 0) {
        return misspellings;
    }
    std::mt19937 random(seed);
    for (std::size_t k = 0; k < kMisspellingKinds; ++k) {
        const auto kind = static_cast<TMisspellingKind>(k);
        // Entries that offer no place for the kind are passed over; a
        // dictionary of such entries alone gives fewer misspellings.
        std::size_t made = 0;
        for (std::size_t attempt = 0; made < perKind && attempt < 20 * perKind + 100; ++attempt) {
            const std::string& word = entries[candidates[Below(random, candidates.size())]].Word;
            std::optional<std::string> text = Misspell(word, kind, random);
            if (text) {
                misspellings.push_back({std::move(*text), word, kind});
                ++made;
            }
        }
    }
    return misspellings;
}

std::vector<TMisspelling> ReadMisspellingPairs(const std::string& path) {
    const auto file = TDictionaryFile::Open(path);
    std::string text;
    for (;;) {
        const std::span<std::uint8_t> block = file->ReadBlock();
        if (block.empty()) {
            break;
        }
        if (text.size() + block.size() > kMostPairBytes) {
            throw std::runtime_error("Файл пар «" + path +
                                     "» слишком велик: в нём больше 64 МБ текста");
        }
        text.append(reinterpret_cast<const char*>(block.data()), block.size());
    }
    std::vector<TMisspelling> pairs;
    std::size_t number = 0;
    std::string_view rest = text;
    while (!rest.empty()) {
        ++number;
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; })) {
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) {
            throw std::runtime_error(
                PairsError(path, number, "нужны опечатка, знак табуляции и задуманное слово"));
        }
        const std::string typed = UpperCase1251(line.substr(0, tab));
        const std::string intended = UpperCase1251(line.substr(tab + 1));
        if (IsBlankQuery(typed)) {
            throw std::runtime_error(PairsError(path, number, "нет опечатки"));
        }
        if (intended.empty() || std::any_of(intended.begin(), intended.end(), [](char c) {
                return IsDelimiter(static_cast<std::uint8_t>(c));
            })) {
            throw std::runtime_error(PairsError(
                path, number, "задуманное слово должно быть одним словом, без пробелов"));
        }
        if (pairs.size() == kMostPairs) {
            throw std::runtime_error("Файл пар «" + path + "»: больше 1000000 пар");
        }
        pairs.push_back({typed, intended, std::nullopt});
    }
    return pairs;
}

namespace {

// What one search of an experiment found.
struct TSearched {
    TSearchStatus Status = TSearchStatus::Failed;
    std::int32_t Row = 0;
    double Seconds = 0.0;
};

// Searches every misspelling under the network as it stands, `workers` of
// them at a time, each on one thread with scratch of its own (the network is
// only read), so that a short search does not wait for a second thread.
// Progress is told one call at a time, in order. False when cancelled.
bool SearchAll(TDictionary& dictionary, const std::vector<TMisspelling>& misspellings,
               unsigned workers, const TExperimentControl& control, std::size_t& done,
               std::size_t total, std::vector<TSearched>& found) {
    found.assign(misspellings.size(), TSearched{});
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex progress;
    std::exception_ptr failure;
    auto work = [&] {
        TRecognitionPools pools;
        TSearchControl search;
        search.Cancel = control.Cancel;
        search.Threads = 1;
        search.Coder = &dictionary.Coder;
        search.Pools = &pools;
        search.FirstLayerBudget = TSearchControl{}.FirstLayerBudget / workers;
        TWordCode code{};
        try {
            for (std::size_t m = next++; m < misspellings.size() && !stop; m = next++) {
                const auto start = std::chrono::steady_clock::now();
                const TSearchOutcome outcome = SearchWord(misspellings[m].Text, dictionary.Entries,
                                                          dictionary.Network, code, false, search);
                TSearched& result = found[m];
                result.Seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                result.Status = outcome.Status;
                result.Row = outcome.BestRow;
                if (outcome.Status == TSearchStatus::Cancelled ||
                    (control.Cancel != nullptr && control.Cancel->load())) {
                    stop = true;
                    break;
                }
                if (outcome.Status == TSearchStatus::Failed) {
                    throw std::runtime_error(outcome.Message());
                }
                const std::lock_guard lock(progress);
                ++done;
                if (control.OnProgress) {
                    control.OnProgress(done, total);
                }
            }
        } catch (...) {
            const std::lock_guard lock(progress);
            if (!failure) {
                failure = std::current_exception();
            }
            stop = true;
        }
    };
    {
        std::vector<std::jthread> threads;
        for (unsigned w = 1; w < workers; ++w) {
            threads.emplace_back(work);
        }
        work();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !stop;
}

} // namespace

std::optional<std::vector<TConfigResult>>
RunExperiment(TDictionary& dictionary, const std::vector<TNetworkConfig>& configs,
              const std::vector<TMisspelling>& misspellings, const TExperimentControl& control) {
    for (const TNetworkConfig& config : configs) {
        CheckConfig(config); // a bad one refused before any work
    }
    const TNetworkConfig original = CurrentConfig(dictionary);
    std::vector<std::int32_t> intendedRows;
    intendedRows.reserve(misspellings.size());
    for (const TMisspelling& misspelling : misspellings) {
        intendedRows.push_back(RowOf(dictionary.Entries, misspelling.Intended));
    }
    const unsigned cores =
        control.Threads != 0 ? control.Threads : std::max(1u, std::thread::hardware_concurrency());
    const auto workers = static_cast<unsigned>(
        std::max<std::size_t>(1, std::min<std::size_t>({cores, 64, misspellings.size()})));
    const std::size_t total = misspellings.size() * configs.size();
    std::size_t done = 0;
    std::vector<TConfigResult> results;
    std::vector<TSearched> found;
    bool stopped = false;
    try {
        for (const TNetworkConfig& config : configs) {
            if (!ApplyConfig(dictionary, config, control.Cancel) ||
                !SearchAll(dictionary, misspellings, workers, control, done, total, found)) {
                stopped = true;
                break;
            }
            TConfigResult& result = results.emplace_back();
            result.Config = config;
            std::vector<double> seconds;
            seconds.reserve(misspellings.size());
            for (std::size_t m = 0; m < misspellings.size(); ++m) {
                const TMisspelling& misspelling = misspellings[m];
                seconds.push_back(found[m].Seconds);
                // A refused search (a misspelling of blanks) selects nothing: a miss.
                const bool selected = found[m].Status == TSearchStatus::Selected;
                const bool hit =
                    selected && found[m].Row == intendedRows[m] && intendedRows[m] >= 0;
                THitCount* count = &result.Given;
                if (misspelling.Kind) {
                    count = &result.ByKind[static_cast<std::size_t>(*misspelling.Kind)];
                }
                count->Total += 1;
                count->Hits += hit ? 1 : 0;
                result.Overall.Total += 1;
                result.Overall.Hits += hit ? 1 : 0;
                if (!hit) {
                    result.Misses.push_back({m, selected ? found[m].Row : -1, intendedRows[m]});
                }
            }
            if (!seconds.empty()) {
                std::sort(seconds.begin(), seconds.end());
                const std::size_t middle = seconds.size() / 2;
                result.MedianSeconds = seconds.size() % 2 == 1
                                           ? seconds[middle]
                                           : (seconds[middle - 1] + seconds[middle]) / 2;
            }
        }
    } catch (...) {
        ApplyConfig(dictionary, original);
        throw;
    }
    ApplyConfig(dictionary, original);
    if (stopped) {
        return std::nullopt;
    }
    return results;
}

} // namespace verblinka
