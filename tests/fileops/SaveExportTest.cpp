#include "fileops/SaveExport.h"
#include "FileopsTestSupport.h"
#include "base/NativePath.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/Overlays.h"
#include "pipeline/Render.h"
#include "support/DngFile.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

using namespace lumora;
using namespace lumora::test;

namespace {

/// p1.jpg … in `folder`, each of its own colour.
QList<PhotoItem> photos(const QTemporaryDir& folder, int count)
{
    QList<PhotoItem> list;
    for (const QUrl& url : writePhotos(folder, count, 64, 48, QStringLiteral("p")))
        list.append(photoAt(url));
    return list;
}

} // namespace

TEST(ExportNames, NumbersFollowTheListLengthKeepInnerDotsAndFitTheFileSystem)
{
    const QUrl img = QUrl::fromLocalFile(QStringLiteral("/card/DCIM/IMG_0042.JPG"));
    const std::tuple<int, int, QUrl, ExportFormat, const char*> cases[] = {
        {2, 7, img, ExportFormat::jpeg, "3_IMG_0042.jpg"},
        {2, 12, img, ExportFormat::jpeg, "03_IMG_0042.jpg"},
        {2, 120, img, ExportFormat::jpeg, "003_IMG_0042.jpg"},
        {0, 10, QUrl::fromLocalFile(QStringLiteral("/x/urlaub.tag1.png")), ExportFormat::png, "01_urlaub.tag1.png"},
        {0, 10, QUrl::fromLocalFile(QStringLiteral("/x/scan")), ExportFormat::jpeg, "01_scan.jpg"},
    };
    for (const auto& [index, count, url, format, name] : cases)
        EXPECT_EQ(exportFileName(index, numberWidth(count), url, format), QLatin1String(name));

    // Names past what a file system holds lose the end of their base name.
    const QString umlauts(200, QChar(0xE4));                                  // 400 bytes as UTF-8
    const QString emoji = QString::fromUtf8("\xF0\x9F\x93\xB7").repeated(70); // 280 bytes, pairs
    const QString notUtf8 = QString(250, QChar(0xDCE9));                      // 250 single bytes (see NativePath.h)
    for (const QString& base : {QString(300, QLatin1Char('x')), umlauts, emoji, notUtf8}) {
        const QString name = exportFileName(
            0, 3, QUrl::fromLocalFile(QStringLiteral("/x/") + base + QStringLiteral(".jpeg")), ExportFormat::png);
        const QByteArray bytes = nativePath(name);
        EXPECT_LE(bytes.size(), kMaxFileNameBytes) << bytes.size();
        EXPECT_GE(bytes.size(), kMaxFileNameBytes - 3); // cut at a character, not far before
        EXPECT_TRUE(name.startsWith(QStringLiteral("001_") + base.left(20)));
        EXPECT_TRUE(name.endsWith(QStringLiteral(".png")));
        EXPECT_EQ(pathFromNative(bytes), name); // no half character left at the cut
    }
}

// A link under an export name is replaced, not followed.
TEST(Export, FirstFailureStopsTheRunWithTheFileSystemsText)
{
    QTemporaryDir source, target, outside;
    const QString secret = outside.filePath(QStringLiteral("secret.txt"));
    const QString planted = target.filePath(QStringLiteral("01_p1.jpg"));
    ASSERT_TRUE(writeAll(secret, "nicht überschreiben") && QFile::link(secret, planted));
    const QList<PhotoItem> list = photos(source, 10);
    QDir(target.path()).mkdir(QStringLiteral("05_p5.jpg")); // the fifth target cannot be replaced
    QList<double> values;
    const StreamEnd end = exportJPEG(list, std::make_shared<CancelToken>(), 2, target.path(), 10)->wait(&values);
    ASSERT_TRUE(end.error); // its text is checked with the other write faults
    EXPECT_EQ(values, (QList<double>{0.1, 0.2, 0.3, 0.4}));
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).size(), 4); // no temporary left
    EXPECT_EQ(readAll(secret), QByteArray("nicht überschreiben"));
    EXPECT_FALSE(QFileInfo(planted).isSymLink());
    EXPECT_TRUE(readAll(planted).startsWith("\xFF\xD8\xFF"));

    // Cancelled at once: the first photo's decode, already under way, ends with the run.
    QTemporaryDir empty;
    auto token = std::make_shared<CancelToken>();
    token->cancel();
    EXPECT_EQ(ended(exportJPEG(list, token, 2, empty.path(), 10)->wait()), "cancelled 0/10");
    EXPECT_TRUE(QDir(empty.path()).entryList(QDir::Files).isEmpty());
}

