#include "app/KeySequenceTracker.h"

namespace lumora {

KeySequenceTracker::KeySequenceTracker(Clock clock) : m_clock(std::move(clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
}

const QStringList& KeySequenceTracker::reihenfolge()
{
    static const QStringList keys = [] {
        QStringList list;
        for (QChar c : QStringLiteral("bildlichtworkflowsgo"))
            list.append(QString(c));
        return list;
    }();
    return keys;
}

bool KeySequenceTracker::isSequenceKey(const QString& key)
{
    return !key.isEmpty() && reihenfolge().contains(key);
}

int KeySequenceTracker::aktuellerIndex() const
{
    expire();
    return m_index;
}

void KeySequenceTracker::expire() const
{
    if (m_deadline >= 0 && m_clock() >= m_deadline) {
        m_index = 0;
        m_deadline = -1;
    }
}

bool KeySequenceTracker::press(const QString& key)
{
    expire();
    const QStringList& sequence = reihenfolge();
    if (key == sequence[m_index]) {
        ++m_index;
        m_deadline = -1;
        if (m_index >= sequence.size()) {
            m_index = 0;
            return true;
        }
        m_deadline = m_clock() + kTimeoutMs;
        return false;
    }
    // A wrong key that happens to be the first one starts over at 1, without a time-out.
    m_index = key == sequence.first() ? 1 : 0;
    m_deadline = -1;
    return false;
}

} // namespace lumora
