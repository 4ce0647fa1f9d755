#include "engine/detail/ClassCompetition.h"

#include "engine/Precision.h"
#include "engine/detail/Competition.h"
#include "engine/detail/UnitSum.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

namespace verblinka {
namespace {

constexpr std::uint64_t kGridSteps = kRunTop; // of one binade
// In place of a tie step's base in bases_: past the binade, so that the
// quick loop hands the step to the careful one.
constexpr std::uint64_t kTieBase = std::uint64_t{1} << 54;
constexpr std::size_t kMemoSlots = 1024; // the memo's smallest size
constexpr std::size_t kInternSlots = 2 * TClassCompetition::kMaxClasses;
constexpr std::uint16_t kParity = 0xFFFE;  // a class whose step is a tie: look up by parity
constexpr std::uint16_t kUnknown = 0xFFFF; // no result in this window yet
// The keys of one class: per parity of P, an even offset, then an odd one
// under each TieAhead answer.
constexpr std::size_t kEntriesPerClass = 8;
constexpr std::size_t kNoTieAhead = 2;
static_assert(kParity == kNoResult);

// The grid of a binade (BinadeOf numbering): the spacing of its doubles.
double GridOf(int binade) {
    return std::ldexp(1.0, binade - 1075);
}

std::size_t InternHash(std::uint64_t bits) {
    const std::uint64_t mixed = (bits ^ (bits >> 29)) * 0xBF58476D1CE4E5B9u;
    return static_cast<std::size_t>(mixed ^ (mixed >> 32));
}

} // namespace

void TClassState::Materialise(std::span<double> out) const {
    const double* values = Values.data();
    for (std::size_t j = 0; j < Classes.size(); ++j) {
        out[j] = values[Classes[j]];
    }
}

// A class's step inside binade: for x in it (a multiple of its grid u) and
// x + c below the binade's top, rounding x + c to a 64-bit significand gives
// x + q, q being c rounded to the grid u / 2048 (x, an even multiple of that
// grid, does not change which neighbour wins); storing rounds x + q to the
// grid u, which depends on x only at a tie, through the parity of x / u.
TClassCompetition::TStep TClassCompetition::StepOf(double value, int binade) {
    const floatbits::TDoubleBits bits = floatbits::SplitDouble(value);
    if (bits.Biased > binade) { // at least the binade's top: every such step leaves it
        return {kGridSteps, false, false};
    }
    const std::uint64_t significand = bits.Significand();
    // value = significand * 2^(its binade - 1075); the fine grid is 2^(binade - 1086).
    const int shift = bits.Binade() + 11 - binade;
    std::uint64_t fine = 0;
    if (shift >= 0) {
        fine = significand << shift; // shift <= 11: below 2^64
    } else if (-shift <= 60) {
        const int drop = -shift;
        fine = significand >> drop;
        const std::uint64_t rest = significand & ((std::uint64_t{1} << drop) - 1);
        const std::uint64_t half = std::uint64_t{1} << (drop - 1);
        if (rest > half || (rest == half && (fine & 1) != 0)) {
            ++fine;
        }
    } // else below half a fine step: rounds to nothing
    const std::uint64_t whole = fine >> 11;
    const std::uint64_t rest = fine & 2047;
    return {whole + (rest > 1024 ? 1 : 0), rest == 1024, (whole & 1) != 0};
}

// The build's steps per class for one segment of the running sums.
std::span<const TClassCompetition::TStep> TClassCompetition::TablesIn(std::size_t segment) const {
    const std::size_t from = prefix_.TablesAt[segment];
    const std::size_t end = segment + 1 < prefix_.TablesAt.size() ? prefix_.TablesAt[segment + 1]
                                                                  : prefix_.Tables.size();
    return std::span<const TStep>(prefix_.Tables).subspan(from, end - from);
}

// A class's step in a segment, worked out for a class the build gained later.
TClassCompetition::TStep TClassCompetition::StepIn(std::size_t segment, std::uint16_t cls) const {
    const std::span<const TStep> table = TablesIn(segment);
    return cls < table.size() ? table[cls] : StepOf(values_[cls], prefix_.Segments[segment].Binade);
}

// steps_ for one segment.
void TClassCompetition::StepsFor(std::size_t segment) {
    const std::span<const TStep> table = TablesIn(segment);
    const std::size_t known = std::min(table.size(), steps_.size());
    std::copy_n(table.begin(), known, steps_.begin());
    for (std::size_t c = known; c < steps_.size(); ++c) {
        steps_[c] = StepOf(values_[c], prefix_.Segments[segment].Binade);
    }
    stepsSegment_ = segment;
}

void TClassCompetition::TPrefixBuilder::Start(TPrefix& prefix, std::size_t units,
                                              const std::vector<double>& values) {
    prefix_ = &prefix;
    values_ = &values;
    prefix.Marks.resize(units / 4 + 1);
    prefix.Segments.clear();
    prefix.Ties.clear();
    prefix.Steps = 0;
    prefix.Valid = std::all_of(values.begin(), values.end(), FitsFastPass);
    Marks = prefix.Marks.data();
    Units = 0;
    binade_ = precision::BinadeOf(0.0);
    prefix.Segments.push_back({0, binade_, GridOf(binade_), 0});
    steps_.clear();
    bases_.clear();
    for (std::size_t c = 0; c < values.size(); ++c) {
        steps_.push_back(StepOf(values[c], binade_));
        bases_.push_back(steps_.back().Tie ? kTieBase : steps_.back().Base);
    }
    prefix.Tables.assign(steps_.begin(), steps_.end());
    prefix.TablesAt.assign(1, 0);
    ++version_;
}

void TClassCompetition::TPrefixBuilder::AddClass() {
    const double value = values_->back();
    prefix_->Valid = prefix_->Valid && FitsFastPass(value);
    steps_.push_back(StepOf(value, binade_));
    bases_.push_back(steps_.back().Tie ? kTieBase : steps_.back().Base);
    prefix_->Tables.push_back(steps_.back());
}

// The step at time, from P[time] (Units) to P[time + 1].
void TClassCompetition::TPrefixBuilder::Step(std::size_t time, std::uint16_t cls) {
    if ((time & 3) == 0) {
        Marks[time >> 2] = Units;
    }
    if (!prefix_->Valid) [[unlikely]] {
        return;
    }
    const TStep& step = steps_[cls];
    std::uint64_t next = Units + step.Base;
    if (step.Tie) [[unlikely]] {
        // Storing rounds a tie to the even neighbour.
        next += ((Units & 1) != 0) != step.Parity ? 1 : 0;
        if (next < kGridSteps) {
            prefix_->Ties.push_back(static_cast<std::uint32_t>(time));
        }
    }
    if (next < kGridSteps) [[likely]] {
        Units = next;
        return;
    }
    // The step leaves the binade: take it with the network's arithmetic.
    const double reached = precision::AddStep(
        static_cast<double>(Units) * prefix_->Segments.back().Grid, (*values_)[cls]);
    ++prefix_->Steps;
    const int reachedBinade = precision::BinadeOf(reached);
    if (reachedBinade <= binade_) {
        prefix_->Valid = false; // cannot happen; the literal pass is the safe answer
        return;
    }
    binade_ = reachedBinade;
    Units = floatbits::SplitDouble(reached).Significand(); // in grid units of its binade
    prefix_->Segments.push_back(
        {static_cast<std::uint32_t>(time + 1), binade_, GridOf(binade_), Units});
    for (std::size_t c = 0; c < steps_.size(); ++c) {
        steps_[c] = StepOf((*values_)[c], binade_);
        bases_[c] = steps_[c].Tie ? kTieBase : steps_[c].Base;
    }
    prefix_->TablesAt.push_back(static_cast<std::uint32_t>(prefix_->Tables.size()));
    prefix_->Tables.insert(prefix_->Tables.end(), steps_.begin(), steps_.end());
    ++version_;
}

void TClassCompetition::TPrefixBuilder::Finish(std::size_t units) {
    if ((units & 3) == 0) {
        Marks[units >> 2] = Units;
    }
    prefix_->Total = static_cast<double>(Units) * prefix_->Segments.back().Grid;
}

// The reference trajectory P, on the grids of its binades; linked: built
// already by the pass before; keptPrefix_: prefix_ is this input's already.
bool TClassCompetition::Prepare(const TClassState& in, bool linked) {
    const bool kept = std::exchange(keptPrefix_, false);
    const std::size_t units = in.Classes.size();
    const std::size_t classCount = in.Values.size();
    if (units > std::numeric_limits<std::uint32_t>::max() - 2 || classCount > 65536 ||
        !std::all_of(in.Values.begin(), in.Values.end(), FitsFastPass)) {
        return false;
    }
    classes_ = in.Classes.data();
    values_ = in.Values.data();
    units_ = units;
    steps_.resize(classCount);
    stepsSegment_ = std::numeric_limits<std::size_t>::max();
    if (linked || kept) {
        if (!kept) {
            std::swap(prefix_, nextPrefix_);
        }
        simulatedSteps_ = prefix_.Steps;
        return prefix_.Valid;
    }
    TPrefixBuilder& builder = builder_;
    builder.Start(prefix_, units, in.Values);
    const std::uint16_t* classes = classes_;
    for (std::size_t j = 0; j < units; ++j) {
        // Four steps at once while none is a tie or leaves the binade: every
        // base is below 2^55 and the sum of four stays below 2^64, so one
        // test on the last covers them all.
        if ((j & 3) == 0) {
            std::uint64_t k = builder.Units;
            std::uint64_t* marks = builder.Marks;
            for (const std::uint64_t* base = builder.Bases().data(); j + 4 <= units; j += 4) {
                const std::uint64_t k1 = k + base[classes[j]];
                const std::uint64_t k2 = k1 + base[classes[j + 1]];
                const std::uint64_t k3 = k2 + base[classes[j + 2]];
                const std::uint64_t k4 = k3 + base[classes[j + 3]];
                if (k4 >= kGridSteps) {
                    break;
                }
                marks[j >> 2] = k;
                k = k4;
            }
            builder.Units = k;
            if (j >= units) {
                break;
            }
        }
        builder.Step(j, classes[j]);
    }
    builder.Finish(units);
    simulatedSteps_ = prefix_.Steps;
    return prefix_.Valid;
}

// P[time] in grid units of its binade (that of segment): from the mark at or
// before time, or the segment's start, by the same steps the build took.
std::uint64_t TClassCompetition::GridAt(std::size_t time, std::size_t segment) const {
    const TSegment& here = prefix_.Segments[segment];
    std::size_t t = time & ~std::size_t{3};
    std::uint64_t k = 0;
    if (t <= here.Start) {
        t = here.Start;
        k = here.StartUnits;
    } else {
        k = prefix_.Marks[t >> 2];
    }
    const bool tabled = segment == stepsSegment_;
    for (; t < time; ++t) {
        const TStep step = tabled ? steps_[classes_[t]] : StepIn(segment, classes_[t]);
        k += step.Base + (step.Tie && ((k & 1) != 0) != step.Parity ? 1 : 0);
    }
    return k;
}

// What the tie at ties[tie] does to an odd offset D of a sum locked to P, if
// that tie lies before end, the first time past segment: P + term lies
// halfway between two grid points and is stored to the even one; R = P + D
// is on the same grid, in the same binade, of the other parity, so R + term
// lies halfway too and is stored to the other neighbour. D then becomes
// D + 1 where P rounds down (0) and D - 1 where it rounds up (1), the same
// for every unit, and stays even to the binade's end. kNoTieAhead: no tie
// before end.
std::size_t TClassCompetition::TieAhead(std::size_t tie, std::size_t segment,
                                        std::size_t end) const {
    const std::vector<std::uint32_t>& ties = prefix_.Ties;
    if (tie >= ties.size() || ties[tie] >= end) {
        return kNoTieAhead;
    }
    const std::size_t time = ties[tie];
    const TStep& step = steps_[classes_[time]];
    return ((GridAt(time, segment) & 1) != 0) != step.Parity ? 1 : 0;
}

// The segment holding time, searching forward from segment `from`.
std::size_t TClassCompetition::SegmentOf(std::size_t time, std::size_t from) const {
    while (from + 1 < prefix_.Segments.size() && prefix_.Segments[from + 1].Start <= time) {
        ++from;
    }
    return from;
}

// The sum of every term but unit's own (FollowUnitSum), segment holding
// unit. Zero terms change nothing and are never ties or exits.
double TClassCompetition::UnitSum(std::size_t unit, std::size_t segment, double lockedOffset) {
    struct TTrajectory {
        const TClassCompetition& Self;
        std::size_t Segment;
        std::size_t Count() const { return Self.units_; }
        double Term(std::size_t t) const { return Self.values_[Self.classes_[t]]; }
        int BinadeAt(std::size_t t) {
            Segment = Self.SegmentOf(t, Segment);
            return Self.prefix_.Segments[Segment].Binade;
        }
        double Prefix(std::size_t t) const { return Self.Prefix(t, Segment); }
        double Total() const { return Self.prefix_.Total; }
        std::size_t ChangeAfter(int) const {
            return Segment + 1 < Self.prefix_.Segments.size()
                       ? Self.prefix_.Segments[Segment + 1].Start
                       : Self.units_ + 1;
        }
        std::span<const std::uint32_t> Ties() const { return Self.prefix_.Ties; }
    };
    return FollowUnitSum(TTrajectory{*this, segment}, unit, memo_, simulatedSteps_, lockedOffset);
}

// P[unit + 1] = P[unit] + offset grid units in the same binade: D is known
// without reading either P, and a zero D follows P to its total.
double TClassCompetition::LockedUnitSum(std::size_t unit, std::size_t segment,
                                        std::uint64_t offset) {
    if (offset == 0) {
        return prefix_.Total;
    }
    if (unit + 1 >= units_) {
        return UnitSum(unit, segment);
    }
    return UnitSum(unit, segment, -(static_cast<double>(offset) * prefix_.Segments[segment].Grid));
}

// Gives every unit the class of its result in out: make(unit, class, sum, id)
// sets id for a unit's sum, and is called once per key and window (and for
// every unit whose own step leaves its binade); it returns false to abandon
// the pass. Between those calls a unit costs two look-ups: its class, and the
// result its class has in the current window. Fused: the next pass's running
// sums are built from the output as it is written (out.Values grows through
// Intern, which tells the builder).
template <TClassCompetition::TSweepMode Mode, typename Make>
bool TClassCompetition::Sweep(const TClassState& in, TClassState& out, bool linked, Make&& make) {
    constexpr bool kFused = Mode == TSweepMode::Fused;
    if (!Prepare(in, linked)) {
        return false;
    }
    // A table sized for an earlier pass with many more entries would turn
    // every look-up into a cache miss: start afresh at the size the last pass
    // needed.
    const std::size_t wanted = std::max<std::size_t>(kMemoSlots, std::bit_ceil(4 * memo_.Count()));
    if (memo_.Size() == 0 || memo_.Size() > 4 * wanted) {
        memo_.Reset(wanted);
    }
    memo_.StartPass();
    const std::size_t classCount = steps_.size();
    current_.resize(classCount);
    entries_.resize(kEntriesPerClass * classCount);
    if (stamp_ > std::numeric_limits<std::uint32_t>::max() - 2 * (units_ + 2)) {
        std::fill(entries_.begin(), entries_.end(), TEntry{});
        stamp_ = 0;
    }
    std::uint16_t* outClasses = out.Classes.data();
    TPrefixBuilder& builder = builder_;
    std::uint32_t builderVersion = 0;
    if constexpr (kFused) {
        builder.Start(nextPrefix_, units_, out.Values);
        fusing_ = true;
        combBases_.resize(classCount);
        combIds_.resize(classCount);
        builderVersion = builder.Version();
        wideFits_ = classCount <= TWideSweepTables::kClasses;
    }
    wideTables_.First = 0; // entry c is class c in this sweep
    // Each class's output and, fused, its step in the next pass; the wide
    // run's tables only where it runs.
    const bool wideRun = kFused && wide_ && wideFits_;
    auto combScalar = [&](std::size_t cls, std::uint16_t id) {
        combBases_[cls] = id >= kParity ? kTieBase : builder.Bases()[id];
        combIds_[cls] = id;
    };
    auto comb = [&](std::size_t cls, std::uint16_t id) {
        combScalar(cls, id);
        if (wideRun) {
            wideTables_.Set(cls, combBases_[cls], id);
        }
    };
    // Every class's, from current_.
    auto combAll = [&] {
        for (std::size_t c = 0; c < classCount; ++c) {
            combScalar(c, current_[c]);
        }
        if (wideRun) {
            FillWideSweepTables(wideTables_, combBases_.data(), combIds_.data(), classCount);
        }
    };
    const bool wideScan =
        Mode == TSweepMode::LeaderOnly && wide_ && classCount <= TWideSweepTables::kClasses;
    auto setCurrent = [&](std::uint16_t cls, std::uint16_t id) {
        current_[cls] = id;
        if constexpr (kFused) {
            comb(cls, id);
        } else if constexpr (Mode == TSweepMode::LeaderOnly) {
            if (cls < TWideSweepTables::kClasses) {
                wideTables_.Ids[cls] = id;
            }
        }
    };
    auto emit = [&](std::size_t j, std::uint16_t id) {
        if constexpr (Mode != TSweepMode::LeaderOnly) {
            outClasses[j] = id;
        }
        if constexpr (kFused) {
            builder.Step(j, id);
            if (builder.Version() != builderVersion) { // another binade: every step changed
                builderVersion = builder.Version();
                combAll();
            }
        }
    };
    const std::uint16_t* classes = classes_;
    std::uint32_t segmentStamp = 0;
    // What the next tie of the binade does to an odd offset (or that none
    // comes): the key of every odd offset in the current window.
    std::size_t windowTie = kNoTieAhead;
    // A unit whose class has no result in this window yet: follow its sum.
    auto resolve = [&](std::size_t j, std::size_t segment, std::uint16_t& id) {
        const std::uint16_t cls = classes[j];
        const TStep& step = steps_[cls];
        // The offset is the class's step, for a tie step by the parity of P[j].
        bool parity = false;
        std::uint64_t offset = step.Base;
        if (step.Tie) {
            parity = (GridAt(j, segment) & 1) != 0;
            offset += parity != step.Parity ? 1 : 0;
        }
        const bool odd = (offset & 1) != 0;
        const std::size_t keys = kEntriesPerClass * std::size_t{cls} + (parity ? 4 : 0);
        // Listed among oddKeys_ already: an odd offset of this class met
        // under another tie ahead.
        bool listed = false;
        for (std::size_t tie = 0; tie < 3 && !step.Tie && odd; ++tie) {
            listed = listed || entries_[keys + 1 + tie].Stamp == segmentStamp;
        }
        TEntry& entry = entries_[keys + (odd ? 1 + windowTie : 0)];
        if (entry.Stamp == segmentStamp) {
            id = entry.Class;
            return true;
        }
        if (!make(j, cls, LockedUnitSum(j, segment, offset), id)) {
            return false;
        }
        entry = {segmentStamp, id};
        if (!step.Tie) {
            setCurrent(cls, id);
            if (odd && !listed) {
                oddKeys_.push_back(cls);
            }
        }
        return true;
    };
    // A class whose units a leader-only sweep passes over (LeadingClasses).
    auto skipped = [&](std::size_t cls) {
        return Mode == TSweepMode::LeaderOnly && !leading_.empty() && leading_[cls] == 0;
    };
    std::size_t nextTie = 0;
    const std::vector<TSegment>& segments = prefix_.Segments;
    const std::vector<std::uint32_t>& ties = prefix_.Ties;
    for (std::size_t segment = 0; segment < segments.size(); ++segment) {
        const std::size_t first = segments[segment].Start;
        if (first >= units_) {
            break; // the last step left the binade before: no unit starts here
        }
        const bool last = segment + 1 == segments.size();
        const std::size_t end = last ? units_ : std::size_t{segments[segment + 1].Start};
        // Units first ... end - 1 start in this binade; the last of them, if
        // another binade follows, takes the step out of it and lags behind P.
        const std::size_t lockedEnd = last ? end : end - 1;
        StepsFor(segment);
        for (std::size_t c = 0; c < classCount; ++c) {
            current_[c] = skipped(c) ? std::uint16_t{0} : steps_[c].Tie ? kParity : kUnknown;
        }
        if constexpr (kFused) {
            combAll();
        } else if constexpr (Mode == TSweepMode::LeaderOnly) {
            std::copy_n(current_.begin(), std::min(classCount, TWideSweepTables::kClasses),
                        wideTables_.Ids.begin());
        }
        oddKeys_.clear();
        segmentStamp = ++stamp_;
        windowTie = TieAhead(nextTie, segment, end);
        std::size_t j = first;
        while (j < lockedEnd) {
            std::size_t stop = lockedEnd;
            if (nextTie < ties.size() && ties[nextTie] < stop) {
                stop = ties[nextTie];
            }
            if (j == stop) {
                // A tie step: from this unit on, an odd offset meets the next
                // tie. Where that rounds the same way, every result stands.
                ++nextTie;
                const std::size_t tie = TieAhead(nextTie, segment, end);
                if (tie != windowTie) {
                    windowTie = tie;
                    for (const std::uint16_t cls : oddKeys_) {
                        const TEntry& entry = entries_[kEntriesPerClass * cls + 1 + tie];
                        setCurrent(cls, entry.Stamp == segmentStamp ? entry.Class : kUnknown);
                    }
                }
                continue;
            }
            const std::uint16_t* current = current_.data();
            while (j < stop) {
                if constexpr (kFused) {
                    // Four units at once while each class has its result and
                    // none of their next steps is a tie or leaves the binade.
                    if ((j & 3) == 0) {
                        j = RunFused(j, stop, outClasses);
                    }
                } else if constexpr (Mode == TSweepMode::LeaderOnly) {
                    // No output: on to the next unit whose class has no result.
                    j = wideScan ? FirstUnknownWide(j, stop, classes, wideTables_)
                                 : FirstUnknown(j, stop, classes, current);
                } else {
                    // Four units at once while each class has its result.
                    for (; j + 4 <= stop; j += 4) {
                        const std::uint16_t a = current[classes[j]];
                        const std::uint16_t b = current[classes[j + 1]];
                        const std::uint16_t c = current[classes[j + 2]];
                        const std::uint16_t d = current[classes[j + 3]];
                        if (std::max(std::max(a, b), std::max(c, d)) >= kParity) {
                            break;
                        }
                        outClasses[j] = a;
                        outClasses[j + 1] = b;
                        outClasses[j + 2] = c;
                        outClasses[j + 3] = d;
                    }
                }
                if (j == stop) {
                    break;
                }
                std::uint16_t id = current[classes[j]];
                if (id >= kParity && !resolve(j, segment, id)) {
                    return false;
                }
                emit(j, id);
                ++j;
            }
        }
        if (!last && !skipped(classes[lockedEnd])) {
            std::uint16_t id = 0;
            if (!make(lockedEnd, classes[lockedEnd], UnitSum(lockedEnd, segment), id)) {
                return false;
            }
            emit(lockedEnd, id);
        }
    }
    if constexpr (kFused) {
        builder.Finish(units_);
    }
    return true;
}

// FusedRun over units j ... stop - 1 of the pass's input (j a multiple of 4),
// from combBases_ and combIds_: 64 at a time with AVX-512 where the pass
// allows, the rest four at a time.
std::size_t TClassCompetition::RunFused(std::size_t j, std::size_t stop, std::uint16_t* out) {
    TPrefixBuilder& builder = builder_;
    if (wide_ && wideFits_) {
        j = FusedRunWide(j, stop, classes_, wideTables_, out, builder.Units, builder.Marks);
    }
    return FusedRun(j, stop, classes_, combBases_.data(), combIds_.data(), out, builder.Units,
                    builder.Marks);
}

bool TClassCompetition::BeginOutput(TClassState& out) {
    out.Classes.resize(units_);
    out.Values.clear();
    if (internSlots_.empty()) {
        internSlots_.assign(kInternSlots, 0);
        internKeys_.assign(kInternSlots, 0);
    }
    for (const std::uint32_t slot : internUsed_) {
        internSlots_[slot] = 0;
    }
    internUsed_.clear();
    fusing_ = false;
    return true;
}

bool TClassCompetition::Linked(const TClassView& in, TPassLink link) const {
    return link.FromLast && nextClasses_ != nullptr && in.Classes.data() == nextClasses_ &&
           in.Classes.size() == nextUnits_ && in.Values.size() == nextValues_;
}

// Remembers which output the next pass's running sums were built for, if any.
void TClassCompetition::EndPass(const TClassState& out, bool built) {
    fusing_ = false;
    nextClasses_ = built && nextPrefix_.Valid ? out.Classes.data() : nullptr;
    nextUnits_ = out.Classes.size();
    nextValues_ = out.Values.size();
}

// The class of an output value, a new one for a value not seen in this pass.
bool TClassCompetition::Intern(double value, TClassState& out, std::uint16_t& cls) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    for (std::size_t slot = InternHash(bits) & (kInternSlots - 1);;
         slot = (slot + 1) & (kInternSlots - 1)) {
        if (internSlots_[slot] == 0) {
            if (out.Values.size() >= kMaxClasses) {
                return false;
            }
            out.Values.push_back(value);
            internSlots_[slot] = static_cast<std::uint32_t>(out.Values.size());
            internKeys_[slot] = bits;
            internUsed_.push_back(static_cast<std::uint32_t>(slot));
            cls = static_cast<std::uint16_t>(out.Values.size() - 1);
            if (fusing_) {
                builder_.AddClass();
            }
            return true;
        }
        if (internKeys_[slot] == bits) {
            cls = static_cast<std::uint16_t>(internSlots_[slot] - 1);
            return true;
        }
    }
}

