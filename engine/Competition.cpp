#include "engine/Competition.h"

#include "engine/Precision.h"

#include <algorithm>
#include <limits>

namespace verblinka {
namespace {

// No value above this, so that even 2^31 of them sum far below DBL_MAX: the
// fast pass forms the full total, which the plain pass never does.
constexpr double kLargestFastValue = 0x1p960;

bool FitsFastPass(double value) {
    return value >= 0.0 && value <= kLargestFastValue; // false for NaN too
}

} // namespace

double Activation(double x, double maxOutput) {
    if (x > maxOutput) {
        return maxOutput;
    }
    return x >= 0.0 ? x : 0.0;
}

void PlainCompetitionPass(std::span<const double> similarity, std::span<double> activity,
                          double epsilon, double maxOutput) {
    const std::size_t units = similarity.size();
    for (std::size_t j = 0; j < units; ++j) {
        double sum = 0.0;
        for (std::size_t k = 0; k < units; ++k) {
            if (k != j) {
                sum = precision::AddStep(sum, similarity[k]);
            }
        }
        activity[j] = Activation(precision::Inhibit(similarity[j], sum, epsilon), maxOutput);
    }
}

bool TFastCompetition::Applies(std::span<const double> values) {
    return std::all_of(values.begin(), values.end(), FitsFastPass);
}

// Keeps the non-zero terms with their units; false on a value the method
// cannot take. Adding +0 or -0 to a non-negative sum changes nothing.
bool TFastCompetition::Compact(std::span<const double> values) {
    if (values.size() > std::numeric_limits<std::uint32_t>::max() - 2) {
        return false;
    }
    terms_.clear();
    owners_.clear();
    for (std::size_t k = 0; k < values.size(); ++k) {
        const double value = values[k];
        if (!FitsFastPass(value)) {
            return false;
        }
        if (value != 0.0) {
            terms_.push_back(value);
            owners_.push_back(static_cast<std::uint32_t>(k));
        }
    }
    return true;
}

// The reference trajectory and, for every time i, where its binade changes
// next and where the next tie lies.
void TFastCompetition::PrepareReference() {
    const std::size_t count = terms_.size();
    prefix_.resize(count + 1);
    binades_.resize(count + 1);
    nextChange_.resize(count + 1);
    nextTie_.resize(count + 1);
    prefix_[0] = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const precision::Extended unstored = precision::AddExtended(prefix_[i], terms_[i]);
        prefix_[i + 1] = precision::Store(unstored);
        nextTie_[i] = precision::StoreIsTie(unstored) ? 1 : 0; // flag for now
        binades_[i] = static_cast<std::int16_t>(precision::BinadeOf(prefix_[i]));
    }
    binades_[count] = static_cast<std::int16_t>(precision::BinadeOf(prefix_[count]));
    nextChange_[count] = static_cast<std::uint32_t>(count + 1);
    nextTie_[count] = static_cast<std::uint32_t>(count);
    for (std::size_t i = count; i-- > 0;) {
        nextChange_[i] =
            binades_[i + 1] != binades_[i] ? static_cast<std::uint32_t>(i + 1) : nextChange_[i + 1];
        nextTie_[i] = nextTie_[i] != 0 ? static_cast<std::uint32_t>(i) : nextTie_[i + 1];
    }
}

// The sum of every term but the one at position: R starts at P[position] and
// then adds terms position + 1, position + 2, ... exactly as P does, so it
// never exceeds P at the same time and D = R - P[i] <= 0.
double TFastCompetition::UnitSum(std::size_t position) const {
    const std::size_t count = terms_.size();
    std::uint64_t steps = 0;
    double sum = prefix_[position];
    std::size_t i = position + 1;
    double result = 0.0;
    for (;;) {
        if (i >= count) {
            result = sum;
            break;
        }
        if (sum == prefix_[i]) {
            result = prefix_[count]; // from here on R follows P exactly
            break;
        }
        const int binade = binades_[i];
        if (precision::BinadeOf(sum) == binade) {
            // Locked: D stays constant until the binade changes or, if D is an
            // odd number of grid steps, until the next tie.
            const double offset = precision::ExactDifference(sum, prefix_[i]);
            const std::size_t change = nextChange_[i];
            if (precision::IsOddOnGrid(offset, binade)) {
                const std::size_t tie = nextTie_[i];
                if (tie < change && tie < count) {
                    sum =
                        precision::AddStep(precision::ExactSum(prefix_[tie], offset), terms_[tie]);
                    i = tie + 1;
                    ++steps;
                    continue;
                }
            }
            if (change > count) {
                result = precision::ExactSum(prefix_[count], offset);
                break;
            }
            // The step that leaves the binade is taken one by one.
            sum = precision::AddStep(precision::ExactSum(prefix_[change - 1], offset),
                                     terms_[change - 1]);
            i = change;
            ++steps;
            continue;
        }
        // R lags in a lower binade than P: one literal step.
        sum = precision::AddStep(sum, terms_[i]);
        ++i;
        ++steps;
    }
    simulatedSteps_ += steps;
    return result;
}

bool TFastCompetition::InhibitionSums(std::span<const double> values, std::span<double> sums) {
    if (!Compact(values)) {
        return false;
    }
    PrepareReference();
    simulatedSteps_ = 0;
    const std::size_t count = terms_.size();
    // A unit whose own value is zero skips nothing: it gets the full total.
    std::fill(sums.begin(), sums.begin() + static_cast<std::ptrdiff_t>(values.size()),
              prefix_[count]);
    for (std::size_t position = 0; position < count; ++position) {
        sums[owners_[position]] = UnitSum(position);
    }
    return true;
}

bool TFastCompetition::Pass(std::span<const double> similarity, std::span<double> activity,
                            double epsilon, double maxOutput) {
    if (!InhibitionSums(similarity, activity)) {
        return false;
    }
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        activity[j] =
            Activation(precision::Inhibit(similarity[j], activity[j], epsilon), maxOutput);
    }
    return true;
}

} // namespace verblinka
