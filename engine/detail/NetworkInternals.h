// What the engine's own parts (the batch, the replay) and its tests reach
// inside THammingNet beyond its public surface: the first layer of several
// inputs in one sweep, a recognition from such a first layer or under other
// constants, and the scratch pools and threads kept with the network.
#pragma once

#include "engine/HammingMem.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace verblinka::detail {

struct TNetworkInternals {
    // THammingNet::FirstLayerValues: every unit's first-layer value for input.
    static std::vector<double> FirstLayerValues(const THammingNet& net,
                                                std::span<const std::int32_t> input) {
        return net.FirstLayerValues(input);
    }
    // The first layers of inputs over rows [firstRow, endRow) as agreement
    // classes; false, writing nothing, where the rows or an input are no masks.
    static bool FirstLayerClasses(const THammingNet& net,
                                  std::span<const std::span<const std::int32_t>> inputs,
                                  std::size_t firstRow, std::size_t endRow,
                                  std::span<std::uint16_t* const> out) {
        return net.FirstLayerClasses(inputs, firstRow, endRow, out);
    }
    // The first-layer output of every agreement class.
    static std::vector<double> FirstLayerOutputs(const THammingNet& net) {
        return net.FirstLayerOutputs();
    }
    // The recognition from a first layer that FirstLayerClasses gave (M classes);
    // recorder, when not null, hears every pass; counts, when not empty, are
    // its units per class (CountClasses).
    static std::int32_t RecognizeFromClasses(const THammingNet& net,
                                             std::span<const std::uint16_t> firstLayer,
                                             TRecognitionScratch& scratch,
                                             TPassRecorder* recorder = nullptr,
                                             std::span<const std::uint32_t> counts = {}) {
        return net.FromClasses(firstLayer, scratch, recorder, counts);
    }
    // The recognition under settings' pass limit, epsilon and clip level.
    static std::int32_t RecognizeWith(const THammingNet& net, std::span<const std::int32_t> input,
                                      const TCompetitionSettings& settings,
                                      TRecognitionScratch& scratch, TPassRecorder& recorder) {
        return net.RecognizeWith(input, settings, scratch, recorder);
    }
    // The network's pools: scratch state per worker, first-layer buffers of M
    // classes. A reference stays valid until the next call that adds one.
    static TRecognitionScratch& ScratchFor(THammingNet& net, std::size_t worker) {
        return net.ScratchFor(worker);
    }
    static std::vector<std::uint16_t>& FirstLayerBuffer(THammingNet& net, std::size_t index) {
        return net.FirstLayerBuffer(index);
    }
    // The threads its batches run on.
    static TWorkerCrew& Crew(THammingNet& net) { return net.Crew(); }
};

} // namespace verblinka::detail
