#pragma once

#include "model/DecodeCache.h"
#include "model/DisplayRender.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
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

/// A photo to bring back as a session left it: its file (which must still be the version
/// `identity` names), the original to use (a kept file instead of the photo's own when
/// `originalPath` is set; then of `originalSize`), its edits and its id.
struct PhotoRestore {
    QUuid id;
    QUrl url;
    FileIdentity identity;
    QString originalPath;
    QSize originalSize;
    EditState edits;
};

/// How far the loads queued now have come: photos handled (decoded or skipped) out of the
/// photos asked for. Both 0 while nothing loads.
struct LoadProgress {
    int handled = 0;
    int total = 0;
    friend bool operator==(const LoadProgress&, const LoadProgress&) = default;
};

/// The one model object: the ordered photo list, the deletion undo stack, the batch flag and
/// the defaults of the next arrow, with every operation that changes a photo's edit state.
///
/// Lives on the UI thread; every field is read and written there only. Background work gets
/// value copies, handles its photos one after another and posts results back, matched by id;
/// a result for a photo that is gone is dropped. Every change of a published field emits its
/// signal.
///
/// Memory: a photo keeps its file's encoded bytes, a small thumbnail, its card-size base and a
/// render at display size (long side kDisplaySide); originals decoded at display size are kept
/// for the photos edited lately; full resolution is rendered only to write a file or to show
/// 100 % (renderFullSize).
///
/// The UI thread never waits for background work: loads decode one after another on the work
/// pool, and display renders go through one queue of photos (a photo queued again keeps its
/// place and takes the newer edit state), rendered one at a time.
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
    /// Decodes the files in the background (unreadable ones are skipped silently) and appends
    /// each photo, with its thumbnail, as soon as it is decoded, in the given order; a URL
    /// already in the list before is dropped (the same URL twice within one call is kept
    /// twice). Its display render is queued at once; at the end all previews are refreshed.
    /// Loads run one after another in the order they were asked for. `done` runs on the UI
    /// thread after the load's last append.
    void loadPhotos(const QList<QUrl>& urls, std::function<void()> done = {});
    /// Loads like loadPhotos, in the given order, and gives each photo its id and edits. A photo
    /// whose file is gone, is no regular file or is no longer the version the request names,
    /// or whose original cannot be read or is not of the size named, is left out (nothing is
    /// applied to it); `done` gets one German line per photo left out ("„name“: why").
    void restorePhotos(const QList<PhotoRestore>& photos, std::function<void(QStringList)> done);
    [[nodiscard]] const LoadProgress& loadProgress() const { return m_loadProgress; }
    /// Queues, in list order, every photo whose preview does not show its current state for a
    /// display render; each result is applied when it arrives, unless the photo is gone or its
    /// edit state changed since (then its newer render is queued already).
    void refreshPreviews();
    /// True while a load, a display render or a batch has results still to deliver.
    [[nodiscard]] bool isBusy() const
    {
        return m_pendingTasks > 0 || !m_loads.isEmpty() || m_rendering || !m_renderOrder.isEmpty();
    }
    /// Tells which photos have their card on screen now; applyAdjustment renders those cards at
    /// once from the photo's card-size base. Unset, every photo counts as on screen.
    void setCardOnScreen(std::function<bool(const QUuid&)> onScreen) { m_cardOnScreen = std::move(onScreen); }
    /// Originals decoded at display size so far for renders after edits (diagnostics, tests).
    [[nodiscard]] qint64 displayDecodes() const { return m_decodes->decodes(); }

    // --- edit operations (ids not found are ignored) ---
    /// Writes the adjustment into every listed photo. Cards on screen show it at once (rendered
    /// from the card-size base); display renders follow in the background.
    void applyAdjustment(const AdjustmentState& adjustment, const QSet<QUuid>& ids);
    /// The same with `change` applied to each listed photo's own adjustment.
    void changeAdjustment(const std::function<void(AdjustmentState&)>& change, const QSet<QUuid>& ids);
    void rotate(const QSet<QUuid>& ids, RotationDirection direction);
    void flip(const QSet<QUuid>& ids, FlipDirection direction);
    void applyWatermark(const QSet<QUuid>& ids, const std::optional<Watermark>& watermark);
    /// Decodes the photo at display size in the background and keeps the decode, so the
    /// annotations committed in the editor that follows render without decoding on the UI thread.
    void prepareForEditing(const QUuid& id);
    /// Gives the photo this whole edit value (an editor commit, undo or redo) and queues its
    /// display render; nothing when the value is the photo's already.
    void setEdits(const QUuid& id, const EditState& edits);
    /// Bakes masks, overlays, adjustment, mirror, turn and the given marks into a new original
    /// (`flattenEdits`), on the work pool: a full-size render and a cache write are too long for
    /// the UI thread. Its result is taken only while the photo still has the original and edits it had
    /// when the bake began; `done` then gets whether it was taken, on the UI thread, unless
    /// `context` is gone by then.
    void flattenEditsInBackground(const QUuid& id, const QList<TextMark>& marks, QObject* context,
                                  std::function<void(bool)> done);
    /// Gives the photo a new original and neutral edits (watermark and url stay); its display
    /// render follows in the background.
    void replaceImage(const QUuid& id, const SourceImage& newOriginal);
    /// The photo's full render at full resolution (for 100 % views). Synchronous.
    [[nodiscard]] std::optional<QImage> renderFullSize(const QUuid& id) const;
    /// The same render on the work pool; `done` gets it (or nothing: photo gone, render failed)
    /// on the UI thread, unless the processor is gone by then.
    void renderFullSizeInBackground(const QUuid& id, std::function<void(std::optional<QImage>)> done);

