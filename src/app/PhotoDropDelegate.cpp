#include "app/PhotoDropDelegate.h"

#include "model/ImageProcessor.h"

namespace lumora {

namespace {

template <typename List, typename IdOf>
bool moveOnto(List& list, const QUuid& dragged, const QUuid& target, IdOf idOf)
{
    if (dragged.isNull() || dragged == target)
        return false;
    qsizetype from = -1, to = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (idOf(list[i]) == dragged)
            from = i;
        if (idOf(list[i]) == target)
            to = i;
    }
    if (from < 0 || to < 0)
        return false;
    // QList::move puts the element at `to` of the list after removal, which is exactly the
    // index the target had before it.
    list.move(from, to);
    return true;
}

} // namespace

bool PhotoDropDelegate::dropEntered(QList<PhotoItem>& photos, const std::optional<QUuid>& draggedID) const
{
    if (!draggedID)
        return false;
    return moveOnto(photos, *draggedID, photo, [](const PhotoItem& item) { return item.id; });
}

QList<QUuid> PhotoDropDelegate::moved(QList<QUuid> ids, const QUuid& dragged, const QUuid& target)
{
    moveOnto(ids, dragged, target, [](const QUuid& id) { return id; });
    return ids;
}

DragReorder::DragReorder(ImageProcessor& processor, std::function<void()> markOrderChanged)
    : m_processor(processor), m_markOrderChanged(std::move(markOrderChanged))
{
}

void DragReorder::started(const QUuid& id)
{
    m_dragged = id;
    if (m_markOrderChanged)
        m_markOrderChanged();
}

bool DragReorder::entered(const QUuid& target, const QString& payload)
{
    if (!m_dragged || QUuid::fromString(payload) != *m_dragged)
        return false;
    QList<PhotoItem> photos = m_processor.photos();
    if (!PhotoDropDelegate{target}.dropEntered(photos, m_dragged))
        return false;
    m_processor.setPhotos(std::move(photos));
    return true;
}

QString DragReorder::payloadOf(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace lumora
