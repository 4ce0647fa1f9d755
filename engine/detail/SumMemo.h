// The final sums a competition pass has followed, by the pair that decides
// them: the step a locked unit takes literally next (its target) and its
// offset D from the running sum. Units that reach the same pair follow the
// same path from there, so each pair's sum is followed once per pass.
// Open addressing; the slots of older passes count as empty, so a new pass
// costs no clearing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace verblinka {

class TSumMemo {
public:
    struct TSlot {
        std::uint64_t Offset = 0;     // bits of D
        std::uint32_t Target = 0;     // the step taken literally next
        std::uint32_t Generation = 0; // the pass that wrote the slot
        double Sum = 0.0;
    };

    // A fresh table of slotCount slots (a power of two), nothing in it.
    void Reset(std::size_t slotCount) {
        slots_.assign(slotCount, TSlot{});
        generation_ = 0;
        count_ = 0;
    }

    // Begins a pass: what earlier passes kept is forgotten.
    void StartPass() {
        if (++generation_ == 0) { // after 2^32 passes: forget the old stamps
            std::fill(slots_.begin(), slots_.end(), TSlot{});
            generation_ = 1;
        }
        count_ = 0;
    }

    std::size_t Size() const { return slots_.size(); }
    std::size_t Count() const { return count_; } // sums kept in this pass

    const TSlot* Find(std::uint32_t target, std::uint64_t offset) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = Hash(target, offset) & mask;; slot = (slot + 1) & mask) {
            const TSlot& here = slots_[slot];
            if (here.Generation != generation_) {
                return nullptr;
            }
            if (here.Target == target && here.Offset == offset) {
                return &here;
            }
        }
    }

    void Remember(std::uint32_t target, std::uint64_t offset, double sum) {
        if (2 * (count_ + 1) > slots_.size()) {
            // Grow: keep what this pass has found so far.
            std::vector<TSlot> old(slots_.size() * 2);
            old.swap(slots_);
            count_ = 0;
            for (const TSlot& slot : old) {
                if (slot.Generation == generation_) {
                    Place(slot.Target, slot.Offset, slot.Sum);
                }
            }
        }
        Place(target, offset, sum);
    }

private:
    // The offsets of one window share their target and differ in a few high
    // bits only (small multiples of one grid), so every bit of the key is
    // mixed into the low ones.
    static std::size_t Hash(std::uint32_t target, std::uint64_t offset) {
        std::uint64_t x = offset ^ (std::uint64_t{target} * 0x9E3779B97F4A7C15u);
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }

    // Puts a sum in its slot; the table has room for it.
    void Place(std::uint32_t target, std::uint64_t offset, double sum) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t slot = Hash(target, offset) & mask;
        while (slots_[slot].Generation == generation_) {
            if (slots_[slot].Target == target && slots_[slot].Offset == offset) {
                return;
            }
            slot = (slot + 1) & mask;
        }
        slots_[slot] = {offset, target, generation_, sum};
        ++count_;
    }

    std::vector<TSlot> slots_;
    std::uint32_t generation_ = 0;
    std::size_t count_ = 0;
};

} // namespace verblinka
