#include "ui/magnifier/LupenFensterManager.h"
#include "ui/magnifier/LupenAnsicht.h"
#include "ui/magnifier/LupenFenster.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "support/Fixtures.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

// A 1920 × 1080 primary screen with a 32-point panel along its top, Qt coordinates.
const ScreenRects kScreen{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}};

QRectF yUp(QRect qt)
{
    return QRectF(qt.x(), 1080 - qt.y() - qt.height(), qt.width(), qt.height());
}

void processEvents()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class LupenFensterManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().remove(LupenFensterManager::prefsKey());
        manager.setScreenSource([] { return std::vector{kScreen}; });
    }
    void TearDown() override { QSettings().remove(LupenFensterManager::prefsKey()); }

    LupenFenster* openPhoto(const QUuid& id)
    {
        manager.oeffnen(test::solid(400, 300, Qt::gray), QStringLiteral("IMG_0001.JPG"), id);
        return manager.fenster(id);
    }

    LupenFensterManager manager;
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const QUuid third = QUuid::createUuid();
};

} // namespace

// Opening a shown photo again updates and raises its one window; closing one of two windows
// leaves the other, and the next opening makes a new window. A window opened from a preview asks
// for the full resolution of its own photo.
TEST_F(LupenFensterManagerTest, OneWindowPerPhotoUpdatedOnReopeningAndNewAfterClosing)
{
    LupenFenster* a = openPhoto(first);
    a->showMinimized();
    manager.oeffnen(test::solid(640, 480, Qt::red), QStringLiteral("anders"), first);
    EXPECT_EQ(manager.fenster(first), a);
    EXPECT_EQ(manager.windowCount(), 1);
    EXPECT_FALSE(a->isMinimized());
    EXPECT_EQ(a->view()->surface()->content()->bild().pixelColor(0, 0), QColor(Qt::red));

    LupenFenster* b = openPhoto(second);
    ASSERT_NE(a, b);
    a->close();
    processEvents();
    EXPECT_EQ(manager.fenster(first), nullptr);
    EXPECT_EQ(manager.modell(first), nullptr);
    EXPECT_EQ(manager.fenster(second), b);
    EXPECT_NE(manager.modell(second), nullptr);
    EXPECT_TRUE(b->isVisible());
    EXPECT_NE(openPhoto(first), nullptr) << "the next opening makes a new window";
    EXPECT_EQ(manager.windowCount(), 2);

    // Reopened before the closed window is deleted: the new one is kept.
    openPhoto(first)->close();
    LupenFenster* reopened = openPhoto(first);
    processEvents();
    EXPECT_EQ(manager.fenster(first), reopened);
    EXPECT_NE(manager.modell(first), nullptr);

    // A photo opened from its preview asks the full-resolution source with its id.
    QUuid askedFor;
    manager.setFullImageSource([&](QUuid id, FullImageDelivery deliver) {
        askedFor = id;
        deliver(test::solid(4000, 3000, Qt::blue));
    });
    manager.oeffnen(Preview{test::solid(400, 300, Qt::gray), QSize(4000, 3000)}, QStringLiteral("x"), third);
    manager.fenster(third)->view()->actualSizeAction()->trigger();
    EXPECT_EQ(askedFor, third);
    EXPECT_EQ(manager.fenster(third)->view()->surface()->content()->bild().width(), 4000);
}

TEST_F(LupenFensterManagerTest, MovesAndResizesAreRememberedAndComeBackUnchangedAndCtrlShortcutsWork)
{
    LupenFenster* f = openPhoto(first);
    f->move(300, 120);
    processEvents();
    EXPECT_EQ(manager.frameLaden(), yUp(f->frameGeometry()));
    f->resize(700, 500);
    processEvents();
    const QRect moved = f->frameGeometry();
    EXPECT_EQ(moved.topLeft(), QPoint(300, 120));
    EXPECT_EQ(manager.frameLaden(), yUp(moved));

    // Ctrl shortcuts reach the active window; Ctrl+W closes it.
    ASSERT_EQ(QApplication::activeWindow(), f);
    const MagnifierZoom& zoom = f->view()->zoom();
    for (const auto& [key, expected] : {std::pair{Qt::Key_1, 1.0}, {Qt::Key_Plus, 1.25}, {Qt::Key_Minus, 1.0}}) {
        QTest::keyClick(f, key, Qt::ControlModifier);
        EXPECT_DOUBLE_EQ(zoom.zoom(), expected) << key;
    }
    QTest::keyClick(f, Qt::Key_0, Qt::ControlModifier);
    EXPECT_TRUE(zoom.einpassen());
    QTest::keyClick(f, Qt::Key_W, Qt::ControlModifier);
    processEvents();
    EXPECT_EQ(manager.fenster(first), nullptr) << "Ctrl+W closes the window";

    // As after a restart: a fresh manager reading the same preferences. It takes its open
    // window along when it goes.
    QPointer<LupenFenster> restored;
    {
        LupenFensterManager afterRestart;
        afterRestart.setScreenSource([] { return std::vector{kScreen}; });
        afterRestart.oeffnen(test::solid(10, 10, Qt::gray), QStringLiteral("x"), first);
        restored = afterRestart.fenster(first);
        ASSERT_TRUE(restored);
        EXPECT_EQ(restored->frameGeometry(), moved) << "no drift by the decorations";
    }
    EXPECT_TRUE(restored.isNull());
}
