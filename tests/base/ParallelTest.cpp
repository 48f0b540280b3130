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

/// How often each item of one call was done.
struct Call {
    std::vector<std::atomic<int>> done;
    explicit Call(int count) : done(size_t(count)) {}
    void run(int count)
    {
        parallelBands(count, 1, [&](int begin, int end) {
            for (int i = begin; i < end; ++i)
                ++done[size_t(i)];
        });
    }
};

} // namespace

// Every item is done once, call after call, also where a band splits its own work again; the
// bands run at once on the caller and the same helper every time, at the priority the caller
// had when it first split work; and a thread that used helpers ends without waiting.
TEST(ParallelBands, EveryItemOnceOnTheCallersHelpersAtItsPriority)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: every band runs on the caller";
    std::thread worker([] {
        lowerThreadPriority(3);
        const int nice = ownNice();
        for (int round = 0; round < 50; ++round) {
            Call call(1000);
            call.run(1000);
            for (const auto& done : call.done)
                ASSERT_EQ(done.load(), 1);
        }

        // Each of two bands waits for the other to start: only two threads at once finish them.
        std::set<std::thread::id> threads;
        std::set<int> nices;
        for (int round = 0; round < 5; ++round) {
            std::atomic<int> started{0};
            std::mutex mutex;
            parallelBands(2, 1, [&](int, int) {
                ++started;
                for (int i = 0; i < 2000 && started < 2; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const std::scoped_lock lock(mutex);
                threads.insert(std::this_thread::get_id());
                nices.insert(ownNice());
            });
            ASSERT_EQ(started.load(), 2);
        }
        EXPECT_EQ(threads.size(), 2u) << "the caller and its one helper, not a new thread per call";
        EXPECT_EQ(nices, std::set<int>{nice});

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
