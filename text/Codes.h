// The codes a word can be given: 160 elements of +1, -1 and 0 each, so that
// the network stores and compares every one alike. The program's code is
// CodeWord's; the others let a learner test whether a better code of the
// letters recognises typing errors better. Every code is a function of the
// word's first kCodedCharacters upper-cased bytes (Windows-1251), so words
// that differ only after them share a code, as with the program's code.
#pragma once

#include "text/WordCode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka {

enum class TCodeKind {
    Program,  // CodeWord: 8 bits of each byte, 0 past the word
    Keyboard, // 8 bits per letter from a table where neighbouring keys get close codes
    Padded,   // the program's code with every position past the word holding the blank's code
    Pairs,    // a signature of the word's letter pairs (with start and end marks)
    Table,    // 8 bits per letter from a table a user wrote
};

// 8 elements (+1 or -1, bit 0 first) for each upper-cased Windows-1251 byte.
using TLetterTable = std::array<TByteBits, 256>;

// Positions of the 160 elements as bits, element i bit i % 64 of word i / 64.
using TPairMask = std::array<std::uint64_t, 3>;

// How the letter-pair code is formed. Each pair of the word's letters
// (with a start and an end mark) sets OrderedBits positions chosen by a hash
// of the pair, and UnorderedBits more by a hash of the two letters in either
// order (so that two swapped letters keep most of them); every other element
// is -1. SkipBlanks: a blank is no letter, so a word split by a blank codes
// as the whole word. LengthElements: the last elements tell the length of
// the word (as a thermometer), the pairs use the others. The defaults are
// what the lab found best (README, «Лаборатория сети»), chosen on misspellings
// of their own, not on the benchmark's.
struct TPairCodeOptions {
    int OrderedBits = 4;
    int UnorderedBits = 4;
    int GapBits = 0; // pairs of letters one apart (the letter between skipped)
    bool SkipBlanks = true;
    int LengthElements = 4;
    int EdgeBits = 0;           // more positions for the pairs with the start or the end mark
    int TripleBits = 0;         // three adjacent letters (marks included)
    std::uint32_t HashSeed = 4; // another seed, other positions for every pair

    friend bool operator==(const TPairCodeOptions&, const TPairCodeOptions&) = default;
};

// A table that could not be read: Line (1-based, 0 for the file as a whole)
// names where, what() says what is wrong in Russian.
class TCodeTableError : public std::runtime_error {
public:
    TCodeTableError(std::size_t line, const std::string& message)
        : std::runtime_error(message), Line(line) {}
    std::size_t Line;
};

// One code. Cheap to copy (a table is shared).
class TWordCoder {
public:
    TWordCoder(); // the program's code

    static TWordCoder Program();
    static TWordCoder Keyboard();
    static TWordCoder Padded();
    static TWordCoder Pairs();
    // A letter-pair code formed otherwise (for the lab's research); name:
    // as Name() gives it.
    static TWordCoder PairsWith(const TPairCodeOptions& options, std::string name);
    // A table in text form (UTF-8; one letter, then its 8 bits, per line);
    // throws TCodeTableError. name: shown to the user (the file's name).
    static TWordCoder FromTable(std::string_view text, std::string name);
    // The same from a file; an unreadable or oversized file is a
    // TCodeTableError of line 0. The name is the path.
    static TWordCoder FromTableFile(const std::string& path);

    TCodeKind Kind() const { return kind_; }
    // "program", "keyboard", "padded", "pairs", or the table's name.
    const std::string& Name() const { return name_; }
    // Whether element (k - 1) * 8 + b describes bit b of character k (so that
    // a view may write the letters over the columns).
    bool Positional() const { return kind_ != TCodeKind::Pairs; }

    // Fills code from word (Windows-1251 bytes, any length, any bytes).
    void Code(std::string_view word, TWordCode& code) const;
    // The same code as bits: which elements are not 0, and which of them are
    // -1 (so that a dictionary's rows are stored without the 160 numbers).
    void CodeMasks(std::string_view word, TPairMask& nonZero, TPairMask& negative) const;

    friend bool operator==(const TWordCoder& a, const TWordCoder& b);

private:
    TCodeKind kind_ = TCodeKind::Program;
    std::string name_;
    std::shared_ptr<const TLetterTable> table_;               // Keyboard and Table
    TPairCodeOptions pairs_;                                  // Pairs
    std::shared_ptr<const std::vector<TPairMask>> pairTable_; // each pair's positions
};

// The capital letters (Windows-1251) on the keys next to letter's on the
// Russian (ЙЦУКЕН) or Latin (QWERTY) keyboard: left and right in its row, and
// the two keys it touches in the row above and in the row below. Empty for
// a byte that is no letter key.
std::string_view KeyboardNeighbours(std::uint8_t letter);

} // namespace verblinka
