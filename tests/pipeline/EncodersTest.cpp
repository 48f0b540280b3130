#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace lumora;
using lumora::test::pixel;

// The pixels are written as they are (a tagged photo is upright once decoded), without any tag;
// PNG keeps transparency; the JPEG quality changes the size.
TEST(Encoders, OutputCarriesNoMetadataPngKeepsTransparencyAndQualityChangesTheSize)
{
    const Image image{test::quadrants(60, 40), QRectF(0, 0, 60, 40)};
    const QByteArray written = *encodeJPEG(image, 0.95);
    EXPECT_FALSE(written.contains("Exif"));
    EXPECT_FALSE(written.contains("ICC_PROFILE"));
    EXPECT_EQ(test::quadrantColours(test::decoded(written)), "RGBW");
    const QByteArray png = *encodePNG(image);
    EXPECT_FALSE(png.contains("eXIf"));
    EXPECT_FALSE(png.contains("iCCP"));
    QImage half = test::solid(10, 10, Qt::transparent);
    QPainter(&half).fillRect(5, 0, 5, 10, Qt::red);
    const QImage decoded = test::decoded(*encodePNG(Image{half, QRectF(0, 0, 10, 10)}));
    EXPECT_EQ(pixel(decoded, 2, 2).alpha(), 0);
    EXPECT_EQ(pixel(decoded, 7, 2), QColor(Qt::red));

    // The quality changes the JPEG's size; one below the lowest is clamped, not an error.
    const Image busy{test::noise(200, 200, 3), QRectF(0, 0, 200, 200)};
    EXPECT_LT(encodeJPEG(busy, 0.3)->size() * 2, encodeJPEG(busy, 0.95)->size());
    EXPECT_TRUE(encodeJPEG(busy, -1.0));
}

TEST(Encoders, JpegFromTheRowsMatchesLibvipsOwnEncoder)
{
    // The compressor reads the raster's rows as they are (translucent rows laid over white);
    // the picture equals what libvips' saver writes of the same pixels over white, within one
    // code, for a turned and mirrored render, for a half-transparent one, and for one whose file
    // outgrows the encoder's first megabyte of room several times.
    const SourceImage source = SourceImage::fromRaster(test::noise(97, 61, 5));
    EditState edits;
    edits.adjustment = {0.2, 0, 1.1, 1, 0.5};
    edits.rotation = 90;
    edits.flippedH = true;
    QImage translucent = test::noise(64, 48, 9);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 32; ++x)
            translucent.setPixel(x, y, qPremultiply(qRgba(200, 40, 10, 100 + x)));
    const QImage large = test::noise(1600, 1200, 11);
    for (const QImage& raster : {renderImage(source, edits)->raster, translucent, large}) {
        const Image image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
        QImage overWhite = test::solid(raster.width(), raster.height(), Qt::white);
        QPainter(&overWhite).drawImage(0, 0, raster);
        const QByteArray encoded = *encodeJPEG(image, 0.95);
        if (raster.width() == large.width()) {
            ASSERT_GT(encoded.size(), 3 << 20);
        }
        const QImage ours = test::decoded(encoded);
        const QImage theirs = test::decoded(test::encodeWithVips(overWhite, QStringLiteral("jpg")));
        EXPECT_LE(test::largestDifference(ours, theirs), 1) << raster.size().width();
    }
}

