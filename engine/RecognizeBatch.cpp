#include "engine/RecognizeBatch.h"

#include "engine/detail/ClassCompetition.h"
#include "engine/detail/NetworkInternals.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace verblinka {
namespace {

using detail::TNetworkInternals;

class TBatch {
public:
    TBatch(THammingNet& network, std::span<const std::span<const std::int32_t>> codes,
           const TBatchControl& control)
        : network_(network), codes_(codes), control_(control) {
        result_.Rows.assign(codes.size(), -1);
        if (control.Trace) {
            result_.Traces.resize(codes.size());
        }
    }

    TBatchResult Run() {
        unsigned threads = control_.Threads != 0
                               ? control_.Threads
                               : std::max(1u, std::thread::hardware_concurrency());
        threads = std::max(1u, std::min<unsigned>(threads, 64));
        // Taken before any thread starts, the pool grown first (growing moves it).
        ScratchFor(threads - 1);
        std::vector<TRecognitionScratch*> scratches;
        for (unsigned t = 0; t < threads; ++t) {
            scratches.push_back(&ScratchFor(t));
        }
        const THammingNet& network = network_;
        // The first layers of a group of codes in one sweep over the stored
        // rows, the rows shared among the threads, then the group's
        // recognitions; where it does not apply (the passes over values or the
        // literal ones, rows that are not masks) each recognition does its own
        // first layer.
        const TCompetitionPath path = network.Path();
        const bool shared = path == TCompetitionPath::Auto || path == TCompetitionPath::Classes;
        const auto rows = static_cast<std::size_t>(network.PatternCount());
        // Never fewer codes at once than threads, so that none waits idle.
        const std::size_t affordable =
            control_.FirstLayerBudget / (sizeof(std::uint16_t) * std::max<std::size_t>(rows, 1));
        const std::size_t most =
            std::min(codes_.size(), std::max<std::size_t>(affordable, threads));
        // As few groups as that allows, of even sizes, a whole number of
        // codes per thread where the budget allows.
        const std::size_t groups = most == 0 ? 0 : (codes_.size() + most - 1) / most;
        const std::size_t even = groups == 0 ? 0 : (codes_.size() + groups - 1) / groups;
        const std::size_t group =
            shared ? std::min(most, (even + threads - 1) / threads * threads) : codes_.size();
        std::vector<std::uint16_t*> buffers;
        std::vector<std::span<const std::int32_t>> inputs;
        // Per thread and code of a group: its rows' units per class.
        const std::vector<double> outputs =
            shared ? TNetworkInternals::FirstLayerOutputs(network) : std::vector<double>{};
        const std::size_t classCount = outputs.size();
        const unsigned firstLayerThreads = std::min<unsigned>(
            threads, static_cast<unsigned>(std::max<std::size_t>(1, rows / 65536 + 1)));
        std::vector<std::vector<std::vector<std::uint32_t>>> partCounts(firstLayerThreads);
        std::vector<std::vector<std::uint32_t>> counts;
        std::vector<std::size_t> order;
        for (std::size_t start = 0; start < codes_.size() && !stop_ && !Cancelled();
             start += group) {
            const std::size_t end = std::min(codes_.size(), start + group);
            bool firstLayerShared = false;
            if (shared) {
                buffers.clear();
                inputs.clear();
                for (std::size_t k = start; k < end; ++k) {
                    buffers.push_back(FirstLayerBuffer(k - start).data());
                    inputs.push_back(codes_[k]);
                }
                std::atomic<bool> applies{true};
                RunOn(firstLayerThreads, [&](unsigned t, unsigned count) {
                    const std::size_t first = rows * t / count;
                    const std::size_t last = rows * (t + 1) / count;
                    if (!TNetworkInternals::FirstLayerClasses(network, inputs, first, last,
                                                              buffers)) {
                        applies = false;
                        return;
                    }
                    // Counted here, where the threads share the rows,
                    // rather than by each recognition on its own.
                    std::vector<std::vector<std::uint32_t>>& mine = partCounts[t];
                    mine.resize(std::max(mine.size(), buffers.size()));
                    for (std::size_t k = 0; k < buffers.size(); ++k) {
                        CountClasses({buffers[k] + first, last - first}, classCount, mine[k]);
                    }
                });
                firstLayerShared = applies;
            }
            if (stop_ || Cancelled()) {
                break; // a thread failed (its counts may be missing), or the batch ends
            }
            order.clear();
            if (firstLayerShared) {
                SumCounts(end - start, partCounts, classCount, counts);
                OrderByLength(start, end, outputs, counts, order);
            } else {
                for (std::size_t k = start; k < end; ++k) {
                    order.push_back(k);
                }
            }
            prospective_.clear();
            if (firstLayerShared && !control_.Trace) {
                Prospects(start, end, outputs, threads, buffers, counts, order);
            }
            std::atomic<std::size_t> next{0};
            RunOn(std::min<unsigned>(threads, static_cast<unsigned>(end - start)),
                  [&](unsigned t, unsigned) {
                      TRecognitionScratch& scratch = *scratches[t];
                      for (;;) {
                          if (stop_ || Cancelled()) {
                              return;
                          }
                          const std::size_t taken = next++;
                          if (taken >= order.size()) {
                              return;
                          }
                          const std::size_t k = order[taken];
                          if (!StillWanted(k, start)) {
                              continue;
                          }
                          const std::span<const std::uint16_t> firstLayer(
                              firstLayerShared ? buffers[k - start] : nullptr,
                              firstLayerShared ? rows : 0);
                          const std::span<const std::uint32_t> classCounts(
                              firstLayerShared ? counts[k - start].data() : nullptr,
                              firstLayerShared ? classCount : 0);
                          const std::int32_t row = Recognize(k, firstLayer, classCounts, scratch);
                          result_.Rows[k] = row;
                          Done(k, row);
                      }
                  });
        }
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        result_.Cancelled = Cancelled();
        return std::move(result_);
    }

private:
    TRecognitionScratch& ScratchFor(std::size_t worker) {
        return control_.Pools != nullptr ? control_.Pools->ScratchFor(worker)
                                         : TNetworkInternals::ScratchFor(network_, worker);
    }
    std::vector<std::uint16_t>& FirstLayerBuffer(std::size_t index) {
        return control_.Pools != nullptr
                   ? control_.Pools->FirstLayerBuffer(
                         index, static_cast<std::size_t>(network_.PatternCount()))
                   : TNetworkInternals::FirstLayerBuffer(network_, index);
    }

