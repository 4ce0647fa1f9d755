// Threads kept between the batches of one pool, so that a batch's parallel
// steps do not each start and join threads of their own (tens of
// microseconds each, against searches of a few milliseconds).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace verblinka {

class TWorkerCrew {
public:
    TWorkerCrew() = default;
    // A copy (or a moved-to crew) starts without threads: a crew's threads
    // belong to the object they wait in.
    TWorkerCrew(const TWorkerCrew& /*other*/) : TWorkerCrew() {}
    TWorkerCrew& operator=(const TWorkerCrew& /*other*/) { return *this; }
    ~TWorkerCrew();

    // body(t) for t = 0 ... count - 1, t = 0 on the calling thread, the others
    // on the crew's (started as first needed, at most 63); returns once every
    // one has. body must not throw. One Run at a time per crew.
    void Run(unsigned count, const std::function<void(unsigned)>& body);

private:
    void Work(unsigned index);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    std::uint64_t generation_ = 0; // grows with every Run that wakes the crew
    unsigned wanted_ = 0;          // the current Run's count
    unsigned finished_ = 0;        // of its crew threads
    bool stopping_ = false;
    std::vector<std::jthread> threads_; // last: joined before the rest goes
};

} // namespace verblinka