// Where every value is a whole multiple of one power of two and the total of
// all units stays below 2^53 of it, no partial sum of any order rounds: each
// unit's sum is the total less its own value, exactly, whatever the order.
// The first layer's values (halves up to N) always are. Fills presence_ and
// classSums_ for the classes that occur; false when the condition fails.
bool TClassCompetition::ExactSums(const TClassView& in) {
    const std::size_t units = in.Classes.size();
    const std::size_t classCount = in.Values.size();
    if (units == 0 || classCount > 65536) {
        return false;
    }
    int grain = std::numeric_limits<int>::max(); // exponent of the coarsest common power of two
    double largest = 0.0;
    for (const double value : in.Values) {
        if (!FitsFastPass(value)) {
            return false;
        }
        if (value == 0.0) {
            continue;
        }
        grain = std::min(grain, precision::LowestBitExponent(value));
        largest = std::max(largest, value);
    }
    if (largest == 0.0) {
        grain = 0;
    }
    // Every unit at the largest value bounds the total (the product rounds,
    // but never below 2^53 units when it is not).
    if (!NoSumRounds(grain, largest * static_cast<double>(units))) {
        return false;
    }
    simulatedSteps_ = 0;
    bool counted = in.Counts.size() == classCount;
    if (counted) {
        std::uint64_t given = 0;
        for (const std::uint32_t count : in.Counts) {
            given += count;
        }
        counted = given == units;
    }
    if (counted) {
        counts_.assign(in.Counts.begin(), in.Counts.end());
    } else {
        CountClasses(in.Classes, classCount, counts_);
    }
    const std::uint32_t* counts = counts_.data();
    std::uint64_t total = 0;
    for (std::size_t c = 0; c < classCount; ++c) {
        total += counts[c] * static_cast<std::uint64_t>(std::ldexp(in.Values[c], -grain));
    }
    classSums_.resize(classCount);
    for (std::size_t c = 0; c < classCount; ++c) {
        const auto own = static_cast<std::uint64_t>(std::ldexp(in.Values[c], -grain));
        classSums_[c] = counts[c] == 0 ? 0.0 : std::ldexp(static_cast<double>(total - own), grain);
    }
    return true;
}

