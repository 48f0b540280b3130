#include "pipeline/Overlays.h"
#include "support/Pixels.h"

#include <QFontInfo>
#include <QPainter>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>

using namespace lumora;
using lumora::test::pixel;

namespace {

/// Pixel of a layer at image point (x, y) of y-up space.
QColor at(const QImage& layer, double x, double y)
{
    return pixel(layer, int(x), layer.height() - 1 - int(y));
}

/// How many pixels of each quarter of `raster` the watermark turned from black to near white.
QList<int> markedPerQuarter(const QImage& raster)
{
    QList<int> counts;
    const QSize half = raster.size() / 2;
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(half.width(), 0), QPoint(0, half.height()), QPoint(half.width(), half.height())})
        counts.append(test::countPixels(raster, QRect(corner, half), [](QRgb v) { return qRed(v) > 200; }));
    return counts;
}

/// `count` shapes of `points` random points each across a w × h canvas (the same every run).
QList<Overlay> randomShapes(int count, int points, bool areas, QSize canvas)
{
    quint32 state = 2024;
    const auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    };
    QList<Overlay> shapes;
    for (int s = 0; s < count; ++s) {
        QList<QPointF> list;
        for (int i = 0; i < points; ++i)
            list.append({next() * canvas.width(), next() * canvas.height()});
        shapes.append(areas ? Overlay{AreaShape{list, QStringLiteral("#FFFFFF")}, canvas}
                            : Overlay{StrokeShape{list, QStringLiteral("#FF3B30"), 12}, canvas});
    }
    return shapes;
}

double workOf(const QList<Overlay>& overlays)
{
    return std::accumulate(overlays.begin(), overlays.end(), 0.0,
                           [](double work, const Overlay& overlay) { return work + overlayWork(overlay); });
}

} // namespace

TEST(Overlays, TextMarksDrawTheirBoxAndTextInARealSemiboldFaceWhereTheyBelong)
{
    const QFont font = labelFont(40);
    const QFontInfo info(font);
    EXPECT_EQ(info.family(), QStringLiteral("Inter"));
    EXPECT_EQ(info.weight(), int(QFont::DemiBold));
    const TextMetrics metrics = measureText(QStringLiteral("Kratzer"), 40);
    EXPECT_GT(metrics.width, 100);
    EXPECT_NEAR(metrics.height, 48, 3); // one line of a 40-pixel font
    // Measuring is linear in the size (no hinting), so reduced renders look like the full one.
    EXPECT_NEAR(measureText(QStringLiteral("Kratzer"), 400).width, 10 * metrics.width, 10 * 0.5);

    // Text marks draw their box and text where they belong.
    // An unparsable colour falls back to white.
    const TextMark mark{
        .position = {150, 60}, .text = "HH", .fontSize = 40, .colorHex = "not a colour", .hasBackground = true};
    const auto layer = drawTextMarks({mark}, QSize(300, 120));
    ASSERT_TRUE(layer);
    const TextMetrics m = measureText(mark.text, 40);
    const TextMarkGeometry g = textMarkGeometry(mark.position, 40, {m.width, m.height});
    // Inside the padding: the translucent dark box (black at 0.55).
    const QColor corner = at(*layer, g.box.left() + 4, g.box.top() + 4);
    EXPECT_NEAR(corner.alpha(), 140, 2);
    EXPECT_EQ(corner.red(), 0);
    // Outside the box: nothing.
    EXPECT_EQ(at(*layer, g.box.left() - 3, mark.position.y()).alpha(), 0);
    // The text is white and sits inside the text line.
    const QRectF line(g.textOrigin.x(), layer->height() - g.textOrigin.y() - m.height, m.width, m.height);
    EXPECT_GT(test::countPixels(*layer, line.toRect(), [](QRgb v) { return v == qRgb(255, 255, 255); }), 100);
    EXPECT_FALSE(drawTextMarks({}, QSize(10, 10)));
    EXPECT_FALSE(drawTextMarks({mark}, QSize(0, 10)));

    // The box is centred on the mark's position with padding around the text.
    const TextMarkGeometry box = textMarkGeometry({500, 300}, 40, {200, 48});
    EXPECT_EQ(box.box, QRectF(386, 268, 228, 64));
    EXPECT_EQ(box.textOrigin, QPointF(400, 276));
}

