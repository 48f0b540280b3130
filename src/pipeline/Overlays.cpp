#include "pipeline/Overlays.h"
#include "pipeline/RowBands.h"

#include "base/Parallel.h"
#include "pipeline/Blend.h"
#include "pipeline/ColorHex.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <queue>
#include <vector>

namespace lumora {

namespace {

constexpr double kMarkBackgroundAlpha = 0.55;
constexpr double kTileAngleDegrees = 30.0;
/// Half an image pixel: points closer than this to the simplified line change no pixel.
constexpr double kSimplifyTolerance = 0.5;

const QString& labelFamily()
{
    static const QString family = [] {
        const QString inter = QStringLiteral("Inter");
        return QFontDatabase::hasFamily(inter) ? inter : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont fontForDevice(double pixelSize, const QPaintDevice* device)
{
    QFont font(labelFamily());
    font.setWeight(QFont::DemiBold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    const double dpi = device ? device->logicalDpiY() : 72.0;
    font.setPointSizeF(pixelSize * 72.0 / dpi);
    return font;
}

/// A 72-dpi device: font sizes in points equal pixels on it.
const QImage& textReference()
{
    static const QImage reference = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return reference;
}

void beginPainting(QPainter& painter)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::NoBrush);
}

/// Draws `text` with the lower-left corner of its line box at `origin` of layer space
/// (after `local`, a transform of layer space applied first).
void drawTextLine(QPainter& painter, const QTransform& toDevice, const QTransform& local, QPointF origin,
                  const QString& text, double pixelSize, const TextMetrics& metrics, const QColor& color)
{
    painter.setTransform(QTransform(1, 0, 0, -1, origin.x(), origin.y()) * local * toDevice);
    painter.setFont(fontForDevice(pixelSize, painter.device()));
    painter.setPen(color);
    painter.drawText(QPointF(0, -(metrics.height - metrics.ascent)), text);
    painter.setPen(Qt::NoPen);
}

QImage transparentLayer(QSize size)
{
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    return layer;
}

bool validSize(QSize size)
{
    return size.width() > 0 && size.height() > 0;
}

} // namespace

QTransform yUpToDevice(double height, double scale)
{
    return QTransform(scale, 0, 0, -scale, 0, height * scale);
}

QFont labelFont(double pixelSize)
{
    return fontForDevice(pixelSize, nullptr);
}

void prepareForText(QImage& raster)
{
    constexpr int kDotsPerMeterAt72Dpi = 2835;
    raster.setDotsPerMeterX(kDotsPerMeterAt72Dpi);
    raster.setDotsPerMeterY(kDotsPerMeterAt72Dpi);
}

TextMetrics measureText(const QString& text, double pixelSize)
{
    const QImage& reference = textReference();
    const QFontMetricsF metrics(fontForDevice(pixelSize, &reference), &reference);
    return {metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent() + std::max(metrics.leading(), 0.0),
            metrics.ascent()};
}

TextMarkGeometry textMarkGeometry(QPointF position, double fontSize, QSizeF measured)
{
    const double px = 0.35 * fontSize;
    const double py = 0.2 * fontSize;
    const double bw = measured.width() + 2 * px;
    const double bh = measured.height() + 2 * py;
    const QPointF lowerLeft(position.x() - bw / 2, position.y() - bh / 2);
    return {QRectF(lowerLeft, QSizeF(bw, bh)), lowerLeft + QPointF(px, py), py};
}

double watermarkFontSize(const Watermark& watermark, int w, int h)
{
    return std::max(std::min(w, h) * watermark.sizeFactor, 8.0);
}

QPointF watermarkAnchor(WatermarkPosition position, int w, int h, QSizeF measured, double fontSize)
{
    const double m = 0.6 * fontSize;
    const double tw = measured.width();
    const double th = measured.height();
    switch (position) {
    case WatermarkPosition::topLeft: return {m, h - th - m};
    case WatermarkPosition::topRight: return {w - tw - m, h - th - m};
    case WatermarkPosition::bottomLeft: return {m, m};
    case WatermarkPosition::bottomRight: return {w - tw - m, m};
    case WatermarkPosition::center:
    case WatermarkPosition::tiled: break;
    }
    return {(w - tw) / 2, (h - th) / 2};
}

/// Strokes `points` as pieces of limited length. Filling one outline whose parts cross many
/// times costs Qt's rasterizer far more than the crossings' share (random long segments: seconds
/// per band); pieces of a short length cross each other rarely. Each piece ends on the point the
/// next one starts at, and round caps close the joint.
void strokeInPieces(QPainter& painter, const QList<QPointF>& points, const QPen& pen)
{
    const double pieceLength = std::max(1024.0, 8 * pen.widthF());
    qsizetype start = 0;
    while (start + 1 < points.size()) {
        QPainterPath piece(points[start]);
        double length = 0;
        qsizetype end = start + 1;
        for (; end < points.size(); ++end) {
            piece.lineTo(points[end]);
            length += QLineF(points[end - 1], points[end]).length();
            if (length >= pieceLength)
                break;
        }
        painter.strokePath(piece, pen);
        start = std::min(end, points.size() - 1);
    }
}

/// A stroke in its colour. A translucent colour is stroked opaque onto a layer that is then
/// laid on at the colour's opacity, so the joints of the pieces do not show as darker spots.
void paintStroke(QPainter& painter, const QTransform& toDevice, QSize canvasSize, const StrokeShape& stroke)
{
    const QColor color = colorOr(stroke.colorHex, Qt::red);
    QPen pen(color, stroke.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (color.alpha() == 255) {
        strokeInPieces(painter, stroke.points, pen);
        return;
    }
    if (color.alpha() == 0 || !painter.device())
        return;
    QPolygonF outline(stroke.points);
    const QRectF canvas(QPointF(0, 0), QSizeF(canvasSize));
    const QRectF reach =
        outline.boundingRect().adjusted(-stroke.lineWidth, -stroke.lineWidth, stroke.lineWidth, stroke.lineWidth)
        & canvas;
    const QRect target =
        toDevice.mapRect(reach).toAlignedRect() & QRect(0, 0, painter.device()->width(), painter.device()->height());
    if (target.isEmpty())
        return;
    QImage layer(target.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter onLayer(&layer);
        beginPainting(onLayer);
        onLayer.setTransform(toDevice * QTransform::fromTranslate(-target.x(), -target.y()));
        onLayer.setClipRect(canvas);
        QColor opaque = color;
        opaque.setAlpha(255);
        pen.setColor(opaque);
        strokeInPieces(onLayer, stroke.points, pen);
    }
    painter.save();
    painter.resetTransform();
    painter.setClipping(false);
    painter.setOpacity(color.alphaF());
    painter.drawImage(target.topLeft(), layer);
    painter.restore();
}

void paintMasks(QPainter& painter, const QTransform& toDevice, const QList<MaskRect>& masks)
{
    beginPainting(painter);
    painter.setTransform(toDevice);
    for (const MaskRect& mask : masks)
        painter.fillRect(mask.rect, colorOr(mask.colorHex, Qt::white));
}

void paintOverlay(QPainter& painter, const QTransform& toDevice, const Overlay& overlay)
{
    beginPainting(painter);
    painter.setTransform(toDevice);
    painter.setClipRect(QRectF(QPointF(0, 0), QSizeF(overlay.canvasSize)));
    if (const auto* stroke = std::get_if<StrokeShape>(&overlay.shape)) {
        if (stroke->lineWidth > 0 && stroke->points.size() >= 2)
            paintStroke(painter, toDevice, overlay.canvasSize, *stroke);
    } else if (const auto* area = std::get_if<AreaShape>(&overlay.shape); area && area->points.size() >= 3) {
        QPainterPath path(area->points.first());
        for (qsizetype i = 1; i < area->points.size(); ++i)
            path.lineTo(area->points[i]);
        path.closeSubpath();
        path.setFillRule(Qt::WindingFill);
        painter.fillPath(path, colorOr(area->colorHex, Qt::white));
    } else if (const auto* arrow = std::get_if<Arrow>(&overlay.shape)) {
        const QColor color = colorOr(arrow->colorHex, Qt::red);
        const double headLength = std::max(2 * arrow->lineWidth, 8.0);
        const double shaftLength = std::max(arrow->length - headLength, 0.0);
        const QPointF u(std::cos(arrow->angle), std::sin(arrow->angle));
        if (shaftLength > 0 && arrow->lineWidth > 0) {
            painter.setPen(QPen(color, arrow->lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            painter.drawLine(arrow->start, arrow->start + shaftLength * u);
            painter.setPen(Qt::NoPen);
        }
        const QPointF tip = arrow->tip();
        const QPointF normal(-u.y(), u.x());
        QPainterPath head(tip);
        head.lineTo(tip - headLength * u + headLength / 2 * normal);
        head.lineTo(tip - headLength * u - headLength / 2 * normal);
        head.closeSubpath();
        head.setFillRule(Qt::WindingFill);
        painter.fillPath(head, color);
    }
    painter.setClipping(false);
}

QRectF overlayReach(const Overlay& overlay)
{
    const QRectF canvas(QPointF(0, 0), QSizeF(overlay.canvasSize));
    const auto around = [&](const QList<QPointF>& points, double width) {
        if (points.isEmpty() || !std::isfinite(width))
            return QRectF();
        const double w = std::abs(width);
        return QPolygonF(points).boundingRect().adjusted(-w, -w, w, w) & canvas;
    };
    if (const auto* stroke = std::get_if<StrokeShape>(&overlay.shape))
        return around(stroke->points, stroke->lineWidth);
    if (const auto* area = std::get_if<AreaShape>(&overlay.shape))
        return around(area->points, 0);
    const auto& arrow = std::get<Arrow>(overlay.shape);
    // The head's corners lie within its length of the tip, the shaft between start and tip.
    const double head = std::max(2 * arrow.lineWidth, 8.0);
    return around({arrow.start, arrow.tip()}, std::max(head, arrow.lineWidth));
}

QRectF textMarkReach(const TextMark& mark)
{
    const double size = mark.fontSize;
    if (!(size > 0) || !std::isfinite(size))
        return {};
    const TextMetrics metrics = measureText(mark.text, size);
    const QRectF box = textMarkGeometry(mark.position, size, {metrics.width, metrics.height}).box;
    return box.adjusted(-size, -size, size, size);
}

void paintTextMarks(QPainter& painter, const QTransform& toDevice, const QList<TextMark>& marks,
                    Qt::Orientations mirroredAfter)
{
    const double sx = mirroredAfter.testFlag(Qt::Horizontal) ? -1 : 1;
    const double sy = mirroredAfter.testFlag(Qt::Vertical) ? -1 : 1;
    beginPainting(painter);
    for (const TextMark& mark : marks) {
        const double size = mark.fontSize;
        if (!(size > 0) || !std::isfinite(size))
            continue;
        const TextMetrics metrics = measureText(mark.text, size);
        const TextMarkGeometry geometry = textMarkGeometry(mark.position, size, {metrics.width, metrics.height});
        if (mark.hasBackground) {
            QPainterPath box;
            box.addRoundedRect(geometry.box, geometry.cornerRadius, geometry.cornerRadius);
            box.setFillRule(Qt::WindingFill);
            QColor shade(Qt::black);
            shade.setAlphaF(float(kMarkBackgroundAlpha));
            painter.setTransform(toDevice);
            painter.fillPath(box, shade);
        }
        // The box is symmetric about the mark's centre; only the letters need turning back.
        const QPointF c = mark.position;
        const QTransform unmirror = QTransform::fromTranslate(-c.x(), -c.y()) * QTransform::fromScale(sx, sy)
                                    * QTransform::fromTranslate(c.x(), c.y());
        drawTextLine(painter, toDevice, unmirror, geometry.textOrigin, mark.text, size, metrics,
                     colorOr(mark.colorHex, Qt::white));
    }
}

namespace {

/// The most pixels a tile's stamp may hold: this many rows of the raster's longer side.
constexpr int kStampRows = 512;
/// A stamp is blended only where stamps overlap at most this often on average: a long text
/// turned by 30 degrees has a bounding box mostly empty, and blending it would cost that many
/// times the raster's pixels.
constexpr double kMaxStampOverlap = 3.0;

Error undrawable(const QString& reason)
{
    return Error{watermarkErrors::domain, watermarkErrors::undrawable,
                 QStringLiteral("Das Wasserzeichen kann nicht gezeichnet werden: ") + reason};
}

/// Whether `text` holds anything that should leave a mark (not only spaces and format characters).
bool hasVisibleCharacters(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.isLetterOrNumber() || c.isPunct() || c.isSymbol() || c.isMark(); });
}

/// One contour of the text's outline and its bounds, in the text's local space.
struct Contour {
    QPolygonF polygon;
    QRectF bounds;
};

/// The text's outline as contours, in local space: y down, origin at the lower-left corner of
/// the line box. Filled with the winding rule one contour at a time: merging overlapping
/// contours (toFillPolygons) compares every contour with every other.
QList<Contour> textContours(const QString& text, double size, const TextMetrics& metrics)
{
    QPainterPath outline;
    const QFont glyphFont(fontForDevice(size, &textReference()), &textReference());
    outline.addText(QPointF(0, -(metrics.height - metrics.ascent)), glyphFont, text);
    QList<Contour> contours;
    for (QPolygonF& polygon : outline.toSubpathPolygons())
        contours.append({polygon, polygon.boundingRect()});
    return contours;
}

/// The contours that reach into `area` (local space; all of them for a null area), as one path.
QPainterPath contoursWithin(const QList<Contour>& contours, const QRectF& area)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const Contour& contour : contours)
        if (area.isNull() || contour.bounds.intersects(area))
            path.addPolygon(contour.polygon);
    return path;
}

/// The filled text of one tile as the runs of its rows that hold anything: the box of a turned
/// text is mostly empty, and only the runs are kept and blended.
struct Stamp {
    struct Run {
        int begin = 0, end = 0; ///< columns of the stamp, end exclusive
        qsizetype pixel = 0;    ///< where its pixels start in `pixels`
    };
    std::vector<quint32> pixels; ///< the runs' pixels, one run after the other
    QList<Run> runs;
    QList<int> rowRuns; ///< the runs of row r are runs[rowRuns[r]] up to runs[rowRuns[r + 1]]
};

Stamp withRuns(const QImage& image)
{
    constexpr int kJoinGap = 16; // a shorter gap is blended through: starting a run costs more
    Stamp stamp;
    const int w = image.width(), h = image.height();
    stamp.rowRuns.reserve(h + 1);
    for (int y = 0; y < h; ++y) {
        stamp.rowRuns.append(int(stamp.runs.size()));
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && row[x] == 0) // premultiplied: nothing to blend only where all is 0
                ++x;
            if (x == w)
                break;
            const int begin = x;
            int end = x;
            for (; x < w && x - end < kJoinGap; ++x)
                if (row[x] != 0)
                    end = x + 1;
            stamp.runs.append({begin, end, qsizetype(stamp.pixels.size())});
            stamp.pixels.insert(stamp.pixels.end(), row + begin, row + end);
        }
    }
    stamp.rowRuns.append(int(stamp.runs.size()));
    return stamp;
}

