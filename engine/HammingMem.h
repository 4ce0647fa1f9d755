// THammingNet: a two-layer Hamming network used as an associative memory.
// The first layer measures how many positions of the input agree with each
// stored pattern; the second is a competitive layer whose units inhibit one
// another until one leader remains or the pass limit is reached.
#pragma once

#include "engine/Competition.h"
#include "engine/PatternWeights.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace verblinka {

class THammingNet {
public:
    // Called by Recognize after the first layer (pass 0, with Similarity) and
    // after every competition pass (pass 1, 2, ..., with Activity).
    using PassObserver = std::function<void(std::int32_t pass, std::span<const double> values)>;

    THammingNet() = default;

    void SetInputCount(std::int32_t n);
    void SetPatternCount(std::int32_t m);
    void SetMaxIterations(std::int32_t passes) { MaxIterations_ = passes; }

    // Copies pattern (InputCount elements) into row `row` and refreshes Bias
    // and Epsilon.
    void StorePattern(std::span<const std::int32_t> pattern, std::int32_t row);

    // Stores in row `row` the pattern of -1, 0 and +1 that masks stand for
    // (TPatternWeights' compact layout: the non-zero mask, then the negative
    // one): the same as StorePattern of that pattern, without spelling it out.
    void StorePatternMasks(std::span<const std::uint64_t> masks, std::int32_t row);

    // Returns the row of the stored pattern that wins the competition for input.
    std::int32_t Recognize(std::span<const std::int32_t> input,
                           const PassObserver& observer = nullptr);

    // In reference mode Recognize takes the literal paths only: the first
    // layer as multiply-adds over doubles and every competition pass as
    // M * (M - 1) additions. The fast paths give the same values bit for bit;
    // this mode is there to prove it and to measure the difference.
    void SetReferenceMode(bool on) { ReferenceMode_ = on; }
    bool ReferenceMode() const { return ReferenceMode_; }

    double Bias() const { return Bias_; }
    double MaxOutput() const { return MaxOutput_; }
    double Epsilon() const { return Epsilon_; }
    std::int32_t InputCount() const { return InputCount_; }
    std::int32_t PatternCount() const { return PatternCount_; }
    std::int32_t MaxIterations() const { return MaxIterations_; }
    double Weight(std::int32_t row, std::int32_t column) const;
    const TPatternWeights& Weights() const { return Weights_; }
    std::span<const double> Similarity() const { return Similarity_; }
    std::span<const double> Activity() const { return Activity_; }

    double Activation(double x) const;
    bool IsStable() const;

private:
    void Resize();
    void FirstLayer(std::span<const std::int32_t> input);
    bool FirstLayerOnMasks(std::span<const std::int32_t> input);
    void CompetitionPass();

    double Bias_ = 0.0;
    double MaxOutput_ = 100.0;
    double Epsilon_ = 0.0;
    std::int32_t InputCount_ = 0;
    std::int32_t PatternCount_ = 0;
    TPatternWeights Weights_;
    std::vector<double> Similarity_;
    std::vector<double> Activity_;
    std::int32_t MaxIterations_ = 50;
    bool ReferenceMode_ = false;
    TFastCompetition Fast_;          // scratch space of the fast pass
    std::vector<double> RowScratch_; // one row as doubles, for the literal first layer
    std::vector<std::uint64_t> InputMasks_;
};

} // namespace verblinka
