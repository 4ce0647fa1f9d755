// Windows-1251, the single-byte code page of every word, and its bridges to
// Unicode text (UTF-8) for the controls, the command line and UTF-8 files.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace verblinka {

// Byte a character becomes when Windows-1251 lacks it: the code page's own
// substitute control character, which belongs to words like a letter does.
inline constexpr std::uint8_t kSubstituteByte = 0x1A;

// Capital of a Windows-1251 byte; bytes without a capital stay as they are
// (the micro sign 0xB5 among them).
std::uint8_t UpperCase1251(std::uint8_t byte);

// Upper-cases every byte; the length does not change.
std::string UpperCase1251(std::string_view text);

// Unicode code point of a Windows-1251 byte; 0x98, unassigned, maps to U+0098
// so that every byte round-trips.
char32_t CodePointOf1251(std::uint8_t byte);

// Windows-1251 byte of a code point, if the code page holds it.
std::optional<std::uint8_t> ByteOfCodePoint1251(char32_t codePoint);

// Byte that a code point becomes on its way into Windows-1251: itself where the
// code page has it; a blank for a Unicode space that the code page lacks (it
// still separates words); the substitute byte for everything else (one byte
// for one character, so it neither splits nor joins words).
std::uint8_t To1251(char32_t codePoint);

// An entry or word as text output shows it: control characters (and the
// backslash that introduces their escapes) in a visible form (\t, \n, \r,
// \\, \xHH), so that a tab inside a word does not make an extra field of a
// tab-separated line and no entry drives a terminal. 0x98 is the one
// Windows-1251 byte that stands for a control character of Unicode's second set.
std::string Escape1251(std::string_view bytes);

// Windows-1251 bytes to UTF-8 text.
std::string Utf8From1251(std::string_view bytes);

// UTF-8 text to Windows-1251 bytes. A byte that is not part of a valid UTF-8
// sequence becomes the substitute byte.
std::string Utf8To1251(std::string_view utf8);

// The same; substituted tells whether any character became the substitute
// byte because the code page lacks it (or its sequence was broken), as
// opposed to U+001A itself. Such a byte stands for a character of the word,
// although its value is that of a control character.
std::string Utf8To1251(std::string_view utf8, bool& substituted);

// True when bytes is valid UTF-8 from start to end (the empty text is).
bool IsValidUtf8(std::string_view bytes);

// Incremental, strict UTF-8 decoder: feed bytes one at a time.
class TUtf8Decoder {
public:
    enum class TResult { NeedMore, CodePoint, Invalid };

    // On CodePoint, CodePoint() holds the decoded value. On Invalid, the
    // broken sequence is dropped (one substitute per maximal broken part); when
    // PendingRestart() is true the caller feeds the same byte again.
    TResult Feed(std::uint8_t byte);
    char32_t CodePoint() const { return codePoint_; }
    bool PendingRestart() const { return restart_; }
    bool MidSequence() const { return remaining_ != 0; }

private:
    char32_t codePoint_ = 0;
    std::uint8_t low_ = 0x80; // range of the next continuation byte
    std::uint8_t high_ = 0xBF;
    int remaining_ = 0;
    bool restart_ = false;
};

// How many multi-byte sequences, valid or broken, a text's encoding is decided
// on at most: the text is looked at from its start up to that many of them.
inline constexpr std::uint64_t kEncodingEvidence = std::uint64_t{1} << 16;

// The weight of evidence that bytes are UTF-8 rather than Windows-1251: the
// valid multi-byte sequences against the broken ones among the first
// kEncodingEvidence of them. Windows-1251 letters almost never form valid
// sequences, so a text in it weighs as bytes, while a UTF-8 text with a stray
// byte or cut mid-character stays UTF-8. A sequence left open when the
// weighing ends counts for neither side.
class TUtf8Evidence {
public:
    // Weighs bytes that follow those weighed before; false once the evidence
    // is complete (later bytes change nothing).
    bool Weigh(std::span<const std::uint8_t> bytes);
    // The text ends here for good (a word, not a file that may have been cut
    // short): a sequence left open is broken, as its conversion shows.
    void EndText();
    bool Enough() const { return valid_ + broken_ >= kEncodingEvidence; }
    // The decision: UTF-8 when the valid sequences outnumber the broken ones.
    bool IsUtf8() const { return valid_ > broken_; }

private:
    std::uint64_t valid_ = 0;
    std::uint64_t broken_ = 0;
    TUtf8Decoder decoder_;
};

// The same decision for a text held whole, a word typed or given (one that
// ends mid-sequence has that sequence broken): true when it reads as UTF-8,
// false when as Windows-1251 bytes.
bool WeighsAsUtf8(std::string_view bytes);

} // namespace verblinka
