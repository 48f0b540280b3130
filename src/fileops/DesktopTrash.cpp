#include "fileops/DesktopTrash.h"

#include "base/NativePath.h"
#include "base/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

/// Whether looking for a trash may make its folders (moving a file in) or not (taking one back).
enum class Make { folders, nothing };

/// How many counted names are tried for one file before the trash counts as full.
constexpr int kMaxAttempts = 1000;

/// The most an information file may hold to be read.
constexpr qint64 kMaxInfoBytes = 64 * 1024;

bool statOf(const QString& path, struct stat& info, bool followLink = true)
{
    const QByteArray native = nativePath(path);
    return (followLink ? ::stat(native.constData(), &info) : ::lstat(native.constData(), &info)) == 0;
}

/// The user's own trash folder, the trash of last resort for every volume, where it exists or
/// (with Make::folders) could be made.
std::optional<QString> userTrash(Make make)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return std::nullopt;
    const QString trash = dataHome + QStringLiteral("/Trash");
    if (QFileInfo(trash).isDir())
        return trash;
    if (make == Make::folders && QDir().mkpath(dataHome)
        && QDir().mkdir(trash, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return trash;
    return std::nullopt;
}

/// Who may use a folder of a trash besides its owner.
enum class Access {
    ownerOnly, ///< the user's own trash folder on a volume: mode 0700 exactly
    anyMode,   ///< a folder inside it, which nobody else can reach
};

/// A folder that is really one (no link) and the user's own (with Access::ownerOnly: nobody
/// else may read, write or enter it), or, with Make::folders, was just made for the user alone.
/// A folder another user made, perhaps to read what is moved into it, is never used.
bool privateFolder(const QString& path, Make make, Access access = Access::anyMode)
{
    struct stat info {};
    if (!statOf(path, info, false)) {
        if (make != Make::folders || ::mkdir(nativePath(path).constData(), 0700) != 0 || !statOf(path, info, false))
            return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid()
           && (access == Access::anyMode || (info.st_mode & 07777) == 0700);
}

/// Whether `trash` can hold the user's files: it and its "files" and "info" folders are the
/// user's own (made where they are missing, with Make::folders).
bool usableTrash(const QString& trash, Make make, Access access)
{
    return privateFolder(trash, make, access) && privateFolder(trash + QStringLiteral("/files"), make)
           && privateFolder(trash + QStringLiteral("/info"), make);
}

/// The trash of the volume whose top folder is `top`: `.Trash/<uid>` when the administrator
/// made a shared `.Trash` (a folder with the sticky bit, no link), else the user's own
/// `.Trash-<uid>`; either only when it is the user's own folder with mode 0700 and no link.
std::optional<QString> volumeTrash(const QString& top, Make make)
{
    const QString uid = QString::number(::getuid());
    struct stat shared {};
    if (statOf(top + QStringLiteral("/.Trash"), shared, false) && S_ISDIR(shared.st_mode)
        && (shared.st_mode & S_ISVTX) != 0) {
        const QString trash = top + QStringLiteral("/.Trash/") + uid;
        if (usableTrash(trash, make, Access::ownerOnly))
            return trash;
    }
    const QString trash = top + QStringLiteral("/.Trash-") + uid;
    if (usableTrash(trash, make, Access::ownerOnly))
        return trash;
    return std::nullopt;
}

/// The trash a file on the device `device` in `folder` belongs in: the user's when it lies on
/// the same volume, else the volume's own. Moving a file in needs a user trash even for other
/// volumes: without one the file is not trashed at all.
std::optional<QString> trashFor(const QString& folder, dev_t device, Make make)
{
    const std::optional<QString> home = userTrash(make);
    if (!home && make == Make::folders)
        return std::nullopt;
    struct stat homeInfo {};
    if (home && statOf(*home, homeInfo) && homeInfo.st_dev == device)
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
    return volumeTrash(top.absolutePath(), make);
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
    QByteArray encoded = nativePath(stem + count + suffix);
    while (encoded.size() > maxBytes && !stem.isEmpty()) {
        stem.chop(stem.size() > 1 && stem.back().isLowSurrogate() && stem[stem.size() - 2].isHighSurrogate() ? 2 : 1);
        encoded = nativePath(stem + count + suffix);
    }
    if (encoded.size() > maxBytes)
        encoded = nativePath(QStringLiteral("Datei") + count);
    return encoded;
}

/// Whether `entry` is one of the names trashedName() gives a file of the name `name`.
bool isTrashedNameOf(const QByteArray& entry, const QString& name)
{
    if (entry == trashedName(name, 0))
        return true;
    // A counted name has the count as its last dotted part before the extension.
    const QString suffix = QFileInfo(name).suffix();
    const QByteArray ending = suffix.isEmpty() ? QByteArray() : '.' + nativePath(suffix);
    if (!entry.endsWith(ending))
        return false;
    const QByteArray rest = entry.chopped(ending.size());
    bool isNumber = false;
    const int attempt = rest.mid(rest.lastIndexOf('.') + 1).toInt(&isNumber);
    return isNumber && attempt > 0 && attempt < kMaxAttempts && entry == trashedName(name, attempt);
}

/// The old place an information file names (its "Path=" line, decoded); empty when it names none.
QByteArray trashedFrom(const QString& infoFile)
{
    const auto text = readRegularFile(infoFile, kMaxInfoBytes);
    if (!text)
        return {};
    for (const QByteArray& line : text->split('\n')) {
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5).trimmed());
    }
    return {};
}

} // namespace

