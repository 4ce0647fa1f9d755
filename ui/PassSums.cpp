#include "ui/PassSums.h"

#include "engine/Precision.h"

#include <algorithm>

namespace verblinka {
namespace {

// Thrown from the recorder to stop the replay once it is cancelled; caught
// below, so it never leaves ComputePassSums.
struct TSumsCancelled {};

class TSumsRecorder final : public TPassRecorder {
public:
    TSumsRecorder(const TRecognitionTrace& recorded, TPassSums& sums,
                  const std::atomic<bool>* cancel,
                  const std::function<void(std::int32_t pass)>& onPass)
        : passes_(recorded.CompetitionPasses()), sums_(sums), cancel_(cancel), onPass_(onPass) {}

    void FirstLayer(const TPassValues& values) override { Sum(0, values); }
    void Pass(std::int32_t pass, const TPassValues& values, bool /*stable*/,
              std::size_t /*leader*/) override {
        Sum(pass, values);
    }

private:
    // The sums the next pass forms from this pass's values.
    void Sum(std::int32_t pass, const TPassValues& values) {
        if (onPass_) {
            onPass_(pass);
        }
        if (pass >= passes_) {
            return;
        }
        const std::size_t units = values.Size();
        for (std::size_t i = 0; i < sums_.Rows.size(); ++i) {
            const auto own = static_cast<std::size_t>(sums_.Rows[i]);
            double sum = 0.0;
            for (std::size_t k = 0; k < units; ++k) {
                if (k != own) {
                    sum = precision::AddStep(sum, values[k]);
                }
                if ((k & 0xFFFF) == 0 && cancel_ != nullptr && cancel_->load()) {
                    throw TSumsCancelled{};
                }
            }
            sums_.Sums[i].push_back(sum);
        }
    }

    std::int32_t passes_;
    TPassSums& sums_;
    const std::atomic<bool>* cancel_;
    const std::function<void(std::int32_t pass)>& onPass_;
};

} // namespace

std::optional<double> TPassSums::Of(std::int32_t row, std::int32_t pass) const {
    const auto found = std::find(Rows.begin(), Rows.end(), row);
    if (found == Rows.end() || pass < 1) {
        return std::nullopt;
    }
    const std::vector<double>& sums = Sums[static_cast<std::size_t>(found - Rows.begin())];
    if (static_cast<std::size_t>(pass) > sums.size()) {
        return std::nullopt;
    }
    return sums[static_cast<std::size_t>(pass - 1)];
}

std::optional<TPassSums> ComputePassSums(const THammingNet& network,
                                         const TRecognitionTrace& recorded,
                                         const std::atomic<bool>* cancel,
                                         const std::function<void(std::int32_t pass)>& onPass) {
    TPassSums sums;
    sums.Rows = recorded.TrackedRows;
    sums.Sums.resize(sums.Rows.size());
    if (recorded.Input.size() != static_cast<std::size_t>(network.InputCount()) ||
        recorded.PatternCount != network.PatternCount()) {
        return sums; // not this network's recognition: nothing to sum
    }
    TSumsRecorder recorder(recorded, sums, cancel, onPass);
    try {
        ReplayPasses(network, recorded, recorder);
    } catch (const TSumsCancelled&) {
        return std::nullopt;
    }
    if (cancel != nullptr && cancel->load()) {
        return std::nullopt;
    }
    return sums;
}

} // namespace verblinka
