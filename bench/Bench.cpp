// verblinka-bench: times recognition, competition passes, searches and
// dictionary loads on generated word lists, and checks the fast paths against
// the literal ones on a larger scale than the test suite does (--soak).
//
// Word lists are generated into the data directory (kept there for the next
// run): pseudo-Russian word forms, stems with common endings, so that many
// words share prefixes and score alike, as in a real word-form list.
#include "dictionary/DictionaryLoad.h"
#include "engine/HammingMem.h"
#include "engine/detail/Competition.h"
#include "reference/EditDistanceScan.h"
#include "reference/WordLists.h"
#include "search/Configuration.h"
#include "search/Search.h"
#include "text/CodePage1251.h"
#include "text/WordCode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using namespace verblinka;
using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

template <typename F> double Median(int repetitions, F&& body) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = TClock::now();
        body();
        times.push_back(SecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// CPU time of the whole process (every thread), for figures on a shared machine.
double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string Ms(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    return text;
}

// ---- word lists ----------------------------------------------------------

// Lower-case Windows-1251 letters.
constexpr char kYo = '\xB8'; // ё
const std::string kConsonants = "\xE1\xE2\xE3\xE4\xE6\xE7\xEA\xEB\xEC\xED\xEF\xF0\xF1\xF2\xF4\xF5"
                                "\xF6\xF7\xF8\xF9";
const std::string kVowels = "\xE0\xE5\xE8\xEE\xF3\xFB\xFD\xFE\xFF";
const std::vector<std::string> kEndings = {
    "",         "\xE0",         "\xFB",     "\xE5",         "\xF3",     "\xEE\xE9",
    "\xEE\xFE", "\xE0\xEC",     "\xE0\xF5", "\xEE\xEC",     "\xEE\xE2", "\xE5\xE9",
    "\xFF\xEC", "\xE0\xEC\xE8", "\xF2\xFC", "\xEB",         "\xEB\xE0", "\xEB\xEE",
    "\xEB\xE8", "\xE5\xF2",     "\xF3\xF2", "\xE5\xF8\xFC", "\xE5\xEC", "\xE8\xF2\xE5",
    "\xFB\xE9", "\xE0\xFF",     "\xEE\xE5", "\xFB\xE5"};

// `count` distinct words, in no particular order: every stem with several
// endings, so that the forms of one word stand together.
std::vector<std::string> GenerateWords(std::size_t count, std::uint32_t seed) {
    const test_support::TSyllables alphabet{.Consonants = kConsonants,
                                            .Vowels = kVowels,
                                            .Endings = kEndings,
                                            .OnsetMayBeMissing = true,
                                            .RareVowel = kYo,
                                            .MostForms = 8};
    return test_support::SyllableWords(alphabet, count, seed);
}

// Russian alphabetical order: ё sorts as е, ties by bytes.
bool Alphabetically(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto key = [](char c) {
            return c == kYo ? static_cast<unsigned char>('\xE5') : static_cast<unsigned char>(c);
        };
        if (key(a[i]) != key(b[i])) {
            return key(a[i]) < key(b[i]);
        }
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

enum class TFileKind { RandomWithRepeats, Ascending, Descending, Alphabetical };
const char* Name(TFileKind kind) {
    switch (kind) {
    case TFileKind::RandomWithRepeats:
        return "random order with repeats";
    case TFileKind::Ascending:
        return "ascending";
    case TFileKind::Descending:
        return "descending";
    case TFileKind::Alphabetical:
        return "alphabetical (UTF-8, \xD1\x91 with \xD0\xB5)";
    }
    return "";
}

// Writes the list once; later runs reuse it.
std::filesystem::path WordFile(const std::filesystem::path& dir, TFileKind kind,
                               std::size_t count) {
    static const char* stems[] = {"random", "ascending", "descending", "alphabetical"};
    const auto path =
        dir / (std::string(stems[static_cast<int>(kind)]) + "-" + std::to_string(count) + ".txt");
    if (std::filesystem::exists(path)) {
        return path;
    }
    std::vector<std::string> words = GenerateWords(count, 1000 + static_cast<std::uint32_t>(count));
    std::string text;
    switch (kind) {
    case TFileKind::RandomWithRepeats: {
        // About 50 bytes per distinct word (5 MB for 100,000), every word at
        // least once, the rest repeats with a skew towards a few common ones.
        std::mt19937 random(7);
        std::vector<const std::string*> tokens;
        for (const auto& w : words) {
            tokens.push_back(&w);
        }
        std::size_t bytes = 0;
        for (const auto& w : words) {
            bytes += w.size() + 1;
        }
        while (bytes < 50 * count) {
            const std::size_t r = random() % words.size();
            const std::string& w = words[random() % 3 == 0 ? r % (1 + words.size() / 100) : r];
            tokens.push_back(&w);
            bytes += w.size() + 1;
        }
        std::shuffle(tokens.begin(), tokens.end(), random);
        text.reserve(bytes);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            text += *tokens[i];
            text += (i % 12 == 11) ? ".\n" : " ";
        }
        break;
    }
    case TFileKind::Ascending:
    case TFileKind::Descending:
        std::sort(words.begin(), words.end());
        if (kind == TFileKind::Descending) {
            std::reverse(words.begin(), words.end());
        }
        for (const auto& w : words) {
            text += w;
            text += '\n';
        }
        break;
    case TFileKind::Alphabetical:
        std::sort(words.begin(), words.end(), Alphabetically);
        for (const auto& w : words) {
            text += Utf8From1251(w);
            text += '\n';
        }
        break;
    }
    std::filesystem::create_directories(dir);
    const auto temporary = path.string() + ".part";
    std::ofstream(temporary, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    std::filesystem::rename(temporary, path);
    return path;
}

// A dictionary of exactly `rows` entries (the empty one and rows - 1 words),
// stored as a load stores it.
TDictionary MakeDictionary(std::size_t rows) {
    std::vector<std::string> words =
        GenerateWords(rows - 1, 2000 + static_cast<std::uint32_t>(rows));
    TDictionary dictionary;
    dictionary.Entries.push_back({"", 0});
    for (auto& w : words) {
        w = UpperCase1251(w);
    }
    std::sort(words.begin(), words.end());
    for (auto& w : words) {
        dictionary.Entries.push_back({std::move(w), 1});
    }
    TWordCode code{};
    dictionary.Network.SetMaxIterations(kProgramMaxIterations);
    dictionary.Network.SetInputCount(kWordCodeLength);
    StoreEntries(dictionary.Entries, dictionary.Network, code);
    return dictionary;
}

// An eight-letter query: a stored word of eight letters with one letter changed.
std::string EightLetterQuery(const TDictionaryEntries& entries) {
    for (std::size_t i = entries.size() / 3; i < entries.size(); ++i) {
        if (entries[i].Word.size() == 8) {
            std::string query = entries[i].Word;
            query[4] = query[4] == '\xC0' ? '\xCE' : '\xC0';
            return query;
        }
    }
    return "\xCF\xD0\xC0\xC3\xD0\xC0\xCC\xC0";
}

// ---- measurements --------------------------------------------------------

struct TOptions {
    std::vector<std::size_t> Sizes = {1000, 10000, 100000, 1000000};
    std::size_t PlainLimit = 100000; // largest M whose plain pass is timed
    std::filesystem::path Data = "bench-data";
    bool Loads = true;
    bool Network = true;
};

void BenchNetwork(std::size_t rows, const TOptions& options) {
    std::cout << "\n== M = " << rows << '\n';
    auto start = TClock::now();
    TDictionary dictionary = MakeDictionary(rows);
    std::cout << "  dictionary built and stored:      " << Ms(SecondsSince(start)) << ", weights "
              << dictionary.Network.Weights().MemoryBytes() / 1024 << " KiB\n";
    THammingNet& net = dictionary.Network;
    const std::string query = EightLetterQuery(dictionary.Entries);
    TWordCode code{};
    CodeWord(query, code);

    const int repetitions = rows >= 1000000 ? 5 : 11;
    std::int32_t row = 0;
    const double recognize = Median(repetitions, [&] { row = net.Recognize(code); });
    std::cout << "  Recognize (fast: passes over classes), median of " << repetitions << ": "
              << Ms(recognize) << " (row " << row << ")\n";
    TRecognitionScratch scratch;
    std::int32_t scratchRow = 0;
    const double recognizeScratch =
        Median(repetitions, [&] { scratchRow = net.Recognize(code, scratch); });
    std::cout << "  Recognize on outside scratch state (as a search does): " << Ms(recognizeScratch)
              << " (row " << scratchRow << ")\n";
    net.SetPath(TCompetitionPath::Values);
    std::int32_t valuesRow = 0;
    const double values = Median(repetitions, [&] { valuesRow = net.Recognize(code); });
    net.SetPath(TCompetitionPath::Auto);
    std::cout << "  Recognize with passes over values: " << Ms(values) << " (row " << valuesRow
              << (valuesRow == row ? ", the same" : ", DIFFERENT") << "), " << values / recognize
              << " times the time\n";
    if (rows <= 10000) {
        net.SetPath(TCompetitionPath::Literal);
        std::int32_t literalRow = 0;
        const double literal = Median(1, [&] { literalRow = net.Recognize(code); });
        net.SetPath(TCompetitionPath::Auto);
        std::cout << "  Recognize (literal): " << Ms(literal) << " (row " << literalRow
                  << (literalRow == row ? ", the same" : ", DIFFERENT") << ")\n";
    } else {
        std::cout << "  Recognize (literal): skipped (about 7 M^2 additions)\n";
    }

    // One pass on the first layer's values of that query (whole numbers:
    // nothing rounds there), and one on the values that pass 3 reads,
    // where every sum rounds and the offsets must be followed.
    std::vector<std::vector<double>> inputs;
    net.Recognize(code, [&](std::int32_t pass, std::span<const double> values) {
        if (pass == 0 || pass == 2) {
            inputs.emplace_back(values.begin(), values.end());
        }
    });
    std::vector<double> fastActivity(rows), plainActivity(rows);
    TFastCompetition fast;
    const char* labels[] = {"first-layer values", "values of pass 2  "};
    double fastPass[2] = {0.0, 0.0};
    for (std::size_t which = 0; which < 2; ++which) {
        fastPass[which] = Median(repetitions, [&] {
            fast.Pass(inputs[which], fastActivity, net.Epsilon(), net.MaxOutput());
        });
        std::cout << "  competition pass on " << labels[which] << ", fast: " << Ms(fastPass[which])
                  << " ("
                  << static_cast<double>(fast.LastSimulatedSteps()) / static_cast<double>(rows)
                  << " single steps per unit)\n";
    }
    // The plain pass costs M * (M - 1) additions whatever the values.
    if (rows > options.PlainLimit) {
        std::cout << "  competition pass, plain: skipped (about M^2 = "
                  << static_cast<double>(rows) * static_cast<double>(rows) << " additions)\n";
    } else {
        const int plainRepetitions = rows <= 10000 ? 3 : 1;
        const double plainPass = Median(plainRepetitions, [&] {
            PlainCompetitionPass(inputs[1], plainActivity, net.Epsilon(), net.MaxOutput());
        });
        const bool same = std::equal(fastActivity.begin(), fastActivity.end(),
                                     plainActivity.begin(), [](double a, double b) {
                                         return std::bit_cast<std::uint64_t>(a) ==
                                                std::bit_cast<std::uint64_t>(b);
                                     });
        std::cout << "  competition pass, plain: " << Ms(plainPass) << " (median of "
                  << plainRepetitions << ", values of pass 2: "
                  << (same ? "identical to the fast pass" : "DIFFERENT FROM THE FAST PASS")
                  << ")\n  fast is " << static_cast<long>(plainPass / fastPass[1])
                  << " times faster on values of pass 2, "
                  << static_cast<long>(plainPass / fastPass[0]) << " times on first-layer values\n";
    }

    // Searches: all cores, one thread, and one thread with passes over values
    // (one recognition after another), for an eight-letter word and for a
    // 24-letter one (two stored words run together, one letter changed).
    std::string longQuery = query;
    for (std::size_t i = dictionary.Entries.size() / 2; longQuery.size() < 24; ++i) {
        longQuery += dictionary.Entries[i % dictionary.Entries.size()].Word;
    }
    longQuery.resize(24);
    longQuery[17] = longQuery[17] == '\xC0' ? '\xCE' : '\xC0';
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::pair<const char*, const std::string*> searches[] = {
        {"an eight-letter word", &query}, {"a 24-letter word", &longQuery}};
    for (const auto& search : searches) {
        const char* label = search.first;
        const std::string& text = *search.second;
        TSearchOutcome outcome;
        for (const unsigned threads : {0u, 1u}) {
            TSearchControl control;
            control.Threads = threads;
            const double cpuStart = ProcessCpuSeconds();
            const double search = Median(repetitions, [&] {
                outcome = SearchWord(text, dictionary.Entries, net, code, false, control);
            });
            const double cpu = (ProcessCpuSeconds() - cpuStart) / repetitions;
            std::cout << "  search of " << label << ", "
                      << (threads == 0 ? "all " + std::to_string(cores) + " cores"
                                       : std::string("1 thread"))
                      << ": " << Ms(search) << " (CPU " << Ms(cpu) << "; selected row "
                      << outcome.BestRow << ", distance " << outcome.BestDistance << ")\n";
        }
        if (rows <= 1000000) {
            net.SetPath(TCompetitionPath::Values);
            TSearchControl control;
            control.Threads = 1;
            const double search = Median(rows >= 1000000 ? 1 : 3, [&] {
                outcome = SearchWord(text, dictionary.Entries, net, code, false, control);
            });
            net.SetPath(TCompetitionPath::Auto);
            std::cout << "  search of " << label << ", passes over values, 1 thread: " << Ms(search)
                      << " (selected row " << outcome.BestRow << ")\n";
        }
    }
}

// Loads `path` in a child process, so that its peak memory is the load's own.
void BenchLoad(const std::filesystem::path& path, const std::string& self) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::string program = self;
    std::string mode = "--load-child";
    std::string file = path.string();
    char* argv[] = {program.data(), mode.data(), file.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), &actions, nullptr, argv, environ) != 0) {
        throw std::runtime_error("cannot start " + self);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::cout << "    " << report.substr(0, report.find('\n')) << (status == 0 ? "" : " (FAILED)")
              << '\n';
}

