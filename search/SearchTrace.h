// A search that shows its work: SearchWord with every recognition traced
// (TSearchControl::Trace), its outcome's trace on its own. Steps whose text
// has the code of an earlier step reuse that recognition (as SearchWord
// does) and say which one.
#pragma once

#include "search/Search.h"

namespace verblinka {

// The search of SearchWord with every recognition traced; the rows,
// distances and choice are SearchWord's. requestedRows are followed in every
// trace besides the leaders and the winner; control's progress and cancel
// apply as to SearchWord (a cancelled search gives TSearchStatus::Cancelled).
TSearchTrace TraceSearch(std::string_view query, const TDictionaryEntries& entries,
                         THammingNet& network, TWordCode& code,
                         const std::vector<std::int32_t>& requestedRows = {},
                         const TSearchControl& control = {});

} // namespace verblinka
