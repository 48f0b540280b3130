#include "app/editor/RectangleTool.h"

#include "EditorTestSupport.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// The rectangle being edited in the cases below: x 100…300, y 100…200.
const QRectF kFrame(100, 100, 200, 100);

struct HitCase {
    const char* name;
    QPointF press;
    RectDragMode expected;
};

class RectangleHitTest : public ::testing::TestWithParam<HitCase> {};

struct DragCase {
    const char* name;
    QPointF from;
    QPointF to;
    QRectF expected;
};

class RectangleReshape : public ::testing::TestWithParam<DragCase> {};

using M = RectDragMode;

} // namespace

TEST_P(RectangleHitTest, ChoosesTheDragMode)
{
    EXPECT_EQ(RectangleTool::hitTest(GetParam().press, kFrame), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RectangleHitTest,
    ::testing::Values(HitCase{"TwentyOutsideTheCornerGrabsIt", {80, 100}, M::moveCorner(RectCorner::topLeft)},
                      HitCase{"CornerBeforeEdge", {110, 95}, M::moveCorner(RectCorner::topLeft)},
                      HitCase{"TopRight", {314, 86}, M::moveCorner(RectCorner::topRight)},
                      HitCase{"BottomLeftAt29", {100, 229}, M::moveCorner(RectCorner::bottomLeft)},
                      HitCase{"BottomRight", {301, 201}, M::moveCorner(RectCorner::bottomRight)},
                      HitCase{"TopEdge24Above", {200, 76}, M::moveEdge(RectEdge::top)},
                      HitCase{"TwentySevenAboveStartsNew", {200, 73}, M::drawNew()},
                      HitCase{"BottomEdge", {200, 220}, M::moveEdge(RectEdge::bottom)},
                      HitCase{"LeftEdge", {80, 150}, M::moveEdge(RectEdge::left)},
                      HitCase{"RightEdge", {320, 150}, M::moveEdge(RectEdge::right)},
                      HitCase{"TwentySixBelowStartsNew", {170, 226}, M::drawNew()},
                      HitCase{"InsideMoves", {200, 150}, M::moveAll()},
                      HitCase{"FarAwayStartsNew", {600, 500}, M::drawNew()}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RectangleHitTest, WithoutRectangleAlwaysDrawsNewAndTopWinsOverBottomOnThinOnes)
{
    EXPECT_EQ(RectangleTool::hitTest({200, 150}, std::nullopt), M::drawNew());
    EXPECT_EQ(RectangleTool::hitTest({200, 110}, QRectF(100, 100, 200, 20)), M::moveEdge(RectEdge::top));
    EXPECT_EQ(RectangleTool::hitTest({150, 150}, QRectF(140, 100, 20, 200)), M::moveEdge(RectEdge::left));
}

TEST_P(RectangleReshape, DragsTheRectangleBeingEdited)
{
    EditorBench bench;
    bench.state().editingRect = kFrame;
    bench.drag(GetParam().from, GetParam().to);
    ASSERT_TRUE(bench.state().editingRect);
    EXPECT_EQ(*bench.state().editingRect, GetParam().expected);
    EXPECT_FALSE(bench.state().rectDragMode);
    EXPECT_TRUE(bench.photo().edits.masks.isEmpty()); // reshaping commits nothing
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RectangleReshape,
    ::testing::Values(DragCase{"TopLeftCorner", {100, 100}, {50, 60}, {50, 60, 250, 140}},
                      DragCase{"CornerPastTheFixedOneFlips", {300, 200}, {50, 50}, {50, 50, 50, 50}},
                      DragCase{"TopEdge", {200, 100}, {230, 80}, {100, 80, 200, 120}},
                      DragCase{"RightEdge", {300, 150}, {320, 170}, {100, 100, 220, 100}},
                      DragCase{"BottomEdge", {200, 200}, {200, 230}, {100, 100, 200, 130}},
                      DragCase{"LeftEdgePastRightIsNormalised", {100, 150}, {350, 150}, {300, 100, 50, 100}},
                      DragCase{"MoveIsNotLimitedToTheImage", {200, 150}, {-50, 140}, {-150, 90, 200, 100}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(RectangleTool, NewRectanglesNeedEightByEightAndAreDrawnOnlyWhileTheMouseIsDown)
{
    EditorBench bench;
    bench.drag({100, 100}, {107, 120});
    EXPECT_FALSE(bench.state().editingRect);
    bench.editor->dragChanged({100, 100}, {108, 108});
    EXPECT_EQ(bench.state().drawingRect, QRectF(100, 100, 8, 8));
    bench.editor->dragEnded();
    EXPECT_EQ(bench.state().editingRect, QRectF(100, 100, 8, 8));
    EXPECT_FALSE(bench.state().drawingRect);
    // Dragged up and left, the rectangle still has its origin at the smaller corner.
    bench.state().editingRect.reset();
    bench.drag({300, 300}, {200, 250});
    EXPECT_EQ(bench.state().editingRect, QRectF(200, 250, 100, 50));
}

// Every commit path stores the one mask in image pixels: s = 2, so the canvas rectangle
// (100, 100, 200, 100) covers image x 50…150 and y (up) 200…250. A part outside the image is
// cut off; on a quarter turn the canvas's top-left is the image's top-right.
TEST(RectangleTool, CommitPathsStoreOneMaskInImagePixels)
{
    const auto farClick = [](EditorBench& b) { b.drag({700, 550}, {700, 550}, 1); };
    const auto modeChange = [](EditorBench& b) { b.editor->setMode(DrawingMode::freehand); };
    const auto closing = [](EditorBench& b) { b.editor->close(); };
    struct Case {
        const char* name;
        double rotation;
        QRectF frame;
        std::function<void(EditorBench&)> commit;
        QRectF mask;
    };
    // 400 × 300 turned: 300 × 400 at s = 1.5 from x = 175.
    for (const Case& c : {Case{"ClickFarAway", 0, kFrame, farClick, {50, 200, 100, 50}},
                          Case{"ModeChange", 0, kFrame, modeChange, {50, 200, 100, 50}},
                          Case{"Closing", 0, kFrame, closing, {50, 200, 100, 50}},
                          Case{"PartOutside", 0, {-100, -100, 300, 200}, modeChange, {0, 250, 100, 50}},
                          Case{"QuarterTurn", 90, {175, 0, 30, 45}, closing, {370, 280, 30, 20}}}) {
        SCOPED_TRACE(c.name);
        EditorBench bench({400, 300}, {800, 600}, c.rotation);
        bench.state().rectColorHex = QStringLiteral("#112233");
        bench.state().editingRect = c.frame;
        c.commit(bench);
        ASSERT_EQ(bench.photo().edits.masks.size(), 1);
        EXPECT_EQ(bench.photo().edits.masks[0], (MaskRect{c.mask, QStringLiteral("#112233")}));
        EXPECT_FALSE(bench.state().editingRect);
        EXPECT_FALSE(bench.state().drawingRect); // a click makes no new rectangle
    }
}

TEST(RectangleTool, ModeChangeToRectangleCommitsNothing)
{
    EditorBench bench;
    bench.state().editingRect = kFrame;
    bench.editor->setMode(DrawingMode::rectangle);
    EXPECT_TRUE(bench.state().editingRect);
    EXPECT_TRUE(bench.photo().edits.masks.isEmpty());
}
