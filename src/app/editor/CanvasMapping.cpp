#include "app/editor/CanvasMapping.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumora {

namespace {

bool near(double r, double angle)
{
    return std::abs(r - angle) < 1;
}

bool positive(QSizeF size)
{
    return size.width() > 0 && size.height() > 0;
}

} // namespace

double CanvasMapping::reducedRotation() const
{
    double r = std::fmod(rotation, 360.0);
    if (r < 0)
        r += 360;
    return r;
}

QSizeF CanvasMapping::orientedSize() const
{
    const double r = reducedRotation();
    if (near(r, 90) || near(r, 270))
        return originalSize.transposed();
    return originalSize;
}

double CanvasMapping::fitScale(QSizeF canvas) const
{
    const QSizeF d = orientedSize();
    if (!positive(d))
        return 0;
    return std::min(canvas.width() / d.width(), canvas.height() / d.height());
}

QRectF CanvasMapping::fittedRect(QSizeF canvas) const
{
    const double s = fitScale(canvas);
    const QSizeF fitted = orientedSize() * s;
    return {QPointF((canvas.width() - fitted.width()) / 2, (canvas.height() - fitted.height()) / 2), fitted};
}

QPointF CanvasMapping::toImage(QPointF p, QSizeF canvas) const
{
    const double w = originalSize.width();
    const double h = originalSize.height();
    const QSizeF d = orientedSize();
    if (!positive(d) || !positive(originalSize))
        return {0, 0};
    const double s = fitScale(canvas);
    if (!(s > 0))
        return {0, 0};
    const QRectF fitted = fittedRect(canvas);
    const double u = std::clamp((p.x() - fitted.x()) / s, 0.0, d.width());
    const double v = std::clamp((p.y() - fitted.y()) / s, 0.0, d.height());

    const double r = reducedRotation();
    double ix = 0;
    double iy = 0;
    if (near(r, 0) || near(r, 360)) {
        ix = u;
        iy = h - v;
    } else if (near(r, 90)) {
        ix = w - v;
        iy = h - u;
    } else if (near(r, 180)) {
        ix = w - u;
        iy = v;
    } else if (near(r, 270)) {
        ix = v;
        iy = u;
    } else {
        const double a = r * std::numbers::pi / 180;
        const double du = u - d.width() / 2;
        const double dv = (d.height() - v) - d.height() / 2;
        ix = w / 2 + std::cos(a) * du + std::sin(a) * dv;
        iy = h / 2 - std::sin(a) * du + std::cos(a) * dv;
    }
    // The render mirrors first and turns second, so the mapping undoes the turn first.
    if (flippedH)
        ix = w - ix;
    if (flippedV)
        iy = h - iy;
    return {std::clamp(ix, 0.0, w), std::clamp(iy, 0.0, h)};
}

QPointF CanvasMapping::toImageWithLastKnownSize(QPointF p, QSizeF lastKnownViewSize) const
{
    if (!positive(lastKnownViewSize))
        return {0, 0};
    return toImage(p, lastKnownViewSize);
}

double CanvasMapping::pixelsPerPoint(QSizeF canvas) const
{
    const double s = fitScale(canvas);
    return s > 0 ? 1 / s : 1;
}

double CanvasMapping::pixelsPerPointWithLastKnownSize(QSizeF lastKnownViewSize) const
{
    if (!positive(lastKnownViewSize) || !positive(orientedSize()))
        return 1;
    return pixelsPerPoint(lastKnownViewSize);
}

QPointF CanvasMapping::toCanvas(QPointF q, QSizeF canvas) const
{
    const double w = originalSize.width();
    const double h = originalSize.height();
    const QSizeF d = orientedSize();
    const double s = fitScale(canvas);
    if (!positive(d) || !positive(originalSize) || !(s > 0))
        return {0, 0};
    double ix = flippedH ? w - q.x() : q.x();
    double iy = flippedV ? h - q.y() : q.y();

    const double r = reducedRotation();
    double u = 0;
    double v = 0;
    if (near(r, 0) || near(r, 360)) {
        u = ix;
        v = h - iy;
    } else if (near(r, 90)) {
        u = h - iy;
        v = w - ix;
    } else if (near(r, 180)) {
        u = w - ix;
        v = iy;
    } else if (near(r, 270)) {
        u = iy;
        v = ix;
    } else {
        const double a = r * std::numbers::pi / 180;
        const double x = ix - w / 2;
        const double y = iy - h / 2;
        const double du = std::cos(a) * x - std::sin(a) * y;
        const double dv = std::sin(a) * x + std::cos(a) * y;
        u = du + d.width() / 2;
        v = d.height() / 2 - dv;
    }
    const QRectF fitted = fittedRect(canvas);
    return {fitted.x() + u * s, fitted.y() + v * s};
}

} // namespace lumora
