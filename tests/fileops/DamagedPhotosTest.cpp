#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include "support/Requirements.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

// One decode rule for the thumbnail and the full decode: a damaged photo either loads and can
// then be saved, or it is refused when it is loaded, never found out only by "Speichern".

using namespace lumora;

namespace {

/// `bytes` with `count` bytes from `offset` on overwritten by a pattern a decoder cannot read.
QByteArray scrambled(QByteArray bytes, qsizetype offset, qsizetype count)
{
    for (qsizetype i = offset; i < offset + count && i < bytes.size(); ++i)
        bytes[i] = char((i * 151) & 0xFF);
    return bytes;
}

/// Photos damaged as cards and downloads damage them, by name.
QList<std::pair<QString, QByteArray>> damagedPhotos()
{
    const QImage picture = test::noise(1200, 900);
    const QByteArray jpeg = test::encodeWithVips(picture, QStringLiteral("jpg"), 6);
    const QByteArray png = test::encodeWithVips(picture, QStringLiteral("png"));
    const QByteArray webp = test::encodeWithVips(picture, QStringLiteral("webp"));
    const QByteArray tiff = test::encodeWithVips(picture, QStringLiteral("tif"));
    QList<std::pair<QString, QByteArray>> photos{
        {QStringLiteral("ohne-ende.jpg"), jpeg.chopped(2)},
        {QStringLiteral("halb.jpg"), jpeg.left(jpeg.size() / 2)},
        {QStringLiteral("kopf.jpg"), jpeg.left(700)},
        {QStringLiteral("verrauscht.jpg"), scrambled(jpeg, jpeg.size() / 3, 4000)},
        {QStringLiteral("halb.png"), png.left(png.size() / 2)},
        {QStringLiteral("verrauscht.png"), scrambled(png, png.size() / 3, 64)},
        {QStringLiteral("halb.webp"), webp.left(webp.size() / 2)},
        {QStringLiteral("halb.tif"), tiff.left(tiff.size() / 2)},
    };
    // Without a HEVC encoder (libheif1 brings x265) there is no HEIC sample; CI always has one.
    const QByteArray heic = test::encodeWithVips(picture, QStringLiteral("heic"));
    EXPECT_TRUE(!heic.isEmpty() || !test::underCi()) << "no HEIC encoder under CI";
    if (!heic.isEmpty())
        photos.append({QStringLiteral("halb.heic"), heic.left(heic.size() / 2)});
    return photos;
}

} // namespace

TEST(DamagedPhotos, EveryPhotoThatLoadsCanBeSaved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QList<QUrl> urls;
    for (const auto& [name, bytes] : damagedPhotos())
        urls.append(test::writePhotoFile(dir.path(), name, bytes));

    ImageProcessor processor;
    ASSERT_TRUE(test::loadAndWait(processor, urls));
    QStringList loaded;
    for (const PhotoItem& photo : processor.photos()) {
        loaded.append(photo.url.fileName());
        EXPECT_TRUE(photo.originalCI.decodeScaled(0.5)) << loaded.last().toStdString(); // the display decode
    }
    // A JPEG without its end marker holds the whole picture: it must not be turned away.
    EXPECT_TRUE(loaded.contains(QStringLiteral("ohne-ende.jpg"))) << loaded.join(QLatin1Char(' ')).toStdString();

    const StreamEnd end = saveOverOriginals(processor, std::make_shared<CancelToken>())->wait();
    EXPECT_FALSE(end.error) << end.error->description.toStdString();
    EXPECT_EQ(end.done, loaded.size());
}

namespace {

/// `jpeg` claiming w × h pixels in its frame header, cut right after its scan header: a header
/// without any image data.
QByteArray headerOnly(QByteArray jpeg, int w, int h)
{
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    if (frame < 0 || scan < 0)
        return {};
    jpeg[frame + 5] = char(h >> 8), jpeg[frame + 6] = char(h & 0xFF);
    jpeg[frame + 7] = char(w >> 8), jpeg[frame + 8] = char(w & 0xFF);
    const int scanLength = (uchar(jpeg[scan + 2]) << 8) | uchar(jpeg[scan + 3]);
    return jpeg.left(scan + 2 + scanLength);
}

struct CutPhoto {
    const char* name;
    QByteArray bytes;
    const char* refusal; ///< what the refusal says; empty for a photo that loads
};

} // namespace

// A photo whose data is missing, or cut short beyond a few rows, is refused with the German
// reason by the thumbnail and the full decode alike; one that lacks only its last bytes loads.
TEST(DamagedPhotos, APhotoMissingMoreThanAFewRowsIsRefused)
{
    const QByteArray jpeg = test::encodeWithVips(test::noise(1200, 900), QStringLiteral("jpg"));
    const QByteArray png = test::encodeWithVips(test::noise(1200, 900), QStringLiteral("png"));
    const QByteArray header = headerOnly(jpeg, 15000, 15000);
    ASSERT_LT(header.size(), 1000);
    const CutPhoto cases[] = {
        {"kopf-225-MP.jpg", header, "Sie enthält keine Bilddaten."},
        {"halb.jpg", jpeg.left(jpeg.size() / 2), "Die Datei ist unvollständig, es fehlen die Bilddaten von "},
        {"halb.png", png.left(png.size() / 2), "Bild"},
        {"ohne-ende.jpg", jpeg.chopped(2), ""},
        {"fast-ganz.jpg", jpeg.left(jpeg.size() * 998 / 1000), ""},
    };
    for (const CutPhoto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto source = SourceImage::fromEncoded(c.bytes);
        ASSERT_TRUE(source); // the header is fine
        const auto thumbnail =
            source->decodeToFit(QSize(ImageProcessor::kThumbnailSide, ImageProcessor::kThumbnailSide));
        const auto full = source->decode();
        EXPECT_EQ(thumbnail.has_value(), !*c.refusal);
        EXPECT_EQ(full.has_value(), !*c.refusal);
        if (*c.refusal) {
            ASSERT_FALSE(thumbnail || full);
            for (const Error& error : {thumbnail.error(), full.error()}) {
                EXPECT_TRUE(error.description.startsWith(QStringLiteral("Die Datei ist kein lesbares Bild: ")));
                EXPECT_TRUE(error.description.contains(QString::fromUtf8(c.refusal)))
                    << error.description.toStdString();
            }
        }
    }
}