TEST(Overlays, WatermarkSizeAnchorsAndOpacity)
{
    Watermark w{QStringLiteral("  © Studio \n"), WatermarkPosition::bottomRight, 1.5, 0.001, QStringLiteral("#00FF00")};
    EXPECT_DOUBLE_EQ(watermarkFontSize(w, 4000, 3000), 8); // 3 pixels would be unreadable
    w.sizeFactor = 0.05;
    EXPECT_DOUBLE_EQ(watermarkFontSize(w, 4000, 3000), 150);
    EXPECT_EQ(watermarkAnchor(WatermarkPosition::bottomRight, 4000, 3000, {900, 180}, 150), QPointF(3010, 90));
    EXPECT_EQ(watermarkAnchor(WatermarkPosition::topLeft, 4000, 3000, {900, 180}, 150), QPointF(90, 2730));
    EXPECT_EQ(watermarkAnchor(WatermarkPosition::center, 4000, 3000, {900, 180}, 150), QPointF(1550, 1410));

    // Opacity above 1 draws opaque text; below 0 produces a layer with nothing visible.
    w.sizeFactor = 0.2;
    const auto opaque = drawWatermark(w, QSize(400, 200));
    ASSERT_TRUE(opaque);
    EXPECT_GT(test::countPixels(*opaque, QRect(200, 0, 200, 200), [](QRgb v) { return v == qRgb(0, 255, 0); }), 50);
    w.opacity = -0.2;
    const auto invisible = drawWatermark(w, QSize(400, 200));
    ASSERT_TRUE(invisible);
    EXPECT_EQ(*invisible, test::solid(400, 200, Qt::transparent));
    w.text = QStringLiteral(" \n ");
    EXPECT_FALSE(drawWatermark(w, QSize(400, 200)));

    // The text is cut at its longest length.
    const QString head(kWatermarkMaxLength, QLatin1Char('W'));
    w = Watermark{head, WatermarkPosition::tiled, 1, 0.05, QStringLiteral("#FFFFFF")};
    const auto capped = drawWatermark(w, QSize(600, 400));
    w.text = head + QString(32767 - head.size(), QLatin1Char('i'));
    const auto longest = drawWatermark(w, QSize(600, 400));
    ASSERT_TRUE(capped && longest);
    EXPECT_EQ(*longest, *capped);
}

TEST(Overlays, LaterMasksCoverEarlierOnesAndBadColoursFallBack)
{
    QImage photo = test::solid(100, 100, Qt::black);
    {
        QPainter painter(&photo);
        paintMasks(painter, yUpToDevice(100),
                   {MaskRect{QRectF(10, 10, 50, 50), QStringLiteral("#FF0000")},
                    MaskRect{QRectF(40, 40, 50, 50), QStringLiteral("#0000FF")},
                    MaskRect{QRectF(0, 90, 10, 10), QStringLiteral("#XYZ")}});
    }
    EXPECT_EQ(at(photo, 20, 20), QColor(Qt::red));
    EXPECT_EQ(at(photo, 50, 50), QColor(Qt::blue)); // overlap: the later mask
    EXPECT_EQ(at(photo, 5, 95), QColor(Qt::white)); // unparsable colour: white
    EXPECT_EQ(at(photo, 95, 5), QColor(Qt::black));
}

