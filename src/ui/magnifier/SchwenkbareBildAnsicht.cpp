#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "app/magnifier/MagnifierZoom.h"
#include "ui/Theme.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace lumora {

void drawImagePart(QPainter& painter, const QImage& raster, QRectF target, QRectF visible)
{
    const QRectF part = target.intersected(visible);
    if (raster.isNull() || part.isEmpty())
        return;
    const double sx = raster.width() / target.width();
    const double sy = raster.height() / target.height();
    // Whole source pixels plus one on each side: filtering then samples the same neighbours
    // as a full draw, so strips repainted while scrolling show no seams.
    const QRect source =
        QRectF((part.x() - target.x()) * sx, (part.y() - target.y()) * sy, part.width() * sx, part.height() * sy)
            .toAlignedRect()
            .adjusted(-1, -1, 1, 1)
            .intersected(raster.rect());
    const QRectF targetPart(target.x() + source.x() / sx, target.y() + source.y() / sy, source.width() / sx,
                            source.height() / sy);
    painter.save();
    painter.setClipRect(part, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(targetPart, raster, QRectF(source));
    painter.restore();
}

SchwenkbareInhaltView::SchwenkbareInhaltView(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::OpenHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void SchwenkbareInhaltView::setBild(const QImage& image)
{
    if (image.cacheKey() == m_bild.cacheKey())
        return;
    m_bild = image;
    m_scaled = {};
    update();
}

void SchwenkbareInhaltView::setRandAussen(double rand)
{
    m_randAussen = rand;
    update();
}

const QImage& SchwenkbareInhaltView::drawingRaster(QSize devicePixels)
{
    if (m_bild.width() <= devicePixels.width() || m_bild.height() <= devicePixels.height())
        return m_bild;
    // Downscaling by filtering only every few pixels aliases; an area-averaged copy does not.
    if (m_scaled.size() != devicePixels || m_scaledFrom != m_bild.cacheKey()) {
        m_scaled = m_bild.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledFrom = m_bild.cacheKey();
    }
    return m_scaled;
}

void SchwenkbareInhaltView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRectF target = QRectF(rect()).adjusted(m_randAussen, m_randAussen, -m_randAussen, -m_randAussen);
    if (m_bild.isNull() || target.isEmpty())
        return;
    const double dpr = devicePixelRatioF();
    const QSize devicePixels(qRound(target.width() * dpr), qRound(target.height() * dpr));
    drawImagePart(painter, drawingRaster(devicePixels), target, event->rect());
}

void SchwenkbareInhaltView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setCursor(Qt::ClosedHandCursor);
    m_lastPoint = event->scenePosition();
}

void SchwenkbareInhaltView::mouseMoveEvent(QMouseEvent* event)
{
    // Window coordinates stay put while the document scrolls under the pointer; positions
    // local to this view would move with it.
    auto* scrollArea = parentWidget() ? qobject_cast<SchwenkbareBildAnsicht*>(parentWidget()->parentWidget()) : nullptr;
    if (!scrollArea || !m_lastPoint)
        return;
    const QPointF now = event->scenePosition();
    const QPointF delta = now - *m_lastPoint;
    m_lastPoint = now;
    scrollArea->setOrigin(panOrigin(scrollArea->origin(), delta, QSizeF(size()), scrollArea->visibleSize()));
}

void SchwenkbareInhaltView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    setCursor(Qt::OpenHandCursor);
    m_lastPoint.reset();
}

SchwenkbareBildAnsicht::SchwenkbareBildAnsicht(QWidget* parent)
    : QScrollArea(parent), m_content(new SchwenkbareInhaltView)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, theme::window);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    setWidget(m_content);
}

void SchwenkbareBildAnsicht::refresh(const QImage& image, double breite, double hoehe, double rand)
{
    m_content->setBild(image);
    if (m_content->randAussen() != rand)
        m_content->setRandAussen(rand);
    const QSize document(qRound(breite + 2 * rand), qRound(hoehe + 2 * rand));
    if (m_content->size() == document)
        return;
    const QPointF newOrigin = originAfterZoom(origin(), visibleSize(), QSizeF(m_content->size()), QSizeF(document));
    m_content->resize(document);
    m_content->update();
    setOrigin(newOrigin);
}

QPointF SchwenkbareBildAnsicht::origin() const
{
    return {double(horizontalScrollBar()->value()), double(verticalScrollBar()->value())};
}

void SchwenkbareBildAnsicht::setOrigin(QPointF origin)
{
    horizontalScrollBar()->setValue(qRound(origin.x()));
    verticalScrollBar()->setValue(qRound(origin.y()));
}

QSizeF SchwenkbareBildAnsicht::visibleSize() const
{
    return QSizeF(viewport()->size());
}

QSizeF SchwenkbareBildAnsicht::area() const
{
    return QSizeF(maximumViewportSize());
}

void SchwenkbareBildAnsicht::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    Q_EMIT areaChanged(area());
}

} // namespace lumora
