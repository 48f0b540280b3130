#include "app/magnifier/WindowPlacement.h"

#include <gtest/gtest.h>

#include <limits>

using namespace lumora;

namespace {

// One 1920 × 1080 screen with a 32-point panel along its top (Qt coordinates).
const Bildschirm kEiner{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}};

} // namespace

TEST(BildschirmAchse, MirrorsAboutThePrimaryScreensBottomEdge)
{
    const BildschirmAchse achse(QRectF(0, 0, 1920, 1080));
    // A window 50 points below the top of the screen has its bottom edge 430 points up.
    EXPECT_EQ(achse.gespiegelt(QRectF(100, 50, 800, 600)), QRectF(100, 430, 800, 600));
    EXPECT_EQ(achse.gespiegelt(achse.gespiegelt(QRectF(-300, 17.5, 640, 480))),
              QRectF(-300, 17.5, 640, 480));
    // The whole primary screen maps onto itself; the panel at the top stays at the top.
    EXPECT_EQ(achse.gespiegelt(kEiner.geometrie), kEiner.geometrie);
    EXPECT_EQ(achse.gespiegelt(kEiner.sichtbar), QRectF(0, 0, 1920, 1048));

    // A second screen above the primary one lies at positive y once mirrored.
    EXPECT_EQ(achse.gespiegelt(QRectF(0, -1440, 2560, 1440)), QRectF(0, 1080, 2560, 1440));
    // Without screens the axis is that of the fallback area.
    EXPECT_EQ(achseFuer({}).gespiegelt(QRectF(0, 0, 100, 100)), QRectF(0, 800, 100, 100));
}

TEST(IstVollSichtbar, OnlyFramesWhollyInsideOneScreenAreaCount)
{
    const std::vector<QRectF> bereiche{{0, 0, 1920, 1048}, {1920, 0, 1280, 1024}};
    EXPECT_TRUE(istVollSichtbar({100, 100, 1000, 750}, bereiche));
    EXPECT_TRUE(istVollSichtbar({0, 0, 1920, 1048}, bereiche)) << "edges may touch";
    EXPECT_TRUE(istVollSichtbar({2000, 100, 1000, 750}, bereiche)) << "second screen";
    EXPECT_FALSE(istVollSichtbar({1500, 100, 1000, 750}, bereiche)) << "straddles two screens";
    EXPECT_FALSE(istVollSichtbar({100, 400, 1000, 750}, bereiche)) << "reaches into the panel";
    EXPECT_FALSE(istVollSichtbar({-1, 100, 1000, 750}, bereiche));
    EXPECT_FALSE(istVollSichtbar({100, 100, 0, 0}, bereiche));
    EXPECT_FALSE(istVollSichtbar({100, 100, 1000, 750}, {}));
}

TEST(InBereichEinpassen, PushesInFromEachSideAndShrinksToTheArea)
{
    const QRectF v(0, 0, 1920, 1048);
    EXPECT_EQ(inBereichEinpassen({100, 100, 800, 600}, v), QRectF(100, 100, 800, 600));
    EXPECT_EQ(inBereichEinpassen({-50, -20, 800, 600}, v), QRectF(0, 0, 800, 600));
    EXPECT_EQ(inBereichEinpassen({1500, 900, 800, 600}, v), QRectF(1120, 448, 800, 600));
    EXPECT_EQ(inBereichEinpassen({-10, 500, 3000, 2000}, v), QRectF(0, 0, 1920, 1048));
    EXPECT_EQ(inBereichEinpassen({10, 10, 100, 100}, QRectF(200, 300, 400, 400)),
              QRectF(200, 300, 100, 100));
}

TEST(StandardFrame, BesideTheReferenceWindowWhenThereIsRoom)
{
    // y up: the main window's top edge is at 1000.
    const Referenzfenster ref{{100, 240, 1280, 760}, QRectF(0, 0, 2560, 1415)};
    const QRectF frame = standardFrame({1000, 750}, ref, ref.bereich);
    EXPECT_EQ(frame, QRectF(1280, 250, 1000, 750)) << "overlaps the right edge by 100, top aligned";
}

TEST(StandardFrame, NearTheRightScreenEdgeItShrinksIntoTheReferenceWindow)
{
    const QRectF v(0, 0, 1920, 1048);
    const Referenzfenster ref{{600, 200, 1280, 760}, v};
    const QRectF frame = standardFrame({1000, 750}, ref, v);
    EXPECT_DOUBLE_EQ(frame.width(), 1280 * 0.65);
    EXPECT_DOUBLE_EQ(frame.height(), 680) << "760 − 80";
    EXPECT_DOUBLE_EQ(frame.right(), 1880 - 20);
    EXPECT_DOUBLE_EQ(frame.bottom(), 960 - 60) << "top edge 60 below the window's top";

    // A small window: the size is capped by the request, not by the window.
    const Referenzfenster gross{{0, 0, 1900, 1040}, v};
    const QRectF klein = standardFrame({500, 400}, gross, v);
    EXPECT_EQ(klein, QRectF(1900 - 20 - 500, 1040 - 60 - 400, 500, 400));
}