std::size_t NextOfClass(const std::uint16_t* classes, std::size_t from, std::size_t units,
                        std::uint16_t cls) {
    constexpr std::size_t kBlock = 32; // compared at once, where the compiler vectorises
    std::size_t j = from;
    for (; j + kBlock <= units; j += kBlock) {
        unsigned found = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            found |= classes[j + k] == cls ? 1U : 0U;
        }
        if (found != 0) {
            break;
        }
    }
    while (j < units && classes[j] != cls) {
        ++j;
    }
    return j;
}

void CountClasses(std::span<const std::uint16_t> classes, std::size_t classCount,
                  std::vector<std::uint32_t>& tables) {
    // Four tables, so that runs of one class do not wait on their own counts.
    tables.assign(4 * classCount, 0);
    std::uint32_t* counts = tables.data();
    const std::uint16_t* at = classes.data();
    const std::size_t units = classes.size();
    std::size_t j = 0;
    for (; j + 4 <= units; j += 4) {
        ++counts[at[j]];
        ++counts[classCount + at[j + 1]];
        ++counts[2 * classCount + at[j + 2]];
        ++counts[3 * classCount + at[j + 3]];
    }
    for (; j < units; ++j) {
        ++counts[at[j]];
    }
    for (std::size_t c = 0; c < classCount; ++c) {
        counts[c] +=
            counts[classCount + c] + counts[2 * classCount + c] + counts[3 * classCount + c];
    }
}

