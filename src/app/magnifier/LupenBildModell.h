#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <functional>
#include <optional>

namespace lumora {

/// Returns the photo rendered at full resolution, or nothing when that is not possible (the
/// photo is gone, rendering failed). Called on the user-interface thread.
using VollbildQuelle = std::function<std::optional<QImage>()>;

/// The image one magnifier window shows. `bild` is the displayable image handed over at opening
/// (usually the photo's preview, which may be smaller than the photo); `pixelGroesse` is the
/// photo's full pixel size, which zoom 1.0 refers to. Assigning a new image notifies the view.
///
/// The full-resolution seam: a preview is fine for small zooms but must not be blown up. When
/// the view needs more pixels than `bild` has, rasterFuer asks the VollbildQuelle once per image
/// and keeps the answer until the next setBild. User-interface thread only.
class LupenBildModell : public QObject {
    Q_OBJECT
public:
    /// `pixelGroesse` empty means the image is the photo at full size.
    explicit LupenBildModell(QImage bild, QSize pixelGroesse = {}, QObject* parent = nullptr);

    [[nodiscard]] const QImage& bild() const { return m_bild; }
    /// Full pixel size of the photo (never smaller than bild's size).
    [[nodiscard]] QSize pixelGroesse() const { return m_pixelGroesse; }

    /// Replaces the image (and forgets any full-size render of the old one); emits bildGeaendert.
    void setBild(QImage bild, QSize pixelGroesse = {});

    /// Source of the full-resolution render; may be empty (then bild is all there is).
    void setVollbildQuelle(VollbildQuelle quelle) { m_quelle = std::move(quelle); }

    /// The raster to draw the photo from when it covers `geraetePixel` device pixels: bild when
    /// it has at least that many pixels or already is full size; otherwise the full-size render,
    /// asked for at most once per image; bild again when there is none.
    [[nodiscard]] QImage rasterFuer(QSizeF geraetePixel);

    /// Number of times the VollbildQuelle was asked (for tests and diagnostics).
    [[nodiscard]] int vollbildAnfragen() const { return m_anfragen; }

Q_SIGNALS:
    void bildGeaendert();

private:
    QImage m_bild;
    QSize m_pixelGroesse;
    VollbildQuelle m_quelle;
    std::optional<QImage> m_vollbild;
    bool m_vollbildAngefragt = false;
    int m_anfragen = 0;
};

} // namespace lumora
