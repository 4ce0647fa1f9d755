// The search: the network proposes a candidate entry for the typed word and
// for each variant of it with a blank inserted; a plain character-difference
// count chooses among the candidates, the later one on equal distance.
#pragma once

#include "dictionary/BTree.h"
#include "engine/HammingMem.h"
#include "engine/RecognitionTrace.h"
#include "text/Codes.h"
#include "text/WordCode.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace verblinka {

// |length a - length b| plus the positions where the bytes differ.
std::int32_t WordDistance(std::string_view a, std::string_view b);

// s with a blank inserted before its p-th byte (1-based).
std::string InsertBlank(std::string_view s, std::int32_t p);

// True when text holds nothing but bytes 0x00 ... 0x20. substituted: some byte
// of text stands for a character that the code page lacks (the conversion
// says so); that is a character of the word, so the text is not blank.
bool IsBlankQuery(std::string_view text, bool substituted = false);

// How a search ended: it selected a row (BestRow), it refused its input (no
// word typed, no dictionary loaded), it failed, or it was cancelled.
enum class TSearchStatus { Selected, NoWord, NoDictionary, Failed, Cancelled };

// One recognition of a search: the text coded (the query or a variant), the
// row the network returned and that entry's distance from the text.
struct TSearchStep {
    std::string Text;
    std::int32_t Row = 0;
    std::int32_t Distance = 0;
};

// Optional controls of one search; all members may be left empty.
struct TSearchControl {
    // Each step (recognition) as it is made, in variant order (0 = the query itself), on the
    // calling thread.
    std::function<void(const TSearchStep& step, std::int32_t index)> OnStep;
    // Recognitions done so far out of total (total = query length + 1); may be called from any
    // thread.
    std::function<void(std::int32_t done, std::int32_t total)> OnProgress;
    // Polled between recognitions; when set, the search ends with TSearchStatus::Cancelled and no
    // row.
    const std::atomic<bool>* Cancel = nullptr;
    // Threads for the recognitions; 0 = every core. Results never depend on it.
    unsigned Threads = 0;
    // Bytes the first layers waiting for their recognitions may take at once
    // (two per row and code; at least one code per thread is always taken).
    // Results never depend on it.
    std::size_t FirstLayerBudget = std::size_t{24} << 20;
    // Trace every recognition (TSearchOutcome::Trace), following these rows
    // besides each one's first-layer leaders and its winner. Results never
    // depend on it.
    bool Trace = false;
    std::vector<std::int32_t> TracedRows;
    // The code the network's rows hold, which the query and its variants
    // are given too; null: the program's (CodeWord).
    const TWordCoder* Coder = nullptr;
    // The scratch the recognitions work in; null: the network's own.
    // Searches that run at the same time on one network each need their own.
    TRecognitionPools* Pools = nullptr;
};

// One step of a traced search. Its text is not kept: it is the query with a
// blank before byte Position (TSearchTrace::StepText), so that a step costs
// the same whatever the query's length.
struct TTracedStep {
    std::int32_t Position = 0; // 0: the query itself; p: the blank before its p-th byte
    std::int32_t Row = 0;      // the row the network returned
    std::int32_t Distance = 0;
    std::int32_t ReusedFrom = -1;                   // the earlier step with the same code, or -1
    std::shared_ptr<const TRecognitionTrace> Trace; // shared with the step it reuses
};

// A search with every distinct recognition traced: the steps in variant
// order, each naming its recognition's trace (whose Input is the step's code).
struct TSearchTrace {
    TSearchStatus Status = TSearchStatus::Failed;
    std::int32_t BestRow = 0;
    std::int32_t BestDistance = 0;
    std::int32_t ChosenStep = 0; // the step that set BestRow
    std::string Query;           // Windows-1251 bytes, as searched
    std::vector<TTracedStep> Steps;

    std::string Message() const; // as TSearchOutcome's
    // The text step coded: the query, or the variant (O(query length) bytes).
    std::string StepText(std::size_t step) const;
    // The code of step's text that the network recognised.
    TWordCode StepCode(std::size_t step) const;
};

struct TSearchOutcome {
    TSearchStatus Status = TSearchStatus::Failed;
    std::int32_t BestRow = 0;
    std::int32_t BestDistance = 0;
    std::int32_t ChosenStep = 0;    // index into Steps of the step that set BestRow
    std::vector<TSearchStep> Steps; // filled only when asked for
    // With TSearchControl::Trace, for a search that selected a row: the same
    // search with every recognition traced.
    std::optional<TSearchTrace> Trace;

    // The message the caller shows (SearchMessage); empty when the search selected a row.
    std::string Message() const;
};

// The two input checks that come before any work: the refusal (NoWord or
// NoDictionary), or nothing when the input is accepted and the search may go
// on. The window shows its wait cursor only after they pass, so it asks for
// them on their own. substituted as for
// IsBlankQuery: callers that converted typed text check with it before
// SearchWord, which cannot tell a substitute from a typed control character
// and so refuses only queries without the substitute byte.
std::optional<TSearchStatus> CheckSearchInput(std::string_view query,
                                              const TDictionaryEntries& entries,
                                              bool substituted = false);

// Looks query (Windows-1251 bytes, as typed) up in the dictionary whose entries
// are `entries` and whose network holds their codes row by row.
//
// The result is that of the literal loop (query, then each blank variant in
// turn, the later one on equal distance), whatever the threads. Only the
// first 20 bytes reach the network, so at most 21 distinct codes are
// recognized, together, on up to control.Threads threads; every variant with
// the blank past the 20th byte has the query's code and row, and its distance
// comes from prefix counts, without building it. When neither steps nor
// OnStep are asked for, a query found exactly (distance 0) ends the search:
// every variant holds a blank and no entry does, so none can tie it. Traced
// (control.Trace), the search takes the same route and the same time order
// in the query's length; each distinct code's trace is recorded as its
// recognition runs, with nothing of size M kept.
TSearchOutcome SearchWord(std::string_view query, const TDictionaryEntries& entries,
                          THammingNet& network, TWordCode& code, bool recordSteps = false,
                          const TSearchControl& control = {});

} // namespace verblinka
