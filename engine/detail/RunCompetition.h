// The loop around the competition passes that every recognition and replay
// runs: which pass applies, the pass limit, the stability test and who hears
// of each pass.
#pragma once

#include "engine/HammingMem.h"

#include <cstdint>
#include <span>

namespace verblinka {

// Who hears of a competition's passes; each is optional.
struct TCompetitionWatch {
    const TPassObserver* Observer = nullptr; // every pass unit by unit
    TPassRecorder* Recorder = nullptr;       // every pass in the form it is held in
    // The scratch's Similarity and Activity end as the literal algorithm
    // leaves them (with an observer they hold every pass's values anyway).
    bool KeepState = false;
};

// The competition from the first layer held in s: as classes in its class
// state (or firstClasses, read in place) on the Classes and Auto paths, as
// values in its Similarity otherwise. Passes run until one changes no value,
// MaxIterations + 2 of them at the most; where the classes cannot hold a
// pass's values, the passes over values go on. Returns the winner: the leader of the
// last pass that changed a value, 0 if none did. Where nobody watches, the
// passes after one whose leader provably leads them all are not taken.
// firstCounts: firstClasses' units per class, where the caller has them.
std::int32_t RunCompetition(TRecognitionScratch& s, const TCompetitionSettings& settings,
                            TCompetitionPath path, const TCompetitionWatch& watch,
                            std::span<const std::uint16_t> firstClasses = {},
                            std::span<const std::uint32_t> firstCounts = {});
// The same from first-layer values, in scratch space of its own.
std::int32_t RunCompetition(std::span<const double> firstLayer,
                            const TCompetitionSettings& settings, TCompetitionPath path,
                            const TCompetitionWatch& watch);

} // namespace verblinka
