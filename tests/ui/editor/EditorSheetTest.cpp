// The editor sheet as a user meets it: real widgets offscreen, drags with real mouse events.
#include "ui/editor/ZoomableImageEditor.h"

#include "../AppSupport.h"
#include "app/editor/CanvasMapping.h"
#include "base/UiThread.h"
#include "support/Fixtures.h"
#include "ui/editor/ColorButton.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"

#include <QAction>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

void settle()
{
    for (int i = 0; i < 4; ++i) {
        workPool().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

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

/// A processor with one 400 × 300 photo and the real sheet on it, shown.
struct SheetFixture : ::testing::Test {
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    LupenFensterManager magnifiers;
    QUuid id;
    QPointer<ZoomableImageEditor> sheet;

    void open(double rotation = 0)
    {
        PhotoItem photo;
        photo.url = QUrl::fromLocalFile(QStringLiteral("/fotos/Hafen.jpg"));
        photo.originalCI = SourceImage::fromRaster(solid(400, 300, Qt::darkBlue));
        photo.edits.rotation = rotation;
        id = photo.id;
        processor.setPhotos({photo});
        sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, {1000, 700});
        sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
        settle();
    }
    void TearDown() override
    {
        delete sheet.data();
        settle();
    }
    [[nodiscard]] const PhotoItem& photo() const { return *processor.photo(id); }
    [[nodiscard]] QRectF fitted() const
    {
        return sheet->editor().mapping().fittedRect(QSizeF(sheet->canvas()->size()));
    }
};

} // namespace

TEST_F(SheetFixture, DrawReshapeAndCloseStoresOneMaskInImagePixels)
{
    open();
    ASSERT_TRUE(sheet->editor().state().editorPreview);
    const QRectF f = fitted();
    const double s = f.width() / 400;
    const QPointF a = (f.topLeft() + QPointF(40, 40)).toPoint(); // mouse events have whole points
    const QPointF inImage = a - f.topLeft();
    mouseDrag(sheet->canvas(), a, a + QPointF(100, 60));
    ASSERT_TRUE(sheet->editor().state().editingRect);
    EXPECT_EQ(sheet->hintText(), "Ecken/Kanten ziehen zum Anpassen, Mitte verschiebt — Klick weit weg schreibt fest");
    // Pull the bottom-right corner 40 points further right.
    mouseDrag(sheet->canvas(), a + QPointF(100, 60), a + QPointF(140, 60));
    EXPECT_EQ(*sheet->editor().state().editingRect, QRectF(a, QSizeF(140, 60)));

    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("editorClose")), Qt::LeftButton);
    settle();
    EXPECT_TRUE(sheet.isNull()); // dismissed and deleted
    ASSERT_EQ(photo().edits.masks.size(), 1);
    const QRectF mask = photo().edits.masks[0].rect;
    EXPECT_NEAR(mask.x(), inImage.x() / s, 1e-6);
    EXPECT_NEAR(mask.y(), 300 - (inImage.y() + 60) / s, 1e-6); // y up: the rectangle's lower edge
    EXPECT_NEAR(mask.width(), 140 / s, 1e-6);
    EXPECT_NEAR(mask.height(), 60 / s, 1e-6);
}

