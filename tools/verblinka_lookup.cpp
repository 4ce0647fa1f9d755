// verblinka-lookup: loads a dictionary as the program's open command does and
// looks words up in it as the search command does, one line per word.
#include "dictionary/DictionaryLoad.h"
#include "engine/Precision.h"
#include "search/Configuration.h"
#include "search/Experiment.h"
#include "search/Messages.h"
#include "search/Search.h"
#include "text/CodePage1251.h"
#include "tools/LoadProgress.h"
#include "tools/StandardStreams.h"
#include "tools/TraceOutput.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
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
a tab, and the entry's distance from the word. Control characters in entries
and words are written visibly: \t, \n, \r, and \xHH for the others (HH the
byte's Windows-1251 value in hexadecimal); a backslash is written \\. An
argument that a message repeats (an unknown option, a file that cannot be
opened) is written alike: \xHH for its control characters and stray bytes.

Options:
  --raw      take words and print entries as Windows-1251 bytes, unconverted
             and unescaped (by default each word is decided as a dictionary
             file is: one that is mostly UTF-8 is converted as the window
             converts its text, any other is taken as Windows-1251 bytes; and
             entries are printed as UTF-8)
  --explain  before each result, print one line per recognition, as it is
             made: the word and every variant with a blank inserted, the row
             the network returned, its entry and distance, and which one was
             chosen (for very long output, named on a last line instead)
  --trace    after each result, for every recognition: the first layer's
             histogram (value: units) and a table of the competition, one line
             per pass (pass, stable, winner, units above zero, then the exact
             values of the tracked units: the ten first-layer leaders and the
             winner); a recognition reused for a repeated code says so
  --json     print one JSON object per word instead of the text lines: query,
             row, entry, distance, chosen_step, and steps (text, row, entry,
             distance, passes, end "stable" or "pass limit", reused_from);
             with --trace each step also has a trace (histogram, leaders,
             tracked rows, and per pass: stable, winner, above_zero, values;
             a reused step repeats the trace of the step it reused).
             Texts are Unicode even with --raw; numbers read back exactly.
             A refused word gives an object with "error". With --evaluate
             or --pairs: one object per line for each configuration and
             kind (config, code, max_output, epsilon_factor,
             max_iterations, kind, title, hits, total, first_hit, median_ms)
  --reference
             recognize with the network's literal algorithms only (about
             M x M additions per competition pass, so slow on large
             dictionaries); the results are the same, this is for checking
  --config NAME
             put the network under a shipped configuration before any
             lookup: program (the default: the program as it is), keyboard
             (the keyboard code), padded (the padded code), pairs (the
             letter-pair code), best (the best configuration the lab found:
             the letter-pair code with the clip level at 1000, so that the
             first layer's best row wins). With --evaluate or --pairs it may
             be given several times, one row of the table each
  --code program|keyboard|padded|pairs|FILE
             the code of the words: the program's (8 bits of each byte, 0
             past the word), the keyboard code (neighbouring keys of the
             Russian and Latin layouts get close 8-bit codes), the padded
             code (the blank's bits past the word), the letter-pair code (a
             signature of the word's letter pairs, a blank being no letter),
             or a table in FILE: UTF-8 lines of a letter, a blank and its 8
             bits, most significant first ("А 11000000"); "#" starts a
             comment; letters it does not give keep the program's bits
  --max-output X
             the clip level of the competition, a number above 0 (100)
  --epsilon-factor K
             the inhibition weight is K / M for M entries, K a number of at
             least 0 (0.5)
  --max-iterations N
             the pass limit, 0 ... 1000 (5)
             These four change the configuration chosen by --config (every
             one of them), for every lookup and evaluation.
  --evaluate N
             instead of looking words up, measure how often the search finds
             the word meant: N seeded misspellings of each of five kinds
             (a neighbouring key, a missing letter, an extra letter, two
             adjacent letters swapped, a blank inside the word) made from the
             dictionary's entries of four letters or more, searched under
             each configuration; prints the first-hit rate (the search
             selected the intended entry) per kind and overall, in percent,
             and the median time of a search. N is 1 ... 100000
  --seed S   the seed of the misspellings, 0 ... 4294967295 (1)
  --pairs FILE
             evaluate the pairs of FILE as well (or alone, without
             --evaluate): lines of a misspelling, a tab and the word meant,
             in UTF-8 or Windows-1251 (decided as a dictionary file is)
  --quiet    show no progress while the dictionary loads (by default, where
             standard error is a terminal and the load lasts over a second,
             the share of the file read is shown there and erased when done)
  --help     show this text
  --version  show the program's version
  --         ends the options: every later argument is a file or a word, also
             one that begins with "-"

A dictionary file in UTF-8 (its valid multi-byte sequences outnumber its
broken ones, or it has the byte-order mark) or in UTF-16 with its byte-order
mark (and Latin or Cyrillic text after it) is converted to Windows-1251 before
its words are read; any other file is read byte for byte.

Exit status: 0 when every word was looked up (or the evaluation ran); 1 when
a word was refused (its message goes to standard error); 2 when the
dictionary, a code's table or the pairs could not be read, or the command
line is wrong (a bad value is refused before any work); 3 when the output could not be written or standard
input could not be read (the tool stops at the first failure).
)";

