#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "ui/magnifier/MagnifierColors.h"
#include "app/magnifier/MagnifierZoom.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace lumora {

void zeichneBildAusschnitt(QPainter& painter, const QImage& raster, QRectF ziel, QRectF sichtbar)
{
    const QRectF teil = ziel.intersected(sichtbar);
    if (raster.isNull() || teil.isEmpty())
        return;
    const double sx = raster.width() / ziel.width();
    const double sy = raster.height() / ziel.height();
    // Whole source pixels plus one on each side: filtering then samples the same neighbours
    // as a full draw, so strips repainted while scrolling show no seams.
    const QRect quelle = QRectF((teil.x() - ziel.x()) * sx, (teil.y() - ziel.y()) * sy,
                                teil.width() * sx, teil.height() * sy)
                             .toAlignedRect()
                             .adjusted(-1, -1, 1, 1)
                             .intersected(raster.rect());
    const QRectF zielTeil(ziel.x() + quelle.x() / sx, ziel.y() + quelle.y() / sy,
                          quelle.width() / sx, quelle.height() / sy);
    painter.save();
    painter.setClipRect(teil, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(zielTeil, raster, QRectF(quelle));
    painter.restore();
}

SchwenkbareInhaltView::SchwenkbareInhaltView(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::OpenHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void SchwenkbareInhaltView::setBild(const QImage& bild)
{
    if (bild.cacheKey() == m_bild.cacheKey())
        return;
    m_bild = bild;
    m_skaliert = {};
    update();
}

void SchwenkbareInhaltView::setRandAussen(double rand)
{
    m_randAussen = rand;
    update();
}

const QImage& SchwenkbareInhaltView::zeichenRaster(QSize geraetePixel)
{
    if (m_bild.width() <= geraetePixel.width() || m_bild.height() <= geraetePixel.height())
        return m_bild;
    // Downscaling by filtering only every few pixels aliases; an area-averaged copy does not.
    if (m_skaliert.size() != geraetePixel || m_skaliertVon != m_bild.cacheKey()) {
        m_skaliert = m_bild.scaled(geraetePixel, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_skaliertVon = m_bild.cacheKey();
    }
    return m_skaliert;
}

void SchwenkbareInhaltView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRectF ziel = QRectF(rect()).adjusted(m_randAussen, m_randAussen, -m_randAussen,
                                                -m_randAussen);
    if (m_bild.isNull() || ziel.isEmpty())
        return;
    const double dpr = devicePixelRatioF();
    const QSize geraetePixel(qRound(ziel.width() * dpr), qRound(ziel.height() * dpr));
    zeichneBildAusschnitt(painter, zeichenRaster(geraetePixel), ziel, event->rect());
}

void SchwenkbareInhaltView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setCursor(Qt::ClosedHandCursor);
    m_letzterPunkt = event->scenePosition();
}

void SchwenkbareInhaltView::mouseMoveEvent(QMouseEvent* event)
{
    // Window coordinates stay put while the document scrolls under the pointer; positions
    // local to this view would move with it.
    auto* flaeche = parentWidget() ? qobject_cast<SchwenkbareBildAnsicht*>(
                        parentWidget()->parentWidget())
                                   : nullptr;
    if (!flaeche || !m_letzterPunkt)
        return;
    const QPointF jetzt = event->scenePosition();
    const QPointF delta = jetzt - *m_letzterPunkt;
    m_letzterPunkt = jetzt;
    flaeche->setUrsprung(schwenkUrsprung(flaeche->ursprung(), delta, QSizeF(size()),
                                         flaeche->sicht()));
}

void SchwenkbareInhaltView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    setCursor(Qt::OpenHandCursor);
    m_letzterPunkt.reset();
}

SchwenkbareBildAnsicht::SchwenkbareBildAnsicht(QWidget* parent)
    : QScrollArea(parent), m_inhalt(new SchwenkbareInhaltView)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, lupenFarbe::flaeche());
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    setWidget(m_inhalt);
}

void SchwenkbareBildAnsicht::aktualisieren(const QImage& bild, double breite, double hoehe,
                                           double rand)
{
    m_inhalt->setBild(bild);
    if (m_inhalt->randAussen() != rand)
        m_inhalt->setRandAussen(rand);
    const QSize dokument(qRound(breite + 2 * rand), qRound(hoehe + 2 * rand));
    if (m_inhalt->size() == dokument)
        return;
    const QPointF neu = ursprungNachZoom(ursprung(), sicht(), QSizeF(m_inhalt->size()),
                                         QSizeF(dokument));
    m_inhalt->resize(dokument);
    m_inhalt->update();
    setUrsprung(neu);
}

QPointF SchwenkbareBildAnsicht::ursprung() const
{
    return {double(horizontalScrollBar()->value()), double(verticalScrollBar()->value())};
}

void SchwenkbareBildAnsicht::setUrsprung(QPointF ursprung)
{
    horizontalScrollBar()->setValue(qRound(ursprung.x()));
    verticalScrollBar()->setValue(qRound(ursprung.y()));
}

QSizeF SchwenkbareBildAnsicht::sicht() const
{
    return QSizeF(viewport()->size());
}

QSizeF SchwenkbareBildAnsicht::flaeche() const
{
    return QSizeF(maximumViewportSize());
}

void SchwenkbareBildAnsicht::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    Q_EMIT flaecheGeaendert(flaeche());
}

} // namespace lumora
