// The text tool's state machine driven with canvas points: new marks, typing, selecting,
// dragging, restyling, the keys; and where marks stand on turned and mirrored photos.
#include "EditorTestSupport.h"
#include "pipeline/Overlays.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// The editor in text mode on a 400 × 300 photo at s = 2; (40, 50) on the canvas is image (20, 275).
struct TextBench : EditorBench {
    TextTool& tool = enter<TextTool>(DrawingMode::text);

    /// A new mark typed at canvas point `at` and ended with Return.
    void type(QPointF at, const QString& text)
    {
        click(at);
        tool.setEditingTextValue(text);
        tool.endTyping();
    }
};

} // namespace

TEST(TextBox, MeasuredLikeTheRenderChainHitTopmostFirstAndNewLabelsReadLikeTheToolbar)
{
    const CanvasMapping mapping{{400, 300}, 0, false, false, {800, 600}}; // s = 2
    const TextMark mark = textMark({100, 50}, QStringLiteral("Hafen am Abend"), 20);
    const QRectF box = TextTool::textBox(mark, mapping);
    const TextMetrics m = measureText(mark.text, 40);
    EXPECT_NEAR(box.width(), m.width + 2 * 0.35 * 40, 1e-9);
    EXPECT_NEAR(box.height(), m.height + 2 * 0.2 * 40, 1e-9);
    expectNear(box.center(), {200, 500});
    const QRectF empty = TextTool::textBox(textMark({100, 50}, QString(), 3), mapping); // 6 view points
    EXPECT_DOUBLE_EQ(empty.width(), 24);
    EXPECT_GE(empty.height(), 6);

    const TextMark above = textMark({105, 50});
    const QList<TextMark> marks{mark, above};
    EXPECT_EQ(TextTool::hit(marks, mapping, box.center(), 0), above.id);
    const QPointF twentyRight(TextTool::textBox(mark, mapping).right() + 20, box.center().y());
    EXPECT_EQ(TextTool::hit(marks, mapping, twentyRight, 0), std::nullopt);
    EXPECT_EQ(TextTool::hit(marks, mapping, twentyRight, TextTool::kTolerance), mark.id);

    // New labels read like the toolbar on the canvas: a 24 MP photo has about 6.2 pixels per point.
    EditorBench camera({6000, 4000}, {1100, 650});
    EXPECT_NEAR(camera.enter<TextTool>(DrawingMode::text).textFontSize(), 13 * 6000 / 975.0, 1);
    EditorBench small({200, 150}, {800, 600});
    EXPECT_EQ(small.enter<TextTool>(DrawingMode::text).textFontSize(), TextTool::kMinimumFontSize);
}

// A click on empty space starts a mark that reaches the photo only with text; spaces are kept
// as typed; a blank one disappears. A click elsewhere while typing only ends the typing.
TEST(TextTool, TypingStoresWhatWasTypedOrNothing)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {QStringLiteral("Hafen"), QStringLiteral("Hafen")},
        {QStringLiteral("  Hafen "), QStringLiteral("  Hafen ")},
        {QString(), std::nullopt},
        {QStringLiteral(" \n\t"), std::nullopt},
    };
    for (const auto& [typed, stored] : cases) {
        SCOPED_TRACE(typed.toStdString());
        TextBench bench;
        bench.click({40, 50});
        ASSERT_TRUE(bench.tool.editingTextID());
        EXPECT_EQ(bench.tool.selectedTextID(), bench.tool.editingTextID());
        EXPECT_TRUE(bench.edits().textMarks.isEmpty()); // not in the photo while typed
        bench.tool.setEditingTextValue(typed);
        bench.click({600, 400}); // elsewhere: ends the typing, selects nothing, adds nothing
        EXPECT_FALSE(bench.tool.editingTextID());
        EXPECT_FALSE(bench.tool.selectedTextID());
        if (!stored) {
            EXPECT_TRUE(bench.edits().textMarks.isEmpty());
            continue;
        }
        ASSERT_EQ(bench.edits().textMarks.size(), 1);
        TextMark expected = textMark({20, 275}, *stored, bench.edits().textMarks[0].fontSize);
        expected.id = bench.edits().textMarks[0].id;
        EXPECT_EQ(bench.edits().textMarks[0], expected);
    }
}

// Leaving the typing in every other way keeps what was typed: the "Text" button, another mode,
// Escape (the mark stays, selected, and opens again with a double click), closing the editor.
TEST(TextTool, EveryWayOutOfTypingKeepsTheText)
{
    const std::pair<const char*, std::function<void(TextBench&)>> ways[] = {
        {"TextButton", [](TextBench& b) { b.tool.buttonPressed(); }},
        {"OtherMode", [](TextBench& b) { b.editor->setMode(DrawingMode::arrow); }},
        {"Escape", [](TextBench& b) { EXPECT_TRUE(b.editor->escapeKey()); }},
        {"Closing", [](TextBench& b) { b.editor->close(); }},
    };
    for (const auto& [name, leave] : ways) {
        SCOPED_TRACE(name);
        TextBench bench;
        bench.click({40, 50});
        bench.tool.setEditingTextValue(QStringLiteral("Kratzer"));
        leave(bench);
        ASSERT_EQ(bench.edits().textMarks.size(), 1);
        EXPECT_EQ(bench.edits().textMarks[0].text, "Kratzer");
        EXPECT_FALSE(bench.tool.editingTextID());
        EXPECT_EQ(bench.dismissed, 0);
        if (std::string_view(name) == "Escape") {
            EXPECT_FALSE(bench.editor->escapeKey()); // a second Escape is the sheet's
            bench.click({40, 50}, 2);
            EXPECT_EQ(bench.tool.editingTextValue(), "Kratzer");
        }
    }
}

