#include "app/editor/EditorPreview.h"

#include "base/UiThread.h"
#include "pipeline/Render.h"

#include <algorithm>

namespace lumora {

double EditorPreviewRenderer::scaleOf(const EditorPreviewJob& job)
{
    const QSize size = job.original.size();
    const int longSide = std::max(size.width(), size.height());
    if (longSide <= 0 || job.longSide <= 0)
        return 1;
    return std::min(1.0, double(job.longSide) / longSide);
}

QImage EditorPreviewRenderer::render(const EditorPreviewJob& job, QImage& base)
{
    if (base.isNull()) {
        auto decoded = job.original.decodeScaled(scaleOf(job));
        if (!decoded)
            return {};
        base = *decoded;
    }
    EditState edits = job.edits;
    edits.textMarks.clear(); // drawn live by the text layer
    edits.watermark.reset();
    return renderDecoded(base, job.original.size(), edits).raster;
}

void EditorPreviewRenderer::request(EditorPreviewJob job, std::function<void(QImage)> done)
{
    m_next = Pending{std::move(job), std::move(done)};
    if (!m_running)
        start();
}

void EditorPreviewRenderer::start()
{
    Pending pending = std::move(*m_next);
    m_next.reset();
    m_running = true;
    const double scale = scaleOf(pending.job);
    QImage base = (m_baseOriginal == pending.job.original && m_baseScale == scale) ? m_base : QImage();
    runInBackground(
        this,
        [job = pending.job, base]() mutable {
            QImage image = render(job, base);
            return std::pair{base, image};
        },
        [this, original = pending.job.original, scale,
         done = std::move(pending.done)](std::pair<QImage, QImage> result) {
            m_running = false;
            if (!result.first.isNull()) {
                m_baseOriginal = original;
                m_baseScale = scale;
                m_base = result.first;
            }
            if (m_next) { // overtaken: the newer request is rendered instead
                start();
                return;
            }
            done(result.second);
        });
}

} // namespace lumora
