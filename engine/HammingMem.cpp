#include "engine/HammingMem.h"

#include "engine/CheckedMath.h"
#include "engine/Precision.h"

#include <algorithm>
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

} // namespace

void THammingNet::SetInputCount(std::int32_t n) {
    RequireNonNegative(n);
    const std::int32_t old = InputCount_;
    InputCount_ = n;
    Resize(old);
}

void THammingNet::SetPatternCount(std::int32_t m) {
    RequireNonNegative(m);
    PatternCount_ = m;
    Resize(InputCount_);
}

void THammingNet::Resize(std::int32_t oldInputCount) {
    const std::size_t rows = ToSize(PatternCount_);
    const std::size_t columns = ToSize(InputCount_);
    const std::size_t total = CheckedMul(rows, columns);
    if (oldInputCount == InputCount_) {
        Weights_.resize(total, 0.0);
    } else {
        // Row length changes: lay the kept values out again.
        std::vector<double> resized(total, 0.0);
        const std::size_t oldColumns = ToSize(oldInputCount);
        const std::size_t keptRows =
            oldColumns == 0 ? 0 : std::min(rows, Weights_.size() / oldColumns);
        const std::size_t keptColumns = std::min(columns, oldColumns);
        for (std::size_t i = 0; i < keptRows; ++i) {
            std::copy_n(Weights_.begin() + static_cast<std::ptrdiff_t>(i * oldColumns), keptColumns,
                        resized.begin() + static_cast<std::ptrdiff_t>(i * columns));
        }
        Weights_.swap(resized);
    }
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
    const std::size_t base = ToSize(row) * ToSize(InputCount_);
    for (std::size_t j = 0; j < ToSize(InputCount_); ++j) {
        Weights_[base + j] = static_cast<double>(pattern[j]);
    }
    Bias_ = static_cast<double>(InputCount_);
    Epsilon_ = precision::InhibitionWeight(PatternCount_);
}

double THammingNet::Weight(std::int32_t row, std::int32_t column) const {
    return Weights_.at(ToSize(row) * ToSize(InputCount_) + ToSize(column));
}

double THammingNet::Activation(double x) const {
    if (x > MaxOutput_) {
        return MaxOutput_;
    }
    return x >= 0.0 ? x : 0.0;
}

bool THammingNet::IsStable() const {
    for (std::size_t i = 0; i < Activity_.size(); ++i) {
        if (Activity_[i] != Similarity_[i]) {
            return false;
        }
    }
    return true;
}

void THammingNet::FirstLayer(std::span<const std::int32_t> input) {
    const std::size_t columns = ToSize(InputCount_);
    for (std::size_t i = 0; i < ToSize(PatternCount_); ++i) {
        const double* weights = Weights_.data() + i * columns;
        double sum = 0.0;
        for (std::size_t j = 0; j < columns; ++j) {
            sum = precision::MultiplyAddStep(sum, input[j], weights[j]);
        }
        Similarity_[i] = precision::HalfSumWithBias(sum, Bias_);
    }
}

// The literal pass: each unit's inhibition sum is accumulated afresh over the
// other units in ascending order. Total-minus-own rounds differently.
void THammingNet::CompetitionPass() {
    const std::size_t units = ToSize(PatternCount_);
    for (std::size_t j = 0; j < units; ++j) {
        double sum = 0.0;
        for (std::size_t k = 0; k < units; ++k) {
            if (k != j) {
                sum = precision::AddStep(sum, Similarity_[k]);
            }
        }
        Activity_[j] = Activation(precision::Inhibit(Similarity_[j], sum, Epsilon_));
    }
}

std::int32_t THammingNet::CopyActivityAndFindLeader() {
    std::copy(Activity_.begin(), Activity_.end(), Similarity_.begin());
    std::size_t winner = 0;
    double best = Activity_[0];
    for (std::size_t i = 0; i < Activity_.size(); ++i) {
        if (Activity_[i] > best) {
            best = Activity_[i];
            winner = i;
        }
    }
    return static_cast<std::int32_t>(winner);
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
        if (IsStable()) {
            return winner;
        }
        winner = CopyActivityAndFindLeader();
        if (pass > MaxIterations_) {
            return winner;
        }
        pass = CheckedAdd(pass, 1);
    }
}

} // namespace verblinka
