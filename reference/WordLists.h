// Seeded word lists for the tests, the fuzz targets and the benchmarks: the
// same seed gives the same words on every machine and with every standard
// library (the draws are the engine's raw output taken modulo a bound, never
// a distribution, whose algorithm the library chooses).
#pragma once

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace verblinka::test_support {

// The 32 upper-case Russian letters of Windows-1251, А (0xC0) to Я (0xDF).
inline constexpr std::string_view kUpperLetters1251 =
    "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
    "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF";

// A word of shortest to longest letters (both included), its length drawn
// first (nothing is drawn for a fixed length), then each letter from letters.
inline std::string RandomWord(std::mt19937& random, std::size_t shortest, std::size_t longest,
                              std::string_view letters) {
    const std::size_t length =
        shortest == longest ? shortest : shortest + random() % (longest - shortest + 1);
    std::string word;
    word.reserve(length);
    for (std::size_t k = 0; k < length; ++k) {
        word.push_back(letters[random() % letters.size()]);
    }
    return word;
}

// count such words, repeats and all.
inline std::vector<std::string> RandomWords(std::mt19937& random, std::size_t count,
                                            std::size_t shortest, std::size_t longest,
                                            std::string_view letters) {
    std::vector<std::string> words;
    words.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        words.push_back(RandomWord(random, shortest, longest, letters));
    }
    return words;
}

// The same words as the text of a dictionary file: each followed by a blank.
inline std::string RandomWordText(std::mt19937& random, std::size_t count, std::size_t shortest,
                                  std::size_t longest, std::string_view letters) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += RandomWord(random, shortest, longest, letters);
        text.push_back(' ');
    }
    return text;
}

// Ordered by unsigned bytes, as a load orders its entries.
inline bool ByBytes(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

// As a load leaves them: the empty entry first, then the words by bytes, each once.
inline std::vector<std::string> AsLoaded(std::vector<std::string> words) {
    words.emplace_back();
    std::sort(words.begin(), words.end(), ByBytes);
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

// Pseudo-Russian word forms: stems of one to four syllables (an onset
// consonant, a vowel, sometimes a closing consonant) with an ending, so that
// many words share their beginnings and score alike, as in a real word list.
struct TSyllables {
    std::string_view Consonants;
    std::string_view Vowels;
    std::vector<std::string> Endings;
    bool OnsetMayBeMissing = false; // one syllable in four starts with its vowel
    char RareVowel = '\0';          // if set, one vowel in 25 is this one
    std::size_t MostForms = 1;      // up to this many endings on each stem
};

// count distinct words, in the order made; nothing is drawn for an option
// left at its default.
inline std::vector<std::string> SyllableWords(const TSyllables& alphabet, std::size_t count,
                                              std::mt19937::result_type seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](std::string_view letters) {
        return letters[random() % letters.size()];
    };
    std::unordered_set<std::string> seen;
    std::vector<std::string> words;
    words.reserve(count);
    while (words.size() < count) {
        std::string stem;
        const std::size_t syllables = 1 + random() % 4;
        for (std::size_t s = 0; s < syllables; ++s) {
            if (!alphabet.OnsetMayBeMissing || random() % 4 != 0) {
                stem.push_back(pick(alphabet.Consonants));
            }
            if (alphabet.RareVowel != '\0' && random() % 25 == 0) {
                stem.push_back(alphabet.RareVowel);
            } else {
                stem.push_back(pick(alphabet.Vowels));
            }
            if (random() % 3 == 0) {
                stem.push_back(pick(alphabet.Consonants));
            }
        }
        const std::size_t forms = alphabet.MostForms == 1 ? 1 : 1 + random() % alphabet.MostForms;
        for (std::size_t f = 0; f < forms && words.size() < count; ++f) {
            std::string word = stem + alphabet.Endings[random() % alphabet.Endings.size()];
            if (seen.insert(word).second) {
                words.push_back(std::move(word));
            }
        }
    }
    return words;
}

} // namespace verblinka::test_support
