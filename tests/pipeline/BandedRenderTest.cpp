#include "pipeline/ColorPass.h"
#include "pipeline/EditsJson.h"
#include "pipeline/Encoders.h"
#include "pipeline/Overlays.h"
#include "pipeline/Render.h"
#include "pipeline/RowBands.h"
#include "support/Pixels.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

/// Copies `rows` into `joined` from row `y` on.
void paste(QImage& joined, int y, const QImage& rows)
{
    for (int r = 0; r < rows.height(); ++r)
        std::memcpy(joined.scanLine(y + r), rows.constScanLine(r), size_t(rows.width()) * 4);
}

/// Every step of the chain, in the edits file's form, over a w × h photo.
EditState fullChain(QSize size, double rotation, bool flippedH, bool flippedV, const QString& watermarkPosition)
{
    const double w = size.width(), h = size.height();
    QString json =
        QStringLiteral(R"({"adjustment": {"exposure": 0.3, "brightness": 0.05, "contrast": 1.1, "saturation": 1.15,
                                          "sharpness": 0.4},
           "rotation": %1, "flippedH": %2, "flippedV": %3,
           "masks": [{"rect": [%4, %5, %6, %7], "colorHex": "#FFFFFFCC"}],
           "freehandOverlays": [{"kind": "stroke", "points": [[%4, %5], [%8, %9], [%10, %11]],
                                 "colorHex": "#FF3B30", "lineWidth": %12},
                                {"kind": "arrow", "start": [%8, %5], "angle": 0.6, "length": %6,
                                 "lineWidth": %12, "colorHex": "#FF3B30"}],
           "textMarks": [{"position": [%4, %9], "text": "Kratzer links", "fontSize": %13, "colorHex": "#FFFFFF",
                          "hasBackground": true}],
           "watermark": {"text": "© Lumora Studio", "position": "%14", "opacity": 0.35, "sizeFactor": 0.06,
                         "colorHex": "#FFFFFF"}})")
            .arg(rotation)
            .arg(flippedH ? "true" : "false", flippedV ? "true" : "false");
    for (const double value :
         {0.1 * w, 0.1 * h, 0.3 * w, 0.2 * h, 0.5 * w, 0.6 * h, 0.9 * w, 0.4 * h, 0.01 * w, 0.05 * h})
        json = json.arg(value);
    auto edits = editStateFromJson(json.arg(watermarkPosition).toUtf8(), size);
    EXPECT_TRUE(edits.has_value());
    return edits.value_or(EditState{});
}

/// The whole render of the chain, and the same chain put together from bands of `bandRows`.
std::pair<QImage, QImage> wholeAndBanded(const QImage& base, const EditState& edits, int bandRows)
{
    auto whole = renderDecodedChecked(base, base.size(), edits);
    EXPECT_TRUE(whole.has_value());
    auto banded = BandedRender::start(base, base.size(), edits);
    EXPECT_TRUE(banded.has_value());
    if (!whole || !banded)
        return {};
    EXPECT_EQ(banded->extent(), whole->extent);
    QImage joined(banded->size(), QImage::Format_ARGB32_Premultiplied), band;
    for (int y = 0; y < joined.height(); y += bandRows) {
        // Each band is written over the one before, given back.
        auto rows = banded->rows(y, bandRows, std::move(band));
        EXPECT_TRUE(rows.has_value());
        if (!rows)
            return {};
        EXPECT_EQ(rows->size(), QSize(joined.width(), std::min(bandRows, joined.height() - y)));
        paste(joined, y, *rows);
        band = *std::move(rows);
    }
    return {whole->raster.convertToFormat(QImage::Format_ARGB32_Premultiplied), joined};
}

