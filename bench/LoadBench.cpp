// verblinka-bench-load: dictionary loads at scale, the counting route beside
// the word tree's, each in a child process so that its peak memory is its own.
//
// Files are generated into the data directory once and reused: a million
// distinct words in random order, each once; running text of 4.2 million
// words with a million distinct (Windows-1251); and a UTF-8 text of about
// 1 GiB with a vocabulary of 50,000 words.
#include "dictionary/DictionaryLoad.h"
#include "reference/WordLists.h"
#include "text/CodePage1251.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

extern char** environ;

namespace {

using namespace verblinka;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// Pseudo-Russian words in Windows-1251 lower case: syllables and endings, so
// that many share their beginnings as real word forms do.
std::vector<std::string> DistinctWords(std::size_t count, std::uint32_t seed) {
    static const std::string kConsonants =
        "\xE1\xE2\xE3\xE4\xE6\xE7\xEA\xEB\xEC\xED\xEF\xF0\xF1\xF2\xF4\xF5\xF6\xF7\xF8\xF9";
    static const std::string kVowels = "\xE0\xE5\xE8\xEE\xF3\xFB\xFD\xFE\xFF\xB8";
    static const std::vector<std::string> kEndings = {
        "",         "\xE0",     "\xFB",     "\xE5",     "\xEE\xE9",
        "\xE0\xEC", "\xE0\xF5", "\xEE\xE2", "\xF2\xFC", "\xE5\xF2"};
    return test_support::SyllableWords(
        {.Consonants = kConsonants, .Vowels = kVowels, .Endings = kEndings}, count, seed);
}

// Writes a file once through a temporary name; later runs reuse it.
template <typename Fill> fs::path Generated(const fs::path& path, Fill&& fill) {
    if (fs::exists(path)) {
        return path;
    }
    fs::create_directories(path.parent_path());
    const fs::path temporary = path.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary);
        fill(out);
    }
    fs::rename(temporary, path);
    return path;
}

fs::path DistinctFile(const fs::path& dir) {
    return Generated(dir / "distinct-1000000.txt", [](std::ofstream& out) {
        std::vector<std::string> words = DistinctWords(1000000, 11);
        std::shuffle(words.begin(), words.end(), std::mt19937(12));
        for (const auto& word : words) {
            out << word << '\n';
        }
    });
}

fs::path RunningTextFile(const fs::path& dir) {
    return Generated(dir / "running-1000000.txt", [](std::ofstream& out) {
        const std::vector<std::string> words = DistinctWords(1000000, 21);
        std::vector<std::uint32_t> tokens(words.size());
        for (std::uint32_t i = 0; i < tokens.size(); ++i) {
            tokens[i] = i;
        }
        std::mt19937 random(22);
        while (tokens.size() < 4'240'000) {
            const std::uint32_t r = random() % words.size();
            tokens.push_back(random() % 3 == 0 ? r % 10000 : r); // a few words are common
        }
        std::shuffle(tokens.begin(), tokens.end(), random);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            out << words[tokens[i]] << (i % 12 == 11 ? ".\n" : " ");
        }
    });
}

fs::path BigTextFile(const fs::path& dir, std::size_t mebibytes) {
    return Generated(dir / ("text-" + std::to_string(mebibytes) + "MiB.txt"),
                     [mebibytes](std::ofstream& out) {
                         std::vector<std::string> words = DistinctWords(50000, 31);
                         for (auto& word : words) {
                             word = Utf8From1251(word);
                         }
                         std::mt19937 random(32);
                         std::string line;
                         std::size_t written = 0;
                         const std::size_t target = mebibytes << 20;
                         while (written < target) {
                             line.clear();
                             for (int k = 0; k < 12; ++k) {
                                 // Zipf-like: low ranks far more often.
                                 const std::size_t rank =
                                     (random() % words.size()) * (random() % 64) / 63;
                                 line += words[rank];
                                 line += k == 5 ? ", " : " ";
                             }
                             line.back() = '.';
                             line += '\n';
                             out << line;
                             written += line.size();
                         }
                     });
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// The child: one load by the given route, then its figures on one line.
int LoadChild(const std::string& route, const std::string& path) {
    TStringBTree tree;
    TWordCode code{};
    const double cpuBefore = CpuSeconds();
    const auto start = TClock::now();
    const auto file = TDictionaryFile::Open(path);
    const TDictionary dictionary =
        route == "tree" ? BuildDictionaryWithTree(*file, tree, code, kProgramMaxIterations)
                        : BuildDictionary(*file, tree, code, kProgramMaxIterations);
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("%-8s %9zu entries: %8.3f s (CPU %7.3f s), peak memory %5ld MiB\n", route.c_str(),
                dictionary.Entries.size(), wall, cpu, PeakMemoryKiB() / 1024);
    return 0;
}

void RunChild(const std::string& self, const std::string& route, const fs::path& path) {
    std::string program = self;
    std::string mode = "--load-child";
    std::string routeArgument = route;
    std::string file = path.string();
    char* argv[] = {program.data(), mode.data(), routeArgument.data(), file.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ) != 0) {
        throw std::runtime_error("cannot start " + self);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::cout.flush();
    if (status != 0) {
        std::cout << "  (the load failed)\n";
    }
}

} // namespace

static int Run(int argc, char** argv) {
    fs::path data = "bench-data";
    std::size_t textMebibytes = 1024;
    bool withTree = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--load-child" && i + 2 < argc) {
            return LoadChild(argv[i + 1], argv[i + 2]);
        } else if (argument == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else if (argument == "--text-mib" && i + 1 < argc) {
            textMebibytes = std::stoul(argv[++i]);
        } else if (argument == "--no-tree") {
            withTree = false;
        } else {
            std::cerr << "usage: verblinka-bench-load [--data DIR] [--text-mib N] [--no-tree]\n";
            return 2;
        }
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    const std::pair<const char*, fs::path> files[] = {
        {"1,000,000 distinct words, random order, each once", DistinctFile(data)},
        {"4.24 million running words, 1,000,000 distinct", RunningTextFile(data)},
        {"UTF-8 text, 50,000 distinct words", BigTextFile(data, textMebibytes)},
    };
    for (const auto& [what, path] : files) {
        std::cout << "\n== " << what << ": " << path.filename().string() << " ("
                  << (fs::file_size(path) >> 20) << " MiB)\n";
        std::cout.flush();
        RunChild(self, "counting", path);
        if (withTree) {
            RunChild(self, "tree", path);
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "verblinka-bench-load: " << error.what() << '\n';
        return 1;
    }
}
