// What the fast passes over values (engine/Competition.h) and over classes
// (engine/ClassCompetition.h) share: the bound on the values they take, the
// test that no sum can round, and the walk of one unit's inhibition sum along
// the running prefix sums P, as engine/Competition.h explains it.
#pragma once

#include "engine/Precision.h"
#include "engine/detail/SumMemo.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace verblinka {

// No value above this, so that even 2^32 of them sum far below DBL_MAX: the
// fast passes form the full total, which the literal pass never does.
inline constexpr double kLargestSummedValue = 0x1p960;

// A value the fast passes take: >= 0 and at most kLargestSummedValue (not NaN).
inline bool FitsFastPass(double value) {
    return value >= 0.0 && value <= kLargestSummedValue;
}

// Whether no partial sum of any subset of some terms can round: each term is a
// whole multiple of 2^lowestBit and bound, at least their true total, lies
// below 2^53 of those. Each unit's sum is then the total less its own term.
inline bool NoSumRounds(int lowestBit, double bound) {
    return bound == 0.0 || precision::HighestBitExponent(bound) < lowestBit + 53;
}

// The sum of every term but the one at position, followed as
// engine/Competition.h explains: R starts at P[position] and adds the later
// terms; only the steps where its offset from P may change are taken with the
// network's arithmetic (counted in steps), and each (step, offset) pair met is
// remembered in memo with the sum it leads to.
//
// The trajectory (copied; it may keep its place) supplies:
//   Count()                 L, the number of terms;
//   Term(t)                 the term added at step t < L;
//   BinadeAt(t)             the binade of P[t]; t only grows during one walk;
//   Prefix(t)               P[t], for t in the binade last asked for (or the
//                           one of position, before the first question);
//   Total()                 P[L];
//   ChangeAfter(binade)     the first time past that binade, or L + 1;
//   Ties()                  the steps that break a tie inside their binade, ascending.
//
// lockedOffset, when not zero, is what the caller knows already: P[position]
// - P[position + 1], with P[position + 1] in the binade of P[position] and
// position + 1 < L. R is then locked from its first step, and neither P is
// read (the walk goes on exactly as it would have from them).
template <typename TTrajectory>
[[gnu::always_inline]] inline double FollowUnitSum(TTrajectory path, std::size_t position,
                                                   TSumMemo& memo, std::uint64_t& steps,
                                                   double lockedOffset = 0.0) {
    const std::size_t count = path.Count();
    // The (target, offset) pairs on this unit's way, to remember its sum by.
    constexpr std::size_t kSeen = 24;
    std::uint32_t seenTargets[kSeen]; // left uninitialized: only seenCount are used
    std::uint64_t seenOffsets[kSeen];
    std::size_t seenCount = 0;
    auto finish = [&](double sum) {
        for (std::size_t k = 0; k < seenCount; ++k) {
            memo.Remember(seenTargets[k], seenOffsets[k], sum);
        }
        return sum;
    };
    bool locked = lockedOffset != 0.0;
    double sum = locked ? 0.0 : path.Prefix(position);
    std::size_t i = position + 1;
    for (;;) {
        if (i >= count) {
            return finish(sum);
        }
        int binade = path.BinadeAt(i);
        double offset = lockedOffset;
        if (locked) {
            locked = false;
        } else {
            // R lags in a lower binade than P: literal steps until it catches up.
            while (precision::BinadeOf(sum) != binade) {
                sum = precision::AddStep(sum, path.Term(i));
                ++steps;
                if (++i >= count) {
                    return finish(sum);
                }
                binade = path.BinadeAt(i);
            }
            const double prefix = path.Prefix(i);
            if (sum == prefix) {
                return finish(path.Total()); // from here on R follows P exactly
            }
            offset = precision::ExactDifference(sum, prefix);
        }
        // Locked: D stays constant until the binade changes or, if D is an
        // odd number of grid steps, until the next tie. The step there (the
        // target) is taken literally; past the last term there is none.
        const std::size_t change = path.ChangeAfter(binade);
        std::size_t target = change > count ? count : change - 1;
        if (precision::IsOddOnGrid(offset, binade)) {
            const std::size_t before = std::min(change, count);
            const std::span<const std::uint32_t> ties = path.Ties();
            const auto tie = std::lower_bound(ties.begin(), ties.end(), i);
            if (tie != ties.end() && *tie < before) {
                target = *tie;
            }
        }
        const auto targetKey = static_cast<std::uint32_t>(target);
        const auto offsetKey = std::bit_cast<std::uint64_t>(offset);
        if (const TSumMemo::TSlot* known = memo.Find(targetKey, offsetKey)) {
            return finish(known->Sum);
        }
        if (seenCount < kSeen) {
            seenTargets[seenCount] = targetKey;
            seenOffsets[seenCount] = offsetKey;
            ++seenCount;
        }
        if (target == count) {
            return finish(precision::ExactSum(path.Total(), offset));
        }
        sum =
            precision::AddStep(precision::ExactSum(path.Prefix(target), offset), path.Term(target));
        i = target + 1;
        ++steps;
    }
}

} // namespace verblinka