/// The chain made from a source fed to a BandedSource in decoded bands, bands of the final
/// raster put together as they come, each band's source let go once made; null for a turn that
/// is not streamed.
QImage streamed(const QImage& base, const EditState& edits)
{
    TilePool pool(qsizetype(base.sizeInBytes()) * 2);
    BandedSource source(base.size(), base.size(), edits, pool, 0);
    if (!source.streams())
        return {};
    for (int y = 0; y < base.height(); y += kPaintBandRows) {
        QImage band = source.bandFor(y, std::min(kPaintBandRows, base.height() - y));
        EXPECT_FALSE(band.isNull());
        paste(band, 0, base.copy(0, y, base.width(), band.height()));
        EXPECT_TRUE(source.add(band, y));
    }
    auto render = BandedRender::start(std::move(source));
    EXPECT_TRUE(render.has_value());
    if (!render)
        return {};
    QImage joined(render->size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < joined.height(); y += kPaintBandRows) {
        const QImage rows = render->rows(y, kPaintBandRows).value_or(QImage());
        EXPECT_EQ(rows.height(), std::min(kPaintBandRows, joined.height() - y));
        render->releaseBand(y);
        paste(joined, y, rows);
    }
    EXPECT_TRUE(render->rows(0, kPaintBandRows).value_or(QImage()).isNull()) << "let go";
    return joined;
}

} // namespace

// Each band is coloured, turned, lettered and watermarked on its own: put together, bands
// that start on the painting's fixed bands are the whole render pixel for pixel, whatever the
// turn and the mirror (odd sizes, bands that cut through the text and the watermark's tiles).
TEST(BandedRender, BandsAreTheWholeRenderPixelForPixelForEveryTurn)
{
    const QImage base = test::noise(701, 557);
    const struct {
        double rotation;
        bool flippedH, flippedV;
    } turns[] = {{0, false, false},   {90, true, false}, {180, false, true}, {270, true, true},
                 {-90, false, false}, {0, true, false},  {90, false, true},  {30, true, false}};
    for (const auto& turn : turns)
        for (const QString& position : {QStringLiteral("tiled"), QStringLiteral("bottomRight")}) {
            const EditState edits = fullChain(base.size(), turn.rotation, turn.flippedH, turn.flippedV, position);
            for (int bandRows : {kPaintBandRows, 2 * kPaintBandRows, 1000 * kPaintBandRows}) {
                SCOPED_TRACE(testing::Message() << "turn " << turn.rotation << turn.flippedH << turn.flippedV << ", "
                                                << position.toStdString() << ", bands of " << bandRows);
                const auto [whole, joined] = wholeAndBanded(base, edits, bandRows);
                ASSERT_FALSE(whole.isNull());
                EXPECT_EQ(test::largestDifference(whole, joined), 0);
            }
            // Decoded band by band into tiles, each final band's source let go once it is made.
            const QImage fromBands = streamed(base, edits);
            EXPECT_EQ(fromBands.isNull(), turn.rotation == 30) << turn.rotation;
            if (!fromBands.isNull()) {
                EXPECT_EQ(test::largestDifference(renderDecodedChecked(base, base.size(), edits)->raster, fromBands),
                          0);
            }
        }
}

