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

double CanvasMapping::scale() const
{
    const QSizeF d = orientedSize();
    if (!positive(d))
        return 0;
    return std::min(canvas.width() / d.width(), canvas.height() / d.height());
}

QRectF CanvasMapping::fittedRect() const
{
    const QSizeF fitted = orientedSize() * scale();
    return {QPointF((canvas.width() - fitted.width()) / 2, (canvas.height() - fitted.height()) / 2), fitted};
}

bool CanvasMapping::isValid() const
{
    return positive(originalSize) && scale() > 0;
}

QPointF CanvasMapping::toImageUnclamped(QPointF p) const
{
    if (!isValid())
        return {0, 0};
    const double w = originalSize.width();
    const double h = originalSize.height();
    const QSizeF d = orientedSize();
    const double s = scale();
    const QRectF fitted = fittedRect();
    const double u = (p.x() - fitted.x()) / s;
    const double v = (p.y() - fitted.y()) / s;

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
    return {ix, iy};
}

QPointF CanvasMapping::toImage(QPointF p) const
{
    if (!isValid())
        return {0, 0};
    // The clamp to the shown photo comes first: for a general angle the clamped oriented point
    // still lies on the photo's rectangle as displayed.
    const QRectF fitted = fittedRect();
    const QPointF inside(std::clamp(p.x(), fitted.left(), fitted.right()),
                         std::clamp(p.y(), fitted.top(), fitted.bottom()));
    const QPointF q = toImageUnclamped(inside);
    return {std::clamp(q.x(), 0.0, originalSize.width()), std::clamp(q.y(), 0.0, originalSize.height())};
}

QPointF CanvasMapping::toCanvas(QPointF q) const
{
    if (!isValid())
        return {0, 0};
    const double w = originalSize.width();
    const double h = originalSize.height();
    const QSizeF d = orientedSize();
    const double ix = flippedH ? w - q.x() : q.x();
    const double iy = flippedV ? h - q.y() : q.y();

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
    const QRectF fitted = fittedRect();
    const double s = scale();
    return {fitted.x() + u * s, fitted.y() + v * s};
}

QRectF CanvasMapping::toCanvas(const QRectF& imageRect) const
{
    return QRectF(toCanvas(imageRect.topLeft()), toCanvas(imageRect.bottomRight())).normalized();
}

QRectF CanvasMapping::toImage(const QRectF& canvasRect) const
{
    return QRectF(toImageUnclamped(canvasRect.topLeft()), toImageUnclamped(canvasRect.bottomRight())).normalized();
}

QTransform CanvasMapping::imageToCanvas() const
{
    if (!isValid())
        return QTransform(0, 0, 0, 0, 0, 0);
    // The mapping is affine: three points fix it.
    const QPointF o = toCanvas(QPointF(0, 0));
    const QPointF x = toCanvas(QPointF(1, 0)) - o;
    const QPointF y = toCanvas(QPointF(0, 1)) - o;
    return QTransform(x.x(), x.y(), y.x(), y.y(), o.x(), o.y());
}

double CanvasMapping::pixelsPerPoint() const
{
    const double s = scale();
    return s > 0 ? 1 / s : 1;
}

} // namespace lumora
