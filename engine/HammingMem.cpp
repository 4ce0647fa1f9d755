#include "engine/HammingMem.h"

#include "engine/CheckedMath.h"
#include "engine/Precision.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <stdexcept>

namespace verblinka {
namespace {

std::size_t ToSize(std::int32_t value) {
    return static_cast<std::size_t>(value);
}

void RequireNonNegative(std::int32_t count) {
    if (count < 0) {
        throw std::length_error("Negative network size");
    }
}

template <std::size_t Words>
inline void CountRows(const std::uint64_t* masks, std::size_t rows, std::size_t words,
                      const std::uint64_t* input, const double* outputByAgreement,
                      double* similarity) {
    const std::size_t n = Words == 0 ? words : Words;
    for (std::size_t i = 0; i < rows; ++i, masks += 2 * n) {
        std::int64_t both = 0;
        std::int64_t differ = 0;
        for (std::size_t w = 0; w < n; ++w) {
            const std::uint64_t nonZero = input[w] & masks[w];
            both += std::popcount(nonZero);
            differ += std::popcount(nonZero & (input[n + w] ^ masks[n + w]));
        }
        // The literal sum is (both - differ) agreements minus differ disagreements.
        similarity[i] = outputByAgreement[both - 2 * differ];
    }
}

// Baseline x86-64 has no population-count instruction: build the counting
// twice there, so that processors that have one use it. Elsewhere it is
// part of the baseline or the compiler's choice.
#if defined(__x86_64__) && defined(__GNUC__)
#define VERBLINKA_WITH_POPCOUNT __attribute__((target_clones("popcnt", "default")))
#else
#define VERBLINKA_WITH_POPCOUNT
#endif

// Every row's first-layer output from its masks and the input's.
VERBLINKA_WITH_POPCOUNT void CountAgreements(const std::uint64_t* masks, std::size_t rows,
                                             std::size_t words, const std::uint64_t* input,
                                             const double* outputByAgreement, double* similarity) {
    if (words == 3) { // 160 inputs, the word code's length
        CountRows<3>(masks, rows, words, input, outputByAgreement, similarity);
    } else {
        CountRows<0>(masks, rows, words, input, outputByAgreement, similarity);
    }
}

} // namespace

void THammingNet::SetInputCount(std::int32_t n) {
    RequireNonNegative(n);
    InputCount_ = n;
    Resize();
}

void THammingNet::SetPatternCount(std::int32_t m) {
    RequireNonNegative(m);
    PatternCount_ = m;
    Resize();
}

void THammingNet::Resize() {
    const std::size_t rows = ToSize(PatternCount_);
    Weights_.Resize(rows, ToSize(InputCount_));
    Similarity_.resize(rows, 0.0);
    Activity_.resize(rows, 0.0);
}

void THammingNet::StorePattern(std::span<const std::int32_t> pattern, std::int32_t row) {
    if (row < 0 || row >= PatternCount_) {
        throw std::out_of_range("Pattern row out of range");
    }
    if (pattern.size() < ToSize(InputCount_)) {
        throw std::invalid_argument("Pattern shorter than the network's input");
    }
    Weights_.StoreRow(ToSize(row), pattern);
    Bias_ = static_cast<double>(InputCount_);
    Epsilon_ = precision::InhibitionWeight(PatternCount_);
}

void THammingNet::StorePatternMasks(std::span<const std::uint64_t> masks, std::int32_t row) {
    if (row < 0 || row >= PatternCount_) {
        throw std::out_of_range("Pattern row out of range");
    }
    Weights_.StoreRowMasks(ToSize(row), masks);
    Bias_ = static_cast<double>(InputCount_);
    Epsilon_ = precision::InhibitionWeight(PatternCount_);
}

double THammingNet::Weight(std::int32_t row, std::int32_t column) const {
    if (row < 0 || column < 0) {
        throw std::out_of_range("Weight index out of range");
    }
    return Weights_.At(ToSize(row), ToSize(column));
}

double THammingNet::Activation(double x) const {
    return verblinka::Activation(x, MaxOutput_);
}

bool THammingNet::IsStable() const {
    for (std::size_t i = 0; i < Activity_.size(); ++i) {
        if (Activity_[i] != Similarity_[i]) {
            return false;
        }
    }
    return true;
}

// Where every weight and input is -1, 0 or +1, every product is too and every
// partial sum is a small integer, held exactly: the literal sum equals
// agreements minus disagreements over the positions where both are non-zero,
// which two masks and a population count give.
bool THammingNet::FirstLayerOnMasks(std::span<const std::int32_t> input) {
    const std::size_t columns = ToSize(InputCount_);
    if (!Weights_.IsCompact() ||
        !std::all_of(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(columns),
                     [](std::int32_t value) { return value >= -1 && value <= 1; })) {
        return false;
    }
    const std::size_t words = Weights_.WordsPerMask();
    InputMasks_.assign(2 * words, 0);
    for (std::size_t column = 0; column < columns; ++column) {
        const std::uint64_t bit = std::uint64_t{1} << (column % 64);
        if (input[column] != 0) {
            InputMasks_[column / 64] |= bit;
        }
        if (input[column] < 0) {
            InputMasks_[words + column / 64] |= bit;
        }
    }
    // Every possible sum -N ... N mapped to its output once.
    std::vector<double> outputs(2 * columns + 1);
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const auto sum =
            static_cast<double>(static_cast<std::int64_t>(k) - static_cast<std::int64_t>(columns));
        outputs[k] = precision::HalfSumWithBias(sum, Bias_);
    }
    CountAgreements(Weights_.MasksOf(0), ToSize(PatternCount_), words, InputMasks_.data(),
                    outputs.data() + columns, Similarity_.data());
    return true;
}

