#include "app/magnifier/MagnifierZoom.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

bool hasImage(QSizeF image)
{
    return image.width() > 0 && image.height() > 0;
}

double clampToRange(double value, double maximum)
{
    return std::clamp(value, 0.0, std::max(0.0, maximum));
}

} // namespace

void MagnifierZoom::setImageSize(QSizeF size)
{
    m_imageSize = size;
    followFitZoom();
}

void MagnifierZoom::setArea(QSizeF area)
{
    m_area = area;
    followFitZoom();
}

double MagnifierZoom::einpassZoom(double w, double h) const
{
    if (!hasImage(m_imageSize))
        return 1.0;
    return std::min(std::max(1.0, w - 2 * rand) / m_imageSize.width(),
                    std::max(1.0, h - 2 * rand) / m_imageSize.height());
}

void MagnifierZoom::zoomOut()
{
    m_einpassen = false;
    if (m_zoom > minZoom)
        m_zoom = std::max(m_zoom / step, minZoom);
}

void MagnifierZoom::zoomIn()
{
    m_einpassen = false;
    if (m_zoom < maxZoom)
        m_zoom = std::min(m_zoom * step, maxZoom);
}

void MagnifierZoom::enterFitMode()
{
    m_einpassen = true;
    followFitZoom();
}

void MagnifierZoom::actualSize()
{
    m_einpassen = false;
    m_zoom = 1.0;
}

double MagnifierZoom::effectiveZoom() const
{
    return m_einpassen ? einpassZoom(m_area.width(), m_area.height()) : m_zoom;
}

QSizeF MagnifierZoom::displaySize() const
{
    const double z = effectiveZoom();
    return {std::max(1.0, z * m_imageSize.width()), std::max(1.0, z * m_imageSize.height())};
}

QSizeF MagnifierZoom::documentSize() const
{
    return displaySize() + QSizeF(2 * rand, 2 * rand);
}

QString MagnifierZoom::percentText() const
{
    // std::round rounds halves away from zero.
    return QString::number(static_cast<long long>(std::round(m_zoom * 100.0))) + QStringLiteral(" %");
}

bool MagnifierZoom::actualSizeHighlighted() const
{
    return !m_einpassen && std::abs(m_zoom - 1.0) < 0.001;
}

void MagnifierZoom::followFitZoom()
{
    // The stored zoom mirrors the fitted value so the label shows it and a zoom step out of
    // fit mode starts from what the user sees.
    if (!m_einpassen)
        return;
    const double fit = einpassZoom(m_area.width(), m_area.height());
    if (std::abs(m_zoom - fit) > 0.001)
        m_zoom = fit;
}

QPointF panOrigin(QPointF origin, QPointF handDelta, QSizeF document, QSizeF visibleSize)
{
    return {clampToRange(origin.x() - handDelta.x(), document.width() - visibleSize.width()),
            clampToRange(origin.y() - handDelta.y(), document.height() - visibleSize.height())};
}

QPointF originAfterZoom(QPointF origin, QSizeF visibleSize, QSizeF oldDocument, QSizeF newDocument)
{
    const auto axis = [](double u, double s, double oldLength, double newLength) {
        const double centre = u + std::min(s, oldLength) / 2;
        const double oldImage = oldLength - 2 * MagnifierZoom::rand;
        const double newImage = newLength - 2 * MagnifierZoom::rand;
        const double fraction = oldImage > 0 ? (centre - MagnifierZoom::rand) / oldImage : 0.5;
        const double newCentre = MagnifierZoom::rand + fraction * newImage;
        return clampToRange(newCentre - s / 2, newLength - s);
    };
    return {axis(origin.x(), visibleSize.width(), oldDocument.width(), newDocument.width()),
            axis(origin.y(), visibleSize.height(), oldDocument.height(), newDocument.height())};
}

} // namespace lumora