bool moveToTrash(const QString& path)
{
    const QFileInfo source(path);
    const QString absolute = source.absoluteFilePath();
    struct stat fileInfo {};
    if (!statOf(absolute, fileInfo, false))
        return false;
    const std::optional<QString> trash = trashFor(source.absolutePath(), fileInfo.st_dev, Make::folders);
    if (!trash)
        return false;
    const QByteArray files = nativePath(*trash + QStringLiteral("/files/"));
    const QByteArray infos = nativePath(*trash + QStringLiteral("/info/"));
    if (!usableTrash(*trash, Make::folders, Access::anyMode))
        return false;

    const QByteArray text = "[Trash Info]\nPath=" + nativePath(absolute).toPercentEncoding("/")
                            + "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n';
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
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
        if (written && closed && ::rename(nativePath(absolute).constData(), (files + name).constData()) == 0)
            return true;
        ::unlink(infoPath.constData());
        return false;
    }
    return false;
}

bool takeBackFromTrash(const QString& path, const QByteArray& bytes)
{
    const QFileInfo place(path);
    const QByteArray absolute = nativePath(place.absoluteFilePath());
    struct stat folderInfo {};
    if (!statOf(place.absolutePath(), folderInfo))
        return false;
    const std::optional<QString> trash = trashFor(place.absolutePath(), folderInfo.st_dev, Make::nothing);
    if (!trash)
        return false;
    const QString infos = *trash + QStringLiteral("/info/");
    const QString files = *trash + QStringLiteral("/files/");
    DIR* folder = ::opendir(nativePath(infos).constData());
    if (!folder)
        return false;
    struct Closer {
        DIR* folder;
        ~Closer() { ::closedir(folder); }
    } closer{folder};

    // The trash may hold several entries from that place; any whose bytes are the kept ones
    // is the deleted file.
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray infoName(entry->d_name);
        if (!infoName.endsWith(".trashinfo"))
            continue;
        const QByteArray name = infoName.chopped(10);
        const QString infoFile = infos + pathFromNative(infoName);
        if (!isTrashedNameOf(name, place.fileName()) || trashedFrom(infoFile) != absolute)
            continue;
        const QString stored = files + pathFromNative(name);
        struct stat storedInfo {};
        if (!statOf(stored, storedInfo, false) || !S_ISREG(storedInfo.st_mode) || storedInfo.st_size != bytes.size())
            continue;
        const auto held = readRegularFile(stored, bytes.size());
        if (!held || *held != bytes)
            continue;
        if (::rename(nativePath(stored).constData(), absolute.constData()) != 0)
            return false;
        ::unlink(nativePath(infoFile).constData());
        return true;
    }
    return false;
}

} // namespace lumora
