// The editor sheet as a user meets it: real widgets offscreen, drags with real mouse events. The
// rules behind each tool are tested on the plain classes; these are one pass through each widget.
#include "ui/editor/ZoomableImageEditor.h"

#include "../AppSupport.h"
#include "app/editor/CanvasMapping.h"
#include "app/editor/EditorTestSupport.h"
#include "ui/editor/ColorButton.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/editor/TextMarkLayer.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// A press at `from`, moves in `steps` to `to` with the left button held, and the release.
void mouseDrag(QWidget* widget, QPointF from, QPointF to, int steps = 6)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from.toPoint());
    for (int i = 1; i <= steps; ++i) {
        const QPointF p = from + (to - from) * (double(i) / steps);
        QMouseEvent move(QEvent::MouseMove, p, widget->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to.toPoint());
}

/// A processor with one 400 × 300 photo and the real sheet on it, shown and active.
struct SheetFixture : ::testing::Test {
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    LupenFensterManager magnifiers;
    QUuid id;
    QPointer<ZoomableImageEditor> sheet;

    void open(double rotation = 0, bool flippedH = false, QSize window = {1000, 700})
    {
        PhotoItem photo = EditorBench::photoOf({400, 300}, rotation);
        photo.edits.flippedH = flippedH;
        id = photo.id;
        processor.setPhotos({photo});
        sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, window);
        sheet->show();
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
        EditorBench::settle();
    }
    void TearDown() override
    {
        delete sheet.data();
        EditorBench::settle();
    }
    [[nodiscard]] const PhotoItem& photo() const { return *processor.photo(id); }
    [[nodiscard]] CanvasMapping mapping() const { return sheet->editor().mapping(); }
    [[nodiscard]] QRectF fitted() const { return mapping().fittedRect(); }
    template <class Tool>
    Tool& tool(DrawingMode mode)
    {
        return dynamic_cast<Tool&>(*sheet->editor().tool(mode));
    }
};

} // namespace

