#pragma once

#include "base/Error.h"
#include "pipeline/ColorPass.h"
#include "pipeline/Dihedral.h"
#include "pipeline/EditState.h"
#include "pipeline/Image.h"
#include "pipeline/SourceImage.h"
#include "pipeline/TilePool.h"

#include <expected>
#include <memory>
#include <vector>

namespace lumora {

class PreparedWatermark;

/// Bounding box of the rectangle (0, 0, size) turned by `degrees` counter-clockwise about its
/// centre, in y-up pixel space. A quarter turn of W × H gives (W/2 − H/2, H/2 − W/2, H, W).
[[nodiscard]] QRectF turnedExtent(QSizeF size, double degrees);

/// The render chain: masks, overlays, exposure, colour controls, sharpening, text marks,
/// mirror, turn, watermark, in that order, on `original` with `edits`.
/// `scale` in (0, 1] renders the same chain at that fraction of full resolution (decoded with
/// shrink-on-load; strokes, text and the sharpening radius scale along), for displays.
/// Quarter turns and mirrors are exact pixel permutations. Thread-safe and pure.
/// Fails when the original cannot be decoded (domain "Decoder") or the watermark cannot be
/// drawn (watermarkErrors in Overlays.h): a file is never written without its watermark.
[[nodiscard]] std::expected<Image, Error> renderImage(const SourceImage& original, const EditState& edits,
                                                      double scale = 1.0);

/// What the chain does with a watermark it cannot draw.
enum class WatermarkFailure {
    fail,     ///< the render fails with the watermark's error (anything that is written)
    leaveOut, ///< the render goes on without it (what is only shown)
};

/// The chain on an original that is already decoded: `base` is the upright original at any
/// size (the render scale is base.width() / originalSize.width()). Consumes `base` (pass it
/// moved to let the chain paint into it without a copy). Fails only with the watermark's error,
/// and only with WatermarkFailure::fail.
[[nodiscard]] std::expected<Image, Error> renderDecodedChecked(QImage base, QSize originalSize, const EditState& edits,
                                                               WatermarkFailure onFailure = WatermarkFailure::fail);

/// The working raster of a banded render (BandedRender::start) made while the original is
/// decoded: each band of decoded rows gets its masks and overlays and is cut into the pieces
/// that the final raster's bands are made from, with the sharpening's reach around each, in
/// tiles of a TilePool. A band of the final raster, once made, lets its piece go: the memory goes
/// back as the render moves on, and the next photo can be decoded into it meanwhile.
/// For the full-size original with a quarter turn (or none) only; see streams().
class BandedSource {
public:
    /// For the upright original of `sourceSize` (its full decode, of `originalSize`) and
    /// `edits`, with tiles of photo `owner` from `pool` (which must outlive the source).
    BandedSource(QSize sourceSize, QSize originalSize, EditState edits, TilePool& pool, int owner);

    /// Whether the render can be made from bands of the source: false for an arbitrary turn
    /// (which reads anywhere in its source) or an empty original.
    [[nodiscard]] bool streams() const { return !m_areas.empty(); }

    /// The raster that source rows [firstRow, firstRow + rows) are to be decoded into, in
    /// kPaintBandRows bands from the top; null when the pool is closed or memory ran out.
    [[nodiscard]] QImage bandFor(int firstRow, int rows);
    /// Takes the band decoded into bandFor's raster: paints masks and overlays onto it and keeps
    /// its pixels. False when the pool gave nothing (it was closed).
    [[nodiscard]] bool add(QImage& band, int firstRow);

private:
    friend class BandedRender;
    /// The source rows of final band `band` with the reach around them, from the tiles.
    [[nodiscard]] SourceRows piece(int band) const;
    /// Lets final band `band`'s piece go.
    void release(int band);

    QSize m_size;
    QSize m_originalSize;
    EditState m_edits;
    TilePool* m_pool;
    int m_owner;
    Dihedral m_turn;
    std::vector<QRect> m_areas; ///< per final band: the source it is made from
    /// Transposing turns: per final band, a tile per decoded band (its columns of those rows).
    /// Others: one row of tiles, a decoded band each, shared by the final bands that read it.
    std::vector<std::vector<Tile>> m_tiles;
    std::vector<int> m_users;     ///< per decoded band, the final bands yet to read it (others)
    Tile m_scratch;               ///< transposing turns: where a band is decoded before it is cut
    qsizetype m_tileCapacity = 0; ///< of every tile's buffer: the largest tile's size
    int m_dotsPerMeterX = 0, m_dotsPerMeterY = 0;
};

/// The render chain of renderDecodedChecked (at any size, a watermark it cannot draw a
/// failure) made band by band: any rows of the final raster on request, the same pixels as
/// those rows of the whole render, without ever holding the whole result. Holds the working
/// raster (the original with its masks and overlays) until released; an arbitrary turn, which
/// reads anywhere in its source, is rendered whole by start() and handed out in bands.
class BandedRender {
public:
    /// Takes `base` (the upright original at any size, see renderDecodedChecked; pass it moved)
    /// and paints masks and overlays onto it. Fails only with the watermark's error.
    [[nodiscard]] static std::expected<BandedRender, Error> start(QImage base, QSize originalSize,
                                                                  const EditState& edits);
    /// The render of a source decoded into `source` (every band added). Its rows() are bands
    /// of kPaintBandRows from a multiple of it; releaseBand() lets each band's source go.
    [[nodiscard]] static std::expected<BandedRender, Error> start(BandedSource source);

    /// Pixel size of the final raster; empty for an empty original.
    [[nodiscard]] QSize size() const { return m_size; }
    /// The final image's extent (as Image::extent of the whole render).
    [[nodiscard]] QRectF extent() const { return m_extent; }

    /// Rows [firstRow, firstRow + count) of the final raster (clipped to it) as a new raster,
    /// made from all cores (all rows of a raster rendered whole: that raster, shared). The
    /// watermark's error comes from start(), which prepares it once for all bands; the error
    /// case is kept for callers. Safe to call from several threads at once, but not together
    /// with releaseSource(). `reuse`: a band given back, written over when it fits (see
    /// colorAndTurnRows).
    [[nodiscard]] std::expected<QImage, Error> rows(int firstRow, int count, QImage reuse = {}) const;

    /// Whether start() rendered the whole raster already (an arbitrary turn): the original's
    /// pixels have then gone.
    [[nodiscard]] bool renderedWhole() const { return !m_whole.isNull(); }

    /// Lets the working raster go (rows() returns nothing afterwards).
    void releaseSource();
    /// Lets the source of the band of rows from `firstRow` go, where the source is held in
    /// bands (BandedSource): those rows are not asked for again.
    void releaseBand(int firstRow);

private:
    QImage m_source;                       ///< the working raster, before colour and turn
    std::unique_ptr<BandedSource> m_bands; ///< or the working raster in bands
    QImage m_whole;                        ///< the final raster, for arbitrary turns
    QSize m_size;
    QSize m_unturnedSize; ///< of the working raster
    QRectF m_extent;
    QSize m_originalSize;
    EditState m_edits;
    Dihedral m_applied;
    double m_sigma = 0;
    std::shared_ptr<const PreparedWatermark> m_watermark; ///< prepared once for all bands
};

/// renderDecodedChecked for displays: a watermark that cannot be drawn is left out. Never fails.
[[nodiscard]] Image renderDecoded(QImage base, QSize originalSize, const EditState& edits);

} // namespace lumora
