// The rectangle, freehand, fill and arrow tools driven with canvas points, without widgets.
#include "EditorTestSupport.h"

#include <QLineF>
#include <gtest/gtest.h>
#include <numbers>

using namespace lumora;
using namespace lumora::test;

namespace {

// The rectangle being edited in the cases below: x 100…300, y 100…200 on the canvas.
const QRectF kFrame(100, 100, 200, 100);

using M = RectDragMode;
using K = ArrowDragMode::Kind;

/// Starts editing `frame` (canvas points) with the rectangle tool, as a drag would.
void startEditing(EditorBench& bench, const QRectF& frame)
{
    bench.editor->setMode(DrawingMode::rectangle);
    bench.drag(frame.topLeft(), frame.bottomRight());
}

} // namespace

TEST(HitTest, RectangleAndArrowChooseTheDragMode)
{
    const std::pair<QPointF, M> cases[] = {
        {{80, 100}, M::moveCorner(RectCorner::topLeft)}, // 20 outside the corner grabs it
        {{110, 95}, M::moveCorner(RectCorner::topLeft)}, // corners before edges
        {{314, 86}, M::moveCorner(RectCorner::topRight)},
        {{100, 229}, M::moveCorner(RectCorner::bottomLeft)},
        {{301, 201}, M::moveCorner(RectCorner::bottomRight)},
        {{200, 76}, M::moveEdge(RectEdge::top)}, // 24 above
        {{200, 73}, M::drawNew()},               // 27 above
        {{200, 220}, M::moveEdge(RectEdge::bottom)},
        {{80, 150}, M::moveEdge(RectEdge::left)},
        {{320, 150}, M::moveEdge(RectEdge::right)},
        {{170, 226}, M::drawNew()}, // 26 below
        {{200, 150}, M::moveAll()},
        {{600, 500}, M::drawNew()},
    };
    for (const auto& [press, expected] : cases)
        EXPECT_EQ(RectangleTool::hitTest(press, kFrame), expected) << press.x() << "," << press.y();
    EXPECT_EQ(RectangleTool::hitTest({200, 150}, std::nullopt), M::drawNew());
    EXPECT_EQ(RectangleTool::hitTest({200, 110}, QRectF(100, 100, 200, 20)), M::moveEdge(RectEdge::top));

    // The arrow's drag mode keeps the grab offset from the midpoint.
    const std::tuple<const char*, QPointF, QPointF, QPointF, K> arrows[] = {
        {"StartAt30", {100, 100}, {300, 100}, {100, 130}, K::moveStart},
        {"EndAt29", {100, 100}, {300, 100}, {329, 100}, K::moveEnd},
        {"ShortArrowGrabsTheStart", {100, 100}, {120, 100}, {112, 100}, K::moveStart},
        {"ShaftAt29", {100, 100}, {300, 100}, {200, 129}, K::moveAll},
        {"ShaftAt31StartsNew", {100, 100}, {300, 100}, {200, 131}, K::drawNew},
        {"PastTheEndOnTheLine", {100, 100}, {300, 100}, {340, 100}, K::drawNew},
        {"SlantedShaft", {0, 0}, {200, 200}, {120, 80}, K::moveAll},
    };
    for (const auto& [name, start, end, press, expected] : arrows)
        EXPECT_EQ(ArrowTool::hitTest(press, start, end).kind, expected) << name;
    EXPECT_EQ(ArrowTool::hitTest({100, 100}, std::nullopt, {100, 100}).kind, K::drawNew);
    EXPECT_EQ(ArrowTool::hitTest({200, 129}, QPointF(100, 100), {300, 100}), (ArrowDragMode{K::moveAll, {0, 29}}));
}

