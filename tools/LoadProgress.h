// The share of the dictionary file read so far, shown on standard error while
// a load lasts longer than a second, where standard error is a terminal.
#pragma once

#include "dictionary/DictionaryLoad.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>

namespace verblinka {

class TLoadProgress {
public:
    // enabled: false for --quiet; nothing is shown either where standard
    // error is not a terminal.
    explicit TLoadProgress(bool enabled);
    ~TLoadProgress();
    TLoadProgress(const TLoadProgress&) = delete;
    TLoadProgress& operator=(const TLoadProgress&) = delete;

    // The control to give the load.
    const TLoadControl& Control() const { return control_; }

    // Erases the line shown, if any (also done on destruction).
    void Erase();

private:
    void Show(std::uint64_t bytesRead, std::uint64_t totalBytes);

    // While a line may be shown, the signals that end the program (an
    // interrupt, a termination, a hang-up, a quit) erase it first; their
    // former actions come back on destruction.
    static constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    std::array<struct sigaction, kEndingSignals.size()> previous_{};
    std::array<bool, kEndingSignals.size()> caught_{};

    TLoadControl control_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    // The last percentage (or, without a size, MiB count) written, -1 while
    // nothing is shown.
    std::int64_t shown_ = -1;
    std::chrono::steady_clock::time_point lastShown_;
};

} // namespace verblinka
