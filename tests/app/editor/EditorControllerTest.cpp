#include "app/editor/EditorController.h"
#include "app/editor/EditorToolbar.h"

#include "EditorTestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

TEST(EditorController, SheetSizeFollowsTheWindowWithMinimaAndFallbacks)
{
    EXPECT_EQ(EditorController::sheetSize({1280, 760}), QSize(1220, 700));
    EXPECT_EQ(EditorController::sheetSize({700, 480}), QSize(700, 450));
    EXPECT_EQ(EditorController::sheetSize({0, 0}), QSize(1180, 600));
    EXPECT_EQ(EditorController::sheetSize({-5, 900}), QSize(1180, 840));
}

TEST(FreehandTool, StrokeInImagePixelsWithTheWidthConverted)
{
    EditorBench bench({1600, 1200}, {800, 600}); // shown at s = 0.5
    bench.editor->setMode(DrawingMode::freehand);
    bench.state().freehandLineWidth = 10;
    bench.editor->dragChanged({100, 100}, {200, 150});
    bench.editor->dragChanged({100, 100}, {300, 100});
    bench.editor->dragEnded();
    const StrokeShape stroke{{{200, 1000}, {400, 900}, {600, 1000}}, "#FF3B30", 20};
    EXPECT_EQ(bench.photo().edits.freehandOverlays, (QList<Overlay>{{stroke, {1600, 1200}}}));
    EXPECT_EQ(bench.state().freehandPaths.size(), 1);
    EXPECT_EQ(bench.state().freehandPathLooks, (QList<std::pair<QString, double>>{{"#FF3B30", 10}}));
    EXPECT_TRUE(bench.state().freehandPoints.isEmpty());
}

TEST(FreehandAndFill, FewerThanThreePointsCommitNothingThreeFillTheMappedPolygon)
{
    EditorBench bench;
    bench.editor->setMode(DrawingMode::freehand);
    bench.editor->dragEnded(); // a click without movement: no point at all
    bench.editor->dragChanged({10, 10}, {10, 10});
    EXPECT_EQ(bench.state().freehandPoints.size(), 2); // the start point and the current one
    bench.state().freehandPoints = {{10, 10}};
    bench.editor->dragEnded();
    bench.editor->setMode(DrawingMode::whiteFill);
    bench.drag({10, 10}, {50, 50}, 1); // two points
    EXPECT_TRUE(bench.photo().edits.freehandOverlays.isEmpty());
    EXPECT_TRUE(bench.state().freehandPaths.isEmpty());
    EXPECT_TRUE(bench.state().whiteFillPoints.isEmpty());

    bench.editor->dragChanged({0, 0}, {200, 0});
    bench.editor->dragChanged({0, 0}, {200, 200});
    bench.editor->dragEnded();
    const AreaShape area{{{0, 300}, {100, 300}, {100, 200}}, "#FFFFFFFF"};
    EXPECT_EQ(bench.photo().edits.freehandOverlays, (QList<Overlay>{{area, {400, 300}}}));
}

TEST(EditorController, UndoIsEnabledByMasksOverlaysOrTextMarks)
{
    EditorBench bench;
    auto withEdits = [&](auto change) {
        PhotoItem photo = bench.photo();
        photo.edits = {};
        change(photo.edits);
        bench.processor.updatePhoto(photo);
        return bench.editor->undoEnabled();
    };
    EXPECT_TRUE(withEdits([](EditState& e) { e.masks.append({{0, 0, 5, 5}, "#FFFFFF"}); }));
    EXPECT_TRUE(withEdits([](EditState& e) { e.freehandOverlays.append({AreaShape{}, {400, 300}}); }));
    EXPECT_TRUE(withEdits([](EditState& e) { e.textMarks.append(textMark({100, 100}, "a", 40)); }));
    EXPECT_FALSE(withEdits([](EditState&) {}));
}

TEST(EditorController, UndoPerMode)
{
    { // rectangle: the processor's undo, and the rectangle being edited is dropped
        EditorBench bench;
        bench.drag({100, 100}, {200, 200});
        bench.editor->close(); // commits it
        bench.drag({300, 300}, {400, 400});
        bench.editor->undo();
        EXPECT_TRUE(bench.photo().edits.masks.isEmpty());
        EXPECT_FALSE(bench.state().editingRect);
    }
    { // freehand: the last stroke and its canvas path
        EditorBench bench;
        bench.editor->setMode(DrawingMode::freehand);
        bench.drag({10, 10}, {100, 100});
        bench.drag({20, 10}, {100, 200});
        bench.editor->undo();
        EXPECT_EQ(bench.photo().edits.freehandOverlays.size(), 1);
        EXPECT_EQ(bench.state().freehandPaths.size(), 1);
        EXPECT_EQ(bench.state().freehandPathLooks.size(), 1);
    }
    { // fill: the path being drawn is emptied too
        EditorBench bench;
        bench.editor->setMode(DrawingMode::whiteFill);
        bench.drag({10, 10}, {100, 100});
        bench.state().whiteFillPoints = {{1, 1}, {2, 2}};
        bench.editor->undo();
        EXPECT_TRUE(bench.photo().edits.freehandOverlays.isEmpty());
        EXPECT_TRUE(bench.state().whiteFillPoints.isEmpty());
    }
    { // arrow: the arrow being edited is cleared, not committed
        EditorBench bench;
        bench.editor->setMode(DrawingMode::arrow);
        bench.drag({20, 20}, {120, 20});
        bench.editor->undo();
        EXPECT_FALSE(bench.state().editingArrowStart);
        EXPECT_EQ(bench.state().editingArrowEnd, QPointF(0, 0));
        bench.editor->setMode(DrawingMode::rectangle);
        bench.settle();
        EXPECT_TRUE(bench.photo().arrows.isEmpty());
    }
    { // text without marks falls through to the processor; with marks it removes the last one
        EditorBench bench;
        bench.drag({100, 100}, {200, 200});
        bench.editor->setMode(DrawingMode::text); // commits the rectangle
        ASSERT_EQ(bench.photo().edits.masks.size(), 1);
        bench.editor->undo();
        EXPECT_TRUE(bench.photo().edits.masks.isEmpty());
        bench.processor.setTextMarks(bench.id, {textMark({100, 100}, "eins", 40), textMark({100, 100}, "zwei", 40)});
        bench.state().selectedTextID = bench.photo().edits.textMarks[1].id;
        bench.editor->undo();
        ASSERT_EQ(bench.photo().edits.textMarks.size(), 1);
        EXPECT_EQ(bench.photo().edits.textMarks[0].text, "eins");
        EXPECT_FALSE(bench.state().selectedTextID);
    }
}