// The colour buttons write the tools' colour strings; the toolbar and canvas draw, commit, undo,
// redo, and Escape closes keeping what was drawn.
TEST_F(SheetFixture, ColourButtonsToolbarAndCanvasDrawCommitUndoRedoAndEscape)
{
    open();
    auto* colour = sheet->currentPanel()->findChild<ColorButton*>();
    ASSERT_TRUE(colour);
    tool<RectangleTool>(DrawingMode::rectangle).setRectColorHex(QStringLiteral("kein Farbwert"));
    EXPECT_EQ(colour->shownColor(), QColor(Qt::white)); // what does not parse shows as white
    dialogs.pickColor(QStringLiteral("#112233"));
    QTest::mouseClick(colour, Qt::LeftButton);
    EXPECT_EQ(tool<RectangleTool>(DrawingMode::rectangle).rectColorHex(), "#112233");
    EXPECT_FALSE(dialogs.colorRequests[0].withAlpha);

    QTest::mouseClick(sheet->button(QStringLiteral("Füllen")), Qt::LeftButton);
    QTest::mouseClick(sheet->currentPanel()->findChild<ColorButton*>(), Qt::LeftButton); // cancelled
    EXPECT_EQ(tool<FillTool>(DrawingMode::whiteFill).fillColorHex(), "#FFFFFFFF");
    EXPECT_TRUE(dialogs.colorRequests[1].withAlpha); // the fill's default has an alpha

    QTest::mouseClick(sheet->button(QStringLiteral("Rechteck")), Qt::LeftButton);

    const QRectF f = fitted();
    const double s = f.width() / 400;
    const QPointF a = (f.topLeft() + QPointF(40, 40)).toPoint(); // mouse events have whole points
    const QPointF inImage = a - f.topLeft();
    mouseDrag(sheet->canvas(), a, a + QPointF(100, 60));
    QTest::mouseClick(sheet->canvas(), Qt::LeftButton, {}, (a + QPointF(400, 300)).toPoint());
    ASSERT_EQ(photo().edits.masks.size(), 1);
    expectNear(photo().edits.masks[0].rect, {inImage.x() / s, 300 - (inImage.y() + 60) / s, 100 / s, 60 / s}, 1e-6);
    const EditState one = photo().edits;

    mouseDrag(sheet->canvas(), a, a + QPointF(50, 50));
    QTest::mouseClick(sheet->canvas(), Qt::LeftButton, {}, (a + QPointF(400, 300)).toPoint());
    QTest::keyClick(sheet, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(photo().edits, one);
    QTest::keyClick(sheet, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(photo().edits.masks.size(), 2);
    QTest::keyClick(sheet, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(sheet, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(photo().edits.masks.size(), 2);

    mouseDrag(sheet->canvas(), a, a + QPointF(50, 50));
    QTest::keyClick(sheet, Qt::Key_Escape); // closes with the closing steps: the rectangle is kept
    EditorBench::settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(photo().edits.masks.size(), 3);
}

// The crop panel takes whole pixels, sets the frame, and Return asks to apply. On a 1024 × 768
// screen the window is at most 1024 wide: the sheet fits it in every mode, and "Schließen" stays
// on it.
TEST_F(SheetFixture, CropPanelTakesWholePixelsAndTheSheetFitsASmallScreenInEveryMode)
{
    open(0, false, {1024, 700});
    PhotoItem withPreview = photo();
    withPreview.preview = Preview{solid(40, 30, Qt::darkBlue), {4000, 3000}};
    processor.updatePhoto(withPreview);
    QTest::mouseClick(sheet->button(QStringLiteral("Zuschneiden")), Qt::LeftButton);
    auto* width = sheet->findChild<QLineEdit*>(QStringLiteral("cropWidthField"));
    auto* height = sheet->findChild<QLineEdit*>(QStringLiteral("cropHeightField"));
    auto* apply = sheet->findChild<QPushButton*>(QStringLiteral("cropApplyButton"));
    ASSERT_TRUE(width && height && apply);
    EXPECT_FALSE(apply->isEnabled()); // nothing to apply without a frame

    QTest::keyClicks(width, QStringLiteral("2x0-.0")); // only the digits stay
    QTest::keyClicks(height, QStringLiteral("1500"));
    auto& crop = tool<CropTool>(DrawingMode::crop);
    EXPECT_EQ(crop.cropMassBreite(), QStringLiteral("200"));
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cropSetButton")), Qt::LeftButton);
    ASSERT_TRUE(crop.cropRect());
    EXPECT_TRUE(apply->isEnabled());

    dialogs.answer(QStringLiteral("Abbrechen"));
    QTest::keyClick(sheet, Qt::Key_Return); // "Anwenden"
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(crop.cropRect()); // the frame stays after "Abbrechen"
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cropCancelButton")), Qt::LeftButton);
    EXPECT_FALSE(crop.cropRect());

    dialogs.answer(std::nullopt);
    for (const auto& t : sheet->editor().tools()) {
        sheet->editor().setMode(t->mode());
        QCoreApplication::processEvents();
        EXPECT_LE(sheet->minimumSizeHint().width(), 1024 - 60) << int(t->mode());
        EXPECT_LE(sheet->width(), 1024 - 60) << int(t->mode());
    }
    auto* close = sheet->findChild<QPushButton*>(QStringLiteral("editorClose"));
    EXPECT_TRUE(sheet->rect().contains(close->geometry()));

    // Nor does the longest message of "KI-Szene" widen it: the model missing, with its path.
    auto& background = tool<BackgroundTool>(DrawingMode::freisteller);
    background.setEngine(FreistellenEngine([](const QImage&) -> std::expected<QImage, Error> {
        return std::unexpected(
            segmentationError(segmentationErrors::modelMissing,
                              QStringLiteral("/home/fotograf/.cache/lumora-studio/models/isnet-768-fp32.onnx")));
    }));
    sheet->editor().setMode(DrawingMode::arrow);
    QTest::mouseClick(sheet->button(QStringLiteral("KI-Szene")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return background.freistellerFehler().has_value(); }, 10'000));
    QCoreApplication::processEvents();
    EXPECT_LE(sheet->minimumSizeHint().width(), 1024 - 60);
    EXPECT_LE(sheet->width(), 1024 - 60);
    const auto* error = sheet->findChild<QLabel*>(QStringLiteral("backgroundError"));
    ASSERT_TRUE(error && error->isVisible());
    EXPECT_GE(error->height(), error->heightForWidth(error->width())) << "the whole message, wrapped";
    EXPECT_TRUE(sheet->rect().contains(error->mapTo(sheet.data(), error->rect().bottomRight())));
}

// On a turned and mirrored photo the text field stands where the click was, Escape ends the
// typing without closing, and a double click opens the mark again.
TEST_F(SheetFixture, TextIsPlacedTypedAndReopenedOnATurnedMirroredPhoto)
{
    open(90, true);
    QTest::mouseClick(sheet->button(QStringLiteral("Text")), Qt::LeftButton);
    auto* field = sheet->findChild<TextMarkField*>();
    ASSERT_TRUE(field);
    const QPoint p = (fitted().topLeft() + QPointF(90, 150)).toPoint();
    QTest::mouseClick(sheet->canvas(), Qt::LeftButton, {}, p);
    EditorBench::settle();
    ASSERT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("Hallo"));
    expectNear(field->mapTo(sheet->canvas(), field->box().center().toPoint()), p, 1.5);
    QTest::keyClick(field, Qt::Key_Escape); // ends the typing; the sheet stays
    EditorBench::settle();
    EXPECT_FALSE(sheet.isNull());
    EXPECT_FALSE(field->isVisible());
    ASSERT_EQ(photo().edits.textMarks.size(), 1);
    EXPECT_EQ(photo().edits.textMarks[0].text, "Hallo");
    expectNear(photo().edits.textMarks[0].position, mapping().toImage(p), 1e-6);

    QTest::mouseDClick(sheet->canvas(), Qt::LeftButton, {}, p);
    EditorBench::settle();
    ASSERT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), "Hallo");
    QTest::keyClicks(field, QStringLiteral(" Welt"));
    // The sheet goes (TearDown) while the mark is typed: its field loses the focus on the way
    // out, after the controller has gone, and must not reach it.
}
