#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace lumora {

/// A fixed set of worker threads taking jobs in the order started. Built on the standard
/// library's mutex and condition variable (not Qt's pool), so a thread sanitizer sees every
/// hand-over of a job's data. Thread-safe.
class WorkPool {
public:
    explicit WorkPool(int threads);
    /// Waits for the jobs started so far, then ends the threads.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void start(std::function<void()> job);
    /// Blocks until every job started so far has finished (tests, shutdown).
    void waitForDone();
    [[nodiscard]] int maxThreadCount() const { return int(m_threads.size()); }

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    int m_running = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

/// The pool every piece of our background work runs on. It is not Qt's global pool: Qt's own
/// smooth image scaling splits large images over that one, and a UI thread scaling an image
/// must never wait behind our long jobs. Two threads at the least.
[[nodiscard]] WorkPool& workPool();

namespace detail {
/// Appends `call` to the one queue of calls for the UI thread, which runs them in order.
void postToUiThread(std::function<void()> call);
} // namespace detail

/// Starts `work` on workPool(). `work` gets value copies only; it reports back through a
/// UiChannel or a ProgressStream, never by touching an object of the UI thread.
template <typename Work>
void startInBackground(Work work);

/// The one way from a worker back to the UI thread. Calls go to one receiver that lives on
/// the application's thread for the whole run, and run only while `context` still exists
/// then; the worker never reads or touches `context`. Create it on the UI thread, copy it
/// into the work, post from any thread.
class UiChannel {
public:
    explicit UiChannel(QObject* context);

    /// Queues `fn` on the UI thread, after everything posted before it; dropped when the
    /// context is gone by then.
    template <typename Fn>
    void post(Fn fn) const
    {
        auto call = std::make_shared<Fn>(std::move(fn));
        detail::postToUiThread([guard = m_guard, call] {
            if (guard)
                (*call)();
        });
    }

private:
    QPointer<QObject> m_guard; // dereferenced only on the UI thread, inside posted calls
};

/// Runs `work` on workPool() and hands its result to `done` on the UI thread. When `context`
/// is destroyed first, `done` is never called. Call on the UI thread.
template <typename Work, typename Done>
void runInBackground(QObject* context, Work work, Done done)
{
    startInBackground([channel = UiChannel(context), work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        channel.post([done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
    });
}

/// Calls `fn` on `context`'s thread later (queued); dropped when the context is gone. Call on
/// the context's own thread (from a worker, use a UiChannel).
template <typename Fn>
void postTo(QObject* context, Fn fn)
{
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

template <typename Work>
void startInBackground(Work work)
{
    // std::function needs a copyable callable; the shared holder keeps move-only captures.
    auto holder = std::make_shared<Work>(std::move(work));
    workPool().start([holder] { (*holder)(); });
}

} // namespace lumora