/// Blends `stamp` at each target (in their order; in the pixels of the whole raster, of which
/// `raster` holds the rows from `firstRow` on) from all cores, band by band.
void blendStamps(QImage& raster, int firstRow, const Stamp& stamp, const QList<QRect>& targets)
{
    uchar* bits = raster.bits(); // detach once, before the threads share the buffer
    const qsizetype stride = raster.bytesPerLine();
    const int width = raster.width();
    parallelBands(raster.height(), kStampRows, [&](int y0, int y1) {
        for (const QRect& whole : targets) {
            const QRect target = whole.translated(0, -firstRow);
            const int from = std::max(target.top(), y0), to = std::min(target.bottom() + 1, y1);
            for (int y = from; y < to; ++y) {
                const int sy = y - target.top();
                auto* dst = reinterpret_cast<quint32*>(bits + stride * y);
                for (int r = stamp.rowRuns[sy]; r < stamp.rowRuns[sy + 1]; ++r) {
                    const Stamp::Run& run = stamp.runs[r];
                    const int x0 = std::max(target.left() + run.begin, 0);
                    const int x1 = std::min(target.left() + run.end, width);
                    if (x1 > x0)
                        sourceOverRow(dst + x0, stamp.pixels.data() + run.pixel + (x0 - target.left() - run.begin),
                                      x1 - x0);
                }
            }
        }
    });
}