TEST(EditorController, ClosingWithTextMarksBakesThemIntoANewOriginal)
{
    EditorBench bench;
    const SourceImage before = bench.photo().originalCI;
    bench.processor.setTextMarks(bench.id, {textMark({100, 100}, "Hallo", 40)});
    bench.state().editingRect = QRectF(100, 100, 200, 100);
    bench.editor->close();
    EXPECT_EQ(bench.dismissed, 1);
    EXPECT_FALSE(bench.photo().originalCI == before);
    EXPECT_TRUE(bench.photo().edits.textMarks.isEmpty());
    EXPECT_TRUE(bench.photo().edits.masks.isEmpty()); // baked in with the rectangle closing committed
    EXPECT_EQ(bench.photo().originalCI.size(), QSize(400, 300));
}

// Which button is selected is checked through the sheet's buttons.
TEST(EditorToolbar, ButtonsOfBuiltToolsAreEnabled)
{
    EditorBench bench;
    QStringList enabled;
    for (const EditorToolbarEntry& entry : editorToolbar::entries()) {
        if (editorToolbar::isVisible(entry, *bench.editor) && editorToolbar::isEnabled(entry, *bench.editor))
            enabled.append(entry.title);
    }
    // No preview has been rendered into the photo: nothing for the magnifier yet.
    EXPECT_EQ(enabled, (QStringList{"Rechteck", "Freihand", "Füllen", "Pfeil", "Text", "Zuschneiden", "KI-Szene"}));
}

// The preview is rendered when the canvas is first shown and again when masks, overlays or the
// turn change, at the canvas's device pixels and never larger than the photo.
TEST(EditorController, PreviewIsRenderedOnItsTriggersAtCanvasPixels)
{
    EditorBench bench({400, 300}, {200, 150});
    QSignalSpy previews(bench.editor.get(), &EditorController::previewChanged);
    EditorBench::settle();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(bench.state().editorPreview->size(), QSize(200, 150));

    bench.editor->setCanvasSize({200, 150}, 2.0); // a HiDPI screen: twice the pixels
    EditorBench::settle();
    EXPECT_EQ(bench.state().editorPreview->size(), QSize(400, 300));
    bench.editor->setCanvasSize({2000, 1500}, 2.0); // never larger than the photo
    EditorBench::settle();
    EXPECT_EQ(bench.state().editorPreview->size(), QSize(400, 300));

    const qsizetype before = previews.size();
    bench.processor.setTextMarks(bench.id, {textMark({100, 100}, "x", 40)}); // text marks are not in the preview
    EditorBench::settle();
    EXPECT_EQ(previews.size(), before);
    bench.processor.rotate({bench.id}, RotationDirection::left);
    EditorBench::settle();
    EXPECT_EQ(previews.size(), before + 1);
    EXPECT_EQ(bench.state().editorPreview->size(), QSize(300, 400));
}

TEST(EditorController, CommittedShapeStaysOnTheCanvasUntilThePreviewHasIt)
{
    EditorBench bench;
    EditorBench::settle();
    bench.drag({100, 100}, {200, 200});
    bench.editor->setMode(DrawingMode::freehand);
    EXPECT_EQ(bench.editor->pendingShapes().size(), 1);
    EditorBench::settle();
    EXPECT_TRUE(bench.editor->pendingShapes().empty());
    // The new preview shows the white rectangle at canvas (150, 150) = preview (75, 75).
    EXPECT_EQ(pixel(*bench.state().editorPreview, 75, 75), QColor(Qt::white));
}

TEST(EditorController, MagnifierGetsThePreviewAndTheNameWithoutExtension)
{
    EditorBench bench;
    EXPECT_FALSE(bench.editor->magnifierRequest());
    EditorBench::settle();
    const auto request = bench.editor->magnifierRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->title, "Strand");
    EXPECT_EQ(request->id, bench.id);
    EXPECT_EQ(request->pixelSize, QSize(400, 300));
}