// The colour pass makes any rows on their own, down to one: the sharpening reads the rows (or,
// turned, the columns) around them. A band given back is written over, every pixel of it; a
// shared one is left as it is. Every mirror and quarter turn.
TEST(BandedRender, ColourPassRowsAreTheWholePassForAnyBand)
{
    const QImage base = test::noise(123, 77);
    const AdjustmentState adjustment = fullChain(base.size(), 0, false, false, "tiled").adjustment;
    const QRgb stale = qRgb(255, 0, 255);
    for (int turn = 0; turn < 8; ++turn) {
        SCOPED_TRACE(testing::Message() << "turn " << turn);
        const Dihedral dihedral{(turn & 4) != 0, false, turn % 4};
        const QImage whole = colorAndTurn(base, adjustment, 1.69, dihedral);
        for (int bandRows : {1, 7, 50}) {
            for (int y = 0; y < whole.height(); y += bandRows) {
                const QImage rows = colorAndTurnRows(base, adjustment, 1.69, dihedral, y, bandRows);
                const int count = std::min(bandRows, whole.height() - y);
                ASSERT_EQ(rows.size(), QSize(whole.width(), count));
                EXPECT_EQ(test::largestDifference(rows, whole.copy(0, y, whole.width(), count)), 0)
                    << "bands of " << bandRows << ", row " << y;
            }
        }
        const QImage expected = whole.copy(0, 10, whole.width(), 20);
        QImage given = test::solid(whole.width(), 20, QColor(stale));
        const uchar* memory = given.constBits();
        const QImage written = colorAndTurnRows(base, adjustment, 1.69, dihedral, 10, 20, std::move(given));
        EXPECT_EQ(written.constBits(), memory) << "written over";
        EXPECT_EQ(test::largestDifference(written, expected), 0);
        const QImage shared = test::solid(whole.width(), 20, QColor(stale));
        const QImage beside = colorAndTurnRows(base, adjustment, 1.69, dihedral, 10, 20, shared);
        EXPECT_EQ(test::largestDifference(beside, expected), 0);
        EXPECT_EQ(shared.pixel(0, 0), stale) << "a shared band is not written over";
    }
}

// A whole photo larger than the processor's cache is written past it; rows of an odd width start
// at every alignment. Its pixels are those of the bands, every mirror and quarter turn.
TEST(BandedRender, AWholePhotoWrittenPastTheCacheIsItsBands)
{
    const QImage base = test::noise(4099, 2051);
    ASSERT_GT(base.sizeInBytes(), qsizetype(32) << 20);
    const AdjustmentState adjustment = fullChain(base.size(), 0, false, false, "tiled").adjustment;
    for (int turn = 0; turn < 8; ++turn) {
        SCOPED_TRACE(testing::Message() << "turn " << turn);
        const Dihedral dihedral{(turn & 4) != 0, false, turn % 4};
        const QImage whole = colorAndTurn(base, adjustment, 1.69, dihedral);
        for (int y = 0; y < whole.height(); y += 600) {
            const QImage rows = colorAndTurnRows(base, adjustment, 1.69, dihedral, y, 600);
            const int count = std::min(600, whole.height() - y);
            ASSERT_EQ(rows.size(), QSize(whole.width(), count));
            for (int row = 0; row < count; ++row)
                ASSERT_EQ(std::memcmp(rows.constScanLine(row), whole.constScanLine(y + row), size_t(whole.width()) * 4),
                          0)
                    << "row " << y + row;
        }
    }
}

TEST(BandedRender, EmptyOriginalRowsOutsideAndAnUndrawableWatermarkGiveNothing)
{
    auto none = BandedRender::start(QImage(), QSize(10, 10), EditState{});
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->size().isEmpty());
    auto render =
        BandedRender::start(test::noise(20, 10), QSize(20, 10), fullChain({20, 10}, 90, false, false, "tiled"));
    ASSERT_TRUE(render.has_value());
    EXPECT_TRUE(render->rows(20, 5).value_or(QImage(1, 1, QImage::Format_ARGB32)).isNull());
    EXPECT_EQ(render->rows(18, 5).value_or(QImage()).height(), 2); // clipped to the raster
    render->releaseSource();
    EXPECT_TRUE(render->rows(0, 5).value_or(QImage(1, 1, QImage::Format_ARGB32)).isNull());

    // A watermark that cannot be drawn fails the render.
    EditState edits = fullChain({64, 48}, 90, false, false, "tiled");
    edits.watermark->sizeFactor = std::numeric_limits<double>::quiet_NaN();
    const auto failed = BandedRender::start(test::noise(64, 48), QSize(64, 48), edits);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().domain, watermarkErrors::domain);
}

