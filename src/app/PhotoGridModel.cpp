#include "app/PhotoGridModel.h"

#include "model/ImageProcessor.h"

#include <QFileInfo>
#include <algorithm>
#include <functional>

namespace lumora {

PhotoGridModel::PhotoGridModel(ImageProcessor& processor, QObject* parent)
    : QAbstractListModel(parent), m_processor(processor)
{
    setIds(processorIds());
    connect(&m_processor, &ImageProcessor::photosChanged, this, &PhotoGridModel::apply);
}

QList<QUuid> PhotoGridModel::processorIds() const
{
    QList<QUuid> ids;
    ids.reserve(m_processor.photos().size());
    for (const PhotoItem& photo : m_processor.photos())
        ids.append(photo.id);
    return ids;
}

void PhotoGridModel::setIds(QList<QUuid> ids)
{
    m_ids = std::move(ids);
    m_rowOf.clear();
    m_rowOf.reserve(m_ids.size());
    for (qsizetype i = 0; i < m_ids.size(); ++i)
        m_rowOf.insert(m_ids[i], int(i));
}

int PhotoGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QVariant PhotoGridModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= m_ids.size())
        return {};
    // By id, not by position: while a change is applied, rows and the list may differ. Almost
    // always the row's photo stands at the same position, which spares a search per paint.
    const QList<PhotoItem>& photos = m_processor.photos();
    const PhotoItem* found =
        row < photos.size() && photos[row].id == m_ids[row] ? &photos[row] : m_processor.photo(m_ids[row]);
    if (!found)
        return {};
    const PhotoItem& photo = *found;
    switch (role) {
    case IdRole: return photo.id;
    case ThumbnailRole: return photo.thumbnail;
    case Qt::DisplayRole:
    case FileNameRole: return photo.url.fileName();
    case PathRole: return photo.url.toLocalFile();
    default: return {};
    }
}

QHash<int, QByteArray> PhotoGridModel::roleNames() const
{
    return {{IdRole, "id"}, {ThumbnailRole, "thumbnail"}, {FileNameRole, "fileName"}, {PathRole, "path"}};
}

int PhotoGridModel::rowOf(const QUuid& id) const
{
    return m_rowOf.value(id, -1);
}

void PhotoGridModel::apply(const PhotoChanges& changes)
{
    if (!changes.removed.isEmpty())
        removeRows(changes.removed);
    if (!changes.inserted.isEmpty()) {
        // Photos back in the middle of the list: rare (a restore), so a reset is fine.
        beginResetModel();
        setIds(processorIds());
        endResetModel();
        return;
    }
    if (changes.moved) {
        QList<QUuid> order = processorIds();
        order.resize(order.size() - changes.appended.size());
        moveRows(order);
    }
    if (!changes.appended.isEmpty()) {
        const int first = int(m_ids.size());
        beginInsertRows({}, first, first + int(changes.appended.size()) - 1);
        setIds(m_ids + changes.appended);
        endInsertRows();
    }
    for (const QUuid& id : changes.edited) {
        const int row = rowOf(id);
        if (row >= 0)
            Q_EMIT dataChanged(index(row), index(row));
    }
    if (m_ids.size() != m_processor.photos().size()) {
        // A change the processor described wrongly: never show rows of photos that are gone.
        beginResetModel();
        setIds(processorIds());
        endResetModel();
    }
}

void PhotoGridModel::removeRows(const QList<QUuid>& ids)
{
    QList<int> rows;
    for (const QUuid& id : ids) {
        if (const int row = rowOf(id); row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows) {
        beginRemoveRows({}, row, row);
        m_ids.removeAt(row);
        endRemoveRows();
    }
    setIds(std::move(m_ids));
}

void PhotoGridModel::moveRows(const QList<QUuid>& order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    const QList<QUuid> before = m_ids;
    setIds(order);
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& old : persistent) {
        const int to = rowOf(before.value(old.row()));
        moved.append(to < 0 ? QModelIndex() : index(to));
    }
    changePersistentIndexList(persistent, moved);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT orderChanged();
}

} // namespace lumora
