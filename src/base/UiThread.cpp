#include "base/UiThread.h"

#include "base/Parallel.h"

#include <QCoreApplication>
#include <algorithm>

namespace lumora {

namespace {
constexpr int kWorkerNice = 5; // how far work pool threads stand behind the UI thread
} // namespace

WorkPool::WorkPool(int threads)
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

WorkPool::~WorkPool()
{
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_jobs.empty() && m_running == 0; });
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkPool::start(std::function<void()> job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WorkPool::waitForDone()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && m_running == 0; });
}

void WorkPool::run()
{
    // Background work yields the cores to the UI thread: on a machine with two cores, workers
    // at the same priority would take the UI thread's time slices while it paints or handles a
    // key.
    lowerThreadPriority(kWorkerNice);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return; // stopping
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_running;
        }
        job();
        job = nullptr; // captures die on the worker, before the pool counts the job done
        {
            const std::lock_guard lock(m_mutex);
            --m_running;
        }
        m_idle.notify_all();
    }
}

WorkPool& workPool()
{
    // Never destroyed: a job may still run while the process exits.
    static WorkPool* const pool = new WorkPool(std::max(2, int(std::thread::hardware_concurrency())));
    return *pool;
}

namespace {

/// The receiver of every call for the UI thread. The calls wait in a queue of our own, under a
/// standard mutex, so the hand-over of their data is visible to a thread sanitizer; Qt only
/// carries the wake-up, which has no data.
class UiQueue : public QObject {
    Q_OBJECT
public:
    void push(std::function<void()> call)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
            wake = !m_wakePending;
            m_wakePending = true;
        }
        if (wake)
            QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }

    /// Runs the queued calls one at a time, in the order posted. A call may open a nested
    /// event loop (a modal alert): while calls wait behind it, a wake-up stays queued, so that
    /// loop goes on draining them, in order, instead of holding them until the alert closes.
    Q_INVOKABLE void drain()
    {
        for (;;) {
            std::function<void()> call;
            bool more = false;
            {
                const std::lock_guard lock(m_mutex);
                if (m_calls.empty()) {
                    m_wakePending = false;
                    return;
                }
                call = std::move(m_calls.front());
                m_calls.pop_front();
                more = !m_calls.empty();
                m_wakePending = more;
            }
            if (more)
                QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
            call();
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
    bool m_wakePending = false;
};

UiQueue& uiQueue()
{
    static UiQueue* const queue = [] {
        auto* created = new UiQueue; // never deleted: a worker may post after every window is gone
        if (QCoreApplication::instance())
            created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return *queue;
}

} // namespace

namespace detail {

void postToUiThread(std::function<void()> call)
{
    uiQueue().push(std::move(call));
}

} // namespace detail

UiChannel::UiChannel(QObject* context) : m_guard(context)
{
    // The receiver of the queue is made here, on the UI thread, before any worker holding this
    // channel can post: made by the first worker to post instead, it would be a QObject built
    // on that worker and read by the UI thread through Qt's event queue alone.
    uiQueue();
}

} // namespace lumora

#include "UiThread.moc"