// This process's peak resident memory. Read from /proc: a spawned child's
// rusage maxrss starts from its parent's, which would hide the load's own.
long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// The child: load as the tool does, then one search, and report the times.
int LoadChild(const std::string& path) {
    TStringBTree tree;
    TWordCode code{};
    auto start = TClock::now();
    TDictionary dictionary = LoadDictionary(path, tree, code, kProgramMaxIterations);
    const double load = SecondsSince(start);
    const std::string query = EightLetterQuery(dictionary.Entries);
    start = TClock::now();
    const TSearchOutcome outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    const double search = SecondsSince(start);
    std::cout << dictionary.Entries.size() << " entries ("
              << std::filesystem::file_size(path) / 1024 << " KiB file): load " << Ms(load)
              << ", then a search " << Ms(search) << ", peak memory " << PeakMemoryKiB() / 1024
              << " MiB" << std::endl;
    return outcome.Status == TSearchStatus::Selected ? 0 : 1;
}

// ---- real word lists: one-edit misspellings --------------------------------

// Neighbours on the Russian keyboard, row by row (Windows-1251 upper case).
const std::vector<std::string> kKeyRows = {"\xC9\xD6\xD3\xCA\xC5\xCD\xC3\xD8\xD9\xC7\xD5\xDA",
                                           "\xD4\xDB\xC2\xC0\xCF\xD0\xCE\xCB\xC4\xC6\xDD",
                                           "\xDF\xD7\xD1\xCC\xC8\xD2\xDC\xC1\xDE"};

