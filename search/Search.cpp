#include "search/Search.h"

#include "engine/CheckedMath.h"
#include "search/Messages.h"
#include "text/CodePage1251.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>

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

// The distances of the variants with the blank past the coded bytes from
// their common candidate entry, each in constant time: a variant is the query
// with a blank before byte p, so it agrees with the entry where the query
// does before that byte, and where the query shifted by one does after it.
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

// The recognitions of one search: each distinct code once, on several
// threads, each with its own scratch state; the network is only read.
class TRecognitions {

public:
    TRecognitions(THammingNet& network, const std::vector<TWordCode>& codes,
                  const TSearchControl& control, std::vector<std::int32_t> weights)
        : network_(network), codes_(codes), control_(control), weights_(std::move(weights)),
          rows_(codes.size(), -1), traces_(control.Trace ? codes.size() : 0) {}

    // Runs them; stopAfterFirst(row) is asked when code 0 is done and may end
    // the others early. False when cancelled.
    bool Run(const std::function<bool(std::int32_t)>& stopAfterFirst, std::int32_t total) {
        unsigned threads = control_.Threads != 0
                               ? control_.Threads
                               : std::max(1u, std::thread::hardware_concurrency());
        threads = std::max(1u, std::min<unsigned>(threads, 64));
        total_ = total;
        // Taken before any thread starts, the pool grown first (growing moves it).
        network_.ScratchFor(threads - 1);
        std::vector<TRecognitionScratch*> scratches;
        for (unsigned t = 0; t < threads; ++t) {
            scratches.push_back(&network_.ScratchFor(t));
        }
        const THammingNet& network = network_;
        // The first layers of a group of codes in one sweep over the stored
        // rows, the rows shared among the threads, then the group's
        // recognitions; where it does not apply (literal mode, rows that are
        // not masks) each recognition does its own first layer.
        const bool shared = !network.ReferenceMode() && !network.ValuePasses();
        const std::size_t rows = static_cast<std::size_t>(network.PatternCount());
        // Never fewer codes at once than threads, so that none waits idle.
        const std::size_t affordable =
            control_.FirstLayerBudget / (sizeof(std::uint16_t) * std::max<std::size_t>(rows, 1));
        const std::size_t most =
            std::min(codes_.size(), std::max<std::size_t>(affordable, threads));
        // As few groups as that allows, of even sizes, a whole number of
        // codes per thread where the budget allows.
        const std::size_t groups = (codes_.size() + most - 1) / most;
        const std::size_t even = (codes_.size() + groups - 1) / groups;
        const std::size_t group =
            shared ? std::min(most, (even + threads - 1) / threads * threads) : codes_.size();
        std::vector<std::uint16_t*> buffers;
        std::vector<std::span<const std::int32_t>> inputs;
        for (std::size_t start = 0; start < codes_.size() && !stop_ && !Cancelled();
             start += group) {
            const std::size_t end = std::min(codes_.size(), start + group);
            firstLayerShared_ = false;
            if (shared) {
                buffers.clear();
                inputs.clear();
                for (std::size_t k = start; k < end; ++k) {
                    buffers.push_back(network_.FirstLayerBuffer(k - start).data());
                    inputs.emplace_back(codes_[k]);
                }
                std::atomic<bool> applies{true};
                RunOn(std::min<unsigned>(threads, static_cast<unsigned>(
                                                      std::max<std::size_t>(1, rows / 65536 + 1))),
                      [&](unsigned t, unsigned count) {
                          const std::size_t first = rows * t / count;
                          const std::size_t last = rows * (t + 1) / count;
                          if (!network.FirstLayerClasses(inputs, first, last, buffers)) {
                              applies = false;
                          }
                      });
                firstLayerShared_ = applies;
            }
            std::atomic<std::size_t> next{start};
            RunOn(std::min<unsigned>(threads, static_cast<unsigned>(end - start)), [&](unsigned t,
                                                                                       unsigned) {
                TRecognitionScratch& scratch = *scratches[t];
                for (;;) {
                    if (stop_ || Cancelled()) {
                        return;
                    }
                    const std::size_t k = next++;
                    if (k >= end) {
                        return;
                    }
                    const std::int32_t row =
                        control_.Trace
                            ? Traced(k, firstLayerShared_ ? buffers[k - start] : nullptr, scratch)
                        : firstLayerShared_
                            ? network.RecognizeFromClasses(
                                  std::span<const std::uint16_t>(buffers[k - start], rows), scratch)
                            : network.Recognize(codes_[k], scratch);
                    rows_[k] = row;
                    Progress(weights_[k]);
                    if (k == 0 && stopAfterFirst && stopAfterFirst(row)) {
                        stop_ = true;
                    }
                }
            });
        }
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        return !Cancelled();
    }

