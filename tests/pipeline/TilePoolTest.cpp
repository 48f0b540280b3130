#include "pipeline/TilePool.h"

#include <chrono>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace lumora;

namespace {

bool waits(std::future<Tile>& pending)
{
    return pending.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
}

} // namespace

// The next photo takes what the photo before lets go: beyond the budget it waits while an
// earlier photo holds tiles, never for itself; tiles go round again; closing ends a wait.
TEST(TilePool, ThePhotoAfterWaitsForWhatThePhotoBeforeLetsGo)
{
    TilePool pool(100);
    Tile first = pool.take(0, 60);
    Tile second = pool.take(0, 60); // photo 0 alone: over the budget, but nothing earlier holds
    ASSERT_FALSE(first.isNull());
    ASSERT_FALSE(second.isNull());
    std::memset(second.data(), 1, 60);
    const std::set<uchar*> given{first.data(), second.data()};

    std::future<Tile> next = std::async(std::launch::async, [&] { return pool.take(1, 50); });
    EXPECT_TRUE(waits(next));
    first = Tile(); // 60 held: still no room for 50 more
    EXPECT_TRUE(waits(next));
    second = Tile();
    const Tile taken = next.get();
    EXPECT_TRUE(given.contains(taken.data())) << "a tile given back is used again";

    std::future<void> earlier = std::async(std::launch::async, [&] { pool.waitForEarlier(2); });
    EXPECT_EQ(earlier.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    Tile counted = pool.count(1, 80); // a raster held elsewhere counts too
    std::future<Tile> later = std::async(std::launch::async, [&] { return pool.take(2, 10); });
    EXPECT_TRUE(waits(later));
    pool.close();
    EXPECT_TRUE(later.get().isNull());
    earlier.get();
    EXPECT_TRUE(pool.take(3, 1).isNull());
}

// A photo that alone needs more than the budget (a turned photo's column pieces overlap) gives
// its tiles back as its render moves on; the next photo of that size gets them all again, none
// newly mapped, and a sliver never takes a band's buffer.
TEST(TilePool, KeepsWhatOnePhotoAloneHeldForTheNext)
{
    TilePool pool(100);
    std::vector<Tile> photo;
    std::set<uchar*> given;
    for (int i = 0; i < 6; ++i) {
        photo.push_back(pool.take(0, 30)); // 180: over the budget, nothing earlier holds
        ASSERT_FALSE(photo.back().isNull());
        given.insert(photo.back().data());
    }
    Tile big = pool.take(0, 64);
    photo.clear();
    big = Tile();
    Tile sliver = pool.take(1, 10);
    EXPECT_FALSE(given.contains(sliver.data())) << "a buffer of three times the size is not spent on it";
    sliver = Tile();
    for (int i = 0; i < 6; ++i) {
        photo.push_back(pool.take(2, 30));
        EXPECT_TRUE(given.contains(photo.back().data())) << "tile " << i << " was mapped anew";
    }
}

// Buffers warmed on a thread of their own serve the first takes that fit them, and no more are
// warmed than the budget holds, once per pool; closing a pool that is warming ends the warm-up.
TEST(TilePool, WarmedBuffersServeTheFirstTakesWithinTheBudget)
{
    constexpr qsizetype capacity = 64 * 1024;
    TilePool pool(3 * capacity + capacity / 2);
    pool.warm(capacity, 10);
    for (int i = 0; i < 500 && pool.kept() < 3 * capacity; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(pool.kept(), 3 * capacity) << "three fit the budget, a fourth does not";

    const Tile half = pool.take(0, capacity / 2 + 1, capacity);
    const Tile whole = pool.take(0, capacity, capacity);
    const Tile small = pool.take(0, 1000, capacity); // would not take a buffer 64 times its size
    ASSERT_FALSE(half.isNull() || whole.isNull() || small.isNull());
    std::memset(whole.data(), 1, capacity);
    EXPECT_EQ(pool.kept(), 0) << "all three from the warmed buffers";

    pool.warm(capacity, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(pool.kept(), 0);

    TilePool large(qsizetype(1) << 40);
    large.warm(capacity, 1 << 30);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    large.close();
    const qsizetype kept = large.kept();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(large.kept(), kept) << "nothing is warmed once close() has returned";
}
