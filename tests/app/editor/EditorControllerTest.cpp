#include "EditorTestSupport.h"
#include "app/editor/EditorToolbar.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// What the file would show at the canvas's size: the photo's edits rendered without text marks
/// and watermark, at the size of the shown preview.
QImage expectedCanvas(const EditorBench& bench)
{
    EditState edits = bench.edits();
    edits.textMarks.clear();
    edits.watermark.reset();
    const QImage shown = bench.editor->canvasImage();
    QImage base;
    return EditorPreviewRenderer::render({bench.photo().originalCI, edits, std::max(shown.width(), shown.height())},
                                         base);
}

} // namespace

// Whatever the user did, once the renders are in, the canvas shows the photo's edit value and
// nothing beside it: after commits, a resize, undo and redo. A commit is drawn over the preview
// until the render that has it arrives.
TEST(EditorController, TheCanvasShowsWhatIsSaved)
{
    EditorBench bench({400, 300}, {800, 600});
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"Stroke",
         [&] {
             bench.editor->setMode(DrawingMode::freehand);
             bench.drag({100, 100}, {300, 250});
         }},
        {"Resize",
         [&] {
             bench.editor->setCanvasSize({400, 300});
         }},
        {"Rectangle",
         [&] {
             bench.editor->setMode(DrawingMode::rectangle);
             bench.drag({20, 20}, {120, 80});
             bench.editor->setMode(DrawingMode::arrow);
             EXPECT_EQ(bench.editor->pendingAnnotations().masks, bench.edits().masks); // shown at once
         }},
        {"Undo", [&] { bench.editor->undo(); }},
        {"UndoAgain", [&] { bench.editor->undo(); }},
        {"Redo", [&] { bench.editor->redo(); }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        step();
        EditorBench::settle();
        const PendingAnnotations pending = bench.editor->pendingAnnotations();
        EXPECT_TRUE(pending.masks.isEmpty() && pending.overlays.isEmpty());
        EXPECT_EQ(bench.editor->canvasImage(), expectedCanvas(bench));
    }
}

// The preview is rendered at the canvas's device pixels, never larger than the photo, and again
// when what it shows changes. Before it is there the toolbar offers no magnifier, and nothing to
// undo or redo.
TEST(EditorController, ToolbarPreviewSizeMagnifierAndClosing)
{
    EditorBench bench({400, 300}, {200, 150});
    QStringList enabled;
    for (const EditorToolbarEntry& entry : editorToolbar(*bench.editor, {})) {
        if (entry.visible() && entry.enabled())
            enabled.append(entry.title);
    }
    EXPECT_EQ(enabled, (QStringList{"Rechteck", "Freihand", "Füllen", "Pfeil", "Text", "Zuschneiden", "KI-Szene"}));
    QSignalSpy previews(bench.editor.get(), &EditorController::previewChanged);
    EditorBench::settle();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(bench.editor->editorPreview()->size(), QSize(200, 150));
    const auto request = bench.editor->magnifierRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->title, "Strand");
    EXPECT_EQ(request->pixelSize, QSize(400, 300));
    bench.editor->setCanvasSize({200, 150}, 2.0); // a HiDPI screen: twice the pixels
    EditorBench::settle();
    EXPECT_EQ(bench.editor->editorPreview()->size(), QSize(400, 300));
    bench.editor->setCanvasSize({2000, 1500}, 2.0);
    EditorBench::settle();
    EXPECT_EQ(bench.editor->editorPreview()->size(), QSize(400, 300));
    bench.processor.rotate({bench.id}, RotationDirection::left);
    EditorBench::settle();
    EXPECT_EQ(bench.editor->editorPreview()->size(), QSize(300, 400));

    // Closing commits the rectangle being edited and bakes the text marks with it, in the
    // background; the sheet goes once that is done.
    const SourceImage original = bench.photo().originalCI;
    EditState marked = bench.edits();
    marked.textMarks = {textMark({100, 100}, "Hallo", 40)};
    bench.setEdits(marked);
    bench.editor->setCanvasSize({800, 600}); // the turned photo at 1.5 from x = 175
    bench.editor->setMode(DrawingMode::rectangle);
    bench.drag({200, 100}, {400, 200});
    bench.editor->close();
    EXPECT_TRUE(bench.editor->isFinishing());
    EXPECT_EQ(bench.dismissed, 0);
    EditorBench::settle();
    EXPECT_EQ(bench.dismissed, 1);
    EXPECT_FALSE(bench.photo().originalCI == original);
    EXPECT_EQ(bench.edits(), EditState{});
}
