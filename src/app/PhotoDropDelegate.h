#pragma once

#include "model/PhotoItem.h"

#include <QList>
#include <QUuid>
#include <functional>
#include <optional>

namespace lumora {

/// The reorder rule of a card as a drop target while a photo is dragged over the grid.
///
/// `photos` is the list to change and `draggedID` the photo being dragged (`draggedPhotoID`).
/// The photo moves while dragging, on each card entered; the drop itself changes nothing more.
struct PhotoDropDelegate {
    QUuid photo; ///< the target card's photo

    /// The drag entered this card. When a photo other than the target is dragged and both are
    /// in the list, the dragged photo is taken out and put in at the index the target had
    /// before (so it takes the target's place and the photos between shift by one).
    /// Returns whether the list changed.
    bool dropEntered(QList<PhotoItem>& photos, const std::optional<QUuid>& draggedID) const;

    /// The order `ids` would take by the same rule (for callers that hold ids only).
    [[nodiscard]] static QList<QUuid> moved(QList<QUuid> ids, const QUuid& dragged, const QUuid& target);
};

class ImageProcessor;

/// The grid's drag state (`draggedPhotoID`) and what a drag does to the processor's list.
class DragReorder {
public:
    /// `markOrderChanged` sets the save flow's `orderWasChanged`.
    DragReorder(ImageProcessor& processor, std::function<void()> markOrderChanged);

    /// A drag of photo `id` starts: it becomes the dragged photo, and the order counts as
    /// changed at once, before anything moved (dropping on the same card still counts).
    void started(const QUuid& id);
    /// The drag entered the card of `target`. `payload` is the text the drag carries; only a
    /// drag that carries the dragged photo's id moves anything (text dragged in from elsewhere
    /// does not). Returns whether the list changed.
    bool entered(const QUuid& target, const QString& payload);
    /// The drag is over (dropped or abandoned).
    void ended() { m_dragged.reset(); }

    [[nodiscard]] const std::optional<QUuid>& draggedPhotoID() const { return m_dragged; }
    /// The text a drag of `id` carries: the id's canonical UUID string.
    [[nodiscard]] static QString payloadOf(const QUuid& id);

private:
    ImageProcessor& m_processor;
    std::function<void()> m_markOrderChanged;
    std::optional<QUuid> m_dragged;
};

} // namespace lumora
