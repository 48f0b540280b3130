#pragma once

#include <QImage>
#include <QScrollArea>
#include <QWidget>
#include <optional>

class QPainter;

namespace lumora {

/// Draws `raster` stretched into `ziel` (logical coordinates of the painter), restricted to the
/// part that intersects `sichtbar`, with smooth interpolation. Large downscales should be given
/// a raster that was scaled beforehand; this only filters bilinearly.
void zeichneBildAusschnitt(QPainter& painter, const QImage& raster, QRectF ziel, QRectF sichtbar);

/// The document of the magnifier's scroll surface: the image drawn into its bounds inset by
/// randAussen, under an open-hand cursor. Dragging with the left button moves the surrounding
/// scroll area so the image follows the hand; the drag stops at the document's edges.
class SchwenkbareInhaltView : public QWidget {
    Q_OBJECT
public:
    explicit SchwenkbareInhaltView(QWidget* parent = nullptr);

    /// The raster to draw; it is stretched to the bounds minus the margin.
    void setBild(const QImage& bild);
    [[nodiscard]] const QImage& bild() const { return m_bild; }
    void setRandAussen(double rand);
    [[nodiscard]] double randAussen() const { return m_randAussen; }
    /// The last pointer position of a running drag, in window coordinates; none between drags.
    [[nodiscard]] std::optional<QPointF> letzteMausPunktImFenster() const { return m_letzterPunkt; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The raster to draw for the current bounds: a smoothly prescaled copy when the display
    /// is smaller than the raster (cached per size), the raster itself otherwise.
    const QImage& zeichenRaster(QSize geraetePixel);

    QImage m_bild;
    double m_randAussen = 20;
    std::optional<QPointF> m_letzterPunkt;
    QImage m_skaliert;
    qint64 m_skaliertVon = 0;
};

/// The scroll surface of a magnifier: no frame, no background of its own (the viewport shows the
/// view's dark colour), scroll bars only when needed, a document smaller than the area centred.
class SchwenkbareBildAnsicht : public QScrollArea {
    Q_OBJECT
public:
    explicit SchwenkbareBildAnsicht(QWidget* parent = nullptr);

    [[nodiscard]] SchwenkbareInhaltView* inhalt() const { return m_inhalt; }

    /// Shows `bild` at `breite` × `hoehe` points with `rand` points around it. The document is
    /// resized only when its size changes; the scroll position then keeps the centre of view.
    void aktualisieren(const QImage& bild, double breite, double hoehe, double rand);

    /// Visible part's top-left in document coordinates (the scroll position).
    [[nodiscard]] QPointF ursprung() const;
    /// Scrolls to `ursprung`, limited to the scroll range.
    void setUrsprung(QPointF ursprung);
    /// Size of the visible part of the document.
    [[nodiscard]] QSizeF sicht() const;
    /// The area available to the image: the whole surface, as if no scroll bar took room.
    [[nodiscard]] QSizeF flaeche() const;

Q_SIGNALS:
    /// The surface changed size (the window was resized).
    void flaecheGeaendert(QSizeF flaeche);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    SchwenkbareInhaltView* m_inhalt;
};

} // namespace lumora
