#include "engine/RecognitionTrace.h"

#include "engine/CheckedMath.h"
#include "engine/detail/Competition.h"
#include "engine/detail/NetworkInternals.h"
#include "engine/detail/RunCompetition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace verblinka {
namespace {

std::size_t HistogramBin(double value, std::int32_t inputCount) {
    if (!(value >= 0.0)) { // NaN too
        return 0;
    }
    const double top = static_cast<double>(inputCount);
    return static_cast<std::size_t>(value >= top ? top : std::floor(value));
}

// Units of class cls, four at a time: a 16-bit lane of the classes XOR cls is
// zero exactly where they match, and the top bit of each lane of `zero` is
// set exactly for such a lane (no carry crosses a lane).
std::uint64_t CountClass(std::span<const std::uint16_t> classes, std::uint16_t cls) {
    constexpr std::uint64_t kLow = 0x7FFF7FFF7FFF7FFFULL;
    const std::uint64_t pattern = 0x0001000100010001ULL * cls;
    std::uint64_t count = 0;
    std::size_t i = 0;
    for (; i + 4 <= classes.size(); i += 4) {
        std::uint64_t lanes = 0;
        std::memcpy(&lanes, classes.data() + i, sizeof(lanes));
        lanes ^= pattern;
        const std::uint64_t zero = ~(((lanes & kLow) + kLow) | lanes | kLow);
        // The four top bits moved to the bottom of their lanes and added
        // up in the top lane (std::popcount may be a library call here).
        count += ((zero >> 15) * 0x0001000100010001ULL) >> 48;
    }
    for (; i < classes.size(); ++i) {
        count += classes[i] == cls ? 1 : 0;
    }
    return count;
}

} // namespace

std::int32_t TRecognitionTrace::TrackedIndex(std::int32_t row) const {
    const auto found = std::find(TrackedRows.begin(), TrackedRows.end(), row);
    return found == TrackedRows.end() ? -1 : static_cast<std::int32_t>(found - TrackedRows.begin());
}

double TRecognitionTrace::Value(std::int32_t row, std::int32_t pass) const {
    const std::int32_t index = TrackedIndex(row);
    if (index < 0 || pass < 0 || static_cast<std::size_t>(pass) >= Passes.size()) {
        throw std::out_of_range("Row or pass not in the trace");
    }
    return Passes[static_cast<std::size_t>(pass)].Tracked[static_cast<std::size_t>(index)];
}

TRecognitionTracer::TRecognitionTracer(std::int32_t inputCount,
                                       std::vector<std::int32_t> requestedRows)
    : requested_(std::move(requestedRows)) {
    trace_.InputCount = inputCount;
}

THammingNet::TPassObserver TRecognitionTracer::Observer() {
    return
        [this](std::int32_t pass, std::span<const double> values) { ObservedPass(pass, values); };
}

void TRecognitionTracer::ObservedPass(std::int32_t pass, std::span<const double> values) {
    if (pass == 0) {
        previous_.assign(values.begin(), values.end());
        FirstLayer({values, {}, {}});
        return;
    }
    if (trace_.Passes.empty() || values.size() != previous_.size()) {
        throw std::logic_error("Competition pass without its first layer");
    }
    const TPassSummary summary = SummarisePass(previous_, values);
    previous_.assign(values.begin(), values.end());
    Pass(pass, {values, {}, {}}, summary.Stable, summary.Leader);
}

