// Undo and redo over every tool: each step compares the photo's whole edit value.
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// One committed step of each tool, as the user makes it (canvas points, 400 × 300 at s = 2).
void rectangle(EditorBench& b, QPointF at)
{
    b.editor->setMode(DrawingMode::rectangle);
    b.drag(at, at + QPointF(60, 40));
    b.click({790, 590}); // far away: fixes it
}

void stroke(EditorBench& b)
{
    b.editor->setMode(DrawingMode::freehand);
    b.drag({100, 400}, {300, 450});
}

void area(EditorBench& b)
{
    b.editor->setMode(DrawingMode::whiteFill);
    b.editor->press({500, 100});
    b.editor->move({600, 100});
    b.editor->move({600, 200});
    b.editor->release({500, 200});
}

void arrow(EditorBench& b)
{
    b.editor->setMode(DrawingMode::arrow);
    b.drag({400, 500}, {600, 450});
    b.editor->setMode(DrawingMode::rectangle); // leaving the mode fixes it
}

void text(EditorBench& b)
{
    TextTool& tool = b.enter<TextTool>(DrawingMode::text);
    b.click({200, 250});
    tool.setEditingTextValue(QStringLiteral("Kratzer"));
    tool.endTyping();
}

} // namespace

TEST(EditHistory, UndoAndRedoWalkEveryToolsCommitsInTheOrderMade)
{
    EditorBench bench;
    QList<EditState> after{bench.edits()};
    const std::function<void(EditorBench&)> steps[] = {
        [](EditorBench& b) { rectangle(b, {100, 100}); }, stroke, area, arrow, text,
        [](EditorBench& b) { rectangle(b, {300, 300}); },
    };
    for (const auto& step : steps) {
        step(bench);
        ASSERT_NE(bench.edits(), after.last()) << "step " << after.size() << " committed nothing";
        after.append(bench.edits());
    }
    EXPECT_FALSE(bench.editor->redoEnabled());
    // The second rectangle goes first, not the stroke drawn before it.
    for (qsizetype k = after.size() - 1; k > 0; --k) {
        ASSERT_TRUE(bench.editor->undoEnabled()) << k;
        bench.editor->undo();
        EXPECT_EQ(bench.edits(), after[k - 1]) << "undo to step " << k - 1;
    }
    EXPECT_FALSE(bench.editor->undoEnabled());
    for (qsizetype k = 1; k < after.size(); ++k) {
        bench.editor->redo();
        EXPECT_EQ(bench.edits(), after[k]) << "redo to step " << k;
    }
    // A new edit after undoing drops what could have been redone.
    bench.editor->undo();
    bench.editor->undo();
    stroke(bench);
    EXPECT_FALSE(bench.editor->redoEnabled());
    bench.editor->undo();
    EXPECT_EQ(bench.edits(), after[after.size() - 3]);

    // A bake gives the photo a new original: the recorded values belong to the old one.
    bench.processor.replaceImage(bench.id, SourceImage::fromRaster(solid(400, 300, Qt::red)));
    EXPECT_EQ(bench.edits(), EditState{});
    EXPECT_FALSE(bench.editor->undoEnabled());
}

// Ctrl+Z with a shape being drawn or edited drops that shape only; the next one undoes the
// last committed edit.
TEST(EditHistory, CtrlZDropsTheUnfinishedShapeAndLeavesCommittedOnes)
{
    // Each tool's shape left unfinished: being edited (after a drag) or being drawn (pressed and moved).
    const std::tuple<const char*, DrawingMode, bool> cases[] = {
        {"RectangleBeingEdited", DrawingMode::rectangle, true},
        {"RectangleBeingDrawn", DrawingMode::rectangle, false},
        {"StrokeBeingDrawn", DrawingMode::freehand, false},
        {"ArrowBeingEdited", DrawingMode::arrow, true},
        {"TextBeingTyped", DrawingMode::text, true},
    };
    for (const auto& [name, mode, edited] : cases) {
        SCOPED_TRACE(name);
        EditorBench bench;
        const EditState empty = bench.edits();
        rectangle(bench, {100, 100});
        const EditState committed = bench.edits();
        bench.editor->setMode(mode);
        if (mode == DrawingMode::text) {
            bench.click({400, 300});
            bench.tool<TextTool>().setEditingTextValue(QStringLiteral("halb"));
        } else if (edited) {
            bench.drag({400, 300}, {500, 400});
        } else {
            bench.editor->press({400, 300});
            bench.editor->move({500, 400});
        }
        ASSERT_TRUE(bench.editor->activeTool()->hasUnfinished());
        bench.editor->undo();
        EXPECT_EQ(bench.edits(), committed);
        EXPECT_FALSE(bench.editor->activeTool()->hasUnfinished());
        bench.editor->release({500, 400}); // a release after the drop commits nothing
        bench.editor->setMode(DrawingMode::crop);
        EXPECT_EQ(bench.edits(), committed);
        bench.editor->undo();
        EXPECT_EQ(bench.edits(), empty);
    }
}

// Annotations made before the editor opened are not in the history: undo takes them away by
// the processor's rule (in text mode the last text mark, else the last overlay, then the last
// mask), and redo brings them back.
TEST(EditHistory, EditsFromBeforeTheEditorOpenedAreUndoneOneByOne)
{
    EditorBench bench;
    EditState before;
    before.masks = {{{10, 10, 50, 50}, "#FFFFFF"}};
    before.freehandOverlays = {{AreaShape{{{0, 0}, {40, 0}, {0, 40}}, "#FFFFFF"}, {400, 300}}};
    before.textMarks = {textMark({100, 100})};
    bench.setEdits(before);
    ASSERT_TRUE(bench.editor->undoEnabled());
    bench.editor->setMode(DrawingMode::text);
    bench.editor->undo();
    EXPECT_TRUE(bench.edits().textMarks.isEmpty());
    bench.editor->setMode(DrawingMode::rectangle);
    bench.editor->undo();
    EXPECT_TRUE(bench.edits().freehandOverlays.isEmpty());
    EXPECT_EQ(bench.edits().masks, before.masks);
    bench.editor->undo();
    EXPECT_EQ(bench.edits(), EditState{});
    EXPECT_FALSE(bench.editor->undoEnabled());
    for (int i = 0; i < 3; ++i)
        bench.editor->redo();
    EXPECT_EQ(bench.edits(), before);
}
