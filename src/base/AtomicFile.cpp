#include "base/AtomicFile.h"

#include "base/NativePath.h"

#include <QFile>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

/// The file a write to `path` lands in: with LinkAtTarget::follow, what its chain of links
/// names (at most 40 links, as the kernel allows); else the path itself. An errno on failure.
std::expected<QByteArray, int> targetOf(QByteArray path, LinkAtTarget link)
{
    if (link == LinkAtTarget::replace)
        return path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return std::unexpected(errno);
        target.truncate(length);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    return std::unexpected(ELOOP);
}

/// Makes a new file under a fresh hidden name in `folder`; its descriptor and path. `mode` is
/// narrowed by the process's umask. None, with errno set, when no file can be made there.
std::optional<std::pair<int, QByteArray>> makeTemporary(const QByteArray& folder, mode_t mode)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray path =
            folder + "/.lumora-" + QUuid::createUuid().toString(QUuid::Id128).left(16).toLatin1() + ".tmp";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            return std::pair{fd, path};
        if (errno != EEXIST)
            return std::nullopt;
    }
    errno = EEXIST;
    return std::nullopt;
}

/// Writes all of `bytes`, going on after short writes and interruptions; false with errno set.
bool writeWhole(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const size_t chunk = size_t(std::min<qint64>(bytes.size() - done, qint64(1) << 30));
        const ssize_t written = ::write(fd, bytes.constData() + done, chunk);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        done += written;
    }
    return true;
}

/// Whether a failed flush to the disk means the data did not get there. Other failures only
/// say the file system cannot flush on request.
bool lostData(int error)
{
    return error == EIO || error == ENOSPC || error == EDQUOT;
}

} // namespace

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes, LinkAtTarget link)
{
    auto fail = [&](int error, const QString& subject = {}) {
        return std::unexpected(fileFailure(FileAction::write, path, error, subject));
    };
    const auto target = targetOf(nativePath(path), link);
    if (!target)
        return fail(target.error());
    const QByteArray folder = folderOf(*target);
    const QString folderName = pathFromNative(folder);

    // What is at the target now. With LinkAtTarget::replace a link there is replaced itself.
    struct stat existing {};
    const bool exists = ::lstat(target->constData(), &existing) == 0 && !S_ISLNK(existing.st_mode);
    if (exists && S_ISDIR(existing.st_mode))
        return fail(EISDIR);
    if (exists && ::access(target->constData(), W_OK) != 0)
        return fail(errno);

    // A replaced file keeps its permissions; until they are set, nobody else may read it.
    const auto temporary = makeTemporary(folder, exists ? 0600 : 0666);
    if (!temporary)
        return fail(errno, folderName);
    const auto [fd, temporaryPath] = *temporary;
    auto discard = [&, fd = fd, temporaryPath = temporaryPath](int error, bool open) {
        if (open)
            ::close(fd);
        ::unlink(temporaryPath.constData());
        return fail(error, error == EACCES || error == EROFS ? folderName : QString());
    };
    if (exists)
        (void)::fchmod(fd, existing.st_mode & 07777); // a file system without modes keeps its own
    if (!writeWhole(fd, bytes))
        return discard(errno, true);
    if (::fdatasync(fd) != 0 && lostData(errno))
        return discard(errno, true);
    if (::close(fd) != 0)
        return discard(errno, false);
    if (::rename(temporaryPath.constData(), target->constData()) != 0)
        return discard(errno, false);
    return {};
}

} // namespace lumora
