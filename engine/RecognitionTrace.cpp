#include "engine/RecognitionTrace.h"

#include "engine/CheckedMath.h"
#include "engine/Competition.h"

#include <algorithm>
#include <cmath>
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

TCompetitionSettings TCompetitionSettings::Of(const THammingNet& network) {
    return {network.InputCount(), network.PatternCount(), network.MaxIterations(),
            network.Epsilon(),    network.MaxOutput(),    network.ReferenceMode()};
}

TRecognitionTracer::TRecognitionTracer(std::int32_t inputCount,
                                       std::vector<std::int32_t> requestedRows)
    : requested_(std::move(requestedRows)) {
    trace_.InputCount = inputCount;
}

THammingNet::TPassObserver TRecognitionTracer::Observer() {
    return [this](std::int32_t pass, std::span<const double> values) { OnPass(pass, values); };
}

void TRecognitionTracer::FirstLayer(std::span<const double> values) {
    const auto units = static_cast<std::int32_t>(values.size());
    trace_.FirstLayer = std::make_shared<const std::vector<double>>(values.begin(), values.end());
    previous_.assign(values.begin(), values.end());
    trace_.Histogram.assign(static_cast<std::size_t>(trace_.InputCount) + 1, 0);

    // The leaders by insertion into a short sorted list: a unit enters only
    // when strictly larger than the last one, so equal values keep row order.
    std::vector<std::pair<double, std::int32_t>> leaders;
    leaders.reserve(kTracedLeaders + 1);
    TPassRecord record;
    for (std::int32_t i = 0; i < units; ++i) {
        const double value = values[static_cast<std::size_t>(i)];
        ++trace_.Histogram[HistogramBin(value, trace_.InputCount)];
        record.AboveZero += value > 0.0 ? 1 : 0;
        if (leaders.size() < kTracedLeaders || value > leaders.back().first) {
            const auto place = std::find_if(leaders.begin(), leaders.end(),
                                            [value](const auto& l) { return value > l.first; });
            leaders.insert(place, {value, i});
            if (leaders.size() > kTracedLeaders) {
                leaders.pop_back();
            }
        }
    }
    trace_.Leaders.clear();
    trace_.TrackedRows.clear();
    for (const auto& leader : leaders) {
        trace_.Leaders.push_back(leader.second);
        trace_.TrackedRows.push_back(leader.second);
    }
    for (const std::int32_t row : requested_) {
        if (row >= 0 && row < units && trace_.TrackedIndex(row) < 0) {
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

void TRecognitionTracer::OnPass(std::int32_t pass, std::span<const double> values) {
    if (pass == 0) {
        FirstLayer(values);
        return;
    }
    if (trace_.Passes.empty() || values.size() != previous_.size()) {
        throw std::logic_error("Competition pass without its first layer");
    }
    // One scan, as the network's own: stable, the leader, the units above zero.
    TPassRecord record;
    record.Pass = pass;
    bool stable = true;
    std::size_t leader = 0;
    double best = values.empty() ? 0.0 : values[0];
    std::int64_t above = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double value = values[i];
        if (value != previous_[i]) {
            stable = false;
            previous_[i] = value;
        }
        if (value > best) {
            best = value;
            leader = i;
        }
        above += value > 0.0 ? 1 : 0;
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

TRecognitionTrace FinishTrace(TRecognitionTrace trace, const TCompetitionSettings& settings,
                              std::int32_t result) {
    trace.PatternCount = settings.PatternCount;
    trace.InputCount = settings.InputCount;
    trace.MaxIterations = settings.MaxIterations;
    trace.Epsilon = settings.Epsilon;
    trace.MaxOutput = settings.MaxOutput;
    trace.Winner = result;
    trace.End = !trace.Passes.empty() && trace.Passes.back().Stable ? TCompetitionEnd::Stable
                                                                    : TCompetitionEnd::PassLimit;
    if (trace.Passes.empty() || trace.TrackedIndex(result) >= 0) {
        return trace;
    }
    // The winner rose from outside the leaders: follow it through the same
    // competition once more.
    trace.TrackedRows.push_back(result);
    const auto row = static_cast<std::size_t>(result);
    ReplayCompetition(*trace.FirstLayer, settings.Epsilon, settings.MaxOutput,
                      settings.MaxIterations, settings.Reference,
                      [&trace, row](std::int32_t pass, std::span<const double> values) {
                          const auto index = static_cast<std::size_t>(pass);
                          if (index < trace.Passes.size()) {
                              trace.Passes[index].Tracked.push_back(values[row]);
                          }
                      });
    return trace;
}

} // namespace

TRecognitionTrace TRecognitionTracer::Finish(const TCompetitionSettings& settings,
                                             std::int32_t result) {
    const std::int32_t inputCount = trace_.InputCount;
    TRecognitionTrace done = FinishTrace(std::move(trace_), settings, result);
    trace_ = TRecognitionTrace{};
    trace_.InputCount = inputCount;
    previous_.clear();
    return done;
}

std::int32_t ReplayCompetition(std::span<const double> firstLayer, double epsilon, double maxOutput,
                               std::int32_t maxIterations, bool reference,
                               const THammingNet::TPassObserver& observer) {
    if (firstLayer.empty()) {
        return 0;
    }
    std::vector<double> similarity(firstLayer.begin(), firstLayer.end());
    std::vector<double> activity(similarity.size(), 0.0);
    TFastCompetition fast;
    if (observer) {
        observer(0, similarity);
    }
    std::int32_t winner = 0;
    std::int32_t pass = 0;
    for (;;) {
        if (reference || !fast.Pass(similarity, activity, epsilon, maxOutput)) {
            PlainCompetitionPass(similarity, activity, epsilon, maxOutput);
        }
        if (observer) {
            observer(CheckedAdd(pass, 1), activity);
        }
        bool stable = true;
        std::size_t leader = 0;
        double best = activity[0];
        for (std::size_t i = 0; i < activity.size(); ++i) {
            if (activity[i] != similarity[i]) {
                stable = false;
            }
            if (activity[i] > best) {
                best = activity[i];
                leader = i;
            }
        }
        if (stable) {
            return winner;
        }
        similarity.swap(activity);
        winner = static_cast<std::int32_t>(leader);
        if (pass > maxIterations) {
            return winner;
        }
        pass = CheckedAdd(pass, 1);
    }
}

TRecognitionTrace ReplayTrace(const TRecognitionTrace& recorded, std::int32_t maxIterations,
                              bool reference) {
    if (!recorded.FirstLayer) {
        return recorded;
    }
    TRecognitionTracer tracer(recorded.InputCount, recorded.TrackedRows);
    const std::int32_t winner =
        ReplayCompetition(*recorded.FirstLayer, recorded.Epsilon, recorded.MaxOutput, maxIterations,
                          reference, tracer.Observer());
    return tracer.Finish({recorded.InputCount, recorded.PatternCount, maxIterations,
                          recorded.Epsilon, recorded.MaxOutput, reference},
                         winner);
}

} // namespace verblinka