// After ExactSums: each class's output in exactOutputs_ (0 for a class
// without units), and whether every class keeps its value. False where an
// output is NaN.
bool TClassCompetition::ExactOutputs(std::span<const double> values, double epsilon,
                                     double maxOutput, bool& stable) {
    exactOutputs_.assign(values.size(), 0.0);
    stable = true;
    for (std::size_t c = 0; c < values.size(); ++c) {
        if (counts_[c] == 0) {
            continue;
        }
        const double output =
            Activation(precision::Inhibit(values[c], classSums_[c], epsilon), maxOutput);
        if (output != output) {
            return false;
        }
        stable = stable && output == values[c];
        exactOutputs_[c] = output;
    }
    return true;
}

// The pass where ExactSums applies: one output per class, the units mapped.
bool TClassCompetition::ExactPass(const TClassView& in, TClassState& out, double epsilon,
                                  double maxOutput, TPassSummary& summary, TPassLink link) {
    if (!ExactSums(in)) {
        return false;
    }
    const std::size_t classCount = in.Values.size();
    units_ = in.Classes.size();
    bool stable = true;
    if (!ExactOutputs(in.Values, epsilon, maxOutput, stable)) {
        return false; // NaN orders nothing: leave it to the sweep
    }
    BeginOutput(out);
    mapped_.resize(classCount);
    bool anyOutput = false;
    double best = 0.0;
    for (std::size_t c = 0; c < classCount; ++c) {
        if (counts_[c] == 0) {
            continue;
        }
        const double output = exactOutputs_[c];
        if (!Intern(output, out, mapped_[c])) {
            return false;
        }
        if (!anyOutput || output > best) {
            best = output;
            anyOutput = true;
        }
    }
    const std::uint16_t* classes = in.Classes.data();
    const std::uint16_t* mapped = mapped_.data();
    // The first unit with the largest output: usually one input class gives
    // it, and its first unit is found by comparing many units at once.
    auto firstLeader = [&] {
        std::size_t leading = 0;
        std::uint16_t leadingClass = 0;
        for (std::size_t c = 0; c < classCount; ++c) {
            if (counts_[c] != 0 && out.Values[mapped[c]] == best) {
                ++leading;
                leadingClass = static_cast<std::uint16_t>(c);
            }
        }
        if (leading == 1) {
            return NextOfClass(classes, 0, units_, leadingClass);
        }
        std::size_t leader = 0;
        while (out.Values[mapped[classes[leader]]] != best) {
            ++leader;
        }
        return leader;
    };
    if (link.Settle != 0 && !stable) {
        outCounts_.assign(out.Values.size(), 0);
        for (std::size_t c = 0; c < classCount; ++c) {
            if (counts_[c] != 0) {
                outCounts_[mapped_[c]] += counts_[c];
            }
        }
        if (LeaderHolds(out.Values, outCounts_, epsilon, maxOutput, link.Settle)) {
            EndPass(out, false);
            summary.Stable = false;
            summary.Leader = firstLeader();
            summary.Settled = true;
            return true;
        }
    }
    std::uint16_t* outClasses = out.Classes.data();
    if (link.ToNext) {
        // The next pass's running sums as the output is written.
        TPrefixBuilder& builder = builder_;
        builder.Start(nextPrefix_, units_, out.Values);
        std::uint32_t builderVersion = 0;
        combBases_.resize(classCount);
        combIds_.resize(classCount);
        classes_ = classes; // what RunFused reads
        // The classes that occur (agreement counts, from 0 to 2N) usually
        // span fewer than the wide run's entries, though their values do not.
        std::size_t lowest = 0;
        while (counts_[lowest] == 0) {
            ++lowest;
        }
        std::size_t highest = classCount - 1;
        while (counts_[highest] == 0) {
            --highest;
        }
        wideFits_ = highest - lowest < TWideSweepTables::kClasses;
        wideTables_.First = static_cast<std::uint16_t>(lowest);
        const std::size_t wideEnd = std::min(classCount, lowest + TWideSweepTables::kClasses);
        std::size_t j = 0;
        while (j < units_) {
            if (builder.Version() != builderVersion) {
                builderVersion = builder.Version();
                for (std::size_t c = 0; c < classCount; ++c) {
                    combBases_[c] = counts_[c] == 0 ? 0 : builder.Bases()[mapped[c]];
                    combIds_[c] = mapped[c];
                }
                for (std::size_t c = lowest; c < wideEnd; ++c) {
                    wideTables_.Set(c - lowest, combBases_[c], combIds_[c]);
                }
            }
            if ((j & 3) == 0) {
                j = RunFused(j, units_, outClasses);
                if (j >= units_) {
                    break;
                }
            }
            outClasses[j] = mapped[classes[j]];
            builder.Step(j, outClasses[j]);
            ++j;
        }
        builder.Finish(units_);
    } else if (link.KeepOutput) {
        for (std::size_t j = 0; j < units_; ++j) {
            outClasses[j] = mapped[classes[j]];
        }
    }
    EndPass(out, link.ToNext);
    summary.Stable = stable;
    summary.Leader = firstLeader();
    return true;
}

