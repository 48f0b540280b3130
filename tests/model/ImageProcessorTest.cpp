#include "model/ImageProcessor.h"
#include "base/UiThread.h"
#include "pipeline/Overlays.h"
#include "support/PhotoFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

QStringList namesOf(const ImageProcessor& processor)
{
    QStringList names;
    for (const PhotoItem& photo : processor.photos())
        names.append(photo.url.fileName());
    return names;
}

/// A processor and a folder for its photo files.
struct ProcessorFixture : ::testing::Test {
    QTemporaryDir dir;
    ImageProcessor processor;

    QUrl file(const char* name, const QByteArray& bytes) const
    {
        return writePhotoFile(dir.path(), QString::fromLatin1(name), bytes);
    }

    /// Loads one photo file and returns the photo's id.
    QUuid loadOne(const char* name, const QByteArray& bytes)
    {
        EXPECT_TRUE(loadAndWait(processor, {file(name, bytes)}));
        return processor.photos().isEmpty() ? QUuid() : processor.photos().last().id;
    }

    const PhotoItem& first() const { return processor.photos().first(); }
};

} // namespace

TEST_F(ProcessorFixture, LoadSkipsKnownUrlsAndUnreadableFilesKeepingOrder)
{
    const QUrl a = file("a.jpg", jpegOf(Qt::red));
    ASSERT_TRUE(loadAndWait(processor, {a, file("bad.jpg", "not an image"), file("b.jpg", jpegOf(Qt::blue))}));
    EXPECT_EQ(namesOf(processor), (QStringList{"a.jpg", "b.jpg"}));
    for (const PhotoItem& photo : processor.photos()) {
        EXPECT_FALSE(photo.thumbnail.isNull());
        ASSERT_TRUE(photo.preview);
        EXPECT_EQ(photo.preview->pixelSize, QSize(64, 48));
    }
    // The same file again adds nothing; the same file twice in one call is added twice.
    ASSERT_TRUE(loadAndWait(processor, {a}));
    EXPECT_EQ(processor.photos().size(), 2);
    const QUrl c = file("c.jpg", jpegOf(Qt::green));
    ASSERT_TRUE(loadAndWait(processor, {c, c}));
    EXPECT_EQ(namesOf(processor), (QStringList{"a.jpg", "b.jpg", "c.jpg", "c.jpg"}));
    EXPECT_EQ(photoIds(processor).size(), 4); // every photo has its own id
}

TEST_F(ProcessorFixture, BatchQuarterTurnsKeepTheRemainderAndBlockSliders)
{
    const QSet<QUuid> ids{loadOne("p.jpg", jpegOf(Qt::gray))};
    for (const auto& [direction, expected] :
         {std::pair{RotationDirection::left, QList<double>{90, 180, 270, 0}},
          std::pair{RotationDirection::right, QList<double>{-90, -180, -270, -0.0}}}) {
        QList<double> seen;
        for (int i = 0; i < 4; ++i) {
            const QSize card = first().thumbnail.size();
            processor.rotate(ids, direction);
            EXPECT_EQ(first().thumbnail.size(), card.transposed()) << "the card turns at once";
            // While the batch renders, slider changes are ignored.
            EXPECT_TRUE(processor.isBatchProcessing());
            processor.applyAdjustment(AdjustmentState{1, 0, 1, 1, 0}, ids);
            EXPECT_EQ(first().edits.adjustment, AdjustmentState{});
            ASSERT_TRUE(waitIdle(processor));
            seen.append(first().edits.rotation);
        }
        EXPECT_EQ(seen, expected);
    }

    // A card off screen is left to the batch: no card render on the UI thread for it.
    processor.setCardOnScreen([](const QUuid&) { return false; });
    const QSize card = first().thumbnail.size();
    processor.rotate(ids, RotationDirection::left);
    EXPECT_EQ(first().thumbnail.size(), card);
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_EQ(first().thumbnail.size(), card.transposed());
    processor.setCardOnScreen({});

    processor.flip(ids, FlipDirection::horizontal);
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_TRUE(first().edits.flippedH);
}

