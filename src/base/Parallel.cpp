#include "base/Parallel.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace lumora {

namespace {
thread_local bool t_serial = false;

/// The threads that share a calling thread's bands: started on its first parallel call, so
/// that they inherit its priority then, kept for its later calls (a thread per call would be
/// created, faulted in and torn down for every band of a photo), and ended with it.
class BandHelpers {
public:
    explicit BandHelpers(int count) : m_slots(size_t(count))
    {
        m_threads.reserve(size_t(count));
        for (size_t i = 0; i < m_slots.size(); ++i)
            m_threads.emplace_back([this, i] { serve(m_slots[i]); });
    }

    ~BandHelpers()
    {
        {
            const std::scoped_lock lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    BandHelpers(const BandHelpers&) = delete;
    BandHelpers& operator=(const BandHelpers&) = delete;

    /// Whether a call is running on them: a band that splits its own work again runs it itself.
    [[nodiscard]] bool busy() const { return m_busy; }

    /// Runs `work` on the `bands` bands of [0, count), each taken by whichever of the caller and
    /// its helpers is free first; returns when all are done.
    void run(int count, int bands, const std::function<void(int, int)>& work)
    {
        std::atomic<int> next{0};
        const std::function<void()> takeBands = [&] {
            for (int band = next.fetch_add(1); band < bands; band = next.fetch_add(1))
                work(int(qint64(count) * band / bands), int(qint64(count) * (band + 1) / bands));
        };
        const int helping = std::min(count_(), bands - 1);
        m_busy = true;
        {
            const std::scoped_lock lock(m_mutex);
            for (int i = 0; i < helping; ++i)
                m_slots[size_t(i)] = &takeBands;
            m_pending = helping;
        }
        m_wake.notify_all();
        // However the caller's bands end, the helpers finish theirs before `work` may go.
        const auto waitForHelpers = [this] {
            std::unique_lock lock(m_mutex);
            m_done.wait(lock, [&] { return m_pending == 0; });
            m_busy = false;
        };
        try {
            takeBands();
        } catch (...) {
            next = bands; // the helpers take no further band
            waitForHelpers();
            throw;
        }
        waitForHelpers();
    }

private:
    using Slot = const std::function<void()>*;

    [[nodiscard]] int count_() const { return int(m_slots.size()); }

    void serve(Slot& slot)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || slot; });
            if (!slot)
                return; // stopping, nothing left to do
            const Slot task = std::exchange(slot, nullptr);
            lock.unlock();
            (*task)();
            lock.lock();
            if (--m_pending == 0)
                m_done.notify_one();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::vector<Slot> m_slots;
    int m_pending = 0;
    bool m_stopping = false;
    bool m_busy = false; // only the owning thread reads and writes it
    std::vector<std::thread> m_threads;
};

/// This thread's helpers, one per further core.
BandHelpers& helpers(int cores)
{
    thread_local BandHelpers own(cores - 1);
    return own;
}
} // namespace

SerialBands::SerialBands() : m_was(std::exchange(t_serial, true))
{
}

SerialBands::~SerialBands()
{
    t_serial = m_was;
}

void parallelBands(int count, int minBand, const std::function<void(int, int)>& work, int bandsPerCore)
{
    if (count <= 0)
        return;
    if (t_serial) {
        work(0, count);
        return;
    }
    // Asked once: the system reads a file for it each time.
    static const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    const int bands = std::clamp(count / std::max(minBand, 1), 1, cores * std::max(bandsPerCore, 1));
    if (bands == 1) {
        work(0, count);
        return;
    }
    BandHelpers& own = helpers(cores);
    if (own.busy()) {
        work(0, count);
        return;
    }
    own.run(count, bands, work);
}

void lowerThreadPriority(int steps)
{
    const auto thread = id_t(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        setpriority(PRIO_PROCESS, thread, std::min(nice + steps, 19));
}

} // namespace lumora
