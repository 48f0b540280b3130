#include "app/magnifier/LupenBildModell.h"

namespace lumora {

namespace {

QSize vollGroesse(const QImage& bild, QSize pixelGroesse)
{
    return pixelGroesse.isEmpty() ? bild.size() : pixelGroesse.expandedTo(bild.size());
}

} // namespace

LupenBildModell::LupenBildModell(QImage bild, QSize pixelGroesse, QObject* parent)
    : QObject(parent), m_bild(std::move(bild)), m_pixelGroesse(vollGroesse(m_bild, pixelGroesse))
{
}

void LupenBildModell::setBild(QImage bild, QSize pixelGroesse)
{
    m_bild = std::move(bild);
    m_pixelGroesse = vollGroesse(m_bild, pixelGroesse);
    m_vollbild.reset();
    m_vollbildAngefragt = false;
    Q_EMIT bildGeaendert();
}

QImage LupenBildModell::rasterFuer(QSizeF geraetePixel)
{
    // Half a pixel of slack: the display size is fractional, the raster is not.
    const bool bildReicht = m_bild.width() + 0.5 >= geraetePixel.width()
        && m_bild.height() + 0.5 >= geraetePixel.height();
    const bool bildIstVoll = m_bild.size() == m_pixelGroesse;
    if (bildReicht || bildIstVoll)
        return m_bild;
    if (!m_vollbildAngefragt && m_quelle) {
        m_vollbildAngefragt = true;
        ++m_anfragen;
        m_vollbild = m_quelle();
        if (m_vollbild && m_vollbild->isNull())
            m_vollbild.reset();
    }
    return m_vollbild ? *m_vollbild : m_bild;
}

} // namespace lumora
