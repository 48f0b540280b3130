#include "fileops/DeleteRestore.h"

#include "base/UiThread.h"

#include "base/AtomicFile.h"
#include "model/ImageProcessor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

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
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool folderExists(const QUrl& url)
{
    return QFileInfo(url.toLocalFile()).absoluteDir().exists();
}

/// Whether the user's own trash folder exists or could be made. It is the trash of last
/// resort for every volume, and Qt (6.4) moves a file into "files/" under the working
/// directory and reports success when it finds no trash folder at all.
bool userTrashAvailable()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return false;
    const QString trash = dataHome + QStringLiteral("/Trash");
    if (QFileInfo(trash).isDir())
        return true;
    return QDir().mkpath(dataHome) && QDir().mkdir(trash, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/// The trash keeps a deletion undoable even beyond the in-memory restore; only a file no
/// trash can take is removed for good.
void discard(const QString& path)
{
    if (userTrashAvailable() && QFile::moveToTrash(path))
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
