#include "pipeline/TilePool.h"

#include <algorithm>
#include <sys/mman.h>

namespace lumora {

Tile::Tile(Tile&& other) noexcept
    : m_pool(std::exchange(other.m_pool, nullptr)), m_memory(std::exchange(other.m_memory, nullptr)),
      m_capacity(std::exchange(other.m_capacity, 0)), m_bytes(std::exchange(other.m_bytes, 0)), m_owner(other.m_owner)
{
}

Tile& Tile::operator=(Tile&& other) noexcept
{
    if (this != &other) {
        giveBack();
        m_pool = std::exchange(other.m_pool, nullptr);
        m_memory = std::exchange(other.m_memory, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_bytes = std::exchange(other.m_bytes, 0);
        m_owner = other.m_owner;
    }
    return *this;
}

Tile::~Tile()
{
    giveBack();
}

void Tile::giveBack()
{
    if (m_pool)
        std::exchange(m_pool, nullptr)->giveBack(*this);
    m_memory = nullptr;
    m_capacity = 0;
    m_bytes = 0;
}

TilePool::~TilePool()
{
    close();
    for (const Free& free : m_free)
        unmap(free.memory, free.capacity);
}

void TilePool::warm(qsizetype capacity, int count)
{
    const std::scoped_lock lock(m_mutex);
    if (m_closed || m_warmer.joinable() || capacity <= 0 || count <= 0)
        return;
    m_warmer = std::thread([this, capacity, count] { warmUp(capacity, count); });
}

void TilePool::warmUp(qsizetype capacity, int count)
{
    for (int made = 0; made < count; ++made) {
        {
            const std::scoped_lock lock(m_mutex);
            if (m_closed || m_heldMapped + m_freeTotal + m_warming + capacity > m_budget)
                return;
            m_warming += capacity;
        }
        uchar* memory = map(capacity);
        for (qsizetype page = 0; memory && page < capacity; page += 4096)
            memory[page] = 0; // the system maps and clears the page now, here
        const std::scoped_lock lock(m_mutex);
        m_warming -= capacity;
        if (!memory)
            return;
        m_free.push_back(Free{memory, capacity});
        m_freeTotal += capacity;
        m_changed.notify_all();
    }
}

uchar* TilePool::map(qsizetype bytes)
{
    void* memory = mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    if (bytes >= (qsizetype(2) << 20))
        madvise(memory, size_t(bytes), MADV_HUGEPAGE); // advice only: fewer faults and TLB misses
    return static_cast<uchar*>(memory);
}

void TilePool::unmap(uchar* memory, qsizetype bytes)
{
    if (memory)
        munmap(memory, size_t(bytes));
}

bool TilePool::earlierHold(int owner) const
{
    return !m_held.empty() && m_held.begin()->first < owner;
}

bool TilePool::waitForRoom(std::unique_lock<std::mutex>& lock, int owner, qsizetype bytes)
{
    m_changed.wait(lock, [&] { return m_closed || m_heldTotal + bytes <= m_budget || !earlierHold(owner); });
    return !m_closed;
}

Tile TilePool::take(int owner, qsizetype bytes, qsizetype capacity)
{
    return reserve(owner, bytes, std::max(bytes, capacity), true);
}

Tile TilePool::count(int owner, qsizetype bytes)
{
    return reserve(owner, bytes, bytes, false);
}

TilePool::Free TilePool::takeFree(qsizetype bytes)
{
    // The smallest kept buffer that is large enough, but not one of more than twice the size:
    // a band's buffer is not spent on a sliver.
    auto best = m_free.end();
    for (auto it = m_free.begin(); it != m_free.end(); ++it)
        if (it->capacity >= bytes && it->capacity / 2 <= bytes
            && (best == m_free.end() || it->capacity < best->capacity))
            best = it;
    if (best == m_free.end())
        return {};
    const Free found = *best;
    m_freeTotal -= found.capacity;
    m_free.erase(best);
    return found;
}

void TilePool::dropFreeBeyondBound(qsizetype more, std::vector<Free>& dropped)
{
    const qsizetype bound = std::max(m_budget, m_heldMappedPeak);
    while (!m_free.empty() && m_heldMapped + m_freeTotal + more > bound) {
        m_freeTotal -= m_free.back().capacity;
        dropped.push_back(m_free.back());
        m_free.pop_back();
    }
}

Tile TilePool::reserve(int owner, qsizetype bytes, qsizetype capacity, bool withMemory)
{
    std::vector<Free> dropped; // unmapped outside the lock
    std::unique_lock lock(m_mutex);
    if (!waitForRoom(lock, owner, bytes))
        return {};
    Tile tile;
    if (withMemory) {
        Free found = takeFree(capacity);
        if (!found.memory) { // a new buffer, for which kept ones that do not fit give way
            dropFreeBeyondBound(capacity, dropped);
            lock.unlock(); // the allocation may take a while (a large one's pages are advised)
            for (const Free& free : dropped)
                unmap(free.memory, free.capacity);
            found = Free{map(capacity), capacity};
            if (!found.memory)
                return {};
            lock.lock();
        }
        tile.m_memory = found.memory;
        tile.m_capacity = found.capacity;
        m_heldMapped += found.capacity;
        m_heldMappedPeak = std::max(m_heldMappedPeak, m_heldMapped);
    }
    tile.m_pool = this;
    tile.m_bytes = bytes;
    tile.m_owner = owner;
    m_held[owner] += bytes;
    m_heldTotal += bytes;
    return tile;
}

void TilePool::waitForEarlier(int owner)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_closed || !earlierHold(owner); });
}

void TilePool::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
    // The warm-up stops before its next buffer; it has ended when the pool's user says the run
    // has (a program may exit then).
    const std::scoped_lock joining(m_joinMutex);
    if (m_warmer.joinable())
        m_warmer.join();
}

bool TilePool::isClosed()
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

qsizetype TilePool::kept()
{
    std::lock_guard lock(m_mutex);
    return m_freeTotal;
}

void TilePool::giveBack(Tile& tile)
{
    std::vector<Free> dropped; // unmapped outside the lock
    {
        std::lock_guard lock(m_mutex);
        if (auto held = m_held.find(tile.m_owner); held != m_held.end()) {
            held->second -= tile.m_bytes;
            if (held->second <= 0)
                m_held.erase(held);
        }
        m_heldTotal -= tile.m_bytes;
        if (tile.m_memory) {
            m_heldMapped -= tile.m_capacity;
            m_freeTotal += tile.m_capacity;
            m_free.push_back(Free{std::exchange(tile.m_memory, nullptr), tile.m_capacity});
            dropFreeBeyondBound(0, dropped);
        }
    }
    for (const Free& free : dropped)
        unmap(free.memory, free.capacity);
    m_changed.notify_all();
}

} // namespace lumora