TEST_F(ProcessorFixture, AdjustmentShowsOnTheCardAtOnceAndUnknownIdsDoNothing)
{
    const QSet<QUuid> ids{loadOne("g.jpg", jpegOf(QColor(128, 128, 128)))};
    processor.applyAdjustment(AdjustmentState{1, 0, 1, 1, 0}, ids);
    EXPECT_NEAR(pixel(first().thumbnail, 10, 10).red(), 176, 2) << "the card at once";
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_NEAR(pixel(first().preview->bitmap, 10, 10).red(), 176, 2) << "then the preview";
    processor.applyAdjustment(AdjustmentState{}, {QUuid::createUuid()});
    EXPECT_EQ(first().edits.adjustment.exposure, 1);

    // A photo handed back with another original (as editors do): the next step's card is not
    // rendered from the old original's card base.
    PhotoItem blue = first();
    blue.originalCI = SourceImage::fromRaster(solid(64, 48, Qt::blue));
    processor.updatePhoto(blue);
    processor.applyAdjustment(AdjustmentState{}, ids);
    ASSERT_TRUE(waitIdle(processor));
    processor.applyAdjustment(AdjustmentState{-2, 0, 1, 1, 0}, ids);
    const QColor card = pixel(first().thumbnail, 10, 10);
    EXPECT_LT(card.red(), 40) << "from the new original";
    EXPECT_LT(card.blue(), 230) << "at once";
    ASSERT_TRUE(waitIdle(processor));
}

TEST_F(ProcessorFixture, RefreshDoesNotOverwriteANewerEdit)
{
    QList<QUrl> urls;
    for (const char* name : {"g0.jpg", "g1.jpg", "g2.jpg", "g3.jpg", "g4.jpg", "g5.jpg"})
        urls.append(file(name, jpegOf(QColor(128, 128, 128), 800, 600)));
    ASSERT_TRUE(loadAndWait(processor, urls));
    // Edits written without a render leave every preview stale, so the refresh renders all.
    for (PhotoItem photo : processor.photos()) {
        photo.edits.masks = {MaskRect{QRectF(0, 0, 4, 4), QStringLiteral("#000000")}};
        processor.updatePhoto(photo);
    }
    processor.refreshPreviews();
    // Edited while the refresh still renders its older snapshot.
    const QUuid last = processor.photos().last().id;
    processor.applyAdjustment(AdjustmentState{1, 0, 1, 1, 0}, {last});
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_NEAR(pixel(processor.photo(last)->preview->bitmap, 10, 10).red(), 176, 2);
    // The others got the refresh: their mask shows.
    EXPECT_EQ(pixel(first().preview->bitmap, 1, 598).red(), 0);

    // A refresh with nothing stale renders nothing.
    const QImage before = first().preview->bitmap;
    processor.refreshPreviews();
    EXPECT_FALSE(processor.isBusy());
    EXPECT_EQ(first().preview->bitmap.cacheKey(), before.cacheKey());
}

// A burst of slider steps on many selected photos decodes each original at most once, and the
// last state wins; another burst renders from the kept decodes.
TEST_F(ProcessorFixture, ABurstOfStepsOnManySelectedDecodesEachOriginalAtMostOnce)
{
    ASSERT_TRUE(loadAndWait(processor, writePhotos(dir, 40, 640, 480)));
    const QSet<QUuid> ids = photoIds(processor);
    const qint64 before = processor.displayDecodes();
    AdjustmentState state;
    for (int step = 1; step <= 20; ++step) {
        state.exposure = 0.05 * step;
        processor.applyAdjustment(state, ids);
    }
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_LE(processor.displayDecodes() - before, 40);
    for (const PhotoItem& photo : processor.photos()) {
        EXPECT_TRUE(previewIsCurrent(photo));
        EXPECT_DOUBLE_EQ(photo.edits.adjustment.exposure, state.exposure);
    }
    const qint64 afterFirst = processor.displayDecodes();
    processor.applyAdjustment(AdjustmentState{}, ids);
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_EQ(processor.displayDecodes(), afterFirst);
}

