#include "base/UiThread.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <algorithm>

namespace lumora {

QThreadPool& workPool()
{
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool; // never destroyed: workers may outlive every window
        created->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return created;
    }();
    return *pool;
}

QObject* UiChannel::receiver()
{
    static QObject* const instance = [] {
        auto* object = new QObject;
        if (QCoreApplication::instance())
            object->moveToThread(QCoreApplication::instance()->thread());
        return object;
    }();
    return instance;
}

namespace detail {

void startOnWorkPool(std::function<void()> work)
{
    workPool().start(std::move(work));
}

} // namespace detail

} // namespace lumora
