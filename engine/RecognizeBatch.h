// Many recognitions on one network at once: the codes of one search (a query
// and its variants). Their first layers are computed in sweeps over the
// stored rows, several codes per sweep and the rows shared among the
// threads, then each code's competition runs on a thread of its own scratch.
// The rows (and traces) are those of THammingNet::Recognize, whatever the
// threads and the budget.
#pragma once

#include "engine/HammingMem.h"
#include "engine/RecognitionTrace.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace verblinka {

// A code whose row is known, before its recognition runs, to be one of a few.
struct TCodeProspect {
    std::size_t Code = 0;
    std::vector<std::int32_t> Rows; // ascending: the recognition returns one of them
    bool Wanted = true;             // cleared by OnProspects: the code is not recognized
};

// The most rows a prospect lists.
inline constexpr std::size_t kMostProspectRows = 256;

struct TBatchControl {
    // Threads for the recognitions; 0 = every core (at most 64).
    unsigned Threads = 0;
    // Bytes the first layers waiting for their recognitions may take at once
    // (two per row and code; at least one code per thread is always taken).
    std::size_t FirstLayerBudget = std::size_t{24} << 20;
    // Polled between recognitions; when set, the batch ends with Cancelled.
    const std::atomic<bool>* Cancel = nullptr;
    // Told of each code's row as soon as it is known, one call at a time, on
    // any of the threads; true ends the batch: codes not yet begun keep row -1.
    std::function<bool(std::size_t code, std::int32_t row)> OnDone;
    // Told, once a group's first layers are known and before its
    // recognitions, of each code whose row its first layer alone shows to be
    // one of at most kMostProspectRows (a code of one such row gets it
    // without running, but for Trace). Codes it marks unwanted are not
    // recognized: they keep row -1 and OnDone never hears of them. The
    // wanted ones of several rows are recognized in the order it leaves
    // them in, after the group's other codes. Called on the calling thread,
    // at most once per group, while no recognition runs.
    std::function<void(std::span<TCodeProspect>)> OnProspects;
    // Asked, one call at a time (and never while OnDone runs), right before
    // each recognition of a code that OnProspects has heard of: false drops
    // it as an unwanted one.
    std::function<bool(std::size_t code)> StillWanted;
    // Trace every recognition, following these rows besides each one's
    // first-layer leaders and its winner.
    bool Trace = false;
    std::vector<std::int32_t> TracedRows;
    // The scratch the batch works in; null: the network's own. Batches that
    // run at the same time on one network each need a set of their own.
    TRecognitionPools* Pools = nullptr;
};

struct TBatchResult {
    std::vector<std::int32_t> Rows; // per code; -1 for a code not recognized
    std::vector<std::shared_ptr<const TRecognitionTrace>> Traces; // per code, with Trace
    bool Cancelled = false;
};

// Recognizes every code (InputCount values each) on network, which is only
// read but for its scratch pools (unless control.Pools brings others): they
// are kept across batches, so that no array of size M is allocated per batch. The first
// exception a recognition (or OnDone) throws is rethrown once every thread has
// stopped.
TBatchResult RecognizeBatch(THammingNet& network,
                            std::span<const std::span<const std::int32_t>> codes,
                            const TBatchControl& control);

} // namespace verblinka
