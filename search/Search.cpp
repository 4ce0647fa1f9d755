#include "search/Search.h"

#include "engine/CheckedMath.h"
#include "engine/RecognizeBatch.h"
#include "search/Messages.h"
#include "text/CodePage1251.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
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

bool IsBlankQuery(std::string_view text, bool substituted) {
    if (substituted) {
        return false;
    }
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<std::uint8_t>(c) <= 0x20; });
}

std::string TSearchOutcome::Message() const {
    return SearchMessage(Status);
}

std::string TSearchTrace::Message() const {
    return SearchMessage(Status);
}

std::string TSearchTrace::StepText(std::size_t step) const {
    const std::int32_t position = Steps.at(step).Position;
    return position == 0 ? Query : InsertBlank(Query, position);
}

TWordCode TSearchTrace::StepCode(std::size_t step) const {
    TWordCode code{};
    const TTracedStep& traced = Steps.at(step);
    if (traced.Trace) {
        std::copy_n(traced.Trace->Input.begin(), std::min(traced.Trace->Input.size(), code.size()),
                    code.begin());
    }
    return code;
}

std::optional<TSearchStatus> CheckSearchInput(std::string_view query,
                                              const TDictionaryEntries& entries, bool substituted) {
    if (IsBlankQuery(query, substituted)) {
        return TSearchStatus::NoWord;
    }
    if (entries.empty()) {
        return TSearchStatus::NoDictionary;
    }
    return std::nullopt;
}

namespace {

// Bytes of the query that reach the network's code.
constexpr std::int32_t kCodedBytes = kCodedCharacters;

// The distances of the query's variants from one entry, each in constant
// time (those with the blank past the coded bytes share their candidate): a
// variant is the query with a blank before byte p, so it agrees with the
// entry where the query does before that byte, and where the query shifted
// by one does after it.
class TLongVariantDistances {
public:
    TLongVariantDistances(std::string_view query, std::string_view entry)
        : query_(query), entry_(entry) {
        const std::size_t length = query.size() + 1; // of every variant
        common_ = std::min(length, entry.size());
        direct_.assign(common_ + 1, 0);
        for (std::size_t i = 0; i < common_; ++i) {
            direct_[i + 1] = direct_[i] + (i < query.size() && query[i] != entry[i] ? 1 : 0);
        }
        shifted_.assign(common_ + 1, 0);
        for (std::size_t i = common_; i-- > 1;) {
            shifted_[i] = shifted_[i + 1] + (query[i - 1] != entry[i] ? 1 : 0);
        }
        lengthDifference_ =
            CheckedCount(length > entry.size() ? length - entry.size() : entry.size() - length);
    }

    // WordDistance(InsertBlank(query, p), entry).
    std::int32_t Distance(std::size_t p) const {
        const std::size_t blank = p - 1;
        std::int32_t differ = direct_[std::min(blank, common_)];
        if (blank < common_) {
            differ += entry_[blank] != ' ' ? 1 : 0;
            differ += shifted_[blank + 1];
        }
        return CheckedAdd(lengthDifference_, differ);
    }

private:
    std::string_view query_;
    std::string_view entry_;
    std::size_t common_ = 0;
    std::vector<std::int32_t> direct_;  // mismatches of query and entry before i
    std::vector<std::int32_t> shifted_; // of query[k - 1] and entry[k], k = i ... common - 1
    std::int32_t lengthDifference_ = 0;
};

// What a search knows of its steps' distances (steps 0 ... coded; the later
// ones have the query's code, which is always recognized) while some
// recognitions have not run: each step's distance lies within [Least, Most],
// from the rows its code's recognition returned or provably returns one of.
// The step chosen is the closest, the later one on equal distance, so a step
// is never chosen where an earlier one is surely closer or a later one surely
// as close; and the choice among the steps that may be chosen is the choice
// among them all.
class TChoiceBounds {
public:
    static constexpr std::int32_t kUnknown = std::numeric_limits<std::int32_t>::max();

    TChoiceBounds(std::string_view query, const TDictionaryEntries& entries,
                  const std::vector<std::size_t>& codeOf)
        : query_(query), entries_(entries), codeOf_(codeOf), least_(codeOf.size(), 0),
          most_(codeOf.size(), kUnknown) {}

    // Code k's row is one of rows (all in the dictionary).
    void Narrow(std::size_t k, std::span<const std::int32_t> rows) {
        for (std::size_t p = 0; p < codeOf_.size(); ++p) {
            if (codeOf_[p] == k) {
                least_[p] = kUnknown;
                most_[p] = 0;
            }
        }
        for (const std::int32_t row : rows) {
            const std::string& entry = entries_[static_cast<std::size_t>(row)].Word;
            const TLongVariantDistances variants(query_, entry);
            for (std::size_t p = 0; p < codeOf_.size(); ++p) {
                if (codeOf_[p] == k) {
                    const std::int32_t distance =
                        p == 0 ? WordDistance(query_, entry) : variants.Distance(p);
                    least_[p] = std::min(least_[p], distance);
                    most_[p] = std::max(most_[p], distance);
                }
            }
        }
    }

