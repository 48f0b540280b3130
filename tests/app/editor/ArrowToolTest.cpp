#include "app/editor/ArrowTool.h"

#include "EditorTestSupport.h"

#include <QLineF>
#include <gtest/gtest.h>
#include <numbers>

using namespace lumora;
using namespace lumora::test;

using K = ArrowDragMode::Kind;

TEST(ArrowHitTest, ChoosesTheDragModeAndKeepsTheGrabOffsetFromTheMidpoint)
{
    struct Case {
        const char* name;
        QPointF start; ///< of the arrow being edited
        QPointF end;
        QPointF press;
        K expected;
    };
    const Case cases[] = {
        {"StartAt30", {100, 100}, {300, 100}, {100, 130}, K::moveStart},
        {"EndAt29", {100, 100}, {300, 100}, {329, 100}, K::moveEnd},
        // Both ends within 30: the start is tested first.
        {"ShortArrowGrabsTheStart", {100, 100}, {120, 100}, {112, 100}, K::moveStart},
        {"ShaftAt29", {100, 100}, {300, 100}, {200, 129}, K::moveAll},
        {"ShaftAt31StartsNew", {100, 100}, {300, 100}, {200, 131}, K::drawNew},
        // Beyond the end along the line: the distance is to the end, not the line.
        {"PastTheEndOnTheLine", {100, 100}, {300, 100}, {340, 100}, K::drawNew},
        {"SlantedShaft", {0, 0}, {200, 200}, {120, 80}, K::moveAll},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ArrowTool::hitTest(c.press, c.start, c.end).kind, c.expected) << c.name;
    EXPECT_EQ(ArrowTool::hitTest({100, 100}, std::nullopt, {100, 100}).kind, K::drawNew);
    EXPECT_EQ(ArrowTool::hitTest({200, 129}, QPointF(100, 100), {300, 100}), (ArrowDragMode{K::moveAll, {0, 29}}));
    EXPECT_DOUBLE_EQ(ArrowTool::distanceToSegment({5, 5}, {1, 1}, {1, 1}), QLineF(5, 5, 1, 1).length());
}

TEST(ArrowHeadView, LengthIsTwiceTheWidthAtLeast8AndAsWideAsLong)
{
    for (auto [width, length] : {std::pair{2.0, 8.0}, {12.0, 24.0}, {1.0, 8.0}}) {
        const auto c = ArrowHeadView{{0, 0}, {100, 0}, width}.corners();
        EXPECT_EQ(c[0], QPointF(100, 0)) << width;
        EXPECT_NEAR(c[1].x(), 100 - length, 1e-9) << width;
        EXPECT_NEAR(QLineF(c[1], c[2]).length(), length, 1e-9) << width;
    }
    // Pointing down the canvas (θ = π/2): the first base corner is on the +x side.
    const auto down = ArrowHeadView{{0, 0}, {0, 100}, 12}.corners();
    expectNear(down[1], {12, 76});
    EXPECT_NEAR(down[2].x(), -12, 1e-9);
}

TEST(ArrowDrag, EightPointsMakeAnEditableArrowThatMovesByItsShaftAndEnds)
{
    EditorBench bench;
    bench.editor->setMode(DrawingMode::arrow);
    bench.drag({100, 100}, {107, 100});
    EXPECT_FALSE(bench.state().editingArrowStart);
    bench.drag({100, 100}, {108, 100});
    EXPECT_EQ(bench.state().editingArrowStart, QPointF(100, 100));
    EXPECT_EQ(bench.state().editingArrowEnd, QPointF(108, 100));
    EXPECT_FALSE(bench.state().arrowStart);
    EXPECT_FALSE(bench.state().arrowDragMode);
    EXPECT_EQ(bench.editor->hint(),
              "Endpunkte ziehen · Mitte ziehen zum Verschieben · Klick daneben zum Festschreiben");

    // Moved by the shaft, the grab offset is kept at every step.
    bench.state().editingArrowStart = QPointF(100, 100);
    bench.state().editingArrowEnd = QPointF(300, 100);
    const QPointF press(200, 129); // 29 beside the middle
    for (int i = 1; i <= 5; ++i) {
        const QPointF pointer = press + QPointF(10 * i, -7 * i);
        bench.editor->dragChanged(press, pointer);
        const QPointF mid = (*bench.state().editingArrowStart + bench.state().editingArrowEnd) / 2;
        EXPECT_EQ(pointer - mid, QPointF(0, 29)) << i;
    }
    bench.editor->dragEnded();
    EXPECT_EQ(*bench.state().editingArrowStart, QPointF(150, 65));
    EXPECT_EQ(bench.state().editingArrowEnd, QPointF(350, 65));

    // The ends follow the pointer itself.
    bench.drag({350, 65}, {360, 200});
    EXPECT_EQ(bench.state().editingArrowEnd, QPointF(360, 200));
    bench.drag({150, 65}, {140, 60});
    EXPECT_EQ(*bench.state().editingArrowStart, QPointF(140, 60));
    EXPECT_TRUE(bench.photo().arrows.isEmpty());
}

