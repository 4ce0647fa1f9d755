// The sums a competition pass inhibits each unit by, which a trace does not
// keep (they are of size M to form): recomputed for a recorded recognition's
// tracked rows from a replay of it, each the literal ascending-order sum of
// every other unit's value, rounded as the network rounds it.
#pragma once

#include "engine/HammingMem.h"
#include "engine/RecognitionTrace.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace verblinka {

struct TPassSums {
    std::vector<std::int32_t> Rows; // the trace's tracked rows
    // Sums[i][p - 1]: what pass p inhibited Rows[i] by, the sum of every
    // other unit's value after pass p - 1 (0 = the first layer).
    std::vector<std::vector<double>> Sums;

    // The sum of row at pass (1, 2, ...), or nothing.
    std::optional<double> Of(std::int32_t row, std::int32_t pass) const;
};

// The sums of recorded's recognition, replayed on network (the one it was
// recorded on, only read) with its own pass limit: O(M) additions per
// tracked row and pass. Nothing when cancel was set before the end; onPass
// hears of every pass of the replay.
std::optional<TPassSums> ComputePassSums(const THammingNet& network,
                                         const TRecognitionTrace& recorded,
                                         const std::atomic<bool>* cancel,
                                         const std::function<void(std::int32_t pass)>& onPass = {});

} // namespace verblinka
