#include "AppSupport.h"

#include "base/UiThread.h"
#include "support/PoolHold.h"
#include "ui/PhotoGridView.h"

#include <QMimeData>

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

} // namespace

using Responsiveness = WindowFixture;

// Photos of camera proportions, large enough that decoding shrinks on load, dropped behind two
// loaded ones: appended in their order without a question, each preview rendered once.
TEST_F(Responsiveness, DropsAreAppendedOnceEachInTheirOrderWithoutAQuestion)
{
    load(2);
    const QList<QUrl> first = writePhotos(dir, 8, 1800, 1200, QStringLiteral("a"));
    QList<QUrl> second = writePhotos(dir, 3, 1800, 1200, QStringLiteral("b"));
    second.append(QUrl(QStringLiteral("https://example.invalid/x.jpg"))); // not a file: skipped
    PhotoGridView* grid = view->grid();
    ImageProcessor& processor = view->processor();
    QHash<QUuid, QSet<qint64>> previews; // the different previews each photo was given
    const QObject counting;              // ends the counting with the test
    QObject::connect(&processor, &ImageProcessor::photosChanged, &counting, [&] {
        for (const PhotoItem& photo : processor.photos()) {
            if (photo.preview)
                previews[photo.id].insert(photo.preview->bitmap.cacheKey());
        }
    });
    dropOnGrid(*grid, first);
    QStringList statusLines{view->statusText()};
    dropOnGrid(*grid, second); // queued behind the first drop
    statusLines.append(view->statusText());
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_FALSE(grid->showsFileDropTarget());
    EXPECT_EQ(statusLines,
              (QStringList{QStringLiteral("Lade 1 von 8 Fotos …"), QStringLiteral("Lade 1 von 11 Fotos …")}));
    EXPECT_EQ(view->statusText(), QStringLiteral("13 Fotos importiert"));
    EXPECT_EQ(order(processor),
              (QStringList{"1", "2", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "b1", "b2", "b3"}));
    ASSERT_EQ(previews.size(), 13);
    for (auto it = previews.cbegin(); it != previews.cend(); ++it)
        EXPECT_EQ(it->size(), 1) << "each preview is rendered once, the loaded ones not again";
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_FALSE(preferences::contains(QStringLiteral("LastUsedVolumePath")));
}

TEST_F(Responsiveness, CardPaintAndSliderStepDoNotWaitForTheBusyWorkPool)
{
    load(6);
    PhotoGridView& grid = *view->grid();
    QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
    QCoreApplication::processEvents();
    (void)grid.viewport()->grab(); // the cards on screen are known
    const QImage before = view->processor().photos().first().thumbnail;
    {
        // Qt's own pool stays free for Qt's painting; every job of ours waits (a UI thread that
        // waited for our pool would hang here until the test's time limit).
        PoolHold held;
        QTest::keyClick(view.get(), Qt::Key_Right);
        grid.setCellSize(300); // new card sizes: every picture is prepared again
        (void)grid.viewport()->grab();
        const QImage after = view->processor().photos().first().thumbnail;
        EXPECT_NE(after.cacheKey(), before.cacheKey()) << "the card on screen changed at once";
        EXPECT_GT(qGray(after.pixel(after.width() / 2, after.height() / 2)),
                  qGray(before.pixel(before.width() / 2, before.height() / 2)));
    }
    ASSERT_TRUE(waitIdle(view->processor()));
}
