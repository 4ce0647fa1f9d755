// A configuration of the network: the code of the words and the three
// constants of the competition. The program's configuration is the default;
// the others are the lab's, for a learner to compare.
#pragma once

#include "dictionary/DictionaryLoad.h"
#include "text/Codes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka {

struct TNetworkConfig {
    std::string Name = "program"; // as --config takes it
    std::string Title;            // as the window shows it, e.g. «программа»
    TWordCoder Coder;
    double MaxOutput = 100.0;
    double EpsilonFactor = 0.5;
    std::int32_t MaxIterations = kProgramMaxIterations;
};

// The shipped configurations: "program" first (the default), "best" (the
// best the lab found, «лучшая найденная») among them.
const std::vector<TNetworkConfig>& ShippedConfigs();
std::optional<TNetworkConfig> FindShippedConfig(std::string_view name);

// The largest pass limit a configuration may set: enough for any
// competition to settle, and bounded so that no search runs away.
inline constexpr std::int32_t kMostMaxIterations = 1000;

// Throws std::invalid_argument, with the message a user sees, unless
// config's constants are ones the network takes: MaxOutput finite and above
// 0, EpsilonFactor finite and at least 0, MaxIterations 0 ... kMostMaxIterations.
void CheckConfig(const TNetworkConfig& config);

// Puts dictionary under config: the constants, and every row re-stored
// under the config's code when it differs from the one the rows hold,
// without reading the file again. Progress: rows done out of the total.
// Cancelled (cancel set) or failed, the dictionary is left as it was.
// Returns false when cancelled. Throws (CheckConfig's) before any change when
// the constants are ones the network does not take. Codes the rows on every
// core, a bounded chunk at a time.
bool ApplyConfig(TDictionary& dictionary, const TNetworkConfig& config,
                 const std::atomic<bool>* cancel = nullptr,
                 const std::function<void(std::size_t done, std::size_t total)>& onProgress = {});

} // namespace verblinka
