#pragma once

#include "base/Error.h"
#include "cutout/SegmentationModel.h"

#include <QImage>
#include <expected>
#include <functional>

class QObject;

namespace lumora {

/// A segmentation: the soft foreground mask of all subjects of a bitmap, Format_Grayscale8 of
/// any size (255 subject, 0 background, grey at soft edges, never thresholded), or why it
/// failed. Runs on a worker thread, so it must be thread-safe.
using Segmentation = std::function<std::expected<QImage, Error>(const QImage& bitmap)>;

/// Finds the subjects of a photo: the soft foreground mask that hintergrundErsetzen and
/// fotoEinpassen (pipeline/Compositing.h) then use to put a new background behind them.
///
/// The engine keeps no state beyond its segmentation (the ISNet model by default, loaded once
/// per process and shared).
class FreistellenEngine {
public:
    /// The mask of maskeErzeugen, or why there is none (domain "FreistellenEngine"):
    /// segmentationErrors::noSubject when nothing is in the foreground, else the segmentation's error.
    using MaskResult = std::expected<QImage, Error>;

    /// With the ISNet model at segmentationModelPath().
    FreistellenEngine();
    explicit FreistellenEngine(Segmentation segmentation);

    /// Computes the mask of `bitmap` on the thread pool and calls `done` on the thread of
    /// `context` (normally the user-interface thread) with the result; not at all when
    /// `context` is destroyed first. `context` must not be null. Callers start one request at
    /// a time per editor; concurrent requests are safe but run one after another.
    void maskeErzeugen(QImage bitmap, QObject* context, std::function<void(MaskResult)> done) const;

    /// The same work on the calling thread (command line, tests): segmentation, then
    /// - a failure of the segmentation is logged as "FreistellenEngine: Vision-Fehler – "
    ///   followed by its description and returned;
    /// - a mask without a subject (see showsSubject) gives segmentationErrors::noSubject, without a log line;
    /// - otherwise the mask as the segmentation made it.
    [[nodiscard]] MaskResult segmentNow(const QImage& bitmap) const;

    /// False when nothing is in the foreground: the largest mask value is below 0.5, or fewer
    /// than 0.5 % of the mask's pixels are above 0.5. Any mask format (read as grey).
    [[nodiscard]] static bool showsSubject(const QImage& mask);

private:
    Segmentation m_segmentation;
};

} // namespace lumora
