// The lab's experiment: the misspellings are what their kinds say and the
// same for a seed, a file of pairs reads alike in either encoding and a bad
// line is named, and the counts of a tiny experiment are the ones worked out
// by hand, with the dictionary back under its configuration afterwards.
#include "search/Experiment.h"
#include "reference/TestSupport.h"
#include "reference/WordLists.h"
#include "text/CodePage1251.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace verblinka {
namespace {

using test_support::DictionaryOf;

bool IsNeighbour(char a, char b) {
    return KeyboardNeighbours(static_cast<std::uint8_t>(a)).find(b) != std::string_view::npos;
}

// Whether text is word with one byte added at some place p (where added(p) holds).
template <typename Added>
bool OneAdded(const std::string& word, const std::string& text, Added&& added) {
    if (text.size() != word.size() + 1) {
        return false;
    }
    for (std::size_t p = 0; p < text.size(); ++p) {
        if (text.substr(0, p) + text.substr(p + 1) == word && added(p)) {
            return true;
        }
    }
    return false;
}

// What each kind promises, checked on the pair itself.
std::string KindProblem(const TMisspelling& m) {
    const std::string& w = m.Intended;
    const std::string& t = m.Text;
    std::vector<std::size_t> differ;
    for (std::size_t p = 0; p < std::min(w.size(), t.size()); ++p) {
        if (w[p] != t[p]) {
            differ.push_back(p);
        }
    }
    switch (*m.Kind) {
    case TMisspellingKind::Neighbour:
        return t.size() == w.size() && differ.size() == 1 && IsNeighbour(w[differ[0]], t[differ[0]])
                   ? ""
                   : "not one letter replaced by a neighbouring key's";
    case TMisspellingKind::Missing:
        return OneAdded(t, w, [](std::size_t) { return true; }) ? "" : "not one letter left out";
    case TMisspellingKind::Extra:
        return OneAdded(w, t,
                        [&](std::size_t p) {
                            return (p > 0 && IsNeighbour(t[p - 1], t[p])) ||
                                   (p + 1 < t.size() && IsNeighbour(t[p + 1], t[p]));
                        })
                   ? ""
                   : "not a neighbouring key's letter added";
    case TMisspellingKind::Swapped:
        return t.size() == w.size() && differ.size() == 2 && differ[1] == differ[0] + 1 &&
                       w[differ[0]] == t[differ[1]] && w[differ[1]] == t[differ[0]]
                   ? ""
                   : "not two adjacent letters swapped";
    case TMisspellingKind::Blank:
        return OneAdded(w, t,
                        [&](std::size_t p) { return t[p] == ' ' && p > 0 && p + 1 < t.size(); })
                   ? ""
                   : "not a blank inside the word";
    }
    return "no kind";
}

TEST(ExperimentTest, MisspellingsAreOfTheirKindFromLongEntriesAndTheSameForASeed) {
    std::mt19937 random(3);
    // Russian and Latin letters, a digit (no key neighbours), short words.
    const TDictionary dictionary = DictionaryOf(
        test_support::RandomWordText(random, 400, 1, 9, "\xC0\xC1\xCA\xCE\xD2\xDF\xA8QAZ7"));
    const std::vector<TMisspelling> made = MakeMisspellings(dictionary.Entries, 40, 11);
    ASSERT_EQ(made.size(), 5u * 40u);
    std::set<std::string> entries;
    for (const auto& entry : dictionary.Entries) {
        entries.insert(entry.Word);
    }
    for (std::size_t i = 0; i < made.size(); ++i) {
        const TMisspelling& m = made[i];
        ASSERT_TRUE(m.Kind.has_value());
        EXPECT_EQ(static_cast<std::size_t>(*m.Kind), i / 40) << "grouped by kind";
        EXPECT_TRUE(entries.count(m.Intended) == 1 && m.Intended.size() >= 4) << m.Intended;
        EXPECT_EQ(KindProblem(m), "")
            << MisspellingKindTitle(*m.Kind) << ": " << m.Intended << " -> " << m.Text;
    }
    const std::vector<TMisspelling> again = MakeMisspellings(dictionary.Entries, 40, 11);
    const std::vector<TMisspelling> other = MakeMisspellings(dictionary.Entries, 40, 12);
    std::size_t same = 0;
    std::size_t sameAsOther = 0;
    for (std::size_t i = 0; i < made.size(); ++i) {
        same += made[i].Text == again[i].Text && made[i].Intended == again[i].Intended ? 1 : 0;
        sameAsOther += made[i].Text == other[i].Text ? 1 : 0;
    }
    EXPECT_EQ(same, made.size());
    EXPECT_LT(sameAsOther, made.size() / 4);
    // Nothing to misspell: no entry of four letters.
    EXPECT_TRUE(MakeMisspellings(DictionaryOf("\xCA\xCE\xD2 DOG").Entries, 5, 1).empty());
}

// A file of pairs named by the test, removed afterwards.
class TPairsFile {
public:
    TPairsFile(const std::string& name, const std::string& bytes)
        : path_(std::filesystem::temp_directory_path() /
                ("verblinka-pairs-" + std::to_string(::getpid()) + "-" + name + ".txt")) {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TPairsFile() { std::filesystem::remove(path_); }
    TPairsFile(const TPairsFile&) = delete;
    TPairsFile& operator=(const TPairsFile&) = delete;
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

TEST(ExperimentTest, PairsReadAlikeInEitherEncodingAndABadLineIsNamed) {
    // «коровы	Корова», a blank line, «ябл око	яблоко» with CR LF.
    const std::string cp1251 = "\xEA\xEE\xF0\xEE\xE2\xFB\t\xCA\xEE\xF0\xEE\xE2\xE0\n\n"
                               "\xFF\xE1\xEB \xEE\xEA\xEE\t\xFF\xE1\xEB\xEE\xEA\xEE\r\n";
    const TPairsFile bytes("cp1251", cp1251);
    const TPairsFile utf8("utf8", Utf8From1251(cp1251));
    for (const TPairsFile* file : {&bytes, &utf8}) {
        const std::vector<TMisspelling> pairs = ReadMisspellingPairs(file->Path());
        ASSERT_EQ(pairs.size(), 2u);
        EXPECT_EQ(pairs[0].Text, "\xCA\xCE\xD0\xCE\xC2\xDB");
        EXPECT_EQ(pairs[0].Intended, "\xCA\xCE\xD0\xCE\xC2\xC0");
        EXPECT_EQ(pairs[1].Text, "\xDF\xC1\xCB \xCE\xCA\xCE");
        EXPECT_EQ(pairs[1].Intended, "\xDF\xC1\xCB\xCE\xCA\xCE");
        EXPECT_FALSE(pairs[0].Kind.has_value());
    }
    for (const auto& [text, line] : std::vector<std::pair<std::string, int>>{
             {"A\tB\n\nAB\n", 3}, {"A\tB\tC\n", 1}, {"A\t\n", 1}, {"A\tB C\n", 1}, {" \tB\n", 1}}) {
        const TPairsFile file("bad" + std::to_string(line), text);
        try {
            ReadMisspellingPairs(file.Path());
            ADD_FAILURE() << text << " accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("строка " + std::to_string(line)),
                      std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(ReadMisspellingPairs("/nonexistent/pairs.txt"), std::runtime_error);
}

TEST(ExperimentTest, TinyExperimentCountsAsWorkedOutByHand) {
    // Rows: 0 "", 1 ZEBRA, 2 КОРОВА, 3 ЯБЛОКО.
    TDictionary dictionary =
        DictionaryOf("\xCA\xCE\xD0\xCE\xC2\xC0 ZEBRA \xDF\xC1\xCB\xCE\xCA\xCE");
    ASSERT_EQ(dictionary.Entries.size(), 4u);
    const std::string korova = "\xCA\xCE\xD0\xCE\xC2\xC0";
    const std::string yabloko = "\xDF\xC1\xCB\xCE\xCA\xCE";
    const std::vector<TMisspelling> misspellings = {
        {"\xCA\xCE\xD0\xCE\xC2\xDB", korova, TMisspellingKind::Neighbour}, // КОРОВЫ: found
        {"\xDF\xC1\xCB\xCA\xCE", yabloko, TMisspellingKind::Missing},      // ЯБЛКО: found
        {"ZEBRA", korova, std::nullopt}, // another entry exactly: missed
        {"\xCB\xCE\xD8\xC0\xC4\xDC", "\xCB\xCE\xD8\xC0\xC4\xDC", std::nullopt}, // ЛОШАДЬ: not in it
        {korova, korova, std::nullopt},                                         // found
    };
    const std::vector<std::uint64_t> rows(dictionary.Network.Weights().MasksOf(0),
                                          dictionary.Network.Weights().MasksOf(0) +
                                              std::size_t{4} * 2 *
                                                  dictionary.Network.Weights().WordsPerMask());
    std::size_t lastDone = 0;
    TExperimentControl control;
    control.OnProgress = [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 10u);
        EXPECT_EQ(done, lastDone + 1);
        lastDone = done;
    };
    const auto results =
        RunExperiment(dictionary, {*FindShippedConfig("program"), *FindShippedConfig("best")},
                      misspellings, control);
    ASSERT_TRUE(results.has_value());
    ASSERT_EQ(results->size(), 2u);
    EXPECT_EQ(lastDone, 10u);
    for (const TConfigResult& result : *results) {
        SCOPED_TRACE(result.Config.Name);
        const auto& kinds = result.ByKind;
        EXPECT_EQ(kinds[0].Hits, 1u);
        EXPECT_EQ(kinds[0].Total, 1u);
        EXPECT_EQ(kinds[1].Hits, 1u);
        EXPECT_EQ(kinds[1].Total, 1u);
        for (std::size_t k = 2; k < kMisspellingKinds; ++k) {
            EXPECT_EQ(kinds[k].Total, 0u);
        }
        EXPECT_EQ(result.Given.Hits, 1u);
        EXPECT_EQ(result.Given.Total, 3u);
        EXPECT_EQ(result.Overall.Hits, 3u);
        EXPECT_EQ(result.Overall.Total, 5u);
        ASSERT_EQ(result.Misses.size(), 2u);
        EXPECT_EQ(result.Misses[0].Misspelling, 2u);
        EXPECT_EQ(result.Misses[0].ChosenRow, 1);
        EXPECT_EQ(result.Misses[0].IntendedRow, 2);
        EXPECT_EQ(result.Misses[1].Misspelling, 3u);
        EXPECT_EQ(result.Misses[1].IntendedRow, -1);
        EXPECT_GT(result.MedianSeconds, 0.0);
    }
    // Back under the program's code and constants.
    EXPECT_EQ(dictionary.Coder, TWordCoder::Program());
    EXPECT_EQ(dictionary.Network.MaxOutput(), 100.0);
    EXPECT_EQ(std::vector<std::uint64_t>(dictionary.Network.Weights().MasksOf(0),
                                         dictionary.Network.Weights().MasksOf(0) + rows.size()),
              rows);

    // Cancelled from its progress: nothing, and the dictionary as it was.
    std::atomic<bool> cancel{false};
    control.Cancel = &cancel;
    control.OnProgress = [&](std::size_t done, std::size_t) {
        if (done == 7) {
            cancel = true;
        }
    };
    EXPECT_FALSE(RunExperiment(dictionary,
                               {*FindShippedConfig("program"), *FindShippedConfig("best")},
                               misspellings, control)
                     .has_value());
    EXPECT_EQ(dictionary.Coder, TWordCoder::Program());
    EXPECT_EQ(dictionary.Network.MaxOutput(), 100.0);
}

TEST(ExperimentTest, CountsAndMissesDoNotDependOnTheThreads) {
    std::mt19937 random(5);
    TDictionary dictionary = DictionaryOf(
        test_support::RandomWordText(random, 600, 3, 9, "\xC0\xC1\xCA\xCE\xD2\xDF\xC5\xCC"));
    const std::vector<TMisspelling> misspellings = MakeMisspellings(dictionary.Entries, 12, 4);
    const std::vector<TNetworkConfig> configs = {*FindShippedConfig("program"),
                                                 *FindShippedConfig("best")};
    std::vector<std::vector<TConfigResult>> runs;
    for (const unsigned threads : {1u, 3u}) {
        TExperimentControl control;
        control.Threads = threads;
        std::size_t last = 0;
        control.OnProgress = [&](std::size_t done, std::size_t) {
            EXPECT_EQ(done, last + 1); // one at a time, in order
            last = done;
        };
        runs.push_back(*RunExperiment(dictionary, configs, misspellings, control));
        EXPECT_EQ(last, misspellings.size() * configs.size());
    }
    for (std::size_t c = 0; c < configs.size(); ++c) {
        const TConfigResult& one = runs[0][c];
        const TConfigResult& three = runs[1][c];
        EXPECT_EQ(one.Overall.Hits, three.Overall.Hits);
        for (std::size_t k = 0; k < kMisspellingKinds; ++k) {
            EXPECT_EQ(one.ByKind[k].Hits, three.ByKind[k].Hits);
        }
        ASSERT_EQ(one.Misses.size(), three.Misses.size());
        for (std::size_t i = 0; i < one.Misses.size(); ++i) {
            EXPECT_EQ(one.Misses[i].Misspelling, three.Misses[i].Misspelling);
            EXPECT_EQ(one.Misses[i].ChosenRow, three.Misses[i].ChosenRow);
        }
    }
}

} // namespace
} // namespace verblinka
