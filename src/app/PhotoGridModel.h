#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

namespace lumora {

class ImageProcessor;

/// The processor's photo list as a list model for the grid, one row per photo in list order.
///
/// The processor announces every change with one signal (one per arriving preview, too); the
/// model turns it into the cheapest update that is still correct: rows appended when the list
/// only grew at its end, a layout change when the same photos changed order, a reset when
/// photos left, and otherwise dataChanged for the rows whose card looks different.
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

    [[nodiscard]] QUuid idAt(int row) const { return m_rows.value(row).id; }
    [[nodiscard]] int rowOf(const QUuid& id) const;
    [[nodiscard]] QList<QUuid> ids() const;

Q_SIGNALS:
    /// The order changed without photos coming or going (a drag, say).
    void orderChanged();

private:
    /// What a row shows; a row whose look key differs needs repainting.
    struct Row {
        QUuid id;
        qint64 thumbnailKey = 0;
        QString path;
        friend bool operator==(const Row&, const Row&) = default;
    };
    void sync();
    [[nodiscard]] QList<Row> currentRows() const;

    ImageProcessor& m_processor;
    QList<Row> m_rows;
};

} // namespace lumora
