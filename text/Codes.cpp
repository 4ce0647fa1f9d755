#include "text/Codes.h"

#include "text/CodePage1251.h"
#include "text/KeyboardCodeText.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

namespace verblinka {
namespace {

constexpr std::uint8_t kBlank = 0x20;
// A table is a few dozen lines; anything far larger is no table.
constexpr std::size_t kMostTableBytes = std::size_t{1} << 20;

TLetterTable ProgramTable() {
    TLetterTable table{};
    for (std::size_t b = 0; b < table.size(); ++b) {
        table[b] = ByteToBits(static_cast<std::uint8_t>(b));
    }
    return table;
}

std::string LineError(const std::string& name, std::size_t line, const std::string& problem) {
    return "Таблица кода «" + name + "», строка " + std::to_string(line) + ": " + problem;
}

// The first UTF-8 character of text and its length in bytes, if text starts
// with a valid one.
std::optional<std::pair<char32_t, std::size_t>> FirstCharacter(std::string_view text) {
    TUtf8Decoder decoder;
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (decoder.Feed(static_cast<std::uint8_t>(text[i]))) {
        case TUtf8Decoder::TResult::CodePoint:
            return std::make_pair(decoder.CodePoint(), i + 1);
        case TUtf8Decoder::TResult::Invalid:
            return std::nullopt;
        case TUtf8Decoder::TResult::NeedMore:
            break;
        }
    }
    return std::nullopt;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && IsSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && IsSpace(line.back())) {
        line.remove_suffix(1);
    }
    return line;
}

// The program's bits for every byte, then each line's letter its own.
TLetterTable ParseTable(std::string_view text, const std::string& name) {
    TLetterTable table = ProgramTable();
    std::array<std::size_t, 256> givenOn{}; // the line that gave each byte, 0: none
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto first = FirstCharacter(line);
        if (!first) {
            throw TCodeTableError(number, LineError(name, number, "текст не в кодировке UTF-8"));
        }
        const std::string letterText(line.substr(0, first->second));
        const std::optional<std::uint8_t> byte = ByteOfCodePoint1251(first->first);
        if (!byte || *byte < 0x20) {
            throw TCodeTableError(number, LineError(name, number,
                                                    "символа «" + letterText +
                                                        "» нет среди букв кодовой страницы "
                                                        "Windows-1251"));
        }
        std::string_view rest = line.substr(first->second);
        if (rest.empty() || !IsSpace(rest.front())) {
            throw TCodeTableError(
                number, LineError(name, number,
                                  "нужны одна буква, пробел и 8 двоичных цифр, например «А "
                                  "11000000»"));
        }
        rest = Trimmed(rest);
        if (!std::all_of(rest.begin(), rest.end(), [](char c) { return c == '0' || c == '1'; })) {
            throw TCodeTableError(number,
                                  LineError(name, number,
                                            "после буквы нужны 8 двоичных цифр (0 или 1), а "
                                            "написано «" +
                                                std::string(rest.substr(0, 40)) + "»"));
        }
        if (rest.size() != kBitsPerCharacter) {
            throw TCodeTableError(
                number, LineError(name, number,
                                  "нужно 8 двоичных цифр, а их " + std::to_string(rest.size())));
        }
        const std::uint8_t upper = UpperCase1251(*byte);
        if (givenOn[upper] != 0) {
            throw TCodeTableError(
                number,
                LineError(name, number,
                          "буква «" + Utf8From1251(std::string(1, static_cast<char>(upper))) +
                              "» уже задана в строке " + std::to_string(givenOn[upper])));
        }
        givenOn[upper] = number;
        // Written most significant bit first; element b is bit b.
        for (int b = 0; b < kBitsPerCharacter; ++b) {
            table[upper][static_cast<std::size_t>(b)] =
                rest[static_cast<std::size_t>(kBitsPerCharacter - 1 - b)] == '1' ? 1 : -1;
        }
    }
    return table;
}

