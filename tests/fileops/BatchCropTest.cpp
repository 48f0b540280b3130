#include "fileops/BatchCrop.h"
#include "FileopsTestSupport.h"
#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "base/RegularFile.h"
#include "support/DngFile.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::readAll;
using lumora::test::writeAll;
using lumora::test::quadrantColours;

namespace {

bool isJpeg(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xD8\xFF");
}

/// Photo folders, a processor and a folder store answered by a script.
struct CropFixture : ::testing::Test, test::CropSetup {
    QTemporaryDir dir;
    QString photoDir;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
        photoDir = folder("Fotos");
    }

    /// The file `name` in the photo folder.
    QString at(const QString& name) const { return QDir(photoDir).filePath(name); }

    QString folder(const QString& name) const
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }

    /// Writes a w × h test card into `folderPath` (no file for 0 × 0) and appends it to the list.
    QUuid addPhoto(const QString& folderPath, const QString& name, int w, int h)
    {
        const QString path = QDir(folderPath).filePath(name);
        const QString format = name.endsWith(QStringLiteral(".png")) ? QStringLiteral("png") : QStringLiteral("jpg");
        EXPECT_TRUE(w == 0 || writeAll(path, test::encodeWithVips(test::quadrants(w, h), format)));
        processor.setPhotos(QList<PhotoItem>(processor.photos()) << test::photoAt(QUrl::fromLocalFile(path)));
        return processor.photos().last().id;
    }

    /// A result in one line: "2 written, 0 skipped, saved in /Fotos" (below the fixture's
    /// folder), then each failure.
    std::string summary(const BatchCropResult& r) const
    {
        QString text = QStringLiteral("%1 written, %2 skipped").arg(r.erfolgreich).arg(r.uebersprungen);
        if (r.speicherOrdner)
            text += QStringLiteral(", saved in ")
                    + r.speicherOrdner->toString().remove(QUrl::fromLocalFile(dir.path()).toString());
        for (const QString& failure : r.fehler)
            text += QStringLiteral("; ") + failure;
        return text.toStdString();
    }

    QSet<QUuid> allIds() const { return test::photoIds(processor); }
};

} // namespace

TEST(BatchCropRect, RoundsOutwardsAndStopsAtTheEdges)
{
    const QSize photo(4000, 3000);
    EXPECT_EQ(cropPixelRect({0.5, 0.5, 0.001, 0.5}, photo), QRect(2000, 1500, 4, 1500));
    EXPECT_EQ(cropPixelRect({0.8, 0, 0.5, 1}, photo), QRect(3200, 0, 800, 3000));
    EXPECT_EQ(cropPixelRect({0, 0, 1, 1}, photo), QRect(0, 0, 4000, 3000));
    // 3.3 … 11.55 covers the pixels 3 to 11.
    EXPECT_EQ(cropPixelRect({0.1, 0.1, 0.25, 0.25}, QSize(33, 33)), QRect(3, 3, 9, 9));
    // The origin is clamped without shortening the size.
    EXPECT_EQ(cropPixelRect({-0.1, 0, 0.5, 2}, QSize(100, 100)), QRect(0, 0, 50, 100));
    EXPECT_TRUE(cropPixelRect({1.2, 0, 0.5, 1}, photo).isEmpty());
    EXPECT_TRUE(cropPixelRect({0, 0, 0, 1}, photo).isEmpty());
}

