#include "app/magnifier/WindowPlacement.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

// One 1920 × 1080 screen with a 32-point panel along its top (Qt coordinates).
const ScreenRects kOneScreen{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}};

} // namespace

TEST(ScreenAreas, OnlyFramesWhollyInsideOneAreaAreVisibleAndFittingPushesThemIn)
{
    const std::vector<QRectF> areas{{0, 0, 1920, 1048}, {1920, 0, 1280, 1024}};
    EXPECT_TRUE(istVollSichtbar({100, 100, 1000, 750}, areas));
    EXPECT_TRUE(istVollSichtbar({0, 0, 1920, 1048}, areas)) << "edges may touch";
    EXPECT_TRUE(istVollSichtbar({2000, 100, 1000, 750}, areas)) << "second screen";
    EXPECT_FALSE(istVollSichtbar({1500, 100, 1000, 750}, areas)) << "straddles two screens";
    EXPECT_FALSE(istVollSichtbar({100, 400, 1000, 750}, areas)) << "reaches into the panel";
    EXPECT_FALSE(istVollSichtbar({-1, 100, 1000, 750}, areas));
    EXPECT_FALSE(istVollSichtbar({100, 100, 0, 0}, areas));
    EXPECT_FALSE(istVollSichtbar({100, 100, 1000, 750}, {}));

    // Fitting into an area pushes a frame in from each side and shrinks it to the area.
    const QRectF v = areas[0];
    EXPECT_EQ(inBereichEinpassen({100, 100, 800, 600}, v), QRectF(100, 100, 800, 600));
    EXPECT_EQ(inBereichEinpassen({-50, -20, 800, 600}, v), QRectF(0, 0, 800, 600));
    EXPECT_EQ(inBereichEinpassen({1500, 900, 800, 600}, v), QRectF(1120, 448, 800, 600));
    EXPECT_EQ(inBereichEinpassen({-10, 500, 3000, 2000}, v), QRectF(0, 0, 1920, 1048));
    EXPECT_EQ(inBereichEinpassen({10, 10, 100, 100}, QRectF(200, 300, 400, 400)), QRectF(200, 300, 100, 100));
}

TEST(StandardFrame, PlacesTheNewWindowOnTheScreenOfTheReferenceWindow)
{
    const QRectF area(0, 0, 1920, 1048), wide(0, 0, 2560, 1415);
    const QSizeF asked(1000, 750);
    const double tuckedWidth = 1280 * 0.65;
    // y up throughout: a frame's bottom() is its top edge.
    using Ref = ReferenceWindow;
    const std::tuple<const char*, std::optional<Ref>, std::optional<QRectF>, QSizeF, QRectF> cases[] = {
        // Overlapping the reference's right edge by 100, top aligned.
        {"beside", Ref{{100, 240, 1280, 760}, wide}, wide, asked, {1280, 250, 1000, 750}},
        // No room beside: 65 % of the width, height − 80, 20 from the right, 60 below the top (960 − 60 − 680).
        {"tucked in", Ref{{600, 200, 1280, 760}, area}, area, asked, {1860 - tuckedWidth, 220, tuckedWidth, 680}},
        // The request caps the size, not the window: 1900 − 20 − 500, 1040 − 60 − 400.
        {"small request", Ref{{0, 0, 1900, 1040}, area}, area, {500, 400}, {1380, 580, 500, 400}},
        // A reference hanging off the screen's lower left: the tucked frame is kept on it.
        {"kept on screen", Ref{{-1000, -500, 1280, 760}, area}, area, asked, {0, 0, tuckedWidth, 680}},
        {"no reference", std::nullopt, area, asked, {460, 149, 1000, 750}},
        {"no screen", std::nullopt, std::nullopt, asked, {220, 75, 1000, 750}},
        {"reference without screen",
         Ref{{100, 100, 800, 600}, std::nullopt},
         std::nullopt,
         asked,
         {220, 75, 1000, 750}},
    };
    for (const auto& [name, reference, mainArea, size, expected] : cases)
        EXPECT_EQ(standardFrame(size, reference, mainArea), expected) << name;

    // In Qt coordinates: the screen the reference window is mostly on.
    const ScreenRects rightScreen{{1920, 0, 1280, 1024}, {1920, 0, 1280, 1024}};
    const std::vector<ScreenRects> screens{kOneScreen, rightScreen};
    EXPECT_EQ(screenOf(QRectF(2000, 100, 800, 600), screens), 1u);
    EXPECT_EQ(screenOf(QRectF(1800, 100, 800, 600), screens), 1u) << "most of it";
    EXPECT_EQ(screenOf(QRectF(5000, 100, 800, 600), screens), std::nullopt);

    // Beside a window on the right screen would leave that screen: tucked in instead, 20 from
    // the right edge, 60 below the top, y down. Without a reference the frame is centred below the panel.
    EXPECT_EQ(standardFrameQt({1000, 750}, QRectF(2000, 100, 1000, 700), screens),
              QRectF(3000 - 20 - 650, 100 + 60, 650, 700 - 80));
    EXPECT_EQ(standardFrameQt({1000, 750}, std::nullopt, screens), QRectF(460, 181, 1000, 750));
}

TEST(FrameValue, OnlyAMapOfFourFiniteNumbersIsAFrame)
{
    const QVariantMap good = frameToValue(QRectF(12.5, -40, 1000, 750));
    EXPECT_EQ(frameFromValue(good), QRectF(12.5, -40, 1000, 750));
    EXPECT_EQ(frameFromValue(QVariantMap{{"x", 1}, {"y", 2}, {"w", 600}, {"h", 500}}), QRectF(1, 2, 600, 500));

    const auto with = [&](const char* key, const QVariant& value) { // an invalid value removes the key
        QVariantMap changed = good;
        if (value.isValid())
            changed.insert(key, value);
        else
            changed.remove(key);
        return QVariant(changed);
    };
    for (const QVariant& bad : {with("h", {}), with("w", QStringLiteral("1000")), with("x", qQNaN()), with("y", qInf()),
                                with("h", true), QVariant(), QVariant(QStringLiteral("0 0 1000 750")),
                                QVariant(QRectF(0, 0, 10, 10)), QVariant(QVariantList{1, 2, 3, 4})})
        EXPECT_FALSE(frameFromValue(bad)) << bad.typeName();
}
