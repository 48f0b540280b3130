#include "ui/magnifier/LupenAnsicht.h"
#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/LupenFenster.h"
#include "ui/magnifier/LupenFensterManager.h"
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
const Bildschirm kBildschirm{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}};
// Where a 1000 × 750 magnifier lands without any other window: centred below the panel.
const QRect kZentriert(460, 181, 1000, 750);

QRectF yOben(QRect qt)
{
    return QRectF(qt.x(), 1080 - qt.y() - qt.height(), qt.width(), qt.height());
}

void ereignisseAbarbeiten()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The offscreen platform cannot raise windows and says so each time; that is no finding.
QtMessageHandler vorherigerHandler = nullptr;
void ohneRaiseHinweis(QtMsgType typ, const QMessageLogContext& kontext, const QString& text)
{
    if (!text.contains(QStringLiteral("does not support raise()")))
        vorherigerHandler(typ, kontext, text);
}

class LupenFensterManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vorherigerHandler = qInstallMessageHandler(ohneRaiseHinweis);
        QSettings().remove(LupenFensterManager::prefsKey());
        manager.setBildschirmQuelle([] { return std::vector{kBildschirm}; });
    }
    void TearDown() override
    {
        QSettings().remove(LupenFensterManager::prefsKey());
        qInstallMessageHandler(vorherigerHandler);
    }

    LupenFenster* oeffnen(const QUuid& id, QColor farbe = Qt::gray, const QString& titel = "IMG_0001.JPG")
    {
        manager.oeffnen(test::solid(400, 300, farbe), titel, id);
        return manager.fenster(id);
    }

    LupenFensterManager manager;
    const QUuid eins = QUuid::createUuid();
    const QUuid zwei = QUuid::createUuid();
};

} // namespace

