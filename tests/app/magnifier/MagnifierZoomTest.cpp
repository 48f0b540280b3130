#include "app/magnifier/MagnifierZoom.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

MagnifierZoom zoomFor(QSizeF image, QSizeF area)
{
    MagnifierZoom zoom;
    zoom.setImageSize(image);
    zoom.setArea(area);
    return zoom;
}

} // namespace

TEST(MagnifierZoom, StepsMultiplyByOneAndAQuarterWithinTheBoundsAndFitLeavesAMarginAndFollowsTheArea)
{
    // A series of zoom steps ('+' in, '-' out, '1' actual size) from the fitted start.
    const std::tuple<QSizeF, QSizeF, const char*, double, const char*> cases[] = {
        {{4000, 3000}, {1000, 700}, "1+++", 1.953125, "195 %"},
        {{4000, 3000}, {1000, 700}, "1++++++++++++++++++++++++", 16.0, "1600 %"},
        {{4000, 3000}, {1000, 700}, "1-----------------------", 0.05, "5 %"},
        // A tiny image fits far above maxZoom: zooming in must not jump down to 16.
        {{1, 1}, {500, 400}, "+", 360.0, "36000 %"},
        {{1, 1}, {500, 400}, "+-", 288.0, "28800 %"},
        // A huge image fits below minZoom: zooming out must not jump up to 0.05.
        {{100000, 100}, {540, 400}, "-", 0.005, "1 %"},
        {{100000, 100}, {540, 400}, "-+", 0.00625, "1 %"},
    };
    for (const auto& [image, area, steps, expected, percent] : cases) {
        SCOPED_TRACE(steps);
        MagnifierZoom zoom = zoomFor(image, area);
        for (const char* s = steps; *s; ++s)
            *s == '+' ? zoom.zoomIn() : *s == '-' ? zoom.zoomOut() : zoom.actualSize();
        EXPECT_DOUBLE_EQ(zoom.zoom(), expected);
        EXPECT_EQ(zoom.percentText(), QString::fromUtf8(percent));
        EXPECT_FALSE(zoom.einpassen());
    }

    // Fit leaves twenty points around the image and follows the area.
    MagnifierZoom zoom = zoomFor({2000, 1000}, {1040, 1040});
    EXPECT_TRUE(zoom.einpassen());
    EXPECT_DOUBLE_EQ(zoom.effectiveZoom(), 0.5);
    EXPECT_EQ(zoom.displaySize(), QSizeF(1000, 500));
    EXPECT_EQ(zoom.documentSize(), QSizeF(1040, 540));

    zoom.setArea({540, 1040});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.25);

    // A step out of fit mode starts at what is on screen.
    zoom.zoomIn();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.3125);
    zoom.setArea({2000, 2000});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.3125) << "outside fit mode the area does not change the zoom";

    zoom.enterFitMode();
    EXPECT_DOUBLE_EQ(zoom.zoom(), (2000.0 - 40) / 2000);

    // No image, an empty one, an area smaller than the margins.
    EXPECT_DOUBLE_EQ(zoomFor({}, {800, 600}).einpassZoom(800, 600), 1.0) << "no image";
    EXPECT_DOUBLE_EQ(zoomFor({0, 300}, {800, 600}).einpassZoom(800, 600), 1.0) << "empty image";
    EXPECT_EQ(zoomFor({0, 300}, {800, 600}).displaySize(), QSizeF(1, 300)) << "never below 1 point";
    EXPECT_DOUBLE_EQ(zoomFor({200, 100}, {30, 10}).einpassZoom(30, 10), 1.0 / 200)
        << "an area smaller than the margins still fits positively";

    // A new image refits only in fit mode.
    MagnifierZoom square = zoomFor({1000, 1000}, {540, 540});
    square.setImageSize({2000, 2000});
    EXPECT_DOUBLE_EQ(square.zoom(), 0.25);
    square.actualSize();
    square.setImageSize({500, 500});
    EXPECT_DOUBLE_EQ(square.zoom(), 1.0);
    EXPECT_FALSE(square.einpassen());
}

TEST(Panning, ContentFollowsTheHandStopsAtTheDocumentEdgesAndZoomKeepsTheMiddle)
{
    const QSizeF document(2040, 1540);
    const QSizeF visible(1000, 700);
    // Hand to the left and up: the view moves right and down over the document.
    EXPECT_EQ(panOrigin({100, 100}, {-30, -40}, document, visible), QPointF(130, 140));
    EXPECT_EQ(panOrigin({10, 10}, {500, 500}, document, visible), QPointF(0, 0));
    EXPECT_EQ(panOrigin({1000, 800}, {-500, -500}, document, visible), QPointF(1040, 840));
    // Smaller than the view on one axis: that axis stays.
    EXPECT_EQ(panOrigin({0, 0}, {-80, -60}, {1400, 300}, visible), QPointF(80, 0));
    EXPECT_EQ(panOrigin({0, 0}, {-80, 60}, {400, 300}, visible), QPointF(0, 0));

    // A zoom keeps the point in the middle of the view: image 1000 wide shown at 1:1, view
    // (400 × 300) centred on image x = 500 (document x = 520).
    const QSizeF view(400, 300);
    const QPointF before(320, 370);
    const QPointF after = originAfterZoom(before, view, {1040, 1040}, {2040, 2040});
    EXPECT_DOUBLE_EQ(after.x() + view.width() / 2, 20 + 2 * 500);
    EXPECT_DOUBLE_EQ(after.y() + view.height() / 2, 20 + 2 * 500);
    // Shrinking below the view clamps to the origin.
    EXPECT_EQ(originAfterZoom(before, view, {1040, 1040}, {240, 240}), QPointF(0, 0));
    // Growing from a document smaller than the view starts from its middle.
    EXPECT_DOUBLE_EQ(originAfterZoom({0, 0}, view, {240, 240}, {2040, 2040}).x() + view.width() / 2, 1020);
}
