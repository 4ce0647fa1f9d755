#include "engine/Competition.h"

#include "engine/Precision.h"

#include <algorithm>
#include <bit>
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
            mayBeExact = precision::HighestBitExponent(next) < lowestBit + 53;
        }
        prefix = next;
        binade = nextBinade;
        ++count;
    }
    reference_.resize(count + 1);
    reference_[count] = {prefix, 0.0};
    changeAfter_[static_cast<std::size_t>(binade)] = static_cast<std::uint32_t>(count + 1);
    // All terms are multiples of 2^lowestBit; if their true total stayed below
    // 2^53 of those (else the rounded total would not), then every partial
    // sum of every subset is a double and nothing ever rounds. (The prefix
    // only grows and lowestBit only falls, so the test can stop early.)
    nothingRounds_ = mayBeExact;
    return true;
}

// The first tie step in [from, before), or before if there is none.
std::size_t TFastCompetition::FirstTie(std::size_t from, std::size_t before) const {
    const auto tie = std::lower_bound(ties_.begin(), ties_.end(), from);
    return tie == ties_.end() || *tie >= before ? before : *tie;
}

// The sum of every term but the one at position: R starts at P[position] and
// then adds terms position + 1, position + 2, ... exactly as P does, so it
// never exceeds P at the same time and D = R - P[i] <= 0.
double TFastCompetition::UnitSum(std::size_t position, std::uint64_t& steps) {
    const std::size_t count = reference_.size() - 1;
    const TReference* reference = reference_.data();
    // The (target, offset) pairs on this unit's way, to remember its sum by.
    constexpr std::size_t kSeen = 24;
    std::uint32_t seenTargets[kSeen]; // left uninitialized: only seenCount are used
    std::uint64_t seenOffsets[kSeen];
    std::size_t seenCount = 0;
    auto finish = [&](double sum) {
        for (std::size_t k = 0; k < seenCount; ++k) {
            memo_.Remember(seenTargets[k], seenOffsets[k], sum);
        }
        return sum;
    };
    double sum = reference[position].Prefix;
    std::size_t i = position + 1;
    for (;;) {
        if (i >= count) {
            return finish(sum);
        }
        // R lags in a lower binade than P: literal steps until it catches up.
        int binade = precision::BinadeOf(reference[i].Prefix);
        while (precision::BinadeOf(sum) != binade) {
            sum = precision::AddStep(sum, reference[i].Term);
            ++steps;
            if (++i >= count) {
                return finish(sum);
            }
            binade = precision::BinadeOf(reference[i].Prefix);
        }
        if (sum == reference[i].Prefix) {
            return finish(reference[count].Prefix); // from here on R follows P exactly
        }
        // Locked: D stays constant until the binade changes or, if D is an
        // odd number of grid steps, until the next tie. The step there (the
        // target) is taken literally; past the last term there is none.
        const double offset = precision::ExactDifference(sum, reference[i].Prefix);
        const std::size_t change = NextChange(binade);
        std::size_t target = change > count ? count : change - 1;
        if (precision::IsOddOnGrid(offset, binade)) {
            const std::size_t tie = FirstTie(i, std::min(change, count));
            if (tie < change && tie < count) {
                target = tie;
            }
        }
        const auto targetKey = static_cast<std::uint32_t>(target);
        const auto offsetKey = std::bit_cast<std::uint64_t>(offset);
        if (const TSumMemo::TSlot* known = memo_.Find(targetKey, offsetKey)) {
            return finish(known->Sum);
        }
        if (seenCount < kSeen) {
            seenTargets[seenCount] = targetKey;
            seenOffsets[seenCount] = offsetKey;
            ++seenCount;
        }
        if (target == count) {
            return finish(precision::ExactSum(reference[count].Prefix, offset));
        }
        sum = precision::AddStep(precision::ExactSum(reference[target].Prefix, offset),
                                 reference[target].Term);
        i = target + 1;
        ++steps;
    }
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
