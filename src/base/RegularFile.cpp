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
#include <utility>

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

FileIdentity identityFrom(const struct stat& info)
{
    return FileIdentity{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                        quint64(info.st_ino)};
}

Error tooLarge(const QString& path)
{
    return fileError(QFileDevice::ReadError, QStringLiteral("%1 ist zu groß.").arg(quotedName(path)));
}

} // namespace

std::expected<OpenRegularFile, Error> OpenRegularFile::open(const QString& path, qint64 maxBytes)
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
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return std::unexpected(fileFailure(FileAction::read, path, error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::unexpected(notRegular(path));
    }
    if (info.st_size > maxBytes) {
        ::close(fd);
        return std::unexpected(tooLarge(path));
    }
    return OpenRegularFile(fd, path, identityFrom(info), maxBytes);
}

OpenRegularFile::OpenRegularFile(int fd, QString path, FileIdentity identity, qint64 maxBytes)
    : m_fd(fd), m_path(std::move(path)), m_identity(identity), m_maxBytes(maxBytes)
{
}

OpenRegularFile::OpenRegularFile(OpenRegularFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_identity(other.m_identity),
      m_maxBytes(other.m_maxBytes)
{
}

OpenRegularFile& OpenRegularFile::operator=(OpenRegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_identity = other.m_identity;
        m_maxBytes = other.m_maxBytes;
    }
    return *this;
}

OpenRegularFile::~OpenRegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::expected<qint64, Error> OpenRegularFile::readAt(qint64 offset, char* into, qint64 length) const
{
    qint64 filled = 0;
    while (filled < length) {
        const ssize_t got = ::pread(m_fd, into + filled, size_t(length - filled), off_t(offset + filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::unexpected(fileFailure(FileAction::read, m_path, errno));
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

std::expected<QByteArray, Error> OpenRegularFile::readAt(qint64 offset, qint64 length) const
{
    QByteArray bytes(qsizetype(std::clamp<qint64>(length, 0, m_maxBytes)), Qt::Uninitialized);
    auto got = readAt(offset, bytes.data(), bytes.size());
    if (!got)
        return std::unexpected(got.error());
    bytes.truncate(qsizetype(*got));
    return bytes;
}

std::expected<QByteArray, Error> OpenRegularFile::readAll() const
{
    // The file may change while it is read: the loop stops at its end or just past the limit.
    QByteArray bytes(qsizetype(m_identity.size), Qt::Uninitialized); // exactly the size (resize() reserves more)
    preferLargePages(bytes);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > m_maxBytes)
                return std::unexpected(tooLarge(m_path));
            // Whether the file grew since it was opened, asked without growing the bytes: a
            // resize here would reserve half as much again for nothing.
            char probe = 0;
            auto more = readAt(filled, &probe, 1);
            if (!more)
                return std::unexpected(more.error());
            if (*more == 0)
                break;
            if (filled >= m_maxBytes)
                return std::unexpected(tooLarge(m_path));
            bytes.resize(qsizetype(std::min(m_maxBytes + 1, filled + 64 * 1024)));
            bytes[qsizetype(filled++)] = probe;
            continue;
        }
        auto got = readAt(filled, bytes.data() + filled, bytes.size() - filled);
        if (!got)
            return std::unexpected(got.error());
        if (*got == 0)
            break;
        filled += *got;
    }
    bytes.truncate(qsizetype(filled));
    return bytes;
}

std::expected<QByteArray, Error> readRegularFile(const QString& path, qint64 maxBytes)
{
    auto file = OpenRegularFile::open(path, maxBytes);
    if (!file)
        return std::unexpected(file.error());
    return file->readAll();
}

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return identityFrom(info);
}

} // namespace lumora
