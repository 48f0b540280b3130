#include "app/editor/CanvasMapping.h"

#include "EditorTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace lumora;
using namespace lumora::test;

namespace {

// A 400 × 300 original. In an 800 × 600 canvas it is shown at s = 2 unturned; turned by a
// quarter it is 300 × 400, shown at s = 1.5 as 450 × 600 from x = 175.
constexpr QSizeF kOriginal{400, 300};
constexpr QSizeF kCanvas{800, 600};

const double kCos45 = std::cos(std::numbers::pi / 4);

} // namespace

TEST(CanvasMapping, CanvasPointsMapToImagePixelsAndClampToTheImage)
{
    struct Case {
        const char* name;
        double rotation;
        bool flippedH;
        bool flippedV;
        QSizeF canvas;
        QPointF point;
        QPointF expected;
    };
    const Case cases[] = {
        {"TopLeftIsImageTopLeft", 0, false, false, kCanvas, {0, 0}, {0, 300}},
        {"CentreIsCentre", 0, false, false, kCanvas, {400, 300}, {200, 150}},
        // 1000 wide: the image is fitted by height and starts at x = 100.
        {"LeftOfImageClampsToBorder", 0, false, false, {1000, 600}, {50, -10}, {0, 300}},
        {"RightBelowImageClampsToBorder", 0, false, false, {1000, 600}, {950, 700}, {400, 0}},
        {"Quarter_TopLeftIsWH", 90, false, false, kCanvas, {175, 0}, {400, 300}},
        {"Quarter_BottomRightIsOrigin", 90, false, false, kCanvas, {625, 600}, {0, 0}},
        {"AlmostQuarterCountsAsQuarter", 89.5, false, false, kCanvas, {175, 0}, {400, 300}},
        {"MinusThreeQuartersIsQuarter", -270, false, false, kCanvas, {625, 600}, {0, 0}},
        {"Half_TopLeft", 180, false, false, kCanvas, {0, 0}, {400, 0}},
        {"ThreeQuarters_TopLeftIsOrigin", 270, false, false, kCanvas, {175, 0}, {0, 0}},
        {"ThreeQuarters_TopRight", 270, false, false, kCanvas, {625, 0}, {0, 300}},
        {"FlippedH_LeftEdgeIsW", 0, true, false, {1000, 600}, {100, 300}, {400, 150}},
        {"FlippedV_TopIsBottom", 0, false, true, kCanvas, {0, 0}, {0, 0}},
        {"FlippedH_Quarter", 90, true, false, kCanvas, {175, 0}, {0, 300}},
        // 45°: the general formula about the centre, 100 oriented pixels right of the centre.
        {"General45", 45, false, false, kCanvas, {600, 300}, {200 + 100 * kCos45, 150 - 100 * kCos45}},
        {"EmptyCanvas", 0, false, false, {0, 600}, {10, 10}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CanvasMapping mapping{kOriginal, c.rotation, c.flippedH, c.flippedV};
        const QPointF live = mapping.toImage(c.point, c.canvas);
        expectNear(live, c.expected);
        // Commits outside a gesture use the remembered size; the same size gives the same pixel.
        EXPECT_EQ(mapping.toImageWithLastKnownSize(c.point, c.canvas), live);
    }
}

// An empty image or canvas maps to the origin at one pixel per point instead of dividing by zero.
TEST(CanvasMapping, EmptySizesMapToTheOriginAtOnePixelPerPoint)
{
    const CanvasMapping empty{{0, 300}, 0, false, false};
    EXPECT_EQ(empty.toImage({100, 100}, kCanvas), QPointF(0, 0));
    EXPECT_EQ(empty.pixelsPerPoint(kCanvas), 1);
    EXPECT_EQ(empty.toImageWithLastKnownSize({100, 100}, kCanvas), QPointF(0, 0));
    const CanvasMapping big{{1600, 1200}};
    EXPECT_DOUBLE_EQ(big.pixelsPerPointWithLastKnownSize({0, 600}), 1);
    EXPECT_DOUBLE_EQ(big.pixelsPerPoint({0, 600}), 1);
    EXPECT_DOUBLE_EQ((CanvasMapping{{1600, 1200}, 90}.pixelsPerPoint({600, 800})), 2); // turned: 1200 × 1600
}

TEST(CanvasMapping, OrientedSizeSwapsOnlyNearQuarterTurns)
{
    struct Case {
        double rotation;
        QSizeF expected;
    };
    for (const Case& c : {Case{0, {400, 300}}, Case{90, {300, 400}}, Case{90.9, {300, 400}}, Case{91, {400, 300}},
                          Case{-90, {300, 400}}, Case{180, {400, 300}}, Case{269.2, {300, 400}}, Case{45, {400, 300}}})
        EXPECT_EQ((CanvasMapping{kOriginal, c.rotation}.orientedSize()), c.expected) << c.rotation;
}

TEST(CanvasMapping, RoundTripThroughTheImageReturnsTheCanvasPoint)
{
    for (double rotation : {0.0, 90.0, 180.0, 270.0, -90.0, 45.0, 30.0}) {
        for (int flips = 0; flips < 4; ++flips) {
            const CanvasMapping mapping{kOriginal, rotation, bool(flips & 1), bool(flips & 2)};
            const QRectF fitted = mapping.fittedRect(kCanvas);
            // Points well inside the fitted image (a general angle clamps near its corners).
            for (QPointF f : {QPointF(0.5, 0.5), QPointF(0.4, 0.55), QPointF(0.6, 0.45)}) {
                const QPointF p(fitted.x() + f.x() * fitted.width(), fitted.y() + f.y() * fitted.height());
                expectNear(mapping.toCanvas(mapping.toImage(p, kCanvas), kCanvas), p);
            }
            // The fitted image's corners survive the round trip at quarter turns.
            if (std::fmod(rotation, 90) == 0) {
                const QPointF corner = fitted.bottomRight();
                expectNear(mapping.toCanvas(mapping.toImage(corner, kCanvas), kCanvas), corner);
            }
        }
    }
}
