#include "app/magnifier/MagnifierZoom.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

LupenZoom zoomFuer(QSizeF bild, QSizeF flaeche)
{
    LupenZoom zoom;
    zoom.setBildGroesse(bild);
    zoom.setFlaeche(flaeche);
    return zoom;
}

} // namespace

TEST(LupenZoom, StepsMultiplyByOneAndAQuarterAndStopAtTheBounds)
{
    LupenZoom zoom = zoomFuer({4000, 3000}, {1000, 700});
    zoom.originalGroesse();
    for (int i = 0; i < 3; ++i)
        zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 1.953125);
    EXPECT_EQ(zoom.prozentText(), QStringLiteral("195 %"));
    EXPECT_FALSE(zoom.einpassen());

    for (int i = 0; i < 40; ++i)
        zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), LupenZoom::maxZoom);
    zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 16.0);

    for (int i = 0; i < 80; ++i)
        zoom.verkleinern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), LupenZoom::minZoom);
    zoom.verkleinern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.05);
    EXPECT_EQ(zoom.prozentText(), QStringLiteral("5 %"));
}

TEST(LupenZoom, FitLeavesTwentyPointsAroundTheImageAndFollowsTheArea)
{
    LupenZoom zoom = zoomFuer({2000, 1000}, {1040, 1040});
    EXPECT_TRUE(zoom.einpassen());
    EXPECT_DOUBLE_EQ(zoom.effektiverZoom(), 0.5);
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.5) << "the stored zoom mirrors the fitted value";
    EXPECT_EQ(zoom.anzeigeGroesse(), QSizeF(1000, 500));
    EXPECT_EQ(zoom.dokumentGroesse(), QSizeF(1040, 540));
    EXPECT_EQ(zoom.prozentText(), QStringLiteral("50 %"));

    zoom.setFlaeche({540, 1040});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.25);
    EXPECT_EQ(zoom.anzeigeGroesse(), QSizeF(500, 250));
    EXPECT_EQ(zoom.prozentText(), QStringLiteral("25 %"));

    // A step out of fit mode starts at what is on screen.
    zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.3125);
    zoom.setFlaeche({2000, 2000});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.3125) << "outside fit mode the area does not change the zoom";

    zoom.einpassenAktivieren();
    EXPECT_DOUBLE_EQ(zoom.zoom(), (2000.0 - 40) / 2000);
}

TEST(LupenZoom, TinyImageFitsFarBeyondMaxZoomAndZoomingInNeverShrinksIt)
{
    LupenZoom zoom = zoomFuer({1, 1}, {500, 400});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 360.0);
    EXPECT_EQ(zoom.prozentText(), QStringLiteral("36000 %"));
    EXPECT_EQ(zoom.anzeigeGroesse(), QSizeF(360, 360));

    zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 360.0) << "zoom in must not jump down to 16";
    EXPECT_FALSE(zoom.einpassen());
    zoom.verkleinern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 288.0);
}

TEST(LupenZoom, HugeImageFitsBelowMinZoomAndZoomingOutNeverEnlargesIt)
{
    LupenZoom zoom = zoomFuer({100000, 100}, {540, 400});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.005);
    zoom.verkleinern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.005) << "zoom out must not jump up to 0.05";
    EXPECT_EQ(zoom.anzeigeGroesse(), QSizeF(500, 1)) << "no side is shown smaller than 1 point";
    zoom.vergroessern();
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.00625);
}

TEST(LupenZoom, WithoutAnImageTheFitIsOne)
{
    LupenZoom zoom = zoomFuer({}, {800, 600});
    EXPECT_DOUBLE_EQ(zoom.einpassZoom(800, 600), 1.0);
    EXPECT_DOUBLE_EQ(zoom.zoom(), 1.0);
    zoom.setBildGroesse({0, 300});
    EXPECT_DOUBLE_EQ(zoom.einpassZoom(800, 600), 1.0);
    EXPECT_EQ(zoom.anzeigeGroesse(), QSizeF(1, 300));
}

TEST(LupenZoom, AreaSmallerThanTheMarginsStillGivesAPositiveFit)
{
    const LupenZoom zoom = zoomFuer({200, 100}, {30, 10});
    EXPECT_DOUBLE_EQ(zoom.einpassZoom(30, 10), 1.0 / 200);
}

