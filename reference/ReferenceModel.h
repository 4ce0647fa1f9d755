// Plain, obviously correct models of what a load and a search compute, used
// by the fuzz targets and the tests to check the real code: whole-buffer
// UTF-8 decoding written from Unicode's table of well-formed sequences, a
// tokenizer over a list of delimiters, a std::map for counting, and the search
// loop spelled out step by step.
#pragma once

#include "dictionary/BTree.h"
#include "dictionary/WordReader.h"
#include "engine/HammingMem.h"
#include "search/Search.h"
#include "text/CodePage1251.h"
#include "text/WordCode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka::reference {

inline constexpr std::string_view kDelimiters{" ,.-!?\r\n\"'():;\0", 15};

inline bool IsDelimiter(std::uint8_t byte) {
    return kDelimiters.find(static_cast<char>(byte)) != std::string_view::npos;
}

inline std::uint8_t Upper(std::uint8_t byte) {
    if ((byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0) {
        return static_cast<std::uint8_t>(byte - 0x20);
    }
    static constexpr std::uint8_t kPairs[][2] = {
        {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
        {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5},
        {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD},
    };
    for (const auto& pair : kPairs) {
        if (pair[0] == byte) {
            return pair[1];
        }
    }
    return byte;
}

// A code point on its way into Windows-1251, by a linear search of the code
// page's table of byte meanings.
inline std::uint8_t To1251(char32_t codePoint) {
    for (int b = 0; b < 256; ++b) {
        if (CodePointOf1251(static_cast<std::uint8_t>(b)) == codePoint) {
            return static_cast<std::uint8_t>(b);
        }
    }
    const bool space = codePoint == 0x85 || codePoint == 0x1680 ||
                       (codePoint >= 0x2000 && codePoint <= 0x200A) || codePoint == 0x2028 ||
                       codePoint == 0x2029 || codePoint == 0x202F || codePoint == 0x205F ||
                       codePoint == 0x3000;
    return space ? 0x20 : kSubstituteByte;
}

// UTF-8 decoded into code points; an ill-formed maximal subpart (Unicode's
// term) becomes one nullopt. cut, if given, tells whether the last one was a
// sequence that the end of the text interrupted.
inline std::vector<std::optional<char32_t>> DecodeUtf8(std::string_view text, bool* cut = nullptr) {
    std::vector<std::optional<char32_t>> out;
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    while (i < text.size()) {
        const std::uint8_t lead = at(i);
        if (lead < 0x80) {
            out.emplace_back(lead);
            ++i;
            continue;
        }
        int need = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
        } else if (lead == 0xE0) {
            need = 2;
            low = 0xA0;
        } else if (lead == 0xED) {
            need = 2;
            high = 0x9F;
        } else if (lead >= 0xE1 && lead <= 0xEF) {
            need = 2;
        } else if (lead == 0xF0) {
            need = 3;
            low = 0x90;
        } else if (lead == 0xF4) {
            need = 3;
            high = 0x8F;
        } else if (lead >= 0xF1 && lead <= 0xF3) {
            need = 3;
        } else {
            out.emplace_back(std::nullopt);
            ++i;
            continue;
        }
        char32_t value = lead & (0x7Fu >> (need + 1));
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < need; ++k, ++j) {
            const std::uint8_t lo = k == 0 ? low : 0x80;
            const std::uint8_t hi = k == 0 ? high : 0xBF;
            if (j >= text.size() || at(j) < lo || at(j) > hi) {
                if (cut != nullptr) {
                    *cut = j >= text.size();
                }
                complete = false;
                break;
            }
            value = (value << 6) | (at(j) & 0x3Fu);
        }
        out.emplace_back(complete ? std::optional<char32_t>(value) : std::nullopt);
        i = j;
    }
    return out;
}

