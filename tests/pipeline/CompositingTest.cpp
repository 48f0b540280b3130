// hintergrundErsetzen and fotoEinpassen on synthetic rasters, against the blend
// out = m·F + (1 − m)·G on premultiplied values with the mask stretched bilinearly.

#include "pipeline/Compositing.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using namespace lumora;
using test::grayMask;
using test::solid;

namespace {

Image image(const QImage& raster)
{
    return Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
}

// The stored premultiplied pixel (x, y) as r, g, b, a.
std::array<int, 4> stored(const std::optional<Image>& out, int x, int y)
{
    EXPECT_EQ(out->raster.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb v = reinterpret_cast<const QRgb*>(out->raster.constScanLine(y))[x];
    return {qRed(v), qGreen(v), qBlue(v), qAlpha(v)};
}

using Rgba = std::array<int, 4>;

// A raster whose red channel codes the column and green the row, opaque.
QImage coordinates(int w, int h)
{
    QImage raster(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            raster.setPixel(x, y, qRgb(std::min(255, x), std::min(255, y), 0));
    return raster;
}

} // namespace

TEST(ReplaceBackground, MaskValuesMixPhotoAndBackgroundOnPremultipliedValues)
{
    // White shows the photo, black the background, grey mixes (white over black at 0.5 → 128,
    // red over blue at 0.25 → (64, 0, 191), (200, 150, 100) over (20, 40, 60) at 0.8 → (164, 128, 92)).
    // Without a colour the background is transparent, so the alpha follows the mask.
    const struct {
        QColor front;
        std::optional<QColor> back;
        int mask;
        Rgba expected;
    } cases[] = {
        {QColor(200, 150, 100), QColor(20, 40, 60), 255, {200, 150, 100, 255}},
        {QColor(200, 150, 100), QColor(20, 40, 60), 0, {20, 40, 60, 255}},
        {Qt::white, QColor(Qt::black), 128, {128, 128, 128, 255}},
        {Qt::red, QColor(Qt::blue), 64, {64, 0, 191, 255}},
        {QColor(200, 150, 100), QColor(20, 40, 60), 204, {164, 128, 92, 255}},
        {QColor(200, 100, 50), std::nullopt, 0, {0, 0, 0, 0}},
        {QColor(200, 100, 50), std::nullopt, 64, {50, 25, 13, 64}},
        {QColor(200, 100, 50), std::nullopt, 128, {100, 50, 25, 128}},
        {QColor(0, 0, 255, 128), std::nullopt, 128, {0, 0, 64, 64}}, // a translucent photo: alpha = m · F.a
        {Qt::red, QColor(), 0, {255, 255, 255, 255}},                // an invalid colour becomes white
    };
    for (const auto& c : cases) {
        const auto out = hintergrundErsetzen(image(solid(5, 3, c.front)), grayMask(2, 2, c.mask), c.back);
        ASSERT_TRUE(out);
        EXPECT_EQ(stored(out, 2, 1), c.expected) << c.mask;
        EXPECT_EQ(stored(out, 4, 2), c.expected) << c.mask;
    }
}

TEST(ReplaceBackground, ABackgroundPhotoComesBeforeTheColourUnlessItIsEmptyAndEmptyInputIsRefused)
{
    const Image photo = image(solid(6, 4, Qt::red));
    const QImage black = grayMask(6, 4, 0);
    EXPECT_EQ(stored(hintergrundErsetzen(photo, black, QColor(Qt::blue), image(solid(3, 2, Qt::green))), 3, 2),
              (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(stored(hintergrundErsetzen(photo, black, QColor(Qt::blue), Image{}), 3, 2), (Rgba{0, 0, 255, 255}));
    // Without a photo or a mask there is nothing to cut out.
    EXPECT_FALSE(hintergrundErsetzen(Image{}, grayMask(2, 2, 255)));
    EXPECT_FALSE(hintergrundErsetzen(image(solid(2, 2, Qt::red)), QImage()));
}

TEST(ReplaceBackground, MaskIsStretchedPerAxisToThePhotoAndCoversTheExtentOfScaledAndTurnedRenders)
{
    // A 4 × 4 mask whose top-left quadrant is white, over a 40 × 10 photo: stretched per axis,
    // the subject covers the left half and the top half, not a 10 × 10 square.
    QImage mask = grayMask(4, 4, 0);
    for (int y = 0; y < 2; ++y)
        mask.scanLine(y)[0] = mask.scanLine(y)[1] = 255;
    const auto out = hintergrundErsetzen(image(solid(40, 10, Qt::red)), mask, QColor(Qt::blue));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->raster.size(), QSize(40, 10));
    const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    EXPECT_EQ(stored(out, 2, 1), red);
    EXPECT_EQ(stored(out, 12, 2), red) << "far right in the left half";
    EXPECT_EQ(stored(out, 30, 1), blue);
    EXPECT_EQ(stored(out, 5, 8), blue);

    // Exact bilinear weights: a 2 × 1 mask (white, black) over 8 × 1, centres onto centres.
    QImage two = grayMask(2, 1, 0);
    two.scanLine(0)[0] = 255;
    const auto line = hintergrundErsetzen(image(solid(8, 1, Qt::white)), two, QColor(Qt::black));
    const int expected[] = {255, 255, 223, 159, 96, 32, 0, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_NEAR(stored(line, x, 0)[0], expected[x], 1) << "column " << x;

    // The mask covers the extent of scaled and turned renders.
    // A render at half scale whose extent is not anchored at 0 (as after a quarter turn):
    // raster 50 × 30 for the extent (−20, 10, 100, 60). The mask (left half white) must cover
    // the photo itself; scaled about the origin without translation it would be shifted.
    QImage square = grayMask(768, 768, 0);
    for (int y = 0; y < 768; ++y)
        std::fill_n(square.scanLine(y), 384, uchar(255));
    const Image half{solid(50, 30, Qt::red), QRectF(-20, 10, 100, 60)};
    const auto turned = hintergrundErsetzen(half, square, std::nullopt, image(solid(300, 200, Qt::green)));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->extent, half.extent);
    EXPECT_EQ(turned->raster.size(), QSize(50, 30));
    const Rgba green{0, 255, 0, 255};
    for (const int y : {0, 29})
        for (const auto& [x, colour] :
             {std::pair{0, red}, std::pair{23, red}, std::pair{26, green}, std::pair{49, green}})
            EXPECT_EQ(stored(turned, x, y), colour) << x << "," << y;
}

TEST(FitBackgroundPhoto, FillsTheTargetCroppingTheLongerAxisEquallyAndShrinksLargeOnesAwayFromTheOrigin)
{
    // 100 × 200 (green = row) into 200 × 100: s = max(2, 0.5) = 2, scaled to 200 × 400, of
    // which the middle 100 rows stay: source rows 75 … 125. Transposed for the landscape case.
    for (const bool portrait : {true, false}) {
        const QSize source = portrait ? QSize(100, 200) : QSize(200, 100);
        const QRectF target(QPointF(0, 0), QSizeF(source.transposed()));
        const Image out = fotoEinpassen(image(coordinates(source.width(), source.height())), target);
        EXPECT_EQ(out.extent, target);
        ASSERT_EQ(out.raster.size(), source.transposed());
        // The source coordinate along the cropped and along the filled axis, at both ends.
        const QRgb first = out.raster.pixel(0, 0),
                   last = out.raster.pixel(out.raster.width() - 1, out.raster.height() - 1);
        const auto cropped = [&](QRgb v) { return portrait ? qGreen(v) : qRed(v); };
        const auto filled = [&](QRgb v) { return portrait ? qRed(v) : qGreen(v); };
        EXPECT_NEAR(cropped(first), 75, 1) << portrait;
        EXPECT_NEAR(cropped(last), 125, 1) << portrait;
        EXPECT_NEAR(filled(first), 0, 1) << portrait;
        EXPECT_NEAR(filled(last), 99, 1) << portrait;
        EXPECT_EQ(qAlpha(last), 255);
    }

    // Large backgrounds shrink into an extent away from the origin.
    // 540 × 360 into 60 × 30: s = max(1/9, 1/12) = 1/9. Every third column is white; bilinear
    // sampling alone would hit only white columns (9k + 4), averaging gives a third of white.
    QImage stripes(540, 360, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 540; ++x)
            stripes.setPixel(x, y, x % 3 == 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QRectF target(15, -40, 60, 30);
    const Image out = fotoEinpassen(image(stripes), target);
    EXPECT_EQ(out.extent, target);
    ASSERT_EQ(out.raster.size(), QSize(60, 30));
    EXPECT_NEAR(qRed(out.raster.pixel(30, 15)), 85, 15);
    EXPECT_EQ(qAlpha(out.raster.pixel(59, 29)), 255);

    const Image empty = fotoEinpassen(Image{}, QRectF(0, 0, 4, 4));
    ASSERT_EQ(empty.raster.size(), QSize(4, 4));
    EXPECT_EQ(qAlpha(empty.raster.pixel(2, 2)), 0);
}
