#include "pipeline/SourceImage.h"
#include "support/DngFile.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::DngOptions;
using lumora::test::makeDng;
using lumora::test::photoLike;

namespace {

/// How far a decode is from the photo it was made of: the mean difference per channel, and
/// the share of pixels off by more than 24 in some channel (demosaicing misses at edges).
struct Distance {
    double mean = 0;
    double farShare = 0;
};

Distance distance(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return {255, 1};
    double sum = 0;
    int far = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
            far += test::channelDistance(p, q) > 24 ? 1 : 0;
        }
    }
    const double pixels = double(a.width()) * a.height();
    return {sum / (3 * pixels), far / pixels};
}

/// The tolerance of a sensor-data decode against the photo that was mosaicked: measured 0.26
/// to 0.28 per channel on average here, with 0.35 to 0.45 % of the pixels (along the sharp
/// edge, where demosaicing guesses) off by more than 24.
void expectFaithful(const QImage& decoded, const QImage& photo)
{
    ASSERT_EQ(decoded.size(), photo.size());
    const Distance d = distance(decoded, photo);
    EXPECT_LT(d.mean, 1.0);
    EXPECT_LT(d.farShare, 0.01);
}

/// The mean difference per channel of `shown` from `photo` scaled to `size`.
double meanOff(const QImage& shown, const QImage& photo, QSize size)
{
    return distance(shown, photo.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)).mean;
}

QByteArray jpegOf(const QImage& image)
{
    return test::encodeWithVips(image, QStringLiteral("jpg"));
}

/// A DNG of `photo` with a preview of `previewSize` made of `preview`'s bytes, turned by `orientation`.
QByteArray dngWithPreview(const QImage& photo, const QByteArray& preview, QSize previewSize, int orientation = 1)
{
    DngOptions options;
    options.previewJpeg = preview;
    options.previewSize = previewSize;
    options.orientation = orientation;
    return makeDng(photo, options);
}

/// A DNG whose preview is a different picture (a blue card), so a decode shows which it used.
QByteArray dngWithMarkedPreview(const QImage& photo, QSize previewSize)
{
    return dngWithPreview(photo, jpegOf(test::solid(previewSize.width(), previewSize.height(), Qt::blue)), previewSize);
}

/// The mean difference per channel of the 128 × 128 card of `source` from `photo`.
double cardOff(const std::expected<SourceImage, Error>& source, const QImage& photo)
{
    EXPECT_TRUE(source.has_value());
    return source ? meanOff(source->decodeToFit(QSize(128, 128)).value_or(QImage()), photo, {128, 96}) : 255;
}

bool isBlueCard(const QImage& image)
{
    return !image.isNull() && test::quadrantColours(image) == "BBBB";
}

} // namespace

TEST(RawDecode, SensorDataDecodeToThePhotoTheyWereMadeOf)
{
    const QImage photo = photoLike(256, 192);
    for (const int orientation : {1, 3, 6, 8}) {
        SCOPED_TRACE(orientation);
        DngOptions options;
        options.orientation = orientation;
        const auto source = SourceImage::fromEncoded(makeDng(photo, options));
        ASSERT_TRUE(source.has_value()) << source.error().description.toStdString();
        EXPECT_TRUE(source->isCameraRaw());
        EXPECT_EQ(source->size(), photo.size());
        const bool turned = orientation == 6 || orientation == 8;
        EXPECT_EQ(source->sensorSize(), turned ? photo.size().transposed() : photo.size());
        const auto full = source->decode();
        ASSERT_TRUE(full.has_value()) << full.error().description.toStdString();
        EXPECT_EQ(full->format(), QImage::Format_ARGB32_Premultiplied);
        expectFaithful(*full, photo);
    }
}

TEST(RawDecode, WhiteBalanceAndBlackLevelAreTheCamerasOwn)
{
    // Grey stays grey through another white balance, black stays black and white white.
    QImage steps = test::solid(64, 48, Qt::black);
    QPainter(&steps).fillRect(16, 0, 16, 48, QColor(128, 128, 128));
    QPainter(&steps).fillRect(32, 0, 16, 48, QColor(200, 200, 200));
    QPainter(&steps).fillRect(48, 0, 16, 48, Qt::white);
    for (const auto& neutral : {std::array<double, 3>{1, 1, 1}, std::array<double, 3>{0.45, 1, 0.8}}) {
        DngOptions options;
        options.neutral = neutral;
        const QImage decoded = test::decoded(makeDng(steps, options));
        ASSERT_FALSE(decoded.isNull());
        for (const int x : {8, 24, 40, 56})
            EXPECT_LE(test::channelDistance(test::pixel(decoded, x, 24), test::pixel(steps, x, 24)), 2) << x;
    }
}

