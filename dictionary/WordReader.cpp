#include "dictionary/WordReader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace verblinka {
namespace {

constexpr std::uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

// Reads until buffer is full or the source ends.
std::size_t ReadFully(TByteSource& source, std::span<std::uint8_t> buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
        const std::size_t got = source.Read(buffer.subspan(total));
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool StartsWithByteOrderMark(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && std::equal(bytes.begin(), bytes.begin() + 3, kByteOrderMark);
}

} // namespace

TOpenError::TOpenError(const std::string& path)
    : std::runtime_error("Cannot open file " + path), path_(path) {}

TFileSource::TFileSource(const std::string& path) : path_(path) {
    // Only a regular file is a dictionary (it is read twice). Opening without
    // blocking keeps a FIFO without a writer, or a device that waits, from
    // holding the open; such a file is then refused like any non-file. The
    // descriptor stays non-blocking: a regular file ignores that, while a file
    // of the system that only looks regular (/proc/kmsg) then reports that it
    // would wait instead of waiting for good.
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor_ < 0) {
        throw TOpenError(path);
    }
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor_);
        descriptor_ = -1;
        throw TOpenError(path);
    }
}

TFileSource::~TFileSource() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

std::size_t TFileSource::Read(std::span<std::uint8_t> buffer) {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline =
        TClock::now() + std::chrono::milliseconds(kReadWaitMilliseconds);
    bool waited = false;
    for (;;) {
        const ssize_t got = ::read(descriptor_, buffer.data(), buffer.size());
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return 0; // a failed read ends the file
        }
        // Nothing there yet: wait for it a little, once. A file that still
        // has nothing (or says it has, and then has not) is not a file.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (waited || left.count() <= 0) {
            throw TOpenError(path_);
        }
        pollfd ready{descriptor_, POLLIN, 0};
        const int events = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (events < 0 && errno == EINTR) {
            continue; // the time left is measured again
        }
        if (events <= 0) {
            throw TOpenError(path_);
        }
        waited = true;
    }
}

bool TFileSource::Rewind() {
    return ::lseek(descriptor_, 0, SEEK_SET) == 0;
}

std::size_t TMemorySource::Read(std::span<std::uint8_t> buffer) {
    const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
    std::memcpy(buffer.data(), bytes_.data() + position_, count);
    position_ += count;
    return count;
}

std::uint64_t TFileSource::Size() const {
    struct stat status {};
    return ::fstat(descriptor_, &status) == 0 && status.st_size > 0
               ? static_cast<std::uint64_t>(status.st_size)
               : 0;
}

namespace {

constexpr std::uint8_t kUtf16LeMark[2] = {0xFF, 0xFE};
constexpr std::uint8_t kUtf16BeMark[2] = {0xFE, 0xFF};

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// The byte-order mark an encoding's text may begin with (none for bytes).
std::span<const std::uint8_t> MarkOf(TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::Utf8:
        return kByteOrderMark;
    case TTextEncoding::Utf16Le:
        return kUtf16LeMark;
    case TTextEncoding::Utf16Be:
        return kUtf16BeMark;
    case TTextEncoding::Bytes:
        break;
    }
    return {};
}

// True when no byte of the eight at p has its top bit set.
bool IsAscii8(const std::uint8_t* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

// Whether the bytes after a UTF-16 byte-order mark bear it out. Text in the
// code page's alphabets has 0x00 (Latin, digits, blanks, punctuation) or
// 0x04 (Cyrillic) as the high byte of nearly every UTF-16 unit, while a
// Windows-1251 text that happens to begin «яю» or «юя» has them almost never.
// More than half of the units (up to kEncodingEvidence) must be such, or the
// two halves of a surrogate pair; a mark with nothing after it is no evidence.
bool BearsOutUtf16(std::span<const std::uint8_t> text, bool little) {
    const std::size_t units =
        std::min(text.size() / 2, static_cast<std::size_t>(kEncodingEvidence));
    const auto unit = [&](std::size_t k) {
        const unsigned first = text[2 * k];
        const unsigned second = text[2 * k + 1];
        return little ? (second << 8) | first : (first << 8) | second;
    };
    std::size_t plausible = 0;
    for (std::size_t k = 0; k < units; ++k) {
        const unsigned u = unit(k);
        if (u <= 0xFF || (u >= 0x400 && u <= 0x4FF)) {
            ++plausible;
        } else if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
                   unit(k + 1) <= 0xDFFF) {
            plausible += 2;
            ++k;
        }
    }
    return units > 0 && plausible * 2 > units;
}

