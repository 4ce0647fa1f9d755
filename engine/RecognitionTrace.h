// What one recognition did, recorded through THammingNet's pass observer: the
// first layer as a histogram and its leaders, and for every competition pass
// whether it was stable, the winner after it, how many units stayed above
// zero and the exact values of a few tracked rows. Every value is the one the
// network computed, bit for bit; a network without an observer pays nothing.
#pragma once

#include "engine/HammingMem.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace verblinka {

// How many first-layer leaders a trace follows through the competition.
inline constexpr std::size_t kTracedLeaders = 10;

struct TPassRecord {
    std::int32_t Pass = 0;       // 0 = the first layer
    bool Stable = false;         // the pass changed no value (never for pass 0)
    std::int32_t Winner = 0;     // the network's winner after this pass
    std::int64_t AboveZero = 0;  // units whose value is > 0
    std::vector<double> Tracked; // the value of each of TRecognitionTrace::TrackedRows
};

enum class TCompetitionEnd { Stable, PassLimit };

struct TRecognitionTrace {
    std::int32_t PatternCount = 0;
    std::int32_t InputCount = 0;
    std::int32_t MaxIterations = 0;
    double Epsilon = 0.0;
    double MaxOutput = 0.0;
    // Histogram[v]: units whose first-layer value lies in [v, v + 1), v = 0 ... InputCount
    // (values outside are counted at the nearer end).
    std::vector<std::int64_t> Histogram;
    // The first layer's largest values, largest first, the lower row first among equals.
    std::vector<std::int32_t> Leaders;
    // Rows followed pass by pass: the leaders, then the rows the caller asked
    // for, then the final winner; each once.
    std::vector<std::int32_t> TrackedRows;
    std::vector<TPassRecord> Passes; // Passes[0] is the first layer
    std::int32_t Winner = 0;         // what Recognize returned
    TCompetitionEnd End = TCompetitionEnd::PassLimit;
    // Every unit's first-layer value, kept for a replay with another pass limit.
    std::shared_ptr<const std::vector<double>> FirstLayer;

    // Competition passes run (the first layer not counted).
    std::int32_t CompetitionPasses() const { return static_cast<std::int32_t>(Passes.size()) - 1; }
    // Position of row in TrackedRows, or -1.
    std::int32_t TrackedIndex(std::int32_t row) const;
    // The value of a tracked row after pass (0 = first layer).
    double Value(std::int32_t row, std::int32_t pass) const;
};

// The constants a competition runs with.
struct TCompetitionSettings {
    std::int32_t InputCount = 0;
    std::int32_t PatternCount = 0;
    std::int32_t MaxIterations = 0;
    double Epsilon = 0.0;
    double MaxOutput = 0.0;
    bool Reference = false;

    static TCompetitionSettings Of(const THammingNet& network);
};

// Records one recognition: hand Observer() to THammingNet::Recognize, then
// call Finish with what it returned.
class TRecognitionTracer {
public:
    explicit TRecognitionTracer(std::int32_t inputCount,
                                std::vector<std::int32_t> requestedRows = {});

    THammingNet::TPassObserver Observer();

    // Completes the trace. If the final winner was not among the tracked rows,
    // its values are recovered by running the competition again from the
    // recorded first layer (the same exact passes).
    TRecognitionTrace Finish(const THammingNet& network, std::int32_t result) {
        return Finish(TCompetitionSettings::Of(network), result);
    }
    TRecognitionTrace Finish(const TCompetitionSettings& settings, std::int32_t result);

private:
    void OnPass(std::int32_t pass, std::span<const double> values);
    void FirstLayer(std::span<const double> values);

    std::vector<std::int32_t> requested_;
    TRecognitionTrace trace_;
    std::vector<double> previous_;
    std::int32_t winner_ = 0;
};

// The competition of Recognize run again, from a recorded first layer, in
// scratch space of its own: no network is touched. Calls observer like
// Recognize does (pass 0 included) and returns the winner. `reference`
// takes the literal pass only.
std::int32_t ReplayCompetition(std::span<const double> firstLayer, double epsilon, double maxOutput,
                               std::int32_t maxIterations, bool reference,
                               const THammingNet::TPassObserver& observer);

// A recorded recognition run again with another pass limit; the trace follows
// the same tracked rows (plus the new winner).
TRecognitionTrace ReplayTrace(const TRecognitionTrace& recorded, std::int32_t maxIterations,
                              bool reference = false);

} // namespace verblinka