char KeyNeighbour(char c, std::mt19937& random) {
    for (const std::string& row : kKeyRows) {
        const std::size_t at = row.find(c);
        if (at != std::string::npos) {
            if (at == 0) {
                return row[1];
            }
            if (at + 1 == row.size()) {
                return row[at - 1];
            }
            return row[random() % 2 == 0 ? at - 1 : at + 1];
        }
    }
    return '\xC0';
}

// One seeded edit: a neighbour's key, a letter left out, a neighbour's key
// added, two letters swapped, or a blank put in. kind: which of the five
// (0 ... 4) it was meant to be; a swap at the last letter becomes a
// neighbour's key.
std::string Misspell(const std::string& word, std::mt19937& random, int& kind) {
    std::string out = word;
    const std::size_t at = random() % word.size();
    kind = static_cast<int>(random() % 5);
    switch (kind) {
    case 0:
        out[at] = KeyNeighbour(out[at], random);
        break;
    case 1:
        out.erase(at, 1);
        break;
    case 2:
        out.insert(at, 1, KeyNeighbour(out[at], random));
        break;
    case 3:
        if (at + 1 < out.size()) {
            std::swap(out[at], out[at + 1]);
        } else {
            out[at] = KeyNeighbour(out[at], random);
            kind = 0;
        }
        break;
    default:
        out.insert(1 + random() % word.size(), 1, ' ');
        break;
    }
    return out;
}