    // The least distance code k's steps may have, and the latest step that
    // may have it: the code most likely chosen has the least, then the latest.
    std::pair<std::int32_t, std::size_t> Promise(std::size_t k) const {
        std::pair<std::int32_t, std::size_t> promise{kUnknown, 0};
        for (std::size_t p = 0; p < codeOf_.size(); ++p) {
            if (codeOf_[p] == k && least_[p] <= promise.first) {
                promise = {least_[p], p};
            }
        }
        return promise;
    }

    // Whether no step of code k can be the one chosen.
    bool NeverChosen(std::size_t k) const {
        const std::size_t steps = codeOf_.size();
        std::int32_t before = kUnknown; // the least Most of the steps before p
        for (std::size_t p = 0; p < steps; ++p) {
            if (codeOf_[p] == k) {
                std::int32_t after = kUnknown;
                for (std::size_t q = p + 1; q < steps; ++q) {
                    after = std::min(after, most_[q]);
                }
                if (!(before < least_[p] || after <= least_[p])) {
                    return false;
                }
            }
            before = std::min(before, most_[p]);
        }
        return true;
    }

private:
    std::string_view query_;
    const TDictionaryEntries& entries_;
    const std::vector<std::size_t>& codeOf_;
    std::vector<std::int32_t> least_;
    std::vector<std::int32_t> most_;
};

std::int32_t CheckedRow(std::int32_t row, const TDictionaryEntries& entries) {
    if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) {
        throw std::out_of_range("The network returned a row outside the dictionary");
    }
    return row;
}

} // namespace

