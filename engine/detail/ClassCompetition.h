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
//   or, for an odd D, the next tie step, which moves D by one grid step up or
//   down, the same for every unit (TieAhead). Units of one class and parity
//   share the sum within a binade, an odd D's also the way the next tie goes,
//   so it is followed once per such key, and Activation(Inhibit) taken once
//   per key too.
// - The leader and the stability test are read off the keys as they appear.
// - A pass that a further pass will follow builds that pass's running sum as
//   it writes its output, so each pass walks the units once. The running sums
//   are kept at every fourth time only; the sweep rebuilds the few it reads
//   from the nearest one.
// - An exact pass knows its units per class, and from them it may show that
//   one unit leads every pass that follows unheard: the recognition then
//   ends there (TPassLink::Settle).
#pragma once

#include "engine/detail/Competition.h"
#include "engine/detail/FusedRun.h"
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
    // Units per class, where the caller has counted them already (else
    // empty). Counts that do not add up to the units are not used.
    std::span<const std::uint32_t> Counts = {};
};

// The first of units from ... units - 1 of class cls, or units if none is.
std::size_t NextOfClass(const std::uint16_t* classes, std::size_t from, std::size_t units,
                        std::uint16_t cls);

// Counts each of classes' values (all below classCount) into
// tables[0 ... classCount - 1]; tables is scratch of 4 * classCount entries.
void CountClasses(std::span<const std::uint16_t> classes, std::size_t classCount,
                  std::vector<std::uint32_t>& tables);

// How a pass sits among the passes of one competition on one object.
struct TPassLink {
    // The input is this object's last output, unchanged since.
    bool FromLast = false;
    // Another pass may follow on the output: prepare its running sums.
    bool ToNext = false;
    // The caller reads the output's classes. Without, a last pass gives only
    // the output's values, the leader and the stability (its classes are left
    // as they were).
    bool KeepOutput = true;
    // Passes that follow this one unheard (only the winner is asked for).
    // Where one unit provably leads this pass's output and every one of
    // those, the pass settles: it gives that unit as its leader and writes no
    // classes (ExactPass only).
    std::size_t Settle = 0;
};

class TClassCompetition {
public:
    // Most classes a pass may produce; past it the caller goes on with values.
    static constexpr std::size_t kMaxClasses = 4096;

    // out = one pass on in. False when the method does not apply (a value
    // negative, not finite or huge, or too many classes): out is then
    // undefined, in untouched.
    bool Pass(const TClassState& in, TClassState& out, double epsilon, double maxOutput,
              TPassSummary& summary, TPassLink link = {});

    // Pass where no sum can round (every value a whole multiple of one power
    // of two, the total below 2^53 of it: the first layer's values always
    // are), reading its input in place. False, out undefined, where that
    // does not hold.
    bool ExactPass(const TClassView& in, TClassState& out, double epsilon, double maxOutput,
                   TPassSummary& summary, TPassLink link = {});

    // The first-layer class one of whose units the competition from in
    // provably elects, found from in.Counts without a sweep: the first pass
    // sums exactly and changes a value, one class alone gives its largest
    // output, and that output stays alone at the top, above zero, through the
    // `passes` passes that may follow (the bounds of LeaderHolds, which do not
    // need the class to hold one unit). Each pass's leader, the winner among
    // them, is then one of that class's units. kNoClass where that cannot be
    // shown (no counts, counts that do not add up to the units, or bounds too
    // wide).
    static constexpr std::size_t kNoClass = static_cast<std::size_t>(-1);
    std::size_t WinnerClass(const TClassView& in, double epsilon, double maxOutput,
                            std::size_t passes);

    // The inhibition sum of every unit, as the literal pass accumulates it
    // (for tests). False when the method does not apply.
    bool InhibitionSums(const TClassState& in, std::span<double> sums);