// The configurations a run of --misspellings compares: each --config NAME in
// turn (the program's when none), each changed by the single settings given.
struct TConfigChoice {
    std::vector<std::string> Names;
    std::optional<std::string> Code;
    std::optional<TPairCodeOptions> PairOptions; // a research variant of the pair code
    std::optional<double> MaxOutput;
    std::optional<double> EpsilonFactor;
    std::optional<std::int32_t> MaxIterations;
    TSweepKernel SweepKernel = TSweepKernel::Auto; // how the recognitions run, not what they give
};

std::vector<TNetworkConfig> ChosenConfigs(const TConfigChoice& choice) {
    std::vector<TNetworkConfig> configs;
    for (const std::string& name :
         choice.Names.empty() ? std::vector<std::string>{"program"} : choice.Names) {
        std::optional<TNetworkConfig> config = FindShippedConfig(name);
        if (!config) {
            throw std::invalid_argument("unknown configuration " + name);
        }
        if (choice.Code) {
            const std::string& code = *choice.Code;
            config->Coder = code == "program"    ? TWordCoder::Program()
                            : code == "keyboard" ? TWordCoder::Keyboard()
                            : code == "padded"   ? TWordCoder::Padded()
                            : code == "pairs"    ? TWordCoder::Pairs()
                                                 : TWordCoder::FromTableFile(code);
            config->Name += "+" + config->Coder.Name();
        }
        if (choice.PairOptions) {
            const TPairCodeOptions& o = *choice.PairOptions;
            config->Coder = TWordCoder::PairsWith(
                o, "pairs:" + std::to_string(o.OrderedBits) + "," +
                       std::to_string(o.UnorderedBits) + "," + std::to_string(o.GapBits) + "," +
                       (o.SkipBlanks ? "1" : "0") + "," + std::to_string(o.LengthElements));
            config->Name += "+" + config->Coder.Name();
        }
        if (choice.MaxOutput) {
            config->MaxOutput = *choice.MaxOutput;
        }
        if (choice.EpsilonFactor) {
            config->EpsilonFactor = *choice.EpsilonFactor;
        }
        if (choice.MaxIterations) {
            config->MaxIterations = *choice.MaxIterations;
        }
        if (choice.MaxOutput || choice.EpsilonFactor || choice.MaxIterations) {
            std::ostringstream name;
            name << config->Name << " (" << config->MaxOutput << ", " << config->EpsilonFactor
                 << ", " << config->MaxIterations << ")";
            config->Name = name.str();
        }
        configs.push_back(*config);
    }
    return configs;
}