TEST_F(SheetFixture, FreehandOnAQuarterTurnedPhotoLandsWhereItWasDrawn)
{
    open(90);
    QTest::mouseClick(sheet->button(QStringLiteral("Freihand")), Qt::LeftButton);
    ASSERT_EQ(sheet->editor().state().drawingMode, DrawingMode::freehand);
    const QRectF f = fitted();
    const QPointF from = f.topLeft() + QPointF(20, 30);
    const QPointF to = f.center();
    mouseDrag(sheet->canvas(), from, to);
    ASSERT_EQ(photo().edits.freehandOverlays.size(), 1);
    const auto& stroke = std::get<StrokeShape>(photo().edits.freehandOverlays[0].shape);
    // Mapped back onto the canvas the stored stroke starts and ends under the pointer.
    const CanvasMapping mapping = sheet->editor().mapping();
    const QSizeF canvas(sheet->canvas()->size());
    const QPointF start = mapping.toCanvas(stroke.points.first(), canvas);
    const QPointF end = mapping.toCanvas(stroke.points.last(), canvas);
    EXPECT_NEAR(start.x(), from.x(), 1);
    EXPECT_NEAR(start.y(), from.y(), 1);
    EXPECT_NEAR(end.x(), to.x(), 1);
    EXPECT_NEAR(end.y(), to.y(), 1);
    // Near the canvas's top-left corner of a photo turned left is the image's top-right corner.
    EXPECT_GT(stroke.points.first().x(), 300);
    EXPECT_GT(stroke.points.first().y(), 250);
    EXPECT_EQ(sheet->editor().state().freehandPaths.size(), 1);
}

TEST_F(SheetFixture, ToolbarShowsEveryModeAndEnablesTheBuiltOnes)
{
    open();
    for (const char* title :
         {"Rechteck", "Freihand", "Füllen", "Pfeil", "Text", "Zuschneiden", "KI-Szene", "In Lupe ansehen"})
        EXPECT_TRUE(sheet->button(QString::fromUtf8(title))->isEnabled()) << title;
    // The background result's buttons show only while there is a result.
    for (const char* title : {"Anwenden", "Abbrechen"})
        EXPECT_FALSE(sheet->button(QString::fromUtf8(title))->isVisible()) << title;
    for (const char* title : {"Rückgängig"}) {
        ASSERT_TRUE(sheet->button(QString::fromUtf8(title))) << title;
        EXPECT_TRUE(sheet->button(QString::fromUtf8(title))->isVisible()) << title;
        EXPECT_FALSE(sheet->button(QString::fromUtf8(title))->isEnabled()) << title;
    }
    EXPECT_TRUE(sheet->button(QStringLiteral("Rechteck"))->isSelected());
    QTest::mouseClick(sheet->button(QStringLiteral("Füllen")), Qt::LeftButton);
    EXPECT_TRUE(sheet->button(QStringLiteral("Füllen"))->isSelected());
    EXPECT_FALSE(sheet->button(QStringLiteral("Rechteck"))->isSelected());

    QTest::mouseClick(sheet->button(QStringLiteral("In Lupe ansehen")), Qt::LeftButton);
    EXPECT_EQ(magnifiers.windowCount(), 1);
    EXPECT_TRUE(magnifiers.fenster(id));
}

TEST_F(SheetFixture, ColourButtonWritesTheChosenColourString)
{
    open();
    auto* colour = sheet->currentPanel()->findChild<ColorButton*>();
    ASSERT_TRUE(colour);
    sheet->editor().state().rectColorHex = QStringLiteral("kein Farbwert");
    EXPECT_EQ(colour->shownColor(), QColor(Qt::white)); // what does not parse shows as white
    dialogs.pickColor(QStringLiteral("#112233"));
    QTest::mouseClick(colour, Qt::LeftButton);
    EXPECT_EQ(sheet->editor().state().rectColorHex, "#112233");
    EXPECT_EQ(colour->shownColor(), QColor(0x11, 0x22, 0x33));
    ASSERT_EQ(dialogs.colorRequests.size(), 1);
    EXPECT_FALSE(dialogs.colorRequests[0].withAlpha);

    QTest::mouseClick(sheet->button(QStringLiteral("Füllen")), Qt::LeftButton);
    auto* fill = sheet->currentPanel()->findChild<ColorButton*>();
    QTest::mouseClick(fill, Qt::LeftButton); // cancelled: nothing changes
    EXPECT_EQ(sheet->editor().state().fillColorHex, "#FFFFFFFF");
    EXPECT_TRUE(dialogs.colorRequests[1].withAlpha); // the fill's default has an alpha
}

