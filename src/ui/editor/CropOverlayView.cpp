#include "ui/editor/CropOverlayView.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace lumora {

namespace {

constexpr double kLabelPaddingX = 6;
constexpr double kLabelPaddingY = 3;
constexpr double kLabelGap = 4;

QFont labelFont()
{
    QFont font;
    font.setPointSizeF(11);
    font.setWeight(QFont::Medium);
    return font;
}

} // namespace

QString CropOverlayView::labelText() const
{
    return QString::number(pixelBreite) + QStringLiteral(" × ") + QString::number(pixelHoehe) + QStringLiteral(" px");
}

QRectF CropOverlayView::labelRect() const
{
    const QFontMetricsF metrics(labelFont());
    const QSizeF size(metrics.horizontalAdvance(labelText()) + 2 * kLabelPaddingX,
                      metrics.height() + 2 * kLabelPaddingY);
    const QRectF frame = cropRect.normalized();
    const double above = frame.top() - kLabelGap - size.height();
    const QPointF origin =
        above >= 0 ? QPointF(frame.left(), above) : QPointF(frame.left() + kLabelGap, frame.top() + kLabelGap);
    return {origin, size};
}

void CropOverlayView::paint(QPainter& painter) const
{
    painter.save();
    const QRectF frame = cropRect.normalized();
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(QRectF(QPointF(0, 0), totalSize));
    outside.addRect(frame);
    painter.setPen(Qt::NoPen);
    painter.fillPath(outside, QColor::fromRgbF(0, 0, 0, 0.45f));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);

    if (withLabel) {
        const QRectF plate = labelRect();
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.7f));
        painter.drawRoundedRect(plate, 4, 4);
        painter.setFont(labelFont());
        painter.setPen(Qt::white);
        painter.drawText(plate, Qt::AlignCenter, labelText());
    }
    painter.restore();
}

} // namespace lumora
