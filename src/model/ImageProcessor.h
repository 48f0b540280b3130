#pragma once

#include "model/DisplayRender.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>

namespace lumora {

/// What one published change of the photo list did, by photo id. After the change the list is
/// ImageProcessor::photos(); views apply these instead of comparing every row.
struct PhotoChanges {
    QList<QUuid> appended; ///< new photos, now at the end of the list in this order
    QList<QUuid> inserted; ///< new photos elsewhere in the list (a restore)
    QList<QUuid> removed;  ///< photos that left the list
    QList<QUuid> edited;   ///< photos still in the list whose record changed (edits, preview, original)
    bool moved = false;    ///< photos that stayed are in another order

    /// One photo whose record changed.
    [[nodiscard]] static PhotoChanges editedOne(const QUuid& id) { return PhotoChanges{{}, {}, {}, {id}, false}; }
    /// The difference between two versions of the list (ids, order, and which cards look different).
    [[nodiscard]] static PhotoChanges between(const QList<PhotoItem>& before, const QList<PhotoItem>& after);
    [[nodiscard]] bool touches(const QUuid& id) const
    {
        return appended.contains(id) || inserted.contains(id) || removed.contains(id) || edited.contains(id);
    }
};

/// The one model object: the ordered photo list, the deletion undo stack, the batch flag and
/// the defaults of the next arrow, with every operation that changes a photo's edit state.
///
/// Lives on the UI thread; every field is read and written there only. Background work gets
/// value copies, handles its photos one after another and posts results back, matched by id;
/// a result for a photo that is gone is dropped. Every change of a published field emits its
/// signal.
///
/// Memory: a photo keeps its file's encoded bytes, a small thumbnail and a render at display
/// size (long side kDisplaySide); full resolution is rendered only to write a file or to show
/// 100 % (renderFullSize).
class ImageProcessor : public QObject {
    Q_OBJECT
public:
    /// Long side, in pixels, of the renders kept for display (grid, editor, sheets).
    static constexpr int kDisplaySide = kDisplayRenderSide;
    /// Long side of the thumbnail each photo gets right after loading.
    static constexpr int kThumbnailSide = kThumbnailRenderSide;

    explicit ImageProcessor(QObject* parent = nullptr);
    ~ImageProcessor() override;

    // --- published state ---
    [[nodiscard]] const QList<PhotoItem>& photos() const { return m_photos; }
    /// Replaces the whole list in one change (published as the difference to the old list).
    void setPhotos(QList<PhotoItem> photos);
    [[nodiscard]] int indexOf(const QUuid& id) const;
    [[nodiscard]] const PhotoItem* photo(const QUuid& id) const;
    /// Writes `photo` over the element with its id (nothing when the id is gone).
    void updatePhoto(const PhotoItem& photo);

    [[nodiscard]] const QList<QList<DeletedItem>>& deleteUndoStack() const { return m_deleteUndoStack; }
    void pushDeleteGroup(QList<DeletedItem> group);
    /// Takes the last group off the stack; none when it is empty.
    [[nodiscard]] std::optional<QList<DeletedItem>> popDeleteGroup();

    [[nodiscard]] bool isBatchProcessing() const { return m_isBatchProcessing; }
    double currentArrowLength = 160;
    double currentArrowLineWidth = 8;
    QString currentArrowColorHex = QStringLiteral("#FF3B30");

    // --- loading and rendering ---
    /// Decodes the files in the background (unreadable ones are skipped silently), drops URLs
    /// already in the list, appends the rest in one change with thumbnails, then refreshes all
    /// previews. `done` runs on the UI thread after the append.
    void loadPhotos(const QList<QUrl>& urls, std::function<void()> done = {});
    /// Re-renders, in the background and in list order, every photo whose preview does not show
    /// its current state; each result is applied when it arrives, unless the photo is gone or
    /// its edit state changed since the snapshot.
    void refreshPreviews();
    /// True while a load or a preview refresh has results still to deliver.
    [[nodiscard]] bool isBusy() const { return m_pendingTasks > 0; }

    // --- edit operations (ids not found are ignored) ---
    void applyAdjustment(const AdjustmentState& adjustment, const QSet<QUuid>& ids);
    void rotate(const QSet<QUuid>& ids, RotationDirection direction);
    void flip(const QSet<QUuid>& ids, FlipDirection direction);
    void applyWatermark(const QSet<QUuid>& ids, const std::optional<Watermark>& watermark);
    /// The photo rendered with `candidate` instead of its own watermark, long side ≤ maxSide.
    [[nodiscard]] std::optional<QImage> watermarkPreview(const QUuid& id, const std::optional<Watermark>& candidate,
                                                         int maxSide = kDisplaySide) const;
    void addFreehandStroke(const QUuid& id, const QList<QPointF>& points, const QString& colorHex, double lineWidth);
    void addFilledArea(const QUuid& id, const QList<QPointF>& points, const QString& colorHex);
    void addArrow(const QUuid& id, const Arrow& arrow);
    void undoLastAnnotation(const QUuid& id);
    /// The photo without text marks and watermark, long side ≤ maxSide.
    [[nodiscard]] std::optional<QImage> renderEditorPreview(const QUuid& id, int maxSide = kDisplaySide) const;
    void setTextMarks(const QUuid& id, const QList<TextMark>& marks);
    /// Bakes masks, overlays, adjustment, mirror, turn and the given marks into a new original.
    void flattenEdits(const QUuid& id, const QList<TextMark>& marks);
    /// Gives the photo a new original and neutral edits (watermark and url stay).
    void replaceImage(const QUuid& id, const SourceImage& newOriginal);
    /// The photo's full render at full resolution (for 100 % views). Synchronous.
    [[nodiscard]] std::optional<QImage> renderFullSize(const QUuid& id) const;

Q_SIGNALS:
    /// The photo list changed, as `changes` says.
    void photosChanged(const lumora::PhotoChanges& changes);
    void deleteUndoStackChanged();
    void batchProcessingChanged();

private:
    void setBatchProcessing(bool on);
    void renderInPlace(PhotoItem& photo) const;
    /// The original decoded at display size, from a small cache of recently edited photos.
    [[nodiscard]] QImage displayBase(const SourceImage& original) const;
    /// Finds the photo, lets `change` edit it (returning whether anything changed), then
    /// re-renders it and publishes the change. False when the id is gone or nothing changed.
    bool editAndRender(const QUuid& id, const std::function<bool(PhotoItem&)>& change);
    void startBatch(const QSet<QUuid>& ids, const std::function<void(PhotoItem&)>& change);
    /// Applies display renders of background jobs whose photo still has the job's original
    /// and edits (a photo changed since waits for its newer render); returns the ids applied.
    QList<QUuid> applyRenders(const QList<std::pair<PhotoSnapshot, DisplayRender>>& results);
    void taskStarted() { ++m_pendingTasks; }
    void taskFinished() { --m_pendingTasks; }

    struct DisplayBase {
        SourceImage original; // kept, so its identity cannot be reused while cached
        QImage base;
    };
    static constexpr qsizetype kDisplayBaseCacheSize = 16; // about 7 MB each
    mutable QList<DisplayBase> m_displayBases;

    QList<PhotoItem> m_photos;
    QList<QList<DeletedItem>> m_deleteUndoStack;
    bool m_isBatchProcessing = false;
    int m_pendingTasks = 0;
};

} // namespace lumora