void CodeWithTable(std::string_view word, const TLetterTable& table, TWordCode& code) {
    code.fill(0);
    const std::size_t length = std::min<std::size_t>(word.size(), kCodedCharacters);
    for (std::size_t k = 0; k < length; ++k) {
        const TByteBits& bits = table[UpperCase1251(static_cast<std::uint8_t>(word[k]))];
        std::copy(bits.begin(), bits.end(),
                  code.begin() + static_cast<std::ptrdiff_t>(k * kBitsPerCharacter));
    }
}

void CodePadded(std::string_view word, TWordCode& code) {
    CodeWord(word, code);
    const TByteBits blank = ByteToBits(kBlank);
    for (std::size_t k = std::min<std::size_t>(word.size(), kCodedCharacters);
         k < static_cast<std::size_t>(kCodedCharacters); ++k) {
        std::copy(blank.begin(), blank.end(),
                  code.begin() + static_cast<std::ptrdiff_t>(k * kBitsPerCharacter));
    }
}

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

constexpr std::uint64_t kLetters = 258; // bytes, then the start and the end mark
constexpr std::uint32_t kStartMark = 256;
constexpr std::uint32_t kEndMark = 257;

// `bits` distinct positions below `span` chosen by key (fewer where span is
// smaller), each drawn evenly by a multiply and a shift, added to mask.
void AddHashed(std::uint64_t key, int bits, std::uint64_t seed, std::size_t span, TPairMask& mask) {
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(bits, 0)), span);
    std::uint64_t h = key ^ (seed * 0xD6E8FEB86659FD93ULL);
    TPairMask own{};
    for (std::size_t j = 0; j < count;) {
        h = Mix(h);
        const std::size_t position = static_cast<std::size_t>(((h & 0xFFFFFFFFu) * span) >> 32);
        const std::uint64_t bit = std::uint64_t{1} << (position % 64);
        if ((own[position / 64] & bit) == 0) {
            own[position / 64] |= bit;
            ++j;
        }
    }
    for (std::size_t w = 0; w < mask.size(); ++w) {
        mask[w] |= own[w];
    }
}

std::size_t PairSpan(const TPairCodeOptions& options) {
    return static_cast<std::size_t>(kWordCodeLength) -
           static_cast<std::size_t>(
               std::clamp(options.LengthElements, 0, kWordCodeLength - kBitsPerCharacter));
}

// The positions of every pair of symbols (a, b), at a * kLetters + b: its
// ordered positions (with the edge's own where a mark is in it) and the
// unordered ones of {a, b}.
std::vector<TPairMask> PairTable(const TPairCodeOptions& options) {
    const std::size_t span = PairSpan(options);
    std::vector<TPairMask> table(kLetters * kLetters);
    for (std::uint64_t a = 0; a < kLetters; ++a) {
        for (std::uint64_t b = 0; b < kLetters; ++b) {
            TPairMask& mask = table[a * kLetters + b];
            const bool edge = a == kStartMark || b == kEndMark;
            AddHashed(a * kLetters + b, options.OrderedBits + (edge ? options.EdgeBits : 0),
                      options.HashSeed, span, mask);
            AddHashed((std::uint64_t{1} << 40) + std::min(a, b) * kLetters + std::max(a, b),
                      options.UnorderedBits, options.HashSeed, span, mask);
        }
    }
    return table;
}

