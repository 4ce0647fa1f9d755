// THammingNet: a two-layer Hamming network used as an associative memory.
// The first layer measures how many positions of the input agree with each
// stored pattern; the second is a competitive layer whose units inhibit one
// another until one leader remains or the pass limit is reached.
#pragma once

#include "engine/PatternWeights.h"
#include "engine/detail/ClassCompetition.h"
#include "engine/detail/Competition.h" // also Activation(x, maxOutput), for every caller
#include "engine/detail/WorkerCrew.h"
#include "engine/detail/ZeroPages.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace verblinka {

// The first layer's kernels: each counts, for every stored row, how many
// positions agree with an input, from the row's masks and the input's
// (TPatternWeights' compact layout). Every kernel gives the same counts; they
// differ only in the instructions they use, and the processor decides which
// ones it can run. THammingNet::SetFirstLayerKernel forces one, so that the
// tests run each on any machine that has it.
enum class TFirstLayerKernel {
    // The fastest this processor has: Avx512, else Popcount, else Scalar.
    Auto,
    // One row and one input at a time, in the baseline instruction set (on
    // x86-64 without a population-count instruction): what every processor runs.
    Scalar,
    // The same loop with x86-64's POPCNT instruction.
    Popcount,
    // Up to eight inputs per vector with AVX-512 (VPOPCNTDQ, BW), where a sweep has
    // two inputs or more of 160 positions; elsewhere Popcount.
    Avx512,
};

// "auto", "scalar", "popcnt", "avx512".
std::string_view FirstLayerKernelName(TFirstLayerKernel kernel);

// Whether this processor (and this build) can run the kernel; Auto and
// Scalar always.
bool FirstLayerKernelAvailable(TFirstLayerKernel kernel);

// The kernel Auto stands for here; any other kernel itself.
TFirstLayerKernel ResolveFirstLayerKernel(TFirstLayerKernel kernel);

// The kernels of the competition's sweeps over classes (the fused run that
// writes each unit's output and the next pass's running sums). Every kernel
// gives the same values; THammingNet::SetSweepKernel forces one, so that the
// tests run each on any machine that has it.
enum class TSweepKernel {
    // Avx512 where the processor has it, else Scalar.
    Auto,
    // Four units at a time, one table look-up each: what every processor runs.
    Scalar,
    // 64 units at a time with AVX-512 (BW, VBMI and VNNI), the tables in vector
    // registers, in passes of at most 128 classes; elsewhere Scalar.
    Avx512,
};

// "auto", "scalar", "avx512".
std::string_view SweepKernelName(TSweepKernel kernel);

// Whether this processor (and this build) can run the kernel; Auto and
// Scalar always.
bool SweepKernelAvailable(TSweepKernel kernel);

// Which passes a recognition takes. Every path gives the same rows and the
// same values bit for bit; they differ in speed, and the slower ones are there
// to prove the faster ones and to measure them.
enum class TCompetitionPath {
    // The fastest that applies: today the passes over classes.
    Auto,
    // The first layer as agreement classes and the passes over a class per
    // unit and a value per class; where the values do not allow it (a first
    // layer off masks, too many classes), the passes over values go on.
    Classes,
    // The first layer on masks where the rows allow it, and the fast pass
    // over one double per unit where its preconditions hold.
    Values,
    // The literal algorithm: the first layer as multiply-adds over doubles
    // and every competition pass as M * (M - 1) additions.
    Literal,
};

// One pass's values, unit by unit: as doubles, or as a class per unit and a
// value per class (the form the fast passes hold them in, read in place).
struct TPassValues {
    std::span<const double> Values;         // unit by unit, or empty
    std::span<const std::uint16_t> Classes; // otherwise: each unit's class
    std::span<const double> ClassValues;    // and each class's value

    std::size_t Size() const { return Classes.empty() ? Values.size() : Classes.size(); }
    double operator[](std::size_t unit) const {
        return Classes.empty() ? Values[unit] : ClassValues[Classes[unit]];
    }
};

// Told what each pass of a recognition produced, in the form the pass holds
// its values, so that following a recognition copies nothing of size M.
class TPassRecorder {
public:
    virtual void FirstLayer(const TPassValues& values) = 0;
    // Competition pass `pass` (1, 2, ...): stable when it changed no value;
    // leader, the first unit with the largest value.
    virtual void Pass(std::int32_t pass, const TPassValues& values, bool stable,
                      std::size_t leader) = 0;

protected:
    TPassRecorder() = default;
    TPassRecorder(const TPassRecorder&) = default;
    TPassRecorder& operator=(const TPassRecorder&) = default;
    ~TPassRecorder() = default;
};

class THammingNet;

namespace detail {
struct TNetworkInternals;
}

// Called after the first layer (pass 0, with its values) and after every
// competition pass (pass 1, 2, ...), with the values unit by unit.
using TPassObserver = std::function<void(std::int32_t pass, std::span<const double> values)>;