// Loads a word list as the tool does, then times `count` seeded one-edit
// misspellings of its entries under each configuration: median and 95th
// percentile per query, on every core and on one thread, and how often the
// original word is selected, overall and by kind of edit.
int Misspellings(const std::string& path, int count, const TConfigChoice& choice) {
    const std::vector<TNetworkConfig> configs = ChosenConfigs(choice);
    TStringBTree tree;
    TWordCode code{};
    auto start = TClock::now();
    TDictionary dictionary = LoadDictionary(path, tree, code, kProgramMaxIterations);
    std::cout << path << ": " << dictionary.Entries.size() << " entries, loaded in "
              << Ms(SecondsSince(start)) << '\n';
    std::mt19937 random(2024);
    std::vector<std::pair<std::string, std::string>> queries; // misspelt, original
    std::vector<int> kinds;
    while (static_cast<int>(queries.size()) < count) {
        const std::string& word =
            dictionary.Entries[1 + random() % (dictionary.Entries.size() - 1)].Word;
        if (word.size() >= 3) {
            int kind = 0;
            queries.emplace_back(Misspell(word, random, kind), word);
            kinds.push_back(kind);
        }
    }
    static const char* const kKindNames[5] = {"key", "missing", "extra", "swapped", "blank"};
    auto printKinds = [&](const std::array<int, 5>& kindHits,
                          const std::array<int, 5>& kindTotals) {
        std::cout << "    by kind:";
        for (std::size_t k = 0; k < kindHits.size(); ++k) {
            std::cout << ' ' << kKindNames[k] << ' '
                      << (kindTotals[k] == 0 ? 0.0 : 100.0 * kindHits[k] / kindTotals[k]) << "% ("
                      << kindTotals[k] << ")";
        }
        std::cout << '\n';
    };
    std::vector<std::pair<std::string, double>> medians; // every core, per configuration
    for (const TNetworkConfig& config : configs) {
        start = TClock::now();
        ApplyConfig(dictionary, config);
        if (configs.size() > 1 || config.Name != "program") {
            std::cout << "  configuration " << config.Name << " (code " << config.Coder.Name()
                      << "), stored in " << Ms(SecondsSince(start)) << '\n';
        }
        dictionary.Network.SetSweepKernel(choice.SweepKernel);
        for (const unsigned threads : {0u, 1u}) {
            TSearchControl control;
            control.Threads = threads;
            control.Coder = &dictionary.Coder;
            std::vector<double> times;
            int hits = 0;
            std::array<int, 5> kindHits{};
            std::array<int, 5> kindTotals{};
            const double cpuStart = ProcessCpuSeconds();
            for (std::size_t q = 0; q < queries.size(); ++q) {
                const auto& [query, original] = queries[q];
                const auto queryStart = TClock::now();
                const TSearchOutcome outcome =
                    SearchWord(query, dictionary.Entries, dictionary.Network, code, false, control);
                times.push_back(SecondsSince(queryStart));
                const bool hit =
                    outcome.Status == TSearchStatus::Selected &&
                    dictionary.Entries[static_cast<std::size_t>(outcome.BestRow)].Word == original;
                hits += hit ? 1 : 0;
                kindHits[static_cast<std::size_t>(kinds[q])] += hit ? 1 : 0;
                kindTotals[static_cast<std::size_t>(kinds[q])] += 1;
            }
            const double cpu = (ProcessCpuSeconds() - cpuStart) / static_cast<double>(count);
            std::sort(times.begin(), times.end());
            const double median = times[times.size() / 2];
            const double p95 = times[times.size() * 95 / 100];
            std::cout << "  " << count << " misspellings, "
                      << (threads == 0 ? std::string("every core") : std::string("1 thread"))
                      << ": median " << Ms(median) << ", 95th percentile " << Ms(p95) << " ("
                      << (median > 0.0 ? p95 / median : 0.0) << " times the median), mean CPU "
                      << Ms(cpu) << " per query; original word selected " << 100.0 * hits / count
                      << "%\n";
            if (threads == 0) {
                printKinds(kindHits, kindTotals);
                medians.emplace_back(config.Name, median);
            }
            if (choice.Names.size() > 1 || choice.Code || choice.PairOptions) {
                break; // comparing configurations: every core only
            }
        }
    }

    // The yardstick on the same misspellings: the nearest entry by edit
    // distance, scanned on one thread (the lower row on equal distance).
    std::vector<std::string_view> words;
    words.reserve(dictionary.Entries.size());
    for (const TDictionaryEntry& entry : dictionary.Entries) {
        words.emplace_back(entry.Word);
    }
    std::vector<double> times;
    int hits = 0;
    std::array<int, 5> kindHits{};
    std::array<int, 5> kindTotals{};
    for (std::size_t q = 0; q < queries.size(); ++q) {
        const auto& [query, original] = queries[q];
        const auto queryStart = TClock::now();
        const test_support::TNearestEntry nearest =
            test_support::TEditDistanceScanner(query).Nearest(words);
        times.push_back(SecondsSince(queryStart));
        const bool hit = words[nearest.Row] == original;
        hits += hit ? 1 : 0;
        kindHits[static_cast<std::size_t>(kinds[q])] += hit ? 1 : 0;
        kindTotals[static_cast<std::size_t>(kinds[q])] += 1;
    }
    std::sort(times.begin(), times.end());
    const double scanMedian = times[times.size() / 2];
    std::cout << "  edit-distance scan, 1 thread: median " << Ms(scanMedian) << ", 95th percentile "
              << Ms(times[times.size() * 95 / 100]) << "; original word selected "
              << 100.0 * hits / count << "%\n";
    printKinds(kindHits, kindTotals);
    for (const auto& [name, median] : medians) {
        std::cout << "  median of " << name << " (every core) / the scan's: " << median / scanMedian
                  << '\n';
    }
    return 0;
}