TEST_F(SheetFixture, UndoByKeyAndEscapeClosesWithTheClosingSteps)
{
    open();
    const QPointF a = fitted().topLeft() + QPointF(10, 10);
    mouseDrag(sheet->canvas(), a, a + QPointF(50, 50));
    mouseDrag(sheet->canvas(), a + QPointF(200, 200), a + QPointF(260, 240)); // commits the first
    EXPECT_EQ(photo().edits.masks.size(), 1);
    EXPECT_TRUE(sheet->button(QStringLiteral("Rückgängig"))->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(photo().edits.masks.isEmpty());
    EXPECT_FALSE(sheet->editor().state().editingRect); // undo drops the rectangle being edited
    mouseDrag(sheet->canvas(), a, a + QPointF(50, 50));
    QTest::keyClick(sheet, Qt::Key_Escape);
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(photo().edits.masks.size(), 1);
}

TEST_F(WindowFixture, BearbeitenOpensTheEditorSheetOnTheSelectedPhoto)
{
    load(2);
    view->selection().click(idAt(1), false);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view->action(ToolbarEntry::edit)->isEnabled());
    view->action(ToolbarEntry::edit)->trigger();
    auto* sheet = view->findChild<ZoomableImageEditor*>();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->editor().photoId(), idAt(1));
    EXPECT_EQ(sheet->size(), EditorController::sheetSize(view->fensterGroesse()));
    sheet->editor().close();
    settle();
    EXPECT_FALSE(view->findChild<ZoomableImageEditor*>());
}

TEST_F(SheetFixture, CropPanelTakesWholePixelsSetsTheFrameAndReturnAsksToApply)
{
    open();
    PhotoItem withPreview = photo();
    withPreview.preview = Preview{solid(40, 30, Qt::darkBlue), {4000, 3000}};
    processor.updatePhoto(withPreview);
    QTest::mouseClick(sheet->button(QStringLiteral("Zuschneiden")), Qt::LeftButton);
    auto* width = sheet->findChild<QLineEdit*>(QStringLiteral("cropWidthField"));
    auto* height = sheet->findChild<QLineEdit*>(QStringLiteral("cropHeightField"));
    auto* apply = sheet->findChild<QPushButton*>(QStringLiteral("cropApplyButton"));
    auto* batch = sheet->findChild<QPushButton*>(QStringLiteral("cropBatchButton"));
    ASSERT_TRUE(width && height && apply && batch);
    EXPECT_EQ(width->placeholderText(), QStringLiteral("Breite"));
    EXPECT_EQ(height->placeholderText(), QStringLiteral("Höhe"));
    EXPECT_EQ(batch->text(), QStringLiteral("Auf alle markierten anwenden"));
    EXPECT_FALSE(apply->isEnabled()); // nothing to apply without a frame

    QTest::keyClicks(width, QStringLiteral("2x0-.0")); // only the digits stay
    QTest::keyClicks(height, QStringLiteral("1500"));
    EXPECT_EQ(width->text(), QStringLiteral("200"));
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cropSetButton")), Qt::LeftButton);
    const std::optional<QRectF> frame = sheet->editor().state().cropRect;
    ASSERT_TRUE(frame);
    const QRectF f = fitted();
    EXPECT_NEAR(frame->width(), f.width() * 200 / 4000, 1e-6);
    EXPECT_NEAR(frame->height(), f.height() / 2, 1e-6);
    EXPECT_NEAR(frame->center().x(), f.center().x(), 1e-6);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(apply->isDefault());

    // Return in the sheet is "Anwenden": the single photo's confirmation, here cancelled.
    dialogs.answer(QStringLiteral("Abbrechen"));
    QTest::keyClick(sheet, Qt::Key_Return);
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].title, QStringLiteral("Zuschnitt anwenden"));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->editor().state().cropRect); // the frame stays after "Abbrechen"
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cropCancelButton")), Qt::LeftButton);
    EXPECT_FALSE(sheet->editor().state().cropRect);
}
