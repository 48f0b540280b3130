#include "base/AtomicFile.h"

#include "base/NativePath.h"

#include <QFileDevice>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lumora {

namespace {

constexpr char kTemporaryPrefix[] = ".lumora-";
constexpr char kTemporarySuffix[] = ".tmp";

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
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

/// Closes a descriptor when it goes.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QByteArray temporaryName()
{
    return kTemporaryPrefix + QUuid::createUuid().toString(QUuid::Id128).left(16).toLatin1() + kTemporarySuffix;
}

bool isTemporaryName(const char* name)
{
    const QByteArrayView view(name);
    return view.startsWith(kTemporaryPrefix) && view.endsWith(kTemporarySuffix);
}

/// Removes the temporary files of writes into `folder` whose writer is gone: a writer holds its
/// file locked until the file has its final name, and the lock goes with the writer's process.
void removeStaleTemporaries(int folder)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        if (!isTemporaryName(entry->d_name))
            continue;
        const Descriptor file(::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {
        }, named{};
        if (file.fd < 0 || ::fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode)
            || ::flock(file.fd, LOCK_EX | LOCK_NB) != 0)
            continue; // not ours to judge, or its writer is still at work
        // Still the file just locked under that name: then nobody writes it.
        if (::fstatat(folder, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == opened.st_ino
            && named.st_dev == opened.st_dev)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

/// A new file being written in `folder`: unnamed where the file system allows it, else under a
/// hidden name, and in both cases locked (see removeStaleTemporaries).
struct Temporary {
    int fd = -1;
    QByteArray name; ///< empty while unnamed
};

bool canLinkUnnamed()
{
    static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
    return proc;
}

/// Makes the temporary file; none, with errno set, when no file can be made there. `mode` is
/// narrowed by the process's umask.
std::optional<Temporary> makeTemporary(int folder, mode_t mode)
{
    if (canLinkUnnamed()) {
        const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            (void)::flock(fd, LOCK_EX | LOCK_NB); // nobody else can see it yet
            return Temporary{fd, {}};
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return std::nullopt;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = temporaryName();
        const int fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return std::nullopt;
        // A cleaner may have taken the new file for a stale one before it was locked: then it is
        // (or is about to be) gone, and another name is tried.
        struct stat info {};
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
            return Temporary{fd, name};
        ::close(fd);
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

/// Gives the complete temporary file the name `name` in `folder`: replacing what is there, or
/// (ExistingFile::keep) failing with EEXIST when the name is taken. 0 or an errno.
int putInPlace(int folder, Temporary& temporary, const QByteArray& name, ExistingFile existing)
{
    if (temporary.name.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(temporary.fd);
        if (existing == ExistingFile::keep)
            return ::linkat(AT_FDCWD, self.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
        // A name of its own first: a file cannot be linked over another one.
        for (int attempt = 0; temporary.name.isEmpty(); ++attempt) {
            const QByteArray candidate = temporaryName();
            if (::linkat(AT_FDCWD, self.constData(), folder, candidate.constData(), AT_SYMLINK_FOLLOW) == 0)
                temporary.name = candidate;
            else if (errno != EEXIST || attempt == 16)
                return errno;
        }
    }
    int moved = existing == ExistingFile::keep
                    ? ::renameat2(folder, temporary.name.constData(), folder, name.constData(), RENAME_NOREPLACE)
                    : ::renameat(folder, temporary.name.constData(), folder, name.constData());
    if (moved != 0 && errno == EINVAL && existing == ExistingFile::keep) {
        // A file system without the exclusive rename: checked just before, as closely as it allows.
        struct stat taken {};
        moved = ::fstatat(folder, name.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0
                    ? (errno = EEXIST, -1)
                    : ::renameat(folder, temporary.name.constData(), folder, name.constData());
    }
    if (moved == 0)
        return 0;
    const int error = errno;
    (void)::unlinkat(folder, temporary.name.constData(), 0);
    return error;
}

Error movedAway(const QString& path)
{
    return Error{fileErrors::domain, int(QFileDevice::WriteError),
                 QStringLiteral("%1 konnte nicht geschrieben werden: Der Pfad führt inzwischen zu einer anderen "
                                "Datei als der, die geladen wurde.")
                     .arg(quotedName(path))};
}

} // namespace

FilePlace placeOf(const QString& path)
{
    const auto target = targetOf(nativePath(path), LinkAtTarget::follow);
    if (!target)
        return {};
    struct stat folder {};
    if (::stat(folderOf(*target).constData(), &folder) != 0)
        return {};
    return FilePlace{quint64(folder.st_dev), quint64(folder.st_ino), nameOf(*target)};
}

bool nameTaken(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0;
}

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes, LinkAtTarget link)
{
    return writeFileAtomically(path, bytes, WriteRules{link, ExistingFile::replace, {}});
}

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes, const WriteRules& rules)
{
    auto fail = [&](int error, const QString& subject = {}) {
        return std::unexpected(fileFailure(FileAction::write, path, error, subject));
    };
    const auto target = targetOf(nativePath(path), rules.link);
    if (!target)
        return fail(target.error());
    const QByteArray name = nameOf(*target);
    const QString folderName = pathFromNative(folderOf(*target));

    // Everything from here on happens in this folder, however its path changes meanwhile.
    const Descriptor folder(::open(folderOf(*target).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return fail(errno, errno == ENOENT || errno == ENOTDIR ? folderName : QString());
    if (!rules.place.isEmpty()) {
        struct stat info {};
        if (::fstat(folder.fd, &info) != 0 || quint64(info.st_dev) != rules.place.device
            || quint64(info.st_ino) != rules.place.folder || name != rules.place.name)
            return std::unexpected(movedAway(path));
    }

    // What is at the target now. A link there is replaced itself (after `targetOf`, only with
    // LinkAtTarget::replace, or when it was swapped in just now).
    struct stat existing {};
    const bool exists = ::fstatat(folder.fd, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    const bool isFile = exists && !S_ISLNK(existing.st_mode);
    if (exists && rules.existing == ExistingFile::keep)
        return fail(EEXIST);
    if (isFile && S_ISDIR(existing.st_mode))
        return fail(EISDIR);
    if (isFile && ::faccessat(folder.fd, name.constData(), W_OK, 0) != 0)
        return fail(errno);

    removeStaleTemporaries(folder.fd);
    // A replaced file keeps its permissions; until they are set, nobody else may read it.
    std::optional<Temporary> temporary = makeTemporary(folder.fd, isFile ? 0600 : 0666);
    if (!temporary)
        return fail(errno, folderName);
    Descriptor file(temporary->fd);
    auto discard = [&](int error) {
        if (!temporary->name.isEmpty())
            (void)::unlinkat(folder.fd, temporary->name.constData(), 0);
        return fail(error, error == EACCES || error == EROFS ? folderName : QString());
    };
    if (isFile)
        (void)::fchmod(file.fd, existing.st_mode & 07777); // a file system without modes keeps its own
    if (!writeWhole(file.fd, bytes))
        return discard(errno);
    if (::fdatasync(file.fd) != 0 && lostData(errno))
        return discard(errno);
    // Some file systems report a failed write only when the file is closed: a second descriptor
    // keeps the file (and its lock) while the first is closed and checked.
    const Descriptor kept(::dup(file.fd));
    if (kept.fd < 0)
        return discard(errno);
    if (::close(std::exchange(file.fd, -1)) != 0)
        return discard(errno);
    temporary->fd = kept.fd;
    if (const int error = putInPlace(folder.fd, *temporary, name, rules.existing); error != 0)
        return fail(error, error == EACCES || error == EROFS ? folderName : QString());
    return {};
}

} // namespace lumora
