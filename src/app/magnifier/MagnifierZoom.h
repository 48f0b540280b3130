#pragma once

#include <QPointF>
#include <QSizeF>
#include <QString>

namespace lumora {

/// Zoom state of one magnifier view: the zoom factor, fit mode and the arithmetic behind the
/// toolbar. Plain value, no Qt widgets; the view forwards its size and the commands here and
/// shows what it reads back.
///
/// Units: the image size is in pixels of the photo at full resolution; the area and all display
/// sizes are in points (device-independent pixels). A zoom of 1.0 shows one image pixel per point.
class MagnifierZoom {
public:
    static constexpr double minZoom = 0.05;
    static constexpr double maxZoom = 16.0;
    static constexpr double step = 1.25;
    /// Margin around the drawn image, in points, on every side.
    static constexpr double rand = 20.0;

    /// Size of the image in full-resolution pixels. Empty or non-positive means "no image".
    void setImageSize(QSizeF size);
    [[nodiscard]] QSizeF imageSize() const { return m_imageSize; }

    /// Size W × H of the image area. In fit mode the zoom follows at once (see einpassZoom).
    void setArea(QSizeF area);
    [[nodiscard]] QSizeF area() const { return m_area; }

    /// The zoom at which the image plus the margin fits into an area of w × h points:
    /// min(max(1, w − 40) / image width, max(1, h − 40) / image height); 1.0 without an image.
    /// Not bounded by maxZoom: a tiny image fits at a very large zoom.
    [[nodiscard]] double einpassZoom(double w, double h) const;

    /// Zoom out one step: leaves fit mode; divides by 1.25 down to minZoom. Never enlarges:
    /// a zoom already below minZoom (a huge image fitted) stays where it is.
    void zoomOut();
    /// Zoom in one step: leaves fit mode; multiplies by 1.25 up to maxZoom. Never shrinks:
    /// a zoom already above maxZoom (a tiny image fitted) stays where it is.
    void zoomIn();
    /// Enters fit mode; the zoom becomes the fitted value for the current area.
    void enterFitMode();
    /// Leaves fit mode at exactly 1.0.
    void actualSize();

    [[nodiscard]] double zoom() const { return m_zoom; }
    [[nodiscard]] bool einpassen() const { return m_einpassen; }
    /// The zoom the view draws with: the fitted value in fit mode, else zoom().
    [[nodiscard]] double effectiveZoom() const;

    /// Displayed image size in points: max(1, z × image size) per axis.
    [[nodiscard]] QSizeF displaySize() const;
    /// Size of the scrollable document: the displayed image plus the margin on every side.
    [[nodiscard]] QSizeF documentSize() const;

    /// The label text: zoom × 100 rounded to an integer (halves away from zero), then " %".
    [[nodiscard]] QString percentText() const;
    /// "Einpassen" is highlighted while fit mode is on.
    [[nodiscard]] bool fitHighlighted() const { return m_einpassen; }
    /// "100 %" is highlighted outside fit mode while the zoom is 1 (within 0.001).
    [[nodiscard]] bool actualSizeHighlighted() const;

private:
    void followFitZoom();

    QSizeF m_imageSize;
    QSizeF m_area;
    double m_zoom = 1.0;
    bool m_einpassen = true;
};

/// The visible origin after a hand drag: the content follows the hand, so the origin moves
/// against `handDelta` (y down, like Qt). Each axis is clamped to 0 … max(0, document − visibleSize),
/// so the drag stops at the document's edges and a document smaller than the visible area
/// does not move at all.
[[nodiscard]] QPointF panOrigin(QPointF origin, QPointF handDelta, QSizeF document, QSizeF visibleSize);

/// The visible origin that keeps the document point under the centre of the visible area in
/// place when the document grows or shrinks from `oldDocument` to `newDocument` (a zoom
/// change). Clamped like panOrigin.
[[nodiscard]] QPointF originAfterZoom(QPointF origin, QSizeF visibleSize, QSizeF oldDocument, QSizeF newDocument);

} // namespace lumora
