// hintergrundErsetzen and fotoEinpassen on synthetic rasters, against the blend
// out = m·F + (1 − m)·G on premultiplied values with the mask stretched bilinearly.

#include "pipeline/Compositing.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using namespace lumora;
using test::solid;

namespace {

// A Format_Grayscale8 mask of w × h filled with `wert`.
QImage grauMaske(int w, int h, int wert)
{
    QImage maske(w, h, QImage::Format_Grayscale8);
    maske.fill(uint(wert));
    return maske;
}

Image bild(const QImage& raster)
{
    return Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
}

// The stored premultiplied value of a Format_ARGB32_Premultiplied pixel.
QRgb roh(const QImage& raster, int x, int y)
{
    EXPECT_EQ(raster.format(), QImage::Format_ARGB32_Premultiplied);
    return reinterpret_cast<const QRgb*>(raster.constScanLine(y))[x];
}

void expectRgba(QRgb wert, int r, int g, int b, int a, const char* wo)
{
    EXPECT_EQ(qRed(wert), r) << wo;
    EXPECT_EQ(qGreen(wert), g) << wo;
    EXPECT_EQ(qBlue(wert), b) << wo;
    EXPECT_EQ(qAlpha(wert), a) << wo;
}

// A raster whose red channel codes the column and green the row (×`schritt`), opaque.
QImage koordinaten(int w, int h, int schritt = 1)
{
    QImage raster(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            raster.setPixel(x, y, qRgb(std::min(255, x * schritt), std::min(255, y * schritt), 0));
    return raster;
}

} // namespace

TEST(HintergrundErsetzen, MaskValuesMixPhotoAndColourOnPremultipliedValues)
{
    struct Fall {
        QColor vorne, hinten;
        int maske;
        int r, g, b;
    };
    // White shows the photo, black the background, grey mixes (white over black at 0.5 → 128,
    // red over blue at 0.25 → (64, 0, 191), (200, 150, 100) over (20, 40, 60) at 0.8 → (164, 128, 92)).
    const Fall faelle[] = {
        {QColor(200, 150, 100), QColor(20, 40, 60), 255, 200, 150, 100},
        {QColor(200, 150, 100), QColor(20, 40, 60), 0, 20, 40, 60},
        {Qt::white, Qt::black, 128, 128, 128, 128},
        {Qt::red, Qt::blue, 64, 64, 0, 191},
        {QColor(200, 150, 100), QColor(20, 40, 60), 204, 164, 128, 92},
    };
    for (const Fall& f : faelle) {
        const auto aus = hintergrundErsetzen(bild(solid(5, 3, f.vorne)), grauMaske(5, 3, f.maske), f.hinten);
        ASSERT_TRUE(aus);
        expectRgba(roh(aus->raster, 2, 1), f.r, f.g, f.b, 255, "Mitte");
        expectRgba(roh(aus->raster, 4, 2), f.r, f.g, f.b, 255, "Ecke");
    }
}

TEST(HintergrundErsetzen, WithoutBackgroundTheAlphaFollowsTheMask)
{
    QImage maske(4, 1, QImage::Format_Grayscale8);
    const int werte[] = {0, 64, 128, 255};
    for (int x = 0; x < 4; ++x)
        maske.scanLine(0)[x] = uchar(werte[x]);
    const auto aus = hintergrundErsetzen(bild(solid(4, 1, QColor(200, 100, 50))), maske);
    ASSERT_TRUE(aus);
    expectRgba(roh(aus->raster, 0, 0), 0, 0, 0, 0, "schwarz: durchsichtig");
    expectRgba(roh(aus->raster, 1, 0), 50, 25, 13, 64, "0.25");
    expectRgba(roh(aus->raster, 2, 0), 100, 50, 25, 128, "0.5");
    expectRgba(roh(aus->raster, 3, 0), 200, 100, 50, 255, "weiß: das Foto");

    // A translucent photo keeps its own alpha under a white mask: alpha = m · F.a.
    const QImage halb = solid(2, 2, QColor(0, 0, 255, 128));
    const auto durch = hintergrundErsetzen(bild(halb), grauMaske(1, 1, 128));
    ASSERT_TRUE(durch);
    EXPECT_EQ(qAlpha(roh(durch->raster, 1, 1)), 64);
}

TEST(HintergrundErsetzen, BackgroundPriorityIsPhotoThenColourThenTransparent)
{
    const Image foto = bild(solid(6, 4, Qt::red));
    const QImage schwarz = grauMaske(6, 4, 0);
    const Image gruenesFoto = bild(solid(3, 2, Qt::green));

    const auto mitFoto = hintergrundErsetzen(foto, schwarz, QColor(Qt::blue), gruenesFoto);
    ASSERT_TRUE(mitFoto);
    expectRgba(roh(mitFoto->raster, 3, 2), 0, 255, 0, 255, "Foto vor Farbe");

    const auto leeresFoto = hintergrundErsetzen(foto, schwarz, QColor(Qt::blue), Image{});
    ASSERT_TRUE(leeresFoto);
    expectRgba(roh(leeresFoto->raster, 3, 2), 0, 0, 255, 255, "leeres Foto zählt nicht");

    const auto ungueltig = hintergrundErsetzen(foto, schwarz, QColor());
    ASSERT_TRUE(ungueltig);
    expectRgba(roh(ungueltig->raster, 0, 0), 255, 255, 255, 255, "ungültige Farbe wird weiß");

    const auto ohne = hintergrundErsetzen(foto, schwarz);
    ASSERT_TRUE(ohne);
    expectRgba(roh(ohne->raster, 5, 3), 0, 0, 0, 0, "durchsichtig");
}

TEST(HintergrundErsetzen, MaskIsStretchedPerAxisToThePhoto)
{
    // A 4 × 4 mask whose top-left quadrant is white, over a 40 × 10 photo: stretched per axis,
    // the subject covers the left half and the top half, not a 10 × 10 square.
    QImage maske = grauMaske(4, 4, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            maske.scanLine(y)[x] = 255;
    const auto aus = hintergrundErsetzen(bild(solid(40, 10, Qt::red)), maske, QColor(Qt::blue));
    ASSERT_TRUE(aus);
    EXPECT_EQ(aus->raster.size(), QSize(40, 10));
    expectRgba(roh(aus->raster, 2, 1), 255, 0, 0, 255, "links oben");
    expectRgba(roh(aus->raster, 12, 2), 255, 0, 0, 255, "weit rechts in der linken Hälfte");
    expectRgba(roh(aus->raster, 30, 1), 0, 0, 255, 255, "rechte Hälfte");
    expectRgba(roh(aus->raster, 5, 8), 0, 0, 255, 255, "untere Hälfte");

    // Exact bilinear weights: a 2 × 1 mask (white, black) over 8 × 1, centres onto centres.
    QImage zwei(2, 1, QImage::Format_Grayscale8);
    zwei.scanLine(0)[0] = 255;
    zwei.scanLine(0)[1] = 0;
    const auto linie = hintergrundErsetzen(bild(solid(8, 1, Qt::white)), zwei, QColor(Qt::black));
    ASSERT_TRUE(linie);
    const int erwartet[] = {255, 255, 223, 159, 96, 32, 0, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_NEAR(qRed(roh(linie->raster, x, 0)), erwartet[x], 1) << "Spalte " << x;
}

TEST(HintergrundErsetzen, MaskCoversTheExtentOfScaledAndTurnedRenders)
{
    // A render at half scale whose extent is not anchored at 0 (as after a quarter turn):
    // raster 50 × 30 for the extent (−20, 10, 100, 60). The mask (left half white) must cover
    // the photo itself; scaled about the origin without translation it would be shifted.
    QImage maske = grauMaske(768, 768, 0);
    for (int y = 0; y < 768; ++y)
        std::fill_n(maske.scanLine(y), 384, uchar(255));
    const Image halb{solid(50, 30, Qt::red), QRectF(-20, 10, 100, 60)};
    const auto aus = hintergrundErsetzen(halb, maske, std::nullopt, bild(solid(300, 200, Qt::green)));
    ASSERT_TRUE(aus);
    EXPECT_EQ(aus->extent, halb.extent);
    EXPECT_EQ(aus->raster.size(), QSize(50, 30));
    for (const int y : {0, 29}) {
        expectRgba(roh(aus->raster, 0, y), 255, 0, 0, 255, "linker Rand: Foto");
        expectRgba(roh(aus->raster, 23, y), 255, 0, 0, 255, "kurz vor der Mitte: Foto");
        expectRgba(roh(aus->raster, 26, y), 0, 255, 0, 255, "kurz nach der Mitte: Hintergrund");
        expectRgba(roh(aus->raster, 49, y), 0, 255, 0, 255, "rechter Rand: Hintergrund");
    }
}

TEST(HintergrundErsetzen, RefusesEmptyInput)
{
    EXPECT_FALSE(hintergrundErsetzen(Image{}, grauMaske(2, 2, 255)));
    EXPECT_FALSE(hintergrundErsetzen(bild(solid(2, 2, Qt::red)), QImage()));
}

TEST(FotoEinpassen, PortraitBehindLandscapeFillsTheWidthAndCropsTopAndBottomEqually)
{
    // 100 × 200 background, green = row; into 200 × 100: s = max(2, 0.5) = 2, scaled to
    // 200 × 400, of which the middle 100 rows stay: source rows 75 … 125, 75 cut off each side.
    const Image hinten = bild(koordinaten(100, 200));
    const Image aus = fotoEinpassen(hinten, QRectF(0, 0, 200, 100));
    EXPECT_EQ(aus.extent, QRectF(0, 0, 200, 100));
    ASSERT_EQ(aus.raster.size(), QSize(200, 100));
    const int oben = qGreen(aus.raster.pixel(100, 0)), unten = qGreen(aus.raster.pixel(100, 99));
    EXPECT_NEAR(oben, 75, 1);
    EXPECT_NEAR(unten, 125, 1);
    EXPECT_NEAR(oben - 0, 199 - unten, 1) << "gleich viel oben und unten abgeschnitten";
    // The width is filled without cropping: the first and last columns of the source show.
    EXPECT_NEAR(qRed(aus.raster.pixel(0, 50)), 0, 1);
    EXPECT_NEAR(qRed(aus.raster.pixel(199, 50)), 99, 1);
    for (const QPoint ecke : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 99), QPoint(199, 99)})
        EXPECT_EQ(qAlpha(aus.raster.pixel(ecke)), 255) << "deckt das Ziel ganz";
}

TEST(FotoEinpassen, LandscapeBehindPortraitFillsTheHeightAndCropsLeftAndRightEqually)
{
    const Image hinten = bild(koordinaten(200, 100));
    const Image aus = fotoEinpassen(hinten, QRectF(0, 0, 100, 200));
    ASSERT_EQ(aus.raster.size(), QSize(100, 200));
    const int links = qRed(aus.raster.pixel(0, 100)), rechts = qRed(aus.raster.pixel(99, 100));
    EXPECT_NEAR(links, 75, 1);
    EXPECT_NEAR(rechts, 125, 1);
    EXPECT_NEAR(qGreen(aus.raster.pixel(50, 0)), 0, 1);
    EXPECT_NEAR(qGreen(aus.raster.pixel(50, 199)), 99, 1);
}

TEST(FotoEinpassen, ShrinksLargeBackgroundsIntoAnExtentAwayFromTheOrigin)
{
    // 540 × 360 into 60 × 30: s = max(1/9, 1/12) = 1/9. Every third column is white; bilinear
    // sampling alone would hit only white columns (9k + 4), averaging gives a third of white.
    QImage streifen(540, 360, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 540; ++x)
            streifen.setPixel(x, y, x % 3 == 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QRectF ziel(15, -40, 60, 30);
    const Image aus = fotoEinpassen(bild(streifen), ziel);
    EXPECT_EQ(aus.extent, ziel);
    ASSERT_EQ(aus.raster.size(), QSize(60, 30));
    EXPECT_NEAR(qRed(aus.raster.pixel(30, 15)), 85, 15);
    EXPECT_EQ(qAlpha(aus.raster.pixel(59, 29)), 255);

    const Image leer = fotoEinpassen(Image{}, QRectF(0, 0, 4, 4));
    ASSERT_EQ(leer.raster.size(), QSize(4, 4));
    EXPECT_EQ(qAlpha(leer.raster.pixel(2, 2)), 0);
}