// Each original gets JPEG bytes of the photo as shown, while the one in memory stays untouched,
// so saving again writes the same picture, not turned twice.
TEST(Save, WritesJpegOverEachOriginalAndKeepsThePhotoInMemory)
{
    QTemporaryDir dir;
    const QUrl png = writePhotoFile(dir.path(), QStringLiteral("shot.png"),
                                    encodeWithVips(quadrants(40, 30), QStringLiteral("png")));
    const QByteArray dng = makeDng(photoLike(64, 48));
    const QUrl raw = writePhotoFile(dir.path(), QStringLiteral("IMG_0042.DNG"), dng);
    // The camera's own JPEG of the same shot stays as it is.
    const QUrl cameraJpeg = writePhotoFile(dir.path(), QStringLiteral("IMG_0042.JPG"), jpegOf(Qt::red));
    QList<PhotoItem> list{photoAt(png), photoAt(raw)};
    for (PhotoItem& photo : list)
        photo.edits.rotation = 90;
    ImageProcessor processor;
    processor.setPhotos(list);
    auto token = std::make_shared<CancelToken>();
    EXPECT_EQ(ended(saveOverOriginals(processor, token)->wait()), "2/2");
    const QByteArray first = readAll(png.toLocalFile());
    EXPECT_TRUE(first.startsWith("\xFF\xD8")); // JPEG bytes under the .png name
    EXPECT_EQ(SourceImage::fromEncoded(first)->size(), QSize(30, 40));
    EXPECT_EQ(processor.photos().first().originalCI.encodedBytes(), list[0].originalCI.encodedBytes());
    EXPECT_EQ(ended(saveOverOriginals(processor, token)->wait()), "2/2");
    EXPECT_EQ(readAll(png.toLocalFile()), first);

    // A camera RAW file keeps its sensor data and gets its JPEG beside it.
    EXPECT_EQ(readAll(raw.toLocalFile()), dng);
    EXPECT_EQ(readAll(cameraJpeg.toLocalFile()), jpegOf(Qt::red));
    const QByteArray beside = readAll(dir.filePath(QStringLiteral("IMG_0042-DNG.jpg")));
    ASSERT_TRUE(beside.startsWith("\xFF\xD8"));
    EXPECT_EQ(SourceImage::fromEncoded(beside)->size(), QSize(48, 64));
    EXPECT_EQ(besideRawName(QStringLiteral("urlaub.tag1.dng")), QStringLiteral("urlaub.tag1-dng.jpg"));
    EXPECT_EQ(besideRawName(QStringLiteral("ROHDATEN")), QStringLiteral("ROHDATEN.jpg"));
}

// A watermark the font cannot draw stops the export with a German reason naming the photo, and
// nothing is written for it (that the drawn tiles reach the file is checked on the render).
TEST(Export, AWatermarkThatCannotBeDrawnFailsTheExport)
{
    QTemporaryDir source, target;
    QList<PhotoItem> list{photoAt(writePhotoFile(source.path(), QStringLiteral("gross.jpg"), jpegOf(Qt::black)))};
    list[0].edits.watermark = Watermark{QStringLiteral("W"), WatermarkPosition::tiled, 1,
                                        std::numeric_limits<double>::quiet_NaN(), QStringLiteral("#FFFFFF")};
    const StreamEnd end = exportPNG(list, std::make_shared<CancelToken>(), 1, target.path(), 1)->wait();
    ASSERT_TRUE(end.error);
    EXPECT_TRUE(end.error->description.startsWith(QStringLiteral("Das Wasserzeichen kann nicht gezeichnet werden: ")));
    EXPECT_TRUE(end.error->description.contains(QStringLiteral("„gross.jpg“")));
    EXPECT_FALSE(QFile::exists(target.filePath(QStringLiteral("1_gross.png"))));
}

// Saving writes where each photo was loaded from: a link swapped in for the file since, or for
// its folder, is refused with a German reason and the file it leads to is left alone; a photo
// loaded through a link is written where that link led when it was loaded.
TEST(Save, ALinkSwappedInAfterLoadingIsNotFollowed)
{
    QTemporaryDir dir, outside;
    const QString secret = outside.filePath(QStringLiteral("geheim.jpg"));
    ASSERT_TRUE(writeAll(secret, "nicht überschreiben"));
    const QString real = dir.filePath(QStringLiteral("echt.jpg"));
    const QUrl photo = writePhotoFile(dir.path(), QStringLiteral("foto.jpg"), jpegOf(Qt::red));
    ASSERT_TRUE(writeAll(real, jpegOf(Qt::blue)) && QFile::link(real, dir.filePath(QStringLiteral("verweis.jpg"))));
    ImageProcessor processor;
    ASSERT_TRUE(loadAndWait(processor, {photo, QUrl::fromLocalFile(dir.filePath(QStringLiteral("verweis.jpg")))}));
    ASSERT_EQ(processor.photos().size(), 2);
    auto token = std::make_shared<CancelToken>();
    EXPECT_EQ(ended(saveOverOriginals(processor, token)->wait()), "2/2");
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("verweis.jpg"))).isSymLink());

    ASSERT_TRUE(QFile::remove(photo.toLocalFile()) && QFile::link(secret, photo.toLocalFile()));
    const StreamEnd end = saveOverOriginals(processor, token)->wait();
    ASSERT_TRUE(end.error);
    EXPECT_EQ(end.error->description, QStringLiteral("„foto.jpg“ konnte nicht geschrieben werden: Der Pfad führt "
                                                     "inzwischen zu einer anderen Datei als der, die geladen wurde."));
    EXPECT_EQ(readAll(secret), QByteArray("nicht überschreiben"));
}