constexpr int kExitWriteFailed = 3;
constexpr int kExitReadFailed = 3;

// A write to standard output failed: the output is lost, so the run is a failure.
class TWriteError : public std::runtime_error {
public:
    explicit TWriteError(int error)
        : std::runtime_error(std::string("verblinka-lookup: cannot write the output: ") +
                             (error != 0 ? std::strerror(error) : "write error")) {}
};

std::string ReadFailureText(int error) {
    return std::string("verblinka-lookup: cannot read standard input: ") + std::strerror(error);
}

// Makes sure what was written so far reached standard output; throws
// TWriteError with the system's reason at the first failure (a full disk, a
// closed descriptor, a reader that went away).
void CheckOutput(const TOutputBuffer& output) {
    if (!std::cout.flush()) {
        throw TWriteError(output.Error());
    }
}

// A command-line argument echoed on standard error (an unknown option, a file
// name): its valid UTF-8 characters as they are, except the control
// characters (C0, DEL and C1), which, like every byte outside a valid
// sequence, are written \xHH (HH the byte's value); a backslash is written
// \\. No argument can drive the terminal.
std::string EscapeArgument(std::string_view bytes) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        TUtf8Decoder decoder;
        std::size_t next = i;
        TUtf8Decoder::TResult result = TUtf8Decoder::TResult::NeedMore;
        while (result == TUtf8Decoder::TResult::NeedMore && next < bytes.size()) {
            result = decoder.Feed(static_cast<std::uint8_t>(bytes[next++]));
        }
        const char32_t c = decoder.CodePoint();
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (result == TUtf8Decoder::TResult::CodePoint && !control) {
            out += c == '\\' ? std::string_view("\\\\") : bytes.substr(i, next - i);
            i = next;
            continue;
        }
        // One byte, escaped; what follows it is looked at afresh.
        const auto byte = static_cast<std::uint8_t>(bytes[i++]);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

struct TOptions {
    bool Raw = false;
    bool Explain = false;
    bool Reference = false;
    bool Trace = false;
    bool Json = false;
    bool Quiet = false;
    std::optional<std::string> Dictionary;
    std::vector<std::string> Words;
    bool WordsGiven = false;
    // The lab's settings, each checked as it is read.
    std::vector<std::string> Configs;
    std::optional<std::string> Code;
    std::optional<double> MaxOutput;
    std::optional<double> EpsilonFactor;
    std::optional<std::int32_t> MaxIterations;
    std::optional<std::size_t> Evaluate;
    std::uint32_t Seed = 1;
    std::optional<std::string> Pairs;
};

// A value of an option that the tool does not take: the message, exit 2.
class TBadValue : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Quoted(std::string_view argument) {
    return "'" + EscapeArgument(argument) + "'";
}

