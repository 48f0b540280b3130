#include "model/DecodeCache.h"

#include "model/DisplayRender.h"

namespace lumora {

QImage DecodeCache::displayBase(const SourceImage& original)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].original == original) {
                m_entries.move(i, 0);
                return m_entries.first().base;
            }
        }
        // Another thread is decoding this photo (the editor's decode started ahead): wait for
        // it rather than decode it a second time.
        if (!m_inFlight.contains(original))
            break;
        m_decoded.wait(lock);
    }
    ++m_decodes;
    m_inFlight.append(original);
    lock.unlock();
    auto decoded = original.decodeScaled(displayScale(original.size(), m_maxSide));
    lock.lock();
    m_inFlight.removeOne(original);
    m_decoded.notify_all();
    if (!decoded)
        return {};
    m_entries.prepend({original, *decoded});
    trim();
    return *decoded;
}

void DecodeCache::setCapacity(qsizetype capacity)
{
    const std::lock_guard lock(m_mutex);
    m_capacity = std::max<qsizetype>(1, capacity);
    trim();
}

qint64 DecodeCache::decodes() const
{
    const std::lock_guard lock(m_mutex);
    return m_decodes;
}

void DecodeCache::trim()
{
    while (m_entries.size() > m_capacity)
        m_entries.removeLast();
}

} // namespace lumora
