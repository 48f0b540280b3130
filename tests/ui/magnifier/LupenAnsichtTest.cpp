#include "ui/magnifier/LupenAnsicht.h"
#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/LupenKnopf.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "support/Fixtures.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

/// A shown view of `groesse` points with its own model.
struct Aufbau {
    explicit Aufbau(QImage bild, QSize pixelGroesse = {}, QSize groesse = {1000, 750})
        : modell(std::move(bild), pixelGroesse), ansicht(&modell)
    {
        ansicht.resize(groesse);
        ansicht.show();
    }
    LupenBildModell modell;
    LupenAnsicht ansicht;

    QString prozent() const { return ansicht.prozentLabel()->text(); }
    SchwenkbareBildAnsicht* flaeche() const { return ansicht.bildflaeche(); }
    SchwenkbareInhaltView* inhalt() const { return flaeche()->inhalt(); }
};

/// Sends a mouse event to `ziel` whose window position is `imFenster`.
void maus(QWidget* ziel, QEvent::Type typ, QPointF imFenster, Qt::MouseButton knopf = Qt::LeftButton)
{
    const QPointF lokal = ziel->mapFrom(ziel->window(), imFenster);
    const Qt::MouseButtons gedrueckt = typ == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(knopf);
    QMouseEvent ereignis(typ, lokal, imFenster, ziel->mapToGlobal(lokal),
                         typ == QEvent::MouseMove ? Qt::NoButton : knopf, gedrueckt, Qt::NoModifier);
    QCoreApplication::sendEvent(ziel, &ereignis);
}

void ziehen(QWidget* ziel, QPointF von, QPointF nach)
{
    maus(ziel, QEvent::MouseButtonPress, von);
    maus(ziel, QEvent::MouseMove, (von + nach) / 2);
    maus(ziel, QEvent::MouseMove, nach);
    maus(ziel, QEvent::MouseButtonRelease, nach);
}

} // namespace