TEST(RawDecode, DisplaySizesStartFromALargeEnoughWholePreviewElseFromTheSensorData)
{
    const QImage photo = photoLike(256, 192);

    const auto withPreview = SourceImage::fromEncoded(dngWithMarkedPreview(photo, QSize(256, 192)));
    ASSERT_TRUE(withPreview.has_value());
    EXPECT_TRUE(isBlueCard(withPreview->decodeToFit(QSize(128, 128)).value_or(QImage())));
    // Full size always decodes the sensor data.
    expectFaithful(withPreview->decode().value_or(QImage()), photo);

    // A preview smaller than the card: the sensor data at half size.
    EXPECT_LT(cardOff(SourceImage::fromEncoded(dngWithMarkedPreview(photo, QSize(64, 48))), photo), 3.0);

    // No preview; and a preview of another shape (not the whole picture) is not used either.
    for (const QByteArray& dng : {makeDng(photo), dngWithMarkedPreview(photo, QSize(256, 144))}) {
        const auto source = SourceImage::fromEncoded(dng);
        EXPECT_LT(cardOff(source, photo), 3.0);
        // Above half size the sensor data decode whole.
        EXPECT_LT(meanOff(source->decodeToFit(QSize(200, 200)).value_or(QImage()), photo, {200, 150}), 3.0);
    }

    // A broken preview gives way to the sensor data.
    QByteArray broken = jpegOf(test::solid(256, 192, Qt::blue));
    broken.replace(broken.size() / 3, broken.size() / 3, QByteArray(broken.size() / 3, '\x55'));
    for (const QByteArray& preview : {broken, broken.left(40), QByteArray("\xFF\xD8\xFF\xE0", 4)})
        EXPECT_LT(cardOff(SourceImage::fromEncoded(dngWithPreview(photo, preview, QSize(256, 192))), photo), 3.0);
}

TEST(RawDecode, AFileIsReadForItsCardAloneAndForItsSensorDataOnlyAsTheSameVersion)
{
    QTemporaryDir dir;
    const QImage photo = photoLike(256, 192);
    const QByteArray dng = dngWithMarkedPreview(photo, QSize(256, 192));
    const QString path = dir.filePath(QStringLiteral("bild.dng"));
    ASSERT_TRUE(test::writeAll(path, dng));
    const auto read = SourceImage::fromFile(path);
    const auto kept = SourceImage::fromFile(path);
    ASSERT_TRUE(read.has_value() && kept.has_value());
    EXPECT_TRUE(isBlueCard(read->decodeToFit(QSize(128, 128)).value_or(QImage())));
    ASSERT_TRUE(kept->keepWhole().has_value());

    // Another version under the name: the card still comes from the preview read with the
    // header, but the new version's sensor data are not taken for the old one's.
    ASSERT_TRUE(test::writeAll(path, makeDng(photoLike(128, 96))));
    EXPECT_TRUE(isBlueCard(read->decodeToFit(QSize(128, 128)).value_or(QImage())));
    const auto changed = read->decode();
    ASSERT_FALSE(changed.has_value());
    EXPECT_TRUE(changed.error().description.startsWith(QStringLiteral("„bild.dng“ ist kein lesbares Bild")))
        << changed.error().description.toStdString();
    EXPECT_TRUE(changed.error().description.contains(QStringLiteral("verändert")));
    EXPECT_FALSE(read->keepWhole().has_value());

    // What was kept needs the file no more (a card taken out), the preview included.
    ASSERT_TRUE(QFile::remove(path));
    expectFaithful(kept->decode().value_or(QImage()), photo);
    EXPECT_TRUE(isBlueCard(kept->decodeToFit(QSize(128, 128)).value_or(QImage())));

    // Without a preview the card reads the sensor data from the file.
    const QString bare = dir.filePath(QStringLiteral("ohne.dng"));
    ASSERT_TRUE(test::writeAll(bare, makeDng(photo)));
    EXPECT_LT(cardOff(SourceImage::fromFile(bare), photo), 3.0);
}

