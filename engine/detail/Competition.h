// One pass of the competitive layer: every unit is inhibited by the sum of all
// other units' values. The plain pass accumulates each unit's sum afresh,
// M * (M - 1) additions; the fast pass returns bit for bit the same sums in
// about O(M), and is used wherever its preconditions hold.
#pragma once

#include "engine/detail/SumMemo.h"

#include <cstdint>
#include <span>
#include <vector>

namespace verblinka {

// MaxOutput above, 0 below, the value itself in between.
double Activation(double x, double maxOutput);

// What a pass found out about its output on the way.
struct TPassSummary {
    bool Stable = false;    // every unit's output equals its input
    std::size_t Leader = 0; // the first unit with the largest output
    bool Settled = false;   // Leader leads every pass that follows, too (TPassLink::Settle)
};

// The summary of a pass over values from its input and output, in one scan.
TPassSummary SummarisePass(std::span<const double> input, std::span<const double> output);

// The literal pass: Activity[j] = Activation(Similarity[j] - sum * epsilon),
// where sum starts from 0.0 and adds Similarity[k] for every k != j in
// ascending order, each partial sum rounded twice.
void PlainCompetitionPass(std::span<const double> similarity, std::span<double> activity,
                          double epsilon, double maxOutput);

// The exact fast pass. It keeps scratch space between passes, so one object
// serves a whole recognition (and the next).
//
// How: drop the zero terms (they change no partial sum), form the prefix sums
// P of the rest, and follow each unit's sum R as an offset D = R - P[i] from
// them. While R and P[i] share a binade, adding the same term moves both by
// the same multiple of that binade's grid, so D stays put; it can change only
// at a step that leaves the binade, or at a rounding tie when D is an odd
// number of grid steps. Only those steps, and the steps while R still lags in
// a lower binade, are simulated one by one. From a locked state the rest of
// the way depends only on that next literal step and D, so units that meet
// in such a state share the result. Neighbours with equal values share their
// sum; where no sum of any subset can round, a sum is the total minus the
// unit's own value.
class TFastCompetition {
public:
    // True when the fast method is exact for these values: every one >= 0 and
    // small enough that no sum can come near overflow.
    static bool Applies(std::span<const double> values);

    // Fills sums[j] with the sum the plain pass accumulates for unit j.
    // Returns false, leaving sums untouched, when !Applies(values).
    bool InhibitionSums(std::span<const double> values, std::span<double> sums);

    // The pass itself; false, with activity untouched, when !Applies(similarity).
    bool Pass(std::span<const double> similarity, std::span<double> activity, double epsilon,
              double maxOutput);

    // Single steps simulated during the last InhibitionSums (for benchmarks).
    std::uint64_t LastSimulatedSteps() const { return simulatedSteps_; }

private:
    // Time i of the reference trajectory.
    struct TReference {
        double Prefix = 0.0; // P[i]
        double Term = 0.0;   // the term added at step i
    };

    bool PrepareReference(std::span<const double> values);
    double UnitSum(std::size_t position, std::uint64_t& steps);

    // Calls emit(j, sum of unit j) for every unit j in ascending order.
    template <typename Emit> void ForEachSum(std::span<const double> values, Emit&& emit);

    std::vector<TReference> reference_;      // times 0 ... L of the non-zero terms
    std::vector<std::uint32_t> changeAfter_; // per binade: the first time past it, or L + 1
    std::vector<std::uint32_t> ties_;        // the steps that broke a tie, ascending
    bool nothingRounds_ = false;
    TSumMemo memo_;
    std::uint64_t simulatedSteps_ = 0;
};

} // namespace verblinka
