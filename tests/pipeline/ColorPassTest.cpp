#include "pipeline/ColorPass.h"
#include "support/Pixels.h"

#include <QPainter>
#include <cstring>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::pixel;
using lumora::test::solid;

namespace {

/// Runs the colour pass on one pixel colour (a 3 × 3 raster, so sharpening sees a flat image).
QColor adjust(QColor in, AdjustmentState adjustment)
{
    const QImage out = colorAndTurn(solid(3, 3, in), adjustment, 1.69, {});
    return pixel(out, 1, 1);
}

} // namespace

TEST(ColorPass, ExposureInLinearLightThenSaturationContrastBrightness)
{
    const struct {
        QColor in;
        AdjustmentState adjustment;
        QColor expected;
    } cases[] = {
        {QColor(128, 128, 128), {1, 0, 1, 1, 0}, QColor(176, 176, 176)},
        {QColor(64, 128, 200), {-0.5, 0, 1, 1, 0}, QColor(54, 109, 171)},
        {QColor(200, 100, 50), {0.5, 0, 1, 1, 0}, QColor(233, 118, 60)},
        {QColor(10, 20, 30), {2, 0, 1, 1, 0}, QColor(29, 47, 64)},
        {QColor(230, 230, 230), {1, 0, 1, 1, 0}, QColor(255, 255, 255)},
        {QColor(200, 100, 50), {0, 0, 1, 0, 0}, QColor(118, 118, 118)},
        {QColor(60, 120, 180), {0, 0.05, 1, 1, 0}, QColor(73, 133, 193)},
        {QColor(200, 100, 50), {0, 0.02, 1.05, 1.2, 0}, QColor(226, 100, 37)},
        {QColor(100, 150, 200), {0.5, 0.1, 1.2, 0.8, 0}, QColor(153, 209, 255)},
        {QColor(13, 200, 90), {0, 0, 0, 1, 0}, QColor(128, 128, 128)},
        {QColor(13, 200, 90), {0, 0, -0.5, 1, 0}, QColor(128, 128, 128)},
    };
    for (const auto& c : cases) {
        const QColor out = adjust(c.in, c.adjustment);
        EXPECT_LE(test::channelDistance(out, c.expected), 1)
            << c.in.name().toStdString() << " gave " << out.name().toStdString();
    }
    EXPECT_EQ(adjust(QColor(37, 128, 201), {}), QColor(37, 128, 201)); // neutral is exact
}

TEST(ColorPass, SharpeningAddsLuminanceDetailAtEdges)
{
    QImage step = solid(24, 5, QColor(200, 200, 200));
    QPainter(&step).fillRect(0, 0, 12, 5, QColor(50, 50, 50));
    auto row = [&](double sharpness) {
        const QImage out = colorAndTurn(step, {0, 0, 1, 1, sharpness}, 1.69, {});
        QList<int> values;
        for (int x = 9; x <= 14; ++x)
            values.append(pixel(out, x, 2).red());
        return values;
    };
    const QList<int> strong = row(0.5), weak = row(0.25);
    const QList<int> expectStrong{40, 22, 0, 255, 228, 210}, expectWeak{45, 36, 21, 229, 214, 205};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(strong[i], expectStrong[i], 1) << "sharpness 0.5, pixel " << i;
        EXPECT_NEAR(weak[i], expectWeak[i], 1) << "sharpness 0.25, pixel " << i;
    }
    // A flat image has no detail to add.
    EXPECT_EQ(adjust(QColor(90, 90, 90), {0, 0, 1, 1, 1}), QColor(90, 90, 90));
    // Sharpening keeps chroma: a coloured flat area stays exactly as the colour controls make it.
    EXPECT_EQ(adjust(QColor(200, 30, 60), {0, 0, 1, 1, 0.7}), QColor(200, 30, 60));
}

TEST(ColorPass, TranslucentPixelsAreAdjustedUnpremultiplied)
{
    const QColor half = QColor(128, 128, 128, 128);
    const QColor out = adjust(half, {1, 0, 1, 1, 0});
    EXPECT_EQ(out.alpha(), 128);
    EXPECT_NEAR(out.red(), 176, 2);
    const QImage clear = colorAndTurn(solid(3, 3, Qt::transparent), {1, 0.5, 1, 1, 0}, 1.69, {});
    EXPECT_EQ(clear.pixel(1, 1), 0u); // transparent stays transparent, brightness or not

    // One translucent pixel in an opaque row, among the first eight and in the last few: the
    // row is not taken for opaque.
    QImage row = solid(21, 3, QColor(128, 128, 128));
    for (const int x : {3, 19})
        for (int y = 0; y < 3; ++y)
            row.setPixelColor(x, y, half);
    const QImage adjusted = colorAndTurn(row, {1, 0, 1, 1, 0}, 1.69, {});
    for (const int x : {3, 19})
        EXPECT_EQ(pixel(adjusted, x, 1), out) << x;
}

TEST(ColorPass, TurnsAndMirrorsArePixelPermutations)
{
    // Every pixel goes exactly where Dihedral::map says, for all eight permutations and odd sizes
    // (which way each turn goes is seen on whole renders): a tiny photo, a narrow one whose
    // turned rows are written in blocks of many rows, and a wide one in blocks of few.
    for (const QSize size : {QSize(7, 5), QSize(301, 150), QSize(2501, 37)}) {
        const int w = size.width(), h = size.height();
        const QImage odd = test::noise(w, h);
        const QImage plain = colorAndTurn(odd, {0.2, 0, 1, 1, 0}, 1.69, {});
        for (int q = 0; q < 4; ++q)
            for (int f = 0; f < 4; ++f) {
                const Dihedral turn{bool(f & 1), bool(f & 2), q};
                const QImage out = colorAndTurn(odd, {0.2, 0, 1, 1, 0}, 1.69, turn);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const QPoint to = turn.map(x, y, w, h);
                        ASSERT_EQ(out.pixel(to), plain.pixel(x, y))
                            << w << "x" << h << " " << q << "/" << f << " at " << x << "," << y;
                    }
            }
    }
}

TEST(ColorPass, TheVectorKernelsGiveTheSamePixels)
{
    // Every one of the 2^24 colours once, on rows of an odd width (a tail after the last group
    // of eight), sharpened and not: a luminance or sum rounded differently changes an output
    // code only rarely.
    QImage all(4099, 4094, QImage::Format_ARGB32_Premultiplied);
    quint32 colour = 0;
    for (int y = 0; y < all.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(all.scanLine(y));
        for (int x = 0; x < all.width(); ++x)
            row[x] = 0xFF000000u | (colour++ & 0xFFFFFFu);
    }
    for (const AdjustmentState& adjustment :
         {AdjustmentState{0.3, 0.05, 1.1, 1.15, 0.4}, AdjustmentState{-0.7, 0, 1, 0.5, 0}}) {
        allowColorPassKernels(false);
        const QImage plain = colorAndTurn(all, adjustment, 1.69, {});
        allowColorPassKernels(true);
        const QImage gathered = colorAndTurn(all, adjustment, 1.69, {});
        qint64 differing = 0;
        for (int y = 0; y < all.height(); ++y)
            differing += std::memcmp(plain.constScanLine(y), gathered.constScanLine(y), size_t(4 * all.width())) != 0;
        EXPECT_EQ(differing, 0) << "rows differ at exposure " << adjustment.exposure;
    }
}
