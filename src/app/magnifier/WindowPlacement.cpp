#include "app/magnifier/WindowPlacement.h"

#include <QMetaType>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

const QRectF kNoScreenArea(0, 0, 1440, 900);

bool containsRect(QRectF outer, QRectF inner)
{
    return !inner.isEmpty() && inner.left() >= outer.left() && inner.right() <= outer.right()
           && inner.top() >= outer.top() && inner.bottom() <= outer.bottom();
}

QRectF centredIn(QSizeF size, QRectF area)
{
    const QPointF centre = area.center();
    return {centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height()};
}

std::optional<double> number(const QVariantMap& map, const QString& key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd())
        return std::nullopt;
    // Only real numbers count; a string such as "12" is a malformed value, not a number.
    switch (it->typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: break;
    default: return std::nullopt;
    }
    const double value = it->toDouble();
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

double overlapArea(QRectF a, QRectF b)
{
    const QRectF s = a.intersected(b);
    return s.isEmpty() ? 0.0 : s.width() * s.height();
}

} // namespace

bool istVollSichtbar(QRectF frame, std::span<const QRectF> visibleAreas)
{
    return std::ranges::any_of(visibleAreas, [&](const QRectF& area) { return containsRect(area, frame); });
}

QRectF inBereichEinpassen(QRectF r, QRectF area)
{
    const double breite = std::min(r.width(), area.width());
    const double hoehe = std::min(r.height(), area.height());
    double x = std::max(r.x(), area.left());
    double y = std::max(r.y(), area.top());
    if (x + breite > area.right())
        x = area.right() - breite;
    if (y + hoehe > area.bottom())
        y = area.bottom() - hoehe;
    return {x, y, breite, hoehe};
}

QRectF standardFrame(QSizeF size, const std::optional<ReferenceWindow>& reference,
                     const std::optional<QRectF>& mainArea)
{
    if (!reference || !reference->area)
        return centredIn(size, mainArea.value_or(kNoScreenArea));

    // y up: F.bottom() is the top edge (maxY).
    const QRectF f = reference->frame;
    const QRectF v = *reference->area;
    const QRectF beside(f.right() - 100, f.bottom() - size.height(), size.width(), size.height());
    if (containsRect(v, beside))
        return beside;

    const double breite = std::min(f.width() * 0.65, size.width());
    const double hoehe = std::min(f.height() - 80, size.height());
    const QRectF inner(f.right() - breite - 20, f.bottom() - hoehe - 60, breite, hoehe);
    return inBereichEinpassen(inner, v);
}

std::optional<QRectF> frameFromValue(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value.toMap();
    const auto x = number(map, QStringLiteral("x"));
    const auto y = number(map, QStringLiteral("y"));
    const auto w = number(map, QStringLiteral("w"));
    const auto h = number(map, QStringLiteral("h"));
    if (!x || !y || !w || !h)
        return std::nullopt;
    return QRectF(*x, *y, *w, *h);
}

QVariantMap frameToValue(QRectF frame)
{
    return {{QStringLiteral("x"), frame.x()},
            {QStringLiteral("y"), frame.y()},
            {QStringLiteral("w"), frame.width()},
            {QStringLiteral("h"), frame.height()}};
}

std::optional<std::size_t> screenOf(QRectF frame, std::span<const ScreenRects> screens)
{
    std::optional<std::size_t> best;
    double bestArea = 0;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const double area = overlapArea(frame, screens[i].geometry);
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    return best;
}

ScreenAxis axisFor(std::span<const ScreenRects> screens)
{
    return ScreenAxis(screens.empty() ? kNoScreenArea : screens.front().geometry);
}

QRectF standardFrameQt(QSizeF size, const std::optional<QRectF>& reference, std::span<const ScreenRects> screens)
{
    const ScreenAxis axis = axisFor(screens);
    std::optional<QRectF> mainArea;
    if (!screens.empty())
        mainArea = axis.mirrored(screens.front().visible);

    std::optional<ReferenceWindow> ref;
    if (reference) {
        ref = ReferenceWindow{axis.mirrored(*reference), mainArea};
        if (const auto index = screenOf(*reference, screens))
            ref->area = axis.mirrored(screens[*index].visible);
    }
    return axis.mirrored(standardFrame(size, ref, mainArea));
}

} // namespace lumora