TEST(ArrowCommit, StoresStartAngleLengthAndWidthInImagePixels)
{
    struct Case {
        const char* name;
        QSizeF canvas; ///< the canvas shows the 400 × 300 photo at canvas.width / 400
        QPointF from;  ///< offset from the fitted image's top-left corner
        QPointF to;
        double width;  ///< arrowLineWidth
        double angle;  ///< expected
        double length; ///< expected, pixels
        double stored; ///< expected lineWidth, pixels
    };
    const Case cases[] = {
        {"LeftToRightIsAngle0", {800, 600}, {20, 50}, {220, 50}, 12, 0, 100, 6},
        {"DownTheCanvasIsMinusHalfPi", {800, 600}, {20, 50}, {20, 150}, 5, -std::numbers::pi / 2, 50, 2.5},
        {"QuarterScaleQuadruplesTheWidth", {100, 75}, {10, 10}, {30, 10}, 12, 0, 80, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorBench bench({400, 300}, c.canvas);
        bench.editor->setMode(DrawingMode::arrow);
        bench.state().arrowLineWidth = c.width;
        const QPointF origin = bench.editor->mapping().fittedRect(c.canvas).topLeft();
        bench.drag(origin + c.from, origin + c.to);
        // A press far away commits it and starts the next arrow.
        bench.editor->dragChanged(origin + QPointF(1000, 1000), origin + QPointF(1000, 1000));
        EXPECT_FALSE(bench.state().editingArrowStart);
        EXPECT_NEAR(bench.processor.currentArrowLineWidth, c.stored, 1e-9);
        EXPECT_TRUE(bench.photo().arrows.isEmpty()); // the hand-over runs after the commit returns
        bench.editor->dragEnded();
        bench.settle();
        const double s = c.canvas.width() / 400; // the cases' values are exact in binary
        const QPointF start(c.from.x() / s, 300 - c.from.y() / s);
        EXPECT_EQ(bench.photo().arrows, QList<Arrow>{(Arrow{start, c.angle, c.length, c.stored, "#FF3B30"})});
        EXPECT_EQ(bench.photo().edits.freehandOverlays.size(), 1); // what rebuilds the preview
    }
}

// Commits outside a gesture map with the last known canvas size; arrows committed before the
// hand-over keep their own lengths and colours; closing hands the arrow over before baking.
TEST(ArrowCommit, ModeChangeAndClosingCommitEachArrowWithItsOwnSizeAndColour)
{
    EditorBench bench;
    bench.editor->setMode(DrawingMode::arrow);
    bench.drag({20, 20}, {120, 20});
    bench.drag({20, 200}, {60, 200}); // commits the first
    bench.state().arrowColorHex = QStringLiteral("#00FF00");
    bench.editor->setCanvasSize({1600, 1200});     // the canvas grew after the arrow was drawn
    bench.editor->setMode(DrawingMode::rectangle); // commits the second
    EXPECT_FALSE(bench.state().editingArrowStart);
    bench.settle();
    // 100 points at scale 2, then 40 points at scale 4: all exact in binary.
    EXPECT_EQ(bench.photo().arrows, (QList<Arrow>{{{10, 290}, 0, 50, 6, "#FF3B30"}, {{5, 250}, 0, 10, 3, "#00FF00"}}));

    bench.editor->setMode(DrawingMode::arrow);
    bench.drag({20, 20}, {120, 20});
    bench.editor->close();
    EXPECT_EQ(bench.dismissed, 1);
    EXPECT_EQ(bench.photo().arrows.size(), 3);
}
