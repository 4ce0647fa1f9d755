// A search that shows its work: the same steps as SearchWord, each with the
// trace of its recognition. Steps whose text has the code of an earlier step
// reuse that recognition (as SearchWord does) and say which one.
#pragma once

#include "engine/RecognitionTrace.h"
#include "search/Search.h"

#include <memory>

namespace verblinka {

struct TTracedStep {
    std::string Text;     // the query or a variant, Windows-1251 bytes
    std::int32_t Row = 0; // the row the network returned
    std::int32_t Distance = 0;
    std::int32_t ReusedFrom = -1; // the earlier step with the same code, or -1
    TWordCode Code{};
    std::shared_ptr<const TRecognitionTrace> Trace; // shared with the step it reuses
};

struct TSearchTrace {
    TSearchStatus Status = TSearchStatus::Failed;
    std::int32_t BestRow = 0;
    std::int32_t BestDistance = 0;
    std::int32_t ChosenStep = 0; // the step that set BestRow
    std::vector<TTracedStep> Steps;

    std::string Message() const; // as TSearchOutcome's
};

// Runs the search of SearchWord step by step with every recognition traced;
// the rows, distances and choice are SearchWord's. requestedRows are followed
// in every trace besides the leaders and the winner.
TSearchTrace TraceSearch(std::string_view query, const TDictionaryEntries& entries,
                         THammingNet& network, TWordCode& code,
                         const std::vector<std::int32_t>& requestedRows = {});

} // namespace verblinka
