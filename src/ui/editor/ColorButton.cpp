#include "ui/editor/ColorButton.h"

#include "pipeline/ColorHex.h"
#include "platform/Dialogs.h"
#include "ui/Theme.h"

#include <QPainter>

namespace lumora {

ColorButton::ColorButton(Dialogs& dialogs, Binding binding, QColor fallback, bool withAlpha, QWidget* parent)
    : QAbstractButton(parent), m_dialogs(dialogs), m_binding(std::move(binding)), m_fallback(fallback),
      m_withAlpha(withAlpha)
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("Farbe"));
    connect(this, &QAbstractButton::clicked, this, &ColorButton::choose);
}

QColor ColorButton::shownColor() const
{
    return colorFromHex(m_binding.read()).value_or(m_fallback);
}

void ColorButton::choose()
{
    const std::optional<QString> chosen =
        m_dialogs.chooseColor({QStringLiteral("Farbe"), m_binding.read(), hexFromColor(m_fallback), m_withAlpha});
    if (!chosen)
        return;
    m_binding.write(*chosen);
    update();
}

void ColorButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    // A checkerboard under the colour shows its transparency.
    painter.setClipRect(frame);
    for (int y = 0; y < height(); y += 5)
        for (int x = 0; x < width(); x += 5)
            painter.fillRect(x, y, 5, 5, ((x + y) / 5) % 2 ? QColor(200, 200, 200) : QColor(120, 120, 120));
    painter.setClipping(false);
    painter.setPen(QPen(theme::divider, 1));
    painter.setBrush(shownColor());
    painter.drawRoundedRect(frame, 4, 4);
}

} // namespace lumora
