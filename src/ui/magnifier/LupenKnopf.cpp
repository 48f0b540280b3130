#include "ui/magnifier/LupenKnopf.h"

#include "ui/magnifier/MagnifierColors.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lumora {

namespace {

constexpr double kEckRadius = 5.0;

void zeichneHintergrund(QPainter& painter, const QRectF& rect, const QColor& farbe)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(farbe);
    painter.drawRoundedRect(rect, kEckRadius, kEckRadius);
}

/// A magnifying glass centred in `rect`: a ring with a handle to the lower right and a minus or
/// plus inside the ring.
void zeichneLupe(QPainter& painter, const QRectF& rect, LupenKnopf::Symbol symbol)
{
    const double radius = 5.5;
    const QPointF mitte = rect.center() + QPointF(-1.5, -1.5);
    QPen stift(lupenFarbe::text(), 1.6, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(stift);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(mitte, radius, radius);
    const double d = radius / std::sqrt(2.0);
    stift.setWidthF(2.2);
    painter.setPen(stift);
    painter.drawLine(mitte + QPointF(d, d), mitte + QPointF(d + 4.0, d + 4.0));
    stift.setWidthF(1.5);
    painter.setPen(stift);
    const double arm = 2.8;
    painter.drawLine(mitte - QPointF(arm, 0), mitte + QPointF(arm, 0));
    if (symbol == LupenKnopf::Symbol::Plus)
        painter.drawLine(mitte - QPointF(0, arm), mitte + QPointF(0, arm));
}

} // namespace

LupenKnopf::LupenKnopf(Symbol symbol, QWidget* parent) : QAbstractButton(parent), m_symbol(symbol)
{
    setFixedSize(32, 26);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
}

void LupenKnopf::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (underMouse() || isDown())
        zeichneHintergrund(painter, rect(), lupenFarbe::hover());
    zeichneLupe(painter, rect(), m_symbol);
}

LupenTextKnopf::LupenTextKnopf(const QString& titel, QWidget* parent) : QAbstractButton(parent)
{
    setText(titel);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setFixedHeight(26);
}

void LupenTextKnopf::setHervorgehoben(bool an)
{
    if (m_hervorgehoben == an)
        return;
    m_hervorgehoben = an;
    update();
}

QSize LupenTextKnopf::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()) + 20, 26};
}

void LupenTextKnopf::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hervorgehoben)
        zeichneHintergrund(painter, rect(), lupenFarbe::akzentFlaeche());
    else if (underMouse() || isDown())
        zeichneHintergrund(painter, rect(), lupenFarbe::hover());
    painter.setPen(m_hervorgehoben ? lupenFarbe::akzent() : lupenFarbe::text());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace lumora
