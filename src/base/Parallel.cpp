#include "base/Parallel.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
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

    [[nodiscard]] int count() const { return int(m_slots.size()); }
    /// Whether a call is running on them: a band that splits its own work again runs it itself.
    [[nodiscard]] bool busy() const { return m_busy; }

    /// Runs `work` on `bands` − 1 helpers, band i on helper i, and the last band on the caller.
    void run(int count, int bands, const std::function<void(int, int)>& work)
    {
        const auto bandBegin = [&](int band) { return int(qint64(count) * band / bands); };
        m_busy = true;
        {
            const std::scoped_lock lock(m_mutex);
            for (int band = 0; band + 1 < bands; ++band)
                m_slots[size_t(band)] = Slot{&work, bandBegin(band), bandBegin(band + 1)};
            m_pending = bands - 1;
        }
        m_wake.notify_all();
        // However the caller's band ends, the helpers finish theirs before `work` may go.
        const auto waitForHelpers = [this] {
            std::unique_lock lock(m_mutex);
            m_done.wait(lock, [&] { return m_pending == 0; });
            m_busy = false;
        };
        try {
            work(bandBegin(bands - 1), count);
        } catch (...) {
            waitForHelpers();
            throw;
        }
        waitForHelpers();
    }

private:
    struct Slot {
        const std::function<void(int, int)>* work = nullptr;
        int begin = 0, end = 0;
    };

    void serve(Slot& slot)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || slot.work; });
            if (!slot.work)
                return; // stopping, nothing left to do
            const Slot band = std::exchange(slot, Slot{});
            lock.unlock();
            (*band.work)(band.begin, band.end);
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

void parallelBands(int count, int minBand, const std::function<void(int, int)>& work)
{
    if (count <= 0)
        return;
    if (t_serial) {
        work(0, count);
        return;
    }
    // Asked once: the system reads a file for it each time.
    static const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    const int bands = std::clamp(count / std::max(minBand, 1), 1, cores);
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
