// The main window as a user meets it: real widgets offscreen, clicks and keys by Qt Test.
#include "AppSupport.h"

#include "ui/AdjustmentsPanel.h"
#include "ui/PhotoGridView.h"
#include "ui/ProgressOverlay.h"
#include "ui/Toolbar.h"
#include "ui/magnifier/LupenFenster.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QAction>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>

using namespace lumora;
using namespace lumora::test;

using ContentViewTest = WindowFixture;

TEST_F(ContentViewTest, DraggingMovesLiveAndMarksTheOrderChanged)
{
    load(5);
    PhotoGridView* grid = view->grid();
    // Drags card `from` the way the platform would: enter the grid, move over the card of `over`
    // (where that card is at that moment), then drop there.
    const auto drag = [&](int from, QUuid over) {
        grid->setDragRunner([&, over](QDrag& d) {
            const QPoint at = grid->cardRectInViewport(view->processor().indexOf(over)).center();
            QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, d.mimeData(), Qt::LeftButton, {});
            QCoreApplication::sendEvent(grid->viewport(), &enter);
            QDragMoveEvent move(at, Qt::MoveAction, d.mimeData(), Qt::LeftButton, {});
            QCoreApplication::sendEvent(grid->viewport(), &move);
            QDropEvent drop(at, Qt::MoveAction, d.mimeData(), Qt::LeftButton, {});
            QCoreApplication::sendEvent(grid->viewport(), &drop);
        });
        const QPoint start = grid->cardRectInViewport(from).center();
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(30, 0)),
                         grid->viewport()->mapToGlobal(QPointF(start)), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(grid->viewport(), &move);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, start);
    };
    drag(0, idAt(3)); // 1 over 4
    EXPECT_EQ(order(view->processor()), (QStringList{"2", "3", "4", "1", "5"}));
    EXPECT_TRUE(view->flows().orderWasChanged);
    EXPECT_FALSE(view->dragReorder().draggedPhotoID()); // over once the drag ended

    // Dropped back on itself: the order counts as changed.
    view->flows().orderWasChanged = false;
    drag(2, idAt(2));
    EXPECT_TRUE(view->flows().orderWasChanged);

    // Text dragged in from elsewhere moves nothing, even right after a drag of ours.
    QMimeData foreign;
    foreign.setText(QStringLiteral("Hallo"));
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &foreign, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid->viewport(), &enter);
    QDragMoveEvent over(grid->cardRectInViewport(0).center(), Qt::CopyAction, &foreign, Qt::LeftButton, {});
    QCoreApplication::sendEvent(grid->viewport(), &over);
    EXPECT_EQ(order(view->processor()), (QStringList{"2", "3", "4", "1", "5"}));
}

TEST_F(ContentViewTest, ArrowKeysStopAtTheLimitCtrlAContextMenuAndDoubleClick)
{
    load(3);
    EXPECT_EQ(view->makeContextMenu(), nullptr); // no context menu without a selection
    QTest::mouseClick(view->grid()->viewport(), Qt::LeftButton, {}, view->grid()->cardRectInViewport(1).center());
    QTest::keyClick(view->grid(), Qt::Key_Right);
    QTest::keyClick(view->grid(), Qt::Key_Up);
    QTest::keyClick(view->grid(), Qt::Key_Left, Qt::AltModifier); // modifiers do not matter
    QTest::keyClick(view->grid(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_DOUBLE_EQ(view->adjustments().uiAdjustment().exposure, 0.05);
    EXPECT_DOUBLE_EQ(view->adjustments().uiAdjustment().brightness, 0.02);
    EXPECT_DOUBLE_EQ(view->processor().photos()[1].edits.adjustment.exposure, 0.05); // applied to the selection
    // From 100 % forty-one steps right stop at 200 %, and the panel follows.
    view->adjustments().setValue(AdjustmentField::exposure, 1.0);
    for (int i = 0; i < 41; ++i)
        QTest::keyClick(view->grid(), Qt::Key_Right);
    EXPECT_DOUBLE_EQ(view->adjustments().uiAdjustment().exposure, 2.0);
    const QSlider* exposure = view->adjustmentsPanel()->slider(AdjustmentField::exposure);
    EXPECT_EQ(exposure->value(), exposure->maximum());

    QTest::keyClick(view->grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->selection().size(), 3);
    EXPECT_EQ(view->toolbarBand()->button(ToolbarEntry::selectAll)->text(), QStringLiteral("Abwählen"));

    std::unique_ptr<QMenu> menu(view->makeContextMenu());
    ASSERT_TRUE(menu);
    menu->actions()[1]->trigger(); // "Rechts drehen" acts on the whole selection
    ASSERT_TRUE(waitIdle(view->processor()));
    for (const PhotoItem& photo : view->processor().photos())
        EXPECT_DOUBLE_EQ(photo.edits.rotation, -90);

    // A double click opens the magnifier on that photo alone.
    QTest::mouseDClick(view->grid()->viewport(), Qt::LeftButton, {}, view->grid()->cardRectInViewport(1).center());
    EXPECT_EQ(view->selection().ordered(), QList<QUuid>{idAt(1)});
    ASSERT_NE(magnifiers.fenster(idAt(1)), nullptr);
    EXPECT_EQ(magnifiers.fenster(idAt(1))->windowTitle(), QStringLiteral("Lupe – 2.jpg"));
}

TEST_F(ContentViewTest, ProgressOverlayFollowsTheRunningCommand)
{
    load(2);
    dialogs.confirmFolder(dir.path() + QStringLiteral("/export"));
    QDir().mkpath(dir.path() + QStringLiteral("/export"));
    ProgressOverlay* overlay = view->progressOverlay();
    bool sawOverlay = false, sawDisabled = false;
    QObject::connect(&view->flows(), &CommandFlows::stateChanged, [&] {
        if (view->flows().running() != CommandFlows::Command::none) {
            sawOverlay |= overlay->isVisible() && overlay->geometry() == view->centralWidget()->rect();
            sawDisabled |= !view->action(ToolbarEntry::save)->isEnabled();
        }
    });
    view->action(ToolbarEntry::exportJpg)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, kNoTimeLimit));
    EXPECT_TRUE(sawOverlay);
    EXPECT_TRUE(sawDisabled);
    EXPECT_FALSE(overlay->isVisible());
    EXPECT_EQ(dialogs.messages.last().second, QStringLiteral("Export als JPG erfolgreich abgeschlossen."));
    EXPECT_TRUE(view->action(ToolbarEntry::save)->isEnabled());

    // "Abbrechen" only asks the running command to stop.
    EXPECT_FALSE(view->flows().cancelToken()->isCancelled());
    overlay->cancelButton()->click();
    EXPECT_TRUE(view->flows().cancelToken()->isCancelled());
}
