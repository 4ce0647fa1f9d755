#include "search/Search.h"

#include "engine/CheckedMath.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace verblinka {

std::int32_t WordDistance(std::string_view a, std::string_view b) {
    const std::int32_t lengthA = CheckedCount(a.size());
    const std::int32_t lengthB = CheckedCount(b.size());
    std::int32_t distance = lengthA > lengthB ? lengthA - lengthB : lengthB - lengthA;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t p = 0; p < common; ++p) {
        if (a[p] != b[p]) {
            distance = CheckedAdd(distance, 1);
        }
    }
    return distance;
}

std::string InsertBlank(std::string_view s, std::int32_t p) {
    if (p < 1 || static_cast<std::size_t>(p) > s.size() + 1) {
        throw std::out_of_range("Blank position out of range");
    }
    std::string result;
    result.reserve(s.size() + 1);
    result.append(s.substr(0, static_cast<std::size_t>(p - 1)));
    result.push_back(' ');
    result.append(s.substr(static_cast<std::size_t>(p - 1)));
    return result;
}

bool IsBlankQuery(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<std::uint8_t>(c) <= 0x20; });
}

std::string TSearchOutcome::SearchMessage(TSearchStatus status) {
    switch (status) {
    case TSearchStatus::Found:
    case TSearchStatus::Cancelled: // the person who cancelled needs no message
        return {};
    case TSearchStatus::NoWord:
        return kMessageNoWord;
    case TSearchStatus::NoDictionary:
        return kMessageNoDictionary;
    case TSearchStatus::Failed:
        break;
    }
    return kMessageSearchFailed;
}

TSearchStatus CheckSearchInput(std::string_view query, const TDictionaryEntries& entries) {
    if (IsBlankQuery(query)) {
        return TSearchStatus::NoWord;
    }
    if (entries.empty()) {
        return TSearchStatus::NoDictionary;
    }
    return TSearchStatus::Found;
}

namespace {

// The rows the network returned in this search, by code. Recognize depends
// only on the code and the stored rows, so a code seen before (every variant
// with the blank past the 20th byte has the query's code) needs no second
// recognition.
using TRecognized = std::map<TWordCode, std::int32_t>;

// One recognition: code text, let the network choose a row, measure the entry.
TSearchStep Propose(std::string_view text, const TDictionaryEntries& entries, THammingNet& network,
                    TWordCode& code, TRecognized& recognized) {
    CodeWord(text, code);
    auto known = recognized.find(code);
    if (known == recognized.end()) {
        known = recognized.emplace(code, network.Recognize(code)).first;
    }
    const std::int32_t row = known->second;
    if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) {
        throw std::out_of_range("The network returned a row outside the dictionary");
    }
    return {std::string(), row, WordDistance(text, entries[static_cast<std::size_t>(row)].Word)};
}

TSearchOutcome CancelledOutcome() {
    TSearchOutcome outcome;
    outcome.Status = TSearchStatus::Cancelled;
    return outcome;
}

} // namespace

TSearchOutcome SearchWord(std::string_view query, const TDictionaryEntries& entries,
                          THammingNet& network, TWordCode& code, bool recordSteps,
                          const TSearchControl& control) {
    TSearchOutcome outcome;
    outcome.Status = CheckSearchInput(query, entries);
    if (outcome.Status != TSearchStatus::Found) {
        return outcome;
    }
    const auto cancelled = [&control] {
        return control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed);
    };
    try {
        if (static_cast<std::size_t>(network.PatternCount()) != entries.size()) {
            throw std::logic_error("The network and the dictionary disagree in size");
        }
        const std::int32_t length = CheckedCount(query.size());
        const std::int32_t total = CheckedAdd(length, 1);
        auto record = [&](TSearchStep step, std::string_view text, std::int32_t index) {
            if (recordSteps || control.OnStep) {
                step.Text.assign(text);
            }
            if (control.OnStep) {
                control.OnStep(step, index);
            }
            if (control.OnProgress) {
                control.OnProgress(index + 1, total);
            }
            if (recordSteps) {
                outcome.Steps.push_back(std::move(step));
            }
        };
        TRecognized recognized;
        if (cancelled()) {
            return CancelledOutcome();
        }
        TSearchStep first = Propose(query, entries, network, code, recognized);
        outcome.BestRow = first.Row;
        outcome.BestDistance = first.Distance;
        record(first, query, 0);
        for (std::int32_t p = 1; p <= length; ++p) {
            if (cancelled()) {
                return CancelledOutcome();
            }
            const std::string variant = InsertBlank(query, p);
            TSearchStep step = Propose(variant, entries, network, code, recognized);
            if (step.Distance <= outcome.BestDistance) {
                outcome.BestDistance = step.Distance;
                outcome.BestRow = step.Row;
                outcome.ChosenStep = p;
            }
            record(step, variant, p);
        }
        outcome.Status = TSearchStatus::Found;
    } catch (const std::exception&) {
        outcome = TSearchOutcome{};
        outcome.Status = TSearchStatus::Failed;
    }
    return outcome;
}

} // namespace verblinka
