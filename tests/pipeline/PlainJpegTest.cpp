#include "pipeline/Encoders.h"
#include "pipeline/SourceImage.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vips/vips.h>

using namespace lumora;

namespace {

/// How many pixels of `decoded` differ from libvips' own decode of `bytes` (or -1 when the
/// sizes or band counts differ).
qint64 pixelsUnlikeLibvips(const QByteArray& bytes, const QImage& decoded)
{
    VipsImage* reference = nullptr;
    if (vips_jpegload_buffer(const_cast<char*>(bytes.constData()), size_t(bytes.size()), &reference, "fail_on",
                             VIPS_FAIL_ON_NONE, nullptr)
        != 0)
        return -1;
    size_t length = 0;
    auto* rgb = static_cast<quint8*>(vips_image_write_to_memory(reference, &length));
    qint64 unlike = -1;
    if (rgb && reference->Bands == 3 && reference->Xsize == decoded.width() && reference->Ysize == decoded.height()) {
        unlike = 0;
        for (int y = 0; y < decoded.height(); ++y) {
            const auto* row = reinterpret_cast<const quint32*>(decoded.constScanLine(y));
            const quint8* p = rgb + size_t(y) * size_t(decoded.width()) * 3;
            for (int x = 0; x < decoded.width(); ++x, p += 3)
                unlike += row[x] != (0xFF000000u | quint32(p[0]) << 16 | quint32(p[1]) << 8 | p[2]);
        }
    }
    g_free(rgb);
    g_object_unref(reference);
    return unlike;
}

QByteArray progressive(const QByteArray& baseline)
{
    VipsImage* in = nullptr;
    vips_jpegload_buffer(const_cast<char*>(baseline.constData()), size_t(baseline.size()), &in, nullptr);
    void* buffer = nullptr;
    size_t length = 0;
    vips_jpegsave_buffer(in, &buffer, &length, "interlace", TRUE, "Q", 85, nullptr);
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    g_object_unref(in);
    return bytes;
}

} // namespace

// Plain colour JPEGs skip libvips on the way in; their pixels must be libvips' to the last bit,
// whatever the chroma sampling, scan order or odd size, and a damaged file is still decoded by
// libvips' rules.
TEST(Decode, PlainJpegsDecodeToTheSamePixelsAsLibvips)
{
    const Image noise{test::noise(333, 217), QRectF(0, 0, 333, 217)};
    const QByteArray subsampled = *encodeJPEG(noise, 0.8); // 4:2:0
    const QByteArray full = *encodeJPEG(noise, 0.95);      // 4:4:4
    QByteArray damaged = full; // a byte of the image data lost (a zero never makes a marker)
    damaged[damaged.size() / 2] = 0;
    const std::pair<const char*, QByteArray> cases[] = {
        {"4:2:0", subsampled},
        {"4:4:4", full},
        {"progressive", progressive(subsampled)},
        {"damaged", damaged},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        auto source = SourceImage::fromEncoded(bytes);
        ASSERT_TRUE(source);
        auto decoded = source->decode();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(pixelsUnlikeLibvips(bytes, *decoded), 0);

        // Band by band, the same pixels; damage found on the way refuses the decode.
        QImage joined(decoded->size(), QImage::Format_ARGB32_Premultiplied);
        int bands = 0;
        const BandDecode result = source->decodeInBands(
            64, [&](int firstRow, int rows) { return joined.copy(0, firstRow, joined.width(), rows); },
            [&](QImage& band, int firstRow) {
                ++bands;
                for (int y = 0; y < band.height(); ++y)
                    std::memcpy(joined.scanLine(firstRow + y), band.constScanLine(y), size_t(band.width()) * 4);
                return true;
            });
        if (std::string_view(name) == "damaged") {
            EXPECT_EQ(result, BandDecode::refused);
            continue;
        }
        EXPECT_EQ(result, BandDecode::complete);
        EXPECT_EQ(bands, 4); // 217 rows
        EXPECT_EQ(joined, *decoded);
    }

    // The taker stops it; a photo that is no plain JPEG is refused before any band.
    const auto blank = [](int, int rows) { return QImage(333, rows, QImage::Format_ARGB32_Premultiplied); };
    int bands = 0;
    EXPECT_EQ(SourceImage::fromEncoded(full)->decodeInBands(64, blank, [&](QImage&, int) { return ++bands < 2; }),
              BandDecode::stopped);
    EXPECT_EQ(bands, 2);
    EXPECT_EQ(SourceImage::fromEncoded(*encodePNG(noise))
                  ->decodeInBands(64, blank, [&](QImage&, int) { return ++bands > 0; }),
              BandDecode::refused);
    EXPECT_EQ(bands, 2) << "no band of a PNG";
}