// Handed to a sink as they are made, the bytes are those of the whole file, in parts of at most
// kJpegSinkPart; a sink that stops taking them fails the encoder.
TEST(Encoders, JpegIntoASinkGivesTheSameBytesAPartAtATime)
{
    const QImage raster = test::noise(1600, 1200, 11);
    const QByteArray whole = *encodeJPEG(Image{raster, QRectF(0, 0, 1600, 1200)}, 0.95);
    ASSERT_GT(whole.size(), 3 * JpegBandEncoder::kJpegSinkPart);

    const auto encodeInto = [&](const ByteSink& sink) -> std::expected<QByteArray, Error> {
        JpegBandEncoder encoder(raster.size(), 0.95, sink);
        for (int y = 0; y < raster.height(); y += 256)
            if (auto added = encoder.add(raster.copy(0, y, raster.width(), std::min(256, raster.height() - y))); !added)
                return std::unexpected(added.error());
        return encoder.finish();
    };
    QByteArray received;
    qsizetype largestPart = 0;
    int parts = 0;
    const auto finished = encodeInto([&](QByteArrayView bytes) {
        received += bytes;
        largestPart = std::max(largestPart, bytes.size());
        ++parts;
        return true;
    });
    ASSERT_TRUE(finished);
    EXPECT_TRUE(finished->isEmpty());
    EXPECT_EQ(received, whole);
    EXPECT_LE(largestPart, JpegBandEncoder::kJpegSinkPart);
    EXPECT_GT(parts, 3);

    // Refused at the second part (while rows are added) or at the last one (at the finish).
    for (const int refusedAt :
         {2, int((whole.size() + JpegBandEncoder::kJpegSinkPart - 1) / JpegBandEncoder::kJpegSinkPart)}) {
        int part = 0;
        const auto refused = encodeInto([&](QByteArrayView) { return ++part < refusedAt; });
        ASSERT_FALSE(refused) << refusedAt;
        EXPECT_EQ(refused.error().code, encoderErrors::jpegEncodingFailed);
        EXPECT_EQ(part, refusedAt) << "nothing is handed on after a refusal";
    }
}

// A JPEG's strips, encoded apart on several threads (the last first), join into the file
// encodeJPEG writes, however the rows were cut, in 4:4:4 and in 4:2:0, for sides that are no
// whole number of blocks: the restart markers between strips are those libjpeg writes inside
// one. The file decodes to the picture; a strip that begins or ends where no strip may fails.
TEST(Encoders, StripsEncodedApartJoinIntoTheWholeFile)
{
    QImage raster(203, 517, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            raster.setPixel(x, y, qRgb(x, y / 3, (x + y) / 3));
    const QSize size = raster.size();
    for (const double quality : {0.95, 0.8}) {
        const QByteArray whole = *encodeJPEG(Image{raster, QRectF(QPointF(0, 0), QSizeF(size))}, quality);
        EXPECT_TRUE(whole.contains(QByteArray("\xFF\xDD", 2))) << "a restart interval";
        EXPECT_TRUE(whole.contains(QByteArray("\xFF\xD7", 2))) << "the eighth restart marker";
        EXPECT_LE(test::largestDifference(test::decoded(whole), raster), quality > 0.9 ? 4 : 12) << quality;
        for (const QList<int>& starts : {QList<int>{0, 128, 256, 384}, QList<int>{0, 384}, QList<int>{0, 256}}) {
            std::vector<QByteArray> strips(size_t(starts.size()));
            {
                std::vector<std::jthread> threads;
                for (qsizetype i = starts.size() - 1; i >= 0; --i)
                    threads.emplace_back([&, i] {
                        const int end = i + 1 < starts.size() ? starts[i + 1] : size.height();
                        const QImage rows = raster.copy(0, starts[i], size.width(), end - starts[i]);
                        strips[size_t(i)] = encodeJpegStrip(size, quality, starts[i], rows).value_or(QByteArray());
                    });
            }
            QByteArray joined;
            for (const QByteArray& strip : strips)
                joined += strip;
            EXPECT_EQ(joined, whole) << quality << " " << starts.size();
        }
    }
    const auto refused = [&](int firstRow, int rows) {
        const auto strip = encodeJpegStrip(size, 0.95, firstRow, raster.copy(0, firstRow, size.width(), rows));
        return !strip && strip.error().code == encoderErrors::jpegEncodingFailed;
    };
    EXPECT_TRUE(refused(64, 64));   // begins between strips
    EXPECT_TRUE(refused(0, 100));   // ends between strips, before the last row
    EXPECT_TRUE(refused(384, 200)); // more rows than are left
    EXPECT_FALSE(refused(384, 133));
}
