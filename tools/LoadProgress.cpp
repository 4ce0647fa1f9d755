#include "tools/LoadProgress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace verblinka {
namespace {

constexpr char kEraseLine[] = "\r\033[K";

// Whether a progress line stands on the terminal: set only while a
// TLoadProgress shows its line. A signal handler reaches nothing but
// process-wide state, and only lock-free atomics are safe to read there.
std::atomic<bool> lineShown{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Erases the line with the one async-signal-safe call for it, then ends the
// program as the signal would have: SA_RESETHAND has restored the default
// action, and the signal raised again takes it once the handler returns.
extern "C" void EraseLineAndEnd(int signal) {
    if (lineShown.load()) {
        const ssize_t ignored = ::write(STDERR_FILENO, kEraseLine, sizeof kEraseLine - 1);
        static_cast<void>(ignored);
    }
    ::raise(signal);
}

} // namespace

TLoadProgress::TLoadProgress(bool enabled) {
    if (enabled && ::isatty(STDERR_FILENO) == 1) {
        control_.OnProgress = [this](std::uint64_t bytesRead, std::uint64_t totalBytes) {
            Show(bytesRead, totalBytes);
        };
        struct sigaction action {};
        action.sa_handler = EraseLineAndEnd;
        action.sa_flags = SA_RESETHAND;
        ::sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            // A signal ignored (a job started in the background) stays ignored.
            caught_[i] = ::sigaction(kEndingSignals[i], nullptr, &previous_[i]) == 0 &&
                         previous_[i].sa_handler == SIG_DFL &&
                         ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
        }
    }
}

TLoadProgress::~TLoadProgress() {
    Erase();
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        if (caught_[i]) {
            ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
    }
}

void TLoadProgress::Show(std::uint64_t bytesRead, std::uint64_t totalBytes) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1)) {
        return;
    }
    // A file that grew while it was read may pass its size: 100% at most.
    const int percent =
        totalBytes == 0
            ? 0
            : static_cast<int>(std::min<std::uint64_t>(100, bytesRead * 100 / totalBytes));
    // Without a size the count read goes on growing: shown a few times a second.
    const std::int64_t value =
        totalBytes == 0 ? static_cast<std::int64_t>(bytesRead >> 20) : percent;
    if (value == shown_ ||
        (totalBytes == 0 && shown_ >= 0 && now - lastShown_ < std::chrono::milliseconds(200))) {
        return;
    }
    shown_ = value;
    lastShown_ = now;
    lineShown = true; // before the line: a signal while it is written erases it too
    const std::string line =
        totalBytes == 0
            ? "\rLoading the dictionary: " + std::to_string(bytesRead >> 20) + " MiB read"
            : "\rLoading the dictionary: " + std::to_string(percent) + "%";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void TLoadProgress::Erase() {
    if (shown_ >= 0) {
        std::fputs(kEraseLine, stderr);
        std::fflush(stderr);
        shown_ = -1;
        lineShown = false;
    }
}

} // namespace verblinka
