#include "ui/magnifier/LupenKnopf.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lumora {

namespace {

constexpr double kCornerRadius = 5.0;

void drawBackground(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(rect, kCornerRadius, kCornerRadius);
}

/// A magnifying glass centred in `rect`: a ring with a handle to the lower right and a minus or
/// plus inside the ring.
void drawMagnifyingGlass(QPainter& painter, const QRectF& rect, LupenKnopf::Symbol symbol)
{
    const double radius = 5.5;
    const QPointF centre = rect.center() + QPointF(-1.5, -1.5);
    QPen pen(theme::text, 1.6, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    const double d = radius / std::sqrt(2.0);
    pen.setWidthF(2.2);
    painter.setPen(pen);
    painter.drawLine(centre + QPointF(d, d), centre + QPointF(d + 4.0, d + 4.0));
    pen.setWidthF(1.5);
    painter.setPen(pen);
    const double arm = 2.8;
    painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    if (symbol == LupenKnopf::Symbol::Plus)
        painter.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
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
        drawBackground(painter, rect(), theme::button);
    drawMagnifyingGlass(painter, rect(), m_symbol);
}

LupenTextKnopf::LupenTextKnopf(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setFixedHeight(26);
}

void LupenTextKnopf::setHighlighted(bool on)
{
    if (m_highlighted == on)
        return;
    m_highlighted = on;
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
    if (m_highlighted)
        drawBackground(painter, rect(), theme::accentWash);
    else if (underMouse() || isDown())
        drawBackground(painter, rect(), theme::button);
    painter.setPen(m_highlighted ? theme::accent : theme::text);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace lumora
