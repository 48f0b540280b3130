#include "pipeline/Render.h"

#include "base/Parallel.h"
#include "pipeline/ColorPass.h"
#include "pipeline/Overlays.h"
#include "pipeline/RowBands.h"

#include <QElapsedTimer>
#include <QPainter>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>

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

/// Whether `reach` (in the whole raster's pixels) meets the band a paintInRowBands painter draws,
/// `shift` being the band's offset.
bool reachesBand(const QRectF& reach, const QPainter& painter, const QTransform& shift)
{
    const double top = -shift.dy();
    return !reach.isEmpty() && reach.bottom() >= top && reach.top() <= top + painter.device()->height();
}

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

/// Steps 2-3: masks and committed overlays, painted straight onto the working raster, of which
/// `raster` holds the rows from `firstRow` on (the whole one is `rasterSize`).
void paintOverlaysStep(QImage& raster, int firstRow, QSize rasterSize, QSize originalSize, const EditState& edits)
{
    if (edits.masks.isEmpty() && edits.freehandOverlays.isEmpty())
        return;
    const QTransform toDevice = layerToRaster(QSizeF(originalSize), rasterSize);
    // However many strokes an edit state holds, the photo is drawn in bounded time.
    const QList<Overlay> overlays = withinWorkBudget(edits.freehandOverlays, originalSize);
    // Each band draws only the overlays that reach into it: a stroke is outlined again for
    // every band it is drawn in.
    QList<QRectF> reaches;
    for (const Overlay& overlay : overlays)
        reaches.append(toDevice.mapRect(overlayReach(overlay)).adjusted(-2, -2, 2, 2));
    paintInRowBands(raster, firstRow, [&](QPainter& painter, const QTransform& shift) {
        if (!edits.masks.isEmpty())
            paintMasks(painter, toDevice * shift, edits.masks);
        for (qsizetype i = 0; i < overlays.size(); ++i)
            if (reachesBand(reaches[i], painter, shift))
                paintOverlay(painter, toDevice * shift, overlays[i]);
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
    QList<QRectF> reaches;
    for (const TextMark& mark : edits.textMarks) {
        const QRectF reach = textMarkReach(mark);
        reaches.append(reach.isEmpty() ? QRectF() : toDevice.mapRect(reach).adjusted(-2, -2, 2, 2));
    }
    paintInRowBands(out, firstRow, [&](QPainter& painter, const QTransform& shift) {
        QList<TextMark> reaching; // the marks that reach into this band, in their order
        for (qsizetype i = 0; i < edits.textMarks.size(); ++i)
            if (reachesBand(reaches[i], painter, shift))
                reaching.append(edits.textMarks[i]);
        if (!reaching.isEmpty())
            paintTextMarks(painter, toDevice * shift, reaching, mirrored);
    });
}

/// The watermarks prepared last, with what they were prepared for: the photos of an export
/// mostly share their size and watermark, and a slider's renders their display size, so a
/// watermark's tiles are found and its stamp filled once for all of them rather than per render.
class RecentWatermarks {
public:
    std::expected<PreparedWatermark, Error> prepared(QSize outSize, int w, int h, const Watermark& watermark)
    {
        {
            const std::lock_guard lock(m_mutex);
            for (const Entry& entry : m_entries)
                if (entry.outSize == outSize && entry.w == w && entry.h == h && entry.watermark == watermark)
                    return entry.prepared;
        }
        auto made = PreparedWatermark::prepare(layerToRaster(QSizeF(w, h), outSize), watermark, w, h,
                                               QRect(QPoint(0, 0), outSize));
        if (made) {
            const std::lock_guard lock(m_mutex);
            m_entries[m_next] = Entry{outSize, w, h, watermark, *made};
            m_next = (m_next + 1) % m_entries.size();
        }
        return made;
    }

private:
    struct Entry {
        QSize outSize;
        int w = 0, h = 0;
        Watermark watermark;
        PreparedWatermark prepared;
    };
    std::mutex m_mutex;
    std::array<Entry, 2> m_entries; ///< an export's and the editor's display size
    size_t m_next = 0;
};

/// Step 10: the watermark, upright over the final extent, made ready for the final raster of
/// `outSize` (nothing to paint without one).
std::expected<PreparedWatermark, Error> prepareWatermarkStep(QSize outSize, const QRectF& extent,
                                                             const EditState& edits)
{
    const int w = int(extent.width());
    const int h = int(extent.height());
    if (!edits.watermark || w <= 0 || h <= 0)
        return PreparedWatermark();
    static RecentWatermarks recent;
    return recent.prepared(outSize, w, h, *edits.watermark);
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

    paintOverlaysStep(base, 0, base.size(), originalSize, edits);
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
    paintOverlaysStep(base, 0, base.size(), originalSize, edits);
    render.m_applied = Dihedral{edits.flippedH, edits.flippedV, quarter};
    render.m_unturnedSize = base.size();
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

std::expected<BandedRender, Error> BandedRender::start(BandedSource source)
{
    BandedRender render;
    if (!source.streams())
        return render;
    const EditState& edits = source.m_edits;
    render.m_extent = turnedExtent(QSizeF(source.m_originalSize), edits.rotation);
    render.m_applied = source.m_turn;
    render.m_unturnedSize = source.m_size;
    render.m_size = render.m_applied.transposes() ? source.m_size.transposed() : source.m_size;
    render.m_sigma = kSharpenRadius * double(source.m_size.width()) / source.m_originalSize.width();
    render.m_originalSize = source.m_originalSize;
    render.m_edits = edits;
    auto watermark = prepareWatermarkStep(render.m_size, render.m_extent, edits);
    if (!watermark)
        return std::unexpected(watermark.error());
    render.m_watermark = std::make_shared<const PreparedWatermark>(std::move(*watermark));
    source.m_scratch = Tile(); // decoded: every band is in the tiles
    render.m_bands = std::make_unique<BandedSource>(std::move(source));
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
    QImage band;
    if (m_bands) {
        const int index = firstRow / kPaintBandRows;
        if (firstRow % kPaintBandRows != 0 || count != std::min(kPaintBandRows, m_size.height() - firstRow))
            return QImage(); // the source is held in these bands only
        band = colorAndTurnRows(m_bands->piece(index), m_bands->m_areas[size_t(index)], m_unturnedSize,
                                m_edits.adjustment, m_sigma, m_applied, firstRow, count, std::move(reuse));
        band.setDotsPerMeterX(m_bands->m_dotsPerMeterX);
        band.setDotsPerMeterY(m_bands->m_dotsPerMeterY);
    } else {
        band = colorAndTurnRows(m_source, m_edits.adjustment, m_sigma, m_applied, firstRow, count, std::move(reuse));
    }
    if (band.isNull())
        return band;
    paintTextStep(band, firstRow, m_unturnedSize, m_originalSize, m_edits, m_applied);
    if (m_watermark)
        m_watermark->paint(band, firstRow);
    return band;
}

void BandedRender::releaseSource()
{
    m_source = QImage();
    m_whole = QImage();
    m_bands.reset();
}

void BandedRender::releaseBand(int firstRow)
{
    if (m_bands && firstRow >= 0 && firstRow % kPaintBandRows == 0)
        m_bands->release(firstRow / kPaintBandRows);
}

BandedSource::BandedSource(QSize sourceSize, QSize originalSize, EditState edits, TilePool& pool, int owner)
    : m_size(sourceSize), m_originalSize(originalSize), m_edits(std::move(edits)), m_pool(&pool), m_owner(owner)
{
    const int quarter = quarterTurnsOf(m_edits.rotation);
    if (quarter < 0 || sourceSize.isEmpty() || originalSize.isEmpty())
        return;
    m_turn = Dihedral{m_edits.flippedH, m_edits.flippedV, quarter};
    const int w = sourceSize.width(), h = sourceSize.height();
    const int reach = colorPassReach(m_edits.adjustment, kSharpenRadius * double(w) / originalSize.width());
    const int finalRows = m_turn.transposes() ? w : h;
    for (int first = 0; first < finalRows; first += kPaintBandRows)
        m_areas.push_back(sourceOfRows(sourceSize, m_turn, first, kPaintBandRows, reach));
    const int decodedBands = (h + kPaintBandRows - 1) / kPaintBandRows;
    if (m_turn.transposes()) {
        m_tiles.resize(m_areas.size());
        for (auto& tiles : m_tiles)
            tiles.resize(size_t(decodedBands));
        int widest = 0;
        for (const QRect& area : m_areas)
            widest = std::max(widest, area.width());
        m_tileCapacity = qsizetype(widest) * kPaintBandRows * 4;
        pool.warm(m_tileCapacity, int(m_areas.size()) * decodedBands);
        return;
    }
    m_tileCapacity = qsizetype(w) * kPaintBandRows * 4;
    pool.warm(m_tileCapacity, decodedBands);
    m_tiles.resize(1);
    m_tiles[0].resize(size_t(decodedBands));
    m_users.assign(size_t(decodedBands), 0);
    for (const QRect& area : m_areas)
        for (int b = area.top() / kPaintBandRows; b <= area.bottom() / kPaintBandRows; ++b)
            ++m_users[size_t(b)];
}

QImage BandedSource::bandFor(int firstRow, int rows)
{
    const int w = m_size.width();
    if (!streams() || firstRow % kPaintBandRows != 0 || rows <= 0 || rows > kPaintBandRows)
        return {};
    if (m_turn.transposes()) {
        if (m_scratch.isNull())
            m_scratch = m_pool->take(m_owner, qsizetype(w) * kPaintBandRows * 4);
        if (m_scratch.isNull())
            return {};
        return QImage(m_scratch.data(), w, rows, qsizetype(w) * 4, QImage::Format_ARGB32_Premultiplied);
    }
    Tile& tile = m_tiles[0][size_t(firstRow / kPaintBandRows)];
    tile = m_pool->take(m_owner, qsizetype(w) * rows * 4, m_tileCapacity);
    if (tile.isNull())
        return {};
    return QImage(tile.data(), w, rows, qsizetype(w) * 4, QImage::Format_ARGB32_Premultiplied);
}

bool BandedSource::add(QImage& band, int firstRow)
{
    if (!streams() || band.isNull() || firstRow % kPaintBandRows != 0 || band.width() != m_size.width())
        return false;
    if (firstRow == 0) {
        m_dotsPerMeterX = band.dotsPerMeterX();
        m_dotsPerMeterY = band.dotsPerMeterY();
    }
    paintOverlaysStep(band, firstRow, m_size, m_originalSize, m_edits);
    const int decoded = firstRow / kPaintBandRows;
    const int rows = band.height();
    if (!m_turn.transposes()) {
        Tile& tile = m_tiles[0][size_t(decoded)];
        if (!tile.isNull() && tile.data() == band.constBits())
            return true; // decoded into its tile
        tile = m_pool->take(m_owner, qsizetype(band.width()) * rows * 4, m_tileCapacity);
        if (tile.isNull())
            return false;
        for (int y = 0; y < rows; ++y)
            std::memcpy(tile.data() + qsizetype(y) * band.width() * 4, band.constScanLine(y), size_t(band.width()) * 4);
        return true;
    }
    // Each final band's columns of these rows into a tile of their own.
    for (size_t index = 0; index < m_areas.size(); ++index) {
        const QRect& area = m_areas[index];
        const qsizetype stride = qsizetype(area.width()) * 4;
        Tile tile = m_pool->take(m_owner, stride * rows, m_tileCapacity);
        if (tile.isNull())
            return false;
        for (int y = 0; y < rows; ++y)
            std::memcpy(tile.data() + stride * y, band.constScanLine(y) + qsizetype(area.x()) * 4, size_t(stride));
        m_tiles[index][size_t(decoded)] = std::move(tile);
    }
    return true;
}

SourceRows BandedSource::piece(int band) const
{
    if (band < 0 || size_t(band) >= m_areas.size() || m_areas[size_t(band)].isEmpty())
        return {};
    const QRect& area = m_areas[size_t(band)];
    SourceRows rows{std::vector<const uchar*>(size_t(area.height())), area.width()};
    const std::vector<Tile>& tiles = m_turn.transposes() ? m_tiles[size_t(band)] : m_tiles[0];
    const qsizetype stride = qsizetype(area.width()) * 4;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const Tile& tile = tiles[size_t(y / kPaintBandRows)];
        if (tile.isNull())
            return {}; // not decoded, or let go
        rows.rows[size_t(y - area.top())] = tile.data() + stride * (y % kPaintBandRows);
    }
    return rows;
}

void BandedSource::release(int band)
{
    if (band < 0 || size_t(band) >= m_areas.size() || m_areas[size_t(band)].isEmpty())
        return;
    const QRect area = std::exchange(m_areas[size_t(band)], QRect());
    if (m_turn.transposes()) {
        m_tiles[size_t(band)].clear();
        return;
    }
    for (int b = area.top() / kPaintBandRows; b <= area.bottom() / kPaintBandRows; ++b)
        if (--m_users[size_t(b)] == 0)
            m_tiles[0][size_t(b)] = Tile();
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