/// Fills the outline of every tile straight into the raster, band by band from all cores, each
/// band with only the contours that reach it. Needs no buffer of its own, whatever the text's size.
void fillTiles(QImage& raster, int firstRow, const QList<Contour>& contours, const QList<QTransform>& tiles,
               const QColor& color)
{
    paintInRowBands(raster, firstRow, [&](QPainter& painter, const QTransform& shift) {
        beginPainting(painter);
        const QRectF rows = shift.inverted().mapRect(
            QRectF(QPointF(0, 0), QSizeF(painter.device()->width(), painter.device()->height())));
        for (const QTransform& tile : tiles) {
            const QTransform back = tile.inverted();
            const QPainterPath path = contoursWithin(contours, back.mapRect(rows));
            if (path.isEmpty())
                continue;
            painter.setTransform(tile * shift);
            painter.fillPath(path, color);
        }
    });
}

} // namespace

struct PreparedWatermark::Plan {
    QString text;
    double size = 0;
    TextMetrics metrics;
    QColor color;
    QTransform toDevice;
    std::optional<QPointF> anchor; ///< an anchored text's origin; tiled without
    QList<Contour> contours;
    QList<QTransform> tiles;
    std::optional<Stamp> stamp;
    QList<QRect> targets; ///< where the stamp goes, in the whole raster's pixels
};

