// A byte source for tests and fuzzing that behaves like a troubled file: it
// hands its bytes out in short pieces, and a read at or past a given offset
// fails (a bad sector), either on every pass over the file or only once the
// reader has gone back to the start.
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

} // namespace verblinka::test_support
