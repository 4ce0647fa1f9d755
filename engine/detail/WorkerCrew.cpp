#include "engine/detail/WorkerCrew.h"

#include <algorithm>

namespace verblinka {

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
        finished_ = 0;
        ++generation_;
    }
    wake_.notify_all();
    body(0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return finished_ + 1 == wanted_; });
    job_ = nullptr;
}

void TWorkerCrew::Work(unsigned index) {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) {
            return;
        }
        seen = generation_;
        if (index >= wanted_) {
            continue;
        }
        const std::function<void(unsigned)>* job = job_;
        lock.unlock();
        (*job)(index);
        lock.lock();
        if (++finished_ + 1 == wanted_) {
            done_.notify_one();
        }
    }
}

} // namespace verblinka