// Loads a word list as the tool does, then re-stores it under each code in
// turn and back under the program's: the time of each and the peak memory.
int Restore(const std::string& path) {
    TStringBTree tree;
    TWordCode code{};
    auto start = TClock::now();
    TDictionary dictionary = LoadDictionary(path, tree, code, kProgramMaxIterations);
    std::cout << path << ": " << dictionary.Entries.size() << " entries, loaded in "
              << Ms(SecondsSince(start)) << ", peak memory " << PeakMemoryKiB() / 1024 << " MiB\n";
    for (const char* name : {"keyboard", "padded", "pairs", "best", "program"}) {
        start = TClock::now();
        ApplyConfig(dictionary, *FindShippedConfig(name));
        std::cout << "  re-stored under " << name << ": " << Ms(SecondsSince(start))
                  << ", peak memory " << PeakMemoryKiB() / 1024 << " MiB\n";
    }
    return 0;
}

// ---- soak: fast against literal on many word dictionaries ----------------

int Soak(int rounds) {
    std::mt19937 random(99);
    std::size_t compared = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::size_t rows = 50 + random() % 3000;
        TDictionary dictionary = MakeDictionary(rows);
        THammingNet& net = dictionary.Network;
        for (int q = 0; q < 3; ++q) {
            std::string word = dictionary.Entries[random() % rows].Word;
            if (q == 1 && !word.empty()) {
                word[random() % word.size()] = '\xC0';
            } else if (q == 2) {
                word.insert(0, " ");
            }
            TWordCode code{};
            CodeWord(word, code);
            std::vector<std::vector<double>> traces[2];
            std::int32_t rowsFound[2];
            for (int mode = 0; mode < 2; ++mode) {
                net.SetPath(mode == 1 ? TCompetitionPath::Literal : TCompetitionPath::Auto);
                rowsFound[mode] = net.Recognize(code, [&](std::int32_t, std::span<const double> v) {
                    traces[mode].emplace_back(v.begin(), v.end());
                });
            }
            net.SetPath(TCompetitionPath::Auto);
            bool same = rowsFound[0] == rowsFound[1] && traces[0].size() == traces[1].size();
            for (std::size_t p = 0; same && p < traces[0].size(); ++p) {
                same = std::memcmp(traces[0][p].data(), traces[1][p].data(),
                                   traces[0][p].size() * sizeof(double)) == 0;
                compared += traces[0][p].size();
            }
            if (!same) {
                std::cout << "DIFFERENCE: M = " << rows << ", round " << round << '\n';
                return 1;
            }
        }
        std::cout << "round " << round + 1 << '/' << rounds << ": M = " << rows << ", " << compared
                  << " values identical so far\n";
    }
    return 0;
}

