#include "dictionary/WordReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

TFileSource::TFileSource(const std::string& path) {
    // Only a regular file is a dictionary (it is read twice). Opening without
    // blocking keeps a FIFO without a writer, or a device that waits, from
    // holding the open; such a file is then refused like any non-file.
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor_ < 0) {
        throw TOpenError(path);
    }
    struct stat status {};
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
        ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
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
    for (;;) {
        const ssize_t got = ::read(descriptor_, buffer.data(), buffer.size());
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return 0; // a failed read ends the file
        }
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

TTextEncoding DetectEncoding(TByteSource& source) {
    std::array<std::uint8_t, kReadChunkSize> chunk{};
    Utf8Decoder decoder;
    bool valid = true;
    bool multiByte = false;
    bool first = true;
    bool byteOrderMark = false;
    for (;;) {
        const std::size_t got = first ? ReadFully(source, chunk) : source.Read(chunk);
        if (got == 0) {
            break;
        }
        if (first && StartsWithByteOrderMark(std::span(chunk).first(got))) {
            byteOrderMark = true;
            break;
        }
        first = false;
        for (std::size_t i = 0; i < got && valid; ++i) {
            switch (decoder.Feed(chunk[i])) {
            case Utf8Decoder::Result::CodePoint:
                multiByte = multiByte || decoder.codePoint() >= 0x80;
                break;
            case Utf8Decoder::Result::NeedMore:
                break;
            case Utf8Decoder::Result::Invalid:
                valid = false;
                break;
            }
        }
        if (!valid) {
            break;
        }
    }
    if (decoder.midSequence()) {
        valid = false;
    }
    if (!source.Rewind()) {
        throw std::runtime_error("Cannot read the file again from its start");
    }
    return byteOrderMark || (valid && multiByte) ? TTextEncoding::Utf8 : TTextEncoding::Bytes;
}

TDictionaryFile::TDictionaryFile(std::unique_ptr<TByteSource> source) : source_(std::move(source)) {
    encoding_ = DetectEncoding(*source_);
}

std::unique_ptr<TDictionaryFile> TDictionaryFile::Open(const std::string& path) {
    return std::make_unique<TDictionaryFile>(std::make_unique<TFileSource>(path));
}

std::size_t TDictionaryFile::ReadRaw(std::span<std::uint8_t> buffer) {
    if (ended_) {
        return 0;
    }
    const std::size_t got = source_->Read(buffer);
    ended_ = got == 0; // after a failed read nothing more is read
    return got;
}

bool TDictionaryFile::RefillRaw() {
    position_ = 0;
    length_ = ReadRaw(buffer_);
    return length_ > 0;
}

bool TDictionaryFile::Refill() {
    if (encoding_ == TTextEncoding::Bytes) {
        return RefillRaw();
    }
    position_ = 0;
    length_ = 0;
    while (length_ == 0) {
        std::size_t got = 0;
        std::size_t start = 0;
        if (atStart_) {
            atStart_ = false;
            got = ended_ ? 0 : ReadFully(*source_, std::span(raw_).first(3));
            ended_ = got < 3;
            if (got == 3 && StartsWithByteOrderMark(std::span(raw_).first(3))) {
                start = 3;
            }
        } else {
            got = ReadRaw(raw_);
        }
        if (got == 0) {
            if (decoder_.midSequence()) {
                decoder_ = Utf8Decoder();
                buffer_[length_++] = kSubstituteByte;
            }
            return length_ > 0;
        }
        for (std::size_t i = start; i < got; ++i) {
            switch (decoder_.Feed(raw_[i])) {
            case Utf8Decoder::Result::NeedMore:
                break;
            case Utf8Decoder::Result::CodePoint:
                buffer_[length_++] = To1251(decoder_.codePoint());
                break;
            case Utf8Decoder::Result::Invalid:
                buffer_[length_++] = kSubstituteByte;
                if (decoder_.pendingRestart()) {
                    --i;
                }
                break;
            }
        }
    }
    return true;
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
