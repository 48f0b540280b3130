#include "base/Parallel.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace lumora;

namespace {

int ownNice()
{
    return getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
}

/// The threads that ran the bands of one call, and how often each item was done.
struct Call {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::set<int> nices;
    std::vector<std::atomic<int>> done;
    explicit Call(int count) : done(size_t(count)) {}
    void run(int count)
    {
        parallelBands(count, 1, [&](int begin, int end) {
            for (int i = begin; i < end; ++i)
                ++done[size_t(i)];
            // Long enough that no thread takes every band before the others wake.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const std::scoped_lock lock(mutex);
            threads.insert(std::this_thread::get_id());
            nices.insert(ownNice());
        });
    }
};

} // namespace

// Every item is done once, call after call, by the caller and the same helpers, which run at
// the priority the caller had when it first split work; a band that splits its own work again
// does all of it itself; and a thread that used helpers ends without waiting for anything.
TEST(ParallelBands, EveryItemOnceOnTheCallersHelpersAtItsPriority)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: every band runs on the caller";
    std::thread worker([] {
        lowerThreadPriority(3);
        const int nice = ownNice();
        std::set<std::thread::id> helpers;
        for (int round = 0; round < 50; ++round) {
            Call call(1000);
            call.run(1000);
            for (const auto& done : call.done)
                ASSERT_EQ(done.load(), 1);
            EXPECT_GE(call.threads.size(), 2u);
            EXPECT_EQ(call.nices, std::set<int>{nice});
            helpers.insert(call.threads.begin(), call.threads.end());
        }
        // The caller and its helpers, not a new thread per call.
        EXPECT_EQ(helpers.size(), size_t(std::min(16u, std::thread::hardware_concurrency())));

        std::vector<std::atomic<int>> nested(100 * 100);
        parallelBands(100, 1, [&](int begin, int end) {
            for (int outer = begin; outer < end; ++outer)
                parallelBands(100, 1, [&](int b, int e) {
                    for (int inner = b; inner < e; ++inner)
                        ++nested[size_t(outer * 100 + inner)];
                });
        });
        for (const auto& done : nested)
            ASSERT_EQ(done.load(), 1);
    });
    worker.join(); // its helpers end with it
}

// However the caller's own band ends, the helpers' bands have finished when the call returns:
// the work they run may be gone right after it.
TEST(ParallelBands, TheHelpersFinishBeforeAnExceptionOfTheCallersBandLeaves)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: every band runs on the caller";
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> helperStarted{false};
    std::atomic<int> helperBandsDone{0};
    EXPECT_THROW(parallelBands(2, 1,
                               [&](int, int) {
                                   if (std::this_thread::get_id() == caller) {
                                       for (int i = 0; i < 1000 && !helperStarted; ++i)
                                           std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                       throw std::runtime_error("band failed");
                                   }
                                   helperStarted = true;
                                   std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                   ++helperBandsDone;
                               }),
                 std::runtime_error);
    EXPECT_EQ(helperBandsDone.load(), 1);
    // And they take the next call as before.
    Call call(10);
    call.run(10);
    for (const auto& done : call.done)
        EXPECT_EQ(done.load(), 1);
}
