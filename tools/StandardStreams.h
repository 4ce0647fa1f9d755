// The tool's standard output and input at the level of the descriptors, so
// that a failed write or read is told apart from success and from the end of
// the input, with the system's reason for it.
#pragma once

#include <array>
#include <cstddef>
#include <streambuf>
#include <string>

namespace verblinka {

// An output buffer over a descriptor that keeps the reason (errno) of the
// first failed write; from then on everything written is dropped and every
// flush fails, so that a stream over it turns bad.
class TOutputBuffer final : public std::streambuf {
public:
    explicit TOutputBuffer(int descriptor);
    TOutputBuffer(const TOutputBuffer&) = delete;
    TOutputBuffer& operator=(const TOutputBuffer&) = delete;

    // errno of the first failed write, 0 while none failed.
    int Error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();

    int descriptor_;
    int error_ = 0;
    std::array<char, std::size_t{1} << 16> buffer_{};
};

// Lines read from a descriptor, without their line ends ("\n"), as
// std::getline splits them; a last line without a line end is a line too.
class TInputLines {
public:
    explicit TInputLines(int descriptor);
    TInputLines(const TInputLines&) = delete;
    TInputLines& operator=(const TInputLines&) = delete;

    // The next line into line; false at the end of the input or after a
    // failed read (Error() tells them apart).
    bool Next(std::string& line);
    // errno of a failed read, 0 while none failed.
    int Error() const { return error_; }

private:
    bool Fill();

    int descriptor_;
    int error_ = 0;
    bool ended_ = false;
    std::size_t position_ = 0;
    std::size_t length_ = 0;
    std::array<char, std::size_t{1} << 16> buffer_{};
};

} // namespace verblinka
