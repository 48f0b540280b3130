#include "app/PhotoGridModel.h"

#include "model/ImageProcessor.h"

#include <QFileInfo>
#include <QSet>

namespace lumora {

PhotoGridModel::PhotoGridModel(ImageProcessor& processor, QObject* parent)
    : QAbstractListModel(parent), m_processor(processor), m_rows(currentRows())
{
    connect(&m_processor, &ImageProcessor::photosChanged, this, &PhotoGridModel::sync);
}

QList<PhotoGridModel::Row> PhotoGridModel::currentRows() const
{
    QList<Row> rows;
    rows.reserve(m_processor.photos().size());
    for (const PhotoItem& photo : m_processor.photos())
        rows.append({photo.id, photo.thumbnail.cacheKey(), photo.url.toLocalFile()});
    return rows;
}

int PhotoGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant PhotoGridModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= m_processor.photos().size())
        return {};
    const PhotoItem& photo = m_processor.photos()[row];
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
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return int(i);
    }
    return -1;
}

QList<QUuid> PhotoGridModel::ids() const
{
    QList<QUuid> ids;
    ids.reserve(m_rows.size());
    for (const Row& row : m_rows)
        ids.append(row.id);
    return ids;
}

void PhotoGridModel::sync()
{
    QList<Row> next = currentRows();
    const qsizetype oldCount = m_rows.size();
    const auto sameIds = [&](qsizetype count) {
        for (qsizetype i = 0; i < count; ++i) {
            if (m_rows[i].id != next[i].id)
                return false;
        }
        return true;
    };

    if (next.size() > oldCount && sameIds(oldCount)) {
        // Photos appended (a load): the old rows may have changed their look too.
        beginInsertRows({}, int(oldCount), int(next.size() - 1));
        QList<Row> previous = std::exchange(m_rows, std::move(next));
        endInsertRows();
        for (qsizetype i = 0; i < oldCount; ++i) {
            if (!(previous[i] == m_rows[i]))
                Q_EMIT dataChanged(index(int(i)), index(int(i)));
        }
        return;
    }
    if (next.size() == oldCount && !sameIds(oldCount)) {
        QSet<QUuid> before, after;
        for (qsizetype i = 0; i < oldCount; ++i) {
            before.insert(m_rows[i].id);
            after.insert(next[i].id);
        }
        if (before == after) {
            Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
            const QModelIndexList persistent = persistentIndexList();
            QModelIndexList moved;
            for (const QModelIndex& old : persistent) {
                const QUuid id = m_rows.value(old.row()).id;
                qsizetype to = -1;
                for (qsizetype i = 0; i < next.size() && to < 0; ++i) {
                    if (next[i].id == id)
                        to = i;
                }
                moved.append(to < 0 ? QModelIndex() : index(int(to)));
            }
            m_rows = std::move(next);
            changePersistentIndexList(persistent, moved);
            Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
            Q_EMIT orderChanged();
            return;
        }
    }
    if (next.size() != oldCount || !sameIds(oldCount)) {
        beginResetModel();
        m_rows = std::move(next);
        endResetModel();
        return;
    }
    // Same photos in the same order: repaint only the cards whose look changed, in runs.
    QList<std::pair<int, int>> runs;
    qsizetype runStart = -1;
    for (qsizetype i = 0; i <= oldCount; ++i) {
        const bool changed = i < oldCount && !(m_rows[i] == next[i]);
        if (changed && runStart < 0)
            runStart = i;
        if (!changed && runStart >= 0) {
            runs.append({int(runStart), int(i - 1)});
            runStart = -1;
        }
    }
    m_rows = std::move(next);
    for (const auto& [first, last] : runs)
        Q_EMIT dataChanged(index(first), index(last));
}

} // namespace lumora
