#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

namespace lumora {

/// How a photo sits in the editor's canvas: the photo mirrored, then turned, then fitted
/// (aspect kept) and centred in a canvas of `canvas` size. Canvas points have their origin at the
/// canvas's top-left corner, y down; image pixels are those of the photo's original before turn
/// and mirror, origin lower-left, y up. The one transform between the two for everything the
/// editor shows or takes: tools, the text layer, the crop frame and the canvas's painting.
/// A plain value; any thread.
struct CanvasMapping {
    QSizeF originalSize; ///< W × H of the original's extent
    double rotation = 0; ///< degrees, counter-clockwise, any range
    bool flippedH = false;
    bool flippedV = false;
    QSizeF canvas; ///< the canvas's size in points

    /// The rotation reduced to [0, 360).
    [[nodiscard]] double reducedRotation() const;
    /// The photo's size as the canvas shows it: H × W for turns within 1° of 90 or 270, else W × H.
    [[nodiscard]] QSizeF orientedSize() const;
    /// s = min(vw / dw, vh / dh); 0 when a side of the oriented size is not positive.
    [[nodiscard]] double scale() const;
    /// Where the fitted image lies in the canvas (dw·s × dh·s, centred).
    [[nodiscard]] QRectF fittedRect() const;
    /// False while the image or the canvas has no area: nothing maps then.
    [[nodiscard]] bool isValid() const;

    /// The image pixel under canvas point `p`, clamped to [0, W] × [0, H]; (0, 0) when the
    /// mapping is not valid. For clicks that must land on the photo.
    [[nodiscard]] QPointF toImage(QPointF p) const;
    /// The same without the clamp: a point beside the photo maps beside it, so a shape that
    /// leaves the photo keeps its direction and is clipped where the file clips it.
    [[nodiscard]] QPointF toImageUnclamped(QPointF p) const;
    /// The canvas point where image pixel `q` is shown; (0, 0) when the mapping is not valid.
    [[nodiscard]] QPointF toCanvas(QPointF q) const;
    /// The canvas rectangle spanned by the two corners of an image rectangle (normalised).
    [[nodiscard]] QRectF toCanvas(const QRectF& imageRect) const;
    /// The image rectangle spanned by the two corners of a canvas rectangle (normalised, unclamped).
    [[nodiscard]] QRectF toImage(const QRectF& canvasRect) const;
    /// Image pixels (y up) → canvas points, as a transform for painting image geometry.
    [[nodiscard]] QTransform imageToCanvas() const;
    /// Image pixels per canvas point (1/s); 1 when the scale cannot be determined.
    [[nodiscard]] double pixelsPerPoint() const;

    friend bool operator==(const CanvasMapping&, const CanvasMapping&) = default;
};

} // namespace lumora