void THammingNet::FirstLayer(std::span<const std::int32_t> input) {
    if (!ReferenceMode_ && FirstLayerOnMasks(input)) {
        return;
    }
    const std::size_t columns = ToSize(InputCount_);
    RowScratch_.resize(columns);
    for (std::size_t i = 0; i < ToSize(PatternCount_); ++i) {
        Weights_.CopyRow(i, RowScratch_);
        double sum = 0.0;
        for (std::size_t j = 0; j < columns; ++j) {
            sum = precision::MultiplyAddStep(sum, input[j], RowScratch_[j]);
        }
        Similarity_[i] = precision::HalfSumWithBias(sum, Bias_);
    }
}

// The fast pass where its preconditions hold, the literal one otherwise.
void THammingNet::CompetitionPass() {
    if (!ReferenceMode_ && Fast_.Pass(Similarity_, Activity_, Epsilon_, MaxOutput_)) {
        return;
    }
    PlainCompetitionPass(Similarity_, Activity_, Epsilon_, MaxOutput_);
}

std::int32_t THammingNet::Recognize(std::span<const std::int32_t> input,
                                    const PassObserver& observer) {
    if (PatternCount_ == 0) {
        return 0;
    }
    if (input.size() < ToSize(InputCount_)) {
        throw std::invalid_argument("Input shorter than the network's input");
    }
    FirstLayer(input);
    if (observer) {
        observer(0, Similarity_);
    }
    std::int32_t winner = 0;
    std::int32_t pass = 0;
    for (;;) {
        CompetitionPass();
        if (observer) {
            observer(CheckedAdd(pass, 1), Activity_);
        }
        // One scan finds both whether the pass changed anything and the
        // leader (the first of the largest values).
        bool stable = true;
        std::size_t leader = 0;
        double best = Activity_[0];
        for (std::size_t i = 0; i < Activity_.size(); ++i) {
            const double value = Activity_[i];
            if (value != Similarity_[i]) {
                stable = false;
            }
            if (value > best) {
                best = value;
                leader = i;
            }
        }
        if (stable) {
            return winner;
        }
        // Activity becomes the next pass's Similarity. Swapping spares the
        // copy; the next pass overwrites every Activity value anyway.
        Similarity_.swap(Activity_);
        winner = static_cast<std::int32_t>(leader);
        if (pass > MaxIterations_) {
            std::copy(Similarity_.begin(), Similarity_.end(), Activity_.begin());
            return winner;
        }
        pass = CheckedAdd(pass, 1);
    }
}

} // namespace verblinka