    // Whether the sweeps may run 64 units at a time with AVX-512 where a pass
    // has at most 128 classes (WideSweepAvailable() must hold); the results
    // are the same either way.
    void SetWide(bool wide) { wide_ = wide; }
    bool Wide() const { return wide_; }

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
        std::uint64_t StartUnits = 0; // P[Start] in grid units
    };
    // A pass's running sums P, as its sweep reads them.
    struct TPrefix {
        std::vector<std::uint64_t> Marks; // P[t] in grid units of its binade, t = 0, 4, 8 ...
        std::vector<TSegment> Segments;   // ascending binades, first times ascending
        std::vector<std::uint32_t> Ties;  // steps that round a tie inside their binade
        // Each segment's steps per class as the build took them, from
        // TablesAt[segment] on (a class gained later has none in the segments
        // before).
        std::vector<TStep> Tables;
        std::vector<std::uint32_t> TablesAt;
        double Total = 0.0;
        std::uint64_t Steps = 0; // taken with the network's arithmetic
        bool Valid = false;
    };
    // Builds a TPrefix one step at a time, the classes' values possibly
    // growing as it goes.
    class TPrefixBuilder {
    public:
        void Start(TPrefix& prefix, std::size_t units, const std::vector<double>& values);
        void AddClass(); // values gained one at its end
        void Step(std::size_t time, std::uint16_t cls);
        void Finish(std::size_t units);
        // Per class: its grid units in the binade at hand, or past the binade
        // for a step that rounds a tie or leaves it.
        const std::vector<std::uint64_t>& Bases() const { return bases_; }
        std::uint32_t Version() const { return version_; } // grows with every binade
        std::uint64_t Units = 0;                           // P at the time reached, in grid units
        std::uint64_t* Marks = nullptr;

    private:
        TPrefix* prefix_ = nullptr;
        const std::vector<double>* values_ = nullptr;
        int binade_ = 0;
        std::vector<TStep> steps_;
        std::vector<std::uint64_t> bases_;
        std::uint32_t version_ = 0;
    };
    struct TEntry {
        std::uint32_t Stamp = 0; // the segment it was found in
        std::uint16_t Class = 0;
    };

    static TStep StepOf(double value, int binade);
    std::span<const TStep> TablesIn(std::size_t segment) const;
    TStep StepIn(std::size_t segment, std::uint16_t cls) const;
    bool ExactSums(const TClassView& in);
    bool Prepare(const TClassState& in, bool linked);
    void StepsFor(std::size_t segment);
    std::uint64_t GridAt(std::size_t time, std::size_t segment) const;
    double Prefix(std::size_t time, std::size_t segment) const {
        return static_cast<double>(GridAt(time, segment)) * prefix_.Segments[segment].Grid;
    }
    bool Linked(const TClassView& in, TPassLink link) const;
    void EndPass(const TClassState& out, bool built);
    std::size_t SegmentOf(std::size_t time, std::size_t from) const;
    // How the tie ties[tie] moves an odd offset, if it lies in segment (before end).
    std::size_t TieAhead(std::size_t tie, std::size_t segment, std::size_t end) const;
    // lockedOffset: FollowUnitSum's.
    double UnitSum(std::size_t unit, std::size_t segment, double lockedOffset = 0.0);
    // The sum of a unit whose step in its binade is offset grid units and
    // whose next unit starts in that binade too (R locked from the start).
    double LockedUnitSum(std::size_t unit, std::size_t segment, std::uint64_t offset);
    // What a sweep writes: the output; the output and the next pass's running
    // sums; or nothing but what make hears (the leader and the stability).
    enum class TSweepMode { Plain, Fused, LeaderOnly };
    template <TSweepMode Mode, typename Make>
    bool Sweep(const TClassState& in, TClassState& out, bool linked, Make&& make);
    bool BeginOutput(TClassState& out);
    bool LeadingClasses(std::span<const double> values, double epsilon, double maxOutput);
    bool OthersTrail(double best, double epsilon, double maxOutput) const;
    bool LeaderHolds(std::span<const double> values, std::span<const std::uint32_t> counts,
                     double epsilon, double maxOutput, std::size_t passes);
    bool ExactOutputs(std::span<const double> values, double epsilon, double maxOutput,
                      bool& stable);
    bool TopHolds(std::span<const double> values, std::span<const std::uint32_t> counts,
                  double epsilon, double maxOutput, std::size_t passes);
    bool Intern(double value, TClassState& out, std::uint16_t& cls);
    std::size_t RunFused(std::size_t j, std::size_t stop, std::uint16_t* out);

    const std::uint16_t* classes_ = nullptr;
    const double* values_ = nullptr;
    std::size_t units_ = 0;
    TPrefix prefix_;          // this pass's running sums
    TPrefix nextPrefix_;      // the next pass's, built by a fused sweep
    bool keptPrefix_ = false; // the next sweep reads prefix_ as it stands
    TPrefixBuilder builder_;
    const std::uint16_t* nextClasses_ = nullptr; // the output nextPrefix_ was built for
    std::size_t nextUnits_ = 0;
    std::size_t nextValues_ = 0;
    bool fusing_ = false;
    // What a fused sweep reads per class: its output, and that output's step in
    // the next pass (past the binade where it must be taken singly).
    std::vector<std::uint64_t> combBases_;
    std::vector<std::uint16_t> combIds_;
    bool wide_ = false;
    TWideSweepTables wideTables_;        // the two as the wide run reads them
    bool wideFits_ = false;              // every class of the pass has its entry there
    std::size_t stepsSegment_ = 0;       // the segment steps_ holds
    std::vector<TStep> steps_;           // per class, for the binade at hand
    std::vector<std::uint16_t> current_; // per class: its result in this window, if known
    std::vector<std::uint16_t> oddKeys_; // classes with an odd offset in this binade
    std::vector<TEntry> entries_;        // per class, parity of P and tie ahead: its result
    std::uint32_t stamp_ = 0;
    TSumMemo memo_;
    std::vector<std::uint32_t> internSlots_; // value bits -> class, open addressing
    std::vector<std::uint64_t> internKeys_;
    std::vector<std::uint32_t> internUsed_;
    std::uint64_t simulatedSteps_ = 0;
    std::vector<std::uint32_t> counts_;    // units per class, where no sum rounds
    std::vector<double> classSums_;        // and each class's sum
    std::vector<std::uint16_t> mapped_;    // each class's output class
    std::vector<std::uint32_t> outCounts_; // units per output class of an exact pass
    std::vector<double> exactOutputs_;     // per class, an exact pass's output (ExactOutputs)
    std::vector<double> lows_;             // per class, bounds on its units' values (LeaderHolds)
    std::vector<double> highs_;
    std::vector<std::uint32_t> present_; // the classes with units (TopHolds)
    // Per class, for a pass read only for its leader: whether its units are
    // looked at (empty: every class's are).
    std::vector<std::uint8_t> leading_;
};

} // namespace verblinka
