#include "ui/ProgressOverlay.h"

#include "app/CommandFlows.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <cmath>

namespace lumora {

namespace {

/// The ring: a 4-point track and an arc from the top, growing clockwise with the progress.
class Ring : public QWidget {
public:
    Ring(const double& progress, QWidget* parent) : QWidget(parent), m_progress(progress) { setFixedSize(56, 56); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle = QRectF(rect()).adjusted(2, 2, -2, -2);
        painter.setPen(QPen(theme::button, 4));
        painter.drawEllipse(circle);
        QPen arc(theme::accent, 4);
        arc.setCapStyle(Qt::RoundCap);
        painter.setPen(arc);
        const int span = -int(std::round(std::clamp(m_progress, 0.0, 1.0) * 360 * 16));
        if (span != 0)
            painter.drawArc(circle, 90 * 16, span);
        QFont font = painter.font();
        font.setPixelSize(13);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(theme::text);
        painter.drawText(rect(), Qt::AlignCenter, QString::number(int(m_progress * 100)));
    }

private:
    const double& m_progress;
};

} // namespace

ProgressOverlay::ProgressOverlay(CommandFlows& flows, QWidget* parent)
    : QWidget(parent), m_flows(flows), m_animation(new QVariantAnimation(this))
{
    setFocusPolicy(Qt::StrongFocus);
    m_card = new QWidget(this);
    m_card->setAutoFillBackground(true);
    QPalette palette = m_card->palette();
    palette.setColor(QPalette::Window, theme::bar);
    m_card->setPalette(palette);
    auto* layout = new QVBoxLayout(m_card);
    layout->setContentsMargins(28, 24, 28, 20);
    layout->setSpacing(12);
    m_ring = new Ring(m_shownProgress, m_card);
    layout->addWidget(m_ring, 0, Qt::AlignHCenter);
    m_text = new QLabel(m_card);
    m_text->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_text);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), m_card);
    m_cancel->setFocusPolicy(Qt::NoFocus);
    connect(m_cancel, &QPushButton::clicked, &m_flows, &CommandFlows::cancelRunning);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);

    m_animation->setDuration(200);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shownProgress = value.toDouble();
        m_ring->update();
    });
    connect(&m_flows, &CommandFlows::stateChanged, this, &ProgressOverlay::sync);
    parent->installEventFilter(this);
    hide();
}

QString ProgressOverlay::text() const
{
    return m_text->text();
}

int ProgressOverlay::percent() const
{
    return int(m_flows.progress() * 100);
}

void ProgressOverlay::sync()
{
    const bool running = m_flows.running() != CommandFlows::Command::none;
    m_text->setText(m_flows.progressText());
    if (running && isHidden()) {
        m_shownProgress = m_flows.progress();
        setGeometry(parentWidget()->rect());
        show();
        raise();
        setFocus(Qt::OtherFocusReason);
    } else if (!running && !isHidden()) {
        hide();
        if (parentWidget())
            parentWidget()->setFocus(Qt::OtherFocusReason);
    }
    m_animation->stop();
    m_animation->setStartValue(m_shownProgress);
    m_animation->setEndValue(m_flows.progress());
    m_animation->start();
    m_card->adjustSize();
    m_card->move((width() - m_card->width()) / 2, (height() - m_card->height()) / 2);
}

void ProgressOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, int(0.55 * 255)));
}

void ProgressOverlay::keyPressEvent(QKeyEvent* event)
{
    event->accept(); // nothing beneath the overlay takes keys while a command runs
}

bool ProgressOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        m_card->move((width() - m_card->width()) / 2, (height() - m_card->height()) / 2);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lumora