// The constants a competition runs with.
struct TCompetitionSettings {
    std::int32_t InputCount = 0;
    std::int32_t PatternCount = 0;
    std::int32_t MaxIterations = 0;
    double Epsilon = 0.0;
    double MaxOutput = 0.0;

    static TCompetitionSettings Of(const THammingNet& network);
};

struct TCompetitionWatch; // engine/detail/RunCompetition.h

// Everything one recognition writes: several recognitions may run at once on
// one network (read only), each with its own scratch state.
class TRecognitionScratch {
private:
    friend class THammingNet;
    friend std::int32_t RunCompetition(TRecognitionScratch& s, const TCompetitionSettings& settings,
                                       TCompetitionPath path, const TCompetitionWatch& watch,
                                       std::span<const std::uint16_t> firstClasses,
                                       std::span<const std::uint32_t> firstCounts);
    friend std::int32_t RunCompetition(std::span<const double> firstLayer,
                                       const TCompetitionSettings& settings, TCompetitionPath path,
                                       const TCompetitionWatch& watch);
    TClassCompetition classPass_;
    TClassState input_;  // the state a pass reads
    TClassState output_; // and writes
    TFastCompetition fast_;
    std::vector<double> Similarity_;
    std::vector<double> Activity_;
    std::vector<std::uint64_t> inputMasks_;
    std::vector<double> rowScratch_;
};

// Scratch kept across recognitions, so that a search allocates no array of
// size M: a state per worker and buffers of first-layer classes. The network
// keeps one set for its callers; batches that run at the same time on one
// network each take a set of their own (TBatchControl::Pools).
class TRecognitionPools {
public:
    // References stay valid until the next call that adds one.
    TRecognitionScratch& ScratchFor(std::size_t worker);
    // A buffer of `rows` classes.
    std::vector<std::uint16_t>& FirstLayerBuffer(std::size_t index, std::size_t rows);
    // The threads a batch runs on besides its caller's.
    TWorkerCrew& Crew() { return crew_.Get(); }

private:
    std::vector<TRecognitionScratch> workers_;
    std::vector<std::vector<std::uint16_t>> firstLayers_;
    TCrewSlot crew_;
};

class THammingNet {
public:
    // Called by Recognize after the first layer (pass 0, with Similarity) and
    // after every competition pass (pass 1, 2, ..., with Activity).
    using TPassObserver = verblinka::TPassObserver;

    THammingNet() = default;

    void SetInputCount(std::int32_t n);
    void SetPatternCount(std::int32_t m);
    void SetMaxIterations(std::int32_t passes) { MaxIterations_ = passes; }
    // The clip level of the activation (100 unless set). Throws
    // std::invalid_argument, changing nothing, unless it is finite and > 0.
    void SetMaxOutput(double maxOutput);
    // Epsilon = factor / PatternCount (0.5 unless set), formed as the stored
    // rows' Epsilon is; refreshed now and by every store. Throws
    // std::invalid_argument, changing nothing, unless it is finite and >= 0.
    void SetEpsilonFactor(double factor);
    double EpsilonFactor() const { return epsilonFactor_; }

    // Copies pattern (InputCount elements) into row `row` and refreshes Bias
    // and Epsilon.
    void StorePattern(std::span<const std::int32_t> pattern, std::int32_t row);

    // Stores in row `row` the pattern of -1, 0 and +1 that masks stand for
    // (TPatternWeights' compact layout: the non-zero mask, then the negative
    // one): the same as StorePattern of that pattern, without spelling it out.
    void StorePatternMasks(std::span<const std::uint64_t> masks, std::int32_t row);

    // Returns the row of the stored pattern that wins the competition for input.
    std::int32_t Recognize(std::span<const std::int32_t> input,
                           const TPassObserver& observer = nullptr);

    // The same row as Recognize, without touching the network: Similarity and
    // Activity stay as they are and every value is written to scratch, so
    // that threads may recognize at once on one network (RecognizeBatch.h
    // runs many so).
    std::int32_t Recognize(std::span<const std::int32_t> input, TRecognitionScratch& scratch) const;
    // The same, telling recorder every pass.
    std::int32_t Recognize(std::span<const std::int32_t> input, TRecognitionScratch& scratch,
                           TPassRecorder& recorder) const;

    // The path Recognize takes; Auto, the default, the fastest that applies.
    void SetPath(TCompetitionPath path) { path_ = path; }
    TCompetitionPath Path() const { return path_; }

    // The kernel that the first layer on masks runs; Auto, the default, takes
    // the fastest this processor has. Every kernel gives the same values;
    // forcing one lets the tests run each. Throws std::invalid_argument,
    // keeping the kernel as it was, for one that this processor lacks
    // (FirstLayerKernelAvailable tells beforehand).
    void SetFirstLayerKernel(TFirstLayerKernel kernel);
    TFirstLayerKernel FirstLayerKernel() const { return firstLayerKernel_; }

