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
    for (const Free& free : m_free)
        unmap(free.memory, free.capacity);
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

Tile TilePool::take(int owner, qsizetype bytes)
{
    return reserve(owner, bytes, true);
}

Tile TilePool::count(int owner, qsizetype bytes)
{
    return reserve(owner, bytes, false);
}

Tile TilePool::reserve(int owner, qsizetype bytes, bool withMemory)
{
    std::unique_lock lock(m_mutex);
    if (!waitForRoom(lock, owner, bytes))
        return {};
    Tile tile;
    // The smallest kept buffer that is large enough; a new one when none is.
    auto best = m_free.end();
    for (auto it = m_free.begin(); withMemory && it != m_free.end(); ++it)
        if (it->capacity >= bytes && (best == m_free.end() || it->capacity < best->capacity))
            best = it;
    if (best != m_free.end()) {
        tile.m_memory = best->memory;
        tile.m_capacity = best->capacity;
        m_freeTotal -= best->capacity;
        m_free.erase(best);
    } else if (withMemory) {
        lock.unlock(); // the allocation may take a while (a large one's pages are advised)
        tile.m_memory = map(bytes);
        if (!tile.m_memory)
            return {};
        tile.m_capacity = bytes;
        lock.lock();
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
}

bool TilePool::isClosed()
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

void TilePool::giveBack(Tile& tile)
{
    Free dropped; // unmapped outside the lock
    {
        std::lock_guard lock(m_mutex);
        if (auto held = m_held.find(tile.m_owner); held != m_held.end()) {
            held->second -= tile.m_bytes;
            if (held->second <= 0)
                m_held.erase(held);
        }
        m_heldTotal -= tile.m_bytes;
        if (tile.m_memory && m_heldTotal + m_freeTotal + tile.m_capacity <= m_budget) {
            m_freeTotal += tile.m_capacity;
            m_free.push_back(Free{std::exchange(tile.m_memory, nullptr), tile.m_capacity});
        } else {
            dropped = Free{std::exchange(tile.m_memory, nullptr), tile.m_capacity};
        }
    }
    unmap(dropped.memory, dropped.capacity);
    m_changed.notify_all();
}

} // namespace lumora
