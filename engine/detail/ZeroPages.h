// A read-only run of zero doubles that costs address space but no memory:
// the network's Similarity and Activity read as M zeros until a recognition
// first writes them, without 16 MB per million rows committed for nothing.
#pragma once

#include <cstddef>
#include <span>

namespace verblinka {

class TZeroPages {
public:
    TZeroPages() = default;
    explicit TZeroPages(std::size_t count);
    TZeroPages(const TZeroPages& other) : TZeroPages(other.count_) {}
    TZeroPages(TZeroPages&& other) noexcept;
    TZeroPages& operator=(TZeroPages other) noexcept;
    ~TZeroPages();

    std::span<const double> View() const { return {data_, count_}; }

private:
    const double* data_ = nullptr;
    std::size_t count_ = 0;
    std::size_t bytes_ = 0; // of the mapping, 0 when there is none
};

} // namespace verblinka
