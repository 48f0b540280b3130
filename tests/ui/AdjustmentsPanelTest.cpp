// The adjustments panel with the real window: sliders, value texts, visibility, reset, keys.
#include "AppSupport.h"

#include "app/editor/TextTool.h"
#include "base/UiThread.h"
#include "ui/AdjustmentsPanel.h"
#include "ui/PhotoGridView.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/ZoomableImageEditor.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

using namespace lumora;
using namespace lumora::test;

using AdjustmentsPanelTest = WindowFixture;

TEST_F(AdjustmentsPanelTest, SlidersWriteToTheSelectionOnlyAndTheFileInfoFollowsSaves)
{
    load(3);
    AdjustmentsPanel* panel = view->adjustmentsPanel();
    QSlider* contrast = panel->slider(AdjustmentField::contrast);
    // Nothing selected: the panel changes, no photo does.
    contrast->setValue(0);
    EXPECT_EQ(panel->valueLabel(AdjustmentField::contrast)->text(), QStringLiteral("-100 %"));
    for (const PhotoItem& photo : view->processor().photos())
        EXPECT_DOUBLE_EQ(photo.edits.adjustment.contrast, 1);

    // Selecting a photo shows its values; moving the slider writes to it alone.
    view->selection().click(idAt(1), false);
    EXPECT_EQ(panel->valueLabel(AdjustmentField::contrast)->text(), QStringLiteral("+0 %"));
    contrast->setValue(30); // 1.5
    EXPECT_DOUBLE_EQ(view->processor().photos()[1].edits.adjustment.contrast, 1.5);
    EXPECT_DOUBLE_EQ(view->processor().photos()[0].edits.adjustment.contrast, 1);
    EXPECT_EQ(panel->valueLabel(AdjustmentField::contrast)->text(), QStringLiteral("+50 %"));
    // While a turn renders, the photos take no slider change, and the panel does not pretend.
    view->processor().rotate({idAt(1)}, RotationDirection::left);
    ASSERT_TRUE(view->processor().isBatchProcessing());
    contrast->setValue(60);
    view->adjustments().stepExposure(+1);
    EXPECT_EQ(panel->valueLabel(AdjustmentField::contrast)->text(), QStringLiteral("+50 %"));
    EXPECT_EQ(contrast->value(), 30);
    EXPECT_EQ(view->processor().photos()[1].edits.adjustment, (AdjustmentState{.contrast = 1.5}));
    EXPECT_EQ(view->adjustments().uiAdjustment(), view->processor().photos()[1].edits.adjustment);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->processor().isBatchProcessing(); }, kNoTimeLimit));
    view->selection().click(idAt(0), false);
    EXPECT_EQ(panel->fileInfoValues().mid(0, 2), (QStringList{"1.jpg", "64 px"}));

    // "Zurücksetzen" with three selected photos sets all three to neutral, in one application
    // (the panel's values change too, which must not write them a second time). Background
    // renders arriving meanwhile publish one photo each, so they are not counted.
    view->selection().selectAll({idAt(1), idAt(0), idAt(2)});
    view->processor().applyAdjustment(AdjustmentState{.exposure = 0.5}, {idAt(0), idAt(2)});
    int applications = 0;
    const auto counting =
        QObject::connect(&view->processor(), &ImageProcessor::photosChanged,
                         [&](const PhotoChanges& changes) { applications += changes.edited.size() == 3; });
    QTest::mouseClick(panel->resetButton(), Qt::LeftButton);
    QObject::disconnect(counting);
    EXPECT_EQ(applications, 1);
    for (const PhotoItem& photo : view->processor().photos())
        EXPECT_TRUE(photo.edits.adjustment.isNeutral()) << photo.url.fileName().toStdString();

    // The file size is read again after saving over the file.
    view->selection().click(idAt(0), false);
    const QString before = panel->fileInfoValues().value(3);
    view->adjustments().setValue(AdjustmentField::sharpness, 1.0); // grain: another size on disk
    view->flows().save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, kNoTimeLimit));
    const QString after = panel->fileInfoValues().value(3);
    EXPECT_NE(after, before);
    view->selection().clear();
    view->selection().click(idAt(0), false);
    EXPECT_EQ(panel->fileInfoValues().value(3), after); // what a fresh look at the file shows
}

TEST_F(AdjustmentsPanelTest, VisibilityIsKeptAcrossARestart)
{
    AdjustmentsPanel* panel = view->adjustmentsPanel();
    EXPECT_TRUE(panel->rowVisible(AdjustmentField::contrast)); // absent keys read as shown
    panel->visibilityAction(AdjustmentField::contrast)->trigger();
    EXPECT_FALSE(panel->rowVisible(AdjustmentField::contrast));
    EXPECT_FALSE(preferences::value(QStringLiteral("Lumora.Slider.showContrast")).toBool());

    view = std::make_unique<ContentView>(services(), noPlaces()); // a new start
    panel = view->adjustmentsPanel();
    EXPECT_FALSE(panel->rowVisible(AdjustmentField::contrast));
    EXPECT_FALSE(panel->visibilityAction(AdjustmentField::contrast)->isChecked());
    EXPECT_TRUE(panel->rowVisible(AdjustmentField::exposure));
    panel->showAllAction()->trigger();
    view = std::make_unique<ContentView>(services(), noPlaces());
    EXPECT_TRUE(view->adjustmentsPanel()->rowVisible(AdjustmentField::contrast));
}

// Belichtung +50 % on the second photo, then "Bearbeiten" opens the sheet on it and a text mark
// is baked on closing: the adjustment is in the new original now, the panel shows the photo's
// neutral values, the next slider writes only itself, and the window takes the keys again.
TEST_F(WindowFixture, AnAdjustmentBakedByTheEditorIsNotWrittenASecondTime)
{
    load(2);
    view->selection().click(idAt(1), false);
    AdjustmentsPanel* panel = view->adjustmentsPanel();
    panel->slider(AdjustmentField::exposure)->setValue(sliders::spec(AdjustmentField::exposure).positionOf(0.5));
    ASSERT_EQ(panel->valueLabel(AdjustmentField::exposure)->text(), QStringLiteral("+50 %"));
    ASSERT_TRUE(view->action(ToolbarEntry::edit)->isEnabled());
    view->action(ToolbarEntry::edit)->trigger();
    auto* sheet = view->findChild<ZoomableImageEditor*>();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->editor().photoId(), idAt(1));
    waitIdle(view->processor());
    sheet->editor().setMode(DrawingMode::text);
    auto& text = dynamic_cast<TextTool&>(*sheet->editor().tool(DrawingMode::text));
    QTest::mouseClick(sheet->canvas(), Qt::LeftButton, {}, sheet->canvas()->rect().center());
    text.setEditingTextValue(QStringLiteral("Kratzer"));
    text.endTyping();
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("editorClose")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->findChild<ZoomableImageEditor*>(); }, kNoTimeLimit));
    waitIdle(view->processor());
    EXPECT_EQ(QApplication::activeWindow(), view->window()) << "the window takes the keys again";

    EXPECT_TRUE(view->processor().photos()[1].edits.adjustment.isNeutral());
    EXPECT_EQ(panel->valueLabel(AdjustmentField::exposure)->text(), QStringLiteral("+0 %"));
    panel->slider(AdjustmentField::contrast)->setValue(sliders::spec(AdjustmentField::contrast).positionOf(1.1));
    EXPECT_EQ(view->processor().photos()[1].edits.adjustment, (AdjustmentState{.contrast = 1.1}));
    EXPECT_TRUE(view->processor().photos()[0].edits.adjustment.isNeutral());
}
