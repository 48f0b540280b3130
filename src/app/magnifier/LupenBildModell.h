#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <functional>
#include <optional>

namespace lumora {

/// Hands the full-resolution render of the photo to the given callback, or nothing when that is
/// not possible (the photo is gone, rendering failed). Called on the user-interface thread; it
/// renders in the background and calls back on the user-interface thread later (or at once).
using FullImageDelivery = std::function<void(std::optional<QImage>)>;
using FullImageSource = std::function<void(FullImageDelivery)>;

/// The image one magnifier window shows. `bild` is the displayable image handed over at opening
/// (usually the photo's preview, which may be smaller than the photo); `pixelSize` is the
/// photo's full pixel size, which zoom 1.0 refers to. Assigning a new image notifies the view.
///
/// The full-resolution seam: a preview is fine for small zooms but must not be blown up. When
/// the view needs more pixels than `bild` has, rasterFor asks the FullImageSource once per image
/// and keeps the answer until the next setBild; until the answer arrives, rasterFor gives `bild`
/// (the view shows it scaled up) and the answer's arrival emits rasterChanged. User-interface
/// thread only.
class LupenBildModell : public QObject {
    Q_OBJECT
public:
    /// `pixelSize` empty means the image is the photo at full size.
    explicit LupenBildModell(QImage image, QSize pixelSize = {}, QObject* parent = nullptr);

    [[nodiscard]] const QImage& bild() const { return m_bild; }
    /// Full pixel size of the photo (never smaller than bild's size).
    [[nodiscard]] QSize pixelSize() const { return m_pixelSize; }

    /// Replaces the image (and forgets any full-size render of the old one); emits imageChanged.
    void setBild(QImage image, QSize pixelSize = {});

    /// Source of the full-resolution render; may be empty (then bild is all there is).
    void setFullImageSource(FullImageSource source) { m_source = std::move(source); }

    /// The raster to draw the photo from when it covers `devicePixels` device pixels: bild when
    /// it has at least that many pixels or already is full size; otherwise the full-size render,
    /// asked for at most once per image; bild while it is on its way or when there is none.
    [[nodiscard]] QImage rasterFor(QSizeF devicePixels);

    /// Number of times the FullImageSource was asked (for tests and diagnostics).
    [[nodiscard]] int fullImageRequests() const { return m_requests; }

Q_SIGNALS:
    void imageChanged();
    /// The full-size render asked for arrived: rasterFor gives it from now on.
    void rasterChanged();

private:
    QImage m_bild;
    QSize m_pixelSize;
    FullImageSource m_source;
    std::optional<QImage> m_fullImage;
    bool m_fullImageRequested = false;
    int m_requests = 0;
    int m_generation = 0; ///< counts setBild calls, so a render of an older image is dropped
};

} // namespace lumora
