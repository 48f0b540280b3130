#include "AppSupport.h"

#include "base/UiThread.h"
#include "ui/PhotoGridView.h"

#include <QMimeData>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace lumora;
using namespace lumora::test;

namespace {

/// Drops `urls` on the grid through its real drop handling.
void dropOnGrid(PhotoGridView& grid, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid.viewport(), &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid.viewport(), &drop);
}

/// Photos of camera proportions, large enough that decoding shrinks on load.
QList<QUrl> writeLargePhotos(const QTemporaryDir& dir, const QString& prefix, int count)
{
    QList<QUrl> urls;
    for (int i = 1; i <= count; ++i)
        urls.append(writePhotoFile(dir.path(), QStringLiteral("%1%2.jpg").arg(prefix).arg(i),
                                   jpegOf(QColor::fromHsv((i * 41) % 360, 180, 200), 1800, 1200)));
    return urls;
}

/// Keeps every thread of a pool busy until released. Released at the latest by a watchdog, so a
/// UI thread that waited for the pool ends the test as a failure instead of hanging it.
class PoolBlocker {
public:
    template <typename Start>
    PoolBlocker(int threads, Start start) : m_watchdog([this] { waitForRelease(std::chrono::minutes(2)); })
    {
        for (int i = 0; i < threads; ++i)
            start([this] { waitForRelease({}); });
    }
    ~PoolBlocker() { release(); }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_wake.notify_all();
    }
    /// Whether the watchdog had to release the pool (something waited for it).
    [[nodiscard]] bool releasedByWatchdog() const { return m_byWatchdog; }

private:
    void waitForRelease(std::chrono::minutes limit)
    {
        std::unique_lock lock(m_mutex);
        if (limit.count() == 0) {
            m_wake.wait(lock, [this] { return m_released; });
            return;
        }
        if (!m_wake.wait_for(lock, limit, [this] { return m_released; })) {
            m_byWatchdog = true;
            m_released = true;
            m_wake.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
    std::atomic<bool> m_byWatchdog = false;
    std::jthread m_watchdog;
};

/// How many different previews each photo was given while `during` ran.
QHash<QUuid, QSet<qint64>> previewsSetDuring(ImageProcessor& processor, const std::function<void()>& during)
{
    QHash<QUuid, QSet<qint64>> seen;
    const auto connection = QObject::connect(&processor, &ImageProcessor::photosChanged, [&] {
        for (const PhotoItem& photo : processor.photos()) {
            if (photo.preview)
                seen[photo.id].insert(photo.preview->bitmap.cacheKey());
        }
    });
    during();
    QObject::disconnect(connection);
    return seen;
}

} // namespace

using Responsiveness = WindowFixture;

TEST_F(Responsiveness, DropsLoadOnceEachInTheirOrderWithProgressInTheStatusLine)
{
    const QList<QUrl> first = writeLargePhotos(dir, QStringLiteral("a"), 8);
    const QList<QUrl> second = writeLargePhotos(dir, QStringLiteral("b"), 3);
    ImageProcessor& processor = view->processor();
    QStringList statusLines;
    const auto previews = previewsSetDuring(processor, [&] {
        dropOnGrid(*view->grid(), first);
        statusLines.append(view->statusText());
        dropOnGrid(*view->grid(), second); // queued behind the first drop
        statusLines.append(view->statusText());
        ASSERT_TRUE(waitIdle(processor));
    });
    EXPECT_EQ(statusLines,
              (QStringList{QStringLiteral("Lade 1 von 8 Fotos …"), QStringLiteral("Lade 1 von 11 Fotos …")}));
    EXPECT_EQ(view->statusText(), QStringLiteral("11 Fotos importiert"));
    EXPECT_EQ(order(processor), (QStringList{"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "b1", "b2", "b3"}));
    ASSERT_EQ(previews.size(), 11);
    for (auto it = previews.cbegin(); it != previews.cend(); ++it)
        EXPECT_EQ(it->size(), 1) << "each photo's preview is rendered once";
}

TEST(ResponsivenessModel, BurstOfStepsOnManySelectedDecodesEachOriginalAtMostOnce)
{
    QTemporaryDir dir;
    ImageProcessor processor;
    ASSERT_TRUE(loadAndWait(processor, writePhotos(dir, 40, 640, 480)));
    QSet<QUuid> ids;
    for (const PhotoItem& photo : processor.photos())
        ids.insert(photo.id);
    const qint64 before = processor.displayDecodes();
    AdjustmentState state;
    for (int step = 1; step <= 20; ++step) {
        state.exposure = 0.05 * step;
        processor.applyAdjustment(state, ids);
    }
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_LE(processor.displayDecodes() - before, 40);
    for (const PhotoItem& photo : processor.photos()) {
        EXPECT_TRUE(previewIsCurrent(photo)) << "the last state wins";
        EXPECT_DOUBLE_EQ(photo.edits.adjustment.exposure, state.exposure);
    }
    // Another burst renders from the kept decodes.
    const qint64 afterFirst = processor.displayDecodes();
    state.exposure = 0;
    processor.applyAdjustment(state, ids);
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_EQ(processor.displayDecodes(), afterFirst);
}

TEST_F(Responsiveness, CardPaintAndSliderStepDoNotWaitForTheBusyWorkPool)
{
    load(6);
    QList<QUuid> all;
    for (const PhotoItem& photo : view->processor().photos())
        all.append(photo.id);
    view->selection().selectAll(all);
    QCoreApplication::processEvents();
    PhotoGridView& grid = *view->grid();
    (void)grid.viewport()->grab(); // the cards on screen are known
    const QImage before = view->processor().photos().first().thumbnail;
    {
        // Qt's own pool stays free for Qt's painting; every job of ours waits.
        PoolBlocker ours(workPool().maxThreadCount(), [](auto job) { workPool().start(job); });
        QTest::keyClick(view.get(), Qt::Key_Right);
        grid.setCellSize(300); // new card sizes: every picture is prepared again
        (void)grid.viewport()->grab();
        const QImage after = view->processor().photos().first().thumbnail;
        EXPECT_NE(after.cacheKey(), before.cacheKey()) << "the card on screen changed at once";
        EXPECT_GT(qGray(after.pixel(after.width() / 2, after.height() / 2)),
                  qGray(before.pixel(before.width() / 2, before.height() / 2)));
        ours.release();
        EXPECT_FALSE(ours.releasedByWatchdog());
    }
    ASSERT_TRUE(waitIdle(view->processor()));
}
