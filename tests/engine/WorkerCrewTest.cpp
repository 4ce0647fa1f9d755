// The threads a pool keeps for its batches: every index of every run once,
// the first on the caller's thread, run after run; a held crew copied and
// moved with its holder.
#include "engine/detail/WorkerCrew.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace verblinka {
namespace {

TEST(WorkerCrewTest, EveryIndexRunsOnceRunAfterRun) {
    TWorkerCrew crew;
    auto check = [](TWorkerCrew& on, unsigned count, const std::string& what) {
        std::vector<std::atomic<int>> runs(64);
        std::thread::id first;
        on.Run(count, [&](unsigned t) {
            runs[t].fetch_add(1);
            if (t == 0) {
                first = std::this_thread::get_id();
            }
        });
        const unsigned expected = count == 0 ? 1 : std::min(count, 64u);
        for (unsigned t = 0; t < runs.size(); ++t) {
            EXPECT_EQ(runs[t].load(), t < expected ? 1 : 0) << what << ", index " << t;
        }
        EXPECT_EQ(first, std::this_thread::get_id()) << what;
    };
    for (const unsigned count : {0u, 1u, 2u, 5u, 3u, 64u, 70u, 2u}) {
        check(crew, count, "count " + std::to_string(count));
    }
    // Runs that follow at once, so that a wake-up lost between two of them
    // would hang here.
    std::atomic<long> total{0};
    for (int run = 0; run < 2000; ++run) {
        crew.Run(2 + run % 3, [&](unsigned t) { total.fetch_add(t + 1); });
    }
    EXPECT_EQ(total.load(), 2000 / 3 * (3 + 6 + 10) + 3 + 6);
    // A copied slot starts a crew of its own; a moved one takes its crew along.
    TCrewSlot slot;
    TWorkerCrew* const held = &slot.Get();
    check(*held, 3, "held");
    TCrewSlot copy = slot;
    EXPECT_NE(&copy.Get(), held);
    check(copy.Get(), 4, "copied");
    copy = slot;
    check(copy.Get(), 2, "assigned");
    TCrewSlot moved = std::move(slot);
    EXPECT_EQ(&moved.Get(), held);
}

} // namespace
} // namespace verblinka
