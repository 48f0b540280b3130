#include "pipeline/Raster.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/mman.h>
#include <vector>

namespace lumora {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kPooledFrom = 4 * kHugePage;            // smaller blocks come from malloc
constexpr size_t kPoolLimit = size_t(320) << 20;         // memory kept for reuse, at most
constexpr auto kPoolLifetime = std::chrono::seconds(20); // unused this long: given back

/// Large blocks are expensive to obtain fresh (the kernel zeroes every page on first touch),
/// and batch work asks for blocks of the same size photo after photo. Freed large blocks are
/// kept for a while and handed out again.
class BlockPool {
public:
    std::byte* take(size_t bytes)
    {
        std::lock_guard lock(m_mutex);
        dropExpired();
        size_t best = m_blocks.size();
        for (size_t i = 0; i < m_blocks.size(); ++i) {
            const Block& b = m_blocks[i];
            if (b.size >= bytes && b.size <= bytes + bytes / 2
                && (best == m_blocks.size() || b.size < m_blocks[best].size))
                best = i;
        }
        if (best == m_blocks.size())
            return nullptr;
        std::byte* memory = m_blocks[best].memory;
        m_total -= m_blocks[best].size;
        m_blocks.erase(m_blocks.begin() + qsizetype(best));
        return memory;
    }

    /// Keeps the block, or returns false when the pool is full.
    bool give(std::byte* memory, size_t size)
    {
        std::lock_guard lock(m_mutex);
        dropExpired();
        if (m_total + size > kPoolLimit)
            return false;
        m_blocks.push_back({memory, size, Clock::now()});
        m_total += size;
        return true;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Block {
        std::byte* memory;
        size_t size;
        Clock::time_point since;
    };

    void dropExpired()
    {
        const auto now = Clock::now();
        std::erase_if(m_blocks, [&](const Block& b) {
            if (now - b.since < kPoolLifetime)
                return false;
            m_total -= b.size;
            std::free(b.memory);
            return true;
        });
    }

    std::mutex m_mutex;
    std::vector<Block> m_blocks;
    size_t m_total = 0;
};

BlockPool& pool()
{
    static BlockPool* instance = new BlockPool; // never destroyed: blocks may be freed during exit
    return *instance;
}

/// Each pooled block carries its size in a header in front of the returned address.
constexpr size_t kHeader = 64;

size_t roundedSize(size_t bytes)
{
    return (bytes + kHeader + kHugePage - 1) / kHugePage * kHugePage;
}

std::byte* allocate(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    if (bytes + kHeader < kPooledFrom) {
        auto* memory = static_cast<std::byte*>(std::malloc(bytes + kHeader));
        if (!memory)
            return nullptr;
        *reinterpret_cast<size_t*>(memory) = 0; // not pooled
        return memory + kHeader;
    }
    const size_t size = roundedSize(bytes);
    std::byte* memory = pool().take(size);
    if (!memory) {
        void* fresh = nullptr;
        if (posix_memalign(&fresh, kHugePage, size) != 0)
            return nullptr;
        madvise(fresh, size, MADV_HUGEPAGE); // advice only: failure just means small pages
        memory = static_cast<std::byte*>(fresh);
        *reinterpret_cast<size_t*>(memory) = size;
    }
    return memory + kHeader;
}

void release(void* p)
{
    if (!p)
        return;
    std::byte* memory = static_cast<std::byte*>(p) - kHeader;
    const size_t size = *reinterpret_cast<size_t*>(memory);
    if (size == 0 || !pool().give(memory, size))
        std::free(memory);
}

} // namespace

void HugeFree::operator()(std::byte* p) const
{
    release(p);
}

HugeBuffer newHugeBuffer(size_t bytes)
{
    return HugeBuffer(allocate(bytes));
}

QImage newRaster(QSize size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return {};
    const qsizetype stride = qsizetype(size.width()) * 4;
    std::byte* memory = allocate(size_t(stride) * size_t(size.height()));
    if (!memory)
        return {};
    return QImage(
        reinterpret_cast<uchar*>(memory), size.width(), size.height(), stride, QImage::Format_ARGB32_Premultiplied,
        [](void* p) { release(p); }, memory);
}

} // namespace lumora
