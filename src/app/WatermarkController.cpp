#include "app/WatermarkController.h"

#include "model/ImageProcessor.h"
#include "pipeline/Render.h"

#include <QSet>
#include <algorithm>

namespace lumora {

WatermarkController::WatermarkController(ImageProcessor& processor, WatermarkValues& values, QList<QUuid> selection)
    : m_processor(processor), m_values(values), m_selection(std::move(selection))
{
}

void WatermarkController::open()
{
    m_values.text = m_values.lastWatermarkText;
}

QList<QUuid> WatermarkController::targets() const
{
    if (!m_selection.isEmpty())
        return m_selection;
    QList<QUuid> all;
    for (const PhotoItem& photo : m_processor.photos())
        all.append(photo.id);
    return all;
}

QString WatermarkController::countText() const
{
    const qsizetype count = targets().size();
    return count == 1 ? QStringLiteral("Wird auf 1 Foto angewendet.")
                      : QStringLiteral("Wird auf %1 Fotos angewendet.").arg(count);
}

std::optional<QUuid> WatermarkController::previewPhoto() const
{
    if (!m_selection.isEmpty())
        return m_selection.first();
    if (m_processor.photos().isEmpty())
        return std::nullopt;
    return m_processor.photos().first().id;
}

std::optional<Watermark> WatermarkController::candidate() const
{
    const QString trimmed = m_values.text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return Watermark{trimmed, m_values.position, m_values.opacity, m_values.sizeFactor, m_values.colorHex};
}

std::optional<QImage> WatermarkController::preview(int maxSide)
{
    const std::optional<QUuid> id = previewPhoto();
    const PhotoItem* photo = id ? m_processor.photo(*id) : nullptr;
    if (!photo)
        return std::nullopt;
    if (m_base.isNull() || m_baseId != photo->id || m_baseSource != photo->originalCI.identity()
        || m_baseSide != maxSide) {
        auto decoded = photo->originalCI.decodeScaled(displayScale(photo->originalCI.size(), maxSide));
        if (!decoded)
            return std::nullopt;
        m_base = *decoded;
        m_baseId = photo->id;
        m_baseSource = photo->originalCI.identity();
        m_baseSide = maxSide;
    }
    EditState edits = photo->edits;
    edits.watermark = candidate();
    const Image image = renderDecoded(m_base, photo->originalCI.size(), edits);
    if (image.isNull())
        return std::nullopt;
    return image.raster;
}

void WatermarkController::anwenden()
{
    const std::optional<Watermark> watermark = candidate();
    if (watermark)
        m_values.lastWatermarkText = watermark->text;
    const QList<QUuid> ids = targets();
    m_processor.applyWatermark(QSet<QUuid>(ids.cbegin(), ids.cend()), watermark);
}

void WatermarkController::entfernen()
{
    const QList<QUuid> ids = targets();
    m_processor.applyWatermark(QSet<QUuid>(ids.cbegin(), ids.cend()), std::nullopt);
}

QSize WatermarkController::sheetSize(QSize window)
{
    const int minimumWidth = kPanelWidth + kPreviewMinWidth + 1;
    const int width = window.width() <= 0 ? 720 : std::max(std::min(window.width() - 40, 720), minimumWidth);
    const int height = window.height() <= 0 ? 520 : std::clamp(window.height() - 40, 400, 520);
    return {width, height};
}

} // namespace lumora
