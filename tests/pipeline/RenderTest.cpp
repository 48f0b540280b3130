#include "pipeline/Render.h"
#include "pipeline/Overlays.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::pixel;

namespace {

Image render(const SourceImage& source, const EditState& edits, double scale = 1.0)
{
    auto image = renderImage(source, edits, scale);
    EXPECT_TRUE(image.has_value());
    return image.value_or(Image{});
}

EditState turn(double rotation, bool flippedH = false, bool flippedV = false)
{
    EditState edits;
    edits.rotation = rotation;
    edits.flippedH = flippedH;
    edits.flippedV = flippedV;
    return edits;
}

/// Pixel at point (x, y) of the y-up space of an image's extent.
QColor atPoint(const Image& image, double x, double y)
{
    const int col = int(x - image.extent.left());
    const int row = int(image.extent.bottom() - y - 1);
    return pixel(image.raster, col, row);
}

/// How many pixels of `area` (raster coordinates, y down) are bright.
int inkIn(const Image& image, QRect area)
{
    return test::countPixels(image.raster, area, [](QRgb v) { return qRed(v) > 128; });
}

} // namespace

// Turns are counter-clockwise about the photo's centre, so a quarter turn moves the extent off
// the origin; a mirror happens in the original frame before the turn.
TEST(Render, TurnsAndMirrorsPlaceTheExtentAndThePixels)
{
    const SourceImage source = SourceImage::fromRaster(test::quadrants(4000, 3000));
    const struct {
        double rotation;
        bool flippedH;
        QRectF extent;
        const char* quadrants; // the upright card's red, green, blue, white: "RGBW"
    } cases[] = {
        {0, false, {0, 0, 4000, 3000}, "RGBW"},        {90, false, {500, -500, 3000, 4000}, "GWRB"},
        {-90, false, {500, -500, 3000, 4000}, "BRWG"}, {270, false, {500, -500, 3000, 4000}, "BRWG"},
        {180, false, {0, 0, 4000, 3000}, "WBGR"},      {0, true, {0, 0, 4000, 3000}, "GRWB"}, // x → 4000 − x
        {90, true, {500, -500, 3000, 4000}, "RBGW"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rotation << (c.flippedH ? " mirrored" : ""));
        const Image out = render(source, turn(c.rotation, c.flippedH));
        EXPECT_EQ(out.extent, c.extent);
        ASSERT_EQ(out.raster.size(), c.extent.size().toSize());
        EXPECT_EQ(test::quadrantColours(out.raster, 1), c.quadrants);
    }

    // Neutral edits return the original pixels; a quarter turn is not a resampled one.
    EXPECT_EQ(render(source, {}).raster, test::quadrants(4000, 3000));
    EXPECT_EQ(render(source, turn(270)).raster, render(source, turn(-90)).raster);
    EXPECT_FALSE(makePreview(Image{}));

    // An odd size keeps its pixel count: the extent's corner lands between pixels.
    const Image odd = render(SourceImage::fromRaster(test::quadrants(5, 2)), turn(90));
    EXPECT_EQ(odd.raster.size(), QSize(2, 5));
    EXPECT_EQ(odd.extent, QRectF(1.5, -1.5, 2, 5));
    EXPECT_EQ(makePreview(odd)->pixelSize, QSize(2, 5));

    // Other angles turn bilinearly into the bounding box, transparent outside the turned square.
    const Image tilted = render(SourceImage::fromRaster(test::solid(100, 100, Qt::white)), turn(45));
    EXPECT_NEAR(tilted.extent.width(), 141.42, 0.01);
    EXPECT_NEAR(tilted.extent.left(), 50 - 70.71, 0.01);
    EXPECT_EQ(qAlpha(tilted.raster.pixel(2, 2)), 0);
    EXPECT_EQ(tilted.raster.pixelColor(70, 70), QColor(Qt::white));
}

