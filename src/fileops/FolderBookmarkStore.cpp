#include "fileops/FolderBookmarkStore.h"

#include "platform/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QVariantMap>

namespace lumora {

namespace {

bool isWritableFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

/// Bookmark data for a folder: its canonical path. None when the folder cannot be granted.
std::optional<QByteArray> createBookmark(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || !isWritableFolder(canonical))
        return std::nullopt;
    return canonical.toUtf8();
}

/// The folder a bookmark stands for, while it is still there and writable. A canonical path
/// has no staleness of its own: it either still names a usable folder or it does not.
std::optional<QString> resolveBookmark(const QByteArray& data)
{
    const QString path = QString::fromUtf8(data);
    if (path.isEmpty() || !isWritableFolder(path))
        return std::nullopt;
    return path;
}

std::unique_ptr<QSettings> openSettings(const QString& file)
{
    if (file.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

/// The persisted map, or an empty one when the stored value is not a map of byte buffers.
QMap<QString, QByteArray> readBookmarks(const QString& file)
{
    const QVariant stored = openSettings(file)->value(QLatin1String(FolderBookmarkStore::kSettingsKey));
    QMap<QString, QByteArray> bookmarks;
    if (stored.typeId() != QMetaType::QVariantMap)
        return bookmarks;
    const QVariantMap map = stored.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QByteArray)
            return {};
        bookmarks.insert(it.key(), it.value().toByteArray());
    }
    return bookmarks;
}

} // namespace

FolderBookmarkStore::FolderBookmarkStore(Dialogs& dialogs, QString settingsFile)
    : m_dialogs(dialogs), m_settingsFile(std::move(settingsFile)), m_bookmarks(readBookmarks(m_settingsFile))
{
}

FolderBookmarkStore& FolderBookmarkStore::shared(Dialogs& dialogs)
{
    static FolderBookmarkStore store(dialogs);
    return store;
}

QString FolderBookmarkStore::standardizedPath(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

std::shared_ptr<FolderBookmarkStore::AccessToken> FolderBookmarkStore::requestAccess(const QString& folder)
{
    const QString key = standardizedPath(folder);
    if (const auto bookmark = storedBookmark(key)) {
        if (const auto resolved = resolveBookmark(*bookmark))
            return std::make_shared<AccessToken>(QUrl::fromLocalFile(*resolved), true);
        remove(key);
    }
    return askUser(folder, key);
}

std::shared_ptr<FolderBookmarkStore::AccessToken> FolderBookmarkStore::askUser(const QString& folder,
                                                                               const QString& key)
{
    FolderPanelRequest request;
    request.title = QStringLiteral("Ordner-Zugriff erlauben");
    request.confirmButton = QStringLiteral("Ordner freigeben");
    request.message = QStringLiteral("Lumora Studio möchte zugeschnittene Kopien in diesem Ordner speichern. "
                                     "Dies ist pro Ordner nur einmal nötig.");
    request.startFolder = folder;
    request.onlyAllowedFolder = key;
    request.canCreateFolders = false;
    const std::optional<QString> chosen = m_dialogs.chooseFolder(request);
    if (!chosen || chosen->isEmpty())
        return nullptr;
    if (const auto bookmark = createBookmark(*chosen))
        store(standardizedPath(*chosen), *bookmark);
    if (!isWritableFolder(*chosen))
        return nullptr;
    return std::make_shared<AccessToken>(QUrl::fromLocalFile(*chosen), true);
}

QMap<QString, QByteArray> FolderBookmarkStore::bookmarks() const
{
    const std::lock_guard lock(m_lock);
    return m_bookmarks;
}

std::optional<QByteArray> FolderBookmarkStore::storedBookmark(const QString& key) const
{
    const std::lock_guard lock(m_lock);
    const auto it = m_bookmarks.constFind(key);
    if (it == m_bookmarks.cend())
        return std::nullopt;
    return it.value();
}

void FolderBookmarkStore::store(const QString& key, const QByteArray& data)
{
    const std::lock_guard lock(m_lock);
    m_bookmarks.insert(key, data);
    persistLocked();
}

void FolderBookmarkStore::remove(const QString& key)
{
    const std::lock_guard lock(m_lock);
    m_bookmarks.remove(key);
    persistLocked();
}

void FolderBookmarkStore::persistLocked() const
{
    // Written under the lock so that two changes can never reach the file in the wrong order.
    QVariantMap map;
    for (auto it = m_bookmarks.cbegin(); it != m_bookmarks.cend(); ++it)
        map.insert(it.key(), QVariant(it.value()));
    const auto settings = openSettings(m_settingsFile);
    settings->setValue(QLatin1String(kSettingsKey), map);
    settings->sync();
}

} // namespace lumora
