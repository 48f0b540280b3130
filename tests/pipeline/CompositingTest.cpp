// hintergrundErsetzen and fotoEinpassen on synthetic rasters, against the blend
// out = m·F + (1 − m)·G on premultiplied values with the mask stretched bilinearly.

#include "pipeline/Compositing.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using namespace lumora;
using test::solid;

namespace {

// A Format_Grayscale8 mask of w × h filled with `value`.
QImage grayMask(int w, int h, int value)
{
    QImage mask(w, h, QImage::Format_Grayscale8);
    mask.fill(uint(value));
    return mask;
}

Image image(const QImage& raster)
{
    return Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
}

// The stored premultiplied value of a Format_ARGB32_Premultiplied pixel.
QRgb storedPixel(const QImage& raster, int x, int y)
{
    EXPECT_EQ(raster.format(), QImage::Format_ARGB32_Premultiplied);
    return reinterpret_cast<const QRgb*>(raster.constScanLine(y))[x];
}

void expectRgba(QRgb value, int r, int g, int b, int a, const char* where)
{
    EXPECT_EQ(qRed(value), r) << where;
    EXPECT_EQ(qGreen(value), g) << where;
    EXPECT_EQ(qBlue(value), b) << where;
    EXPECT_EQ(qAlpha(value), a) << where;
}

// A raster whose red channel codes the column and green the row (×`step`), opaque.
QImage coordinates(int w, int h, int step = 1)
{
    QImage raster(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            raster.setPixel(x, y, qRgb(std::min(255, x * step), std::min(255, y * step), 0));
    return raster;
}

} // namespace

TEST(ReplaceBackground, MaskValuesMixPhotoAndColourOnPremultipliedValues)
{
    struct Case {
        QColor front, back;
        int mask;
        int r, g, b;
    };
    // White shows the photo, black the background, grey mixes (white over black at 0.5 → 128,
    // red over blue at 0.25 → (64, 0, 191), (200, 150, 100) over (20, 40, 60) at 0.8 → (164, 128, 92)).
    const Case cases[] = {
        {QColor(200, 150, 100), QColor(20, 40, 60), 255, 200, 150, 100},
        {QColor(200, 150, 100), QColor(20, 40, 60), 0, 20, 40, 60},
        {Qt::white, Qt::black, 128, 128, 128, 128},
        {Qt::red, Qt::blue, 64, 64, 0, 191},
        {QColor(200, 150, 100), QColor(20, 40, 60), 204, 164, 128, 92},
    };
    for (const Case& f : cases) {
        const auto out = hintergrundErsetzen(image(solid(5, 3, f.front)), grayMask(5, 3, f.mask), f.back);
        ASSERT_TRUE(out);
        expectRgba(storedPixel(out->raster, 2, 1), f.r, f.g, f.b, 255, "centre");
        expectRgba(storedPixel(out->raster, 4, 2), f.r, f.g, f.b, 255, "corner");
    }
}

TEST(ReplaceBackground, WithoutBackgroundTheAlphaFollowsTheMask)
{
    QImage mask(4, 1, QImage::Format_Grayscale8);
    const int values[] = {0, 64, 128, 255};
    for (int x = 0; x < 4; ++x)
        mask.scanLine(0)[x] = uchar(values[x]);
    const auto out = hintergrundErsetzen(image(solid(4, 1, QColor(200, 100, 50))), mask);
    ASSERT_TRUE(out);
    expectRgba(storedPixel(out->raster, 0, 0), 0, 0, 0, 0, "black: transparent");
    expectRgba(storedPixel(out->raster, 1, 0), 50, 25, 13, 64, "0.25");
    expectRgba(storedPixel(out->raster, 2, 0), 100, 50, 25, 128, "0.5");
    expectRgba(storedPixel(out->raster, 3, 0), 200, 100, 50, 255, "white: the photo");

    // A translucent photo keeps its own alpha under a white mask: alpha = m · F.a.
    const QImage half = solid(2, 2, QColor(0, 0, 255, 128));
    const auto translucent = hintergrundErsetzen(image(half), grayMask(1, 1, 128));
    ASSERT_TRUE(translucent);
    EXPECT_EQ(qAlpha(storedPixel(translucent->raster, 1, 1)), 64);
}

TEST(ReplaceBackground, BackgroundPriorityIsPhotoThenColourThenTransparent)
{
    const Image photo = image(solid(6, 4, Qt::red));
    const QImage black = grayMask(6, 4, 0);
    const Image greenPhoto = image(solid(3, 2, Qt::green));

    const auto withPhoto = hintergrundErsetzen(photo, black, QColor(Qt::blue), greenPhoto);
    ASSERT_TRUE(withPhoto);
    expectRgba(storedPixel(withPhoto->raster, 3, 2), 0, 255, 0, 255, "photo before colour");

    const auto emptyPhoto = hintergrundErsetzen(photo, black, QColor(Qt::blue), Image{});
    ASSERT_TRUE(emptyPhoto);
    expectRgba(storedPixel(emptyPhoto->raster, 3, 2), 0, 0, 255, 255, "an empty photo does not count");

    const auto invalid = hintergrundErsetzen(photo, black, QColor());
    ASSERT_TRUE(invalid);
    expectRgba(storedPixel(invalid->raster, 0, 0), 255, 255, 255, 255, "an invalid colour becomes white");

    const auto without = hintergrundErsetzen(photo, black);
    ASSERT_TRUE(without);
    expectRgba(storedPixel(without->raster, 5, 3), 0, 0, 0, 0, "transparent");
}

TEST(ReplaceBackground, MaskIsStretchedPerAxisToThePhoto)
{
    // A 4 × 4 mask whose top-left quadrant is white, over a 40 × 10 photo: stretched per axis,
    // the subject covers the left half and the top half, not a 10 × 10 square.
    QImage mask = grayMask(4, 4, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            mask.scanLine(y)[x] = 255;
    const auto out = hintergrundErsetzen(image(solid(40, 10, Qt::red)), mask, QColor(Qt::blue));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->raster.size(), QSize(40, 10));
    expectRgba(storedPixel(out->raster, 2, 1), 255, 0, 0, 255, "top left");
    expectRgba(storedPixel(out->raster, 12, 2), 255, 0, 0, 255, "far right in the left half");
    expectRgba(storedPixel(out->raster, 30, 1), 0, 0, 255, 255, "right half");
    expectRgba(storedPixel(out->raster, 5, 8), 0, 0, 255, 255, "bottom half");

    // Exact bilinear weights: a 2 × 1 mask (white, black) over 8 × 1, centres onto centres.
    QImage two(2, 1, QImage::Format_Grayscale8);
    two.scanLine(0)[0] = 255;
    two.scanLine(0)[1] = 0;
    const auto line = hintergrundErsetzen(image(solid(8, 1, Qt::white)), two, QColor(Qt::black));
    ASSERT_TRUE(line);
    const int expected[] = {255, 255, 223, 159, 96, 32, 0, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_NEAR(qRed(storedPixel(line->raster, x, 0)), expected[x], 1) << "column " << x;
}

TEST(ReplaceBackground, MaskCoversTheExtentOfScaledAndTurnedRenders)
{
    // A render at half scale whose extent is not anchored at 0 (as after a quarter turn):
    // raster 50 × 30 for the extent (−20, 10, 100, 60). The mask (left half white) must cover
    // the photo itself; scaled about the origin without translation it would be shifted.
    QImage mask = grayMask(768, 768, 0);
    for (int y = 0; y < 768; ++y)
        std::fill_n(mask.scanLine(y), 384, uchar(255));
    const Image half{solid(50, 30, Qt::red), QRectF(-20, 10, 100, 60)};
    const auto out = hintergrundErsetzen(half, mask, std::nullopt, image(solid(300, 200, Qt::green)));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent, half.extent);
    EXPECT_EQ(out->raster.size(), QSize(50, 30));
    for (const int y : {0, 29}) {
        expectRgba(storedPixel(out->raster, 0, y), 255, 0, 0, 255, "left edge: photo");
        expectRgba(storedPixel(out->raster, 23, y), 255, 0, 0, 255, "just before the middle: photo");
        expectRgba(storedPixel(out->raster, 26, y), 0, 255, 0, 255, "just after the middle: background");
        expectRgba(storedPixel(out->raster, 49, y), 0, 255, 0, 255, "right edge: background");
    }
}

TEST(ReplaceBackground, RefusesEmptyInput)
{
    EXPECT_FALSE(hintergrundErsetzen(Image{}, grayMask(2, 2, 255)));
    EXPECT_FALSE(hintergrundErsetzen(image(solid(2, 2, Qt::red)), QImage()));
}

TEST(FitBackgroundPhoto, PortraitBehindLandscapeFillsTheWidthAndCropsTopAndBottomEqually)
{
    // 100 × 200 background, green = row; into 200 × 100: s = max(2, 0.5) = 2, scaled to
    // 200 × 400, of which the middle 100 rows stay: source rows 75 … 125, 75 cut off each side.
    const Image back = image(coordinates(100, 200));
    const Image out = fotoEinpassen(back, QRectF(0, 0, 200, 100));
    EXPECT_EQ(out.extent, QRectF(0, 0, 200, 100));
    ASSERT_EQ(out.raster.size(), QSize(200, 100));
    const int top = qGreen(out.raster.pixel(100, 0)), bottom = qGreen(out.raster.pixel(100, 99));
    EXPECT_NEAR(top, 75, 1);
    EXPECT_NEAR(bottom, 125, 1);
    EXPECT_NEAR(top - 0, 199 - bottom, 1) << "as much cut off at the top as at the bottom";
    // The width is filled without cropping: the first and last columns of the source show.
    EXPECT_NEAR(qRed(out.raster.pixel(0, 50)), 0, 1);
    EXPECT_NEAR(qRed(out.raster.pixel(199, 50)), 99, 1);
    for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 99), QPoint(199, 99)})
        EXPECT_EQ(qAlpha(out.raster.pixel(corner)), 255) << "covers the target completely";
}

TEST(FitBackgroundPhoto, LandscapeBehindPortraitFillsTheHeightAndCropsLeftAndRightEqually)
{
    const Image back = image(coordinates(200, 100));
    const Image out = fotoEinpassen(back, QRectF(0, 0, 100, 200));
    ASSERT_EQ(out.raster.size(), QSize(100, 200));
    const int left = qRed(out.raster.pixel(0, 100)), right = qRed(out.raster.pixel(99, 100));
    EXPECT_NEAR(left, 75, 1);
    EXPECT_NEAR(right, 125, 1);
    EXPECT_NEAR(qGreen(out.raster.pixel(50, 0)), 0, 1);
    EXPECT_NEAR(qGreen(out.raster.pixel(50, 199)), 99, 1);
}

TEST(FitBackgroundPhoto, ShrinksLargeBackgroundsIntoAnExtentAwayFromTheOrigin)
{
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