// A press on a mark (or 20 points beside it) selects and drags it; the drag is one edit. A
// double click loads its looks; the panel restyles the selected mark, one slider drag one undo step.
TEST(TextTool, SelectDragRestyleAndDelete)
{
    TextBench bench;
    bench.type({200, 200}, QStringLiteral("Eins"));
    bench.type({600, 400}, QStringLiteral("Zwei"));
    const QUuid eins = bench.edits().textMarks[0].id;
    const QRectF box = TextTool::textBox(bench.edits().textMarks[0], bench.editor->mapping());
    const EditState typed = bench.edits();

    bench.drag({box.right() + 20, box.center().y()}, {box.right() + 60, box.center().y() + 30});
    EXPECT_EQ(bench.tool.selectedTextID(), eins);
    expectNear(bench.edits().textMarks[0].position, typed.textMarks[0].position + QPointF(20, -15));
    bench.editor->undo();
    EXPECT_EQ(bench.edits(), typed);

    bench.tool.setTextColorHex(QStringLiteral("#123456"));
    for (int size = 30; size <= 60; size += 10)
        bench.tool.setTextFontSize(size);
    bench.tool.setTextFontSize(500); // the panel's range ends at 300
    EXPECT_EQ(bench.edits().textMarks[0].fontSize, 300);
    EXPECT_EQ(bench.edits().textMarks[1], typed.textMarks[1]);
    bench.editor->undo(); // the whole size drag
    EXPECT_EQ(bench.edits().textMarks[0].colorHex, "#123456");
    EXPECT_EQ(bench.edits().textMarks[0].fontSize, typed.textMarks[0].fontSize);

    bench.click(box.center(), 2);
    EXPECT_EQ(bench.tool.editingTextID(), eins);
    EXPECT_EQ(bench.tool.textColorHex(), "#123456");
    bench.tool.endTyping();
    EXPECT_EQ(bench.editor->hint(), "Klick auf Text zum Bearbeiten · Ziehen zum Verschieben · ⌫ zum Löschen");
    bench.editor->deleteKey();
    ASSERT_EQ(bench.edits().textMarks.size(), 1);
    EXPECT_EQ(bench.edits().textMarks[0].text, "Zwei");
    EXPECT_EQ(bench.editor->hint(), "Klick auf das Bild um Text einzufügen");
}

namespace {

const QColor kGrey(128, 128, 128);

/// The centre of the pixels that differ from the plain grey photo.
QPointF centreOfChange(const QImage& image)
{
    QRect changed;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(qGreen(image.pixel(x, y)) - kGrey.green()) > 10)
                changed |= QRect(x, y, 1, 1);
    return QRectF(changed).center();
}

/// `mark` on a plain grey photo of `size`, turned and mirrored: the pipeline's full-size render
/// (what the grid shows), then the photo flattenEdits bakes.
std::pair<QImage, QImage> bake(QSize size, double rotation, bool flippedH, bool flippedV, const TextMark& mark)
{
    ImageProcessor processor;
    PhotoItem photo;
    photo.originalCI = SourceImage::fromRaster(solid(size.width(), size.height(), kGrey));
    photo.edits.rotation = rotation;
    photo.edits.flippedH = flippedH;
    photo.edits.flippedV = flippedV;
    photo.edits.textMarks = {mark};
    processor.setPhotos({photo});
    const QImage rendered = processor.renderFullSize(photo.id)->convertToFormat(QImage::Format_RGB32);
    processor.flattenEditsInBackground(photo.id, {mark}, &processor, [](bool) {});
    waitIdle(processor);
    return {rendered, processor.photo(photo.id)->originalCI.decode()->convertToFormat(QImage::Format_RGB32)};
}

} // namespace

// A mark placed where the canvas shows it on a mirrored (and turned) photo stands there in the
// pipeline's render and in the baked photo; its letters are never mirrored: the baked photo
// equals an upright photo with the mark put there directly.
TEST(TextMarkOnMirroredPhoto, StandsWhereTheCanvasShowedItWithLettersTheRightWayRound)
{
    const std::tuple<const char*, double, bool, bool> cases[] = {
        {"LeftRight", 0, true, false},
        {"TopBottom", 0, false, true},
        {"Both", 0, true, true},
        {"LeftRightTurned90", 90, true, false},
        {"TopBottomTurned180", 180, false, true},
        {"LeftRightTurned270", 270, true, false},
    };
    for (const auto& [name, rotation, flippedH, flippedV] : cases) {
        SCOPED_TRACE(name);
        const QSize original(200, 120);
        const QSizeF oriented = CanvasMapping{QSizeF(original), rotation, false, false, {}}.orientedSize();
        // A canvas as big as the oriented photo: canvas points are its pixels.
        const CanvasMapping mapping{QSizeF(original), rotation, flippedH, flippedV, oriented};
        const QPointF shown(50, 40);
        const TextMark mark = textMark(mapping.toImage(shown), QStringLiteral("F"), 24);
        ASSERT_NEAR(TextTool::textBox(mark, mapping).center().x(), shown.x(), 1e-9);

        const auto [rendered, baked] = bake(original, rotation, flippedH, flippedV, mark);
        for (const QImage* image : {&rendered, &baked}) {
            ASSERT_EQ(image->size(), oriented.toSize());
            expectNear(centreOfChange(*image), shown, 1.5);
        }
        const QImage upright = bake(oriented.toSize(), 0, false, false,
                                    textMark({shown.x(), oriented.height() - shown.y()}, QStringLiteral("F"), 24))
                                   .second;
        EXPECT_LE(largestDifference(baked, upright), 2);
    }
}
