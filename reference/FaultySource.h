// Byte sources for tests and fuzzing that behave like troubled files. The
// first hands its bytes out in short pieces, and a read at or past a given
// offset fails (a bad sector), either on every pass over the file or only once
// the reader has gone back to the start. The second never ends, as
// /proc/self/pagemap practically does not.
#pragma once

#include "dictionary/WordReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace verblinka::test_support {

class TFaultySource final : public TByteSource {
public:
    static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

    struct TFaults {
        std::size_t Piece = kNever;   // most bytes one read hands out
        std::size_t FailAt = kNever;  // offset whose read fails
        bool OnlyAfterRewind = false; // the first pass reads the whole file
        bool CannotRewind = false;
    };

    TFaultySource(std::string bytes, const TFaults& faults)
        : bytes_(std::move(bytes)), faults_(faults) {}

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        std::size_t end = bytes_.size();
        if (!faults_.OnlyAfterRewind || rewound_) {
            end = std::min(end, faults_.FailAt);
        }
        if (position_ >= end) {
            return 0;
        }
        const std::size_t count = std::min({buffer.size(), end - position_, faults_.Piece});
        std::memcpy(buffer.data(), bytes_.data() + position_, count);
        position_ += count;
        return count;
    }

    bool Rewind() override {
        if (faults_.CannotRewind) {
            return false;
        }
        position_ = 0;
        rewound_ = true;
        return true;
    }

private:
    std::string bytes_;
    TFaults faults_;
    std::size_t position_ = 0;
    bool rewound_ = false;
};

// Zero bytes without end; its size is whatever it is told to claim (0: not
// known). Counts the bytes it has handed out.
class TEndlessSource final : public TByteSource {
public:
    explicit TEndlessSource(std::uint64_t claimedSize) : claimedSize_(claimedSize) {}

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        std::memset(buffer.data(), 0, buffer.size());
        handedOut_ += buffer.size();
        return buffer.size();
    }
    bool Rewind() override { return true; }
    std::uint64_t Size() const override { return claimedSize_; }

    std::uint64_t HandedOut() const { return handedOut_; }

private:
    std::uint64_t claimedSize_;
    std::uint64_t handedOut_ = 0;
};

} // namespace verblinka::test_support
