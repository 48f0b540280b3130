#pragma once

#include "app/GridLayout.h"
#include "ui/CardDelegate.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <functional>

class QDrag;

namespace lumora {

class PhotoGridModel;
class PhotoSelection;

/// The grid of photo cards: a scroll view over a PhotoGridModel, laid out by GridLayout and
/// painted by CardDelegate, only the rows in view. It forwards clicks to the selection,
/// reports double clicks, context menus, drags and drops, and animates the selected look
/// (0.12 s ease-out) and cards moving to new places (0.2 s ease-in-out).
///
/// Keys are not used here: they go on to the window's key handler.
class PhotoGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    PhotoGridView(PhotoGridModel& model, PhotoSelection& selection, QWidget* parent = nullptr);

    /// `gridCellSize`, the minimum card width (100…400).
    void setCellSize(double minimum);
    [[nodiscard]] const GridLayout& gridLayout() const { return m_layout; }
    /// The card of row `row` in viewport coordinates (as drawn when not animating).
    [[nodiscard]] QRect cardRectInViewport(int row) const;
    /// The row under a viewport point, or −1.
    [[nodiscard]] int rowAt(QPoint viewportPoint) const;

    /// Runs a started drag; by default QDrag::exec. Tests replace it to move over the grid.
    void setDragRunner(std::function<void(QDrag&)> runner) { m_dragRunner = std::move(runner); }
    /// Files are being dragged over the grid: it shows itself as the drop target.
    [[nodiscard]] bool showsFileDropTarget() const { return m_fileDropTarget; }

    /// Whether the card of photo `id` was among those painted last (it is on screen).
    [[nodiscard]] bool isCardInView(const QUuid& id) const { return m_inView.contains(id); }

    /// Frames painted so far (for the scroll benchmark).
    [[nodiscard]] qint64 framesPainted() const { return m_frames; }

Q_SIGNALS:
    void cardDoubleClicked(const QUuid& id);
    /// A secondary click on a card.
    void cardContextMenu(const QUuid& id, const QPoint& globalPos);
    void dragStarted(const QUuid& id);
    /// A drag carrying `payload` as text entered the card of `target`.
    void dragEnteredCard(const QUuid& target, const QString& payload);
    void dragEnded();
    void filesDropped(const QList<QUrl>& urls);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void setFileDropTarget(bool on);
    void scrollContentsBy(int dx, int dy) override;

private:
    void relayout();
    void rowsChanged(const QModelIndex& first, const QModelIndex& last);
    void selectionChanged();
    void captureOldPlaces();
    void startDrag(int row);
    void tick();
    [[nodiscard]] double selectedAmount(const QUuid& id, qint64 now) const;
    [[nodiscard]] QRectF animatedRect(int row, const QUuid& id, qint64 now) const;
    /// Repaints the card whose prepared picture just arrived (all cards if it is not known).
    void pictureArrived(qint64 key);
    /// The viewport pixels painting `card` (content coordinates) may touch.
    [[nodiscard]] QRect areaOnScreen(const QRectF& card) const;
    [[nodiscard]] QPointF toContent(QPoint viewportPoint) const;

    PhotoGridModel& m_model;
    PhotoSelection& m_selection;
    GridLayout m_layout;
    CardDelegate m_delegate;

    struct Fade {
        double from = 0;
        double to = 0;
        qint64 start = 0;
    };
    QHash<QUuid, Fade> m_fades;         ///< selected-look animations
    QHash<QUuid, bool> m_shownSelected; ///< selected state last animated towards
    QHash<QUuid, QRectF> m_moveFrom;    ///< where cards were before a reorder
    qint64 m_moveStart = -1;
    QElapsedTimer m_clock;
    QTimer m_ticker;

    int m_pressRow = -1;
    QPoint m_pressPos;
    bool m_pressShift = false;
    bool m_ignoreRelease = false;
    QUuid m_lastEntered;
    std::function<void(QDrag&)> m_dragRunner;
    bool m_fileDropTarget = false;
    qint64 m_frames = 0;
    QSet<QUuid> m_inView;                 ///< photos whose cards are in the rows the last paint covered
    QHash<qint64, QRectF> m_paintedCards; ///< those cards by their content key, in content coordinates
};

} // namespace lumora