TEST(LupenAnsicht, ToolbarCarriesTheHelpTextsAndCtrlShortcuts)
{
    Aufbau a(test::solid(400, 300, Qt::gray));
    const LupenAnsicht& v = a.ansicht;
    EXPECT_EQ(v.verkleinernKnopf()->toolTip(), QStringLiteral("Verkleinern (Strg −)"));
    EXPECT_EQ(v.vergroessernKnopf()->toolTip(), QStringLiteral("Vergrößern (Strg +)"));
    EXPECT_EQ(v.einpassenKnopf()->toolTip(), QStringLiteral("Bild ans Fenster anpassen (Strg 0)"));
    EXPECT_EQ(v.originalKnopf()->toolTip(), QStringLiteral("Originalgröße (Strg 1)"));
    EXPECT_EQ(v.einpassenKnopf()->text(), QStringLiteral("Einpassen"));
    EXPECT_EQ(v.originalKnopf()->text(), QStringLiteral("100 %"));
    EXPECT_EQ(v.verkleinernKnopf()->size(), QSize(32, 26));
    EXPECT_EQ(v.prozentLabel()->width(), 60);

    EXPECT_EQ(v.verkleinernAktion()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    EXPECT_TRUE(v.vergroessernAktion()->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Plus)));
    EXPECT_EQ(v.einpassenAktion()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_EQ(v.originalAktion()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_TRUE(v.actions().contains(v.originalAktion())) << "shortcuts need the action on the view";

    // Left to right: zoom out, percentage, zoom in, then the two text buttons.
    EXPECT_LT(v.verkleinernKnopf()->x(), v.prozentLabel()->x());
    EXPECT_LT(v.prozentLabel()->x(), v.vergroessernKnopf()->x());
    EXPECT_LT(v.vergroessernKnopf()->x(), v.einpassenKnopf()->x());
    EXPECT_LT(v.einpassenKnopf()->x(), v.originalKnopf()->x());
    EXPECT_EQ(v.minimumSize(), QSize(500, 400));
}

TEST(LupenAnsicht, FitModeFollowsTheWindowSize)
{
    Aufbau a(test::solid(2000, 1000, Qt::gray));
    const QSizeF flaeche = a.flaeche()->flaeche();
    const double fit = std::min((flaeche.width() - 40) / 2000, (flaeche.height() - 40) / 1000);
    EXPECT_DOUBLE_EQ(a.ansicht.zoom().zoom(), fit);
    EXPECT_EQ(a.prozent(), QString::number(qRound(fit * 100)) + QStringLiteral(" %"));
    EXPECT_EQ(a.inhalt()->size(), QSize(qRound(2000 * fit + 40), qRound(1000 * fit + 40)));
    EXPECT_TRUE(a.ansicht.einpassenKnopf()->hervorgehoben());

    const QString vorher = a.prozent();
    a.ansicht.resize(640, 480);
    EXPECT_EQ(a.inhalt()->width(), qRound(a.flaeche()->flaeche().width())) << "width decides now";
    EXPECT_NE(a.prozent(), vorher);
    EXPECT_EQ(a.flaeche()->horizontalScrollBar()->maximum(), 0) << "a fitted image needs no scrolling";
}

TEST(LupenAnsicht, ButtonsStepTheZoomAndHighlightActualSize)
{
    Aufbau a(test::solid(400, 300, Qt::gray));
    QTest::mouseClick(a.ansicht.originalKnopf(), Qt::LeftButton);
    EXPECT_EQ(a.prozent(), QStringLiteral("100 %"));
    EXPECT_TRUE(a.ansicht.originalKnopf()->hervorgehoben());
    EXPECT_FALSE(a.ansicht.einpassenKnopf()->hervorgehoben());
    EXPECT_EQ(a.inhalt()->size(), QSize(440, 340));

    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(a.ansicht.vergroessernKnopf(), Qt::LeftButton);
    EXPECT_EQ(a.prozent(), QStringLiteral("195 %"));
    EXPECT_FALSE(a.ansicht.originalKnopf()->hervorgehoben());

    QTest::mouseClick(a.ansicht.verkleinernKnopf(), Qt::LeftButton);
    EXPECT_EQ(a.prozent(), QStringLiteral("156 %"));

    a.ansicht.einpassenAktion()->trigger();
    EXPECT_TRUE(a.ansicht.einpassenKnopf()->hervorgehoben());
    EXPECT_FALSE(a.ansicht.originalKnopf()->hervorgehoben());
}

TEST(LupenAnsicht, NewImageKeepsZoomAndMode)
{
    Aufbau a(test::solid(400, 300, Qt::gray));
    a.ansicht.originalAktion()->trigger();
    a.ansicht.vergroessernAktion()->trigger();
    a.modell.setBild(test::solid(800, 600, Qt::red));
    EXPECT_EQ(a.prozent(), QStringLiteral("125 %"));
    EXPECT_EQ(a.inhalt()->size(), QSize(1040, 790));
    EXPECT_EQ(a.inhalt()->bild().pixelColor(0, 0), QColor(Qt::red));
}

TEST(LupenAnsicht, ActualSizeShowsTheFullResolutionRenderAskedForOnce)
{
    // A 1000 × 750 preview of a 4000 × 3000 photo.
    Aufbau a(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    int anfragen = 0;
    a.modell.setVollbildQuelle([&] {
        ++anfragen;
        return std::optional(test::solid(4000, 3000, Qt::blue));
    });
    a.ansicht.resize(900, 700);
    EXPECT_EQ(anfragen, 0) << "fitted, the preview has pixels enough";
    EXPECT_EQ(a.inhalt()->bild().width(), 1000);

    a.ansicht.originalAktion()->trigger();
    EXPECT_EQ(anfragen, 1);
    EXPECT_EQ(a.inhalt()->bild().size(), QSize(4000, 3000));
    EXPECT_EQ(a.inhalt()->size(), QSize(4040, 3040)) << "zoom 1 means one photo pixel per point";
    a.ansicht.vergroessernAktion()->trigger();
    a.ansicht.verkleinernAktion()->trigger();
    EXPECT_EQ(anfragen, 1) << "cached for the window";

    a.ansicht.einpassenAktion()->trigger();
    EXPECT_EQ(a.inhalt()->bild().width(), 1000) << "fitted again, the small raster suffices";

    // A changed photo: the cached render is stale.
    a.modell.setBild(test::solid(1000, 750, Qt::red), QSize(4000, 3000));
    a.ansicht.originalAktion()->trigger();
    EXPECT_EQ(anfragen, 2);
}

TEST(LupenAnsicht, WithoutAFullResolutionSourceThePreviewStays)
{
    Aufbau a(test::solid(1000, 750, Qt::gray), QSize(4000, 3000));
    a.ansicht.originalAktion()->trigger();
    EXPECT_EQ(a.inhalt()->bild().width(), 1000);
    EXPECT_EQ(a.inhalt()->size(), QSize(4040, 3040));

    int anfragen = 0;
    a.modell.setVollbildQuelle([&] {
        ++anfragen;
        return std::optional<QImage>();
    });
    a.ansicht.vergroessernAktion()->trigger();
    a.ansicht.verkleinernAktion()->trigger();
    EXPECT_EQ(anfragen, 1) << "a source that has nothing is not asked again";
    EXPECT_EQ(a.inhalt()->bild().width(), 1000);
}

TEST(SchwenkbareInhaltView, DrawsTheImageUprightInsideTheMargin)
{
    Aufbau a(test::quadrants(200, 100));
    a.ansicht.originalAktion()->trigger();
    QImage bild(a.inhalt()->size(), QImage::Format_ARGB32_Premultiplied);
    bild.fill(Qt::black);
    a.inhalt()->render(&bild);
    const QColor flaeche = QColor::fromRgbF(0.12f, 0.12f, 0.13f);
    EXPECT_EQ(bild.pixel(10, 10), flaeche.rgb()) << "the margin shows the dark surface";
    EXPECT_EQ(bild.pixelColor(30, 30), QColor(Qt::red));
    EXPECT_EQ(bild.pixelColor(210, 30), QColor(Qt::green));
    EXPECT_EQ(bild.pixelColor(30, 110), QColor(Qt::blue));
    EXPECT_EQ(bild.pixelColor(210, 110), QColor(Qt::white));
    EXPECT_EQ(bild.pixel(230, 130), flaeche.rgb());
}

TEST(SchwenkbareInhaltView, DragFollowsTheHandAndStopsAtTheEdges)
{
    Aufbau a(test::solid(3000, 2000, Qt::gray));
    a.ansicht.originalAktion()->trigger();
    SchwenkbareBildAnsicht* f = a.flaeche();
    f->setUrsprung({500, 500});
    const QPointF start = f->ursprung();
    EXPECT_EQ(a.inhalt()->cursor().shape(), Qt::OpenHandCursor);

    maus(a.inhalt(), QEvent::MouseButtonPress, {400, 400});
    EXPECT_EQ(a.inhalt()->cursor().shape(), Qt::ClosedHandCursor);
    maus(a.inhalt(), QEvent::MouseMove, {350, 370});
    EXPECT_EQ(f->ursprung(), start + QPointF(50, 30)) << "hand left and up, view right and down";
    maus(a.inhalt(), QEvent::MouseMove, {380, 420});
    EXPECT_EQ(f->ursprung(), start + QPointF(20, -20));
    maus(a.inhalt(), QEvent::MouseButtonRelease, {380, 420});
    EXPECT_EQ(a.inhalt()->cursor().shape(), Qt::OpenHandCursor);
    EXPECT_FALSE(a.inhalt()->letzteMausPunktImFenster());

    // Far beyond the edges: the drag stops at the document's borders.
    ziehen(a.inhalt(), {300, 300}, {5300, 5300});
    EXPECT_EQ(f->ursprung(), QPointF(0, 0));
    ziehen(a.inhalt(), {300, 300}, {-9000, -9000});
    const QSizeF sicht = f->sicht();
    EXPECT_EQ(f->ursprung(), QPointF(3040 - sicht.width(), 2040 - sicht.height()));

    // Moves without a press do nothing.
    maus(a.inhalt(), QEvent::MouseMove, {900, 900});
    EXPECT_EQ(f->ursprung(), QPointF(3040 - sicht.width(), 2040 - sicht.height()));
}

TEST(SchwenkbareInhaltView, DocumentSmallerThanTheViewCannotBeDragged)
{
    Aufbau a(test::solid(300, 200, Qt::gray));
    a.ansicht.originalAktion()->trigger();
    ziehen(a.inhalt(), {500, 400}, {100, 100});
    EXPECT_EQ(a.flaeche()->ursprung(), QPointF(0, 0));
    const QPoint lage = a.inhalt()->pos();
    ziehen(a.inhalt(), {500, 400}, {900, 700});
    EXPECT_EQ(a.inhalt()->pos(), lage) << "the document itself stays where the area put it";
}
