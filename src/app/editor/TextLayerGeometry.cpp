#include "app/editor/TextLayerGeometry.h"

#include "pipeline/Overlays.h"

#include <algorithm>
#include <cmath>

namespace lumora {

int TextLayerGeometry::quarterTurn() const
{
    double r = std::fmod(rotation, 360.0);
    if (r < 0)
        r += 360;
    for (int q : {90, 180, 270}) {
        if (std::abs(r - q) < 1)
            return q;
    }
    return 0;
}

double TextLayerGeometry::scale() const
{
    const double dw = displayedImageSize.width(), dh = displayedImageSize.height();
    if (!(dw > 0) || !(dh > 0))
        return 1;
    return std::min(bounds.width() / dw, bounds.height() / dh);
}

QPointF TextLayerGeometry::offset() const
{
    const double s = scale();
    return {(bounds.width() - displayedImageSize.width() * s) / 2,
            (bounds.height() - displayedImageSize.height() * s) / 2};
}

QPointF TextLayerGeometry::toView(QPointF position) const
{
    const double w = originalImageSize.width(), h = originalImageSize.height();
    if (!(w > 0) || !(h > 0))
        return {0, 0};
    const double x = position.x(), y = position.y();
    QPointF oriented;
    switch (quarterTurn()) {
    case 90: oriented = {h - y, w - x}; break;
    case 180: oriented = {w - x, y}; break;
    case 270: oriented = {y, x}; break;
    default: oriented = {x, h - y}; break;
    }
    return offset() + scale() * oriented;
}

QPointF TextLayerGeometry::toImage(QPointF p) const
{
    const double s = scale();
    const QPointF o = offset();
    const double w = originalImageSize.width(), h = originalImageSize.height();
    const double u = std::clamp((p.x() - o.x()) / s, 0.0, std::max(displayedImageSize.width(), 0.0));
    const double v = std::clamp((p.y() - o.y()) / s, 0.0, std::max(displayedImageSize.height(), 0.0));
    switch (quarterTurn()) {
    case 90: return {w - v, h - u};
    case 180: return {w - u, v};
    case 270: return {v, u};
    default: return {u, h - v};
    }
}

QPointF TextLayerGeometry::dragged(QPointF start, QPointF dragOffset) const
{
    const double s = scale();
    if (!(s > 0))
        return start;
    const QPointF d = dragOffset / s;
    switch (quarterTurn()) {
    case 90: return {start.x() - d.y(), start.y() - d.x()};
    case 180: return {start.x() - d.x(), start.y() + d.y()};
    case 270: return {start.x() + d.y(), start.y() + d.x()};
    default: return {start.x() + d.x(), start.y() - d.y()};
    }
}

double TextLayerGeometry::viewFontSize(const TextMark& mark) const
{
    return mark.fontSize * scale();
}

QRectF TextLayerGeometry::boxAround(QPointF c, const QString& text, double fs)
{
    const TextMetrics measured = fs > 0 ? measureText(text, fs) : TextMetrics{};
    const double w = std::max(measured.width + 2 * 0.35 * fs, 24.0);
    const double h = std::max(measured.height + 2 * 0.2 * fs, fs);
    return {c.x() - w / 2, c.y() - h / 2, w, h};
}

QRectF TextLayerGeometry::textBox(const TextMark& mark, QPointF dragOffset) const
{
    return boxAround(toView(mark.position), mark.text, viewFontSize(mark)).translated(dragOffset);
}

std::optional<QUuid> TextLayerGeometry::hit(const QList<TextMark>& marks, QPointF p, double grow) const
{
    for (auto it = marks.crbegin(); it != marks.crend(); ++it) {
        if (textBox(*it).adjusted(-grow, -grow, grow, grow).contains(p))
            return it->id;
    }
    return std::nullopt;
}

std::optional<QUuid> TextLayerGeometry::hitExactThenTolerant(const QList<TextMark>& marks, QPointF p) const
{
    if (auto exact = hit(marks, p, 0))
        return exact;
    return hit(marks, p, kTolerance);
}

} // namespace lumora
