// verblinka-lookup: loads a dictionary as the program's open command does and
// looks words up in it as the search command does, one line per word.
#include "dictionary/DictionaryLoad.h"
#include "engine/Precision.h"
#include "search/Search.h"
#include "text/CodePage1251.h"

#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace verblinka;

constexpr const char* kUsage =
    R"(Usage: verblinka-lookup [OPTIONS] DICTIONARY [WORD ...]

Builds a dictionary from the text file DICTIONARY exactly as the program's
open command does (words upper-cased, counted and sorted by bytes, entry 0 the
empty string, each entry stored in a Hamming network), then looks up each WORD
as the search command does. Without WORDs, each line of standard input
(without its line end) is looked up.

For each word it prints one line: the selected row, a tab, the selected entry,
a tab, and the entry's distance from the word.

Options:
  --raw      take words and print entries as Windows-1251 bytes, unconverted
             (by default they are UTF-8 text, converted as the window does)
  --explain  before each result, print one line per recognition: the word and
             every variant with a blank inserted, the row the network
             returned, its entry and distance, and which one was chosen
  --reference
             recognize with the network's literal algorithms only (about
             M x M additions per competition pass, so slow on large
             dictionaries); the results are the same, this is for checking
  --help     show this text

A dictionary file in UTF-8 is converted to Windows-1251 before its words are
read; any other file is read byte for byte.

Exit status: 0 when every word was looked up; 1 when a word was refused (its
message goes to standard error); 2 when the dictionary could not be loaded or
the command line is wrong.
)";

struct Options {
    bool raw = false;
    bool explain = false;
    bool reference = false;
    std::string dictionary;
    std::vector<std::string> words;
    bool wordsGiven = false;
};

class Lookup {
public:
    Lookup(const Options& options, TDictionary& dictionary)
        : options_(options), dictionary_(dictionary) {}

    // Looks one word up and prints its line; false when the search refused it.
    bool Run(std::string_view typed) {
        const std::string query = options_.raw ? std::string(typed) : Utf8To1251(typed);
        const TSearchOutcome outcome =
            SearchWord(query, dictionary_.Entries, dictionary_.Network, code_, options_.explain);
        if (outcome.Status != TSearchStatus::Found) {
            std::cout.flush();
            std::cerr << outcome.Message() << '\n';
            return false;
        }
        if (options_.explain) {
            Explain(outcome);
        }
        std::cout << outcome.BestRow << '\t' << Show(EntryAt(outcome.BestRow)) << '\t'
                  << outcome.BestDistance << '\n';
        return true;
    }

private:
    const std::string& EntryAt(std::int32_t row) const {
        return dictionary_.Entries[static_cast<std::size_t>(row)].Word;
    }

    std::string Show(std::string_view bytes) const {
        return options_.raw ? std::string(bytes) : Utf8From1251(bytes);
    }

    void Explain(const TSearchOutcome& outcome) const {
        for (std::size_t i = 0; i < outcome.Steps.size(); ++i) {
            const TSearchStep& step = outcome.Steps[i];
            std::cout << "# " << (i == 0 ? std::string("word") : "variant " + std::to_string(i))
                      << " \"" << Show(step.Text) << "\": row " << step.Row << " \""
                      << Show(EntryAt(step.Row)) << "\", distance " << step.Distance
                      << (static_cast<std::int32_t>(i) == outcome.ChosenStep ? " (chosen)" : "")
                      << '\n';
        }
    }

    const Options& options_;
    TDictionary& dictionary_;
    TWordCode code_{};
};

int ParseArguments(int argc, char** argv, Options& options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--help") {
            std::cout << kUsage << "\nThe network's 64-bit-significand arithmetic in this build: "
                      << (precision::kEmulated ? "emulated (portable C++)" : "x87 long double")
                      << ".\n";
            return 0;
        } else if (!optionsEnded && argument == "--raw") {
            options.raw = true;
        } else if (!optionsEnded && argument == "--explain") {
            options.explain = true;
        } else if (!optionsEnded && argument == "--reference") {
            options.reference = true;
        } else if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
            std::cerr << "verblinka-lookup: unknown option " << argument
                      << "\nTry 'verblinka-lookup --help'.\n";
            return 2;
        } else if (options.dictionary.empty()) {
            options.dictionary = argument;
        } else {
            options.words.emplace_back(argument);
            options.wordsGiven = true;
        }
    }
    if (options.dictionary.empty()) {
        std::cerr << "verblinka-lookup: no dictionary file given\nTry 'verblinka-lookup --help'.\n";
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options options;
    if (const int status = ParseArguments(argc, argv, options); status >= 0) {
        return status;
    }

    TDictionary dictionary;
    try {
        TStringBTree tree;
        TWordCode code{};
        std::error_code ignored;
        const auto path = std::filesystem::absolute(options.dictionary, ignored);
        dictionary = LoadDictionary(path.empty() ? options.dictionary : path.string(), tree, code,
                                    kProgramMaxIterations);
    } catch (const std::bad_alloc&) {
        std::cerr << "Недостаточно памяти для словаря.\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << WithFullStop(error.what()) << '\n';
        return 2;
    }

    dictionary.Network.SetReferenceMode(options.reference);
    Lookup lookup(options, dictionary);
    int status = 0;
    if (options.wordsGiven) {
        for (const std::string& word : options.words) {
            if (!lookup.Run(word)) {
                status = 1;
            }
        }
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!lookup.Run(line)) {
                status = 1;
            }
        }
    }
    std::cout.flush();
    return status;
}
