#include "ui/PhotoGridView.h"

#include "app/PhotoDropDelegate.h"
#include "app/PhotoGridModel.h"
#include "app/PhotoSelection.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDrag>
#include <QEasingCurve>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>

namespace lumora {

namespace {
constexpr qint64 kSelectMs = 120;
constexpr qint64 kMoveMs = 200;
} // namespace

PhotoGridView::PhotoGridView(PhotoGridModel& model, PhotoSelection& selection, QWidget* parent)
    : QAbstractScrollArea(parent), m_model(model), m_selection(selection),
      m_delegate(this, [this](qint64 key) { pictureArrived(key); })
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    m_clock.start();
    m_ticker.setInterval(16);
    connect(&m_ticker, &QTimer::timeout, this, &PhotoGridView::tick);
    m_dragRunner = [](QDrag& drag) { drag.exec(Qt::MoveAction); };

    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &PhotoGridView::relayout);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &PhotoGridView::relayout);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &PhotoGridView::relayout);
    connect(&m_model, &QAbstractItemModel::layoutAboutToBeChanged, this, &PhotoGridView::captureOldPlaces);
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, &PhotoGridView::relayout);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &PhotoGridView::rowsChanged);
    connect(&m_selection, &PhotoSelection::selectionChanged, this, &PhotoGridView::selectionChanged);
    relayout();
}

void PhotoGridView::setCellSize(double minimum)
{
    m_layout.setCellSize(minimum);
    relayout();
}

void PhotoGridView::relayout()
{
    QList<QSizeF> sizes;
    sizes.reserve(m_model.rowCount());
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QImage thumbnail = m_model.index(row).data(PhotoGridModel::ThumbnailRole).value<QImage>();
        sizes.append(thumbnail.isNull() ? QSizeF() : QSizeF(thumbnail.size()));
    }
    m_layout.setWidth(viewport()->width());
    m_layout.setPictureSizes(std::move(sizes));
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, int(std::ceil(m_layout.contentHeight())) - viewport()->height()));
    viewport()->update();
}

void PhotoGridView::rowsChanged(const QModelIndex& first, const QModelIndex& last)
{
    bool moved = false;
    for (int row = first.row(); row <= last.row(); ++row) {
        const QImage thumbnail = m_model.index(row).data(PhotoGridModel::ThumbnailRole).value<QImage>();
        moved |= m_layout.setPictureSize(row, thumbnail.isNull() ? QSizeF() : QSizeF(thumbnail.size()));
    }
    if (moved || m_moveStart >= 0) {
        relayout();
        return;
    }
    // Only the changed cards are painted again: a slider step on one photo, or a render that
    // arrives, must not repaint the whole grid.
    QRegion dirty;
    for (int row = first.row(); row <= last.row(); ++row)
        dirty += areaOnScreen(m_layout.cardRect(row));
    viewport()->update(dirty);
}

void PhotoGridView::pictureArrived(qint64 key)
{
    const auto card = m_paintedCards.constFind(key);
    if (card == m_paintedCards.cend() || m_moveStart >= 0) {
        viewport()->update();
        return;
    }
    viewport()->update(areaOnScreen(*card));
}

QRect PhotoGridView::areaOnScreen(const QRectF& card) const
{
    return CardDelegate::paintedArea(card).translated(0, -verticalScrollBar()->value()).toAlignedRect();
}

void PhotoGridView::captureOldPlaces()
{
    const qint64 now = m_clock.elapsed();
    m_moveFrom.clear();
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QUuid id = m_model.idAt(row);
        m_moveFrom.insert(id, animatedRect(row, id, now));
    }
    m_moveStart = now;
    m_ticker.start();
}

