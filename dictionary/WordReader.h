// Reading a dictionary file: a byte source beneath, the file reader that turns
// UTF-8 or UTF-16 text into Windows-1251 bytes, and GetWord, which splits it
// into words.
#pragma once

#include "text/CodePage1251.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace verblinka {

// How many bytes the reader asks its source for at a time: large blocks, so
// that a file is read at the speed of the disk.
inline constexpr std::size_t kReadChunkSize = std::size_t{1} << 20;

// Where the bytes of a dictionary come from. Read returns how many bytes it
// placed in buffer; 0 means the end of the data or a failed read, which the
// reader treats alike. Read never waits for data without bound: a source that
// would throws instead (TOpenError for a file).
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // Goes back to the first byte; false where the source cannot.
    virtual bool Rewind() = 0;
    // Size in bytes, 0 where it is not known (only for showing progress).
    virtual std::uint64_t Size() const { return 0; }
};

// Error raised when a dictionary file cannot be opened; the text names the
// file by its full path.
class TOpenError : public std::runtime_error {
public:
    explicit TOpenError(const std::string& path);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// How long a read of a file may wait for data that is not there yet. A
// regular file never makes a read wait; a file of the system that only looks
// like one (a log that hands out its messages as they come) does.
inline constexpr int kReadWaitMilliseconds = 500;

// A file opened read-only by path. Directories, FIFOs, devices and other
// non-files fail to open like a missing file does, at once; a "regular" file
// whose reads would wait for data (/proc/kmsg) fails with TOpenError too, at
// the read that finds nothing there within kReadWaitMilliseconds.
class TFileSource final : public TByteSource {
public:
    explicit TFileSource(const std::string& path);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool Rewind() override;
    std::uint64_t Size() const override;

private:
    std::string path_;
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
    std::uint64_t Size() const override { return bytes_.size(); }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// How a dictionary file's bytes become Windows-1251 bytes.
enum class TTextEncoding {
    Bytes,   // read byte for byte
    Utf8,    // UTF-8 text (a byte-order mark, or mostly valid multi-byte sequences)
    Utf16Le, // UTF-16, little-endian, with its byte-order mark borne out by the text
    Utf16Be, // UTF-16, big-endian, with its byte-order mark borne out by the text
};

// Told, after each block that the pass deciding the encoding reads, how many
// bytes it has looked at and the source's size (0 when not known). It may
// throw to stop the pass: a cancelled load.
using TDetectionObserver = std::function<void(std::uint64_t examined, std::uint64_t size)>;

// Decides once how to read the source, then rewinds it (throws where it
// cannot). A UTF-8 byte-order mark decides; so does a UTF-16 one (LE or BE)
// when the units after it bear it out (most of them have the high byte of
// Latin or Cyrillic text, 0x00 or 0x04), since a Windows-1251 text may begin
// with the same two bytes, «яю» or «юя». Otherwise the file is UTF-8 when its
// valid multi-byte sequences outnumber its broken ones among the first
// kEncodingEvidence of them (TUtf8Evidence), and bytes otherwise. The same
// bytes always give the same decision, and a file that grows while it is
// read keeps the decision made at its start. The pass reads no further than
// the size the source has when it starts, where that is known; a source of
// unknown size that never ends (/proc/self/pagemap) is read until observer
// stops it.
TTextEncoding DetectEncoding(TByteSource& source, const TDetectionObserver& observer = {});

// Streaming conversion of one encoding into Windows-1251 bytes (a character
// the code page lacks becomes the substitute byte; each broken sequence too).
class TTextDecoder {
public:
    explicit TTextDecoder(TTextEncoding encoding) : encoding_(encoding) {}
    // Converts in, appending to out, which needs room for in.size() + 4 bytes;
    // returns how many bytes were written. A sequence cut at the end of in
    // goes on with the next call.
    std::size_t Convert(std::span<const std::uint8_t> in, std::uint8_t* out);
    // The end of the text: a sequence left unfinished becomes one substitute.
    std::size_t Finish(std::uint8_t* out);

private:
    std::size_t ConvertUtf8(std::span<const std::uint8_t> in, std::uint8_t* out);
    std::size_t ConvertUtf16(std::span<const std::uint8_t> in, std::uint8_t* out);
    std::size_t EmitUnit(char16_t unit, std::uint8_t* out);

    TTextEncoding encoding_;
    TUtf8Decoder utf8_;
    int pendingByte_ = -1;       // first byte of a UTF-16 unit whose second is still to come
    char16_t highSurrogate_ = 0; // a UTF-16 high surrogate waiting for its low one
};

// The dictionary file while a load reads it: hands out Windows-1251 bytes one
// at a time or a block at a time, converting the text on the way.
class TDictionaryFile {
public:
    // Decides the encoding at once, telling observer of that pass's progress.
    explicit TDictionaryFile(std::unique_ptr<TByteSource> source,
                             const TDetectionObserver& observer = {});
    // Opens the file at path; throws TOpenError where it cannot be opened.
    static std::unique_ptr<TDictionaryFile> Open(const std::string& path,
                                                 const TDetectionObserver& observer = {});

    TTextEncoding Encoding() const { return encoding_; }

    // Next byte, or false at the end of the file (or after a failed read).
    bool ReadByte(std::uint8_t& byte) {
        if (position_ == length_ && !Refill()) {
            return false;
        }
        byte = text_[position_++];
        return true;
    }

    // The next bytes (those ReadByte has not handed out), empty at the end of
    // the file. The caller may change them; they are valid until the next read.
    std::span<std::uint8_t> ReadBlock();

    // Bytes of the file read so far (after the encoding was decided), and the
    // file's size, 0 where it is not known.
    std::uint64_t BytesRead() const { return bytesRead_; }
    std::uint64_t TotalBytes() const { return totalBytes_; }
    // Bytes that the pass deciding the encoding looked at.
    std::uint64_t ExaminedBytes() const { return examinedBytes_; }

private:
    bool Refill();
    std::size_t ReadRaw(std::span<std::uint8_t> buffer);

    std::unique_ptr<TByteSource> source_;
    TTextEncoding encoding_ = TTextEncoding::Bytes;
    TTextDecoder decoder_{TTextEncoding::Bytes};
    // Left uninitialised: a small file touches only the first pages.
    std::unique_ptr<std::uint8_t[]> raw_;
    // Room for a few bytes more than a raw chunk: a sequence cut at a chunk's
    // end that turns out broken adds its substitute to the next chunk's output.
    std::unique_ptr<std::uint8_t[]> text_;
    std::size_t position_ = 0;
    std::size_t length_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t examinedBytes_ = 0;
    bool ended_ = false;
    bool finished_ = false;
    bool atStart_ = true;
};

// True for the 15 bytes that end a word and are never part of one.
bool IsDelimiter(std::uint8_t byte);

// Next word of file into result, or the empty string when no word is left.
// Without a file, result is left as it is.
void GetWord(TDictionaryFile* file, std::string& result);

} // namespace verblinka
