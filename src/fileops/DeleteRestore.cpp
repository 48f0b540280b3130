#include "fileops/DeleteRestore.h"

#include "base/UiThread.h"

#include "base/AtomicFile.h"
#include "base/RegularFile.h"
#include "model/ImageProcessor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

/// The photos of the list whose id is in `ids`, in list order, and the rest.
struct Split {
    QList<PhotoItem> taken;
    QList<PhotoItem> kept;
};

Split split(const QList<PhotoItem>& photos, const QSet<QUuid>& ids)
{
    Split result;
    for (const PhotoItem& photo : photos)
        (ids.contains(photo.id) ? result.taken : result.kept).append(photo);
    return result;
}

std::optional<QByteArray> readWhole(const QUrl& url)
{
    auto bytes = readRegularFile(url.toLocalFile());
    if (!bytes)
        return std::nullopt;
    return std::move(*bytes);
}

bool folderExists(const QUrl& url)
{
    return QFileInfo(url.toLocalFile()).absoluteDir().exists();
}

/// Whether the user's own trash folder exists or could be made; its path when so. It is the
/// trash of last resort for every volume.
std::optional<QString> userTrash()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return std::nullopt;
    const QString trash = dataHome + QStringLiteral("/Trash");
    if (QFileInfo(trash).isDir())
        return trash;
    if (QDir().mkpath(dataHome) && QDir().mkdir(trash, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return trash;
    return std::nullopt;
}

bool statOf(const QString& path, struct stat& info, bool followLink = true)
{
    const QByteArray native = QFile::encodeName(path);
    return (followLink ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info)) == 0;
}

/// A folder that is really one (no link) or was just made for the user alone.
bool ensurePrivateFolder(const QString& path)
{
    struct stat info {};
    if (statOf(path, info, false))
        return S_ISDIR(info.st_mode);
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0;
}

/// The trash of the volume whose top folder is `top`: `.Trash/<uid>` when the administrator
/// made a shared `.Trash` (a folder with the sticky bit), else the user's own `.Trash-<uid>`.
std::optional<QString> volumeTrash(const QString& top)
{
    const QString uid = QString::number(::getuid());
    struct stat shared {};
    if (statOf(top + QStringLiteral("/.Trash"), shared, false) && S_ISDIR(shared.st_mode)
        && (shared.st_mode & S_ISVTX) != 0) {
        const QString trash = top + QStringLiteral("/.Trash/") + uid;
        if (ensurePrivateFolder(trash))
            return trash;
    }
    const QString trash = top + QStringLiteral("/.Trash-") + uid;
    struct stat own {};
    if (statOf(trash, own, false))
        return S_ISDIR(own.st_mode) && own.st_uid == ::getuid() ? std::optional(trash) : std::nullopt;
    if (::mkdir(QFile::encodeName(trash).constData(), 0700) == 0)
        return trash;
    return std::nullopt;
}

/// The trash a file on the device `device` in `folder` belongs in: the user's when it lies on
/// the same volume, else the volume's own. None when there is no user trash at all.
std::optional<QString> trashFor(const QString& folder, dev_t device)
{
    const std::optional<QString> home = userTrash();
    if (!home)
        return std::nullopt;
    struct stat homeInfo {};
    if (statOf(*home, homeInfo) && homeInfo.st_dev == device)
        return home;
    // The volume's top folder: the last one upwards still on the file's device.
    QDir top(folder);
    for (int depth = 0; depth < 256 && !top.isRoot(); ++depth) {
        QDir parent = top;
        struct stat parentInfo {};
        if (!parent.cdUp() || !statOf(parent.absolutePath(), parentInfo) || parentInfo.st_dev != device)
            break;
        top = parent;
    }
    return volumeTrash(top.absolutePath());
}

/// The name under which a file of the name `name` (encoded) goes into the trash: its own,
/// shortened where the name of its ".trashinfo" would be too long, and counted on (`attempt`)
/// where the trash holds that name already.
QByteArray trashedName(const QString& name, int attempt)
{
    constexpr qsizetype maxBytes = 200; // room for ".trashinfo" and the count
    const QFileInfo parts(name);
    QString stem = parts.completeBaseName();
    const QString suffix = parts.suffix().isEmpty() ? QString() : QLatin1Char('.') + parts.suffix();
    const QString count = attempt > 0 ? QStringLiteral(".%1").arg(attempt) : QString();
    QByteArray encoded = QFile::encodeName(stem + count + suffix);
    while (encoded.size() > maxBytes && !stem.isEmpty()) {
        stem.chop(stem.size() > 1 && stem.back().isLowSurrogate() ? 2 : 1);
        encoded = QFile::encodeName(stem + count + suffix);
    }
    if (encoded.size() > maxBytes)
        encoded = QFile::encodeName(QStringLiteral("Datei") + count);
    return encoded;
}

