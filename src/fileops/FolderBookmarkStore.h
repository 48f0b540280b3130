#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>
#include <memory>
#include <mutex>
#include <optional>

namespace lumora {

class Dialogs;

/// Per-folder permission to create new files next to the photos ("-neu" copies of the batch
/// crop). A folder is granted once, through a folder panel that lets only that folder be
/// confirmed; the grant is kept across launches in the settings under kSettingsKey as a map
/// from the folder's standardized path to its bookmark data.
///
/// Without a sandbox, a grant here means "the folder exists and is writable": the bookmark
/// data of a folder is its canonical path in UTF-8, and resolving it fails when that folder
/// is gone or no longer writable. Such an entry is removed and the user is asked again.
///
/// requestAccess() is called on the UI thread (it may show a modal panel). A mutex guards the
/// map; it is never held while a panel is shown.
class FolderBookmarkStore {
public:
    static constexpr const char* kSettingsKey = "Lumora.FolderBookmarks.v1";

    /// Holds the access to one folder for as long as the caller keeps it. Only active tokens
    /// are handed out.
    class AccessToken {
    public:
        AccessToken(QUrl folderUrl, bool active) : url(std::move(folderUrl)), aktiv(active) {}
        AccessToken(const AccessToken&) = delete;
        AccessToken& operator=(const AccessToken&) = delete;

        const QUrl url;
        const bool aktiv;
    };

    /// A store that asks through `dialogs` (which must outlive it) and keeps its map in the
    /// INI file `settingsFile`, or in the application's default QSettings when that is empty.
    /// Reads the persisted map once; a value of the wrong shape is ignored (and replaced at
    /// the next change).
    explicit FolderBookmarkStore(Dialogs& dialogs, QString settingsFile = {});

    /// The application's store, created on the first call with that call's `dialogs` and the
    /// default settings; later calls return the same store.
    static FolderBookmarkStore& shared(Dialogs& dialogs);

    /// Access to `folder` (a local path): from the stored grant when it still resolves,
    /// otherwise by asking the user. None when the user cancels or the chosen folder cannot
    /// be written.
    [[nodiscard]] std::shared_ptr<AccessToken> requestAccess(const QString& folder);

    /// The stored map (standardized path → bookmark data), for inspection.
    [[nodiscard]] QMap<QString, QByteArray> bookmarks() const;

    /// The form of a path used as key: absolute, with "." and ".." and double separators
    /// removed, no trailing separator; symbolic links are not resolved.
    [[nodiscard]] static QString standardizedPath(const QString& path);

private:
    [[nodiscard]] std::optional<QByteArray> storedBookmark(const QString& key) const;
    void store(const QString& key, const QByteArray& data);
    void remove(const QString& key);
    void persistLocked() const;
    [[nodiscard]] std::shared_ptr<AccessToken> askUser(const QString& folder, const QString& key);

    Dialogs& m_dialogs;
    QString m_settingsFile;
    mutable std::mutex m_lock;
    QMap<QString, QByteArray> m_bookmarks;
};

} // namespace lumora
