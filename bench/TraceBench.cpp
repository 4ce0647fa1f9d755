// verblinka-trace-bench: what tracing costs. One dictionary of M random words
// (default 1,000,000) or the words of a file, the search of a word untraced
// (SearchWord) and traced (the same search with TSearchControl::Trace, every
// recognition with its trace), the median of a few runs each, their ratio,
// and the process's peak memory after each.
// Usage: verblinka-trace-bench [M | FILE] [REPETITIONS] [WORD (Windows-1251)]
// The default word: an entry of eight letters with its fourth letter changed.
#include "dictionary/DictionaryLoad.h"
#include "reference/WordLists.h"
#include "search/SearchTrace.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

using namespace verblinka;

namespace {

template <typename Work> double MedianSeconds(int repetitions, Work&& work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The process's peak resident memory so far, in MiB.
double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : "1000000";
    const bool fromFile = source.find_first_not_of("0123456789") != std::string::npos;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
    TStringBTree tree;
    TWordCode code{};
    TDictionary dictionary;
    if (fromFile) {
        dictionary = LoadDictionary(source, tree, code, kProgramMaxIterations);
    } else {
        const long words = std::atol(source.c_str());
        std::mt19937 random(7);
        std::string text = test_support::RandomWordText(random, static_cast<std::size_t>(words), 3,
                                                        12, test_support::kUpperLetters1251);
        TDictionaryFile file(std::make_unique<TMemorySource>(std::move(text)));
        dictionary = BuildDictionary(file, tree, code, kProgramMaxIterations);
    }
    std::string query = "\xCF\xD0\xCE\xC3\xD0\xC0\xCC\xCC";
    if (argc > 3) {
        query = argv[3];
    } else {
        for (const TDictionaryEntry& entry : dictionary.Entries) {
            if (entry.Word.size() == 8) {
                query = entry.Word;
                query[3] = query[3] == '\xC0' ? '\xC1' : '\xC0';
                break;
            }
        }
    }
    const double loaded = PeakMiB();
    TSearchOutcome outcome;
    const double plain = MedianSeconds(repetitions, [&] {
        outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    });
    // Every recognition run, as a traced search must (an exact hit ends the
    // untraced one after its first): what tracing itself adds.
    TSearchControl everyStep;
    everyStep.OnStep = [](const TSearchStep&, std::int32_t) {};
    const double allSteps = MedianSeconds(repetitions, [&] {
        outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code, false, everyStep);
    });
    const double afterPlain = PeakMiB();
    TSearchTrace traced;
    const double tracing = MedianSeconds(repetitions, [&] {
        traced = TraceSearch(query, dictionary.Entries, dictionary.Network, code);
    });
    const double afterTraced = PeakMiB();
    std::cout << dictionary.Entries.size() << " entries, a " << query.size()
              << "-byte query, median of " << repetitions << ":\n  search untraced "
              << plain * 1000.0 << " ms (row " << outcome.BestRow << ")\n  search traced   "
              << tracing * 1000.0 << " ms (row " << traced.BestRow
              << ")\n  traced / untraced: " << tracing / plain
              << "\n  untraced, every recognition run: " << allSteps * 1000.0
              << " ms; traced / that: " << tracing / allSteps << "\n  peak memory: loaded "
              << loaded << " MiB, after the untraced searches " << afterPlain
              << " MiB, after the traced ones " << afterTraced << " MiB\n";
    // The view's replay of the chosen recognition with other pass limits: its
    // first layer recomputed from the code, then the passes over doubles.
    if (traced.Status == TSearchStatus::Selected) {
        const TRecognitionTrace& chosen =
            *traced.Steps[static_cast<std::size_t>(traced.ChosenStep)].Trace;
        for (const std::int32_t limit : {20, 100}) {
            TRecognitionTrace replay;
            const double replaying = MedianSeconds(
                repetitions, [&] { replay = ReplayTrace(dictionary.Network, chosen, limit); });
            std::cout << "  replay with limit " << limit << ": " << replaying * 1000.0 << " ms, "
                      << replay.CompetitionPasses() << " passes; peak memory " << PeakMiB()
                      << " MiB\n";
        }
    }
    return outcome.BestRow == traced.BestRow ? 0 : 1;
}