// The whole of text as a number, or nothing.
std::optional<double> NumberOf(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> IntegerOf(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::int64_t IntegerIn(std::string_view option, std::string_view text, std::int64_t least,
                       std::int64_t most) {
    const std::optional<std::int64_t> value = IntegerOf(text);
    if (!value || *value < least || *value > most) {
        throw TBadValue(std::string(option) + " needs a whole number from " +
                        std::to_string(least) + " to " + std::to_string(most) + ", not " +
                        Quoted(text));
    }
    return *value;
}

std::string ShippedNames() {
    std::string names;
    for (const TNetworkConfig& config : ShippedConfigs()) {
        names += (names.empty() ? "" : ", ") + config.Name;
    }
    return names;
}

// Reads the value of a lab option; throws TBadValue.
void ReadLabOption(std::string_view option, std::string_view value, TOptions& options) {
    if (option == "--config") {
        if (!FindShippedConfig(value)) {
            throw TBadValue("unknown configuration " + Quoted(value) + " (there are " +
                            ShippedNames() + ")");
        }
        options.Configs.emplace_back(value);
    } else if (option == "--code") {
        if (value.empty()) {
            throw TBadValue("--code needs program, keyboard, padded, pairs or a table's file");
        }
        options.Code = value;
    } else if (option == "--max-output") {
        const std::optional<double> number = NumberOf(value);
        if (!number || !(*number > 0.0)) {
            throw TBadValue("--max-output needs a number above 0, not " + Quoted(value));
        }
        options.MaxOutput = number;
    } else if (option == "--epsilon-factor") {
        const std::optional<double> number = NumberOf(value);
        if (!number || !(*number >= 0.0)) {
            throw TBadValue("--epsilon-factor needs a number of at least 0, not " + Quoted(value));
        }
        options.EpsilonFactor = number;
    } else if (option == "--max-iterations") {
        options.MaxIterations =
            static_cast<std::int32_t>(IntegerIn(option, value, 0, kMostMaxIterations));
    } else if (option == "--evaluate") {
        options.Evaluate = static_cast<std::size_t>(IntegerIn(option, value, 1, 100000));
    } else if (option == "--seed") {
        options.Seed = static_cast<std::uint32_t>(IntegerIn(option, value, 0, 4294967295));
    } else if (option == "--pairs") {
        options.Pairs = value;
    }
}

bool IsLabOption(std::string_view argument) {
    for (const char* option : {"--config", "--code", "--max-output", "--epsilon-factor",
                               "--max-iterations", "--evaluate", "--seed", "--pairs"}) {
        if (argument == option) {
            return true;
        }
    }
    return false;
}

// The configurations options name, each changed by the single settings
// given; a code's table is read here (throws TCodeTableError).
std::vector<TNetworkConfig> ChosenConfigs(const TOptions& options) {
    std::optional<TWordCoder> coder;
    if (options.Code) {
        const std::string& code = *options.Code;
        coder = code == "program"    ? TWordCoder::Program()
                : code == "keyboard" ? TWordCoder::Keyboard()
                : code == "padded"   ? TWordCoder::Padded()
                : code == "pairs"    ? TWordCoder::Pairs()
                                     : TWordCoder::FromTableFile(code);
    }
    std::vector<TNetworkConfig> configs;
    for (const std::string& name :
         options.Configs.empty() ? std::vector<std::string>{"program"} : options.Configs) {
        TNetworkConfig config = *FindShippedConfig(name);
        if (coder) {
            config.Coder = *coder;
            config.Name += "+" + coder->Name();
        }
        config.MaxOutput = options.MaxOutput.value_or(config.MaxOutput);
        config.EpsilonFactor = options.EpsilonFactor.value_or(config.EpsilonFactor);
        config.MaxIterations = options.MaxIterations.value_or(config.MaxIterations);
        if (options.MaxOutput || options.EpsilonFactor || options.MaxIterations) {
            std::ostringstream settings;
            settings << " (" << config.MaxOutput << ", " << config.EpsilonFactor << ", "
                     << config.MaxIterations << ")";
            config.Name += settings.str();
        }
        configs.push_back(std::move(config));
    }
    return configs;
}

class TLookup {
public:
    TLookup(const TOptions& options, TDictionary& dictionary)
        : options_(options), dictionary_(dictionary) {}

    // Looks one word up and prints its line; false when the search refused it.
    bool Run(std::string_view typed) {
        // Decided as a dictionary file is: mostly valid UTF-8 is text (a
        // stray byte in it one substitute), anything else Windows-1251 bytes.
        bool substituted = false;
        const std::string query = options_.Raw || !WeighsAsUtf8(typed)
                                      ? std::string(typed)
                                      : Utf8To1251(typed, substituted);
        if (options_.Trace || options_.Json) {
            return PrintTracedLookup(std::cout, std::cerr, query, dictionary_, code_,
                                     {options_.Trace, options_.Json, options_.Explain},
                                     [this](std::string_view bytes) { return Show(bytes); });
        }
        TSearchOutcome outcome;
        TStepPrinter printer(*this);
        if (const std::optional<TSearchStatus> refusal =
                CheckSearchInput(query, dictionary_.Entries, substituted)) {
            outcome.Status = *refusal;
        } else {
            TSearchControl control;
            control.Coder = &dictionary_.Coder;
            if (options_.Explain) {
                control.OnStep = [&](const TSearchStep& step, std::int32_t index) {
                    printer.Step(step, index);
                };
            }
            outcome =
                SearchWord(query, dictionary_.Entries, dictionary_.Network, code_, false, control);
        }
        if (outcome.Status != TSearchStatus::Selected) {
            std::cout.flush();
            std::cerr << outcome.Message() << '\n';
            return false;
        }
        if (options_.Explain) {
            printer.Finish();
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
        return options_.Raw ? std::string(bytes) : Utf8From1251(Escape1251(bytes));
    }

    // --explain's lines, each printed as its step is made. "(chosen)" marks
    // the step no later one ties or beats, so the lines from the best step so
    // far wait until a later step settles them; past a bound they go out
    // unmarked and a last line names the chosen step instead, so that memory
    // stays bounded whatever the query's length.
    class TStepPrinter {
    public:
        explicit TStepPrinter(const TLookup& lookup) : lookup_(lookup) {}

        void Step(const TSearchStep& step, std::int32_t index) {
            std::string line = "# " + Name(index) + " \"" + lookup_.Show(step.Text) + "\": row " +
                               std::to_string(step.Row) + " \"" +
                               lookup_.Show(lookup_.EntryAt(step.Row)) + "\", distance " +
                               std::to_string(step.Distance);
            line += '\n';
            const bool best = index == 0 || step.Distance <= bestDistance_;
            if (best) {
                bestDistance_ = step.Distance;
                chosen_ = index;
            }
            if (streaming_) {
                std::cout << line;
                return;
            }
            if (best) {
                std::cout << bestLine_ << after_; // none of them is chosen
                bestLine_ = std::move(line);
                after_.clear();
            } else {
                after_ += line;
            }
            if (bestLine_.size() + after_.size() > kPendingBytes) {
                std::cout << bestLine_ << after_;
                bestLine_.clear();
                after_.clear();
                streaming_ = true;
            }
        }

        void Finish() {
            if (streaming_) {
                std::cout << "# chosen: " << Name(chosen_) << '\n';
                return;
            }
            if (!bestLine_.empty()) {
                bestLine_.pop_back(); // its line end goes after the mark
            }
            std::cout << bestLine_ << " (chosen)\n" << after_;
        }

    private:
        static constexpr std::size_t kPendingBytes = 1 << 20;
        static std::string Name(std::int32_t index) {
            return index == 0 ? std::string("word") : "variant " + std::to_string(index);
        }

        const TLookup& lookup_;
        std::string bestLine_; // with its line end
        std::string after_;
        std::int32_t bestDistance_ = 0;
        std::int32_t chosen_ = 0;
        bool streaming_ = false;
    };

    const TOptions& options_;
    TDictionary& dictionary_;
    TWordCode code_{};
};

int ParseArguments(int argc, char** argv, TOptions& options, const TOutputBuffer& output) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--help") {
            std::cout << kUsage << "\nThe network's 64-bit-significand arithmetic in this build: "
                      << (precision::kEmulated ? "emulated (portable C++)" : "x87 long double")
                      << ".\n";
            CheckOutput(output);
            return 0;
        } else if (!optionsEnded && argument == "--version") {
            std::cout << "verblinka-lookup " << VERBLINKA_VERSION << '\n';
            CheckOutput(output);
            return 0;
        } else if (!optionsEnded && argument == "--raw") {
            options.Raw = true;
        } else if (!optionsEnded && argument == "--explain") {
            options.Explain = true;
        } else if (!optionsEnded && argument == "--trace") {
            options.Trace = true;
        } else if (!optionsEnded && argument == "--json") {
            options.Json = true;
        } else if (!optionsEnded && argument == "--reference") {
            options.Reference = true;
        } else if (!optionsEnded && argument == "--quiet") {
            options.Quiet = true;
        } else if (!optionsEnded && IsLabOption(argument)) {
            if (i + 1 >= argc) {
                std::cerr << "verblinka-lookup: " << argument
                          << " needs a value\nTry 'verblinka-lookup --help'.\n";
                return 2;
            }
            try {
                ReadLabOption(argument, argv[++i], options);
            } catch (const TBadValue& error) {
                std::cerr << "verblinka-lookup: " << error.what() << '\n';
                return 2;
            }
        } else if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
            std::cerr << "verblinka-lookup: unknown option " << EscapeArgument(argument)
                      << "\nTry 'verblinka-lookup --help'.\n";
            return 2;
        } else if (!options.Dictionary) {
            options.Dictionary = argument; // an empty one is a file that cannot be opened
        } else {
            options.Words.emplace_back(argument);
            options.WordsGiven = true;
        }
    }
    if (!options.Dictionary) {
        std::cerr << "verblinka-lookup: no dictionary file given\nTry 'verblinka-lookup --help'.\n";
        return 2;
    }
    const bool evaluating = options.Evaluate || options.Pairs;
    if (evaluating && options.WordsGiven) {
        std::cerr << "verblinka-lookup: --evaluate and --pairs look no words up\n";
        return 2;
    }
    if (!evaluating && options.Configs.size() > 1) {
        std::cerr << "verblinka-lookup: several --config only with --evaluate or --pairs\n";
        return 2;
    }
    return -1;
}

