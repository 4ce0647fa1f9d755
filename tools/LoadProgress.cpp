#include "tools/LoadProgress.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace verblinka {

TLoadProgress::TLoadProgress(bool enabled) {
    if (enabled && ::isatty(STDERR_FILENO) == 1) {
        control_.OnProgress = [this](std::uint64_t bytesRead, std::uint64_t totalBytes) {
            Show(bytesRead, totalBytes);
        };
    }
}

TLoadProgress::~TLoadProgress() {
    Erase();
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
    const std::string line =
        totalBytes == 0
            ? "\rLoading the dictionary: " + std::to_string(bytesRead >> 20) + " MiB read"
            : "\rLoading the dictionary: " + std::to_string(percent) + "%";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void TLoadProgress::Erase() {
    if (shown_ >= 0) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = -1;
    }
}

} // namespace verblinka