TEST_F(CropFixture, WritesTheSameRelativeRegionOfPhotosOfDifferentSizesAndSkipsTinyOnes)
{
    const QUuid big = addPhoto(photoDir, "gross.jpg", 400, 300);
    addPhoto(photoDir, "klein.png", 200, 100);
    dialogs.confirmFolder(photoDir);

    // The lower middle: blue on the left, white on the right.
    EXPECT_EQ(summary(crop(allIds(), {0.25, 0.5, 0.5, 0.5}, false)), "2 written, 0 skipped, saved in /Fotos");
    EXPECT_EQ(dialogs.folderRequests.size(), 1);
    for (const auto& [name, size] : {std::pair{"gross-neu.jpg", QSize(200, 150)}, {"klein-neu.jpg", QSize(100, 50)}}) {
        const QImage image = test::decodedFile(at(name));
        EXPECT_EQ(image.size(), size) << name;
        EXPECT_EQ(quadrantColours(image, 36), "BWBW") << name;
    }
    // The copies are not photos of the list, and the originals are untouched.
    EXPECT_EQ(processor.photos().size(), 2);
    EXPECT_FALSE(isJpeg(readAll(at("klein.png"))));

    // Tiny regions are counted as skipped, not written and not failed: 4 pixels wide after
    // rounding, or wide enough before the cut at the right edge but 8 pixels after it.
    const QUuid huge = addPhoto(photoDir, "riesig.jpg", 4000, 3000);
    EXPECT_EQ(summary(crop({huge}, {0.5, 0.5, 0.001, 0.5}, false)), "0 written, 1 skipped");
    EXPECT_EQ(summary(crop({big}, {0.98, 0, 0.5, 1}, false)), "0 written, 1 skipped");
    EXPECT_EQ(QDir(photoDir).entryList(QDir::Files).size(), 5);
}

TEST_F(CropFixture, FailuresAreReportedPerPhotoAndTheRunGoesOn)
{
    const QString refused = folder("Gesperrt");
    const QString allowed = folder("Frei");
    addPhoto(refused, "a.jpg", 60, 40);
    addPhoto(allowed, "b.jpg", 60, 40);
    addPhoto(allowed, "kaputt.jpg", 0, 0);
    addPhoto(refused, "c.jpg", 60, 40);
    dialogs.cancelFolder();         // Gesperrt, asked first: its first photo comes first
    dialogs.confirmFolder(allowed); // Frei

    // The progress counts every photo, written or failed, and ends before the summary comes.
    QList<double> seen;
    std::optional<StreamEnd> end;
    bool endedBeforeSummary = false;
    ProgressStreamPtr progress = ProgressStream::create();
    progress->subscribe(
        &processor, [&](double value) { seen.append(value); }, [&](const StreamEnd& e) { end = e; });
    const BatchCropResult result =
        crop(allIds(), {0, 0, 1, 1}, false, progress, [&] { endedBeforeSummary = end.has_value(); });
    EXPECT_EQ(seen, (QList<double>{0.25, 0.5, 0.75, 1.0}));
    EXPECT_TRUE(endedBeforeSummary);
    EXPECT_EQ(result.fehler, (QStringList{QStringLiteral("a.jpg: Ordner-Zugriff verweigert"),
                                          QStringLiteral("kaputt.jpg: Rendern fehlgeschlagen. Die Datei ist kein "
                                                         "lesbares Bild: Die Bilddaten sind beschädigt."),
                                          QStringLiteral("c.jpg: Ordner-Zugriff verweigert")}));
    EXPECT_EQ(result.erfolgreich, 1);
    EXPECT_EQ(dialogs.folderRequests.size(), 2);
    EXPECT_TRUE(QFile::exists(allowed + QStringLiteral("/b-neu.jpg")));
    EXPECT_EQ(QDir(refused).entryList(QDir::Files), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("c.jpg")}));
}