bool TClassCompetition::InhibitionSums(const TClassState& in, std::span<double> sums) {
    if (ExactSums({in.Classes, in.Values})) {
        for (std::size_t j = 0; j < in.Classes.size(); ++j) {
            sums[j] = classSums_[in.Classes[j]];
        }
        return true;
    }
    units_ = in.Classes.size();
    TClassState out;
    BeginOutput(out);
    nextClasses_ = nullptr;
    const bool done = Sweep<TSweepMode::Plain>(
        in, out, false, [&](std::size_t, std::uint16_t, double sum, std::uint16_t& id) {
            return Intern(sum, out, id);
        });
    if (done) {
        out.Materialise(sums);
    }
    return done;
}

// A pass read only for its leader and stability may look at the units of the
// largest input value alone, where every other unit's output can be shown
// to lie below the largest among them (OthersTrail). That needs the output
// to grow with the input, the inhibition sum held equal: an epsilon >= 0
// and a clip >= 0. Marks that class in leading_.
bool TClassCompetition::LeadingClasses(std::span<const double> values, double epsilon,
                                       double maxOutput) {
    if (!(epsilon >= 0.0 && epsilon <= kLargestSummedValue && maxOutput >= 0.0) ||
        values.size() < 2 || !std::all_of(values.begin(), values.end(), FitsFastPass)) {
        return false;
    }
    const double largest = *std::max_element(values.begin(), values.end());
    leading_.assign(values.size(), 0);
    for (std::size_t c = 0; c < values.size(); ++c) {
        leading_[c] = values[c] == largest ? 1 : 0;
    }
    return true;
}

