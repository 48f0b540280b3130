#pragma once

#include "base/Error.h"
#include "base/RegularFile.h"
#include "pipeline/EditState.h"
#include "pipeline/SourceImage.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <expected>
#include <memory>
#include <optional>

namespace lumora {

/// A photo of the session as the journal lists it: where its file is and which version of the
/// file it was.
struct JournalEntry {
    QUuid id;
    QString path; ///< absolute local path
    FileIdentity identity;
    friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

/// The session's photo list in grid order and its selection.
struct JournalSession {
    QList<JournalEntry> photos;
    QList<QUuid> selection;
    friend bool operator==(const JournalSession&, const JournalSession&) = default;
};

/// One photo's edits as the journal keeps them. `originalFile` names the file in the journal
/// folder that holds the photo's original when it is no longer its file's content (a bake, a
/// crop, a new background); empty when the original is the file's. `originalSize` is the size
/// of that original, which the edits' geometry refers to.
struct JournalPhoto {
    QUuid id;
    QSize originalSize;
    QString originalFile;
    EditState edits;
    friend bool operator==(const JournalPhoto&, const JournalPhoto&) = default;
};

/// A photo of a journal read back, ready to be restored: the entry, its edits and the full
/// path of the kept original (empty: the photo's own file).
struct RestorablePhoto {
    JournalEntry entry;
    QSize originalSize; ///< invalid when the journal holds no edits for the photo
    QString originalPath;
    EditState edits;
    [[nodiscard]] bool hasChanges() const { return !originalPath.isEmpty() || edits != EditState{}; }
};

/// What a journal holds: the photos that can be restored in order, the selection, and one
/// German line for each photo left out ("„name.jpg“: why").
struct JournalContents {
    QList<RestorablePhoto> photos;
    QList<QUuid> selection;
    QStringList skipped;
    [[nodiscard]] int changedCount() const;
};

/// The files of a session journal in one folder (0700):
///   lock                 the pid of the session writing it, held with an exclusive lock
///   session.json         {"format": "lumora-session", "version", "photos": [{id, path, size,
///                        modified, inode}], "selection": [id]}
///   photo-<id>.json      {"format": "lumora-session-photo", "version", id, originalSize,
///                        originalFile, "edits": the edits format of lumora-cli}
///   original-<id>-<n>.*  a kept original (its encoded bytes, or PNG)
/// Every file is written atomically, so a process killed at any instant leaves each file at its
/// last complete version; a photo file is written after the original it names, and an old
/// original is removed only after the photo file naming its successor.
///
/// Reading is careful: only regular files within size caps, a version check, and every field
/// checked; a photo whose record cannot be used is left out with a German reason, and a session
/// file that cannot be used refuses the whole journal. Nothing is removed by reading.
/// Writers on one folder must not run at the same time (the session journal writes from one
/// lane); reading and writing are otherwise thread-safe.
class JournalFolder {
public:
    static constexpr int kVersion = 1;
    /// The most photos a session lists, and the most bytes of a journal's JSON file.
    static constexpr qsizetype kMaxPhotos = 100'000;
    static constexpr qint64 kMaxJsonBytes = 16 * 1024 * 1024;

    explicit JournalFolder(QString path) : m_path(std::move(path)) {}

    /// $XDG_STATE_HOME/lumora-studio/session (an absolute XDG_STATE_HOME only), else
    /// ~/.local/state/lumora-studio/session.
    [[nodiscard]] static QString defaultPath();

    [[nodiscard]] const QString& path() const { return m_path; }
    /// Whether the folder holds a session file (a journal to offer).
    [[nodiscard]] bool hasJournal() const;

    // --- writing ---
    /// Creates the folder (and its parents) with mode 0700.
    [[nodiscard]] std::expected<void, Error> create() const;
    [[nodiscard]] std::expected<void, Error> writeSession(const JournalSession& session) const;
    [[nodiscard]] std::expected<void, Error> writePhoto(const JournalPhoto& photo) const;
    /// Writes `original` into a new file for photo `id` (number `generation`) and returns its
    /// name: the encoded bytes it was read from, or a PNG of its pixels. Slow for a raster.
    [[nodiscard]] std::expected<QString, Error> writeOriginal(const QUuid& id, int generation,
                                                              const SourceImage& original) const;
    /// Removes the kept originals of photo `id` but `keep`.
    void removeOriginals(const QUuid& id, const QString& keep = {}) const;
    /// Removes the record of photo `id` and its kept originals.
    void removePhotoFiles(const QUuid& id) const;
    /// Removes the photo records and originals of photos not in `ids`.
    void removeOthers(const QList<QUuid>& ids) const;
    /// Removes the session file and every photo file (the lock stays while it is held).
    void clear() const;

    // --- reading ---
    /// Reads the whole journal. Fails with a German sentence when the session file is missing,
    /// unreadable, of a newer version or malformed.
    [[nodiscard]] std::expected<JournalContents, QString> read() const;

    [[nodiscard]] static QString photoFileName(const QUuid& id);

private:
    [[nodiscard]] std::expected<void, QString> readPhotoRecord(const QJsonObject& record, RestorablePhoto& photo) const;

    QString m_path;
};

/// The lock of a journal folder: an exclusive lock on its "lock" file holding this process's
/// id. The kernel drops it when the process ends, however it ends, so a journal whose lock can
/// be taken belongs to a session that is over. Released when destroyed.
class JournalLock {
public:
    /// Takes the lock of `folder` (created 0700 when missing); none when another running
    /// process holds it or the folder cannot be made.
    [[nodiscard]] static std::unique_ptr<JournalLock> acquire(const JournalFolder& folder);
    ~JournalLock();
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

private:
    explicit JournalLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

} // namespace lumora
