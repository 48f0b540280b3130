// The arrow and text tools in the real sheet, with real mouse and key events (offscreen).
#include "ui/editor/ZoomableImageEditor.h"

#include "../AppSupport.h"
#include "base/UiThread.h"
#include "fileops/SaveExport.h"
#include "pipeline/Overlays.h"
#include "support/Fixtures.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/editor/TextMarkLayer.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

void drain()
{
    for (int i = 0; i < 4; ++i) {
        workPool().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void drag(QWidget* widget, QPoint from, QPoint to, int steps = 5)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    for (int i = 1; i <= steps; ++i) {
        const QPointF p = QPointF(from) + QPointF(to - from) * (double(i) / steps);
        QMouseEvent move(QEvent::MouseMove, p, widget->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

struct ArrowTextSheet : ::testing::Test {
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    LupenFensterManager magnifiers;
    QUuid id;
    QPointer<ZoomableImageEditor> sheet;

    void SetUp() override { open(); }
    /// Opens the sheet on a 400 × 300 dark blue photo turned and mirrored as given.
    void open(double rotation = 0, bool flippedH = false)
    {
        delete sheet.data();
        PhotoItem photo;
        photo.url = QUrl::fromLocalFile(QStringLiteral("/fotos/Mole.jpg"));
        photo.originalCI = SourceImage::fromRaster(solid(400, 300, Qt::darkBlue));
        photo.edits.rotation = rotation;
        photo.edits.flippedH = flippedH;
        id = photo.id;
        processor.setPhotos({photo});
        sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, {1000, 700});
        sheet->show();
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
        drain();
    }
    void TearDown() override
    {
        delete sheet.data();
        drain();
    }
    [[nodiscard]] const PhotoItem& photo() const { return *processor.photo(id); }
    [[nodiscard]] QRectF fitted() const
    {
        return sheet->editor().mapping().fittedRect(QSizeF(sheet->canvas()->size()));
    }
    [[nodiscard]] double scale() const { return sheet->editor().mapping().fitScale(QSizeF(sheet->canvas()->size())); }
    [[nodiscard]] QPointF toImage(QPointF canvasPoint) const
    {
        return sheet->editor().mapping().toImage(canvasPoint, QSizeF(sheet->canvas()->size()));
    }
};

} // namespace

TEST_F(ArrowTextSheet, DrawAnArrowAndCommitItWithAClickElsewhere)
{
    QTest::mouseClick(sheet->button(QStringLiteral("Pfeil")), Qt::LeftButton);
    ASSERT_EQ(sheet->editor().state().drawingMode, DrawingMode::arrow);
    const QPoint a = (fitted().topLeft() + QPointF(60, 80)).toPoint();
    drag(sheet->canvas(), a, a + QPoint(120, 0));
    ASSERT_TRUE(sheet->editor().state().editingArrowStart);
    EXPECT_EQ(sheet->hintText(), "Endpunkte ziehen · Mitte ziehen zum Verschieben · Klick daneben zum Festschreiben");
    // Move it by its shaft, then click far away.
    drag(sheet->canvas(), a + QPoint(60, 20), a + QPoint(80, 60));
    QTest::mouseClick(sheet->canvas(), Qt::LeftButton, {}, a + QPoint(300, 250));
    drain();
    ASSERT_EQ(photo().arrows.size(), 1);
    EXPECT_EQ(photo().edits.freehandOverlays.size(), 1);
    const Arrow& arrow = photo().arrows[0];
    const QPointF start = toImage(QPointF(a + QPoint(20, 40)));
    EXPECT_NEAR(arrow.start.x(), start.x(), 1e-6);
    EXPECT_NEAR(arrow.start.y(), start.y(), 1e-6);
    EXPECT_NEAR(arrow.length, 120 / scale(), 1e-6);
    EXPECT_NEAR(arrow.angle, 0, 1e-9);
    EXPECT_NEAR(arrow.lineWidth, 12 / scale(), 1e-9);
    EXPECT_TRUE(sheet->button(QStringLiteral("Rückgängig"))->isEnabled());
}

TEST_F(ArrowTextSheet, PlaceTypeDragAndCloseBakesTheTextWhereItWasShown)
{
    QTest::mouseClick(sheet->button(QStringLiteral("Text")), Qt::LeftButton);
    auto* layer = sheet->findChild<TextMarkNSView*>();
    auto* field = sheet->findChild<TextMarkField*>();
    ASSERT_TRUE(layer && field);
    const QPoint p = (fitted().topLeft() + QPointF(120, 90)).toPoint();
    QTest::mouseClick(layer, Qt::LeftButton, {}, p);
    drain();
    ASSERT_EQ(photo().edits.textMarks.size(), 1);
    ASSERT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("Hallo"));
    // The field stands centred on the click and grows with the text.
    const QPointF centre = field->mapTo(sheet->canvas(), field->box().center().toPoint());
    EXPECT_NEAR(centre.x(), p.x(), 1.5);
    EXPECT_NEAR(centre.y(), p.y(), 1.5);
    QTest::keyClick(field, Qt::Key_Return);
    drain();
    EXPECT_FALSE(field->isVisible());
    ASSERT_EQ(photo().edits.textMarks.size(), 1);
    EXPECT_EQ(photo().edits.textMarks[0].text, "Hallo");
    const QPointF placed = toImage(QPointF(p));
    EXPECT_NEAR(photo().edits.textMarks[0].position.x(), placed.x(), 1e-6);
    EXPECT_NEAR(photo().edits.textMarks[0].position.y(), placed.y(), 1e-6);

    // Drag it 40 right and 30 down: the stored position follows in image pixels (y up).
    drag(layer, p, p + QPoint(40, 30));
    const QPointF moved = placed + QPointF(40, -30) / scale();
    EXPECT_NEAR(photo().edits.textMarks[0].position.x(), moved.x(), 1e-6);
    EXPECT_NEAR(photo().edits.textMarks[0].position.y(), moved.y(), 1e-6);
    EXPECT_EQ(sheet->editor().state().selectedTextID, photo().edits.textMarks[0].id);

    // A double click opens it for editing again, with its text in the focused field.
    QTest::mouseDClick(layer, Qt::LeftButton, {}, p + QPoint(40, 30));
    drain();
    ASSERT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), "Hallo");
    EXPECT_EQ(sheet->editor().state().editingTextID, photo().edits.textMarks[0].id);
    QTest::keyClick(field, Qt::Key_Return);
    drain();

    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("editorClose")), Qt::LeftButton);
    drain();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_TRUE(photo().edits.textMarks.isEmpty()); // baked into the original
    const QImage baked = *photo().originalCI.decode();
    const QColor plain = baked.pixelColor(20, 20);
    // Inside the box's left margin, at its middle: the dark background, not the photo.
    const double boxWidth = measureText(QStringLiteral("Hallo"), 24).width + 2 * 0.35 * 24;
    const QColor inMargin = baked.pixelColor(int(moved.x() - boxWidth / 2 + 4), int(300 - moved.y()));
    EXPECT_LT(inMargin.blue(), plain.blue() * 0.6);
    const QColor beside = baked.pixelColor(int(moved.x() - boxWidth / 2 - 4), int(300 - moved.y()));
    EXPECT_EQ(beside, plain);
}