// UTF-16 units (little- or big-endian) decoded into code points: a
// surrogate pair is one, a surrogate without its partner and an odd last
// byte are broken (nullopt).
inline std::vector<std::optional<char32_t>> DecodeUtf16(std::string_view text, bool little) {
    std::vector<std::optional<char32_t>> out;
    std::vector<char32_t> units;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const auto a = static_cast<std::uint8_t>(text[i]);
        const auto b = static_cast<std::uint8_t>(text[i + 1]);
        units.push_back(little ? (char32_t{b} << 8) | a : (char32_t{a} << 8) | b);
    }
    for (std::size_t k = 0; k < units.size(); ++k) {
        const char32_t u = units[k];
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units.size() && units[k + 1] >= 0xDC00 &&
            units[k + 1] <= 0xDFFF) {
            out.emplace_back(0x10000 + ((u - 0xD800) << 10) + (units[k + 1] - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out.emplace_back(std::nullopt);
        } else {
            out.emplace_back(u);
        }
    }
    if (text.size() % 2 != 0) {
        out.emplace_back(std::nullopt);
    }
    return out;
}

// Whether the text after a UTF-16 byte-order mark is UTF-16 of Latin or
// Cyrillic text: of its first kEncodingEvidence whole units, more than half
// are in U+0000 ... U+00FF or U+0400 ... U+04FF or are a surrogate pair.
inline bool LooksLikeUtf16(std::string_view text, bool little) {
    std::vector<char32_t> units;
    for (std::size_t i = 0; i + 1 < text.size() && units.size() < kEncodingEvidence; i += 2) {
        const auto a = static_cast<std::uint8_t>(text[i]);
        const auto b = static_cast<std::uint8_t>(text[i + 1]);
        units.push_back(little ? (char32_t{b} << 8) | a : (char32_t{a} << 8) | b);
    }
    std::size_t plausible = 0;
    for (std::size_t k = 0; k < units.size(); ++k) {
        const char32_t u = units[k];
        const bool pair = u >= 0xD800 && u <= 0xDBFF && k + 1 < units.size() &&
                          units[k + 1] >= 0xDC00 && units[k + 1] <= 0xDFFF;
        if (pair) {
            plausible += 2;
            ++k;
        } else if (u <= 0xFF || (u >= 0x400 && u <= 0x4FF)) {
            ++plausible;
        }
    }
    return 2 * plausible > units.size() && !units.empty();
}

// How a load decides to read a file: by its UTF-8 byte-order mark, or by a
// UTF-16 one (LE, BE) that the text after it bears out, else as UTF-8 when,
// among its first kEncodingEvidence multi-byte sequences, the valid ones
// outnumber the broken ones (a sequence cut by the end of the bytes read
// counts for neither), else byte for byte.
inline TTextEncoding EncodingOf(std::string_view file) {
    if (file.size() >= 3 && file.substr(0, 3) == "\xEF\xBB\xBF") {
        return TTextEncoding::Utf8;
    }
    if (file.size() >= 2 && file.substr(0, 2) == "\xFF\xFE" &&
        LooksLikeUtf16(file.substr(2), true)) {
        return TTextEncoding::Utf16Le;
    }
    if (file.size() >= 2 && file.substr(0, 2) == "\xFE\xFF" &&
        LooksLikeUtf16(file.substr(2), false)) {
        return TTextEncoding::Utf16Be;
    }
    bool cut = false;
    const auto decoded = DecodeUtf8(file, &cut);
    std::uint64_t valid = 0;
    std::uint64_t broken = 0;
    for (std::size_t k = 0; k < decoded.size() && valid + broken < kEncodingEvidence; ++k) {
        if (!decoded[k].has_value()) {
            const bool cutByTheEnd = k + 1 == decoded.size() && cut;
            broken += cutByTheEnd ? 0 : 1;
        } else if (*decoded[k] >= 0x80) {
            ++valid;
        }
    }
    return valid > broken ? TTextEncoding::Utf8 : TTextEncoding::Bytes;
}

inline bool ReadsAsUtf8(std::string_view file) {
    return EncodingOf(file) == TTextEncoding::Utf8;
}