// Drags reshape the rectangle as the canvas shows it, on a turned and mirrored photo too (the
// rectangle is kept in image pixels); nothing is committed.
TEST(RectangleTool, DragsReshapeTheRectangleBeingEditedWithoutCommitting)
{
    const std::tuple<const char*, std::optional<QRectF>, QPointF, QPointF, std::optional<QRectF>> cases[] = {
        {"TopLeftCorner", kFrame, {100, 100}, {50, 60}, QRectF(50, 60, 250, 140)},
        {"CornerPastTheFixedOneFlips", kFrame, {300, 200}, {50, 50}, QRectF(50, 50, 50, 50)},
        {"TopEdge", kFrame, {200, 100}, {230, 80}, QRectF(100, 80, 200, 120)},
        {"RightEdge", kFrame, {300, 150}, {320, 170}, QRectF(100, 100, 220, 100)},
        {"BottomEdge", kFrame, {200, 200}, {200, 230}, QRectF(100, 100, 200, 130)},
        {"LeftEdgePastRightIsNormalised", kFrame, {100, 150}, {350, 150}, QRectF(300, 100, 50, 100)},
        {"MoveIsNotLimitedToThePhoto", kFrame, {200, 150}, {-50, 140}, QRectF(-150, 90, 200, 100)},
        // New ones need 8 × 8 and start at the smaller corner.
        {"NewTooNarrow", std::nullopt, {100, 100}, {107, 120}, std::nullopt},
        {"NewEightByEight", std::nullopt, {100, 100}, {108, 108}, QRectF(100, 100, 8, 8)},
        {"NewUpAndLeft", std::nullopt, {300, 300}, {200, 250}, QRectF(200, 250, 100, 50)},
    };
    for (double rotation : {0.0, 90.0}) {
        for (bool flipped : {false, true}) {
            for (const auto& [name, before, from, to, expected] : cases) {
                SCOPED_TRACE(testing::Message() << name << " at " << rotation << "°, mirrored " << flipped);
                PhotoItem photo = EditorBench::photoOf({400, 300}, rotation);
                photo.edits.flippedH = flipped;
                EditorBench bench(photo, {800, 600});
                auto& tool = bench.tool<RectangleTool>();
                if (before)
                    startEditing(bench, *before);
                bench.drag(from, to);
                ASSERT_EQ(tool.editingRect().has_value(), expected.has_value());
                if (expected)
                    expectNear(bench.editor->mapping().toCanvas(*tool.editingRect()), *expected, 1e-9);
                EXPECT_FALSE(tool.rectDragMode());
                EXPECT_TRUE(bench.edits().masks.isEmpty());
            }
        }
    }
}

// Every commit stores the one mask in image pixels: s = 2, so the canvas rectangle
// (100, 100, 200, 100) covers image x 50…150 and y (up) 200…250. The part beside the photo is
// cut off; on a quarter turn the canvas's top-left is the image's top-right.
TEST(RectangleTool, CommitsStoreOneMaskInImagePixels)
{
    const auto farClick = [](EditorBench& b) { b.click({790, 590}); };
    const auto modeChange = [](EditorBench& b) { b.editor->setMode(DrawingMode::freehand); };
    const auto closing = [](EditorBench& b) { b.editor->close(); };
    // Name, turn, frame, commit, mask; 400 × 300 turned is 300 × 400 at s = 1.5 from x = 175.
    const std::tuple<const char*, double, QRectF, std::function<void(EditorBench&)>, QRectF> cases[] = {
        {"ClickFarAway", 0, kFrame, farClick, {50, 200, 100, 50}},
        {"ModeChange", 0, kFrame, modeChange, {50, 200, 100, 50}},
        {"Closing", 0, kFrame, closing, {50, 200, 100, 50}},
        {"PartBeside", 0, {-100, -100, 300, 200}, modeChange, {0, 250, 100, 50}},
        {"QuarterTurn", 90, {175, 0, 30, 45}, closing, {370, 280, 30, 20}},
    };
    for (const auto& [name, rotation, frame, commit, mask] : cases) {
        SCOPED_TRACE(name);
        EditorBench bench({400, 300}, {800, 600}, rotation);
        auto& tool = bench.tool<RectangleTool>();
        tool.setRectColorHex(QStringLiteral("#112233"));
        startEditing(bench, frame);
        commit(bench);
        expectNear(bench.edits().masks.value(0).rect, mask, 1e-9);
        EXPECT_EQ(bench.edits().masks.size(), 1);
        EXPECT_EQ(bench.edits().masks.value(0).colorHex, "#112233");
        EXPECT_FALSE(tool.editingRect());
        EXPECT_FALSE(tool.drawingRect()); // a click makes no new rectangle
    }
}

// The canvas changes size between the press and the release (the window is resized, the sheet
// moves to another screen): what is being drawn stays on the same spot of the photo.
TEST(DrawingTools, ShapesStayOnThePhotoWhenTheCanvasChangesSizeMidDrag)
{
    EditorBench bench({400, 300}, {800, 600});
    bench.editor->press({100, 100}); // image (50, 250)
    bench.editor->move({300, 200});  // image (150, 200)
    bench.editor->setCanvasSize({400, 300});
    bench.editor->release({150, 100}); // the same image point at the new scale
    auto& rectangle = bench.tool<RectangleTool>();
    ASSERT_TRUE(rectangle.editingRect());
    expectNear(*rectangle.editingRect(), QRectF(50, 200, 100, 50));

    auto& freehand = bench.enter<FreehandTool>(DrawingMode::freehand);
    bench.editor->press({25, 50}); // s = 1 now: image (25, 250)
    bench.editor->setCanvasSize({800, 600});
    bench.editor->move({300, 200});
    expectNear(freehand.freehandPoints().first(), {25, 250});
    expectNear(freehand.freehandPoints().last(), {150, 200});
}