TEST(Overlays, StrokesAreasAndArrowsDrawWhereTheirShapeLies)
{
    const QSize size(200, 100);
    EXPECT_FALSE(rasterizeStroke({{10, 10}}, QStringLiteral("#FF0000"), size, 4));
    EXPECT_FALSE(rasterizeFilledArea({{10, 10}, {50, 50}}, QStringLiteral("#FF0000"), size));
    EXPECT_FALSE(rasterizeStroke({{10, 10}, {20, 20}}, QStringLiteral("#FF0000"), QSize(0, 100), 4));

    const auto stroke = rasterizeStroke({{20, 50}, {180, 50}}, QStringLiteral("bad"), size, 10);
    ASSERT_TRUE(stroke);
    const QImage line = overlayBitmap(*stroke);
    EXPECT_EQ(at(line, 100, 50), QColor(Qt::red)); // fallback red
    EXPECT_EQ(at(line, 100, 53), QColor(Qt::red));
    EXPECT_EQ(at(line, 100, 58).alpha(), 0);
    EXPECT_GT(at(line, 16, 50).alpha(), 200); // round cap reaches half the width beyond the end

    // A self-crossing area fills with the non-zero rule: the overlap is filled too.
    const auto area =
        rasterizeFilledArea({{10, 10}, {110, 10}, {110, 90}, {60, 90}, {60, 40}, {160, 40}, {160, 60}, {10, 60}},
                            QStringLiteral("bad"), size);
    ASSERT_TRUE(area);
    const QImage filled = overlayBitmap(*area);
    EXPECT_EQ(at(filled, 85, 50), QColor(Qt::white));
    EXPECT_EQ(at(filled, 30, 30), QColor(Qt::white));

    // An arrow's head ends at the tip and can reach behind the start.
    // Length 10, width 8: head 16 long, no shaft; the head begins 6 pixels behind the start.
    const auto shortArrow = rasterizeArrow(Arrow{{100, 50}, 0, 10, 8, QStringLiteral("bad")}, size);
    ASSERT_TRUE(shortArrow);
    const QImage head = overlayBitmap(*shortArrow);
    EXPECT_EQ(at(head, 95.5, 50), QColor(Qt::red)); // behind the start, inside the head's base
    EXPECT_EQ(at(head, 92, 50).alpha(), 0);         // further back than 6 pixels: nothing
    EXPECT_EQ(at(head, 111, 50).alpha(), 0);        // beyond the tip: nothing
    EXPECT_GT(at(head, 95.5, 55).alpha(), 200);     // the base is hl wide: ±8 at the base
    // A long arrow: shaft of width lw up to the head's base, then the head.
    const auto longArrow = rasterizeArrow(Arrow{{20, 50}, 0, 160, 6, QStringLiteral("#0000FF")}, size);
    const QImage full = overlayBitmap(*longArrow);
    EXPECT_EQ(at(full, 60, 52), QColor(Qt::blue));
    EXPECT_EQ(at(full, 60, 54).alpha(), 0);         // shaft is 6 wide
    EXPECT_EQ(at(full, 18, 50).alpha(), 0);         // butt cap: nothing before the start
    EXPECT_EQ(at(full, 170, 53), QColor(Qt::blue)); // head (12 long, 12 wide) from x 168 to 180
    // Turned by 90°: it points up (y grows upwards).
    const auto up = rasterizeArrow(Arrow{{100, 10}, M_PI / 2, 80, 6, QStringLiteral("#0000FF")}, size);
    EXPECT_EQ(at(overlayBitmap(*up), 100, 85), QColor(Qt::blue));
}

TEST(Overlays, EveryPixelAnOverlayOrTextMarkPaintsLiesWithinItsReach)
{
    // Bands of a render draw only the overlays and marks that reach into them: a pixel outside
    // the reach would be lost where the band boundary falls.
    const QSize size(200, 120);
    const auto within = [&](const QImage& drawn, QRectF reach) {
        reach = yUpToDevice(size.height()).mapRect(reach).adjusted(-1, -1, 1, 1);
        int outside = 0, inside = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (qAlpha(drawn.pixel(x, y)) != 0)
                    ++(reach.contains(QPointF(x + 0.5, y + 0.5)) ? inside : outside);
        EXPECT_GT(inside, 0);
        return outside;
    };
    for (const bool background : {false, true}) {
        const TextMark mark{.position = {100, 60},
                            .text = "ÅQgjf|",
                            .fontSize = 30,
                            .colorHex = "#FFFFFF",
                            .hasBackground = background};
        const auto drawn = drawTextMarks({mark}, size);
        ASSERT_TRUE(drawn);
        EXPECT_EQ(within(*drawn, textMarkReach(mark)), 0) << "background " << background;
    }
    const std::optional<Overlay> overlays[] = {
        rasterizeStroke({{20, 30}, {60, 100}, {100, 30}}, QStringLiteral("#FF0000"), size, 14), // sharp turn
        rasterizeStroke({{30, 30}, {170, 90}}, QStringLiteral("#00FF0080"), size, 9),           // translucent
        rasterizeFilledArea({{10, 10}, {190, 20}, {100, 110}}, QStringLiteral("#0000FF"), size),
        rasterizeArrow(Arrow{{100, 60}, 2.5, 10, 12, QStringLiteral("#FF0000")}, size), // head behind the start
        rasterizeArrow(Arrow{{20, 100}, -0.6, 150, 5, QStringLiteral("#FF0000")}, size),
        rasterizeStroke({{-40, 60}, {240, 60}}, QStringLiteral("#FF0000"), size, 20), // beyond the canvas
    };
    for (size_t i = 0; i < std::size(overlays); ++i) {
        ASSERT_TRUE(overlays[i]) << i;
        EXPECT_EQ(within(overlayBitmap(*overlays[i]), overlayReach(*overlays[i])), 0) << "overlay " << i;
    }
}

