#include "app/editor/RectangleTool.h"

#include "EditorTestSupport.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// The rectangle being edited in the cases below: x 100…300, y 100…200.
const QRectF kFrame(100, 100, 200, 100);

using M = RectDragMode;

} // namespace

TEST(RectangleHitTest, ChoosesTheDragMode)
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
    // Without a rectangle always a new one; on thin ones the top and left edges win.
    EXPECT_EQ(RectangleTool::hitTest({200, 150}, std::nullopt), M::drawNew());
    EXPECT_EQ(RectangleTool::hitTest({200, 110}, QRectF(100, 100, 200, 20)), M::moveEdge(RectEdge::top));
    EXPECT_EQ(RectangleTool::hitTest({150, 150}, QRectF(140, 100, 20, 200)), M::moveEdge(RectEdge::left));
}

TEST(RectangleTool, DragsReshapeTheRectangleBeingEditedWithoutCommitting)
{
    struct Case {
        const char* name;
        std::optional<QRectF> before;
        QPointF from;
        QPointF to;
        std::optional<QRectF> expected;
    };
    const Case cases[] = {
        {"TopLeftCorner", kFrame, {100, 100}, {50, 60}, QRectF(50, 60, 250, 140)},
        {"CornerPastTheFixedOneFlips", kFrame, {300, 200}, {50, 50}, QRectF(50, 50, 50, 50)},
        {"TopEdge", kFrame, {200, 100}, {230, 80}, QRectF(100, 80, 200, 120)},
        {"RightEdge", kFrame, {300, 150}, {320, 170}, QRectF(100, 100, 220, 100)},
        {"BottomEdge", kFrame, {200, 200}, {200, 230}, QRectF(100, 100, 200, 130)},
        {"LeftEdgePastRightIsNormalised", kFrame, {100, 150}, {350, 150}, QRectF(300, 100, 50, 100)},
        {"MoveIsNotLimitedToTheImage", kFrame, {200, 150}, {-50, 140}, QRectF(-150, 90, 200, 100)},
        // New ones need 8 × 8 and start at the smaller corner.
        {"NewTooNarrow", std::nullopt, {100, 100}, {107, 120}, std::nullopt},
        {"NewUpAndLeft", std::nullopt, {300, 300}, {200, 250}, QRectF(200, 250, 100, 50)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorBench bench;
        bench.state().editingRect = c.before;
        bench.drag(c.from, c.to);
        EXPECT_EQ(bench.state().editingRect, c.expected);
        EXPECT_FALSE(bench.state().rectDragMode);
        EXPECT_TRUE(bench.photo().edits.masks.isEmpty());
    }
}

// The hint follows: how to draw one, then how to change it.
TEST(RectangleTool, NewRectanglesAreDrawnOnlyWhileTheMouseIsDown)
{
    EditorBench bench;
    EXPECT_EQ(bench.editor->hint(), "Ziehe ein Rechteck auf das Bild — überdeckt den Bereich mit der gewählten Farbe");
    bench.editor->dragChanged({100, 100}, {108, 108});
    EXPECT_EQ(bench.state().drawingRect, QRectF(100, 100, 8, 8));
    bench.editor->dragEnded();
    EXPECT_EQ(bench.state().editingRect, QRectF(100, 100, 8, 8));
    EXPECT_FALSE(bench.state().drawingRect);
    EXPECT_EQ(bench.editor->hint(),
              "Ecken/Kanten ziehen zum Anpassen, Mitte verschiebt — Klick weit weg schreibt fest");
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
