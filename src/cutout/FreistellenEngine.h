#pragma once

#include "cutout/SegmentationModel.h"
#include "base/Error.h"
#include "pipeline/Image.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <expected>
#include <functional>
#include <optional>

class QObject;

namespace lumora {

/// A segmentation: the soft foreground mask of all subjects of a bitmap, Format_Grayscale8 of
/// any size (255 subject, 0 background, grey at soft edges, never thresholded), or why it
/// failed. Runs on a worker thread, so it must be thread-safe.
using Segmentierung = std::function<std::expected<QImage, Error>(const QImage& bitmap)>;

/// Separates the subjects of a photo from its background and puts a new background behind
/// them: a colour, transparency, or another photo.
///
/// The engine keeps no state beyond its segmentation (the ISNet model by default, loaded once
/// per process and shared). Compositing is pure and thread-safe.
class FreistellenEngine {
public:
    /// The mask of maskeErzeugen, or why there is none (domain "FreistellenEngine"):
    /// kFreistellenKeinMotiv when nothing is in the foreground, else the segmentation's error.
    using MaskenErgebnis = std::expected<QImage, Error>;

    /// With the ISNet model at freistellModellPfad().
    FreistellenEngine();
    explicit FreistellenEngine(Segmentierung segmentierung);

    /// Computes the mask of `bitmap` on the thread pool and calls `fertig` on the thread of
    /// `context` (normally the user-interface thread) with the result; not at all when
    /// `context` is destroyed first. `context` must not be null. Callers start one request at
    /// a time per editor; concurrent requests are safe but run one after another.
    void maskeErzeugen(QImage bitmap, QObject* context, std::function<void(MaskenErgebnis)> fertig) const;

    /// The same work on the calling thread (command line, tests): segmentation, then
    /// - a failure of the segmentation is logged as "FreistellenEngine: Vision-Fehler – "
    ///   followed by its description and returned;
    /// - a mask without a subject (see zeigtMotiv) gives kFreistellenKeinMotiv, without a log line;
    /// - otherwise the mask as the segmentation made it.
    [[nodiscard]] MaskenErgebnis maskeErzeugenSync(const QImage& bitmap) const;

    /// False when nothing is in the foreground: the largest mask value is below 0.5, or fewer
    /// than 0.5 % of the mask's pixels are above 0.5. Any mask format (read as grey).
    [[nodiscard]] static bool zeigtMotiv(const QImage& maske);

    /// Composites `foto` over a new background through `maske`:
    /// out = m·F + (1 − m)·G on premultiplied values, m being the mask stretched bilinearly and
    /// independently per axis over the photo (any mask size and aspect ratio). G is, in this
    /// order of priority: `hintergrundFoto` fitted by fotoEinpassen to the photo's extent (a null
    /// image counts as not given); else `farbe` (white when the colour is invalid); else
    /// transparent, so the result's alpha follows the mask. The result has the photo's extent
    /// and raster size, Format_ARGB32_Premultiplied. None when the photo or the mask is empty.
    [[nodiscard]] static std::optional<Image> hintergrundErsetzen(const Image& foto, const QImage& maske,
                                                                  std::optional<QColor> farbe = std::nullopt,
                                                                  const std::optional<Image>& hintergrundFoto = std::nullopt);

    /// Scales `hintergrundFoto` uniformly so that it fills `ziel` (s = the larger of the two
    /// axis ratios of the extents), centres it on `ziel` and crops it to `ziel`: what sticks out
    /// on the longer axis is cut off equally on both sides. The result's extent is `ziel`; its
    /// raster has Image{{}, ziel}.fullPixelSize() pixels. Bilinear sampling (area averaging first
    /// for strong reductions). An empty background gives a transparent image.
    [[nodiscard]] static Image fotoEinpassen(const Image& hintergrundFoto, QRectF ziel);

private:
    Segmentierung m_segmentierung;
};

} // namespace lumora
