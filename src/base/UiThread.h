#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <utility>

namespace lumora {

/// A way for background work to hand calls to the UI thread without ever touching the
/// context object from the worker: calls go to one receiver that lives on the application's
/// thread for the whole run, and run only while the context still exists. Create it on the
/// UI thread; post from any thread.
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
    static QObject* receiver()
    {
        // Never deleted: a worker may still post to it after every model is gone.
        static QObject* const instance = [] {
            auto* object = new QObject;
            if (QCoreApplication::instance())
                object->moveToThread(QCoreApplication::instance()->thread());
            return object;
        }();
        return instance;
    }

    QPointer<QObject> m_guard; // read only on the UI thread, inside posted calls
    QObject* m_receiver;
};

/// Runs `work` on the thread pool and hands its result to `done` on the UI thread. When
/// `context` is destroyed first, `done` is never called. `work` gets no access to the
/// context: give it value copies. Call on the UI thread.
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