TEST(Render, TextMarksTurnWithThePhotoButTheWatermarkStaysUpright)
{
    const SourceImage source = SourceImage::fromRaster(test::solid(400, 300, Qt::black));
    // At the top-left of the upright photo.
    EditState edits;
    edits.textMarks = {{.position = {60, 260}, .text = "A", .fontSize = 40, .colorHex = "#FFFFFF"}};
    const Image plain = render(source, edits);
    edits.rotation = 180;
    const Image turned = render(source, edits);
    // Raster rows are top-down: the mark ends up at the bottom-right.
    EXPECT_GT(inkIn(turned, QRect(300, 200, 100, 100)), 50);
    EXPECT_EQ(inkIn(turned, QRect(0, 0, 100, 100)), 0);
    // An "A" upside down has its wide part at the top: the halves of the glyph swap, half a pixel
    // of anti-aliasing apart.
    const int plainUpper = inkIn(plain, QRect(0, 0, 100, 50)), plainLower = inkIn(plain, QRect(0, 50, 100, 50));
    EXPECT_NEAR(inkIn(turned, QRect(300, 200, 100, 50)), plainLower, 0.1 * plainLower);
    EXPECT_NEAR(inkIn(turned, QRect(300, 250, 100, 50)), plainUpper, 0.1 * plainUpper);
    EXPECT_GT(std::abs(plainUpper - plainLower), 0.3 * plainUpper);

    // Watermark on a turned 4000 × 3000: laid out over 3000 × 4000, upright (anchored bottom-right).
    const SourceImage big = SourceImage::fromRaster(test::solid(4000, 3000, Qt::black));
    EditState marked = turn(90);
    marked.watermark = Watermark{"W", WatermarkPosition::bottomRight, 1, 0.05, "#FFFFFF"};
    const Image out = render(big, marked);
    EXPECT_EQ(out.extent, QRectF(500, -500, 3000, 4000));
    const double size = 150; // min(3000, 4000) × 0.05
    const TextMetrics w = measureText(QStringLiteral("W"), size);
    const QPointF origin = watermarkAnchor(WatermarkPosition::bottomRight, 3000, 4000, {w.width, w.height}, size);
    EXPECT_GT(inkIn(out, QRectF(origin.x(), 4000 - origin.y() - w.height, w.width, w.height).toRect()), 1000);
}

// A mirror carries a text mark to the mirrored spot; the letters still read the right way
// round: the same pixels as the unmirrored photo with the mark put at that spot.
TEST(Render, MirroringMovesTextMarksButNeverMirrorsTheirLetters)
{
    const SourceImage source = SourceImage::fromRaster(test::solid(200, 150, Qt::black));
    const auto markAt = [](QPointF at) {
        return QList<TextMark>{{.position = at, .text = "F", .fontSize = 40, .colorHex = "#FFFFFF"}};
    };
    struct Case {
        bool flippedH, flippedV;
        double rotation;
    };
    for (const Case c : {Case{true, false, 0}, Case{false, true, 0}, Case{true, true, 0}, Case{true, false, 90},
                         Case{false, true, 270}}) {
        SCOPED_TRACE(testing::Message() << c.flippedH << c.flippedV << c.rotation);
        EditState mirrored = turn(c.rotation, c.flippedH, c.flippedV), direct = turn(c.rotation);
        mirrored.textMarks = markAt({60, 100});
        direct.textMarks = markAt({c.flippedH ? 140.0 : 60.0, c.flippedV ? 50.0 : 100.0});
        const Image a = render(source, mirrored);
        EXPECT_GT(inkIn(a, a.raster.rect()), 100);
        EXPECT_LE(test::largestDifference(a.raster, render(source, direct).raster), 2);
    }
}

TEST(Render, StepsRunInOrderMasksBeforeTheTonalAdjustment)
{
    // A white mask is drawn before exposure, so it gets darkened with the photo.
    const SourceImage source = SourceImage::fromRaster(test::solid(50, 50, QColor(128, 128, 128)));
    EditState edits;
    edits.masks = {MaskRect{QRectF(0, 0, 10, 10), QStringLiteral("#FFFFFF")}};
    edits.adjustment.exposure = -1;
    const Image out = render(source, edits);
    EXPECT_NEAR(atPoint(out, 5, 5).red(), 188, 1); // encode(decode(1) × 0.5)
    EXPECT_NEAR(atPoint(out, 30, 30).red(), 92, 1);
    // Text marks come after it: a white label stays white.
    edits.textMarks = {{.position = {25, 25}, .text = "█", .fontSize = 30, .colorHex = "#FFFFFF"}};
    edits.masks.clear();
    const Image labelled = render(source, edits);
    EXPECT_EQ(atPoint(labelled, 25, 25), QColor(Qt::white));
}

TEST(Render, ReducedRenderLooksLikeTheFullOneMadeSmaller)
{
    QImage photo = test::quadrants(800, 600);
    const SourceImage source = SourceImage::fromRaster(photo);
    EditState edits;
    edits.adjustment = {0.3, 0.02, 1.1, 1.2, 0.5};
    edits.rotation = -90;
    edits.freehandOverlays = {*rasterizeStroke({{100, 100}, {700, 500}}, QStringLiteral("#000000"), {800, 600}, 40)};
    const Image full = render(source, edits);
    const Image small = render(source, edits, 0.25);
    EXPECT_EQ(small.extent, full.extent);
    EXPECT_EQ(small.raster.size(), QSize(150, 200));
    const QImage shrunk = full.raster.scaled(small.raster.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double diff = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 150; ++x)
            diff += std::abs(qGray(shrunk.pixel(x, y)) - qGray(small.raster.pixel(x, y)));
    EXPECT_LT(diff / (150 * 200), 6.0);
}
