// Reading a dictionary file: a byte source beneath, the file reader that turns
// UTF-8 text into Windows-1251 bytes, and GetWord, which splits it into words.
#pragma once

#include "text/CodePage1251.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace verblinka {

// How many bytes the reader asks its source for at a time.
inline constexpr std::size_t kReadChunkSize = std::size_t{64} * 1024;

// Where the bytes of a dictionary come from. Read returns how many bytes it
// placed in buffer; 0 means the end of the data or a failed read, which the
// reader treats alike.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // Goes back to the first byte; false where the source cannot.
    virtual bool Rewind() = 0;
};

// Error raised when a dictionary file cannot be opened; the text names the
// file by its full path.
class TOpenError : public std::runtime_error {
public:
    explicit TOpenError(const std::string& path);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A file opened read-only by path. Directories and other non-files fail to
// open like a missing file does.
class TFileSource final : public TByteSource {
public:
    explicit TFileSource(const std::string& path);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool Rewind() override;

private:
    int descriptor_ = -1;
};

// Bytes held in memory (tests, fuzzing).
class TMemorySource final : public TByteSource {
public:
    explicit TMemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool Rewind() override {
        position_ = 0;
        return true;
    }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// How a dictionary file's bytes become Windows-1251 bytes.
enum class TTextEncoding {
    Bytes, // read byte for byte
    Utf8,  // UTF-8 text (a byte-order mark, or valid with a multi-byte sequence)
};

// Looks at the whole source (then rewinds it) to decide how to read it.
TTextEncoding DetectEncoding(TByteSource& source);

// The dictionary file while a load reads it: hands out Windows-1251 bytes one
// at a time, converting UTF-8 text on the way.
class TDictionaryFile {
public:
    explicit TDictionaryFile(std::unique_ptr<TByteSource> source);
    // Opens the file at path; throws TOpenError where it cannot be opened.
    static std::unique_ptr<TDictionaryFile> Open(const std::string& path);

    TTextEncoding encoding() const { return encoding_; }

    // Next byte, or false at the end of the file (or after a failed read).
    bool ReadByte(std::uint8_t& byte) {
        if (position_ == length_ && !Refill()) {
            return false;
        }
        byte = buffer_[position_++];
        return true;
    }

private:
    bool Refill();
    bool RefillRaw();
    std::size_t ReadRaw(std::span<std::uint8_t> buffer);

    std::unique_ptr<TByteSource> source_;
    TTextEncoding encoding_ = TTextEncoding::Bytes;
    std::array<std::uint8_t, kReadChunkSize> raw_{};
    // Room for one more byte than a raw chunk: a sequence cut at a chunk's end
    // that turns out broken adds its substitute to the next chunk's output.
    std::array<std::uint8_t, kReadChunkSize + 16> buffer_{};
    std::size_t position_ = 0;
    std::size_t length_ = 0;
    bool ended_ = false;
    bool atStart_ = true;
    Utf8Decoder decoder_;
};

// True for the 15 bytes that end a word and are never part of one.
bool IsDelimiter(std::uint8_t byte);

// Next word of file into result, or the empty string when no word is left.
// Without a file, result is left as it is.
void GetWord(TDictionaryFile* file, std::string& result);

} // namespace verblinka
