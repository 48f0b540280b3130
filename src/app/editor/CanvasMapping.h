#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace lumora {

/// How a photo sits in the editor's canvas: the photo fitted (aspect kept) and centred in a
/// canvas of some size, after mirroring and then turning it. Canvas points have their origin at
/// the canvas's top-left corner, y down; image pixels are those of the photo's original before
/// turn and mirror, origin lower-left, y up. A plain value; any thread.
struct CanvasMapping {
    QSizeF originalSize; ///< W × H of the original's extent
    double rotation = 0; ///< degrees, counter-clockwise, any range
    bool flippedH = false;
    bool flippedV = false;

    /// The rotation reduced to [0, 360).
    [[nodiscard]] double reducedRotation() const;
    /// The photo's size as the canvas shows it: H × W for turns within 1° of 90 or 270, else W × H.
    [[nodiscard]] QSizeF orientedSize() const;
    /// s = min(vw / dw, vh / dh); 0 when a side of the oriented size is not positive.
    [[nodiscard]] double fitScale(QSizeF canvas) const;
    /// Where the fitted image lies in the canvas (dw·s × dh·s, centred).
    [[nodiscard]] QRectF fittedRect(QSizeF canvas) const;

    /// The image pixel under canvas point `p` of a canvas of `canvas` size, clamped to
    /// [0, W] × [0, H]; (0, 0) when the image or the oriented size is empty. Used inside gestures.
    [[nodiscard]] QPointF toImage(QPointF p, QSizeF canvas) const;
    /// The same for commits outside a gesture, with `lastKnownViewSize`; (0, 0) also when that
    /// size has a side that is not positive.
    [[nodiscard]] QPointF toImageWithLastKnownSize(QPointF p, QSizeF lastKnownViewSize) const;
    /// Image pixels per canvas point (1/s); 1 when the scale cannot be determined.
    [[nodiscard]] double pixelsPerPoint(QSizeF canvas) const;
    /// The same with `lastKnownViewSize`; 1 when it or the oriented size has a side ≤ 0.
    [[nodiscard]] double pixelsPerPointWithLastKnownSize(QSizeF lastKnownViewSize) const;
    /// The canvas point where image pixel `q` is shown (the inverse of toImage inside the image:
    /// mirror, turn, fit). (0, 0) when the image or the canvas is empty.
    [[nodiscard]] QPointF toCanvas(QPointF q, QSizeF canvas) const;
};

} // namespace lumora