std::expected<PreparedWatermark, Error> PreparedWatermark::prepare(const QTransform& toDevice,
                                                                   const Watermark& watermark, int w, int h,
                                                                   const QRect& device, TileDrawing drawing)
{
    PreparedWatermark prepared;
    const QString text = watermark.text.trimmed().left(kWatermarkMaxLength);
    if (text.isEmpty() || w <= 0 || h <= 0 || device.isEmpty())
        return prepared;
    const double size = watermarkFontSize(watermark, w, h);
    if (!std::isfinite(size))
        return std::unexpected(undrawable(QStringLiteral("Die Schriftgröße ist keine Zahl.")));
    if (size > kMaxWatermarkFontSize)
        return std::unexpected(undrawable(QStringLiteral("Die Schrift wäre %1 Pixel hoch, höchstens %2 sind möglich.")
                                              .arg(std::llround(size))
                                              .arg(std::llround(kMaxWatermarkFontSize))));
    auto plan = std::make_shared<Plan>();
    plan->text = text;
    plan->size = size;
    plan->toDevice = toDevice;
    plan->color = colorOr(watermark.colorHex, Qt::white);
    plan->color.setAlphaF(float(std::clamp(watermark.opacity, 0.0, 1.0)));
    if (plan->color.alpha() == 0)
        return prepared; // invisible: the layer stays transparent
    plan->metrics = measureText(text, size);
    const TextMetrics& metrics = plan->metrics;
    plan->contours = textContours(text, size, metrics);
    if (plan->contours.isEmpty() && hasVisibleCharacters(text))
        return std::unexpected(undrawable(QStringLiteral("Die Schrift liefert für diesen Text keine Zeichen.")));

    if (watermark.position != WatermarkPosition::tiled) {
        plan->anchor = watermarkAnchor(watermark.position, w, h, {metrics.width, metrics.height}, size);
        prepared.m_plan = std::move(plan);
        return prepared;
    }

    const QTransform turn = QTransform::fromTranslate(-w / 2.0, -h / 2.0) * QTransform().rotate(kTileAngleDegrees)
                            * QTransform::fromTranslate(w / 2.0, h / 2.0);
    const double stepX = 2.5 * size + metrics.width;
    const double stepY = 3.5 * size;
    const double d = std::hypot(double(w), double(h));
    const QRectF layer(0, 0, w, h);
    const QRectF local(0, -metrics.height, metrics.width, metrics.height);
    // The tiles that reach the raster: each is the text moved by (x, y) in the turned frame.
    int row = 0;
    for (double y = -d; y < h + d; y += stepY, ++row) {
        for (double x = (row % 2 == 0 ? -d : stepX / 2 - d); x < w + d; x += stepX) {
            const QTransform place = QTransform(1, 0, 0, -1, x, y) * turn;
            if (place.mapRect(local).intersects(layer) && (place * toDevice).mapRect(local).intersects(device))
                plan->tiles.append(place * toDevice);
        }
    }
    if (plan->tiles.isEmpty())
        return prepared;

    // Every tile is the same picture moved. Where the text's turned box is small, the text is
    // filled once into a stamp that is blended at each tile at the nearest whole pixel (at most
    // half a pixel off): filling the outline at every one of many tiles costs several times more.
    // A long or large text's box is mostly empty and larger than the photo: its tiles are filled
    // straight into the raster. The stamp's bound follows the raster's longer side, so that a
    // photo turned upright is drawn as it is lying.
    const QTransform& first = plan->tiles.first();
    const QTransform linear(first.m11(), first.m12(), first.m21(), first.m22(), 0, 0);
    const QRect stampRect = linear.mapRect(local).toAlignedRect().adjusted(-1, -1, 1, 1);
    const double stampArea = double(stampRect.width()) * stampRect.height();
    const double cellArea = std::abs(linear.determinant()) * stepX * stepY;
    const double longerSide = std::max(w, h) * std::sqrt(std::abs(toDevice.determinant()));
    const bool stamped = drawing == TileDrawing::stamp
                         || (drawing == TileDrawing::automatic && stampArea <= longerSide * kStampRows
                             && stampArea <= kMaxStampOverlap * cellArea);
    QImage stamp = stamped ? transparentLayer(stampRect.size()) : QImage();
    if (!stamp.isNull()) {
        {
            QPainter painter(&stamp);
            beginPainting(painter);
            painter.setTransform(linear * QTransform::fromTranslate(-stampRect.left(), -stampRect.top()));
            painter.fillPath(contoursWithin(plan->contours, QRectF()), plan->color);
        }
        for (const QTransform& tile : std::as_const(plan->tiles)) {
            const QPointF at = tile.map(QPointF(0, 0));
            plan->targets.append(QRect(QPoint(int(std::lround(at.x())), int(std::lround(at.y()))) + stampRect.topLeft(),
                                       stampRect.size()));
        }
        plan->stamp = withRuns(stamp);
    }
    prepared.m_plan = std::move(plan);
    return prepared;
}

