#include "pipeline/Render.h"

#include "base/Parallel.h"
#include "pipeline/ColorPass.h"
#include "pipeline/Overlays.h"
#include "pipeline/RowBands.h"

#include <QElapsedTimer>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <functional>

namespace lumora {

namespace {

constexpr double kSharpenRadius = 1.69;

/// With LUMORA_PROFILE set, prints how long each stage of a render took (for tuning).
class StageClock {
public:
    StageClock() : m_enabled(enabled())
    {
        if (m_enabled)
            m_timer.start();
    }
    void lap(const char* stage)
    {
        if (!m_enabled)
            return;
        std::fprintf(stderr, "  %-10s %6.1f ms\n", stage, double(m_timer.nsecsElapsed()) / 1e6);
        m_timer.restart();
    }

private:
    static bool enabled()
    {
        static const bool on = qEnvironmentVariableIsSet("LUMORA_PROFILE"); // read once, not per render
        return on;
    }

    bool m_enabled;
    QElapsedTimer m_timer;
};

/// The number of counter-clockwise quarter turns `degrees` stands for, or -1 for other angles.
int quarterTurnsOf(double degrees)
{
    const double turns = degrees / 90.0;
    const double nearest = std::round(turns);
    if (std::abs(turns - nearest) > 1e-9)
        return -1;
    return int(((std::llround(nearest) % 4) + 4) % 4);
}

/// Continuous form of Dihedral::map for a raster of `size` device pixels (y down).
QTransform dihedralTransform(Dihedral turn, QSizeF size)
{
    const double w = size.width(), h = size.height();
    QTransform t;
    if (turn.flipH)
        t = t * QTransform(-1, 0, 0, 1, w, 0);
    if (turn.flipV)
        t = t * QTransform(1, 0, 0, -1, 0, h);
    switch (turn.quarterTurns) {
    case 1: t = t * QTransform(0, -1, 1, 0, 0, w); break;  // (x, y) → (y, w − x)
    case 2: t = t * QTransform(-1, 0, 0, -1, w, h); break; // (x, y) → (w − x, h − y)
    case 3: t = t * QTransform(0, 1, -1, 0, h, 0); break;  // (x, y) → (h − y, x)
    default: break;
    }
    return t;
}

/// Layer space (y up, full-resolution pixels, layer of `layerSize`) → pixels of a raster of `rasterSize`.
QTransform layerToRaster(QSizeF layerSize, QSize rasterSize)
{
    const double sx = rasterSize.width() / layerSize.width();
    const double sy = rasterSize.height() / layerSize.height();
    return QTransform(sx, 0, 0, -sy, 0, layerSize.height() * sy);
}

/// Steps 2-3: masks and committed overlays, painted straight onto the working raster.
void paintOverlaysStep(QImage& base, QSize originalSize, const EditState& edits)
{
    if (edits.masks.isEmpty() && edits.freehandOverlays.isEmpty())
        return;
    const QTransform toDevice = layerToRaster(QSizeF(originalSize), base.size());
    // However many strokes an edit state holds, the photo is drawn in bounded time.
    const QList<Overlay> overlays = withinWorkBudget(edits.freehandOverlays, originalSize);
    paintInRowBands(base, 0, [&](QPainter& painter, const QTransform& shift) {
        if (!edits.masks.isEmpty())
            paintMasks(painter, toDevice * shift, edits.masks);
        for (const Overlay& overlay : overlays)
            paintOverlay(painter, toDevice * shift, overlay);
    });
}

/// Step 7: text marks in the original's frame, carried through the same mirror and turn: a
/// mark stands on the same spot of the picture as in the editor. Its letters turn with the
/// photo but are never mirrored. `out` holds the turned raster's rows from `firstRow` on.
void paintTextStep(QImage& out, int firstRow, QSize unturnedSize, QSize originalSize, const EditState& edits,
                   Dihedral applied)
{
    if (edits.textMarks.isEmpty())
        return;
    const QTransform toDevice =
        layerToRaster(QSizeF(originalSize), unturnedSize) * dihedralTransform(applied, unturnedSize);
    Qt::Orientations mirrored;
    mirrored.setFlag(Qt::Horizontal, edits.flippedH);
    mirrored.setFlag(Qt::Vertical, edits.flippedV);
    paintInRowBands(out, firstRow, [&](QPainter& painter, const QTransform& shift) {
        paintTextMarks(painter, toDevice * shift, edits.textMarks, mirrored);
    });
}

/// Step 10: the watermark, upright over the final extent, made ready for the final raster of
/// `outSize` (nothing to paint without one).
std::expected<PreparedWatermark, Error> prepareWatermarkStep(QSize outSize, const QRectF& extent,
                                                             const EditState& edits)
{
    const int w = int(extent.width());
    const int h = int(extent.height());
    if (!edits.watermark || w <= 0 || h <= 0)
        return PreparedWatermark();
    return PreparedWatermark::prepare(layerToRaster(QSizeF(w, h), outSize), *edits.watermark, w, h,
                                      QRect(QPoint(0, 0), outSize));
}

QImage turnBilinear(const QImage& source, double degrees, QSize target)
{
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Counter-clockwise in y-up space is counter-clockwise on screen: a negative angle for Qt's y-down frame.
    painter.translate(target.width() / 2.0, target.height() / 2.0);
    painter.rotate(-degrees);
    painter.translate(-source.width() / 2.0, -source.height() / 2.0);
    painter.drawImage(QPointF(0, 0), source);
    return out;
}

} // namespace

QRectF turnedExtent(QSizeF size, double degrees)
{
    const double w = size.width(), h = size.height();
    const int quarter = quarterTurnsOf(degrees);
    if (quarter == 0 || quarter == 2)
        return {0, 0, w, h};
    if (quarter == 1 || quarter == 3)
        return {w / 2 - h / 2, h / 2 - w / 2, h, w};
    const QTransform about = QTransform::fromTranslate(-w / 2, -h / 2) * QTransform().rotate(degrees)
                             * QTransform::fromTranslate(w / 2, h / 2);
    return about.mapRect(QRectF(0, 0, w, h));
}

Image renderDecoded(QImage base, QSize originalSize, const EditState& edits)
{
    return renderDecodedChecked(std::move(base), originalSize, edits, WatermarkFailure::leaveOut).value_or(Image());
}

std::expected<Image, Error> renderDecodedChecked(QImage base, QSize originalSize, const EditState& edits,
                                                 WatermarkFailure onFailure)
{
    if (base.isNull() || originalSize.isEmpty())
        return Image();
    if (base.format() != QImage::Format_ARGB32_Premultiplied)
        base.convertTo(QImage::Format_ARGB32_Premultiplied);
    const QSizeF full(originalSize);
    const double scale = double(base.width()) / full.width();
    StageClock clock;

    paintOverlaysStep(base, originalSize, edits);
    clock.lap("overlays");

    // Steps 4-6 fused with steps 8-9 when the turn is a quarter turn: the colour pass touches
    // every pixel anyway and writes each where the mirror and turn put it.
    const int quarter = quarterTurnsOf(edits.rotation);
    const Dihedral applied{edits.flippedH, edits.flippedV, std::max(quarter, 0)};
    const QSize unturnedSize = base.size();
    QImage out = colorAndTurn(base, edits.adjustment, kSharpenRadius * scale, applied);
    base = QImage(); // release the working raster early: it may be the size of the photo
    clock.lap("colour");

    paintTextStep(out, 0, unturnedSize, originalSize, edits, applied);
    clock.lap("text");

    const QRectF extent = turnedExtent(full, edits.rotation);
    if (quarter < 0) {
        const QSize box(std::max(1, int(std::ceil(extent.width() * scale))),
                        std::max(1, int(std::ceil(extent.height() * scale))));
        out = turnBilinear(out, edits.rotation, box);
    }

    if (auto watermark = prepareWatermarkStep(out.size(), extent, edits))
        watermark->paint(out);
    else if (onFailure == WatermarkFailure::fail)
        return std::unexpected(watermark.error());
    clock.lap("watermark");
    return Image{std::move(out), extent};
}

std::expected<BandedRender, Error> BandedRender::start(QImage base, QSize originalSize, const EditState& edits)
{
    BandedRender render;
    if (base.isNull() || originalSize.isEmpty())
        return render;
    const int quarter = quarterTurnsOf(edits.rotation);
    render.m_extent = turnedExtent(QSizeF(originalSize), edits.rotation);
    if (quarter < 0) { // the bilinear turn reads anywhere in its source: rendered whole
        auto whole = renderDecodedChecked(std::move(base), originalSize, edits);
        if (!whole)
            return std::unexpected(whole.error());
        render.m_whole = std::move(whole->raster);
        render.m_size = render.m_whole.size();
        return render;
    }
    if (base.format() != QImage::Format_ARGB32_Premultiplied)
        base.convertTo(QImage::Format_ARGB32_Premultiplied);
    paintOverlaysStep(base, originalSize, edits);
    render.m_applied = Dihedral{edits.flippedH, edits.flippedV, quarter};
    render.m_size = render.m_applied.transposes() ? base.size().transposed() : base.size();
    render.m_sigma = kSharpenRadius * double(base.width()) / originalSize.width();
    render.m_originalSize = originalSize;
    render.m_edits = edits;
    auto watermark = prepareWatermarkStep(render.m_size, render.m_extent, edits);
    if (!watermark)
        return std::unexpected(watermark.error());
    render.m_watermark = std::make_shared<const PreparedWatermark>(std::move(*watermark));
    render.m_source = std::move(base);
    return render;
}

std::expected<QImage, Error> BandedRender::rows(int firstRow, int count, QImage reuse) const
{
    firstRow = std::clamp(firstRow, 0, m_size.height());
    count = std::clamp(count, 0, m_size.height() - firstRow);
    if (count == 0)
        return QImage();
    if (!m_whole.isNull() && count == m_whole.height())
        return m_whole; // shared, not copied
    if (!m_whole.isNull())
        return m_whole.copy(0, firstRow, m_whole.width(), count);
    QImage band = colorAndTurnRows(m_source, m_edits.adjustment, m_sigma, m_applied, firstRow, count, std::move(reuse));
    if (band.isNull())
        return band;
    paintTextStep(band, firstRow, m_source.size(), m_originalSize, m_edits, m_applied);
    if (m_watermark)
        m_watermark->paint(band, firstRow);
    return band;
}

void BandedRender::releaseSource()
{
    m_source = QImage();
    m_whole = QImage();
}

std::expected<Image, Error> renderImage(const SourceImage& original, const EditState& edits, double scale)
{
    auto decoded = original.decodeScaled(scale);
    if (!decoded)
        return std::unexpected(decoded.error());
    return renderDecodedChecked(std::move(*decoded), original.size(), edits);
}

QSize Image::fullPixelSize() const
{
    if (extent.isEmpty())
        return {};
    const double x0 = std::floor(extent.left()), y0 = std::floor(extent.top());
    const double x1 = std::ceil(extent.right()), y1 = std::ceil(extent.bottom());
    // A quarter turn of an odd-by-even raster has half-pixel extent edges; its pixels are
    // still exactly width × height, so round the size itself when it is whole.
    if (extent.width() == std::round(extent.width()) && extent.height() == std::round(extent.height()))
        return QSize(int(extent.width()), int(extent.height()));
    return QSize(int(x1 - x0), int(y1 - y0));
}

std::optional<Preview> makePreview(const Image& image)
{
    if (image.isNull())
        return std::nullopt;
    return Preview{image.raster, image.fullPixelSize()};
}

} // namespace lumora