// The reads of the pass that decides the encoding: none past the size the
// source has when the pass starts, where that is known (a file that grows
// while it is read cannot keep the pass going), and each told to observer.
class TDetectionReads {
public:
    TDetectionReads(TByteSource& source, const TDetectionObserver& observer)
        : source_(source), observer_(observer), size_(source.Size()) {}

    std::size_t ReadFully(std::span<std::uint8_t> buffer) {
        return Told(verblinka::ReadFully(source_, Bounded(buffer)));
    }
    std::size_t Read(std::span<std::uint8_t> buffer) {
        const std::span<std::uint8_t> bounded = Bounded(buffer);
        return Told(bounded.empty() ? 0 : source_.Read(bounded));
    }

private:
    std::span<std::uint8_t> Bounded(std::span<std::uint8_t> buffer) const {
        if (size_ == 0) {
            return buffer;
        }
        return buffer.first(static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), size_ - std::min(size_, examined_))));
    }
    std::size_t Told(std::size_t got) {
        examined_ += got;
        if (observer_) {
            observer_(examined_, size_);
        }
        return got;
    }

    TByteSource& source_;
    const TDetectionObserver& observer_;
    std::uint64_t size_;
    std::uint64_t examined_ = 0;
};

} // namespace

TTextEncoding DetectEncoding(TByteSource& source, const TDetectionObserver& observer) {
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunkSize);
    const std::span<std::uint8_t> chunk(buffer.get(), kReadChunkSize);
    TDetectionReads reads(source, observer);
    std::size_t got = reads.ReadFully(chunk);
    const std::span<const std::uint8_t> first = chunk.first(got);
    TTextEncoding encoding = TTextEncoding::Bytes;
    if (StartsWithByteOrderMark(first)) {
        encoding = TTextEncoding::Utf8;
    } else if (StartsWith(first, kUtf16LeMark) && BearsOutUtf16(first.subspan(2), true)) {
        encoding = TTextEncoding::Utf16Le;
    } else if (StartsWith(first, kUtf16BeMark) && BearsOutUtf16(first.subspan(2), false)) {
        encoding = TTextEncoding::Utf16Be;
    } else {
        // A sequence left open when the reading ends (a file cut
        // mid-character) counts for neither side.
        TUtf8Evidence evidence;
        while (got > 0 && evidence.Weigh(chunk.first(got))) {
            got = reads.Read(chunk);
        }
        encoding = evidence.IsUtf8() ? TTextEncoding::Utf8 : TTextEncoding::Bytes;
    }
    if (!source.Rewind()) {
        throw std::runtime_error("Cannot read the file again from its start");
    }
    return encoding;
}

namespace {

// Windows-1251 byte of every two-byte UTF-8 sequence, by lead (0xC2 ... 0xDF)
// and continuation byte.
constexpr std::size_t kTwoByteSequences = std::size_t{30} * 64;
const std::array<std::uint8_t, kTwoByteSequences>& TwoByteTable() {
    static const auto kTable = [] {
        std::array<std::uint8_t, kTwoByteSequences> bytes{};
        for (std::size_t lead = 0; lead < 30; ++lead) {
            for (std::size_t low = 0; low < 64; ++low) {
                bytes[lead * 64 + low] = To1251(static_cast<char32_t>(((lead + 2) << 6) | low));
            }
        }
        return bytes;
    }();
    return kTable;
}

} // namespace

