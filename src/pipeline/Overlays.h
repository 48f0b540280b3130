#pragma once

#include "base/Error.h"
#include "pipeline/EditState.h"

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QTransform>
#include <expected>
#include <memory>
#include <optional>

class QPainter;

namespace lumora {

// The overlay routines draw in layer space: pixels of a W × H layer, origin lower-left, y up.
// Each routine that paints takes a QPainter and `toDevice`, the transform from layer space to
// the painter's device pixels (a y flip, times the render scale, times any mirror or turn).
// Drawing straight onto the photo with source-over gives the same pixels as drawing a
// transparent layer and compositing it, because source-over is associative.

/// Layer space of a layer `height` pixels high → device pixels of a raster drawn at `scale`.
[[nodiscard]] QTransform yUpToDevice(double height, double scale = 1.0);

/// The semibold label font at `pixelSize` (Inter, falling back to the UI font). Sizes are
/// exact pixels on rasters prepared with prepareForText().
[[nodiscard]] QFont labelFont(double pixelSize);
/// Sets the raster's resolution to 72 dpi so that font sizes in points equal pixels.
void prepareForText(QImage& raster);

/// A string's box as the chain measures it: advance width and one line height.
struct TextMetrics {
    double width = 0;
    double height = 0;
    double ascent = 0;
};
[[nodiscard]] TextMetrics measureText(const QString& text, double pixelSize);

/// Box of a text mark in layer space: `box` (lower-left origin, y up) and the lower-left
/// corner of the text line inside it. `measured` is the text's TextMetrics width and height.
struct TextMarkGeometry {
    QRectF box;
    QPointF textOrigin;
    double cornerRadius = 0;
};
[[nodiscard]] TextMarkGeometry textMarkGeometry(QPointF position, double fontSize, QSizeF measured);

/// Font size of a watermark on a w × h layer: max(min(w, h) × sizeFactor, 8).
[[nodiscard]] double watermarkFontSize(const Watermark& watermark, int w, int h);
/// Lower-left corner of an anchored watermark's text box (not for `tiled`).
[[nodiscard]] QPointF watermarkAnchor(WatermarkPosition position, int w, int h, QSizeF measured, double fontSize);

// --- painting (steps 2, 3, 7 and 10 of the chain) ---

void paintMasks(QPainter& painter, const QTransform& toDevice, const QList<MaskRect>& masks);
void paintOverlay(QPainter& painter, const QTransform& toDevice, const Overlay& overlay);
/// Where in layer space paintOverlay may change pixels (before anti-aliasing's one pixel
/// more): the shape with its line width around it, within its canvas.
[[nodiscard]] QRectF overlayReach(const Overlay& overlay);
/// Where in layer space paintTextMarks may change pixels for `mark`: its box, and an em more
/// on each side for letters that reach beyond their advance. Empty when it draws nothing.
[[nodiscard]] QRectF textMarkReach(const TextMark& mark);
/// Paints text marks (positions in layer space). `mirroredAfter` names the axes that `toDevice`
/// mirrors: each mark's letters are drawn mirrored about its centre along them first, so that
/// the mark stands where the mirror puts it while its letters still read the right way round.
void paintTextMarks(QPainter& painter, const QTransform& toDevice, const QList<TextMark>& marks,
                    Qt::Orientations mirroredAfter = {});
/// Errors of drawing the watermark: domain "Wasserzeichen".
namespace watermarkErrors {
inline constexpr QLatin1StringView domain{"Wasserzeichen"};
enum Code : int {
    undrawable = -1, ///< the font cannot draw the text at this size
};
} // namespace watermarkErrors

/// The largest watermark font drawn, in pixels. The sheet's largest size on the largest photo
/// the decoders accept stays far below it.
inline constexpr double kMaxWatermarkFontSize = 32768;

/// How a tiled watermark is drawn: `automatic` picks the faster of the two that keep memory
/// bounded; the others force one (for tests).
enum class TileDrawing { automatic, stamp, fill };

/// Paints the watermark of a w × h layer onto `raster` (from all cores when tiled); nothing
/// when the trimmed text is empty. Memory beyond the raster stays below 512 rows of its longer side,
/// and time grows with the raster's pixels, not with the text's length or size: a tiled text is
/// filled into one stamp that is blended at each tile, or, where that stamp would be large or
/// mostly empty, filled tile by tile straight into the raster, clipped to it.
/// Fails (watermarkErrors::undrawable, a German reason) when the font size is not finite or
/// above kMaxWatermarkFontSize, or the font yields no outline for a text with visible
/// characters; the raster is then unchanged.
/// `firstRow`: `raster` holds the rows from firstRow on of the raster that `toDevice` maps to
/// (a band of it, as wide); the band gets exactly the pixels of those rows of a whole painting.
[[nodiscard]] std::expected<void, Error> paintWatermark(QImage& raster, const QTransform& toDevice,
                                                        const Watermark& watermark, int w, int h,
                                                        TileDrawing drawing = TileDrawing::automatic, int firstRow = 0);

/// A watermark made ready to paint onto any rows of the raster that `toDevice` maps a w × h
/// layer to: its tiles found and its stamp filled once, so that a render streamed band by band
/// paints each band with the same one. paintWatermark is prepare, then paint.
class PreparedWatermark {
public:
    /// Fails as paintWatermark does. `device`: the rows of the raster that will be painted, in
    /// the whole raster's pixels (tiles outside them are left out).
    [[nodiscard]] static std::expected<PreparedWatermark, Error> prepare(const QTransform& toDevice,
                                                                         const Watermark& watermark, int w, int h,
                                                                         const QRect& device,
                                                                         TileDrawing drawing = TileDrawing::automatic);
    /// Paints onto `raster`, which holds the rows from `firstRow` on of the whole raster.
    /// Thread-safe: one prepared watermark may paint several bands at once.
    void paint(QImage& raster, int firstRow = 0) const;