// A line drawn off the photo is kept as drawn, not flattened along the edge; the file clips it
// where the canvas clips it. An arrow pointing past a corner keeps its direction.
TEST(DrawingTools, ShapesLeavingThePhotoKeepTheirDirectionAndAreClippedLikeTheFile)
{
    EditorBench bench({400, 300}, {1000, 600}); // s = 2, the photo from x = 100 to 900
    bench.editor->setMode(DrawingMode::freehand);
    bench.drag({500, 300}, {40, 20}, 1); // ends 60 points left of the photo
    ASSERT_EQ(bench.edits().freehandOverlays.size(), 1);
    const auto& stroke = std::get<StrokeShape>(bench.edits().freehandOverlays[0].shape);
    expectNear(stroke.points.last(), {-30, 290});

    bench.editor->setMode(DrawingMode::arrow);
    bench.drag({500, 300}, {1000, 0}); // up and right, past the corner at (900, 0)
    bench.editor->setMode(DrawingMode::rectangle);
    ASSERT_EQ(bench.photo().arrows().size(), 1);
    const Arrow arrow = bench.photo().arrows()[0];
    EXPECT_NEAR(arrow.angle, std::atan2(150, 250), 1e-9);
    EXPECT_NEAR(arrow.length, std::hypot(250, 150), 1e-9);

    // Wholly beside the photo: nothing to keep.
    const EditState before = bench.edits();
    bench.editor->setMode(DrawingMode::freehand);
    bench.drag({20, 20}, {60, 500});
    bench.editor->setMode(DrawingMode::rectangle);
    bench.drag({920, 20}, {990, 90});
    bench.editor->setMode(DrawingMode::crop);
    EXPECT_EQ(bench.edits(), before);
}

TEST(FreehandAndFill, StrokesInImagePixelsWithTheWidthConvertedAndAreasNeedThreePoints)
{
    EditorBench bench({1600, 1200}, {800, 600}); // shown at s = 0.5
    auto& freehand = bench.enter<FreehandTool>(DrawingMode::freehand);
    freehand.setFreehandLineWidth(10);
    bench.editor->press({100, 100});
    bench.editor->move({200, 150});
    bench.editor->release({300, 100});
    const StrokeShape stroke{{{200, 1000}, {400, 900}, {600, 1000}}, "#FF3B30", 20};
    EXPECT_EQ(bench.edits().freehandOverlays, (QList<Overlay>{{stroke, {1600, 1200}}}));
    EXPECT_TRUE(freehand.freehandPoints().isEmpty());

    bench.click({50, 50}); // a click is a dot
    EXPECT_EQ(bench.edits().freehandOverlays.size(), 2);

    bench.editor->setMode(DrawingMode::whiteFill);
    bench.drag({10, 10}, {50, 50}, 1); // along one line: nothing to fill
    EXPECT_EQ(bench.edits().freehandOverlays.size(), 2);
    bench.editor->press({0, 0});
    bench.editor->move({200, 0});
    bench.editor->release({200, 200});
    const AreaShape area{{{0, 1200}, {400, 1200}, {400, 800}}, "#FFFFFFFF"};
    EXPECT_EQ(bench.edits().freehandOverlays.last(), (Overlay{area, {1600, 1200}}));
}

// Eight points make an editable arrow; moved by its shaft it keeps the grab offset; a press
// away commits it with start, angle, length and width in image pixels.
TEST(ArrowTool, DrawMoveAndCommitInImagePixels)
{
    EditorBench bench({400, 300}, {800, 600}); // s = 2
    auto& tool = bench.enter<ArrowTool>(DrawingMode::arrow);
    bench.drag({100, 100}, {107, 100});
    EXPECT_FALSE(tool.editingArrowStart());
    bench.drag({100, 100}, {300, 100});
    ASSERT_TRUE(tool.editingArrowStart());
    bench.drag({200, 129}, {250, 94}); // grabbed 29 beside the middle
    expectNear(bench.editor->mapping().toCanvas(*tool.editingArrowStart()), {150, 65});

    tool.setArrowLineWidth(12);
    bench.click({790, 590}); // away: commits
    EXPECT_FALSE(tool.editingArrowStart());
    EXPECT_EQ(bench.photo().arrows(), QList<Arrow>{(Arrow{{75, 267.5}, 0, 100, 6, "#FF3B30"})});
    EXPECT_NEAR(bench.processor.currentArrowLineWidth, 6, 1e-9);

    // Drawn down the canvas it points down the image: −π/2.
    bench.drag({100, 100}, {100, 200});
    bench.editor->close();
    EXPECT_NEAR(bench.photo().arrows().last().angle, -std::numbers::pi / 2, 1e-9);
}