void PreparedWatermark::paint(QImage& raster, int firstRow) const
{
    if (!m_plan || raster.isNull())
        return;
    const Plan& plan = *m_plan;
    if (plan.anchor) {
        paintInRowBands(raster, firstRow, [&](QPainter& painter, const QTransform& shift) {
            beginPainting(painter);
            drawTextLine(painter, plan.toDevice * shift, QTransform(), *plan.anchor, plan.text, plan.size, plan.metrics,
                         plan.color);
        });
    } else if (plan.stamp && raster.format() == QImage::Format_ARGB32_Premultiplied) {
        blendStamps(raster, firstRow, *plan.stamp, plan.targets);
    } else {
        fillTiles(raster, firstRow, plan.contours, plan.tiles, plan.color);
    }
}

std::expected<void, Error> paintWatermark(QImage& raster, const QTransform& toDevice, const Watermark& watermark, int w,
                                          int h, TileDrawing drawing, int firstRow)
{
    if (raster.isNull())
        return {};
    auto prepared =
        PreparedWatermark::prepare(toDevice, watermark, w, h, raster.rect().translated(0, firstRow), drawing);
    if (!prepared)
        return std::unexpected(prepared.error());
    prepared->paint(raster, firstRow);
    return {};
}

std::optional<QImage> drawTextMarks(const QList<TextMark>& marks, QSize size)
{
    if (marks.isEmpty() || !validSize(size))
        return std::nullopt;
    QImage layer = transparentLayer(size);
    QPainter painter(&layer);
    paintTextMarks(painter, yUpToDevice(size.height()), marks);
    painter.end();
    return layer;
}

