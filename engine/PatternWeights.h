// The network's Weights: rows of stored pattern values. While every stored
// value is -1, 0 or +1 (word codes always are) a row is held as two bit masks,
// which of its values are non-zero and which of those are negative: 48 bytes
// per row of 160 instead of 1,280. Storing any other value converts the whole
// table to rows of doubles, so every value reads back as stored either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace verblinka {

class TPatternWeights {
public:
    // Gives the table exactly rows x columns values; values inside both the
    // old and the new bounds are kept, every new one is 0.
    void Resize(std::size_t rows, std::size_t columns);

    // Row `row` becomes pattern (at least columns values, the first columns used).
    void StoreRow(std::size_t row, std::span<const std::int32_t> pattern);

    // Row `row` becomes the ternary pattern that masks stand for (the compact
    // layout's WordsFor(columns) words of the non-zero mask, then as many of
    // the negative one; bits past the last column are ignored).
    void StoreRowMasks(std::size_t row, std::span<const std::uint64_t> masks);

    double At(std::size_t row, std::size_t column) const;

    std::size_t Rows() const { return rows_; }
    std::size_t Columns() const { return columns_; }

    // True while rows are held as masks.
    bool IsCompact() const { return compact_; }

    // Compact layout: each row is WordsPerMask() words of the non-zero mask,
    // then as many of the sign mask; bit c of word c / 64 is column c.
    std::size_t WordsPerMask() const { return words_; }
    const std::uint64_t* MasksOf(std::size_t row) const { return masks_.data() + row * 2 * words_; }

    // Row values as doubles, whatever the layout (out holds Columns() values).
    void CopyRow(std::size_t row, std::span<double> out) const;

    // Bytes held for the values.
    std::size_t MemoryBytes() const {
        return masks_.capacity() * sizeof(std::uint64_t) + values_.capacity() * sizeof(double);
    }

private:
    void ConvertToDoubles();

    std::size_t rows_ = 0;
    std::size_t columns_ = 0;
    bool compact_ = true;
    std::size_t words_ = 0;
    std::vector<std::uint64_t> masks_;    // compact layout
    std::vector<double> values_;          // double layout, row after row
    std::vector<std::uint64_t> rowMasks_; // one row's masks while they are formed
};

} // namespace verblinka