void TRecognitionTracer::FirstLayer(const TPassValues& values) {
    const std::size_t units = values.Size();
    trace_.Histogram.assign(static_cast<std::size_t>(trace_.InputCount) + 1, 0);
    TPassRecord record;
    // The leaders: the largest values, largest first, the lower row first
    // among equals.
    std::vector<std::pair<double, std::int32_t>> leaders;
    leaders.reserve(kTracedLeaders + 1);
    if (values.Classes.empty()) {
        // By insertion into a short sorted list: a unit enters only when
        // strictly larger than the last one, so equal values keep row order.
        for (std::size_t i = 0; i < units; ++i) {
            const double value = values.Values[i];
            ++trace_.Histogram[HistogramBin(value, trace_.InputCount)];
            record.AboveZero += value > 0.0 ? 1 : 0;
            if (leaders.size() < kTracedLeaders || value > leaders.back().first) {
                const auto place = std::find_if(leaders.begin(), leaders.end(),
                                                [value](const auto& l) { return value > l.first; });
                leaders.insert(place, {value, static_cast<std::int32_t>(i)});
                if (leaders.size() > kTracedLeaders) {
                    leaders.pop_back();
                }
            }
        }
    } else {
        // Units per class give the histogram; the leaders are the units of the
        // largest classes that make up kTracedLeaders, in row order.
        const std::span<const double> classValues = values.ClassValues;
        classCounts_.assign(classValues.size(), 0);
        for (const std::uint16_t c : values.Classes) {
            ++classCounts_[c];
        }
        std::vector<std::size_t> order;
        for (std::size_t c = 0; c < classValues.size(); ++c) {
            if (classCounts_[c] != 0) {
                trace_.Histogram[HistogramBin(classValues[c], trace_.InputCount)] +=
                    classCounts_[c];
                record.AboveZero += classValues[c] > 0.0 ? classCounts_[c] : 0;
                order.push_back(c);
            }
        }
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return classValues[a] > classValues[b]; });
        // The smallest value a leader can have, and how many units lie above it
        // (all of them lead) or at it (the first few in row order lead).
        std::size_t reached = 0;
        double least = 0.0;
        for (const std::size_t c : order) {
            least = classValues[c];
            reached += classCounts_[c];
            if (reached >= kTracedLeaders) {
                break;
            }
        }
        std::size_t above = 0;
        for (const std::size_t c : order) {
            above += classValues[c] > least ? classCounts_[c] : 0;
        }
        std::size_t atLeast = kTracedLeaders - std::min(above, kTracedLeaders);
        for (std::size_t i = 0; i < units && (above != 0 || atLeast != 0); ++i) {
            const double value = classValues[values.Classes[i]];
            if (value > least) {
                leaders.emplace_back(value, static_cast<std::int32_t>(i));
                --above;
            } else if (value == least && atLeast != 0) {
                leaders.emplace_back(value, static_cast<std::int32_t>(i));
                --atLeast;
            }
        }
        std::stable_sort(leaders.begin(), leaders.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
    }
    trace_.Leaders.clear();
    trace_.TrackedRows.clear();
    for (const auto& leader : leaders) {
        trace_.Leaders.push_back(leader.second);
        trace_.TrackedRows.push_back(leader.second);
    }
    for (const std::int32_t row : requested_) {
        if (row >= 0 && static_cast<std::size_t>(row) < units && trace_.TrackedIndex(row) < 0) {
            trace_.TrackedRows.push_back(row);
        }
    }
    // After the first layer the leader is the first of the largest values.
    record.Winner = trace_.Leaders.empty() ? 0 : trace_.Leaders.front();
    for (const std::int32_t row : trace_.TrackedRows) {
        record.Tracked.push_back(values[static_cast<std::size_t>(row)]);
    }
    trace_.Passes.clear();
    trace_.Passes.push_back(std::move(record));
    winner_ = 0; // the network's own winner before the first pass
}

