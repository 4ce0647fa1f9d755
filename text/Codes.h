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
    // A table in text form (UTF-8; one letter, then its 8 bits, per line);
    // throws TCodeTableError. name: shown to the user (the file's name).
    static TWordCoder FromTable(std::string_view text, std::string name);

    TCodeKind Kind() const { return kind_; }
    // "program", "keyboard", "padded", "pairs", or the table's name.
    const std::string& Name() const { return name_; }
    // Whether element (k - 1) * 8 + b describes bit b of character k (so that
    // a view may write the letters over the columns).
    bool Positional() const { return kind_ != TCodeKind::Pairs; }

    // Fills code from word (Windows-1251 bytes, any length, any bytes).
    void Code(std::string_view word, TWordCode& code) const;

    friend bool operator==(const TWordCoder& a, const TWordCoder& b);

private:
    TCodeKind kind_ = TCodeKind::Program;
    std::string name_;
    std::shared_ptr<const TLetterTable> table_; // Keyboard and Table
};

} // namespace verblinka