TEST(LupenZoom, PercentRoundsHalvesAwayFromZero)
{
    // W − 40 = 12.5 over 100 pixels: exactly 12.5 %.
    const LupenZoom halb = zoomFuer({100, 100}, {52.5, 1000});
    EXPECT_EQ(halb.prozentText(), QStringLiteral("13 %"));
    const LupenZoom knapp = zoomFuer({1000, 1000}, {164.9, 1000});
    EXPECT_EQ(knapp.prozentText(), QStringLiteral("12 %"));
}

TEST(LupenZoom, HighlightsFollowTheModeAndTheExactActualSize)
{
    LupenZoom zoom = zoomFuer({1000, 1000}, {1040, 1040});
    EXPECT_TRUE(zoom.einpassenHervorgehoben());
    EXPECT_FALSE(zoom.originalHervorgehoben()) << "fit mode at exactly 1.0 is not actual size";

    zoom.originalGroesse();
    EXPECT_TRUE(zoom.originalHervorgehoben());
    EXPECT_FALSE(zoom.einpassenHervorgehoben());

    zoom.vergroessern();
    EXPECT_FALSE(zoom.originalHervorgehoben());
    zoom.verkleinern();
    EXPECT_TRUE(zoom.originalHervorgehoben()) << "1.25 then ÷ 1.25 is 1 within 0.001";

    zoom.einpassenAktivieren();
    EXPECT_TRUE(zoom.einpassenHervorgehoben());
    EXPECT_FALSE(zoom.originalHervorgehoben());
}

TEST(LupenZoom, NewImageKeepsAnExplicitZoomAndRefitsInFitMode)
{
    LupenZoom zoom = zoomFuer({1000, 1000}, {540, 540});
    zoom.setBildGroesse({2000, 2000});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 0.25);
    zoom.originalGroesse();
    zoom.setBildGroesse({500, 500});
    EXPECT_DOUBLE_EQ(zoom.zoom(), 1.0);
    EXPECT_FALSE(zoom.einpassen());
}

TEST(Schwenken, ContentFollowsTheHandAndStopsAtTheDocumentEdges)
{
    const QSizeF dokument(2040, 1540);
    const QSizeF sicht(1000, 700);
    // Hand to the left and up: the view moves right and down over the document.
    EXPECT_EQ(schwenkUrsprung({100, 100}, {-30, -40}, dokument, sicht), QPointF(130, 140));
    EXPECT_EQ(schwenkUrsprung({100, 100}, {30, 40}, dokument, sicht), QPointF(70, 60));
    EXPECT_EQ(schwenkUrsprung({10, 10}, {500, 500}, dokument, sicht), QPointF(0, 0));
    EXPECT_EQ(schwenkUrsprung({1000, 800}, {-500, -500}, dokument, sicht), QPointF(1040, 840));
}

TEST(Schwenken, DocumentSmallerThanTheViewDoesNotMove)
{
    EXPECT_EQ(schwenkUrsprung({0, 0}, {-80, 60}, {400, 300}, {1000, 700}), QPointF(0, 0));
    // Larger on one axis only: that axis moves, the other stays.
    EXPECT_EQ(schwenkUrsprung({0, 0}, {-80, -60}, {1400, 300}, {1000, 700}), QPointF(80, 0));
}

TEST(Schwenken, ZoomKeepsThePointInTheMiddleOfTheView)
{
    // Image 1000 wide shown at 1:1, view centred on image x = 500 (document x = 520).
    const QSizeF sicht(400, 300);
    const QPointF vorher(320, 370);
    const QPointF nachher = ursprungNachZoom(vorher, sicht, {1040, 1040}, {2040, 2040});
    EXPECT_DOUBLE_EQ(nachher.x() + sicht.width() / 2, 20 + 2 * 500);
    EXPECT_DOUBLE_EQ(nachher.y() + sicht.height() / 2, 20 + 2 * 500);

    // Shrinking below the view clamps to the origin.
    EXPECT_EQ(ursprungNachZoom(vorher, sicht, {1040, 1040}, {240, 240}), QPointF(0, 0));
    // Growing from a document smaller than the view starts from its middle.
    const QPointF ausKlein = ursprungNachZoom({0, 0}, sicht, {240, 240}, {2040, 2040});
    EXPECT_DOUBLE_EQ(ausKlein.x() + sicht.width() / 2, 1020);
}
