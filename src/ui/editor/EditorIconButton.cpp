#include "ui/editor/EditorIconButton.h"

#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QPainter>
#include <algorithm>

namespace lumora {

EditorIconButton::EditorIconButton(QString systemName, QString title, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), m_systemName(std::move(systemName)), m_action(std::move(action))
{
    setText(title);
    setToolTip(title);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (isEnabled() && m_action)
            m_action();
    });
}

QSize EditorIconButton::sizeHint() const
{
    QFont font = this->font();
    font.setPixelSize(10);
    return {std::max(60, QFontMetrics(font).horizontalAdvance(text()) + 12), 48};
}

void EditorIconButton::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void EditorIconButton::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void EditorIconButton::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
}

void EditorIconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    if (!enabled)
        painter.setOpacity(0.45);
    const QRectF frame = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    if (m_selected) {
        painter.setPen(QPen(theme::accent, 1));
        painter.setBrush(theme::accentWash);
        painter.drawRoundedRect(frame, 7, 7);
    } else if (m_hover && enabled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme::button);
        painter.drawRoundedRect(frame, 7, 7);
    }
    const QColor color = !enabled ? theme::textMuted : m_selected ? theme::accent : theme::text;
    const QPixmap symbol = icons::pixmap(m_systemName, 18, color, devicePixelRatioF());
    painter.drawPixmap(QPointF((width() - 18) / 2.0, 6), symbol);
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setWeight(m_selected ? QFont::DemiBold : QFont::Medium);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(0, 27, width(), 16), Qt::AlignHCenter | Qt::AlignVCenter, text());
}

VDivider::VDivider(QWidget* parent) : QWidget(parent)
{
    setFixedSize(9, 36); // a 1-point line with 4 points on each side
}

void VDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(4, 0, 1, height()), theme::divider);
}

} // namespace lumora
