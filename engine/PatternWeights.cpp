#include "engine/PatternWeights.h"

#include "engine/CheckedMath.h"

#include <algorithm>
#include <stdexcept>

namespace verblinka {
namespace {

constexpr std::size_t kBitsPerWord = 64;

std::size_t WordsFor(std::size_t columns) {
    return (columns + kBitsPerWord - 1) / kBitsPerWord;
}

bool IsTernary(std::int32_t value) {
    return value >= -1 && value <= 1;
}

// Value of column in a row of masks.
double MaskValue(const std::uint64_t* masks, std::size_t words, std::size_t column) {
    const std::uint64_t bit = std::uint64_t{1} << (column % kBitsPerWord);
    const std::size_t word = column / kBitsPerWord;
    if ((masks[word] & bit) == 0) {
        return 0.0;
    }
    return (masks[words + word] & bit) != 0 ? -1.0 : 1.0;
}

} // namespace

void TPatternWeights::Resize(std::size_t rows, std::size_t columns) {
    if (compact_) {
        const std::size_t words = WordsFor(columns);
        const std::size_t total = CheckedMul(CheckedMul(rows, words), std::size_t{2});
        if (columns == columns_) {
            masks_.resize(total, 0);
        } else {
            // Row length changes: lay the kept bits out again, dropping
            // columns past the new end.
            std::vector<std::uint64_t> resized(total, 0);
            const std::size_t keptRows = std::min(rows, rows_);
            const std::size_t keptColumns = std::min(columns, columns_);
            for (std::size_t i = 0; i < keptRows; ++i) {
                const std::uint64_t* from = MasksOf(i);
                std::uint64_t* to = resized.data() + i * 2 * words;
                for (std::size_t w = 0; w * kBitsPerWord < keptColumns; ++w) {
                    const std::size_t left = keptColumns - w * kBitsPerWord;
                    const std::uint64_t keep =
                        left >= kBitsPerWord ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
                    to[w] = from[w] & keep;
                    to[words + w] = from[words_ + w] & keep;
                }
            }
            masks_.swap(resized);
        }
        words_ = words;
    } else {
        const std::size_t total = CheckedMul(rows, columns);
        if (columns == columns_) {
            values_.resize(total, 0.0);
        } else {
            std::vector<double> resized(total, 0.0);
            const std::size_t keptRows = std::min(rows, rows_);
            const std::size_t keptColumns = std::min(columns, columns_);
            for (std::size_t i = 0; i < keptRows; ++i) {
                std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(i * columns_),
                            keptColumns,
                            resized.begin() + static_cast<std::ptrdiff_t>(i * columns));
            }
            values_.swap(resized);
        }
    }
    rows_ = rows;
    columns_ = columns;
}

void TPatternWeights::ConvertToDoubles() {
    std::vector<double> values(CheckedMul(rows_, columns_));
    for (std::size_t i = 0; i < rows_; ++i) {
        CopyRow(i, std::span<double>(values).subspan(i * columns_, columns_));
    }
    values_.swap(values);
    std::vector<std::uint64_t>().swap(masks_);
    compact_ = false;
    words_ = 0;
}

void TPatternWeights::StoreRow(std::size_t row, std::span<const std::int32_t> pattern) {
    if (row >= rows_) {
        throw std::out_of_range("Pattern row out of range");
    }
    if (pattern.size() < columns_) {
        throw std::invalid_argument("Pattern shorter than the network's input");
    }
    pattern = pattern.first(columns_);
    if (compact_) {
        // Masks 64 columns at a time, checking on the way that they fit; the
        // row itself changes only once they all do.
        rowMasks_.resize(2 * words_);
        std::uint64_t* masks = rowMasks_.data();
        bool ternary = true;
        for (std::size_t word = 0; word < words_ && ternary; ++word) {
            const std::size_t first = word * kBitsPerWord;
            const std::size_t count = std::min(kBitsPerWord, columns_ - first);
            std::uint64_t nonZero = 0;
            std::uint64_t negative = 0;
            for (std::size_t bit = 0; bit < count; ++bit) {
                const std::int32_t value = pattern[first + bit];
                ternary &= IsTernary(value);
                nonZero |= static_cast<std::uint64_t>(value != 0) << bit;
                negative |= static_cast<std::uint64_t>(value < 0) << bit;
            }
            masks[word] = nonZero;
            masks[words_ + word] = negative;
        }
        if (ternary) {
            std::copy(rowMasks_.begin(), rowMasks_.end(),
                      masks_.begin() + static_cast<std::ptrdiff_t>(row * 2 * words_));
            return;
        }
        ConvertToDoubles(); // builds the new table aside: on failure nothing changed
    }
    std::transform(pattern.begin(), pattern.end(),
                   values_.begin() + static_cast<std::ptrdiff_t>(row * columns_),
                   [](std::int32_t value) { return static_cast<double>(value); });
}

void TPatternWeights::StoreRowMasks(std::size_t row, std::span<const std::uint64_t> masks) {
    if (row >= rows_) {
        throw std::out_of_range("Pattern row out of range");
    }
    const std::size_t words = WordsFor(columns_);
    if (masks.size() < 2 * words) {
        throw std::invalid_argument("Pattern shorter than the network's input");
    }
    if (!compact_) {
        for (std::size_t column = 0; column < columns_; ++column) {
            values_[row * columns_ + column] = MaskValue(masks.data(), words, column);
        }
        return;
    }
    std::uint64_t* to = masks_.data() + row * 2 * words;
    for (std::size_t w = 0; w < words; ++w) {
        const std::size_t left = columns_ - w * kBitsPerWord;
        const std::uint64_t keep =
            left >= kBitsPerWord ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        to[w] = masks[w] & keep;
        to[words + w] = masks[words + w] & masks[w] & keep;
    }
}

double TPatternWeights::At(std::size_t row, std::size_t column) const {
    if (row >= rows_ || column >= columns_) {
        throw std::out_of_range("Weight index out of range");
    }
    return compact_ ? MaskValue(MasksOf(row), words_, column) : values_[row * columns_ + column];
}

void TPatternWeights::CopyRow(std::size_t row, std::span<double> out) const {
    if (!compact_) {
        std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(row * columns_), columns_,
                    out.begin());
        return;
    }
    const std::uint64_t* masks = MasksOf(row);
    for (std::size_t column = 0; column < columns_; ++column) {
        out[column] = MaskValue(masks, words_, column);
    }
}

} // namespace verblinka
