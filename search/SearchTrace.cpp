#include "search/SearchTrace.h"

#include <utility>

namespace verblinka {

TSearchTrace TraceSearch(std::string_view query, const TDictionaryEntries& entries,
                         THammingNet& network, TWordCode& code,
                         const std::vector<std::int32_t>& requestedRows,
                         const TSearchControl& control) {
    TSearchControl traced = control;
    traced.Trace = true;
    traced.TracedRows = requestedRows;
    TSearchOutcome outcome = SearchWord(query, entries, network, code, false, traced);
    if (outcome.Trace) {
        return std::move(*outcome.Trace);
    }
    TSearchTrace refused;
    refused.Status = outcome.Status;
    return refused;
}

} // namespace verblinka
