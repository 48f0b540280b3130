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

CanvasMapping mappingOf(double rotation, bool flippedH = false, bool flippedV = false, QSizeF canvas = kCanvas)
{
    return {kOriginal, rotation, flippedH, flippedV, canvas};
}

} // namespace

TEST(CanvasMapping, CanvasPointsMapToImagePixelsClicksClampAndRoundTripsAgreeWithPainting)
{
    // Name, mapping, canvas point, and the image pixel clamped and not.
    const std::tuple<const char*, CanvasMapping, QPointF, QPointF, QPointF> cases[] = {
        {"TopLeftIsImageTopLeft", mappingOf(0), {0, 0}, {0, 300}, {0, 300}},
        {"CentreIsCentre", mappingOf(0), {400, 300}, {200, 150}, {200, 150}},
        // 1000 wide: the photo is fitted by height and starts at x = 100.
        {"LeftOfThePhoto", mappingOf(0, false, false, {1000, 600}), {50, -10}, {0, 300}, {-25, 305}},
        {"RightBelowThePhoto", mappingOf(0, false, false, {1000, 600}), {950, 700}, {400, 0}, {425, -50}},
        {"Quarter_TopLeftIsWH", mappingOf(90), {175, 0}, {400, 300}, {400, 300}},
        {"Quarter_BottomRightIsOrigin", mappingOf(90), {625, 600}, {0, 0}, {0, 0}},
        {"AlmostQuarterCountsAsQuarter", mappingOf(89.5), {175, 0}, {400, 300}, {400, 300}},
        {"MinusThreeQuartersIsQuarter", mappingOf(-270), {625, 600}, {0, 0}, {0, 0}},
        {"Half_TopLeft", mappingOf(180), {0, 0}, {400, 0}, {400, 0}},
        {"ThreeQuarters_TopRight", mappingOf(270), {625, 0}, {0, 300}, {0, 300}},
        {"FlippedH_LeftEdgeIsW", mappingOf(0, true, false, {1000, 600}), {100, 300}, {400, 150}, {400, 150}},
        {"FlippedV_TopIsBottom", mappingOf(0, false, true), {0, 0}, {0, 0}, {0, 0}},
        {"FlippedH_Quarter", mappingOf(90, true), {175, 0}, {0, 300}, {0, 300}},
        // 45°: the general formula about the centre, 100 oriented pixels right of the centre.
        {"General45",
         mappingOf(45),
         {600, 300},
         {200 + 100 * kCos45, 150 - 100 * kCos45},
         {200 + 100 * kCos45, 150 - 100 * kCos45}},
        {"EmptyCanvas", mappingOf(0, false, false, {0, 600}), {10, 10}, {0, 0}, {0, 0}},
        {"EmptyImage", CanvasMapping{{0, 300}, 0, false, false, kCanvas}, {10, 10}, {0, 0}, {0, 0}},
    };
    for (const auto& [name, mapping, point, clamped, unclamped] : cases) {
        SCOPED_TRACE(name);
        expectNear(mapping.toImage(point), clamped);
        expectNear(mapping.toImageUnclamped(point), unclamped);
    }
    EXPECT_EQ(mappingOf(0, false, false, {0, 600}).pixelsPerPoint(), 1);
    EXPECT_DOUBLE_EQ((CanvasMapping{{1600, 1200}, 90, false, false, {600, 800}}.pixelsPerPoint()), 2);

    // Every turn and mirror: canvas → image → canvas gives the point back, also beside the photo;
    // the painting transform puts image pixels where toCanvas does; rectangles map corner to corner.
    for (double rotation : {0.0, 90.0, 180.0, 270.0, -90.0, 45.0, 30.0}) {
        for (int flips = 0; flips < 4; ++flips) {
            SCOPED_TRACE(testing::Message() << rotation << "° flips " << flips);
            const CanvasMapping mapping = mappingOf(rotation, flips & 1, flips & 2);
            const QTransform paint = mapping.imageToCanvas();
            for (QPointF p : {QPointF(400, 300), QPointF(180, 310), QPointF(-40, 20), QPointF(790, 590)}) {
                const QPointF q = mapping.toImageUnclamped(p);
                expectNear(mapping.toCanvas(q), p, 1e-9);
                expectNear(paint.map(q), p, 1e-9);
            }
            const QRectF fitted = mapping.fittedRect();
            if (std::fmod(rotation, 90) == 0) // the fitted photo is the whole image, corner to corner
                expectNear(mapping.toCanvas(QRectF(QPointF(0, 0), kOriginal)), fitted, 1e-9);
        }
    }
}