// The Windows-1251 bytes a load reads from a file's bytes.
inline std::string FileTo1251(std::string_view file, TTextEncoding encoding) {
    if (encoding == TTextEncoding::Bytes) {
        return std::string(file);
    }
    std::vector<std::optional<char32_t>> decoded;
    if (encoding == TTextEncoding::Utf8) {
        if (file.size() >= 3 && file.substr(0, 3) == "\xEF\xBB\xBF") {
            file.remove_prefix(3);
        }
        decoded = DecodeUtf8(file);
    } else {
        const bool little = encoding == TTextEncoding::Utf16Le;
        if (file.size() >= 2 && file.substr(0, 2) == (little ? "\xFF\xFE" : "\xFE\xFF")) {
            file.remove_prefix(2);
        }
        decoded = DecodeUtf16(file, little);
    }
    std::string out;
    for (const auto& c : decoded) {
        out.push_back(static_cast<char>(c ? To1251(*c) : kSubstituteByte));
    }
    return out;
}

inline std::string FileTo1251(std::string_view file, bool utf8) {
    return FileTo1251(file, utf8 ? TTextEncoding::Utf8 : TTextEncoding::Bytes);
}

inline std::string FileTo1251(std::string_view file) {
    return FileTo1251(file, EncodingOf(file));
}

inline std::vector<std::string> Words(std::string_view bytes) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : bytes) {
        if (IsDelimiter(static_cast<std::uint8_t>(c))) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

struct TByteLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return static_cast<std::uint8_t>(x) < static_cast<std::uint8_t>(y);
            });
    }
};

// The entries a load of these Windows-1251 bytes gives.
inline TDictionaryEntries Entries(std::string_view bytes) {
    std::map<std::string, std::int32_t, TByteLess> counts;
    for (std::string word : Words(bytes)) {
        for (char& c : word) {
            c = static_cast<char>(Upper(static_cast<std::uint8_t>(c)));
        }
        ++counts[word];
    }
    TDictionaryEntries entries{{std::string(), 0}};
    for (const auto& [word, count] : counts) {
        entries.push_back({word, count});
    }
    return entries;
}

inline TWordCode Code(std::string_view word) {
    TWordCode code{};
    for (std::size_t k = 0; k < word.size() && k < 20; ++k) {
        const std::uint8_t upper = Upper(static_cast<std::uint8_t>(word[k]));
        for (std::size_t b = 0; b < 8; ++b) {
            code[k * 8 + b] = ((upper >> b) & 1u) != 0 ? 1 : -1;
        }
    }
    return code;
}

inline std::int64_t Distance(std::string_view a, std::string_view b) {
    std::int64_t distance = a.size() > b.size() ? static_cast<std::int64_t>(a.size() - b.size())
                                                : static_cast<std::int64_t>(b.size() - a.size());
    for (std::size_t p = 0; p < a.size() && p < b.size(); ++p) {
        distance += a[p] != b[p] ? 1 : 0;
    }
    return distance;
}

// Empty when the network holds exactly the codes of the entries, row by row;
// otherwise what is wrong.
inline std::string CheckNetwork(const TDictionaryEntries& entries, const THammingNet& network) {
    if (static_cast<std::size_t>(network.PatternCount()) != entries.size() ||
        network.InputCount() != kWordCodeLength) {
        return "network size differs from the entries";
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TWordCode code = Code(entries[i].Word);
        for (std::size_t j = 0; j < code.size(); ++j) {
            if (network.Weight(static_cast<std::int32_t>(i), static_cast<std::int32_t>(j)) !=
                static_cast<double>(code[j])) {
                return "row " + std::to_string(i) + " does not hold its entry's code";
            }
        }
    }
    return {};
}

// Empty when a loaded dictionary is what the plain reading of bytesRead,
// decoded as encoding says, gives (its list and its network); otherwise what
// is wrong.
inline std::string CheckLoaded(const TDictionaryEntries& entries, const THammingNet& network,
                               std::string_view bytesRead, TTextEncoding encoding) {
    const TDictionaryEntries expected = Entries(FileTo1251(bytesRead, encoding));
    if (entries.size() != expected.size()) {
        return std::to_string(entries.size()) + " entries, expected " +
               std::to_string(expected.size());
    }
    if (!(entries == expected)) {
        return "the entries differ from the plain reading's";
    }
    return CheckNetwork(entries, network);
}