// Whether no unit outside leading_ can reach best, the largest output of the
// leading units (so the leader is theirs, the first unit with it).
//
// Each stored step of a running sum rounds twice, a relative error below
// 2^-52; a sequential sum of n <= 2^32 terms >= 0 then lies within
// 1.01 n 2^-52 of its exact value (the terms' exact total), and the
// computed total T within the same of it. So the sum of a unit of input v
// is at least T - v - 2E, E = M 2^-50 T; T - v - 4E, formed in doubles,
// stays below that (its own roundings are below 2^-52 T <= 2E). Inhibit
// falls and Activation grows monotonically, so a unit of input v gives at
// most the output of that bound.
bool TClassCompetition::OthersTrail(double best, double epsilon, double maxOutput) const {
    const double total = prefix_.Total;
    if (total < 0x1p-900) { // 2^-50 of it would not be a relative bound
        return false;
    }
    const double error = std::ldexp(total, -50) * static_cast<double>(units_);
    for (std::size_t c = 0; c < leading_.size(); ++c) {
        if (leading_[c] != 0) {
            continue;
        }
        const double own = values_[c];
        const double least = std::max(0.0, (total - own) - 4.0 * error);
        if (!(Activation(precision::Inhibit(own, least, epsilon), maxOutput) < best)) {
            return false;
        }
    }
    return true;
}

