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
    // Mirror first, then turn: the order in which the pipeline shows the photo.
    const double x = flippedH ? w - position.x() : position.x();
    const double y = flippedV ? h - position.y() : position.y();
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
    QPointF p0;
    switch (quarterTurn()) {
    case 90: p0 = {w - v, h - u}; break;
    case 180: p0 = {w - u, v}; break;
    case 270: p0 = {v, u}; break;
    default: p0 = {u, h - v}; break;
    }
    return {flippedH ? w - p0.x() : p0.x(), flippedV ? h - p0.y() : p0.y()};
}

QPointF TextLayerGeometry::dragged(QPointF start, QPointF dragOffset) const
{
    const double s = scale();
    if (!(s > 0))
        return start;
    const QPointF d = dragOffset / s;
    QPointF moved; // in the mirrored original's frame
    switch (quarterTurn()) {
    case 90: moved = {-d.y(), -d.x()}; break;
    case 180: moved = {-d.x(), d.y()}; break;
    case 270: moved = {d.y(), d.x()}; break;
    default: moved = {d.x(), -d.y()}; break;
    }
    return start + QPointF(flippedH ? -moved.x() : moved.x(), flippedV ? -moved.y() : moved.y());
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
