#include "app/magnifier/WindowPlacement.h"

#include <QMetaType>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

const QRectF kOhneBildschirm(0, 0, 1440, 900);

bool enthaelt(QRectF aussen, QRectF innen)
{
    return !innen.isEmpty() && innen.left() >= aussen.left() && innen.right() <= aussen.right()
        && innen.top() >= aussen.top() && innen.bottom() <= aussen.bottom();
}

QRectF zentriert(QSizeF groesse, QRectF bereich)
{
    const QPointF mitte = bereich.center();
    return {mitte.x() - groesse.width() / 2, mitte.y() - groesse.height() / 2, groesse.width(),
            groesse.height()};
}

std::optional<double> zahl(const QVariantMap& map, const QString& key)
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
    case QMetaType::Float:
        break;
    default:
        return std::nullopt;
    }
    const double wert = it->toDouble();
    return std::isfinite(wert) ? std::optional(wert) : std::nullopt;
}

double schnittflaeche(QRectF a, QRectF b)
{
    const QRectF s = a.intersected(b);
    return s.isEmpty() ? 0.0 : s.width() * s.height();
}

} // namespace

bool istVollSichtbar(QRectF frame, std::span<const QRectF> sichtbareBereiche)
{
    return std::ranges::any_of(sichtbareBereiche,
                               [&](const QRectF& bereich) { return enthaelt(bereich, frame); });
}

QRectF inBereichEinpassen(QRectF r, QRectF bereich)
{
    const double breite = std::min(r.width(), bereich.width());
    const double hoehe = std::min(r.height(), bereich.height());
    double x = std::max(r.x(), bereich.left());
    double y = std::max(r.y(), bereich.top());
    if (x + breite > bereich.right())
        x = bereich.right() - breite;
    if (y + hoehe > bereich.bottom())
        y = bereich.bottom() - hoehe;
    return {x, y, breite, hoehe};
}

QRectF standardFrame(QSizeF groesse, const std::optional<Referenzfenster>& referenz,
                     const std::optional<QRectF>& hauptbereich)
{
    if (!referenz || !referenz->bereich)
        return zentriert(groesse, hauptbereich.value_or(kOhneBildschirm));

    // y up: F.bottom() is the top edge (maxY).
    const QRectF f = referenz->frame;
    const QRectF v = *referenz->bereich;
    const QRectF daneben(f.right() - 100, f.bottom() - groesse.height(), groesse.width(),
                         groesse.height());
    if (enthaelt(v, daneben))
        return daneben;

    const double breite = std::min(f.width() * 0.65, groesse.width());
    const double hoehe = std::min(f.height() - 80, groesse.height());
    const QRectF innen(f.right() - breite - 20, f.bottom() - hoehe - 60, breite, hoehe);
    return inBereichEinpassen(innen, v);
}

std::optional<QRectF> frameAusWert(const QVariant& wert)
{
    if (wert.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = wert.toMap();
    const auto x = zahl(map, QStringLiteral("x"));
    const auto y = zahl(map, QStringLiteral("y"));
    const auto w = zahl(map, QStringLiteral("w"));
    const auto h = zahl(map, QStringLiteral("h"));
    if (!x || !y || !w || !h)
        return std::nullopt;
    return QRectF(*x, *y, *w, *h);
}

QVariantMap frameAlsWert(QRectF frame)
{
    return {{QStringLiteral("x"), frame.x()},
            {QStringLiteral("y"), frame.y()},
            {QStringLiteral("w"), frame.width()},
            {QStringLiteral("h"), frame.height()}};
}

std::optional<std::size_t> bildschirmVon(QRectF frame, std::span<const Bildschirm> bildschirme)
{
    std::optional<std::size_t> bester;
    double besteFlaeche = 0;
    for (std::size_t i = 0; i < bildschirme.size(); ++i) {
        const double flaeche = schnittflaeche(frame, bildschirme[i].geometrie);
        if (flaeche > besteFlaeche) {
            besteFlaeche = flaeche;
            bester = i;
        }
    }
    return bester;
}

BildschirmAchse achseFuer(std::span<const Bildschirm> bildschirme)
{
    return BildschirmAchse(bildschirme.empty() ? kOhneBildschirm : bildschirme.front().geometrie);
}

QRectF standardFrameQt(QSizeF groesse, const std::optional<QRectF>& referenz,
                       std::span<const Bildschirm> bildschirme)
{
    const BildschirmAchse achse = achseFuer(bildschirme);
    std::optional<QRectF> hauptbereich;
    if (!bildschirme.empty())
        hauptbereich = achse.gespiegelt(bildschirme.front().sichtbar);

    std::optional<Referenzfenster> ref;
    if (referenz) {
        ref = Referenzfenster{achse.gespiegelt(*referenz), hauptbereich};
        if (const auto index = bildschirmVon(*referenz, bildschirme))
            ref->bereich = achse.gespiegelt(bildschirme[*index].sichtbar);
    }
    return achse.gespiegelt(standardFrame(groesse, ref, hauptbereich));
}

} // namespace lumora
