#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lumora {

class TilePool;

/// A buffer of a TilePool, held for one photo; goes back to its pool when destroyed.
class Tile {
public:
    Tile() = default;
    Tile(Tile&& other) noexcept;
    Tile& operator=(Tile&& other) noexcept;
    ~Tile();

    [[nodiscard]] uchar* data() const { return m_memory; }
    [[nodiscard]] bool isNull() const { return !m_memory && m_bytes == 0; }

private:
    friend class TilePool;
    void giveBack();

    TilePool* m_pool = nullptr;
    uchar* m_memory = nullptr; ///< mapped for the tile alone (see TilePool)
    qsizetype m_capacity = 0;
    qsizetype m_bytes = 0; ///< what the owner asked for: counted against the budget
    int m_owner = 0;
};

/// Memory for the working rasters of photos rendered one after another, numbered in that order.
/// Bounded by a budget: a photo that asks for more than the budget leaves waits while a photo
/// before it still holds tiles, which come back as that photo's render moves on. So the next
/// photo is decoded while the last one is rendered, and together they hold about the budget; a
/// photo is never held back by itself or by later ones. Tiles given back are kept for reuse
/// (their pages are mapped and cleared once, not for every photo): the pool's memory, held and
/// kept, stays within the budget or, when one photo alone needs more, within the most its tiles
/// have held at once. Each tile is a mapping of its own, returned to the system when dropped:
/// tiles taken on one thread and given back on another would otherwise stay in the allocator's
/// per-thread heaps.
class TilePool {
public:
    explicit TilePool(qsizetype budget) : m_budget(budget) {}
    TilePool(const TilePool&) = delete;
    TilePool& operator=(const TilePool&) = delete;
    ~TilePool();

    /// A tile of at least `bytes` for photo `owner`, waiting for the budget as described; null
    /// when the pool is closed (also while waiting) or the memory cannot be had. Its buffer has
    /// at least `capacity` bytes (counted as `bytes`): tiles asked for with one capacity fit
    /// each other's buffers, and those warm() made, whatever their sizes.
    [[nodiscard]] Tile take(int owner, qsizetype bytes, qsizetype capacity = 0);
    /// Makes up to `count` buffers of `capacity` bytes ready for take() on a thread of its own,
    /// their pages mapped and cleared there, while the pool's memory stays within its budget:
    /// so that the first photo's decode does not clear every page it writes itself while the
    /// other cores have nothing to do yet. Once per pool: later calls do nothing.
    void warm(qsizetype capacity, int count);
    /// Counts `bytes` that photo `owner` holds elsewhere (a raster decoded whole) against the
    /// budget until the returned tile goes; waits like take(). Its data() is null.
    [[nodiscard]] Tile count(int owner, qsizetype bytes);
    /// Waits until no photo before `owner` holds anything (or the pool is closed).
    void waitForEarlier(int owner);
    /// Ends every wait, now and later: take() and count() give null tiles from now on. Returns
    /// once a warm-up has ended.
    void close();
    [[nodiscard]] bool isClosed();
    /// The memory of the buffers kept for take(): given back, or made by warm().
    [[nodiscard]] qsizetype kept();

private:
    friend class Tile;
    struct Free {
        uchar* memory = nullptr;
        qsizetype capacity = 0;
    };
    [[nodiscard]] static uchar* map(qsizetype bytes);
    static void unmap(uchar* memory, qsizetype bytes);

    /// take() with a buffer, or count() without one.
    [[nodiscard]] Tile reserve(int owner, qsizetype bytes, qsizetype capacity, bool withMemory);
    void warmUp(qsizetype capacity, int count);
    /// A kept buffer for `bytes`, taken off the free list; null when none fits. Called locked.
    [[nodiscard]] Free takeFree(qsizetype bytes);
    /// Takes kept buffers off the free list, into `dropped`, until the pool's memory with `more`
    /// mapped besides is within its bound (or nothing is kept). Called locked.
    void dropFreeBeyondBound(qsizetype more, std::vector<Free>& dropped);
    /// Waits until photo `owner` may hold `bytes` more; false when closed. Called locked.
    bool waitForRoom(std::unique_lock<std::mutex>& lock, int owner, qsizetype bytes);
    [[nodiscard]] bool earlierHold(int owner) const;
    void giveBack(Tile& tile);

    const qsizetype m_budget;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, qsizetype> m_held; ///< bytes per photo
    qsizetype m_heldTotal = 0;
    qsizetype m_heldMapped = 0; ///< the memory of the tiles held (their capacity)
    qsizetype m_heldMappedPeak = 0;
    qsizetype m_freeTotal = 0;
    std::vector<Free> m_free;
    qsizetype m_warming = 0; ///< being mapped by the warm-up, not yet free
    bool m_closed = false;
    std::thread m_warmer;   ///< the warm-up, joined by close()
    std::mutex m_joinMutex; ///< for closes on several threads at once
};

} // namespace lumora
