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
bool writeWhole(int fd, QByteArrayView bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const size_t chunk = size_t(std::min<qint64>(bytes.size() - done, qint64(1) << 30));
        const ssize_t written = ::write(fd, bytes.data() + done, chunk);
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
    auto file = AtomicFileWriter::open(path, rules);
    if (!file)
        return std::unexpected(file.error());
    if (auto written = file->write(bytes); !written)
        return written;
    return file->commit();
}

struct AtomicFileWriter::State {
    QString path;
    QString folderName;
    QByteArray name; ///< the target's, in its folder
    ExistingFile existing = ExistingFile::replace;
    int folder = -1;
    Temporary temporary;
    std::optional<Error> failed;
    bool finished = false; ///< committed, failed or aborted: the new file is no longer ours

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        drop();
        if (folder >= 0)
            ::close(folder);
    }

    /// Removes the new file unless it has its final name.
    void drop()
    {
        if (finished)
            return;
        finished = true;
        if (!temporary.name.isEmpty())
            (void)::unlinkat(folder, temporary.name.constData(), 0);
        if (temporary.fd >= 0)
            ::close(std::exchange(temporary.fd, -1));
    }

    /// Records the failure `error` (the folder named where it is the folder's fault) and drops
    /// the new file.
    std::unexpected<Error> fail(int error)
    {
        drop();
        failed =
            fileFailure(FileAction::write, path, error, error == EACCES || error == EROFS ? folderName : QString());
        return std::unexpected(*failed);
    }
};

AtomicFileWriter::AtomicFileWriter(std::unique_ptr<State> state) : m_state(std::move(state))
{
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&&) noexcept = default;
AtomicFileWriter& AtomicFileWriter::operator=(AtomicFileWriter&&) noexcept = default;
AtomicFileWriter::~AtomicFileWriter() = default;

std::expected<AtomicFileWriter, Error> AtomicFileWriter::open(const QString& path, const WriteRules& rules)
{
    auto fail = [&](int error, const QString& subject = {}) {
        return std::unexpected(fileFailure(FileAction::write, path, error, subject));
    };
    const auto target = targetOf(nativePath(path), rules.link);
    if (!target)
        return fail(target.error());
    auto state = std::make_unique<State>();
    state->path = path;
    state->name = nameOf(*target);
    state->folderName = pathFromNative(folderOf(*target));
    state->existing = rules.existing;
    const QByteArray& name = state->name;

    // Everything from here on happens in this folder, however its path changes meanwhile.
    state->folder = ::open(folderOf(*target).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (state->folder < 0)
        return fail(errno, errno == ENOENT || errno == ENOTDIR ? state->folderName : QString());
    if (!rules.place.isEmpty()) {
        struct stat info {};
        if (::fstat(state->folder, &info) != 0 || quint64(info.st_dev) != rules.place.device
            || quint64(info.st_ino) != rules.place.folder || name != rules.place.name)
            return std::unexpected(movedAway(path));
    }

    // What is at the target now. A link there is replaced itself (after `targetOf`, only with
    // LinkAtTarget::replace, or when it was swapped in just now).
    struct stat existing {};
    const bool exists = ::fstatat(state->folder, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    const bool isFile = exists && !S_ISLNK(existing.st_mode);
    if (exists && rules.existing == ExistingFile::keep)
        return fail(EEXIST);
    if (isFile && S_ISDIR(existing.st_mode))
        return fail(EISDIR);
    if (isFile && ::faccessat(state->folder, name.constData(), W_OK, 0) != 0)
        return fail(errno);

    removeStaleTemporaries(state->folder);
    // A replaced file keeps its permissions; until they are set, nobody else may read it.
    std::optional<Temporary> temporary = makeTemporary(state->folder, isFile ? 0600 : 0666);
    if (!temporary)
        return fail(errno, state->folderName);
    state->temporary = *temporary;
    if (isFile)
        (void)::fchmod(state->temporary.fd, existing.st_mode & 07777); // a file system without modes keeps its own
    return AtomicFileWriter(std::move(state));
}

std::expected<void, Error> AtomicFileWriter::write(QByteArrayView bytes)
{
    State& st = *m_state;
    if (st.failed)
        return std::unexpected(*st.failed);
    if (st.finished)
        return st.fail(EBADF);
    if (!writeWhole(st.temporary.fd, bytes))
        return st.fail(errno);
    return {};
}

std::optional<Error> AtomicFileWriter::failure() const
{
    return m_state ? m_state->failed : std::nullopt;
}

std::expected<void, Error> AtomicFileWriter::commit()
{
    State& st = *m_state;
    if (st.failed)
        return std::unexpected(*st.failed);
    if (st.finished)
        return st.fail(EBADF);
    if (::fdatasync(st.temporary.fd) != 0 && lostData(errno))
        return st.fail(errno);
    // Some file systems report a failed write only when the file is closed: a second descriptor
    // keeps the file (and its lock) while the first is closed and checked.
    const int kept = ::dup(st.temporary.fd);
    if (kept < 0)
        return st.fail(errno);
    if (::close(std::exchange(st.temporary.fd, kept)) != 0)
        return st.fail(errno);
    const int error = putInPlace(st.folder, st.temporary, st.name, st.existing);
    st.temporary.name.clear(); // gone, or the target's now
    if (error != 0)
        return st.fail(error);
    st.finished = true;
    ::close(std::exchange(st.temporary.fd, -1));
    return {};
}

void AtomicFileWriter::abort()
{
    if (m_state)
        m_state->drop();
}

} // namespace lumora
