#include "engine/detail/WorkerCrew.h"

#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace verblinka {
namespace {

// How long a crew thread spins for the next step, and the caller for the
// crew's parts, before either sleeps.
constexpr std::chrono::microseconds kIdleSpin{200};
constexpr std::chrono::microseconds kJoinSpin{1000};

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Whether done() held within limit, asked between short pauses. Each round
// of pauses ends in a yield, so that a spinning thread gives its core to any
// other that is ready (more threads than cores: another search, the tests
// run side by side) instead of holding it from the work it waits for.
template <typename Done> bool SpinUntil(std::chrono::microseconds limit, Done&& done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done()) {
                return true;
            }
            Relax();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        std::this_thread::yield();
    }
}

} // namespace

TWorkerCrew::~TWorkerCrew() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

void TWorkerCrew::Run(unsigned count, const std::function<void(unsigned)>& body) {
    count = std::min(count, 64u);
    if (count <= 1) {
        body(0);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        while (threads_.size() + 1 < count) {
            const auto index = static_cast<unsigned>(threads_.size() + 1);
            threads_.emplace_back([this, index] { Work(index); });
        }
        job_ = &body;
        wanted_ = count;
        finished_.store(0);
        generation_.fetch_add(1);
    }
    wake_.notify_all();
    body(0);
    auto allDone = [&] { return finished_.load() + 1 == count; };
    if (!SpinUntil(kJoinSpin, allDone)) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, allDone);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    job_ = nullptr;
}

void TWorkerCrew::Work(unsigned index) {
    std::uint64_t seen = 0;
    for (;;) {
        SpinUntil(kIdleSpin, [&] { return stopping_.load() || generation_.load() != seen; });
        const std::function<void(unsigned)>* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_.load() || generation_.load() != seen; });
            if (stopping_) {
                return;
            }
            seen = generation_.load();
            if (index >= wanted_) {
                continue;
            }
            job = job_;
        }
        (*job)(index);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (finished_.fetch_add(1) + 2 == wanted_) {
            done_.notify_one();
        }
    }
}

} // namespace verblinka