std::optional<QImage> drawWatermark(const Watermark& watermark, QSize size)
{
    if (watermark.text.trimmed().isEmpty() || !validSize(size))
        return std::nullopt;
    QImage layer = transparentLayer(size);
    if (!paintWatermark(layer, yUpToDevice(size.height()), watermark, size.width(), size.height()))
        return std::nullopt;
    return layer;
}

QList<QPointF> simplifyPolyline(const QList<QPointF>& points, double tolerance, qsizetype maxPoints)
{
    if (points.size() <= 2)
        return points;
    maxPoints = std::max<qsizetype>(maxPoints, 2);
    // A span between two kept points, with the point farthest from their line.
    struct Span {
        qsizetype first, last, farthest;
        double distance;
        bool operator<(const Span& other) const { return distance < other.distance; }
    };
    const auto span = [&points](qsizetype first, qsizetype last) {
        Span s{first, last, first, -1};
        const QPointF a = points[first];
        const QPointF ab = points[last] - a;
        const double length = std::hypot(ab.x(), ab.y());
        for (qsizetype i = first + 1; i < last; ++i) {
            const QPointF ap = points[i] - a;
            // Distance to the line through a and b, or to a when the two coincide.
            const double d =
                length > 0 ? std::abs(ab.x() * ap.y() - ab.y() * ap.x()) / length : std::hypot(ap.x(), ap.y());
            if (d > s.distance) {
                s.distance = d;
                s.farthest = i;
            }
        }
        return s;
    };
    // The farthest deviation is split first, so a cap keeps the points that matter most.
    std::vector<bool> keep(size_t(points.size()), false);
    keep.front() = keep.back() = true;
    qsizetype kept = 2;
    std::priority_queue<Span> open;
    open.push(span(0, points.size() - 1));
    while (!open.empty() && kept < maxPoints) {
        const Span next = open.top();
        open.pop();
        if (next.distance <= tolerance)
            break; // the largest deviation left is within the tolerance: so are all others
        keep[size_t(next.farthest)] = true;
        ++kept;
        if (next.farthest - next.first > 1)
            open.push(span(next.first, next.farthest));
        if (next.last - next.farthest > 1)
            open.push(span(next.farthest, next.last));
    }
    QList<QPointF> simplified;
    simplified.reserve(kept);
    for (qsizetype i = 0; i < points.size(); ++i)
        if (keep[size_t(i)])
            simplified.append(points[i]);
    return simplified;
}

