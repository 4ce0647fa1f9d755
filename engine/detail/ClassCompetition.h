// The competition pass built around the few distinct values a pass holds.
//
// A recognition's state is one class id per unit and one value per class: the
// first layer yields at most 2N + 1 different values (its agreement counts),
// and each pass maps (a unit's class, its inhibition sum) to the next value, so
// a pass holds some tens of distinct values at M = 1,000,000. The pass returns
// bit for bit what the literal pass returns (engine/Competition.h explains the
// offsets it follows), with per-unit work reduced to table look-ups:
//
// - The running prefix sum P advances inside one binade by exact integer
//   increments on that binade's grid, one per class (and parity of P, where a
//   class's step is a rounding tie). Only a step that leaves the binade is
//   taken with the network's arithmetic.
// - A unit j whose own step stays in the binade starts locked, its offset
//   D = P[j] - P[j + 1] fixed by its class and the parity of P[j]. Its sum then
//   depends only on D and on where D may next change: the binade's last step,
//   or, for an odd D, the next tie step. Units of one class, parity and window
//   share the sum, so it is followed once per such key, and Activation(Inhibit)
//   taken once per key too.
// - The leader and the stability test are read off the keys as they appear.
#pragma once

#include "engine/detail/Competition.h"
#include "engine/detail/SumMemo.h"

#include <cstdint>
#include <span>
#include <vector>

namespace verblinka {

// One pass's state: a class per unit and a value per class.
struct TClassState {
    std::vector<std::uint16_t> Classes;
    std::vector<double> Values;

    // The values unit by unit.
    void Materialise(std::span<double> out) const;
};

// A pass's input held elsewhere (the first layer of a search).
struct TClassView {
    std::span<const std::uint16_t> Classes;
    std::span<const double> Values;
};

class TClassCompetition {
public:
    // Most classes a pass may produce; past it the caller goes on with values.
    static constexpr std::size_t kMaxClasses = 4096;

    // out = one pass on in. False when the method does not apply (a value
    // negative, not finite or huge, or too many classes): out is then
    // undefined, in untouched.
    bool Pass(const TClassState& in, TClassState& out, double epsilon, double maxOutput,
              TPassSummary& summary);

    // Pass where no sum can round (every value a whole multiple of one power
    // of two, the total below 2^53 of it: the first layer's values always
    // are), reading its input in place. False, out undefined, where that
    // does not hold.
    bool ExactPass(const TClassView& in, TClassState& out, double epsilon, double maxOutput,
                   TPassSummary& summary);

    // The inhibition sum of every unit, as the literal pass accumulates it
    // (for tests). False when the method does not apply.
    bool InhibitionSums(const TClassState& in, std::span<double> sums);

    // Single steps taken with the network's arithmetic during the last pass.
    std::uint64_t LastSimulatedSteps() const { return simulatedSteps_; }

private:
    // A class's step inside one binade, in grid units of that binade.
    struct TStep {
        std::uint64_t Base = 0; // increment when no tie; the exit marker if it always leaves
        bool Tie = false;       // the step rounds a tie: add 1 when P + Base is odd
        bool Parity = false;    // of the truncated increment
    };
    struct TSegment {
        std::uint32_t Start = 0; // first time in this binade
        int Binade = 0;
        double Grid = 0.0;
    };
    struct TEntry {
        std::uint32_t Stamp = 0;
        std::uint16_t Class = 0;
        bool OddOffset = false;
    };

    bool ExactSums(const TClassView& in);
    bool Prepare(const TClassState& in);
    void StepsFor(int binade);
    double Prefix(std::size_t time, std::size_t segment) const {
        return static_cast<double>(grid_[time]) * segments_[segment].Grid;
    }
    std::size_t SegmentOf(std::size_t time, std::size_t from) const;
    double UnitSum(std::size_t unit, std::size_t segment);
    template <typename Make> bool Sweep(const TClassState& in, std::uint16_t* out, Make&& make);
    bool BeginOutput(TClassState& out);
    bool Intern(double value, TClassState& out, std::uint16_t& cls);

    const std::uint16_t* classes_ = nullptr;
    const double* values_ = nullptr;
    std::size_t units_ = 0;
    std::vector<std::uint64_t> grid_;  // P[t] in grid units of its binade, t = 0 ... M
    std::vector<TSegment> segments_;   // ascending binades, first times ascending
    std::vector<std::uint32_t> ties_;  // steps that round a tie inside their binade
    std::vector<TStep> steps_;         // per class, for the binade at hand
    std::vector<std::uint64_t> bases_; // per class: its Base, or above the binade for a tie
    double total_ = 0.0;
    std::vector<std::uint16_t> current_; // per class: its result in this window, if known
    std::vector<std::uint16_t> oddKeys_; // classes in current_ with an odd offset
    std::vector<TEntry> entries_;        // per class and parity, for classes whose step is a tie
    std::uint32_t stamp_ = 0;
    TSumMemo memo_;
    std::vector<std::uint32_t> internSlots_; // value bits -> class, open addressing
    std::vector<std::uint64_t> internKeys_;
    std::vector<std::uint32_t> internUsed_;
    std::uint64_t simulatedSteps_ = 0;
    std::vector<std::uint32_t> counts_; // units per class, where no sum rounds
    std::vector<double> classSums_;     // and each class's sum
    std::vector<std::uint16_t> mapped_; // each class's output class
};

} // namespace verblinka
