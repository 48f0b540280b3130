#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUuid>

namespace lumora {

class ImageProcessor;
struct PhotoChanges;

/// The processor's photo list as a list model for the grid, one row per photo in list order.
///
/// The processor publishes what each change did (appended, inserted, removed, moved, edited
/// ids); the model applies exactly that: rows inserted at the end, rows removed, a layout
/// change for a new order, dataChanged for edited photos, and a reset only for photos inserted
/// in the middle of the list (a restore).
class PhotoGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole + 1, ///< QUuid
        ThumbnailRole,             ///< QImage, the card's picture (null while there is none)
        FileNameRole,              ///< QString, the file's last path component
        PathRole,                  ///< QString, the local file path
    };

    explicit PhotoGridModel(ImageProcessor& processor, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] QUuid idAt(int row) const { return m_ids.value(row); }
    [[nodiscard]] int rowOf(const QUuid& id) const;
    [[nodiscard]] const QList<QUuid>& ids() const { return m_ids; }

Q_SIGNALS:
    /// The order changed without photos coming or going (a drag, say).
    void orderChanged();

private:
    void apply(const PhotoChanges& changes);
    void removeRows(const QList<QUuid>& ids);
    void moveRows(const QList<QUuid>& order);
    void setIds(QList<QUuid> ids);
    [[nodiscard]] QList<QUuid> processorIds() const;

    ImageProcessor& m_processor;
    QList<QUuid> m_ids;
    QHash<QUuid, int> m_rowOf;
};

} // namespace lumora
