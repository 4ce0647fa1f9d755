#include "search/SearchTrace.h"

#include "engine/CheckedMath.h"
#include "search/Messages.h"

#include <map>
#include <stdexcept>

namespace verblinka {

std::string TSearchTrace::Message() const {
    return SearchMessage(Status);
}

TSearchTrace TraceSearch(std::string_view query, const TDictionaryEntries& entries,
                         THammingNet& network, TWordCode& code,
                         const std::vector<std::int32_t>& requestedRows) {
    TSearchTrace result;
    if (const std::optional<TSearchStatus> refusal = CheckSearchInput(query, entries)) {
        result.Status = *refusal;
        return result;
    }
    try {
        if (static_cast<std::size_t>(network.PatternCount()) != entries.size()) {
            throw std::logic_error("The network and the dictionary disagree in size");
        }
        std::map<TWordCode, std::size_t> stepOfCode; // the first step with each code
        const std::int32_t length = CheckedCount(query.size());
        for (std::int32_t p = 0; p <= length; ++p) {
            TTracedStep step;
            step.Text = p == 0 ? std::string(query) : InsertBlank(query, p);
            CodeWord(step.Text, code);
            step.Code = code;
            if (const auto known = stepOfCode.find(code); known != stepOfCode.end()) {
                const TTracedStep& earlier = result.Steps[known->second];
                step.ReusedFrom = static_cast<std::int32_t>(known->second);
                step.Row = earlier.Row;
                step.Trace = earlier.Trace;
            } else {
                TRecognitionTracer tracer(network.InputCount(), requestedRows);
                step.Row = network.Recognize(code, tracer.Observer());
                step.Trace =
                    std::make_shared<const TRecognitionTrace>(tracer.Finish(network, step.Row));
                stepOfCode.emplace(code, result.Steps.size());
            }
            if (step.Row < 0 || static_cast<std::size_t>(step.Row) >= entries.size()) {
                throw std::out_of_range("The network returned a row outside the dictionary");
            }
            step.Distance =
                WordDistance(step.Text, entries[static_cast<std::size_t>(step.Row)].Word);
            // The query sets the first choice; a variant replaces it on an equal
            // or smaller distance.
            if (p == 0 || step.Distance <= result.BestDistance) {
                result.BestDistance = step.Distance;
                result.BestRow = step.Row;
                result.ChosenStep = p;
            }
            result.Steps.push_back(std::move(step));
        }
        result.Status = TSearchStatus::Selected;
    } catch (const std::exception&) {
        result = TSearchTrace{};
        result.Status = TSearchStatus::Failed;
    }
    return result;
}

} // namespace verblinka