// Streamed encoders give the bytes of the whole-raster ones, a translucent band included.
TEST(BandEncoders, BandsGiveTheBytesOfTheWholeRasterAndRowsThatDoNotFitFail)
{
    QImage raster = test::noise(67, 45);
    for (int x = 0; x < 30; ++x)
        raster.setPixel(x, 20, qPremultiply(qRgba(200, 100, 50, 90)));
    const Image image{raster, QRectF(0, 0, 67, 45)};
    JpegBandEncoder jpeg(raster.size(), 0.95);
    PngBandEncoder png(raster.size());
    for (int y = 0; y < raster.height(); y += 10) {
        const QImage rows = raster.copy(0, y, raster.width(), std::min(10, raster.height() - y));
        ASSERT_TRUE(jpeg.add(rows).has_value());
        ASSERT_TRUE(png.add(rows).has_value());
    }
    EXPECT_EQ(jpeg.finish().value_or(QByteArray()), encodeJPEG(image, 0.95).value());
    EXPECT_EQ(png.finish().value_or(QByteArray()), encodePNG(image).value());

    // Rows that do not fit, an early finish and images without pixels fail.
    JpegBandEncoder narrow(raster.size(), 0.95);
    const auto wrongWidth = narrow.add(raster.copy(0, 0, 66, 4));
    ASSERT_FALSE(wrongWidth.has_value());
    EXPECT_EQ(wrongWidth.error().code, encoderErrors::jpegEncodingFailed);
    JpegBandEncoder early(raster.size(), 0.95);
    ASSERT_TRUE(early.add(raster.copy(0, 0, 67, 8)).has_value());
    EXPECT_FALSE(early.add(raster).has_value()); // more rows than the image has
    JpegBandEncoder half(raster.size(), 0.95);
    ASSERT_TRUE(half.add(raster.copy(0, 0, 67, 8)).has_value());
    EXPECT_FALSE(half.finish().has_value());

    PngBandEncoder halfPng(raster.size());
    ASSERT_TRUE(halfPng.add(raster.copy(0, 0, 67, 8)).has_value());
    EXPECT_EQ(halfPng.finish().error().code, encoderErrors::pngEncodingFailed);
    EXPECT_EQ(JpegBandEncoder(QSize(), 0.95).finish().error().code, encoderErrors::jpegNoImage);
    EXPECT_EQ(encodeJPEG(Image{}, 0.95).error().code, encoderErrors::jpegNoImage);
    EXPECT_EQ(encodePNG(Image{QImage(), QRectF(0, 0, 10, 10)}).error().code, encoderErrors::pngNoImage);
}

// All ways of drawing the watermark, painted into the fixed bands of rows one at a time, give
// the rows of the whole painting.
TEST(BandedRender, WatermarkTilesInBandsAreTheWholePainting)
{
    Watermark mark{QStringLiteral("Lumora"), WatermarkPosition::tiled, 0.5, 0.08, QStringLiteral("#FFFFFF")};
    const QSize size(603, 551);
    const QTransform toDevice(1, 0, 0, -1, 0, size.height());
    for (TileDrawing drawing : {TileDrawing::stamp, TileDrawing::fill, TileDrawing::automatic}) {
        mark.position = drawing == TileDrawing::automatic ? WatermarkPosition::center : WatermarkPosition::tiled;
        QImage whole = test::noise(size.width(), size.height());
        ASSERT_TRUE(paintWatermark(whole, toDevice, mark, size.width(), size.height(), drawing).has_value());
        for (int y = 0; y < size.height(); y += kPaintBandRows) {
            const int rows = std::min(kPaintBandRows, size.height() - y);
            QImage band = test::noise(size.width(), size.height()).copy(0, y, size.width(), rows);
            ASSERT_TRUE(paintWatermark(band, toDevice, mark, size.width(), size.height(), drawing, y).has_value());
            EXPECT_EQ(test::largestDifference(band, whole.copy(0, y, size.width(), rows)), 0) << "row " << y;
        }
    }
}