std::optional<Overlay> rasterizeStroke(const QList<QPointF>& points, const QString& colorHex, QSize size,
                                       double lineWidth)
{
    if (points.size() < 2 || !validSize(size))
        return std::nullopt;
    return Overlay{StrokeShape{simplifyPolyline(points, kSimplifyTolerance, kMaxStrokePoints), colorHex, lineWidth},
                   size};
}

std::optional<Overlay> rasterizeFilledArea(const QList<QPointF>& points, const QString& colorHex, QSize size)
{
    if (points.size() < 3 || !validSize(size))
        return std::nullopt;
    QList<QPointF> simplified = simplifyPolyline(points, kSimplifyTolerance, kMaxAreaPoints);
    if (simplified.size() < 3)
        return std::nullopt; // all points on one line: nothing to fill
    return Overlay{AreaShape{std::move(simplified), colorHex}, size};
}

std::optional<Overlay> rasterizeArrow(const Arrow& arrow, QSize size)
{
    if (!validSize(size))
        return std::nullopt;
    return Overlay{arrow, size};
}

namespace {

double polylineLength(const QList<QPointF>& points, bool closed)
{
    double length = 0;
    for (qsizetype i = 1; i < points.size(); ++i)
        length += QLineF(points[i - 1], points[i]).length();
    if (closed && points.size() > 2)
        length += QLineF(points.last(), points.first()).length();
    return length;
}

/// The share of a shape's points kept under `share`: at least the fewest the shape needs.
qsizetype keptPoints(qsizetype points, double share, qsizetype fewest)
{
    return std::max(fewest, qsizetype(std::floor(double(points) * share)));
}

} // namespace

