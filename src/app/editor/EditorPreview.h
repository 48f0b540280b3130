#pragma once

#include "pipeline/EditState.h"
#include "pipeline/SourceImage.h"

#include <QImage>
#include <QObject>
#include <functional>
#include <optional>

namespace lumora {

/// What the editor canvas shows of a photo: its render without text marks and watermark.
struct EditorPreviewJob {
    SourceImage original;
    EditState edits; ///< text marks and watermark are left out by the renderer
    /// Long side of the render in pixels (the canvas's fitted image in device pixels); never
    /// more than the original's long side.
    int longSide = 0;
};

/// Renders editor previews in the background, one at a time, keeping the original decoded at
/// the preview's scale between renders (a commit re-renders the chain, not the decode). Only
/// the newest request is delivered: a render that a newer request overtook is dropped. UI
/// thread only; the renders themselves run on workPool().
class EditorPreviewRenderer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Renders `job` and calls `done` on the UI thread with the result (null when the original
    /// cannot be decoded), unless another request comes first.
    void request(EditorPreviewJob job, std::function<void(QImage)> done);
    [[nodiscard]] bool isRendering() const { return m_running; }

    /// The render itself, synchronously (any thread). `base` is the original decoded at the
    /// job's scale when the caller has it (else it is decoded and returned through `base`).
    [[nodiscard]] static QImage render(const EditorPreviewJob& job, QImage& base);
    /// The render scale of a job: longSide / the original's long side, at most 1.
    [[nodiscard]] static double scaleOf(const EditorPreviewJob& job);

private:
    void start();

    struct Pending {
        EditorPreviewJob job;
        std::function<void(QImage)> done;
    };
    std::optional<Pending> m_next;
    bool m_running = false;
    SourceImage m_baseOriginal; ///< kept, so the cached base's identity cannot be reused
    double m_baseScale = 0;
    QImage m_base;
};

} // namespace lumora
