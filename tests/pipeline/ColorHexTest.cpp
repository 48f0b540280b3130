#include "pipeline/ColorHex.h"
#include "pipeline/EditState.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(ColorHex, LenientSpellingsGiveTheCanonicalColour)
{
    const QColor canonical = *colorFromHex(QStringLiteral("#FF3B30"));
    EXPECT_EQ(canonical.red(), 255);
    EXPECT_EQ(canonical.green(), 0x3B);
    EXPECT_EQ(canonical.blue(), 0x30);
    EXPECT_EQ(canonical.alpha(), 255);
    for (const char* spelling : {"#ff3b30", "FF3B30", "  #FF3B30  ", "#FF3B30\n", "\tff3b30\r\n"})
        EXPECT_EQ(colorFromHex(QString::fromLatin1(spelling)), canonical) << spelling;

    const QColor translucent = *colorFromHex(QStringLiteral("#FF3B3080"));
    EXPECT_EQ(translucent.rgb(), canonical.rgb());
    EXPECT_NEAR(translucent.alphaF(), 128.0 / 255.0, 1e-4);
}

TEST(ColorHex, MalformedStringsGiveNoColour)
{
    for (const char* bad : {"#FFF", "#GG0000", "", "#", "#FF3B3080AA", "#FF 3B30", "#+F3B30", "0xFF3B30"})
        EXPECT_FALSE(colorFromHex(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(colorOr(QStringLiteral("#FFF"), Qt::red), QColor(Qt::red));
}

TEST(ColorHex, FormattingKeepsAlphaOnlyWhenItRoundsBelow255)
{
    EXPECT_EQ(hexFromColor(QColor(255, 59, 48)), QStringLiteral("#FF3B30"));
    QColor half = QColor::fromRgbF(1, 0, 0, 0.5f);
    EXPECT_EQ(hexFromColor(half), QStringLiteral("#FF000080")); // 127.5 rounds up
    EXPECT_EQ(hexFromColor(QColor::fromRgbF(0, 0, 1, 0.999f)), QStringLiteral("#0000FF"));
    EXPECT_EQ(hexFromColor(QColor::fromRgbF(0, 0, 1, 0.998f)), QStringLiteral("#0000FFFE"));
    EXPECT_EQ(hexFromColor(QColor::fromHsvF(0.5f, 1, 1)), QStringLiteral("#00FFFF")); // non-RGB specs convert
    for (const char* text : {"#12AB9F", "#12AB9F40"})
        EXPECT_EQ(hexFromColor(*colorFromHex(QString::fromLatin1(text))), QString::fromLatin1(text));
}

TEST(WatermarkPositionRaw, OnlyTheExactCaseNamesParse)
{
    EXPECT_EQ(watermarkPositionFromRaw(QStringLiteral("center")), WatermarkPosition::center);
    EXPECT_FALSE(watermarkPositionFromRaw(QStringLiteral("Center")));
    EXPECT_FALSE(watermarkPositionFromRaw(QStringLiteral("bottomright")));
    for (WatermarkPosition position : kAllWatermarkPositions)
        EXPECT_EQ(watermarkPositionFromRaw(rawValue(position)), position);
}

TEST(Values, CompareMemberByMember)
{
    EXPECT_TRUE(AdjustmentState{}.isNeutral());
    EXPECT_NE(AdjustmentState{}, (AdjustmentState{0, 0, 1, 1, 0.1}));
    const Watermark a{QStringLiteral("x"), WatermarkPosition::center, 0.5, 0.1, QStringLiteral("#FFFFFF")};
    Watermark b = a;
    EXPECT_EQ(a, b);
    b.opacity = 0.6;
    EXPECT_NE(a, b);
    const Arrow arrow{{10, 20}, 0, 100, 8, QStringLiteral("#FF3B30")};
    EXPECT_EQ(arrow.tip(), QPointF(110, 20));
}
