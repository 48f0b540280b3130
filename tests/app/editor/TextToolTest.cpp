#include "app/editor/TextTool.h"
#include "app/editor/CanvasMapping.h"
#include "app/editor/TextLayerGeometry.h"

#include "EditorTestSupport.h"
#include "pipeline/Overlays.h"
#include "support/Pixels.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

TextLayerGeometry layer(double rotation, QSizeF bounds = {800, 600})
{
    return {bounds, CanvasMapping{{400, 300}, rotation}.orientedSize(), {400, 300}, rotation};
}

} // namespace

// The layer, the text field (placed with the editor's mapping) and clicks agree on turned and
// mirrored photos, and a drag moves a mark exactly with the pointer.
TEST(TextLayerPlacement, PlacesThroughTheMirrorThenTheTurnLikeTheEditorsMapping)
{
    struct Case {
        const char* name;
        double rotation;
        bool flippedH;
        bool flippedV;
        QPointF view; ///< where image position (100, 50) of a 400 × 300 photo shows in an 800 × 600 layer
    };
    // Unturned: scale 2 and no offset; turned by a quarter: scale 1.5, offset (175, 0).
    const Case cases[] = {
        {"Upright", 0, false, false, {200, 500}},
        {"Full360", 360, false, false, {200, 500}},
        {"TurnedLeft", 90, false, false, {550, 450}},
        {"Nearly90", 89.5, false, false, {550, 450}},
        {"UpsideDown", 180, false, false, {600, 100}},
        {"TurnedRight", -90, false, false, {250, 150}},
        {"OtherAnglesAsUpright", 45, false, false, {200, 500}},
        {"LeftRight", 0, true, false, {600, 500}},
        {"TopBottom", 0, false, true, {200, 100}},
        {"Both", 0, true, true, {600, 100}},
        {"LeftRightTurned90", 90, true, false, {550, 150}},
        {"LeftRightTurned180", 180, true, false, {200, 100}},
        {"TopBottomTurned270", 270, false, true, {550, 150}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextLayerGeometry g = layer(c.rotation);
        g.flippedH = c.flippedH;
        g.flippedV = c.flippedV;
        const QPointF v = g.toView({100, 50});
        expectNear(v, c.view);
        expectNear(g.toImage(v), {100, 50});
        if (std::fmod(c.rotation, 90) == 0) { // other angles the layer shows upright, the mapping not
            const QPointF canvas =
                CanvasMapping{{400, 300}, c.rotation, c.flippedH, c.flippedV}.toCanvas({100, 50}, {800, 600});
            expectNear(canvas, v);
        }
        expectNear(g.toView(g.dragged({100, 50}, {10, -6})), v + QPointF(10, -6));
    }
}

TEST(TextLayerBox, MeasuredLikeTheRenderChainAndNeverTooSmall)
{
    const TextLayerGeometry g = layer(0); // scale 2
    const TextMark mark = textMark({100, 50}, QStringLiteral("Hafen am Abend"), 20);
    const QRectF box = g.textBox(mark);
    const TextMetrics m = measureText(mark.text, 40);
    EXPECT_NEAR(box.width(), m.width + 2 * 0.35 * 40, 1e-9);
    EXPECT_NEAR(box.height(), m.height + 2 * 0.2 * 40, 1e-9);
    expectNear(box.center(), {200, 500});
    const QRectF empty = g.textBox(textMark({100, 50}, QString(), 3)); // 6 view points
    EXPECT_DOUBLE_EQ(empty.width(), 24);
    EXPECT_GE(empty.height(), 6);
    EXPECT_EQ(g.textBox(mark, {5, -7}), box.translated(5, -7));
}

TEST(TextLayerHit, TopmostFirstExactThenTolerantBy25)
{
    const TextLayerGeometry g = layer(0, {400, 300}); // scale 1
    const TextMark below = textMark({100, 150});
    const TextMark above = textMark({110, 150});
    const QList<TextMark> marks{below, above};
    const QRectF box = g.textBox(below);
    EXPECT_EQ(g.hitExactThenTolerant(marks, box.center()), above.id);
    const QPointF twentyRight(g.textBox(above).right() + 20, box.center().y());
    EXPECT_EQ(g.hit(marks, twentyRight, 0), std::nullopt);
    EXPECT_EQ(g.hitExactThenTolerant(marks, twentyRight), above.id);
    EXPECT_EQ(g.hitExactThenTolerant(marks, twentyRight + QPointF(10, 0)), std::nullopt);
    // Inside the lower mark and within 25 of the topmost one: the exact hit wins.
    const TextMark over = textMark({100, 110}); // its box starts about 10 below `below`'s
    const QList<TextMark> two{below, over};
    const QPointF inside(box.left() + 2, box.bottom() - 2);
    ASSERT_EQ(g.hit({over}, inside, 25), over.id);
    EXPECT_EQ(g.hitExactThenTolerant(two, inside), below.id);
}

TEST(TextTool, ACommitStoresWhatWasTypedOrRemovesABlankMark)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {QStringLiteral("Hafen"), QStringLiteral("Hafen")},
        {QStringLiteral("  Hafen "), QStringLiteral("  Hafen ")}, // spaces are kept
        {QString(), std::nullopt},                                // none: the mark is removed
        {QStringLiteral("   "), std::nullopt},
        {QStringLiteral(" \n\t"), std::nullopt},
    };
    for (const auto& [typed, stored] : cases) {
        SCOPED_TRACE(typed.toStdString());
        EditorBench bench;
        TextTool& tool = bench.enter<TextTool>(DrawingMode::text);
        ASSERT_TRUE(tool.emptyClick({120, 80}));
        ASSERT_EQ(bench.photo().edits.textMarks.size(), 1);
        EXPECT_EQ(bench.state().editingTextID, bench.photo().edits.textMarks[0].id);
        EXPECT_EQ(bench.state().selectedTextID, bench.state().editingTextID);
        bench.state().editingTextValue = typed;
        EXPECT_FALSE(tool.emptyClick({300, 200})); // a click elsewhere commits and adds nothing
        EXPECT_FALSE(bench.state().editingTextID);
        EXPECT_EQ(bench.state().selectedTextID.has_value(), stored.has_value());
        if (!stored) {
            EXPECT_TRUE(bench.photo().edits.textMarks.isEmpty());
            continue;
        }
        ASSERT_EQ(bench.photo().edits.textMarks.size(), 1);
        TextMark expected = textMark({120, 80}, *stored, 24); // white on its box
        expected.id = bench.photo().edits.textMarks[0].id;
        EXPECT_EQ(bench.photo().edits.textMarks[0], expected);
    }
}