// Whether the unit alone at the largest of values (counts: units per class)
// leads each of the next `passes` passes on them, whatever their sums round
// to. Bounds per class on its units' values in each later pass, found with
// the functions the passes take, show it:
// - No value grows: Inhibit subtracts a product >= 0 (epsilon >= 0, sums
//   >= 0) and rounds monotonically, and the clip only lowers a value >= 0.
// - A unit of class c, its value within [lo_c, hi_c], has the exact sum of
//   the others' values within [sum of n_d lo_d - lo_c, sum of n_d hi_d -
//   hi_c], n_d the units of class d. The pass adds those values one by one
//   to doubles, each step rounded twice: for n < 2^32 terms >= 0 its sum
//   lies within 1.01 n 2^-52 < 2^-18 of the exact one (the bounds' own sums
//   are taken within 2^-30).
// - Inhibit grows with the value and falls with the sum, Activation does not
//   fall: the unit's output lies within [Activation(Inhibit(lo_c, the sum's
//   upper bound)), Activation(Inhibit(hi_c, its lower bound))].
// Where the class of the largest value has one unit, and its lower bound
// stays above zero and above every other class's upper bound, that unit is
// the only one at the largest value of every output, so it leads each pass.
bool TClassCompetition::LeaderHolds(std::span<const double> values,
                                    std::span<const std::uint32_t> counts, double epsilon,
                                    double maxOutput, std::size_t passes) {
    if (counts.size() != values.size() || values.empty()) {
        return false;
    }
    const auto top =
        static_cast<std::size_t>(std::max_element(values.begin(), values.end()) - values.begin());
    return counts[top] == 1 && TopHolds(values, counts, epsilon, maxOutput, passes);
}