std::size_t TTextDecoder::Convert(std::span<const std::uint8_t> in, std::uint8_t* out) {
    switch (encoding_) {
    case TTextEncoding::Bytes:
        std::memcpy(out, in.data(), in.size());
        return in.size();
    case TTextEncoding::Utf8:
        return ConvertUtf8(in, out);
    case TTextEncoding::Utf16Le:
    case TTextEncoding::Utf16Be:
        return ConvertUtf16(in, out);
    }
    return 0;
}

// ASCII runs eight bytes at a time and two-byte sequences (all of Cyrillic)
// by table; everything else through the strict decoder, byte by byte.
std::size_t TTextDecoder::ConvertUtf8(std::span<const std::uint8_t> in, std::uint8_t* out) {
    const auto& twoBytes = TwoByteTable();
    const std::uint8_t* p = in.data();
    const std::size_t n = in.size();
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < n) {
        if (!utf8_.MidSequence()) {
            while (i < n) {
                if (i + 8 <= n && IsAscii8(p + i)) {
                    std::memcpy(out + o, p + i, 8);
                    i += 8;
                    o += 8;
                    continue;
                }
                const std::uint8_t lead = p[i];
                if (lead < 0x80) {
                    out[o++] = lead;
                    ++i;
                } else if (lead >= 0xC2 && lead <= 0xDF && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
                    out[o++] =
                        twoBytes[static_cast<std::size_t>(lead - 0xC2) * 64 + (p[i + 1] & 0x3F)];
                    i += 2;
                } else {
                    break;
                }
            }
            if (i == n) {
                break;
            }
        }
        switch (utf8_.Feed(p[i])) {
        case TUtf8Decoder::TResult::NeedMore:
            ++i;
            break;
        case TUtf8Decoder::TResult::CodePoint:
            out[o++] = To1251(utf8_.CodePoint());
            ++i;
            break;
        case TUtf8Decoder::TResult::Invalid:
            out[o++] = kSubstituteByte;
            if (!utf8_.PendingRestart()) {
                ++i; // otherwise the byte starts something new: read it again
            }
            break;
        }
    }
    return o;
}

// Units of two bytes; a pair of surrogates is one character (never in
// Windows-1251), a surrogate without its partner a broken sequence.
std::size_t TTextDecoder::ConvertUtf16(std::span<const std::uint8_t> in, std::uint8_t* out) {
    std::size_t o = 0;
    const bool little = encoding_ == TTextEncoding::Utf16Le;
    for (const std::uint8_t byte : in) {
        if (pendingByte_ < 0) {
            pendingByte_ = byte;
            continue;
        }
        const auto first = static_cast<unsigned>(pendingByte_);
        pendingByte_ = -1;
        const auto unit = static_cast<char16_t>(little ? (byte << 8) | first : (first << 8) | byte);
        o += EmitUnit(unit, out + o);
    }
    return o;
}

std::size_t TTextDecoder::EmitUnit(char16_t unit, std::uint8_t* out) {
    std::size_t o = 0;
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (highSurrogate_ != 0) {
        const char16_t lead = highSurrogate_;
        highSurrogate_ = 0;
        if (low) {
            out[o++] = To1251(0x10000 + ((static_cast<char32_t>(lead) - 0xD800) << 10) +
                              (static_cast<char32_t>(unit) - 0xDC00));
            return o;
        }
        out[o++] = kSubstituteByte;
    }
    if (high) {
        highSurrogate_ = unit;
    } else {
        out[o++] = low ? kSubstituteByte : To1251(unit);
    }
    return o;
}

