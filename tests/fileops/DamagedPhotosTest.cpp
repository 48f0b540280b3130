#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QDir>
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
    const QByteArray heic = test::encodeWithVips(picture, QStringLiteral("heic"));
    if (!heic.isEmpty())
        photos.append({QStringLiteral("halb.heic"), heic.left(heic.size() / 2)});
    return photos;
}

} // namespace

TEST(DamagedPhotos, ThumbnailAndFullDecodeAgree)
{
    for (const auto& [name, bytes] : damagedPhotos()) {
        const auto source = SourceImage::fromEncoded(bytes);
        if (!source)
            continue; // refused from its header
        const bool thumbnail =
            source->decodeToFit(QSize(ImageProcessor::kThumbnailSide, ImageProcessor::kThumbnailSide)).has_value();
        const bool display = source->decodeScaled(0.5).has_value();
        const bool full = source->decode().has_value();
        EXPECT_EQ(thumbnail, full) << name.toStdString();
        EXPECT_EQ(display, full) << name.toStdString();
    }
}

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
    for (const PhotoItem& photo : processor.photos())
        loaded.append(photo.url.fileName());
    // A JPEG without its end marker holds the whole picture: it must not be turned away.
    EXPECT_TRUE(loaded.contains(QStringLiteral("ohne-ende.jpg"))) << loaded.join(QLatin1Char(' ')).toStdString();

    const StreamEnd end = saveOverOriginals(processor, std::make_shared<CancelToken>())->wait();
    EXPECT_FALSE(end.error) << end.error->description.toStdString();
    EXPECT_EQ(end.done, loaded.size());
}
