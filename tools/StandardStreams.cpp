#include "tools/StandardStreams.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace verblinka {
namespace {

// Waits until a descriptor opened without blocking (as a shell may hand one
// on) can be read or written, instead of taking "try again" for a failure.
bool AwaitReady(int descriptor, short events) {
    pollfd request{descriptor, events, 0};
    for (;;) {
        if (::poll(&request, 1, -1) >= 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// Whether the read or write that just failed is tried again: after a signal,
// and once the descriptor is ready where it was merely not ready yet.
bool Retry(int descriptor, short events) {
    return errno == EINTR ||
           ((errno == EAGAIN || errno == EWOULDBLOCK) && AwaitReady(descriptor, events));
}

} // namespace

TOutputBuffer::TOutputBuffer(int descriptor) : descriptor_(descriptor) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool TOutputBuffer::Drain() {
    const char* next = pbase();
    const char* const end = pptr();
    while (error_ == 0 && next != end) {
        const ssize_t written = ::write(descriptor_, next, static_cast<std::size_t>(end - next));
        if (written > 0) {
            next += written;
        } else if (written == 0) {
            error_ = EIO; // no progress and no reason: as the device's own failure
        } else if (!Retry(descriptor_, POLLOUT)) {
            error_ = errno;
        }
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

TOutputBuffer::int_type TOutputBuffer::overflow(int_type c) {
    if (!Drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int TOutputBuffer::sync() {
    return Drain() ? 0 : -1;
}

TInputLines::TInputLines(int descriptor) : descriptor_(descriptor) {}

bool TInputLines::Fill() {
    position_ = 0;
    length_ = 0;
    while (!ended_ && error_ == 0) {
        const ssize_t got = ::read(descriptor_, buffer_.data(), buffer_.size());
        if (got > 0) {
            length_ = static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            ended_ = true;
        } else if (!Retry(descriptor_, POLLIN)) {
            error_ = errno;
        }
    }
    return false;
}

bool TInputLines::Next(std::string& line) {
    line.clear();
    bool started = false;
    for (;;) {
        if (position_ == length_ && !Fill()) {
            // A line cut by a failed read is not looked up as if it were whole.
            return started && error_ == 0;
        }
        const char* const start = buffer_.data() + position_;
        const std::size_t available = length_ - position_;
        const void* const end = std::memchr(start, '\n', available);
        if (end != nullptr) {
            const auto size = static_cast<std::size_t>(static_cast<const char*>(end) - start);
            line.append(start, size);
            position_ += size + 1;
            return true;
        }
        line.append(start, available);
        position_ = length_;
        started = true;
    }
}

} // namespace verblinka