// An editor's commits give the photo whole edit values; its display render follows in the
// background from the decode made when the editor opened, not a new one on the UI thread.
TEST_F(ProcessorFixture, SetEditsRendersFromTheEditorsDecode)
{
    const QUuid id = loadOne("u.jpg", jpegOf(Qt::black));
    processor.prepareForEditing(id);
    workPool().waitForDone();
    const qint64 decodes = processor.displayDecodes();
    EditState edits;
    edits.masks = {MaskRect{QRectF(0, 0, 4000, 4000), QStringLiteral("#FFFFFF")}};
    edits.freehandOverlays = {*rasterizeArrow(Arrow{{5, 5}, 0, 40, 4, QStringLiteral("#FF0000")}, {64, 48})};
    QSignalSpy changed(&processor, &ImageProcessor::photosChanged);
    processor.setEdits(id, edits);
    processor.setEdits(id, edits); // the same value: no change
    EXPECT_EQ(changed.size(), 1);
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_EQ(pixel(processor.photo(id)->preview->bitmap, 1, 1), QColor(Qt::white));
    EXPECT_EQ(processor.displayDecodes(), decodes);
}

TEST_F(ProcessorFixture, FlattenBakesTurnedUprightLabelsIntoANewOriginal)
{
    PhotoItem photo;
    photo.url = QUrl::fromLocalFile(QStringLiteral("/tmp/flat.jpg"));
    photo.originalCI = SourceImage::fromRaster(solid(4000, 3000, Qt::black));
    photo.edits.rotation = 90;
    photo.edits.watermark =
        Watermark{QStringLiteral("x"), WatermarkPosition::center, 0, 0.1, QStringLiteral("#FFFFFF")};
    photo.edits.masks = {MaskRect{QRectF(3900, 0, 100, 100), QStringLiteral("#FF0000")}};
    processor.setPhotos({photo});
    // The magnifier's full-size render shows the photo as turned; an unknown id renders nothing.
    EXPECT_EQ(processor.renderFullSize(photo.id)->size(), QSize(3000, 4000));
    EXPECT_FALSE(processor.renderFullSize(QUuid::createUuid()));
    bool taken = false;
    processor.flattenEditsInBackground(photo.id,
                                       {{.position = {10, 20}, .text = "XX", .fontSize = 40, .colorHex = "#FFFFFF"}},
                                       &processor, [&taken](bool t) { taken = t; });
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_TRUE(taken);

    const PhotoItem& flat = *processor.photo(photo.id);
    EXPECT_EQ(flat.originalCI.size(), QSize(3000, 4000));
    EXPECT_EQ(flat.edits.rotation, 0);
    EXPECT_TRUE(flat.edits.masks.isEmpty() && flat.edits.freehandOverlays.isEmpty() && flat.edits.textMarks.isEmpty());
    EXPECT_TRUE(flat.edits.watermark);
    const QImage baked = *flat.originalCI.decode();
    // The mark now sits at (2980, 10) of the turned photo (y up): white ink near the bottom-right.
    int ink = 0;
    for (int y = 4000 - 40; y < 4000; ++y)
        for (int x = 2940; x < 3000; ++x)
            ink += qRed(baked.pixel(x, y)) > 200 && qGreen(baked.pixel(x, y)) > 200;
    EXPECT_GT(ink, 20);
    // The red mask at the original's bottom-right turned counter-clockwise to the top-right.
    EXPECT_EQ(pixel(baked, 2990, 50), QColor(Qt::red));
}
