#include "base/RegularFile.h"

#include "base/NativePath.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

Error fileError(QFileDevice::FileError code, const QString& text)
{
    return Error{fileErrors::domain, int(code), text};
}

/// Asks the kernel to back a large buffer with huge pages before it is filled: a camera file of
/// 50 MB otherwise costs some 12 000 page faults, which take longer than copying its bytes.
void preferLargePages(QByteArray& bytes)
{
    constexpr quintptr kHugePage = 2 * 1024 * 1024;
    if (bytes.size() < qsizetype(4 * kHugePage))
        return;
    const quintptr begin = (quintptr(bytes.data()) + kHugePage - 1) & ~(kHugePage - 1);
    const quintptr end = (quintptr(bytes.data()) + quintptr(bytes.size())) & ~(kHugePage - 1);
    if (end > begin)
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // only a hint
}

Error notRegular(const QString& path)
{
    return fileError(QFileDevice::OpenError, QStringLiteral("%1 ist keine reguläre Datei.").arg(quotedName(path)));
}

} // namespace

std::expected<QByteArray, Error> readRegularFile(const QString& path, qint64 maxBytes)
{
    // Non-blocking, so that opening a pipe without a writer returns at once; the type is
    // checked on the open file itself, so nothing can be swapped in between.
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all (ENXIO, which would read as a vanished volume).
        struct stat info {};
        if (::stat(nativePath(path).constData(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
            return std::unexpected(notRegular(path));
        return std::unexpected(fileFailure(FileAction::read, path, error));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::unexpected(fileFailure(FileAction::read, path, errno));
    if (!S_ISREG(info.st_mode))
        return std::unexpected(notRegular(path));
    auto tooLarge = [&] {
        return std::unexpected(
            fileError(QFileDevice::ReadError, QStringLiteral("%1 ist zu groß.").arg(quotedName(path))));
    };
    if (info.st_size > maxBytes)
        return tooLarge();

    // The file may change while it is read: the loop stops at its end or just past the limit.
    QByteArray bytes;
    bytes.resize(qsizetype(info.st_size));
    preferLargePages(bytes);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes)
                return tooLarge();
            bytes.resize(qsizetype(std::min(maxBytes + 1, filled + 64 * 1024)));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::unexpected(fileFailure(FileAction::read, path, errno));
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(qsizetype(filled));
    return bytes;
}

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileIdentity{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                        quint64(info.st_ino)};
}

} // namespace lumora