double overlayWork(const Overlay& overlay)
{
    // Nanoseconds of Qt's anti-aliased rasterizer on one core here, measured on 24 MP: its cost
    // grows with the box of each shape it fills, and for a filled area with the cells of the
    // outline times the edges they share a row with.
    constexpr double kPerPoint = 200;
    constexpr double kPerBoxPixel = 1.5;
    constexpr double kPerCrossedCell = 600;
    if (const auto* stroke = std::get_if<StrokeShape>(&overlay.shape)) {
        const double width = std::isfinite(stroke->lineWidth) ? std::abs(stroke->lineWidth) : 0;
        const QList<QPointF>& points = stroke->points;
        // The pieces strokeInPieces() draws, each one filled within its own box.
        const double pieceLength = std::max(1024.0, 8 * width);
        double work = kPerPoint * double(points.size());
        for (qsizetype start = 0; start + 1 < points.size();) {
            double left = points[start].x(), right = left, top = points[start].y(), bottom = top;
            double length = 0;
            qsizetype end = start + 1;
            for (; end < points.size(); ++end) {
                left = std::min(left, points[end].x()), right = std::max(right, points[end].x());
                top = std::min(top, points[end].y()), bottom = std::max(bottom, points[end].y());
                length += QLineF(points[end - 1], points[end]).length();
                if (length >= pieceLength)
                    break;
            }
            const QRectF box = QRectF(QPointF(left - width, top - width), QPointF(right + width, bottom + width))
                               & QRectF(QPointF(0, 0), QSizeF(overlay.canvasSize));
            work += kPerBoxPixel * box.width() * box.height();
            start = std::min(end, points.size() - 1);
        }
        return work;
    }
    if (const auto* area = std::get_if<AreaShape>(&overlay.shape)) {
        const QList<QPointF>& points = area->points;
        double rows = 0;
        for (qsizetype i = 0; i < points.size(); ++i)
            rows += std::abs(points[i].y() - points[(i + 1) % points.size()].y());
        const double crossings = 1 + rows / std::max(1, overlay.canvasSize.height());
        return kPerCrossedCell * polylineLength(points, true) * crossings + kPerPoint * double(points.size());
    }
    const auto& arrow = std::get<Arrow>(overlay.shape);
    const double width = std::isfinite(arrow.lineWidth) ? std::abs(arrow.lineWidth) : 0;
    const double length = std::isfinite(arrow.length) ? std::abs(arrow.length) : 0;
    const double reach =
        std::min(length + 2 * width, std::hypot(overlay.canvasSize.width(), overlay.canvasSize.height()));
    return kPerBoxPixel * reach * reach + kPerPoint;
}

QList<Overlay> withinWorkBudget(QList<Overlay> overlays, QSize canvas)
{
    const double budget = kOverlayWorkPerPixel * std::max(1.0, double(canvas.width()) * canvas.height());
    const auto total = [&] {
        double sum = 0;
        for (const Overlay& overlay : std::as_const(overlays))
            sum += overlayWork(overlay);
        return sum;
    };
    // Fewer points shorten a stroke that zigzags across the photo about in proportion, and an
    // area's cost falls with their square: a share of the square root, in a few rounds, brings
    // both within the budget without cutting far below it.
    for (int round = 0; round < 16; ++round) {
        const double work = total();
        if (!(work > budget))
            break;
        const double share = std::clamp(std::sqrt(budget / work), 0.0, 0.9);
        for (Overlay& overlay : overlays) {
            if (auto* stroke = std::get_if<StrokeShape>(&overlay.shape); stroke && stroke->points.size() > 2)
                stroke->points =
                    simplifyPolyline(stroke->points, kSimplifyTolerance, keptPoints(stroke->points.size(), share, 2));
            else if (auto* area = std::get_if<AreaShape>(&overlay.shape); area && area->points.size() > 3)
                area->points =
                    simplifyPolyline(area->points, kSimplifyTolerance, keptPoints(area->points.size(), share, 3));
        }
    }
    return overlays;
}

QImage overlayBitmap(const Overlay& overlay)
{
    QImage layer = transparentLayer(overlay.canvasSize);
    QPainter painter(&layer);
    paintOverlay(painter, yUpToDevice(overlay.canvasSize.height()), overlay);
    painter.end();
    return layer;
}

} // namespace lumora
