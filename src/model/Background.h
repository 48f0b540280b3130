#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <utility>

namespace lumora {

/// Runs `work` on the thread pool and hands its result to `done` on `context`'s thread.
/// When `context` is destroyed first, `done` is never called. `work` gets no access to the
/// context: give it value copies.
template <typename Work, typename Done>
void runInBackground(QObject* context, Work work, Done done)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        if (!guard)
            return;
        QMetaObject::invokeMethod(
            guard.data(), [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
            Qt::QueuedConnection);
    });
}

/// Calls `fn` on `context`'s thread later (queued); dropped when the context is gone.
template <typename Fn>
void postTo(QObject* context, Fn fn)
{
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

} // namespace lumora