// The search spelled out: one recognition per text, the query and then the
// query with a blank before each of its characters in turn, the later text
// winning ties on distance. recognize maps a code to the row the network
// returns; a row outside the entries makes the outcome Failed. Each text is
// coded by coder, or by the program's code as modelled here (Code) when null.
template <typename Recognize>
TSearchOutcome LiteralSearch(std::string_view query, const TDictionaryEntries& entries,
                             Recognize&& recognize, const TWordCoder* coder = nullptr) {
    TSearchOutcome outcome;
    for (std::size_t p = 0; p <= query.size(); ++p) {
        std::string text(query);
        if (p > 0) {
            text.insert(p - 1, 1, ' ');
        }
        TWordCode code{};
        if (coder != nullptr) {
            coder->Code(text, code);
        } else {
            code = Code(text);
        }
        const std::int32_t row = recognize(code);
        if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) {
            outcome.BestRow = row;
            outcome.Status = TSearchStatus::Failed;
            return outcome;
        }
        const auto distance =
            static_cast<std::int32_t>(Distance(text, entries[static_cast<std::size_t>(row)].Word));
        if (p == 0 || distance <= outcome.BestDistance) {
            outcome.BestDistance = distance;
            outcome.BestRow = row;
            outcome.ChosenStep = static_cast<std::int32_t>(p);
        }
        outcome.Steps.push_back({std::move(text), row, distance});
    }
    outcome.Status = TSearchStatus::Selected;
    return outcome;
}

// Empty when the outcome of a search is what the search's own steps, redone
// one by one with recognize, give; otherwise what is wrong. recognize maps a
// code to the row the network returns.
template <typename Recognize>
std::string CheckSearch(std::string_view query, const TDictionaryEntries& entries,
                        const TSearchOutcome& outcome, Recognize&& recognize) {
    std::ostringstream problem;
    // The search cannot tell the substitute byte from a typed control
    // character, so it takes it for a character (the callers that converted
    // the text have refused a truly blank one already).
    const bool blank = std::all_of(query.begin(), query.end(), [](char c) {
        return static_cast<std::uint8_t>(c) <= 0x20 && static_cast<std::uint8_t>(c) != 0x1A;
    });
    if (blank) {
        return outcome.Status == TSearchStatus::NoWord ? "" : "a blank query was not refused";
    }
    if (entries.empty()) {
        return outcome.Status == TSearchStatus::NoDictionary ? "" : "no dictionary, not refused";
    }
    if (outcome.Status != TSearchStatus::Selected) {
        return "the search failed: " + outcome.Message();
    }
    const TSearchOutcome literal = LiteralSearch(query, entries, recognize);
    if (literal.Status != TSearchStatus::Selected) {
        return "recognition returned row " + std::to_string(literal.BestRow) +
               " outside the dictionary";
    }
    for (std::size_t p = 0; p < outcome.Steps.size() && p < literal.Steps.size(); ++p) {
        const TSearchStep& step = outcome.Steps[p];
        const TSearchStep& expected = literal.Steps[p];
        if (step.Row != expected.Row || step.Distance != expected.Distance ||
            (!step.Text.empty() && step.Text != expected.Text)) {
            problem << "step " << p << " differs: row " << step.Row << " (expected " << expected.Row
                    << "), distance " << step.Distance << " (expected " << expected.Distance << ")";
            return problem.str();
        }
    }
    if (!outcome.Steps.empty() && outcome.Steps.size() != query.size() + 1) {
        return "wrong number of steps";
    }
    if (outcome.BestRow != literal.BestRow || outcome.BestDistance != literal.BestDistance) {
        problem << "selected row " << outcome.BestRow << " at distance " << outcome.BestDistance
                << ", expected row " << literal.BestRow << " at distance " << literal.BestDistance;
        return problem.str();
    }
    return {};
}

} // namespace verblinka::reference
