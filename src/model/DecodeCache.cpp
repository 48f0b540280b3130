#include "model/DecodeCache.h"

#include "model/DisplayRender.h"

namespace lumora {

QImage DecodeCache::displayBase(const SourceImage& original)
{
    {
        const std::lock_guard lock(m_mutex);
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].original == original) {
                m_entries.move(i, 0);
                return m_entries.first().base;
            }
        }
        ++m_decodes;
    }
    auto decoded = original.decodeScaled(displayScale(original.size(), m_maxSide));
    if (!decoded)
        return {};
    const std::lock_guard lock(m_mutex);
    for (const Entry& entry : m_entries) {
        if (entry.original == original)
            return entry.base; // another thread decoded it meanwhile
    }
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
