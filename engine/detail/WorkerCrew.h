// Threads kept between the batches of one pool, so that a batch's parallel
// steps do not each start and join threads of their own (tens of
// microseconds each, against searches of a few milliseconds). Waking a thread
// that sleeps costs tens of microseconds too, so each side spins a little
// before it sleeps: a crew thread after its part (for the next step, which a
// search starts within microseconds), the caller for the crew's parts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace verblinka {

class TWorkerCrew {
public:
    TWorkerCrew() = default;
    // Its threads wait in the object itself.
    TWorkerCrew(const TWorkerCrew&) = delete;
    TWorkerCrew& operator=(const TWorkerCrew&) = delete;
    TWorkerCrew(TWorkerCrew&&) = delete;
    TWorkerCrew& operator=(TWorkerCrew&&) = delete;
    ~TWorkerCrew();

    // body(t) for t = 0 ... count - 1, t = 0 on the calling thread, the others
    // on the crew's (started as first needed, at most 63); returns once every
    // one has. body must not throw. One Run at a time per crew.
    void Run(unsigned count, const std::function<void(unsigned)>& body);

private:
    void Work(unsigned index);

    std::mutex mutex_; // written under it: job_, wanted_, generation_, finished_, stopping_
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    unsigned wanted_ = 0; // the current Run's count
    // Read without the mutex while spinning.
    std::atomic<std::uint64_t> generation_{0}; // grows with every Run that wakes the crew
    std::atomic<unsigned> finished_{0};        // of the current Run's crew threads
    std::atomic<bool> stopping_{false};
    std::vector<std::jthread> threads_; // last: joined before the rest goes
};

// A crew where its holder is copied and moved with what holds it (a pool of
// a network): a copy starts without threads, a move takes them along.
class TCrewSlot {
public:
    TCrewSlot() = default;
    TCrewSlot(const TCrewSlot& /*other*/) : crew_(nullptr) {}
    TCrewSlot& operator=(const TCrewSlot& other) {
        if (this != &other) {
            crew_ = nullptr;
        }
        return *this;
    }
    TCrewSlot(TCrewSlot&&) noexcept = default;
    TCrewSlot& operator=(TCrewSlot&&) noexcept = default;
    ~TCrewSlot() = default;

    TWorkerCrew& Get() {
        if (crew_ == nullptr) {
            crew_ = std::make_unique<TWorkerCrew>();
        }
        return *crew_;
    }

private:
    std::unique_ptr<TWorkerCrew> crew_;
};

} // namespace verblinka