/// Moves the file into its trash as the freedesktop.org trash describes: an information file
/// made exclusively in "info", then the file renamed into "files". Every step is tried once
/// (a taken name a bounded number of times); false when the file could not go to a trash.
bool moveToTrash(const QString& path)
{
    const QFileInfo source(path);
    const QString absolute = source.absoluteFilePath();
    struct stat fileInfo {};
    if (!statOf(absolute, fileInfo, false))
        return false;
    const std::optional<QString> trash = trashFor(source.absolutePath(), fileInfo.st_dev);
    if (!trash)
        return false;
    const QByteArray files = QFile::encodeName(*trash + QStringLiteral("/files/"));
    const QByteArray infos = QFile::encodeName(*trash + QStringLiteral("/info/"));
    if (!ensurePrivateFolder(*trash + QStringLiteral("/files"))
        || !ensurePrivateFolder(*trash + QStringLiteral("/info")))
        return false;

    const QByteArray text = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(absolute, "/")
                            + "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n';
    constexpr int maxAttempts = 1000;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const QByteArray name = trashedName(source.fileName(), attempt);
        struct stat taken {};
        if (::lstat((files + name).constData(), &taken) == 0)
            continue;
        const QByteArray infoPath = infos + name + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false; // a trash that cannot be written, or a name it cannot hold
        }
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == ssize_t(text.size());
        const bool closed = ::close(fd) == 0;
        if (written && closed && ::rename(QFile::encodeName(absolute).constData(), (files + name).constData()) == 0)
            return true;
        ::unlink(infoPath.constData());
        return false;
    }
    return false;
}

/// The trash keeps a deletion undoable even beyond the in-memory restore; only a file no
/// trash can take is removed for good. Either way the file is handled once, never retried.
void discard(const QString& path)
{
    if (moveToTrash(path))
        return;
    QFile::remove(path);
}

void runDeletions(const QStringList& paths, const std::shared_ptr<CancelToken>& token, const ProgressStreamPtr& stream)
{
    const int total = int(paths.size());
    for (int i = 0; i < total; ++i) {
        if (token && token->isCancelled()) {
            stream->finish(StreamEnd{std::nullopt, true, i, total});
            return;
        }
        discard(paths[i]);
        stream->yield(double(i + 1) / total);
    }
    stream->finish(StreamEnd{std::nullopt, false, total, total});
}

} // namespace

void removeFromOverview(ImageProcessor& processor, const QSet<QUuid>& ids)
{
    Split parts = split(processor.photos(), ids);
    if (parts.taken.isEmpty())
        return;
    QList<DeletedItem> group;
    for (const PhotoItem& photo : std::as_const(parts.taken))
        group.append(DeletedItem{photo, std::nullopt});
    processor.pushDeleteGroup(std::move(group));
    processor.setPhotos(std::move(parts.kept));
}

ProgressStreamPtr deleteFiles(ImageProcessor& processor, const QSet<QUuid>& ids, std::shared_ptr<CancelToken> token)
{
    ProgressStreamPtr stream = ProgressStream::create();
    Split parts = split(processor.photos(), ids);
    if (parts.taken.isEmpty()) {
        stream->finish(StreamEnd{});
        return stream;
    }

    // Every file is read before the first one is touched.
    QList<DeletedItem> group;
    QStringList paths;
    for (const PhotoItem& photo : std::as_const(parts.taken)) {
        paths.append(photo.url.toLocalFile());
        if (auto bytes = readWhole(photo.url))
            group.append(DeletedItem{photo, std::move(bytes)});
    }
    processor.setPhotos(std::move(parts.kept));
    if (!group.isEmpty())
        processor.pushDeleteGroup(std::move(group));

    startInBackground(
        [paths = std::move(paths), token = std::move(token), stream] { runDeletions(paths, token, stream); });
    return stream;
}

void restoreLastDeletion(ImageProcessor& processor)
{
    std::optional<QList<DeletedItem>> group = processor.popDeleteGroup();
    if (!group)
        return;
    QList<PhotoItem> restored;
    for (const DeletedItem& item : std::as_const(*group)) {
        if (item.originalData) {
            if (!folderExists(item.photo.url))
                continue;
            if (!writeFileAtomically(item.photo.url.toLocalFile(), *item.originalData))
                continue;
        }
        restored.append(item.photo);
    }
    if (restored.isEmpty())
        return;
    std::reverse(restored.begin(), restored.end());
    restored.append(processor.photos());
    processor.setPhotos(std::move(restored));
}

bool canRestore(const ImageProcessor& processor)
{
    const auto& stack = processor.deleteUndoStack();
    if (stack.isEmpty())
        return false;
    const QList<DeletedItem>& last = stack.last();
    return std::any_of(last.cbegin(), last.cend(),
                       [](const DeletedItem& item) { return folderExists(item.photo.url); });
}

} // namespace lumora