TEST(TextTool, DoubleClickLoadsThePanelAndPanelChangesRestyleOnlyTheSelectedMark)
{
    EditorBench bench;
    TextTool& tool = bench.enter<TextTool>(DrawingMode::text);
    TextMark mark = textMark({50, 50}, QStringLiteral("Eins"), 40);
    mark.colorHex = QStringLiteral("#00FF00");
    mark.hasBackground = false;
    bench.processor.setTextMarks(bench.id, {mark});

    // No selection: the colour only becomes the default.
    tool.setColorHex(QStringLiteral("#123456"));
    EXPECT_EQ(bench.photo().edits.textMarks[0].colorHex, "#00FF00");
    EXPECT_EQ(bench.state().textColorHex, "#123456");

    tool.select(mark.id);
    tool.requestEdit(mark.id);
    EXPECT_EQ(bench.state().editingTextID, mark.id);
    EXPECT_EQ(bench.state().editingTextValue, "Eins");
    EXPECT_EQ(bench.state().textFontSize, 40);
    EXPECT_EQ(bench.state().textColorHex, "#00FF00");
    EXPECT_FALSE(bench.state().textHasBackground);

    tool.setFontSize(500); // the panel's range ends at 300
    tool.setHasBackground(true);
    EXPECT_EQ(bench.photo().edits.textMarks[0].fontSize, 300);
    EXPECT_TRUE(bench.photo().edits.textMarks[0].hasBackground);
    EXPECT_EQ(bench.editor->hint(), "Klick auf Text zum Bearbeiten · Ziehen zum Verschieben · ⌫ zum Löschen");

    // Leaving the mode commits the edit and clears the selection.
    bench.state().editingTextValue = QStringLiteral("Zwei");
    bench.editor->setMode(DrawingMode::arrow);
    EXPECT_EQ(bench.photo().edits.textMarks[0].text, "Zwei");
    EXPECT_FALSE(bench.state().selectedTextID);
    EXPECT_FALSE(bench.state().editingTextID);
}

TEST(TextTool, MoveAndDeleteKeyWriteThePhotosMarksAndDeleteOnlyTheSelectedOne)
{
    EditorBench bench;
    TextTool& tool = bench.enter<TextTool>(DrawingMode::text);
    const TextMark a = textMark({50, 50});
    const TextMark b = textMark({150, 150});
    bench.processor.setTextMarks(bench.id, {a, b});
    tool.moveMark(b.id, {160, 140});
    EXPECT_EQ(bench.photo().edits.textMarks[1].position, QPointF(160, 140));
    bench.editor->deleteKey();                          // nothing selected
    bench.state().selectedTextID = QUuid::createUuid(); // selected but not on the photo
    bench.editor->deleteKey();
    EXPECT_EQ(bench.photo().edits.textMarks.size(), 2);
    tool.select(a.id);
    bench.state().editingTextID = a.id;
    bench.editor->deleteKey();
    ASSERT_EQ(bench.photo().edits.textMarks.size(), 1);
    EXPECT_EQ(bench.photo().edits.textMarks[0].id, b.id);
    EXPECT_FALSE(bench.state().selectedTextID);
    EXPECT_FALSE(bench.state().editingTextID);
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
    processor.flattenEdits(photo.id, {mark});
    return {rendered, processor.photo(photo.id)->originalCI.decode()->convertToFormat(QImage::Format_RGB32)};
}

} // namespace

// A mark placed in the editor on a mirrored (and turned) photo stands, in the pipeline's render
// and in the baked photo, centred on the spot where the layer showed it; its letters are never
// mirrored: the baked photo equals an upright photo with the mark put there directly.
TEST(TextMarkOnMirroredPhoto, StandsWhereTheLayerShowedItWithLettersTheRightWayRound)
{
    struct Case {
        const char* name;
        double rotation;
        bool flippedH;
        bool flippedV;
    };
    const Case cases[] = {
        {"LeftRight", 0, true, false},
        {"TopBottom", 0, false, true},
        {"Both", 0, true, true},
        {"LeftRightTurned90", 90, true, false},
        {"TopBottomTurned180", 180, false, true},
        {"LeftRightTurned270", 270, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QSize original(200, 120);
        const QSizeF oriented = CanvasMapping{QSizeF(original), c.rotation}.orientedSize();
        // A layer as big as the oriented photo: view points are its pixels.
        TextLayerGeometry g{oriented, oriented, QSizeF(original), c.rotation};
        g.flippedH = c.flippedH;
        g.flippedV = c.flippedV;
        const QPointF shown(50, 40);
        const TextMark mark = textMark(g.toImage(shown), QStringLiteral("F"), 24);
        ASSERT_NEAR(g.textBox(mark).center().x(), shown.x(), 1e-9);

        const auto [rendered, baked] = bake(original, c.rotation, c.flippedH, c.flippedV, mark);
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