    std::int32_t Row(std::size_t k) const { return rows_[k]; }
    // With control.Trace: code k's trace.
    const std::shared_ptr<const TRecognitionTrace>& Trace(std::size_t k) const {
        return traces_[k];
    }

private:
    // Recognizes code k with its trace, from its first layer's classes when
    // the group shares them (firstLayer, else null).
    std::int32_t Traced(std::size_t k, const std::uint16_t* firstLayer,
                        TRecognitionScratch& scratch) {
        const THammingNet& network = network_;
        const std::span<const std::uint16_t> classes(
            firstLayer,
            firstLayer != nullptr ? static_cast<std::size_t>(network.PatternCount()) : 0);
        auto recognize = [&](TPassRecorder& recorder) {
            return firstLayer != nullptr ? network.RecognizeFromClasses(classes, scratch, recorder)
                                         : network.Recognize(codes_[k], scratch, recorder);
        };
        TRecognitionTracer tracer(network.InputCount(), control_.TracedRows);
        const std::int32_t row = recognize(tracer);
        traces_[k] = std::make_shared<const TRecognitionTrace>(
            tracer.Finish(TCompetitionSettings::Of(network), codes_[k], row,
                          [&](TPassRecorder& again) { recognize(again); }));
        return row;
    }

    bool Cancelled() const { return control_.Cancel != nullptr && control_.Cancel->load(); }

    void Progress(std::int32_t steps) {
        const std::int32_t done = done_ += steps;
        if (control_.OnProgress) {
            const std::lock_guard<std::mutex> lock(progressMutex_);
            control_.OnProgress(done, total_);
        }
    }

    // body(t, count) on count threads, this one among them; the first
    // exception any of them throws is kept for Run.
    template <typename Body> void RunOn(unsigned count, Body&& body) {
        count = std::max(1u, count);
        auto guarded = [&](unsigned t) {
            try {
                body(t, count);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureMutex_);
                if (!failure_) {
                    failure_ = std::current_exception();
                }
                stop_ = true;
            }
        };
        std::vector<std::jthread> workers;
        for (unsigned t = 1; t < count; ++t) {
            workers.emplace_back(guarded, t);
        }
        guarded(0);
    }

    THammingNet& network_;
    const std::vector<TWordCode>& codes_;
    const TSearchControl& control_;
    std::vector<std::int32_t> weights_; // steps that use each code
    std::vector<std::int32_t> rows_;
    std::vector<std::shared_ptr<const TRecognitionTrace>> traces_;
    std::int32_t total_ = 0;
    std::atomic<std::int32_t> done_{0};
    std::atomic<bool> stop_{false};
    bool firstLayerShared_ = false;
    std::mutex progressMutex_;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
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
        TRecognitions recognitions(network, codes, control, weights);
        auto foundExactly = [&](std::int32_t row) {
            return !everyStep &&
                   entries[static_cast<std::size_t>(CheckedRow(row, entries))].Word == query;
        };
        if (!recognitions.Run(foundExactly, total)) {
            outcome = TSearchOutcome{};
            outcome.Status = TSearchStatus::Cancelled;
            return outcome;
        }

        const std::int32_t queryRow = CheckedRow(recognitions.Row(0), entries);
        std::vector<TTracedStep> traced;
        if (control.Trace) {
            traced.reserve(static_cast<std::size_t>(total));
        }
        std::optional<TLongVariantDistances> longVariants;
        std::string text;
        TSearchStep step;
        for (std::int32_t p = 0; p <= length; ++p) {
            const bool ownCode = p <= coded;
            step.Row =
                ownCode ? CheckedRow(recognitions.Row(codeOf[static_cast<std::size_t>(p)]), entries)
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
            if (p == 0 || step.Distance <= outcome.BestDistance) {
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
                tracedStep.Trace = recognitions.Trace(own);
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