namespace {

/// Every step of the chain on a w × h photo, turned by `rotation`.
EditState everyStep(QSize size, double rotation)
{
    const double w = size.width(), h = size.height();
    EditState edits;
    edits.adjustment = AdjustmentState{0.3, 0.05, 1.1, 1.15, 0.4};
    edits.rotation = rotation;
    edits.flippedH = true;
    edits.masks = {MaskRect{QRectF(0.05 * w, 0.05 * h, 0.2 * w, 0.1 * h), QStringLiteral("#000000")}};
    edits.freehandOverlays = {
        *rasterizeArrow(Arrow{QPointF(0.3 * w, 0.4 * h), 0.6, 0.4 * w, 0.01 * w, QStringLiteral("#FF3B30")}, size)};
    edits.textMarks = {TextMark{.position = QPointF(0.3 * w, 0.7 * h),
                                .text = QStringLiteral("Kratzer links"),
                                .fontSize = 0.05 * h,
                                .colorHex = QStringLiteral("#FFFFFF"),
                                .hasBackground = true}};
    edits.watermark = Watermark{QStringLiteral("© Lumora Studio"), WatermarkPosition::tiled, 0.35, 0.06};
    return edits;
}

/// This process's threads that carry its own name: the threads the program starts itself (the
/// libraries name theirs).
int ownThreads()
{
    const QByteArray name = readAll(QStringLiteral("/proc/self/comm"));
    int count = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        count += readAll(QStringLiteral("/proc/self/task/%1/comm").arg(task)) == name;
    return count;
}

} // namespace

// When an export says it has ended, every thread it started has ended: a program that exits
// once it is told must not tear down the libraries under a thread that is still ending (the
// command line's export crashed after its last file, now and then).
TEST(Export, EveryThreadOfTheRunHasEndedWhenItsEndIsReported)
{
    QTemporaryDir source, target;
    QList<PhotoItem> list = photos(source, 3);
    for (PhotoItem& photo : list)
        photo.edits = everyStep(QSize(64, 48), 90);
    auto token = std::make_shared<CancelToken>();
    ASSERT_EQ(ended(exportJPEG(list, token, 1, target.path(), 3)->wait()), "3/3"); // starts the work pool
    const int before = ownThreads();
    for (int run = 0; run < 5; ++run) {
        ASSERT_EQ(ended(exportJPEG(list, token, 1, target.path(), 3)->wait()), "3/3");
        EXPECT_EQ(ownThreads(), before) << "run " << run;
    }
}

// The export renders and encodes each photo a band of rows at a time; its files hold the very
// bytes of the whole photo rendered at once and encoded, for JPEG and PNG, quarter turns and
// another angle. (Text marks and the watermark go on different photos: the outlines Qt gives
// the watermark's letters depend on which text its font caches have drawn before, which would
// make the comparison depend on the order of the renders.)
TEST(Export, StreamedFilesAreTheWholeRenderEncoded)
{
    QTemporaryDir source, target;
    const QSize size(700, 530); // several bands of rows, turned or not
    QList<PhotoItem> list;
    // JPEGs are decoded band by band while the photo before is rendered; the other angle and a
    // PNG are decoded whole once it has gone, between them.
    const std::tuple<double, bool, QString> photos[] = {{90, true, "jpg"},  {270, false, "jpg"}, {0, true, "jpg"},
                                                        {30, false, "jpg"}, {90, true, "png"},   {180, false, "jpg"}};
    for (const auto& [rotation, text, type] : photos) {
        PhotoItem photo = photoAt(writePhotoFile(source.path(), QStringLiteral("r%1.%2").arg(list.size()).arg(type),
                                                 encodeWithVips(noise(size.width(), size.height()), type)));
        photo.edits = everyStep(size, rotation);
        if (text)
            photo.edits.watermark.reset();
        else
            photo.edits.textMarks.clear();
        list.append(photo);
    }
    auto token = std::make_shared<CancelToken>();
    for (ExportFormat format : {ExportFormat::jpeg, ExportFormat::png}) {
        const auto run = format == ExportFormat::png ? exportPNG : exportJPEG;
        ASSERT_EQ(ended(run(list, token, 1, target.path(), 6)->wait()), "6/6");
        for (int i = 0; i < list.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "photo " << i << (format == ExportFormat::png ? " PNG" : " JPEG"));
            const auto whole = renderImage(list[i].originalCI, list[i].edits);
            ASSERT_TRUE(whole.has_value());
            const QByteArray expected = format == ExportFormat::png ? *encodePNG(*whole) : *encodeJPEG(*whole, 0.95);
            const QString name = exportFileName(i, 1, list[i].url, format);
            EXPECT_EQ(readAll(target.filePath(name)), expected);
        }
    }
}
