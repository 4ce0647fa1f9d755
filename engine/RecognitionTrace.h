// What one recognition did, recorded through THammingNet's pass recorder (or
// its observer): the first layer as a histogram and its leaders, and for
// every competition pass whether it was stable, the winner after it, how many
// units stayed above zero and the exact values of a few tracked rows. Every
// value is the one the network computed, bit for bit; nothing of size M is
// kept, and a replay recomputes the first layer from the recorded input.
#pragma once

#include "engine/HammingMem.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
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

// The constants the recognition ran with, and what it did.
struct TRecognitionTrace : TCompetitionSettings {
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
    // The input recognised (InputCount values): a replay recomputes the first
    // layer from it.
    std::vector<std::int32_t> Input;

    // Competition passes run (the first layer not counted).
    std::int32_t CompetitionPasses() const { return static_cast<std::int32_t>(Passes.size()) - 1; }
    // Position of row in TrackedRows, or -1.
    std::int32_t TrackedIndex(std::int32_t row) const;
    // The value of a tracked row after pass (0 = first layer).
    double Value(std::int32_t row, std::int32_t pass) const;
};

// Records one recognition: hand it (as the recorder) or Observer() to
// THammingNet's Recognize, then call Finish with what it returned. One
// tracer records one recognition at a time.
class TRecognitionTracer final : public TPassRecorder {
public:
    explicit TRecognitionTracer(std::int32_t inputCount,
                                std::vector<std::int32_t> requestedRows = {});

    // For Recognize's observer: the values unit by unit, the stability and
    // the leader found by comparing each pass with the one before.
    THammingNet::TPassObserver Observer();

    void FirstLayer(const TPassValues& values) override;
    void Pass(std::int32_t pass, const TPassValues& values, bool stable,
              std::size_t leader) override;

    // Runs the same recognition again, telling the recorder it is given.
    using TRerun = std::function<void(TPassRecorder& recorder)>;

    // Completes the trace of network's recognition of input. If the final
    // winner was not among the tracked rows, its values are recovered by
    // recognizing input once more (the same exact passes).
    TRecognitionTrace Finish(const THammingNet& network, std::span<const std::int32_t> input,
                             std::int32_t result);
    // The same where rerun repeats the recognition (one the caller can repeat
    // more cheaply than from input).
    TRecognitionTrace Finish(const TCompetitionSettings& settings,
                             std::span<const std::int32_t> input, std::int32_t result,
                             const TRerun& rerun);

private:
    void ObservedPass(std::int32_t pass, std::span<const double> values);

    std::vector<std::int32_t> requested_;
    TRecognitionTrace trace_;
    std::vector<double> previous_; // of the observer's passes only
    std::int32_t winner_ = 0;
    std::vector<std::uint32_t> classCounts_; // scratch of a first layer held as classes
    std::vector<std::uint8_t> positive_;     // scratch: classes whose value is > 0
};

// A recorded recognition run again with another pass limit on network (the
// one it was recorded on, only read: callable off the thread that owns it
// while nothing changes the network); its first layer is recomputed from the
// recorded input, the passes run with the recorded epsilon and clip level
// (whatever the network has been set to since), and the trace follows the
// same tracked rows (plus the new winner). Nothing when cancel was set before the replay ended.
// onPass, when given, hears of every pass (0 = the first layer) as it is recorded.
std::optional<TRecognitionTrace>
ReplayTrace(const THammingNet& network, const TRecognitionTrace& recorded,
            std::int32_t maxIterations, bool reference, const std::atomic<bool>* cancel,
            const std::function<void(std::int32_t pass)>& onPass = {});
// The same, not cancellable.
TRecognitionTrace ReplayTrace(const THammingNet& network, const TRecognitionTrace& recorded,
                              std::int32_t maxIterations, bool reference = false);

// The recorded recognition run again on network as it was recorded (its
// input, pass limit, epsilon and clip level), every pass told to recorder in
// the form it is held in, so that a caller may measure what the trace does
// not keep; returns the winner. An exception from recorder ends the run and
// leaves here. Throws std::invalid_argument for a trace of another network.
std::int32_t ReplayPasses(const THammingNet& network, const TRecognitionTrace& recorded,
                          TPassRecorder& recorder);

} // namespace verblinka
