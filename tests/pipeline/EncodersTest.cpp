#include "pipeline/Encoders.h"
#include "base/AtomicFile.h"
#include "pipeline/Render.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace lumora;
using lumora::test::pixel;

TEST(Encoders, ImagesWithoutPixelsFailWithTheirCodes)
{
    const auto jpeg = encodeJPEG(Image{}, 0.95);
    ASSERT_FALSE(jpeg);
    EXPECT_EQ(jpeg.error(), (Error{encoderErrors::domain, encoderErrors::jpegNoImage,
                                   QStringLiteral("CGImage konnte nicht erzeugt werden")}));
    const auto png = encodePNG(Image{QImage(), QRectF(0, 0, 10, 10)});
    ASSERT_FALSE(png);
    EXPECT_EQ(png.error().code, encoderErrors::pngNoImage);
    EXPECT_EQ(png.error().description, QStringLiteral("CGImage für PNG konnte nicht erzeugt werden"));
    EXPECT_EQ(encodingError(encoderErrors::pngEncodingFailed).description,
              QStringLiteral("PNG-Encoding fehlgeschlagen"));
}

TEST(Encoders, PngKeepsTransparencyJpegCompositesOverWhite)
{
    QImage half = test::solid(10, 10, Qt::transparent);
    for (int y = 0; y < 10; ++y)
        for (int x = 5; x < 10; ++x)
            half.setPixelColor(x, y, QColor(255, 0, 0, 255));
    const Image image{half, QRectF(0, 0, 10, 10)};

    auto png = SourceImage::fromEncoded(*encodePNG(image))->decode();
    ASSERT_TRUE(png);
    EXPECT_EQ(pixel(*png, 2, 2).alpha(), 0);
    EXPECT_EQ(pixel(*png, 7, 2), QColor(Qt::red));

    const QByteArray jpegBytes = *encodeJPEG(image, 0.95);
    auto jpeg = SourceImage::fromEncoded(jpegBytes)->decode();
    ASSERT_TRUE(jpeg);
    EXPECT_GT(pixel(*jpeg, 1, 1).blue(), 245); // transparent became white
    EXPECT_EQ(pixel(*jpeg, 1, 1).alpha(), 255);
}

TEST(Encoders, OutputCarriesNoMetadataAndUprightPixels)
{
    // A photo stored sideways with orientation 6 is written upright, without an orientation tag.
    const QImage upright = test::quadrants(60, 40);
    const QByteArray tagged =
        test::encodeWithVips(upright.transformed(QTransform().rotate(-90)), QStringLiteral("jpg"), 6);
    auto source = SourceImage::fromEncoded(tagged);
    ASSERT_TRUE(source);
    auto image = renderImage(*source, {});
    ASSERT_TRUE(image);
    const QByteArray written = *encodeJPEG(*image, 0.95);
    EXPECT_FALSE(written.contains("Exif"));
    EXPECT_FALSE(written.contains("ICC_PROFILE"));
    auto reread = SourceImage::fromEncoded(written);
    EXPECT_EQ(reread->size(), QSize(60, 40));
    EXPECT_GT(pixel(*reread->decode(), 45, 10).green(), 200);

    const QByteArray png = *encodePNG(*image);
    EXPECT_FALSE(png.contains("eXIf"));
    EXPECT_FALSE(png.contains("iCCP"));
}

TEST(Encoders, QualityChangesTheJpegSize)
{
    const Image image{test::noise(200, 200, 3), QRectF(0, 0, 200, 200)};
    const qsizetype low = encodeJPEG(image, 0.3)->size();
    const qsizetype high = encodeJPEG(image, 0.95)->size();
    EXPECT_LT(low * 2, high);
    EXPECT_TRUE(encodeJPEG(image, -1.0)); // clamped to the lowest quality, not an error
}

TEST(AtomicFile, ReplacesWholeOrLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.jpg"));
    ASSERT_TRUE(writeFileAtomically(path, "first"));
    ASSERT_TRUE(writeFileAtomically(path, "second version"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second version"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left behind
    // A replaced file keeps its permissions.
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, mode));
    ASSERT_TRUE(writeFileAtomically(path, "second version"));
    const auto modeBits = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                          | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                          | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFile::permissions(path) & modeBits, mode);

    const auto missing = writeFileAtomically(dir.filePath(QStringLiteral("no/such/folder/x.jpg")), "x");
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().description.isEmpty());

    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto readOnly = writeFileAtomically(path, "third");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (::geteuid() != 0) { // root writes anywhere
        EXPECT_FALSE(readOnly);
        file.seek(0);
        EXPECT_EQ(file.readAll(), QByteArray("second version"));
    }
}

TEST(Encoders, ATurnLeftToTheEncoderWritesTheSamePicture)
{
    // Photo with a label and an anchored watermark, in all eight mirror/turn combinations:
    // rendered for an encoder (turn applied while writing) it must equal the turned raster.
    const SourceImage source = SourceImage::fromRaster(test::quadrants(90, 60));
    EditState edits;
    edits.adjustment = {0.2, 0, 1.1, 1, 0.5};
    TextMark mark;
    mark.position = {20, 45};
    mark.text = QStringLiteral("Ab");
    mark.fontSize = 14;
    mark.colorHex = QStringLiteral("#000000");
    mark.hasBackground = true;
    edits.textMarks = {mark};
    edits.watermark = Watermark{QStringLiteral("W"), WatermarkPosition::bottomRight, 1, 0.3, QStringLiteral("#FFFF00")};
    for (int q = 0; q < 4; ++q)
        for (int f = 0; f < 4; ++f) {
            edits.rotation = 90.0 * q;
            edits.flippedH = f & 1;
            edits.flippedV = f & 2;
            const Image direct = *renderImage(source, edits);
            const Image deferred = *renderImage(source, edits, 1.0, RenderTarget::encoder);
            EXPECT_EQ(deferred.pendingTurn.isIdentity(), q == 0 && f == 0);
            const QImage written = *SourceImage::fromEncoded(*encodePNG(deferred))->decode();
            ASSERT_EQ(written.size(), direct.raster.size()) << q << "/" << f;
            EXPECT_EQ(materialised(deferred).raster.size(), direct.raster.size());
            int worst = 0;
            double total = 0;
            for (int y = 0; y < written.height(); ++y)
                for (int x = 0; x < written.width(); ++x) {
                    const QRgb a = written.pixel(x, y), b = direct.raster.pixel(x, y);
                    const int d = std::max(
                        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
                    worst = std::max(worst, d);
                    total += d;
                }
            // Identical pixels but for the anti-aliasing of glyph edges: text drawn through a
            // mirror or turn is placed to the sub-pixel, text drawn straight snaps its baseline.
            EXPECT_LT(total / (written.width() * written.height()), 2.0) << q << "/" << f << " worst " << worst;
            EXPECT_EQ(qRed(written.pixel(2, 2)), qRed(direct.raster.pixel(2, 2))) << q << "/" << f;
        }
}
