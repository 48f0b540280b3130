#include "app/magnifier/MagnifierZoom.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

bool hatBild(QSizeF bild)
{
    return bild.width() > 0 && bild.height() > 0;
}

double klemme(double wert, double maximum)
{
    return std::clamp(wert, 0.0, std::max(0.0, maximum));
}

} // namespace

void LupenZoom::setBildGroesse(QSizeF groesse)
{
    m_bild = groesse;
    einpassZoomUebernehmen();
}

void LupenZoom::setFlaeche(QSizeF flaeche)
{
    m_flaeche = flaeche;
    einpassZoomUebernehmen();
}

double LupenZoom::einpassZoom(double w, double h) const
{
    if (!hatBild(m_bild))
        return 1.0;
    return std::min(std::max(1.0, w - 2 * rand) / m_bild.width(),
                    std::max(1.0, h - 2 * rand) / m_bild.height());
}

void LupenZoom::verkleinern()
{
    m_einpassen = false;
    if (m_zoom > minZoom)
        m_zoom = std::max(m_zoom / schritt, minZoom);
}

void LupenZoom::vergroessern()
{
    m_einpassen = false;
    if (m_zoom < maxZoom)
        m_zoom = std::min(m_zoom * schritt, maxZoom);
}

void LupenZoom::einpassenAktivieren()
{
    m_einpassen = true;
    einpassZoomUebernehmen();
}

void LupenZoom::originalGroesse()
{
    m_einpassen = false;
    m_zoom = 1.0;
}

double LupenZoom::effektiverZoom() const
{
    return m_einpassen ? einpassZoom(m_flaeche.width(), m_flaeche.height()) : m_zoom;
}

QSizeF LupenZoom::anzeigeGroesse() const
{
    const double z = effektiverZoom();
    return {std::max(1.0, z * m_bild.width()), std::max(1.0, z * m_bild.height())};
}

QSizeF LupenZoom::dokumentGroesse() const
{
    return anzeigeGroesse() + QSizeF(2 * rand, 2 * rand);
}

QString LupenZoom::prozentText() const
{
    // std::round rounds halves away from zero.
    return QString::number(static_cast<long long>(std::round(m_zoom * 100.0))) + QStringLiteral(" %");
}

bool LupenZoom::originalHervorgehoben() const
{
    return !m_einpassen && std::abs(m_zoom - 1.0) < 0.001;
}

void LupenZoom::einpassZoomUebernehmen()
{
    // The stored zoom mirrors the fitted value so the label shows it and a zoom step out of
    // fit mode starts from what the user sees.
    if (!m_einpassen)
        return;
    const double fit = einpassZoom(m_flaeche.width(), m_flaeche.height());
    if (std::abs(m_zoom - fit) > 0.001)
        m_zoom = fit;
}

QPointF schwenkUrsprung(QPointF ursprung, QPointF handDelta, QSizeF dokument, QSizeF sicht)
{
    return {klemme(ursprung.x() - handDelta.x(), dokument.width() - sicht.width()),
            klemme(ursprung.y() - handDelta.y(), dokument.height() - sicht.height())};
}

QPointF ursprungNachZoom(QPointF ursprung, QSizeF sicht, QSizeF altDokument, QSizeF neuDokument)
{
    const auto achse = [](double u, double s, double alt, double neu) {
        const double mitte = u + std::min(s, alt) / 2;
        const double altBild = alt - 2 * LupenZoom::rand;
        const double neuBild = neu - 2 * LupenZoom::rand;
        const double anteil = altBild > 0 ? (mitte - LupenZoom::rand) / altBild : 0.5;
        const double neueMitte = LupenZoom::rand + anteil * neuBild;
        return klemme(neueMitte - s / 2, neu - s);
    };
    return {achse(ursprung.x(), sicht.width(), altDokument.width(), neuDokument.width()),
            achse(ursprung.y(), sicht.height(), altDokument.height(), neuDokument.height())};
}

} // namespace lumora
