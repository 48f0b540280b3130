#include "base/Progress.h"

#include <QMetaObject>

namespace lumora {

void ProgressStream::yield(double fraction)
{
    {
        std::lock_guard lock(m_mutex);
        m_values.push_back(fraction);
        m_history.append(fraction);
    }
    m_changed.notify_all();
    scheduleDelivery();
}

void ProgressStream::finish(StreamEnd end)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_end)
            return;
        m_end = std::move(end);
    }
    m_changed.notify_all();
    scheduleDelivery();
}

void ProgressStream::subscribe(QObject* context, std::function<void(double)> onValue,
                               std::function<void(const StreamEnd&)> onEnd)
{
    {
        std::lock_guard lock(m_mutex);
        m_channel.emplace(context);
        m_onValue = std::move(onValue);
        m_onEnd = std::move(onEnd);
        m_subscribed = true;
    }
    scheduleDelivery();
}

void ProgressStream::scheduleDelivery()
{
    std::optional<UiChannel> channel;
    {
        std::lock_guard lock(m_mutex);
        if (!m_subscribed || m_deliveryPending)
            return;
        m_deliveryPending = true;
        channel = m_channel;
    }
    // The posted call owns the stream until it ran; the channel drops it when the context is
    // gone, and the worker never looks at the context itself.
    channel->post([self = shared_from_this()] { self->deliver(); });
}

void ProgressStream::deliver()
{
    for (;;) {
        std::optional<double> value;
        std::optional<StreamEnd> end;
        {
            std::lock_guard lock(m_mutex);
            if (!m_values.empty()) {
                value = m_values.front();
                m_values.pop_front();
            } else if (m_end && !m_endDelivered) {
                end = m_end;
                m_endDelivered = true;
            } else {
                m_deliveryPending = false;
                return;
            }
        }
        if (value && m_onValue)
            m_onValue(*value);
        if (end && m_onEnd)
            m_onEnd(*end);
    }
}

StreamEnd ProgressStream::wait(QList<double>* values)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_end.has_value(); });
    if (values)
        *values = m_history;
    return *m_end;
}

} // namespace lumora
