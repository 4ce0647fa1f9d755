// verblinka-bench-arithmetic: times Recognize on a network of generated words
// in whichever arithmetic this build uses (x87 or the emulation), and prints a
// hash of every value of every pass and of the rows, so that an x87 build and
// an emulated build can be compared for speed and for identity on the same
// words. scripts/bench-arithmetic.sh builds both and compares them.
//
// Times are CPU time of this process (the machine may be shared), the median
// and the best of several runs of each query.
#include "engine/HammingMem.h"
#include "engine/Precision.h"
#include "reference/WordLists.h"
#include "reference/WordNetwork.h"
#include "text/WordCode.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace verblinka;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

private:
    std::uint64_t state_;
};

// Upper-case Windows-1251 word forms: a stem of syllables and an ending, so
// that many words share prefixes and score alike, as in a real word list.
std::vector<std::string> Words(std::size_t count, std::uint64_t seed) {
    const std::string_view consonants = "\xC1\xC2\xC3\xC4\xC6\xC7\xCA\xCB\xCC\xCD\xCF\xD0\xD1\xD2";
    const std::string_view vowels = "\xC0\xC5\xC8\xCE\xD3\xDB\xDF";
    const std::vector<std::string> endings = {"",         "\xC0",     "\xDB",     "\xC5",
                                              "\xCE\xC9", "\xC0\xCC", "\xC0\xD5", "\xC0\xCC\xC8",
                                              "\xD2\xDC", "\xCB\xC8", "\xC5\xD2", "\xDB\xC5"};
    TRandom random(seed);
    std::vector<std::string> words = {""};
    while (words.size() < count * 2) {
        std::string word;
        const std::size_t syllables = 1 + random.Below(4);
        for (std::size_t s = 0; s < syllables; ++s) {
            word += consonants[random.Below(consonants.size())];
            word += vowels[random.Below(vowels.size())];
        }
        word += endings[random.Below(endings.size())];
        words.push_back(word);
    }
    words = test_support::AsLoaded(std::move(words));
    if (words.size() > count) {
        // Keep every other word, and the empty one in front.
        std::vector<std::string> kept;
        const double stride = static_cast<double>(words.size()) / static_cast<double>(count);
        for (std::size_t i = 0; i < count; ++i) {
            kept.push_back(words[static_cast<std::size_t>(static_cast<double>(i) * stride)]);
        }
        words.swap(kept);
    }
    return words;
}

class THash {
public:
    void Add(std::uint64_t word) {
        for (int i = 0; i < 8; ++i) {
            hash_ = (hash_ ^ ((word >> (8 * i)) & 0xFF)) * 0x100000001B3u;
        }
    }
    std::uint64_t Value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

} // namespace

int main(int argc, char** argv) {
    std::size_t rows = 100000;
    int repetitions = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows") {
            rows = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (option == "--repetitions") {
            repetitions = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::cerr << "usage: verblinka-bench-arithmetic [--rows M] [--repetitions R]\n";
            return 2;
        }
    }

    const std::vector<std::string> words = Words(rows, 2024);
    THammingNet net = test_support::WordNetwork(words);
    TWordCode code{};

    // Stored words with a letter changed, a prefix, and one of eight letters.
    std::vector<std::string> queries;
    TRandom random(7);
    for (int q = 0; q < 3; ++q) {
        std::string word = words[1 + random.Below(words.size() - 1)];
        word[random.Below(word.size())] = '\xC0';
        queries.push_back(word);
    }
    queries.push_back(words[words.size() / 2].substr(0, 3));
    queries.emplace_back("\xCF\xD0\xC0\xC3\xD0\xC0\xCC\xC0");

    std::printf("arithmetic: %s\n",
                precision::kEmulated ? "emulated (portable)" : "x87 long double");
    std::printf("M = %zu, %zu queries, %d runs each\n", words.size(), queries.size(), repetitions);
    THash hash;
    double medianTotal = 0.0;
    double bestTotal = 0.0;
    for (const std::string& query : queries) {
        CodeWord(query, code);
        const std::int32_t row =
            net.Recognize(code, [&](std::int32_t, std::span<const double> values) {
                for (const double v : values) {
                    hash.Add(std::bit_cast<std::uint64_t>(v));
                }
            });
        hash.Add(static_cast<std::uint64_t>(row));
        std::vector<double> times;
        for (int r = 0; r < repetitions; ++r) {
            const double start = CpuSeconds();
            if (net.Recognize(code) != row) {
                std::cerr << "Recognize changed its answer\n";
                return 1;
            }
            times.push_back(CpuSeconds() - start);
        }
        std::sort(times.begin(), times.end());
        medianTotal += times[times.size() / 2];
        bestTotal += times.front();
    }
    const double count = static_cast<double>(queries.size());
    std::printf("Recognize: median %.3f ms, best %.3f ms (CPU time, mean over the queries)\n",
                medianTotal / count * 1e3, bestTotal / count * 1e3);
    std::printf("hash of every pass value and row: %016llx\n",
                static_cast<unsigned long long>(hash.Value()));
    return 0;
}
