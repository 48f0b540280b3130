#include "ui/magnifier/LupenAnsicht.h"
#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/LupenKnopf.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "support/Fixtures.h"
#include "support/Pixels.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

/// A shown view of 1000 × 750 points with its own model.
struct ShownView {
    explicit ShownView(QImage image) : model(std::move(image)), view(&model)
    {
        view.resize(1000, 750);
        view.show();
    }
    LupenBildModell model;
    LupenAnsicht view;

    QString percent() const { return view.percentLabel()->text(); }
    SchwenkbareInhaltView* content() const { return view.surface()->content(); }
};

/// Sends a mouse event to `target` whose window position is `inWindow`.
void sendMouse(QWidget* target, QEvent::Type type, QPointF inWindow)
{
    const QPointF local = target->mapFrom(target->window(), inWindow);
    const Qt::MouseButtons pressed = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, inWindow, target->mapToGlobal(local),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, pressed, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

// The zoom rules are MagnifierZoom's; here the content is sized by the zoom the buttons set, and
// in fit mode it follows the window. At 100 % the image is drawn upright inside a margin of the
// dark surface, and a drag moves the view with the hand.
TEST(LupenAnsicht, ContentFollowsTheZoomDrawsUprightAndMovesWithTheHand)
{
    ShownView z(test::solid(400, 300, Qt::gray));
    QTest::mouseClick(z.view.zoomInButton(), Qt::LeftButton);
    QTest::mouseClick(z.view.actualSizeButton(), Qt::LeftButton);
    EXPECT_EQ(z.percent(), QStringLiteral("100 %"));
    EXPECT_EQ(z.content()->size(), QSize(440, 340));

    QTest::mouseClick(z.view.fitButton(), Qt::LeftButton);
    z.view.resize(640, 480);
    EXPECT_EQ(z.content()->height(), qRound(z.view.surface()->area().height())) << "height decides";
    EXPECT_EQ(z.view.surface()->horizontalScrollBar()->maximum(), 0) << "a fitted image needs no scrolling";

    ShownView a(test::quadrants(200, 100));
    a.view.actualSizeAction()->trigger();
    QImage shot(a.content()->size(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::black);
    a.content()->render(&shot);
    const QColor dark = QColor::fromRgbF(0.12f, 0.12f, 0.13f);
    EXPECT_EQ(shot.pixel(10, 10), dark.rgb()) << "the margin shows the dark surface";
    EXPECT_EQ(test::quadrantColours(shot.copy(20, 20, 200, 100)), "RGBW");
    EXPECT_EQ(shot.pixel(230, 130), dark.rgb());

    ShownView b(test::solid(3000, 2000, Qt::gray));
    b.view.actualSizeAction()->trigger();
    SchwenkbareBildAnsicht* surface = b.view.surface();
    surface->setOrigin({500, 500});
    const QPointF start = surface->origin();

    sendMouse(b.content(), QEvent::MouseButtonPress, {400, 400});
    sendMouse(b.content(), QEvent::MouseMove, {350, 370});
    EXPECT_EQ(surface->origin(), start + QPointF(50, 30)) << "hand left and up, view right and down";
    sendMouse(b.content(), QEvent::MouseMove, {380, 420});
    EXPECT_EQ(surface->origin(), start + QPointF(20, -20)) << "measured in window coordinates";
    sendMouse(b.content(), QEvent::MouseButtonRelease, {380, 420});

    sendMouse(b.content(), QEvent::MouseMove, {900, 900});
    EXPECT_EQ(surface->origin(), start + QPointF(20, -20)) << "moves without a press do nothing";
}