void TRecognitionTracer::Pass(std::int32_t pass, const TPassValues& values, bool stable,
                              std::size_t leader) {
    if (trace_.Passes.empty()) {
        throw std::logic_error("Competition pass without its first layer");
    }
    TPassRecord record;
    record.Pass = pass;
    std::int64_t above = 0;
    if (values.Classes.empty()) {
        for (const double value : values.Values) {
            above += value > 0.0 ? 1 : 0;
        }
    } else {
        // The units not above zero are those of few classes (the clipped
        // zero, mostly one): counted class by class, four units at a time,
        // where there are few such classes; through a table otherwise.
        std::vector<std::uint16_t> notAbove;
        for (std::size_t c = 0; c < values.ClassValues.size() && notAbove.size() <= 4; ++c) {
            if (!(values.ClassValues[c] > 0.0)) {
                notAbove.push_back(static_cast<std::uint16_t>(c));
            }
        }
        if (notAbove.size() <= 4) {
            std::uint64_t below = 0;
            for (const std::uint16_t c : notAbove) {
                below += CountClass(values.Classes, c);
            }
            above = static_cast<std::int64_t>(values.Classes.size() - below);
        } else {
            positive_.resize(values.ClassValues.size());
            for (std::size_t c = 0; c < values.ClassValues.size(); ++c) {
                positive_[c] = values.ClassValues[c] > 0.0 ? 1 : 0;
            }
            const std::uint8_t* positive = positive_.data();
            for (const std::uint16_t c : values.Classes) {
                above += positive[c];
            }
        }
    }
    if (!stable) {
        winner_ = static_cast<std::int32_t>(leader);
    }
    record.Stable = stable;
    record.Winner = winner_;
    record.AboveZero = above;
    record.Tracked.reserve(trace_.TrackedRows.size());
    for (const std::int32_t row : trace_.TrackedRows) {
        record.Tracked.push_back(values[static_cast<std::size_t>(row)]);
    }
    trace_.Passes.push_back(std::move(record));
}

namespace {

// Adds one row's value of every pass to a trace's records.
class TFollowRow final : public TPassRecorder {
public:
    TFollowRow(TRecognitionTrace& trace, std::size_t row) : trace_(trace), row_(row) {}

    void FirstLayer(const TPassValues& values) override { Add(0, values); }
    void Pass(std::int32_t pass, const TPassValues& values, bool, std::size_t) override {
        Add(pass, values);
    }

private:
    void Add(std::int32_t pass, const TPassValues& values) {
        const auto index = static_cast<std::size_t>(pass);
        if (index < trace_.Passes.size()) {
            trace_.Passes[index].Tracked.push_back(values[row_]);
        }
    }

    TRecognitionTrace& trace_;
    std::size_t row_;
};

} // namespace

TRecognitionTrace TRecognitionTracer::Finish(const THammingNet& network,
                                             std::span<const std::int32_t> input,
                                             std::int32_t result) {
    return Finish(TCompetitionSettings::Of(network), input, result,
                  [&network, input](TPassRecorder& recorder) {
                      TRecognitionScratch scratch;
                      network.Recognize(input, scratch, recorder);
                  });
}

TRecognitionTrace TRecognitionTracer::Finish(const TCompetitionSettings& settings,
                                             std::span<const std::int32_t> input,
                                             std::int32_t result, const TRerun& rerun) {
    TRecognitionTrace trace = std::move(trace_);
    trace_ = TRecognitionTrace{};
    trace_.InputCount = trace.InputCount;
    previous_.clear();
    static_cast<TCompetitionSettings&>(trace) = settings;
    trace.Input.assign(
        input.begin(),
        input.begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(input.size()),
                                                 std::max<std::int32_t>(settings.InputCount, 0)));
    trace.Winner = result;
    trace.End = !trace.Passes.empty() && trace.Passes.back().Stable ? TCompetitionEnd::Stable
                                                                    : TCompetitionEnd::PassLimit;
    if (trace.Passes.empty() || trace.TrackedIndex(result) >= 0) {
        return trace;
    }
    // The winner rose from outside the leaders: follow it through the same
    // competition once more.
    trace.TrackedRows.push_back(result);
    TFollowRow follow(trace, static_cast<std::size_t>(result));
    rerun(follow);
    return trace;
}

namespace {

// Passes a recognition's passes on, telling onPass of each, and ends it (by
// throwing TCancelled) at the first pass after cancel was set.
class TCancellable final : public TPassRecorder {
public:
    struct TCancelled {};

    TCancellable(TPassRecorder& recorder, const std::atomic<bool>* cancel,
                 const std::function<void(std::int32_t pass)>& onPass)
        : recorder_(recorder), cancel_(cancel), onPass_(onPass) {}