void PhotoGridView::selectionChanged()
{
    const qint64 now = m_clock.elapsed();
    QSet<QUuid> touched;
    for (auto it = m_shownSelected.cbegin(); it != m_shownSelected.cend(); ++it)
        touched.insert(it.key());
    for (const QUuid& id : m_selection.ordered())
        touched.insert(id);
    for (const QUuid& id : touched) {
        const bool selected = m_selection.contains(id);
        if (m_shownSelected.value(id, false) == selected)
            continue;
        m_fades.insert(id, {selectedAmount(id, now), selected ? 1.0 : 0.0, now});
        if (selected)
            m_shownSelected.insert(id, true);
        else
            m_shownSelected.remove(id);
    }
    m_ticker.start();
    viewport()->update();
}

double PhotoGridView::selectedAmount(const QUuid& id, qint64 now) const
{
    const auto fade = m_fades.constFind(id);
    if (fade == m_fades.cend())
        return m_shownSelected.value(id, false) ? 1.0 : 0.0;
    const double progress = std::clamp(double(now - fade->start) / kSelectMs, 0.0, 1.0);
    return fade->from + (fade->to - fade->from) * QEasingCurve(QEasingCurve::OutCubic).valueForProgress(progress);
}

QRectF PhotoGridView::animatedRect(int row, const QUuid& id, qint64 now) const
{
    const QRectF target = m_layout.cardRect(row);
    const auto from = m_moveFrom.constFind(id);
    if (m_moveStart < 0 || from == m_moveFrom.cend())
        return target;
    const double progress = std::clamp(double(now - m_moveStart) / kMoveMs, 0.0, 1.0);
    const double e = QEasingCurve(QEasingCurve::InOutCubic).valueForProgress(progress);
    const QPointF topLeft = from->topLeft() + (target.topLeft() - from->topLeft()) * e;
    return {topLeft, target.size()};
}

void PhotoGridView::tick()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_fades.begin(); it != m_fades.end();) {
        if (now - it->start >= kSelectMs)
            it = m_fades.erase(it);
        else
            ++it;
    }
    if (m_moveStart >= 0 && now - m_moveStart >= kMoveMs) {
        m_moveStart = -1;
        m_moveFrom.clear();
    }
    if (m_fades.isEmpty() && m_moveStart < 0)
        m_ticker.stop();
    viewport()->update();
}

void PhotoGridView::paintEvent(QPaintEvent* event)
{
    // Qt's raster engine blits and fills directly only under a rectangular clip. Under the
    // clip of several rectangles (several cards changed at once) it cuts each blit into spans
    // and hands them to Qt's global thread pool while the UI thread waits, which cost more
    // than the blits. So the background is filled rectangle by rectangle, and each card is
    // painted clipped to its own area, a single rectangle of the region when it changed.
    QPainter painter(viewport());
    for (const QRect& part : event->region()) {
        painter.setClipRect(part);
        painter.fillRect(part, theme::window);
    }
    const double top = verticalScrollBar()->value();
    const qint64 now = m_clock.elapsed();
    // Cards moving into place may come from outside the rows in view.
    const double slack = m_moveStart >= 0 ? viewport()->height() : 12;
    const auto [first, last] = m_layout.range(top - slack, top + viewport()->height() + slack);
    painter.translate(0, -top);
    const qreal dpr = devicePixelRatioF();
    m_inView.clear();
    m_paintedCards.clear();
    for (qsizetype row = first; row < last; ++row) {
        const QUuid id = m_model.idAt(int(row));
        m_inView.insert(id);
        const QModelIndex index = m_model.index(int(row));
        const QImage thumbnail = index.data(PhotoGridModel::ThumbnailRole).value<QImage>();
        const QRectF card = animatedRect(int(row), id, now);
        m_paintedCards.insert(thumbnail.cacheKey(), card);
        const QRect area = areaOnScreen(card);
        if (!event->region().intersects(area))
            continue;
        painter.setClipRect(area.translated(0, int(top)));
        CardContent content{thumbnail, index.data(PhotoGridModel::FileNameRole).toString(), thumbnail.cacheKey(),
                            selectedAmount(id, now)};
        m_delegate.paint(painter, card, content, dpr);
    }
    painter.setClipping(false);
    if (m_fileDropTarget) {
        painter.resetTransform();
        painter.setPen(QPen(theme::accent, 3));
        painter.setBrush(QColor(theme::accent.red(), theme::accent.green(), theme::accent.blue(), 28));
        painter.drawRoundedRect(QRectF(viewport()->rect()).adjusted(2.5, 2.5, -2.5, -2.5), 10, 10);
    }
    ++m_frames;
}