// On a photo turned and mirrored, the text typed into the field stands in the exported file
// where the sheet showed it, and its letters read the right way round.
TEST_F(ArrowTextSheet, TextOnAMirroredPhotoIsExportedWhereItWasShown)
{
    open(90, true);
    QTest::mouseClick(sheet->button(QStringLiteral("Text")), Qt::LeftButton);
    auto* layer = sheet->findChild<TextMarkNSView*>();
    auto* field = sheet->findChild<TextMarkField*>();
    ASSERT_TRUE(layer && field);
    const QPoint p = (fitted().topLeft() + QPointF(90, 150)).toPoint();
    QTest::mouseClick(layer, Qt::LeftButton, {}, p);
    drain();
    ASSERT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("F"));
    const QPointF centre = field->mapTo(sheet->canvas(), field->box().center().toPoint());
    EXPECT_NEAR(centre.x(), p.x(), 1.5);
    EXPECT_NEAR(centre.y(), p.y(), 1.5);
    QTest::keyClick(field, Qt::Key_Return);
    const QPoint dropped = p + QPoint(30, 20);
    drag(layer, p, dropped);
    drain();
    ASSERT_EQ(photo().edits.textMarks.size(), 1);
    // The layer draws the committed mark there too.
    const QRectF box = layer->geometry2D().textBox(photo().edits.textMarks[0]);
    EXPECT_NEAR(box.center().x(), dropped.x(), 1e-6);
    EXPECT_NEAR(box.center().y(), dropped.y(), 1e-6);
    // Where the mark was shown, in the pixels of the turned photo.
    const QPointF expected = (QPointF(dropped) - fitted().topLeft()) / scale();
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("editorClose")), Qt::LeftButton);
    drain();
    ASSERT_TRUE(sheet.isNull());

    QTemporaryDir folder;
    ASSERT_FALSE(exportJPEG(processor.photos(), std::make_shared<CancelToken>(), 1, folder.path(), 1)->wait().error);
    const QImage exported(folder.filePath(QStringLiteral("1_Mole.jpg")));
    ASSERT_EQ(exported.size(), QSize(300, 400));
    QRect changed;
    QRect ink;
    for (int y = 0; y < exported.height(); ++y)
        for (int x = 0; x < exported.width(); ++x) {
            const QColor c = exported.pixelColor(x, y);
            if (std::abs(c.blue() - 128) > 40 || c.red() > 40)
                changed |= QRect(x, y, 1, 1);
            if (c.red() > 180)
                ink |= QRect(x, y, 1, 1);
        }
    EXPECT_NEAR(QRectF(changed).center().x(), expected.x(), 2);
    EXPECT_NEAR(QRectF(changed).center().y(), expected.y(), 2);
    // An "F" has its stem on the left: more white in the left half of the letter than in the right.
    int left = 0, right = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            if (exported.pixelColor(x, y).red() > 180)
                (x < ink.center().x() ? left : right) += 1;
    EXPECT_GT(left, right * 1.3);
}
