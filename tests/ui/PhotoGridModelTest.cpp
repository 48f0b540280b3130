#include "AppSupport.h"

#include "app/PhotoGridModel.h"

#include <QSignalSpy>

using namespace lumora;
using namespace lumora::test;

/// Every signal the model sends for one change of the processor.
struct ModelSignals {
    explicit ModelSignals(PhotoGridModel& model)
        : inserted(&model, &QAbstractItemModel::rowsInserted), removed(&model, &QAbstractItemModel::rowsRemoved),
          reset(&model, &QAbstractItemModel::modelReset), layout(&model, &QAbstractItemModel::layoutChanged),
          data(&model, &QAbstractItemModel::dataChanged)
    {
    }
    /// How many {inserted, removed, reset, layout, data} signals came since the last call.
    QList<qsizetype> take()
    {
        QList<qsizetype> counts;
        for (QSignalSpy* spy : {&inserted, &removed, &reset, &layout, &data}) {
            counts.append(spy->count());
            spy->clear();
        }
        return counts;
    }
    QSignalSpy inserted, removed, reset, layout, data;
};

TEST(PhotoGridModel, TurnsEveryProcessorChangeIntoTheCheapestUpdate)
{
    QTemporaryDir dir;
    ImageProcessor processor;
    PhotoGridModel model(processor);
    ModelSignals seen(model);
    ASSERT_TRUE(loadAndWait(processor, writePhotos(dir, 4)));
    EXPECT_EQ(model.rowCount(), 4);
    // One row appended per photo as it is decoded, in order; then one repaint per render.
    for (int i = 0; i < seen.inserted.count(); ++i)
        EXPECT_EQ(seen.inserted[i][1].toInt(), i);
    EXPECT_EQ(seen.take().first(4), (QList<qsizetype>{4, 0, 0, 0}));
    EXPECT_EQ(model.index(2).data(PhotoGridModel::FileNameRole).toString(), QStringLiteral("3.jpg"));
    EXPECT_EQ(model.index(2).data(PhotoGridModel::IdRole).toUuid(), processor.photos()[2].id);
    EXPECT_FALSE(model.index(2).data(PhotoGridModel::ThumbnailRole).value<QImage>().isNull());

    // An edit of one photo repaints that row alone.
    processor.applyAdjustment(AdjustmentState{.exposure = 1}, {processor.photos()[1].id});
    ASSERT_EQ(seen.data.count(), 1);
    EXPECT_EQ(seen.data[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(seen.data[0][1].toModelIndex().row(), 1);
    EXPECT_EQ(seen.take(), (QList<qsizetype>{0, 0, 0, 0, 1}));

    // A change that leaves every card as it was sends nothing.
    processor.setPhotos(processor.photos());
    EXPECT_EQ(seen.take(), (QList<qsizetype>{0, 0, 0, 0, 0}));

    // A new order is a layout change, and persistent indexes follow their photo.
    const QUuid third = processor.photos()[2].id;
    QPersistentModelIndex follow(model.index(2));
    QList<PhotoItem> photos = processor.photos();
    photos.move(2, 0);
    processor.setPhotos(photos);
    EXPECT_EQ(seen.take(), (QList<qsizetype>{0, 0, 0, 1, 0}));
    EXPECT_EQ(follow.row(), 0);
    EXPECT_EQ(model.idAt(0), third);

    // A photo leaving removes its row alone.
    const PhotoItem leaving = photos.takeAt(1);
    processor.setPhotos(photos);
    EXPECT_EQ(seen.take(), (QList<qsizetype>{0, 1, 0, 0, 0}));
    EXPECT_EQ(model.ids(), (QList<QUuid>{photos[0].id, photos[1].id, photos[2].id}));
    EXPECT_EQ(model.rowOf(photos[2].id), 2);
    EXPECT_EQ(model.rowOf(QUuid::createUuid()), -1);

    // A photo back in the middle (a restore) resets, and the rows match the list again.
    photos.insert(1, leaving);
    processor.setPhotos(photos);
    EXPECT_EQ(seen.take(), (QList<qsizetype>{0, 0, 1, 0, 0}));
    EXPECT_EQ(model.idAt(1), leaving.id);
    EXPECT_EQ(model.rowCount(), 4);
}
