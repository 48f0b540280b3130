#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <utility>

namespace lumora {

/// A way for background work to hand calls to the thread of a context object (the UI
/// thread) without ever touching the context from the worker: calls go to a small receiver
/// that lives as long as anyone can still post, and run only while the context exists.
/// Create it on the context's thread; post from any thread.
class UiChannel {
public:
    explicit UiChannel(QObject* context)
        : m_guard(context), m_receiver(new QObject, [](QObject* receiver) { receiver->deleteLater(); })
    {
    }

    /// Queues `fn` on the context's thread; dropped when the context is gone by then.
    template <typename Fn>
    void post(Fn fn) const
    {
        QMetaObject::invokeMethod(
            m_receiver.get(),
            [guard = m_guard, fn = std::move(fn)]() mutable {
                if (guard)
                    fn();
            },
            Qt::QueuedConnection);
    }

private:
    QPointer<QObject> m_guard; // read only on the context's thread, inside posted calls
    std::shared_ptr<QObject> m_receiver;
};

/// Runs `work` on the thread pool and hands its result to `done` on `context`'s thread.
/// When `context` is destroyed first, `done` is never called. `work` gets no access to the
/// context: give it value copies. Call on the context's thread.
template <typename Work, typename Done>
void runInBackground(QObject* context, Work work, Done done)
{
    UiChannel channel(context);
    QThreadPool::globalInstance()->start([channel, work = std::move(work), done = std::move(done)]() mutable {
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

} // namespace lumora
