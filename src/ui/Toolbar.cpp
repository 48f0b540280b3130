#include "ui/Toolbar.h"

#include "app/PanelTexts.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QScrollArea>
#include <QScrollBar>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <algorithm>

namespace lumora {

namespace {
constexpr int kFadeWidth = 36; ///< the fade and chevron over an edge with hidden entries
} // namespace

ToolbarButton::ToolbarButton(QAction* action, QWidget* parent) : QAbstractButton(parent), m_action(action)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
    connect(m_action, &QAction::changed, this, &ToolbarButton::sync);
    connect(this, &QAbstractButton::clicked, this, &ToolbarButton::activate);
    sync();
}

QSize ToolbarButton::sizeHint() const
{
    QFont font = this->font();
    font.setPixelSize(9);
    const int titleWidth = QFontMetrics(font).horizontalAdvance(m_action->text()) + 8;
    return {std::max(56, titleWidth), 52};
}

void ToolbarButton::sync()
{
    setEnabled(m_action->isEnabled());
    setText(m_action->text());
    QString tip = m_action->text();
    if (!m_action->shortcut().isEmpty())
        tip += QStringLiteral(" (") + panelTexts::shortcutText(m_action->shortcut()) + QLatin1Char(')');
    setToolTip(tip);
    update();
}

void ToolbarButton::activate()
{
    if (!m_action->isEnabled())
        return;
    if (QMenu* menu = m_action->menu()) {
        menu->popup(mapToGlobal(QPoint(0, height())));
        return;
    }
    m_action->trigger();
}

void ToolbarButton::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void ToolbarButton::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
}

void ToolbarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const bool active = m_action->isChecked();
    if (!enabled)
        painter.setOpacity(0.55);
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    if ((m_hover && enabled) || active) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme::button);
        painter.drawRoundedRect(frame, 7, 7);
    }
    if (active) {
        QColor border = theme::accent;
        border.setAlphaF(0.4f);
        painter.setPen(QPen(border, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    }
    const QColor color = !enabled ? theme::textMuted : active ? theme::accent : theme::text;
    const QString symbol = m_action->property("symbol").toString();
    const QRectF symbolFrame((width() - 28) / 2.0, 4, 28, 28);
    const QPixmap pixmap = icons::pixmap(symbol, 20, color, devicePixelRatioF());
    painter.drawPixmap(symbolFrame.center() - QPointF(10, 10), pixmap);
    // Long titles ("Wiederherstellen") shrink a little before they are cut.
    QFont font = painter.font();
    for (int pixels = 9; pixels >= 7; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text()) <= width() - 2)
            break;
    }
    painter.setFont(font);
    painter.setPen(color);
    const QString title = painter.fontMetrics().elidedText(text(), Qt::ElideRight, width() - 2);
    painter.drawText(QRectF(0, 34, width(), 14), Qt::AlignHCenter | Qt::AlignVCenter, title);
}

EdgeFade::EdgeFade(Qt::Edge edge, QWidget* parent)
    : QWidget(parent), m_edge(edge), m_animation(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_animation->setDuration(150);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_opacity = value.toDouble();
        update();
    });
    hide();
}

void EdgeFade::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    show();
    raise();
    m_animation->stop();
    m_animation->setStartValue(m_opacity);
    m_animation->setEndValue(shown ? 1.0 : 0.0);
    m_animation->start();
}

void EdgeFade::paintEvent(QPaintEvent*)
{
    if (m_opacity <= 0)
        return;
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    QLinearGradient gradient(m_edge == Qt::LeftEdge ? QPointF(0, 0) : QPointF(width(), 0),
                             m_edge == Qt::LeftEdge ? QPointF(width(), 0) : QPointF(0, 0));
    QColor clear = theme::bar;
    clear.setAlpha(0);
    gradient.setColorAt(0, theme::bar);
    gradient.setColorAt(0.45, theme::bar);
    gradient.setColorAt(1, clear);
    painter.fillRect(rect(), gradient);
    // A chevron says that more entries lie beyond this edge (the wheel or a drag brings them).
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(theme::text, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double x = m_edge == Qt::LeftEdge ? 10 : width() - 10;
    const double tip = m_edge == Qt::LeftEdge ? -4 : 4;
    const double y = height() / 2.0 - 6;
    painter.drawPolyline(QPolygonF{{x - tip, y - 6}, {x + tip, y}, {x - tip, y + 6}});
}

ToolbarBand::ToolbarBand(const QHash<ToolbarEntry, QAction*>& actions, QAction* info, QWidget* parent) : QWidget(parent)
{
    setFixedHeight(64 + 1);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(8, 0, 0, 1);
    outer->setSpacing(4);
    auto* infoButton = new ToolbarButton(info, this);
    infoButton->setToolTip(QStringLiteral("Info & Funktionen"));
    outer->addWidget(infoButton);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(false);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto* row = new QWidget;
    row->setAutoFillBackground(false);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 6, 8, 6);
    layout->setSpacing(2);
    int group = -1;
    for (const ToolbarEntryLook& look : toolbar::entries()) {
        if (group >= 0 && toolbar::group(look.entry) != group) {
            auto* divider = new QWidget(row);
            divider->setFixedSize(1, 36);
            divider->setAutoFillBackground(true);
            QPalette palette = divider->palette();
            palette.setColor(QPalette::Window, theme::divider);
            divider->setPalette(palette);
            layout->addSpacing(4);
            layout->addWidget(divider);
            layout->addSpacing(4);
        }
        group = toolbar::group(look.entry);
        auto* button = new ToolbarButton(actions.value(look.entry), row);
        m_buttons.insert(look.entry, button);
        layout->addWidget(button);
    }
    row->adjustSize();
    m_scroll->setWidget(row);
    row->setAutoFillBackground(false); // setWidget turned it on; the band paints its own colour
    outer->addWidget(m_scroll, 1);
    m_scroll->viewport()->installEventFilter(this);
    connect(m_scroll->horizontalScrollBar(), &QScrollBar::valueChanged, this, &ToolbarBand::updateFades);
    connect(m_scroll->horizontalScrollBar(), &QScrollBar::rangeChanged, this, &ToolbarBand::updateFades);

    m_left = new EdgeFade(Qt::LeftEdge, m_scroll);
    m_right = new EdgeFade(Qt::RightEdge, m_scroll);
}

ToolbarUeberlauf ToolbarBand::overflow() const
{
    return {double(m_scroll->horizontalScrollBar()->value()), double(m_scroll->widget()->width()),
            double(m_scroll->viewport()->width())};
}

void ToolbarBand::updateFades()
{
    const ToolbarUeberlauf state = overflow();
    m_left->setGeometry(0, 0, kFadeWidth, m_scroll->height());
    m_right->setGeometry(m_scroll->width() - kFadeWidth, 0, kFadeWidth, m_scroll->height());
    m_left->setShown(state.canScrollLeft());
    m_right->setShown(state.canScrollRight());
}

void ToolbarBand::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateFades();
}

bool ToolbarBand::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        // Most mice here have only a vertical wheel: it scrolls the band sideways.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->pixelDelta().isNull() ? wheel->angleDelta() / 2 : wheel->pixelDelta();
        const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        QScrollBar* bar = m_scroll->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        updateFades();
    return QWidget::eventFilter(watched, event);
}

void ToolbarBand::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), theme::bar);
    painter.fillRect(QRect(0, height() - 1, width(), 1), theme::divider);
}

} // namespace lumora