    // Each code's units per class over every row: the threads' parts added.
    static void SumCounts(std::size_t codes,
                          const std::vector<std::vector<std::vector<std::uint32_t>>>& parts,
                          std::size_t classCount, std::vector<std::vector<std::uint32_t>>& counts) {
        counts.resize(std::max(counts.size(), codes));
        for (std::size_t k = 0; k < codes; ++k) {
            counts[k].assign(classCount, 0);
            for (const auto& part : parts) {
                for (std::size_t c = 0; c < classCount; ++c) {
                    counts[k][c] += part[k][c];
                }
            }
        }
    }

    // The order in which the threads take codes start ... end - 1: the first
    // code first (its row may end the batch: OnDone), then the codes whose
    // largest first-layer value more than one unit shares. Those recognitions
    // run every pass, the others mostly end after the first, so the short
    // ones come last and fill the threads' ends evenly.
    static void OrderByLength(std::size_t start, std::size_t end,
                              const std::vector<double>& outputs,
                              const std::vector<std::vector<std::uint32_t>>& counts,
                              std::vector<std::size_t>& order) {
        std::vector<std::size_t> shortOnes;
        for (std::size_t k = start; k < end; ++k) {
            const std::vector<std::uint32_t>& count = counts[k - start];
            double best = -1.0;
            std::uint64_t sharing = 0;
            for (std::size_t c = 0; c < outputs.size(); ++c) {
                if (count[c] == 0) {
                    continue;
                }
                if (outputs[c] > best) {
                    best = outputs[c];
                    sharing = 0;
                }
                if (outputs[c] == best) {
                    sharing += count[c];
                }
            }
            (k == start || sharing > 1 ? order : shortOnes).push_back(k);
        }
        order.insert(order.end(), shortOnes.begin(), shortOnes.end());
    }