// The pair code's +1 elements as bits; every other element is -1.
TPairMask PairBits(std::string_view word, const TPairCodeOptions& options,
                   const std::vector<TPairMask>& table) {
    std::array<std::uint32_t, kCodedCharacters + 2> letters{};
    std::size_t n = 0;
    letters[n++] = kStartMark;
    const std::size_t length = std::min<std::size_t>(word.size(), kCodedCharacters);
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t upper = UpperCase1251(static_cast<std::uint8_t>(word[k]));
        if (!(options.SkipBlanks && upper == kBlank)) {
            letters[n++] = upper;
        }
    }
    letters[n++] = kEndMark;
    const std::size_t span = PairSpan(options);
    TPairMask mask{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const TPairMask& pair = table[letters[i] * kLetters + letters[i + 1]];
        for (std::size_t w = 0; w < mask.size(); ++w) {
            mask[w] |= pair[w];
        }
        if (i + 2 < n && (options.GapBits > 0 || options.TripleBits > 0)) {
            const std::uint64_t a = letters[i];
            AddHashed((std::uint64_t{2} << 40) + a * kLetters + letters[i + 2], options.GapBits,
                      options.HashSeed, span, mask);
            AddHashed((std::uint64_t{3} << 40) + (a * kLetters + letters[i + 1]) * kLetters +
                          letters[i + 2],
                      options.TripleBits, options.HashSeed, span, mask);
        }
    }
    // The thermometer: the elements past the span are +1 the longer the word.
    const std::size_t letterCount = n - 2;
    const std::size_t lengthElements = static_cast<std::size_t>(kWordCodeLength) - span;
    for (std::size_t e = 0; e < lengthElements; ++e) {
        if (letterCount * lengthElements > (e + 1) * kCodedCharacters / 2) {
            mask[(span + e) / 64] |= std::uint64_t{1} << ((span + e) % 64);
        }
    }
    return mask;
}

const std::shared_ptr<const TLetterTable>& KeyboardTable() {
    static const std::shared_ptr<const TLetterTable> kTable =
        std::make_shared<const TLetterTable>(ParseTable(kKeyboardCodeText, "keyboard"));
    return kTable;
}

} // namespace

TWordCoder::TWordCoder() : name_("program") {}

TWordCoder TWordCoder::Program() {
    return {};
}

TWordCoder TWordCoder::Keyboard() {
    TWordCoder coder;
    coder.kind_ = TCodeKind::Keyboard;
    coder.name_ = "keyboard";
    coder.table_ = KeyboardTable();
    return coder;
}

TWordCoder TWordCoder::Padded() {
    TWordCoder coder;
    coder.kind_ = TCodeKind::Padded;
    coder.name_ = "padded";
    return coder;
}

TWordCoder TWordCoder::Pairs() {
    return PairsWith(TPairCodeOptions{}, "pairs");
}

TWordCoder TWordCoder::PairsWith(const TPairCodeOptions& options, std::string name) {
    TWordCoder coder;
    coder.kind_ = TCodeKind::Pairs;
    coder.name_ = std::move(name);
    coder.pairs_ = options;
    coder.pairTable_ = std::make_shared<const std::vector<TPairMask>>(PairTable(options));
    return coder;
}

TWordCoder TWordCoder::FromTable(std::string_view text, std::string name) {
    TWordCoder coder;
    coder.table_ = std::make_shared<const TLetterTable>(ParseTable(text, name));
    coder.kind_ = TCodeKind::Table;
    coder.name_ = std::move(name);
    return coder;
}

TWordCoder TWordCoder::FromTableFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw TCodeTableError(0, "Не удалось открыть таблицу кода «" + path + "»");
    }
    std::string text;
    char buffer[4096];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMostTableBytes) {
            throw TCodeTableError(0, "Таблица кода «" + path +
                                         "» слишком велика: в ней больше 1 МБ, а таблица — "
                                         "несколько десятков строк");
        }
    }
    if (file.bad()) {
        throw TCodeTableError(0, "Не удалось прочитать таблицу кода «" + path + "»");
    }
    return FromTable(text, path);
}

void TWordCoder::Code(std::string_view word, TWordCode& code) const {
    switch (kind_) {
    case TCodeKind::Program:
        CodeWord(word, code);
        return;
    case TCodeKind::Keyboard:
    case TCodeKind::Table:
        CodeWithTable(word, *table_, code);
        return;
    case TCodeKind::Padded:
        CodePadded(word, code);
        return;
    case TCodeKind::Pairs: {
        const TPairMask mask = PairBits(word, pairs_, *pairTable_);
        for (std::size_t i = 0; i < code.size(); ++i) {
            code[i] = ((mask[i / 64] >> (i % 64)) & 1u) != 0 ? 1 : -1;
        }
        return;
    }
    }
}

