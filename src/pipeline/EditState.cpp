#include "pipeline/EditState.h"

#include <cmath>

namespace lumora {

QString rawValue(WatermarkPosition position)
{
    switch (position) {
    case WatermarkPosition::tiled: return QStringLiteral("tiled");
    case WatermarkPosition::topLeft: return QStringLiteral("topLeft");
    case WatermarkPosition::topRight: return QStringLiteral("topRight");
    case WatermarkPosition::bottomLeft: return QStringLiteral("bottomLeft");
    case WatermarkPosition::bottomRight: return QStringLiteral("bottomRight");
    case WatermarkPosition::center: return QStringLiteral("center");
    }
    return {};
}

std::optional<WatermarkPosition> watermarkPositionFromRaw(const QString& raw)
{
    for (WatermarkPosition position : kAllWatermarkPositions) {
        if (rawValue(position) == raw)
            return position;
    }
    return std::nullopt;
}

QPointF Arrow::tip() const
{
    return start + length * QPointF(std::cos(angle), std::sin(angle));
}

} // namespace lumora
