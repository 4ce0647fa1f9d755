#include "search/Configuration.h"

#include "engine/CheckedMath.h"
#include "search/Messages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

namespace verblinka {
namespace {

constexpr std::size_t kMaskWords = (kWordCodeLength + 63) / 64;
constexpr std::size_t kRowWords = 2 * kMaskWords;
static_assert(std::tuple_size_v<TPairMask> == kMaskWords);
// Rows coded between two looks at the cancel flag (and one buffer of masks).
constexpr std::size_t kChunkRows = 65536;

TNetworkConfig Config(std::string name, std::string title, TWordCoder coder,
                      double maxOutput = 100.0) {
    TNetworkConfig config;
    config.Name = std::move(name);
    config.Title = std::move(title);
    config.Coder = std::move(coder);
    config.MaxOutput = maxOutput;
    return config;
}

// Codes rows [first, end) under coder into masks, on `threads` threads.
void CodeRows(const TDictionaryEntries& entries, const TWordCoder& coder, std::size_t first,
              std::size_t end, unsigned threads, std::vector<std::uint64_t>& masks) {
    masks.resize((end - first) * kRowWords);
    auto work = [&](unsigned t) {
        TPairMask nonZero{};
        TPairMask negative{};
        const std::size_t from = first + (end - first) * t / threads;
        const std::size_t to = first + (end - first) * (t + 1) / threads;
        for (std::size_t row = from; row < to; ++row) {
            coder.CodeMasks(entries[row].Word, nonZero, negative);
            std::uint64_t* out = masks.data() + (row - first) * kRowWords;
            std::copy(nonZero.begin(), nonZero.end(), out);
            std::copy(negative.begin(), negative.end(), out + kMaskWords);
        }
    };
    if (threads <= 1) {
        work(0);
        return;
    }
    std::vector<std::jthread> workers;
    for (unsigned t = 1; t < threads; ++t) {
        workers.emplace_back(work, t);
    }
    work(0);
}

void StoreRows(THammingNet& network, std::size_t first, std::size_t end,
               const std::vector<std::uint64_t>& masks) {
    for (std::size_t row = first; row < end; ++row) {
        network.StorePatternMasks(
            std::span<const std::uint64_t>(masks.data() + (row - first) * kRowWords, kRowWords),
            static_cast<std::int32_t>(row));
    }
}

// Rows [0, done) back under the code the dictionary's rows held: on every
// core, or on this thread alone where that fails.
void Restore(TDictionary& dictionary, std::size_t done, std::vector<std::uint64_t>& masks) {
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    for (std::size_t first = 0; first < done; first += kChunkRows) {
        const std::size_t end = std::min(done, first + kChunkRows);
        try {
            CodeRows(dictionary.Entries, dictionary.Coder, first, end, threads, masks);
        } catch (...) {
            CodeRows(dictionary.Entries, dictionary.Coder, first, end, 1, masks);
        }
        StoreRows(dictionary.Network, first, end, masks);
    }
}

} // namespace

const std::vector<TNetworkConfig>& ShippedConfigs() {
    static const std::vector<TNetworkConfig> kConfigs = [] {
        std::vector<TNetworkConfig> configs;
        configs.push_back(Config("program", "программа", TWordCoder::Program()));
        configs.push_back(Config("keyboard", "клавиатурный код", TWordCoder::Keyboard()));
        configs.push_back(Config("padded", "код с пробелами", TWordCoder::Padded()));
        configs.push_back(Config("pairs", "код пар букв", TWordCoder::Pairs()));
        configs.push_back(Config("best", "лучшая найденная", TWordCoder::Pairs(), 1000.0));
        return configs;
    }();
    return kConfigs;
}

std::optional<TNetworkConfig> FindShippedConfig(std::string_view name) {
    for (const TNetworkConfig& config : ShippedConfigs()) {
        if (config.Name == name) {
            return config;
        }
    }
    return std::nullopt;
}

void CheckConfig(const TNetworkConfig& config) {
    if (!std::isfinite(config.MaxOutput) || !(config.MaxOutput > 0.0)) {
        throw std::invalid_argument(kMessageBadMaxOutput);
    }
    if (!std::isfinite(config.EpsilonFactor) || !(config.EpsilonFactor >= 0.0)) {
        throw std::invalid_argument(kMessageBadEpsilonFactor);
    }
    if (config.MaxIterations < 0 || config.MaxIterations > kMostMaxIterations) {
        throw std::invalid_argument(kMessageBadMaxIterations);
    }
}

bool ApplyConfig(TDictionary& dictionary, const TNetworkConfig& config,
                 const std::atomic<bool>* cancel,
                 const std::function<void(std::size_t done, std::size_t total)>& onProgress) {
    CheckConfig(config);
    THammingNet& network = dictionary.Network;
    const std::size_t rows = dictionary.Entries.size();
    if (static_cast<std::size_t>(network.PatternCount()) != rows ||
        network.InputCount() != kWordCodeLength) {
        throw std::logic_error("The network and the dictionary disagree in size");
    }
    auto cancelled = [cancel] { return cancel != nullptr && cancel->load(); };
    if (!(config.Coder == dictionary.Coder)) {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        std::vector<std::uint64_t> masks;
        std::size_t done = 0;
        try {
            while (done < rows) {
                if (cancelled()) {
                    break;
                }
                const std::size_t end = std::min(rows, done + kChunkRows);
                CodeRows(dictionary.Entries, config.Coder, done, end, threads, masks);
                StoreRows(network, done, end, masks);
                done = end;
                if (onProgress) {
                    onProgress(done, rows);
                }
            }
        } catch (...) {
            Restore(dictionary, done, masks);
            throw;
        }
        if (done < rows) {
            Restore(dictionary, done, masks);
            return false;
        }
        dictionary.Coder = config.Coder;
    } else if (cancelled()) {
        return false;
    }
    network.SetMaxOutput(config.MaxOutput);
    network.SetEpsilonFactor(config.EpsilonFactor);
    network.SetMaxIterations(config.MaxIterations);
    return true;
}

} // namespace verblinka