void PhotoGridView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void PhotoGridView::scrollContentsBy(int, int)
{
    viewport()->update();
}

QPointF PhotoGridView::toContent(QPoint viewportPoint) const
{
    return QPointF(viewportPoint) + QPointF(0, verticalScrollBar()->value());
}

int PhotoGridView::rowAt(QPoint viewportPoint) const
{
    return int(m_layout.indexAt(toContent(viewportPoint)));
}

QRect PhotoGridView::cardRectInViewport(int row) const
{
    return m_layout.cardRect(row).translated(0, -verticalScrollBar()->value()).toAlignedRect();
}

void PhotoGridView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    m_pressRow = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : -1;
    m_pressPos = event->position().toPoint();
    m_pressShift = event->modifiers().testFlag(Qt::ShiftModifier);
}

void PhotoGridView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressRow < 0 || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    const int row = std::exchange(m_pressRow, -1);
    startDrag(row);
}

void PhotoGridView::mouseReleaseEvent(QMouseEvent* event)
{
    const int row = std::exchange(m_pressRow, -1);
    if (std::exchange(m_ignoreRelease, false) || event->button() != Qt::LeftButton || row < 0)
        return;
    if (rowAt(event->position().toPoint()) == row)
        m_selection.click(m_model.idAt(row), m_pressShift);
}

void PhotoGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressRow = -1;
    m_ignoreRelease = true;
    const int row = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : -1;
    if (row < 0)
        return;
    const QUuid id = m_model.idAt(row);
    m_selection.doubleClick(id);
    Q_EMIT cardDoubleClicked(id);
}

void PhotoGridView::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = rowAt(event->pos());
    if (row >= 0)
        Q_EMIT cardContextMenu(m_model.idAt(row), event->globalPos());
}

void PhotoGridView::keyPressEvent(QKeyEvent* event)
{
    event->ignore(); // the window's key handler decides
}

void PhotoGridView::startDrag(int row)
{
    const QUuid id = m_model.idAt(row);
    Q_EMIT dragStarted(id);
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setText(DragReorder::payloadOf(id));
    drag->setMimeData(mime);
    const QImage thumbnail = m_model.index(row).data(PhotoGridModel::ThumbnailRole).value<QImage>();
    if (!thumbnail.isNull())
        drag->setPixmap(QPixmap::fromImage(thumbnail.scaled(120, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    m_lastEntered = QUuid();
    m_dragRunner(*drag);
    drag->deleteLater();
    Q_EMIT dragEnded();
}

void PhotoGridView::dragEnterEvent(QDragEnterEvent* event)
{
    m_lastEntered = QUuid();
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        setFileDropTarget(true);
    } else if (event->mimeData()->hasText()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PhotoGridView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    const int row = rowAt(event->position().toPoint());
    const QUuid target = row >= 0 ? m_model.idAt(row) : QUuid();
    if (target == m_lastEntered)
        return;
    m_lastEntered = target;
    if (!target.isNull())
        Q_EMIT dragEnteredCard(target, event->mimeData()->text());
}

void PhotoGridView::dragLeaveEvent(QDragLeaveEvent*)
{
    m_lastEntered = QUuid();
    setFileDropTarget(false);
}

void PhotoGridView::setFileDropTarget(bool on)
{
    if (m_fileDropTarget == on)
        return;
    m_fileDropTarget = on;
    viewport()->update();
}

void PhotoGridView::dropEvent(QDropEvent* event)
{
    m_lastEntered = QUuid();
    setFileDropTarget(false);
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        Q_EMIT filesDropped(event->mimeData()->urls());
    } else if (event->mimeData()->hasText()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }
}

} // namespace lumora
