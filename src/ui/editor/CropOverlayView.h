#pragma once

#include <QRectF>
#include <QSizeF>

class QPainter;

namespace lumora {

/// The crop frame over the editor canvas: everything outside the frame darkened (black at
/// 45 %), the frame outlined in white 2 points wide, and its size in image pixels
/// ("<pixelBreite> × <pixelHoehe> px", white 11-point type on black at 70 %) at its top-left
/// corner: above the frame where there is room, else inside it. Canvas points throughout.
struct CropOverlayView {
    QRectF cropRect;
    QSizeF totalSize; ///< the canvas
    int pixelBreite = 0;
    int pixelHoehe = 0;
    bool withLabel = true; ///< false while the pixel size is not known (no preview yet)

    void paint(QPainter& painter) const;
    /// The label's text.
    [[nodiscard]] QString labelText() const;
    /// Where the label's plate is drawn.
    [[nodiscard]] QRectF labelRect() const;
};

} // namespace lumora