std::size_t TTextDecoder::Finish(std::uint8_t* out) {
    std::size_t o = 0;
    if (utf8_.MidSequence()) {
        utf8_ = TUtf8Decoder();
        out[o++] = kSubstituteByte;
    }
    if (highSurrogate_ != 0) {
        highSurrogate_ = 0;
        out[o++] = kSubstituteByte;
    }
    if (pendingByte_ >= 0) {
        pendingByte_ = -1;
        out[o++] = kSubstituteByte;
    }
    return o;
}

TDictionaryFile::TDictionaryFile(std::unique_ptr<TByteSource> source,
                                 const TDetectionObserver& observer)
    : source_(std::move(source)) {
    encoding_ =
        DetectEncoding(*source_, [this, &observer](std::uint64_t examined, std::uint64_t size) {
            examinedBytes_ = examined;
            if (observer) {
                observer(examined, size);
            }
        });
    decoder_ = TTextDecoder(encoding_);
    totalBytes_ = source_->Size();
    if (encoding_ != TTextEncoding::Bytes) {
        raw_ = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunkSize);
    }
    text_ = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunkSize + 64);
}

std::unique_ptr<TDictionaryFile> TDictionaryFile::Open(const std::string& path,
                                                       const TDetectionObserver& observer) {
    return std::make_unique<TDictionaryFile>(std::make_unique<TFileSource>(path), observer);
}

std::size_t TDictionaryFile::ReadRaw(std::span<std::uint8_t> buffer) {
    if (ended_) {
        return 0;
    }
    const std::size_t got = source_->Read(buffer);
    ended_ = got == 0; // after a failed read nothing more is read
    bytesRead_ += got;
    return got;
}

bool TDictionaryFile::Refill() {
    position_ = 0;
    length_ = 0;
    while (length_ == 0 && !finished_) {
        if (encoding_ == TTextEncoding::Bytes) {
            length_ = ReadRaw(std::span(text_.get(), kReadChunkSize));
            finished_ = length_ == 0;
            break;
        }
        std::size_t got = 0;
        std::size_t start = 0;
        if (atStart_) {
            // The byte-order mark, read whole even from a source of short reads.
            atStart_ = false;
            const std::span<const std::uint8_t> mark = MarkOf(encoding_);
            got = ReadFully(*source_, std::span(raw_.get(), mark.size()));
            bytesRead_ += got;
            ended_ = got < mark.size();
            if (StartsWith(std::span(raw_.get(), got), mark)) {
                start = got;
            }
        } else {
            got = ReadRaw(std::span(raw_.get(), kReadChunkSize));
        }
        if (got == 0) {
            length_ = decoder_.Finish(text_.get());
            finished_ = true;
            break;
        }
        length_ = decoder_.Convert(std::span(raw_.get() + start, got - start), text_.get());
    }
    return length_ > 0;
}

std::span<std::uint8_t> TDictionaryFile::ReadBlock() {
    if (position_ == length_ && !Refill()) {
        return {};
    }
    const std::span<std::uint8_t> block(text_.get() + position_, length_ - position_);
    position_ = length_;
    return block;
}

bool IsDelimiter(std::uint8_t byte) {
    switch (byte) {
    case 0x00:
    case 0x20:
    case 0x2C:
    case 0x2E:
    case 0x2D:
    case 0x21:
    case 0x3F:
    case 0x0D:
    case 0x0A:
    case 0x22:
    case 0x27:
    case 0x28:
    case 0x29:
    case 0x3A:
    case 0x3B:
        return true;
    default:
        return false;
    }
}

void GetWord(TDictionaryFile* file, std::string& result) {
    if (file == nullptr) {
        return;
    }
    result.clear();
    std::uint8_t byte = 0;
    do {
        if (!file->ReadByte(byte)) {
            return;
        }
    } while (IsDelimiter(byte));
    do {
        result.push_back(static_cast<char>(byte));
    } while (file->ReadByte(byte) && !IsDelimiter(byte));
}

} // namespace verblinka
