#pragma once

#include "pipeline/EditState.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <optional>

namespace lumora {

/// Where the text layer over the editor's canvas shows text marks: the photo fitted and centred
/// in the layer's bounds like the canvas, marks placed through the photo's mirror and then its
/// turn. A mark's position is a point of the original like every other annotation, so it stands
/// on the same spot of the picture as the editor's mapping, the render pipeline and the baked
/// photo put it; its letters are never mirrored (the pipeline and the bake draw them so too).
/// View points have y down; image positions are pixels of the original, origin lower-left, y up.
/// Any thread.
struct TextLayerGeometry {
    QSizeF bounds;             ///< the layer's size (bw, bh)
    QSizeF displayedImageSize; ///< the photo's oriented size (dw, dh)
    QSizeF originalImageSize;  ///< W × H
    double rotation = 0;       ///< degrees
    bool flippedH = false;     ///< mirrored left–right (before the turn)
    bool flippedV = false;     ///< mirrored top–bottom (before the turn)

    /// The turn as one of 0, 90, 180, 270 (within 1°); any other angle counts as 0.
    [[nodiscard]] int quarterTurn() const;
    /// s = min(bw / dw, bh / dh); 1 when dw or dh is not positive.
    [[nodiscard]] double scale() const;
    [[nodiscard]] QPointF offset() const;
    /// Image position → view point; (0, 0) when W or H is not positive.
    [[nodiscard]] QPointF toView(QPointF position) const;
    /// View point → image position (clamped to the shown photo).
    [[nodiscard]] QPointF toImage(QPointF p) const;
    /// The stored position after a drag of `dragOffset` view points from `startPosition`.
    [[nodiscard]] QPointF dragged(QPointF startPosition, QPointF dragOffset) const;

    /// The mark's font size in view points (fontSize × s).
    [[nodiscard]] double viewFontSize(const TextMark& mark) const;
    /// The box of `text` at view font size `fs` centred on view point `c`: the text as the
    /// render chain measures it with margins 0.35·fs and 0.2·fs, at least 24 wide and fs high.
    [[nodiscard]] static QRectF boxAround(QPointF c, const QString& text, double fs);
    /// The mark's box in view points, moved by `dragOffset`.
    [[nodiscard]] QRectF textBox(const TextMark& mark, QPointF dragOffset = {}) const;

    /// The topmost mark (last first) whose box, grown by `grow` on every side, contains `p`.
    [[nodiscard]] std::optional<QUuid> hit(const QList<TextMark>& marks, QPointF p, double grow) const;
    /// The exact hit test, failing that the tolerant one (boxes grown by 25).
    [[nodiscard]] std::optional<QUuid> hitExactThenTolerant(const QList<TextMark>& marks, QPointF p) const;

    static constexpr double kTolerance = 25;
};

} // namespace lumora
