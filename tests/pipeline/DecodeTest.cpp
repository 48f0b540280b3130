#include "base/RegularFile.h"
#include "pipeline/SourceImage.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include "support/Requirements.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace lumora;
using lumora::test::pixel;
using lumora::test::writeAll;

namespace {

/// The stored pixels for EXIF orientation `tag`: the upright picture transformed by the inverse
/// of what the tag asks a viewer to do.
QImage storedFor(const QImage& upright, int tag)
{
    switch (tag) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.transformed(QTransform().rotate(180));
    case 4: return upright.mirrored(false, true);
    case 5: return upright.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6: return upright.transformed(QTransform().rotate(-90));
    case 7: return upright.transformed(QTransform().rotate(-90)).mirrored(true, false);
    case 8: return upright.transformed(QTransform().rotate(90));
    default: return upright;
    }
}

/// A JPEG whose header claims 60000 × 60000 pixels but which carries the data of 16 × 16.
QByteArray jpegBomb()
{
    QByteArray jpeg = test::encodeWithVips(test::solid(16, 16, Qt::red), QStringLiteral("jpg"));
    const qsizetype frame = jpeg.indexOf("\xFF\xC0"); // height and width follow length and precision
    return frame < 0 ? QByteArray() : jpeg.replace(frame + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
}

} // namespace

TEST(Decode, EveryExifOrientationIsStoredUpright)
{
    const QImage upright = test::quadrants(64, 48);
    for (int tag = 1; tag <= 8; ++tag) {
        SCOPED_TRACE(tag);
        auto source =
            SourceImage::fromEncoded(test::encodeWithVips(storedFor(upright, tag), QStringLiteral("jpg"), tag));
        ASSERT_TRUE(source);
        EXPECT_EQ(source->size(), QSize(64, 48));
        auto image = source->decode();
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSize(64, 48));
        EXPECT_EQ(test::quadrantColours(*image), "RGBW");
        // Shrink-on-load keeps the orientation too.
        auto small = source->decodeToFit(QSize(32, 32));
        ASSERT_TRUE(small);
        EXPECT_EQ(small->size(), QSize(32, 24));
        EXPECT_EQ(test::quadrantColours(*small), "RGBW");
    }
}

// A saturated orange, as sRGB; in a wider space its numbers are far less saturated, so a decode
// that skipped the profile would show other colours (P3: about 209, 126, 60).
TEST(Decode, EveryDecodeSizeConvertsAWideGamutOrPrintProfileAlike)
{
    const QColor orange(222, 121, 40);
    // The profile a photo can carry, and the file format it comes in.
    const std::tuple<QString, const char*> photos[] = {{QStringLiteral("p3"), "jpg"},
                                                       {test::adobeRgbProfile(), "jpg"},
                                                       {QStringLiteral("cmyk"), "jpg"},
                                                       {QStringLiteral("p3"), "png"},
                                                       {test::adobeRgbProfile(), "webp"}};
    for (const auto& [profile, format] : photos) {
        SCOPED_TRACE(testing::Message() << profile.left(40).toStdString() << " " << format);
        ASSERT_FALSE(profile.isEmpty());
        const QByteArray bytes = test::encodeWithVips(test::solid(640, 480, orange), QLatin1String(format), 6, profile);
        ASSERT_FALSE(bytes.isEmpty());
        auto source = SourceImage::fromEncoded(bytes);
        ASSERT_TRUE(source);
        auto full = source->decode();
        ASSERT_TRUE(full);
        const QColor reference = pixel(*full, 100, 100);
        EXPECT_LE(test::channelDistance(reference, orange), 8) << reference.name().toStdString();

        // Grid thumbnail, display render, and a slider step's smaller render: shrunk while decoded.
        for (const auto& small :
             {source->decodeToFit(QSize(160, 160)), source->decodeScaled(0.5), source->decodeToFit(QSize(60, 60))}) {
            ASSERT_TRUE(small);
            const QColor c = pixel(*small, small->width() / 2, small->height() / 2);
            EXPECT_LE(test::channelDistance(c, reference), 2) << small->width() << " " << c.name().toStdString();
        }
    }
}

TEST(Decode, PngWebpAndTiffKeepAlphaAndDepth)
{
    QImage translucent = test::solid(20, 10, QColor(200, 100, 0, 128));
    for (const char* format : {"png", "webp", "tif"}) {
        const QColor c = pixel(test::decoded(test::encodeWithVips(translucent, QString::fromLatin1(format))), 5, 5);
        EXPECT_EQ(c.alpha(), 128) << format;
        EXPECT_NEAR(c.red(), 200, 2) << format;
    }
    const QColor c = pixel(
        test::decoded(test::encodeWithVips(test::solid(8, 8, QColor(10, 128, 250)), QStringLiteral("png16"))), 3, 3);
    EXPECT_NEAR(c.green(), 128, 1);
    EXPECT_NEAR(c.blue(), 250, 1);
}

TEST(Decode, HeicDecodesWhenTheEncoderIsAvailable)
{
    const QByteArray heic = test::encodeWithVips(test::quadrants(64, 64), QStringLiteral("heic"));
    LUMORA_REQUIRE(!heic.isEmpty(), "libheif here has no HEVC encoder to make a sample (libheif1 brings x265)");
    const QImage image = test::decoded(heic);
    EXPECT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(test::quadrantColours(image), "RGBW");
}