std::vector<std::size_t> ParseSizes(const std::string& text) {
    std::vector<std::size_t> sizes;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, ',');) {
        sizes.push_back(std::stoul(part));
    }
    return sizes;
}

} // namespace

constexpr std::array kSweepKernels{TSweepKernel::Auto, TSweepKernel::Scalar, TSweepKernel::Avx512};

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    TOptions options;
    std::optional<std::string> misspellings;
    int misspellingCount = 1000;
    TConfigChoice choice;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::invalid_argument(argument + " needs a value");
            }
            return argv[++i];
        };
        if (argument == "--load-child") {
            return LoadChild(value());
        } else if (argument == "--misspellings") {
            misspellings = value();
            misspellingCount = i + 1 < argc && argv[i + 1][0] != '-' ? std::stoi(argv[++i]) : 1000;
        } else if (argument == "--config") {
            choice.Names.push_back(value());
        } else if (argument == "--code") {
            choice.Code = value();
        } else if (argument == "--pair-options") {
            // ORDERED,UNORDERED,GAP,SKIPBLANKS,LENGTH: a variant of the pair code
            std::stringstream parts(value());
            TPairCodeOptions o;
            char comma = 0;
            int skip = 1;
            parts >> o.OrderedBits >> comma >> o.UnorderedBits >> comma >> o.GapBits >> comma >>
                skip >> comma >> o.LengthElements;
            o.SkipBlanks = skip != 0;
            choice.PairOptions = o;
        } else if (argument == "--max-output") {
            choice.MaxOutput = std::stod(value());
        } else if (argument == "--epsilon-factor") {
            choice.EpsilonFactor = std::stod(value());
        } else if (argument == "--max-iterations") {
            choice.MaxIterations = std::stoi(value());
        } else if (argument == "--sweep-kernel") {
            const std::string name = value();
            const auto kernel =
                std::find_if(kSweepKernels.begin(), kSweepKernels.end(),
                             [&](TSweepKernel k) { return SweepKernelName(k) == name; });
            if (kernel == kSweepKernels.end()) {
                throw std::invalid_argument("unknown sweep kernel " + name);
            }
            choice.SweepKernel = *kernel;
        } else if (argument == "--restore") {
            return Restore(value());
        } else if (argument == "--soak") {
            return Soak(std::stoi(value()));
        } else if (argument == "--sizes") {
            options.Sizes = ParseSizes(value());
        } else if (argument == "--plain-limit") {
            options.PlainLimit = std::stoul(value());
        } else if (argument == "--data") {
            options.Data = value();
        } else if (argument == "--no-loads") {
            options.Loads = false;
        } else if (argument == "--no-network") {
            options.Network = false;
        } else {
            std::cerr
                << "usage: verblinka-bench [--sizes 1000,10000,...] [--plain-limit M]\n"
                   "                       [--data DIR] [--no-loads] [--no-network] | --soak "
                   "ROUNDS\n"
                   "       verblinka-bench --misspellings WORDLIST [COUNT] [--config NAME]...\n"
                   "                       [--code CODE] [--pair-options O,U,G,S,L]\n"
                   "                       [--max-output X] [--epsilon-factor K] "
                   "[--max-iterations N]\n"
                   "                       [--sweep-kernel auto|scalar|avx512]\n"
                   "       verblinka-bench --restore WORDLIST\n";
            return 2;
        }
    }
    if (misspellings) {
        return Misspellings(*misspellings, misspellingCount, choice);
    }
    for (const std::size_t rows : options.Sizes) {
        if (options.Network) {
            BenchNetwork(rows, options);
        }
    }
    if (options.Loads) {
        const std::string self = std::filesystem::canonical("/proc/self/exe").string();
        for (const std::size_t count : options.Sizes) {
            std::cout << "\n== loads of " << count << " distinct words\n";
            for (const TFileKind kind : {TFileKind::RandomWithRepeats, TFileKind::Ascending,
                                         TFileKind::Descending, TFileKind::Alphabetical}) {
                const auto path = WordFile(options.Data, kind, count);
                std::cout << "  " << Name(kind) << ": " << path.filename().string() << '\n';
                BenchLoad(path, self);
            }
        }
    }
    return 0;
}
