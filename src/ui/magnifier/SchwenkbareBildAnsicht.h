#pragma once

#include <QImage>
#include <QScrollArea>
#include <QWidget>
#include <optional>

class QPainter;

namespace lumora {

/// Draws `raster` stretched into `target` (logical coordinates of the painter), restricted to the
/// part that intersects `visible`, with smooth interpolation. Large downscales should be given
/// a raster that was scaled beforehand; this only filters bilinearly.
void drawImagePart(QPainter& painter, const QImage& raster, QRectF target, QRectF visible);

/// The document of the magnifier's scroll surface: the image drawn into its bounds inset by
/// randAussen, under an open-hand cursor. Dragging with the left button moves the surrounding
/// scroll area so the image follows the hand; the drag stops at the document's edges.
class SchwenkbareInhaltView : public QWidget {
    Q_OBJECT
public:
    explicit SchwenkbareInhaltView(QWidget* parent = nullptr);

    /// The raster to draw; it is stretched to the bounds minus the margin.
    void setBild(const QImage& image);
    [[nodiscard]] const QImage& bild() const { return m_bild; }
    void setRandAussen(double rand);
    [[nodiscard]] double randAussen() const { return m_randAussen; }
    /// The last pointer position of a running drag, in window coordinates; none between drags.
    [[nodiscard]] std::optional<QPointF> letzteMausPunktImFenster() const { return m_lastPoint; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The raster to draw for the current bounds: a smoothly prescaled copy when the display
    /// is smaller than the raster (cached per size), the raster itself otherwise.
    const QImage& drawingRaster(QSize devicePixels);

    QImage m_bild;
    double m_randAussen = 20;
    std::optional<QPointF> m_lastPoint;
    QImage m_scaled;
    qint64 m_scaledFrom = 0;
};

/// The scroll surface of a magnifier: no frame, no background of its own (the viewport shows the
/// view's dark colour), scroll bars only when needed, a document smaller than the area centred.
class SchwenkbareBildAnsicht : public QScrollArea {
    Q_OBJECT
public:
    explicit SchwenkbareBildAnsicht(QWidget* parent = nullptr);

    [[nodiscard]] SchwenkbareInhaltView* content() const { return m_content; }

    /// Shows `image` at `breite` × `hoehe` points with `rand` points around it. The document is
    /// resized only when its size changes; the scroll position then keeps the centre of view.
    void refresh(const QImage& image, double breite, double hoehe, double rand);

    /// Visible part's top-left in document coordinates (the scroll position).
    [[nodiscard]] QPointF origin() const;
    /// Scrolls to `origin`, limited to the scroll range.
    void setOrigin(QPointF origin);
    /// Size of the visible part of the document.
    [[nodiscard]] QSizeF visibleSize() const;
    /// The area available to the image: the whole surface, as if no scroll bar took room.
    [[nodiscard]] QSizeF area() const;

Q_SIGNALS:
    /// The surface changed size (the window was resized).
    void areaChanged(QSizeF area);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    SchwenkbareInhaltView* m_content;
};

} // namespace lumora