void TWordCoder::CodeMasks(std::string_view word, TPairMask& nonZero, TPairMask& negative) const {
    if (kind_ == TCodeKind::Pairs) {
        const TPairMask mask = PairBits(word, pairs_, *pairTable_);
        for (std::size_t w = 0; w < mask.size(); ++w) {
            const std::size_t bits = std::min<std::size_t>(64, kWordCodeLength - 64 * w);
            const std::uint64_t all =
                bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
            nonZero[w] = all;
            negative[w] = ~mask[w] & all;
        }
        return;
    }
    // A positional code: 8 bits per character, set where the element is +1.
    const std::size_t length = std::min<std::size_t>(word.size(), kCodedCharacters);
    const std::size_t coded = kind_ == TCodeKind::Padded ? kCodedCharacters : length;
    TPairMask values{};
    for (std::size_t k = 0; k < coded; ++k) {
        std::uint64_t value = kBlank;
        if (k < length) {
            const std::uint8_t upper = UpperCase1251(static_cast<std::uint8_t>(word[k]));
            value = upper;
            if (table_) {
                const TByteBits& bits = (*table_)[upper];
                value = 0;
                for (std::size_t b = 0; b < bits.size(); ++b) {
                    value |= static_cast<std::uint64_t>(bits[b] > 0 ? 1 : 0) << b;
                }
            }
        }
        values[k / 8] |= value << (8 * (k % 8));
    }
    for (std::size_t w = 0; w < values.size(); ++w) {
        const std::size_t bits = std::min<std::size_t>(8 * coded - std::min(8 * coded, 64 * w), 64);
        nonZero[w] = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        negative[w] = ~values[w] & nonZero[w];
    }
}

bool operator==(const TWordCoder& a, const TWordCoder& b) {
    if (a.kind_ != b.kind_ || a.name_ != b.name_ || !(a.pairs_ == b.pairs_)) {
        return false;
    }
    if (a.table_ == b.table_) {
        return true;
    }
    return a.table_ && b.table_ && *a.table_ == *b.table_;
}

std::string_view KeyboardNeighbours(std::uint8_t letter) {
    static const std::array<std::string, 256> kNeighbours = [] {
        // Rows of letter keys, top to bottom (Windows-1251 capitals); a key of
        // a lower row touches the key above it and the one to its right.
        const std::vector<std::vector<std::string_view>> layouts = {
            {"\xC9\xD6\xD3\xCA\xC5\xCD\xC3\xD8\xD9\xC7\xD5\xDA",
             "\xD4\xDB\xC2\xC0\xCF\xD0\xCE\xCB\xC4\xC6\xDD",
             "\xDF\xD7\xD1\xCC\xC8\xD2\xDC\xC1\xDE"},
            {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"}};
        std::array<std::string, 256> neighbours;
        auto link = [&](char a, char b) {
            neighbours[static_cast<std::uint8_t>(a)].push_back(b);
            neighbours[static_cast<std::uint8_t>(b)].push_back(a);
        };
        for (const auto& rows : layouts) {
            for (std::size_t r = 0; r < rows.size(); ++r) {
                for (std::size_t i = 0; i < rows[r].size(); ++i) {
                    if (i + 1 < rows[r].size()) {
                        link(rows[r][i], rows[r][i + 1]);
                    }
                    for (std::size_t j = i; r > 0 && j <= i + 1 && j < rows[r - 1].size(); ++j) {
                        link(rows[r][i], rows[r - 1][j]);
                    }
                }
            }
        }
        link('\xA8', '\xC9'); // Ё sits above the left end of Й's row
        return neighbours;
    }();
    return kNeighbours[letter];
}

} // namespace verblinka
