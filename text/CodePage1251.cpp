#include "text/CodePage1251.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace verblinka {
namespace {

// Code points of bytes 0x80 ... 0xFF.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, //
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, //
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, //
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, //
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, //
};

struct TReverseEntry {
    char16_t CodePoint;
    std::uint8_t Byte;
};

constexpr std::array<TReverseEntry, 128> MakeReverseTable() {
    std::array<TReverseEntry, 128> table{};
    for (std::size_t i = 0; i < 128; ++i) {
        table[i] = {kUpperHalf[i], static_cast<std::uint8_t>(0x80 + i)};
    }
    std::sort(table.begin(), table.end(), [](const TReverseEntry& a, const TReverseEntry& b) {
        return a.CodePoint < b.CodePoint;
    });
    return table;
}

constexpr std::array<TReverseEntry, 128> kReverse = MakeReverseTable();

constexpr std::array<std::uint8_t, 256> MakeUpperTable() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < 256; ++i) {
        table[i] = static_cast<std::uint8_t>(i);
    }
    for (std::size_t c = 0x61; c <= 0x7A; ++c) {
        table[c] = static_cast<std::uint8_t>(c - 0x20);
    }
    for (std::size_t c = 0xE0; c <= 0xFF; ++c) {
        table[c] = static_cast<std::uint8_t>(c - 0x20);
    }
    constexpr std::uint8_t kPairs[][2] = {
        {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
        {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5},
        {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD},
    };
    for (const auto& pair : kPairs) {
        table[pair[0]] = pair[1];
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kUpper = MakeUpperTable();

bool IsUnicodeSpaceMissingFrom1251(char32_t c) {
    return c == 0x85 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// True when no byte of the eight at p has its top bit set.
bool IsAscii8(const std::uint8_t* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

std::uint8_t UpperCase1251(std::uint8_t byte) {
    return kUpper[byte];
}

std::string UpperCase1251(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(kUpper[static_cast<std::uint8_t>(c)]);
    }
    return result;
}

char32_t CodePointOf1251(std::uint8_t byte) {
    return byte < 0x80 ? static_cast<char32_t>(byte)
                       : static_cast<char32_t>(kUpperHalf[byte - 0x80]);
}

std::optional<std::uint8_t> ByteOfCodePoint1251(char32_t codePoint) {
    if (codePoint < 0x80) {
        return static_cast<std::uint8_t>(codePoint);
    }
    if (codePoint > 0xFFFF) {
        return std::nullopt;
    }
    const auto it = std::lower_bound(
        kReverse.begin(), kReverse.end(), codePoint,
        [](const TReverseEntry& entry, char32_t value) { return entry.CodePoint < value; });
    if (it != kReverse.end() && it->CodePoint == codePoint) {
        return it->Byte;
    }
    return std::nullopt;
}

std::uint8_t To1251(char32_t codePoint) {
    if (const auto byte = ByteOfCodePoint1251(codePoint)) {
        return *byte;
    }
    return IsUnicodeSpaceMissingFrom1251(codePoint) ? std::uint8_t{0x20} : kSubstituteByte;
}

std::string Escape1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F || byte == 0x98) {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Utf8From1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        AppendUtf8(out, CodePointOf1251(static_cast<std::uint8_t>(c)));
    }
    return out;
}

std::string Utf8To1251(std::string_view utf8) {
    bool substituted = false;
    return Utf8To1251(utf8, substituted);
}

std::string Utf8To1251(std::string_view utf8, bool& substituted) {
    substituted = false;
    std::string out;
    out.reserve(utf8.size());
    TUtf8Decoder decoder;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        switch (decoder.Feed(static_cast<std::uint8_t>(utf8[i]))) {
        case TUtf8Decoder::TResult::NeedMore:
            break;
        case TUtf8Decoder::TResult::CodePoint: {
            const std::uint8_t byte = To1251(decoder.CodePoint());
            substituted = substituted || (byte == kSubstituteByte && decoder.CodePoint() != 0x1A);
            out.push_back(static_cast<char>(byte));
            break;
        }
        case TUtf8Decoder::TResult::Invalid:
            out.push_back(static_cast<char>(kSubstituteByte));
            substituted = true;
            if (decoder.PendingRestart()) {
                --i; // the byte starts something new: read it again
            }
            break;
        }
    }
    if (decoder.MidSequence()) {
        out.push_back(static_cast<char>(kSubstituteByte));
        substituted = true;
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    TUtf8Decoder decoder;
    for (const char c : bytes) {
        if (decoder.Feed(static_cast<std::uint8_t>(c)) == TUtf8Decoder::TResult::Invalid) {
            return false;
        }
    }
    return !decoder.MidSequence();
}

bool TUtf8Evidence::Weigh(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (!decoder_.MidSequence()) {
            while (i + 8 <= n && IsAscii8(bytes.data() + i)) {
                i += 8;
            }
            if (i == n) {
                break;
            }
        }
        switch (decoder_.Feed(bytes[i])) {
        case TUtf8Decoder::TResult::NeedMore:
            ++i;
            break;
        case TUtf8Decoder::TResult::CodePoint:
            valid_ += decoder_.CodePoint() >= 0x80 ? 1 : 0;
            ++i;
            break;
        case TUtf8Decoder::TResult::Invalid:
            ++broken_;
            if (!decoder_.PendingRestart()) {
                ++i;
            }
            break;
        }
        if (Enough()) {
            return false;
        }
    }
    return true;
}

void TUtf8Evidence::EndText() {
    if (decoder_.MidSequence() && !Enough()) {
        ++broken_;
    }
    decoder_ = TUtf8Decoder();
}

bool WeighsAsUtf8(std::string_view bytes) {
    TUtf8Evidence evidence;
    evidence.Weigh(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    evidence.EndText();
    return evidence.IsUtf8();
}

TUtf8Decoder::TResult TUtf8Decoder::Feed(std::uint8_t byte) {
    restart_ = false;
    if (remaining_ == 0) {
        low_ = 0x80;
        high_ = 0xBF;
        if (byte < 0x80) {
            codePoint_ = byte;
            return TResult::CodePoint;
        }
        if (byte >= 0xC2 && byte <= 0xDF) {
            codePoint_ = byte & 0x1Fu;
            remaining_ = 1;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            codePoint_ = byte & 0x0Fu;
            remaining_ = 2;
            // No overlong forms, no surrogates.
            low_ = byte == 0xE0 ? 0xA0 : 0x80;
            high_ = byte == 0xED ? 0x9F : 0xBF;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            codePoint_ = byte & 0x07u;
            remaining_ = 3;
            // No overlong forms, nothing above U+10FFFF.
            low_ = byte == 0xF0 ? 0x90 : 0x80;
            high_ = byte == 0xF4 ? 0x8F : 0xBF;
        } else {
            return TResult::Invalid;
        }
        return TResult::NeedMore;
    }
    if (byte < low_ || byte > high_) {
        // The sequence so far is broken; the byte itself may start the next one.
        remaining_ = 0;
        restart_ = true;
        return TResult::Invalid;
    }
    low_ = 0x80;
    high_ = 0xBF;
    codePoint_ = (codePoint_ << 6) | (byte & 0x3Fu);
    --remaining_;
    return remaining_ == 0 ? TResult::CodePoint : TResult::NeedMore;
}

} // namespace verblinka
