#include "ui/WatermarkSheet.h"
#include "app/WatermarkController.h"
#include "model/ImageProcessor.h"
#include "support/PhotoFiles.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

QPushButton* button(QWidget* sheet, const QString& text)
{
    for (QPushButton* b : sheet->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

struct WatermarkSheetTest : ::testing::Test {
    QTemporaryDir dir;
    ImageProcessor processor;
    WatermarkValues values;
    void load(int count) { ASSERT_TRUE(loadAndWait(processor, writePhotos(dir, count, 80, 60))); }
};

} // namespace

// "Abbrechen" keeps the photos and the values, but opening again resets the text to the last one
// applied; "Anwenden" without a selection marks every photo and remembers the trimmed text.
TEST_F(WatermarkSheetTest, AbbrechenKeepsPhotosAndUnselectedPhotosAreAllTargetsOfTheTrimmedText)
{
    load(12);
    values.lastWatermarkText = QStringLiteral("alt");
    WatermarkController controller(processor, values, {});
    controller.open();
    {
        WatermarkSheet sheet(controller, values, {800, 600});
        sheet.textField()->setText(QStringLiteral("Entwurf"));
        values.opacity = 0.8;
        button(&sheet, QStringLiteral("Abbrechen"))->click();
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
    }
    EXPECT_FALSE(processor.photos().first().edits.watermark);
    EXPECT_EQ(values.opacity, 0.8);
    controller.open();
    EXPECT_EQ(values.text, QStringLiteral("alt"));
    EXPECT_EQ(controller.countText(), QStringLiteral("Wird auf 12 Fotos angewendet."));
    EXPECT_EQ(controller.previewPhoto(), processor.photos().first().id);

    WatermarkSheet sheet(controller, values, {1280, 760});
    sheet.textField()->setText(QStringLiteral("  Mein Shop \n"));
    QTRY_VERIFY(!sheet.previewImage().isNull());
    EXPECT_EQ(controller.candidate()->text, QStringLiteral("Mein Shop"));
    button(&sheet, QStringLiteral("Anwenden"))->click();
    ASSERT_TRUE(waitIdle(processor));
    for (const PhotoItem& photo : processor.photos()) {
        ASSERT_TRUE(photo.edits.watermark);
        EXPECT_EQ(photo.edits.watermark->text, QStringLiteral("Mein Shop"));
    }
    EXPECT_EQ(values.lastWatermarkText, QStringLiteral("Mein Shop"));

    // A selection narrows the targets; an empty text removes the watermark from them.
    const QUuid only = processor.photos()[3].id;
    WatermarkController narrow(processor, values, {only});
    EXPECT_EQ(narrow.countText(), QStringLiteral("Wird auf 1 Foto angewendet."));
    values.text = QStringLiteral("   ");
    EXPECT_FALSE(narrow.candidate());
    narrow.anwenden();
    ASSERT_TRUE(waitIdle(processor));
    EXPECT_FALSE(processor.photo(only)->edits.watermark);
    EXPECT_TRUE(processor.photos().first().edits.watermark);
    EXPECT_EQ(values.lastWatermarkText, QStringLiteral("Mein Shop"));
}

TEST_F(WatermarkSheetTest, PreviewShowsTheCandidateAtTheSizeAskedAndWithoutPhotosNothing)
{
    values = {.text = QStringLiteral("█"), .position = WatermarkPosition::center, .opacity = 1, .sizeFactor = 0.2};
    WatermarkController controller(processor, values, {});
    EXPECT_FALSE(controller.preview(400));
    EXPECT_TRUE(WatermarkSheet(controller, values, {500, 300}).previewImage().isNull());
    controller.anwenden();
    EXPECT_TRUE(processor.photos().isEmpty());

    PhotoItem photo;
    photo.originalCI = SourceImage::fromRaster(solid(4000, 3000, Qt::black));
    processor.setPhotos({photo});
    const QImage shown = *controller.preview(800);
    EXPECT_EQ(shown.size(), QSize(800, 600));
    EXPECT_EQ(shown.pixelColor(400, 300), QColor(Qt::white));
    values.colorHex = QStringLiteral("#FF0000");
    EXPECT_EQ(controller.preview(800)->pixelColor(400, 300), QColor(Qt::red));
}