    struct Plan;

private:
    std::shared_ptr<const Plan> m_plan; ///< null: nothing to paint
};

// --- the routines as separate layers ---

/// A transparent W × H layer with the marks; none for an empty list or a non-positive size.
[[nodiscard]] std::optional<QImage> drawTextMarks(const QList<TextMark>& marks, QSize size);
/// A transparent w × h layer with the watermark; none for empty text, a non-positive size or a
/// watermark paintWatermark cannot draw.
[[nodiscard]] std::optional<QImage> drawWatermark(const Watermark& watermark, QSize size);
/// The committed stroke, simplified to half an image pixel (at most kMaxStrokePoints points);
/// none for fewer than 2 points or a non-positive size.
[[nodiscard]] std::optional<Overlay> rasterizeStroke(const QList<QPointF>& points, const QString& colorHex, QSize size,
                                                     double lineWidth);
/// The committed area, simplified like a stroke (at most kMaxAreaPoints points); none for
/// fewer than 3 points or a non-positive size.
[[nodiscard]] std::optional<Overlay> rasterizeFilledArea(const QList<QPointF>& points, const QString& colorHex,
                                                         QSize size);
/// Most points a committed stroke or area keeps. Drawing cost grows with the points (and for
/// an area with its self-crossings), so a commit simplifies further until it fits.
inline constexpr qsizetype kMaxStrokePoints = 4000;
inline constexpr qsizetype kMaxAreaPoints = 1000;
/// `points` without the points that lie within `tolerance` of the line their neighbours keep
/// (Douglas-Peucker, largest deviation first), and at most `maxPoints` of them: the ones that
/// deviate most. The first and last point always stay.
[[nodiscard]] QList<QPointF> simplifyPolyline(const QList<QPointF>& points, double tolerance, qsizetype maxPoints);

/// Most drawing work the committed overlays of one photo may cost together, in nanoseconds per
/// pixel of the photo (about a second on 24 MP): far above any drawing by hand (a stroke across
/// a photo costs a few milliseconds), far below what random strokes or areas across the whole
/// photo would cost (minutes).
inline constexpr double kOverlayWorkPerPixel = 40;
/// Estimated drawing work of an overlay, in nanoseconds of the rasterizer on one core: for a
/// stroke the boxes of the pieces it is drawn in, for an area the length of its outline times
/// the edges that cross a row on average, for an arrow its box; and some work for each point.
[[nodiscard]] double overlayWork(const Overlay& overlay);
/// `overlays` with their strokes and areas simplified (each keeps fewer of its points, the ones
/// that deviate most, in the same share for all) until their work together fits
/// kOverlayWorkPerPixel × the pixels of `canvas`, or each is down to the fewest points it
/// needs (a segment, a triangle); unchanged when it fits already. Pure and
/// independent of the render scale, so every render of a photo draws the same shapes.
[[nodiscard]] QList<Overlay> withinWorkBudget(QList<Overlay> overlays, QSize canvas);

/// The committed arrow; none for a non-positive size.
[[nodiscard]] std::optional<Overlay> rasterizeArrow(const Arrow& arrow, QSize size);
/// The overlay drawn on its own transparent layer of its canvas size.
[[nodiscard]] QImage overlayBitmap(const Overlay& overlay);

} // namespace lumora
