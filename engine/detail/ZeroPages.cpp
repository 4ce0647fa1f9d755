#include "engine/detail/ZeroPages.h"

#include <sys/mman.h>

#include <new>
#include <utility>

namespace verblinka {
namespace {

// Where no mapping is needed (no rows), a valid pointer all the same.
constexpr double kNoValues[1] = {0.0};

} // namespace

TZeroPages::TZeroPages(std::size_t count) : data_(kNoValues), count_(count) {
    if (count == 0) {
        return;
    }
    if (count > static_cast<std::size_t>(-1) / sizeof(double)) {
        throw std::bad_alloc();
    }
    // An anonymous private mapping reads as zeros and is backed by the one
    // shared zero page until written; it is never written. It takes no file,
    // so its descriptor is -1, as mmap asks.
    constexpr int kFlags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    // cppcheck-suppress invalidFunctionArg
    void* mapping = ::mmap(nullptr, count * sizeof(double), PROT_READ, kFlags, -1, 0);
    if (mapping == MAP_FAILED) {
        throw std::bad_alloc();
    }
    data_ = static_cast<const double*>(mapping);
    bytes_ = count * sizeof(double);
}

TZeroPages::TZeroPages(TZeroPages&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)),
      bytes_(std::exchange(other.bytes_, 0)) {}

TZeroPages& TZeroPages::operator=(TZeroPages other) noexcept {
    std::swap(data_, other.data_);
    std::swap(count_, other.count_);
    std::swap(bytes_, other.bytes_);
    return *this;
}

TZeroPages::~TZeroPages() {
    if (bytes_ != 0) {
        ::munmap(const_cast<double*>(data_), bytes_);
    }
}

} // namespace verblinka
