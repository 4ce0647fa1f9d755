// verblinka-trace-bench: what tracing costs. One dictionary of M random words
// (default 1,000,000), the search of an eight-letter word untraced
// (SearchWord) and traced (TraceSearch, every recognition with its trace),
// the median of a few runs each, and their ratio.
// Usage: verblinka-trace-bench [M] [REPETITIONS]
#include "dictionary/DictionaryLoad.h"
#include "search/SearchTrace.h"

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

} // namespace

int main(int argc, char** argv) {
    const long words = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
    std::mt19937 random(7);
    std::string text;
    for (long i = 0; i < words; ++i) {
        const int length = 3 + static_cast<int>(random() % 10);
        for (int k = 0; k < length; ++k) {
            text.push_back(static_cast<char>(0xC0 + random() % 32));
        }
        text.push_back(' ');
    }
    TDictionaryFile file(std::make_unique<TMemorySource>(std::move(text)));
    TStringBTree tree;
    TWordCode code{};
    TDictionary dictionary = BuildDictionary(file, tree, code, kProgramMaxIterations);
    // An entry of eight letters with its fourth letter changed.
    std::string query = "\xCF\xD0\xCE\xC3\xD0\xC0\xCC\xCC";
    for (const TDictionaryEntry& entry : dictionary.Entries) {
        if (entry.Word.size() == 8) {
            query = entry.Word;
            query[3] = query[3] == '\xC0' ? '\xC1' : '\xC0';
            break;
        }
    }
    TSearchOutcome outcome;
    const double plain = MedianSeconds(repetitions, [&] {
        outcome = SearchWord(query, dictionary.Entries, dictionary.Network, code);
    });
    TSearchTrace traced;
    const double tracing = MedianSeconds(repetitions, [&] {
        traced = TraceSearch(query, dictionary.Entries, dictionary.Network, code);
    });
    std::cout << dictionary.Entries.size() << " entries, eight-letter query, median of "
              << repetitions << ":\n  search untraced " << plain * 1000.0 << " ms (row "
              << outcome.BestRow << ")\n  search traced   " << tracing * 1000.0 << " ms (row "
              << traced.BestRow << ")\n  traced / untraced: " << tracing / plain << '\n';
    return outcome.BestRow == traced.BestRow ? 0 : 1;
}