// Overwriting writes JPEG bytes under the old names, and beside a camera RAW file, which keeps
// its sensor data and stays the photo's file (the next save goes beside it again).
TEST_F(CropFixture, OverwritingReplacesOriginalsAndResetsTheirEdits)
{
    const QUuid turned = addPhoto(photoDir, "foto.jpg", 400, 300);
    const QUuid png = addPhoto(photoDir, "bild.png", 200, 100);
    const QByteArray dng = test::makeDng(test::quadrants(400, 300));
    ASSERT_TRUE(writeAll(at("DSC_0001.NEF"), dng));
    const QUuid raw = addPhoto(photoDir, "DSC_0001.NEF", 0, 0);
    ASSERT_TRUE(processor.photo(raw)->cameraRawFile);
    PhotoItem edited = *processor.photo(turned);
    edited.edits.rotation = 90; // 300 × 400, green at the top left
    edited.edits.adjustment.exposure = 0.5;
    edited.edits.watermark = Watermark{QStringLiteral("Lumora"), WatermarkPosition::bottomRight};
    edited.edits.masks.append(MaskRect{QRectF(0, 0, 10, 10), QStringLiteral("#000000")});
    processor.updatePhoto(edited);

    EXPECT_EQ(summary(crop(allIds(), {0, 0, 0.5, 0.5}, true)), "3 written, 0 skipped, saved in /Fotos");
    EXPECT_TRUE(dialogs.folderRequests.isEmpty());

    // Nothing else written.
    const QByteArray written = readAll(at("foto.jpg"));
    EXPECT_TRUE(isJpeg(written));
    EXPECT_TRUE(isJpeg(readAll(at("bild.png"))));
    EXPECT_EQ(readAll(at("DSC_0001.NEF")), dng);
    EXPECT_TRUE(isJpeg(readAll(at("DSC_0001-NEF.jpg"))));
    EXPECT_EQ(QDir(photoDir).entryList(QDir::Files).size(), 4);

    // The new originals' display renders follow in the background, not in the UI thread's callback.
    ASSERT_TRUE(test::waitIdle(processor));
    const PhotoItem* photo = processor.photo(turned);
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->url, QUrl::fromLocalFile(at("foto.jpg")));
    EXPECT_EQ(photo->originalCI.encodedBytes(), written);
    EXPECT_EQ(photo->originalCI.size(), QSize(150, 200));
    EXPECT_EQ(photo->edits, EditState{}); // neutral, and no watermark to draw twice
    ASSERT_TRUE(photo->preview);
    EXPECT_EQ(photo->preview->pixelSize, QSize(150, 200));
    EXPECT_EQ(quadrantColours(photo->preview->bitmap, 36), "GGGG");
    EXPECT_EQ(processor.photo(png)->originalCI.size(), QSize(100, 50));
    EXPECT_EQ(processor.photo(raw)->url, QUrl::fromLocalFile(at("DSC_0001.NEF")));
    EXPECT_TRUE(processor.photo(raw)->cameraRawFile);
    EXPECT_EQ(processor.photo(raw)->originalCI.size(), QSize(200, 150));
}

// A name that is not UTF-8 (as old cameras write them) is checked and written as its bytes:
// copies already there are never overwritten, whatever bytes their names hold.
TEST_F(CropFixture, CopiesAreNumberedAndThoseOfNamesThatAreNotUtf8NeverReplaceAFile)
{
    const QByteArray folder = QFile::encodeName(photoDir) + '/';
    const auto named = [&](const QByteArray& name) { return pathFromNative(folder + name); };
    const QByteArray photo = test::encodeWithVips(test::quadrants(64, 48), QStringLiteral("jpg"));
    ASSERT_TRUE(writeFileAtomically(named("b\xE9ild.jpg"), photo));
    ASSERT_TRUE(writeFileAtomically(named("b\xE9ild-neu.jpg"), "eine fremde Kopie"));

    processor.setPhotos({test::photoAt(QUrl::fromLocalFile(named("b\xE9ild.jpg")))});
    dialogs.confirmFolder(photoDir);
    EXPECT_EQ(summary(crop(allIds(), {0, 0, 0.5, 0.5}, false)), "1 written, 0 skipped, saved in /Fotos");
    EXPECT_EQ(readRegularFile(named("b\xE9ild-neu.jpg")).value_or(QByteArray()), QByteArray("eine fremde Kopie"));
    EXPECT_EQ(test::decoded(readRegularFile(named("b\xE9ild-neu-2.jpg")).value_or(QByteArray())).size(), QSize(32, 24));
    EXPECT_EQ(readRegularFile(named("b\xE9ild.jpg")).value_or(QByteArray()), photo);

    // Copies are numbered beside the original, each one found there moving the next a number on.
    for (const char* next : {"photo-neu.jpg", "photo-neu-2.jpg", "photo-neu-3.jpg"}) {
        EXPECT_EQ(nextCopyURL(QUrl::fromLocalFile(at("photo.jpg"))).fileName(), QString::fromLatin1(next));
        ASSERT_TRUE(writeAll(at(next), "x"));
    }
    EXPECT_EQ(nextCopyURL(QUrl::fromLocalFile(at("urlaub.2024.heic"))).fileName(),
              QStringLiteral("urlaub.2024-neu.jpg"));
}
