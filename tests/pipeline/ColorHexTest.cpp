#include "pipeline/ColorHex.h"
#include "pipeline/EditState.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(ColorHex, LenientSpellingsGiveTheCanonicalColourAndMalformedOnesNone)
{
    const QColor canonical(255, 0x3B, 0x30);
    for (const char* spelling : {"#FF3B30", "#ff3b30", "FF3B30", "  #FF3B30  ", "#FF3B30\n", "\tff3b30\r\n"})
        EXPECT_EQ(colorFromHex(QString::fromLatin1(spelling)), canonical) << spelling;

    EXPECT_EQ(colorFromHex(QStringLiteral("#FF3B3080")), QColor(255, 0x3B, 0x30, 0x80));
    // Malformed strings give no colour.
    for (const char* bad : {"#FFF", "#GG0000", "", "#", "#FF3B3080AA", "#FF 3B30", "#+F3B30", "0xFF3B30"})
        EXPECT_FALSE(colorFromHex(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(colorOr(QStringLiteral("#FFF"), Qt::red), QColor(Qt::red));
}

TEST(ColorHex, FormattingKeepsAlphaOnlyWhenItRoundsBelow255)
{
    const std::pair<QColor, const char*> cases[] = {
        {QColor(255, 59, 48), "#FF3B30"},
        {QColor::fromRgbF(1, 0, 0, 0.5f), "#FF000080"}, // 127.5 rounds up
        {QColor::fromRgbF(0, 0, 1, 0.999f), "#0000FF"},
        {QColor::fromRgbF(0, 0, 1, 0.998f), "#0000FFFE"},
        {QColor::fromHsvF(0.5f, 1, 1), "#00FFFF"}, // other colour models convert
        {*colorFromHex(QStringLiteral("#12AB9F40")), "#12AB9F40"},
    };
    for (const auto& [color, hex] : cases)
        EXPECT_EQ(hexFromColor(color), QString::fromLatin1(hex)) << hex;
}

// Other spellings ("Center") are refused in the edits file's test.
TEST(WatermarkPositionRaw, EveryPositionReadsBackFromItsName)
{
    for (WatermarkPosition position : kAllWatermarkPositions)
        EXPECT_EQ(watermarkPositionFromRaw(rawValue(position)), position);
}