// What a photo folder may hold besides photos, hostile or not: each is refused, unread where
// it is no regular file or too large, with a text that names the file and says why.
TEST(Decode, FilesThatAreNoPhotosAreRefusedWithTheirReason)
{
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), at("zero.jpg")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), at("urandom.jpg")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(at("folder.jpg")));
    QFile huge(at("huge.jpg")); // sparse: it takes no room on the disk, yet claims more than a photo may hold
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(kMaxFileBytes + 1));
    huge.close();
    const QByteArray svg = R"(<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16"><rect width="16" height="16" fill="red"/></svg>
)";
    const QByteArray pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                           "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                           "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 16 16]>>endobj\n"
                           "trailer<</Root 1 0 R>>\n%%EOF\n";
    const QString notRegular = QStringLiteral("ist keine reguläre Datei."),
                  unreadable = QStringLiteral("kein lesbares Bild");
    // The files above, and files with these bytes, which are refused as bytes alone too.
    const std::tuple<const char*, QString, std::optional<QByteArray>> cases[] = {
        {"zero.jpg", notRegular, {}},
        {"urandom.jpg", notRegular, {}},
        {"pipe.jpg", notRegular, {}},
        {"folder.jpg", notRegular, {}},
        {"huge.jpg", QStringLiteral("ist zu groß."), {}},
        {"drawing.jpg", unreadable, svg},
        {"document.jpg", unreadable, pdf},
        {"text.jpg", unreadable, "This is a plain text file, not a JPEG.\n"},
        {"empty.jpg", unreadable, QByteArray()},
        {"bomb.jpg", QStringLiteral("60000 × 60000 Pixeln zu groß"), jpegBomb()}};
    for (const auto& [name, why, bytes] : cases) {
        SCOPED_TRACE(name);
        if (bytes) {
            ASSERT_TRUE(writeAll(at(name), *bytes));
            EXPECT_FALSE(SourceImage::fromEncoded(*bytes));
        }
        const auto source = SourceImage::fromFile(at(name));
        ASSERT_FALSE(source);
        EXPECT_EQ(source.error().domain, decoderErrors::domain);
        if (why == unreadable) {
            EXPECT_EQ(source.error().code, decoderErrors::unreadable);
        }
        const QString& text = source.error().description;
        EXPECT_TRUE(text.contains(QLatin1String(name)) && text.contains(why)) << text.toStdString();
    }
    EXPECT_FALSE(SourceImage::fromFile(QStringLiteral("/nonexistent/photo.jpg")));

    // A link to a regular photo is still followed.
    ASSERT_TRUE(writeAll(at("photo.png"), test::encodeWithVips(test::solid(8, 8, Qt::red), QStringLiteral("png"))));
    ASSERT_TRUE(QFile::link(at("photo.png"), at("link.jpg")));
    EXPECT_TRUE(SourceImage::fromFile(at("link.jpg")));
}

// A photo read on demand is sized when it is opened: a JPEG's header is read alone when it is
// within the start of the file, the whole file when comments push it further; the EXIF
// orientation counts either way. Each decode reads the file again.
TEST(Decode, AFileReadOnDemandIsSizedFromItsHeaderAndReadAtEachDecode)
{
    QTemporaryDir dir;
    const QByteArray turned = test::encodeWithVips(test::solid(40, 30, Qt::red), QStringLiteral("jpg"), 6);
    QByteArray commented = turned.left(2); // after the start of image
    for (int i = 0; i < 5; ++i)
        commented += QByteArray("\xFF\xFE\xFD\xE8", 4) + QByteArray(65000 - 2, 'x');
    commented += turned.mid(2);
    for (const QByteArray& bytes : {turned, commented}) {
        const QString path = dir.filePath(QStringLiteral("p%1.jpg").arg(bytes.size()));
        ASSERT_TRUE(writeAll(path, bytes));
        const auto onDemand = SourceImage::fromFileReadOnDemand(path);
        ASSERT_TRUE(onDemand.has_value()) << bytes.size();
        EXPECT_EQ(onDemand->size(), QSize(30, 40)) << bytes.size();
        EXPECT_EQ(onDemand->decode().value_or(QImage()).size(), QSize(30, 40)) << bytes.size();
    }

    // It keeps no bytes: each decode reads its file, with the pixels of one read once; a file
    // gone or replaced by another picture since fails with its name.
    const QString path = dir.filePath(QStringLiteral("p.jpg"));
    ASSERT_TRUE(writeAll(path, test::jpegOf(QColor(200, 40, 90), 64, 48)));
    const auto kept = SourceImage::fromFile(path);
    const auto onDemand = SourceImage::fromFileReadOnDemand(path);
    ASSERT_TRUE(kept && onDemand);
    EXPECT_EQ(onDemand->size(), QSize(64, 48));
    EXPECT_EQ(onDemand->decode().value_or(QImage()), kept->decode().value_or(QImage(1, 1, QImage::Format_RGB32)));
    EXPECT_EQ(onDemand->decodeToFit(QSize(32, 32)).value_or(QImage()).size(), QSize(32, 24));
    EXPECT_EQ(onDemand->encodedBytes(), kept->encodedBytes());

    ASSERT_TRUE(writeAll(path, test::jpegOf(QColor(200, 40, 90), 48, 64))); // another picture now
    const auto replaced = onDemand->decode();
    ASSERT_FALSE(replaced.has_value());
    EXPECT_TRUE(replaced.error().description.contains(QStringLiteral("p.jpg")))
        << replaced.error().description.toStdString();
    EXPECT_EQ(kept->decode().value_or(QImage()).size(), QSize(64, 48)); // the kept bytes are still the photo read

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(onDemand->decode().has_value());
    EXPECT_FALSE(onDemand->decodeToFit(QSize(32, 32)).has_value());
    EXPECT_FALSE(SourceImage::fromFileReadOnDemand(path).has_value());
}