TEST(StandardFrame, TuckedFrameIsKeptOnTheScreen)
{
    // The reference window hangs off the left and bottom of its screen.
    const QRectF v(0, 0, 1920, 1048);
    const Referenzfenster ref{{-1000, -500, 1280, 760}, v};
    const QRectF frame = standardFrame({1000, 750}, ref, v);
    EXPECT_TRUE(istVollSichtbar(frame, std::vector{v}));
    EXPECT_DOUBLE_EQ(frame.left(), 0);
    EXPECT_DOUBLE_EQ(frame.top(), 0);
}

TEST(StandardFrame, WithoutAReferenceWindowItIsCentredOnTheMainScreen)
{
    EXPECT_EQ(standardFrame({1000, 750}, std::nullopt, QRectF(0, 0, 1920, 1048)),
              QRectF(460, 149, 1000, 750));
    EXPECT_EQ(standardFrame({1000, 750}, std::nullopt, std::nullopt), QRectF(220, 75, 1000, 750))
        << "no screen at all: centred in 1440 × 900";
    const Referenzfenster ohneBildschirm{{100, 100, 800, 600}, std::nullopt};
    EXPECT_EQ(standardFrame({1000, 750}, ohneBildschirm, std::nullopt), QRectF(220, 75, 1000, 750));
}

TEST(StandardFrameQt, RulesHoldInQtCoordinates)
{
    const std::vector<Bildschirm> bildschirme{kEiner};
    // Main window flush with the right edge, 100 points below the panel.
    const QRectF haupt(640, 132, 1280, 760);
    const QRectF frame = standardFrameQt({1000, 750}, haupt, bildschirme);
    EXPECT_DOUBLE_EQ(frame.width(), 832);
    EXPECT_DOUBLE_EQ(frame.height(), 680);
    EXPECT_DOUBLE_EQ(frame.right(), 1920 - 20);
    EXPECT_DOUBLE_EQ(frame.top(), 132 + 60) << "60 below the top, y down";

    // With room to the right: top edges align.
    const QRectF links(0, 200, 800, 600);
    EXPECT_EQ(standardFrameQt({1000, 750}, links, bildschirme), QRectF(700, 200, 1000, 750));

    // No reference window: centred in the visible area below the panel.
    EXPECT_EQ(standardFrameQt({1000, 750}, std::nullopt, bildschirme), QRectF(460, 181, 1000, 750));
}

TEST(StandardFrameQt, UsesTheScreenTheReferenceWindowIsOn)
{
    const Bildschirm rechts{{1920, 0, 1280, 1024}, {1920, 0, 1280, 1024}};
    const std::vector<Bildschirm> bildschirme{kEiner, rechts};
    EXPECT_EQ(bildschirmVon(QRectF(2000, 100, 800, 600), bildschirme), 1u);
    EXPECT_EQ(bildschirmVon(QRectF(1800, 100, 800, 600), bildschirme), 1u) << "most of it";
    EXPECT_EQ(bildschirmVon(QRectF(5000, 100, 800, 600), bildschirme), std::nullopt);

    // Beside a window on the right screen would leave that screen: tucked in instead.
    const QRectF haupt(2000, 100, 1000, 700);
    const QRectF frame = standardFrameQt({1000, 750}, haupt, bildschirme);
    EXPECT_DOUBLE_EQ(frame.right(), 3000 - 20);
    EXPECT_DOUBLE_EQ(frame.top(), 160);
}

TEST(FrameWert, OnlyAMapOfFourFiniteNumbersIsAFrame)
{
    const QVariantMap gut = frameAlsWert(QRectF(12.5, -40, 1000, 750));
    EXPECT_EQ(frameAusWert(gut), QRectF(12.5, -40, 1000, 750));
    EXPECT_EQ(frameAusWert(QVariantMap{{"x", 1}, {"y", 2}, {"w", 600}, {"h", 500}}),
              QRectF(1, 2, 600, 500));

    QVariantMap ohneH = gut;
    ohneH.remove(QStringLiteral("h"));
    QVariantMap text = gut;
    text.insert(QStringLiteral("w"), QStringLiteral("1000"));
    QVariantMap nan = gut;
    nan.insert(QStringLiteral("x"), std::numeric_limits<double>::quiet_NaN());
    QVariantMap unendlich = gut;
    unendlich.insert(QStringLiteral("y"), std::numeric_limits<double>::infinity());
    QVariantMap wahr = gut;
    wahr.insert(QStringLiteral("h"), true);
    for (const QVariant& schlecht :
         {QVariant(ohneH), QVariant(text), QVariant(nan), QVariant(unendlich), QVariant(wahr),
          QVariant(), QVariant(QStringLiteral("0 0 1000 750")), QVariant(QRectF(0, 0, 10, 10)),
          QVariant(QVariantList{1, 2, 3, 4})})
        EXPECT_FALSE(frameAusWert(schlecht)) << schlecht.typeName();
}