    void FirstLayer(const TPassValues& values) override {
        Check(0);
        recorder_.FirstLayer(values);
    }
    void Pass(std::int32_t pass, const TPassValues& values, bool stable,
              std::size_t leader) override {
        Check(pass);
        recorder_.Pass(pass, values, stable, leader);
    }

private:
    void Check(std::int32_t pass) const {
        if (onPass_) {
            onPass_(pass);
        }
        if (cancel_ != nullptr && cancel_->load()) {
            throw TCancelled{};
        }
    }

    TPassRecorder& recorder_;
    const std::atomic<bool>* cancel_;
    const std::function<void(std::int32_t pass)>& onPass_;
};

} // namespace

std::optional<TRecognitionTrace> ReplayTrace(const THammingNet& network,
                                             const TRecognitionTrace& recorded,
                                             std::int32_t maxIterations, bool reference,
                                             const std::atomic<bool>* cancel,
                                             const std::function<void(std::int32_t pass)>& onPass) {
    if (recorded.Passes.empty()) {
        return recorded; // no units: nothing to run
    }
    if (network.PatternCount() != recorded.PatternCount ||
        network.InputCount() != recorded.InputCount ||
        recorded.Input.size() != static_cast<std::size_t>(recorded.InputCount)) {
        throw std::invalid_argument("The trace was not recorded on this network");
    }
    const std::vector<double> firstLayer =
        reference || maxIterations < 0
            ? detail::TNetworkInternals::FirstLayerValues(network, recorded.Input)
            : std::vector<double>();
    TCompetitionSettings settings = recorded;
    settings.MaxIterations = maxIterations;
    // The network's own path (over classes where it applies) unless the
    // literal passes are asked for; both give the same values bit for bit.
    const bool ownPath = !reference && maxIterations >= 0;
    TRecognitionScratch scratch;
    const std::function<void(std::int32_t)> unseen; // a second run is not reported
    auto replay =
        [&](TPassRecorder& recorder,
            const std::function<void(std::int32_t)>& reportPass) -> std::optional<std::int32_t> {
        TCancellable cancellable(recorder, cancel, reportPass);
        try {
            if (!ownPath) {
                return RunCompetition(firstLayer, settings,
                                      reference ? TCompetitionPath::Literal
                                                : TCompetitionPath::Values,
                                      {nullptr, &cancellable, false});
            }
            return detail::TNetworkInternals::RecognizeWith(network, recorded.Input, settings,
                                                            scratch, cancellable);
        } catch (const TCancellable::TCancelled&) {
            return std::nullopt;
        }
    };
    TRecognitionTracer tracer(recorded.InputCount, recorded.TrackedRows);
    const std::optional<std::int32_t> winner = replay(tracer, onPass);
    if (!winner) {
        return std::nullopt;
    }
    bool cancelled = false;
    TRecognitionTrace trace =
        tracer.Finish(settings, recorded.Input, *winner,
                      [&](TPassRecorder& recorder) { cancelled = !replay(recorder, unseen); });
    if (cancelled) {
        return std::nullopt;
    }
    return trace;
}

std::int32_t ReplayPasses(const THammingNet& network, const TRecognitionTrace& recorded,
                          TPassRecorder& recorder) {
    if (network.PatternCount() != recorded.PatternCount ||
        network.InputCount() != recorded.InputCount ||
        recorded.Input.size() != static_cast<std::size_t>(recorded.InputCount)) {
        throw std::invalid_argument("The trace was not recorded on this network");
    }
    TRecognitionScratch scratch;
    return detail::TNetworkInternals::RecognizeWith(network, recorded.Input, recorded, scratch,
                                                    recorder);
}

TRecognitionTrace ReplayTrace(const THammingNet& network, const TRecognitionTrace& recorded,
                              std::int32_t maxIterations, bool reference) {
    return *ReplayTrace(network, recorded, maxIterations, reference, nullptr, {});
}

} // namespace verblinka