TSearchOutcome SearchWord(std::string_view query, const TDictionaryEntries& entries,
                          THammingNet& network, TWordCode& code, bool recordSteps,
                          const TSearchControl& control) {
    TSearchOutcome outcome;
    // Every count of the search (variants, positions, distances) is 32-bit:
    // a longer query fails before any scan of it. The substitute byte makes
    // a difference only to a query of blanks, so only such a query is
    // searched for it.
    if (query.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        outcome.Status = TSearchStatus::Failed;
        return outcome;
    }
    if (const std::optional<TSearchStatus> refusal = CheckSearchInput(
            query, entries,
            IsBlankQuery(query) &&
                query.find(static_cast<char>(kSubstituteByte)) != std::string_view::npos)) {
        outcome.Status = *refusal;
        return outcome;
    }
    try {
        if (static_cast<std::size_t>(network.PatternCount()) != entries.size()) {
            throw std::logic_error("The network and the dictionary disagree in size");
        }
        const std::int32_t length = CheckedCount(query.size());
        const std::int32_t total = CheckedAdd(length, 1);
        // Steps 0 ... coded have codes of their own; later ones the query's.
        const std::int32_t coded = std::min(length, kCodedBytes);
        const std::string_view head = query.substr(0, static_cast<std::size_t>(kCodedBytes));
        std::vector<TWordCode> codes;
        std::vector<std::int32_t> weights;
        std::vector<std::size_t> codeOf(static_cast<std::size_t>(coded) + 1);
        std::vector<std::int32_t> firstStepOf; // of each code
        std::map<TWordCode, std::size_t> seen;
        for (std::int32_t p = 0; p <= coded; ++p) {
            const std::string text = p == 0 ? std::string(head) : InsertBlank(head, p);
            if (control.Coder != nullptr) {
                control.Coder->Code(text, code);
            } else {
                CodeWord(text, code);
            }
            const auto [at, added] = seen.emplace(code, codes.size());
            if (added) {
                codes.push_back(code);
                weights.push_back(0);
                firstStepOf.push_back(p);
            }
            codeOf[static_cast<std::size_t>(p)] = at->second;
            weights[at->second] += 1;
        }
        weights[0] = CheckedAdd(weights[0], length - coded);
        // The caller's buffer ends as the literal loop leaves it: the last variant's code.
        code = codes[length > coded ? 0 : codeOf[static_cast<std::size_t>(coded)]];

        const bool wantSteps = recordSteps || static_cast<bool>(control.OnStep);
        const bool everyStep = wantSteps || control.Trace;
        // Each distinct code recognized once; the query's own row, when it is
        // the query itself, ends the search early unless every step is wanted.
        TChoiceBounds bounds(query, entries, codeOf);
        std::vector<std::uint8_t> skipped(codes.size(), 0);
        TBatchControl batch;
        batch.Threads = control.Threads;
        batch.FirstLayerBudget = control.FirstLayerBudget;
        batch.Cancel = control.Cancel;
        batch.Trace = control.Trace;
        batch.TracedRows = control.TracedRows;
        batch.Pools = control.Pools;
        std::int32_t done = 0;
        batch.OnDone = [&](std::size_t k, std::int32_t row) {
            const std::int32_t known = CheckedRow(row, entries);
            if (!everyStep) {
                bounds.Narrow(k, std::span<const std::int32_t>(&known, 1));
            }
            done += weights[k];
            if (control.OnProgress) {
                control.OnProgress(done, total);
            }
            return k == 0 && !everyStep && entries[static_cast<std::size_t>(known)].Word == query;
        };
        // Without every step wanted, a code whose row is provably one of a
        // few, none of which could be chosen, is not recognized (skipped).
        // The query's own code also stands for the steps past the coded bytes:
        // where there are such, it is always recognized.
        const bool stepsPastCoded = length > coded;
        // Whether code k may still be chosen; if not, it is skipped from here on.
        auto wanted = [&](std::size_t k) {
            if ((k == 0 && stepsPastCoded) || !bounds.NeverChosen(k)) {
                return true;
            }
            skipped[k] = 1;
            done += weights[k];
            if (control.OnProgress) {
                control.OnProgress(done, total);
            }
            return false;
        };
        if (!everyStep) {
            batch.OnProspects = [&](std::span<TCodeProspect> prospects) {
                for (const TCodeProspect& prospect : prospects) {
                    bounds.Narrow(prospect.Code, prospect.Rows);
                }
                for (TCodeProspect& prospect : prospects) {
                    prospect.Wanted = wanted(prospect.Code);
                }
                // The codes most likely chosen first: their rows may rule the others out.
                std::stable_sort(prospects.begin(), prospects.end(),
                                 [&](const TCodeProspect& a, const TCodeProspect& b) {
                                     const auto [leastA, stepA] = bounds.Promise(a.Code);
                                     const auto [leastB, stepB] = bounds.Promise(b.Code);
                                     return leastA != leastB ? leastA < leastB : stepA > stepB;
                                 });
            };
            batch.StillWanted = wanted;
        }
        const std::vector<std::span<const std::int32_t>> inputs(codes.begin(), codes.end());
        const TBatchResult recognitions = RecognizeBatch(network, inputs, batch);
        if (recognitions.Cancelled) {
            outcome = TSearchOutcome{};
            outcome.Status = TSearchStatus::Cancelled;
            return outcome;
        }

        const std::int32_t queryRow =
            stepsPastCoded ? CheckedRow(recognitions.Rows[0], entries) : 0; // read past coded only
        std::vector<TTracedStep> traced;
        if (control.Trace) {
            traced.reserve(static_cast<std::size_t>(total));
        }
        std::optional<TLongVariantDistances> longVariants;
        std::string text;
        TSearchStep step;
        bool chosen = false; // a step has been taken
        for (std::int32_t p = 0; p <= length; ++p) {
            const bool ownCode = p <= coded;
            if (ownCode && skipped[codeOf[static_cast<std::size_t>(p)]] != 0) {
                continue; // provably not chosen
            }
            step.Row = ownCode ? CheckedRow(recognitions.Rows[codeOf[static_cast<std::size_t>(p)]],
                                            entries)
                               : queryRow;
            const std::string& entry = entries[static_cast<std::size_t>(step.Row)].Word;
            if (ownCode || wantSteps) {
                text = p == 0 ? std::string(query) : InsertBlank(query, p);
            }
            if (ownCode) {
                step.Distance = WordDistance(text, entry);
            } else {
                if (!longVariants) {
                    longVariants.emplace(query, entry);
                }
                step.Distance = longVariants->Distance(static_cast<std::size_t>(p));
            }
            if (!chosen || step.Distance <= outcome.BestDistance) {
                chosen = true;
                outcome.BestDistance = step.Distance;
                outcome.BestRow = step.Row;
                outcome.ChosenStep = p;
            }
            if (control.Trace) {
                const std::size_t own = ownCode ? codeOf[static_cast<std::size_t>(p)] : 0;
                TTracedStep& tracedStep = traced.emplace_back();
                tracedStep.Position = p;
                tracedStep.Row = step.Row;
                tracedStep.Distance = step.Distance;
                tracedStep.ReusedFrom = firstStepOf[own] == p ? -1 : firstStepOf[own];
                tracedStep.Trace = recognitions.Traces[own];
            }
            if (wantSteps) {
                step.Text.swap(text);
                if (control.OnStep) {
                    control.OnStep(step, p);
                }
                if (recordSteps) {
                    outcome.Steps.push_back(step);
                }
                step.Text.swap(text);
            } else if (!everyStep && p == 0 && step.Distance == 0) {
                break; // found exactly: no variant can tie it
            }
        }
        outcome.Status = TSearchStatus::Selected;
        if (control.Trace) {
            TSearchTrace& trace = outcome.Trace.emplace();
            trace.Status = outcome.Status;
            trace.BestRow = outcome.BestRow;
            trace.BestDistance = outcome.BestDistance;
            trace.ChosenStep = outcome.ChosenStep;
            trace.Query = query;
            trace.Steps = std::move(traced);
        }
    } catch (const std::exception&) {
        outcome = TSearchOutcome{};
        outcome.Status = TSearchStatus::Failed;
    }
    return outcome;
}

} // namespace verblinka