// Whether the class of the largest of values (the first such) stays alone at
// the largest value of each of the next `passes` outputs, above zero, however
// many units it holds: LeaderHolds' bounds.
bool TClassCompetition::TopHolds(std::span<const double> values,
                                 std::span<const std::uint32_t> counts, double epsilon,
                                 double maxOutput, std::size_t passes) {
    constexpr std::size_t kMostSteps = std::size_t{1} << 16; // classes times passes followed
    const std::size_t classCount = values.size();
    if (counts.size() != classCount || classCount < 2 || passes == 0 ||
        passes > kMostSteps / classCount || units_ >= (std::size_t{1} << 32) ||
        !(epsilon >= 0.0 && epsilon <= kLargestSummedValue) ||
        !std::all_of(values.begin(), values.end(), FitsFastPass)) {
        return false;
    }
    const auto top =
        static_cast<std::size_t>(std::max_element(values.begin(), values.end()) - values.begin());
    lows_.assign(values.begin(), values.end());
    highs_.assign(values.begin(), values.end());
    // A class without units adds nothing and has no bounds to follow.
    present_.clear();
    for (std::size_t c = 0; c < classCount; ++c) {
        if (counts[c] != 0) {
            present_.push_back(static_cast<std::uint32_t>(c));
        }
    }
    for (std::size_t r = 0;; ++r) {
        // The largest alone at the top, above zero: these values, then each pass's.
        double others = 0.0;
        for (const std::uint32_t c : present_) {
            if (c != top) {
                others = std::max(others, highs_[c]);
            }
        }
        if (!(lows_[top] > others && lows_[top] > 0.0)) {
            return false;
        }
        if (r == passes) {
            break;
        }
        double lowTotal = 0.0;
        double highTotal = 0.0;
        for (const std::uint32_t c : present_) {
            lowTotal += static_cast<double>(counts[c]) * lows_[c];
            highTotal += static_cast<double>(counts[c]) * highs_[c];
        }
        lowTotal *= 1.0 - 0x1p-30;
        highTotal *= 1.0 + 0x1p-30;
        bool moved = false;
        for (const std::uint32_t c : present_) {
            const double leastSum = std::max(0.0, lowTotal - lows_[c]) * (1.0 - 0x1p-18);
            const double mostSum = (highTotal - highs_[c]) * (1.0 + 0x1p-18);
            const double low =
                Activation(precision::Inhibit(lows_[c], mostSum, epsilon), maxOutput);
            const double high =
                Activation(precision::Inhibit(highs_[c], leastSum, epsilon), maxOutput);
            moved = moved || low != lows_[c] || high != highs_[c];
            lows_[c] = low;
            highs_[c] = high;
        }
        if (!moved) {
            break; // a fixed point: so are the passes after
        }
    }
    return true;
}

std::size_t TClassCompetition::WinnerClass(const TClassView& in, double epsilon, double maxOutput,
                                           std::size_t passes) {
    const std::size_t classCount = in.Values.size();
    if (in.Counts.size() != classCount || !ExactSums(in)) {
        return kNoClass;
    }
    units_ = in.Classes.size();
    if (!std::equal(counts_.begin(), counts_.begin() + static_cast<std::ptrdiff_t>(classCount),
                    in.Counts.begin())) {
        return kNoClass; // counted afresh: the given counts did not add up
    }
    bool stable = true;
    if (!ExactOutputs(in.Values, epsilon, maxOutput, stable)) {
        return kNoClass;
    }
    const std::vector<double>& outputs = exactOutputs_;
    std::size_t top = kNoClass;
    for (std::size_t c = 0; c < classCount; ++c) {
        if (counts_[c] != 0 && (top == kNoClass || outputs[c] > outputs[top])) {
            top = c;
        }
    }
    // A stable first pass elects nobody (the winner is 0). TopHolds takes
    // the first class at the largest output, top, and wants it above every
    // other class's and above 0 (where a class without units sits).
    if (stable || top == kNoClass) {
        return kNoClass;
    }
    return TopHolds(outputs, counts_, epsilon, maxOutput, passes) ? top : kNoClass;
}

bool TClassCompetition::Pass(const TClassState& in, TClassState& out, double epsilon,
                             double maxOutput, TPassSummary& summary, TPassLink link) {
    const bool linked = Linked({in.Classes, in.Values}, link);
    if (ExactPass({in.Classes, in.Values}, out, epsilon, maxOutput, summary, link)) {
        return true;
    }
    units_ = in.Classes.size();
    BeginOutput(out);
    bool stable = true;
    bool anyOutput = false;
    double best = 0.0;
    std::size_t leader = 0;
    auto make = [&](std::size_t j, std::uint16_t cls, double sum, std::uint16_t& id) {
        const double own = values_[cls];
        const double output = Activation(precision::Inhibit(own, sum, epsilon), maxOutput);
        if (!Intern(output, out, id)) {
            return false;
        }
        // Units that reuse a key repeat an output already seen at a lower
        // unit: only a key's first unit can be the first of the largest,
        // or change.
        if (output != own) {
            stable = false;
        }
        if (!anyOutput || output > best) {
            best = output;
            leader = j;
            anyOutput = true;
        }
        return true;
    };
    if (!link.ToNext && !link.KeepOutput && LeadingClasses(in.Values, epsilon, maxOutput)) {
        // Only the leader and the stability are asked for: first from the
        // units of the largest input alone (LeadingClasses).
        const bool done = Sweep<TSweepMode::LeaderOnly>(in, out, linked, make);
        const bool decided = done && !stable && OthersTrail(best, epsilon, maxOutput);
        leading_.clear();
        if (!done) {
            EndPass(out, false);
            return false;
        }
        if (decided) {
            EndPass(out, false);
            summary.Stable = false;
            summary.Leader = leader;
            return true;
        }
        // Undecided: the pass over every class, on the same running sums.
        BeginOutput(out);
        stable = true;
        anyOutput = false;
        best = 0.0;
        leader = 0;
        keptPrefix_ = true;
    }
    const bool done = link.ToNext       ? Sweep<TSweepMode::Fused>(in, out, linked, make)
                      : link.KeepOutput ? Sweep<TSweepMode::Plain>(in, out, linked, make)
                                        : Sweep<TSweepMode::LeaderOnly>(in, out, linked, make);
    EndPass(out, done && link.ToNext);
    if (!done) {
        return false;
    }
    summary.Stable = stable;
    summary.Leader = leader;
    return true;
}

} // namespace verblinka