// --evaluate and --pairs: the experiment under every configuration, its table.
int Evaluate(const TOptions& options, TDictionary& dictionary,
             const std::vector<TNetworkConfig>& configs, std::vector<TMisspelling> pairs,
             const TOutputBuffer& output) {
    std::vector<TMisspelling> misspellings;
    if (options.Evaluate) {
        misspellings = MakeMisspellings(dictionary.Entries, *options.Evaluate, options.Seed);
    }
    misspellings.insert(misspellings.end(), std::make_move_iterator(pairs.begin()),
                        std::make_move_iterator(pairs.end()));
    if (misspellings.empty()) {
        std::cerr << "verblinka-lookup: nothing to evaluate: the dictionary has no entry of four "
                     "letters or more\n";
        return 1;
    }
    std::optional<std::vector<TConfigResult>> results;
    try {
        results = RunExperiment(dictionary, configs, misspellings);
    } catch (...) {
        std::cerr << FailureText(std::current_exception()) << '\n';
        return 2;
    }
    try {
        PrintEvaluation(std::cout, *results, options.Json);
        CheckOutput(output);
    } catch (const TWriteError& error) {
        std::cerr << error.what() << '\n';
        return kExitWriteFailed;
    }
    return 0;
}

int RunTool(int argc, char** argv, const TOutputBuffer& output) {
    TOptions options;
    try {
        if (const int status = ParseArguments(argc, argv, options, output); status >= 0) {
            return status;
        }
    } catch (const TWriteError& error) { // --help could not be written
        std::cerr << error.what() << '\n';
        return kExitWriteFailed;
    }
    // The code's table and the pairs are read before any work, so that a bad
    // one costs no load.
    std::vector<TNetworkConfig> configs;
    std::vector<TMisspelling> pairs;
    try {
        configs = ChosenConfigs(options);
        if (options.Pairs) {
            pairs = ReadMisspellingPairs(*options.Pairs);
        }
    } catch (const TCodeTableError& error) {
        // A file that cannot be read may be a code's name mistyped.
        std::cerr << "verblinka-lookup: "
                  << (error.Line == 0 ? "--code takes program, keyboard, padded, pairs or a "
                                        "table's file: "
                                      : "")
                  << EscapeArgument(error.what()) << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "verblinka-lookup: " << EscapeArgument(error.what()) << '\n';
        return 2;
    }
    // Words are to come from a standard input that is closed: fail before the
    // load, whose file would otherwise take the free descriptor and be read
    // as the input.
    if (!options.WordsGiven && !options.Evaluate && !options.Pairs &&
        ::fcntl(STDIN_FILENO, F_GETFD) < 0) {
        std::cerr << ReadFailureText(errno) << '\n';
        return kExitReadFailed;
    }

    TDictionary dictionary;
    try {
        TStringBTree tree;
        TWordCode code{};
        // Opened as given: a full path may be longer than the system takes.
        TLoadProgress progress(!options.Quiet);
        dictionary = LoadDictionary(*options.Dictionary, tree, code, kProgramMaxIterations, {},
                                    progress.Control());
    } catch (const TOpenError&) {
        // The message names the file by its full path, as the window does.
        std::error_code ignored;
        const auto path = options.Dictionary->empty()
                              ? std::filesystem::path()
                              : std::filesystem::absolute(*options.Dictionary, ignored);
        std::cerr << WithFullStop(TOpenError(EscapeArgument(path.empty() ? *options.Dictionary
                                                                         : path.string()))
                                      .what())
                  << '\n';
        return 2;
    } catch (...) {
        std::cerr << FailureText(std::current_exception(), kMessageDictionaryOutOfMemory) << '\n';
        return 2;
    }

    dictionary.Network.SetReferenceMode(options.Reference);
    if (options.Evaluate || options.Pairs) {
        return Evaluate(options, dictionary, configs, std::move(pairs), output);
    }
    try {
        ApplyConfig(dictionary, configs.front());
    } catch (...) {
        std::cerr << FailureText(std::current_exception()) << '\n';
        return 2;
    }
    TLookup lookup(options, dictionary);
    int status = 0;
    // A failed write is noticed when the buffer goes out; the state of the
    // stream after each word stops a long batch at once.
    auto run = [&](std::string_view word) {
        if (!lookup.Run(word)) {
            status = 1;
        }
        if (!std::cout) {
            throw TWriteError(output.Error());
        }
    };
    try {
        if (options.WordsGiven) {
            for (const std::string& word : options.Words) {
                run(word);
            }
        } else {
            TInputLines input(STDIN_FILENO);
            std::string line;
            while (input.Next(line)) {
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                run(line);
            }
            if (input.Error() != 0) {
                CheckOutput(output); // the answers so far go out before the message
                std::cerr << ReadFailureText(input.Error()) << '\n';
                return kExitReadFailed;
            }
        }
        CheckOutput(output);
    } catch (const TWriteError& error) {
        std::cerr << error.what() << '\n';
        return kExitWriteFailed;
    }
    return status;
}

// Standard output through a TOutputBuffer for the guard's lifetime; what is
// still buffered at its end (a run ended by an exception) goes out then.
class TOutputRedirect {
public:
    explicit TOutputRedirect(TOutputBuffer& buffer) : previous_(std::cout.rdbuf(&buffer)) {}
    ~TOutputRedirect() {
        std::cout.flush();
        std::cout.rdbuf(previous_);
    }
    TOutputRedirect(const TOutputRedirect&) = delete;
    TOutputRedirect& operator=(const TOutputRedirect&) = delete;

private:
    std::streambuf* previous_;
};

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Whatever escapes the tool's own handling still ends with a message and
    // a failure status, never with an unexplained abort.
    TOutputBuffer output(STDOUT_FILENO);
    const TOutputRedirect redirect(output);
    try {
        return RunTool(argc, argv, output);
    } catch (const std::exception& error) {
        std::cerr << "verblinka-lookup: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "verblinka-lookup: unknown error\n";
    }
    return 2;
}