TEST(RawDecode, ThePreviewIsTurnedLikeThePhoto)
{
    // A preview stored as the sensor is (red left half), shown upright after a right turn.
    QImage halves = test::solid(64, 48, Qt::blue);
    QPainter(&halves).fillRect(0, 0, 32, 48, Qt::red);
    const auto source = SourceImage::fromEncoded(dngWithPreview(photoLike(48, 64), jpegOf(halves), halves.size(), 6));
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->size(), QSize(48, 64));
    const QImage shown = source->decodeToFit(QSize(24, 32)).value_or(QImage());
    ASSERT_EQ(shown.size(), QSize(24, 32));
    EXPECT_EQ(test::quadrantColours(shown, 60), "RRBB"); // the left half turned right is the top
}

TEST(RawDecode, DamagedAndHostileFilesAreRefusedWithAReasonNamingTheFile)
{
    QTemporaryDir dir;
    const QByteArray dng = makeDng(photoLike(256, 192));
    DngOptions huge;
    huge.claimedSize = QSize(60000, 60000);
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"halb.dng", dng.left(dng.size() / 2), "„halb.dng“ ist kein lesbares Bild: Die Datei ist unvollständig"},
        {"ende.dng", dng.left(dng.size() - 1000), "„ende.dng“ ist kein lesbares Bild: Die Datei ist unvollständig"},
        {"kopf.dng", dng.left(400), "„kopf.dng“ ist kein lesbares Bild"},
        {"riesig.dng", makeDng(photoLike(64, 48), huge), "„riesig.dng“ ist mit 60000 × 60000 Pixeln zu groß."},
        {"fuji.raf", QByteArray("FUJIFILMCCD-RAW 0201FF383501") + QByteArray(200, '\0'),
         "„fuji.raf“ ist kein lesbares Bild"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        ASSERT_TRUE(test::writeAll(path, c.bytes));
        const auto source = SourceImage::fromFile(path);
        ASSERT_FALSE(source.has_value());
        EXPECT_TRUE(source.error().description.startsWith(QString::fromUtf8(c.reason)))
            << source.error().description.toStdString();
    }
}

// GIF and BMP decode their first frame within the caps; plain TIFF and the other formats are
// never taken for camera raw files.
TEST(OtherFormats, DecodeTheirFirstFrameWithinTheCapsAndAreNotTakenForRaw)
{
    const QImage photo = test::quadrants(64, 48);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && photo.save(&buffer, "BMP"));
    for (const QByteArray& bytes :
         {bmp, test::encodeWithVips(photo, QStringLiteral("gif")), test::encodeWithVips(photo, QStringLiteral("tif")),
          test::encodeWithVips(photo, QStringLiteral("jpg")), test::encodeWithVips(photo, QStringLiteral("png"))}) {
        const auto source = SourceImage::fromEncoded(bytes);
        ASSERT_TRUE(source.has_value()) << source.error().description.toStdString();
        EXPECT_FALSE(source->isCameraRaw());
        EXPECT_TRUE(source->sensorSize().isEmpty());
        EXPECT_EQ(source->size(), QSize(64, 48));
        EXPECT_EQ(test::quadrantColours(source->decode().value_or(QImage())), "RGBW");
        const QImage small = source->decodeToFit(QSize(32, 32)).value_or(QImage());
        EXPECT_EQ(small.size(), QSize(32, 24));
        EXPECT_EQ(test::quadrantColours(small), "RGBW");
    }
    // An animation of two 1 × 1 frames, red then blue: the first frame is the photo.
    const QByteArray frames("GIF89a\x01\x00\x01\x00\x80\x00\x00"
                            "\xFF\x00\x00\x00\x00\xFF"                                     // red, blue
                            "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00" // index 0
                            "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4C\x01\x00" // index 1
                            "\x3B",
                            50);
    const QImage first = test::decoded(frames);
    ASSERT_EQ(first.size(), QSize(1, 1));
    EXPECT_EQ(test::pixel(first, 0, 0), QColor(Qt::red));

    // A BMP header claiming 100000 × 100000 pixels, and one cut short.
    QByteArray bomb = bmp;
    const QByteArray side("\xA0\x86\x01\x00", 4); // 100000, little-endian
    bomb.replace(18, 4, side).replace(22, 4, side);
    const auto refused = SourceImage::fromEncoded(bomb);
    ASSERT_FALSE(refused.has_value());
    EXPECT_TRUE(refused.error().description.contains(QStringLiteral("zu groß")))
        << refused.error().description.toStdString();
    const auto cut = SourceImage::fromEncoded(bmp.left(60));
    EXPECT_FALSE(cut.has_value() && cut->decode().has_value());
}
