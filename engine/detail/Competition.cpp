#include "engine/detail/Competition.h"

#include "engine/Precision.h"
#include "engine/detail/UnitSum.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace verblinka {

double Activation(double x, double maxOutput) {
    if (x > maxOutput) {
        return maxOutput;
    }
    return x >= 0.0 ? x : 0.0;
}

TPassSummary SummarisePass(std::span<const double> input, std::span<const double> output) {
    TPassSummary summary{true, 0};
    double best = output.empty() ? 0.0 : output[0];
    for (std::size_t i = 0; i < output.size(); ++i) {
        const double value = output[i];
        if (value != input[i]) {
            summary.Stable = false;
        }
        if (value > best) {
            best = value;
            summary.Leader = i;
        }
    }
    return summary;
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

// Checks the values, keeps the non-zero ones (adding +0 or -0 to a
// non-negative sum changes nothing) and forms the reference trajectory, where
// its binades end and which of its steps broke a tie. False on a value the
// method cannot take.
bool TFastCompetition::PrepareReference(std::span<const double> values) {
    if (values.size() > std::numeric_limits<std::uint32_t>::max() - 2) {
        return false;
    }
    reference_.resize(values.size() + 1);
    changeAfter_.assign(2048, 0); // only the binades that P passes through are read
    ties_.clear();
    std::size_t count = 0;
    double prefix = 0.0;
    int binade = precision::BinadeOf(prefix);
    int lowestBit = std::numeric_limits<int>::max();
    bool mayBeExact = true;
    for (const double value : values) {
        if (!FitsFastPass(value)) {
            return false;
        }
        if (value == 0.0) {
            continue;
        }
        reference_[count] = {prefix, value};
        const double next = precision::AddStep(prefix, value);
        const int nextBinade = precision::BinadeOf(next);
        if (nextBinade != binade) {
            // P never decreases, so each binade it passes through is one run
            // of times. A tie on the step that leaves a binade does not
            // matter: that step is always taken literally.
            changeAfter_[static_cast<std::size_t>(binade)] = static_cast<std::uint32_t>(count + 1);
        } else if (precision::StepIsTie(prefix, value, next, binade)) {
            ties_.push_back(static_cast<std::uint32_t>(count));
        }
        if (mayBeExact) { // see below; once false, it stays false
            lowestBit = std::min(lowestBit, precision::LowestBitExponent(value));
            mayBeExact = NoSumRounds(lowestBit, next);
        }
        prefix = next;
        binade = nextBinade;
        ++count;
    }
    reference_.resize(count + 1);
    reference_[count] = {prefix, 0.0};
    changeAfter_[static_cast<std::size_t>(binade)] = static_cast<std::uint32_t>(count + 1);
    // If the true total stayed below 2^53 of the terms' common power of two,
    // so did the rounded one: nothing ever rounds. (The prefix only grows and
    // lowestBit only falls, so the test can stop early.)
    nothingRounds_ = mayBeExact;
    return true;
}

// The sum of every term but the one at position (FollowUnitSum).
double TFastCompetition::UnitSum(std::size_t position, std::uint64_t& steps) {
    struct TTrajectory {
        const TFastCompetition& Self;
        const TReference* Points;
        std::size_t Count() const { return Self.reference_.size() - 1; }
        double Term(std::size_t t) const { return Points[t].Term; }
        int BinadeAt(std::size_t t) const { return precision::BinadeOf(Points[t].Prefix); }
        double Prefix(std::size_t t) const { return Points[t].Prefix; }
        double Total() const { return Points[Count()].Prefix; }
        std::size_t ChangeAfter(int binade) const {
            return Self.changeAfter_[static_cast<std::size_t>(binade)];
        }
        std::span<const std::uint32_t> Ties() const { return Self.ties_; }
    };
    return FollowUnitSum(TTrajectory{*this, reference_.data()}, position, memo_, steps);
}

template <typename Emit>
void TFastCompetition::ForEachSum(std::span<const double> values, Emit&& emit) {
    const std::size_t count = reference_.size() - 1;
    const double total = reference_[count].Prefix;
    std::uint64_t steps = 0;
    if (memo_.Size() == 0) {
        memo_.Reset(4096);
    }
    memo_.StartPass();
    std::size_t position = 0; // of unit j's term among the non-zero ones
    double previousTerm = 0.0;
    double previousSum = 0.0;
    for (std::size_t j = 0; j < values.size(); ++j) {
        if (values[j] == 0.0) {
            emit(j, total); // a unit whose own value is zero skips nothing
            continue;
        }
        const double term = reference_[position].Term;
        if (nothingRounds_) {
            emit(j, precision::ExactDifference(total, term));
        } else {
            // Two neighbours (zeros between them aside) with equal values add
            // the same terms in the same order: the second takes the first's sum.
            if (term != previousTerm) {
                previousSum = UnitSum(position, steps);
                previousTerm = term;
            }
            emit(j, previousSum);
        }
        ++position;
    }
    simulatedSteps_ = steps;
}

bool TFastCompetition::InhibitionSums(std::span<const double> values, std::span<double> sums) {
    if (!PrepareReference(values)) {
        return false;
    }
    ForEachSum(values, [&](std::size_t j, double sum) { sums[j] = sum; });
    return true;
}

bool TFastCompetition::Pass(std::span<const double> similarity, std::span<double> activity,
                            double epsilon, double maxOutput) {
    if (!PrepareReference(similarity)) {
        return false;
    }
    ForEachSum(similarity, [&](std::size_t j, double sum) {
        activity[j] = Activation(precision::Inhibit(similarity[j], sum, epsilon), maxOutput);
    });
    return true;
}

} // namespace verblinka