Q_SIGNALS:
    /// The photo list changed, as `changes` says.
    void photosChanged(const lumora::PhotoChanges& changes);
    void deleteUndoStackChanged();
    void batchProcessingChanged();
    void loadProgressChanged();

private:
    struct Loaded;
    struct PendingLoad {
        QList<PhotoRestore> requests; ///< for a plain load only the URL is set
        bool restore = false;
        std::function<void(QStringList)> done;
    };
    void startNextLoad();
    void loadArrived(Loaded item);
    void loadEnded();
    void setLoadProgress(LoadProgress progress);
    /// Puts the photo in the display render queue, unless it waits there already; the render
    /// takes the photo's state when it starts, so the latest state wins.
    void queueRender(const QUuid& id);
    void renderNext();
    /// The card picture of `photo` rendered from its card-size base (none without a base).
    void renderCard(PhotoItem& photo) const;

    void setBatchProcessing(bool on);
    void startBatch(const QSet<QUuid>& ids, const std::function<void(PhotoItem&)>& change);
    /// Applies display renders of background jobs whose photo still has the job's original
    /// and edits (a photo changed since waits for its newer render); returns the ids applied.
    QList<QUuid> applyRenders(const QList<std::pair<PhotoSnapshot, DisplayRender>>& results);
    void taskStarted() { ++m_pendingTasks; }
    void taskFinished() { --m_pendingTasks; }

    static constexpr qsizetype kMinDecodeCacheSize = 16; // about 7 MB each
    std::shared_ptr<DecodeCache> m_decodes;
    std::function<bool(const QUuid&)> m_cardOnScreen;

    QList<PendingLoad> m_loads; ///< the first one runs
    QSet<QUuid> m_loadAppended; ///< photos the running load appended so far
    QStringList m_loadSkipped;  ///< photos the running restore left out, with why
    LoadProgress m_loadProgress;

    QList<QUuid> m_renderOrder; ///< display renders to start, in order
    QSet<QUuid> m_renderQueued; ///< the photos in m_renderOrder
    bool m_rendering = false;

    QList<PhotoItem> m_photos;
    QList<QList<DeletedItem>> m_deleteUndoStack;
    bool m_isBatchProcessing = false;
    int m_pendingTasks = 0;
};

} // namespace lumora