TEST_F(LupenFensterManagerTest, NewWindowIsTitledDarkAndAtLeast500By400)
{
    LupenFenster* f = oeffnen(eins, Qt::gray, QStringLiteral("Strand.jpg"));
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Lupe \u2013 Strand.jpg"));
    EXPECT_EQ(f->minimumSize(), QSize(500, 400));
    EXPECT_TRUE(f->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(f->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_LT(f->palette().color(QPalette::Window).lightnessF(), 0.2);
    EXPECT_TRUE(f->ansicht()->zoom().einpassen());
    EXPECT_EQ(f->frameGeometry(), kZentriert);
}

TEST_F(LupenFensterManagerTest, OpeningTheSamePhotoAgainUpdatesAndRaisesTheOneWindow)
{
    LupenFenster* erstes = oeffnen(eins, Qt::gray);
    erstes->ansicht()->originalAktion()->trigger();
    erstes->showMinimized();

    manager.oeffnen(test::solid(640, 480, Qt::red), QStringLiteral("anders"), eins);
    EXPECT_EQ(manager.fenster(eins), erstes);
    EXPECT_EQ(manager.anzahlFenster(), 1);
    EXPECT_FALSE(erstes->isMinimized());
    EXPECT_TRUE(erstes->isVisible());
    EXPECT_EQ(manager.modell(eins)->bild().size(), QSize(640, 480));
    const QImage gezeigt = erstes->ansicht()->bildflaeche()->inhalt()->bild();
    EXPECT_EQ(gezeigt.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(erstes->ansicht()->zoom().zoom(), 1.0) << "the zoom survives the new image";
}

TEST_F(LupenFensterManagerTest, ClosingOneOfTwoWindowsLeavesTheOther)
{
    LupenFenster* a = oeffnen(eins);
    LupenFenster* b = oeffnen(zwei);
    ASSERT_NE(a, b);
    EXPECT_EQ(manager.anzahlFenster(), 2);

    a->close();
    ereignisseAbarbeiten();
    EXPECT_EQ(manager.fenster(eins), nullptr);
    EXPECT_EQ(manager.modell(eins), nullptr);
    EXPECT_EQ(manager.fenster(zwei), b);
    EXPECT_NE(manager.modell(zwei), nullptr);
    EXPECT_TRUE(b->isVisible());

    EXPECT_NE(oeffnen(eins), nullptr) << "the next opening makes a new window";
    EXPECT_EQ(manager.anzahlFenster(), 2);
}

TEST_F(LupenFensterManagerTest, ReopeningBeforeTheClosedWindowIsDeletedKeepsTheNewOne)
{
    oeffnen(eins)->close();
    LupenFenster* neu = oeffnen(eins);
    ereignisseAbarbeiten();
    EXPECT_EQ(manager.fenster(eins), neu);
    EXPECT_NE(manager.modell(eins), nullptr);
}

TEST_F(LupenFensterManagerTest, RememberedFrameIsUsedWhenFullyOnScreen)
{
    manager.frameSpeichern(QRectF(100, 200, 800, 600));
    LupenFenster* f = oeffnen(eins);
    EXPECT_EQ(f->frameGeometry(), QRect(100, 1080 - 200 - 600, 800, 600));
    ereignisseAbarbeiten();
    EXPECT_EQ(manager.frameLaden(), QRectF(100, 200, 800, 600));

    // Several windows from one remembered frame lie on top of each other.
    EXPECT_EQ(oeffnen(zwei)->frameGeometry(), f->frameGeometry());
}

TEST_F(LupenFensterManagerTest, RememberedFrameOffScreenIsIgnoredButKept)
{
    const QRectF halbDraussen(1500, 200, 800, 600);
    manager.frameSpeichern(halbDraussen);
    EXPECT_FALSE(manager.istVollSichtbar(halbDraussen));
    LupenFenster* f = oeffnen(eins);
    EXPECT_EQ(f->frameGeometry(), kZentriert);
    ereignisseAbarbeiten();
    EXPECT_EQ(manager.frameLaden(), halbDraussen) << "not deleted, a screen may come back";
}

TEST_F(LupenFensterManagerTest, MovesAndResizesAreRememberedAndComeBackUnchanged)
{
    LupenFenster* f = oeffnen(eins);
    f->move(300, 120);
    ereignisseAbarbeiten();
    EXPECT_EQ(manager.frameLaden(), yOben(f->frameGeometry()));
    f->resize(700, 500);
    ereignisseAbarbeiten();
    const QRect bewegt = f->frameGeometry();
    EXPECT_EQ(bewegt.topLeft(), QPoint(300, 120));
    EXPECT_EQ(manager.frameLaden(), yOben(bewegt));

    // As after a restart: a fresh manager reading the same preferences.
    f->close();
    ereignisseAbarbeiten();
    LupenFensterManager danach;
    danach.setBildschirmQuelle([] { return std::vector{kBildschirm}; });
    danach.oeffnen(test::solid(10, 10, Qt::gray), QStringLiteral("x"), eins);
    EXPECT_EQ(danach.fenster(eins)->frameGeometry(), bewegt) << "no drift by the decorations";
}

TEST_F(LupenFensterManagerTest, BesideTheMainWindowWhenThereIsRoom)
{
    QWidget haupt;
    haupt.setWindowTitle(QStringLiteral("Lumora Studio"));
    haupt.setGeometry(40, 100, 800, 600);
    haupt.show();
    manager.setHauptfenster(&haupt);
    const QRect h = haupt.frameGeometry();
    const QRect f = oeffnen(eins)->frameGeometry();
    EXPECT_EQ(f, QRect(h.right() + 1 - 100, h.top(), 1000, 750));
}

TEST_F(LupenFensterManagerTest, NearTheRightScreenEdgeTheWindowShrinksIntoTheMainWindow)
{
    QWidget haupt;
    haupt.setWindowTitle(QStringLiteral("Lumora Studio"));
    haupt.show();
    haupt.setGeometry(1920 - 1280, 200, 1280, 760);
    manager.setHauptfenster(&haupt);
    const QRect h = haupt.frameGeometry();
    const QRect f = oeffnen(eins)->frameGeometry();
    EXPECT_EQ(f.width(), qRound(h.width() * 0.65));
    EXPECT_EQ(f.height(), std::min(h.height() - 80, 750));
    EXPECT_EQ(f.right() + 1, h.right() + 1 - 20);
    EXPECT_EQ(f.top(), h.top() + 60);
}

TEST_F(LupenFensterManagerTest, WithoutAnyApplicationWindowItIsCentred)
{
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    EXPECT_EQ(manager.standardFrame({1000, 750}), yOben(kZentriert));
    EXPECT_EQ(oeffnen(eins)->frameGeometry(), kZentriert);

    manager.setBildschirmQuelle([] { return std::vector<Bildschirm>{}; });
    EXPECT_EQ(manager.standardFrame({1000, 750}), QRectF(220, 75, 1000, 750))
        << "the first magnifier is the reference now, but there is no screen";
}

TEST_F(LupenFensterManagerTest, MalformedStoredFramesCountAsNone)
{
    QVariantMap ohneW{{"x", 10}, {"y", 10}, {"h", 500}};
    QVariantMap textWerte{{"x", "10"}, {"y", "10"}, {"w", "800"}, {"h", "600"}};
    for (const QVariant& schlecht :
         {QVariant(QStringLiteral("100,100,800,600")), QVariant(ohneW), QVariant(textWerte),
          QVariant(QVariantList{100, 100, 800, 600}), QVariant(42)}) {
        QSettings().setValue(LupenFensterManager::prefsKey(), schlecht);
        EXPECT_FALSE(manager.frameLaden()) << schlecht.typeName();
        LupenFenster* f = oeffnen(eins);
        EXPECT_EQ(f->frameGeometry(), kZentriert) << schlecht.typeName();
        f->close();
        ereignisseAbarbeiten();
    }
}

TEST_F(LupenFensterManagerTest, FullResolutionSourceIsAskedWithThePhotoId)
{
    QUuid gefragt;
    manager.setVollbildQuelle([&](QUuid id) {
        gefragt = id;
        return std::optional(test::solid(4000, 3000, Qt::blue));
    });
    manager.oeffnen(Preview{test::solid(400, 300, Qt::gray), QSize(4000, 3000)}, QStringLiteral("x"), zwei);
    manager.fenster(zwei)->ansicht()->originalAktion()->trigger();
    EXPECT_EQ(gefragt, zwei);
    EXPECT_EQ(manager.fenster(zwei)->ansicht()->bildflaeche()->inhalt()->bild().width(), 4000);
}

TEST_F(LupenFensterManagerTest, CtrlShortcutsReachTheActiveWindow)
{
    LupenFenster* f = oeffnen(eins);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), f);
    const LupenZoom& zoom = f->ansicht()->zoom();
    QTest::keyClick(f, Qt::Key_1, Qt::ControlModifier);
    EXPECT_FALSE(zoom.einpassen());
    EXPECT_DOUBLE_EQ(zoom.zoom(), 1.0);
    QTest::keyClick(f, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(zoom.zoom(), 1.25);
    QTest::keyClick(f, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(f, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.8);
    QTest::keyClick(f, Qt::Key_0, Qt::ControlModifier);
    EXPECT_TRUE(zoom.einpassen());
}

TEST(LupenFensterManagerLebensdauer, ManagerTakesItsOpenWindowsAlong)
{
    QPointer<LupenFenster> a;
    QPointer<LupenFenster> b;
    {
        LupenFensterManager manager;
        const QUuid idA = QUuid::createUuid();
        const QUuid idB = QUuid::createUuid();
        manager.oeffnen(test::solid(40, 30, Qt::gray), QStringLiteral("a"), idA);
        manager.oeffnen(test::solid(40, 30, Qt::gray), QStringLiteral("b"), idB);
        a = manager.fenster(idA);
        b = manager.fenster(idB);
        ASSERT_TRUE(a && b);
    }
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
}

TEST(LupenFensterManagerInstanz, IsOneSharedInstance)
{
    EXPECT_EQ(&LupenFensterManager::instanz(), &LupenFensterManager::instanz());
    EXPECT_EQ(LupenFensterManager::prefsKey(), QStringLiteral("LupenFenster.frame"));
}