    // The prospects of codes start ... end - 1 from their first layers
    // (buffers) and their units per class (counts), found on the threads a
    // code at a time: each code whose winner provably is one of a few units
    // of one class (TClassCompetition::WinnerClass). A code of one such unit
    // gets its row; those and the codes OnProspects does not want leave
    // order, the other prospects go to its end.
    void Prospects(std::size_t start, std::size_t end, const std::vector<double>& outputs,
                   unsigned threads, const std::vector<std::uint16_t*>& buffers,
                   const std::vector<std::vector<std::uint32_t>>& counts,
                   std::vector<std::size_t>& order) {
        const TCompetitionSettings settings = TCompetitionSettings::Of(network_);
        if (settings.MaxIterations < 0) {
            return;
        }
        // Each pass after the first may follow, up to MaxIterations + 1 of them.
        const auto passes = static_cast<std::size_t>(settings.MaxIterations) + 1;
        const auto rows = static_cast<std::size_t>(settings.PatternCount);
        const std::size_t codes = end - start;
        found_.resize(std::max(found_.size(), codes));
        judges_.resize(std::max<std::size_t>(judges_.size(), threads));
        std::atomic<std::size_t> next{0};
        RunOn(std::min<unsigned>(threads, static_cast<unsigned>(codes)), [&](unsigned t, unsigned) {
            for (std::size_t k = next++; k < codes && !stop_; k = next++) {
                std::vector<std::int32_t>& units = found_[k];
                units.clear();
                const std::vector<std::uint32_t>& count = counts[k];
                const std::size_t cls =
                    judges_[t].WinnerClass({{buffers[k], rows}, outputs, count}, settings.Epsilon,
                                           settings.MaxOutput, passes);
                if (cls != TClassCompetition::kNoClass && count[cls] <= kMostProspectRows) {
                    const auto of = static_cast<std::uint16_t>(cls);
                    for (std::size_t j = NextOfClass(buffers[k], 0, rows, of);
                         j < rows && units.size() < count[cls];
                         j = NextOfClass(buffers[k], j + 1, rows, of)) {
                        units.push_back(static_cast<std::int32_t>(j));
                    }
                }
            }
        });
        if (stop_ || Cancelled()) {
            return;
        }
        prospects_.clear();
        for (std::size_t k = 0; k < codes; ++k) {
            if (!found_[k].empty()) {
                prospects_.push_back({start + k, found_[k], true});
            }
        }
        if (prospects_.empty()) {
            return;
        }
        if (control_.OnProspects) {
            control_.OnProspects(prospects_);
        }
        // The group's first code first, still (OrderByLength); then the
        // codes without a prospect, then the wanted ones in the order given.
        prospective_.assign(end - start, 0);
        std::vector<std::size_t> later;
        bool startRuns = true;
        for (const TCodeProspect& prospect : prospects_) {
            const std::size_t k = prospect.Code;
            prospective_[k - start] = 1;
            const bool runs = prospect.Wanted && prospect.Rows.size() > 1;
            if (k == start) {
                startRuns = runs;
            } else if (runs) {
                later.push_back(k);
            }
            if (prospect.Wanted && prospect.Rows.size() == 1 && !stop_) {
                result_.Rows[k] = prospect.Rows.front();
                Done(k, prospect.Rows.front());
            }
        }
        std::erase_if(order, [&](std::size_t k) {
            return prospective_[k - start] != 0 && !(k == start && startRuns);
        });
        order.insert(order.end(), later.begin(), later.end());
    }

    // Whether a recognition of code k (of the group from start) is still wanted.
    bool StillWanted(std::size_t k, std::size_t start) {
        if (!control_.StillWanted || prospective_.empty() || prospective_[k - start] == 0) {
            return true;
        }
        const std::lock_guard<std::mutex> lock(doneMutex_);
        return control_.StillWanted(k);
    }

    // Code k's recognition, from its first layer's classes where the group
    // shares them (firstLayer and its counts, else empty), with its trace when asked.
    std::int32_t Recognize(std::size_t k, std::span<const std::uint16_t> firstLayer,
                           std::span<const std::uint32_t> counts, TRecognitionScratch& scratch) {
        const THammingNet& network = network_;
        auto recognize = [&](TPassRecorder* recorder) {
            if (!firstLayer.empty()) {
                return TNetworkInternals::RecognizeFromClasses(network, firstLayer, scratch,
                                                               recorder, counts);
            }
            return recorder != nullptr ? network.Recognize(codes_[k], scratch, *recorder)
                                       : network.Recognize(codes_[k], scratch);
        };
        if (!control_.Trace) {
            return recognize(nullptr);
        }
        TRecognitionTracer tracer(network.InputCount(), control_.TracedRows);
        const std::int32_t row = recognize(&tracer);
        result_.Traces[k] = std::make_shared<const TRecognitionTrace>(
            tracer.Finish(TCompetitionSettings::Of(network), codes_[k], row,
                          [&](TPassRecorder& again) { recognize(&again); }));
        return row;
    }

    bool Cancelled() const { return control_.Cancel != nullptr && control_.Cancel->load(); }

    void Done(std::size_t k, std::int32_t row) {
        if (control_.OnDone) {
            const std::lock_guard<std::mutex> lock(doneMutex_);
            if (control_.OnDone(k, row)) {
                stop_ = true;
            }
        }
    }

    TWorkerCrew& Crew() {
        return control_.Pools != nullptr ? control_.Pools->Crew()
                                         : TNetworkInternals::Crew(network_);
    }

    // body(t, count) on count threads, this one among them (the pool's crew
    // the others); the first exception any of them throws is kept for Run.
    template <typename Body> void RunOn(unsigned count, Body&& body) {
        count = std::max(1u, count);
        const std::function<void(unsigned)> guarded = [&](unsigned t) {
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
        Crew().Run(count, guarded);
    }

    THammingNet& network_;
    std::span<const std::span<const std::int32_t>> codes_;
    const TBatchControl& control_;
    TBatchResult result_;
    std::atomic<bool> stop_{false};
    std::mutex doneMutex_;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
    // Prospects' scratch: a judge per thread, each code's units found, the prospects.
    std::vector<TClassCompetition> judges_;
    std::vector<std::vector<std::int32_t>> found_;
    std::vector<TCodeProspect> prospects_;
    std::vector<std::uint8_t> prospective_; // per code of the group: has a prospect
};

} // namespace

TBatchResult RecognizeBatch(THammingNet& network,
                            std::span<const std::span<const std::int32_t>> codes,
                            const TBatchControl& control) {
    return TBatch(network, codes, control).Run();
}

} // namespace verblinka