TEST(Overlays, CommittedStrokesAreSimplifiedAndCapped)
{
    const QSize size(4000, 3000);
    // A wiggle larger than half a pixel keeps its corners (a straight drag is simplified in the
    // edits file's test).
    const QList<QPointF> zigzag{{0, 0}, {10, 3}, {20, 0}, {30, 3}, {40, 0}};
    EXPECT_EQ(simplifyPolyline(zigzag, 0.5, 100), zigzag);

    // Random long segments (each crossing many others) are capped; an area likewise, and an
    // area whose points all lie on one line fills nothing.
    const QList<QPointF> random = std::get<StrokeShape>(randomShapes(1, 20000, false, size).first().shape).points;
    const auto scribble = rasterizeStroke(random, QStringLiteral("#FF0000"), size, 20);
    ASSERT_TRUE(scribble);
    const QList<QPointF>& kept = std::get<StrokeShape>(scribble->shape).points;
    EXPECT_LE(kept.size(), kMaxStrokePoints);
    EXPECT_GT(kept.size(), kMaxStrokePoints / 4);
    EXPECT_EQ(kept.first(), random.first());
    EXPECT_EQ(kept.last(), random.last());
    const auto area = rasterizeFilledArea(random, QStringLiteral("#00FF00"), size);
    ASSERT_TRUE(area);
    EXPECT_LE(std::get<AreaShape>(area->shape).points.size(), kMaxAreaPoints);
    EXPECT_FALSE(rasterizeFilledArea({{0, 0}, {5, 5}, {10, 10}, {20, 20}}, QStringLiteral("#00FF00"), size));
}

TEST(Overlays, TranslucentStrokesCoverTheirCrossingsOnce)
{
    // A stroke that runs over itself in a translucent colour has one opacity everywhere,
    // also where its pieces meet and cross.
    QList<QPointF> points{{20, 20}, {180, 80}, {180, 20}, {20, 80}};
    for (int i = 0; i < 40; ++i) // long enough to be stroked in several pieces
        points.append({20.0 + 160 * (i % 2), 50.0});
    const Overlay stroke{StrokeShape{points, QStringLiteral("#FF000080"), 10}, QSize(200, 100)};
    const QImage layer = overlayBitmap(stroke);
    const int alpha = at(layer, 100, 50).alpha(); // where everything crosses
    EXPECT_NEAR(alpha, 128, 2);
    EXPECT_NEAR(at(layer, 180, 50).alpha(), alpha, 2); // a turning point
    EXPECT_NEAR(at(layer, 60, 35).alpha(), alpha, 2);  // a single leg
    EXPECT_EQ(at(layer, 100, 5).alpha(), 0);
}