    // The same for the competition's sweeps over classes.
    void SetSweepKernel(TSweepKernel kernel);
    TSweepKernel SweepKernel() const { return sweepKernel_; }

    double Bias() const { return Bias_; }
    double MaxOutput() const { return MaxOutput_; }
    double Epsilon() const { return Epsilon_; }
    std::int32_t InputCount() const { return InputCount_; }
    std::int32_t PatternCount() const { return PatternCount_; }
    std::int32_t MaxIterations() const { return MaxIterations_; }
    double Weight(std::int32_t row, std::int32_t column) const;
    const TPatternWeights& Weights() const { return Weights_; }
    // Zeros until the network's own Recognize first writes them.
    std::span<const double> Similarity() const {
        return Similarity_.empty() ? zeros_.View() : std::span<const double>(Similarity_);
    }
    std::span<const double> Activity() const {
        return Activity_.empty() ? zeros_.View() : std::span<const double>(Activity_);
    }

    double Activation(double x) const;
    bool IsStable() const;

private:
    // The engine's own parts reach the pools, the first-layer sweeps and the
    // recognition under other constants through engine/detail/NetworkInternals.h.
    friend struct detail::TNetworkInternals;

    bool ClassPasses() const {
        return path_ == TCompetitionPath::Auto || path_ == TCompetitionPath::Classes;
    }
    bool WideSweep() const; // the sweep kernel resolved
    void Resize();
    bool MasksOf(std::span<const std::int32_t> input, std::vector<std::uint64_t>& masks) const;
    bool FirstLayerAsClasses(std::span<const std::int32_t> input, TRecognitionScratch& s) const;
    void FirstLayer(std::span<const std::int32_t> input, TRecognitionScratch& s) const;
    bool FirstLayerOnMasks(std::span<const std::int32_t> input, TRecognitionScratch& s) const;
    bool FirstLayerIn(std::span<const std::int32_t> input, TRecognitionScratch& s) const;

    // Every unit's first-layer value for input, as Recognize computes it, in
    // scratch space of its own.
    std::vector<double> FirstLayerValues(std::span<const std::int32_t> input) const;
    // The first layer of several inputs in one sweep over the stored rows
    // [firstRow, endRow): out[k][i] = the agreement class of row i for
    // inputs[k], the index into FirstLayerOutputs(). False, writing nothing,
    // when the stored rows or an input are not all -1, 0 and +1.
    bool FirstLayerClasses(std::span<const std::span<const std::int32_t>> inputs,
                           std::size_t firstRow, std::size_t endRow,
                           std::span<std::uint16_t* const> out) const;
    // The first-layer output of every agreement class.
    std::vector<double> FirstLayerOutputs() const;
    // Recognize from first-layer classes that FirstLayerClasses gave (M of them).
    // counts: its units per class, where the caller has them.
    std::int32_t FromClasses(std::span<const std::uint16_t> firstLayer, TRecognitionScratch& s,
                             TPassRecorder* recorder,
                             std::span<const std::uint32_t> counts = {}) const;
    // Recognize under other constants (a replay of a recognition): the
    // recognition of a network that holds the same rows and runs with
    // settings' pass limit, epsilon and clip level. Throws
    // std::invalid_argument for settings of another size or a negative limit.
    std::int32_t RecognizeWith(std::span<const std::int32_t> input,
                               const TCompetitionSettings& settings, TRecognitionScratch& scratch,
                               TPassRecorder& recorder) const;
    // Scratch states kept with the network for the batches (so that large
    // arrays are not allocated afresh for every search). References stay
    // valid until the next call that adds one.
    TRecognitionScratch& ScratchFor(std::size_t worker);
    std::vector<std::uint16_t>& FirstLayerBuffer(std::size_t index);
    TWorkerCrew& Crew() { return pools_.Crew(); }

    // settings null: the network's own.
    std::int32_t RecognizeIn(std::span<const std::int32_t> input, TRecognitionScratch& s,
                             const TPassObserver& observer, bool keepState,
                             TPassRecorder* recorder = nullptr,
                             const TCompetitionSettings* settings = nullptr) const;

    double Bias_ = 0.0;
    double MaxOutput_ = 100.0;
    double Epsilon_ = 0.0;
    double epsilonFactor_ = 0.5;
    std::int32_t InputCount_ = 0;
    std::int32_t PatternCount_ = 0;
    TPatternWeights Weights_;
    std::vector<double> Similarity_;
    std::vector<double> Activity_;
    TZeroPages zeros_; // what Similarity and Activity read before they are written
    std::int32_t MaxIterations_ = 50;
    TCompetitionPath path_ = TCompetitionPath::Auto;
    TFirstLayerKernel firstLayerKernel_ = TFirstLayerKernel::Auto;
    TSweepKernel sweepKernel_ = TSweepKernel::Auto;
    TRecognitionScratch scratch_; // of Recognize
    TRecognitionPools pools_;     // of the batches that bring none
};

} // namespace verblinka
