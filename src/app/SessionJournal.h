#pragma once

#include "model/ImageProcessor.h"
#include "model/JournalFolder.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

namespace lumora {

class PhotoSelection;

/// Keeps the session's unsaved work on disk as it is made, so a crash loses none of it: the
/// photo list in grid order with each file's identity, the selection, and every photo's edit
/// value (and its original, when that is no longer its file's content) in a JournalFolder.
///
/// Fed by the processor's and the selection's change signals on the UI thread, where a change
/// costs a set insertion. Changes are coalesced: the journal writes at most once per
/// kMinWriteIntervalMs (so each photo at most once a second while a slider moves), and the
/// writes (JSON, kept originals) run one after another on the work pool, each file atomically.
/// The journal exists only while a photo differs from its file: when none does (nothing edited
/// yet, or every photo saved) the folder is emptied.
///
/// UI thread only. The processor and the selection must outlive the journal. The folder's lock
/// is held by whoever created the journal (see JournalLock).
class SessionJournal : public QObject {
    Q_OBJECT
public:
    /// Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;
    static constexpr qint64 kMinWriteIntervalMs = 1000;

    SessionJournal(ImageProcessor& processor, const PhotoSelection& selection, JournalFolder folder, Clock clock = {},
                   QObject* parent = nullptr);
    /// Waits for the writes started so far; the journal stays (a clean end calls endSession()).
    ~SessionJournal() override;

    /// Photo `id`, about to be restored from the journal, comes back with the kept original
    /// `keptFile` of the folder (empty: its own file's content). Call before restorePhotos.
    void expectRestored(const QUuid& id, const QString& keptFile);
    /// Stops or resumes writing the photo list (while a restore loads, the old list stays).
    void setListPaused(bool paused);
    /// Every photo was written over its file: their files now hold what the photos show.
    void everyPhotoSaved();
    /// A clean end: waits for the writes and removes the journal's files, unless a restore is
    /// still loading (then the journal stays for the next start).
    void endSession();

    /// Writes what changed now if the last write is kMinWriteIntervalMs ago, else later (the
    /// timer's slot; tests call it with their clock).
    void tick();
    /// Blocks until every write started so far is done (tests, benchmarks, the end).
    void waitForWrites();
    /// Whether changes wait to be written (not counting writes already under way).
    [[nodiscard]] bool hasPending() const
    {
        return !m_dirty.isEmpty() || (m_listDirty && !m_listPaused) || m_timer.isActive();
    }
    /// Photo records written so far (tests, benchmarks).
    [[nodiscard]] int photoWrites() const;

private:
    struct Lane;
    /// What the photo's file holds: the render of `original` with `edits`; the original itself
    /// (as read) only when `fileIsOriginal` (a file written over holds a re-encoded render).
    struct Base {
        FileIdentity identity;
        SourceImage original;
        EditState edits;
        bool fileIsOriginal = true;
    };
    void photosChanged(const PhotoChanges& changes);
    void markDirty();
    void write();
    [[nodiscard]] bool differsFromFile(const PhotoItem& photo) const;
    [[nodiscard]] JournalSession sessionNow() const;

    ImageProcessor& m_processor;
    const PhotoSelection& m_selection;
    JournalFolder m_folder;
    Clock m_clock;
    std::shared_ptr<Lane> m_lane;
    QTimer m_timer;

    QHash<QUuid, Base> m_bases;       ///< every photo seen, removed ones too (an undo brings them back)
    QHash<QUuid, QString> m_expected; ///< restored photos not yet arrived, with their kept original
    QSet<QUuid> m_dirty;              ///< photos whose record may have changed
    QSet<QUuid> m_recorded;           ///< photos with a record written (or on its way)
    bool m_listDirty = false;
    bool m_listPaused = false;
    bool m_journalExists = false;
    qint64 m_lastWrite = 0;
    bool m_wroteOnce = false;
};

} // namespace lumora