// The sheet's longest text at its largest size on a 24 MP photo: the text's turned box is far
// larger than the photo. The photo gets the tiles its preview (a tenth of its size) shows.
TEST(Overlays, TheLongestTiledWatermarkAtTheLargestSizeDrawsOnA24MegapixelPhotoAsInItsPreview)
{
    const QString sentence = QStringLiteral("© Lumora Studio · Alle Rechte vorbehalten · ").repeated(5);
    for (const QString& text : {sentence.left(kWatermarkMaxLength), QString(kWatermarkMaxLength, QLatin1Char('W'))}) {
        SCOPED_TRACE(text.left(20).toStdString());
        const Watermark w{text, WatermarkPosition::tiled, 1, 0.2, QStringLiteral("#FFFFFF")};
        QImage photo = test::solid(6000, 4000, Qt::black);
        QImage preview = test::solid(600, 400, Qt::black);
        ASSERT_TRUE(paintWatermark(photo, yUpToDevice(4000), w, 6000, 4000));
        ASSERT_TRUE(paintWatermark(preview, yUpToDevice(4000, 0.1), w, 6000, 4000));
        const QList<int> full =
            markedPerQuarter(photo.scaled(600, 400, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        const QList<int> shown = markedPerQuarter(preview);
        int total = 0;
        for (qsizetype i = 0; i < full.size(); ++i) {
            EXPECT_NEAR(full[i], shown[i], 50 + shown[i] / 10) << "quarter " << i;
            total += full[i];
        }
        EXPECT_GT(total, 600 * 400 / 100); // letters 800 pixels high, in every other row of tiles
    }
}

// Short texts are blended from one stamp, long ones filled tile by tile: both draw the same
// pattern, the stamp at most half a pixel off, and the tiles cover every quarter of the photo.
TEST(Overlays, StampedAndFilledTilesDrawTheSamePattern)
{
    const Watermark w{QStringLiteral("Lumora"), WatermarkPosition::tiled, 1, 0.1, QStringLiteral("#FFFFFF")};
    QImage stamped = test::solid(800, 500, Qt::black);
    QImage filled = stamped;
    ASSERT_TRUE(paintWatermark(stamped, yUpToDevice(500), w, 800, 500, TileDrawing::stamp));
    ASSERT_TRUE(paintWatermark(filled, yUpToDevice(500), w, 800, 500, TileDrawing::fill));
    const QList<int> a = markedPerQuarter(stamped), b = markedPerQuarter(filled);
    for (qsizetype i = 0; i < a.size(); ++i) {
        EXPECT_GT(a[i], 1000);
        EXPECT_NEAR(a[i], b[i], a[i] * 0.03) << i;
    }
    // Each letter of the one is where the other has it: shifted by at most half a pixel, no
    // pixel of the one's letters is far from the other's.
    int apart = 0;
    for (int y = 1; y < 499; ++y)
        for (int x = 1; x < 799; ++x)
            if (qRed(stamped.pixel(x, y)) > 250) {
                int nearest = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        nearest = std::max(nearest, qRed(filled.pixel(x + dx, y + dy)));
                apart += nearest < 128;
            }
    EXPECT_EQ(apart, 0);
}

TEST(Overlays, AWatermarkThatCannotBeDrawnIsAnErrorAndLeavesThePhotoAsItWas)
{
    const QImage photo = test::solid(400, 300, Qt::black);
    for (const double size : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e6}) {
        SCOPED_TRACE(size);
        QImage raster = photo;
        const Watermark w{QStringLiteral("© Studio"), WatermarkPosition::tiled, 1, size, QStringLiteral("#FFFFFF")};
        const auto painted = paintWatermark(raster, yUpToDevice(300), w, 400, 300);
        ASSERT_FALSE(painted);
        EXPECT_EQ(painted.error().domain, watermarkErrors::domain);
        EXPECT_TRUE(
            painted.error().description.startsWith(QStringLiteral("Das Wasserzeichen kann nicht gezeichnet werden: ")));
        EXPECT_EQ(raster, photo);
        EXPECT_FALSE(drawWatermark(w, QSize(400, 300)));
    }
}

// Strokes and areas drawn by hand cost a fraction of a pixel's work each and are drawn as
// committed; a hundred random ones across the photo are simplified, every one alike, until the
// photo's overlays fit the budget, so any edit state renders in bounded time.
TEST(Overlays, ThePhotosOverlaysAsAWholeStayWithinTheWorkBudget)
{
    const QSize canvas(6000, 4000);
    const double budget = kOverlayWorkPerPixel * 6000 * 4000;
    QList<QPointF> hand;
    for (int i = 0; i <= 400; ++i)
        hand.append({300 + 10.0 * i, 2000 + 300 * std::sin(i / 20.0)});
    const QList<Overlay> drawn{*rasterizeStroke(hand, QStringLiteral("#FF3B30"), canvas, 24),
                               *rasterizeFilledArea(hand, QStringLiteral("#FFFFFF"), canvas),
                               *rasterizeArrow(Arrow{{100, 100}, 0.5, 800, 20, QStringLiteral("#FF3B30")}, canvas)};
    EXPECT_LT(workOf(drawn), budget / 50);
    EXPECT_EQ(withinWorkBudget(drawn, canvas), drawn);

    for (const bool areas : {false, true}) {
        SCOPED_TRACE(areas ? "areas" : "strokes");
        const QList<Overlay> random =
            randomShapes(100, areas ? int(kMaxAreaPoints) : int(kMaxStrokePoints), areas, canvas);
        ASSERT_GT(workOf(random), 50 * budget);
        const QList<Overlay> fitted = withinWorkBudget(random, canvas);
        ASSERT_EQ(fitted.size(), random.size());
        const auto pointsOf = [areas](const Overlay& o) {
            return areas ? std::get<AreaShape>(o.shape).points : std::get<StrokeShape>(o.shape).points;
        };
        const qsizetype fewest = areas ? 3 : 2;
        bool allAtTheFewest = true;
        for (qsizetype i = 0; i < fitted.size(); ++i) {
            const QList<QPointF> before = pointsOf(random[i]), after = pointsOf(fitted[i]);
            EXPECT_GE(after.size(), fewest);
            allAtTheFewest &= after.size() == fewest;
            EXPECT_EQ(after.first(), before.first());
            EXPECT_EQ(after.last(), before.last());
        }
        // Within the budget, or every shape down to the fewest points it needs.
        EXPECT_TRUE(workOf(fitted) <= budget || allAtTheFewest) << workOf(fitted);
        EXPECT_EQ(withinWorkBudget(fitted, canvas), fitted); // what fits stays as it is
    }
}
