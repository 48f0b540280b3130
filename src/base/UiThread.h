#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <utility>

class QThreadPool;

namespace lumora {

/// The pool every piece of our background work runs on. It is not Qt's global pool: Qt's own
/// smooth image scaling splits large images over that one, and a UI thread scaling an image
/// must never wait behind our long jobs. Two threads at the least. Thread-safe.
[[nodiscard]] QThreadPool& workPool();

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
    explicit UiChannel(QObject* context) : m_guard(context), m_receiver(receiver()) {}

    /// Queues `fn` on the UI thread; dropped when the context is gone by then.
    template <typename Fn>
    void post(Fn fn) const
    {
        QMetaObject::invokeMethod(
            m_receiver,
            [guard = m_guard, fn = std::move(fn)]() mutable {
                if (guard)
                    fn();
            },
            Qt::QueuedConnection);
    }

private:
    /// The receiver of every posted call; never deleted, so a worker may post to it after
    /// every context is gone.
    static QObject* receiver();

    QPointer<QObject> m_guard; // dereferenced only on the UI thread, inside posted calls
    QObject* m_receiver;
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

namespace detail {
void startOnWorkPool(std::function<void()> work);
}

template <typename Work>
void startInBackground(Work work)
{
    // std::function needs a copyable callable; the shared holder keeps move-only captures.
    auto holder = std::make_shared<Work>(std::move(work));
    detail::startOnWorkPool([holder] { (*holder)(); });
}

} // namespace lumora
