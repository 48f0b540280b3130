#include "fileops/DeleteRestore.h"

#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "base/RegularFile.h"
#include "base/UiThread.h"
#include "fileops/DesktopTrash.h"
#include "model/ImageProcessor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <expected>
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

/// The bytes of a photo's file as it is now, to put back on undo: those the photo holds while
/// the file is still the version they were read from (nothing is read, and they are not held
/// twice), else read from the file. None when it cannot be read.
std::optional<QByteArray> bytesToKeep(const PhotoItem& photo)
{
    const QString path = photo.url.toLocalFile();
    if (auto held = photo.originalCI.heldBytesOf(path))
        return held;
    auto bytes = readRegularFile(path);
    if (!bytes)
        return std::nullopt;
    return std::move(*bytes);
}

bool folderExists(const QUrl& url)
{
    struct stat info {};
    return ::stat(nativePath(QFileInfo(url.toLocalFile()).absolutePath()).constData(), &info) == 0
           && S_ISDIR(info.st_mode);
}

/// The trash keeps a deletion undoable even beyond the in-memory restore; only a file no
/// trash can take is removed for good. Either way the file is handled once, never retried.
void discard(const QString& path)
{
    if (moveToTrash(path))
        return;
    ::unlink(nativePath(path).constData());
}

/// Puts a deleted file back at its place: out of the trash where it still is there, else left
/// alone where the file at its place still holds the kept bytes (its deletion failed), else
/// rewritten from them. A German sentence naming the file when it cannot come back.
std::expected<void, QString> bringBack(const PhotoItem& photo, const QByteArray& bytes)
{
    const QUrl& url = photo.url;
    const QString path = url.toLocalFile();
    if (!folderExists(url))
        return std::unexpected(
            QStringLiteral("%1 konnte nicht wiederhergestellt werden: Der Ordner „%2“ existiert nicht mehr.")
                .arg(quotedName(path), QFileInfo(path).absoluteDir().dirName()));
    if (takeBackFromTrash(path, bytes))
        return {};
    if (const auto present = readRegularFile(path, bytes.size()); present && *present == bytes)
        return {};
    // Only where the photo was: a link planted under its free name is not followed elsewhere.
    if (auto written =
            writeFileAtomically(path, bytes, WriteRules{LinkAtTarget::follow, ExistingFile::replace, photo.loadedFrom});
        !written)
        return std::unexpected(written.error().description);
    return {};
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

    // Every file's bytes are kept before the first one is touched.
    QList<DeletedItem> group;
    QStringList paths;
    for (const PhotoItem& photo : std::as_const(parts.taken)) {
        paths.append(photo.url.toLocalFile());
        // A camera RAW photo read for its card alone keeps its bytes before its file goes, so
        // that it still decodes when the deletion is undone (nothing to do once kept).
        (void)photo.originalCI.keepWhole();
        if (auto bytes = bytesToKeep(photo))
            group.append(DeletedItem{photo, std::move(bytes)});
    }
    processor.setPhotos(std::move(parts.kept));
    if (!group.isEmpty())
        processor.pushDeleteGroup(std::move(group));

    startInBackground(
        [paths = std::move(paths), token = std::move(token), stream] { runDeletions(paths, token, stream); });
    return stream;
}

RestoreResult restoreLastDeletion(ImageProcessor& processor)
{
    std::optional<QList<DeletedItem>> group = processor.popDeleteGroup();
    if (!group)
        return {};
    RestoreResult result;
    result.total = int(group->size());
    QList<PhotoItem> restored;
    for (const DeletedItem& item : std::as_const(*group)) {
        if (item.originalData) {
            if (auto back = bringBack(item.photo, *item.originalData); !back) {
                result.failures.append(back.error());
                continue;
            }
        }
        restored.append(item.photo);
    }
    result.restored = int(restored.size());
    if (restored.isEmpty())
        return result;
    std::reverse(restored.begin(), restored.end());
    restored.append(processor.photos());
    processor.setPhotos(std::move(restored));
    return result;
}

QString restoreMessage(const RestoreResult& result)
{
    if (result.restored == result.total)
        return QStringLiteral("Bilder wurden wiederhergestellt.");
    QString text =
        result.restored == 1
            ? QStringLiteral("1 von %2 Bildern wurde wiederhergestellt.").arg(result.total)
            : QStringLiteral("%1 von %2 Bildern wurden wiederhergestellt.").arg(result.restored).arg(result.total);
    if (!result.failures.isEmpty())
        text += QStringLiteral("\n\n") + result.failures.join(QLatin1Char('\n'));
    return text;
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
