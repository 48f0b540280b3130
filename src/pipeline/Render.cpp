#include "Render.h"

#include "ColorPass.h"
#include "Overlays.h"

#include <QPainter>
#include <cmath>

namespace lumora {

namespace {

constexpr double kSharpenRadius = 1.69;

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
    case 1: t = t * QTransform(0, -1, 1, 0, 0, w); break;     // (x, y) → (y, w − x)
    case 2: t = t * QTransform(-1, 0, 0, -1, w, h); break;    // (x, y) → (w − x, h − y)
    case 3: t = t * QTransform(0, 1, -1, 0, h, 0); break;     // (x, y) → (h − y, x)
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
    if (base.isNull() || originalSize.isEmpty())
        return {};
    if (base.format() != QImage::Format_ARGB32_Premultiplied)
        base.convertTo(QImage::Format_ARGB32_Premultiplied);
    const QSizeF full(originalSize);
    const double scale = double(base.width()) / full.width();

    // Steps 2-3: masks and committed overlays, painted straight onto the working raster.
    if (!edits.masks.isEmpty() || !edits.freehandOverlays.isEmpty()) {
        QPainter painter(&base);
        const QTransform toDevice = layerToRaster(full, base.size());
        if (!edits.masks.isEmpty())
            paintMasks(painter, toDevice, edits.masks);
        for (const Overlay& overlay : edits.freehandOverlays)
            paintOverlay(painter, toDevice, overlay);
    }

    // Steps 4-6 fused with steps 8-9 when the turn is a quarter turn.
    const int quarter = quarterTurnsOf(edits.rotation);
    const Dihedral turn{edits.flippedH, edits.flippedV, std::max(quarter, 0)};
    const QSize unturnedSize = base.size();
    QImage out = colorAndTurn(base, edits.adjustment, kSharpenRadius * scale, turn);
    base = QImage(); // release the working raster early: it may be the size of the photo

    // Step 7: text marks in the original's frame, carried through the same mirror and turn.
    if (!edits.textMarks.isEmpty()) {
        QPainter painter(&out);
        const QTransform toDevice = layerToRaster(full, unturnedSize) * dihedralTransform(turn, unturnedSize);
        paintTextMarks(painter, toDevice, edits.textMarks);
    }

    QRectF extent = turnedExtent(full, edits.rotation);
    if (quarter < 0) {
        const QSize target(std::max(1, int(std::ceil(extent.width() * scale))),
                           std::max(1, int(std::ceil(extent.height() * scale))));
        out = turnBilinear(out, edits.rotation, target);
    }

    // Step 10: the watermark, upright over the final extent.
    if (edits.watermark) {
        const int w = int(extent.width());
        const int h = int(extent.height());
        if (w > 0 && h > 0) {
            QPainter painter(&out);
            paintWatermark(painter, layerToRaster(QSizeF(w, h), out.size()), *edits.watermark, w, h);
        }
    }
    return Image{std::move(out), extent};
}

std::expected<Image, Error> renderImage(const SourceImage& original, const EditState& edits, double scale)
{
    auto decoded = original.decodeScaled(scale);
    if (!decoded)
        return std::unexpected(decoded.error());
    return renderDecoded(std::move(*decoded), original.size(), edits);
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
